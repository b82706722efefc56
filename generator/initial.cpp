// generator/initial.cpp: the propagation before the first choice, and the
// bound rule of weak-constraint optimisation.
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// cost, with extra added at slot, against bound from the highest slot down:
// -1 below, 0 equal, 1 above. An unbounded slot counts as below whatever
// lies beneath it.
int compareWithBound(const COSTVECTOR& cost, int32_t slot, uint64_t extra, const COSTVECTOR& bound) {
    for (size_t i = cost.size(); i-- > 0;) {
        if (bound.isUnbounded(i)) return -1;
        uint64_t c = cost.values[i] + (int32_t(i) == slot ? extra : 0);
        if (c != bound.values[i]) return c < bound.values[i] ? -1 : 1;
    }
    return 0;
}

}  // namespace

bool MODELGENERATOR::costTooHighWith(const COSTVECTOR& cost, int32_t slot, uint64_t extra) const {
    if (!bestCost) return false;
    int c = compareWithBound(cost, slot, extra, *bestCost);
    return optimumKnown ? c > 0 : c >= 0;
}

bool MODELGENERATOR::weakConstraintExceedsBound(int32_t weak, const COSTVECTOR& cost) const {
    GROUNDWEAKCONSTRAINT& w = (*groundWeakConstraints)[weak];
    if (openPos(w) + openNeg(w) != 1) return false;
    return costTooHighWith(cost, weakSlot[weak], weakWeight[weak]);
}

bool MODELGENERATOR::propagateInitial(INTERPRETATION& I) {
    // The bound of the run; with a bound given, every answer set within
    // it is wanted.
    if (!optimumKnown) {
        if (costBound && costBound->size() == levelCount) {
            bestCost = std::make_unique<COSTVECTOR>(*costBound);
        } else {
            bestCost = std::make_unique<COSTVECTOR>(levelCount);
            bestCost->unbounded.assign(levelCount, 1);
        }
        if (costBoundGiven) optimumKnown = true;
    }

    // Atoms no rule can support are false; those that occur nowhere else
    // need no event.
    const int32_t n = groundAtomCount;
    for (int32_t a = 0; a < n; ++a) {
        if (supportCount[a] != 0 || isAggregateAtom(a) || I.values[a] != TV_UNDEFINED) continue;
        const uint32_t* run = eventRun(a);
        if (eventList(run, EVENTS_POSBODY).empty() && eventList(run, EVENTS_NEGBODY).empty() &&
            eventList(run, EVENTS_POSCONSTRAINT).empty() && eventList(run, EVENTS_NEGCONSTRAINT).empty() &&
            posWeakOccurrences.empty(a) && negWeakOccurrences.empty(a) && aggregateMemberships.empty(a)) {
            logAssignment(a, I);
            I.values[a] = TV_FALSE;
        } else {
            setFalse(a, I);
        }
    }

    // 3-5 read the counters as indexed.
    for (GROUNDRULE& r : *groundRules)
        if (ruleStatus(r) == 0 && undefinedLiterals(r) < 2 && !propagateRule(r, I)) {
            conflictCleanup();
            return false;
        }
    auto forceLast = [&](GROUNDCONSTRAINT& c) {
        const auto& ls = c.body.literals;
        if (openPos(c) == 1) {
            for (size_t i = 0; i < c.body.firstNegative; ++i)
                if (I.values[ls[i].atom] == TV_UNDEFINED) {
                    setFalse(ls[i].atom, I);
                    break;
                }
        } else if (openNeg(c) == 1) {
            for (size_t i = c.body.firstNegative; i < ls.size(); ++i)
                if (I.values[ls[i].atom] == TV_UNDEFINED) {
                    setMustBeTrue(ls[i].atom, I);
                    break;
                }
        }
    };
    // A constraint with one open literal forces it; one with none is violated.
    for (uint32_t h : constraintHandles) {
        if (constraintSatisfiedAt(h) == 0 && !constraintTest(constraintAt(h), I)) {
            conflictCleanup();
            return false;
        }
    }
    for (size_t w = 0; w < groundWeakConstraints->size(); ++w) {
        GROUNDWEAKCONSTRAINT& wc = (*groundWeakConstraints)[w];
        if (constraintSatisfied(wc) == 0 && weakConstraintExceedsBound(int32_t(w), I.cost)) forceLast(wc);
    }

    // Everything to a fixpoint.
    return propagateEvents(I);
}

}  // namespace veltra
