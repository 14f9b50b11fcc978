// A monotonic count of milliseconds, for spacing the queries to the time servers.
#pragma once

#include <cstdint>

// Linked from tick_count_win32.cpp in the program and from a fake in the tests, which move it.
std::uint64_t MonotonicMilliseconds();
