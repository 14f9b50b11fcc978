// The benchmarks' baseline: a bare window of the program's size with one label and one button.
//
// It does nothing else (no clock, no timer, no sockets, no theme), so start-up time and memory
// measured against it show what the program itself adds to what any Win32 window costs. Built a
// second time with LANYU_BENCH_PROGRAM_DLLS, it also loads the DLLs that the program loads, with
// its manifest, and starts Windows Sockets and the common controls as the program does: the
// part of the difference that is Windows' own, not the program's. Built with LANYU_BENCH_TICK,
// it writes the local time into its label once a second, through a window timer: what any window
// that shows a ticking clock costs while idle.
#ifdef LANYU_BENCH_PROGRAM_DLLS
#include <winsock2.h>
#endif
#include <windows.h>

#ifdef LANYU_BENCH_PROGRAM_DLLS
#include <commctrl.h>
#include <shellapi.h>
#endif

namespace {

constexpr wchar_t kClassName[] = L"LanyuBenchBaseline";
// The same outer size as the program's window.
constexpr int kWidth = 353;
constexpr int kHeight = 227;

constexpr int kLabelId = 1;

#ifdef LANYU_BENCH_TICK
void ShowLocalTime(HWND window) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[64];
    wsprintfW(text, L"%04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    SetWindowTextW(GetDlgItem(window, kLabelId), text);
}
#endif

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
#ifdef LANYU_BENCH_TICK
    if (message == WM_TIMER) {
        ShowLocalTime(window);
        return 0;
    }
#endif
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND AddChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int left,
              int top, int width, int height, int id) {
    HWND child = CreateWindowExW(
        0, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (child) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
    }
    return child;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
#ifdef LANYU_BENCH_PROGRAM_DLLS
    // The program calls the shell only when its link is clicked, but loads it at start.
    static decltype(&ShellExecuteW) volatile shellExecute = &ShellExecuteW;
    (void)shellExecute;
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WSADATA details;
    WSAStartup(0x0101, &details);
#endif
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return 1;

    const int left = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    HWND window =
        CreateWindowExW(0, kClassName, L"Baseline", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, left,
                        top, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    AddChild(window, L"STATIC", L"Label", SS_CENTER, 48, 14, 250, 16, kLabelId);
    AddChild(window, L"BUTTON", L"Button", BS_PUSHBUTTON, 137, 48, 72, 32, 2);
#ifdef LANYU_BENCH_TICK
    ShowLocalTime(window);
    SetTimer(window, 1, 1000, nullptr);
#endif
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
