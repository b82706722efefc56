// generator/search.cpp: the search over choice levels: a run, one level with
// its choices and complements, one branch, and the partial model checks that
// prove a level hopeless.
#include <algorithm>
#include <cassert>
#include <deque>

#include "checker/modelchecker.h"
#include "generator/heuristics.h"
#include "generator/modelgenerator.h"

namespace veltra {

// Where the choice without heuristics stands: the rule it came from and the
// literal's position in that rule's head (positive) or body (negative).
struct RULECURSOR {
    size_t rule = 0;
    size_t position = 0;
    GROUNDLITERAL literal{0, 0};
};

namespace {

// Whether cost equals bound at every slot; an unbounded slot never does.
bool costEquals(const COSTVECTOR& cost, const COSTVECTOR& bound) {
    for (size_t i = 0; i < cost.size(); ++i)
        if (bound.isUnbounded(i) || cost.values[i] != bound.values[i]) return false;
    return true;
}

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
        // Cost bounds change with the answer sets found: a conflict with one
        // has no reason that lasts, so optimisation backtracks chronologically.
        backjumpingOn = settings.backjumping && !weakConstraintsPresent && groundWeakConstraints->empty();
        conflictWalks = levelsSkipped = 0;
        if (!settings.useHeuristics) buildOfferIndex();
        startLookaheadCache();
        interpretation.recording = true;
        searchLevel(interpretation);
        interpretation.recording = false;
    }
    if (answerSetsPrinted == 0) searchTimer.stop();
    totalTimer.stop();
    offerIndexActive = false;
    stopLookaheadCache();
    endRun(interpretation);
    assert(groundRecordsStayed());
}

