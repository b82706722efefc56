// tests/unit/checker/modelchecker_test.cpp: the support fixpoint, the rule
// reduction, the unfounded-set program, the partial checks and the four
// model check methods, against the definition of an unfounded set.
#include "checker/modelchecker.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/rewrite.h"
#include "checker/sat/satsolver.h"
#include "core/rule.h"
#include "driver/options.h"
#include "grounding/grounder.h"
#include "input/parse.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"
#include "tests/unit/support/search.h"

namespace veltra {
namespace {

// ---- Hand-written rules over the atoms a..z (atom index = letter - 'a') ----

constexpr int32_t letters = 8;  // atoms a..h

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> words(const std::string& text) {
    std::stringstream s(text);
    std::vector<std::string> out;
    for (std::string w; s >> w;) out.push_back(w);
    return out;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + separator.size())
        parts.push_back(trim(text.substr(from, at - from)));
    parts.push_back(trim(text.substr(from)));
    return parts;
}

// "a v b :- c, not d" (a missing head or body is allowed), atoms named by atomOf.
GROUNDRULE parseRule(const std::string& text, const std::function<ATOMID(const std::string&)>& atomOf) {
    std::vector<ATOMID> head;
    GROUNDCONJUNCTION body;
    const size_t arrow = text.find(":-");
    for (const std::string& h : split(text.substr(0, arrow), " v "))
        if (!h.empty()) head.push_back(atomOf(h));
    if (arrow != std::string::npos) {
        for (const std::string& l : split(text.substr(arrow + 2), ",")) {
            const bool negated = l.rfind("not ", 0) == 0;
            body.addLiteral(GROUNDLITERAL{atomOf(trim(negated ? l.substr(4) : l)), uint8_t(negated)});
        }
    }
    return GROUNDRULE(&head, arrow == std::string::npos ? nullptr : &body);
}

GROUNDRULE handRule(const std::string& text) {
    return parseRule(text, [](const std::string& name) { return ATOMID(name[0] - 'a'); });
}

std::vector<GROUNDRULE> handRules(const std::vector<std::string>& texts) {
    std::vector<GROUNDRULE> rules;
    for (const std::string& t : texts) rules.push_back(handRule(t));
    return rules;
}

// Atoms in trueAtoms get 4, in mustBeTrue 2, in undefined 0, all others 1.
INTERPRETATION handInterpretation(const std::string& trueAtoms, const std::string& mustBeTrue = "",
                                  const std::string& undefined = "", int32_t atoms = letters) {
    INTERPRETATION interpretation;
    interpretation.values.assign(size_t(atoms), TV_FALSE);
    for (char c : trueAtoms) interpretation.values[c - 'a'] = TV_TRUE;
    for (char c : mustBeTrue) interpretation.values[c - 'a'] = TV_MUSTBETRUE;
    for (char c : undefined) interpretation.values[c - 'a'] = TV_UNDEFINED;
    return interpretation;
}

ATOMFLAGS handSet(const std::string& members, int32_t atoms = letters) {
    ATOMFLAGS set(size_t(atoms), 0);
    for (char c : members) set[c - 'a'] = 1;
    return set;
}

std::string setText(const ATOMFLAGS& set) {
    std::string s;
    for (size_t i = 0; i < set.size(); ++i)
        if (set[i]) s += char('a' + i);
    return s;
}

std::string handRuleText(const GROUNDRULE& rule) {
    std::string s;
    for (ATOMID h : *rule.head) s += (s.empty() ? "" : " v ") + std::string(1, char('a' + h));
    if (rule.body) {
        s += " :-";
        for (const GROUNDLITERAL& l : rule.body->literals)
            s += std::string(&l == &rule.body->literals[0] ? " " : ", ") + (l.negated ? "not " : "") +
                 char('a' + l.atom);
    }
    return s;
}

std::string handConstraintText(const GROUNDCONSTRAINT& c) {
    std::string s = ":-";
    for (const GROUNDLITERAL& l : c.body.literals)
        s += std::string(&l == &c.body.literals[0] ? " " : ", ") + char('a' + l.atom);
    return s;
}

// ---- Support fixpoint ----

struct FIXPOINTCASE {
    std::vector<std::string> rules;
    std::string trueAtoms, undefined, set;
    std::string left;  // the set at the fixpoint
    int32_t passes;    // passes that removed something
};

TEST(SupportFixpoint, RemovesExactlyTheSupportedAtoms) {
    const FIXPOINTCASE cases[] = {
        {{"a"}, "a", "", "a", "", 1},                     // a fact supports its head
        {{"a v b"}, "ab", "", "ab", "ab", 0},             // two true heads support neither
        {{"a v b"}, "a", "", "a", "", 1},                 // the other head is false
        {{"a :- b", "b :- a"}, "ab", "", "ab", "ab", 0},  // a positive loop stays
        {{"a :- b", "b :- a", "b :- not c"}, "ab", "", "ab", "", 2},
        {{"b :- not c", "a :- b"}, "ab", "", "ab", "", 1},     // supporter first: one pass
        {{"a :- b", "b :- not c"}, "ab", "", "ab", "", 2},     // supporter later: another pass
        {{"a :- b", "b :- not c"}, "abc", "", "ab", "ab", 0},  // negated true atom blocks
        {{"a :- b, not c"}, "a", "bc", "a", "", 1},            // undefined never blocks
        {{"a :- b"}, "a", "", "a", "a", 0},                    // false positive body atom
        {{"a v b :- c", "c :- a", "c :- b"}, "ac", "", "ac", "ac", 0},
        {{"a v b :- c", "c :- d", "d"}, "acd", "", "acd", "", 3},
        {{"a v a"}, "a", "", "a", "a", 0},  // a repeated true head: another position is true
    };
    for (const FIXPOINTCASE& c : cases) {
        SCOPED_TRACE(c.rules[0] + " ... true " + c.trueAtoms);
        const std::vector<GROUNDRULE> rules = handRules(c.rules);
        const INTERPRETATION interpretation = handInterpretation(c.trueAtoms, "", c.undefined);
        ATOMFLAGS set = handSet(c.set);
        uint32_t count = uint32_t(c.set.size());
        int32_t passes = 0;
        while (removeSupportedAtoms(rules, interpretation, &set, count)) ++passes;
        EXPECT_EQ(setText(set), c.left);
        EXPECT_EQ(count, c.left.size());
        EXPECT_EQ(passes, c.passes);

        // The pass over rule pointers agrees.
        std::vector<const GROUNDRULE*> pointers;
        for (const GROUNDRULE& r : rules) pointers.push_back(&r);
        ATOMFLAGS set2 = handSet(c.set);
        uint32_t count2 = uint32_t(c.set.size());
        while (removeSupportedComponentAtoms(rulePointers(pointers), interpretation, &set2, count2)) {
        }
        EXPECT_EQ(set2, set);
        EXPECT_EQ(count2, count);
    }
}

// The linear fixpoint leaves what repeating the pass leaves, on random rule
// lists over partial and total interpretations.
TEST(SupportFixpoint, LinearFixpointEqualsRepeatedPasses) {
    std::mt19937 random(7);
    int32_t nonTrivial = 0;
    for (int32_t round = 0; round < 3000; ++round) {
        std::vector<GROUNDRULE> rules;
        const int32_t ruleCount = 1 + int32_t(random() % 10);
        for (int32_t r = 0; r < ruleCount; ++r) {
            std::vector<ATOMID> head;
            for (int32_t h = int32_t(random() % 3); h >= 0; --h) head.push_back(ATOMID(random() % letters));
            GROUNDCONJUNCTION body;
            for (int32_t b = int32_t(random() % 4); b > 0; --b)
                body.addLiteral({ATOMID(random() % letters), uint8_t(random() % 4 == 0)});
            rules.emplace_back(&head, random() % 5 == 0 ? nullptr : &body);
        }
        INTERPRETATION interpretation;
        ATOMFLAGS start(letters, 0);
        uint32_t startCount = 0;
        for (int32_t a = 0; a < letters; ++a) {
            const int32_t kind = int32_t(random() % 5);
            interpretation.values.push_back(kind == 0   ? TV_UNDEFINED
                                            : kind == 1 ? TV_FALSE
                                            : kind == 2 ? TV_MUSTBETRUE
                                                        : TV_TRUE);
            if (checkerTrue(interpretation.values.back()) && random() % 4 != 0) {
                start[a] = 1;
                ++startCount;
            }
        }
        ATOMFLAGS passes = start;
        uint32_t passesCount = startCount;
        while (removeSupportedAtoms(rules, interpretation, &passes, passesCount)) {
        }
        ATOMFLAGS linear = start;
        uint32_t linearCount = startCount;
        supportFixpoint(rules, interpretation, &linear, linearCount);
        ASSERT_EQ(setText(linear), setText(passes)) << "round " << round;
        ASSERT_EQ(linearCount, passesCount);
        std::vector<const GROUNDRULE*> pointers;
        for (const GROUNDRULE& r : rules) pointers.push_back(&r);
        ATOMFLAGS component = start;
        uint32_t componentCount = startCount;
        componentSupportFixpoint(rulePointers(pointers), interpretation, &component, componentCount);
        ASSERT_EQ(component, passes);
        ASSERT_EQ(componentCount, passesCount);
        nonTrivial += passesCount > 0 && passesCount < startCount;
    }
    EXPECT_GT(nonTrivial, 100);
}

// A support chain against the rule order: one pass per atom for the pass,
// the same result from the linear fixpoint.
TEST(SupportFixpoint, LongChainAgainstTheRuleOrder) {
    constexpr int32_t n = 2000;
    std::vector<GROUNDRULE> rules;
    for (int32_t i = 0; i + 1 < n; ++i) {
        std::vector<ATOMID> head{i};
        GROUNDCONJUNCTION body;
        body.addLiteral({i + 1, 0});
        rules.emplace_back(&head, &body);
    }
    std::vector<ATOMID> last{n - 1};
    rules.emplace_back(&last, nullptr);
    INTERPRETATION interpretation;
    interpretation.values.assign(n, TV_TRUE);
    ATOMFLAGS set(n, 1);
    uint32_t count = n;
    supportFixpoint(rules, interpretation, &set, count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(std::count(set.begin(), set.end(), 1), 0);
    set.assign(n, 1);
    count = n;
    int32_t passCount = 0;
    while (removeSupportedAtoms(rules, interpretation, &set, count)) ++passCount;
    EXPECT_EQ(passCount, n);
    EXPECT_EQ(count, 0u);
}

// ---- Rule reduction ----

struct REDUCECASE {
    std::string rule, trueAtoms, set;
    std::string exchanged;  // "" when dropped; a rule or ":- ..." constraint
    std::string plain;
};

TEST(ReduceRule, DropsOrKeepsByTheRulesOfTheReduction) {
    const REDUCECASE cases[] = {
        {"a :- b, c", "abc", "abc", "b v c :- a", "a :- b, c"},
        {"a :- b, c", "abc", "ab", "b :- a", "a :- b"},  // c outside the set is dropped
        {"a :- a", "a", "a", "", ""},                    // positive body repeats a head atom
        {"a :- not b", "ab", "a", "", ""},               // negated true atom
        {"a :- b", "a", "a", "", ""},                    // false positive body atom
        {"a v b", "ab", "a", "", ""},                    // true head atom outside the set
        {"a v b", "", "", "", ""},                       // no true head atom
        {"a v b :- c", "ac", "ac", "c :- a", "a :- c"},  // false head atoms are not carried
        {"a v b", "ab", "ab", ":- a, b", "a v b :-"},    // no body atom in the set: a constraint
        {"a :- not c", "a", "a", ":- a", "a :-"},        // only true head atom in the set
        {"a v b :- c, not d", "abc", "abc", "c :- a, b", "a v b :- c"},
    };
    for (const REDUCECASE& c : cases) {
        SCOPED_TRACE(c.rule + " true " + c.trueAtoms + " set " + c.set);
        const GROUNDRULE rule = handRule(c.rule);
        const INTERPRETATION interpretation = handInterpretation(c.trueAtoms);
        const ATOMFLAGS set = handSet(c.set);
        for (bool exchange : {true, false}) {
            std::vector<GROUNDRULE> rulesOut;
            std::vector<GROUNDCONSTRAINT> constraintsOut;
            REDUCEDRULE accumulator;
            accumulator.rulesOut = &rulesOut;
            accumulator.constraintsOut = &constraintsOut;
            const bool kept = reduceRule(rule, interpretation, &set, accumulator, exchange);
            const std::string& expected = exchange ? c.exchanged : c.plain;
            EXPECT_EQ(kept, !expected.empty());
            EXPECT_EQ(rulesOut.size() + constraintsOut.size(), kept ? 1u : 0u);
            std::string got = !rulesOut.empty()         ? handRuleText(rulesOut[0])
                              : !constraintsOut.empty() ? handConstraintText(constraintsOut[0])
                                                        : "";
            EXPECT_EQ(got, expected) << (exchange ? "exchanged" : "plain");
            if (!rulesOut.empty()) {
                EXPECT_TRUE(rulesOut[0].body != nullptr);  // always present, maybe empty
                EXPECT_EQ(rulesOut[0].notHeadCycle, 1);
                EXPECT_EQ(rulesOut[0].counters[0], 0u);
            }
        }
    }
}

// ---- Unfounded-set program ----

TEST(UnfoundedSetProgram, HeadClauseHoldsAtomsToCheckAndMustBeTrueAtoms) {
    const std::vector<GROUNDRULE> rules = handRules({"a v b :- c", "c :- a", "c :- b", "d :- not c"});
    const INTERPRETATION interpretation = handInterpretation("ac", "e");
    const ATOMFLAGS set = handSet("ace");
    const ATOMFLAGS toCheck = handSet("af");  // f is not in the set
    std::vector<GROUNDRULE> rulesOut;
    std::vector<GROUNDCONSTRAINT> constraintsOut;
    EXPECT_EQ(buildReducedProgram(rules, interpretation, &toCheck, &set, rulesOut, constraintsOut), 2);
    ASSERT_EQ(rulesOut.size(), 3u);
    EXPECT_EQ(handRuleText(rulesOut[0]), "a v e");
    EXPECT_TRUE(rulesOut[0].body == nullptr);
    EXPECT_EQ(handRuleText(rulesOut[1]), "c :- a");
    EXPECT_EQ(handRuleText(rulesOut[2]), "a :- c");
    EXPECT_TRUE(constraintsOut.empty());
    // Read as clauses, {a, c} and {e} are models: both are unfounded sets.
    ATOMFLAGS model;
    EXPECT_TRUE(satSolve(rulesOut, constraintsOut, &set, &model));
    const std::string found = setText(model);
    EXPECT_TRUE(found == "ac" || found == "e" || found == "ace") << found;

    // The component form over rule pointers builds the same program.
    std::vector<const GROUNDRULE*> pointers;
    for (const GROUNDRULE& r : rules) pointers.push_back(&r);
    std::vector<GROUNDRULE> rulesOut2;
    std::vector<GROUNDCONSTRAINT> constraintsOut2;
    EXPECT_EQ(buildReducedComponentProgram(rulePointers(pointers), interpretation, &toCheck, &set, rulesOut2,
                                           constraintsOut2),
              2);
    ASSERT_EQ(rulesOut2.size(), rulesOut.size());
    for (size_t i = 0; i < rulesOut.size(); ++i) EXPECT_EQ(handRuleText(rulesOut2[i]), handRuleText(rulesOut[i]));
}

TEST(UnfoundedSetProgram, NoRuleKeptLeavesTheHeadClauseAlone) {
    const std::vector<GROUNDRULE> rules = handRules({"a :- b", "b v c"});
    const INTERPRETATION interpretation = handInterpretation("ac");
    const ATOMFLAGS set = handSet("a");
    std::vector<GROUNDRULE> rulesOut;
    std::vector<GROUNDCONSTRAINT> constraintsOut;
    EXPECT_EQ(buildReducedProgram(rules, interpretation, nullptr, &set, rulesOut, constraintsOut), 0);
    ASSERT_EQ(rulesOut.size(), 1u);
    EXPECT_TRUE(rulesOut[0].head->empty());  // nothing to check, nothing must-be-true
    EXPECT_TRUE(constraintsOut.empty());
}

// ---- Partial checks ----

struct PARTIALCASE {
    std::vector<std::string> rules;
    std::string trueAtoms, undefined, set;
    bool unfounded;
    size_t cached;  // rules in the cache after partialCheck
};

TEST(PartialCheck, TestsSupportFromOutsideAndCachesTheRulesThatMeetTheSet) {
    const PARTIALCASE cases[] = {
        {{"a"}, "a", "", "a", false, 0},                  // a fact supports
        {{"a v b"}, "ab", "", "a", true, 1},              // true head outside: cached, no support
        {{"c :- d", "a :- b"}, "ab", "", "ab", true, 1},  // b in the set blocks
        {{"a :- b"}, "a", "b", "a", false, 0},            // undefined body atom supports
        {{"a :- not b"}, "a", "b", "a", false, 0},        // undefined negated atom supports
        {{"a :- not b"}, "ab", "", "a", true, 1},
        {{"a :- b", "b :- a", "c :- not d"}, "abc", "", "ab", true, 2},
        {{"a :- b", "a :- c", "b :- a"}, "abc", "", "ab", false, 1},  // stops at the supporting rule
    };
    for (const PARTIALCASE& c : cases) {
        SCOPED_TRACE(c.rules[0] + " ... set " + c.set);
        const std::vector<GROUNDRULE> rules = handRules(c.rules);
        const INTERPRETATION interpretation = handInterpretation(c.trueAtoms, "", c.undefined);
        const ATOMFLAGS set = handSet(c.set);
        std::vector<const GROUNDRULE*> cache;
        EXPECT_EQ(partialCheck(&set, interpretation, rules, &cache), c.unfounded);
        EXPECT_EQ(cache.size(), c.cached);
        EXPECT_EQ(partialCheck(&set, interpretation, rules, nullptr), c.unfounded);
    }
}

TEST(PartialCheck, QuickCheckOverTheCacheAgreesOnEveryLaterInterpretation) {
    const std::vector<GROUNDRULE> rules =
        handRules({"a :- b", "b :- a", "a v c :- d", "b :- not e", "f :- a, not g", "c :- h"});
    const ATOMFLAGS set = handSet("ab");
    std::vector<const GROUNDRULE*> cache;
    ASSERT_TRUE(partialCheck(&set, handInterpretation("abe", "", "cfgh"), rules, &cache));
    ASSERT_EQ(cache.size(), 4u);
    // Every interpretation over a..h with a and b true, values from {0, 1, 4}.
    int32_t agreements = 0;
    for (int32_t code = 0; code < 729; ++code) {
        INTERPRETATION later = handInterpretation("ab");
        int32_t rest = code;
        for (char c : std::string("cdefgh")) {
            const int32_t v = rest % 3;
            rest /= 3;
            later.values[c - 'a'] = v == 0 ? TV_UNDEFINED : v == 1 ? TV_FALSE : TV_TRUE;
        }
        const bool full = partialCheck(&set, later, rules, nullptr);
        EXPECT_EQ(quickPartialCheck(&set, later, cache), full) << "code " << code;
        agreements += full;
    }
    EXPECT_GT(agreements, 0);
    EXPECT_LT(agreements, 729);
}

// ---- checkModel over ground programs, each case in a fresh process ----

// The ground program "r1. r2. ..." as written (no grounding simplifies it)
// in groundRules, over atoms interned by grounding one disjunctive fact that
// names them all.
void groundProgramAsWritten(const std::string& program) {
    std::vector<std::string> ruleTexts = split(program, ".");
    ruleTexts.pop_back();  // after the last "."
    std::vector<std::string> names;
    for (const std::string& r : ruleTexts) {
        std::string flat = r;
        for (const char* token : {":-", ","}) {
            for (size_t at; (at = flat.find(token)) != std::string::npos;) flat.replace(at, strlen(token), " ");
        }
        for (const std::string& w : words(flat))
            if (w != "v" && w != "not" && std::find(names.begin(), names.end(), w) == names.end()) names.push_back(w);
    }
    std::string seed;
    for (const std::string& n : names) seed += (seed.empty() ? "" : " v ") + n;
    groundProgram(seed + ".");
    groundRules.clear();
    for (const std::string& r : ruleTexts) groundRules.push_back(parseRule(r, atomIndex));
}

// Listed atoms true (4), others false; toCheck marks the true ones.
INTERPRETATION groundInterpretation(const std::string& trueAtoms, ATOMFLAGS& toCheck) {
    INTERPRETATION interpretation;
    interpretation.values.assign(atomsByIndex.size(), TV_FALSE);
    toCheck.assign(atomsByIndex.size(), 0);
    for (const std::string& w : words(trueAtoms)) {
        interpretation.values[atomIndex(w)] = TV_TRUE;
        toCheck[atomIndex(w)] = 1;
    }
    return interpretation;
}

std::string groundSetText(const ATOMFLAGS& set) {
    std::string s;
    for (size_t i = 0; i < set.size(); ++i)
        if (set[i]) {
            std::ostringstream a;
            printAtom(a, groundAtom(int32_t(i)));
            s += (s.empty() ? "" : " ") + a.str();
        }
    return s;
}

constexpr int32_t methods[] = {0, 1, 5, 9};

struct STABILITYCASE {
    const char* program;
    const char* trueAtoms;
    bool stable;
    const char* unfoundedBySat;  // the set any reporting method must give; "" when several are possible
};

TEST(CheckModel, EveryMethodGivesTheVerdictOfTheDefinition) {
    const STABILITYCASE cases[] = {
        {"a v b. a :- b. b :- a.", "a b", true, ""},
        // {a} is no model (b :- a fails), which the generator rules out before a
        // check; the checker only looks for unfounded sets and finds none.
        {"a v b. a :- b. b :- a.", "a", true, ""},
        {"a v b :- c. c :- a. c :- b. d :- not c.", "d", true, ""},
        {"a v b :- c. c :- a. c :- b. d :- not c.", "a c", false, "a c"},
        {"a v b :- c. c :- a. c :- b. d :- not c.", "b c", false, "b c"},
        {"a :- b. b :- a. c v d.", "a b c", false, "a b"},  // head-cycle-free: only method 9 reports
        {"a :- b. b :- a. c v d.", "c", true, ""},
        {"a v b. b v c. c v a. a :- b, c. b :- a, c. c :- a, b.", "a b c", true, ""},
        {"a v b. b v c. c v a. a :- b. b :- c. c :- a.", "a b c", true, ""},
        {"p v q :- r. r :- p. r :- q. r :- not s. s :- not r.", "p r", true, ""},
        {"p v q :- r. r :- p. r :- q. r :- not s. s :- not r.", "p q r", false, ""},
        {"p v q :- r. r :- p. r :- q. r :- not s. s :- not r.", "s", true, ""},
        {"x v y. x :- y. y :- x. u v w :- x. u :- w. w :- u.", "x y u w", true, ""},
        {"x v y. x :- y. y :- x. u v w :- z. u :- w. w :- u. z :- not x.", "x y u w", false, "u w"},
        // a is left unsupported but no rule of it survives the reduction; the
        // head cycle over c and d passes on its own.
        {"a :- not b. b. c v d. c :- d. d :- c.", "a b c d", false, "a"},
    };
    for (const STABILITYCASE& c : cases) {
        inFreshProcess([&] {
            SCOPED_TRACE(std::string(c.program) + " with " + c.trueAtoms);
            groundProgramAsWritten(c.program);
            GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
            ATOMFLAGS toCheck;
            const INTERPRETATION interpretation = groundInterpretation(c.trueAtoms, toCheck);
            for (int32_t method : methods) {
                modelCheckMethod = method;
                ATOMFLAGS unfounded;
                bool found = true;
                const bool stable = checkModel(interpretation, groundRules, false, gdg, &toCheck, &unfounded, &found);
                EXPECT_EQ(stable, c.stable) << "method " << method;
                if (stable) {
                    EXPECT_FALSE(found) << "method " << method;
                }
                if (method == 9 && !stable) {
                    EXPECT_TRUE(found);
                }
                if (found && *c.unfoundedBySat) {
                    EXPECT_EQ(groundSetText(unfounded), c.unfoundedBySat) << method;
                }
            }
        });
    }
}

// Method 0 on a head-cycle-free program fails without a set; the caller's
// array is left as it was.
TEST(CheckModel, HeadCycleFreeFailureReportsNoSet) {
    inFreshProcess([] {
        groundProgramAsWritten("a :- b. b :- a. c :- not d. d :- not c.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        const INTERPRETATION interpretation = groundInterpretation("a b c", toCheck);
        modelCheckMethod = 0;
        ATOMFLAGS unfounded = {7, 7};
        bool found = true;
        EXPECT_FALSE(checkModel(interpretation, groundRules, false, gdg, &toCheck, &unfounded, &found));
        EXPECT_FALSE(found);
        EXPECT_EQ(unfounded, (ATOMFLAGS{7, 7}));
        // Null result locations are allowed.
        EXPECT_FALSE(checkModel(interpretation, groundRules, true, gdg, &toCheck, nullptr, nullptr));
    });
}

// Only atoms to check or must-be-true atoms make an unfounded set count: an
// empty head clause passes without calling the solver.
TEST(CheckModel, UnfoundedSetMustHoldAnAtomToCheckOrAMustBeTrueAtom) {
    inFreshProcess([] {
        groundProgramAsWritten("a v b :- c. c :- a. c :- b. d :- not c.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        INTERPRETATION interpretation = groundInterpretation("a c", toCheck);
        ATOMFLAGS none(toCheck.size(), 0);
        for (int32_t method : {0, 9}) {
            modelCheckMethod = method;
            bool found = true;
            EXPECT_TRUE(checkModel(interpretation, groundRules, false, gdg, &none, nullptr, &found)) << method;
            EXPECT_FALSE(found);
            EXPECT_TRUE(checkModel(interpretation, groundRules, false, gdg, nullptr, nullptr, &found)) << method;
            // A must-be-true atom in the set counts like an atom to check.
            interpretation.values[atomIndex("c")] = TV_MUSTBETRUE;
            ATOMFLAGS unfounded;
            EXPECT_FALSE(checkModel(interpretation, groundRules, false, gdg, &none, &unfounded, &found)) << method;
            EXPECT_TRUE(found);
            EXPECT_EQ(groundSetText(unfounded), "a c");
            interpretation.values[atomIndex("c")] = TV_TRUE;
        }
    });
}

// Without the support fixpoint, a rule that can never support (here: a
// negated true atom) is dropped; when none is kept, each atom of the head
// clause is unfounded alone, and the lowest is reported.
TEST(CheckModel, NoRuleKeptReportsTheFirstAtomToCheck) {
    inFreshProcess([] {
        groundProgramAsWritten("a :- not b. b :- not a.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        const INTERPRETATION interpretation = groundInterpretation("a b", toCheck);
        const std::string first = atomIndex("a") < atomIndex("b") ? "a" : "b";
        modelCheckMethod = 9;
        ATOMFLAGS unfounded(toCheck.size(), 1);
        bool found = false;
        EXPECT_FALSE(checkModel(interpretation, groundRules, false, gdg, &toCheck, &unfounded, &found));
        EXPECT_TRUE(found);
        EXPECT_EQ(groundSetText(unfounded), first);
        for (int32_t method : {0, 1, 5}) {
            modelCheckMethod = method;
            EXPECT_FALSE(checkModel(interpretation, groundRules, false, gdg, &toCheck, &unfounded, &found));
            EXPECT_FALSE(found) << method;  // decided without an inner test
        }
    });
}

// The public inner test over a component's rule list scans all atoms for the
// head clause; it reports what the component check reports.
TEST(CheckModel, InnerCheckOverAComponentsRules) {
    inFreshProcess([] {
        groundProgramAsWritten("e :- not d. a v b :- c. c :- a. c :- b. d :- not c.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        const INTERPRETATION interpretation = groundInterpretation("a c e", toCheck);
        const int32_t component = gdg.componentOfSlot(atomIndex("a"));
        ATOMFLAGS set(toCheck.size(), 0);
        set[atomIndex("a")] = set[atomIndex("c")] = 1;
        ATOMFLAGS unfounded;
        bool found = false;
        unfoundedSetOut = &unfounded;
        unfoundedSetFoundOut = &found;
        EXPECT_FALSE(innerCheck(gdg.componentRules[size_t(component)].ruleList, interpretation, &toCheck, &set, 2,
                                INNER_TEST_SAT));
        EXPECT_TRUE(found);
        EXPECT_EQ(groundSetText(unfounded), "a c");
        // The same through checkComponent, which renumbers the component.
        ATOMFLAGS unfounded2;
        bool found2 = false;
        unfoundedSetOut = &unfounded2;
        unfoundedSetFoundOut = &found2;
        EXPECT_FALSE(checkComponent(gdg, interpretation, &toCheck, component, INNER_TEST_SAT));
        EXPECT_TRUE(found2);
        EXPECT_EQ(unfounded2, unfounded);
        // e's component passes.
        EXPECT_TRUE(checkComponent(gdg, interpretation, &toCheck, gdg.componentOfSlot(atomIndex("e")), INNER_TEST_SAT));
    });
}

TEST(CheckModel, AggregateAtomsNeverEnterTheSet) {
    inFreshProcess([] {
        groundProgram("p(1) v q. p(2) v q. a :- #count{X : p(X)} >= 2.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        INTERPRETATION interpretation;
        interpretation.values.assign(atomsByIndex.size(), TV_FALSE);
        ATOMFLAGS toCheck(atomsByIndex.size(), 0);
        int32_t aggregates = 0;
        for (int32_t i = 0; i < int32_t(atomsByIndex.size()); ++i) {
            std::ostringstream s;
            printAtom(s, groundAtom(i));
            if (groundAtom(i).isAggregate()) ++aggregates;
            if (groundAtom(i).isAggregate() || s.str() == "p(1)" || s.str() == "p(2)" || s.str() == "a") {
                interpretation.values[i] = TV_TRUE;
                toCheck[i] = 1;
            }
        }
        ASSERT_EQ(aggregates, 1);
        for (int32_t method : methods) {
            modelCheckMethod = method;
            EXPECT_TRUE(checkModel(interpretation, groundRules, false, gdg, &toCheck, nullptr, nullptr)) << method;
        }
        // Method 9 hands every true non-aggregate atom to the solver.
        EXPECT_EQ(maxInnerCheckAtoms, 3u);
    });
}

TEST(CheckModel, EmptyInterpretationPassesWithoutAnInnerTest) {
    inFreshProcess([] {
        groundProgramAsWritten("a v b :- c. c :- a. c :- b. d :- not c.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        const INTERPRETATION interpretation = groundInterpretation("", toCheck);
        for (int32_t method : methods) {
            modelCheckMethod = method;
            EXPECT_TRUE(checkModel(interpretation, groundRules, false, gdg, &toCheck, nullptr, nullptr)) << method;
        }
        EXPECT_EQ(maxInnerCheckAtoms, 0u);
    });
}

// Method 1 stops at the first failing component.
TEST(CheckModel, ComponentMethodStopsAtTheFirstFailingComponent) {
    inFreshProcess([] {
        groundProgramAsWritten("a :- b. b :- a. c v d :- e, a. e :- c. e :- d.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        // {a, b} is an unfounded positive loop in an early component; {c, e}
        // would need the solver in a later one.
        const INTERPRETATION interpretation = groundInterpretation("a b c e", toCheck);
        ASSERT_LT(gdg.componentOfSlot(atomIndex("a")), gdg.componentOfSlot(atomIndex("c")));
        modelCheckMethod = 1;
        const uint32_t before = maxInnerCheckAtoms;
        bool found = true;
        EXPECT_FALSE(checkModel(interpretation, groundRules, false, gdg, &toCheck, nullptr, &found));
        EXPECT_FALSE(found);
        EXPECT_EQ(maxInnerCheckAtoms, before);  // no inner test ran
    });
}

// Every total model of random small programs, under all four methods and
// whoever answers in the solver (clause learning alone, the default; the
// look-ahead search asking it on its turn; the search alone), against the
// brute-force search for a non-empty unfounded set among the true atoms; a
// reported set must be one.
TEST(CheckModel, RandomProgramsAgreeWithTheDefinition) {
    inFreshProcess([] {
        constexpr int32_t atoms = 6;
        std::string text = "p0";
        for (int32_t i = 1; i < atoms; ++i) text += " v p" + std::to_string(i);
        groundProgram(text + ".");
        std::vector<ATOMID> index(atoms);
        for (int32_t i = 0; i < atoms; ++i) index[i] = atomIndex("p" + std::to_string(i));
        const size_t total = atomsByIndex.size();
        std::mt19937 random(20261210);
        int32_t stableSeen = 0, unstableSeen = 0, hcfPrograms = 0;
        for (int32_t program = 0; program < 1500; ++program) {
            std::vector<GROUNDRULE> rules;
            const int32_t ruleCount = 2 + int32_t(random() % 7);
            for (int32_t r = 0; r < ruleCount; ++r) {
                std::vector<ATOMID> head;
                const int32_t heads = 1 + int32_t(random() % 3);
                for (int32_t h = 0; h < heads; ++h) {
                    const ATOMID a = index[random() % atoms];
                    if (std::find(head.begin(), head.end(), a) == head.end()) head.push_back(a);
                }
                GROUNDCONJUNCTION body;
                const int32_t positives = int32_t(random() % 4), negatives = int32_t(random() % 2);
                for (int32_t b = 0; b < positives; ++b) body.addLiteralIfAbsent({index[random() % atoms], 0});
                for (int32_t b = 0; b < negatives; ++b) body.addLiteralIfAbsent({index[random() % atoms], 1});
                rules.emplace_back(&head, body.literals.empty() ? nullptr : &body);
            }
            GDG gdg(rules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
            hcfPrograms += gdg.isHCF();
            // Method 1 walks the graph's components, so an atom of no rule is
            // never examined; the generator never makes one true.
            uint32_t nodeMask = 0;
            for (int32_t i = 0; i < atoms; ++i) nodeMask |= uint32_t(gdg.isNode(index[i])) << i;
            for (uint32_t trueMask = 0; trueMask < (1u << atoms); ++trueMask) {
                if (trueMask & ~nodeMask) continue;
                auto isTrue = [&](ATOMID a) {
                    for (int32_t i = 0; i < atoms; ++i)
                        if (index[i] == a) return ((trueMask >> i) & 1) != 0;
                    return false;
                };
                // Only models: every rule with a true body has a true head atom.
                bool model = true;
                for (const GROUNDRULE& r : rules) {
                    bool bodyTrue = true, headTrue = false;
                    if (r.body)
                        for (const GROUNDLITERAL& l : r.body->literals)
                            bodyTrue = bodyTrue && (isTrue(l.atom) != bool(l.negated));
                    for (ATOMID h : *r.head) headTrue = headTrue || isTrue(h);
                    model = model && (!bodyTrue || headTrue);
                }
                if (!model) continue;
                // Brute force: some non-empty subset of the true atoms is unfounded.
                auto unfoundedMask = [&](uint32_t u) {
                    auto inU = [&](ATOMID a) {
                        for (int32_t i = 0; i < atoms; ++i)
                            if (index[i] == a) return ((u >> i) & 1) != 0;
                        return false;
                    };
                    for (const GROUNDRULE& r : rules) {
                        bool meets = false, blocked = false;
                        for (ATOMID h : *r.head) {
                            meets = meets || inU(h);
                            blocked = blocked || (!inU(h) && isTrue(h));
                        }
                        if (r.body)
                            for (const GROUNDLITERAL& l : r.body->literals)
                                blocked = blocked || (l.negated ? isTrue(l.atom) : !isTrue(l.atom) || inU(l.atom));
                        if (meets && !blocked) return false;
                    }
                    return true;
                };
                bool expectedStable = true;
                for (uint32_t u = trueMask; u != 0 && expectedStable; u = (u - 1) & trueMask)
                    expectedStable = !unfoundedMask(u);
                (expectedStable ? stableSeen : unstableSeen)++;

                INTERPRETATION interpretation;
                interpretation.values.assign(total, TV_FALSE);
                ATOMFLAGS toCheck(total, 0);
                for (int32_t i = 0; i < atoms; ++i) {
                    if (!((trueMask >> i) & 1)) continue;
                    // Assumed, supported or must-be-true; the first two are to check.
                    const int32_t kind = int32_t(random() % 3);
                    interpretation.values[index[i]] = kind == 0 ? TV_ASSUMED : kind == 1 ? TV_TRUE : TV_MUSTBETRUE;
                    toCheck[index[i]] = kind != 2;
                }
                for (int32_t method : methods)
                for (int64_t answering : {0, 32, -1}) {
                    modelCheckMethod = method;
                    satState.decideAfterBacktracks = answering;
                    ATOMFLAGS unfounded;
                    bool found = false;
                    const bool stable = checkModel(interpretation, rules, false, gdg, &toCheck, &unfounded, &found);
                    satState.decideAfterBacktracks = 0;
                    ASSERT_EQ(stable, expectedStable)
                        << "program " << program << " mask " << trueMask << " method " << method << " answering "
                        << answering << [&] {
                               std::ostringstream o;
                               for (const GROUNDRULE& r : rules) printGroundRule(o << '\n', r);
                               return o.str();
                           }();
                    if (!found) continue;
                    uint32_t u = 0;
                    for (int32_t i = 0; i < atoms; ++i) u |= uint32_t(unfounded[index[i]] != 0) << i;
                    ASSERT_NE(u, 0u);
                    ASSERT_EQ(u & ~trueMask, 0u);
                    ASSERT_TRUE(unfoundedMask(u)) << "program " << program << " method " << method;
                    // The solver's set has a partial re-test that confirms it.
                    ASSERT_TRUE(partialCheck(&unfounded, interpretation, rules, nullptr));
                }
            }
        }
        EXPECT_GT(stableSeen, 1000);
        EXPECT_GT(unstableSeen, 1000);
        EXPECT_GT(hcfPrograms, 100);
        EXPECT_LT(hcfPrograms, 1200);  // the rest have head cycles
    });
}

TEST(CheckModelDeathTest, UnknownMethodIsAnInternalError) {
    for (int32_t method : {2, 3, 4, 6, 10}) {
        EXPECT_EXIT(
            {
                std::vector<GROUNDRULE> none;
                GDG gdg(none, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
                INTERPRETATION interpretation;
                modelCheckMethod = method;
                checkModel(interpretation, none, false, gdg, nullptr, nullptr, nullptr);
            },
            testing::ExitedWithCode(99), "An internal error occurred \\(model check\\)");
    }
}

// A program declared head-cycle-free whose graph has a head cycle reaches the
// inner test with kind 0.
TEST(CheckModelDeathTest, InnerTestOfKindZeroIsAnInternalError) {
    EXPECT_EXIT(
        {
            groundProgramAsWritten("a v b. a :- b. b :- a. c :- d. d :- c.");
            GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
            ATOMFLAGS toCheck;
            const INTERPRETATION interpretation = groundInterpretation("a b", toCheck);
            modelCheckMethod = 0;
            checkModel(interpretation, groundRules, true, gdg, &toCheck, nullptr, nullptr);
        },
        testing::ExitedWithCode(99), "An internal error occurred \\(model check\\)");
}

TEST(CheckModel, StatisticsLinesAndMaxima) {
    inFreshProcess([] {
        groundProgramAsWritten("a v b. a :- b. b :- a. c v d :- a. c :- d. d :- c.");
        GDG gdg(groundRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
        ATOMFLAGS toCheck;
        const INTERPRETATION interpretation = groundInterpretation("a b c d", toCheck);
        modelCheckMethod = 9;
        EXPECT_TRUE(checkModel(interpretation, groundRules, false, gdg, &toCheck, nullptr, nullptr));
        EXPECT_EQ(maxInnerCheckAtoms, 4u);
        modelCheckMethod = 0;
        EXPECT_TRUE(checkModel(interpretation, groundRules, false, gdg, &toCheck, nullptr, nullptr));
        EXPECT_EQ(maxInnerCheckAtoms, 4u);  // a maximum, not the last value
        EXPECT_GE(worstCheckTime, worstInnerCheckTime);

        worstCheckTime = 0.25;
        worstInnerCheckTime = 1.5e-05;
        maxInnerCheckAtoms = 1234567;
        testing::internal::CaptureStderr();
        std::cerr << std::fixed;  // the report keeps its own notation
        printModelCheckerStatistics();
        std::cerr << std::defaultfloat;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Worst single MC time      : 0.25s\n"
                  "Worst single inner MC time: 1.5e-05s\n"
                  "Max. atoms for inner MC   : 1234567\n");
    });
}

}  // namespace
}  // namespace veltra
