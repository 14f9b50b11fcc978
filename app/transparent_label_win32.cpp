// Transparent label: paints its parent's background beneath itself, then its text.
#include "app/transparent_label_win32.h"

#include "app/child_window_win32.h"
#include "app/ui_text_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"LanyuTransparentLabel";

// Asks the parent to paint, into this label's DC, what lies beneath the label.
void PaintParentBeneath(HWND label, HDC dc) {
    HWND parent = GetParent(label);
    POINT origin{0, 0};
    MapWindowPoints(label, parent, &origin, 1);
    POINT previous;
    OffsetWindowOrgEx(dc, origin.x, origin.y, &previous);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    SetWindowOrgEx(dc, previous.x, previous.y, nullptr);
}

void PaintContent(HWND label, HDC dc, const RECT& area) {
    PaintParentBeneath(label, dc);
    wchar_t text[256];
    const int length = GetWindowTextW(label, text, static_cast<int>(std::size(text)));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT box = area;
    DrawTextW(dc, text, length, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

// Drawn off screen and copied in one piece, so the once-a-second change never flickers.
void OnPaint(HWND label) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(label, &ps);
    RECT area;
    GetClientRect(label, &area);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, area.right, area.bottom);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    PaintContent(label, memory, area);
    BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(label, &ps);
}

LRESULT CALLBACK LabelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: OnPaint(label); return 0;
        case WM_PRINTCLIENT: {
            RECT area;
            GetClientRect(label, &area);
            PaintContent(label, reinterpret_cast<HDC>(wParam), area);
            return 0;
        }
        case WM_ERASEBKGND: return 1;  // the paint covers every pixel
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcW(label, message, wParam, lParam);
            InvalidateRect(label, nullptr, FALSE);
            UpdateWindow(label);
            return result;
        }
        case WM_NCHITTEST: return HTTRANSPARENT;
    }
    return DefWindowProcW(label, message, wParam, lParam);
}

}  // namespace

HWND CreateTransparentLabel(HWND parent, int id, RECT place, std::string_view gbkText) {
    RegisterChildClass(parent, kClassName, LabelProc, IDC_ARROW);
    return CreateChildWindow(parent, kClassName, WideFromGbk(gbkText).c_str(), WS_VISIBLE, 0, place,
                             id);
}

void SetLabelText(HWND label, std::string_view gbkText) {
    SetWindowTextGbk(label, gbkText);
}
