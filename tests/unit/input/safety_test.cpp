// Rule safety: which literals bind variables, as seen through the messages
// of the builders and through the predicates themselves.
#include <string>

#include "core/aggregate.h"
#include "core/rule.h"
#include "driver/options.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

class Safety : public INPUTTEST {};

TEST_F(Safety, WhatBindsAVariable) {
    const struct {
        const char* rule;
        bool safe;
    } cases[] = {
        {"h(X) :- p(X).", true},
        {"h(X) :- not p(X).", false},
        {"h(X) :- #int(X).", true},
        {"h(X, Y) :- #succ(X, Y).", true},
        {"h(X, Y, Z) :- +(X, Y, Z).", true},
        {"h(X, Y, Z) :- *(X, Y, Z).", true},
        {"h :- X < Y.", false},
        {"h :- p(X), X < Y.", false},
        {"h :- p(X), p(Y), X < Y.", true},
        {"h(X) :- X == 3.", true},
        {"h(X) :- a == X.", true},
        {"h :- X == Y.", false},
        {"h :- p(X), X == Y.", false},
        {"h :- p(X), p(Y), X == Y.", true},
        {"h :- p(X), not q(X, Y).", false},
        {"h :- p(X), not q(X, _).", false},
        {"h(X) :- q, p(X).", true},
        // A variable guard of a comparison aggregate must be bound elsewhere;
        // an assignment binds its own.
        {"h :- #count{X : p(X)} > N.", false},
        {"h :- q(N), #count{X : p(X)} > N.", true},
        {"h(N) :- N = #count{X : p(X)}.", true},
        {"h(N) :- #count{X : p(X)} = N.", true},
        {"h(N) :- not N = #count{X : p(X)}.", false},
        {"h(N) :- N <= #count{X : p(X)} <= N.", true},
        {"h(N) :- q(M), N = #count{X : p(X)}, M < #sum{X : p(X)} <= N.", true},
        {"h(N) :- M < #sum{X : p(X)} <= N, N = #count{X : p(X)}.", false},
    };
    for (const auto& c : cases) {
        resetInputState();
        OPTIONS.maxInt = 9;  // for the arithmetic built-ins
        PARSERESULT r = parseUserText(c.rule);
        EXPECT_EQ(r.stderrText, c.safe ? "" : "program.dl: line 1: Rule is not safe.\n") << c.rule;
    }
}

TEST_F(Safety, PredicatesOnABody) {
    // The body "p(X), not q(Y), Z == 1" with X, Y, Z numbered 0, 1, 2.
    std::vector<TERM> x{variableTerm(0)}, y{variableTerm(1)}, z1{variableTerm(2), integerTerm(1)};
    CONJUNCTION body;
    body.addLiteral(LITERAL(ATOM("p", &x, KIND_UNKNOWN), false));
    body.addLiteral(LITERAL(ATOM("q", &y, KIND_UNKNOWN), true));
    body.addLiteral(LITERAL(ATOM(BUILTIN_EQ, z1), false));
    EXPECT_TRUE(isVariableBound(body, variableTerm(0)));
    EXPECT_FALSE(isVariableBound(body, variableTerm(1)));
    EXPECT_TRUE(isVariableBound(body, variableTerm(2)));
    EXPECT_FALSE(isVariableBound(CONJUNCTION(), variableTerm(0)));
    EXPECT_FALSE(isBodySafe(body));
    EXPECT_TRUE(isBodySafe(CONJUNCTION()));
    EXPECT_TRUE(isWeightLevelSafe({variableTerm(0), integerTerm(1)}, body));
    EXPECT_FALSE(isWeightLevelSafe({integerTerm(1), variableTerm(1)}, body));
    EXPECT_TRUE(isWeightLevelSafe({symbolTerm("a"), variableTerm(2)}, body));

    std::vector<ATOM> head{ATOM("h", &y, KIND_UNKNOWN)};
    EXPECT_FALSE(isRuleSafe(RULE(&head, nullptr)));
    std::vector<ATOM> groundHead{ATOM("g", nullptr, KIND_UNKNOWN)};
    EXPECT_TRUE(isRuleSafe(RULE(&groundHead, nullptr)));
}

TEST_F(Safety, AggregateConjunctionUsesOuterAndOwnBindings) {
    const struct {
        const char* rule;
        const char* stderrText;
    } cases[] = {
        {"h :- s(Z), #count{X : p(X), not r(X, Z)} > 1.", ""},
        // The conjunction's check, then the rule's own.
        {"h :- #count{X : p(X), not r(X, Z)} > 1.",
         "program.dl: line 1: Aggregate conjunction is not safe.\nprogram.dl: line 1: Rule is not safe.\n"},
        {"h :- #count{X : p(X), X < Z} > 1.",
         "program.dl: line 1: Aggregate conjunction is not safe.\nprogram.dl: line 1: Rule is not safe.\n"},
        {"h :- #count{X : p(X), q(Z), X < Z} > 1.", ""},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.rule);
        EXPECT_EQ(r.stderrText, c.stderrText) << c.rule;
    }
}

}  // namespace
}  // namespace veltra
