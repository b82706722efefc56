// The heuristic criteria over hand-made lookahead records, their
// combination with complement records, and the bounded candidate list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "driver/options.h"
#include "generator/heuristics.h"
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

// A record from its counters in declaration order (madeTrue, S2, S3,
// madeMustBeTrue, S2, S3, itemsSatisfied, itemsSatisfiedClosed, itemsClosed,
// atomsDecided, headCycleRulesSupported, madeTrueInHeadCycles).
HEURISTICINFO info(std::initializer_list<int32_t> v) {
    HEURISTICINFO x;
    int32_t* f[] = {&x.madeTrue, &x.madeTrueSupport2, &x.madeTrueSupport3, &x.madeMustBeTrue,
                    &x.madeMustBeTrueSupport2, &x.madeMustBeTrueSupport3, &x.itemsSatisfied,
                    &x.itemsSatisfiedClosed, &x.itemsClosed, &x.atomsDecided, &x.headCycleRulesSupported,
                    &x.madeTrueInHeadCycles};
    size_t i = 0;
    for (int32_t value : v) *f[i++] = value;
    return x;
}

HEURISTICINFO withCosts(HEURISTICINFO x, std::vector<uint64_t> resulting, std::vector<uint64_t> satisfied) {
    x.resultingCost = std::make_unique<COSTVECTOR>(resulting.size());
    x.resultingCost->values = resulting;
    x.satisfiedWeakCost = std::make_unique<COSTVECTOR>(satisfied.size());
    x.satisfiedWeakCost->values = satisfied;
    return x;
}

int cmp(uint32_t c, const HEURISTICINFO& a, const HEURISTICINFO& b) { return compareByCriterion(c, a, b); }

}  // namespace

TEST(Heuristics, CriteriaOnPlainRecords) {
    struct CASE {
        uint32_t criterion;
        HEURISTICINFO a, b;
        int expected;  // sign
    };
    const HEURISTICINFO zero = info({});
    CASE cases[] = {
        {0, info({5, 0, 0, 1}), info({5, 0, 0, 3}), 1},          // D0 4 against 2
        {1, info({0, 0, 0, 0}), info({3, 0, 0, 0}), 0},          // zero rule
        {1, info({1}), info({3}), -1},                           // both made atoms true
        {2, info({0, 2, 0, 0, 1}), info({0, 1}), 0},             // D1 equal
        {4, info({0, 0, 1}), info({0, 0, 3}), -1},               // D2
        {5, info({0, 0, 1}), info({2, 0, 3}), 0},                // zero rule
        {1005, info({1, 0, 1}), info({1, 0, 3}), 1},             // smaller D2 preferred
        {2005, info({1, 0, 1}), info({1, 0, 3}), -1},            // as 5
        {6, info({0, 0, 0, 0, 0, 0, 4}), info({0, 0, 0, 0, 0, 0, 2}), 1},
        {9, info({2}), info({3}), -1},
        {12, info({1, 1, 1}), info({1, 1, 1}), 1},               // never 0
        {12, info({1, 1, 1, 0, 0, 0, 0, 2}), info({1, 1, 1, 0, 0, 0, 0, 3}), -1},
        {13, info({2}), info({0}), 1},
        {14, info({0, 1}), info({0, 0}), -1},                    // -2*D1
        {16, info({0, 0, 0, 0, 0, 0, 0, 5, 1}), info({0, 0, 0, 0, 0, 0, 0, 5, 3}), 1},
        {21, info({0, 0, 0, 0, 0, 0, 0, 0, 0, 7}), info({0, 0, 0, 0, 0, 0, 0, 0, 0, 8}), -1},
        {29, info({0, 1}), info({20, 0}), -1},                   // 1 - 24 against 20
        {33, info({2, 1}), info({1}), -1},                       // 8-5=3 against 4
        // 37: 3*1000/1 against 5*1000/2.
        {37, info({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0}), info({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 1}), 1},
        {7, zero, zero, 0},                                      // no weak constraints
        {8, zero, zero, 0},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.criterion);
        EXPECT_EQ(cmp(c.criterion, c.a, c.b), c.expected);
    }
    // Costs: the lower resulting cost and the greater satisfied weight win,
    // compared from the highest level down.
    HEURISTICINFO cheap = withCosts(zero, {9, 1}, {0, 5}), dear = withCosts(zero, {0, 2}, {7, 4});
    EXPECT_EQ(cmp(7, cheap, dear), 1);
    EXPECT_EQ(cmp(8, cheap, dear), 1);
    EXPECT_EQ(cmp(7, cheap, zero), 0);  // one without costs
}

