// generator/statistics.cpp: the model generator's report lines. They are
// written by the search itself; until it keeps its figures, nothing is printed.
#include "generator/statistics.h"

namespace veltra {

void printSearchStatistics(const MODELGENERATOR& generator, std::ostream& out) {
    (void)generator;
    (void)out;
}

void printGeneratorTimes(const MODELGENERATOR* generator, std::ostream& out) {
    (void)generator;
    (void)out;
}

}  // namespace veltra
