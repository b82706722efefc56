// core/timer.cpp: stopwatch arithmetic over gettimeofday readings.
#include "core/timer.h"

#include <sys/time.h>

#include <iomanip>
#include <iostream>

namespace veltra {

static void normalize(int32_t& s, int32_t& us) {
    if (us < 0) {
        --s;
        us += 1000000;
    } else if (us > 999999) {
        ++s;
        us -= 1000000;
    }
}

static bool readClock(timeval& tv) {
    if (gettimeofday(&tv, nullptr) == 0) return true;
    std::cerr << "Warning: gettimeofday failed, timing results will be wrong\n";
    return false;
}

void TIMER::start() {
    running = true;
    timeval tv;
    if (!readClock(tv)) return;
    // Starting a running timer applies the arithmetic again; 64-bit
    // intermediates keep that defined (the value then prints as an error).
    seconds = static_cast<int32_t>(int64_t(seconds) - int64_t(tv.tv_sec));
    microseconds -= static_cast<int32_t>(tv.tv_usec);
    normalize(seconds, microseconds);
}

void TIMER::stop() {
    running = false;
    timeval tv;
    if (!readClock(tv)) return;
    seconds = static_cast<int32_t>(int64_t(seconds) + int64_t(tv.tv_sec));
    microseconds += static_cast<int32_t>(tv.tv_usec);
    normalize(seconds, microseconds);
}

TIMEVALUE addTimes(TIMEVALUE a, TIMEVALUE b) {
    TIMEVALUE r{a.seconds + b.seconds, a.microseconds + b.microseconds};
    normalize(r.seconds, r.microseconds);
    return r;
}

std::ostream& printTime(std::ostream& out, TIMEVALUE v) {
    if (v.seconds < 0 || v.microseconds < 0) return out << "TIMING ERROR.";
    return out << v.seconds << '.' << std::setw(6) << std::setfill('0') << v.microseconds << std::setfill(' ');
}

}  // namespace veltra
