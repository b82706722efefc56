// driver/statistics.h: the "-stats" and "-stats++" report on standard error:
// option values and program sizes after grounding, timings at the end.
#pragma once
#include <cstdint>
#include <iostream>
#include <vector>

#include "core/groundprogram.h"
#include "core/rule.h"
#include "core/stagetimers.h"
#include "generator/modelgenerator.h"

namespace veltra {

// The counting functions are 32-bit with wrap-around, like the figures they
// print. constants is the size of the residual Herbrand universe: the entries
// of symbolTable plus those of numberTable.

// Sum of constants^arity over the non-built-in predicates of this kind.
uint32_t herbrandBaseSize(int32_t kind, uint32_t constants);
// Sum of constants^(distinct variables) over the items; variables inside
// aggregate atoms do not count, so a variable-free item contributes 1.
uint32_t fullGroundingSize(const std::vector<RULE>& list, uint32_t constants);
uint32_t fullGroundingSize(const std::vector<CONSTRAINT>& list, uint32_t constants);
// Head atoms plus body literals plus the ground-set elements of aggregate body
// literals; weak constraints count their body literals only.
uint32_t structuralSize(const std::vector<GROUNDRULE>& groundRules,
                        const std::vector<GROUNDCONSTRAINT>& groundConstraints,
                        const std::vector<GROUNDWEAKCONSTRAINT>& groundWeakConstraints);

// The option line, then the residual sizes ("-stats") or the size table
// ("-stats++"), then the structural size. Called once after grounding.
void printOptionsAndSizes(std::ostream& out = std::cerr);

// The timing report at the end of a run: the generator's search statistics
// and answer-set times, the stage timers, the generator's time report and the
// closing remark. generator is the one that searched, null when none did.
void printTimings(const MODELGENERATOR* generator, std::ostream& out = std::cerr);

}  // namespace veltra
