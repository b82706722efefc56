// generator/lookahead.cpp: the possibly-true literals of a choice level and
// their lookaheads: each literal (and its complement) is assumed, propagated
// and undone, and what the propagation did ranks it; a failed lookahead
// proves the opposite literal, which is asserted at once.
#include <algorithm>

#include "generator/heuristics.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// Set while a computation under --pospts also takes negative literals: the
// level had no positive one left but must-be-true atoms, which only a
// negated body literal taken true can still support.
bool negativeFallback = false;

}  // namespace

// ---------------------------------------------------------------------------
// Possibly-true literals.

bool MODELGENERATOR::isPositivePossiblyTrue(int32_t a, const INTERPRETATION& I) const {
    if (I.values[a] != TV_UNDEFINED) return false;
    if (programHasAggregates && isAggregateAtom(a)) {
        // An aggregate atom is worth trying when it feeds a recursion.
        const int32_t c = gdg->componentOfSlot(a);
        for (GROUNDRULE* r : posBodyOccurrences[a])
            for (ATOMID h : *r->head)
                if (h != a && gdg->componentOfSlot(h) == c) return true;
        return false;
    }
    for (GROUNDRULE* r : headOccurrences[a])
        if (ruleStatus(*r) == 0 && openPosBody(*r) == 0 && openNegBody(*r) == 0) return true;
    return false;
}

bool MODELGENERATOR::positivePossiblyTrue(int32_t a, const INTERPRETATION& I) const {
    if (settings.negativePT) return isPositivePossiblyTrue(a, I);
    if (I.values[a] != TV_UNDEFINED) return false;
    for (GROUNDRULE* r : headOccurrences[a])
        if (ruleStatus(*r) == 0 && openPosBody(*r) == 0) return true;
    return false;
}

bool MODELGENERATOR::negativePossiblyTrue(int32_t a, const INTERPRETATION& I) const {
    if (!(settings.negativePT || negativeFallback) || I.values[a] != TV_UNDEFINED) return false;
    for (GROUNDRULE* r : negBodyOccurrences[a])
        if (ruleStatus(*r) == 0 && openPosBody(*r) == 0) return true;
    return false;
}

void MODELGENERATOR::countBinaryOccurrences(int32_t a, bool negativeSide) {
    int32_t count = 0;
    auto rules = [&count](LISTVIEW<GROUNDRULE*> list) {
        for (GROUNDRULE* r : list)
            if (ruleStatus(*r) == 0 && undefinedLiterals(*r) == 2) ++count;
    };
    auto constraints = [&count](LISTVIEW<GROUNDCONSTRAINT*> list) {
        for (GROUNDCONSTRAINT* c : list)
            if (constraintSatisfied(*c) == 0 && openPos(*c) + openNeg(*c) == 2) ++count;
    };
    if (!negativeSide) {
        rules(posBodyOccurrences[a]);
        constraints(posConstraintOccurrences[a]);
        ptPositiveWeight[a] += count;
    } else {
        rules(headOccurrences[a]);
        rules(negBodyOccurrences[a]);
        constraints(negConstraintOccurrences[a]);
        ptNegativeWeight[a] += count;
    }
}

