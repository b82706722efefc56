// Weak constraints: costs per level, the bound rule and forced literals.
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

// The cost of the interpretation at level, 0 for a level without a slot.
uint64_t costAt(const GENERATORRUN& run, int32_t level) {
    int32_t slot = costSlot(level);
    return slot < 0 ? 0 : run.interpretation.cost.values[slot];
}

}  // namespace

TEST(Costs, ViolationsAddTheirWeightAtTheirLevel) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. :~ a. [2:1] :~ b. [3:999999999] :~ c, a. [1.5:1]");
        ASSERT_EQ(costLevels, (std::vector<int32_t>{1, 999999999}));
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        EXPECT_FALSE(run.gen().optimumKnown);
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 2000u);
        ASSERT_TRUE(run.choose("c", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 3500u);
        EXPECT_EQ(costAt(run, 999999999), 0u);
        run.gen().leaveLevel(run.interpretation, LEVELMARK{1});
        run.gen().leaveLevel(run.interpretation, LEVELMARK{0});
        ASSERT_TRUE(run.choose("b", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 0u);
        EXPECT_EQ(costAt(run, 999999999), 3000u);
    });
}

TEST(Costs, RunStartsFromTheCostOfGrounding) {
    inFreshProcess([] {
        // "a" is a fact: grounding found ":~ a." violated, and the driver
        // passes its weight as the initial cost. ":- not c." makes c true in
        // the initial propagation, which violates ":~ c.".
        groundProgram("a. b v x. c v d. :- not c. :~ a. [5:1] :~ b. [1:1] :~ c. [2:2]");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        EXPECT_EQ(costAt(run, 1), 5000u);
        EXPECT_EQ(costAt(run, 2), 2000u);
        // The cost every answer set of the run carries at least.
        EXPECT_EQ(run.gen().initialCost->values, run.interpretation.cost.values);
        ASSERT_TRUE(run.choose("b", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 6000u);
    });
}

TEST(Costs, CostsAreSummedIn64Bits) {
    inFreshProcess([] {
        // 5000 violations of weights near 10^9 (times 1000) pass 2^32 many times.
        std::string text = "x v y.\n";
        uint64_t expected = 0;
        for (int i = 0; i < 5000; ++i) {
            text += ":~ x. [" + std::to_string(999999 - i) + ":1]\n";
            expected += uint64_t(999999 - i) * 1000;
        }
        groundProgram(text);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        ASSERT_TRUE(run.choose("x", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), expected);
    });
}

TEST(Costs, BoundRuleWhileOptimisingAndOnceOptimumKnown) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. :~ a, c. [2:1] x :- y. z :- y. y v w. :~ x, z. [1:1]");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        g.bestCost = std::make_unique<COSTVECTOR>(1);
        auto setBound = [&](uint64_t bound, bool known) {
            g.bestCost->values[0] = bound;
            g.optimumKnown = known;
        };
        // Optimising with best cost 2000: a true leaves c, whose violation
        // would tie the best cost, so c is forced false.
        setBound(2000, false);
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        EXPECT_EQ(run.value("c"), TV_FALSE);
        g.leaveLevel(run.interpretation, LEVELMARK{0});
        // Once the optimum is known a tie is admitted.
        setBound(2000, true);
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        EXPECT_EQ(run.value("c"), TV_UNDEFINED);
        ASSERT_TRUE(run.choose("c", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 2000u);
        g.leaveLevel(run.interpretation, LEVELMARK{0});
        g.leaveLevel(run.interpretation, LEVELMARK{0});
        // A violation that ties the best cost: a conflict while optimising.
        setBound(1000, false);
        EXPECT_FALSE(run.choose("y", TV_ASSUMED));
        g.leaveLevel(run.interpretation, LEVELMARK{0});
        setBound(1000, true);
        EXPECT_TRUE(run.choose("y", TV_ASSUMED));
        g.leaveLevel(run.interpretation, LEVELMARK{0});
        // A rise of the cost re-tests the weak constraints with one open
        // literal: 1000 + 2000 reaches 3000, so c is forced false.
        setBound(3000, false);
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        EXPECT_EQ(run.value("c"), TV_UNDEFINED);
        ASSERT_TRUE(run.choose("y", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 1000u);
        EXPECT_EQ(run.value("c"), TV_FALSE);
        EXPECT_EQ(run.value("d"), TV_ASSUMED);
    });
}

TEST(Costs, BoundForcesLastLiteralBeforeTheSearch) {
    struct CASE {
        uint64_t bound;
        bool given;
        int32_t a;  // value of a after the initial propagation
    } cases[] = {
        {2000, false, TV_FALSE},     // optimising: a tie is too high
        {2000, true, TV_UNDEFINED},  // a given bound admits the tie
        {1999, true, TV_FALSE},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.bound);
        inFreshProcess([c] {
            groundProgram("a v b. :~ a. [2:1]");
            COSTVECTOR bound(1);
            bound.values = {c.bound};
            GENERATORRUN run(&bound, c.given);
            ASSERT_TRUE(run.consistent);
            EXPECT_EQ(run.gen().optimumKnown, c.given);
            EXPECT_EQ(run.value("a"), c.a);
            EXPECT_EQ(run.value("b"), c.a == TV_FALSE ? TV_ASSUMED : TV_UNDEFINED);
        });
    }
    inFreshProcess([] {
        // A higher level without a bound: every cost passes, whatever the
        // bound of level 1 says.
        groundProgram("a v b. :~ a. [2:1] :~ b. [3:2]");
        COSTVECTOR bound(2);
        bound.values = {1000, 0};
        bound.unbounded = {0, 1};
        GENERATORRUN run(&bound, true);
        ASSERT_TRUE(run.consistent);
        EXPECT_EQ(run.value("a"), TV_UNDEFINED);
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        EXPECT_EQ(costAt(run, 1), 2000u);
    });
}

}  // namespace veltra