TEST(HeuristicsDeathTest, InvalidIndexEndsTheRunWhenReached) {
    const HEURISTICINFO a = info({1}), b = info({2});
    EXPECT_EXIT(cmp(17, a, b), testing::ExitedWithCode(1), "^17: Invalid heuristic comparison index.\n$");
    EXPECT_EXIT(cmp(1040, a, b), testing::ExitedWithCode(1), "^40: Invalid heuristic comparison index.\n$");
    PTCANDIDATE x, y;
    EXPECT_EXIT(compareByCombinedCriterion(22, 0, x, y, {0}), testing::ExitedWithCode(1),
                "^22: Invalid heuristic comparison index.\n$");
}

TEST(Heuristics, CombineCountsKinds) {
    struct CASE {
        int32_t kind;
        int64_t a, b, expected;
    };
    const CASE cases[] = {
        {0, 3, 4, 7},   {1, 3, 4, 12},  {2, 3, 4, 12295}, {2, -3, 1, -2}, {2, 3, -1, 3074},
        {3, 3, 4, 20},  {4, 3, 4, 10},  {5, 3, 4, 3},     {6, 3, 4, 4},   {7, 3, 4, 17},
        {8, 3, 4, 24},  {9, 3, 4, 0},   {100, 3, 4, 0},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(int64_t(combineCounts(c.kind, c.a, c.b)), c.expected);
    }
    // No overflow where 32 bits would wrap.
    EXPECT_TRUE(combineCounts(2, 100000, 100000) == __int128(1024) * 100000 * 100000 + 200000);
}

TEST(Heuristics, CombinedRecords) {
    PTCANDIDATE e;
    e.literalInfo = info({2, 1});
    e.complementInfo = std::make_unique<HEURISTICINFO>(info({3, 0, 0, 1}));
    const std::vector<int32_t> criteria = {0};
    EXPECT_EQ(combineLookaheads(0, e, criteria).madeTrue, 5);
    EXPECT_EQ(combineLookaheads(1, e, criteria).madeTrue, 6);
    EXPECT_EQ(combineLookaheads(2, e, criteria).madeTrue, 1024 * 6 + 5);
    EXPECT_EQ(combineLookaheads(3, e, criteria).madeMustBeTrue, 2);
    // D0 of the own record 2, of the complement 2: a tie, the own record is the worse.
    EXPECT_EQ(combineLookaheads(5, e, criteria).madeTrueSupport2, 1);
    EXPECT_EQ(combineLookaheads(6, e, criteria).madeTrue, 3);
    EXPECT_EQ(combineLookaheads(7, e, criteria).madeTrue, 3 * 2 + 2 * 3);
    EXPECT_EQ(combineLookaheads(9, e, criteria).madeTrue, 0);
    EXPECT_EQ(scaleInfo(e.literalInfo, 4).madeTrueSupport2, 4);

    // Kind 0 adds a literal's value to its complement's: e's cD0 is 4.
    PTCANDIDATE f;
    f.literalInfo = info({5});
    f.complementInfo = std::make_unique<HEURISTICINFO>(info({0}));
    EXPECT_LT(compareByCombinedCriterion(0, 0, e, f, criteria), 0);
    EXPECT_GT(compareByCombinedCriterion(1000, 0, e, f, criteria), 0);
    // Criterion 1: f's complement made nothing true, but combined both did.
    EXPECT_FALSE(combinedRecordsDisagree(0, e, f, criteria));
    EXPECT_TRUE(combinedRecordsDisagree(1, e, f, criteria));  // f's product is 0
    EXPECT_EQ(compareByCombinedCriterion(1, 1, e, f, criteria), 0);
}

