// Timer on SetTimer: Windows delivers its events through the message loop and never piles them up.
#include "app/timer_win32.h"

#include "app/child_window_win32.h"

namespace {

constexpr wchar_t kClassName[] = L"LanyuTimer";
constexpr UINT_PTR kTimerId = 1;

LRESULT CALLBACK TimerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* timer = reinterpret_cast<Timer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            const auto create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_TIMER:
            if (timer && wParam == kTimerId && timer->onTick) timer->onTick();
            return 0;
        case WM_DESTROY:
            if (timer) {
                KillTimer(window, kTimerId);
                timer->period = 0;
                timer->window = nullptr;
            }
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool CreateTimer(Timer& timer, HWND owner, void (*onTick)()) {
    RegisterChildClass(owner, kClassName, TimerProc, nullptr);
    timer.period = 0;
    timer.onTick = onTick;
    timer.window = CreateChildWindow(owner, kClassName, L"", 0, 0, RECT{}, 0, &timer);
    return timer.window != nullptr;
}

void SetTimerPeriod(Timer& timer, int milliseconds) {
    const int period = milliseconds < 0 ? 0 : milliseconds;
    if (period == timer.period || !timer.window) return;
    KillTimer(timer.window, kTimerId);
    timer.period = period;
    if (period > 0) SetTimer(timer.window, kTimerId, static_cast<UINT>(period), nullptr);
}
