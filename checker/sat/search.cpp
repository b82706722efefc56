// checker/sat/search.cpp: unit propagation (main search and look-ahead
// trials), chronological backtracking and the search loop.
#include <algorithm>
#include <cassert>
#include <cstdint>

#include "checker/sat/satinternal.h"
#include "checker/sat/satsolver.h"

namespace veltra {

int satPropagate() {
    SATSOLVER& s = satState;
    if (s.falsifiedClause) {
        s.falsifiedClause = false;
        return -1;
    }
    // Units appended during the walk are walked too.
    for (int32_t i = 0; i < s.unitCount; ++i) {
        int32_t c = s.unitList[i];
        if (s.clauseLength[c] == 0) continue;
        int32_t literal = satFirstFreeLiteral(s, c);
        if (literal < 0) continue;
        int32_t v = s.variableOf(literal);
        s.value[v] = s.isPositive(literal);
        s.alternative[v] = -1;
        // The clauses of the opposite literal lose one literal; one that has
        // only this literal left is a conflict. The variable stays free then.
        int32_t opposite = s.complement(literal);
        for (const int32_t *p = s.occurrencesBegin(opposite), *e = s.occurrencesEnd(opposite); p != e; ++p) {
            int32_t d = *p;
            int32_t length = s.clauseLength[d];
            if (length == 0) continue;
            if (length == 1) return -1;
            if (length == 2) s.unitList[s.unitCount++] = d;
            s.clauseLength[d] = length - 1;
            s.shortenedList[s.shortenedCount++] = d;
        }
        s.free[v] = 0;
        s.trail[s.trailTop++] = v;
        satSatisfy(s, literal);
    }
    s.unitCount = 0;
    return 1;
}

bool satBacktrack() {
    SATSOLVER& s = satState;
    s.unitCount = 0;
    s.falsifiedClause = false;
    while (s.trailTop > 0) {
        int32_t v = s.trail[--s.trailTop];
        if (s.alternative[v] == -1) {
            s.free[v] = 1;
            continue;
        }
        // The decision to flip: restore the clause state it found.
        for (int32_t i = s.satisfiedPosition[v]; i < s.satisfiedCount; ++i) {
            int32_t c = s.satisfiedList[i];
            s.clauseLength[c] = s.savedLength[c];
        }
        s.satisfiedCount = s.satisfiedPosition[v];
        for (int32_t i = s.shortenedPosition[v]; i < s.shortenedCount; ++i) ++s.clauseLength[s.shortenedList[i]];
        s.shortenedCount = s.shortenedPosition[v];

        s.value[v] = uint8_t(s.alternative[v]);
        s.alternative[v] = -1;
        s.trail[s.trailTop++] = v;
        int32_t literal = s.value[v] ? v : s.negative(v);
        satShortenMain(s, s.complement(literal));
        satSatisfy(s, literal);
        return true;
    }
    return false;
}

namespace {

// Asks satDecide (afresh when start); true when its answer ends the search.
bool settledByDecide(SATSOLVER& s, bool start, int64_t workLimit) {
    s.decided = satDecide(start, workLimit);
    s.refuted = s.decided == 0;
    s.proved = s.decided == 1 && !s.modelWanted;
    return s.refuted || s.proved;
}

// Asks satDecide when its turn has come: at the backtrack number
// turnBacktracks(), or once the look-ahead work of the search reaches
// nextDecideWork, and each time again at twice the backtracks and work of
// the last turn. True when the answer ends the search.
bool settledOnTurn(SATSOLVER& s) {
    if (s.turnBacktracks() < 0 || s.decided >= 0) return false;
    if (s.backtracks < s.nextDecide && s.searchWork + s.lookaheadWork < s.nextDecideWork) return false;
    bool start = !s.decideStarted;
    s.decideStarted = true;
    int64_t work = s.searchWork + s.lookaheadWork;
    s.nextDecide = std::max(2 * s.backtracks, s.turnBacktracks());
    s.nextDecideWork = std::max(2 * work, s.nextDecideWork);
    return settledByDecide(s, start, work / 4);
}

// Counts a backtrack of the search; true when satDecide, asked on its turn,
// ended the search.
bool settledAtBacktrack(SATSOLVER& s) {
    ++s.backtracks;
    return settledOnTurn(s);
}

}  // namespace

void satSearch() {
    SATSOLVER& s = satState;
    s.backtracks = 0;
    s.searchWork = 0;
    s.lookaheadWork = 0;
    s.nextDecide = s.turnBacktracks();
    s.nextDecideWork = s.sixtyFourPasses();
    s.unitCount = 0;
    std::fill(s.probeStamp.begin(), s.probeStamp.end(), 0);
    s.probeCounter = 0;

    enum STEP { PROPAGATE, CHECK, NEXT, CHOOSE, CONFLICT, STOP };
    STEP step = s.unitCount > 0 ? PROPAGATE : CHOOSE;
    while (step != STOP) {
        switch (step) {
        case PROPAGATE:
            step = satPropagate() < 0 ? CONFLICT : CHECK;
            break;
        case CHECK:
            step = s.trailTop == 0 || s.satisfiedCount == s.clausesToSatisfy ? STOP : NEXT;
            break;
        case NEXT:
            step = s.unitCount > 0 ? PROPAGATE : CHOOSE;
            break;
        case CHOOSE: {
            int32_t trailBefore = s.trailTop;
            int chosen = satChooseBranchVariable();
            if (chosen >= 0 && settledOnTurn(s)) {
                step = STOP;
            } else if (chosen > 0) {
                step = PROPAGATE;
            } else if (chosen == 0) {
                // Nothing left to decide. When the step assigned nothing
                // either, every variable is assigned: with a clause still
                // unsatisfied this assignment fails.
                bool stuck = s.trailTop == trailBefore && s.satisfiedCount != s.clausesToSatisfy;
                step = stuck ? CONFLICT : PROPAGATE;
            } else if (settledAtBacktrack(s)) {
                step = STOP;
            } else {
                satBacktrack();
                step = satPropagate() < 0 ? CONFLICT : CHECK;
            }
            break;
        }
        case CONFLICT:
            if (settledAtBacktrack(s)) {
                step = STOP;
                break;
            }
            satBacktrack();
            step = s.trailTop == 0 || s.satisfiedCount == s.clausesToSatisfy ? STOP : NEXT;
            break;
        case STOP:
            break;
        }
    }
}

}  // namespace veltra
