// Aggregates in statement bodies: guards, assignment, the checks of the
// aggregated variables and of the conjunction, and the auxiliary predicates.
#include <string>

#include "core/aggregate.h"
#include "core/rule.h"
#include "input/bodyaggregates.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

class Aggregates : public INPUTTEST {};

// The aggregate payload of the i-th body literal of the last rule.
const AGGREGATEATOM& aggregateOfLastRule(size_t i) { return *rules.back().body->literals[i].aggregate(); }

TEST_F(Aggregates, AuxiliaryPredicateForTheSharedVariables) {
    PARSERESULT r = parseUserText("a(Y) :- q(Y), #count{X : p(X,Y)} > 1.");
    EXPECT_EQ(r.stderrText, "");
    // p is predicate 12; the arguments are Y, then X.
    EXPECT_EQ(rulesText(),
              "aux#_0~12_0_1|2_1_0(_0,_1) :- p(_1,_0).\n"
              "a(_0) :- q(_0), 2 <= #count{_1 : aux#_0~12_0_1|2_1_0(_0,_1)} <= 2147483647.\n");
    int32_t aux = predicateTable.find(NAME("aux#_0~12_0_1|2_1_0"));
    ASSERT_GE(aux, 0);
    EXPECT_EQ(predicateTable.kinds[aux], KIND_IDB);
    EXPECT_TRUE(predicateTable.internal[aux]);
}

TEST_F(Aggregates, ConjunctionKeptOrReplaced) {
    const struct {
        const char* text;
        const char* rules;
    } cases[] = {
        {"a :- #count{X : p(X)} > 2.", "a :- 3 <= #count{_0 : p(_0)} <= 2147483647.\n"},
        {"a :- #count{X, Y : p(X, Y)} > 2.", "a :- 3 <= #count{_0,_1 : p(_0,_1)} <= 2147483647.\n"},
        {"a :- #count{X : p(X), q(X)} > 2.",
         "aux#_0~11_0~12_0|1_0(_0) :- p(_0), q(_0).\n"
         "a :- 3 <= #count{_0 : aux#_0~11_0~12_0|1_0(_0)} <= 2147483647.\n"},
        // Y occurs nowhere else: it stays local to the defining rule.
        {"a :- #count{X : p(X, Y)} > 2.",
         "aux#_0~11_0_1|1_0(_0) :- p(_0,_1).\n"
         "a :- 3 <= #count{_0 : aux#_0~11_0_1|1_0(_0)} <= 2147483647.\n"},
        // Z is bound only outside: s(Z) is borrowed into the definition.
        {"a :- s(Z), #count{X : p(X), not r(X, Z)} > 2.",
         "aux#_0~11_1~12_0!~13_0_1|2_1_0(_0,_1) :- s(_0), p(_1), not r(_1,_0).\n"
         "a :- s(_0), 3 <= #count{_1 : aux#_0~11_1~12_0!~13_0_1|2_1_0(_0,_1)} <= 2147483647.\n"},
        // An assignment's variable is shared as well.
        {"a(N) :- N = #count{X : p(X)}, #sum{Y : q(Y, N)} > 1.",
         "aux#_0~13_0_1|2_1_0(_0,_2) :- q(_2,_0).\n"
         "a(_0) :- _0 <= #count{_1 : p(_1)} <= _0, 2 <= #sum{_2 : aux#_0~13_0_1|2_1_0(_0,_2)} <= 2147483647.\n"},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, "") << c.text;
        EXPECT_EQ(rulesText(), c.rules) << c.text;
    }
}

TEST_F(Aggregates, SameAggregateSharesOneDefinition) {
    parseUserText("a :- #count{X : p(X), q(X)} > 2.\nb :- #count{Y : p(Y), q(Y)} < 2.");
    EXPECT_EQ(rulesText(),
              "aux#_0~11_0~12_0|1_0(_0) :- p(_0), q(_0).\n"
              "a :- 3 <= #count{_0 : aux#_0~11_0~12_0|1_0(_0)} <= 2147483647.\n"
              "b :- 0 <= #count{_0 : aux#_0~11_0~12_0|1_0(_0)} <= 1.\n");
}

TEST_F(Aggregates, DifferentArgumentLayoutsGetDifferentDefinitions) {
    PARSERESULT r = parseUserText(
        "a(Y) :- q(Y), #count{X : p(X,Y,Z)} > 1.\n"
        "b(Z) :- q(Z), #count{X : p(X,Y,Z)} > 1.\n");
    EXPECT_EQ(r.errors, 0);
    // In a the shared variable is p's second argument, in b its third.
    EXPECT_EQ(rulesText(),
              "aux#_0~12_0_1_2|2_1_0(_0,_1) :- p(_1,_0,_2).\n"
              "a(_0) :- q(_0), 2 <= #count{_1 : aux#_0~12_0_1_2|2_1_0(_0,_1)} <= 2147483647.\n"
              "aux#_0~12_0_1_2|2_2_0(_0,_1) :- p(_1,_2,_0).\n"
              "b(_0) :- q(_0), 2 <= #count{_1 : aux#_0~12_0_1_2|2_2_0(_0,_1)} <= 2147483647.\n");
}

TEST_F(Aggregates, AggregatesDifferingInTheirConjunctionAreBothKept) {
    parseUserText("a :- #count{X : p(X), q(X)} > 1, #count{X : p(X), r(X)} > 1.");
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules.back().body->size(), 2u);
    resetInputState();
    parseUserText("a :- #count{X : p(X), q(X)} > 1, #count{X : p(X), q(X)} > 1.");
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules.back().body->size(), 1u);
}

