// Themed push buttons: owner drawing switched on and off per button, painted in the scheme's
// colours.
#include "app/control_theme_win32.h"

#include "app/child_window_win32.h"
#include "app/ui_text_win32.h"

namespace {

struct Scheme {
    COLORREF frame;
    COLORREF top;     // gradient, top edge
    COLORREF bottom;  // gradient, bottom edge
};

constexpr Scheme kSchemes[] = {
    {kBlueSchemeFrameColor, RGB(255, 255, 255), RGB(214, 208, 197)},  // 1 blue
    {RGB(143, 158, 110), RGB(255, 255, 250), RGB(216, 214, 190)},     // 2 olive green
    {RGB(118, 116, 146), RGB(255, 255, 255), RGB(208, 208, 220)},     // 3 silver
};

int currentScheme = 0;

// Remembers that a button was switched to owner drawing by us, so the plain look comes back.
constexpr wchar_t kThemedProperty[] = L"LanyuThemedButton";

bool IsPushButton(HWND window) {
    wchar_t className[16];
    if (!GetClassNameW(window, className, static_cast<int>(std::size(className)))) return false;
    if (lstrcmpiW(className, L"Button") != 0) return false;
    const LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || GetPropW(window, kThemedProperty);
}

void ApplySchemeTo(HWND button) {
    const bool themed = GetPropW(button, kThemedProperty) != nullptr;
    if (currentScheme != 0 && !themed) {
        const auto plainType =
            static_cast<INT_PTR>(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK);
        SetPropW(button, kThemedProperty, reinterpret_cast<HANDLE>(plainType + 1));
        SendMessageW(button, BM_SETSTYLE, BS_OWNERDRAW, TRUE);
    } else if (currentScheme == 0 && themed) {
        const auto plainType = reinterpret_cast<INT_PTR>(RemovePropW(button, kThemedProperty)) - 1;
        SendMessageW(button, BM_SETSTYLE, static_cast<WPARAM>(plainType), TRUE);
    }
    InvalidateRect(button, nullptr, TRUE);
}

BOOL CALLBACK VisitChild(HWND window, LPARAM) {
    if (IsPushButton(window)) ApplySchemeTo(window);
    return TRUE;
}

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM) {
    VisitChild(window, 0);
    EnumChildWindows(window, VisitChild, 0);
    return TRUE;
}

void FillGradient(HDC dc, const RECT& area, COLORREF top, COLORREF bottom) {
    const int height = area.bottom - area.top;
    for (int y = 0; y < height; ++y) {
        const auto mix = [&](int a, int b) {
            return a + (b - a) * y / (height > 1 ? height - 1 : 1);
        };
        HBRUSH brush = CreateSolidBrush(RGB(mix(GetRValue(top), GetRValue(bottom)),
                                            mix(GetGValue(top), GetGValue(bottom)),
                                            mix(GetBValue(top), GetBValue(bottom))));
        const RECT line{area.left, area.top + y, area.right, area.top + y + 1};
        FillRect(dc, &line, brush);
        DeleteObject(brush);
    }
}

}  // namespace

void ApplyControlTheme(int scheme) {
    currentScheme = (scheme >= 1 && scheme <= 3) ? scheme : 0;
    EnumThreadWindows(GetCurrentThreadId(), VisitTopLevel, 0);
}

HWND CreatePushButton(HWND parent, int id, RECT place, std::string_view gbkCaption, DWORD style) {
    HWND button = CreateChildWindow(parent, L"BUTTON", WideFromGbk(gbkCaption).c_str(),
                                    WS_VISIBLE | BS_PUSHBUTTON | style, 0, place, id);
    if (!button) return nullptr;
    UseDefaultGuiFont(button);
    if (currentScheme != 0) ApplySchemeTo(button);
    return button;
}

bool DrawThemedButton(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON || !GetPropW(item.hwndItem, kThemedProperty)) return false;
    const Scheme& scheme = kSchemes[(currentScheme ? currentScheme : 1) - 1];
    HDC dc = item.hDC;
    const RECT area = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    const bool disabled = item.itemState & ODS_DISABLED;

    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    RECT face = area;
    InflateRect(&face, -1, -1);
    // A pressed button is lit from below, as XP draws it.
    FillGradient(dc, face, pressed ? scheme.bottom : scheme.top,
                 pressed ? scheme.top : scheme.bottom);

    HPEN pen = CreatePen(PS_SOLID, 1, scheme.frame);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, area.left, area.top, area.right, area.bottom, 5, 5);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    wchar_t caption[64];
    const int length = GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    RECT textArea = area;
    if (pressed) OffsetRect(&textArea, 1, 1);
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    DrawTextW(dc, caption, length, &textArea, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);

    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT focus = area;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
    return true;
}
