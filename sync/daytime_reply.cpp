// Reading a daytime server's reply, kept apart from sockets and windows so it can be tested alone.
#include "sync/daytime_reply.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::int32_t kHoursEastOfUtc = 8;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsTwoDigits(std::string_view text) {
    return text.size() == 2 && IsDigit(text[0]) && IsDigit(text[1]);
}

// "HH:MM:SS" without its line end, or nothing when the member is not a whole time. A reply can
// arrive in pieces, and a piece cut inside the time ("04:2") must never be read as another time.
std::optional<std::string_view> CompleteTime(std::string_view member) {
    constexpr std::size_t kLength = 8;  // HH:MM:SS
    if (member.size() < kLength) return std::nullopt;
    const std::string_view time = member.substr(0, kLength);
    const std::string_view lineEnd = member.substr(kLength);
    if (!IsTwoDigits(time.substr(0, 2)) || time[2] != ':' || !IsTwoDigits(time.substr(3, 2)) ||
        time[5] != ':' || !IsTwoDigits(time.substr(6, 2))) {
        return std::nullopt;
    }
    if (lineEnd.empty() || lineEnd == "\r\n" || lineEnd == "\n" || lineEnd == "\r") return time;
    return std::nullopt;
}

// NIST's health digit H: 0 is healthy, anything from 1 on means the time may be off.
bool SaysUnhealthy(const std::vector<std::string>& members) {
    constexpr std::size_t kHealthMember = 5;
    if (members.size() <= kHealthMember) return false;
    const std::string& health = members[kHealthMember];
    return health.size() == 1 && health[0] >= '1' && health[0] <= '9';
}

}  // namespace

std::string BytesToText(std::string_view bytes) {
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::vector<std::string> SplitAtDelimiter(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> members;
    std::size_t memberStart = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        // An empty delimiter would match everywhere and divide nothing sensible: it never matches,
        // so a non-empty text stays one member.
        if (!delimiter.empty() && text.substr(position).starts_with(delimiter)) {
            members.emplace_back(text.substr(memberStart, position - memberStart));
            position += delimiter.size();
            memberStart = position;
            continue;
        }
        // A lead byte takes its trail byte with it, so a delimiter byte inside a Chinese
        // character is never a delimiter; a lead byte standing last stays in the last member.
        const bool leadByte = static_cast<unsigned char>(text[position]) >= 0x80;
        position = std::min(text.size(), position + (leadByte ? 2 : 1));
    }
    if (memberStart < text.size()) members.emplace_back(text.substr(memberStart));
    return members;
}

ReplyDecision DecideDaytimeReply(std::string_view bytes) {
    const ReplyDecision kNotUsed{ReplyVerdict::NotUsed, DateTimeMin};
    const std::vector<std::string> members = SplitAtDelimiter(BytesToText(bytes), " ");
    if (members.size() < 3) return kNotUsed;
    const std::vector<std::string> date = SplitAtDelimiter(members[1], "-");
    if (date.size() < 3) return kNotUsed;
    const std::optional<std::string_view> time = CompleteTime(members[2]);
    if (!time) return kNotUsed;

    if (SaysUnhealthy(members)) return {ReplyVerdict::Unhealthy, DateTimeMin};

    // NIST always sends two digits; a one-digit year would otherwise be read as the year 205.
    const ReplyDecision kUnreadable{ReplyVerdict::Unreadable, DateTimeMin};
    if (!IsTwoDigits(date[0]) || !IsTwoDigits(date[1]) || !IsTwoDigits(date[2])) return kUnreadable;
    const std::string text =
        "20" + date[0] + "/" + date[1] + "/" + date[2] + " " + std::string(*time);
    const DateTime utc = ParseDateTime(text);
    if (utc == DateTimeMin) return kUnreadable;
    return {ReplyVerdict::SetClock, AddHours(utc, kHoursEastOfUtc)};
}
