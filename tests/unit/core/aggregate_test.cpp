// Aggregate functions: the bounds kept as elements join and get truth values.
#include <gtest/gtest.h>

#include <climits>

#include "core/aggregate.h"
#include "core/groundprogram.h"

using namespace veltra;

namespace {

struct ELEMENT {
    int32_t value;
    int truth;  // 0 undefined, 1 true, 2 undefined then false
};

// One evaluation: reset, every element added as undefined (kept in the set
// unless true), the true ones set true, finalize; then the false ones set false.
std::unique_ptr<AGGREGATEFUNCTION> evaluate(int32_t kind, std::initializer_list<ELEMENT> elements) {
    auto f = makeAggregateFunction(kind);
    f->groundSet = std::make_unique<GROUNDSET>();
    int32_t atom = 0;
    for (const ELEMENT& e : elements) {
        f->addUndefined(integerTerm(e.value));
        if (e.truth != 1) f->groundSet->add({integerTerm(e.value), atom});
        ++atom;
    }
    f->groundSet->normalize();
    for (const ELEMENT& e : elements)
        if (e.truth == 1) f->setTruthValue(integerTerm(e.value), true);
    f->finalizeBounds();
    for (const ELEMENT& e : elements)
        if (e.truth == 2) f->setTruthValue(integerTerm(e.value), false);
    return f;
}

TEST(Aggregate, BoundsAfterOneEvaluation) {
    struct {
        const char* what;
        int32_t kind;
        std::initializer_list<ELEMENT> elements;
        int64_t lower, upper;
    } cases[] = {
        {"count of nothing", AGG_COUNT, {}, 0, 0},
        {"sum of nothing", AGG_SUM, {}, 0, 0},
        {"count", AGG_COUNT, {{5, 1}, {6, 0}, {7, 0}}, 1, 3},
        {"count with a false one", AGG_COUNT, {{5, 1}, {6, 2}, {7, 0}}, 1, 2},
        {"sum", AGG_SUM, {{5, 1}, {6, 0}, {-2, 1}}, 3, 9},
        {"max undefined only", AGG_MAX, {{3, 0}, {9, 0}}, INT_MIN, 9},
        {"max", AGG_MAX, {{3, 1}, {9, 0}}, 3, 9},
        {"min undefined only", AGG_MIN, {{3, 0}, {9, 0}}, 3, INT_MAX},
        {"min", AGG_MIN, {{3, 0}, {9, 1}}, 3, 9},
        {"times", AGG_TIMES, {{2, 1}, {3, 1}, {5, 0}}, 6, 30},
        {"times, false element divides", AGG_TIMES, {{2, 1}, {5, 2}}, 2, 2},
        {"times, undefined zero keeps lower 0", AGG_TIMES, {{0, 0}, {4, 1}}, 0, 4},
        {"times, undefined zero becomes false", AGG_TIMES, {{0, 2}, {4, 1}}, 4, 4},
        {"times, true zero", AGG_TIMES, {{0, 1}, {4, 0}}, 0, 0},
        {"times, one of two undefined zeros false", AGG_TIMES, {{0, 0}, {0, 2}, {4, 1}}, 0, 4},
        {"times, both undefined zeros false", AGG_TIMES, {{0, 2}, {0, 2}, {4, 1}}, 4, 4},
        {"times, negative false element does not divide", AGG_TIMES, {{-3, 2}, {5, 0}, {2, 1}}, 2, 10},
    };
    for (const auto& c : cases) {
        auto f = evaluate(c.kind, c.elements);
        EXPECT_EQ(f->lower, c.lower) << c.what;
        EXPECT_EQ(f->upper, c.upper) << c.what;
    }
}

TEST(Aggregate, MinAndMaxOverNothingHaveNoValue) {
    EXPECT_TRUE(evaluate(AGG_MAX, {})->hasNoValue());
    EXPECT_TRUE(evaluate(AGG_MIN, {})->hasNoValue());
    EXPECT_FALSE(evaluate(AGG_MAX, {{1, 0}})->hasNoValue());
    EXPECT_FALSE(evaluate(AGG_COUNT, {})->hasNoValue());
}

TEST(Aggregate, SumsAndProductsDoNotWrapAt32Bits) {
    auto sum = evaluate(AGG_SUM, {{2000000000, 1}, {2000000000, 1}, {2000000000, 0}});
    EXPECT_EQ(sum->lower, INT64_C(4000000000));
    EXPECT_EQ(sum->upper, INT64_C(6000000000));
    // Ten values of 10 already overflow 32 bits; twenty of 1e9 overflow 64.
    auto f = makeAggregateFunction(AGG_TIMES);
    for (int i = 0; i < 10; ++i) f->setTruthValue(integerTerm(10), true);
    f->finalizeBounds();
    EXPECT_EQ(f->lower, INT64_C(10000000000));
    auto big = makeAggregateFunction(AGG_TIMES);
    for (int i = 0; i < 20; ++i) big->addUndefined(integerTerm(1000000000));
    EXPECT_TRUE(isSaturated(big->upper));
    big->setTruthValue(integerTerm(1000000000), false);
    EXPECT_TRUE(isSaturated(big->upper));  // never divided back
}

TEST(Aggregate, NonIntegerValueEndsTheRun) {
    auto f = makeAggregateFunction(AGG_SUM);
    TERM s = symbolTerm("agg_symbolic");
    EXPECT_EXIT(f->addUndefined(s), testing::ExitedWithCode(1),
                "^Error: free variables inside the #sum aggregate must only be instantiated with integer values\\.\n$");
    auto c = makeAggregateFunction(AGG_COUNT);
    c->addUndefined(s);
    EXPECT_EQ(c->upper, 1);
}

TEST(Aggregate, CloneCopiesSubclassFields) {
    auto f = evaluate(AGG_MAX, {{3, 1}, {9, 0}});
    auto g = f->clone();
    ASSERT_TRUE(g);
    EXPECT_EQ(g->kind, AGG_MAX);
    EXPECT_EQ(g->getPotentialMax(), 9);
    EXPECT_EQ(g->getTrueMax(), 3);
    EXPECT_EQ(g->set().size(), 1u);
    EXPECT_FALSE(makeAggregateFunction(AGG_AVG));
}

TEST(Aggregate, StrictGuardsInstantiateToInclusiveOnes) {
    AGGREGATEATOM pattern;
    pattern.function = makeAggregateFunction(AGG_COUNT);
    pattern.lowerGuard = integerTerm(2);
    pattern.lowerInclusive = 0;
    pattern.upperGuard = variableTerm(0);
    pattern.upperInclusive = 0;
    TERM bindings[60];
    bindings[0] = integerTerm(7);
    AGGREGATEATOM inst(pattern, bindings);
    EXPECT_EQ(integerValue(inst.lowerGuard), 3);
    EXPECT_EQ(integerValue(inst.upperGuard), 6);
    EXPECT_TRUE(inst.lowerInclusive);
    EXPECT_TRUE(inst.upperInclusive);
}

}  // namespace
