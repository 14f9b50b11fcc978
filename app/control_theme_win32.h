// The Windows XP look for standard push buttons, in three colour schemes, on any Windows.
#pragma once

#include <windows.h>

#include <string_view>

inline constexpr COLORREF kBlueSchemeFrameColor = RGB(123, 158, 189);

// 1 blue, 2 olive green, 3 silver: every push button on this thread, now and later, is drawn
// in that look; any other value gives them back their plain look.
void ApplyControlTheme(int scheme);

// A push button that takes the look in force when it is made.
HWND CreatePushButton(HWND parent, int id, RECT place, std::string_view gbkCaption, DWORD style);

// For the parent's WM_DRAWITEM; false when the item is not a themed push button.
bool DrawThemedButton(const DRAWITEMSTRUCT& item);
