// The toolkit's shared plumbing: registering its window classes and making its child windows.
#pragma once

#include <windows.h>

// Registers the class in the parent's module once; later calls find it there and do nothing.
void RegisterChildClass(HWND parent, const wchar_t* name, WNDPROC procedure, const wchar_t* cursor,
                        int extraBytes = 0);

// A child of `parent` in the parent's module, at `place` in the parent's client area, with the
// control identifier `id`; `param` reaches WM_NCCREATE as lpCreateParams.
HWND CreateChildWindow(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                       DWORD exStyle, RECT place, int id, void* param = nullptr);

// Gives a control the font that every control of the program uses.
void UseDefaultGuiFont(HWND control);
