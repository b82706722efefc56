// Statements of the main input language: every form, as stored and printed,
// and the messages of the grammar actions.
#include <string>

#include "core/rule.h"
#include "driver/options.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

struct FORMCASE {
    const char* text;
    const char* program;  // programText() afterwards
};

class Grammar : public INPUTTEST {};

void expectForms(const FORMCASE* first, const FORMCASE* last) {
    for (const FORMCASE* c = first; c != last; ++c) {
        resetInputState();
        PARSERESULT r = parseUserText(c->text);
        EXPECT_EQ(r.stderrText, "") << c->text;
        EXPECT_EQ(r.errors, 0) << c->text;
        EXPECT_EQ(programText(), c->program) << c->text;
    }
}

TEST_F(Grammar, RulesFactsAndHeads) {
    const FORMCASE cases[] = {
        {"a v b :- c, not d.", "a v b :- c, not d.\n"},
        {"a | b :- c.", "a v b :- c.\n"},
        {"a ; b :- c.", "a v b :- c.\n"},
        {"a v b | c ; d.", "a v b v c v d.\n"},
        {"p(X) :- q(X).", "p(_0) :- q(_0).\n"},
        {"p(X, Y) <- q(Y, X), non r(X).", "p(_0,_1) :- q(_1,_0), not r(_0).\n"},
        {"p(a).", "p(a).\n"},
        {"p :- .", "p.\n"},
        {"p(\"quoted text\", 7).", "p(\"quoted text\",7).\n"},
        {"v(v).", "v(v).\n"},
        {"p(a). p(a). p(b).", "p(a).\np(b).\n"},
        // Positive literals first, repeated literals once.
        {"a :- not c, b, b, not c, not d.", "a :- b, not c, not d.\n"},
        {"a :- b. % a comment :- c.\nd.", "d.\na :- b.\n"},
        {"-p(X) :- q(X).", "-p(_0) :- q(_0).\n"},
        {"~p :- not -q.", "-p :- not -q.\n"},
        {"p(X, Y) :- q(X), r(_, _, Y).", "p(_0,_1) :- q(_0), r(_2,_3,_1).\n"},
    };
    expectForms(std::begin(cases), std::end(cases));
}

TEST_F(Grammar, IntervalFacts) {
    const FORMCASE cases[] = {
        {"p(1..3).", "p(1).\np(2).\np(3).\n"},
        {"p(3..1).", ""},
        {"p(2..2).", "p(2).\n"},
        {"#const n = 2. p(1..n).", "p(1).\np(2).\n"},
    };
    expectForms(std::begin(cases), std::end(cases));
}

TEST_F(Grammar, ConstraintsWeakConstraintsAndQueries) {
    const FORMCASE cases[] = {
        {":- p(X), not q(X).", ":- p(_0), not q(_0).\n"},
        {":~ p(X), not q(X).", ":~ p(_0), not q(_0). [1000:1]\n"},
        {":~ p. [:3]", ":~ p. [1000:3]\n"},
        {":~ p. [2:]", ":~ p. [2000:1]\n"},
        {":~ p. [2:3]", ":~ p. [2000:3]\n"},
        {":~ p(W, L). [W:L]", ":~ p(_0,_1). [_0:_1]\n"},
        {":~ p. [1.5:1]", ":~ p. [1500:1]\n"},
        {":~ p. [0.05:1]", ":~ p. [50:1]\n"},
        {":~ p. [0.005:1]", ":~ p. [5:1]\n"},
        {":~ p. [2147483.647:1]", ":~ p. [2147483647:1]\n"},
        {"p(X), not q(X)?", "p(_0), not q(_0)?\n"},
        {"a?", "a?\n"},
    };
    expectForms(std::begin(cases), std::end(cases));
}