bool MODELGENERATOR::computePossiblyTrue(PTCANDIDATES& list, INTERPRETATION& I) {
    list.clear();
    bool first = true;
    const int32_t n = int32_t(I.values.size());
    for (;;) {
        // Counting pass: the weights of the literals not tried yet.
        uint64_t count = 0, sum = 0;
        for (int32_t a = 0; a < n; ++a) {
            if (!ptTriedPositive[a] && positivePossiblyTrue(a, I)) {
                countBinaryOccurrences(a, false);
                ++count;
                sum += uint64_t(uint32_t(ptPositiveWeight[a])) + uint32_t(ptNegativeWeight[a]);
            }
            if (!ptTriedNegative[a] && negativePossiblyTrue(a, I)) {
                countBinaryOccurrences(a, true);
                ++count;
                sum += uint64_t(uint32_t(ptPositiveWeight[a])) + uint32_t(ptNegativeWeight[a]);
            }
        }
        // From level 2 on only literals of at least average weight.
        uint64_t average = 0;
        if (count != 0 && level >= 2 && sum != 0) average = std::max<uint64_t>(sum / count, 1);

        // Lookahead pass.
        uint32_t consistent = 0, failed = 0;
        for (int32_t a = 0; a < n; ++a) {
            const uint64_t weight = uint64_t(uint32_t(ptPositiveWeight[a])) + uint32_t(ptNegativeWeight[a]);
            if (weight < average) continue;
            for (int side = 0; side < 2; ++side) {
                const bool negative = side == 1;
                if (negative ? ptTriedNegative[a] : ptTriedPositive[a]) continue;
                if (!(negative ? negativePossiblyTrue(a, I) : positivePossiblyTrue(a, I))) continue;
                if (first) {
                    ++choicePoints;
                    first = false;
                }
                if (!lookaheadLiteral(list, a, negative, consistent, failed, I)) return false;
            }
        }
        // Every lookahead failed: the interpretation changed, try again.
        if (consistent > 0 || failed == 0) return true;
    }
}

bool MODELGENERATOR::candidateStillPossiblyTrue(const PTCANDIDATE& e, const INTERPRETATION& I) const {
    if (!e.negative) return positivePossiblyTrue(e.atom, I);
    // A negative entry under --pospts comes from the fallback.
    const bool saved = negativeFallback;
    negativeFallback = true;
    const bool possible = negativePossiblyTrue(e.atom, I);
    negativeFallback = saved;
    return possible;
}

bool MODELGENERATOR::nextPossiblyTrueChoice(PTCANDIDATES& list, INTERPRETATION& I) {
    for (;;) {
        while (!list.candidates.empty() && !candidateStillPossiblyTrue(*list.candidates.front(), I)) list.remove(0);
        if (!list.candidates.empty()) return true;
        std::fill(ptTriedPositive.begin(), ptTriedPositive.end(), false);
        std::fill(ptTriedNegative.begin(), ptTriedNegative.end(), false);
        std::fill(ptPositiveWeight.begin(), ptPositiveWeight.end(), 0);
        std::fill(ptNegativeWeight.begin(), ptNegativeWeight.end(), 0);
        bool ok = computePossiblyTrue(list, I);
        // Under --pospts a must-be-true atom whose last open rule waits only
        // for negated literals would be left unsupported, and the candidate
        // dropped with it: its negated literals become candidates too.
        if (ok && list.candidates.empty() && !settings.negativePT && I.mustBeTrueCount > 0) {
            negativeFallback = true;
            ok = computePossiblyTrue(list, I);
            negativeFallback = false;
        }
        if (!ok) {
            ++pruningLookaheads;
            return false;
        }
        if (list.candidates.empty()) {
            list.done = true;
            return true;
        }
    }
}

// ---------------------------------------------------------------------------
// Lookaheads.

bool MODELGENERATOR::lookaheadLiteral(PTCANDIDATES& list, int32_t a, bool negative, uint32_t& consistent,
                                      uint32_t& failed, INTERPRETATION& I) {
    // The literal and, with --complpt, its complement.
    if (negative)
        ptTriedNegative[a] = true;
    else
        ptTriedPositive[a] = true;
    HEURISTICINFO* complement = settings.complementPT ? &complementLookaheadInfo : nullptr;
    if (!lookaheadBothSides(a, negative, I, &lookaheadInfo, complement)) {
        ++failed;
        return applyPendingComplements(I);
    }
    ++consistent;
    considerCandidate(list, a, negative, lookaheadInfo, complement, heuristicCriteria, combineKinds,
                      settings.complementPT);

    // The twin head atom: a's only supporting rule has a true body and one
    // other open head atom h; h true is equivalent to a false and vice versa.
    if (!settings.complementPT || negative || supportCount[a] != 1) return true;
    GROUNDRULE* r = nullptr;
    for (GROUNDRULE* x : headOccurrences[a]) {
        const uint32_t sole = soleTrueHead(*x);
        if ((ruleStatus(*x) == 0 && sole == 0) || (sole != 0 && (*x->head)[sole - 1] == a)) {
            r = x;
            break;
        }
    }
    if (!r || openHead(*r) != 2 || openPosBody(*r) + openNegBody(*r) != 0) return true;
    int32_t h = -1;
    for (ATOMID x : *r->head)
        if (x != a && I.values[x] == TV_UNDEFINED) {
            h = x;
            break;
        }
    if (h < 0 || ptTriedPositive[h]) return true;
    ptTriedPositive[h] = true;
    if (supportCount[h] != 1) {
        if (!lookaheadBothSides(h, false, I, nullptr, &lookaheadInfo)) {
            ++failed;
            return applyPendingComplements(I);
        }
        ++consistent;
    }
    considerCandidate(list, h, false, complementLookaheadInfo, &lookaheadInfo, heuristicCriteria, combineKinds,
                      settings.complementPT);
    return true;
}

