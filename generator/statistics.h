// generator/statistics.h: the model generator's part of the "-stats" report,
// printed by the driver's timing report.
#pragma once
#include <ostream>

#include "generator/modelgenerator.h"

namespace veltra {

// The search report, from "Maximum recursion level   : " to
// "Answer sets printed       : ", one line each.
void printSearchStatistics(const MODELGENERATOR& generator, std::ostream& out);

// The time report: the "Model Generator time" line (with its sub-timers at
// statistics level 2) and, when model checking is on, the "Model Checker
// time" line with its parts. A null generator stands for one that never
// searched: every figure prints as zero.
void printGeneratorTimes(const MODELGENERATOR* generator, std::ostream& out);

}  // namespace veltra
