// The displayed clock: its text, its one-second step and its loading from the local clock.
#include <gtest/gtest.h>

#include <chrono>

#include "clock/clock_counters.h"
#include "datetime/date_time.h"
#include "tests/fakes/fake_local_clock.h"
#include "tests/gbk.h"

namespace {

namespace chr = std::chrono;

ClockCounters Counters(int y, int mo, int d, int h, int mi, int s) {
    ClockCounters c;
    c.year = y;
    c.month = mo;
    c.day = d;
    c.hour = h;
    c.minute = mi;
    c.second = s;
    return c;
}

TEST(TwoDigitText, PadsOnlyWhatIsBelowTen) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "00"},
        {7, "07"},
        {9, "09"},
        {10, "10"},
        {12, "12"},
        {59, "59"},
        {100, "100"},
        {-1, "0-1"},
        {-12, "0-12"},
        {INT32_MIN, "0-2147483648"},
        {INT32_MAX, "2147483647"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(TwoDigitText(value), text) << value;
}

TEST(CurrentTimeText, IsTheExactBytes) {
    const std::pair<ClockCounters, const char*> cases[] = {
        {Counters(2012, 9, 12, 4, 26, 27), "当前时间：2012年09月12日04时26分27秒"},
        {Counters(2012, 12, 31, 23, 59, 59), "当前时间：2012年12月31日23时59分59秒"},
        {Counters(2013, 1, 1, 0, 0, 0), "当前时间：2013年01月01日00时00分00秒"},
        {Counters(2012, 10, 5, 10, 9, 0), "当前时间：2012年10月05日10时09分00秒"},
        {Counters(12345, 1, 1, 0, 0, 0), "当前时间：12345年01月01日00时00分00秒"},
        {Counters(-7, 100, -1, 0, 0, 0), "当前时间：-7年100月0-1日00时00分00秒"},
    };
    for (const auto& [counters, utf8] : cases) EXPECT_EQ(CurrentTimeText(counters), Gbk(utf8));
    EXPECT_EQ(CurrentTimeText(Counters(2012, 9, 12, 4, 26, 27)).size(), 36u);
}

TEST(AdvanceOneSecond, CarriesFromSecondsToYears) {
    const std::pair<ClockCounters, ClockCounters> cases[] = {
        {Counters(2012, 9, 12, 12, 0, 58), Counters(2012, 9, 12, 12, 0, 59)},
        {Counters(2012, 9, 12, 12, 0, 59), Counters(2012, 9, 12, 12, 1, 0)},
        {Counters(2012, 9, 12, 12, 59, 59), Counters(2012, 9, 12, 13, 0, 0)},
        {Counters(2012, 9, 12, 23, 59, 59), Counters(2012, 9, 13, 0, 0, 0)},
        {Counters(2012, 4, 29, 23, 59, 59), Counters(2012, 4, 30, 0, 0, 0)},
        {Counters(2012, 12, 31, 23, 59, 59), Counters(2013, 1, 1, 0, 0, 0)},
        {Counters(2013, 2, 28, 23, 59, 59), Counters(2013, 3, 1, 0, 0, 0)},
        {Counters(2012, 2, 28, 23, 59, 59), Counters(2012, 2, 29, 0, 0, 0)},
        // A day already past the month's end has reached it; the rest of the day still counts.
        {Counters(2012, 2, 31, 23, 59, 59), Counters(2012, 3, 1, 0, 0, 0)},
        {Counters(2012, 2, 31, 10, 0, 0), Counters(2012, 2, 31, 10, 0, 1)},
        // A month that no load produces counts as 31 days long and still wraps to January.
        {Counters(2012, 13, 30, 23, 59, 59), Counters(2012, 13, 31, 0, 0, 0)},
        {Counters(2012, 13, 31, 23, 59, 59), Counters(2013, 1, 1, 0, 0, 0)},
        {Counters(2012, 0, 31, 23, 59, 59), Counters(2012, 1, 1, 0, 0, 0)},
    };
    for (auto [before, after] : cases) {
        ClockCounters c = before;
        AdvanceOneSecond(c);
        EXPECT_EQ(CurrentTimeText(c), CurrentTimeText(after)) << CurrentTimeText(before);
    }
}

TEST(AdvanceOneSecond, AgreesWithChronoAtTheEndOfEveryDayOfFourCenturies) {
    const chr::sys_days first{chr::year{2000} / 1 / 1};
    for (int i = 0; i < 146097; ++i) {
        const chr::year_month_day today{first + chr::days{i}};
        const chr::year_month_day tomorrow{first + chr::days{i + 1}};
        ClockCounters c = Counters(int(today.year()), int(unsigned(today.month())),
                                   int(unsigned(today.day())), 23, 59, 59);
        AdvanceOneSecond(c);
        ASSERT_EQ(c, Counters(int(tomorrow.year()), int(unsigned(tomorrow.month())),
                              int(unsigned(tomorrow.day())), 0, 0, 0))
            << CurrentTimeText(c);
    }
}

TEST(AdvanceOneSecond, ADayOfTicksIsADay) {
    ClockCounters c = Counters(2012, 9, 12, 8, 0, 0);
    for (int i = 0; i < 86400; ++i) AdvanceOneSecond(c);
    EXPECT_EQ(c, Counters(2012, 9, 13, 8, 0, 0));
}

TEST(LoadClockCounters, TakesEverythingFromOneReading) {
    // The second reading would be a minute and a month later: none of it may show.
    fake_clock::Reset(MakeDateTime(2012, 2, 1, 0, 0, 0));
    fake_clock::QueueReadings({MakeDateTime(2012, 1, 31, 23, 59, 59)});
    ClockCounters c;
    LoadClockCounters(c);
    EXPECT_EQ(c, Counters(2012, 1, 31, 23, 59, 59));
    EXPECT_EQ(fake_clock::ReadCount(), 1);
}

}  // namespace