TEST(Heuristics, CombinedWeightedCriteriaAddTheDifferences) {
    // e: D1 1 (own) + 0 (complement); f: D0 1. The combined weighted criteria
    // add the weighted differences, where the plain ones subtract D1 and D2.
    PTCANDIDATE e, f;
    e.literalInfo = info({0, 1});
    e.complementInfo = std::make_unique<HEURISTICINFO>(info({}));
    f.literalInfo = info({1});
    f.complementInfo = std::make_unique<HEURISTICINFO>(info({}));
    const std::vector<int32_t> criteria = {0};
    struct CASE {
        uint32_t criterion;
        int combined, plain;  // signs of e against f
    };
    const CASE cases[] = {
        {14, 1, -1},   // 2 against 1; plain: -2 against -1
        {29, 1, -1},   // 24 against 1; plain: -24 against 1
        {30, 1, -1},   // 8 against 1
        {31, 1, -1},   // 3 against 1
        {33, 1, -1},   // 5 against 4; plain: -5 against 4
        {34, -1, -1},  // 7 against 9; plain: -7 against 9
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.criterion);
        EXPECT_EQ(compareByCombinedCriterion(c.criterion, 0, e, f, criteria), c.combined);
        EXPECT_EQ(cmp(c.criterion, e.literalInfo, f.literalInfo), c.plain);
    }
    // 16 and 37 combine the per-record values.
    PTCANDIDATE g, h;
    g.literalInfo = info({0, 0, 0, 0, 0, 0, 0, 4, 1, 0, 2, 1});  // 16: 3, 37: 1000
    g.complementInfo = std::make_unique<HEURISTICINFO>(info({0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0}));  // 1, 1000
    h.literalInfo = info({0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 3, 0});  // 5, 3000
    h.complementInfo = std::make_unique<HEURISTICINFO>(info({}));
    EXPECT_LT(compareByCombinedCriterion(16, 0, g, h, criteria), 0);  // 4 against 5
    EXPECT_GT(compareByCombinedCriterion(16, 1, g, h, criteria), 0);  // 3 against 0
    EXPECT_LT(compareByCombinedCriterion(37, 0, g, h, criteria), 0);  // 2000 against 3000
    EXPECT_GT(compareByCombinedCriterion(37, 5, g, h, criteria), 0);  // 1000 against 0
}

TEST(Heuristics, RankingKeysOrderAsTheCriteria) {
    // For every criterion that ranks by one number, every kind (with and
    // without complement records, and without combining): two entries'
    // keys compare as the criterion compares the entries. Counters small
    // and signed, so that ties, zero rules and negative products occur.
    std::mt19937 random(20261211);
    auto record = [&random]() {
        std::uniform_int_distribution<int32_t> value(-3, 3);
        HEURISTICINFO x = info({});
        int32_t* f[] = {&x.madeTrue, &x.madeTrueSupport2, &x.madeTrueSupport3, &x.madeMustBeTrue,
                        &x.madeMustBeTrueSupport2, &x.madeMustBeTrueSupport3, &x.itemsSatisfied,
                        &x.itemsSatisfiedClosed, &x.itemsClosed, &x.atomsDecided, &x.headCycleRulesSupported,
                        &x.madeTrueInHeadCycles};
        for (int32_t* c : f) *c = value(random);
        x.headCycleRulesSupported = std::abs(x.headCycleRulesSupported);  // a ratio of counts
        x.madeTrueInHeadCycles = std::abs(x.madeTrueInHeadCycles);
        return x;
    };
    const uint32_t bases[] = {0, 2, 4, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16, 21, 29, 30, 31, 33, 34, 37};
    for (uint32_t base : bases)
        for (uint32_t c : {base, base + 1000})
            for (int32_t kind = -1; kind <= 9; ++kind)
                for (int shape = 0; shape < 3; ++shape) {  // 0 no complement, 1 complements, 2 not combined
                    SCOPED_TRACE(testing::Message() << "criterion " << c << " kind " << kind << " shape " << shape);
                    // A second criterion, for kinds 5 to 8 to pick the worse record by.
                    const std::vector<int32_t> criteria = {int32_t(c), 9}, kinds = {kind, 0};
                    ASSERT_TRUE(criteriaRankByKey(criteria));
                    for (int round = 0; round < 40; ++round) {
                        PTCANDIDATE a, b;
                        a.literalInfo = record();
                        b.literalInfo = record();
                        if (shape == 1) {
                            a.complementInfo = std::make_unique<HEURISTICINFO>(record());
                            b.complementInfo = std::make_unique<HEURISTICINFO>(record());
                        }
                        __int128 ka[2], kb[2];
                        const bool combine = shape != 2;
                        rankingKey(a.literalInfo, a.complementInfo.get(), criteria, kinds, combine, ka);
                        rankingKey(b.literalInfo, b.complementInfo.get(), criteria, kinds, combine, kb);
                        const int byKey = ka[0] > kb[0] ? 1 : ka[0] < kb[0] ? -1 : 0;
                        const int expected = combine ? compareByCombinedCriterion(c, kind, a, b, criteria)
                                                     : compareByCriterion(c, a.literalInfo, b.literalInfo);
                        ASSERT_EQ(byKey, expected) << "round " << round;
                    }
                }
}

