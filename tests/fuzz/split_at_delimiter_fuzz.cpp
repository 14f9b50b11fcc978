// Fuzzes reading received bytes as a text and dividing it, for any bytes and any delimiter.
// The first byte, modulo 5, is the delimiter's length; the delimiter follows, then the bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sync/daytime_reply.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using Members = std::vector<std::string>;

std::string Join(const Members& members, std::string_view delimiter) {
    std::string joined;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0) joined += delimiter;
        joined += members[i];
    }
    return joined;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Where the delimiter divides when it is made of ASCII bytes: at each occurrence, left to right
// and not overlapping, that begins where a character begins. Such a delimiter leaves every
// later character where it was, so the characters can be found once, before dividing.
Members DivideAtBoundaries(std::string_view text, std::string_view delimiter) {
    std::vector<bool> beginsCharacter(text.size(), false);
    for (std::size_t i = 0; i < text.size();) {
        beginsCharacter[i] = true;
        i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    }
    Members members;
    std::size_t start = 0;
    for (std::size_t at = text.find(delimiter); at != std::string_view::npos;
         at = text.find(delimiter, at + 1)) {
        if (at < start || !beginsCharacter[at]) continue;
        members.emplace_back(text.substr(start, at - start));
        start = at + delimiter.size();
    }
    if (start < text.size()) members.emplace_back(text.substr(start));
    return members;
}

void CheckDivision(std::string_view text, std::string_view delimiter, std::string_view input) {
    const Members members = SplitAtDelimiter(text, delimiter);
    Require(members.empty() == text.empty(), "only the empty text has no members", input);
    if (delimiter.empty()) {
        Require(members.size() <= 1 && Join(members, delimiter) == text,
                "an empty delimiter divides nothing", input);
        return;
    }

    // Ending in the delimiter's bytes is not ending in a delimiter: when they begin at the trail
    // byte of a two-byte character (or a lead byte swallowed them), nothing divides there and
    // the text comes back whole. Only a delimiter that divided at the very end is lost.
    const std::string joined = Join(members, delimiter);
    if (!text.ends_with(delimiter)) {
        Require(joined == text, "the members joined give back the text", input);
    } else {
        Require(joined == text || joined + std::string(delimiter) == text,
                "the members joined give back the text, but for a delimiter at its end", input);
    }

    // A member is scanned alone exactly as it was scanned inside the text, so no member holds a
    // delimiter that would have divided it. This holds for a lead byte standing last, too.
    for (const std::string& member : members) {
        if (member.empty()) continue;
        Require(SplitAtDelimiter(member, delimiter) == Members{member},
                "no member holds a delimiter on a character boundary", input);
    }

    // A delimiter with a lead byte of its own moves the character boundaries as it divides
    // ("\x81" divides "\x81\x81" twice), so only an ASCII one is held against the boundaries.
    if (IsAscii(delimiter)) {
        Require(members == DivideAtBoundaries(text, delimiter),
                "an ASCII delimiter divides where it begins a character", input);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t delimiterLength = std::min<std::size_t>(data[0] % 5, size - 1);
    const std::string_view delimiter = input.substr(1, delimiterLength);
    const std::string_view bytes = input.substr(1 + delimiterLength);

    const std::string text = BytesToText(bytes);
    Require(bytes.starts_with(text) && text.find('\0') == std::string::npos &&
                (text.size() == bytes.size() || bytes[text.size()] == '\0'),
            "the text is the bytes up to the first zero byte", input);

    CheckDivision(text, delimiter, input);
    CheckDivision(bytes, delimiter, input);
    return 0;
}
