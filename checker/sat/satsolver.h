// checker/sat/satsolver.h: the model checker's satisfiability solver over the
// clauses of an unfounded-set program: clause learning over watched literals,
// which answers and supplies the model by default, and a
// chronological-backtracking search with unit propagation, pure literals and
// look-ahead branching, which can ask clause learning to refute the clause
// sets it would backtrack over at length.
#pragma once
#include <cstdint>
#include <vector>

#include "core/groundprogram.h"

namespace veltra {

// ATOMFLAGS (core/groundprogram.h): a party that lets a callee fill or
// replace its array passes the slot (an ATOMFLAGS*).

// The solver's state: one process-wide instance, satState. Its arrays grow to
// the largest problem seen and keep their capacity between calls, so a call
// allocates nothing once the arrays are big enough, and nothing at all while
// it searches.
//
// Variables are the atoms marked in the set, numbered 0 to n - 1 in ascending
// atom index. A literal is a code: v for the positive literal of variable v,
// n + v for its negative literal. Per-literal arrays are indexed by code, so
// binaryCount[v] is the two-literal positive count of v and binaryCount[n + v]
// the negative one.
//
// Clause state is kept incrementally: a length per clause. A clause is active
// (not known to be satisfied) while its length is not 0: an inactive clause
// has length 0 (its length is saved for its return), and an active one at
// least 1, but for the moment between an assignment that makes it false and
// the propagation that reports the conflict (falsifiedClause).
// In the main search the length of an active clause is the number of its
// literal occurrences whose variable is unassigned; inside a look-ahead trial,
// which never marks clauses satisfied, it is the number not yet false. The
// satisfied and shortened lists record every change since the search began, so
// backtracking to a decision cuts them back to the positions the decision
// recorded.
struct SATSOLVER {
    int32_t variableCount = 0;  // n
    int32_t clauseCount = 0;

    // Clause c has the literal codes clauseLiterals[clauseStart[c] ..
    // clauseStart[c + 1]), in encoding order.
    std::vector<int32_t> clauseStart;
    std::vector<int32_t> clauseLiterals;
    // Clause c's literals again at shortLiterals[4c .. 4c + 4) when it has at
    // most four, padded with 2n (a code whose variable, n, is never free);
    // a clause of more literals has 2n + 1 in the first slot.
    std::vector<int32_t> shortLiterals;
    std::vector<int32_t> clauseLength;   // literals not yet false; 0 while inactive
    std::vector<int32_t> savedLength;    // the length a clause had when it became inactive

    // The clauses containing literal code l, ascending, a clause once per
    // occurrence: occurrences[occurrenceStart[l] .. occurrenceStart[l + 1]).
    std::vector<int32_t> occurrenceStart;
    std::vector<int32_t> occurrences;

    // Per variable.
    std::vector<uint8_t> value;              // 1 true, 0 false; not set by look-ahead trials
    std::vector<int8_t> alternative;         // 0: false still to try; -1: no value left
    std::vector<uint8_t> free;               // 1 while unassigned; entry n is 0
    std::vector<int32_t> satisfiedPosition;  // satisfiedCount when decided (decisions only)
    std::vector<int32_t> shortenedPosition;  // shortenedCount when decided (decisions only)
    std::vector<int32_t> probeStamp;         // probeCounter when last probed

    // Per literal code: active clauses of length 2 holding it, of any other
    // length, and the look-ahead score of the trial that makes it true.
    std::vector<int32_t> binaryCount;
    std::vector<int32_t> longCount;
    std::vector<int32_t> score;
    // Per literal code p, during the second and third pass: what p adds to a
    // trial's score when free in a clause the trial left with two literals,
    // from the counts of its complement (the counts change only in the first
    // pass). Filled by each such pass on small clause sets (weightsFilled);
    // otherwise each trial computes the weights it needs.
    std::vector<int64_t> scoreWeight;  // entry 2n is 0
    bool weightsFilled = false;

