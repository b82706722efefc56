// generator/search.cpp: the search over choice levels: a run, one level with
// its choices and complements, one branch, and the partial model checks that
// prove a level hopeless.
#include <algorithm>
#include <cassert>

#include "checker/modelchecker.h"
#include "driver/options.h"
#include "generator/heuristics.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// Whether cost equals bound at every slot; an unbounded slot never does.
bool costEquals(const COSTVECTOR& cost, const COSTVECTOR& bound) {
    for (size_t i = 0; i < cost.size(); ++i)
        if (bound.isUnbounded(i) || cost.values[i] != bound.values[i]) return false;
    return true;
}

// Where the choice without heuristics stands: the rule it came from and the
// literal's position in that rule's head (positive) or body (negative).
struct RULECURSOR {
    size_t rule = 0;
    size_t position = 0;
    GROUNDLITERAL literal{0, 0};
};

}  // namespace

void MODELGENERATOR::computeAnswerSets() {
    assert(groundRecordsStayed());
    lastCandidateLevel = 0;
    lastPassedCheckLevel = 0;
    totalTimer.start();
    searchTimer.start();
    INTERPRETATION interpretation;
    if (startRun(interpretation)) {
        level = 1;
        interpretation.recording = true;
        searchLevel(interpretation);
        interpretation.recording = false;
    }
    if (answerSetsPrinted == 0) searchTimer.stop();
    totalTimer.stop();
    endRun(interpretation);
    assert(groundRecordsStayed());
}

bool MODELGENERATOR::ruleOffersChoice(GROUNDRULE& rule, GROUNDLITERAL& literal, size_t& position,
                                      const INTERPRETATION& I) const {
    if (ruleStatus(rule) != 0 || openPosBody(rule) != 0) return false;
    if (!OPTIONS.negativePT || openNegBody(rule) == 0) {
        const std::vector<ATOMID>& head = *rule.head;
        for (size_t i = 0; i < head.size(); ++i)
            if (I.values[head[i]] == TV_UNDEFINED) {
                literal = GROUNDLITERAL{head[i], 0};
                position = i;
                return true;
            }
        // Every open head atom is must-be-true: nothing to branch on here.
        return false;
    }
    const GROUNDCONJUNCTION& body = *rule.body;
    for (size_t i = body.firstNegative; i < body.literals.size(); ++i)
        if (I.values[body.literals[i].atom] == TV_UNDEFINED) {
            literal = GROUNDLITERAL{body.literals[i].atom, 1};
            position = i;
            return true;
        }
    return false;
}

namespace {

// The first rule from 'from' up to (not including) 'to' that offers a choice.
bool firstOffer(const MODELGENERATOR& g, const INTERPRETATION& I, size_t from, size_t to, RULECURSOR& cursor) {
    std::vector<GROUNDRULE>& rules = *g.groundRules;
    for (size_t r = from; r < to; ++r)
        if (g.ruleOffersChoice(rules[r], cursor.literal, cursor.position, I)) {
            cursor.rule = r;
            return true;
        }
    return false;
}

// The next choice after the cursor's: a later undefined literal of the same
// kind in the same rule, else the next rule offering one, else the first
// from the start.
bool nextOffer(const MODELGENERATOR& g, const INTERPRETATION& I, RULECURSOR& cursor) {
    GROUNDRULE& rule = (*g.groundRules)[cursor.rule];
    if (cursor.literal.negated == 0) {
        const std::vector<ATOMID>& head = *rule.head;
        for (size_t i = cursor.position + 1; i < head.size(); ++i)
            if (I.values[head[i]] == TV_UNDEFINED) {
                cursor.literal = GROUNDLITERAL{head[i], 0};
                cursor.position = i;
                return true;
            }
    } else {
        const auto& literals = rule.body->literals;
        for (size_t i = cursor.position + 1; i < literals.size(); ++i)
            if (I.values[literals[i].atom] == TV_UNDEFINED) {
                cursor.literal = GROUNDLITERAL{literals[i].atom, 1};
                cursor.position = i;
                return true;
            }
    }
    // The rules after the current one, then those up to it: nothing changed
    // since they were last offered, so the wrap-around stops there.
    const size_t current = cursor.rule;
    return firstOffer(g, I, current + 1, g.groundRules->size(), cursor) || firstOffer(g, I, 0, current + 1, cursor);
}

}  // namespace

