// Objects of the inheritance language and named constants.
#include <string>

#include "core/rule.h"
#include "driver/options.h"
#include "input/objects.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

class Objects : public INPUTTEST {};

std::string overriddenText(size_t object) {
    std::string out;
    objects[object]->overridden.forEach([&](const ATOM& a) {
        std::ostringstream s;
        printAtom(s, a);
        out += s.str() + " ";
    });
    return out;
}

TEST_F(Objects, DefinitionsParentsAndFiling) {
    PARSERESULT r = parseUserText("a { p(1). q(X) :- p(X). }\nb : a { r. }\nc : a, b { }\n");
    EXPECT_EQ(r.errors, 0);
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(symbolTable.key(objects[1]->name).str(), "a");
    EXPECT_TRUE(objects[1]->parents.empty());
    EXPECT_EQ(objects[2]->parents, std::vector<int32_t>({1}));
    EXPECT_EQ(objects[3]->parents, std::vector<int32_t>({1, 2}));
    EXPECT_EQ(objects[1]->ownFacts.size(), 1u);
    EXPECT_EQ(objects[1]->ownRules.size(), 1u);
    EXPECT_EQ(objects[2]->ownFacts.size(), 1u);
    EXPECT_EQ(currentObject, 0);
    EXPECT_EQ(programText(), "");
}

TEST_F(Objects, UndefinedParent) {
    PARSERESULT r = parseUserText("b : a, x { }\na { }\n");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 1: Undefined object identifier.\n"
              "program.dl: line 1: Undefined object identifier.\n");
    EXPECT_EQ(r.errors, 2);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_TRUE(objects[1]->parents.empty());
}

TEST_F(Objects, SecondDefinitionOfANameIsASecondObject) {
    parseUserText("a { p. } a { q. } b : a { }");
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[3]->parents, std::vector<int32_t>({1}));
}

TEST_F(Objects, OverriddenAtomsInTheAncestors) {
    PARSERESULT r = parseUserText(
        "a { p(1). -q(2). r(X) :- s(X). }\n"
        "b : a { -p(1). q(2) :- t. }\n"
        "c : b { p(1). -r(3). }\n");
    EXPECT_EQ(r.errors, 0);
    // b overrides p(1) and -q(2) of a; c overrides -p(1) of b; -r(3) meets
    // only the head r(X), which is not equal to r(3).
    EXPECT_EQ(overriddenText(1), "p(1) -q(2) ");
    EXPECT_EQ(overriddenText(2), "-p(1) ");
    EXPECT_EQ(overriddenText(3), "");
}

TEST_F(Objects, RecordedAtomStopsThePropagationOfItsList) {
    parseUserText("a { p. } b { p. } c : a, b { }");
    // A recorded p in a ends the list a, b: b is not visited.
    objects[1]->overridden.add(ATOM("p", nullptr, KIND_UNKNOWN));
    ATOM p("p", nullptr, KIND_UNKNOWN);
    propagateToParentObjects(p, objects[3]->parents);
    EXPECT_EQ(overriddenText(2), "");
    objects[1]->overridden = ATOMSET();
    propagateToParentObjects(p, objects[3]->parents);
    EXPECT_EQ(overriddenText(1), "p ");
    EXPECT_EQ(overriddenText(2), "p ");
}

TEST_F(Objects, LongChainOfAncestors) {
    std::string text = "o0 { p. }\n";
    for (int i = 1; i < 3000; ++i) text += "o" + std::to_string(i) + " : o" + std::to_string(i - 1) + " { }\n";
    text += "last : o2999 { -p. }\n";
    PARSERESULT r = parseUserText(text);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(overriddenText(1), "p ");
}

TEST_F(Objects, NamedConstants) {
    PARSERESULT r = parseUserText("#const n = 5. #const c = x. p(n, c). q(c).");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(factsText(), "p(5,x).\nq(x).\n");
    EXPECT_EQ(OPTIONS.maxIntegerInInput, 5);
}

TEST_F(Objects, NamedConstantMessages) {
    const struct {
        const char* text;
        const char* stderrText;
        int errors;
        const char* facts;
    } cases[] = {
        {"p(n). #const n = 5. q(n).", "program.dl: line 1: constant term 'n' already used.\n", 1, "p(n).\nq(5).\n"},
        {"#const n = 5. #const n = 6. q(n).", "program.dl: line 1: cannot redefine named constant 'n'.\n", 1, "q(5).\n"},
        {"#const N = 5. q(N).", "program.dl: line 1: a constant name cannot start with a capital letter.\n", 1, "q(5).\n"},
        {"#const \"n\" = 5.", "program.dl: line 1: a constant name cannot be a quoted string.\n", 1, ""},
        {"#const n = X. q(n).", "program.dl: line 1: a variable cannot be assigned to a named constant.\n", 1, "q(X).\n"},
        {"#const m = 1. #const n = m. q(n).", "", 0, "q(m).\n"},
        {"o { } #const o = 1.", "program.dl: line 1: constant term 'o' already used.\n", 1, ""},
        {"p(\"N\"). #const \"N\" = 1.",
         "program.dl: line 1: a constant name cannot be a quoted string.\n"
         "program.dl: line 1: constant term '\"N\"' already used.\n",
         2, "p(\"N\").\n"},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, c.stderrText) << c.text;
        EXPECT_EQ(r.errors, c.errors) << c.text;
        EXPECT_EQ(factsText(), c.facts) << c.text;
    }
}

TEST_F(Objects, NamedConstantRangeTest) {
    OPTIONS.maxInt = 3;
    PARSERESULT r = parseUserText("#const n = 5.");
    EXPECT_EQ(r.stderrText, "program.dl: line 1: number outside of given integer range.\n");
    EXPECT_EQ(r.errors, 1);
}

}  // namespace
}  // namespace veltra
