// Timer: a period in milliseconds and a periodic event, on a window timer of its own window.
#pragma once

#include <windows.h>

struct Timer {
    HWND window = nullptr;  // hidden child of the owner, destroyed with it; stops the timer
    int period = 0;         // 0: stopped
    void (*onTick)() = nullptr;
};

// `timer` must outlive its window; it starts stopped.
bool CreateTimer(Timer& timer, HWND owner, void (*onTick)());

// A positive period (re)starts the timer; the period it already has changes nothing; 0 or a
// negative one stops it.
void SetTimerPeriod(Timer& timer, int milliseconds);
