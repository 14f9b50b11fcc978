// Hyperlink box: a framed caption that opens a link through the shell when pressed.
#pragma once

#include <windows.h>

#include <string_view>

inline constexpr COLORREF kLinkHoverColor = RGB(49, 106, 197);
inline constexpr COLORREF kLinkVisitedColor = RGB(128, 0, 0);
inline constexpr COLORREF kLinkColor = RGB(0, 0, 255);

// `target` must outlive the box; the program passes a constant.
HWND CreateHyperlinkBox(HWND parent, int id, RECT place, std::string_view gbkCaption,
                        const wchar_t* target);