bool MODELGENERATOR::ruleOffersChoice(GROUNDRULE& rule, GROUNDLITERAL& literal, size_t& position,
                                      const INTERPRETATION& I) const {
    if (ruleStatus(rule) != 0 || openPosBody(rule) != 0) return false;
    if (!settings.negativePT || openNegBody(rule) == 0) {
        const std::vector<ATOMID>& head = *rule.head;
        for (size_t i = 0; i < head.size(); ++i)
            if (I.values[head[i]] == TV_UNDEFINED) {
                literal = GROUNDLITERAL{head[i], 0};
                position = i;
                return true;
            }
        // Every open head atom is must-be-true. Under --pospts such a rule
        // can only still support them through its negated body literals: it
        // offers those, or answer sets would be lost.
        if (settings.negativePT || openNegBody(rule) == 0) return false;
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

void MODELGENERATOR::buildOfferIndex() {
    const size_t n = groundRules->size();
    offerBits.assign((n + 63) / 64, 0);
    offerSummary.assign((offerBits.size() + 63) / 64, 0);
    offerCleared.clear();
    for (size_t r = 0; r < n; ++r) {
        GROUNDRULE& rule = (*groundRules)[r];
        if (ruleStatus(rule) == 0 && openPosBody(rule) == 0) markOffer(r);
    }
    offerIndexActive = true;
}

void MODELGENERATOR::clearOffer(size_t rule) {
    uint64_t& word = offerBits[rule >> 6];
    word &= ~(uint64_t(1) << (rule & 63));
    if (word == 0) offerSummary[rule >> 12] &= ~(uint64_t(1) << ((rule >> 6) & 63));
    offerCleared.push_back(uint32_t(rule));
}

size_t MODELGENERATOR::nextMarkedOffer(size_t from) const {
    const size_t n = groundRules->size();
    if (from >= n) return n;
    size_t w = from >> 6;
    uint64_t bits = offerBits[w] & (~uint64_t(0) << (from & 63));
    if (bits) return (w << 6) + size_t(__builtin_ctzll(bits));
    // The next non-zero word through the summary.
    size_t s = (w + 1) >> 6;
    if (s >= offerSummary.size()) return n;
    uint64_t summary = ((w + 1) & 63) ? offerSummary[s] & (~uint64_t(0) << ((w + 1) & 63)) : offerSummary[s];
    while (!summary) {
        if (++s >= offerSummary.size()) return n;
        summary = offerSummary[s];
    }
    w = (s << 6) + size_t(__builtin_ctzll(summary));
    return (w << 6) + size_t(__builtin_ctzll(offerBits[w]));
}

namespace {

// The first rule from 'from' up to (not including) 'to' that offers a
// choice. Only marked rules can; a marked rule that offers nothing is
// cleared until this level is left.
bool firstOffer(MODELGENERATOR& g, const INTERPRETATION& I, size_t from, size_t to, RULECURSOR& cursor) {
    std::vector<GROUNDRULE>& rules = *g.groundRules;
    for (size_t r = g.nextMarkedOffer(from); r < to; r = g.nextMarkedOffer(r + 1)) {
        ++g.choiceRulesScanned;
        if (g.ruleOffersChoice(rules[r], cursor.literal, cursor.position, I)) {
            cursor.rule = r;
            return true;
        }
        g.clearOffer(r);
    }
    return false;
}

// The next choice after the cursor's: a later undefined literal of the same
// kind in the same rule, else the next rule offering one, else the first
// from the start.
bool nextOffer(MODELGENERATOR& g, const INTERPRETATION& I, RULECURSOR& cursor) {
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

// One choice level of the search. The levels live on an explicit stack, so
// that the depth of a search never grows the call stack.
struct SEARCHFRAME {
    int32_t L = 0;                                     // the level number
    uint32_t passedLevel = 0, candidateLevel = 0;      // as the level was entered
    PTCANDIDATES list;                                 // with heuristics
    RULECURSOR cursor;                                 // without heuristics
    bool found = false;                                // a choice is open
    bool consistent = false;                           // some branch propagated
    GROUNDLITERAL literal{0, 0};                       // the current choice
    int32_t sign = 1;                                  // 1: taken as written first
    LEVELMARK mark{0};                                 // the branch's undo mark
    uint32_t levelSetCount = 0, levelSetLevelCount = 0;  // level sets kept before this level
};

namespace {
enum : int32_t { LEVEL_ENDED, BRANCH_OPENED, BRANCH_FAILED };
}  // namespace

// The opening of a level: statistics, the forward partial check and the
// first choice. False when the level ends at once.
bool MODELGENERATOR::openLevel(SEARCHFRAME& f, INTERPRETATION& I) {
    if constexpr (checkingInvariants) checkInvariants(I, "level entry");
    f.L = level;
    f.levelSetCount = uint32_t(levelSets.size());
    f.levelSetLevelCount = uint32_t(levelSetLevels.size());
    f.passedLevel = lastPassedCheckLevel;
    f.candidateLevel = lastCandidateLevel;

    // Level statistics.
    if (uint32_t(f.L) > maxLevel) {
        maxLevel = uint32_t(f.L);
        if (settings.countLevels) levelCounts.push_back(1);
    } else if (settings.countLevels && size_t(f.L - 1) < levelCounts.size()) {
        ++levelCounts[f.L - 1];
    }

    // Forward partial check, only where head cycles make stability doubtful.
    if ((checkFlags & CHECK_MODEL_CHECKING_ON) && settings.partialChecksForwards && !checkAtomList.empty() &&
        !gdg->isHCF() && forwardCheckFails(I, f.passedLevel, f.candidateLevel)) {
        if (backjumpingOn && unfoundedSetFound)
            collectUnfoundedSetLevels(I);
        else
            failAll();
        return false;
    }

    // The first choice: with heuristics the best possibly-true literal
    // after lookaheads, without them the first open rule with a true
    // positive body.
    ptTimer.start();
    if (settings.useHeuristics) {
        f.list.generator = this;
        f.list.interpretation = &I;
        f.list.capacity = uint32_t(std::max<int32_t>(settings.ptCacheSize, 1));
        if (!nextPossiblyTrueChoice(f.list, I)) {
            ptTimer.stop();
            collectConflictLevels(I);
            return false;
        }
        f.found = !f.list.done;
    } else {
        f.found = firstOffer(*this, I, 0, groundRules->size(), f.cursor);
        if (f.found) ++choicePoints;
    }
    ptTimer.stop();
    return true;
}

// A choice of a level and the start of its branch: a candidate when nothing
// is left to choose, else a new level with the choice assigned and
// propagated (undone at once when that fails).
int32_t MODELGENERATOR::chooseOnLevel(SEARCHFRAME& f, INTERPRETATION& I) {
    // Nothing left to choose: the interpretation is a candidate.
    if (!f.found) {
        checkCandidate(I);
        // A rejection by an unfounded set rests on the literals that keep
        // it unfounded; an answer set or another rejection on every level.
        if (backjumpingOn && searchState == SEARCH_SUBTREE_REJECTED && unfoundedSetFound)
            collectUnfoundedSetLevels(I);
        else
            failAll();
        return LEVEL_ENDED;
    }

    // The literal, taken true first unless its complement's record
    // is better.
    f.literal = f.cursor.literal;
    f.sign = 1;
    if (settings.useHeuristics) {
        const PTCANDIDATE& e = *f.list.candidates.front();
        f.literal = GROUNDLITERAL{e.atom, uint8_t(e.negative ? 1 : 0)};
        if (settings.canChooseComplementPT && e.complementInfo)
            for (int32_t c : heuristicCriteria)
                if (int r = compareByCriterion(uint32_t(c), e.literalInfo, *e.complementInfo)) {
                    if (r < 0) f.sign = 0;
                    break;
                }
    }

    // The branch: a new level; a positive literal taken true sets its atom
    // true directly, a negative one taken false makes its atom must-be-true.
    f.mark = enterLevel(I);
    const bool atomTrue = (f.literal.negated == 0) == (f.sign == 1);
    assignChoice(f.literal.atom, atomTrue ? (f.literal.negated ? TV_MUSTBETRUE : TV_ASSUMED) : TV_FALSE, I);
    if (!propagateEvents(I)) {
        ++inconsistentChoices;
        collectConflictLevels(I);
        leaveLevel(I, f.mark);
        return BRANCH_FAILED;
    }
    if (!f.consistent) {
        f.consistent = true;
        ++internalChoicePoints;
    }
    return BRANCH_OPENED;
}

// A level once its branch came back and was undone: the partial check a
// failed check below asked for, the complement of the choice, and the next
// choice. False when the level ends.
bool MODELGENERATOR::continueLevel(SEARCHFRAME& f, INTERPRETATION& I) {
    // What came back from below.
    if (searchState == SEARCH_STOPPED) return false;
    // The complement rests on the levels the failed branch depended on,
    // without the branch's own.
    const REASON why = backjumpingOn ? REASON{REASON_COMPLEMENT, keepFailLevels(f.L + 1)} : REASON();
    if (searchState == SEARCH_SUBTREE_REJECTED) {
        if (!(checkFlags & CHECK_MODEL_CHECKING_ON) || checkAtomList.empty()) {
            searchState = SEARCH_GOES_ON;
        } else if (backtrackingCheckFails(I)) {
            if (backjumpingOn && unfoundedSetFound)
                collectUnfoundedSetLevels(I);
            else
                failAll();
            return false;
        } else {
            lastPassedCheckLevel = uint32_t(f.L);
            searchState = SEARCH_GOES_ON;
        }
    }
    // While optimising, only strictly cheaper answer sets are wanted and
    // costs only grow along a branch.
    if (!optimumKnown && bestCost && costEquals(I.cost, *bestCost)) {
        failAll();
        return false;
    }

    // The complement on this level: the atom false when the branch made
    // it true, must-be-true when the branch made it false.
    const int32_t a = f.literal.atom;
    const int32_t value = I.values[a];
    const bool branchMadeTrue = (f.literal.negated == 0) == (f.sign == 1);
    if (branchMadeTrue ? value == TV_MUSTBETRUE || isTrueValue(value) : value == TV_FALSE) {
        failAll();
        return false;
    }
    if (value == TV_UNDEFINED) {
        if (branchMadeTrue)
            setFalse(a, I, why);
        else
            setMustBeTrue(a, I, why);
    }
    if (!propagateEvents(I)) {
        collectConflictLevels(I);
        return false;
    }

    // The next choice on the same level.
    ptTimer.start();
    if (settings.useHeuristics) {
        f.list.remove(0);
        if (!nextPossiblyTrueChoice(f.list, I)) {
            ptTimer.stop();
            collectConflictLevels(I);
            return false;
        }
        f.found = !f.list.done;
    } else {
        f.found = nextOffer(*this, I, f.cursor);
    }
    ptTimer.stop();
    return true;
}

void MODELGENERATOR::searchLevel(INTERPRETATION& I) {
    // A deque: a level's candidate list must not move while levels above it
    // are pushed.
    std::deque<SEARCHFRAME> stack;
    // A level's complements keep their level sets while it lasts.
    auto popFrame = [&]() {
        levelSets.resize(stack.back().levelSetCount);
        levelSetLevels.resize(stack.back().levelSetLevelCount);
        stack.pop_back();
    };
    stack.emplace_back();
    if (!openLevel(stack.back(), I)) return;
    for (;;) {
        const int32_t step = chooseOnLevel(stack.back(), I);
        if (step == BRANCH_OPENED) {
            stack.emplace_back();
            if (openLevel(stack.back(), I)) continue;
            popFrame();  // the new level ended at once
        } else if (step == BRANCH_FAILED) {
            // A conflict that does not rest on the choice ends its level too.
            if (!(backjumpingOn && failTop() <= stack.back().L) && continueLevel(stack.back(), I)) continue;
            popFrame();
        } else {
            popFrame();
        }
        // A level ended: the branch of the level below it comes back.
        for (;;) {
            // A stopped search leaves everything for the run's end to unwind.
            if (stack.empty() || searchState == SEARCH_STOPPED) return;
            // The levels above the highest one the failure rests on keep
            // it whatever they choose next: they are left untried.
            if (backjumpingOn) {
                const int32_t top = failTop();
                while (!stack.empty() && stack.back().L >= top) {
                    leaveLevel(I, stack.back().mark);
                    popFrame();
                    ++levelsSkipped;
                }
                if (stack.empty()) return;
            }
            leaveLevel(I, stack.back().mark);
            if (continueLevel(stack.back(), I)) break;
            popFrame();
        }
    }
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
    searchState = SEARCH_SUBTREE_REJECTED;
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
    // The unfounded set of the last failed check, re-tested while one of
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
    // Otherwise a full check of the current interpretation.
    if (!decided) {
        hopeless = !callModelChecker(I);
        partialCheckRules.clear();
        if (hopeless) unfoundedCursor = nextTrueUnfoundedAtom(I, 0);
    }
    partialCheckTimer.stop();
    return hopeless;
}

}  // namespace veltra
