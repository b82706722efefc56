// Construction of rules, constraints and weak constraints: predicate kinds,
// facts apart from rules, equality elimination, the variable limit and the
// groundness flags.
#include <string>

#include "core/rule.h"
#include "driver/options.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

class Rules : public INPUTTEST {};

int32_t kindOf(const char* name) { return predicateTable.kinds[predicateTable.find(NAME(name))]; }

// n distinct variables X0 .. X(n-1), as a body "p(X0), p(X1), ...".
std::string bodyWithVariables(int n) {
    std::string body;
    for (int i = 0; i < n; ++i) body += (i ? ", p(X" : "p(X") + std::to_string(i) + ")";
    return body;
}

TEST_F(Rules, PredicateKindsAndFactsBeforeTheFirstRule) {
    PARSERESULT r = parseUserText("p(b). p(a). q(c). p(X) :- r(X). p(z). s.");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(kindOf("p"), KIND_IDB);
    EXPECT_EQ(kindOf("q"), KIND_EDB);
    EXPECT_EQ(kindOf("r"), KIND_UNKNOWN);
    EXPECT_EQ(kindOf("s"), KIND_EDB);
    // The earlier facts of p became bodiless rules in the order of their set
    // ("b" entered the symbol table first), the later one went there directly.
    EXPECT_EQ(rulesText(), "p(b).\np(a).\np(_0) :- r(_0).\np(z).\n");
    EXPECT_EQ(factsText(), "q(c).\ns.\n");
}

TEST_F(Rules, DisjunctiveFactMakesBothPredicatesIdb) {
    parseUserText("a(1). a(2) v b.");
    EXPECT_EQ(kindOf("a"), KIND_IDB);
    EXPECT_EQ(kindOf("b"), KIND_IDB);
    EXPECT_EQ(factsText(), "");
    EXPECT_EQ(rulesText(), "a(1).\na(2) v b.\n");
}

TEST_F(Rules, VariableLimit) {
    struct CASE {
        std::string text;
        const char* message;  // "" when stored
    } cases[] = {
        {"a :- " + bodyWithVariables(60) + ".", ""},
        {"a :- " + bodyWithVariables(61) + ".", "Rule contains too many variables"},
        {"a :- " + bodyWithVariables(200) + ".", "Rule contains too many variables"},
        {":- " + bodyWithVariables(60) + ".", ""},
        {":- " + bodyWithVariables(61) + ".", "Constraint contains too many variables"},
        {":~ " + bodyWithVariables(61) + ".", "Weak constraint contains too many variables"},
        {":~ " + bodyWithVariables(60) + ".", ""},
        // Safety is tested first.
        {"a :- " + bodyWithVariables(70) + ", not q(Y).", "Rule is not safe"},
    };
    for (const CASE& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        std::string expected = *c.message ? std::string("program.dl: line 1: ") + c.message + ".\n" : "";
        EXPECT_EQ(r.stderrText, expected) << c.text.substr(0, 30);
        EXPECT_EQ(r.errors, *c.message ? 1 : 0);
        size_t stored = rules.size() + constraints.size() + weakConstraints.size();
        EXPECT_EQ(stored, *c.message ? 0u : 1u);
        EXPECT_EQ(nextVariable, 0u);
        EXPECT_TRUE(variableNames.empty());
    }
}

TEST_F(Rules, UnsafeStatementsAreDropped) {
    struct CASE {
        const char* text;
        const char* message;
    } cases[] = {
        {"p(X).", "Rule is not safe"},
        {"p(X) :- not q(X).", "Rule is not safe"},
        {"p(X) :- q(Y).", "Rule is not safe"},
        {"a :- X < Y.", "Rule is not safe"},
        {"a :- q(X), X < Y.", "Rule is not safe"},
        {":- not q(X).", "Constraint is not safe"},
        {":- q(X), X != Y.", "Constraint is not safe"},
        {":~ not q(X).", "Weak constraint is not safe"},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, std::string("program.dl: line 1: ") + c.message + ".\n") << c.text;
        EXPECT_EQ(r.errors, 1) << c.text;
        EXPECT_EQ(programText(), "") << c.text;
    }
}

TEST_F(Rules, EqualityEliminationReachesEveryLiteral) {
    const struct {
        const char* text;
        const char* program;
    } cases[] = {
        {"p(X) :- q(X), X == a.", "p(a) :- q(a), ==(a,a).\n"},
        {"p(X) :- q(X), a == X.", "p(a) :- q(a), ==(a,a).\n"},
        // Negative literals too: X stays bound.
        {"s(a). p(X) :- s(X), X == a, not r(X).", "s(a).\np(a) :- s(a), ==(a,a), not r(a).\n"},
        {":- s(X), X == 3, not r(X).", ":- s(3), ==(3,3), not r(3).\n"},
        // A later equality sees the earlier substitutions; two variables stay.
        {"p(X, Y) :- q(X, Y), X == Y, Y == 2.", "p(_0,2) :- q(_0,2), ==(_0,2), ==(2,2).\n"},
        {"p(X) :- q(X), a == b.", "p(_0) :- q(_0), ==(a,b).\n"},
        // The variable guard of an aggregate, and its shared variables.
        {"a :- q(N), N == 2, #count{X : p(X)} > N.", "a :- q(2), ==(2,2), 3 <= #count{_1 : p(_1)} <= 2147483647.\n"},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, "") << c.text;
        EXPECT_EQ(programText(), c.program) << c.text;
    }
}

