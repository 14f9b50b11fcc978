// The fake local clock that every test links instead of the system's.
#include "tests/fakes/fake_local_clock.h"

#include <deque>

#include "datetime/local_clock.h"

namespace {

DateTime present = MakeDateTime(2012, 9, 12, 4, 26, 27);
std::deque<DateTime> queued;
bool refuseAll = false;
std::vector<LocalTimeFields> settings;
int readCount = 0;

}  // namespace

namespace fake_clock {

void Reset(DateTime now) {
    present = now;
    queued.clear();
    refuseAll = false;
    settings.clear();
    readCount = 0;
}

void QueueReadings(std::initializer_list<DateTime> readings) {
    queued.insert(queued.end(), readings);
}

void RefuseSettings(bool refuse) {
    refuseAll = refuse;
}

const std::vector<LocalTimeFields>& Settings() {
    return settings;
}

int ReadCount() {
    return readCount;
}

}  // namespace fake_clock

DateTime ReadLocalClock() {
    ++readCount;
    if (queued.empty()) return present;
    const DateTime next = queued.front();
    queued.pop_front();
    return next;
}

bool SetLocalClock(DateTime value) {
    const LocalTimeFields fields = LocalTimeFieldsOf(value);
    settings.push_back(fields);
    // Windows accepts no year before 1601, whoever asks.
    if (refuseAll || fields.year < 1601) return false;
    present = DateTimeOf(fields);
    return true;
}
