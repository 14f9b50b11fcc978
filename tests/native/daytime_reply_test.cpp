// Reading a daytime reply: bytes to text, division into members, and the decision it leads to.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "datetime/date_time.h"
#include "sync/daytime_reply.h"
#include "tests/describe.h"
#include "tests/gbk.h"

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using Members = std::vector<std::string>;

// What NIST's servers send, with the health digit H (member 5) at 0.
constexpr std::string_view kNistLine = "\n60966 25-10-18 06:49:19 16 0 0 724.2 UTC(NIST) *\n";

const char* Describe(ReplyVerdict verdict) {
    switch (verdict) {
        case ReplyVerdict::NotUsed: return "NotUsed";
        case ReplyVerdict::Unhealthy: return "Unhealthy";
        case ReplyVerdict::Unreadable: return "Unreadable";
        case ReplyVerdict::SetClock: return "SetClock";
    }
    return "?";
}

// Control bytes and GBK bytes shown as escapes, so a failing case can be told apart.
std::string Escaped(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
    return out;
}

struct SplitCase {
    std::string_view text;
    std::string_view delimiter;
    Members expected;
};

TEST(SplitAtDelimiter, DividesOnlyAtCharacterBoundaries) {
    const SplitCase cases[] = {
        {"a b c", " ", {"a", "b", "c"}},
        {"", " ", {}},
        {"abc", " ", {"abc"}},
        {" a", " ", {"", "a"}},
        {"a  b", " ", {"a", "", "b"}},
        {"a b ", " ", {"a", "b"}},
        {"a b  ", " ", {"a", "b", ""}},
        {" ", " ", {""}},
        {"  ", " ", {"", ""}},
        // A byte from 0x80 on takes the next byte with it, whatever that byte is.
        {"\x81 x y", " ", {"\x81 x", "y"}},
        {"12\x81-09-12", "-", {"12\x81-09", "12"}},
        {"\xB0\xA1 \xB0\xA1", " ", {"\xB0\xA1", "\xB0\xA1"}},
        {"a\x81 ", " ", {"a\x81 "}},
        {"\x81\x81 a", " ", {"\x81\x81", "a"}},
        // A lead byte standing last keeps its place in the last member.
        {"a b\x81", " ", {"a", "b\x81"}},
        {"a \x81", " ", {"a", "\x81"}},
        {"\x81", " ", {"\x81"}},
        // Zero bytes are ordinary bytes here; only the reading of received bytes stops at one.
        {"a\0b c\0"sv, " ", {"a\0b"s, "c\0"s}},
        {"a\0b"sv, "\0"sv, {"a", "b"}},
        // Longer delimiters.
        {"a::b::", "::", {"a", "b"}},
        {"a:::b", "::", {"a", ":b"}},
        {"::", "::", {""}},
        {"ab", "abc", {"ab"}},
        {"\x81"
         "ab",
         "ab",
         {"\x81"
          "ab"}},
        {"x\xC4\xEA", "\xEA", {"x\xC4\xEA"}},
        // The delimiter is never empty in the program; an empty one divides nothing.
        {"a b", "", {"a b"}},
        {"", "", {}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(SplitAtDelimiter(c.text, c.delimiter), c.expected)
            << '"' << Escaped(c.text) << "\" at \"" << Escaped(c.delimiter) << '"';
    }
}

TEST(SplitAtDelimiter, MatchesAChineseDelimiter) {
    EXPECT_EQ(SplitAtDelimiter(Gbk("2012年9月年"), Gbk("年")), (Members{"2012", Gbk("9月")}));
    // 年 is C4 EA and 月 D4 C2: "\xEA\xD4" straddles two characters and is no delimiter.
    EXPECT_EQ(SplitAtDelimiter(Gbk("年月"), "\xEA\xD4"), (Members{Gbk("年月")}));
}

TEST(BytesToText, StopsAtTheFirstZeroByte) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", ""},
        {"\0"sv, ""},
        {"\0abc"sv, ""},
        {"ab\0cd\0"sv, "ab"},
        {"abc", "abc"},
        {" \n 12 \r\n", " \n 12 \r\n"},
        {"\xB0\xA1\0x"sv, "\xB0\xA1"},
        {"\xFF\x80", "\xFF\x80"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(BytesToText(bytes), text) << '"' << Escaped(bytes) << '"';
    }
}