TEST_F(Grammar, BuiltIns) {
    const FORMCASE cases[] = {
        {"a :- p(X), X < 3.", "a :- p(_0), <(_0,3).\n"},
        {"a :- p(X, Y), X == Y, X != Y, X > Y, X <= Y, X >= Y.",
         "a :- p(_0,_1), ==(_0,_1), !=(_0,_1), >(_0,_1), <=(_0,_1), >=(_0,_1).\n"},
        {"a :- p(X, Y), <(X, Y), ==(X, Y), =(X, Y), !=(X, Y), <>(X, Y).",
         "a :- p(_0,_1), <(_0,_1), ==(_0,_1), !=(_0,_1).\n"},
        {"a :- p(X, Y), X = Y.", "a :- p(_0,_1), ==(_0,_1).\n"},
        {"#maxint = 9. a :- #int(X), #succ(X, Y), +(X, Y, Z), *(X, Y, Z).",
         "a :- #int(_0), #succ(_0,_1), +(_0,_1,_2), *(_0,_1,_2).\n"},
        {"#maxint = 9. a :- p(Y, Z), X = Y + Z, W = Y * Z.", "a :- p(_0,_1), +(_0,_1,_2), *(_0,_1,_3).\n"},
        {"#maxint = 9. a :- q(X), X = Y + Z, p(Y, Z).", "a :- q(_0), +(_1,_2,_0), p(_1,_2).\n"},
        {"#maxint = 9. a :- p(Y, Z), #maxint = Y + Z.", "a :- p(_0,_1), +(_0,_1,9).\n"},
        {"#maxint = 9. a :- p(#maxint).", "a :- p(9).\n"},
    };
    expectForms(std::begin(cases), std::end(cases));
}

TEST_F(Grammar, AggregateGuardForms) {
    // The stored guards of each form; an integer guard is always inclusive.
    const FORMCASE cases[] = {
        {"a :- 1 < #count{X : p(X)}.", "a :- 2 <= #count{_0 : p(_0)} <= 2147483647.\n"},
        {"a :- 1 <= #count{X : p(X)}.", "a :- 1 <= #count{_0 : p(_0)} <= 2147483647.\n"},
        {"a :- 2 = #count{X : p(X)}.", "a :- 2 <= #count{_0 : p(_0)} <= 2.\n"},
        {"a :- 2 >= #count{X : p(X)}.", "a :- 0 <= #count{_0 : p(_0)} <= 2.\n"},
        {"a :- 2 > #count{X : p(X)}.", "a :- 0 <= #count{_0 : p(_0)} <= 1.\n"},
        {"a :- #count{X : p(X)} < 2.", "a :- 0 <= #count{_0 : p(_0)} <= 1.\n"},
        {"a :- #count{X : p(X)} <= 2.", "a :- 0 <= #count{_0 : p(_0)} <= 2.\n"},
        {"a :- #count{X : p(X)} = 2.", "a :- 2 <= #count{_0 : p(_0)} <= 2.\n"},
        {"a :- #count{X : p(X)} >= 2.", "a :- 2 <= #count{_0 : p(_0)} <= 2147483647.\n"},
        {"a :- #count{X : p(X)} > 3.", "a :- 4 <= #count{_0 : p(_0)} <= 2147483647.\n"},
        {"a :- 1 < #count{X : p(X)} < 5.", "a :- 2 <= #count{_0 : p(_0)} <= 4.\n"},
        {"a :- 1 < #count{X : p(X)} <= 5.", "a :- 2 <= #count{_0 : p(_0)} <= 5.\n"},
        {"a :- 1 <= #count{X : p(X)} < 5.", "a :- 1 <= #count{_0 : p(_0)} <= 4.\n"},
        {"a :- 1 <= #count{X : p(X)} <= 5.", "a :- 1 <= #count{_0 : p(_0)} <= 5.\n"},
        {"a(Y) :- q(Y, Z), Y < #sum{X : p(X)} < Z.", "a(_0) :- q(_0,_1), _0 < #sum{_2 : p(_2)} < _1.\n"},
        {"a :- not 2 < #max{X : p(X)}.", "a :- not 3 <= #max{_0 : p(_0)} <= 2147483647.\n"},
        {"a :- #min{X : p(X)} > 1, #times{X : p(X)} > 1.",
         "a :- 2 <= #min{_0 : p(_0)} <= 2147483647, 2 <= #times{_0 : p(_0)} <= 2147483647.\n"},
    };
    expectForms(std::begin(cases), std::end(cases));
}

