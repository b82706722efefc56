// generator/propagate.cpp: the event queue and the four atom-event handlers
// that keep the counters of rules, constraints and weak constraints and the
// support counts exact, with the constraint, weak-constraint and support
// steps they trigger.
#include "generator/modelgenerator.h"

namespace veltra {

// ---------------------------------------------------------------------------
// Assignments: log, store, count, queue. Callers apply them to atoms in the
// state each one expects (undefined, or must-be-true for setSupported).

void MODELGENERATOR::countMustBeTrueSupport(int32_t atom) {
    if (supportCount.empty()) return;
    if (supportCount[atom] == 2)
        ++currentInfo.madeMustBeTrueSupport2;
    else if (supportCount[atom] == 3)
        ++currentInfo.madeMustBeTrueSupport3;
}

// The lists an event's handler starts with, requested from memory when the
// event is queued: other events run before it, and by its turn they are near.
void MODELGENERATOR::prefetchOccurrences(int32_t atom) {
    if (!eventLists.empty()) __builtin_prefetch(eventRun(atom));
}

void MODELGENERATOR::setFalse(int32_t atom, INTERPRETATION& I, REASON why) {
    prefetchOccurrences(atom);
    ++currentInfo.atomsDecided;
    noteAssignment(atom, why, I);
    logAssignment(atom, I);
    I.values[atom] = TV_FALSE;
    eventQueue.push(EVENT{TV_FALSE, atom});
}

void MODELGENERATOR::setMustBeTrue(int32_t atom, INTERPRETATION& I, REASON why) {
    prefetchOccurrences(atom);
    ++currentInfo.atomsDecided;
    noteAssignment(atom, why, I);
    ++currentInfo.madeMustBeTrue;
    countMustBeTrueSupport(atom);
    logAssignment(atom, I);
    ++I.mustBeTrueCount;
    I.values[atom] = TV_MUSTBETRUE;
    eventQueue.push(EVENT{TV_MUSTBETRUE, atom});
}

void MODELGENERATOR::setTrueDirectly(int32_t atom, INTERPRETATION& I, REASON why) {
    prefetchOccurrences(atom);
    ++currentInfo.atomsDecided;
    noteAssignment(atom, why, I);
    logAssignment(atom, I);
    I.values[atom] = TV_ASSUMED;
    countTrueElement(atom);
    eventQueue.push(EVENT{TV_ASSUMED, atom});
}

void MODELGENERATOR::setSupported(int32_t atom, INTERPRETATION& I, REASON why) {
    ++currentInfo.madeTrue;
    if (notingReasons) upgradeReasonOf[atom] = why;  // the level and reason of must-be-true stay
    if (supportCount[atom] == 2)
        ++currentInfo.madeTrueSupport2;
    else if (supportCount[atom] == 3)
        ++currentInfo.madeTrueSupport3;
    logAssignment(atom, I);
    --I.mustBeTrueCount;
    I.values[atom] = TV_TRUE;
    countTrueElement(atom);
    eventQueue.push(EVENT{TV_TRUE, atom});
}

void MODELGENERATOR::queueComponentForGUS(int32_t component) {
    if (!gusActive || component < 0 || gusQueued[component] || !componentQualifiesForGUS(component)) return;
    gusQueued[component] = 1;
    gusComponentQueue.push_back(component);
    if (recordingReads) lookaheadReadComponent = true;
}

// ---------------------------------------------------------------------------
// The event loop.

void MODELGENERATOR::conflictCleanup() {
    eventQueue.clear();
    if (gusActive) {
        for (int32_t c : gusComponentQueue) gusQueued[c] = 0;
        gusComponentQueue.clear();
    }
}

// Whether the heaviest weak constraint of some level could push cost over
// the bound; when none can, re-testing them all finds nothing.
bool MODELGENERATOR::someWeakConstraintCanExceed(const COSTVECTOR& cost) const {
    for (size_t slot = 0; slot < maxWeakWeight.size(); ++slot)
        if (costTooHighWith(cost, int32_t(slot), maxWeakWeight[slot])) return true;
    return false;
}

bool MODELGENERATOR::propagateEvents(INTERPRETATION& I) {
    conflictSeeds.clear();
    for (;;) {
        costRaised = false;
        while (!eventQueue.empty()) {
            EVENT e = eventQueue.pop();
            prefetchNextEvent();
            bool ok;
            switch (e.value) {
            case TV_FALSE: ok = onFalse(e.atom, I); break;
            case TV_MUSTBETRUE: ok = onMustBeTrue(e.atom, I); break;
            case TV_TRUE: ok = onTrueSupported(e.atom, I); break;
            default: ok = onTrueAssumed(e.atom, I); break;
            }
            if (!ok) {
                conflictCleanup();
                return false;
            }
        }
        // The unfounded-set step on every queued component, before the
        // events it produces.
        for (size_t k = 0; k < gusComponentQueue.size(); ++k) {
            const int32_t c = gusComponentQueue[k];
            const bool ok = computeUnfoundedSet(c, I);
            gusQueued[c] = 0;
            if (!ok) {
                gusComponentQueue.erase(gusComponentQueue.begin(), gusComponentQueue.begin() + ptrdiff_t(k + 1));
                conflictCleanup();
                return false;
            }
        }
        gusComponentQueue.clear();
        if (costRaised && someWeakConstraintCanExceed(I.cost)) {
            for (size_t w = 0; w < groundWeakConstraints->size(); ++w) {
                GROUNDWEAKCONSTRAINT& wc = (*groundWeakConstraints)[w];
                if (constraintSatisfied(wc) == 0 && weakConstraintExceedsBound(int32_t(w), I.cost))
                    falsifyLastWeakLiteral(int32_t(w), I);
            }
        }
        if (eventQueue.empty()) return true;
    }
}

// ---------------------------------------------------------------------------
// Constraints and weak constraints.

namespace {

// The list of atom a, read without the offsets when no atom has one (no
// negated body literal, no weak constraint...): those would be one more
// cache miss per event.
template <class T>
inline LISTVIEW<T> occurrencesOf(const OCCURRENCES<T>& lists, int32_t a) {
    return lists.items.empty() ? LISTVIEW<T>() : lists[size_t(a)];
}

}  // namespace

bool MODELGENERATOR::constraintTest(uint32_t* c, INTERPRETATION& I) {
    const uint32_t open = c[CONSTRAINT_OPENPOS] + c[CONSTRAINT_OPENNEG];
    if (open >= 2) return true;
    const REASON why{REASON_CONSTRAINT, int32_t(c[CONSTRAINT_INDEX])};
    if (open == 0) {  // every literal holds
        conflictSeeds.push_back(why);
        return false;
    }
    const uint32_t* atoms = c + CONSTRAINT_ATOMS;
    const uint32_t positive = c[CONSTRAINT_POSITIVE];
    if (c[CONSTRAINT_OPENPOS] == 1) {
        for (uint32_t i = 0; i < positive; ++i)
            if (I.values[atoms[i]] == TV_UNDEFINED) {
                setFalse(int32_t(atoms[i]), I, why);
                break;
            }
    } else {
        for (uint32_t i = positive; i < positive + c[CONSTRAINT_NEGATIVE]; ++i)
            if (I.values[atoms[i]] == TV_UNDEFINED) {
                setMustBeTrue(int32_t(atoms[i]), I, why);
                break;
            }
    }
    return true;
}

bool MODELGENERATOR::weakConstraintTest(int32_t weak, INTERPRETATION& I) {
    GROUNDWEAKCONSTRAINT& w = (*groundWeakConstraints)[weak];
    const uint32_t open = openPos(w) + openNeg(w);
    if (open == 1) {
        if (weakConstraintExceedsBound(weak, I.cost)) falsifyLastWeakLiteral(weak, I);
        return true;
    }
    if (open != 0) return true;
    // Violated: the cost rises by the weight at its level.
    const int32_t slot = weakSlot[weak];
    if (I.recording) I.costLog.push_back(COSTLOGENTRY{slot, I.cost.values[slot]});
    I.cost.values[slot] += weakWeight[weak];
    if (costTooHigh(I.cost)) return false;
    costRaised = true;
    return true;
}

// Marks the constraints satisfied (one listed twice is marked once),
// counting in a local. A long list is gathered first without a branch per
// mark (in some programs most of a false atom's constraints are marked
// already, in others most are not: no pattern a branch predictor could
// learn); a short one costs less tested in a plain loop.
inline void MODELGENERATOR::satisfyConstraints(LISTVIEW<uint32_t> handles) {
    if (handles.empty()) return;
    int32_t newly = 0;
    counterTrail.openLevel(level);
    auto mark = [&](uint32_t h) {
        uint32_t& word = constraintSatisfiedBits[satisfiedWord(h)];
        const uint32_t bit = satisfiedBit(h);
        if ((word & bit) == 0) {
            counterTrail.pushOnTop(&word);
            word |= bit;
            ++newly;
        }
        return true;
    };
    if (handles.size() <= 8)
        for (uint32_t h : handles) mark(h);
    else
        forUnsatisfiedConstraints(handles, mark);
    currentInfo.itemsSatisfied += newly;
    currentInfo.itemsSatisfiedClosed += newly;
}

void MODELGENERATOR::satisfyWeakConstraint(int32_t weak) {
    GROUNDWEAKCONSTRAINT& w = (*groundWeakConstraints)[weak];
    if (constraintSatisfied(w) != 0) return;
    setCounter(constraintSatisfied(w), 1);
    if (currentInfo.satisfiedWeakCost) currentInfo.satisfiedWeakCost->values[weakSlot[weak]] += weakWeight[weak];
}

// ---------------------------------------------------------------------------
// Rule steps shared by the handlers.

// The body of rule is true and a head atom must be true: the first
// must-be-true head atom becomes supported, unless a head atom is true.
bool MODELGENERATOR::supportStep(GROUNDRULE& rule, INTERPRETATION& I) {
    const LISTVIEW<int32_t> hs = headAtoms(rule);
    size_t k = 0;
    for (; k < hs.size(); ++k) {
        int32_t v = I.values[hs[k]];
        if (isTrueValue(v)) return true;
        if (v == TV_MUSTBETRUE) break;
    }
    if (k == hs.size()) return true;
    const int32_t h = hs[k];
    // h has no other support, and a second must-be-true head atom will take
    // this rule's support away.
    if (supportCount[h] == 1 && mustBeTrueHead(rule) > 1) {
        noteConflict(REASON_RULE, ruleIndex(rule));
        noteConflict(REASON_SUPPORT, h);
        return false;
    }
    for (size_t j = k + 1; j < hs.size(); ++j)
        if (isTrueValue(I.values[hs[j]])) return true;
    setSupported(h, I, REASON{REASON_RULE, ruleIndex(rule)});
    if (inHeadCycleComponent(h)) ++currentInfo.madeTrueInHeadCycles;
    markForCheck(h);
    return true;
}

// A body literal of rule became true (event 1 for a negated literal, 4 or 8
// for a positive one).
bool MODELGENERATOR::bodyUpdate(GROUNDRULE& rule, bool positive, int32_t event, INTERPRETATION& I) {
    if (ruleStatus(rule) & 1) return true;
    uint32_t& open = positive ? openPosBody(rule) : openNegBody(rule);
    setCounter(open, open - 1);
    if (positive && open == 0 && offerIndexActive && ruleStatus(rule) == 0)
        markOffer(size_t(&rule - groundRules->data()));
    if (ruleStatus(rule) == 2 && openPosBody(rule) == 0 && openNegBody(rule) == 0 && !rule.notHeadCycle)
        ++currentInfo.headCycleRulesSupported;
    if (ruleStatus(rule) != 0) return true;
    if (event == TV_TRUE) setCounter(mustBeTruePosBody(rule), mustBeTruePosBody(rule) - 1);
    if (undefinedLiterals(rule) < 2) {
        if (!propagateRule(rule, I)) return false;
    } else if (mustBeTrueHead(rule) != 0 && openPosBody(rule) == 0 && openNegBody(rule) == 0) {
        if (!supportStep(rule, I)) return false;
    }
    if (event != TV_TRUE && bodyUndefined(rule) == 0) ++currentInfo.itemsClosed;
    return true;
}

// Rule (status 0) gets its first true head atom (events 4 and 8).
bool MODELGENERATOR::firstTrueHead(GROUNDRULE& rule, int32_t atom, INTERPRETATION& I) {
    if (openHead(rule) == 0 || bodyUndefined(rule) == 0) ++currentInfo.itemsSatisfiedClosed;
    ++currentInfo.itemsSatisfied;
    setCounter(ruleStatus(rule), 2);
    if (openNegBody(rule) == 0 && openPosBody(rule) == 0 && !rule.notHeadCycle)
        ++currentInfo.headCycleRulesSupported;
    return onRuleHeadTrue(rule, atom, I);
}

// Rule (status not 0) gets another true head atom: the former sole true
// head atom loses this rule's support.
bool MODELGENERATOR::furtherTrueHead(GROUNDRULE& rule, INTERPRETATION& I) {
    (void)I;
    if (ruleStatus(rule) == 1) setCounter(ruleStatus(rule), 3);
    if (soleTrueHead(rule) == 0) return true;
    const int32_t h0 = headAtoms(rule)[soleTrueHead(rule) - 1];
    setSupport(h0, supportCount[h0] - 1);
    queueComponentForGUS(gdg->componentOfSlot(h0));
    if (supportCount[h0] == 0) {
        noteConflict(REASON_SUPPORT, h0);
        return false;
    }
    setCounter(soleTrueHead(rule), 0);
    return true;
}

bool MODELGENERATOR::ruleBodyFalseForAll(LISTVIEW<uint32_t> rules, INTERPRETATION& I) {
    for (uint32_t k : rules)
        if (!onRuleBodyFalse(ruleAt(k), I)) return false;
    return true;
}

// a's literals in the constraints and weak constraints not yet satisfied
// became false (positive: a's positive literals, else its negated ones): one
// open literal less each, then the constraint's test.
bool MODELGENERATOR::shortenConstraints(int32_t a, bool positive, INTERPRETATION& I) {
    const LISTVIEW<uint32_t> constraints =
        eventList(eventRun(a), positive ? EVENTS_POSCONSTRAINT : EVENTS_NEGCONSTRAINT);
    prefetchConstraints(constraints);
    // Each constraint not satisfied loads its record anyway: no gathering.
    for (uint32_t h : constraints) {
        if (constraintSatisfiedAt(h) != 0) continue;
        uint32_t* c = constraintAt(h);
        uint32_t& open = c[positive ? CONSTRAINT_OPENPOS : CONSTRAINT_OPENNEG];
        setCounter(open, open - 1);
        if (!constraintTest(c, I)) return false;
    }
    for (int32_t w : occurrencesOf(positive ? posWeakOccurrences : negWeakOccurrences, a)) {
        GROUNDWEAKCONSTRAINT& wc = (*groundWeakConstraints)[w];
        if (constraintSatisfied(wc) != 0) continue;
        uint32_t& open = positive ? openPos(wc) : openNeg(wc);
        setCounter(open, open - 1);
        if (!weakConstraintTest(w, I)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The four handlers.

// The records a handler is about to visit, requested from memory all at
// once: records of neighbouring atoms lie far apart, and loading them one by
// one would wait for each in turn.
void MODELGENERATOR::prefetchConstraints(LISTVIEW<uint32_t> handles) {
    for (uint32_t h : handles) __builtin_prefetch(constraintAt(h), 1);
}

// The records the next queued event's handler starts with, requested while
// this one runs: its lists were requested when it was queued, and by now are
// near, while its records would otherwise be requested only on its turn. A
// false atom reads only the satisfied marks of its positive constraints,
// which lie close together.
void MODELGENERATOR::prefetchNextEvent() {
    if (eventQueue.empty() || eventLists.empty()) return;
    const EVENT& next = eventQueue.events[eventQueue.head];
    if (next.value == TV_TRUE) return;
    const uint32_t* run = eventRun(next.atom);
    if (next.value != TV_FALSE) prefetchConstraints(eventList(run, EVENTS_POSCONSTRAINT));
    prefetchRules(eventList(run, EVENTS_HEAD));
}

void MODELGENERATOR::prefetchRules(LISTVIEW<uint32_t> rules) const {
    for (uint32_t k : rules) __builtin_prefetch(&ruleAt(k).counters[0], 1);
}

bool MODELGENERATOR::onFalse(int32_t a, INTERPRETATION& I) {
    const uint32_t* run = eventRun(a);
    const LISTVIEW<uint32_t> heads = eventList(run, EVENTS_HEAD), positive = eventList(run, EVENTS_POSCONSTRAINT);
    prefetchRules(heads);
    if (isAggregateAtom(a))
        onAggregateAtomFalse(a, I);
    else if (!aggregateMemberships.items.empty() && !updateAggregatesOf(a, false, I))
        return false;
    if (!ruleBodyFalseForAll(eventList(run, EVENTS_POSBODY), I)) return false;
    satisfyConstraints(positive);
    for (int32_t w : occurrencesOf(posWeakOccurrences, a)) satisfyWeakConstraint(w);
    for (uint32_t k : eventList(run, EVENTS_NEGBODY))
        if (!bodyUpdate(ruleAt(k), false, TV_FALSE, I)) return false;
    for (uint32_t k : heads) {
        GROUNDRULE& r = ruleAt(k);
        if (ruleStatus(r) != 0) continue;
        setCounter(openHead(r), openHead(r) - 1);
        if (undefinedLiterals(r) < 2 && !propagateRule(r, I)) return false;
        if (openHead(r) == 0) ++currentInfo.itemsClosed;
    }
    return shortenConstraints(a, false, I);
}

bool MODELGENERATOR::onMustBeTrue(int32_t a, INTERPRETATION& I) {
    const uint32_t* run = eventRun(a);
    const LISTVIEW<uint32_t> heads = eventList(run, EVENTS_HEAD);
    prefetchConstraints(eventList(run, EVENTS_POSCONSTRAINT));
    prefetchRules(heads);
    if (gusActive) noteHeadAssigned(a);
    if (isAggregateAtom(a))
        onAggregateAtomMustBeTrue(a, I);
    else if (!aggregateMemberships.items.empty() && !updateAggregatesOf(a, true, I))
        return false;
    if (!ruleBodyFalseForAll(eventList(run, EVENTS_NEGBODY), I)) return false;
    satisfyConstraints(eventList(run, EVENTS_NEGCONSTRAINT));
    for (int32_t w : occurrencesOf(negWeakOccurrences, a)) satisfyWeakConstraint(w);
    if (supportCount[a] == 1 && !forceSingleSupport(a, I)) return false;
    for (uint32_t k : heads) {
        GROUNDRULE& r = ruleAt(k);
        if (ruleStatus(r) != 0) continue;
        setCounter(mustBeTrueHead(r), mustBeTrueHead(r) + 1);
        if (openPosBody(r) == 0 && openNegBody(r) == 0 && !supportStep(r, I)) return false;
    }
    for (uint32_t k : eventList(run, EVENTS_POSBODY)) {
        GROUNDRULE& r = ruleAt(k);
        if (ruleStatus(r) != 0) continue;
        setCounter(mustBeTruePosBody(r), mustBeTruePosBody(r) + 1);
        if (undefinedLiterals(r) < 2 && !propagateRule(r, I)) return false;
        if (bodyUndefined(r) == 0) ++currentInfo.itemsClosed;
    }
    return shortenConstraints(a, true, I);
}

// a was must-be-true: constraints, weak constraints, negated body literals
// and aggregates were brought up to date then and are not visited again.
bool MODELGENERATOR::onTrueSupported(int32_t a, INTERPRETATION& I) {
    const uint32_t* run = eventRun(a);
    if (gusActive) noteHeadAssigned(a);
    for (uint32_t k : eventList(run, EVENTS_HEAD)) {
        GROUNDRULE& r = ruleAt(k);
        bool ok = ruleStatus(r) == 0 ? firstTrueHead(r, a, I) : furtherTrueHead(r, I);
        if (!ok) return false;
    }
    if (supportCount[a] == 1 && !forceSingleSupport(a, I)) return false;
    for (uint32_t k : eventList(run, EVENTS_POSBODY))
        if (!bodyUpdate(ruleAt(k), true, TV_TRUE, I)) return false;
    return true;
}

bool MODELGENERATOR::onTrueAssumed(int32_t a, INTERPRETATION& I) {
    const uint32_t* run = eventRun(a);
    const LISTVIEW<uint32_t> heads = eventList(run, EVENTS_HEAD);
    prefetchConstraints(eventList(run, EVENTS_POSCONSTRAINT));
    prefetchRules(heads);
    if (gusActive) noteHeadAssigned(a);
    if (!aggregateMemberships.items.empty() && !updateAggregatesOf(a, true, I)) return false;
    if (!ruleBodyFalseForAll(eventList(run, EVENTS_NEGBODY), I)) return false;
    for (uint32_t k : heads) {
        GROUNDRULE& r = ruleAt(k);
        bool ok = ruleStatus(r) == 0 ? firstTrueHead(r, a, I) : furtherTrueHead(r, I);
        if (!ok) return false;
    }
    satisfyConstraints(eventList(run, EVENTS_NEGCONSTRAINT));
    for (int32_t w : occurrencesOf(negWeakOccurrences, a)) satisfyWeakConstraint(w);
    if (supportCount[a] == 1 && !forceSingleSupport(a, I)) return false;
    for (uint32_t k : eventList(run, EVENTS_POSBODY))
        if (!bodyUpdate(ruleAt(k), true, TV_ASSUMED, I)) return false;
    return shortenConstraints(a, true, I);
}

}  // namespace veltra
