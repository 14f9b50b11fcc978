// What the fuzz targets share: a property check that stops the run and shows the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// An abort is what libFuzzer keeps as a crash, with the input saved beside it.
inline void Require(bool holds, const char* property, std::string_view input) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\ninput (%zu bytes):", property, input.size());
    for (const char c : input) std::fprintf(stderr, " %02X", static_cast<unsigned char>(c));
    std::fputc('\n', stderr);
    std::abort();
}
