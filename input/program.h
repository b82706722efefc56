// input/program.h: building the non-ground program from parsed statements:
// the variable numbering of a statement, terms from names, the builders of
// rules, constraints and weak constraints, equality elimination and safety.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/atom.h"
#include "core/rule.h"
#include "core/term.h"

namespace veltra {

// The numbering of the variables of the statement being read. A new variable
// name gets nextVariable, which then grows; "_" always takes a fresh number.
// After a statement has been read nextVariable is its number of distinct
// variables. Every builder and the query resets both, whatever the outcome.
extern std::map<std::string, int32_t> variableNames;
extern uint32_t nextVariable;

void resetVariables();

// A name whose first character is an upper-case letter is a variable of the
// statement; any other name (lower case, quoted with its quotes, "$" name) is
// a symbolic constant. Named constants are not resolved here.
TERM termFromIdentifier(const char* name);

// An atom of "-" + name, the strong negation of name: registered with kind 0
// and recorded in trueNegatedPredicates. An arity clash ends the run.
ATOM makeTrueNegatedAtom(const char* name, const std::vector<TERM>* terms);

// One to three terms in argument order; a null term pointer ends the list.
std::vector<TERM> makeTermList(const TERM& first, const TERM* second = nullptr, const TERM* third = nullptr);

// Adds literal to body unless an equal literal (same sign, equal atom) is
// already in its part; positive literals stay before negative ones.
void addToBody(CONJUNCTION& body, const LITERAL& literal);

// The statement builders. Each reports and counts its errors, stores a copy
// of the statement or nothing, and resets the variable numbering.
void makeRule(RULE& rule);
void makeConstraint(CONJUNCTION& body);
// weightAndLevel is null when the parser already rejected the weight.
void makeWeakConstraint(CONJUNCTION& body, const std::pair<TERM, TERM>* weightAndLevel);

// One substitution of equality elimination: target (a variable) becomes
// replacement (a symbolic constant or an integer).
struct SUBSTITUTION {
    TERM target;
    TERM replacement;
};

// Replaces every variable equated with a constant by a positive "==" body
// literal, in literal order, in the head atoms (null for constraints) and in
// every body literal, aggregate guards included. The substitutions made are
// appended to done when it is given. False when a substituted aggregate guard
// was invalid (reported and counted).
bool eliminateEqualities(std::vector<ATOM>* head, CONJUNCTION& body, std::vector<SUBSTITUTION>* done);

// Replaces target by replacement in every literal of body: arguments of
// ordinary and built-in literals; for an aggregate the arguments of the first
// literal of its conjunction and both guards. False when a guard became
// invalid (reported and counted).
bool substituteTerm(CONJUNCTION& body, const TERM& replacement, const TERM& target);

// Safety: whether every variable is bound by a part of the body that can
// produce values.
bool isVariableBound(const CONJUNCTION& body, const TERM& variable);
bool isWeightLevelSafe(const std::pair<TERM, TERM>& weightAndLevel, const CONJUNCTION& body);
bool isBodySafe(const CONJUNCTION& body);
bool isRuleSafe(const RULE& rule);

// Process-wide parser state beyond the program containers.
extern int32_t weightFormat;   // 0 until the first weak constraint, then 1..4
extern int32_t currentObject;  // object whose body is being read; 0 outside

// Empties every program container and table, resets the options and the
// reader's state, and registers the built-ins and object 0: the state of a
// fresh run, for readers of many independent texts in one process.
void resetInputState();

// The largest weight, in units of 1/1000, that the stored form holds.
constexpr int64_t maxStoredWeight = INT32_MAX;

}  // namespace veltra
