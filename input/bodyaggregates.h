// input/bodyaggregates.h: aggregate atoms as the grammar reads them, and the
// rewriting that leaves every aggregate with one positive atom to evaluate.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/aggregate.h"
#include "core/atom.h"

namespace veltra {

// A checked and normalised guard: integers are always inclusive; only a
// variable keeps a strict flag.
struct GUARD {
    TERM term;
    bool inclusive = true;
};

// What the braces form "#kind{terms : body}" reads.
struct AGGREGATEDESCRIPTION {
    int32_t kind = AGG_COUNT;        // AGG_ANY .. AGG_TIMES
    std::vector<TERM> elementTerms;  // before ":"
    CONJUNCTION body;                // after ":", positive literals first
};

// The missing guards of the one-sided forms. A missing lower guard is 0, which
// bounds no value (values are never negative) and keeps "#min"/"#max" without
// a value false. A missing upper guard is the null term and bounds nothing;
// the printers write it as defaultUpperGuard.
constexpr int32_t defaultLowerGuard = 0;
constexpr int32_t defaultUpperGuard = INT32_MAX;

// Checks a guard term and normalises a strict integer to an inclusive one.
// An invalid guard is reported, counted, and becomes "#invalid_guard#".
GUARD makeGuard(const TERM& term, bool inclusive, bool isLower);

// The aggregate atom of the description; for "#any" and "#avg" (reported and
// counted) an ordinary atom of the keyword.
ATOM makeAggregateAtom(const GUARD& lower, const GUARD& upper, AGGREGATEDESCRIPTION& description);

// Rewrites every aggregate literal of a statement body so that its
// conjunction is one atom over the aggregated and the shared variables; an
// auxiliary "aux#" predicate and its defining rule are made where needed.
// Keeps the statement's variable numbering.
void processBodyAggregates(CONJUNCTION& body);

// The steps of processBodyAggregates, exposed for tests.
bool aggregatedVariablesAreFree(const ATOM& aggregate, const CONJUNCTION& body);
bool checkAggregateSafety(const CONJUNCTION& body, const CONJUNCTION& conjunction, CONJUNCTION& result);
bool rewriteAggregateConjunction(const CONJUNCTION& body, const CONJUNCTION& conjunction, CONJUNCTION& result);
bool makeAuxiliaryAtom(const ATOM& aggregate, const CONJUNCTION& body, const CONJUNCTION& rewritten, ATOM& out);
// "aux#", the element terms, the literals of the rewritten conjunction, "|",
// the arity and the auxiliary atom's arguments, variables renumbered by first
// appearance: only aggregates that agree in all of it share a definition.
std::string makeAuxiliaryName(const ATOM& aggregate, const CONJUNCTION& rewritten, const std::vector<TERM>& arguments);

}  // namespace veltra