struct SetCase {
    std::string_view reply;
    int year, month, day, hour, minute, second;  // UTC+8
};

TEST(DecideDaytimeReply, SetsTheClockToTheReplyEightHoursOn) {
    const SetCase cases[] = {
        {kNistLine, 2025, 10, 18, 14, 49, 19},
        {"\n56182 12-09-12 04:26:27 50 0 0 0.0 UTC(NIST) *\n", 2012, 9, 12, 12, 26, 27},
        {"\n56292 12-12-31 16:00:00 00 0 0 0.0 UTC(NIST) *\n", 2013, 1, 1, 0, 0, 0},
        {"x 99-12-31 04:00:00", 2099, 12, 31, 12, 0, 0},
        {"x 00-01-01 00:00:00", 2000, 1, 1, 8, 0, 0},
        // The line may end right after the time, in any of the usual ways.
        {"x 12-09-12 04:26:27", 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12 04:26:27\n", 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12 04:26:27\r\n", 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12 04:26:27\r", 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12 04:26:27 ", 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12 04:26:27\0 00-00-00 99:99:99"sv, 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12-00 04:26:27", 2012, 9, 12, 12, 26, 27},
        {"\xB0\xA1 12-09-12 04:26:27 \xB0\xA1", 2012, 9, 12, 12, 26, 27},
        // Health digits other than a single 1 to 9 do not stop it.
        {"x 12-09-12 04:26:27 a b 10", 2012, 9, 12, 12, 26, 27},
        {"x 12-09-12 04:26:27 a b", 2012, 9, 12, 12, 26, 27},
        // Eight hours carry into the day, the month, February's last day and the year.
        {"x 25-10-18 16:00:00", 2025, 10, 19, 0, 0, 0},
        {"x 25-10-31 20:30:00", 2025, 11, 1, 4, 30, 0},
        {"x 25-04-30 23:59:59", 2025, 5, 1, 7, 59, 59},
        {"x 24-02-28 16:30:00", 2024, 2, 29, 0, 30, 0},
        {"x 24-02-29 16:30:00", 2024, 3, 1, 0, 30, 0},
        {"x 25-02-28 16:30:00", 2025, 3, 1, 0, 30, 0},
        {"x 00-02-28 16:30:00", 2000, 2, 29, 0, 30, 0},
        {"x 99-12-31 16:30:00", 2100, 1, 1, 0, 30, 0},
        {"x 99-12-31 23:59:59", 2100, 1, 1, 7, 59, 59},
    };
    for (const SetCase& c : cases) {
        const ReplyDecision decision = DecideDaytimeReply(c.reply);
        EXPECT_STREQ(Describe(decision.verdict), "SetClock") << Escaped(c.reply);
        EXPECT_EQ(Describe(decision.synchronisedTime),
                  Describe(MakeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second)))
            << Escaped(c.reply);
    }
}

struct RefuseCase {
    std::string_view reply;
    ReplyVerdict expected;
};