    // Lists with their counts. Each is sized once per call to a bound it can
    // never exceed: a variable is on the trail at most once, a clause on the
    // satisfied list at most once, and every entry of the shortened and unit
    // lists stands for one literal occurrence made false.
    std::vector<int32_t> trail;
    int32_t trailTop = 0;
    std::vector<int32_t> satisfiedList;
    int32_t satisfiedCount = 0;  // clauses satisfied since the search began
    std::vector<int32_t> shortenedList;
    int32_t shortenedCount = 0;
    std::vector<int32_t> unitList;
    int32_t unitCount = 0;
    std::vector<int32_t> candidateList;
    int32_t candidateCount = 0;

    // Set when an assignment outside satPropagate made an active clause false
    // (a decision, forced value or flip on a clause that repeats a literal);
    // the next satPropagate reports it as its conflict.
    bool falsifiedClause = false;

    int32_t clausesToSatisfy = 0;  // clauses still active when the search begins
    int32_t threshold = 0;         // n / 6: least trial size that starts a double look-ahead
    int32_t bestTrialSize = -1;    // largest trial that started a double look-ahead this step
    int32_t probeCounter = 0;

    // Look-ahead work in the current branching step: variables visited by a
    // pass plus occurrence-list entries walked by recounts, trials and probes.
    // A step that stays within lookaheadBudget runs its passes in full, each
    // from the first variable. A step that reaches the budget ends the pass
    // it is in (the third pass only once the step has a candidate or has
    // assigned a value), probes no further, and widens to the next pass only
    // while it has neither; a pass that ended early resumes at the next step
    // from the variable where it stopped (passCursor). One step over a very
    // large clause set thus costs bounded work, and every variable is still
    // reached in turn. Steps over clause sets of a few hundred variables
    // seldom reach the budget.
    int64_t lookaheadWork = 0;
    int64_t lookaheadBudget = int64_t(1) << 14;
    int32_t passCursor[3] = {0, 0, 0};

    // Who answers. 0 (the default): satDecide first, within the work of
    // some 64 passes over the clauses, and its model is the one callers
    // receive; the look-ahead structures are then not built. Clause learning
    // answers the clause sets of unfounded-set checks within that work; when
    // it did not, the look-ahead search takes over as with 32 below, and its
    // turns resume satDecide where it stopped. Positive: the look-ahead
    // search, which finds the model, refutes an unsatisfiable clause set by
    // chronological backtracking or after long look-ahead, where clause
    // learning refutes some sets far sooner: it asks satDecide at its
    // backtrack number decideAfterBacktracks or once its look-ahead work
    // reaches that of some 64 passes over the clauses, and each time again at
    // twice the backtracks and work of the last turn, letting it go on until
    // its own work reaches a quarter of the look-ahead work of the search so
    // far, so that the two together cost little more than the search alone.
    // Once satDecide found no model, the search stops (refuted); once it
    // found one, the search goes on to its own model, or stops at once when
    // no model is wanted. Negative: the search alone, never asking satDecide
    // (tests pin its course).
    int64_t decideAfterBacktracks = 0;
    // The backtrack of the search's first turn to ask satDecide; negative: never.
    int64_t turnBacktracks() const { return decideAfterBacktracks == 0 ? 32 : decideAfterBacktracks; }
    // The work of some 64 look-ahead passes over every clause literal: the
    // first grant of satDecide answering first, and the look-ahead work at
    // which the search first asks it.
    int64_t sixtyFourPasses() const { return 64 * (int64_t(clauseLiterals.size()) + variableCount); }
    int64_t backtracks = 0;     // of the current search
    int64_t searchWork = 0;     // look-ahead work of the current search, all steps
    int64_t nextDecide = 0;     // backtrack at which satDecide is asked next
    int64_t nextDecideWork = 0;  // search work at which satDecide is asked next
    bool decideStarted = false;  // satDecide was asked in the current solve
    int decided = -1;           // last answer of satDecide: 1, 0, -1 none yet
    bool modelWanted = true;    // the caller of satSolve reads a model
    bool refuted = false;       // satDecide answered 0 (the search stopped on it)
    bool proved = false;        // satDecide answered 1 and the search, if any, stopped on it

