// DateTime: reading texts, adding hours, the display text, ranges and the day of the week.
#include <gtest/gtest.h>

#include <chrono>

#include "datetime/date_time.h"
#include "tests/describe.h"
#include "tests/gbk.h"

namespace {

namespace chr = std::chrono;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return MakeDateTime(y, mo, d, h, mi, s);
}

struct ParseCase {
    const char* utf8;  // converted to GBK before it is read
    DateTime expected;
};

TEST(ParseDateTime, ReadsEveryAcceptedForm) {
    const ParseCase cases[] = {
        {"2012/09/12 04:26:27", At(2012, 9, 12, 4, 26, 27)},
        {"2012/9/2 4:6:7", At(2012, 9, 2, 4, 6, 7)},
        {"2007/10/31", At(2007, 10, 31)},
        {"20120912042627", At(2012, 9, 12, 4, 26, 27)},
        {"2012年9月12日4时26分27秒", At(2012, 9, 12, 4, 26, 27)},
        {"2012年9月12日4时26分27秒 and more", At(2012, 9, 12, 4, 26, 27)},
        {"2012-09-12", At(2012, 9, 12)},
        {"2012.09.12", At(2012, 9, 12)},
        {"２０１２／０９／１２", At(2012, 9, 12)},
        {"２０１２－０９－１２　０４：２６：２７", At(2012, 9, 12, 4, 26, 27)},
        {"2012:09:12-04.26/27", At(2012, 9, 12, 4, 26, 27)},
        {"2000/02/29", At(2000, 2, 29)},
        {"2012/02/29", At(2012, 2, 29)},
        {"0100/01/01 08:00:00", At(100, 1, 1, 8)},
        {"9999/12/31 23:59:59", At(9999, 12, 31, 23, 59, 59)},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(Describe(ParseDateTime(Gbk(c.utf8))), Describe(c.expected)) << c.utf8;
    }
}

TEST(ParseDateTime, YieldsDateTimeMinForWhatItCannotRead) {
    const char* const cases[] = {
        "",
        "12/09/12 04:26:27",  // a year below 100
        "2012/13/01",         // no month 13
        "2012/00/01",
        "2012/09/00",
        "2013/02/29",  // a common year
        "2100/02/29",  // a century that is not a leap year
        "2012/04/31",
        "2012/09/12 24:00:00",
        "2012/09/12 23:60:00",
        "2012/09/12 23:59:60",
        "2012/09/12 04:26:27 ",  // only "秒" may follow the second
        "2012/09/12 04:26:27x",
        "2012/09/12 04:26:271",
        "2012 09 12",  // a space is allowed after the day only
        " 2012/09/12",
        "2012//09/12",  // one separator at most
        "2012/09/12\n",
        "2012/09/12 04:26:27\n",
    };
    for (const char* text : cases) {
        EXPECT_EQ(ParseDateTime(Gbk(text)), DateTimeMin) << '"' << text << '"';
    }
}

TEST(ParseDateTime, RejectsStrayBytesAfterTheSecond) {
    EXPECT_EQ(ParseDateTime("2012/09/12 04:26:27\xA3"), DateTimeMin);  // a lone lead byte
    EXPECT_EQ(ParseDateTime("2012/09/12 04:26:27\xC3"), DateTimeMin);  // half of "秒"
}

struct AddCase {
    DateTime from;
    DateTime expected;
};

TEST(AddHours, CarriesIntoDaysMonthsAndYears) {
    const AddCase cases[] = {
        {At(2012, 9, 12, 4, 26, 27), At(2012, 9, 12, 12, 26, 27)},
        {At(2012, 12, 31, 20, 30, 0), At(2013, 1, 1, 4, 30, 0)},
        {At(2012, 2, 28, 16, 30, 0), At(2012, 2, 29, 0, 30, 0)},
        {At(2013, 2, 28, 16, 30, 0), At(2013, 3, 1, 0, 30, 0)},
        {At(2100, 2, 28, 20, 30, 0), At(2100, 3, 1, 4, 30, 0)},
        {At(2099, 12, 31, 16, 30, 0), At(2100, 1, 1, 0, 30, 0)},
        // Pulled into range first: any time on 0100-01-01 starts from midnight.
        {At(100, 1, 1, 23, 0, 0), At(100, 1, 1, 8, 0, 0)},
        {At(10000, 6, 1, 12, 0, 0), At(9999, 12, 31, 8, 0, 0)},
    };
    for (const AddCase& c : cases) {
        EXPECT_EQ(Describe(AddHours(c.from, 8)), Describe(c.expected)) << Describe(c.from);
    }
}

