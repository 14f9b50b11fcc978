// Fuzzes the decision about one arrival of bytes against a reading of the reply written apart
// from the program's: it may set the clock only to the time the reply itself gives.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "sync/daytime_reply.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

namespace chr = std::chrono;

struct Expected {
    ReplyVerdict verdict;
    std::int64_t seconds = 0;  // UTC+8 as seconds since 1970-01-01, for SetClock
};

// The fields between single-byte delimiters, stepping over two-byte GBK characters.
std::vector<std::string_view> Fields(std::string_view text, char delimiter) {
    std::vector<std::string_view> fields;
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        if (text[i] == delimiter) {
            fields.push_back(text.substr(start, i - start));
            start = ++i;
        } else {
            i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
        }
    }
    if (start < text.size()) fields.push_back(text.substr(start));
    return fields;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

int TwoDigits(std::string_view s) {
    return (s[0] - '0') * 10 + (s[1] - '0');
}

bool IsTwoDigits(std::string_view s) {
    return s.size() == 2 && Digit(s[0]) && Digit(s[1]);
}

Expected Read(std::string_view bytes) {
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    const auto members = Fields(text, ' ');
    if (members.size() < 3) return {ReplyVerdict::NotUsed};
    const auto date = Fields(members[1], '-');
    if (date.size() < 3) return {ReplyVerdict::NotUsed};

    std::string_view time = members[2];
    if (time.ends_with("\r\n")) {
        time.remove_suffix(2);
    } else if (time.ends_with('\n') || time.ends_with('\r')) {
        time.remove_suffix(1);
    }
    if (time.size() != 8 || time[2] != ':' || time[5] != ':' || !IsTwoDigits(time.substr(0, 2)) ||
        !IsTwoDigits(time.substr(3, 2)) || !IsTwoDigits(time.substr(6, 2))) {
        return {ReplyVerdict::NotUsed};
    }

    if (members.size() > 5 && members[5].size() == 1 && members[5][0] >= '1' &&
        members[5][0] <= '9') {
        return {ReplyVerdict::Unhealthy};
    }

    if (!IsTwoDigits(date[0]) || !IsTwoDigits(date[1]) || !IsTwoDigits(date[2])) {
        return {ReplyVerdict::Unreadable};
    }
    const chr::year_month_day day{chr::year{2000 + TwoDigits(date[0])},
                                  chr::month{static_cast<unsigned>(TwoDigits(date[1]))},
                                  chr::day{static_cast<unsigned>(TwoDigits(date[2]))}};
    const int hour = TwoDigits(time.substr(0, 2));
    const int minute = TwoDigits(time.substr(3, 2));
    const int second = TwoDigits(time.substr(6, 2));
    if (!day.ok() || hour > 23 || minute > 59 || second > 59) return {ReplyVerdict::Unreadable};

    const chr::sys_seconds utc =
        chr::sys_days{day} + chr::hours{hour} + chr::minutes{minute} + chr::seconds{second};
    return {ReplyVerdict::SetClock, (utc + chr::hours{8}).time_since_epoch().count()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ReplyDecision decision = DecideDaytimeReply(bytes);
    const Expected expected = Read(bytes);

    if (decision.verdict == ReplyVerdict::SetClock) {
        Require(expected.verdict == ReplyVerdict::SetClock,
                "the clock is set only from a whole, healthy, readable reply", bytes);
        Require(decision.synchronisedTime.seconds == expected.seconds,
                "the clock is set to the reply's own time, eight hours on", bytes);
    }
    Require(decision.verdict == expected.verdict, "the verdict is the one the rules give", bytes);
    return 0;
}