TEST(Heuristics, RankingKeysWithCostsOrderAsTheCriteriaAtAnyBase) {
    // Entries made at different costs (each entry's two records share its
    // base): keys read from the resulting costs less one common base
    // compare as the criteria compare the records, for every kind that
    // adds; the kinds that multiply do not rank by key. Combined entries
    // have complement records (an all-zero one carries no costs and would
    // tie with every entry under kinds 5 and 6).
    std::mt19937 random(20261212);
    std::uniform_int_distribution<int32_t> counter(-2, 2);
    std::uniform_int_distribution<uint64_t> small(0, 3), baseValue(3, 6);
    const uint32_t slots = 2;
    auto record = [&](const std::vector<uint64_t>& base) {
        HEURISTICINFO x = info({counter(random), 0, 0, counter(random), 0, 0, counter(random)});
        std::vector<uint64_t> resulting(slots), satisfied(slots);
        for (uint32_t i = 0; i < slots; ++i) {
            resulting[i] = base[i] + small(random);
            satisfied[i] = small(random);
        }
        return withCosts(std::move(x), resulting, satisfied);
    };
    const std::vector<uint64_t> common = {3, 3};
    for (uint32_t c : {7u, 8u, 1007u, 1008u})
        for (int32_t kind = -1; kind <= 9; ++kind)
            for (int shape = 1; shape < 3; ++shape) {  // 1 complements, 2 not combined
                SCOPED_TRACE(testing::Message() << "criterion " << c << " kind " << kind << " shape " << shape);
                const std::vector<int32_t> criteria = {int32_t(c), 9, 7}, kinds = {kind, 0, 0};
                const bool combine = shape != 2;
                const bool multiplies = combine && kind >= 1 && kind <= 3;
                ASSERT_EQ(criteriaRankByKeyWithCosts(criteria, kinds, combine), !multiplies);
                if (multiplies) continue;
                const size_t width = rankingKeyWidth(criteria, slots);
                ASSERT_EQ(width, 2 * slots + 1);
                for (int round = 0; round < 60; ++round) {
                    PTCANDIDATE a, b;
                    const std::vector<uint64_t> baseA = {baseValue(random), baseValue(random)},
                                                baseB = round % 3 == 0 ? baseA
                                                                       : std::vector<uint64_t>{baseValue(random),
                                                                                               baseValue(random)};
                    a.literalInfo = record(baseA);
                    b.literalInfo = record(baseB);
                    if (shape == 1) {
                        a.complementInfo = std::make_unique<HEURISTICINFO>(record(baseA));
                        b.complementInfo = std::make_unique<HEURISTICINFO>(record(baseB));
                    }
                    std::vector<__int128> ka(width), kb(width);
                    rankingKey(a.literalInfo, a.complementInfo.get(), criteria, kinds, combine, ka.data(),
                               common.data(), slots);
                    rankingKey(b.literalInfo, b.complementInfo.get(), criteria, kinds, combine, kb.data(),
                               common.data(), slots);
                    const int byKey = ka > kb ? 1 : ka < kb ? -1 : 0;
                    int expected = 0;
                    for (size_t i = 0; i < criteria.size() && expected == 0; ++i)
                        expected = combine ? compareByCombinedCriterion(uint32_t(criteria[i]), kinds[i], a, b, criteria)
                                           : compareByCriterion(uint32_t(criteria[i]), a.literalInfo, b.literalInfo);
                    ASSERT_EQ(byKey, expected) << "round " << round;
                }
            }
}