    int32_t negative(int32_t v) const { return variableCount + v; }
    int32_t variableOf(int32_t literal) const {
        return literal < variableCount ? literal : literal - variableCount;
    }
    int32_t complement(int32_t literal) const {
        return literal < variableCount ? literal + variableCount : literal - variableCount;
    }
    bool isPositive(int32_t literal) const { return literal < variableCount; }
    const int32_t* literalsBegin(int32_t c) const { return clauseLiterals.data() + clauseStart[c]; }
    const int32_t* literalsEnd(int32_t c) const { return clauseLiterals.data() + clauseStart[c + 1]; }
    const int32_t* occurrencesBegin(int32_t l) const { return occurrences.data() + occurrenceStart[l]; }
    const int32_t* occurrencesEnd(int32_t l) const { return occurrences.data() + occurrenceStart[l + 1]; }
};

extern SATSOLVER satState;

// A watch of a clause on one of its two watched literals: the clause, and
// one of its other literals (blocker) whose truth satisfies the clause
// without a look at it. A clause of two literals, c, is watched as ~c
// (negative) with its other literal as blocker, and such a watch never reads
// the clause.
struct SATWATCH {
    int32_t clause;
    int32_t blocker;
};
static_assert(sizeof(SATWATCH) == 8, "two watches per cache word pair");

// The state of satDecide, process-wide like satState. Its arrays keep their
// capacity between calls, so a call allocates nothing once they are big
// enough but for learnt clauses beyond that. Inside, literal 2v is variable v
// true and 2v + 1 variable v false (the complement of l is l ^ 1).
// Clause c has the literals literals[start[c] .. start[c + 1]), its two
// watched literals at positions 0 and 1: first the clauses of satState,
// each literal once, less those with a complementary pair and those of one
// literal (assigned at the root), then the learnt ones.
struct SATDECIDER {
    std::vector<int32_t> start;
    std::vector<int32_t> literals;
    std::vector<int32_t> cursor;  // per clause: where its last new watch was found (from 2)
    // Per literal: the watches on it, visited when it becomes false. Entries
    // from 2n on are left from larger calls, for their capacity.
    std::vector<std::vector<SATWATCH>> watches;
    std::vector<int8_t> value;     // per literal: 1 true, 0 false, -1 unassigned
    std::vector<uint32_t> stamp;   // per literal: last clause (+ 1) it occurred in, when loading

    // Per variable.
    std::vector<int32_t> level;      // decision level of the assignment
    std::vector<int32_t> reason;     // clause that forced it, -1 for a decision or a unit
    std::vector<uint8_t> seen;       // scratch of the conflict analysis
    std::vector<uint8_t> phase;      // value last held, tried first when decided
    std::vector<double> activity;    // raised by each conflict the variable takes part in
    std::vector<int32_t> heap;       // unassigned variables (and some assigned), by activity
    std::vector<int32_t> heapIndex;  // position in heap, -1 when absent

    std::vector<int32_t> trail;       // true literals in order of assignment, trailSize of them
    int32_t trailSize = 0;
    std::vector<int32_t> levelStart;  // trail length when each decision level began
    int32_t propagated = 0;           // trail entries whose complement was propagated
    std::vector<int32_t> learnt;      // scratch: the clause being learnt
    std::vector<int32_t> stack;       // scratch of the minimization: variables to expand
    std::vector<int32_t> cleared;     // scratch: variables marked seen by the minimization
    double increment = 1.0;           // current activity bump
    int64_t restarts = 0;             // restarts so far
    int64_t untilRestart = 0;         // conflicts left before the next restart

    // State carried between calls that name their variables by keys (the
    // model checker's atoms), since the clause sets of one model generator
    // run are over the same atoms each time: per key, the activity its
    // variable had at the end of the last such call, relative to the bump of
    // that moment (so below 20, and it decays across calls as within one),
    // and its value in the last model found, 1 for keys never in one. keys:
    // the key of each variable of the current call, null when it names none
    // (a fresh start, as every call before the first with keys).
    std::vector<double> keptActivity;
    std::vector<uint8_t> keptPhase;
    const int32_t* keys = nullptr;