bool MODELGENERATOR::lookaheadBothSides(int32_t a, bool negative, INTERPRETATION& I, HEURISTICINFO* first,
                                        HEURISTICINFO* second) {
    const size_t checkCount = checkAtomList.size();
    bool failed = false;
    if (first) {
        ++lookaheadsPerformed;
        failed = assumeAndPropagate(a, negative, !negative, I);
        if (!failed)
            copyRecord(*first, currentInfo);
        else
            ++inconsistentLookaheads;
    }
    if (second && !failed) {
        ++lookaheadsPerformed;
        failed = assumeAndPropagate(a, !negative, false, I);
        if (!failed)
            copyRecord(*second, currentInfo);
        else
            ++inconsistentLookaheads;
    }
    while (checkAtomList.size() > checkCount) {
        (*checkAtoms)[checkAtomList.back()] = 0;
        checkAtomList.pop_back();
    }
    return !failed;
}

bool MODELGENERATOR::assumeAndPropagate(int32_t a, bool assumeFalse, bool setTrue, INTERPRETATION& I) {
    // A kept record of the same assumption stands for the propagation.
    const uint32_t slot = uint32_t(a) * 3 + (assumeFalse ? 0 : setTrue ? 1 : 2);
    if (lookaheadCacheOn) {
        syncLookaheadCache(I);
        const LOOKAHEADSLOT& kept = lookaheadSlots[slot];
        if (kept.valid) {
            int32_t* f[12] = {&currentInfo.madeTrue, &currentInfo.madeTrueSupport2, &currentInfo.madeTrueSupport3,
                              &currentInfo.madeMustBeTrue, &currentInfo.madeMustBeTrueSupport2,
                              &currentInfo.madeMustBeTrueSupport3, &currentInfo.itemsSatisfied,
                              &currentInfo.itemsSatisfiedClosed, &currentInfo.itemsClosed, &currentInfo.atomsDecided,
                              &currentInfo.headCycleRulesSupported, &currentInfo.madeTrueInHeadCycles};
            for (int i = 0; i < 12; ++i) *f[i] = kept.counters[i];
            return false;
        }
    }
    ++lookaheadsRun;

    // A level of its own and a fresh record.
    I.pushMarkers();
    const size_t logStart = I.atomLog.size();
    ++level;
    currentInfo.clearCounters();
    if (currentInfo.resultingCost)
        std::fill(currentInfo.resultingCost->values.begin(), currentInfo.resultingCost->values.end(), 0);
    if (currentInfo.satisfiedWeakCost)
        std::fill(currentInfo.satisfiedWeakCost->values.begin(), currentInfo.satisfiedWeakCost->values.end(), 0);

    // The assumption and what follows.
    assert(I.values[a] == TV_UNDEFINED);
    assignChoice(a, assumeFalse ? TV_FALSE : setTrue ? TV_ASSUMED : TV_MUSTBETRUE, I);
    recordingReads = lookaheadCacheOn;
    lookaheadReadComponent = false;
    forcedSupportAtoms.clear();
    const bool ok = propagateEvents(I);
    recordingReads = false;
    if (currentInfo.resultingCost) currentInfo.resultingCost->values = I.cost.values;
    if (ok && lookaheadCacheOn && !lookaheadReadComponent) keepLookahead(slot, I, logStart);

    // Undo everything the lookahead changed.
    --level;
    if (gusActive) unparkUndoneAtoms(I);
    I.undoToMarkers();
    counterTrail.undoTo(level);
    supportTrail.undoTo(level);
    if (!aggregateTrail.entries.empty()) aggregateTrail.undoTo(level);

    // A failed assumption proves its complement.
    if (!ok) pendingComplements.push(EVENT{assumeFalse ? TV_MUSTBETRUE : TV_FALSE, a});
    if (lookaheadCacheOn && keptRecords >= 1024 && keptWatches > 3 * keptAssignments) stopLookaheadCache();
    return !ok;
}

