// Aggregates: bounds kept as elements change, aggregate atoms decided by
// their bounds, and elements forced by aggregate atoms that must be true or
// are false.
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

const char* const elements = "p(X) v q(X) :- r(X). r(1). r(2). r(3).\n";

struct EXPECTED {
    const char* atom;
    int32_t value;
};

void expectValues(const GENERATORRUN& run, std::initializer_list<EXPECTED> expected) {
    for (const EXPECTED& e : expected) EXPECT_EQ(run.value(e.atom), e.value) << e.atom;
}

// Runs program, makes the listed choices level by level and checks the
// values that follow.
struct AGGREGATECASE {
    const char* name;
    const char* program;  // after the elements p(1..3)
    std::vector<EXPECTED> choices;
    std::vector<EXPECTED> expected;
};

void runCase(const AGGREGATECASE& c) {
    SCOPED_TRACE(c.name);
    inFreshProcess([c] {
        groundProgram(std::string(elements) + c.program);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        for (const EXPECTED& choice : c.choices) ASSERT_TRUE(run.choose(choice.atom, choice.value)) << choice.atom;
        for (const EXPECTED& e : c.expected) EXPECT_EQ(run.value(e.atom), e.value) << e.atom;
    });
}

// The function of an aggregate atom.
const AGGREGATEFUNCTION& aggregateFunction(int32_t atom, GENERATORRUN& run) {
    MODELGENERATOR& g = run.gen();
    return g.aggregateFunction(g.aggregateAtomInfo[g.aggregateAtomSlot[atom]].aggregate);
}

}  // namespace

TEST(Aggregates, MustBeTrueAggregateForcesElements) {
    const AGGREGATECASE cases[] = {
        // The count reached its upper guard: every other element is false.
        {"count upper", ":- not #count{X: p(X)} <= 1.", {{"p(2)", TV_ASSUMED}},
         {{"p(1)", TV_FALSE}, {"p(3)", TV_FALSE}, {"q(1)", TV_ASSUMED}, {"q(3)", TV_ASSUMED}}},
        // Only as many elements left as the lower guard needs: all must be true.
        {"count lower", ":- not #count{X: p(X)} >= 2.", {{"p(2)", TV_FALSE}},
         {{"p(1)", TV_TRUE}, {"p(3)", TV_TRUE}, {"q(1)", TV_FALSE}}},
        // The sum may not pass 4: 3 cannot join once 2 is true.
        {"sum", ":- not #sum{X: p(X)} <= 4.", {{"p(2)", TV_ASSUMED}},
         {{"p(3)", TV_FALSE}, {"p(1)", TV_UNDEFINED}}},
        // The sum must reach 5 without 1: 2 and 3 must be true.
        {"sum lower", ":- not #sum{X: p(X)} >= 5.", {{"p(1)", TV_FALSE}},
         {{"p(2)", TV_TRUE}, {"p(3)", TV_TRUE}}},
        // The product may not pass 5: once 3 is true neither 2 can join.
        {"times", ":- not #times{X: p(X)} <= 5.", {{"p(3)", TV_ASSUMED}},
         {{"p(2)", TV_FALSE}, {"p(1)", TV_UNDEFINED}}},
        // The maximum may not pass 2, and 1 alone is left to reach 1.
        {"max", ":- not #max{X: p(X)} <= 2.", {{"p(2)", TV_FALSE}},
         {{"p(3)", TV_FALSE}, {"p(1)", TV_TRUE}}},
        // The product must pass 2, so 3 must be true; it will give a maximum
        // of at least 2 although it is only must-be-true when the maximum's
        // elements are forced, so 2 stays open.
        {"max with a must-be-true element", ":- #times{X: p(X)} <= 2. :- not #max{X: p(X)} >= 2.", {},
         {{"p(3)", TV_TRUE}, {"p(2)", TV_UNDEFINED}}},
    };
    for (const AGGREGATECASE& c : cases) runCase(c);
}

TEST(Aggregates, FalseAggregateForcesElements) {
    const char* const maxOfMustBeTrue =
        ":- #max{X: m(X)} >= 3. :- not m(1). m(1) :- s. m(1) :- u. s v t. u v w. m(2) v n(2). m(3) v n(3).";
    const AGGREGATECASE cases[] = {
        // The count must stay below 2: with one true, the others are false.
        {"count below", ":- #count{X: p(X)} >= 2.", {{"p(1)", TV_ASSUMED}},
         {{"p(2)", TV_FALSE}, {"p(3)", TV_FALSE}}},
        // The count must pass 1: with two elements left, both must be true.
        {"count above", ":- #count{X: p(X)} <= 1.", {{"p(1)", TV_FALSE}},
         {{"p(2)", TV_TRUE}, {"p(3)", TV_TRUE}}},
        // The sum may not reach 3: with 1 true, 2 and 3 are false.
        {"sum", ":- #sum{X: p(X)} >= 3.", {{"p(1)", TV_ASSUMED}},
         {{"p(2)", TV_FALSE}, {"p(3)", TV_FALSE}}},
        // The maximum must stay below 3 once 1 is true.
        {"max below", ":- #max{X: p(X)} >= 3.", {{"p(1)", TV_ASSUMED}},
         {{"p(3)", TV_FALSE}, {"p(2)", TV_UNDEFINED}}},
        // The minimum must pass 1 once 3 is true.
        {"min above", ":- #min{X: p(X)} <= 1.", {{"p(3)", TV_ASSUMED}},
         {{"p(1)", TV_FALSE}, {"p(2)", TV_UNDEFINED}}},
        // A must-be-true element (m(1), of two open rules) does not count as
        // true; once supported it does, and the next event of the set makes
        // 3 false.
        {"max below, the element must-be-true", maxOfMustBeTrue, {{"m(2)", TV_FALSE}},
         {{"m(1)", TV_MUSTBETRUE}, {"m(3)", TV_UNDEFINED}}},
        {"max below, the element supported", maxOfMustBeTrue, {{"s", TV_ASSUMED}, {"m(2)", TV_FALSE}},
         {{"m(1)", TV_TRUE}, {"m(3)", TV_FALSE}}},
    };
    for (const AGGREGATECASE& c : cases) runCase(c);
}