TEST(Heuristics, CandidateListKeepsTheBestWithinCapacity) {
    const std::vector<int32_t> criteria = {9}, kinds = {0};
    // Strictly decreasing quality: the first three stay, best first.
    PTCANDIDATES list;
    list.capacity = 3;
    for (int32_t a = 0; a < 5; ++a)
        considerCandidate(list, a, false, info({10 - a}), nullptr, criteria, kinds, false);
    ASSERT_EQ(list.entryCount, 3u);
    ASSERT_EQ(list.candidates.size(), 3u);
    EXPECT_EQ(list.candidates[0]->atom, 0);
    EXPECT_EQ(list.candidates[1]->atom, 1);
    EXPECT_EQ(list.candidates[2]->atom, 2);
    // Equal candidates: the last three, newest first.
    PTCANDIDATES equal;
    equal.capacity = 3;
    for (int32_t a = 0; a < 5; ++a) considerCandidate(equal, a, true, info({1}), nullptr, criteria, kinds, false);
    ASSERT_EQ(equal.candidates.size(), 3u);
    EXPECT_EQ(equal.candidates[0]->atom, 4);
    EXPECT_EQ(equal.candidates[1]->atom, 3);
    EXPECT_EQ(equal.candidates[2]->atom, 2);
    EXPECT_TRUE(equal.candidates[0]->negative);
    // Increasing quality with capacity 1: only the best.
    PTCANDIDATES one;
    one.capacity = 1;
    for (int32_t a = 0; a < 4; ++a) considerCandidate(one, a, false, info({a}), nullptr, criteria, kinds, false);
    ASSERT_EQ(one.candidates.size(), 1u);
    EXPECT_EQ(one.candidates[0]->atom, 3);
    // With complements, ranked by the combined records; the complement is kept.
    PTCANDIDATES combined;
    const HEURISTICINFO big = info({9}), none = info({});
    considerCandidate(combined, 0, false, info({5}), &none, criteria, kinds, true);
    considerCandidate(combined, 1, false, info({1}), &big, criteria, kinds, true);
    ASSERT_EQ(combined.candidates.size(), 2u);
    EXPECT_EQ(combined.candidates[0]->atom, 1);
    ASSERT_TRUE(combined.candidates[0]->complementInfo);
    EXPECT_EQ(combined.candidates[0]->complementInfo->madeTrue, 9);
}

// ---------------------------------------------------------------------------
// Possibly-true literals and lookaheads on a real run.

TEST(Lookahead, EveryLookaheadLeavesNoTrace) {
    inFreshProcess([] {
        groundProgram("a v b. c :- a. d :- c, not b. :- d, e. e v f. g :- h. h :- g. g :- f. :~ c. [1:1] "
                      "k :- not l. l :- not k. :- k, a.",
                      true);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        g.level = 1;
        const SEARCHSTATE before = snapshot(g, run.interpretation);
        uint32_t failures = 0;
        for (int32_t a = 0; a < int32_t(run.interpretation.values.size()); ++a) {
            if (run.interpretation.values[a] != TV_UNDEFINED) continue;
            for (bool negative : {false, true}) {
                const bool ok = g.lookaheadBothSides(a, negative, run.interpretation, &g.lookaheadInfo,
                                                     &g.complementLookaheadInfo);
                if (!ok) ++failures;
                EXPECT_TRUE(snapshot(g, run.interpretation) == before) << a << (negative ? " negative" : "");
                EXPECT_EQ(g.level, 1);
            }
        }
        // Each failed lookahead queued exactly one complement.
        EXPECT_EQ(g.pendingComplements.size(), size_t(failures));
        EXPECT_EQ(g.inconsistentLookaheads, failures);
    });
}

TEST(Lookahead, RecordsWhatThePropagationDid) {
    inFreshProcess([] {
        groundProgram("a v b. c :- a. :- not c, x. x v y. :~ c. [1:1]", true);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        g.level = 1;
        // a true: b false, c true (set directly by its rule), the weak
        // constraint violated.
        ASSERT_TRUE(g.lookaheadBothSides(atomIndex("a"), false, run.interpretation, &g.lookaheadInfo, nullptr));
        EXPECT_EQ(g.lookaheadInfo.atomsDecided, 3);
        ASSERT_TRUE(g.lookaheadInfo.resultingCost);
        EXPECT_EQ(g.lookaheadInfo.resultingCost->values[0], 1000u);
        EXPECT_EQ(g.lookaheadsPerformed, 1u);
        // x true: c must be true, its only support makes a must-be-true.
        ASSERT_TRUE(g.lookaheadBothSides(atomIndex("x"), false, run.interpretation, &g.lookaheadInfo, nullptr));
        EXPECT_GE(g.lookaheadInfo.madeMustBeTrue, 2);
    });
}

