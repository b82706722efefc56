// input/statements.h: the work of the main-language grammar actions that is
// more than moving values: statements, terms, built-ins and weights.
#pragma once
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/atom.h"
#include "core/rule.h"
#include "core/term.h"

namespace veltra {

// A body being read: the signatures of its literals spare most of the
// comparisons that keep a repeated literal out.
struct BODYBUILDER {
    CONJUNCTION body;
    std::unordered_set<uint64_t> signatures;

    void add(const LITERAL& literal);
};

// A term written as a name: a named constant's value, else termFromIdentifier.
TERM termFromName(const char* name);
// "_": a fresh variable without a name.
TERM anonymousVariable();
// "#maxint" as a term; without a bound it is reported, counted and set to 0.
TERM maxintTerm();

// The "#maxint = term." statement.
void maxintStatement(const TERM& value);

// A query "body ?": replaces an earlier one, with a notice on standard output.
void queryStatement(CONJUNCTION* body);

// "name(L..U)": one fact per integer from L to U.
std::vector<RULE>* intervalFacts(const char* name, const TERM& lower, const TERM& upper);

// A positive built-in atom of predicate index builtin (BUILTIN_EQ ..).
ATOM builtinAtom(int32_t builtin, const std::vector<TERM>& terms);
// "#int", "#succ", "+" and "*" need "#maxint": reported and counted without.
void arithmeticCheck();
// "#maxint = Y + Z": the built-in over Y, Z and the bound.
ATOM maxintArithmetic(int32_t builtin, const TERM& y, const TERM& z);

// Rules of one rule statement handed to makeRule; strict rules go to the
// default object and set strictRulesUsed.
void ruleStatement(std::vector<RULE>& list, bool strict);

// Weights: N gives N * 1000, N.F adds the first three digits of F. A result
// beyond the stored range is reported and counted, and gives -1.
int64_t weightNumber(int32_t integerPart, const char* fraction);
// A weight term of a weightNumber, or null after an error.
TERM* weightTerm(int64_t weight);
// The weight and level of a weak constraint in format 1..4; null when the
// format differs from the first weak constraint's (reported and counted) or
// the weight was rejected. Takes ownership of weight and level.
std::pair<TERM, TERM>* weightLevel(int32_t format, TERM* weight, TERM* level);

// The statement in progress is lost after a syntax error: its variable
// numbering and an object body left open end with it.
void abandonStatement();

}  // namespace veltra
