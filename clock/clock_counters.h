// ClockCounters: the software clock on display, its loading, its text and its one-second step.
#pragma once

#include <cstdint>
#include <string>

// Loaded from the local clock only at start-up and after a synchronisation; in between the
// tick counts it forward without reading the clock again.
struct ClockCounters {
    std::int32_t second = 0;
    std::int32_t minute = 0;
    std::int32_t hour = 0;
    std::int32_t day = 0;
    std::int32_t month = 0;
    std::int32_t year = 0;
    friend bool operator==(const ClockCounters&, const ClockCounters&) = default;
};

// All six counters come from a single reading, so a load that straddles a change of second
// can never mix two instants.
void LoadClockCounters(ClockCounters& counters);

// "07" for 7, "12" for 12, "123" for 123; a negative value gets the "0" too ("0-1").
std::string TwoDigitText(std::int32_t value);

// "当前时间：2012年09月12日04时26分27秒": the year as plain decimal text, the rest two digits.
std::string CurrentTimeText(const ClockCounters& counters);

// One second forward, carrying up to the year. A day at or past the month's last day has
// reached it; a month outside 1 to 12 (which no load produces) counts as a month of 31 days.
void AdvanceOneSecond(ClockCounters& counters);
