// Plan security: on small domains the verdict of every plan is compared with
// an independent solver (clingo) on the counter-example program, and the
// secure plans with the ones the domain admits; and the plan caches.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "analysis/rewrite.h"
#include "core/rule.h"
#include "core/options.h"
#include "core/stagetimers.h"
#include "frontends/planning/planning.h"
#include "input/parse.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"

namespace veltra {
namespace {

// Reads background and planning problem as a run does, translates, grounds
// and runs the steps after grounding.
void preparePlanning(const std::string& background, std::string plan, int32_t mode) {
    frontend = 7;
    planningMode = mode;
    std::stringstream text(background);
    ASSERT_TRUE(parseFromStream(text));
    FILE* file = fmemopen(plan.data(), plan.size(), "r");
    ASSERT_NE(file, nullptr);
    OPTIONS.internalParse = false;
    lineNumber = 1;
    parsePlanningFile(file);
    std::fclose(file);
    OPTIONS.internalParse = true;
    ASSERT_EQ(parseErrorCount, 0);
    translatePlanningProblem();
    // The consistency constraints the driver adds for strong negation.
    std::string consistency;
    for (int32_t negated : trueNegatedPredicates) {
        const std::string& name = predicateTable.name(negated).str();
        std::string args;
        for (int32_t i = 0; i < predicateTable.arities[negated]; ++i) args += (i ? ",V" : "V") + std::to_string(i);
        if (!args.empty()) args = "(" + args + ")";
        consistency += ":- " + name.substr(1) + args + ", " + name + args + ".\n";
    }
    groundProgram(consistency);
    planningAfterGrounding();
}

std::vector<INTERPRETATION> candidates;

bool collect(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION* model) {
    candidates.push_back(*model);
    return true;
}

// Every answer set of the planning program, through filter when given.
void enumerateCandidates(MODELHOOK filter = nullptr) {
    static std::vector<GROUNDWEAKCONSTRAINT> noWeak;
    static const ATOMSET noAtoms;
    candidates.clear();
    MODELGENERATOR generator(&groundRules, &groundConstraints, &noWeak, nullptr, &edbFacts, &trueAtoms, nullptr,
                             nullptr, CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS, collect, filter, aggregatesPresent,
                             nullptr, false, false, false, false, 0, uint32_t(aggregateCount), &heuristicList,
                             &combineHeuristicList);
    generator.computeAnswerSets();
}

// The plan of a candidate: per step its actions joined by ",", steps by ";".
std::string planText(const INTERPRETATION& candidate) {
    std::vector<std::set<std::string>> steps(size_t(OPTIONS.planLength));
    PLANKEY key = planKey(&candidate);
    for (ATOMID a = 0; a < atomCount; ++a)
        if (key[a]) steps[size_t(atomTime(a))].insert(predicateTable.name(groundAtom(a).predicate).str());
    std::string text;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (i) text += ";";
        std::string names;
        for (const std::string& s : steps[i]) names += (names.empty() ? "" : ",") + s;
        text += names;
    }
    return text;
}

std::string clingoLiterals(const GROUNDCONJUNCTION& body) {
    std::string text;
    for (const GROUNDLITERAL& l : body.literals) {
        EXPECT_FALSE(predicateTable.isAggregate(groundAtom(l.atom).predicate));
        text += std::string(text.empty() ? "" : ", ") + (l.negated ? "not " : "") + "a" + std::to_string(l.atom);
    }
    return text;
}

// Whether clingo finds an answer set of the counter-example program.
bool clingoHasAnswerSet(const std::vector<GROUNDRULE>& rules, const std::vector<GROUNDCONSTRAINT>& constraints) {
    char path[] = "/tmp/veltra_counterXXXXXX";
    int fd = mkstemp(path);
    std::ofstream out(path);
    for (const GROUNDRULE& r : rules) {
        for (size_t i = 0; i < r.head->size(); ++i) out << (i ? " ; " : "") << 'a' << (*r.head)[i];
        if (r.body && !r.body->literals.empty()) out << " :- " << clingoLiterals(*r.body);
        out << ".\n";
    }
    for (const GROUNDCONSTRAINT& c : constraints) out << ":- " << clingoLiterals(c.body) << ".\n";
    out << "#show.\n";
    out.close();
    int status = std::system((std::string(CLINGO_BINARY) + " -q " + path + " >/dev/null 2>&1").c_str());
    close(fd);
    unlink(path);
    EXPECT_TRUE(WIFEXITED(status));
    int code = WEXITSTATUS(status);
    // 10: an answer set found, 20: none exists, 30: found and search exhausted.
    EXPECT_TRUE(code == 10 || code == 20 || code == 30) << "clingo exit code " << code;
    return code != 20;
}

// Checks every candidate's verdict under both methods against clingo and
// returns the plans each method finds secure.
std::map<int, std::set<std::string>> crossCheck() {
    std::map<int, std::set<std::string>> secure{{0, {}}, {1, {}}};
    enumerateCandidates();
    EXPECT_FALSE(candidates.empty());
    for (const INTERPRETATION& c : candidates) {
        for (int method : {0, 1}) {
            bool verdict = isPlanSecure(c, groundRules, groundConstraints, method);
            std::vector<GROUNDRULE> rules;
            std::vector<GROUNDCONSTRAINT> constraints;
            buildCounterExampleProgram(c, groundRules, groundConstraints, method, rules, constraints);
            EXPECT_EQ(verdict, !clingoHasAnswerSet(rules, constraints)) << planText(c) << " method " << method;
            if (verdict) secure[method].insert(planText(c));
        }
    }
    return secure;
}

bool clingoMissing() { return std::string(CLINGO_BINARY).empty() || access(CLINGO_BINARY, X_OK) != 0; }

const char* const bombDomain = R"(
fluents: armed. clogged.
actions: dunk. flush.
always:
  executable dunk if not clogged.
  executable flush.
  caused -armed after dunk.
  caused clogged after dunk.
  caused -clogged after flush.
  inertial armed.
  inertial -armed.
  inertial clogged.
  inertial -clogged.
  noConcurrency.
initially:
  total armed.
  total clogged.
goal: -armed ? (2)
)";

