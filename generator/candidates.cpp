// generator/candidates.cpp: completion of an interpretation into a candidate,
// its model check, the candidate filter, and the bookkeeping and report of
// each answer set.
#include <algorithm>

#include "checker/modelchecker.h"
#include "core/finish.h"
#include "generator/modelgenerator.h"

namespace veltra {

uint32_t MODELGENERATOR::nextTrueUnfoundedAtom(const INTERPRETATION& I, uint32_t from) const {
    const uint32_t atoms = uint32_t(std::min(unfoundedSet.size(), I.values.size()));
    for (uint32_t a = from; a < atoms; ++a)
        if (unfoundedSet[a] && checkerTrue(I.values[a])) return a;
    return uint32_t(I.values.size());
}

bool MODELGENERATOR::callModelChecker(INTERPRETATION& I) {
    const bool recording = I.recording;
    I.recording = false;
    const bool stable = checkModel(I, *groundRules, (checkFlags & CHECK_PROGRAM_IS_HCF) != 0, *gdg, checkAtoms.get(),
                                   &unfoundedSet, &unfoundedSetFound);
    I.recording = recording;
    return stable;
}

void MODELGENERATOR::checkCandidate(INTERPRETATION& I) {
    // Counted, and remembered for the forward check of later levels.
    ++answerSetCandidates;
    lastCandidateLevel = uint32_t(level);

    // An atom derived true without support: no answer set here.
    if (I.mustBeTrueCount != 0) {
        unfoundedSetFound = false;
        return;
    }

    // Completion: every undefined atom false, propagated at once. Atoms
    // behind the walk are decided, so none of them can turn must-be-true.
    const int32_t atoms = int32_t(I.values.size());
    for (int32_t a = 0; a < atoms; ++a) {
        const int32_t value = I.values[a];
        if (value == TV_MUSTBETRUE) {
            unfoundedSetFound = false;
            return;
        }
        if (value != TV_UNDEFINED) continue;
        setFalse(a, I);
        if (!propagateEvents(I)) {
            unfoundedSetFound = false;
            return;
        }
    }

    // The model check, needed when some true atom was not derived by
    // propagation. For a head-cycle-free program the unfounded-set step has
    // falsified every unfounded atom of a cyclic component (every cyclic
    // component qualifies for it), and the support counts have failed every
    // branch where a true atom lost its last rule; without a cyclic component
    // the support counts alone suffice.
    const bool unfoundedStepCovers =
        (checkFlags & CHECK_USE_GUS) != 0 && (checkFlags & CHECK_PROGRAM_IS_HCF) != 0;
    if ((checkFlags & CHECK_MODEL_CHECKING_ON) && !checkAtomList.empty() && !unfoundedStepCovers) {
        modelCheckTimer.start();
        ++totalModelChecks;
        const bool stable = callModelChecker(I);
        modelCheckTimer.stop();
        if (!stable) {
            if (unfoundedSetFound) unfoundedCursor = nextTrueUnfoundedAtom(I, 0);
            searchState = SEARCH_SUBTREE_REJECTED;
            partialCheckRules.clear();
        }
    }

    // The caller's filter, for candidates that passed.
    if (candidateFilter) {
        if (searchState == SEARCH_SUBTREE_REJECTED) return;  // unfoundedSetFound stays for the backtracking check
        frontendTimer.start();
        const bool accepted = candidateFilter(this, *groundTrueAtoms, &I);
        frontendTimer.stop();
        if (!accepted) {
            searchState = SEARCH_SUBTREE_REJECTED;
            unfoundedSetFound = false;
        }
    }

    // Neither check nor filter rejected it: an answer set.
    if (searchState != SEARCH_SUBTREE_REJECTED) {
        answerSetFound(I);
        unfoundedSetFound = false;
    }
}

void MODELGENERATOR::answerSetFound(INTERPRETATION& I) {
    // The new bound, the best model and whether it proves the optimum.
    if (!optimumKnown) {
        bestCost = std::make_unique<COSTVECTOR>(I.cost);
        ++boundChanges;
    }
    if (!bestModel) bestModel = std::make_unique<INTERPRETATION>();
    bestModel->values = I.values;
    bestModel->mustBeTrueCount = I.mustBeTrueCount;
    bestModel->cost = I.cost;
    if (!optimumKnown && initialCost && compareCosts(I.cost, *initialCost) == 0) {
        optimumKnown = true;
        ++boundChanges;
    }

    // Only answer sets of known optimal cost count.
    if (optimumKnown) ++answerSetsComputed;

    // The report.
    if (!modelHook) return;
    const INTERPRETATION* model = &I;
    if (weakConstraintsPresent) {
        if (!optimumKnown && !wcTrace && !costBoundGiven) return;
        model = bestModel.get();
    }
    frontendTimer.start();
    const bool goOn = modelHook(this, *groundTrueAtoms, model);
    frontendTimer.stop();
    checkStandardOutput();  // a failed write of any frontend stops the search here
    if (!goOn) searchState = SEARCH_STOPPED;
}

void MODELGENERATOR::reportBestModel() {
    totalTimer.start();
    if (answerSetsPrinted == 0) searchTimer.start();
    frontendTimer.start();
    if (modelHook) modelHook(this, *groundTrueAtoms, bestModel.get());
    frontendTimer.stop();
    if (answerSetsPrinted == 0) searchTimer.stop();
    totalTimer.stop();
}

}  // namespace veltra
