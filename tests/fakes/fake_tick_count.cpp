// The fake tick count that the Windows tests link instead of the system's.
#include "tests/fakes/fake_tick_count.h"

#include "sync/tick_count.h"

namespace {
std::uint64_t now = 1'000'000;
}

namespace fake_ticks {

void Set(std::uint64_t milliseconds) {
    now = milliseconds;
}
void Advance(std::uint64_t milliseconds) {
    now += milliseconds;
}

}  // namespace fake_ticks

std::uint64_t MonotonicMilliseconds() {
    return now;
}