TEST(PlanSecurity, BombInTheToilet) {
    if (clingoMissing()) GTEST_SKIP() << "clingo not installed";
    inFreshProcess([] {
        preparePlanning("", bombDomain, 1);
        auto secure = crossCheck();
        EXPECT_EQ(secure[0], std::set<std::string>{"flush;dunk"});
        EXPECT_EQ(secure[1], std::set<std::string>{"flush;dunk"});
    });
}

TEST(PlanSecurity, CountConstraintsHideNoCounterExample) {
    if (clingoMissing()) GTEST_SKIP() << "clingo not installed";
    inFreshProcess([] {
        planMinActions = planMaxActions = 1;
        preparePlanning("", bombDomain, 1);
        auto secure = crossCheck();
        EXPECT_EQ(secure[0], std::set<std::string>{"flush;dunk"});
        // The outer search's aggregate bounds survive every nested search.
        enumerateCandidates();
        std::set<std::string> plans;
        for (const INTERPRETATION& c : candidates) plans.insert(planText(c));
        EXPECT_EQ(plans, (std::set<std::string>{"dunk;flush", "flush;dunk", "flush;flush"}));
        // Security checked inside the search, as a run does.
        enumerateCandidates(securePlanFilter);
        plans.clear();
        for (const INTERPRETATION& c : candidates) plans.insert(planText(c));
        EXPECT_EQ(plans, std::set<std::string>{"flush;dunk"});
    });
}

TEST(PlanSecurity, DeterministicDomainEveryPlanSecure) {
    if (clingoMissing()) GTEST_SKIP() << "clingo not installed";
    inFreshProcess([] {
        preparePlanning("", R"(
fluents: on.
actions: switch.
always:
  executable switch.
  caused on after switch, -on.
  caused -on after switch, on.
  inertial on.
  inertial -on.
initially: -on.
goal: on ? (3)
)", 1);
        auto secure = crossCheck();
        std::set<std::string> expected{"switch;;", ";switch;", ";;switch", "switch;switch;switch"};
        EXPECT_EQ(secure[0], expected);
        EXPECT_EQ(secure[1], expected);
    });
}

TEST(PlanSecurity, NondeterministicEffectIsInsecure) {
    if (clingoMissing()) GTEST_SKIP() << "clingo not installed";
    inFreshProcess([] {
        preparePlanning("", R"(
fluents: heads. won.
actions: toss.
always:
  executable toss.
  total heads after toss.
  caused won if heads.
goal: won ? (1)
)", 1);
        auto secure = crossCheck();
        EXPECT_TRUE(secure[0].empty());
        EXPECT_TRUE(secure[1].empty());
    });
}

// A constraint on a later state: method 0 counts its violation as a failure,
// method 1 rules the trajectory out.
TEST(PlanSecurity, SoftenedConstraintDependsOnMethod) {
    if (clingoMissing()) GTEST_SKIP() << "clingo not installed";
    inFreshProcess([] {
        preparePlanning("", R"(
fluents: f. g.
actions: a.
always:
  executable a.
  caused f after a.
  total g after a.
  caused false if f, g.
goal: f ? (1)
)", 1);
        auto secure = crossCheck();
        EXPECT_TRUE(secure[0].empty());
        EXPECT_EQ(secure[1], std::set<std::string>{"a"});
    });
}

