// Hyperlink box: colours for rest, hover and an opened link; a hand cursor; the shell call.
#include "app/hyperlink_box_win32.h"

#include "app/child_window_win32.h"
#include "app/shell_win32.h"
#include "app/ui_text_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"LanyuHyperlinkBox";

// Window extra bytes: the state flags, then the link target.
constexpr int kStateSlot = 0;
constexpr int kTargetSlot = sizeof(LONG_PTR);
constexpr LONG_PTR kHovered = 1;
constexpr LONG_PTR kOpened = 2;

LONG_PTR StateOf(HWND box) {
    return GetWindowLongPtrW(box, kStateSlot);
}

void SetState(HWND box, LONG_PTR state) {
    if (state == StateOf(box)) return;
    SetWindowLongPtrW(box, kStateSlot, state);
    InvalidateRect(box, nullptr, TRUE);
}

COLORREF TextColor(LONG_PTR state) {
    if (state & kHovered) return kLinkHoverColor;
    return (state & kOpened) ? kLinkVisitedColor : kLinkColor;
}

void PaintContent(HWND box, HDC dc) {
    RECT area;
    GetClientRect(box, &area);
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    wchar_t caption[64];
    const int length = GetWindowTextW(box, caption, static_cast<int>(std::size(caption)));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColor(StateOf(box)));
    DrawTextW(dc, caption, length, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void OnMouseMove(HWND box) {
    if (StateOf(box) & kHovered) return;
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, box, 0};
    TrackMouseEvent(&track);
    SetState(box, StateOf(box) | kHovered);
}

// Whether the shell opened the link decides the colour until the next press.
void OnPress(HWND box) {
    const auto target = reinterpret_cast<const wchar_t*>(GetWindowLongPtrW(box, kTargetSlot));
    const bool opened = OpenWithShell(target);
    SetState(box, opened ? StateOf(box) | kOpened : StateOf(box) & ~kOpened);
}

LRESULT CALLBACK HyperlinkProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(box, kTargetSlot, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            PaintContent(box, BeginPaint(box, &ps));
            EndPaint(box, &ps);
            return 0;
        }
        case WM_PRINTCLIENT: PaintContent(box, reinterpret_cast<HDC>(wParam)); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_SETCURSOR: SetCursor(LoadCursorW(nullptr, IDC_HAND)); return TRUE;
        case WM_MOUSEMOVE: OnMouseMove(box); return 0;
        case WM_MOUSELEAVE: SetState(box, StateOf(box) & ~kHovered); return 0;
        case WM_LBUTTONDOWN: OnPress(box); return 0;
    }
    return DefWindowProcW(box, message, wParam, lParam);
}

}  // namespace

HWND CreateHyperlinkBox(HWND parent, int id, RECT place, std::string_view gbkCaption,
                        const wchar_t* target) {
    RegisterChildClass(parent, kClassName, HyperlinkProc, IDC_HAND, 2 * sizeof(LONG_PTR));
    return CreateChildWindow(parent, kClassName, WideFromGbk(gbkCaption).c_str(), WS_VISIBLE,
                             WS_EX_DLGMODALFRAME, place, id, const_cast<wchar_t*>(target));
}
