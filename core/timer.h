// core/timer.h: the accumulating wall-clock stopwatch behind every timing.
#pragma once
#include <cstdint>
#include <ostream>

namespace veltra {

// All-zero is a stopped timer holding 0. While running, the two numbers hold
// the accumulated time minus the start reading.
struct TIMER {
    int32_t seconds = 0;
    int32_t microseconds = 0;  // 0..999999 after every operation
    bool running = false;

    void start();
    void stop();
};

struct TIMEVALUE {
    int32_t seconds = 0;
    int32_t microseconds = 0;
};
TIMEVALUE addTimes(TIMEVALUE a, TIMEVALUE b);
inline TIMEVALUE timeOf(const TIMER& t) { return {t.seconds, t.microseconds}; }

// Seconds with six decimals, or "TIMING ERROR." for a negative value.
std::ostream& printTime(std::ostream& out, TIMEVALUE value);
inline std::ostream& printTime(std::ostream& out, const TIMER& t) { return printTime(out, timeOf(t)); }

}  // namespace veltra
