// tests/unit/support/search.cpp: a model generator over a ground program.
#include "tests/unit/support/search.h"


#include <sstream>

#include "analysis/rewrite.h"
#include "core/rule.h"
#include "driver/options.h"

namespace veltra {

GENERATORRUN::GENERATORRUN(const COSTVECTOR* bound, bool costBoundGiven) {
    const uint32_t slots = static_cast<uint32_t>(costLevels.size());
    COSTVECTOR initial(slots);
    for (const GROUNDWEAKCONSTRAINT& w : violatedWeakConstraints)
        initial.values[costSlot(integerValue(w.level))] += uint64_t(integerValue(w.weight));
    const bool weak = !groundWeakConstraints.empty() || !violatedWeakConstraints.empty();
    generator = std::make_unique<MODELGENERATOR>(
        &groundRules, &groundConstraints, &groundWeakConstraints, query.get(), &edbFacts, &trueAtoms, nullptr, bound,
        CHECK_MODEL_CHECKING_ON, nullptr, nullptr, aggregatesPresent, &initial, weak, !weakConstraints.empty(), false,
        costBoundGiven, slots, static_cast<uint32_t>(aggregateCount), &heuristicList, &combineHeuristicList);
    consistent = generator->startRun(interpretation);
    interpretation.recording = true;
}

int32_t atomIndex(const std::string& text) {
    for (int32_t i = 0; i < static_cast<int32_t>(atomsByIndex.size()); ++i) {
        std::ostringstream s;
        printAtom(s, groundAtom(i));
        if (s.str() == text) return i;
    }
    ADD_FAILURE() << "no ground atom " << text;
    return 0;
}

int32_t onlyAggregateAtom() {
    int32_t found = -1;
    for (int32_t i = 0; i < static_cast<int32_t>(atomsByIndex.size()); ++i)
        if (groundAtom(i).isAggregate()) {
            EXPECT_EQ(found, -1) << "more than one aggregate atom";
            found = i;
        }
    EXPECT_GE(found, 0) << "no aggregate atom";
    return found;
}

int32_t GENERATORRUN::value(const std::string& atom) const { return interpretation.values[atomIndex(atom)]; }

bool GENERATORRUN::choose(const std::string& atom, int32_t value) {
    generator->enterLevel(interpretation);
    generator->assignChoice(atomIndex(atom), value, interpretation);
    return generator->propagateEvents(interpretation);
}

GROUNDRULE& groundRule(const std::string& text) {
    for (GROUNDRULE& r : groundRules) {
        std::ostringstream s;
        printGroundRule(s, r);
        if (s.str() == text) return r;
    }
    ADD_FAILURE() << "no ground rule " << text;
    return groundRules.front();
}

bool SEARCHSTATE::operator==(const SEARCHSTATE& o) const {
    return values == o.values && mustBeTrueCount == o.mustBeTrueCount && cost == o.cost && counters == o.counters &&
           supportCount == o.supportCount && aggregates == o.aggregates && checkAtoms == o.checkAtoms;
}

SEARCHSTATE snapshot(const MODELGENERATOR& generator, const INTERPRETATION& interpretation) {
    SEARCHSTATE s;
    s.values = interpretation.values;
    s.mustBeTrueCount = interpretation.mustBeTrueCount;
    s.cost = interpretation.cost.values;
    for (const GROUNDRULE& r : groundRules) s.counters.insert(s.counters.end(), r.counters, r.counters + 7);
    // The constraints' counters (with their fixed atoms) are the generator's.
    s.counters.insert(s.counters.end(), generator.constraintData.begin(), generator.constraintData.end());
    for (const GROUNDWEAKCONSTRAINT& w : groundWeakConstraints)
        s.counters.insert(s.counters.end(), w.counters, w.counters + 3);
    s.supportCount = generator.supportCount;
    for (const auto& f : aggregatesByIndex) s.aggregates.insert(s.aggregates.end(), {f->lower, f->upper, f->extra1(), f->extra2()});
    s.aggregates.insert(s.aggregates.end(), generator.trueElements.begin(), generator.trueElements.end());
    s.aggregates.insert(s.aggregates.end(), generator.decidedSuffix.begin(), generator.decidedSuffix.end());
    s.checkAtoms = generator.checkAtomList;
    return s;
}

}  // namespace veltra
