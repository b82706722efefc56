// The generator's lines of the "-stats" report: the search figures and the
// time report, from counters and timers set by hand.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/options.h"
#include "generator/statistics.h"
#include "tests/unit/support/child.h"

namespace veltra {

namespace {

TIMER timer(int32_t seconds, int32_t microseconds) {
    TIMER t;
    t.seconds = seconds;
    t.microseconds = microseconds;
    return t;
}

std::string searchReport(const MODELGENERATOR& g, int32_t level) {
    statsLevel = level;
    std::ostringstream out;
    printSearchStatistics(g, out);
    return out.str();
}

std::string timeReport(const MODELGENERATOR* g, int32_t level) {
    statsLevel = level;
    std::ostringstream out;
    printGeneratorTimes(g, out);
    return out.str();
}

// A generator after a search three levels deep, every counter distinct.
void fillCounters(MODELGENERATOR& g) {
    g.maxLevel = 4;
    g.levelCounts = {1, 5, 7, 2};
    g.inconsistentChoices = 3;
    g.choicePoints = 6;
    g.lookaheadsPerformed = 11;
    g.inconsistentLookaheads = 12;
    g.pruningLookaheads = 13;
    g.internalChoicePoints = 14;
    g.forwardPartialChecks = 15;
    g.forwardPartialChecksFailed = 16;
    g.backtrackingPartialChecks = 17;
    g.quickPartialChecks = 18;
    g.answerSetCandidates = 19;
    g.totalModelChecks = 20;
    g.answerSetsComputed = 21;
    g.answerSetsPrinted = 22;
}

}  // namespace

TEST(SearchStatistics, DepthLineByOutcomeOfTheRun) {
    inFreshProcess([] {
        struct CASE {
            bool inconsistent;
            uint32_t maxLevel;
            const char* expected;
        };
        const CASE cases[] = {
            {true, 0,
             "Maximum recursion level   : n/a (inconsistency in well-founded computation)\n"
             "Answer sets printed       : 22\n"},
            {false, 0,
             "Maximum recursion level   : n/a (initial partial model check failed)\n"
             "Answer sets printed       : 22\n"},
            {false, 1,
             "Maximum recursion level   : 0\n"
             "Choice Points             : 6\n"
             "Answer sets printed       : 22\n"},
            {false, 4,
             "Maximum recursion level   : 3\n"
             "Choice Points             : 6\n"
             "Answer sets printed       : 22\n"},
        };
        for (const CASE& c : cases) {
            MODELGENERATOR g;
            fillCounters(g);
            g.initiallyInconsistent = c.inconsistent;
            g.maxLevel = c.maxLevel;
            EXPECT_EQ(searchReport(g, 1), c.expected) << c.maxLevel;
        }
    });
}

TEST(SearchStatistics, DetailedReportListsDepthsAndEveryCounter) {
    inFreshProcess([] {
        MODELGENERATOR g;
        fillCounters(g);
        // Depth i is entry i: entry 0 (level 1 entered) is not a depth.
        EXPECT_EQ(searchReport(g, 2),
                  "Maximum recursion level   : 3\n"
                  "         Reached level   1: 5 times\n"
                  "         Reached level   2: 7 times\n"
                  "         Reached level   3: 2 times\n"
                  "=> Consistent choices     : 14\n"
                  "Inconsistent choices      : 3\n"
                  "Choice Points             : 6\n"
                  "Lookaheads performed      : 11\n"
                  " Inconsistent lookaheads  : 12\n"
                  " Pruning lookaheads       : 13\n"
                  "Choice Points (internal)  : 14\n"
                  "Partial checks forwards   : 15\n"
                  "         forwards (failed): 16\n"
                  "Partial checks backtracking: 17\n"
                  "      backtracking (quick): 18\n"
                  "Answer set candidates     : 19\n"
                  "Total model checks        : 20\n"
                  "Answer sets computed      : 21\n"
                  "\n"
                  "Answer sets printed       : 22\n");
    });
}

TEST(SearchStatistics, DetailedReportWithoutChoicesOrDepth) {
    inFreshProcess([] {
        MODELGENERATOR g;
        fillCounters(g);
        g.maxLevel = 1;
        g.levelCounts = {1};
        std::string report = searchReport(g, 2);
        EXPECT_EQ(report.find("Reached level"), std::string::npos);
        EXPECT_NE(report.find("Maximum recursion level   : 0\n=> Consistent choices     : 0\n"), std::string::npos);
        // No depth at all: no per-depth lines, no choice lines.
        g.maxLevel = 0;
        report = searchReport(g, 2);
        EXPECT_EQ(report.find("Consistent choices"), std::string::npos);
        EXPECT_EQ(report.find("Choice Points             :"), std::string::npos);
        EXPECT_NE(report.find("Choice Points (internal)  : 14\n"), std::string::npos);
    });
}

TEST(SearchStatistics, LevelNumbersArePaddedWithTheStreamsFill) {
    inFreshProcess([] {
        MODELGENERATOR g;
        fillCounters(g);
        statsLevel = 2;
        std::ostringstream out;
        out.fill('0');
        printSearchStatistics(g, out);
        EXPECT_NE(out.str().find("         Reached level 002: 7 times\n"), std::string::npos);
    });
}

TEST(GeneratorTimes, OwnTimeSubtractsChecksAndCallbacksOneAtATime) {
    inFreshProcess([] {
        struct CASE {
            TIMER total, modelCheck, partialCheck, frontend;
            const char* own;
        };
        const CASE cases[] = {
            {timer(2, 5), {}, {}, {}, "2.000005"},
            {timer(1, 0), timer(0, 1), {}, {}, "0.999999"},
            {timer(3, 200000), timer(0, 300000), timer(0, 400000), timer(1, 600000), "0.900000"},
            // More time inside the parts than in the whole.
            {timer(0, 1), timer(0, 2), {}, {}, "TIMING ERROR."},
            // A clock that went backwards.
            {timer(-1, 0), {}, {}, {}, "TIMING ERROR."},
        };
        for (const CASE& c : cases) {
            MODELGENERATOR g;
            g.checkFlags = 0;
            g.totalTimer = c.total;
            g.modelCheckTimer = c.modelCheck;
            g.partialCheckTimer = c.partialCheck;
            g.frontendTimer = c.frontend;
            const std::string report = timeReport(&g, 1);
            EXPECT_EQ(report.substr(0, report.find('\n')), std::string("Model Generator time      : ") + c.own);
        }
    });
}

TEST(GeneratorTimes, CheckerLinesFollowTheCheckFlagAndTheLevel) {
    inFreshProcess([] {
        MODELGENERATOR g;
        g.totalTimer = timer(5, 0);
        g.initTimer = timer(0, 1);
        g.depgraphTimer = timer(0, 2);
        g.wellFoundedTimer = timer(0, 3);
        g.ptTimer = timer(0, 4);
        g.frontendTimer = timer(0, 5);
        g.modelCheckTimer = timer(0, 600000);
        g.partialCheckTimer = timer(1, 500000);
        g.quickCheckTimer = timer(0, 7);

        g.checkFlags = 0;
        EXPECT_EQ(timeReport(&g, 1),
                  "Model Generator time      : 2.899995\n"
                  "Model Checker time        : 2.100000\n");
        EXPECT_EQ(timeReport(&g, 2),
                  "Model Generator time      : 2.899995\n"
                  " DS Initialisation        : 0.000001\n"
                  " Depgraph                 : 0.000002\n"
                  " Well-founded computation : 0.000003\n"
                  " PT computation           : 0.000004\n"
                  " Frontend callbacks       : 0.000005\n"
                  "Model Checker time        : 2.100000\n");

        g.checkFlags = CHECK_MODEL_CHECKING_ON;
        EXPECT_EQ(timeReport(&g, 1),
                  "Model Generator time      : 2.899995\n"
                  "Model Checker time        : 2.100000\n"
                  " Total Model Check time   : 0.600000\n"
                  " Partial Model Check time : 1.500000\n");
        // The model checker's own lines go to standard error.
        testing::internal::CaptureStderr();
        const std::string report = timeReport(&g, 2);
        const std::string checker = testing::internal::GetCapturedStderr();
        EXPECT_NE(report.find(" Partial Model Check time : 1.500000\n"
                              "  Quick Partial Check time: 0.000007\n"),
                  std::string::npos);
        EXPECT_NE(checker.find("Worst single MC time      : "), std::string::npos);
        EXPECT_NE(checker.find("Max. atoms for inner MC   : "), std::string::npos);
    });
}

TEST(GeneratorTimes, NoGeneratorPrintsZerosWithTheModelCheckLines) {
    inFreshProcess([] {
        EXPECT_EQ(timeReport(nullptr, 1),
                  "Model Generator time      : 0.000000\n"
                  "Model Checker time        : 0.000000\n"
                  " Total Model Check time   : 0.000000\n"
                  " Partial Model Check time : 0.000000\n");
        testing::internal::CaptureStderr();
        const std::string report = timeReport(nullptr, 2);
        const std::string checker = testing::internal::GetCapturedStderr();
        EXPECT_EQ(report,
                  "Model Generator time      : 0.000000\n"
                  " DS Initialisation        : 0.000000\n"
                  " Depgraph                 : 0.000000\n"
                  " Well-founded computation : 0.000000\n"
                  " PT computation           : 0.000000\n"
                  " Frontend callbacks       : 0.000000\n"
                  "Model Checker time        : 0.000000\n"
                  " Total Model Check time   : 0.000000\n"
                  " Partial Model Check time : 0.000000\n"
                  "  Quick Partial Check time: 0.000000\n");
        EXPECT_NE(checker.find("Worst single MC time      : "), std::string::npos);
    });
}

}  // namespace veltra