bool MODELGENERATOR::applyPendingComplements(INTERPRETATION& I) {
    while (!pendingComplements.empty()) {
        const EVENT e = pendingComplements.pop();
        const int32_t v = I.values[e.atom];
        if (v == TV_UNDEFINED) {
            if (e.value == TV_FALSE)
                setFalse(e.atom, I);
            else
                setMustBeTrue(e.atom, I);
        } else if ((e.value == TV_FALSE) != (v == TV_FALSE)) {
            pendingComplements.clear();
            return false;
        }
    }
    return propagateEvents(I);
}

// ---------------------------------------------------------------------------
// Kept lookahead records.

void MODELGENERATOR::startLookaheadCache() {
    const size_t n = groundAtomCount;
    lookaheadCacheOn = settings.useHeuristics && !programHasAggregates && groundWeakConstraints->empty() &&
                       !currentInfo.resultingCost && !currentInfo.satisfiedWeakCost;
    if (!lookaheadCacheOn) return;
    lookaheadSlots.assign(3 * n, LOOKAHEADSLOT());
    valueWatches.assign(n, {});
    supportWatches.assign(n, {});
    valueWatchMark.assign(n, 0);
    supportWatchMark.assign(n, 0);
    watchStamp = 0;
    keptRecords = keptWatches = keptAssignments = 0;
    atomLogSynced = 0;
    supportTrailSynced = 0;
}

void MODELGENERATOR::stopLookaheadCache() {
    lookaheadCacheOn = false;
    std::vector<LOOKAHEADSLOT>().swap(lookaheadSlots);
    std::vector<std::vector<WATCH>>().swap(valueWatches);
    std::vector<std::vector<WATCH>>().swap(supportWatches);
    std::vector<uint32_t>().swap(valueWatchMark);
    std::vector<uint32_t>().swap(supportWatchMark);
}

namespace {

void dropWatchers(std::vector<MODELGENERATOR::WATCH>& watches, std::vector<MODELGENERATOR::LOOKAHEADSLOT>& slots) {
    for (const MODELGENERATOR::WATCH& w : watches) {
        MODELGENERATOR::LOOKAHEADSLOT& s = slots[w.slot];
        if (s.version == w.version) s.valid = false;
    }
    watches.clear();
}

// Adds a watch; a list that doubled is first rid of the watches of records
// dropped or recomputed since, so lists stay proportional to live records.
void addWatch(std::vector<MODELGENERATOR::WATCH>& watches, const std::vector<MODELGENERATOR::LOOKAHEADSLOT>& slots,
              uint32_t slot, uint32_t version) {
    const size_t n = watches.size();
    if (n >= 16 && (n & (n - 1)) == 0) {
        size_t k = 0;
        for (const MODELGENERATOR::WATCH& w : watches)
            if (slots[w.slot].valid && slots[w.slot].version == w.version) watches[k++] = w;
        watches.resize(k);
    }
    watches.push_back(MODELGENERATOR::WATCH{slot, version});
}

}  // namespace

void MODELGENERATOR::dropValueWatchers(int32_t atom) {
    if (!valueWatches[atom].empty()) dropWatchers(valueWatches[atom], lookaheadSlots);
}

void MODELGENERATOR::dropSupportWatchers(int32_t atom) {
    if (!supportWatches[atom].empty()) dropWatchers(supportWatches[atom], lookaheadSlots);
}

