// The built-in predicates: comparisons in their total order, and the
// enumeration of "#int", "#succ", "+" and "*" within 0 .. "#maxint".
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/options.h"
#include "grounding/grounder.h"

using namespace veltra;

namespace {

// An argument written as text: "X".."Z" variables 0..2, digits integers,
// anything else a symbolic constant.
TERM argument(const std::string& text) {
    if (text == "X" || text == "Y" || text == "Z") return variableTerm(text[0] - 'X');
    if (isdigit(static_cast<unsigned char>(text[0]))) return integerTerm(static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10)));
    return symbolTerm(text.c_str());
}

// Every solution of the built-in, each as the values of X, Y, Z that the
// call bound (joined by ","), in the order of the calls.
std::vector<std::string> solutions(int32_t predicate, const std::vector<std::string>& args) {
    std::vector<TERM> terms;
    for (const std::string& a : args) terms.push_back(argument(a));
    ATOM atom(predicate, terms);
    TERM bindings[MAXVARIABLES];
    LITERALMATCHER matcher;
    matcher.start(atom, bindings, nullptr, SOURCE_OLD, false);
    std::vector<std::string> found;
    for (int guard = 0; guard < 100 && matchLiteral(atom, matcher, bindings); ++guard) {
        std::string s;
        for (int v = 0; v < 3; ++v) {
            if (bindings[v].isNull()) continue;
            if (!s.empty()) s += ",";
            s += std::to_string(integerValue(bindings[v]));
        }
        found.push_back(s.empty() ? "true" : s);
        unbindLiteral(LITERAL(atom, false), matcher, bindings);
    }
    return found;
}

class BUILTINTEST : public ::testing::Test {
protected:
    void SetUp() override {
        savedMaxInt_ = OPTIONS.maxInt;
        OPTIONS.maxInt = 3;
    }
    void TearDown() override { OPTIONS.maxInt = savedMaxInt_; }

private:
    int32_t savedMaxInt_ = -1;
};

struct ARITHMETICCASE {
    int32_t predicate;
    std::vector<std::string> args;
    std::vector<std::string> expected;
};

TEST_F(BUILTINTEST, ArithmeticEnumeratesWithinMaxint) {
    const ARITHMETICCASE cases[] = {
        {BUILTIN_INT, {"X"}, {"0", "1", "2", "3"}},
        {BUILTIN_INT, {"7"}, {"true"}},  // bound: no range test
        {BUILTIN_SUCC, {"X", "Y"}, {"0,1", "1,2", "2,3"}},
        {BUILTIN_SUCC, {"X", "0"}, {}},
        {BUILTIN_SUCC, {"X", "X"}, {}},
        {BUILTIN_SUCC, {"2", "Y"}, {"3"}},
        {BUILTIN_SUCC, {"3", "Y"}, {}},
        {BUILTIN_PLUS, {"X", "Y", "3"}, {"0,3", "1,2", "2,1", "3,0"}},
        {BUILTIN_PLUS, {"X", "2", "Z"}, {"0,2", "1,3"}},
        {BUILTIN_PLUS,
         {"X", "Y", "Z"},
         {"0,0,0", "1,0,1", "2,0,2", "3,0,3", "0,1,1", "1,1,2", "2,1,3", "0,2,2", "1,2,3", "0,3,3"}},
        {BUILTIN_PLUS, {"X", "X", "Z"}, {"0,0", "1,2"}},
        {BUILTIN_PLUS, {"X", "Y", "X"}, {"0,0", "1,0", "2,0", "3,0"}},
        {BUILTIN_PLUS, {"2", "2", "4"}, {"true"}},  // exact, beyond #maxint
        {BUILTIN_PLUS, {"2", "2", "Z"}, {}},        // 4 is beyond #maxint
        {BUILTIN_TIMES, {"X", "Y", "2"}, {"1,2", "2,1"}},
        // A zero product: 0 times anything is 0.
        {BUILTIN_TIMES, {"X", "Y", "0"}, {"0,0", "0,1", "0,2", "0,3", "1,0", "2,0", "3,0"}},
        {BUILTIN_TIMES, {"X", "0", "0"}, {"0", "1", "2", "3"}},
        {BUILTIN_TIMES, {"0", "Y", "0"}, {"0", "1", "2", "3"}},
        {BUILTIN_TIMES, {"X", "X", "0"}, {"0"}},
        {BUILTIN_TIMES, {"X", "2", "0"}, {"0"}},
        {BUILTIN_TIMES, {"0", "0", "0"}, {"true"}},
        {BUILTIN_TIMES, {"X", "0", "1"}, {}},
        {BUILTIN_TIMES, {"X", "2", "3"}, {}},
        {BUILTIN_TIMES, {"2", "3", "6"}, {"true"}},
        {BUILTIN_TIMES, {"X", "Y", "Z"},
         {"0,0,0", "1,0,0", "2,0,0", "3,0,0", "0,1,0", "1,1,1", "2,1,2", "3,1,3", "0,2,0", "1,2,2", "0,3,0",
          "1,3,3"}},
        {BUILTIN_PLUS, {"builtin_sym", "1", "Z"}, {}},
    };
    for (const ARITHMETICCASE& c : cases) {
        std::string name = predicateTable.name(c.predicate).str() + "(";
        for (const std::string& a : c.args) name += a + " ";
        EXPECT_EQ(solutions(c.predicate, c.args), c.expected) << name << ")";
    }
}

TEST_F(BUILTINTEST, ComparisonsOrderConstantsByNameBeforeIntegers) {
    // Entered in the reverse of their byte-wise order.
    symbolTerm("builtin_zb");
    symbolTerm("builtin_za");
    const ARITHMETICCASE cases[] = {
        {BUILTIN_LT, {"builtin_za", "1"}, {"true"}},
        {BUILTIN_LT, {"builtin_zb", "builtin_za"}, {}},
        {BUILTIN_GT, {"builtin_zb", "builtin_za"}, {"true"}},
        {BUILTIN_EQ, {"1", "1"}, {"true"}},
        {BUILTIN_NE, {"builtin_za", "builtin_za"}, {}},
        {BUILTIN_LE, {"2", "2"}, {"true"}},
        {BUILTIN_GE, {"1", "2"}, {}},
        {BUILTIN_LT, {"12", "9"}, {}},  // by value, not by text
        {BUILTIN_LT, {"3", "X"}, {"true"}},  // unbound counts as greater
    };
    for (const ARITHMETICCASE& c : cases)
        EXPECT_EQ(solutions(c.predicate, c.args), c.expected)
            << predicateTable.name(c.predicate).str() << "(" << c.args[0] << "," << c.args[1] << ")";
}

TEST_F(BUILTINTEST, ComparisonHoldsOncePerMatcher) {
    ATOM atom(BUILTIN_EQ, std::vector<TERM>{integerTerm(1), integerTerm(1)});
    TERM bindings[MAXVARIABLES];
    LITERALMATCHER matcher;
    matcher.start(atom, bindings, nullptr, SOURCE_OLD, false);
    EXPECT_TRUE(matchLiteral(atom, matcher, bindings));
    EXPECT_FALSE(matchLiteral(atom, matcher, bindings));
}

TEST(BuiltinDeathTest, ArithmeticWithoutMaxint) {
    EXPECT_EXIT(
        {
            OPTIONS.maxInt = -1;
            solutions(BUILTIN_INT, {"X"});
        },
        testing::ExitedWithCode(99), "#maxint undefined");
}

}  // namespace
