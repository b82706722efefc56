// Atoms, literals, conjunctions and rules: construction, copies, order and
// printing.
#include <gtest/gtest.h>

#include <sstream>

#include "core/aggregate.h"
#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "core/rule.h"

using namespace veltra;

namespace {

std::vector<TERM> terms(std::initializer_list<TERM> ts) { return std::vector<TERM>(ts); }

template <class F> std::string text(F f) {
    std::ostringstream out;
    f(out);
    return out.str();
}
std::string show(const ATOM& a) { return text([&](std::ostream& o) { printAtom(o, a); }); }

class AtomTest : public ::testing::Test {
protected:
    void SetUp() override { registerBuiltins(); }
};

TEST_F(AtomTest, ArityClashEndsTheRun) {
    auto t3 = terms({symbolTerm("a"), symbolTerm("b"), symbolTerm("c")});
    ATOM first("atom_clash_p", &t3, KIND_IDB);
    auto t2 = terms({symbolTerm("a"), symbolTerm("b")});
    EXPECT_EXIT(ATOM("atom_clash_p", &t2, KIND_IDB), testing::ExitedWithCode(1),
                "^atom_clash_p, first used with arity 3, now seen with arity 2\\.\n$");
}

TEST_F(AtomTest, KindClashAtEqualArityIsInternal) {
    ATOM first("atom_kind_p", nullptr, KIND_IDB);
    EXPECT_EXIT(ATOM("atom_kind_p", nullptr, KIND_EDB), testing::ExitedWithCode(99),
                "An internal error occurred \\(ATOM constructor\\)\\.");
}

TEST_F(AtomTest, LookupUseNeverFails) {
    auto t2 = terms({symbolTerm("a"), symbolTerm("b")});
    ATOM first("atom_lookup_p", &t2, KIND_IDB);
    ATOM look("atom_lookup_p", nullptr, KIND_LOOKUP);
    EXPECT_EQ(look.predicate, first.predicate);
}

TEST_F(AtomTest, EmptyAndNullArgumentsAreEqual) {
    std::vector<TERM> none;
    ATOM a("atom_empty_p", &none, KIND_IDB);
    ATOM b("atom_empty_p", nullptr, KIND_UNKNOWN);
    EXPECT_EQ(compareAtoms(a, b), 0);
    EXPECT_EQ(show(a), "atom_empty_p");
    EXPECT_EQ(predicateTable.kinds[a.predicate], KIND_IDB);
}

TEST_F(AtomTest, InstantiatingCopyReplacesBoundVariablesOnly) {
    auto t = terms({variableTerm(0), symbolTerm("a"), variableTerm(1)});
    ATOM pattern("atom_inst_p", &t, KIND_IDB);
    TERM bindings[MAXVARIABLES];
    bindings[0] = integerTerm(3);
    ATOM inst(pattern, bindings);
    EXPECT_EQ(show(inst), "atom_inst_p(3,a,_1)");
    EXPECT_EQ(show(pattern), "atom_inst_p(_0,a,_1)");
}

TEST_F(AtomTest, OrderByPredicateThenArgumentsInTableOrder) {
    TERM b = symbolTerm("atom_order_b");
    TERM a = symbolTerm("atom_order_a");
    auto tb = terms({b}), ta = terms({a}), t1 = terms({integerTerm(1)});
    ATOM q("atom_order_q", &ta, KIND_IDB);
    ATOM pb("atom_order_p", &tb, KIND_IDB);
    ATOM pa("atom_order_p", &ta, KIND_IDB);
    ATOM p1("atom_order_p", &t1, KIND_IDB);
    EXPECT_LT(compareAtoms(pb, pa), 0);
    EXPECT_LT(compareAtoms(pa, p1), 0);
    EXPECT_LT(compareAtoms(q, pa), 0);  // q was registered first
    ATOM copy = pa;
    EXPECT_EQ(compareAtoms(copy, pa), 0);
    copy = copy;
    EXPECT_EQ(show(copy), "atom_order_p(atom_order_a)");
}

TEST_F(AtomTest, ConjunctionKeepsPositiveLiteralsFirst) {
    CONJUNCTION body;
    body.addLiteral(LITERAL(ATOM("conj_q", nullptr, KIND_IDB), true));
    body.addLiteral(LITERAL(ATOM("conj_r", nullptr, KIND_IDB), false));
    body.addLiteral(LITERAL(ATOM("conj_s", nullptr, KIND_IDB), true));
    EXPECT_EQ(text([&](std::ostream& o) { printLiterals(o, body, ", "); }), "conj_r, not conj_q, not conj_s");
    EXPECT_EQ(body.firstNegative, 1u);
    CONJUNCTION copy = body;
    EXPECT_EQ(copy.firstNegative, 1u);
}

TEST_F(AtomTest, RulePrinting) {
    std::vector<ATOM> head{ATOM("rule_a1", nullptr, KIND_IDB), ATOM("rule_a2", nullptr, KIND_IDB)};
    CONJUNCTION body;
    body.addLiteral(LITERAL(ATOM("rule_b", nullptr, KIND_IDB), false));
    body.addLiteral(LITERAL(ATOM("rule_c", nullptr, KIND_IDB), true));
    auto show = [](const RULE& r) { return text([&](std::ostream& o) { printProgramRule(o, r); }); };
    EXPECT_EQ(show(RULE(&head, &body)), "rule_a1 v rule_a2 :- rule_b, not rule_c.");
    EXPECT_EQ(show(RULE(&head, nullptr)), "rule_a1 v rule_a2.");
    EXPECT_EQ(show(RULE(nullptr, &body)), " :- rule_b, not rule_c.");
    CONSTRAINT c(body, false);
    EXPECT_EQ(text([&](std::ostream& o) { printProgramConstraint(o, c); }), ":- rule_b, not rule_c.");
    WEAKCONSTRAINT w;
    w.body = body;
    w.weight = integerTerm(2500);
    w.level = variableTerm(1);
    EXPECT_EQ(text([&](std::ostream& o) { printProgramWeakConstraint(o, w); }), ":~ rule_b, not rule_c. [2:_1]");
}

TEST_F(AtomTest, OutputFormOfObjectAtoms) {
    auto t3 = terms({symbolTerm("o"), symbolTerm("x"), symbolTerm("y")});
    auto t1 = terms({symbolTerm("o")});
    auto t2 = terms({symbolTerm("o"), symbolTerm("x")});
    ATOM p("objout_p", &t3, KIND_IDB);
    ATOM neg("-objout_p", &t3, KIND_IDB);
    auto out = [](const ATOM& a) { return text([&](std::ostream& o) { printOutputAtom(o, a); }); };
    EXPECT_EQ(out(p), "objout_p(x,y)");
    EXPECT_EQ(out(neg), "-objout_p(x,y)");
    ATOM q("objout_q", &t2, KIND_IDB);
    EXPECT_EQ(out(q), "objout_q(o,x)");
    ATOM r("objout_r", &t1, KIND_IDB);
    ATOM nr("-objout_r", &t1, KIND_IDB);
    EXPECT_EQ(out(r), "objout_r");
}

// The string printers give the stream printers' text, behind what the
// string already holds.
TEST_F(AtomTest, AppendedTextEqualsPrintedText) {
    auto t3 = terms({symbolTerm("o"), symbolTerm("x"), integerTerm(-7)});
    ATOM object("objappend_p", &t3, KIND_IDB);
    ATOM objectNeg("-objappend_p", &t3, KIND_IDB);
    std::vector<ATOM> atoms;
    atoms.emplace_back("append_noargs", nullptr, KIND_IDB);
    auto mixed = terms({symbolTerm("a"), symbolTerm("\"two, words\""), integerTerm(0), integerTerm(-1),
                        integerTerm(INT32_MIN), integerTerm(INT32_MAX), variableTerm(59), TERM()});
    atoms.emplace_back("append_mixed", &mixed, KIND_IDB);
    atoms.emplace_back("-append_mixed", &mixed, KIND_IDB);
    atoms.push_back(object);
    atoms.push_back(objectNeg);
    for (const ATOM& a : atoms) {
        std::string appended = "{x, ";
        appendAtom(appended, a);
        EXPECT_EQ(appended, "{x, " + show(a));
        std::string output = "{";
        appendOutputAtom(output, a);
        EXPECT_EQ(output, "{" + text([&](std::ostream& o) { printOutputAtom(o, a); }));
    }
    EXPECT_EQ(show(atoms[1]), "append_mixed(a,\"two, words\",0,-1,-2147483648,2147483647,_59,NullConst)");
    std::string objectText;
    appendOutputAtom(objectText, objectNeg);
    EXPECT_EQ(objectText, "-objappend_p(x,-7)");
}

// 1 <= #count{X : q(X)} <= Y, as the parser builds it.
ATOM countAtom(const char* q) {
    int32_t p = addPredicate(predicateTable, NAME("#count"), 0, KIND_AGGREGATE).first;
    auto* agg = new AGGREGATEATOM();
    agg->function = makeAggregateFunction(AGG_COUNT);
    agg->function->elementTerms.push_back(variableTerm(0));
    auto t = terms({variableTerm(0)});
    agg->function->body.addLiteral(LITERAL(ATOM(q, &t, KIND_UNKNOWN), false));
    agg->function->groundSet = std::make_unique<GROUNDSET>();
    agg->lowerGuard = integerTerm(1);
    agg->upperGuard = variableTerm(1);
    return ATOM(p, agg);
}

TEST_F(AtomTest, AggregateAtomPrintingAndCopies) {
    ATOM a = countAtom("aggprint_q");
    EXPECT_EQ(show(a), "1 <= #count{_0 : aggprint_q(_0)} <= _1");
    ATOM copy = a;
    EXPECT_EQ(compareAtoms(a, copy), 0);
    EXPECT_EQ(show(copy), show(a));
    auto t1 = terms({integerTerm(1)}), t2 = terms({integerTerm(2)});
    ATOM q1("aggprint_q", &t1, KIND_UNKNOWN), q2("aggprint_q", &t2, KIND_UNKNOWN);
    copy.aggregate()->function->groundSet->add({integerTerm(2), internAtom(q2)});
    copy.aggregate()->function->groundSet->add({integerTerm(1), internAtom(q1)});
    copy.aggregate()->function->groundSet->normalize();
    EXPECT_EQ(show(copy), "1 <= #count{<1,aggprint_q(1)>,<2,aggprint_q(2)>} <= _1");
    std::string appended;
    appendAtom(appended, copy);
    EXPECT_EQ(appended, show(copy));
    EXPECT_NE(compareAtoms(a, copy), 0);
}

TEST_F(AtomTest, AggregatesDifferingBeyondTheFirstBodyLiteralDiffer) {
    ATOM a = countAtom("aggbody_p");
    ATOM b = countAtom("aggbody_p");
    auto t = terms({variableTerm(0)});
    a.aggregate()->function->body.addLiteral(LITERAL(ATOM("aggbody_q", &t, KIND_UNKNOWN), false));
    b.aggregate()->function->body.addLiteral(LITERAL(ATOM("aggbody_r", &t, KIND_UNKNOWN), false));
    EXPECT_NE(compareAtoms(a, b), 0);
    EXPECT_EQ(compareAtoms(a, b), -compareAtoms(b, a));
}

}  // namespace
