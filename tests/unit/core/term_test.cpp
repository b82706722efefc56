// Terms, the constant and integer tables, and the predicate table.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "core/predicatetable.h"
#include "core/predicatetable.h"
#include "core/term.h"

using namespace veltra;

namespace {

std::string show(const TERM& t) {
    std::ostringstream out;
    printTerm(out, t);
    return out.str();
}

TEST(Term, PrintsEveryKind) {
    EXPECT_EQ(show(variableTerm(7)), "_7");
    EXPECT_EQ(show(symbolTerm("term_test_c")), "term_test_c");
    EXPECT_EQ(show(integerTerm(-42)), "-42");
    EXPECT_EQ(show(TERM()), "NullConst");
}

TEST(Term, OrderIsKindThenFirstAppearanceThenValue) {
    TERM b = symbolTerm("term_order_b");  // seen first
    TERM a = symbolTerm("term_order_a");
    EXPECT_LT(compareTerms(b, a), 0);
    EXPECT_LT(compareTerms(variableTerm(59), b), 0);
    EXPECT_LT(compareTerms(a, integerTerm(-5)), 0);
    EXPECT_LT(compareTerms(integerTerm(-5), integerTerm(3)), 0);
    EXPECT_LT(compareTerms(integerTerm(3), TERM()), 0);
    EXPECT_EQ(compareTerms(integerTerm(3), integerTerm(3)), 0);
    EXPECT_EQ(compareTerms(TERM(), TERM()), 0);
}

TEST(Term, ComparisonOfExtremeValuesDoesNotOverflow) {
    TERM lo = integerTerm(INT_MIN), hi = integerTerm(INT_MAX);
    EXPECT_LT(compareTerms(lo, hi), 0);
    EXPECT_GT(compareTerms(hi, lo), 0);
}

TEST(Term, IntegersAreNumberedOncePerValue) {
    int32_t before = numberTable.count;
    TERM x = integerTerm(987654);
    TERM y = integerTerm(987654);
    EXPECT_EQ(x.index, y.index);
    EXPECT_EQ(numberTable.count, before + 1);
    EXPECT_EQ(integerValue(x), 987654);
}

TEST(Term, TermCodeOfIntegerFollowsSymbolCount) {
    TERM five = integerTerm(5);
    EXPECT_EQ(termCode(five), uint32_t(symbolTable.count) + 5);
    EXPECT_EQ(termCode(variableTerm(3)), 0u);
    TERM s = symbolTerm("term_code_s");
    EXPECT_EQ(termCode(s), uint32_t(s.index));
}

TEST(PredicateTable, ArityClashKeepsFirstArity) {
    PREDICATETABLE table;
    auto [p, ok] = addPredicate(table, NAME("p"), 2, 0);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(addPredicate(table, NAME("p"), 3, 2).second);
    EXPECT_EQ(table.arities[p], 2);
}

TEST(PredicateTable, FirstKnownKindSticks) {
    PREDICATETABLE table;
    int32_t p = addPredicate(table, NAME("p"), 1, KIND_UNKNOWN).first;
    EXPECT_TRUE(addPredicate(table, NAME("p"), 1, KIND_IDB).second);
    EXPECT_EQ(table.kinds[p], KIND_IDB);
    EXPECT_TRUE(addPredicate(table, NAME("p"), 1, KIND_UNKNOWN).second);
    EXPECT_FALSE(addPredicate(table, NAME("p"), 1, KIND_EDB).second);
    EXPECT_EQ(table.kinds[p], KIND_IDB);
}

TEST(PredicateTable, InternalNames) {
    struct {
        const char* name;
        int32_t kind;
        bool internal;
    } cases[] = {
        {"aux#12", 2, true},   {"aux12", 2, false}, {"#query", 2, true},   {"__prec", 2, true},
        {"_p", 2, false},      {"\"_x\"", 2, true}, {"\"x_\"", 2, false}, {"#int", KIND_BUILTIN, false},
        {"p", 1, false},
    };
    PREDICATETABLE table;
    for (const auto& c : cases) {
        int32_t p = addPredicate(table, NAME(c.name), 0, c.kind).first;
        EXPECT_EQ(table.internal[p], c.internal) << c.name;
    }
}

TEST(PredicateTable, BuiltinsHoldTheFirstTenIndices) {
    registerBuiltins();
    const char* names[] = {"==", "!=", "<", ">", "<=", ">=", "#int", "#succ", "+", "*"};
    const int32_t arities[] = {2, 2, 2, 2, 2, 2, 1, 2, 3, 3};
    for (int32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(predicateTable.name(i).str(), names[i]);
        EXPECT_EQ(predicateTable.kinds[i], KIND_BUILTIN);
        EXPECT_EQ(predicateTable.arities[i], arities[i]);
        EXPECT_FALSE(predicateTable.internal[i]);
    }
    EXPECT_EQ(symbolTable.key(0).str(), "#defaultobject");
}

TEST(PredicateTable, RenameKeepsOldNameAndIndex) {
    PREDICATETABLE table;
    int32_t p = addPredicate(table, NAME("\"_proj\""), 1, KIND_IDB).first;
    addPredicate(table, NAME("pred0"), 0, KIND_IDB);
    EXPECT_FALSE(renamePredicate(table, p, NAME("pred0")));
    EXPECT_TRUE(renamePredicate(table, p, NAME("pred1")));
    EXPECT_EQ(table.name(p).str(), "pred1");
    EXPECT_EQ(table.find(NAME("\"_proj\"")), p);
    EXPECT_TRUE(table.internal[p]);
}

}  // namespace
