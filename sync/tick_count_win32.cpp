// The monotonic tick count of Windows: unaffected by any setting of the clock.
#include <windows.h>

#include "sync/tick_count.h"

std::uint64_t MonotonicMilliseconds() {
    return GetTickCount64();
}
