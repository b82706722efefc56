// core/stagetimers.cpp: the stage stopwatches; zero, hence stopped, at start.
#include "core/stagetimers.h"

namespace veltra {

TIMER preprocessingTimer;
TIMER parsingTimer;
TIMER rewritingBasicTimer;
TIMER rewritingProjectionTimer;
TIMER subsumptionTimer;
TIMER instantiationTimer;
TIMER depgraphTimer;
TIMER postprocessingTimer;
TIMER constraintsTimer;
TIMER ruleInstantiationTimer;

uint32_t secureCheckCount = 0;
uint32_t planCacheHits = 0;

}  // namespace veltra
