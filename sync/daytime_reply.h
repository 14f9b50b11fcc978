// Reading a daytime server's reply: its bytes as a text, its members, and what to do with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "datetime/date_time.h"

// The bytes up to the first zero byte, taken as they come: no conversion, no trimming.
std::string BytesToText(std::string_view bytes);

// Divides a GBK text at every delimiter that starts on a character boundary. The empty text
// has no members; a delimiter at the very end adds no empty member.
std::vector<std::string> SplitAtDelimiter(std::string_view text, std::string_view delimiter);

enum class ReplyVerdict {
    NotUsed,     // too little of a reply (often only a piece of one): nothing changes
    Unhealthy,   // the server says its own time may be wrong
    Unreadable,  // complete, but its date and time are not a time NIST would send
    SetClock,    // set the clock to synchronisedTime
};

struct ReplyDecision {
    ReplyVerdict verdict;
    DateTime synchronisedTime;  // UTC+8; meaningful for SetClock only
};

// The whole decision about the bytes of one arrival, each arrival judged alone.
ReplyDecision DecideDaytimeReply(std::string_view bytes);
