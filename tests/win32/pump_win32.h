// Test helper: runs the thread's messages for a while, or until a condition holds.
#pragma once

#include <windows.h>

#include <functional>

// Dispatches messages until `done` holds or `milliseconds` have passed; whether it held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}