TEST_F(Grammar, MaxintStatement) {
    PARSERESULT r = parseUserText("#maxint = 20.\np(20).");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(OPTIONS.maxInt, 20);
    EXPECT_EQ(OPTIONS.maxIntegerInInput, 20);

    resetInputState();
    r = parseUserText("p(50).\n#maxint = 10.\n");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 2: #maxint must not be less than the maximum integer (50) occurring in input.\n");
    EXPECT_EQ(r.errors, 1);
    EXPECT_EQ(OPTIONS.maxInt, 10);

    // "-N=10" set the bound before any input.
    resetInputState();
    OPTIONS.maxInt = 10;
    r = parseUserText("p(11).\n#maxint = 5.\n");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 1: number outside of given integer range.\n"
              "program.dl: line 2: Cannot redefine #maxint. Ignoring this definition.\n");
    EXPECT_EQ(r.errors, 1);
    EXPECT_EQ(OPTIONS.maxInt, 10);

    resetInputState();
    r = parseUserText("#maxint = a.");
    EXPECT_EQ(r.stderrText, "program.dl: line 1: syntax error in #maxint statement.\n");
    EXPECT_EQ(r.errors, 1);
}

TEST_F(Grammar, MessagesOfActions) {
    struct CASE {
        const char* text;
        const char* stderrText;
        int errors;
    } cases[] = {
        {"p(a..3).", "program.dl: line 1: integer range boundaries must be numeric constants.\n", 1},
        {"p(-a).", "program.dl: line 1: Cannot use true negation for terms.\n", 1},
        {"a :- #int(X).", "program.dl: line 1: arithmetics is only supported if #maxint has been set.\n", 1},
        {"a :- #succ(X, Y).", "program.dl: line 1: arithmetics is only supported if #maxint has been set.\n", 1},
        {"a :- +(X, Y, Z).", "program.dl: line 1: arithmetics is only supported if #maxint has been set.\n", 1},
        {"a :- p(Y, Z), X = Y * Z.", "program.dl: line 1: arithmetics is only supported if #maxint has been set.\n", 1},
        {"a :- p(Y, Z), #maxint = Y + Z.",
         "program.dl: line 1: arithmetics is only supported if #maxint has been set.\n"
         "program.dl: line 1: #maxint used but no upper integer bound (option -N) given.\n",
         2},
        {"p(#maxint).", "program.dl: line 1: #maxint used but no upper integer bound (option -N) given.\n", 1},
        {":~ p. [1:1]\n:~ q. [2:]\n",
         "program.dl: line 2: Weak constraint has different weight-format than others.\n", 1},
        {":~ p.\n:~ q. [:2]\n", "program.dl: line 2: Weak constraint has different weight-format than others.\n", 1},
        {":~ p. [1.2345:1]", "program.dl: line 1: Number has more precision than supported. Truncated.\n", 0},
        {":~ p. [2147483.648:1]", "program.dl: line 1: Weight exceeds the largest supported value 2147483.647.\n", 1},
        {":~ p. [999999999:1]", "program.dl: line 1: Weight exceeds the largest supported value 2147483.647.\n", 1},
        {":~ p. [a:1]", "program.dl: line 1: A weight should be a number or a variable.\n", 1},
        {":~ p. [1:a]", "program.dl: line 1: A level should be a number or a variable.\n", 1},
        {":~ p. [1:0]", "program.dl: line 1: Level must be a positive integer..\n", 1},
        {":~ p(X). [W:1]", "program.dl: line 1: Weak constraint is not safe.\n", 1},
        {":~ p(X), not q(W). [W:1]", "program.dl: line 1: Weak constraint is not safe.\n", 1},
        {":~ p(X). [1:L]", "program.dl: line 1: Weak constraint is not safe.\n", 1},
        {"a :- #any{X : p(X)} > 1.", "program.dl: line 1: Unsupported aggregate predicate #any.\n", 1},
        {"a :- #avg{X : p(X)} > 1.", "program.dl: line 1: Unsupported aggregate predicate #avg.\n", 1},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, c.stderrText) << c.text;
        EXPECT_EQ(r.errors, c.errors) << c.text;
    }
}

