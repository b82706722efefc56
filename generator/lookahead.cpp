// generator/lookahead.cpp: the possibly-true literals of a choice level and
// their lookaheads: each literal (and its complement) is assumed, propagated
// and undone, and what the propagation did ranks it; a failed lookahead
// proves the opposite literal, which is asserted at once.
#include <algorithm>

#include "core/finish.h"
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
    for (uint32_t k : eventList(eventRun(a), EVENTS_HEAD)) {
        GROUNDRULE& r = ruleAt(k);
        if (ruleStatus(r) == 0 && openPosBody(r) == 0 && openNegBody(r) == 0) return true;
    }
    return false;
}

bool MODELGENERATOR::positivePossiblyTrue(int32_t a, const INTERPRETATION& I) const {
    if (settings.negativePT) return isPositivePossiblyTrue(a, I);
    if (I.values[a] != TV_UNDEFINED) return false;
    for (uint32_t k : eventList(eventRun(a), EVENTS_HEAD))
        if (ruleStatus(ruleAt(k)) == 0 && openPosBody(ruleAt(k)) == 0) return true;
    return false;
}

bool MODELGENERATOR::negativePossiblyTrue(int32_t a, const INTERPRETATION& I) const {
    if (!(settings.negativePT || negativeFallback) || I.values[a] != TV_UNDEFINED) return false;
    for (uint32_t k : eventList(eventRun(a), EVENTS_NEGBODY))
        if (ruleStatus(ruleAt(k)) == 0 && openPosBody(ruleAt(k)) == 0) return true;
    return false;
}

void MODELGENERATOR::countBinaryOccurrences(int32_t a, bool negativeSide) {
    const int32_t count = binaryOccurrences(a, negativeSide);
    if (!negativeSide)
        ptPositiveWeight[a] += count;
    else
        ptNegativeWeight[a] += count;
}

int32_t MODELGENERATOR::binaryOccurrences(int32_t a, bool negativeSide) const {
    int32_t count = 0;
    auto rules = [this, &count](LISTVIEW<uint32_t> list) {
        for (uint32_t k : list)
            if (ruleStatus(ruleAt(k)) == 0 && undefinedLiterals(ruleAt(k)) == 2) ++count;
    };
    auto constraints = [this, &count](LISTVIEW<uint32_t> list) {
        forUnsatisfiedConstraints(list, [&](uint32_t h) {
            const uint32_t* c = constraintAt(h);
            count += c[CONSTRAINT_OPENPOS] + c[CONSTRAINT_OPENNEG] == 2;
            return true;
        });
    };
    const uint32_t* run = eventRun(a);
    if (!negativeSide) {
        rules(eventList(run, EVENTS_POSBODY));
        constraints(eventList(run, EVENTS_POSCONSTRAINT));
    } else {
        rules(eventList(run, EVENTS_HEAD));
        rules(eventList(run, EVENTS_NEGBODY));
        constraints(eventList(run, EVENTS_NEGCONSTRAINT));
    }
    return count;
}

bool MODELGENERATOR::computePossiblyTrue(PTCANDIDATES& list, INTERPRETATION& I) {
    list.clear();
    return possiblyTruePasses(list, true, I);
}