TEST_F(Aggregates, AssignmentFlag) {
    parseUserText("a(N) :- N = #count{X : p(X)}.");
    EXPECT_TRUE(aggregateOfLastRule(0).assignment);
    parseUserText("b(N) :- #count{X : p(X)} = N.");
    EXPECT_TRUE(aggregateOfLastRule(0).assignment);
    parseUserText("c :- 3 = #count{X : p(X)}.");
    EXPECT_FALSE(aggregateOfLastRule(0).assignment);
    EXPECT_EQ(rulesText().substr(rulesText().rfind("c :-")), "c :- 3 <= #count{_0 : p(_0)} <= 3.\n");
    parseUserText("d :- q(N, M), N <= #count{X : p(X)} <= M.");
    EXPECT_FALSE(aggregateOfLastRule(1).assignment);
    // A guard equated with a constant makes a comparison of the assignment.
    PARSERESULT r = parseUserText("e :- r(N), N == 2, N = #count{X : p(X)}.");
    EXPECT_EQ(r.errors, 0);
    const AGGREGATEATOM& a = aggregateOfLastRule(2);
    EXPECT_FALSE(a.assignment);
    EXPECT_EQ(a.lowerGuard, integerTerm(2));
    EXPECT_EQ(a.upperGuard, integerTerm(2));
}

TEST_F(Aggregates, GuardChecks) {
    EXPECT_EQ(makeGuard(integerTerm(3), false, true).term, integerTerm(4));
    EXPECT_EQ(makeGuard(integerTerm(3), false, false).term, integerTerm(2));
    GUARD v = makeGuard(variableTerm(1), false, true);
    EXPECT_EQ(v.term, variableTerm(1));
    EXPECT_FALSE(v.inclusive);

    const struct {
        TERM term;
        bool inclusive, isLower;
        const char* message;
    } cases[] = {
        {symbolTerm("a"), true, true, "A guard should be a number or a variable"},
        {integerTerm(-1), true, true, "Lower guard should be greater-or-equal than 0"},
        {integerTerm(-1), false, false, "Upper guard should be greater-or-equal than 0"},
        {integerTerm(INT32_MAX), false, true, "Lower guard should be less than MAXINT"},
        {integerTerm(0), false, false, "Upper guard should be greater than 0"},
    };
    for (const auto& c : cases) {
        int before = parseErrorCount;
        testing::internal::CaptureStderr();
        GUARD g = makeGuard(c.term, c.inclusive, c.isLower);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("Internal parser invocation: ") + c.message + ".\n");
        EXPECT_EQ(parseErrorCount, before + 1);
        EXPECT_EQ(g.term, symbolTerm("#invalid_guard#"));
    }
}

TEST_F(Aggregates, Messages) {
    const struct {
        const char* text;
        const char* stderrText;
        int errors;
    } cases[] = {
        {"a :- #sum{X : p(X)} < 0.", "program.dl: line 1: Upper guard should be greater than 0.\n", 1},
        {"a :- a < #sum{X : p(X)}.", "program.dl: line 1: A guard should be a number or a variable.\n", 1},
        {"a :- q(X), #count{X : p(X)} > 1.", "program.dl: line 1: Variables to be aggregated over must be free.\n", 1},
        {"a :- #count{X, Z : p(X)} > 1.", "program.dl: line 1: Variables to be aggregated over must be free.\n", 1},
        {"a :- not q(X), #count{X : p(X)} > 1.",
         "program.dl: line 1: Variables to be aggregated over must be free.\n"
         "program.dl: line 1: Rule is not safe.\n",
         2},
        {"a(X) :- X = #count{X : p(X)}.", "program.dl: line 1: Variables to be aggregated over must be free.\n", 1},
        {"a :- #count{a : p(a)} > 1.", "program.dl: line 1: Variables to be aggregated over must be free.\n", 1},
        {"a :- #count{X : p(X), 1 < #count{Y : q(Y)}} > 1.", "program.dl: line 1: Nested aggregates are not supported.\n",
         1},
        // Equality elimination checks a substituted guard like a written one.
        {"a :- q(N), N == b, #count{X : p(X)} > N.", "program.dl: line 1: A guard should be a number or a variable.\n", 1},
        {"a :- q(N), N == 0, #count{X : p(X)} < N.", "program.dl: line 1: Upper guard should be greater than 0.\n", 1},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, c.stderrText) << c.text;
        EXPECT_EQ(r.errors, c.errors) << c.text;
    }
}

TEST_F(Aggregates, QueryAggregatesAreRewritten) {
    PARSERESULT r = parseUserText("#count{X : p(X), q(X)} > 1?");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(rulesText(), "aux#_0~10_0~11_0|1_0(_0) :- p(_0), q(_0).\n");
    EXPECT_EQ(queryText(), "2 <= #count{_0 : aux#_0~10_0~11_0|1_0(_0)} <= 2147483647?\n");
}

TEST_F(Aggregates, ManyVariablesInAnAggregate) {
    // The defining rule and the statement share one numbering of 70 variables.
    std::string args;
    for (int i = 1; i < 70; ++i) args += (i > 1 ? ",X" : "X") + std::to_string(i);
    PARSERESULT r = parseUserText("a :- q(" + args + "), #count{Y : p(Y," + args + "), r(Y)} > 1.");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 1: Rule contains too many variables.\n"
              "program.dl: line 1: Rule contains too many variables.\n");
    EXPECT_EQ(r.errors, 2);
}

}  // namespace
}  // namespace veltra
