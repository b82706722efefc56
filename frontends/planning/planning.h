// frontends/planning/planning.h: planning problems in the action languages K
// and C: the parsed problem, its translation into one program over time steps,
// the steps after grounding, plan security and plan output.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "generator/modelgenerator.h"

extern FILE* planyyin;  // the ".plan" file being read; set by the driver
int planyyparse();

namespace veltra {

// A classical literal of the planning language, arguments still as text: a
// name or quoted string as written, a decimal integer, "_", or "T$1"/"T$".
struct PLANNINGLITERAL {
    bool trueNegated = false;                          // "-" or "~"
    std::string name;                                  // without the "-"
    std::unique_ptr<std::vector<std::string>> args;    // null: no argument list

    PLANNINGLITERAL() = default;
    PLANNINGLITERAL(bool negated, std::string n, std::vector<std::string>* a)
        : trueNegated(negated), name(std::move(n)), args(a) {}
    PLANNINGLITERAL(const PLANNINGLITERAL& other);
    PLANNINGLITERAL& operator=(const PLANNINGLITERAL& other);
    PLANNINGLITERAL(PLANNINGLITERAL&&) noexcept = default;
    PLANNINGLITERAL& operator=(PLANNINGLITERAL&&) noexcept = default;
    size_t argCount() const { return args ? args->size() : 0; }
    // Appends an argument, creating the list when there is none.
    void appendArgument(const std::string& a);
};

struct PLANNINGBODYLITERAL {
    bool naf = false;  // "not" or "non"
    PLANNINGLITERAL literal;
};

using PLANNINGLITERALLIST = std::vector<PLANNINGBODYLITERAL>;

// One causation statement or declaration. For a declaration, head is the
// declared fluent or action, ifPart its "requires" list and afterPart its
// "where" list.
struct PLANNINGSTATEMENT {
    bool initially = false;   // about step 0; declarations: false only for C actions
    bool guessed = false;     // head guessed with its strong negation
    bool isDeclaration = false;
    std::unique_ptr<std::string> costs;            // "cost:level"; declarations only
    std::unique_ptr<PLANNINGLITERAL> head;         // null: "caused false"
    std::unique_ptr<PLANNINGLITERALLIST> ifPart;   // null: none written
    std::unique_ptr<PLANNINGLITERALLIST> afterPart;

    PLANNINGSTATEMENT() = default;
    PLANNINGSTATEMENT(const PLANNINGSTATEMENT& other);
    PLANNINGSTATEMENT& operator=(const PLANNINGSTATEMENT& other);
    PLANNINGSTATEMENT(PLANNINGSTATEMENT&&) noexcept = default;
    PLANNINGSTATEMENT& operator=(PLANNINGSTATEMENT&&) noexcept = default;
};

// ---- The problem as read (model.cpp, grammar.y) ----
extern PREDICATETABLE fluentTable;   // arity = parameters + 1 (time)
extern PREDICATETABLE actionTable;   // in order of declaration
extern uint32_t maxActionArity;      // most parameters of a declared action
extern std::vector<PLANNINGSTATEMENT> planningDeclarations;
extern std::vector<PLANNINGSTATEMENT> planningRules;
extern std::unique_ptr<PLANNINGLITERALLIST> planningGoal;  // null: no goal read
extern bool actionCostsGiven;
extern bool costLevelsGiven;

// The index of name in table without adding it; found false when absent.
std::pair<int32_t, bool> findPredicate(const PREDICATETABLE& table, const std::string& name);
inline bool isFluentName(const std::string& n) { return findPredicate(fluentTable, n).second; }
inline bool isActionName(const std::string& n) { return findPredicate(actionTable, n).second; }

std::vector<std::string>* makeArgumentList(const char* first, const char* second, const char* third);
// "-", the name, and "(" the arguments joined by "," ")" when there are any.
std::ostream& printPlanningLiteral(std::ostream& out, const PLANNINGLITERAL& literal);
// Literals joined by ",", "not " before default-negated ones.
std::ostream& printPlanningLiterals(std::ostream& out, const PLANNINGLITERALLIST& list);
std::ostream& printPlanningStatement(std::ostream& out, const PLANNINGSTATEMENT& statement);

// Reads one ".plan" file to its end into the tables above.
void parsePlanningFile(FILE* file);
// Check, report (counted) and store one causation statement; each argument
// is copied, null for a part not written.
void addPlanningRule(const PLANNINGLITERAL* head, const PLANNINGLITERALLIST* ifPart,
                     const PLANNINGLITERALLIST* afterPart, bool guessed);
// Check, report (counted), enter into fluentTable or actionTable and store
// one declaration.
void addPlanningDeclaration(const PLANNINGLITERAL& literal, const PLANNINGLITERALLIST* requires,
                            const std::string* costs, const PLANNINGLITERALLIST* where);

// ---- Translation (translate.cpp, causation.cpp, counts.cpp) ----
// The afterInputHook of the planning frontends.
void translatePlanningProblem();
void addRequiresLiterals(PLANNINGSTATEMENT& statement);
void translateCausationRule(PLANNINGSTATEMENT& statement);
void translateActionCosts(const PLANNINGSTATEMENT& declaration);
void constrainNumberOfActions();
void processNoConc();

// ---- After grounding (aftergrounding.cpp) ----
extern ATOMFLAGS fluentAtoms, actionAtoms, costAtoms;
extern std::vector<std::vector<GROUNDRULE>> rulesByTime;
extern std::vector<std::vector<std::vector<uint32_t>>> exclusiveRulesByTime;
// The afterGroundingHook of the planning frontends; false when grounding
// derived "$abs" as a fact, so that no plan exists.
bool planningAfterGrounding();
// Whether every selection of the rules of transition t that can fire together
// is stratified.
bool isMuxStratified(uint32_t t);
// The time step of a fluent, action or cost atom: its last argument.
int32_t atomTime(ATOMID atom);

// ---- Security (security.cpp) ----
using PLANKEY = std::vector<uint8_t>;  // one byte per ground atom: 1 for a true action atom
struct PLANCACHE {
    std::map<PLANKEY, bool> results;
    std::deque<PLANKEY> order;  // newest at the front
};
extern PLANCACHE planCaches[2];
PLANKEY planKey(const INTERPRETATION* candidate);
void insertGroundLiteral(GROUNDCONJUNCTION& conjunction, const GROUNDLITERAL& literal);
bool securePlanFilter(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* candidate);
bool isPlanSecure(const INTERPRETATION& candidate, const std::vector<GROUNDRULE>& rules,
                  const std::vector<GROUNDCONSTRAINT>& constraints, int32_t method);
// The counter-example program of a candidate's plan under method (0 or 1).
void buildCounterExampleProgram(const INTERPRETATION& candidate, const std::vector<GROUNDRULE>& rules,
                                const std::vector<GROUNDCONSTRAINT>& constraints, int32_t method,
                                std::vector<GROUNDRULE>& counterRules,
                                std::vector<GROUNDCONSTRAINT>& counterConstraints);
// Keeps the aggregate bookkeeping as grounding left it, for nested searches.
void rememberGroundingAggregates();
bool runNestedModelGenerator(std::vector<GROUNDRULE>& rules, std::vector<GROUNDCONSTRAINT>& constraints);

// ---- Output (output.cpp) ----
extern std::set<PLANKEY> printedPlans;
bool planFoundHook(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);
bool printPlan(const ATOMSET& trueAtoms, const INTERPRETATION* model, bool notFirst, bool withCosts);

}  // namespace veltra
