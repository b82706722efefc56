// The grounder's work grows with its input, not with the input times the
// number of semi-naive rounds: its work counters (rounds, atoms indexed, hash
// buckets cleared) are read after grounding a family of programs at size n
// and 2n, in fresh processes.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "grounding/grounder.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"

using namespace veltra;

namespace {

struct WORK {
    double rounds = 0;
    double indexedAtoms = 0;
    double clearedBuckets = 0;
};

// The grounder's counters after grounding text in a fresh process.
WORK workOf(const std::string& text) {
    CHILDRUN run = runCaptured([&] {
        groundProgram(text);
        std::cout << groundingWork.rounds << ' ' << groundingWork.indexedAtoms << ' ' << groundingWork.clearedBuckets
                  << std::endl;
    });
    EXPECT_EQ(run.status, 0) << run.err;
    WORK w;
    std::istringstream(run.out) >> w.rounds >> w.indexedAtoms >> w.clearedBuckets;
    return w;
}

struct FAMILY {
    const char* name;
    std::function<std::string(int)> program;  // the program of size n
    bool roundsGrow;                          // one round per element: rounds double too
};

std::string chainEdges(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "e(" + std::to_string(i) + "," + std::to_string(i + 1) + ").\n";
    return s;
}

TEST(GroundingGrowth, WorkDoublesWhenTheInputDoubles) {
    const FAMILY families[] = {
        {"reachability along a chain", [](int n) { return chainEdges(n) + "r(0).\nr(Y) :- r(X), e(X,Y).\n"; }, true},
        {"reachability, edge first", [](int n) { return chainEdges(n) + "r(0).\nr(Y) :- e(X,Y), r(X).\n"; }, true},
        {"mutual recursion read by key",
         [](int n) { return chainEdges(n) + "r(0).\nr(Y) :- r(X), e(X,Y), s(X).\ns(X) :- r(X).\n"; }, true},
        {"two predicates in turn",
         [](int n) { return chainEdges(n) + "a(0).\nb(Y) :- a(X), e(X,Y).\na(Y) :- b(X), e(X,Y).\n"; }, true},
        {"a wide non-recursive join",
         [](int n) { return chainEdges(n) + "f(X,Z) :- e(X,Y), e(Y,Z).\ng(X) :- f(X,Y), not e(Y,X).\n"; }, false},
    };
    const int n = 3000;
    for (const FAMILY& f : families) {
        SCOPED_TRACE(f.name);
        WORK small = workOf(f.program(n));
        WORK large = workOf(f.program(2 * n));
        if (f.roundsGrow) {
            EXPECT_GE(small.rounds, n);
            EXPECT_LE(large.rounds, 2.1 * small.rounds);
        }
        EXPECT_LE(large.indexedAtoms, 2.2 * small.indexedAtoms + 100);
        EXPECT_LE(large.clearedBuckets, 2.2 * small.clearedBuckets + 100);
    }
}

}  // namespace