void MODELGENERATOR::syncLookaheadCache(const INTERPRETATION& I) {
    for (; atomLogSynced < I.atomLog.size(); ++atomLogSynced)
        if (I.atomLog[atomLogSynced].atom >= 0) dropValueWatchers(I.atomLog[atomLogSynced].atom);
    const auto& entries = supportTrail.entries;
    for (; supportTrailSynced < entries.size(); ++supportTrailSynced)
        if (entries[supportTrailSynced].cell)
            dropSupportWatchers(int32_t(entries[supportTrailSynced].cell - supportCount.data()));
}

void MODELGENERATOR::dropUndoneLookaheads(const INTERPRETATION& I) {
    for (size_t i = I.atomLog.size(); i-- > 0;) {
        if (I.atomLog[i].atom < 0) break;
        dropValueWatchers(I.atomLog[i].atom);
    }
    if (level < supportTrail.topLevel) {
        const auto& entries = supportTrail.entries;
        for (size_t i = entries.size(); i-- > 0;) {
            if (entries[i].cell)
                dropSupportWatchers(int32_t(entries[i].cell - supportCount.data()));
            else if (entries[i].old == level + 1)
                break;
        }
    }
}

void MODELGENERATOR::keepLookahead(uint32_t slot, const INTERPRETATION& I, size_t logStart) {
    LOOKAHEADSLOT& kept = lookaheadSlots[slot];
    const int32_t f[12] = {currentInfo.madeTrue, currentInfo.madeTrueSupport2, currentInfo.madeTrueSupport3,
                           currentInfo.madeMustBeTrue, currentInfo.madeMustBeTrueSupport2,
                           currentInfo.madeMustBeTrueSupport3, currentInfo.itemsSatisfied,
                           currentInfo.itemsSatisfiedClosed, currentInfo.itemsClosed, currentInfo.atomsDecided,
                           currentInfo.headCycleRulesSupported, currentInfo.madeTrueInHeadCycles};
    for (int i = 0; i < 12; ++i) kept.counters[i] = f[i];
    ++kept.version;
    kept.valid = true;
    const uint32_t version = kept.version;
    if (++watchStamp == 0) {
        std::fill(valueWatchMark.begin(), valueWatchMark.end(), 0);
        std::fill(supportWatchMark.begin(), supportWatchMark.end(), 0);
        watchStamp = 1;
    }
    auto value = [&](int32_t y) {
        if (valueWatchMark[y] == watchStamp) return;
        valueWatchMark[y] = watchStamp;
        ++keptWatches;
        addWatch(valueWatches[y], lookaheadSlots, slot, version);
    };
    auto support = [&](int32_t y) {
        if (supportWatchMark[y] == watchStamp) return;
        supportWatchMark[y] = watchStamp;
        ++keptWatches;
        addWatch(supportWatches[y], lookaheadSlots, slot, version);
    };
    auto rules = [&](LISTVIEW<GROUNDRULE*> list) {
        for (GROUNDRULE* r : list) {
            for (ATOMID h : *r->head) {
                value(h);
                support(h);
            }
            if (r->body)
                for (const GROUNDLITERAL& l : r->body->literals) value(l.atom);
        }
    };
    auto constraints = [&](LISTVIEW<GROUNDCONSTRAINT*> list) {
        for (GROUNDCONSTRAINT* c : list)
            for (const GROUNDLITERAL& l : c->body.literals) value(l.atom);
    };
    ++keptRecords;
    keptAssignments += I.atomLog.size() - logStart;
    for (size_t i = logStart; i < I.atomLog.size(); ++i) {
        const int32_t x = I.atomLog[i].atom;
        value(x);
        support(x);
        rules(headOccurrences[x]);
        rules(posBodyOccurrences[x]);
        rules(negBodyOccurrences[x]);
        constraints(posConstraintOccurrences[x]);
        constraints(negConstraintOccurrences[x]);
    }
    for (int32_t a : forcedSupportAtoms) rules(headOccurrences[a]);
}

}  // namespace veltra
