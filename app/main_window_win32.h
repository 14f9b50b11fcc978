// MainWindow: the program's one window, its form, its start-up and its own handlers.
#pragma once

#include <windows.h>

#include "app/timer_win32.h"
#include "clock/clock_counters.h"
#include "sync/client_win32.h"

// Control identifiers, by which GetDlgItem finds the controls from inside or outside.
inline constexpr int k透明标签1Id = 101;
inline constexpr int k按钮同步时间Id = 102;
inline constexpr int k透明标签3系统时间Id = 103;
inline constexpr int k透明标签3网络时间Id = 104;
inline constexpr int k超级链接框1Id = 105;

// The outer size, frame and caption bar included.
inline constexpr int kMainWindowWidth = 353;
inline constexpr int kMainWindowHeight = 227;

struct MainWindow {
    HWND window = nullptr;
    HWND 透明标签1 = nullptr;
    HWND 按钮同步时间 = nullptr;
    HWND 透明标签3系统时间 = nullptr;
    HWND 透明标签3网络时间 = nullptr;
    HWND 超级链接框1 = nullptr;
    Timer 时钟1;
    Client 客户1;
    ClockCounters clockCounters;
};

// The handlers share their state only through this: the controls and the clock counters.
extern MainWindow mainWindow;

// Creates the window hidden, with its controls, then runs OnMainWindowCreated; null on failure.
HWND CreateMainWindow(HINSTANCE instance);

// Runs the thread's messages, with the dialog keys of `window`, until the quit message.
int RunMessageLoop(HWND window);

// The whole run: create, show, and the message loop until the window is gone; the exit status.
int RunMainWindow(HINSTANCE instance, int showCommand);

void OnMainWindowCreated();
void OnClockTimer();

// Puts the counters' text into 透明标签1.
void ShowCurrentTime();

// Loads the counters from the local clock and shows them: the counted clock's only correction.
void ReloadCurrentTime();
