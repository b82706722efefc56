// generator/modelgenerator.cpp: construction of the generator, the undo
// machinery of the trails, and the frame of one run.
#include "generator/modelgenerator.h"

#include <algorithm>
#include <cassert>
#include <climits>

#include "checker/modelchecker.h"
#include "core/finish.h"
#include "core/options.h"

namespace veltra {

// ---------------------------------------------------------------------------
// Trails.

void AGGREGATETRAIL::restore(const AGGREGATESNAPSHOT& s) {
    AGGREGATEFUNCTION& f = *s.function;
    f.lower = s.lower;
    f.upper = s.upper;
    switch (f.kind) {
    case AGG_MAX:
        f.setPotentialMax(static_cast<int32_t>(s.extra1));
        f.setTrueMax(static_cast<int32_t>(s.extra2));
        break;
    case AGG_MIN:
        f.setPotentialMin(static_cast<int32_t>(s.extra1));
        f.setTrueMin(static_cast<int32_t>(s.extra2));
        break;
    case AGG_TIMES:
        static_cast<TIMESFUNCTION&>(f).trueProduct = s.extra1;
        static_cast<TIMESFUNCTION&>(f).undefinedZeros = s.extra2;
        if (factorCounts) (*factorCounts)[s.aggregate] = s.factors;
        break;
    default: break;
    }
}

void AGGREGATETRAIL::push(int32_t level, AGGREGATEFUNCTION* function, int32_t aggregate) {
    while (topLevel < level) entries.push_back(AGGREGATESNAPSHOT{nullptr, 0, 0, ++topLevel, 0, 0, 0});
    int32_t factors = factorCounts && function->kind == AGG_TIMES ? (*factorCounts)[aggregate] : 0;
    entries.push_back(AGGREGATESNAPSHOT{function, aggregate, factors, function->lower, function->upper,
                                        function->extra1(), function->extra2()});
}

void AGGREGATETRAIL::undoTo(int32_t level) {
    if (level >= topLevel) return;
    while (!entries.empty()) {
        AGGREGATESNAPSHOT s = entries.back();
        entries.pop_back();
        if (s.function)
            restore(s);
        else if (s.lower == level + 1)
            break;
    }
    topLevel = level;
}

void AGGREGATETRAIL::unwind() {
    while (!entries.empty()) {
        if (entries.back().function) restore(entries.back());
        entries.pop_back();
    }
    topLevel = -1;
}

// ---------------------------------------------------------------------------
// Heuristic records.

HEURISTICINFO::HEURISTICINFO(size_t costSlots) {
    if (costSlots > 0) {
        resultingCost = std::make_unique<COSTVECTOR>(costSlots);
        satisfiedWeakCost = std::make_unique<COSTVECTOR>(costSlots);
    }
}

HEURISTICINFO::HEURISTICINFO(const HEURISTICINFO& other) { *this = other; }

HEURISTICINFO& HEURISTICINFO::operator=(const HEURISTICINFO& other) {
    if (this == &other) return *this;
    madeTrue = other.madeTrue;
    madeTrueSupport2 = other.madeTrueSupport2;
    madeTrueSupport3 = other.madeTrueSupport3;
    madeMustBeTrue = other.madeMustBeTrue;
    madeMustBeTrueSupport2 = other.madeMustBeTrueSupport2;
    madeMustBeTrueSupport3 = other.madeMustBeTrueSupport3;
    itemsSatisfied = other.itemsSatisfied;
    itemsSatisfiedClosed = other.itemsSatisfiedClosed;
    itemsClosed = other.itemsClosed;
    atomsDecided = other.atomsDecided;
    headCycleRulesSupported = other.headCycleRulesSupported;
    madeTrueInHeadCycles = other.madeTrueInHeadCycles;
    resultingCost = other.resultingCost ? std::make_unique<COSTVECTOR>(*other.resultingCost) : nullptr;
    satisfiedWeakCost = other.satisfiedWeakCost ? std::make_unique<COSTVECTOR>(*other.satisfiedWeakCost) : nullptr;
    return *this;
}

void HEURISTICINFO::clearCounters() {
    madeTrue = madeTrueSupport2 = madeTrueSupport3 = 0;
    madeMustBeTrue = madeMustBeTrueSupport2 = madeMustBeTrueSupport3 = 0;
    itemsSatisfied = itemsSatisfiedClosed = itemsClosed = atomsDecided = 0;
    headCycleRulesSupported = madeTrueInHeadCycles = 0;
}

// ---------------------------------------------------------------------------
// Construction.

// The inclusive value of a guard; a strict one is read one step inward, a
// guard that is not an integer leaves its side open.
static int64_t guardBound(const TERM& guard, bool inclusive, bool isLower) {
    if (guard.kind != TERM_INTEGER) return isLower ? -BOUNDLIMIT : BOUNDLIMIT;
    int64_t v = integerValue(guard);
    if (!inclusive) v += isLower ? 1 : -1;
    return v;
}

static std::unique_ptr<COSTVECTOR> copyCost(const COSTVECTOR* cost) {
    return std::make_unique<COSTVECTOR>(cost ? *cost : COSTVECTOR());
}

static std::vector<int32_t> copyList(const std::vector<uint32_t>* list) {
    std::vector<int32_t> copy;
    if (list)
        for (uint32_t v : *list) copy.push_back(static_cast<int32_t>(v));
    return copy;
}

SEARCHSETTINGS searchSettingsFromOptions() {
    SEARCHSETTINGS s;
    s.useHeuristics = OPTIONS.useHeuristics;
    s.negativePT = OPTIONS.negativePT;
    s.ptCacheSize = OPTIONS.ptCacheSize;
    s.complementPT = OPTIONS.complementPT;
    s.canChooseComplementPT = OPTIONS.canChooseComplementPT;
    s.partialChecksForwards = OPTIONS.partialChecksForwards;
    s.printFacts = OPTIONS.printFacts;
    s.satLike = satLike;
    s.countLevels = statsLevel == STATS_DETAILED;
    s.outputFilter = outputFilter;
    s.positiveOutputFilter = positiveOutputFilter;
    return s;
}

MODELGENERATOR::MODELGENERATOR(std::vector<GROUNDRULE>* groundRules_, std::vector<GROUNDCONSTRAINT>* groundConstraints_,
                               std::vector<GROUNDWEAKCONSTRAINT>* groundWeakConstraints_, const CONJUNCTION* query,
                               const ATOMSET* edbFacts_, const ATOMSET* groundTrueAtoms_, const uint32_t* maxModels_,
                               const COSTVECTOR* costBound_, uint32_t checkFlags_, MODELHOOK modelHook_,
                               MODELHOOK candidateFilter_, bool programHasAggregates_, const COSTVECTOR* initialCost_,
                               bool weakConstraintsPresent_, bool inputWeakConstraintsPresent_, bool wcTrace_,
                               bool costBoundGiven_, uint32_t levelCount_, uint32_t aggregateCount_,
                               const std::vector<uint32_t>* criteria, const std::vector<uint32_t>* combineList)
    : groundRules(groundRules_),
      groundConstraints(groundConstraints_),
      groundWeakConstraints(groundWeakConstraints_),
      edbFacts(edbFacts_),
      groundTrueAtoms(groundTrueAtoms_),
      maxModels(maxModels_ ? *maxModels_ : 0),
      checkFlags(checkFlags_),
      settings(searchSettingsFromOptions()),
      modelHook(modelHook_),
      candidateFilter(candidateFilter_),
      programHasAggregates(programHasAggregates_),
      costBound(copyCost(costBound_)),
      initialCost(copyCost(initialCost_)),
      weakConstraintsPresent(weakConstraintsPresent_),
      inputWeakConstraintsPresent(inputWeakConstraintsPresent_),
      wcTrace(wcTrace_),
      optimumKnown(levelCount_ == 0),
      costBoundGiven(costBoundGiven_),
      levelCount(levelCount_),
      aggregateCount(aggregateCount_),
      currentInfo(levelCount_),
      lookaheadInfo(levelCount_),
      complementLookaheadInfo(levelCount_),
      heuristicCriteria(copyList(criteria)),
      combineKinds(copyList(combineList)) {
    (void)query;
    groundRecordsAt[0] = groundRules->data();
    groundRecordsAt[1] = groundConstraints->data();
    groundRecordsAt[2] = groundWeakConstraints->data();
    aggregateTrail.factorCounts = &timesFactors;
    const int32_t n = groundAtomCount;
    unfoundedSet.assign(n, 0);
    gusScratch.values.assign(n, 0);
    gusScratch.cost = COSTVECTOR(levelCount);

    static const std::vector<GROUNDCONSTRAINT> noConstraints;
    depgraphTimer.start();
    gdg = std::make_unique<GDG>(*groundRules, noConstraints, DEPGRAPH_GDG_POSITIVE);
    depgraphTimer.stop();
    // The unfounded-set step: every cyclic component without a disjunctive
    // edge inside is queued for the first propagation.
    if ((checkFlags & CHECK_USE_GUS) && gdg->isCyclic()) {
        gdg->computeComponentFlags();
        for (size_t c = 0; c < gdg->componentCount(); ++c) {
            if (!componentQualifiesForGUS(int32_t(c))) continue;
            if (!gusActive) {
                gusActive = true;
                gusComponentCount = uint32_t(gdg->componentCount());
                gusQueued.assign(gusComponentCount, 0);
            }
            queueComponentForGUS(int32_t(c));
        }
    }

    // Per-atom facts that never change during the generator's life.
    gdg->computeComponentFlags();
    atomKind.assign(n, 0);
    aggregateAtomSlot.assign(n, -1);
    for (int32_t a = 0; a < n; ++a) {
        const ATOM& atom = groundAtom(a);
        if (predicateTable.isAggregate(atom.predicate) && atom.aggregate()) {
            const AGGREGATEATOM& agg = *atom.aggregate();
            atomKind[a] = 1;
            AGGREGATEATOMINFO info;
            info.aggregate = agg.function ? -1 : agg.aggregateIndex;
            info.lowerGuard = guardBound(agg.lowerGuard, agg.lowerInclusive, true);
            info.upperGuard = guardBound(agg.upperGuard, agg.upperInclusive, false);
            aggregateAtomSlot[a] = static_cast<int32_t>(aggregateAtomInfo.size());
            aggregateAtomInfo.push_back(info);
            continue;
        }
        int32_t c = gdg->componentOfSlot(a);
        if (c >= 0 && gdg->isComponentCyclic(c) && gdg->disjunctive[c]) atomKind[a] = 2;
    }

    // Weights and cost slots of the weak constraints.
    maxWeakWeight.assign(levelCount, 0);
    for (const GROUNDWEAKCONSTRAINT& w : *groundWeakConstraints) {
        int32_t slot = costSlot(integerValue(w.level));
        if (slot < 0 || uint32_t(slot) >= levelCount) internalError("weak constraint level");
        weakWeight.push_back(static_cast<uint64_t>(static_cast<int64_t>(integerValue(w.weight))));
        weakSlot.push_back(slot);
        maxWeakWeight[slot] = std::max(maxWeakWeight[slot], weakWeight.back());
    }
}

namespace {
std::vector<GROUNDRULE> noRules;
std::vector<GROUNDCONSTRAINT> noGroundConstraints;
std::vector<GROUNDWEAKCONSTRAINT> noWeakConstraints;
const ATOMSET noAtoms;
}  // namespace

MODELGENERATOR::MODELGENERATOR()
    : MODELGENERATOR(&noRules, &noGroundConstraints, &noWeakConstraints, nullptr, &noAtoms, &noAtoms, nullptr, nullptr,
                     CHECK_MODEL_CHECKING_ON, nullptr, nullptr, false, nullptr, false, false, false, false, 0, 0,
                     nullptr, nullptr) {}

MODELGENERATOR::~MODELGENERATOR() { assert(groundRecordsStayed()); }

// ---------------------------------------------------------------------------
// The frame of a run.

bool MODELGENERATOR::startRun(INTERPRETATION& I, bool forSearch) {
    I.values.assign(groundAtomCount, TV_UNDEFINED);
    I.mustBeTrueCount = 0;
    I.recording = false;
    I.atomLog.clear();
    I.costLog.clear();
    I.cost = forSearch && initialCost && initialCost->size() == levelCount ? *initialCost : COSTVECTOR(levelCount);
    searchState = SEARCH_GOES_ON;
    level = 0;
    checkAtoms = std::make_unique<ATOMFLAGS>(groundAtomCount, 0);
    checkAtomList.clear();
    startCheckRun();
    startReasons();
    initTimer.start();
    initDataStructures(I);
    initTimer.stop();
    if (forSearch) markHeadCycleRules();
    wellFoundedTimer.start();
    initiallyInconsistent = !propagateInitial(I);
    wellFoundedTimer.stop();
    if (forSearch) initialCost = std::make_unique<COSTVECTOR>(I.cost);
    return !initiallyInconsistent;
}

void MODELGENERATOR::endRun(INTERPRETATION& I) {
    counterTrail.unwind();
    supportTrail.unwind();
    aggregateTrail.unwind();
    clearOccurrenceLists();
    I.atomLog.clear();
    I.costLog.clear();
    level = 0;
}

LEVELMARK MODELGENERATOR::enterLevel(INTERPRETATION& I) {
    I.pushMarkers();
    ++level;
    return LEVELMARK{checkAtomList.size(), offerCleared.size()};
}

void MODELGENERATOR::leaveLevel(INTERPRETATION& I, const LEVELMARK& mark) {
    assert(level > 0);
    --level;
    if (lookaheadCacheOn) dropUndoneLookaheads(I);
    if (gusActive) unparkUndoneAtoms(I);
    if (!extremeMemberships.items.empty()) uncountUndoneTrueElements(I);
    I.undoToMarkers();
    if (!decidedTrail.empty()) undoDecidedSuffixes();
    counterTrail.undoTo(level);
    supportTrail.undoTo(level);
    if (!aggregateTrail.entries.empty()) aggregateTrail.undoTo(level);
    while (checkAtomList.size() > mark.checkAtomCount) {
        (*checkAtoms)[checkAtomList.back()] = 0;
        checkAtomList.pop_back();
    }
    if (lookaheadCacheOn) {
        atomLogSynced = std::min(atomLogSynced, I.atomLog.size());
        supportTrailSynced = std::min(supportTrailSynced, supportTrail.entries.size());
    }
    while (offerCleared.size() > mark.offerClearedCount) {
        markOffer(offerCleared.back());
        offerCleared.pop_back();
    }
    if constexpr (checkingInvariants) checkInvariants(I, "level exit");
}

void MODELGENERATOR::markForCheck(int32_t atom) {
    if (!checkAtoms || (*checkAtoms)[atom]) return;
    (*checkAtoms)[atom] = 1;
    checkAtomList.push_back(static_cast<uint32_t>(atom));
}

void MODELGENERATOR::assignChoice(int32_t atom, int32_t value, INTERPRETATION& I) {
    assert(I.values[atom] == TV_UNDEFINED);
    const REASON choice{REASON_CHOICE, 0};
    switch (value) {
    case TV_ASSUMED:
        setTrueDirectly(atom, I, choice);
        markForCheck(atom);
        if (inHeadCycleComponent(atom)) ++currentInfo.madeTrueInHeadCycles;
        break;
    case TV_MUSTBETRUE: setMustBeTrue(atom, I, choice); break;
    default: setFalse(atom, I, choice); break;
    }
}

void MODELGENERATOR::clearOccurrenceLists() {
    aggregateMemberships.clear();
    aggregateAtoms.clear();
    headOccurrences.clear();
    posBodyOccurrences.clear();
    negBodyOccurrences.clear();
    std::vector<uint32_t>().swap(headSplit);
    std::vector<uint32_t>().swap(posBodySplit);
    posConstraintOccurrences.clear();
    negConstraintOccurrences.clear();
    decltype(constraintData)().swap(constraintData);
    std::vector<uint32_t>().swap(constraintHandles);
    std::vector<uint32_t>().swap(constraintSatisfiedBits);
    std::vector<RULESHAPE>().swap(ruleShapes);
    decltype(eventLists)().swap(eventLists);
    std::vector<int32_t>().swap(ruleAtoms);
    posWeakOccurrences.clear();
    negWeakOccurrences.clear();
    std::vector<int32_t>().swap(supportCount);
    std::vector<bool>().swap(ptTriedPositive);
    std::vector<bool>().swap(ptTriedNegative);
    std::vector<int32_t>().swap(ptPositiveWeight);
    std::vector<int32_t>().swap(ptNegativeWeight);
    counterTrail = UNDOTRAIL<uint32_t>();
    supportTrail = UNDOTRAIL<int32_t>();
    aggregateTrail = AGGREGATETRAIL();
    aggregateTrail.factorCounts = &timesFactors;
    checkAtoms.reset();
    checkAtomList.clear();
    eventQueue.clear();
    if (gusActive) {
        std::fill(gusQueued.begin(), gusQueued.end(), 0);
        gusComponentQueue.clear();
    }
    if (optimumKnown) costBound.reset();
}

}  // namespace veltra