void MODELGENERATOR::searchLevel(INTERPRETATION& I) {
    const int32_t L = level;
    const uint32_t passedLevel = lastPassedCheckLevel, candidateLevel = lastCandidateLevel;

    // 1. Level statistics.
    if (uint32_t(L) > maxLevel) {
        maxLevel = uint32_t(L);
        if (statsLevel == 2) levelCounts.push_back(1);
    } else if (statsLevel == 2 && size_t(L - 1) < levelCounts.size()) {
        ++levelCounts[L - 1];
    }

    // 2. Forward partial check, only where head cycles make stability doubtful.
    if ((checkFlags & CHECK_MODEL_CHECKING_ON) && OPTIONS.partialChecksForwards && !checkAtomList.empty() &&
        !gdg->isHCF() && forwardCheckFails(I, passedLevel, candidateLevel))
        return;

    // 3. The first choice: with heuristics the best possibly-true literal
    // after lookaheads, without them the first open rule with a true
    // positive body.
    const bool heuristics = OPTIONS.useHeuristics;
    PTCANDIDATES list;
    RULECURSOR cursor;
    bool found;
    ptTimer.start();
    if (heuristics) {
        list.generator = this;
        list.interpretation = &I;
        list.capacity = uint32_t(std::max<int32_t>(OPTIONS.ptCacheSize, 1));
        if (!nextPossiblyTrueChoice(list, I)) {
            ptTimer.stop();
            return;
        }
        found = !list.done;
    } else {
        found = firstOffer(*this, I, 0, groundRules->size(), cursor);
        if (found) ++choicePoints;
    }
    ptTimer.stop();

    bool consistent = false;
    for (;;) {
        // 4. Nothing left to choose: the interpretation is a candidate.
        if (!found) {
            checkCandidate(I);
            return;
        }

        // 5, 6. The literal, taken true first unless its complement's record
        // is better.
        GROUNDLITERAL literal = cursor.literal;
        int32_t sign = 1;
        if (heuristics) {
            const PTCANDIDATE& e = *list.candidates.front();
            literal = GROUNDLITERAL{e.atom, uint8_t(e.negative ? 1 : 0)};
            if (OPTIONS.canChooseComplementPT && e.complementInfo)
                for (int32_t c : heuristicCriteria)
                    if (int r = compareByCriterion(uint32_t(c), e.literalInfo, *e.complementInfo)) {
                        if (r < 0) sign = 0;
                        break;
                    }
        }
        branchOn(consistent, sign, literal, I);

        // 7. What came back from below.
        if (searchState == 1) return;
        if (searchState == 2) {
            if (!(checkFlags & CHECK_MODEL_CHECKING_ON) || checkAtomList.empty()) {
                searchState = 0;
            } else if (backtrackingCheckFails(I)) {
                return;
            } else {
                lastPassedCheckLevel = uint32_t(L);
                searchState = 0;
            }
        }
        // While optimising, only strictly cheaper answer sets are wanted and
        // costs only grow along a branch.
        if (!optimumKnown && bestCost && costEquals(I.cost, *bestCost)) return;

    // 8. The complement on this level: the atom false when the branch made
        // it true, must-be-true when the branch made it false.
        const int32_t a = literal.atom;
        const int32_t value = I.values[a];
        const bool branchMadeTrue = (literal.negated == 0) == (sign == 1);
        if (!branchMadeTrue) {
            if (value == TV_FALSE) return;
            if (value == TV_UNDEFINED) setMustBeTrue(a, I);
        } else {
            if (value == TV_MUSTBETRUE || isTrueValue(value)) return;
            if (value == TV_UNDEFINED) setFalse(a, I);
        }
        if (!propagateEvents(I)) return;

        // 9. The next choice on the same level.
        ptTimer.start();
        if (heuristics) {
            list.remove(0);
            const bool ok = nextPossiblyTrueChoice(list, I);
            if (!ok) {
                ptTimer.stop();
                return;
            }
            found = !list.done;
        } else {
            found = nextOffer(*this, I, cursor);
        }
        ptTimer.stop();
    }
}