TEST(Lookahead, FailedLookaheadAssertsItsComplement) {
    inFreshProcess([] {
        // a true contradicts itself; a false is asserted, b follows, and the
        // candidates are the head atoms of "c v e :- b.".
        groundProgram("a v b. :- a, not c. :- a, c. c v e :- b.", true);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        g.level = 1;
        PTCANDIDATES list;
        list.capacity = 5;
        ASSERT_TRUE(g.computePossiblyTrue(list, run.interpretation));
        EXPECT_EQ(run.value("a"), TV_FALSE);
        EXPECT_TRUE(isTrueValue(run.value("b")));
        EXPECT_GE(g.inconsistentLookaheads, 1u);
        EXPECT_TRUE(g.pendingComplements.empty());
        ASSERT_FALSE(list.candidates.empty());
        for (const auto& e : list.candidates) {
            EXPECT_TRUE(e->atom == atomIndex("c") || e->atom == atomIndex("e")) << e->atom;
            EXPECT_FALSE(e->negative);
            EXPECT_TRUE(e->complementInfo);
        }
        EXPECT_EQ(g.choicePoints, 1u);
    });
}

TEST(Lookahead, InconsistentLevel) {
    inFreshProcess([] {
        // Consistent at first, but a true and a false both contradict: the
        // complement of a's failed lookahead fails too.
        groundProgram("a v b. c v d. :- c, a. :- d, a. :- c, b. :- d, b.", true);
        GENERATORRUN run2;
        ASSERT_TRUE(run2.consistent);
        run2.gen().level = 1;
        PTCANDIDATES list;
        EXPECT_FALSE(run2.gen().computePossiblyTrue(list, run2.interpretation));
    });
}

TEST(Lookahead, PossiblyTrueLiteralsByOption) {
    struct CASE {
        const char* atom;
        bool negativePT;
        bool positive, negative;
    };
    // "a :- not b." and its twin leave a and b open; e is a fact, so
    // "c v d :- e." offers c and d.
    const CASE cases[] = {
        {"a", true, false, true},  {"b", true, false, true}, {"c", true, true, false},
        {"a", false, true, false}, {"b", false, true, false}, {"c", false, true, false},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(std::string(c.atom) + (c.negativePT ? " --negpts" : " --pospts"));
        inFreshProcess([&c] {
            groundProgram("a :- not b. b :- not a. c v d :- e. e.", true);
            OPTIONS.negativePT = c.negativePT;
            GENERATORRUN run;
            ASSERT_TRUE(run.consistent);
            EXPECT_EQ(run.gen().positivePossiblyTrue(atomIndex(c.atom), run.interpretation), c.positive);
            EXPECT_EQ(run.gen().negativePossiblyTrue(atomIndex(c.atom), run.interpretation), c.negative);
        });
    }
}

TEST(Lookahead, BinaryOccurrencesAndTheAverageFilter) {
    inFreshProcess([] {
        groundProgram("a v w. c v v. y :- a. :- a, c. z :- a, c, d. d v u. p v q v r.", true);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        const int32_t a = atomIndex("a"), p = atomIndex("p");
        // a: "y :- a." and ":- a, c." on the positive side, "a v w." on the negative.
        g.countBinaryOccurrences(a, false);
        g.countBinaryOccurrences(a, true);
        EXPECT_EQ(g.ptPositiveWeight[a], 2);
        EXPECT_EQ(g.ptNegativeWeight[a], 1);
        g.countBinaryOccurrences(p, true);
        EXPECT_EQ(g.ptNegativeWeight[p], 0);  // three open head atoms
        std::fill(g.ptPositiveWeight.begin(), g.ptPositiveWeight.end(), 0);
        std::fill(g.ptNegativeWeight.begin(), g.ptNegativeWeight.end(), 0);

        // Level 1 looks at every literal, level 2 only at those of at least
        // average weight: p of weight 0 is skipped.
        for (int32_t level : {1, 2}) {
            SCOPED_TRACE(level);
            std::fill(g.ptTriedPositive.begin(), g.ptTriedPositive.end(), false);
            std::fill(g.ptTriedNegative.begin(), g.ptTriedNegative.end(), false);
            std::fill(g.ptPositiveWeight.begin(), g.ptPositiveWeight.end(), 0);
            std::fill(g.ptNegativeWeight.begin(), g.ptNegativeWeight.end(), 0);
            g.level = level;
            PTCANDIDATES list;
            list.capacity = 1;
            ASSERT_TRUE(g.computePossiblyTrue(list, run.interpretation));
            EXPECT_TRUE(g.ptTriedPositive[a]);
            EXPECT_EQ(bool(g.ptTriedPositive[p]), level == 1);
            EXPECT_EQ(list.entryCount, 1u);  // --ptcache=1 keeps the best only
        }
    });
}

}  // namespace veltra
