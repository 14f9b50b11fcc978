// A local clock for tests: settable, recording, and unable to touch the machine's clock.
#pragma once

#include <initializer_list>
#include <vector>

#include "datetime/date_time.h"

namespace fake_clock {

// Every reading yields `now` from here on; settings are accepted and forgotten.
void Reset(DateTime now);

// The next readings, one each, before the readings fall back to the present time.
void QueueReadings(std::initializer_list<DateTime> readings);

// Refuses every setting while on, as Windows does for a user without the right.
void RefuseSettings(bool refuse);

// Every setting asked for, taken or refused, as the system would have received it.
const std::vector<LocalTimeFields>& Settings();

int ReadCount();

}  // namespace fake_clock
