// DateTime arithmetic, reading and writing, on one serial count of seconds.
#include "datetime/date_time.h"

#include "app/texts.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days from 1970-01-01 to y-m-d, after Howard Hinnant's days_from_civil.
// Exact for every year whose day count fits comfortably in 64 bits.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;                                    // [0, 399]
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;            // [0, 146096]
    return era * 146097 + doe - 719468;
}

struct CivilDate {
    std::int64_t year;
    int month;  // [1, 12]
    int day;    // [1, 31]
};

// The inverse of DaysFromCivil, after Hinnant's civil_from_days.
CivilDate CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;                                       // [0, 146096]
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
    const std::int64_t mp = (5 * doy + 2) / 153;                                     // [0, 11]
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);                  // [1, 31]
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);                   // [1, 12]
    return {yoe + era * 400 + (month <= 2), month, day};
}

struct Fields {
    std::int64_t days;  // since 1970-01-01
    CivilDate date;
    int hour, minute, second;
};

// The fields of a value already pulled into range.
Fields FieldsOf(DateTime value) {
    const DateTime v = PullIntoRange(value);
    const std::int64_t days = FloorDiv(v.seconds, kSecondsPerDay);
    const auto secondOfDay = static_cast<int>(v.seconds - days * kSecondsPerDay);  // [0, 86399]
    return {days, CivilFromDays(days), secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60};
}

const std::int64_t kMinDays = DaysFromCivil(100, 1, 1);
const std::int64_t kMaxDays = DaysFromCivil(9999, 12, 31);

// Full-width forms (A3 A1 to A3 FE) become their ASCII letters and the ideographic space
// (A1 A1) a space. Every other two-byte character is kept whole, so its second byte is never
// read as a character of its own.
std::string ToHalfWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x81 || lead == 0xFF || i + 1 == text.size()) {
            out += text[i++];
            continue;
        }
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out += static_cast<char>(trail - 0x80);
        } else if (lead == 0xA1 && trail == 0xA1) {
            out += ' ';
        } else {
            out.append(text.substr(i, 2));
        }
        i += 2;
    }
    return out;
}

class FieldReader {
public:
    explicit FieldReader(std::string_view text) : rest_(text) {}

    // A run of at most maxDigits decimal digits; none reads as 0.
    int Number(int maxDigits) {
        int value = 0;
        for (int n = 0; n < maxDigits && !rest_.empty() && rest_[0] >= '0' && rest_[0] <= '9';
             ++n) {
            value = value * 10 + (rest_[0] - '0');
            rest_.remove_prefix(1);
        }
        return value;
    }

    // Skips one separator if one stands here: one of the ASCII punctuation marks, or the word.
    void SkipSeparator(std::string_view punctuation, std::string_view word) {
        if (!rest_.empty() && punctuation.find(rest_[0]) != std::string_view::npos) {
            rest_.remove_prefix(1);
        } else {
            Skip(word);
        }
    }

    bool Skip(std::string_view token) {
        if (!rest_.starts_with(token)) return false;
        rest_.remove_prefix(token.size());
        return true;
    }

    bool AtEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

}  // namespace

DateTime MakeDateTime(std::int64_t year, int month, int day, int hour, int minute, int second) {
    return {DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second};
}

const DateTime DateTimeMin = MakeDateTime(100, 1, 1, 0, 0, 0);
const DateTime DateTimeMax = MakeDateTime(9999, 12, 31, 0, 0, 0);

DateTime PullIntoRange(DateTime value) {
    const std::int64_t days = FloorDiv(value.seconds, kSecondsPerDay);
    if (days <= kMinDays) return DateTimeMin;
    if (days >= kMaxDays) return DateTimeMax;
    return value;
}

std::int32_t YearOf(DateTime value) {
    return static_cast<std::int32_t>(FieldsOf(value).date.year);
}
std::int32_t MonthOf(DateTime value) {
    return FieldsOf(value).date.month;
}
std::int32_t DayOf(DateTime value) {
    return FieldsOf(value).date.day;
}
std::int32_t HourOf(DateTime value) {
    return FieldsOf(value).hour;
}
std::int32_t MinuteOf(DateTime value) {
    return FieldsOf(value).minute;
}
std::int32_t SecondOf(DateTime value) {
    return FieldsOf(value).second;
}

bool IsLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int LastDayOfMonth(std::int64_t year, int month) {
    switch (month) {
        case 4:
        case 6:
        case 9:
        case 11: return 30;
        case 2: return IsLeapYear(year) ? 29 : 28;
        default: return 31;
    }
}

DateTime ParseDateTime(std::string_view text) {
    const std::string halfWidth = ToHalfWidth(text);
    if (halfWidth.empty()) return DateTimeMin;

    // The same marks may follow every field; a space only the day, and each its own word.
    constexpr std::string_view kMarks = "-./:";
    FieldReader reader(halfWidth);
    const int year = reader.Number(4);
    reader.SkipSeparator(kMarks, texts::kYear);
    const int month = reader.Number(2);
    reader.SkipSeparator(kMarks, texts::kMonth);
    const int day = reader.Number(2);
    if (!reader.Skip(" ")) reader.SkipSeparator(kMarks, texts::kDay);
    const int hour = reader.Number(2);
    reader.SkipSeparator(kMarks, texts::kHour);
    const int minute = reader.Number(2);
    reader.SkipSeparator(kMarks, texts::kMinute);
    const int second = reader.Number(2);
    if (!reader.AtEnd() && !reader.Skip(texts::kSecond)) return DateTimeMin;

    const bool inRange = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                         day <= LastDayOfMonth(year, month) && hour <= 23 && minute <= 59 &&
                         second <= 59;
    return inRange ? MakeDateTime(year, month, day, hour, minute, second) : DateTimeMin;
}

DateTime AddHours(DateTime value, std::int32_t hours) {
    return {PullIntoRange(value).seconds + std::int64_t{hours} * 3600};
}

std::string FormatDateTime(DateTime value) {
    const Fields f = FieldsOf(value);
    std::string text = std::to_string(f.date.year) + texts::kYear + std::to_string(f.date.month) +
                       texts::kMonth + std::to_string(f.date.day) + texts::kDay;
    if (f.hour == 0 && f.minute == 0 && f.second == 0) return text;
    text += std::to_string(f.hour) + texts::kHour;
    if (f.minute == 0 && f.second == 0) return text;
    text += std::to_string(f.minute) + texts::kMinute;
    if (f.second == 0) return text;
    return text + std::to_string(f.second) + texts::kSecond;
}

LocalTimeFields LocalTimeFieldsOf(DateTime value) {
    const Fields f = FieldsOf(value);
    // 1970-01-01 was a Thursday (4).
    const auto dayOfWeek =
        static_cast<std::uint16_t>(f.days >= -4 ? (f.days + 4) % 7 : (f.days + 5) % 7 + 6);
    return {static_cast<std::uint16_t>(f.date.year),
            static_cast<std::uint16_t>(f.date.month),
            dayOfWeek,
            static_cast<std::uint16_t>(f.date.day),
            static_cast<std::uint16_t>(f.hour),
            static_cast<std::uint16_t>(f.minute),
            static_cast<std::uint16_t>(f.second),
            0};
}

DateTime DateTimeOf(const LocalTimeFields& f) {
    return MakeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
}