TEST(DecideDaytimeReply, UsesNoReplyThatLacksADateOrAWholeTime) {
    const RefuseCase cases[] = {
        // Too few members.
        {"", ReplyVerdict::NotUsed},
        {"\0x 12-09-12 04:26:27"sv, ReplyVerdict::NotUsed},
        {"x 12-09-12", ReplyVerdict::NotUsed},
        {"x 12-09-12 ", ReplyVerdict::NotUsed},
        {"12-09-12 04:26:27", ReplyVerdict::NotUsed},
        {"x 12-09 04:26:27", ReplyVerdict::NotUsed},
        {"x  12-09-12 04:26:27", ReplyVerdict::NotUsed},
        {"x 12-09-12  04:26:27", ReplyVerdict::NotUsed},
        {"\x81 12-09-12 04:26:27", ReplyVerdict::NotUsed},  // the space is the trail byte
        {"x 12\x81-09-12 04:26:27", ReplyVerdict::NotUsed},
        // A time that is not whole: what a reply cut in two leaves behind.
        {"x 12-09-12 04:2", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:26:2", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:26:2\n", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:26:27\n\n", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:26:27\n\r", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:26:271", ReplyVerdict::NotUsed},
        {"x 12-09-12 4:26:27", ReplyVerdict::NotUsed},
        {"x 12-09-12 04-26-27", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:26:2x", ReplyVerdict::NotUsed},
        {"x 12-09-12 04:2\0:27"sv, ReplyVerdict::NotUsed},
        {"x 13-02-29 04:2 a b 1", ReplyVerdict::NotUsed},  // too little goes before all else
        {"Fri Dec 11 04:19:24 2026", ReplyVerdict::NotUsed},
    };
    for (const RefuseCase& c : cases) {
        EXPECT_STREQ(Describe(DecideDaytimeReply(c.reply).verdict), Describe(c.expected))
            << Escaped(c.reply);
    }
}

TEST(DecideDaytimeReply, RefusesATimeNistWouldNotSend) {
    const RefuseCase cases[] = {
        {"x 12-13-12 04:26:27", ReplyVerdict::Unreadable},
        {"x 12-00-12 04:26:27", ReplyVerdict::Unreadable},
        {"x 12-09-00 04:26:27", ReplyVerdict::Unreadable},
        {"x 12-09-31 04:26:27", ReplyVerdict::Unreadable},
        {"x 25-02-29 04:26:27", ReplyVerdict::Unreadable},
        {"x 12-09-12 24:00:00", ReplyVerdict::Unreadable},
        {"x 12-09-12 23:60:00", ReplyVerdict::Unreadable},
        {"x 12-09-12 23:59:60\n", ReplyVerdict::Unreadable},
        {"x 012-09-12 04:26:27", ReplyVerdict::Unreadable},
        {"x 5-09-12 04:26:27", ReplyVerdict::Unreadable},
        {"x 12-9-12 04:26:27", ReplyVerdict::Unreadable},
        {"x 12-09-123 04:26:27", ReplyVerdict::Unreadable},
        {"x 12--12 04:26:27", ReplyVerdict::Unreadable},
        {"x 1a-09-12 04:26:27", ReplyVerdict::Unreadable},
        {"x \xA3\xB1\xA3\xB2-09-12 04:26:27", ReplyVerdict::Unreadable},  // full-width 12
        // The server's own word goes before the reading of its date.
        {"x 12-13-12 04:26:27 a b 1", ReplyVerdict::Unhealthy},
        {"x 12-09-12 04:26:27 a b 9 c\n", ReplyVerdict::Unhealthy},
    };
    for (const RefuseCase& c : cases) {
        EXPECT_STREQ(Describe(DecideDaytimeReply(c.reply).verdict), Describe(c.expected))
            << Escaped(c.reply);
    }
}

TEST(DecideDaytimeReply, FollowsTheServersHealthDigit) {
    for (const char health : {'0', '1', '2', '3'}) {
        const std::string reply =
            "\n60966 25-10-18 06:49:19 16 0 " + std::string(1, health) + " 724.2 UTC(NIST) *\n";
        EXPECT_STREQ(Describe(DecideDaytimeReply(reply).verdict),
                     health == '0' ? "SetClock" : "Unhealthy")
            << "H = " << health;
    }
}

TEST(DecideDaytimeReply, NeverSetsAnotherTimeFromAPieceOfTheReply) {
    const std::string expected = Describe(MakeDateTime(2025, 10, 18, 14, 49, 19));
    for (std::size_t cut = 0; cut <= kNistLine.size(); ++cut) {
        for (const std::string_view piece : {kNistLine.substr(0, cut), kNistLine.substr(cut)}) {
            const ReplyDecision decision = DecideDaytimeReply(piece);
            if (decision.verdict == ReplyVerdict::SetClock) {
                EXPECT_EQ(Describe(decision.synchronisedTime), expected) << Escaped(piece);
            } else {
                EXPECT_STREQ(Describe(decision.verdict), "NotUsed") << Escaped(piece);
            }
        }
    }
}

}  // namespace
