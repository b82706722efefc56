// checker/sat/satinternal.h: the assignment steps shared by the solver's
// search and its look-ahead, inlined into both.
#pragma once
#include <cassert>

#include "checker/sat/satsolver.h"

namespace veltra {

// The active clauses of literal lose it in the main search: a clause of
// length 2 becomes a unit (unit and shortened lists), a longer one is
// shortened. After a complete propagation no active clause has length 1, so
// one is met only when a clause repeats the literal: the clause is then
// false, and the propagation that follows reports the conflict.
inline void satShortenMain(SATSOLVER& s, int32_t literal) {
    for (const int32_t *p = s.occurrencesBegin(literal), *e = s.occurrencesEnd(literal); p != e; ++p) {
        int32_t c = *p;
        if (!s.clauseActive[c]) continue;
        int32_t length = s.clauseLength[c];
        assert(length > 0);
        if (length == 2) s.unitList[s.unitCount++] = c;
        if (length == 1) s.falsifiedClause = true;
        s.clauseLength[c] = length - 1;
        s.shortenedList[s.shortenedCount++] = c;
    }
}

// The active clauses of literal are marked satisfied.
inline void satSatisfy(SATSOLVER& s, int32_t literal) {
    for (const int32_t *p = s.occurrencesBegin(literal), *e = s.occurrencesEnd(literal); p != e; ++p) {
        int32_t c = *p;
        if (!s.clauseActive[c]) continue;
        s.clauseActive[c] = 0;
        s.savedLength[c] = s.clauseLength[c];
        s.clauseLength[c] = 0;
        s.satisfiedList[s.satisfiedCount++] = c;
    }
}

// The active clauses of literal lose it inside a look-ahead trial: length 2
// goes to the unit list only (the trial's undo restores it from there),
// longer to the shortened list. Returns false on a clause left without a
// literal that is not false.
// The loop is branch-free but for the conflict test: a third of the
// occurrences walked are of inactive clauses (length 0), in no predictable
// pattern. The clause is written past the end of both lists and kept by the
// one whose count grows (each list has a spare entry for this).
inline bool satShortenTrial(SATSOLVER& s, int32_t literal) {
    const int32_t *p = s.occurrencesBegin(literal), *e = s.occurrencesEnd(literal);
    s.lookaheadWork += e - p;
    int32_t* lengths = s.clauseLength.data();
    int32_t* units = s.unitList.data();
    int32_t* shortened = s.shortenedList.data();
    int32_t unitCount = s.unitCount, shortenedCount = s.shortenedCount;
    bool holds = true;
    for (; p != e; ++p) {
        int32_t c = *p;
        int32_t length = lengths[c];
        if (length == 1) {
            holds = false;
            break;
        }
        units[unitCount] = c;
        shortened[shortenedCount] = c;
        unitCount += length == 2;
        shortenedCount += length > 2;
        lengths[c] = length - (length != 0);
    }
    s.unitCount = unitCount;
    s.shortenedCount = shortenedCount;
    return holds;
}

// Assigns the literal outside a trial with no value left to try: a forced
// value of a failed trial. Units go to both lists; satPropagate follows.
inline void satAssignForced(SATSOLVER& s, int32_t literal) {
    int32_t v = s.variableOf(literal);
    s.value[v] = s.isPositive(literal);
    s.alternative[v] = -1;
    s.free[v] = 0;
    s.trail[s.trailTop++] = v;
    satShortenMain(s, s.complement(literal));
    satSatisfy(s, literal);
}

// The first literal of clause c whose variable is free, -1 when none. The
// walk runs backwards over the whole clause without a branch on the free
// test, which follows no pattern; the clauses met here are mostly short.
inline int32_t satFirstFreeLiteral(const SATSOLVER& s, int32_t c) {
    int32_t found = -1;
    for (const int32_t *b = s.literalsBegin(c), *p = s.literalsEnd(c); p != b;) {
        --p;
        found = s.free[s.variableOf(*p)] ? *p : found;
    }
    return found;
}

// Undoes a trial that started at shortened-list length s0 and trail top t0:
// the clauses on the unit list and on the shortened list from s0 get their
// length back, the variables pushed since t0 are free again.
inline void satUndoTrial(SATSOLVER& s, int32_t s0, int32_t t0) {
    for (int32_t i = 0; i < s.unitCount; ++i) ++s.clauseLength[s.unitList[i]];
    s.unitCount = 0;
    for (int32_t i = t0; i < s.trailTop; ++i) s.free[s.trail[i]] = 1;
    s.trailTop = t0;
    for (int32_t i = s0; i < s.shortenedCount; ++i) ++s.clauseLength[s.shortenedList[i]];
    s.shortenedCount = s0;
}

}  // namespace veltra