TEST_F(Grammar, WeightsWithErrorsStoreNothing) {
    parseUserText(":~ p. [1:1]\n:~ q. [2:]\n:~ r. [9999999:1]\n:~ s. [1:0]\n:~ t. [3:2]");
    EXPECT_EQ(weakConstraintsText(), ":~ p. [1000:1]\n:~ t. [3000:2]\n");
}

TEST_F(Grammar, SecondQueryReplacesTheFirst) {
    EXPECT_EQ(parseUserText("a? b?").stdoutText, "Query b replaces a.\n");
    resetInputState();
    PARSERESULT r = parseUserText("a, not b?\nc(X), not d(X)?\n");
    EXPECT_EQ(r.stdoutText, "Query c(_0), not d(_0) replaces a, not b.\n");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(queryText(), "c(_0), not d(_0)?\n");
}

TEST_F(Grammar, QueryChecks) {
    PARSERESULT r = parseUserText("not q(X)?");
    EXPECT_EQ(r.stderrText, "program.dl: line 1: Query is not safe.\n");
    EXPECT_EQ(r.errors, 1);
    EXPECT_EQ(queryText(), "not q(_0)?\n");  // stored all the same

    resetInputState();
    std::string body;
    for (int i = 0; i < 61; ++i) body += (i ? ", p(X" : "p(X") + std::to_string(i) + ")";
    r = parseUserText(body + "?");
    EXPECT_EQ(r.stderrText, "program.dl: line 1: Query contains too many variables.\n");
    EXPECT_EQ(r.errors, 1);
}

TEST_F(Grammar, QueriesResetTheVariableNumbering) {
    parseUserText("p(X)?\nq(Y) :- r(Y).");
    EXPECT_EQ(rulesText(), "q(_0) :- r(_0).\n");
}

TEST_F(Grammar, StrictRulesGoToTheDefaultObject) {
    PARSERESULT r = parseUserText("o { a :- b! c :- d. }");
    EXPECT_EQ(r.errors, 0);
    EXPECT_TRUE(strictRulesUsed);
    EXPECT_EQ(rulesText(), "a :- b.\n");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1]->ownRules.size(), 1u);
    EXPECT_EQ(currentObject, 0);
}

TEST_F(Grammar, TrueNegatedPredicatesAreRecorded) {
    parseUserText("-q(a). -p(X) :- r(X). a :- not -p(b), -q(c).");
    ASSERT_EQ(trueNegatedPredicates.size(), 2u);
    EXPECT_EQ(predicateTable.name(trueNegatedPredicates[0]).str(), "-q");
    EXPECT_EQ(predicateTable.name(trueNegatedPredicates[1]).str(), "-p");
}

TEST_F(Grammar, ArityClashEndsTheRun) {
    // Each clash within one statement, so that no program container holds
    // atoms when the process ends.
    EXPECT_EXIT(parseUserText("p(a) :- p(a, b).", false), testing::ExitedWithCode(1),
                "^p, first used with arity 1, now seen with arity 2.\n$");
    EXPECT_EXIT(parseUserText("a :- -p(a), -p.", false), testing::ExitedWithCode(1),
                "^-p, first used with arity 1, now seen with arity 0.\n$");
}

TEST_F(Grammar, NamedConstantsReplaceTermsNotPredicates) {
    PARSERESULT r = parseUserText("#const c = 5. #const d = e. c(c, d). a :- p(X), X < c.");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(programText(), "c(5,e).\na :- p(_0), <(_0,5).\n");
}

}  // namespace
}  // namespace veltra