const char* const manyPlans = R"(
fluents: done.
actions: a. b. c. d.
always:
  executable a. executable b. executable c. executable d.
  caused done after a. caused done after b. caused done after c. caused done after d.
goal: done ? (1)
)";

TEST(PlanCache, HitsAndMethodsApart) {
    inFreshProcess([] {
        preparePlanning("", manyPlans, 1);
        enumerateCandidates();
        ASSERT_EQ(candidates.size(), 15u);
        uint32_t checks = secureCheckCount, hits = planCacheHits;
        isPlanSecure(candidates[0], groundRules, groundConstraints, 0);
        isPlanSecure(candidates[0], groundRules, groundConstraints, 0);
        EXPECT_EQ(secureCheckCount - checks, 2u);
        EXPECT_EQ(planCacheHits - hits, 1u);
        isPlanSecure(candidates[0], groundRules, groundConstraints, 1);
        EXPECT_EQ(planCacheHits - hits, 1u);
        EXPECT_EQ(planCaches[1].order.size(), 1u);
    });
}

TEST(PlanCache, EvictsTheOldestTenthPlusOne) {
    inFreshProcess([] {
        OPTIONS.planCacheSize = 10;
        preparePlanning("", manyPlans, 1);
        enumerateCandidates();
        ASSERT_EQ(candidates.size(), 15u);
        for (size_t i = 0; i < 11; ++i) isPlanSecure(candidates[i], groundRules, groundConstraints, 0);
        EXPECT_EQ(planCaches[0].order.size(), 9u);
        EXPECT_EQ(planCaches[0].results.size(), 9u);
        // The two oldest are gone, the newest is there.
        EXPECT_EQ(planCaches[0].results.count(planKey(&candidates[0])), 0u);
        EXPECT_EQ(planCaches[0].results.count(planKey(&candidates[1])), 0u);
        EXPECT_EQ(planCaches[0].results.count(planKey(&candidates[10])), 1u);
        EXPECT_EQ(planCaches[0].order.front(), planKey(&candidates[10]));
    });
}

TEST(PlanCache, ZeroSizeCachesNothing) {
    inFreshProcess([] {
        OPTIONS.planCacheSize = 0;
        preparePlanning("", manyPlans, 1);
        enumerateCandidates();
        uint32_t hits = planCacheHits;
        isPlanSecure(candidates[0], groundRules, groundConstraints, 0);
        isPlanSecure(candidates[0], groundRules, groundConstraints, 0);
        EXPECT_EQ(planCacheHits, hits);
        EXPECT_TRUE(planCaches[0].results.empty());
    });
}

TEST(PlanSecurity, CounterExampleOfEmptyPlan) {
    inFreshProcess([] {
        preparePlanning("", manyPlans, 1);
        INTERPRETATION none;
        none.values.assign(size_t(atomCount), TV_FALSE);
        EXPECT_EQ(planKey(&none), PLANKEY(size_t(atomCount), 0));
        std::vector<GROUNDRULE> rules;
        std::vector<GROUNDCONSTRAINT> constraints;
        buildCounterExampleProgram(none, groundRules, groundConstraints, 0, rules, constraints);
        for (const GROUNDRULE& r : rules) {
            EXPECT_FALSE(actionAtoms[(*r.head)[0]]);
            EXPECT_NE(predicateTable.name(groundAtom((*r.head)[0]).predicate).str(), "$abs");
        }
        // Nothing executes, the goal fails: a counter-example.
        EXPECT_FALSE(isPlanSecure(none, groundRules, groundConstraints, 0));
    });
}

TEST(PlanningGroundLiterals, InsertKeepsPositiveFirst) {
    GROUNDCONJUNCTION c;
    insertGroundLiteral(c, GROUNDLITERAL{1, 1});
    insertGroundLiteral(c, GROUNDLITERAL{2, 0});
    insertGroundLiteral(c, GROUNDLITERAL{3, 1});
    insertGroundLiteral(c, GROUNDLITERAL{4, 0});
    ASSERT_EQ(c.literals.size(), 4u);
    EXPECT_EQ(c.firstNegative, 2u);
    EXPECT_EQ(c.literals[0].atom, 2);
    EXPECT_EQ(c.literals[1].atom, 4);
    EXPECT_EQ(c.literals[2].atom, 1);
    EXPECT_EQ(c.literals[3].atom, 3);
}

}  // namespace
}  // namespace veltra
