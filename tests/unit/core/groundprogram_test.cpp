// The ground-atom table, atom sets, ground records, aggregate interning and
// the ground printers.
#include <gtest/gtest.h>

#include <sstream>

#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "driver/options.h"

using namespace veltra;

namespace {

ATOM atomOf(const char* p, std::initializer_list<TERM> ts) {
    std::vector<TERM> t(ts);
    return ATOM(p, &t, KIND_IDB);
}

template <class F> std::string text(F f) {
    std::ostringstream out;
    f(out);
    return out.str();
}

TEST(AtomTable, InterningTwiceGivesOneIndex) {
    size_t before = atomsByIndex.size();
    ATOMID a = internAtom(atomOf("gp_intern", {integerTerm(1)}));
    ATOMID b = internAtom(atomOf("gp_intern", {integerTerm(1)}));
    EXPECT_EQ(a, b);
    EXPECT_EQ(atomsByIndex.size(), before + 1);
    EXPECT_EQ(text([&](std::ostream& o) { printAtom(o, groundAtom(a)); }), "gp_intern(1)");
}

TEST(AtomTableDeathTest, NewAtomAfterFreeze) {
    ATOM fresh = atomOf("gp_fresh", {integerTerm(1)});
    EXPECT_EXIT({ atomTableFrozen = true; internAtom(fresh); }, testing::ExitedWithCode(99), "freeze violation");
}

TEST(AtomSet, PredicatesBeyondTheVectorAreEmpty) {
    ATOMSET set;
    ATOM a = atomOf("gp_set_a", {integerTerm(1)});
    EXPECT_TRUE(set.add(a));
    EXPECT_FALSE(set.add(a));
    ATOM later = atomOf("gp_set_later", {integerTerm(1)});
    EXPECT_FALSE(set.contains(later));
    EXPECT_TRUE(set.atomsOfPredicate(later.predicate).empty());
    EXPECT_TRUE(set.contains(a));
    EXPECT_EQ(set.size(), 1u);
}

TEST(GroundConjunction, AddLiteralIfAbsent) {
    GROUNDCONJUNCTION body;
    body.addLiteral({7, 0});
    body.addLiteral({3, 1});
    body.addLiteralIfAbsent({5, 0});
    ASSERT_EQ(body.literals.size(), 3u);
    EXPECT_EQ(body.literals[0].atom, 7);
    EXPECT_EQ(body.literals[1].atom, 5);
    EXPECT_EQ(body.literals[2].atom, 3);
    EXPECT_EQ(body.firstNegative, 2u);
    body.addLiteralIfAbsent({3, 1});
    EXPECT_EQ(body.literals.size(), 3u);
    GROUNDCONJUNCTION positive;
    positive.addLiteral({1, 0});
    positive.firstNegative = 1;
    positive.addLiteralIfAbsent({2, 1});
    EXPECT_EQ(positive.firstNegative, 1u);
}

TEST(GroundRule, CopyRestartsFlagsAssignmentCopiesThem) {
    std::vector<ATOMID> head{1, 2};
    GROUNDRULE r(&head, nullptr);
    EXPECT_EQ(r.flag1, 0);
    EXPECT_EQ(r.notHeadCycle, 1);
    r.flag1 = 1;
    r.notHeadCycle = 0;
    r.counters[0] = 70000;  // beyond 16 bits
    GROUNDRULE copy(r);
    EXPECT_EQ(copy.flag1, 0);
    EXPECT_EQ(copy.notHeadCycle, 1);
    EXPECT_EQ(copy.counters[0], 70000u);
    GROUNDRULE assigned;
    assigned = r;
    EXPECT_EQ(assigned.flag1, 1);
    EXPECT_EQ(assigned.notHeadCycle, 0);
    EXPECT_EQ(*assigned.head, head);
}

TEST(GroundPrinters, WeakConstraintsRulesAndSatlike) {
    ATOMID a = internAtom(atomOf("gp_print_a", {}));
    ATOMID b = internAtom(atomOf("gp_print_b", {}));
    GROUNDWEAKCONSTRAINT w;
    w.body.addLiteral({a, 0});
    w.body.addLiteral({b, 1});
    w.weight = integerTerm(2000);
    w.level = integerTerm(1);
    GROUNDWEAKCONSTRAINT v = w;
    v.weight = integerTerm(1050);
    EXPECT_EQ(text([&](std::ostream& o) { printGroundWeakConstraints(o, {w, v}, "\n"); }),
              ":~ gp_print_a, not gp_print_b. [2:1]\n:~ gp_print_a, not gp_print_b. [1:1]");
    std::vector<ATOMID> head{a};
    GROUNDRULE r(&head, &w.body);
    EXPECT_EQ(text([&](std::ostream& o) { printGroundRule(o, r); }), "gp_print_a :- gp_print_a, not gp_print_b.");
    satLike = true;
    std::string numbered = text([&](std::ostream& o) { printGroundRule(o, r); });
    satLike = false;
    EXPECT_EQ(numbered, std::to_string(a) + " :- " + std::to_string(a) + ", not " + std::to_string(b) + ".");
}

// Two aggregates over the same ground set whose known-true parts differ must
// not share one ground function.
TEST(AggregateInterning, FoldedBoundsArePartOfTheKey) {
    registerBuiltins();
    int32_t countPredicate = addPredicate(predicateTable, NAME("#count"), 0, KIND_AGGREGATE).first;
    ATOMID element = internAtom(atomOf("gp_agg_e", {integerTerm(1)}));
    auto makeLiteral = [&](int64_t foldedTrue) {
        auto* agg = new AGGREGATEATOM();
        agg->function = makeAggregateFunction(AGG_COUNT);
        agg->function->elementTerms.push_back(variableTerm(0));
        std::vector<TERM> t{variableTerm(0)};
        agg->function->body.addLiteral(LITERAL(ATOM("gp_agg_e", &t, KIND_IDB), false));
        agg->function->groundSet = std::make_unique<GROUNDSET>();
        agg->function->groundSet->add({integerTerm(1), element});
        agg->function->lower = foldedTrue;
        agg->function->upper = foldedTrue + 1;
        agg->lowerGuard = integerTerm(2);
        agg->upperGuard = integerTerm(2);
        return LITERAL(ATOM(countPredicate, agg), false);
    };
    TERM bindings[60];
    GROUNDCONJUNCTION body;
    internAggregateLiteral(makeLiteral(0), bindings, body);
    internAggregateLiteral(makeLiteral(1), bindings, body);
    internAggregateLiteral(makeLiteral(1), bindings, body);
    ASSERT_EQ(body.literals.size(), 2u);
    const ATOM& first = groundAtom(body.literals[0].atom);
    const ATOM& second = groundAtom(body.literals[1].atom);
    EXPECT_NE(first.aggregate()->aggregateIndex, second.aggregate()->aggregateIndex);
    EXPECT_EQ(first.aggregate()->fn().groundSetIndex, second.aggregate()->fn().groundSetIndex);
    EXPECT_EQ(second.aggregate()->fn().lower, 1);
}

}  // namespace
