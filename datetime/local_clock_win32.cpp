// The local clock of Windows, behind the declarations that the tests replace with a fake.
#include <windows.h>

#include "datetime/local_clock.h"

DateTime ReadLocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return DateTimeOf({now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute,
                       now.wSecond, now.wMilliseconds});
}

bool SetLocalClock(DateTime value) {
    const LocalTimeFields f = LocalTimeFieldsOf(value);
    const SYSTEMTIME setting = {f.year, f.month,  f.dayOfWeek, f.day,
                                f.hour, f.minute, f.second,    f.milliseconds};
    return SetLocalTime(&setting) != FALSE;
}