TEST(AddHours, AgreesWithChronoAndNeverOverflows) {
    // Both count seconds from 1970-01-01, so the serial values must agree to the second.
    const DateTime start = At(2012, 9, 12, 4, 26, 27);
    const chr::sys_seconds reference = chr::sys_days{chr::year{2012} / 9 / 12} + chr::hours{4} +
                                       chr::minutes{26} + chr::seconds{27};
    for (const std::int32_t hours :
         {0, 1, -1, 8, 24, -8, 1000, -1000, 876000, -17000000, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(AddHours(start, hours).seconds,
                  (reference + chr::hours{hours}).time_since_epoch().count())
            << hours;
    }
    EXPECT_EQ(YearOf(AddHours(start, INT32_MAX)), 9999);
    EXPECT_EQ(PullIntoRange(AddHours(start, INT32_MIN)), DateTimeMin);
}

struct FormatCase {
    DateTime value;
    const char* utf8;
};

TEST(FormatDateTime, ShowsTheShortestTimePart) {
    const FormatCase cases[] = {
        {At(2012, 9, 12, 12, 26, 27), "2012年9月12日12时26分27秒"},
        {At(2012, 9, 12, 4, 26, 0), "2012年9月12日4时26分"},
        {At(2012, 9, 12, 8, 0, 0), "2012年9月12日8时"},
        {At(2012, 9, 13, 0, 0, 0), "2012年9月13日"},
        {At(2012, 9, 13, 0, 5, 0), "2012年9月13日0时5分"},
        {At(2012, 9, 13, 0, 0, 5), "2012年9月13日0时0分5秒"},
        {At(2012, 9, 13, 10, 0, 5), "2012年9月13日10时0分5秒"},
        {At(9999, 12, 31, 23, 59, 59), "9999年12月31日"},
        {At(12000, 1, 1, 5, 0, 0), "9999年12月31日"},
        {At(100, 1, 1, 8, 0, 0), "100年1月1日"},
        {At(-50, 3, 1, 8, 0, 0), "100年1月1日"},
        {At(100, 1, 2, 0, 0, 1), "100年1月2日0时0分1秒"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(FormatDateTime(c.value), Gbk(c.utf8)) << c.utf8;
    }
}

TEST(FormatDateTime, IsAtMost26Bytes) {
    EXPECT_EQ(FormatDateTime(At(2012, 12, 31, 23, 59, 59)).size(), 26u);
    EXPECT_EQ(FormatDateTime(At(9998, 12, 31, 23, 59, 59)).size(), 26u);
}

TEST(FormatDateTime, IsReadBackByParseDateTime) {
    for (const DateTime t : {At(2012, 9, 12, 12, 26, 27), At(2012, 9, 13, 0, 5, 0), At(2012, 9, 13),
                             At(101, 2, 3, 4, 5, 6), At(9999, 12, 30, 1, 0, 0)}) {
        EXPECT_EQ(ParseDateTime(FormatDateTime(t)), t) << Describe(t);
    }
}

TEST(Fields, OfAValueOutsideTheRangeAreThoseOfTheNearerEnd) {
    EXPECT_EQ(HourOf(At(100, 1, 1, 8, 0, 0)), 0);
    EXPECT_EQ(YearOf(At(10000, 5, 5, 5, 5, 5)), 9999);
    EXPECT_EQ(DayOf(At(10000, 5, 5, 5, 5, 5)), 31);
    EXPECT_EQ(HourOf(At(9999, 12, 31, 23, 0, 0)), 0);
    EXPECT_EQ(YearOf(At(50, 6, 6)), 100);
    const DateTime inside = At(2012, 9, 12, 4, 26, 27);
    EXPECT_EQ(YearOf(inside), 2012);
    EXPECT_EQ(MonthOf(inside), 9);
    EXPECT_EQ(DayOf(inside), 12);
    EXPECT_EQ(HourOf(inside), 4);
    EXPECT_EQ(MinuteOf(inside), 26);
    EXPECT_EQ(SecondOf(inside), 27);
    EXPECT_EQ(PullIntoRange(At(100, 1, 2, 0, 0, 0)), At(100, 1, 2, 0, 0, 0));
    EXPECT_EQ(PullIntoRange(At(9999, 12, 30, 23, 59, 59)), At(9999, 12, 30, 23, 59, 59));
}

TEST(LocalTimeFieldsOf, FillsTheWholeSetting) {
    const LocalTimeFields expected{2012, 9, 3, 12, 12, 26, 27, 0};
    EXPECT_EQ(LocalTimeFieldsOf(At(2012, 9, 12, 12, 26, 27)), expected);
    const LocalTimeFields minimum{100, 1, 5, 1, 0, 0, 0, 0};  // 0100-01-01 was a Friday
    EXPECT_EQ(LocalTimeFieldsOf(At(100, 1, 1, 8, 0, 0)), minimum);
    EXPECT_EQ(DateTimeOf({2012, 9, 3, 12, 23, 59, 59, 999}), At(2012, 9, 12, 23, 59, 59));
}

TEST(LocalTimeFieldsOf, DatesAndWeekdaysAgreeWithChronoOverEveryDayOfFourCenturies) {
    // One 400-year cycle repeats the calendar exactly, weekdays included.
    const chr::sys_days first{chr::year{1900} / 1 / 1};
    for (int i = 0; i < 146097; ++i) {
        const chr::sys_days day = first + chr::days{i};
        const chr::year_month_day ymd{day};
        const DateTime t =
            MakeDateTime(static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                         static_cast<int>(unsigned(ymd.day())), 13, 0, 0);
        const LocalTimeFields f = LocalTimeFieldsOf(t);
        ASSERT_EQ(f.dayOfWeek, chr::weekday{day}.c_encoding()) << i;
        ASSERT_EQ(f.year, static_cast<int>(ymd.year())) << i;
        ASSERT_EQ(t.seconds, chr::sys_seconds{day}.time_since_epoch().count() + 13 * 3600) << i;
        ASSERT_EQ(
            LastDayOfMonth(f.year, f.month),
            static_cast<int>(unsigned(
                chr::year_month_day_last{ymd.year(), chr::month_day_last{ymd.month()}}.day())))
            << i;
    }
}

}  // namespace
