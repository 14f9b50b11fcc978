// DateTime: a local wall-clock instant in whole seconds, held as one serial count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Seconds since 1970-01-01 00:00:00 on the proleptic Gregorian calendar, no time zone.
// The count is the single truth; every field is derived from it, so arithmetic stays exact.
struct DateTime {
    std::int64_t seconds = 0;
    friend bool operator==(DateTime, DateTime) = default;
};

// Builds a value from fields without checking them; callers that read untrusted input validate.
DateTime MakeDateTime(std::int64_t year, int month, int day, int hour, int minute, int second);

extern const DateTime DateTimeMin;  // 0100-01-01 00:00:00
extern const DateTime DateTimeMax;  // 9999-12-31 00:00:00: midnight, not the end of that day

// A date on or before 0100-01-01 counts as DateTimeMin and one on or after 9999-12-31 as
// DateTimeMax, whatever the time of day; every operation that takes a DateTime does this first.
DateTime PullIntoRange(DateTime value);

std::int32_t YearOf(DateTime value);
std::int32_t MonthOf(DateTime value);
std::int32_t DayOf(DateTime value);
std::int32_t HourOf(DateTime value);
std::int32_t MinuteOf(DateTime value);
std::int32_t SecondOf(DateTime value);

bool IsLeapYear(std::int64_t year);
int LastDayOfMonth(std::int64_t year, int month);

// Never fails: a text it cannot read yields DateTimeMin. The result is not pulled into range.
DateTime ParseDateTime(std::string_view text);

// The value n hours later on the calendar; the result is not pulled into range.
DateTime AddHours(DateTime value, std::int32_t hours);

// "2012年9月12日12时26分27秒", with the shortest time part that shows every non-zero field.
std::string FormatDateTime(DateTime value);

// What the clock-setting call of the system takes, laid out as a SYSTEMTIME is.
struct LocalTimeFields {
    std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
    friend bool operator==(const LocalTimeFields&, const LocalTimeFields&) = default;
};

// Pulls the value into range and fills every field; dayOfWeek runs from 0 (Sunday) to 6.
LocalTimeFields LocalTimeFieldsOf(DateTime value);

// The reverse, for a clock reading: milliseconds are dropped, never rounded.
DateTime DateTimeOf(const LocalTimeFields& fields);
