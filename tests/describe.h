// Test helper: a DateTime as a readable date and time, with its raw count, for failure messages.
#pragma once

#include <cstdio>
#include <string>

#include "datetime/date_time.h"

inline std::string Describe(DateTime t) {
    char buffer[64];
    const LocalTimeFields f = LocalTimeFieldsOf(t);
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d (raw %lld)", f.year,
                  f.month, f.day, f.hour, f.minute, f.second, static_cast<long long>(t.seconds));
    return buffer;
}