TEST_F(Rules, EqualityInAWeakConstraintReachesWeightAndLevel) {
    PARSERESULT r = parseUserText(":~ p(X, Y), X == 3, Y == 2. [X:Y]");
    EXPECT_EQ(r.errors, 0);
    // The weight is stored in units of 1/1000.
    EXPECT_EQ(weakConstraintsText(), ":~ p(3,2), ==(3,3), ==(2,2). [3000:2]\n");

    struct CASE {
        const char* text;
        const char* message;
    } cases[] = {
        {":~ p(X), X == 0. [1:X]", "Level must be a positive integer."},
        {":~ p(X), X == a. [X:1]", "A weight should be a number or a variable"},
        {":~ p(X), X == a. [1:X]", "A level should be a number or a variable"},
        {":~ p(X), X == 2147484. [X:1]", "Weight exceeds the largest supported value 2147483.647"},
    };
    for (const CASE& c : cases) {
        resetInputState();
        r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, std::string("program.dl: line 1: ") + c.message + ".\n") << c.text;
        EXPECT_EQ(r.errors, 1);
        EXPECT_TRUE(weakConstraints.empty());
    }
    resetInputState();
    r = parseUserText(":~ p(X), X == 2147483. [X:1]");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(weakConstraintsText(), ":~ p(2147483), ==(2147483,2147483). [2147483000:1]\n");
}

TEST_F(Rules, NegativeIntegerWeightIsRejected) {
    // Written weights are never negative; the builder checks all the same.
    CONJUNCTION body;
    body.addLiteral(LITERAL(ATOM("p", nullptr, KIND_UNKNOWN), false));
    std::pair<TERM, TERM> weightAndLevel{integerTerm(-5000), integerTerm(1)};
    testing::internal::CaptureStderr();
    makeWeakConstraint(body, &weightAndLevel);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Internal parser invocation: Weight must be a non-negative integer..\n");
    EXPECT_EQ(parseErrorCount, 1);
    EXPECT_TRUE(weakConstraints.empty());
}

TEST_F(Rules, GeneratedStatementBeyondTheVariableLimit) {
    // Such as the consistency constraint of a predicate with 70 arguments.
    std::string args;
    for (int i = 0; i < 70; ++i) args += (i ? ",X" : "X") + std::to_string(i);
    bool ok = true;
    PARSERESULT r = parseGeneratedText(":- -p(" + args + "), p(" + args + ").", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(r.stderrText, "Internal parser invocation: Constraint contains too many variables.\n");
    EXPECT_TRUE(constraints.empty());
}

TEST_F(Rules, GroundnessFlags) {
    parseUserText("p(a). p(b) :- q. :- r. :~ s. [1:1]");
    EXPECT_TRUE(OPTIONS.rulesGround);
    EXPECT_TRUE(OPTIONS.constraintsGround);
    EXPECT_TRUE(OPTIONS.weakConstraintsGround);
    parseUserText("t(X) :- not u(X). :- not u(X).");  // unsafe: no change
    EXPECT_TRUE(OPTIONS.rulesGround);
    EXPECT_TRUE(OPTIONS.constraintsGround);
    parseUserText(":~ v(X). [a:1]");  // rejected after the flag is cleared
    EXPECT_FALSE(OPTIONS.weakConstraintsGround);
    EXPECT_TRUE(OPTIONS.rulesGround);
    parseUserText("w(X) :- v(X).");
    EXPECT_FALSE(OPTIONS.rulesGround);
    EXPECT_TRUE(OPTIONS.constraintsGround);
    parseUserText(":- v(X), not w(X).");
    EXPECT_FALSE(OPTIONS.constraintsGround);
}

TEST_F(Rules, RuleInsideAnObjectAndConstraintsOutside) {
    PARSERESULT r = parseUserText("o { p(a). q(X) :- p(X). :- p(b). :~ p(c). }");
    EXPECT_EQ(r.errors, 0);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1]->ownRules.size(), 1u);
    EXPECT_EQ(objects[1]->ownFacts.size(), 1u);
    EXPECT_EQ(programText(), ":- p(b).\n:~ p(c). [1000:1]\n");
}

TEST_F(Rules, FactOfAnIdbPredicateInsideAnObjectGoesToTheGlobalRules) {
    parseUserText("p(X) :- q(X). o { p(a). }");
    EXPECT_EQ(rulesText(), "p(_0) :- q(_0).\np(a).\n");
    EXPECT_EQ(objects[1]->ownFacts.size(), 0u);
}

}  // namespace
}  // namespace veltra
