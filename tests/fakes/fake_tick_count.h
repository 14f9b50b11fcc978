// A tick count for tests: it stands still until the test moves it.
#pragma once

#include <cstdint>

namespace fake_ticks {

void Set(std::uint64_t milliseconds);
void Advance(std::uint64_t milliseconds);

}  // namespace fake_ticks
