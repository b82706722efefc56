// The predicate index (first-argument ranges, selectivity figures) and the
// matching of single literals against trueAtoms, undefinedAtoms and a delta.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "grounding/grounder.h"

using namespace veltra;

namespace {

class INDEXTEST : public ::testing::Test {
protected:
    int32_t p = 0;  // a fresh IDB predicate of arity 2
    TERM a, b;
    DELTA delta;

    void SetUp() override {
        p = addPredicate(predicateTable, NAME(("index_p" + std::to_string(counter_++)).c_str()), 2, KIND_IDB).first;
        a = symbolTerm("index_a");
        b = symbolTerm("index_b");
        predicateIndex = std::make_unique<PREDICATEINDEX>(predicateTable.count);
    }
    void TearDown() override {
        for (ATOMSET* s : {&trueAtoms, &undefinedAtoms})
            if (size_t(p) < s->byPredicate.size()) s->byPredicate[p].clear();
        predicateIndex.reset();
    }
    ATOM atom(TERM x, TERM y) const { return ATOM(p, std::vector<TERM>{x, y}); }
    static TERM n(int32_t v) { return integerTerm(v); }
    static TERM var(int32_t v) { return variableTerm(v); }

    // Every match of pattern under fresh bindings, as "x,y" of the bound
    // variables 0 and 1.
    std::vector<std::string> matches(const ATOM& pattern, int32_t source, bool useIndex) {
        TERM bindings[MAXVARIABLES];
        LITERALMATCHER m;
        m.start(pattern, bindings, &delta, source, useIndex);
        std::vector<std::string> found;
        while (matchLiteral(pattern, m, bindings)) {
            std::string s;
            for (int v = 0; v < 2; ++v)
                if (!bindings[v].isNull()) {
                    std::ostringstream t;
                    printTerm(t, bindings[v]);
                    s += (s.empty() ? "" : ",") + t.str();
                }
            found.push_back(s);
            unbindLiteral(LITERAL(pattern, false), m, bindings);
            for (const TERM& t : bindings) EXPECT_TRUE(t.isNull());
            if (m.allBound) break;  // a membership test answers the same every time
        }
        return found;
    }

private:
    static int counter_;
};
int INDEXTEST::counter_ = 0;

TEST_F(INDEXTEST, CountingBuildGroupsByFirstArgument) {
    trueAtoms.add(atom(a, n(1)));
    trueAtoms.add(atom(a, n(2)));
    trueAtoms.add(atom(b, n(1)));
    buildPredicateIndex(atom(var(0), var(1)), false, 3, false, nullptr);
    const RANGEMAP& map = predicateIndex->trueIndex[p];
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(compareAtoms(*map.at(a).first, atom(a, n(1))), 0);
    EXPECT_EQ(compareAtoms(*map.at(a).last, atom(b, n(1))), 0);
    EXPECT_EQ(compareAtoms(*map.at(b).first, atom(b, n(1))), 0);
    EXPECT_TRUE(map.at(b).last == trueAtoms.atomsOfPredicate(p).end());
    EXPECT_EQ(predicateIndex->figure(p, 0), 2.0);
    EXPECT_EQ(predicateIndex->figure(p, 1), 2.0);
    EXPECT_TRUE(predicateIndex->indexed[p]);

    // Rebuilt for p(X, 3): only position 0 is counted, afresh.
    resetPredicateIndex(p);
    buildPredicateIndex(atom(var(0), n(3)), false, 3, false, nullptr);
    EXPECT_EQ(predicateIndex->figure(p, 0), 2.0);
    EXPECT_EQ(predicateIndex->figure(p, 1), 2.0);
}

TEST_F(INDEXTEST, IncompleteBuildEstimatesUniformFigures) {
    buildPredicateIndex(atom(var(0), var(1)), true, 16, false, &delta);
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(predicateIndex->figure(p, i), 4.0) << i;
}

// Every argument position of a wide predicate has its own figure, also
// beyond the 60 variables a statement read from input may have.
TEST_F(INDEXTEST, FiguresCoverEveryArgumentOfAWidePredicate) {
    const int32_t arity = 65;
    static int wideCount = 0;
    const int32_t wide =
        addPredicate(predicateTable, NAME(("index_w" + std::to_string(wideCount++)).c_str()), arity, KIND_IDB).first;
    predicateIndex = std::make_unique<PREDICATEINDEX>(predicateTable.count);
    auto wideAtom = [&](TERM x, TERM y) {
        std::vector<TERM> terms(arity, a);
        terms[62] = x;
        terms[64] = y;
        return ATOM(wide, terms);
    };
    trueAtoms.add(wideAtom(n(1), n(7)));
    trueAtoms.add(wideAtom(n(2), n(8)));
    trueAtoms.add(wideAtom(n(3), n(7)));
    buildPredicateIndex(wideAtom(var(0), var(1)), false, 3, false, nullptr);
    EXPECT_EQ(predicateIndex->figure(wide, 62), 3.0);
    EXPECT_EQ(predicateIndex->figure(wide, 64), 2.0);
    EXPECT_EQ(predicateIndex->figure(wide, 0), 0.0);  // a constant there: not counted

    resetPredicateIndex(wide);
    buildPredicateIndex(wideAtom(var(0), var(1)), true, 8, false, &delta);
    for (size_t i : {size_t(0), size_t(59), size_t(60), size_t(64)})
        EXPECT_DOUBLE_EQ(predicateIndex->figure(wide, i), std::pow(8.0, 1.0 / arity)) << i;
    trueAtoms.byPredicate[wide].clear();
}

TEST_F(INDEXTEST, MatchingWithAndWithoutIndex) {
    trueAtoms.add(atom(a, n(1)));
    trueAtoms.add(atom(a, n(2)));
    trueAtoms.add(atom(b, n(1)));
    undefinedAtoms.add(atom(a, n(3)));
    buildPredicateIndex(atom(var(0), var(1)), false, 4, false, nullptr);
    for (bool useIndex : {false, true}) {
        SCOPED_TRACE(useIndex ? "with the first-argument index" : "without it");
        EXPECT_EQ(matches(atom(a, var(1)), SOURCE_OLD, useIndex), (std::vector<std::string>{"1", "2", "3"}));
        EXPECT_EQ(matches(atom(var(0), n(1)), SOURCE_OLD, useIndex),
                  (std::vector<std::string>{"index_a", "index_b"}));
        EXPECT_EQ(matches(atom(symbolTerm("index_c"), var(1)), SOURCE_OLD, useIndex), std::vector<std::string>{});
        EXPECT_EQ(matches(atom(b, n(1)), SOURCE_OLD, useIndex), std::vector<std::string>{""});
        EXPECT_EQ(matches(atom(b, n(2)), SOURCE_OLD, useIndex), std::vector<std::string>{});
    }
}

TEST_F(INDEXTEST, RepeatedVariableMatchesEqualArguments) {
    trueAtoms.add(atom(n(1), n(1)));
    trueAtoms.add(atom(n(1), n(2)));
    trueAtoms.add(atom(n(2), n(2)));
    EXPECT_EQ(matches(atom(var(0), var(0)), SOURCE_OLD, false), (std::vector<std::string>{"1", "2"}));
}

TEST_F(INDEXTEST, SourcesSelectOldAtomsDeltaOrBoth) {
    trueAtoms.add(atom(n(1), n(1)));
    delta.trueAtoms.add(atom(n(2), n(2)));
    delta.undefinedAtoms.add(atom(n(3), n(3)));
    const ATOM pattern = atom(var(0), var(1));
    EXPECT_EQ(matches(pattern, SOURCE_OLD, false), (std::vector<std::string>{"1,1"}));
    EXPECT_EQ(matches(pattern, SOURCE_DELTA, false), (std::vector<std::string>{"2,2", "3,3"}));
    EXPECT_EQ(matches(pattern, SOURCE_BOTH, false), (std::vector<std::string>{"1,1", "2,2", "3,3"}));
    // Only old atoms, phases without candidates skipped.
    trueAtoms.byPredicate[p].clear();
    EXPECT_EQ(matches(pattern, SOURCE_BOTH, false), (std::vector<std::string>{"2,2", "3,3"}));

    TERM bindings[MAXVARIABLES];
    bindings[0] = n(2);
    bindings[1] = n(2);
    EXPECT_TRUE(isKnownTrue(pattern, bindings, &delta));
    EXPECT_FALSE(isKnownTrue(pattern, bindings, nullptr));
    EXPECT_TRUE(containsInstance(pattern, SOURCE_DELTA, bindings, &delta));
    EXPECT_FALSE(containsInstance(pattern, SOURCE_OLD, bindings, &delta));
    bindings[0] = bindings[1] = n(3);
    EXPECT_FALSE(isKnownTrue(pattern, bindings, &delta));  // undefined is not true
    EXPECT_TRUE(containsInstance(pattern, SOURCE_BOTH, bindings, &delta));
}

// Runs of many first-argument values (the range map grows several times) and
// a value met again after atoms of another length: each value's range starts
// at its first atom and covers its run; the repeated value's range reaches to
// the end of its second run, as it always has.
TEST_F(INDEXTEST, RangesOfManyValuesAndOfARepeatedValue) {
    for (int32_t x = 0; x < 2000; ++x)
        for (int32_t y = 0; y <= x % 3; ++y) trueAtoms.add(atom(n(x), n(y)));
    buildPredicateIndex(atom(var(0), var(1)), false, 4000, false, nullptr);
    const RANGEMAP& map = predicateIndex->trueIndex[p];
    ASSERT_EQ(map.size(), 2000u);
    for (int32_t x = 0; x < 2000; ++x) {
        const ATOMRANGE range = map.at(n(x));
        EXPECT_EQ(compareAtoms(*range.first, atom(n(x), n(0))), 0) << x;
        EXPECT_EQ(std::distance(range.first, range.last), x % 3 + 1) << x;
    }
    EXPECT_EQ(matches(atom(n(1999), var(1)), SOURCE_OLD, true), (std::vector<std::string>{"0", "1"}));

    resetPredicateIndex(p);
    trueAtoms.byPredicate[p].clear();
    trueAtoms.add(ATOM(p, std::vector<TERM>{a}));
    trueAtoms.add(ATOM(p, std::vector<TERM>{b}));
    trueAtoms.add(atom(a, n(5)));
    trueAtoms.add(atom(n(3), n(3)));
    buildPredicateIndex(atom(var(0), var(1)), false, 4, false, nullptr);
    const RANGEMAP& mixed = predicateIndex->trueIndex[p];
    ASSERT_EQ(mixed.size(), 3u);
    EXPECT_EQ(std::distance(mixed.at(a).first, mixed.at(a).last), 3);
    EXPECT_EQ(std::distance(mixed.at(b).first, mixed.at(b).last), 1);
    EXPECT_TRUE(mixed.at(n(3)).last == trueAtoms.atomsOfPredicate(p).end());
}

}  // namespace