TEST(Aggregates, BoundsDecideTheAggregateAtom) {
    inFreshProcess([] {
        groundProgram(std::string(elements) + "ok :- #count{X: p(X)} >= 2. x v y.");
        int32_t agg = onlyAggregateAtom();
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        EXPECT_EQ(run.interpretation.values[agg], TV_UNDEFINED);
        ASSERT_TRUE(run.choose("p(1)", TV_ASSUMED));
        EXPECT_EQ(run.interpretation.values[agg], TV_UNDEFINED);
        // The second true element: certainly within the guards.
        ASSERT_TRUE(run.choose("p(3)", TV_ASSUMED));
        EXPECT_EQ(run.interpretation.values[agg], TV_ASSUMED);
        expectValues(run, {{"ok", TV_ASSUMED}});
        run.gen().leaveLevel(run.interpretation, LEVELMARK{1});
        // Two false elements: the count cannot reach 2.
        ASSERT_TRUE(run.choose("p(2)", TV_FALSE));
        ASSERT_TRUE(run.choose("q(3)", TV_ASSUMED));
        EXPECT_EQ(run.interpretation.values[agg], TV_FALSE);
        expectValues(run, {{"ok", TV_FALSE}});
    });
    inFreshProcess([] {
        // A must-be-true aggregate atom whose count becomes certain is supported.
        groundProgram(std::string(elements) + ":- not #count{X: p(X)} >= 1.");
        int32_t agg = onlyAggregateAtom();
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        EXPECT_EQ(run.interpretation.values[agg], TV_MUSTBETRUE);
        ASSERT_TRUE(run.choose("p(2)", TV_ASSUMED));
        EXPECT_EQ(run.interpretation.values[agg], TV_TRUE);
        EXPECT_EQ(run.interpretation.mustBeTrueCount, 0);
        // With two elements false, the last one must be true.
        run.gen().leaveLevel(run.interpretation, LEVELMARK{0});
        ASSERT_TRUE(run.choose("p(1)", TV_FALSE));
        ASSERT_TRUE(run.choose("p(2)", TV_FALSE));
        expectValues(run, {{"p(3)", TV_TRUE}, {"q(3)", TV_FALSE}});
    });
    inFreshProcess([] {
        // An aggregate atom taken true conflicts once its bounds exclude the guards.
        groundProgram(std::string(elements) + "ok :- #count{X: p(X)} >= 2. x v y.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        run.gen().enterLevel(run.interpretation);
        run.gen().assignChoice(onlyAggregateAtom(), TV_ASSUMED, run.interpretation);
        ASSERT_TRUE(run.gen().propagateEvents(run.interpretation));
        expectValues(run, {{"ok", TV_ASSUMED}});
        ASSERT_TRUE(run.choose("p(1)", TV_FALSE));
        EXPECT_FALSE(run.choose("p(2)", TV_FALSE));
    });
}

TEST(Aggregates, SaturatedProductIsRecomputed) {
    inFreshProcess([] {
        // Three factors of 999999999 saturate the 64-bit upper bound; with
        // two of them false the product is exactly 999999999 again, which
        // decides the aggregate atom.
        groundProgram(
            "p(999999999, X) v q(X) :- r(X). r(1). r(2). r(3).\n"
            "ok :- #times{V, X: p(V, X)} <= 999999999. x v y.");
        int32_t agg = onlyAggregateAtom();
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        const AGGREGATEFUNCTION& f = aggregateFunction(agg, run);
        EXPECT_TRUE(isSaturated(f.upper));
        ASSERT_TRUE(run.choose("p(999999999,1)", TV_FALSE));
        EXPECT_EQ(f.upper, int64_t(999999999) * 999999999);
        EXPECT_EQ(run.interpretation.values[agg], TV_UNDEFINED);
        ASSERT_TRUE(run.choose("p(999999999,2)", TV_FALSE));
        EXPECT_EQ(f.upper, 999999999);
        EXPECT_EQ(run.interpretation.values[agg], TV_ASSUMED);
        run.gen().leaveLevel(run.interpretation, LEVELMARK{0});
        run.gen().leaveLevel(run.interpretation, LEVELMARK{0});
        EXPECT_TRUE(isSaturated(f.upper));
    });
}

}  // namespace veltra