void MODELGENERATOR::branchOn(bool& consistent, int32_t sign, GROUNDLITERAL literal, INTERPRETATION& I) {
    // 1. A new level.
    const LEVELMARK mark = enterLevel(I);

    // 2. The assignment: a positive literal taken true sets its atom true
    // directly, a negative one taken false makes its atom must-be-true.
    const bool atomTrue = (literal.negated == 0) == (sign == 1);
    assignChoice(literal.atom, atomTrue ? (literal.negated ? TV_MUSTBETRUE : TV_ASSUMED) : TV_FALSE, I);

    // 3. Propagate and search below.
    if (!propagateEvents(I)) {
        ++inconsistentChoices;
    } else {
        if (!consistent) {
            consistent = true;
            ++internalChoicePoints;
        }
        searchLevel(I);
        // A stopped search leaves everything for the run's end to unwind.
        if (searchState == 1) return;
    }

    // 4. Undo the level.
    leaveLevel(I, mark);
}

bool MODELGENERATOR::forwardCheckFails(INTERPRETATION& I, uint32_t passedLevel, uint32_t candidateLevel) {
    // One third of the way from the last passed check towards the last
    // candidate; unsigned, so a candidate above the passed level is needed.
    const uint32_t target = passedLevel + (candidateLevel - passedLevel) / 3;
    if (passedLevel == 0 || target <= passedLevel || target != uint32_t(level)) return false;
    ++forwardPartialChecks;
    partialCheckTimer.start();
    const bool stable = callModelChecker(I);
    partialCheckTimer.stop();
    if (stable) return false;
    searchState = 2;
    ++forwardPartialChecksFailed;
    partialCheckRules.clear();
    unfoundedCursor = nextTrueUnfoundedAtom(I, 0);
    return true;
}

bool MODELGENERATOR::backtrackingCheckFails(INTERPRETATION& I) {
    partialCheckTimer.start();
    ++backtrackingPartialChecks;
    const uint32_t atoms = uint32_t(I.values.size());
    bool hopeless = false;
    bool decided = false;
    // 1. The unfounded set of the last failed check, re-tested while one of
    // its atoms is still true.
    if (unfoundedSetFound) {
        if (unfoundedCursor >= atoms || !checkerTrue(I.values[unfoundedCursor]))
            unfoundedCursor = nextTrueUnfoundedAtom(I, unfoundedCursor >= atoms ? atoms : unfoundedCursor + 1);
        if (unfoundedCursor < atoms) {
            quickCheckTimer.start();
            const bool stillUnfounded = partialCheckRules.empty()
                                            ? partialCheck(&unfoundedSet, I, *groundRules, &partialCheckRules)
                                            : quickPartialCheck(&unfoundedSet, I, partialCheckRules);
            quickCheckTimer.stop();
            if (stillUnfounded) {
                ++quickPartialChecks;
                hopeless = decided = true;
            }
        }
    }
    // 2. Otherwise a full check of the current interpretation.
    if (!decided) {
        hopeless = !callModelChecker(I);
        partialCheckRules.clear();
        if (hopeless) unfoundedCursor = nextTrueUnfoundedAtom(I, 0);
    }
    partialCheckTimer.stop();
    return hopeless;
}

}  // namespace veltra