bool MODELGENERATOR::possiblyTruePasses(PTCANDIDATES& list, bool first, INTERPRETATION& I) {
    const int32_t n = int32_t(I.values.size());
    for (;;) {
        // Counting pass: the weights of the literals not tried yet.
        possiblyTrueAtomsVisited += 2 * uint64_t(n);
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
        if (kept.wanted && !kept.active && lookaheadCacheOn) startKeptCandidates(I);
        bool ok;
        if (kept.active) {
            ok = computeKeptPossiblyTrue(list, I);
        } else {
            std::fill(ptTriedPositive.begin(), ptTriedPositive.end(), false);
            std::fill(ptTriedNegative.begin(), ptTriedNegative.end(), false);
            std::fill(ptPositiveWeight.begin(), ptPositiveWeight.end(), 0);
            std::fill(ptNegativeWeight.begin(), ptNegativeWeight.end(), 0);
            ok = computePossiblyTrue(list, I);
        }
        // Under --pospts a must-be-true atom whose last open rule waits only
        // for negated literals would be left unsupported, and the candidate
        // dropped with it: its negated literals become candidates too.
        if (ok && list.candidates.empty() && !settings.negativePT && I.mustBeTrueCount > 0) {
            negativeFallback = true;
            ok = computePossiblyTrue(list, I);
            negativeFallback = false;
        }
        if (lookaheadCacheOn) weighReuse();
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

void MODELGENERATOR::weighReuse() {
    // Every 64 computations: when fewer than one lookahead in eight was
    // reused since the last look, keeping records and units costs more than
    // it saves, and the run stops keeping them.
    if (++reuseComputations % 64 != 0) return;
    const uint64_t run = lookaheadsRun - reuseRunMark, performed = lookaheadsPerformed - reusePerformedMark;
    reuseRunMark = lookaheadsRun;
    reusePerformedMark = lookaheadsPerformed;
    if (run * 8 > performed * 7) stopLookaheadCache();
}

// ---------------------------------------------------------------------------
// Lookaheads.

bool MODELGENERATOR::lookaheadLiteral(PTCANDIDATES& list, int32_t a, bool negative, uint32_t& consistent,
                                      uint32_t& failed, INTERPRETATION& I) {
    // The literal and, with --complpt, its complement. In a pass over kept
    // units the unit's tried marks and entries are kept with it instead.
    if (!kept.inPass) {
        if (negative)
            ptTriedNegative[a] = true;
        else
            ptTriedPositive[a] = true;
    }
    auto rank = [&](int sub, int32_t atom, bool neg, const HEURISTICINFO& record, const HEURISTICINFO* other) {
        if (kept.inPass)
            keepEntry(kept.position, sub, atom, neg, record, other);
        else
            considerCandidate(list, atom, neg, record, other, heuristicCriteria, combineKinds, settings.complementPT);
    };
    HEURISTICINFO* complement = settings.complementPT ? &complementLookaheadInfo : nullptr;
    if (!lookaheadBothSides(a, negative, I, &lookaheadInfo, complement)) {
        ++failed;
        return applyPendingComplements(I);
    }
    ++consistent;
    rank(negative ? 2 : 0, a, negative, lookaheadInfo, complement);

    // The twin head atom: a's only supporting rule has a true body and one
    // other open head atom h; h true is equivalent to a false and vice versa.
    if (!settings.complementPT || negative || supportCount[a] != 1) return true;
    GROUNDRULE* r = nullptr;
    for (uint32_t k : eventList(eventRun(a), EVENTS_HEAD)) {
        GROUNDRULE& x = ruleAt(k);
        const uint32_t sole = soleTrueHead(x);
        if ((ruleStatus(x) == 0 && sole == 0) || (sole != 0 && headAtoms(x)[sole - 1] == a)) {
            r = &x;
            break;
        }
    }
    if (!r || openHead(*r) != 2 || openPosBody(*r) + openNegBody(*r) != 0) return true;
    int32_t h = -1;
    for (int32_t x : headAtoms(*r))
        if (x != a && I.values[x] == TV_UNDEFINED) {
            h = x;
            break;
        }
    if (h < 0 || triedPositive(h)) return true;
    if (kept.inPass)
        kept.twin[a] = h;
    else
        ptTriedPositive[h] = true;
    if (supportCount[h] != 1) {
        if (!lookaheadBothSides(h, false, I, nullptr, &lookaheadInfo)) {
            ++failed;
            return applyPendingComplements(I);
        }
        ++consistent;
    }
    rank(1, h, false, complementLookaheadInfo, &lookaheadInfo);
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
    bool verifying = false;
    if (lookaheadCacheOn) {
        syncLookaheadCache(I);
        if (slotValid(slot)) {
            const LOOKAHEADSLOT& kept = lookaheadSlots[slot];
            int32_t* f[12] = {&currentInfo.madeTrue, &currentInfo.madeTrueSupport2, &currentInfo.madeTrueSupport3,
                              &currentInfo.madeMustBeTrue, &currentInfo.madeMustBeTrueSupport2,
                              &currentInfo.madeMustBeTrueSupport3, &currentInfo.itemsSatisfied,
                              &currentInfo.itemsSatisfiedClosed, &currentInfo.itemsClosed, &currentInfo.atomsDecided,
                              &currentInfo.headCycleRulesSupported, &currentInfo.madeTrueInHeadCycles};
            if (costSlotCount == 0 || reuseCostRecord(slot, I)) {
                for (int i = 0; i < 12; ++i) *f[i] = kept.counters[i];
                if (!verifyReuse) return false;
                copyRecord(reusedRecord, currentInfo);
                verifying = true;
            }
        }
    }
    if (!verifying) ++lookaheadsRun;

    // A level of its own and a fresh record.
    I.pushMarkers();
    const size_t logStart = I.atomLog.size();
    ++level;
    currentInfo.clearCounters();
    if (currentInfo.resultingCost)
        std::fill(currentInfo.resultingCost->values.begin(), currentInfo.resultingCost->values.end(), 0);
    if (currentInfo.satisfiedWeakCost)
        std::fill(currentInfo.satisfiedWeakCost->values.begin(), currentInfo.satisfiedWeakCost->values.end(), 0);
    if (costSlotCount != 0) lookaheadStartCost.assign(I.cost.values.begin(), I.cost.values.end());

    // The assumption and what follows. Only a failed lookahead's reasons
    // are read, by backjumping: without the unfounded-set step (whose
    // sources outlive an undo) a propagation repeats exactly, so while
    // failures are rare (one lookahead run in 16 at most) one that failed is
    // undone and run again noting them.
    assert(I.values[a] == TV_UNDEFINED);
    const int32_t assumed = assumeFalse ? TV_FALSE : setTrue ? TV_ASSUMED : TV_MUSTBETRUE;
    const bool failuresCommon = uint64_t(inconsistentLookaheads) * 16 > lookaheadsRun;
    notingReasons = lookaheadReasons == REASONS_ALWAYS ||
                    (backjumpingOn &&
                     (gusActive || (lookaheadReasons == REASONS_BY_FAILURE_SHARE && failuresCommon)));
    lookaheadTrailStart = aggregateTrail.entries.size();
    lookaheadCounterStart = counterTrail.entries.size();
    assignChoice(a, assumed, I);
    recordingReads = lookaheadCacheOn;
    lookaheadReadComponent = false;
    forcedSupportAtoms.clear();
    bool ok = propagateEvents(I);
    if (!ok && backjumpingOn && !notingReasons) {
        undoLookahead(I);
        I.pushMarkers();
        ++level;
        currentInfo.clearCounters();
        notingReasons = true;
        assignChoice(a, assumed, I);
        forcedSupportAtoms.clear();
        ok = propagateEvents(I);
        if (ok) internalError("a repeated lookahead did not fail again");
    }
    notingReasons = true;
    recordingReads = false;
    if (currentInfo.resultingCost) currentInfo.resultingCost->values = I.cost.values;
    if (verifying) {
        if (!ok || lookaheadReadComponent || !sameRecord(currentInfo, reusedRecord))
            internalError("a reused lookahead record differs from its propagation");
        undoLookahead(I);
        return false;
    }
    const size_t reads = I.atomLog.size() - logStart + forcedSupportAtoms.size();  // an upper bound
    const bool affordable = reads <= LARGERECORD || reads <= largeRecordBudget;
    const bool costsKeepable = costSlotCount == 0 || !someWeakConstraintCanExceed(I.cost);
    if (ok && lookaheadCacheOn && !lookaheadReadComponent && affordable && costsKeepable &&
        (slotCounts.empty() || keepCountDelta(slot, logStart, I))) {
        if (reads > LARGERECORD) largeRecordBudget -= reads;
        if (!slotApart.empty()) keepApartDelta(slot, logStart, I);
        keepLookahead(slot, I, logStart);
        if (costSlotCount != 0) keepCostRecord(slot, I);
        if (!slotCounts.empty() && slotCounts[slot].aggregate >= 0) addCountWatch(slot);
        if (!slotApart.empty() && slotApart[slot].item >= 0) addApartWatch(slot);
    } else {
        kept.unkeptLookahead = true;
    }
    const int32_t failureSet = ok ? -1 : lookaheadFailureSet(I);
    if (failureSet >= 0) {
        const LEVELSET& s = levelSets[size_t(failureSet)];
        lookaheadFailureDigest = lookaheadFailureDigest * 1000003 + uint64_t(s.prefix);
        for (uint32_t i = s.begin; i < s.end; ++i)
            lookaheadFailureDigest = lookaheadFailureDigest * 1000003 + uint64_t(levelSetLevels[i]);
    }

    undoLookahead(I);

    // A failed assumption proves its complement.
    if (!ok) {
        pendingComplements.push(EVENT{assumeFalse ? TV_MUSTBETRUE : TV_FALSE, a});
        pendingComplementSets.push(EVENT{failureSet, a});
    }
    return !ok;
}

// The costs of a kept record, when no bound test of its propagation could
// succeed from the cost now: the record then stands for the propagation.
bool MODELGENERATOR::reuseCostRecord(uint32_t slot, const INTERPRETATION& I) {
    const uint64_t* kept = slotCosts.data() + size_t(slot) * 2 * costSlotCount;
    std::vector<uint64_t>& resulting = currentInfo.resultingCost->values;
    for (uint32_t i = 0; i < costSlotCount; ++i) resulting[i] = I.cost.values[i] + kept[i];
    if (someWeakConstraintCanExceed(*currentInfo.resultingCost)) return false;
    std::vector<uint64_t>& satisfied = currentInfo.satisfiedWeakCost->values;
    for (uint32_t i = 0; i < costSlotCount; ++i) satisfied[i] = kept[costSlotCount + i];
    return true;
}

void MODELGENERATOR::keepCostRecord(uint32_t slot, const INTERPRETATION& I) {
    uint64_t* kept = slotCosts.data() + size_t(slot) * 2 * costSlotCount;
    for (uint32_t i = 0; i < costSlotCount; ++i) {
        kept[i] = I.cost.values[i] - lookaheadStartCost[i];
        kept[costSlotCount + i] = currentInfo.satisfiedWeakCost->values[i];
    }
}

void MODELGENERATOR::undoLookahead(INTERPRETATION& I) {
    --level;
    if (gusActive) unparkUndoneAtoms(I);
    if (!extremeMemberships.items.empty()) uncountUndoneTrueElements(I);
    I.undoToMarkers();
    if (!decidedTrail.empty()) undoDecidedSuffixes();
    counterTrail.undoTo(level);
    supportTrail.undoTo(level);
    if (!aggregateTrail.entries.empty()) aggregateTrail.undoTo(level);
}

bool MODELGENERATOR::applyPendingComplements(INTERPRETATION& I) {
    while (!pendingComplements.empty()) {
        const EVENT e = pendingComplements.pop();
        const int32_t set = pendingComplementSets.pop().value;
        const REASON why = set >= 0 ? REASON{REASON_COMPLEMENT, set} : REASON();
        const int32_t v = I.values[e.atom];
        if (v == TV_UNDEFINED) {
            if (e.value == TV_FALSE)
                setFalse(e.atom, I, why);
            else
                setMustBeTrue(e.atom, I, why);
        } else if ((e.value == TV_FALSE) != (v == TV_FALSE)) {
            pendingComplements.clear();
            pendingComplementSets.clear();
            conflictSeeds.assign({why, REASON{REASON_ATOM, e.atom}});
            return false;
        }
    }
    return propagateEvents(I);
}

// ---------------------------------------------------------------------------
// Kept lookahead records.

void MODELGENERATOR::startLookaheadCache() {
    const size_t n = groundAtomCount;
    // A watch has room for a slot number below 2^31.
    // Records with costs keep two values per cost slot: up to four slots.
    const bool costs = currentInfo.resultingCost && currentInfo.satisfiedWeakCost;
    lookaheadCacheOn = reuseLookaheads && settings.useHeuristics &&
                       (!costs || currentInfo.resultingCost->size() <= 4) && 3 * uint64_t(n) < (uint64_t(1) << 31);
    // Records with costs are ranked criterion by criterion, not by key.
    kept = KEPTCANDIDATES();
    kept.wanted = lookaheadCacheOn && settings.negativePT &&
                  (costs ? criteriaRankByKeyWithCosts(heuristicCriteria, combineKinds, settings.complementPT)
                         : criteriaRankByKey(heuristicCriteria));
    // The record layout lasts the run: a pass of kept units that runs on
    // after the reuse stopped ranks as it began.
    costSlotCount = lookaheadCacheOn && costs ? uint32_t(currentInfo.resultingCost->size()) : 0;
    keptKeyWidth = rankingKeyWidth(heuristicCriteria, costSlotCount);
    if (!lookaheadCacheOn) return;
    slotCosts.assign(size_t(3) * n * 2 * costSlotCount, 0);
    weakSeen.assign(groundWeakConstraints->size(), 0);
    aggregateSeen.assign(programHasAggregates ? aggregateAtoms.size() : 0, 0);
    keptApart.assign(aggregateSeen.size(), 0);
    bool anyKeptApart = false;
    for (size_t g = 0; g < keptApart.size(); ++g) {
        // A #sum of values at least 0 whose bounds cannot saturate.
        const AGGREGATEFUNCTION& f = aggregateFunction(int32_t(g));
        const std::vector<GROUNDSETELEMENT>& set = f.set().elements;  // ordered by value
        if (set.size() <= COUNTAPART) continue;
        keptApart[g] = f.kind == AGG_COUNT || (f.kind == AGG_SUM && integerValue(set.front().value) >= 0 &&
                                               f.lower >= 0 && f.upper < (int64_t(1) << 61));
        anyKeptApart |= keptApart[g] != 0;
    }
    // Without an aggregate kept apart no record keeps a change.
    slotCounts.assign(anyKeptApart ? 3 * n : 0, COUNTDELTA());
    countWatchers.assign(anyKeptApart ? aggregateSeen.size() : 0, {});
    changedCounts.clear();
    startApart();
    largeRecordBudget = 16 * n + (size_t(1) << 20);
    watchSlotBits = 1;
    while ((uint64_t(1) << watchSlotBits) < 3 * uint64_t(n)) ++watchSlotBits;
    lookaheadSlots.assign(3 * n, LOOKAHEADSLOT());
    slotStates.resize(3 * n);
    for (uint32_t slot = 0; slot < 3 * n; ++slot) slotStates[slot] = slot ^ 1;
    watchLists.clear();
    watchLists.resize(n);
    listArena.clear();
    reuseComputations = 0;
    reuseRunMark = lookaheadsRun;
    reusePerformedMark = lookaheadsPerformed;
    changePending.assign(n, 0);
    ruleSeen.assign(groundRules->size(), 0);
    constraintSeen.assign(groundConstraints->size(), 0);
    syncStamp = 0;
    pendingChanges.clear();
    syncedValue.clear();
    syncedSupport.clear();
    watchStamp = 0;
    atomLogSynced = 0;
    supportTrailSynced = 0;
}

void MODELGENERATOR::stopLookaheadCache() {
    lookaheadCacheOn = false;
    // A pass that is running finishes over every remaining unit and ends
    // the kept units itself.
    if (!kept.inPass) kept = KEPTCANDIDATES();
    decltype(lookaheadSlots)().swap(lookaheadSlots);
    std::vector<uint32_t>().swap(slotStates);
    std::vector<WATCHLIST>().swap(watchLists);
    listArena.clear();
    std::vector<int32_t>().swap(keptReaders);
    std::vector<uint8_t>().swap(changePending);
    std::vector<uint32_t>().swap(ruleSeen);
    std::vector<uint32_t>().swap(constraintSeen);
    std::vector<uint32_t>().swap(weakSeen);
    std::vector<uint32_t>().swap(aggregateSeen);
    decltype(slotCounts)().swap(slotCounts);
    std::vector<uint8_t>().swap(keptApart);
    decltype(countWatchers)().swap(countWatchers);
    changedCounts.clear();
    decltype(slotApart)().swap(slotApart);
    std::vector<int32_t>().swap(apartNumber);
    std::vector<uint32_t>().swap(apartRules);
    std::vector<uint32_t>().swap(apartConstraints);
    std::vector<uint32_t>().swap(apartTouchMark);
    std::vector<int32_t>().swap(apartConstraintNumber);
    apartRulesOf.clear();
    decltype(apartWatchers)().swap(apartWatchers);
    std::vector<uint8_t>().swap(apartClass);
    std::vector<uint8_t>().swap(apartHeadChanged);
    changedApart.clear();
    decltype(slotCosts)().swap(slotCosts);
    std::vector<int32_t>().swap(pendingChanges);
    std::vector<int32_t>().swap(syncedValue);
    std::vector<int32_t>().swap(syncedSupport);
}

namespace {

// Drops the records still watched; returns through dropped the atoms of
// those that were valid.
template <typename DROPPED>
void dropWatchers(const MODELGENERATOR& g, const MODELGENERATOR::WATCH* watches, uint32_t size,
                  std::vector<uint32_t>& states, DROPPED dropped) {
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t slot = g.watchSlot(watches[i]);
        uint32_t& s = states[slot];
        if (s == watches[i]) {
            dropped(int32_t(slot / 3));
            s ^= 1;
        }
    }
}

}  // namespace

uint32_t* MODELGENERATOR::BLOCKARENA::take(uint32_t sizeClass) {
    if (freeBlocks.size() > sizeClass && !freeBlocks[sizeClass].empty()) {
        uint32_t* block = freeBlocks[sizeClass].back();
        freeBlocks[sizeClass].pop_back();
        return block;
    }
    const size_t words = size_t(4) << sizeClass;
    if (left < words) {
        // A fresh slab (the rest of the last one, less than the block, stays
        // unused). Slabs double up to LARGEBLOCK, so that a small program
        // keeps to small pages; a larger block has a slab of its own.
        const size_t bytes = std::max(slabBytes, words * sizeof(uint32_t));
        slabBytes = std::min(2 * slabBytes, LARGEBLOCK);
        slabs.emplace_back(static_cast<uint32_t*>(allocateLarge(bytes)), bytes);
        next = slabs.back().first;
        left = bytes / sizeof(uint32_t);
    }
    uint32_t* block = next;
    next += words;
    left -= words;
    return block;
}

void MODELGENERATOR::BLOCKARENA::give(uint32_t* block, uint32_t sizeClass) {
    if (freeBlocks.size() <= sizeClass) freeBlocks.resize(sizeClass + 1);
    freeBlocks[sizeClass].push_back(block);
}

void MODELGENERATOR::BLOCKARENA::clear() {
    for (const auto& slab : slabs) releaseLarge(slab.first, slab.second);
    slabs.clear();
    freeBlocks.clear();
    next = nullptr;
    left = 0;
    slabBytes = size_t(1) << 16;
}

// A full list is first rid of the watches of records dropped or recomputed
// since, so lists stay proportional to live records. A list still more than
// half full after that doubles, so that each compaction is paid for by at
// least half as many additions.
void MODELGENERATOR::makeWatchRoom(WATCHLIST& list) {
    const uint32_t n = list.size;
    bool grow = true;
    if (n >= 16) {
        WATCH* watches = list.watches;
        uint32_t k = 0;
        for (uint32_t i = 0; i < n; ++i)
            if (watchLive(watches[i])) watches[k++] = watches[i];
        list.size = k;
        grow = 2 * k > n;
    }
    if (grow) {
        const uint32_t capacity = n == 0 ? 4 : 2 * n;
        WATCH* grown = listArena.take(uint32_t(__builtin_ctz(capacity)) - 2);
        std::copy(list.watches, list.watches + list.size, grown);
        if (n != 0) listArena.give(list.watches, uint32_t(__builtin_ctz(n)) - 2);
        list.watches = grown;
        list.capacity = capacity;
    }
}

void MODELGENERATOR::neighbourChanged(int32_t y) {
    WATCHLIST& list = watchLists[y];
    if (list.size != 0) {
        dropWatchers(*this, list.watches, list.size, slotStates, [this](int32_t a) {
            if (kept.active) keptRecordDropped(a);
        });
        list.size = 0;
    }
    if (kept.active) {
        if (!kept.countDirty[y]) {
            kept.countDirty[y] = 1;
            kept.countDirtyList.push_back(y);
        }
        markKeptUnit(y);
    }
}

void MODELGENERATOR::neighbourhoodChanged(int32_t x) {
    // Every atom that shares a rule or constraint with x: its kept records
    // read x (or a support count that x changed), and so does its unit.
    auto changed = [this](int32_t y) { neighbourChanged(y); };
    // A rule or constraint is walked once per sync, however many of its
    // atoms changed; a rule kept apart is tested after the walk instead.
    auto rules = [&](LISTVIEW<uint32_t> list, bool heads) {
        for (uint32_t k : list) {
            uint32_t& seen = ruleSeen[k];
            if (!apartNumber.empty() && apartNumber[k] >= 0) {
                const int32_t j = apartNumber[k];
                if (heads) apartHeadChanged[size_t(j)] = 1;
                if (seen != syncStamp) changedApart.push_back(j);
                seen = syncStamp;
                continue;
            }
            if (seen == syncStamp) continue;
            seen = syncStamp;
            const RULESHAPE& shape = ruleShapes[k];
            const int32_t* atoms = ruleAtoms.data() + shape.start;
            for (uint32_t i = 0; i < shape.heads + shape.positive + shape.negative; ++i) changed(atoms[i]);
        }
    };
    auto constraints = [&](LISTVIEW<uint32_t> list) {
        for (uint32_t h : list) {
            const uint32_t* c = constraintAt(h);
            uint32_t& seen = constraintSeen[c[CONSTRAINT_INDEX]];
            if (seen == syncStamp) continue;
            seen = syncStamp;
            if (!apartConstraintNumber.empty() && apartConstraintNumber[c[CONSTRAINT_INDEX]] >= 0) {
                changedApart.push_back(apartConstraintNumber[c[CONSTRAINT_INDEX]]);
                continue;
            }
            const uint32_t literals = c[CONSTRAINT_POSITIVE] + c[CONSTRAINT_NEGATIVE];
            for (uint32_t i = 0; i < literals; ++i) changed(int32_t(c[CONSTRAINT_ATOMS + i]));
        }
    };
    auto weakConstraints = [&](const OCCURRENCES<int32_t>& lists) {
        if (lists.items.empty()) return;
        for (int32_t w : lists[size_t(x)]) {
            uint32_t& seen = weakSeen[size_t(w)];
            if (seen == syncStamp) continue;
            seen = syncStamp;
            for (const GROUNDLITERAL& l : (*groundWeakConstraints)[size_t(w)].body.literals) changed(l.atom);
        }
    };
    // An aggregate's state is read by the propagations that assigned one
    // of its elements or aggregate atoms, and changes with any of them.
    auto aggregate = [&](int32_t g) {
        uint32_t& seen = aggregateSeen[size_t(g)];
        if (seen == syncStamp) return;
        seen = syncStamp;
        if (countKeptApart(g)) {
            changedCounts.push_back(g);
            return;
        }
        for (const GROUNDSETELEMENT& e : aggregateFunction(g).set().elements) changed(e.atom);
        for (int32_t a : aggregateAtoms[size_t(g)]) changed(a);
    };
    changed(x);
    weakConstraints(posWeakOccurrences);
    weakConstraints(negWeakOccurrences);
    if (!aggregateSeen.empty()) {
        if (size_t(x) < aggregateMemberships.size())
            for (const AGGREGATEMEMBERSHIP& m : aggregateMemberships[size_t(x)]) aggregate(m.aggregate);
        if (aggregateOfAtom(x) >= 0) aggregate(aggregateOfAtom(x));
    }
    const uint32_t* run = eventRun(x);
    rules(eventList(run, EVENTS_HEAD), true);
    rules(eventList(run, EVENTS_POSBODY), false);
    rules(eventList(run, EVENTS_NEGBODY), false);
    constraints(eventList(run, EVENTS_POSCONSTRAINT));
    constraints(eventList(run, EVENTS_NEGCONSTRAINT));
}

void MODELGENERATOR::pendChange(int32_t atom) {
    if (changePending[atom]) return;
    changePending[atom] = 1;
    pendingChanges.push_back(atom);
}

void MODELGENERATOR::syncLookaheadCache(const INTERPRETATION& I) {
    if (syncedValue.empty()) {
        // The first sync: nothing was kept before it.
        syncedValue = I.values;
        syncedSupport = supportCount;
        for (size_t j = 0; j < apartClass.size(); ++j) apartClass[j] = apartClassOf(int32_t(j));
    }
    for (; atomLogSynced < I.atomLog.size(); ++atomLogSynced)
        if (I.atomLog[atomLogSynced].atom >= 0) pendChange(I.atomLog[atomLogSynced].atom);
    const auto& entries = supportTrail.entries;
    for (; supportTrailSynced < entries.size(); ++supportTrailSynced)
        if (entries[supportTrailSynced].cell)
            pendChange(int32_t(entries[supportTrailSynced].cell - supportCount.data()));
    // Only what differs from the last sync counts: an atom changed and
    // restored since (a branch undone, a completed candidate) left every
    // counter and support count it touched as it was.
    if (pendingChanges.empty()) return;
    if (++syncStamp == 0) {
        std::fill(ruleSeen.begin(), ruleSeen.end(), 0);
        std::fill(constraintSeen.begin(), constraintSeen.end(), 0);
        std::fill(weakSeen.begin(), weakSeen.end(), 0);
        std::fill(aggregateSeen.begin(), aggregateSeen.end(), 0);
        syncStamp = 1;
    }
    for (int32_t x : pendingChanges) {
        changePending[x] = 0;
        if (I.values[x] == syncedValue[x] && supportCount[x] == syncedSupport[x]) continue;
        syncedValue[x] = I.values[x];
        syncedSupport[x] = supportCount[x];
        neighbourhoodChanged(x);
    }
    pendingChanges.clear();
    if (!changedCounts.empty()) retestCountWatchers(I);
    if (!changedApart.empty()) retestApartWatchers();
}

bool MODELGENERATOR::countRoom(int32_t g, int64_t T0, int64_t P0, int64_t raised, int64_t lowered,
                               const INTERPRETATION& I) const {
    // Within the propagation the least value rises from T0 to T1 and the
    // greatest falls from P0 to P1; every test of updateAggregatesOf and of
    // the #count and #sum cases of the aggregate atom handlers must fail at
    // every pair in between (for #sum, with any element's value v, at most
    // vmax: the first undecided element from the greatest down stops the
    // forcing scan when it fails).
    const int64_t T1 = T0 + raised, P1 = P0 - lowered;
    const AGGREGATEFUNCTION& f = aggregateFunction(g);
    const bool sum = f.kind == AGG_SUM;
    const int64_t vmax = sum ? integerValue(f.set().elements.back().value) : 0;
    for (int32_t x : aggregateAtoms[size_t(g)]) {
        const AGGREGATEATOMINFO& info = aggregateAtomInfo[size_t(aggregateAtomSlot[size_t(x)])];
        const int64_t L = info.lowerGuard, U = info.upperGuard;
        const bool surelyFalse = U < L || P1 < L || U < T1;  // somewhere in between
        const bool surelyTrue = L <= T1 && P1 <= U;
        const int32_t v = I.values[size_t(x)];
        if (v == TV_UNDEFINED) {
            if (surelyFalse || surelyTrue) return false;
        } else if (v == TV_MUSTBETRUE) {
            if (surelyFalse || surelyTrue) return false;
            if (sum) {
                if (saturatingAdd(T1, vmax) > U || saturatingAdd(P1, -vmax) < L) return false;
            } else if ((T0 <= U && U <= T1) || (P1 <= L && L <= P0)) {
                return false;
            }
        } else if (v == TV_FALSE) {
            if (surelyTrue) return false;
            if (sum) {
                if (P1 <= U && saturatingAdd(T1, vmax) >= L) return false;
                if (!(T1 < L || saturatingAdd(P1, -vmax) > U)) return false;
            } else {
                if (T1 >= L && P1 - 1 <= U && U < P0) return false;
                if (P1 <= U && T0 < L && L <= T1 + 1) return false;
            }
        } else if (surelyFalse) {
            return false;
        }
    }
    return true;
}

bool MODELGENERATOR::keepCountDelta(uint32_t slot, size_t logStart, const INTERPRETATION& I) {
    // The one aggregate kept apart that the propagation changed, with its
    // bounds before.
    COUNTDELTA delta;
    int64_t T0 = 0, P0 = 0;
    const std::vector<AGGREGATESNAPSHOT>& trail = aggregateTrail.entries;
    for (size_t i = lookaheadTrailStart; i < trail.size(); ++i) {
        const AGGREGATESNAPSHOT& e = trail[i];
        if (!e.function || !countKeptApart(e.aggregate) || e.aggregate == delta.aggregate) continue;
        if (delta.aggregate >= 0) return false;
        delta.aggregate = e.aggregate;
        T0 = e.lower;
        P0 = e.upper;
    }
    // An aggregate atom of such an aggregate that the propagation assigned
    // read its bounds in its handler.
    for (size_t i = logStart; i < I.atomLog.size(); ++i) {
        const int32_t g = aggregateOfAtom(I.atomLog[i].atom);
        if (g >= 0 && countKeptApart(g)) return false;
    }
    if (delta.aggregate >= 0) {
        const AGGREGATEFUNCTION& f = aggregateFunction(delta.aggregate);
        delta.raised = f.lower - T0;
        delta.lowered = P0 - f.upper;
        if (!countRoom(delta.aggregate, T0, P0, delta.raised, delta.lowered, I)) return false;
    }
    slotCounts[slot] = delta;
    return true;
}

// A full list is first rid of the watches of records dropped or replaced
// since, as makeWatchRoom does, so that it stays proportional to the
// records that keep the same change (a live watch is always in its
// record's group).
void MODELGENERATOR::addGroupWatch(std::vector<WATCH>& list, uint32_t slot) {
    if (list.size() == list.capacity() && list.size() >= 16)
        list.erase(std::remove_if(list.begin(), list.end(), [&](WATCH w) { return !watchLive(w); }), list.end());
    list.push_back(slotStates[slot]);
}

void MODELGENERATOR::dropGroup(std::vector<WATCH>& watches) {
    for (WATCH w : watches) {
        if (!watchLive(w)) continue;
        const uint32_t slot = watchSlot(w);
        slotStates[slot] ^= 1;
        if (kept.active) keptRecordDropped(int32_t(slot / 3));
    }
    watches.clear();
}

void MODELGENERATOR::addCountWatch(uint32_t slot) {
    const COUNTDELTA& d = slotCounts[slot];
    const int32_t g = d.aggregate;
    const int64_t raised = d.raised, lowered = d.lowered;
    addGroupWatch(countWatchers[size_t(g)].of(raised, lowered), slot);
}

void MODELGENERATOR::retestCountWatchers(const INTERPRETATION& I) {
    for (int32_t g : changedCounts) {
        const AGGREGATEFUNCTION& f = aggregateFunction(g);
        for (WATCHGROUPS::GROUP& group : countWatchers[size_t(g)].groups) {
            if (!group.watches.empty() && !countRoom(g, f.lower, f.upper, group.first, group.second, I))
                dropGroup(group.watches);
        }
    }
    changedCounts.clear();
}

void MODELGENERATOR::startApart() {
    const size_t n = groundAtomCount, rules = groundRules->size(), constraints = constraintHandles.size();
    apartRules.clear();
    apartConstraints.clear();
    std::vector<uint32_t> seenIn(n, 0);  // the last item (plus one) an atom was met in
    uint32_t items = 0;
    auto distinct = [&](auto atoms, uint32_t size) {
        ++items;
        bool once = true;
        for (uint32_t i = 0; i < size; ++i) {
            once &= seenIn[size_t(atoms[i])] != items;
            seenIn[size_t(atoms[i])] = items;
        }
        return once;
    };
    for (uint32_t k = 0; k < rules; ++k) {
        const RULESHAPE& shape = ruleShapes[k];
        const uint32_t size = shape.heads + shape.positive + shape.negative;
        if (size <= RULEAPART) continue;
        const int32_t* atoms = ruleAtoms.data() + shape.start;
        bool apart = distinct(atoms, size);
        for (uint32_t i = 0; i < shape.heads && apart && gusActive; ++i) {
            const int32_t c = gdg->componentOfSlot(atoms[i]);
            apart = c < 0 || !componentQualifiesForGUS(c);
        }
        if (apart) {
            if (apartNumber.empty()) apartNumber.assign(rules, -1);
            apartNumber[k] = int32_t(apartRules.size());
            apartRules.push_back(k);
        }
    }
    for (uint32_t k = 0; k < constraints; ++k) {
        const uint32_t* c = constraintAt(constraintHandles[k]);
        const uint32_t size = c[CONSTRAINT_POSITIVE] + c[CONSTRAINT_NEGATIVE];
        if (size > RULEAPART && distinct(c + CONSTRAINT_ATOMS, size)) apartConstraints.push_back(constraintHandles[k]);
    }
    const size_t count = apartRules.size() + apartConstraints.size();
    if (!apartConstraints.empty()) {
        apartConstraintNumber.assign(constraints, -1);
        for (size_t i = 0; i < apartConstraints.size(); ++i)
            apartConstraintNumber[constraintAt(apartConstraints[i])[CONSTRAINT_INDEX]] =
                int32_t(apartRules.size() + i);
    }
    FLATLISTSBUILDER<int32_t, uint32_t> of(apartRulesOf, count != 0 ? n : 0);
    for (size_t j = 0; j < count; ++j) forApartAtoms(int32_t(j), [&](int32_t a) { of.count(size_t(a)); });
    of.layOut();
    for (size_t j = 0; j < count; ++j) forApartAtoms(int32_t(j), [&](int32_t a) { of.add(size_t(a), int32_t(j)); });
    apartWatchers.assign(count, {});
    apartTouchMark.assign(count, 0);
    apartTouchStamp = 0;
    apartClass.assign(count, 0);
    apartHeadChanged.assign(count, 0);
    changedApart.clear();
    slotApart.assign(count != 0 ? 3 * n : 0, APARTDELTA());
}

// What the units of the item's atoms read of it. A rule: nothing while its
// positive body has an open atom and it has three open literals or more (no
// head atom possibly true through it, no negated body atom either, no binary
// occurrence, no twin head atom); else its counters, for any change to redo
// the units. A constraint: nothing while it is satisfied or has three open
// literals or more; else its open literals (a binary occurrence at two).
uint8_t MODELGENERATOR::apartClassOf(int32_t j) const {
    if (size_t(j) >= apartRules.size()) {
        const uint32_t h = apartConstraints[size_t(j) - apartRules.size()];
        const uint32_t* c = constraintAt(h);
        const uint32_t open = c[CONSTRAINT_OPENPOS] + c[CONSTRAINT_OPENNEG];
        return constraintSatisfiedAt(h) || open > 2 ? 1 : uint8_t(0x80 | open);
    }
    GROUNDRULE& r = ruleAt(apartRules[size_t(j)]);
    const uint32_t open = undefinedLiterals(r);
    if (openPosBody(r) != 0 && open > 2) return 1;
    return uint8_t(0x80 | std::min<uint32_t>(open, 3) | ruleStatus(r) << 2 | uint32_t(openNegBody(r) == 0) << 4 |
                   uint32_t(openHead(r) == 2) << 5 | uint32_t(soleTrueHead(r) != 0) << 6);
}

bool MODELGENERATOR::apartSatisfied(int32_t j) const {
    if (size_t(j) >= apartRules.size()) return constraintSatisfiedAt(apartConstraints[size_t(j) - apartRules.size()]) != 0;
    return (ruleStatus(ruleAt(apartRules[size_t(j)])) & 1) != 0;
}

bool MODELGENERATOR::apartRoom(const APARTDELTA& delta) const {
    if (delta.whole) return false;
    if (delta.satisfied) return apartSatisfied(delta.item);
    if (size_t(delta.item) >= apartRules.size()) {
        // A constraint tests its open literals only below two.
        const uint32_t h = apartConstraints[size_t(delta.item) - apartRules.size()];
        const uint32_t* c = constraintAt(h);
        return !constraintSatisfiedAt(h) && c[CONSTRAINT_OPENPOS] + c[CONSTRAINT_OPENNEG] >= 2 + delta.bodyDrop;
    }
    GROUNDRULE& r = ruleAt(apartRules[size_t(delta.item)]);
    const uint32_t head = delta.headDrop, body = delta.bodyDrop;
    return ruleStatus(r) == 0 && openHead(r) >= 1 + head && bodyUndefined(r) >= 1 + body &&
           undefinedLiterals(r) >= 2 + head + body;
}

void MODELGENERATOR::keepApartDelta(uint32_t slot, size_t logStart, const INTERPRETATION& I) {
    // The items kept apart the propagation read: those with an atom it
    // assigned, and the rules it read by forcing a head atom's single
    // support (their atoms' values: the record falls with any change).
    apartTouched.clear();
    if (++apartTouchStamp == 0) {
        std::fill(apartTouchMark.begin(), apartTouchMark.end(), 0);
        apartTouchStamp = 1;
    }
    auto touch = [&](int32_t j) {
        if (apartTouchMark[size_t(j)] == apartTouchStamp) return;
        apartTouchMark[size_t(j)] = apartTouchStamp;
        apartTouched.push_back(j);
    };
    bool whole = false;
    if (!apartNumber.empty())
        for (int32_t a : forcedSupportAtoms)
            for (uint32_t k : eventList(eventRun(a), EVENTS_HEAD))
                if (apartNumber[k] >= 0) {
                    touch(apartNumber[k]);
                    whole = true;
                }
    for (size_t i = logStart; i < I.atomLog.size(); ++i)
        for (int32_t j : apartRulesOf[size_t(I.atomLog[i].atom)]) touch(j);
    APARTDELTA delta;
    if (!apartTouched.empty()) delta.item = apartTouched.front();
    // Of one item only, the record may keep its change. Else it falls with
    // any change of an item it read, as with any rule or constraint.
    if (apartTouched.size() > 1)
        whole = true;
    else if (!apartTouched.empty() && !whole)
        whole = !apartChange(delta);
    delta.whole = whole;
    slotApart[slot] = delta;
}

// The change of the record's propagation to item delta.item, into delta;
// false when it cannot be kept (a test of the item acted, or a true head
// atom's support was read).
bool MODELGENERATOR::apartChange(APARTDELTA& delta) const {
    // Cells before the lookahead: the first change of each on the trail, or
    // the cell now.
    const auto& entries = counterTrail.entries;
    auto before = [&](const uint32_t* cell) {
        for (size_t i = lookaheadCounterStart; i < entries.size(); ++i)
            if (entries[i].cell == cell) return entries[i].old;
        return *cell;
    };
    // The counters only fall within a propagation (until the item is
    // satisfied, when they stop): every test met them between their values
    // before and now, and meets them as far below the values of a later run.
    if (size_t(delta.item) >= apartRules.size()) {
        const uint32_t h = apartConstraints[size_t(delta.item) - apartRules.size()];
        const uint32_t* c = constraintAt(h);
        const uint32_t* word = &constraintSatisfiedBits[satisfiedWord(h)];
        if ((before(word) & satisfiedBit(h)) != 0) {
            delta.satisfied = 1;
            return true;
        }
        const uint32_t open = c[CONSTRAINT_OPENPOS] + c[CONSTRAINT_OPENNEG];
        if (open < 2) return false;
        delta.bodyDrop = before(c + CONSTRAINT_OPENPOS) + before(c + CONSTRAINT_OPENNEG) - open;
        return true;
    }
    GROUNDRULE& r = ruleAt(apartRules[size_t(delta.item)]);
    const uint32_t status = before(&ruleStatus(r));
    if (status == 2) return false;
    if (status != 0) {
        delta.satisfied = 1;
        return true;
    }
    if (openHead(r) < 1 || bodyUndefined(r) < 1 || undefinedLiterals(r) < 2) return false;
    delta.headDrop = before(&openHead(r)) - openHead(r);
    delta.bodyDrop =
        before(&openPosBody(r)) - before(&mustBeTruePosBody(r)) + before(&openNegBody(r)) - bodyUndefined(r);
    return true;
}

// Records made while the item was satisfied go to group (-1, 0), those that
// fall with any change to group (-2, 0) of every item they read, the others
// to their drops.
void MODELGENERATOR::addApartWatch(uint32_t slot) {
    const APARTDELTA d = slotApart[slot];
    auto add = [&](int32_t j, int64_t first, int64_t second) {
        addGroupWatch(apartWatchers[size_t(j)].of(first, second), slot);
    };
    if (d.whole) {
        for (int32_t j : apartTouched) add(j, -2, 0);
        return;
    }
    add(d.item, d.satisfied ? -1 : int64_t(d.headDrop), d.bodyDrop);
}

void MODELGENERATOR::retestApartWatchers() {
    for (int32_t j : changedApart) {
        bool dropAll = apartHeadChanged[size_t(j)] != 0;
        apartHeadChanged[size_t(j)] = 0;
        const uint8_t now = apartClassOf(j);
        if (now != apartClass[size_t(j)]) {
            // The units read the item: walked as any rule or constraint.
            apartClass[size_t(j)] = now;
            forApartAtoms(j, [this](int32_t a) { neighbourChanged(a); });
            dropAll = true;
        }
        for (WATCHGROUPS::GROUP& group : apartWatchers[size_t(j)].groups) {
            if (group.watches.empty()) continue;
            APARTDELTA d;
            d.item = j;
            d.whole = group.first == -2;
            d.satisfied = group.first == -1;
            d.headDrop = group.first < 0 ? 0 : uint32_t(group.first);
            d.bodyDrop = uint32_t(group.second);
            if (dropAll || !apartRoom(d)) dropGroup(group.watches);
        }
    }
    changedApart.clear();
}

void MODELGENERATOR::dropUndoneLookaheads(const INTERPRETATION& I) {
    for (size_t i = I.atomLog.size(); i-- > 0;) {
        if (I.atomLog[i].atom < 0) break;
        pendChange(I.atomLog[i].atom);
    }
    if (level < supportTrail.topLevel) {
        const auto& entries = supportTrail.entries;
        for (size_t i = entries.size(); i-- > 0;) {
            if (entries[i].cell)
                pendChange(int32_t(entries[i].cell - supportCount.data()));
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
    const uint32_t version = (slotStates[slot] >> watchSlotBits) + 1;
    slotStates[slot] = watchOf(slot, version);
    if (++watchStamp == 0) {
        for (WATCHLIST& list : watchLists) list.mark = 0;
        watchStamp = 1;
    }
    // The atoms read, once each. Their watch lists lie far apart: the list
    // headers and then the list ends are requested for all of them before
    // any list grows, so that the loads overlap instead of waiting in turn.
    for (size_t i = logStart; i < I.atomLog.size(); ++i) __builtin_prefetch(&watchLists[I.atomLog[i].atom], 1);
    keptReaders.clear();
    auto reader = [&](int32_t y) {
        WATCHLIST& list = watchLists[y];
        if (list.mark == watchStamp) return;
        list.mark = watchStamp;
        keptReaders.push_back(y);
        __builtin_prefetch(list.watches + list.size, 1);
    };
    for (size_t i = logStart; i < I.atomLog.size(); ++i) reader(I.atomLog[i].atom);
    for (int32_t a : forcedSupportAtoms) reader(a);
    for (int32_t y : keptReaders) addWatch(watchLists[y], slot, version);
    watchesKept += keptReaders.size();
}

}  // namespace veltra
