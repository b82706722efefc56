// The records the planning parser stores, written back by the statement
// printer, and the printers' own forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "core/options.h"
#include "frontends/planning/planning.h"
#include "input/parse.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"

namespace veltra {
namespace {

// Parses text as a ".plan" file under the given frontend; every stored
// record as the printer writes it, one per line, declarations first.
std::string parsedRecords(std::string text, int32_t front) {
    frontend = front;
    planningMode = front == 7 ? 4 : 0;
    FILE* file = fmemopen(text.data(), text.size(), "r");
    OPTIONS.internalParse = false;
    lineNumber = 1;
    parsePlanningFile(file);
    std::fclose(file);
    std::ostringstream out;
    for (const PLANNINGSTATEMENT& d : planningDeclarations)
        printPlanningStatement(out, d) << (d.initially ? " [initially]" : "") << '\n';
    for (const PLANNINGSTATEMENT& s : planningRules)
        printPlanningStatement(out, s) << (s.initially ? " [initially]" : "") << '\n';
    return out.str();
}

struct RECORDCASE {
    const char* name;
    int32_t frontend;
    const char* text;
    const char* records;
    int errors;
};

const RECORDCASE recordCases[] = {
    {"statements", 7,
     "fluents: f. g. actions: a. b.\n"
     "always: inertial f, -g. default f. nonexecutable a if f. forbidden f, g after a. total f if g.\n"
     "initially: executable a if b. f.\n",
     "fluents: f. [initially]\nfluents: g. [initially]\nactions: a. [initially]\nactions: b. [initially]\n"
     "caused f if not -f after f.\ncaused -g if not g after -g.\ncaused f if not -f.\ncaused false after f,a.\n"
     "caused false if f,g after a.\ntotal f if g.\nexecutable a if b.\ncaused f. [initially]\n",
     0},
    {"language-c", 6,
     "fluents: f. actions: a.\nalways: default f. inertial f.\n",
     "fluents: f. [initially]\nactions: a.\ntotal f. [initially]\nexecutable a.\ncaused f if f.\n"
     "caused f if f after f.\n",
     0},
    {"costs", 7,
     "actions: a(X) requires d(X) costs 5. b costs C:2 where c(time,C). e costs time.\n",
     "actions: a(X) requires d(X) costs 5:1. [initially]\nactions: b costs C:2 where c(T$1,C). [initially]\n"
     "actions: e costs T$1:1. [initially]\n",
     0},
    {"errors-still-stored", 7,
     "fluents: f.\nalways: caused false. p(time). forbidden .\n",
     "fluents: f. [initially]\ncaused false.\ncaused p(T$1).\ncaused false.\n", 4},
    {"builtins", 7,
     "fluents: f(X).\nalways: caused f(X) if f(Y), X = Y + 1, Y < 3, #int(Y), #succ(Y,X), *(X,Y,Z), !=(X,Y), X <> Y.\n",
     "fluents: f(X). [initially]\ncaused f(X) if f(Y),+(Y,1,X),<(Y,3),#int(Y),#succ(Y,X),*(X,Y,Z),!=(X,Y),!=(X,Y).\n",
     0},
};

TEST(PlanningParser, StoredRecords) {
    for (const RECORDCASE& c : recordCases) {
        SCOPED_TRACE(c.name);
        inFreshProcess([&c] {
            int before = parseErrorCount;
            EXPECT_EQ(parsedRecords(c.text, c.frontend), c.records);
            EXPECT_EQ(parseErrorCount - before, c.errors);
        });
    }
}

TEST(PlanningParser, NoConcurrencyAndSecurePlan) {
    inFreshProcess([] {
        planMinActions = planMaxActions = 0;
        parsedRecords("always: noConcurrency. securePlan.\n", 7);
        EXPECT_EQ(planMaxActions, 1);
        EXPECT_EQ(planningMode, 5);
    });
    inFreshProcess([] {
        planMaxActions = 2;
        parsedRecords("always: noConcurrency.\n", 7);
        EXPECT_EQ(planMaxActions, 2);
    });
}

TEST(PlanningParser, GoalLengthAndReplacement) {
    inFreshProcess([] {
        OPTIONS.planLength = -1;
        CHILDRUN run = runCaptured([] { parsedRecords("fluents: g. h.\ngoal: h ? (5)\ngoal: g ? (3)\n", 7); });
        EXPECT_EQ(run.err, "Warning: goal: g? (3) replaces goal: h? (5)\n");
        parsedRecords("fluents: g.\ngoal: g ? (3)\n", 7);
        EXPECT_EQ(OPTIONS.goalPlanLength, 3);
        EXPECT_EQ(OPTIONS.maxIntegerInInput, 3);
    });
    inFreshProcess([] {
        OPTIONS.planLength = 5;
        parsedRecords("fluents: g.\ngoal: g ? (3)\n", 7);
        EXPECT_EQ(OPTIONS.goalPlanLength, -1);
    });
}

TEST(PlanningPrinter, LiteralForms) {
    std::ostringstream out;
    PLANNINGLITERAL empty(false, "p", new std::vector<std::string>);
    PLANNINGLITERAL negated(true, "p", makeArgumentList("a", "X", nullptr));
    printPlanningLiteral(out, empty) << ' ';
    printPlanningLiteral(out, negated);
    EXPECT_EQ(out.str(), "p -p(a,X)");
    PLANNINGSTATEMENT bare;
    std::ostringstream statement;
    printPlanningStatement(statement, bare);
    EXPECT_EQ(statement.str(), "caused false.");
}

}  // namespace
}  // namespace veltra
