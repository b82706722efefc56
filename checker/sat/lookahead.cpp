// checker/sat/lookahead.cpp: the branching step: pure literals, look-ahead
// trials of both values of selected variables (with a second level on large
// trials), forced values of failed trials, and the weighted decision.
#include <algorithm>
#include <cassert>
#include <cstdint>

#include "checker/sat/satinternal.h"
#include "checker/sat/satsolver.h"

namespace veltra {

namespace {

enum SCOREKIND { SCORE_DOUBLE, SCORE_BINARY, SCORE_WEIGHTED };

// A pure literal: the opposite literal occurs in no active clause, so making
// this one true satisfies its clauses and shortens none.
void assignPure(SATSOLVER& s, int32_t literal) {
    int32_t v = s.variableOf(literal);
    s.value[v] = s.isPositive(literal);
    s.alternative[v] = -1;
    s.free[v] = 0;
    s.trail[s.trailTop++] = v;
    satSatisfy(s, literal);
}

// Recounts the active clauses holding literal: length 2 and any other length.
void recount(SATSOLVER& s, int32_t literal) {
    int32_t binary = 0, other = 0;
    const int32_t *p = s.occurrencesBegin(literal), *e = s.occurrencesEnd(literal);
    s.lookaheadWork += e - p;
    // An inactive clause has length 0; an active one, after a complete
    // propagation, at least 2.
    const int32_t* lengths = s.clauseLength.data();
    for (; p != e; ++p) {
        int32_t length = lengths[*p];
        binary += length == 2;
        other += length > 2;
    }
    s.binaryCount[literal] = binary;
    s.longCount[literal] = other;
}

// The weight of literal l in a trial score of kind: the two-literal count
// of its complement (binary), or five times that plus its long count
// (weighted).
int64_t countWeight(const SATSOLVER& s, int32_t l, SCOREKIND kind) {
    const int32_t other = s.complement(l);
    return kind == SCORE_WEIGHTED ? 5 * s.binaryCount[other] + s.longCount[other] : s.binaryCount[other];
}

// Score of a binary or weighted trial: over the shortened-list entries from
// s0 whose clause now has two literals not false, over their free literals,
// the weight of the literal; read from scoreWeight when the pass filled it.
int32_t reducedClauseScore(const SATSOLVER& s, int32_t s0, SCOREKIND kind) {
    int64_t total = 0;
    const int32_t n = s.variableCount;
    const uint8_t* free = s.free.data();
    const int64_t* weight = s.scoreWeight.data();
    const int32_t* lengths = s.clauseLength.data();
    const int32_t* shortLiterals = s.shortLiterals.data();
    const int32_t longClause = 2 * n + 1;
    for (int32_t i = s0; i < s.shortenedCount; ++i) {
        int32_t c = s.shortenedList[i];
        if (lengths[c] != 2) continue;
        // Without a branch on the free test: it follows no pattern. A clause
        // of at most four literals is read from its four slots (padding has
        // weight 0 and is never free).
        const int32_t* slots = shortLiterals + 4 * size_t(c);
        if (s.weightsFilled && slots[0] != longClause) {
            for (int32_t k = 0; k < 4; ++k) {
                const int32_t l = slots[k];
                total += int64_t(free[l < n ? l : l - n]) * weight[l];
            }
            continue;
        }
        for (const int32_t *p = s.literalsBegin(c), *e = s.literalsEnd(c); p != e; ++p) {
            const int32_t l = *p;
            total += int64_t(free[l < n ? l : l - n]) * (s.weightsFilled ? weight[l] : countWeight(s, l, kind));
        }
    }
    return int32_t(std::min<int64_t>(total, INT32_MAX));
}

// Fills scoreWeight for the trials of a pass of kind, when that costs little
// beside the pass: on at most a quarter as many literals as the look-ahead
// budget (a pass over more variables mostly ends at the budget, long before
// it would have read every weight).
void setScoreWeights(SATSOLVER& s, SCOREKIND kind) {
    const int32_t codes = 2 * s.variableCount;
    s.weightsFilled = int64_t(codes) * 4 <= s.lookaheadBudget;
    if (!s.weightsFilled) return;
    for (int32_t l = 0; l < codes; ++l) s.scoreWeight[l] = countWeight(s, l, kind);
}

// Assigns literal as a trial or probe: the variable is pushed, its value and
// alternative untouched, the opposite literal's clauses shortened, and the
// units propagated. Returns false on a conflict.
bool trialAssign(SATSOLVER& s, int32_t literal) {
    ++s.probeCounter;
    TRIALVIEW view(s);
    const bool holds = view.assign(literal) && view.propagate();
    view.put(s);
    return holds;
}

// Undoes a trial or probe that started at shortened-list length s0 and trail
// top t0.
void undoTrial(SATSOLVER& s, int32_t s0, int32_t t0) {
    TRIALVIEW view(s);
    view.undo(s0, t0);
    view.put(s);
}

// One trial of literal: assign, propagate, score, undo. Returns the score, or
// -1 when the trial failed.
int32_t trial(SATSOLVER& s, int32_t literal, SCOREKIND kind) {
    int32_t s0 = s.shortenedCount, t0 = s.trailTop;
    bool failed = !trialAssign(s, literal);
    int32_t result = -1;
    if (!failed) {
        if (kind == SCORE_DOUBLE) {
            result = s.shortenedCount - s0;
            if (result > s.threshold && result > s.bestTrialSize) {
                s.bestTrialSize = result;
                if (satProbeReducedClauses(s0) < 0) failed = true;
            }
        } else {
            result = reducedClauseScore(s, s0, kind);
        }
    }
    undoTrial(s, s0, t0);
    return failed ? -1 : result;
}

int examine(int32_t v, SCOREKIND kind) {
    SATSOLVER& s = satState;
    int32_t positive = v, negative = s.negative(v);
    int32_t result = trial(s, positive, kind);
    if (result < 0) {
        satAssignForced(s, negative);
        return -1;
    }
    s.score[positive] = result;
    result = trial(s, negative, kind);
    if (result < 0) {
        satAssignForced(s, positive);
        return -1;
    }
    s.score[negative] = result;
    s.candidateList[s.candidateCount++] = v;
    return 1;
}

// A probe of literal inside a trial: when it fails, the opposite literal is
// assigned and propagated, and stays until the enclosing trial is undone.
int probe(int32_t literal) {
    SATSOLVER& s = satState;
    int32_t s0 = s.shortenedCount, t0 = s.trailTop;
    const bool holds = trialAssign(s, literal);
    undoTrial(s, s0, t0);
    if (holds) {
        --s.probeCounter;
        return 1;
    }
    return trialAssign(s, s.complement(literal)) ? 1 : -1;
}

bool withinBudget(const SATSOLVER& s) { return s.lookaheadWork < s.lookaheadBudget; }

// Takes the result of an examine procedure; a forced value is propagated.
// Returns false on a conflict.
bool forcedValueHolds(int examined) { return examined > 0 || satPropagate() >= 0; }

}  // namespace

int satExamineDouble(int32_t v) { return examine(v, SCORE_DOUBLE); }
int satExamineBinary(int32_t v) { return examine(v, SCORE_BINARY); }
int satExamineWeighted(int32_t v) { return examine(v, SCORE_WEIGHTED); }
int satProbeTrue(int32_t u) { return probe(u); }
int satProbeFalse(int32_t u) { return probe(satState.negative(u)); }

int satProbeReducedClauses(int32_t start) {
    SATSOLVER& s = satState;
    // Entries appended meanwhile (by failed probes) are walked too.
    for (int32_t i = start; i < s.shortenedCount; ++i) {
        if (s.lookaheadWork >= s.lookaheadBudget) return 1;
        int32_t c = s.shortenedList[i];
        if (s.clauseLength[c] != 2) continue;
        for (int32_t k = s.clauseStart[c]; k < s.clauseStart[c + 1]; ++k) {
            int32_t literal = s.clauseLiterals[k];
            int32_t u = s.variableOf(literal);
            if (!s.free[u] || s.probeStamp[u] >= s.probeCounter) continue;
            s.probeStamp[u] = s.probeCounter;
            int result = 1;
            if (s.isPositive(literal)) {
                if (s.binaryCount[s.negative(u)] != 0) result = satProbeTrue(u);
            } else {
                if (s.binaryCount[u] != 0) result = satProbeFalse(u);
            }
            if (result < 0) {
                s.bestTrialSize = -1;
                return -1;
            }
        }
    }
    return 1;
}

int satChooseBranchVariable() {
    SATSOLVER& s = satState;
    int32_t n = s.variableCount;
    s.bestTrialSize = -1;
    s.candidateCount = 0;
    s.searchWork += s.lookaheadWork;  // the previous step's
    s.lookaheadWork = 0;
    int32_t trailAtStart = s.trailTop;
    // Whether this step has a candidate or has assigned something.
    auto progress = [&, trailAtStart] { return s.candidateCount > 0 || s.trailTop > trailAtStart; };

    // First pass: refresh the counts, take pure literals, and examine the
    // variables with many two-literal clauses on both sides, with the second
    // level on large trials.
    int32_t v = s.passCursor[0];
    s.passCursor[0] = 0;
    for (int32_t k = 0; k < n; ++k, v = v + 1 == n ? 0 : v + 1) {
        if (!withinBudget(s)) {
            s.passCursor[0] = v;
            break;
        }
        ++s.lookaheadWork;
        if (!s.free[v]) continue;
        int32_t negative = s.negative(v);
        recount(s, negative);
        if (s.binaryCount[negative] == 0 && s.longCount[negative] == 0) {
            assignPure(s, v);
            continue;
        }
        recount(s, v);
        if (s.binaryCount[v] == 0 && s.longCount[v] == 0) {
            assignPure(s, negative);
            continue;
        }
        if (s.binaryCount[negative] > 0 && s.binaryCount[v] > 0 && s.binaryCount[negative] + s.binaryCount[v] > 3 &&
            !forcedValueHolds(satExamineDouble(v)))
            return -1;
    }

    // Second pass, while fewer than 10 candidates: variables with two-literal
    // clauses on both sides, more than one on some side.
    if (s.candidateCount < 10 && (withinBudget(s) || !progress())) {
        s.candidateCount = 0;
        setScoreWeights(s, SCORE_BINARY);
        v = s.passCursor[1];
        s.passCursor[1] = 0;
        for (int32_t k = 0; k < n; ++k, v = v + 1 == n ? 0 : v + 1) {
            if (!withinBudget(s)) {
                s.passCursor[1] = v;
                break;
            }
            ++s.lookaheadWork;
            if (!s.free[v]) continue;
            int32_t bn = s.binaryCount[s.negative(v)], bp = s.binaryCount[v];
            if (bn > 0 && bp > 0 && (bn > 1 || bp > 1) && !forcedValueHolds(satExamineBinary(v))) return -1;
        }
    }

    // Third pass, while still fewer than 10: every free variable. Beyond the
    // budget it goes on only until the step has a candidate or a value.
    if (s.candidateCount < 10 && (withinBudget(s) || !progress())) {
        s.candidateCount = 0;
        setScoreWeights(s, SCORE_WEIGHTED);
        v = s.passCursor[2];
        s.passCursor[2] = 0;
        for (int32_t k = 0; k < n; ++k, v = v + 1 == n ? 0 : v + 1) {
            if (!withinBudget(s) && progress()) {
                s.passCursor[2] = v;
                break;
            }
            ++s.lookaheadWork;
            if (s.free[v] && !forcedValueHolds(satExamineWeighted(v))) return -1;
        }
    }

    // Selection: the first candidate of greatest weight that is still free.
    int32_t best = -1;
    int64_t bestWeight = -1;
    for (int32_t i = 0; i < s.candidateCount; ++i) {
        int32_t v = s.candidateList[i];
        if (!s.free[v]) continue;
        int64_t positive = s.score[v], negative = s.score[s.negative(v)];
        int64_t weight = negative * positive * 1024 + positive + negative + 1;
        if (weight > bestWeight) {
            bestWeight = weight;
            best = v;
        }
    }
    if (best < 0) return 0;

    // Decide it true; false stays to be tried.
    s.free[best] = 0;
    s.satisfiedPosition[best] = s.satisfiedCount;
    s.shortenedPosition[best] = s.shortenedCount;
    s.trail[s.trailTop++] = best;
    s.value[best] = 1;
    s.alternative[best] = 0;
    satShortenMain(s, s.negative(best));
    satSatisfy(s, best);
    return 1;
}

}  // namespace veltra
