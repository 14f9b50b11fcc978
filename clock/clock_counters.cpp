// The displayed clock's counters: loading, text and the one-second step.
#include "clock/clock_counters.h"

#include "app/texts.h"
#include "datetime/date_time.h"
#include "datetime/local_clock.h"

void LoadClockCounters(ClockCounters& counters) {
    const DateTime now = ReadLocalClock();
    counters.second = SecondOf(now);
    counters.minute = MinuteOf(now);
    counters.hour = HourOf(now);
    counters.day = DayOf(now);
    counters.month = MonthOf(now);
    counters.year = YearOf(now);
}

std::string TwoDigitText(std::int32_t value) {
    std::string text = std::to_string(value);
    if (value <= 9) text.insert(text.begin(), '0');
    return text;
}

std::string CurrentTimeText(const ClockCounters& c) {
    return texts::kCurrentTimePrefix + std::to_string(c.year) + texts::kYear +
           TwoDigitText(c.month) + texts::kMonth + TwoDigitText(c.day) + texts::kDay +
           TwoDigitText(c.hour) + texts::kHour + TwoDigitText(c.minute) + texts::kMinute +
           TwoDigitText(c.second) + texts::kSecond;
}

void AdvanceOneSecond(ClockCounters& c) {
    if (c.second < 59) {
        ++c.second;
        return;
    }
    c.second = 0;
    if (c.minute < 59) {
        ++c.minute;
        return;
    }
    c.minute = 0;
    if (c.hour < 23) {
        ++c.hour;
        return;
    }
    c.hour = 0;
    // The old month decides the wrap, before the month itself moves.
    if (c.day < LastDayOfMonth(c.year, c.month)) {
        ++c.day;
        return;
    }
    c.day = 1;
    if (c.month < 12) {
        ++c.month;
        return;
    }
    c.month = 1;
    ++c.year;
}
