// The stopwatch arithmetic and its printer.
#include <gtest/gtest.h>

#include <sstream>

#include "core/timer.h"

using namespace veltra;

namespace {

std::string show(TIMEVALUE v) {
    std::ostringstream out;
    printTime(out, v);
    return out.str();
}

TEST(Timer, Printing) {
    struct {
        TIMEVALUE value;
        const char* text;
    } cases[] = {
        {{0, 0}, "0.000000"},  {{12, 5000}, "12.005000"}, {{0, 2}, "0.000002"},
        {{-1, 5}, "TIMING ERROR."}, {{3, -1}, "TIMING ERROR."},
    };
    for (const auto& c : cases) EXPECT_EQ(show(c.value), c.text);
}

TEST(Timer, AdditionCarriesMicroseconds) {
    TIMEVALUE t = addTimes({0, 600000}, {0, 600000});
    EXPECT_EQ(show(t), "1.200000");
    // Started at 10.999999 (held as -11 s + 1 us), stopped at 11.000001.
    TIMEVALUE borrow = addTimes({-11, 1}, {11, 1});
    EXPECT_EQ(show(borrow), "0.000002");
}

TEST(Timer, NeverStartedIsZeroAndRunningIsAnError) {
    TIMER t;
    EXPECT_EQ(show(timeOf(t)), "0.000000");
    t.start();
    EXPECT_TRUE(t.running);
    EXPECT_EQ(show(timeOf(t)), "TIMING ERROR.");
    t.stop();
    EXPECT_FALSE(t.running);
    EXPECT_GE(t.seconds, 0);
    EXPECT_GE(t.microseconds, 0);
    EXPECT_LE(t.microseconds, 999999);
}

TEST(Timer, StartingARunningTimerTwiceStaysDefined) {
    TIMER t;
    t.start();
    t.start();  // no signed overflow, whatever the clock reads
    t.start();
    t.stop();
    t.stop();
    t.stop();
    EXPECT_FALSE(t.running);
}

}  // namespace
