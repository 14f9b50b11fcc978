// Window classes and child windows for the toolkit's controls.
#include "app/child_window_win32.h"

namespace {

HINSTANCE ModuleOf(HWND window) {
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

}  // namespace

void RegisterChildClass(HWND parent, const wchar_t* name, WNDPROC procedure, const wchar_t* cursor,
                        int extraBytes) {
    const HINSTANCE instance = ModuleOf(parent);
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, name, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = extraBytes;
    wc.hInstance = instance;
    wc.hCursor = cursor ? LoadCursorW(nullptr, cursor) : nullptr;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

HWND CreateChildWindow(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                       DWORD exStyle, RECT place, int id, void* param) {
    return CreateWindowExW(exStyle, className, text, WS_CHILD | style, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleOf(parent),
                           param);
}

void UseDefaultGuiFont(HWND control) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
}
