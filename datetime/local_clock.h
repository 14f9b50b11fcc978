// The local clock: the one place where the program reads or moves the computer's time.
#pragma once

#include "datetime/date_time.h"

// Linked from local_clock_win32.cpp in the program and from a fake in the tests, so that no
// test can ever move the machine's clock.
DateTime ReadLocalClock();

// True when the system took the setting; false when it refused (no right, or a year before 1601).
bool SetLocalClock(DateTime value);
