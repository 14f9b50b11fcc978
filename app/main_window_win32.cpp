// MainWindow: the form, the window procedure and the clock handlers.
#include "app/main_window_win32.h"

#include <commctrl.h>

#include "app/control_theme_win32.h"
#include "app/hyperlink_box_win32.h"
#include "app/texts.h"
#include "app/transparent_label_win32.h"
#include "app/ui_text_win32.h"
#include "sync/daytime_sync_win32.h"

MainWindow mainWindow;

namespace {

constexpr wchar_t kClassName[] = L"LanyuTimeSyncMainWindow";
constexpr wchar_t kContactLink[] = L"mailto:" LANYU_CONTACT_EMAIL;
constexpr int kClockPeriodMilliseconds = 1000;
constexpr int kBlueScheme = 1;

constexpr RECT Place(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

bool CreateControls(HWND window) {
    MainWindow& w = mainWindow;
    w.window = window;
    w.透明标签1 =
        CreateTransparentLabel(window, k透明标签1Id, Place(48, 14, 250, 16), texts::kSystemTime);
    w.按钮同步时间 = CreatePushButton(window, k按钮同步时间Id, Place(137, 48, 72, 32),
                                      texts::kSyncTime, WS_TABSTOP);
    w.透明标签3系统时间 =
        CreateTransparentLabel(window, k透明标签3系统时间Id, Place(48, 102, 250, 16), "");
    w.透明标签3网络时间 =
        CreateTransparentLabel(window, k透明标签3网络时间Id, Place(48, 136, 250, 16), "");
    w.超级链接框1 = CreateHyperlinkBox(window, k超级链接框1Id, Place(277, 166, 64, 24),
                                       texts::kContactAuthor, kContactLink);
    ResetSyncState();
    return w.透明标签1 && w.按钮同步时间 && w.透明标签3系统时间 && w.透明标签3网络时间 &&
           w.超级链接框1 && CreateTimer(w.时钟1, window, OnClockTimer) &&
           CreateClient(w.客户1, window, OnClientDataArrived, nullptr);
}

void OnCommand(HWND window, int id, int code) {
    switch (id) {
        case k按钮同步时间Id:
            if (code == BN_CLICKED) OnSyncButtonClicked();
            break;
        // Escape, through the dialog keys: closes as the close button does.
        case IDCANCEL: SendMessageW(window, WM_CLOSE, 0, 0); break;
        // Enter, through the dialog keys: the focused button is clicked, and no other. The
        // window is no dialog and has no default button, so the key arrives as IDOK.
        case IDOK:
            if (GetFocus() == mainWindow.按钮同步时间) SendMessageW(GetFocus(), BM_CLICK, 0, 0);
            break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return CreateControls(window) ? 0 : -1;
        case WM_COMMAND: OnCommand(window, LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_DRAWITEM:
            if (DrawThemedButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_SETFOCUS: SetFocus(mainWindow.按钮同步时间); return 0;
        case WM_TIMECHANGE: ReloadCurrentTime(); return 0;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
                ReloadCurrentTime();
            return TRUE;
        case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HICON LoadProgramIcon(HINSTANCE instance, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(
        LoadImageW(instance, L"DEFAULT_ICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, kClassName, &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadProgramIcon(instance, SM_CXICON);
    wc.hIconSm = LoadProgramIcon(instance, SM_CXSMICON);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

void ShowCurrentTime() {
    SetLabelText(mainWindow.透明标签1, CurrentTimeText(mainWindow.clockCounters));
}

void ReloadCurrentTime() {
    LoadClockCounters(mainWindow.clockCounters);
    ShowCurrentTime();
}

void OnMainWindowCreated() {
    ApplyControlTheme(kBlueScheme);
    LoadClockCounters(mainWindow.clockCounters);
    ShowCurrentTime();
    SetTimerPeriod(mainWindow.时钟1, kClockPeriodMilliseconds);
}

void OnClockTimer() {
    AdvanceOneSecond(mainWindow.clockCounters);
    ShowCurrentTime();
}

int RunMessageLoop(HWND window) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog keys: Tab, Enter, Space and Escape as in any dialog box.
        if (IsWindow(window) && IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

HWND CreateMainWindow(HINSTANCE instance) {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (!RegisterMainWindowClass(instance)) return nullptr;

    // Centred on the primary screen, each half taken toward zero.
    const int left = (GetSystemMetrics(SM_CXSCREEN) - kMainWindowWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kMainWindowHeight) / 2;
    HWND window =
        CreateWindowExW(WS_EX_APPWINDOW, kClassName, WideFromGbk(texts::kWindowCaption).c_str(),
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, left, top,
                        kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    OnMainWindowCreated();
    return window;
}

int RunMainWindow(HINSTANCE instance, int showCommand) {
    HWND window = CreateMainWindow(instance);
    if (!window) {
        MessageBoxGbk(nullptr, texts::kCannotCreateWindow, texts::kSevereError, MB_OK);
        return 1;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetFocus(mainWindow.按钮同步时间);
    return RunMessageLoop(window);
}
