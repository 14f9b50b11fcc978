// Fuzzes the reading of date-time texts: any bytes either fail to read or read back through
// the display text.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datetime/date_time.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

namespace chr = std::chrono;

// The last second a text can name: 9999-12-31 23:59:59, by chrono rather than by our own code.
const std::int64_t kLastReadableSecond =
    (chr::sys_days{chr::year{9999} / 12 / 31} + chr::seconds{86399}).time_since_epoch().count();
const std::int64_t kFirstReadableSecond =
    chr::sys_days{chr::year{100} / 1 / 1}.time_since_epoch().count() * 86400;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const DateTime parsed = ParseDateTime(text);
    if (parsed == DateTimeMin) return 0;

    Require(parsed.seconds >= kFirstReadableSecond && parsed.seconds <= kLastReadableSecond,
            "what is read lies between 0100-01-01 and 9999-12-31 23:59:59", text);

    // Our fields agree with chrono's. They are the fields of the value pulled into range:
    // 0100-01-01 08:00:00 has the fields of 0100-01-01 00:00:00.
    const DateTime pulled = PullIntoRange(parsed);
    const chr::sys_seconds instant{chr::seconds{pulled.seconds}};
    const chr::sys_days day = chr::floor<chr::days>(instant);
    const chr::year_month_day date{day};
    const chr::hh_mm_ss time{instant - day};
    Require(YearOf(parsed) == static_cast<int>(date.year()) &&
                MonthOf(parsed) == static_cast<int>(static_cast<unsigned>(date.month())) &&
                DayOf(parsed) == static_cast<int>(static_cast<unsigned>(date.day())) &&
                HourOf(parsed) == time.hours().count() &&
                MinuteOf(parsed) == time.minutes().count() &&
                SecondOf(parsed) == time.seconds().count(),
            "the fields of what is read agree with chrono's", text);

    const std::string written = FormatDateTime(pulled);
    Require(written.size() <= 26, "the display text is at most 26 bytes", text);
    Require(ParseDateTime(written) == pulled, "the display text reads back to the same value",
            text);
    return 0;
}