    // Work of the last call.
    int64_t conflicts = 0;
    int64_t decisions = 0;
    int64_t propagations = 0;  // literals whose watches were visited
    int64_t work = 0;          // watches visited plus clause literals scanned for a new watch

    // After satDecide answered 1: whether its model makes variable v true.
    bool isTrue(int32_t v) const { return value[2 * size_t(v)] == 1; }
};

extern SATDECIDER satDecider;

// The clauses: each rule gives its head atoms as positive literals (head
// order) followed by every body literal, whatever its sign, as a negative
// literal; each constraint gives its literals as negative literals. Rules come
// first, then constraints; a clause's index is its position. Every atom
// mentioned must be marked in the set.
// Returns true when the clauses are satisfiable. Then, when model is given, it
// is overwritten with one byte per ground atom (set->size()): 1 when the atom
// is in the set and its variable is true, 0 otherwise; a variable the search
// never had to assign counts as false (clause learning assigns every one). A
// clause without literals makes the clauses unsatisfiable.
bool satSolve(const std::vector<GROUNDRULE>& rules, const std::vector<GROUNDCONSTRAINT>& constraints,
              const ATOMFLAGS* set, ATOMFLAGS* model);

// The same over clauses placed directly in satState: variableCount, and
// clauseStart and clauseLiterals as described there (clauseStart holds one
// entry more than there are clauses). When satisfiable and model is given,
// it is overwritten with one byte per variable: 1 when the search made it
// true. satSolve gives the same answer and model on the same clauses.
// decideAfterBacktracks chooses who answers.
// keys: null, or one non-negative key per variable that stays the variable's
// name across calls (the model checker passes its atoms); clause learning
// then starts from the activities and phases the same keys had at the end of
// the last call with keys, and leaves its own for the next. The verdict never
// depends on it; the model may.
bool satSolveClauses(std::vector<uint8_t>* model, const int32_t* keys = nullptr);

// Forgets the state carried between calls with keys (a new model generator
// run starts).
void satForgetKeys();

// Numbers the marked atoms (variableOfAtom: variable + 1, 0 when unmarked),
// builds clauses and occurrence lists and propagates the unit clauses.
// Returns 1, or -1 on a conflict at the root (an empty clause is one).
int satBuildClauses(const std::vector<GROUNDRULE>& rules, const std::vector<GROUNDCONSTRAINT>& constraints,
                    const ATOMFLAGS* set, std::vector<int32_t>& variableOfAtom);

// Whether the clauses of satState have a model, by clause learning over
// watched literals (satDecider); reads only variableCount, clauseCount,
// clauseStart and clauseLiterals. start: begin afresh, otherwise go on from
// where the last call stopped. Returns 1 (a model exists: satDecider assigns
// every variable, isTrue reads it), 0 (none) or -1 when its work
// (satDecider.work, counted from the fresh start) reached workLimit without an
// answer.
int satDecide(bool start, int64_t workLimit);

// Searches from the state the root propagation left.
void satSearch();
// Propagates every pending unit clause: 1, or -1 on a conflict.
int satPropagate();
// Flips the most recent decision with an untried value: false when none is left.
bool satBacktrack();

// Look-ahead branching: 1 after deciding a variable, 0 when no candidate is
// left free, -1 when a forced value led to a conflict.
int satChooseBranchVariable();
// Examine one free variable by trying both values: 1 when both survive (the
// variable becomes a candidate), -1 when one failed and the other was forced
// (the caller must run satPropagate). pre for the binary and weighted
// kinds: weightsFilled is false, or scoreWeight holds that kind's weights
// (the pass sets them).
int satExamineDouble(int32_t v);
int satExamineBinary(int32_t v);
int satExamineWeighted(int32_t v);
// Second-level look-ahead over the two-literal clauses a trial made, from
// position start of the shortened list: 1, or -1 when a probe failed both ways.
int satProbeReducedClauses(int32_t start);
int satProbeTrue(int32_t u);
int satProbeFalse(int32_t u);

}  // namespace veltra
