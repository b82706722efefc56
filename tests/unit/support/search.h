// tests/unit/support/search.h: a ground program (see groundProgram) in a
// model generator with a run started, choices taken by atom text, and the
// search state that undoing must restore.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "generator/modelgenerator.h"
#include "tests/unit/support/child.h"
#include "tests/unit/support/ground.h"

namespace veltra {

// A generator over the ground program with an all-undefined run started
// (indexing and initial propagation). bound: the cost bound, null for none.
struct GENERATORRUN {
    std::unique_ptr<MODELGENERATOR> generator;
    INTERPRETATION interpretation;
    bool consistent = false;  // the initial propagation succeeded

    explicit GENERATORRUN(const COSTVECTOR* bound = nullptr, bool costBoundGiven = false);
    MODELGENERATOR& gen() { return *generator; }
    int32_t value(const std::string& atom) const;
    // Opens a level, takes the choice and propagates; false on a conflict.
    bool choose(const std::string& atom, int32_t value);
};

// The ground atom printed as text; fails the case when there is none.
int32_t atomIndex(const std::string& text);
// The only aggregate atom of the ground program.
int32_t onlyAggregateAtom();
// The rule whose printed form is text ("a v b :- c, not d.").
GROUNDRULE& groundRule(const std::string& text);

// Every piece of search state that undoing must restore: values, the
// must-be-true count, cost, rule and constraint counters, support counts,
// aggregate bookkeeping and the atoms marked for the model checker.
struct SEARCHSTATE {
    std::vector<int32_t> values;
    int32_t mustBeTrueCount = 0;
    std::vector<uint64_t> cost;
    std::vector<uint32_t> counters;
    std::vector<int32_t> supportCount;
    std::vector<int64_t> aggregates;
    std::vector<uint32_t> checkAtoms;
    bool operator==(const SEARCHSTATE& o) const;
};
SEARCHSTATE snapshot(const MODELGENERATOR& generator, const INTERPRETATION& interpretation);

}  // namespace veltra
