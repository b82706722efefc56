// core/stagetimers.h: the stopwatches of the stages of a run, reported by "-stats".
#pragma once
#include <cstdint>

#include "core/timer.h"

namespace veltra {

extern TIMER preprocessingTimer;        // from reading the input to the start of the search
extern TIMER parsingTimer;              // reading, frontend translation, query set-up
extern TIMER rewritingBasicTimer;       // basic rewriting
extern TIMER rewritingProjectionTimer;  // projection, renaming of hidden predicates included
extern TIMER subsumptionTimer;          // subsumption checking
extern TIMER instantiationTimer;        // grounding, dependency graph included
extern TIMER depgraphTimer;             // the dependency graph built for grounding
extern TIMER postprocessingTimer;       // the grounder's post-processing
extern TIMER constraintsTimer;          // the grounding of constraints
extern TIMER ruleInstantiationTimer;    // one rule's instantiation ("-stats-grounding++")

// Counted by the planning frontend (secure planning), reported by "-stats++".
extern uint32_t secureCheckCount;  // plan security checks made
extern uint32_t planCacheHits;     // security checks answered from a plan cache

}  // namespace veltra
