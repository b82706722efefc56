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
        int32_t length = s.clauseLength[c];
        if (length == 0) continue;
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
        int32_t length = s.clauseLength[c];
        if (length == 0) continue;
        s.savedLength[c] = length;
        s.clauseLength[c] = 0;
        s.satisfiedList[s.satisfiedCount++] = c;
    }
}

// The first literal of a clause whose variable is free, -1 when none (n
// variables; slots: the clause's four short-literal slots; [begin, end): its
// literals). Without a branch on the free test, which follows no pattern: a
// clause of at most four literals from its slots (padding is never free),
// a longer one backwards over all its literals.
inline int32_t firstFreeLiteralOf(int32_t n, const int32_t* slots, const int32_t* begin, const int32_t* end,
                                  const uint8_t* free) {
    auto variableOf = [n](int32_t literal) { return literal < n ? literal : literal - n; };
    if (slots[0] != 2 * n + 1) {
        int32_t found = free[variableOf(slots[3])] ? slots[3] : -1;
        found = free[variableOf(slots[2])] ? slots[2] : found;
        found = free[variableOf(slots[1])] ? slots[1] : found;
        return free[variableOf(slots[0])] ? slots[0] : found;
    }
    int32_t found = -1;
    for (const int32_t* p = end; p != begin;) {
        --p;
        found = free[variableOf(*p)] ? *p : found;
    }
    return found;
}

// The look-ahead's working copy of the solver state a trial touches: array
// bases and list counts in locals, which the compiler keeps in registers (a
// store through an int32_t* might otherwise alias a count of satState and
// force it to be reloaded). Taken from satState before a trial step and
// written back (put) before anything else reads the state.
struct TRIALVIEW {
    int32_t n;
    int32_t* lengths;
    const int32_t* shortLiterals;
    const int32_t* clauseStart;
    const int32_t* literals;
    const int32_t* occurrenceStart;
    const int32_t* occurrences;
    uint8_t* free;
    int32_t* trail;
    int32_t* units;
    int32_t* shortened;
    int32_t unitCount, shortenedCount, trailTop;
    int64_t work = 0;  // occurrence entries walked since taken

    explicit TRIALVIEW(SATSOLVER& s)
        : n(s.variableCount),
          lengths(s.clauseLength.data()),
          shortLiterals(s.shortLiterals.data()),
          clauseStart(s.clauseStart.data()),
          literals(s.clauseLiterals.data()),
          occurrenceStart(s.occurrenceStart.data()),
          occurrences(s.occurrences.data()),
          free(s.free.data()),
          trail(s.trail.data()),
          units(s.unitList.data()),
          shortened(s.shortenedList.data()),
          unitCount(s.unitCount),
          shortenedCount(s.shortenedCount),
          trailTop(s.trailTop) {}

    void put(SATSOLVER& s) {
        s.unitCount = unitCount;
        s.shortenedCount = shortenedCount;
        s.trailTop = trailTop;
        s.lookaheadWork += work;
        work = 0;
    }

    int32_t variableOf(int32_t literal) const { return literal < n ? literal : literal - n; }
    int32_t complement(int32_t literal) const { return literal < n ? literal + n : literal - n; }

    // The active clauses of literal lose it: length 2 goes to the unit list
    // only (the trial's undo restores it from there), longer to the
    // shortened list. Returns false on a clause left without a literal that
    // is not false.
    // The loop is branch-free but for the conflict test: a third of the
    // occurrences walked are of inactive clauses (length 0), in no
    // predictable pattern. The clause is written past the end of both lists
    // and kept by the one whose count grows (each list has a spare entry for
    // this).
    bool shorten(int32_t literal) {
        const int32_t *p = occurrences + occurrenceStart[literal], *e = occurrences + occurrenceStart[literal + 1];
        work += e - p;
        for (; p != e; ++p) {
            const int32_t c = *p;
            const int32_t length = lengths[c];
            if (length == 1) return false;
            units[unitCount] = c;
            shortened[shortenedCount] = c;
            unitCount += length == 2;
            shortenedCount += length > 2;
            lengths[c] = length - (length != 0);
        }
        return true;
    }

    int32_t firstFreeLiteral(int32_t c) const {
        return firstFreeLiteralOf(n, shortLiterals + 4 * size_t(c), literals + clauseStart[c],
                                  literals + clauseStart[c + 1], free);
    }

    // Makes literal true: the variable is pushed (its value is never read
    // while it is on a trial's part of the trail) and the opposite literal's
    // clauses shortened. False on a conflict.
    bool assign(int32_t literal) {
        const int32_t v = variableOf(literal);
        free[v] = 0;
        trail[trailTop++] = v;
        return shorten(complement(literal));
    }

    // Propagates every unit on the list, from its first entry (entries
    // appended meanwhile are walked too). Clauses are never marked satisfied
    // and alternatives stay as they are; the unit list is left for the undo.
    // A unit whose literal would make a clause false leaves its variable
    // free. False on a conflict.
    bool propagate() {
        for (int32_t i = 0; i < unitCount; ++i) {
            const int32_t literal = firstFreeLiteral(units[i]);
            if (literal < 0) continue;
            if (!shorten(complement(literal))) return false;
            const int32_t v = variableOf(literal);
            free[v] = 0;
            trail[trailTop++] = v;
        }
        return true;
    }

    // Undoes a trial that started at shortened-list length s0 and trail top
    // t0: the clauses on the unit list and on the shortened list from s0 get
    // their length back, the variables pushed since t0 are free again.
    void undo(int32_t s0, int32_t t0) {
        for (int32_t i = 0; i < unitCount; ++i) ++lengths[units[i]];
        unitCount = 0;
        for (int32_t i = t0; i < trailTop; ++i) free[trail[i]] = 1;
        trailTop = t0;
        for (int32_t i = s0; i < shortenedCount; ++i) ++lengths[shortened[i]];
        shortenedCount = s0;
    }
};

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

// The first literal of clause c whose variable is free, -1 when none.
inline int32_t satFirstFreeLiteral(const SATSOLVER& s, int32_t c) {
    return firstFreeLiteralOf(s.variableCount, s.shortLiterals.data() + 4 * size_t(c), s.literalsBegin(c),
                              s.literalsEnd(c), s.free.data());
}

}  // namespace veltra
