// generator/modelgenerator.h: the answer-set search object, its undo trails
// and occurrence lists, and the hooks through which it reports answer sets.
#pragma once
#include <cassert>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "analysis/depgraph.h"
#include "core/atom.h"
#include "core/blockpool.h"
#include "core/cost.h"
#include "core/flatlists.h"
#include "core/groundprogram.h"
#include "core/interpretation.h"
#include "core/options.h"
#include "core/timer.h"

namespace veltra {

// An undo trail of cells of one type: (cell, old value) pairs, and level
// markers (null cell, the level as value) written lazily, only for levels at
// which something is logged.
template <class CELL>
struct UNDOTRAIL {
    struct ENTRY {
        CELL* cell;
        CELL old;
    };
    static_assert(sizeof(void*) != 8 || sizeof(ENTRY) == 16, "an undo entry is two words");
    std::vector<ENTRY> entries;
    int32_t topLevel = -1;

    // pre: level >= topLevel or the caller undoes first.
    void push(int32_t level, CELL* cell) {
        openLevel(level);
        pushOnTop(cell);
    }
    // The markers up to level, so that pushOnTop logs at it.
    void openLevel(int32_t level) {
        while (topLevel < level) entries.push_back(ENTRY{nullptr, static_cast<CELL>(++topLevel)});
    }
    void pushOnTop(CELL* cell) {
        // Stored field by field: a two-word entry built aside and copied
        // whole would wait for its halves to be written first.
        ENTRY& e = entries.emplace_back();
        e.cell = cell;
        e.old = *cell;
    }
    // Restores every cell changed above level.
    void undoTo(int32_t level) {
        if (level >= topLevel) return;
        // Walked by index, the size set once: a cell written through a
        // pointer might be the vector's own end as far as the compiler knows.
        const ENTRY* data = entries.data();
        size_t n = entries.size();
        while (n != 0) {
            const ENTRY e = data[--n];
            if (e.cell)
                *e.cell = e.old;
            else if (static_cast<int32_t>(e.old) == level + 1)
                break;
        }
        entries.resize(n);
        topLevel = level;
    }
    // Restores every cell ever logged and empties the trail.
    void unwind() {
        while (!entries.empty()) {
            const ENTRY& e = entries.back();
            if (e.cell) *e.cell = e.old;
            entries.pop_back();
        }
        topLevel = -1;
    }
};

// The bookkeeping of one aggregate function before a change: bounds, the
// subclass fields (extremes of #min and #max, running product of #times)
// and the generator's count of large #times factors.
struct AGGREGATESNAPSHOT {
    AGGREGATEFUNCTION* function;  // null: level marker, level in lower
    int32_t aggregate;
    int32_t factors;
    int64_t lower, upper, extra1, extra2;
};
static_assert(sizeof(void*) != 8 || sizeof(AGGREGATESNAPSHOT) == 48, "AGGREGATESNAPSHOT stays six words");
struct AGGREGATETRAIL {
    std::vector<AGGREGATESNAPSHOT> entries;
    int32_t topLevel = -1;
    std::vector<int32_t>* factorCounts = nullptr;  // per aggregate index

    void push(int32_t level, AGGREGATEFUNCTION* function, int32_t aggregate);
    void undoTo(int32_t level);
    void unwind();

private:
    void restore(const AGGREGATESNAPSHOT& s);
};

// A cost vector that is absent when there are no cost slots.
using COSTPOINTER = std::unique_ptr<COSTVECTOR>;

// What one propagation did, for the heuristics.
struct HEURISTICINFO {
    int32_t madeTrue = 0;                 // must-be-true atoms made true (value 4)
    int32_t madeTrueSupport2 = 0;         // of those, with supportCount 2
    int32_t madeTrueSupport3 = 0;         // of those, with supportCount 3
    int32_t madeMustBeTrue = 0;           // atoms made must-be-true
    int32_t madeMustBeTrueSupport2 = 0;   // of those, with supportCount 2
    int32_t madeMustBeTrueSupport3 = 0;   // of those, with supportCount 3
    int32_t itemsSatisfied = 0;           // rules and constraints satisfied
    int32_t itemsSatisfiedClosed = 0;     // of those, closed ones
    int32_t itemsClosed = 0;              // open rules without open head or undefined body
    int32_t atomsDecided = 0;             // atoms assigned
    int32_t headCycleRulesSupported = 0;  // head-cycle rules with true head and body
    int32_t madeTrueInHeadCycles = 0;     // atoms made true in cyclic disjunctive components
    COSTPOINTER resultingCost;            // cost after the propagation
    COSTPOINTER satisfiedWeakCost;        // weights of weak constraints satisfied, per slot

    HEURISTICINFO() = default;
    explicit HEURISTICINFO(size_t costSlots);
    HEURISTICINFO(const HEURISTICINFO& other);
    HEURISTICINFO& operator=(const HEURISTICINFO& other);
    void clearCounters();
};

// Counters the generator keeps in every GROUNDRULE (changed only through
// counterTrail during a run).
//   status: bit 0 a body literal is false, bit 1 a head atom is true; 0 open.
//   openHead: head atoms with value 0 or 2. openPosBody: positive body atoms
//   with value 0 or 2. openNegBody: negated body atoms with value 0.
//   mustBeTrueHead, mustBeTruePosBody: the atoms of value 2 among them.
//   soleTrueHead: 1-based head position of the only true head atom, 0 else.
inline uint32_t& ruleStatus(GROUNDRULE& r) { return r.counters[0]; }
inline uint32_t& openHead(GROUNDRULE& r) { return r.counters[1]; }
inline uint32_t& openPosBody(GROUNDRULE& r) { return r.counters[2]; }
inline uint32_t& openNegBody(GROUNDRULE& r) { return r.counters[3]; }
inline uint32_t& mustBeTrueHead(GROUNDRULE& r) { return r.counters[4]; }
inline uint32_t& mustBeTruePosBody(GROUNDRULE& r) { return r.counters[5]; }
inline uint32_t& soleTrueHead(GROUNDRULE& r) { return r.counters[6]; }
// Body literals whose atom is still undefined.
inline uint32_t bodyUndefined(GROUNDRULE& r) { return r.counters[2] - r.counters[5] + r.counters[3]; }
// Open literals, a must-be-true head atom counting as open.
inline uint32_t undefinedLiterals(GROUNDRULE& r) { return r.counters[1] + bodyUndefined(r); }
// The unfounded-set step's fields of a rule, rewritten by every step:
// gusPending 1 while the rule waits for gusPendingBody positive body atoms
// of the component under test to become founded.
inline uint8_t& gusPending(GROUNDRULE& r) { return r.flag1; }
inline int32_t& gusPendingBody(GROUNDRULE& r) { return r.word; }

// Counters of a GROUNDCONSTRAINT (also of a weak constraint): satisfied is 1
// once a literal is false; openPos and openNeg count literals whose atom is
// undefined. satisfied 0 with no open literal is a violation.
inline uint32_t& constraintSatisfied(GROUNDCONSTRAINT& c) { return c.counters[0]; }
inline uint32_t& openPos(GROUNDCONSTRAINT& c) { return c.counters[1]; }
inline uint32_t& openNeg(GROUNDCONSTRAINT& c) { return c.counters[2]; }

// Per-atom lists, all in one flat array (compressed rows) with 32-bit
// offsets; start has atom count + 1 entries while a run lasts.
template <class T>
using OCCURRENCES = FLATLISTS<T, uint32_t>;

// One element membership of an atom: aggregate index and the value it adds.
struct AGGREGATEMEMBERSHIP {
    int32_t aggregate;
    TERM value;
};
static_assert(sizeof(AGGREGATEMEMBERSHIP) == 12, "AGGREGATEMEMBERSHIP is three 32-bit words");

// What the generator needs of one ground aggregate atom.
struct AGGREGATEATOMINFO {
    int32_t aggregate = -1;  // index into aggregatesByIndex
    int64_t lowerGuard = 0;  // inclusive
    int64_t upperGuard = 0;  // inclusive
};

// The values of searchState: the search goes on, a hook stopped it, or a
// check rejected the subtree of the current level.
enum : int32_t { SEARCH_GOES_ON = 0, SEARCH_STOPPED = 1, SEARCH_SUBTREE_REJECTED = 2 };

// checkFlags bits.
enum : uint32_t { CHECK_PROGRAM_IS_HCF = 1, CHECK_MODEL_CHECKING_ON = 2, CHECK_USE_GUS = 4 };

class MODELGENERATOR;
struct INVARIANTFINDING;
struct PTCANDIDATE;
struct PTCANDIDATES;
struct SEARCHFRAME;
using MODELHOOK = bool (*)(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);

// An event: the value just stored for an atom.
struct EVENT {
    int32_t value;
    int32_t atom;
};
static_assert(sizeof(EVENT) == 8, "EVENT is two 32-bit words");

// First in, first out over one growing array; the storage is reused once
// the queue runs empty, so events cost no allocation after warm-up.
struct EVENTQUEUE {
    std::vector<EVENT> events;
    size_t head = 0;

    bool empty() const { return head == events.size(); }
    void push(const EVENT& e) {
        EVENT& to = events.emplace_back();  // field by field, as in UNDOTRAIL::push
        to.value = e.value;
        to.atom = e.atom;
    }
    EVENT pop() {
        EVENT e = events[head++];
        if (head == events.size()) clear();
        return e;
    }
    void clear() {
        events.clear();
        head = 0;
    }
    size_t size() const { return events.size() - head; }
};

// Whether the search checks its invariants (invariants.cpp) at each level's
// entry and exit; on in the sanitizer build, compiled away elsewhere.
#ifdef VELTRA_CHECK_INVARIANTS
constexpr bool checkingInvariants = true;
#else
constexpr bool checkingInvariants = false;
#endif

// The settings the search reads from the option record and the flag
// globals, copied when the generator is built: a generator never reads them
// itself, so that changing them later leaves it as it was.
struct SEARCHSETTINGS {
    bool useHeuristics = true;          // OPTIONS.useHeuristics: choose by lookahead
    bool negativePT = true;             // OPTIONS.negativePT: --negpts (else --pospts)
    int32_t ptCacheSize = 5;            // OPTIONS.ptCacheSize, >= 0
    bool complementPT = true;           // OPTIONS.complementPT
    bool canChooseComplementPT = true;  // OPTIONS.canChooseComplementPT
    bool partialChecksForwards = true;  // OPTIONS.partialChecksForwards
    bool printFacts = true;             // OPTIONS.printFacts ("-det" output)
    bool satLike = false;               // satLike ("-det" output)
    bool countLevels = false;           // statsLevel STATS_DETAILED: count the visits of each level
    bool backjumping = true;            // skip levels a failure does not depend on (off: chronological)
    NAMESET outputFilter;               // outputFilter ("-det" output)
    NAMESET positiveOutputFilter;       // positiveOutputFilter ("-det" output)
};

// The values the option record and the globals hold now.
SEARCHSETTINGS searchSettingsFromOptions();

// Why an atom holds its value, for backjumping: the choice levels a conflict
// depends on are found by following reasons back to choices. A value whose
// reason is unknown depends on every level up to its own.
//   REASON_RULE, REASON_CONSTRAINT: the other atoms of that rule or
//   constraint (data: its index); REASON_SUPPORT: atom data and the atoms of
//   the rules with data in the head (data lost its last support, or its
//   single support forced the value); REASON_COMPLEMENT: a failed branch or
//   lookahead, whose levels are levelSets[data]; REASON_ATOM: atom data
//   itself (conflicts only); REASON_UNFOUNDED: the unfounded set
//   unfoundedRecords[data] the value was falsified with (for each rule
//   with a head atom in it and no positive body atom in it, the literal
//   that kept the rule from founding).
enum : int32_t {
    REASON_UNKNOWN,
    REASON_CHOICE,
    REASON_COMPLEMENT,
    REASON_RULE,
    REASON_CONSTRAINT,
    REASON_SUPPORT,
    REASON_ATOM,
    REASON_UNFOUNDED
};
struct REASON {
    int32_t kind = REASON_UNKNOWN;
    int32_t data = 0;
};

// A set of choice levels: every level from 2 to prefix, and the levels at
// [begin, end) of levelSetLevels. Level 1 has no choice and is never listed.
struct LEVELSET {
    int32_t prefix;
    uint32_t begin, end;
};

// An unfounded set of the unfounded-set step, kept as a reason: its atoms
// are unfoundedRecordAtoms[begin, end), the step ran on component at level,
// with the atomLog at stamp (its first atom's assignStamp once false);
// conflict: its atom that was true or must-be-true, -1 if none. walked: the
// atomStamp of the last walk that met it; mark: that walk's unfoundedMark
// and closureMark of its atoms.
struct UNFOUNDEDRECORD {
    uint32_t begin, end;
    uint32_t stamp;
    int32_t level;
    int32_t component;
    int32_t conflict;
    uint32_t walked;
    uint32_t mark;
};

// Where a level began, for undoing it.
struct LEVELMARK {
    size_t checkAtomCount;
    size_t offerClearedCount = 0;  // length of offerCleared
};

// The answer-set search over the borrowed ground program. A run indexes the
// program (counters, occurrence lists, support counts), propagates, searches
// and unwinds everything back to the indexed state.
class MODELGENERATOR {
public:
    EVENTQUEUE eventQueue;                 // atoms whose change is not propagated yet
    EVENTQUEUE pendingComplements;         // complements of failed lookaheads
    UNDOTRAIL<uint32_t> counterTrail;      // rule and constraint counters
    UNDOTRAIL<int32_t> supportTrail;       // supportCount entries
    AGGREGATETRAIL aggregateTrail;         // aggregate bookkeeping
    EVENTQUEUE gusAtomQueue;
    std::vector<int32_t> gusComponentQueue;  // components waiting for the unfounded-set step
    std::vector<uint8_t> gusQueued;          // per component: in gusComponentQueue
    uint32_t gusComponentCount = 0;

    OCCURRENCES<AGGREGATEMEMBERSHIP> aggregateMemberships;  // per atom
    OCCURRENCES<int32_t> aggregateAtoms;                     // per aggregate index
    // Rules by atom. While gusActive, the rules of an atom's same-component
    // run stand before headSplit/posBodySplit (relative to the atom's start).
    OCCURRENCES<GROUNDRULE*> headOccurrences;
    OCCURRENCES<GROUNDRULE*> posBodyOccurrences;
    OCCURRENCES<GROUNDRULE*> negBodyOccurrences;
    std::vector<uint32_t> headSplit, posBodySplit;
    // The rules' atoms as a run keeps them, read without the two
    // indirections of a ground record's head and body: rule k's atoms are
    // ruleAtoms from ruleShapes[k].start on, its head atoms, then its
    // positive body atoms, then its negated ones, each in the record's order.
    struct RULESHAPE {
        uint32_t start, heads, positive, negative;
    };
    std::vector<RULESHAPE> ruleShapes;
    std::vector<int32_t> ruleAtoms;
    const RULESHAPE& shapeOf(const GROUNDRULE& r) const { return ruleShapes[size_t(&r - groundRules->data())]; }
    LISTVIEW<int32_t> headAtoms(const GROUNDRULE& r) const {
        const RULESHAPE& s = shapeOf(r);
        return LISTVIEW<int32_t>{ruleAtoms.data() + s.start, ruleAtoms.data() + s.start + s.heads};
    }
    // Constraint handles (below), while indexing builds the event lists.
    OCCURRENCES<uint32_t> posConstraintOccurrences;
    OCCURRENCES<uint32_t> negConstraintOccurrences;
    // The constraints as a run keeps them: constraint k is the run of
    // constraintData from its handle constraintHandles[k] on: openPos and
    // openNeg (as the counters of a weak constraint; those of the ground
    // records stay unused), k, the numbers of positive and of negative
    // literals, then the literals' atoms, the positive ones first. Counters
    // and atoms share a cache line, far denser than the records. Whether it
    // is satisfied (as a weak constraint's first counter) lies apart, as bit
    // handle / 4 of constraintSatisfiedBits (a record has at least five
    // words): a false atom marks every constraint it is positive in, most of
    // them marked already, and that test then stays within a small array
    // that the first-level cache holds. A mark is logged on counterTrail as
    // its whole word: restored in reverse order, the words come back as they
    // were.
    enum : uint32_t {
        CONSTRAINT_OPENPOS,
        CONSTRAINT_OPENNEG,
        CONSTRAINT_INDEX,
        CONSTRAINT_POSITIVE,
        CONSTRAINT_NEGATIVE,
        CONSTRAINT_ATOMS
    };
    static_assert(CONSTRAINT_ATOMS >= 4, "handle / 4 tells the records apart");
    // Memory that starts at a cache-line boundary, so that the layouts
    // below can keep a record or a block within one line (large tables on
    // huge pages where the system gives them).
    template <typename T>
    using LINEALIGNED = LARGEALLOCATOR<T>;
    std::vector<uint32_t, LINEALIGNED<uint32_t>> constraintData;
    std::vector<uint32_t> constraintHandles;
    std::vector<uint32_t> constraintSatisfiedBits;
    // The word and the bit of constraintSatisfiedBits for a handle.
    static size_t satisfiedWord(uint32_t handle) { return handle >> 7; }
    static uint32_t satisfiedBit(uint32_t handle) { return uint32_t(1) << ((handle >> 2) & 31); }
    // 1 when the constraint of handle is satisfied, else 0.
    uint32_t constraintSatisfiedAt(uint32_t handle) const {
        return (constraintSatisfiedBits[satisfiedWord(handle)] & satisfiedBit(handle)) != 0;
    }
    // Marks it satisfied without logging (indexing, before the first level).
    void markConstraintSatisfied(uint32_t handle) {
        constraintSatisfiedBits[satisfiedWord(handle)] |= satisfiedBit(handle);
    }
    // Calls visit(handle) for the constraints of handles not satisfied, in
    // list order, until it returns false (then false). Whether a constraint
    // of an atom is satisfied follows no pattern a branch predictor could
    // learn, so a block of handles is gathered first without a branch;
    // visit sees the marks as they were at the gathering.
    template <class VISIT>
    bool forUnsatisfiedConstraints(LISTVIEW<uint32_t> handles, VISIT visit) const {
        const uint32_t* const bits = constraintSatisfiedBits.data();
        constexpr ptrdiff_t BLOCK = 64;
        uint32_t gathered[BLOCK];
        for (const uint32_t* from = handles.begin(); from != handles.end();) {
            const uint32_t* const to = handles.end() - from > BLOCK ? from + BLOCK : handles.end();
            size_t count = 0;
            for (; from != to; ++from) {
                gathered[count] = *from;
                count += (bits[satisfiedWord(*from)] & satisfiedBit(*from)) == 0;
            }
            for (size_t i = 0; i < count; ++i)
                if (!visit(gathered[i])) return false;
        }
        return true;
    }
    // The lists the event handlers walk, per atom in a block of eventLists
    // of one cache line at a fixed place (no offset to load first): six
    // offsets counted from the block's start (where the first list starts,
    // then where each of the five ends), then the indices of the rules with
    // the atom in the head, the handles of the constraints with it positive,
    // with it negated, the indices of the rules with it in the positive
    // body, in the negated body, each as the lists above order them. Lists
    // too long for the block lie together after all blocks.
    enum : uint32_t {
        EVENTS_HEAD,
        EVENTS_POSCONSTRAINT,
        EVENTS_NEGCONSTRAINT,
        EVENTS_POSBODY,
        EVENTS_NEGBODY,
        EVENTS_KINDS
    };
    static constexpr size_t EVENTS_BLOCK = 64 / sizeof(uint32_t);
    std::vector<uint32_t, LINEALIGNED<uint32_t>> eventLists;
    void buildEventLists();
    const uint32_t* eventRun(int32_t atom) const { return eventLists.data() + size_t(atom) * EVENTS_BLOCK; }
    static LISTVIEW<uint32_t> eventList(const uint32_t* run, uint32_t kind) {
        return LISTVIEW<uint32_t>{run + run[kind], run + run[kind + 1]};
    }
    GROUNDRULE& ruleAt(uint32_t index) const { return groundRules->data()[index]; }
    uint32_t* constraintAt(uint32_t handle) { return constraintData.data() + handle; }
    const uint32_t* constraintAt(uint32_t handle) const { return constraintData.data() + handle; }
    OCCURRENCES<int32_t> posWeakOccurrences;  // indices into groundWeakConstraints
    OCCURRENCES<int32_t> negWeakOccurrences;
    std::vector<int32_t> supportCount;  // rules that can still support the atom
    std::vector<bool> ptTriedPositive, ptTriedNegative;
    std::vector<int32_t> ptPositiveWeight, ptNegativeWeight;

    std::vector<GROUNDRULE>* groundRules;
    std::vector<GROUNDCONSTRAINT>* groundConstraints;
    std::vector<GROUNDWEAKCONSTRAINT>* groundWeakConstraints;  // not violated by grounding
    // The trails and occurrence lists point into the ground records, so the
    // containers must not move while the generator exists.
    const void* groundRecordsAt[3] = {nullptr, nullptr, nullptr};
    bool groundRecordsStayed() const {
        return groundRecordsAt[0] == groundRules->data() && groundRecordsAt[1] == groundConstraints->data() &&
               groundRecordsAt[2] == groundWeakConstraints->data();
    }
    const ATOMSET* edbFacts;
    const ATOMSET* groundTrueAtoms;
    uint32_t maxModels = 0;  // 0: all; read by the hooks
    uint32_t checkFlags = 0;
    SEARCHSETTINGS settings;  // with wcTrace, costBoundGiven and the heuristic lists below
    MODELHOOK modelHook = nullptr;
    MODELHOOK candidateFilter = nullptr;
    std::unique_ptr<GDG> gdg;
    bool gusActive = false;
    bool programHasAggregates = false;
    int32_t searchState = SEARCH_GOES_ON;  // SEARCH_*
    int32_t level = 0;        // choice level; 0 before the first choice
    uint32_t maxLevel = 0;
    std::vector<int32_t> levelCounts;
    uint32_t inconsistentChoices = 0, choicePoints = 0, internalChoicePoints = 0, answerSetCandidates = 0,
             totalModelChecks = 0, forwardPartialChecks = 0, forwardPartialChecksFailed = 0,
             backtrackingPartialChecks = 0, quickPartialChecks = 0, answerSetsComputed = 0, answerSetsPrinted = 0,
             lookaheadsPerformed = 0, inconsistentLookaheads = 0, pruningLookaheads = 0;
    std::unique_ptr<ATOMFLAGS> checkAtoms;  // atoms the model checker must confirm
    std::vector<uint32_t> checkAtomList;    // the atoms marked in checkAtoms, in order
    ATOMFLAGS unfoundedSet;
    bool unfoundedSetFound = false;
    std::vector<const GROUNDRULE*> partialCheckRules;
    uint32_t unfoundedCursor = 0;
    uint32_t lastPassedCheckLevel = 0;
    uint32_t lastCandidateLevel = 0;
    bool initiallyInconsistent = false;
    std::unique_ptr<COSTVECTOR> costBound;    // as given; unset levels unbounded
    std::unique_ptr<COSTVECTOR> initialCost;  // cost every answer set carries at least
    std::unique_ptr<COSTVECTOR> bestCost;     // pruning bound; null until set
    std::unique_ptr<INTERPRETATION> bestModel;
    bool weakConstraintsPresent = false;       // the ground program has weak constraints
    bool inputWeakConstraintsPresent = false;  // the input had weak constraints
    bool wcTrace = false;
    bool optimumKnown = true;
    bool costBoundGiven = false;
    bool costRaised = false;  // a violation raised the cost in this propagation cycle
    uint32_t levelCount = 0;  // cost slots (the levels that occur, see cost.h)
    uint32_t aggregateCount = 0;
    HEURISTICINFO currentInfo, lookaheadInfo, complementLookaheadInfo;
    // The choice without heuristics keeps the rules that may offer a choice
    // (open, positive body true) as set bits, so that finding the first one
    // skips decided rules instead of rescanning them from the first rule. A
    // bit is set when a rule's positive body becomes true, cleared when a
    // scan finds that the rule offers nothing (it cannot offer again deeper
    // down unless its positive body becomes true again), and set again when
    // the level of that scan is left.
    std::vector<uint64_t> offerBits;     // one bit per ground rule
    std::vector<uint64_t> offerSummary;  // one bit per non-zero word of offerBits
    std::vector<uint32_t> offerCleared;  // rules cleared by scans, oldest first
    bool offerIndexActive = false;
    // Work counters (not reported): rules examined by the choice without
    // heuristics; lookahead propagations actually run (lookaheadsPerformed
    // also counts the reused ones).
    uint64_t choiceRulesScanned = 0;
    uint64_t lookaheadsRun = 0;
    uint64_t watchesKept = 0;  // watches added for kept lookahead records
    // Set elements passed by the scans forcing an aggregate atom's elements
    // (#count, #sum and #times; #max and #min making a range false).
    uint64_t aggregateElementsScanned = 0;
    // For tests: a digest of the level sets of the failed lookaheads.
    uint64_t lookaheadFailureDigest = 0;
    // Atoms visited by the counting and lookahead passes of the
    // possibly-true computations (with kept units: the units redone).
    uint64_t possiblyTrueAtomsVisited = 0;
    // Off: no lookahead record and no unit is kept (every lookahead
    // propagates, every computation visits every atom); set before
    // computeAnswerSets.
    bool reuseLookaheads = true;
    // Tests: from 1 on every reused record is compared with the propagation
    // it stands for, run anyway (and not counted as run), a difference being
    // an internal error; at 2 every kept unit is also redone at every
    // computation, so that the records of units that would stand are
    // compared too.
    int verifyReuse = 0;
    HEURISTICINFO reusedRecord;

    // Backjumping. Per atom the reason of its value, the level and the
    // atomLog position at which it was assigned (the first assignment when a
    // must-be-true atom became true; upgradeReasonOf holds why it did). A
    // level set is kept for each complement of a failed branch or lookahead,
    // while its level lasts. failPrefix and failLevels are the levels the
    // last failure depends on, conflictSeeds what the last conflict of
    // propagateEvents consisted of (empty: unknown).
    bool backjumpingOn = false;
    std::vector<REASON> reasonOf, upgradeReasonOf;
    std::vector<int32_t> assignLevel;
    std::vector<uint32_t> assignStamp;
    std::vector<REASON> conflictSeeds;
    std::vector<LEVELSET> levelSets;
    std::vector<int32_t> levelSetLevels;
    EVENTQUEUE pendingComplementSets;  // parallel to pendingComplements: level set or -1, atom
    int32_t failPrefix = 0;
    std::vector<int32_t> failLevels;
    std::vector<uint32_t> levelSeen, atomSeen;  // walk marks
    uint32_t levelStamp = 0, atomStamp = 0;
    std::vector<int32_t> walkStack;
    // The unfounded sets that are reasons, in assignment order. A record
    // whose first atom no longer holds the value it gave is dropped when the
    // next one is kept (the atoms of the others stay assigned).
    std::vector<UNFOUNDEDRECORD> unfoundedRecords;
    std::vector<int32_t> unfoundedRecordAtoms;
    // Per atom, the mark of a record the walk met: unfoundedMark while it is
    // in the record's set, closureMark while the walk needs it unfounded
    // (unfoundedMarkStamp: the last mark given).
    std::vector<uint32_t> unfoundedMark, closureMark;
    uint32_t unfoundedMarkStamp = 0;
    std::vector<int32_t> closureStack;
    bool unfoundedReasons = true;  // off: unfounded-set values have unknown reasons (tests compare)
    // Off inside a lookahead whose reasons nothing will read (see
    // assumeAndPropagate): assignments then leave reasonOf, upgradeReasonOf,
    // assignLevel and assignStamp alone. lookaheadReasons: when lookaheads
    // note them (tests set the first two).
    enum : uint8_t { REASONS_ALWAYS, REASONS_ON_FAILURE, REASONS_BY_FAILURE_SHARE };
    bool notingReasons = true;
    uint8_t lookaheadReasons = REASONS_BY_FAILURE_SHARE;
    uint64_t levelsSkipped = 0;  // work counter: levels left without trying their remaining choices
    uint64_t conflictWalks = 0;  // work counter: failures whose levels were collected

    // ---- Backjumping (backjump.cpp) ----
    // Sizes the per-atom records of a run.
    void startReasons();
    // The levels the conflict in conflictSeeds depends on, into failPrefix
    // and failLevels (every level up to the current one when unknown or
    // without backjumping).
    void collectConflictLevels(const INTERPRETATION& interpretation);
    // A candidate the model checker rejected with unfoundedSet: the levels
    // its rejection rests on (every level when the set gives no reason).
    void collectUnfoundedSetLevels(const INTERPRETATION& interpretation);
    // The last failure depends on every level up to the current one.
    void failAll() {
        failPrefix = level;
        failLevels.clear();
    }
    // The highest level the last failure depends on (1 or less: none).
    int32_t failTop() const;
    // Keeps the last failure's levels below top as a level set; its index.
    // pre: failTop() <= top.
    int32_t keepFailLevels(int32_t top);
    // A failed lookahead on its own level: the level set its complement
    // rests on, -1 without backjumping.
    int32_t lookaheadFailureSet(const INTERPRETATION& interpretation);
    void noteConflict(int32_t kind, int32_t data) { conflictSeeds.push_back(REASON{kind, data}); }
    // gusUnfounded of component c, about to be falsified, kept as a record:
    // the reason of its atoms (unknown when reasons are not noted).
    REASON keepUnfoundedSet(int32_t c, const INTERPRETATION& interpretation);
    int32_t ruleIndex(const GROUNDRULE& r) const { return int32_t(&r - groundRules->data()); }
    int32_t constraintIndex(const GROUNDCONSTRAINT& c) const { return int32_t(&c - groundConstraints->data()); }

    // Lookahead results kept across levels: the record of each assumption
    // (atom false, true, must-be-true), reused while nothing its propagation
    // read has changed. A propagation reads only the rules and constraints
    // of the atoms it assigns (their counters and atoms, the support counts
    // of their head atoms) and the supporting rules of the atoms whose single
    // support it forced; counters and support counts change only with the
    // values of atoms of those rules. So each kept record is listed with the
    // atoms it assigned or whose support it forced, and a change of an
    // atom's value or support count outside a lookahead (found on the
    // interpretation's log and on supportTrail, when made and when undone)
    // drops the records listed with every atom that shares a rule or
    // constraint with it (weak constraints included), or an aggregate: the
    // aggregate atoms and elements of an aggregate function are neighbours.
    // A propagation that ran the unfounded-set step (which reads a whole
    // component) is not kept.
    //
    // With weak constraints a record also keeps, per cost slot, the cost its
    // propagation added and the weight of the weak constraints it satisfied.
    // The propagation reads the cost and its bound only in tests of whether
    // a weak constraint could push the cost over the bound; a record is kept
    // and reused only while none of those tests can succeed (the heaviest
    // weak constraint of each slot cannot exceed the bound from the cost
    // with the record's added), so that they all failed when it was made
    // and would all fail again.
    struct LOOKAHEADSLOT {
        int32_t counters[12];
    };
    static_assert(sizeof(LOOKAHEADSLOT) == 48, "LOOKAHEADSLOT is twelve 32-bit words");
    // A watch, one word: the slot in the low watchSlotBits bits, the
    // record's version above them (its low bits: a watch of a version as
    // many versions back as those bits count passes for the current one, and
    // at worst drops a valid record, which is then computed again alike).
    using WATCH = uint32_t;
    uint32_t watchSlotBits = 31;
    WATCH watchOf(uint32_t slot, uint32_t version) const { return slot | version << watchSlotBits; }
    uint32_t watchSlot(WATCH w) const { return w & ((uint32_t(1) << watchSlotBits) - 1); }
    // Whether the record w names is its slot's valid one.
    bool watchLive(WATCH w) const { return slotStates[watchSlot(w)] == w; }
    bool slotValid(uint32_t slot) const { return watchSlot(slotStates[slot]) == slot; }
    std::vector<LOOKAHEADSLOT, LARGEALLOCATOR<LOOKAHEADSLOT>> lookaheadSlots;  // 3 per atom
    // Per slot: the watch of its record while that is valid, the same with
    // the slot's lowest bit flipped while not (version 0 at first); apart
    // from the records, so that watch upkeep reads one small array.
    std::vector<uint32_t> slotStates;
    // Blocks of 4 << k words (k their size class) for the watch lists,
    // carved from large slabs that never move and reused through one free
    // list per class: the lists grow by the hundred thousand and are read
    // at random, and the general allocator would scatter them over small
    // pages after searching its fragmented bins for each.
    struct BLOCKARENA {
        std::vector<std::pair<uint32_t*, size_t>> slabs;  // with their sizes in bytes
        std::vector<std::vector<uint32_t*>> freeBlocks;   // per size class
        uint32_t* next = nullptr;
        size_t left = 0;                      // words left after next in the last slab
        size_t slabBytes = size_t(1) << 16;  // of the next slab: doubling up to LARGEBLOCK
        BLOCKARENA() = default;
        BLOCKARENA(const BLOCKARENA&) = delete;
        BLOCKARENA& operator=(const BLOCKARENA&) = delete;
        ~BLOCKARENA() { clear(); }
        uint32_t* take(uint32_t sizeClass);
        void give(uint32_t* block, uint32_t sizeClass);
        void clear();
    };
    BLOCKARENA listArena;
    // Per atom: the records that assigned it and (in the same cache line)
    // the last keepLookahead that listed it.
    struct WATCHLIST {
        WATCH* watches = nullptr;  // a block of listArena: capacity 4 << k watches, size class k
        uint32_t size = 0, capacity = 0;
        uint32_t mark = 0;  // watchStamp of the last registration
    };
    static_assert(sizeof(void*) != 8 || sizeof(WATCHLIST) == 24, "WATCHLIST is three words");
    std::vector<WATCHLIST> watchLists;
    // Appends in place while the list has room (no call: one per atom a
    // kept record assigned); a full list goes through makeWatchRoom first.
    void addWatch(WATCHLIST& list, uint32_t slot, uint32_t version) {
        if (list.size == list.capacity) makeWatchRoom(list);
        list.watches[list.size++] = watchOf(slot, version);
    }
    void makeWatchRoom(WATCHLIST& list);
    std::vector<int32_t> keptReaders;               // keepLookahead's scratch: the atoms read
    uint32_t watchStamp = 0;
    size_t atomLogSynced = 0, supportTrailSynced = 0;  // log entries already looked at
    // Atoms whose value or support count may differ from the last sync (the
    // values and support counts then kept in syncedValue, syncedSupport).
    std::vector<uint8_t> changePending;
    std::vector<int32_t> pendingChanges, syncedValue, syncedSupport;
    std::vector<uint32_t> ruleSeen, constraintSeen;  // per rule, constraint: last sync that walked it
    std::vector<uint32_t> weakSeen;                  // per weak constraint, likewise
    std::vector<uint32_t> aggregateSeen;             // per aggregate index, likewise
    // A #count, or a #sum of values at least 0, of more than COUNTAPART
    // elements is not a neighbourhood (a change of any of its atoms would
    // drop every record that changed its value): such a record keeps how far
    // it raised the aggregate's least value (the true elements) and lowered
    // its greatest (the elements not false), and stands while no test of the
    // aggregate's atoms can act between the bounds now and with the
    // record's change (countRoom). Records that changed two such aggregates,
    // or assigned an aggregate atom of one, are not kept. countWatchers: per
    // aggregate, the records that keep its change (watches as in
    // watchLists); when its bounds or an aggregate atom of it change, they
    // are tested again.
    struct COUNTDELTA {
        int32_t aggregate = -1;  // -1: the record changed no such aggregate
        int64_t raised = 0, lowered = 0;
    };
    std::vector<COUNTDELTA, LARGEALLOCATOR<COUNTDELTA>> slotCounts;  // per slot
    // Watches of records grouped by the change they keep (two numbers): a
    // retest depends on nothing else, so a group stands or falls whole and
    // costs one test while it stands.
    struct WATCHGROUPS {
        struct GROUP {
            int64_t first, second;
            std::vector<WATCH> watches;
        };
        std::vector<GROUP> groups;
        std::map<std::pair<int64_t, int64_t>, uint32_t> index;  // (first, second) -> group
        uint32_t last = 0;                                        // the group found last
        std::vector<WATCH>& of(int64_t first, int64_t second) {
            if (last < groups.size() && groups[last].first == first && groups[last].second == second)
                return groups[last].watches;
            const auto [at, added] = index.emplace(std::make_pair(first, second), uint32_t(groups.size()));
            if (added) groups.push_back(GROUP{first, second, {}});
            last = at->second;
            return groups[last].watches;
        }
    };
    std::vector<WATCHGROUPS> countWatchers;
    void addGroupWatch(std::vector<WATCH>& list, uint32_t slot);
    void dropGroup(std::vector<WATCH>& watches);  // every record still watched there
    static constexpr size_t COUNTAPART = 16;
    std::vector<uint8_t> keptApart;  // per aggregate index, set when the run starts
    bool countKeptApart(int32_t aggregate) const { return keptApart[size_t(aggregate)] != 0; }
    std::vector<int32_t> changedCounts;  // the counts changed since the last sync
    size_t lookaheadTrailStart = 0;       // aggregateTrail entries before the running lookahead
    bool countRoom(int32_t aggregate, int64_t lowerBefore, int64_t upperBefore, int64_t raised, int64_t lowered,
                   const INTERPRETATION& I) const;
    bool keepCountDelta(uint32_t slot, size_t logStart, const INTERPRETATION& I);
    void retestCountWatchers(const INTERPRETATION& I);
    void addCountWatch(uint32_t slot);
    // Likewise a rule or a constraint of more than RULEAPART atoms, each
    // occurring once (for a rule, none in the head in a component of the
    // unfounded-set step): a change of any of its atoms would drop every
    // record that assigned one. A propagation reads such a rule only through
    // tests of its counters (whether it is open, has fewer than two open
    // literals, no open head, no undefined body literal, its body all true),
    // through the support counts and values of its head atoms once it
    // satisfied the rule, and through its atoms' values when it forced one
    // of its head atoms' single support; such a constraint, through whether
    // it is satisfied and the test of fewer than two open literals. A record
    // that assigned atoms of one such item keeps how far its propagation
    // lowered its open head atoms and undefined body literals (a
    // constraint's open literals): made while the item was open, it stands
    // while the item is open and those counters less that stay clear of
    // every test; made while it was satisfied (a rule by a false body
    // literal), while it stays so (it then does nothing). A change of a
    // rule's head atom drops them all. A record that read several items, or
    // forced a single support through one, or met a test of its item on the
    // way, falls with any change of them, as with any rule. The units of the
    // item's atoms read it
    // only near its tests (apartClassOf); while it is far from them before
    // and after a change, they stand too.
    struct APARTDELTA {
        int32_t item = -1;                     // number among the items kept apart; -1: none
        uint32_t headDrop = 0, bodyDrop = 0;  // how far its open head and undefined body fell
        uint8_t satisfied = 0;                 // made while it was satisfied
        uint8_t whole = 0;                     // falls with any change of the items it read
    };
    static constexpr uint32_t RULEAPART = 16;
    std::vector<APARTDELTA, LARGEALLOCATOR<APARTDELTA>> slotApart;  // per slot, while some item is kept apart
    // Numbers: the rules kept apart first, then the constraints.
    std::vector<int32_t> apartNumber;            // per rule: its number, or -1 (empty: none kept apart)
    std::vector<int32_t> apartConstraintNumber;  // per constraint index, likewise
    std::vector<uint32_t> apartRules;            // per number: the rule
    std::vector<uint32_t> apartConstraints;      // per number less the rules': the constraint's handle
    OCCURRENCES<int32_t> apartRulesOf;           // per atom: the numbers of the items it occurs in
    // Per number: the records that keep its change, by their drops (those
    // made while it was satisfied: group (-1, 0)).
    std::vector<WATCHGROUPS> apartWatchers;
    std::vector<uint8_t> apartClass;                // per number: apartClassOf at the last sync
    std::vector<uint8_t> apartHeadChanged;          // per number: a rule's head atom changed since the last sync
    std::vector<int32_t> changedApart;              // numbers whose atoms changed since the last sync
    size_t lookaheadCounterStart = 0;               // counterTrail entries before the running lookahead
    template <class VISIT>
    void forApartAtoms(int32_t number, VISIT&& visit) const {
        if (size_t(number) < apartRules.size()) {
            const RULESHAPE& shape = ruleShapes[apartRules[size_t(number)]];
            const int32_t* atoms = ruleAtoms.data() + shape.start;
            for (uint32_t i = 0; i < shape.heads + shape.positive + shape.negative; ++i) visit(atoms[i]);
        } else {
            const uint32_t* c = constraintAt(apartConstraints[size_t(number) - apartRules.size()]);
            for (uint32_t i = 0; i < c[CONSTRAINT_POSITIVE] + c[CONSTRAINT_NEGATIVE]; ++i)
                visit(int32_t(c[CONSTRAINT_ATOMS + i]));
        }
    }
    void startApart();
    uint8_t apartClassOf(int32_t number) const;
    bool apartSatisfied(int32_t number) const;
    bool apartRoom(const APARTDELTA& delta) const;
    void keepApartDelta(uint32_t slot, size_t logStart, const INTERPRETATION& I);
    bool apartChange(APARTDELTA& delta) const;
    std::vector<int32_t> apartTouched;      // keepApartDelta's scratch: the items the record read
    std::vector<uint32_t> apartTouchMark;   // per number: apartTouchStamp when listed there
    uint32_t apartTouchStamp = 0;
    void addApartWatch(uint32_t slot);
    void retestApartWatchers();
    // The records that assigned atom go, and its unit is redone.
    void neighbourChanged(int32_t atom);
    // With weak constraints: per slot, the cost added and the weight
    // satisfied, costSlotCount values each; the cost when the running
    // lookahead started.
    std::vector<uint64_t, LARGEALLOCATOR<uint64_t>> slotCosts;
    uint32_t costSlotCount = 0;
    std::vector<uint64_t> lookaheadStartCost;
    bool reuseCostRecord(uint32_t slot, const INTERPRETATION& I);
    void keepCostRecord(uint32_t slot, const INTERPRETATION& I);
    uint32_t syncStamp = 0;
    void pendChange(int32_t atom);
    // The share of lookaheads reused, weighed after every 64 computations
    // since the marks; too small a share stops the reuse for the run.
    uint64_t reuseComputations = 0, reuseRunMark = 0, reusePerformedMark = 0;
    void weighReuse();
    bool lookaheadCacheOn = false;
    // A record costs a watch per atom it read. Records that read more than
    // LARGERECORD atoms are kept only while their watches fit a budget
    // linear in the atoms (beyond it their units are redone instead), so
    // lookaheads that each reach most of a large program do not leave a
    // quadratic table of watches.
    static constexpr size_t LARGERECORD = 1024;
    size_t largeRecordBudget = 0;
    bool recordingReads = false;          // inside a lookahead that may be kept
    bool lookaheadReadComponent = false;  // it ran the unfounded-set step
    std::vector<int32_t> forcedSupportAtoms;
    void startLookaheadCache();
    void stopLookaheadCache();
    // Drops the records that read what the interpretation's log and
    // supportTrail changed since the last call (and is still changed).
    void syncLookaheadCache(const INTERPRETATION& interpretation);
    // Notes for the next sync what leaveLevel is about to undo (level
    // already lowered).
    void dropUndoneLookaheads(const INTERPRETATION& interpretation);
    // The value or support count of atom changed: drops the records listed
    // with it and with every atom that shares a rule or constraint with it.
    void neighbourhoodChanged(int32_t atom);
    // Keeps currentInfo as the record of slot, listed with the atoms the
    // propagation whose assignments start at logStart assigned.
    void keepLookahead(uint32_t slot, const INTERPRETATION& interpretation, size_t logStart);
    // Possibly-true literals kept across levels (with kept lookahead records
    // and criteria that rank by one number per entry). Each atom's share of
    // a computation (its unit: its weights and possibly-true tests in the
    // counting pass, its lookaheads, tried marks and ranked entries in the
    // lookahead pass) is kept and redone only when something it read
    // changed: an atom of a rule or constraint it occurs in changed value or
    // support count, a kept record it used was dropped, the average filter
    // moved across its weight, or an earlier unit changed which of the
    // literals it reads count as tried. A computation redoes the dirty units
    // in index order and takes the best entries of a heap of every kept one;
    // since the ranking keeps the best entries (equal ones the later first),
    // the list, the lookaheads counted and the choice are those of a full
    // computation.
    struct KEPTENTRY {
        int32_t atom;
        uint8_t negative, hasComplement;
        uint64_t position;  // unit * 3 + 0 literal, 1 twin head atom, 2 negative literal
        int32_t own[12], complement[12];
    };
    // A heap slot; its key lies at the slot's place in heapKeys, so that
    // sifting compares slots without reading the entries.
    struct KEPTSLOT {
        uint64_t position;
        int32_t id;
    };
    struct KEPTCANDIDATES {
        bool wanted = false;  // this run may keep them
        bool active = false;
        bool inPass = false;
        int32_t position = -1;  // unit being redone during a pass
        std::vector<uint8_t> countDirty;
        std::vector<int32_t> countDirtyList;
        // One bit per unit to redo. A pass takes them in index order from
        // the unit after position on; a unit marked at or before position
        // waits for the next computation.
        std::vector<uint64_t> dirtyUnits;
        std::vector<uint8_t> positivePT, negativePT;  // at the counting pass
        std::vector<int32_t> positiveCount, negativeCount;
        uint64_t literals = 0, weightSum = 0, average = 0;
        bool averageKnown = false;
        std::vector<uint8_t> looked, isVolatile;  // looked: bit 0 the literal, bit 1 its negation
        std::vector<int32_t> twin, twinOwner, volatileUnits;
        std::vector<uint32_t> unitConsistent;
        std::vector<uint64_t> unitLookaheads, lookaheadTree;  // lookaheadTree: prefix sums (Fenwick)
        uint64_t totalLookaheads = 0, totalConsistent = 0, lookedUnits = 0;
        std::vector<int32_t> entryOf;  // 3 per unit; -1 none
        std::vector<KEPTENTRY, LARGEALLOCATOR<KEPTENTRY>> entries;
        std::vector<int32_t> freeEntries;
        std::vector<KEPTSLOT, LARGEALLOCATOR<KEPTSLOT>> heap;  // best entry first
        std::vector<__int128, LARGEALLOCATOR<__int128>> heapKeys;  // criteria per heap slot
        std::vector<uint32_t> heapIndex;  // per entry
        std::vector<uint32_t> frontier;          // scratch of the best few
        std::vector<__int128> scratchKey, siftKey;
        uint8_t refreshed = 0;  // bit per entry position of the unit being redone: ranked again
        bool unkeptLookahead = false;  // a lookahead ran and its record was not kept
        // With weak constraints. Every entry ranks as if made at the cost of
        // the computation (passBase): its own and its complement's resulting
        // cost less passBase and weight satisfied, per entry in entryCosts.
        // The cost rising within a pass puts the units after it at a higher
        // base (mixedBases: the next computation ranks every unit again);
        // costSeen and boundSeen: what the kept records' headroom was last
        // checked against.
        std::vector<uint64_t> passBase, costSeen;
        std::vector<uint64_t, LARGEALLOCATOR<uint64_t>> entryCosts;  // 4 * costSlotCount per entry
        bool mixedBases = false;
        uint64_t boundSeen = 0;
    };
    KEPTCANDIDATES kept;
    void startKeptCandidates(const INTERPRETATION& interpretation);
    void markKeptUnit(int32_t atom);
    // The lowest unit from 'from' on marked to redo, -1 when there is none.
    int32_t nextDirtyUnit(int32_t from) const;
    void keptRecordDropped(int32_t atom);
    bool computeKeptPossiblyTrue(PTCANDIDATES& list, INTERPRETATION& interpretation);
    bool redoKeptUnit(PTCANDIDATES& list, int32_t atom, uint32_t& failed, INTERPRETATION& interpretation);
    void recountKeptUnit(int32_t atom, const INTERPRETATION& interpretation);
    void keepEntry(int32_t unit, int sub, int32_t atom, bool negative, const HEURISTICINFO& record,
                   const HEURISTICINFO* complement);
    void dropKeptEntry(int32_t entry);
    bool keptKeyBetter(const __int128* x, uint64_t xPosition, const __int128* y, uint64_t yPosition) const;
    void siftKeptEntry(uint32_t index);
    void fillFromKeptEntries(PTCANDIDATES& list);
    size_t keptKeyWidth = 0;  // key numbers per entry
    uint64_t boundChanges = 0;  // the optimisation bound tightened
    bool costRaisesKeptCost(const INTERPRETATION& interpretation);
    void keepEntryCosts(int32_t entry, const HEURISTICINFO& record, const HEURISTICINFO* complement);
    COSTVECTOR lookaheadHeadroomCost;  // markCostlyKeptRecords' scratch
    void markCostlyKeptRecords(const INTERPRETATION& interpretation);
    bool triedPositive(int32_t atom) const;
    int32_t binaryOccurrences(int32_t atom, bool negativeSide) const;
    std::vector<int32_t> heuristicCriteria;
    std::vector<int32_t> combineKinds;
    TIMER totalTimer, searchTimer, initTimer, wellFoundedTimer, depgraphTimer, modelCheckTimer, partialCheckTimer,
        quickCheckTimer, ptTimer, frontendTimer;
    INTERPRETATION gusScratch;
    // The unfounded-set step keeps, for each atom of a component it runs on,
    // a source: a rule that founds the atom, whose body is not false, with no
    // true or must-be-true head atom outside the component, and whose
    // positive body atoms inside the component have sources themselves and
    // lower ranks (so sources never form a cycle). The founded members are
    // exactly the sourced ones, so a step only looks at the atoms whose
    // source may be gone: the event handlers put the atoms of a source rule
    // that may no longer found them on their component's gusPendingAtoms;
    // backtracking never invalidates a source. An atom without a source
    // stays listed until it gets one; a false one is parked instead, and
    // listed again when the level that made it false is undone.
    // GUS_COHEAD: a rule with more than one head atom has the atom and a
    // member of a qualifying component in its head.
    enum : uint8_t { GUS_SOURCED = 1, GUS_LISTED = 2, GUS_PARKED = 4, GUS_COHEAD = 8 };
    std::vector<GROUNDRULE*> gusSource;                 // per atom: source rule, or null
    std::vector<int32_t> gusRank;                       // per atom: above its source's body atoms' ranks
    std::vector<uint8_t> gusAtomState;                  // per atom: GUS_* bits
    std::vector<int32_t> gusMemberPosition;             // per atom: position in its component
    std::vector<int32_t> gusComponent;                  // per atom: its component if listed there, else -1
    // Per member p, from gusHeadStart[p] to gusHeadStart[p + 1]: each rule
    // with p in its head (headOccurrences order) as its index, the number
    // of its positive body atoms inside p's component, then those atoms.
    // From gusBodyStart[p]: the rules of p's leading positive body run as
    // pairs: index, head atom inside. Rebuilt at the start of a run.
    std::vector<uint32_t> gusHeadStart, gusBodyStart;
    std::vector<int32_t> gusHeadRules, gusBodyRules;
    std::vector<std::vector<int32_t>> gusPendingAtoms;  // per component: atoms to re-source
    std::vector<int32_t> gusWaiting;                    // per rule: body atoms without source it waits for
    std::vector<int32_t> gusLost, gusUnfounded;         // one step's atoms without source; the unfounded ones
    std::vector<GROUNDRULE*> gusWaitingRules;           // one step's rules with gusWaiting set
    uint32_t gusParkedCount = 0;
    // Work counter (not reported): atoms the unfounded-set steps visited.
    uint64_t gusAtomsVisited = 0;
    // For tests: every step recomputed from scratch instead (false), or
    // both, the process ending on a difference (gusCrossCheck).
    bool gusIncremental = true;
    bool gusCrossCheck = false;

    // Per atom, fixed at construction: bit 0 an aggregate atom, bit 1 its
    // component of the GDG is cyclic with a disjunctive edge inside.
    std::vector<uint8_t> atomKind;
    // Per atom: index into aggregateAtomInfo, -1 for other atoms.
    std::vector<int32_t> aggregateAtomSlot;
    std::vector<AGGREGATEATOMINFO> aggregateAtomInfo;
    // Per weak constraint: weight (times 1000) and cost slot.
    std::vector<uint64_t> weakWeight;
    std::vector<int32_t> weakSlot;
    std::vector<uint64_t> maxWeakWeight;  // per cost slot
    // Per aggregate index, for #times: the factor of the elements that were
    // true before the run (the upper bound without the ground set), used to
    // recompute a saturated upper bound.
    std::vector<int64_t> timesBase;
    // Per aggregate index, for #times: elements of the ground set with a
    // value of at least 2 that are not false. From 62 on the product is
    // certainly saturated (with a base of at least 1).
    std::vector<int32_t> timesFactors;
    // Per aggregate index, for #max and #min: the elements of its set whose
    // atom is true (must-be-true does not count), kept as atoms are assigned
    // and as levels are undone. The false aggregate atom's handler asks
    // whether there is one at every event of the set.
    std::vector<int32_t> trueElements;
    OCCURRENCES<int32_t> extremeMemberships;  // per atom: the #max and #min sets it is an element of
    void countTrueElement(int32_t atom) {
        if (extremeMemberships.items.empty()) return;
        for (int32_t g : extremeMemberships[atom]) ++trueElements[g];
    }
    void uncountUndoneTrueElements(const INTERPRETATION& interpretation);
    // Per aggregate index: how many elements of its set, counted from the
    // last one (the order of the #sum and #times scans), are known to be
    // decided. The scans forcing the elements of an aggregate atom resume
    // there instead of passing the decided elements again at every event of
    // the set (n events each rescanning n elements). Past the aggregates, one
    // entry per aggregate-atom slot (rangeDecided): 1 once every element of
    // the #max or #min set whose value lies between the atom's guards is
    // decided, for the scan that makes them false. A level's changes are
    // saved on decidedTrail and restored when it is undone.
    struct DECIDEDSAVE {
        int32_t aggregate;
        int32_t level;
        uint32_t suffix;  // before the level changed it
    };
    std::vector<uint32_t> decidedSuffix;
    std::vector<uint32_t> decidedSavedAt;  // per aggregate: trail position of its latest save
    std::vector<DECIDEDSAVE> decidedTrail;
    void setDecidedSuffix(int32_t aggregate, size_t suffix);
    int32_t rangeDecided(int32_t slot) const { return int32_t(aggregateSeen_.size()) + slot; }
    void undoDecidedSuffixes();  // to the current level
    enum { FORCE_FALSE, FORCE_TRUE, FORCE_STOP };  // FORCE_TRUE: must-be-true
    // Forces every undefined element of the set false or must-be-true.
    void forceUndecided(int32_t aggregate, const std::vector<GROUNDSETELEMENT>& set, int force, INTERPRETATION& I);
    // Forces the undefined elements from the last one as decide(value) says,
    // up to the first it stops at, passing the elements known decided.
    template <class DECIDE>
    void forceFromLast(int32_t aggregate, const std::vector<GROUNDSETELEMENT>& set, INTERPRETATION& I,
                       DECIDE&& decide);

    // levelCount: the number of cost slots (costLevels.size()); costBound and
    // initialCost have that many slots when given. maxModels may be null.
    MODELGENERATOR(std::vector<GROUNDRULE>* groundRules, std::vector<GROUNDCONSTRAINT>* groundConstraints,
                   std::vector<GROUNDWEAKCONSTRAINT>* groundWeakConstraints, const CONJUNCTION* query,
                   const ATOMSET* edbFacts, const ATOMSET* groundTrueAtoms, const uint32_t* maxModels,
                   const COSTVECTOR* costBound, uint32_t checkFlags, MODELHOOK modelHook, MODELHOOK candidateFilter,
                   bool programHasAggregates, const COSTVECTOR* initialCost, bool weakConstraintsPresent,
                   bool inputWeakConstraintsPresent, bool wcTrace, bool costBoundGiven, uint32_t levelCount,
                   uint32_t aggregateCount, const std::vector<uint32_t>* criteria,
                   const std::vector<uint32_t>* combineList);
    // An empty generator: no rules, model checking on, no hooks, no costs (the
    // statistics report's stand-in when no search ran).
    MODELGENERATOR();
    MODELGENERATOR(const MODELGENERATOR&) = delete;
    MODELGENERATOR& operator=(const MODELGENERATOR&) = delete;
    ~MODELGENERATOR();

    // ---- A run (modelgenerator.cpp) ----
    // Fresh interpretation, checkAtoms, indexing under initTimer, then the
    // initial propagation under wellFoundedTimer; level 0, searchState SEARCH_GOES_ON.
    // Returns false when the program is inconsistent (initiallyInconsistent
    // is set then). A search run (forSearch) starts from initialCost, marks
    // the head-cycle rules and afterwards gives initialCost the cost the
    // initial propagation reached; the deterministic-consequences run starts
    // from zero costs and marks nothing.
    bool startRun(INTERPRETATION& interpretation, bool forSearch = true);
    // Unwinds every trail (counters and support counts back to their indexed
    // values, aggregates to their grounding state) and releases the run's lists.
    void endRun(INTERPRETATION& interpretation);
    // Opens level level+1: markers on the interpretation's logs.
    LEVELMARK enterLevel(INTERPRETATION& interpretation);
    // Back to level-1: restores values, cost, counters, support counts,
    // aggregates and checkAtoms as they were at enterLevel.
    void leaveLevel(INTERPRETATION& interpretation, const LEVELMARK& mark);
    // A choice's assignment without propagation: 8 (true, marked for the
    // model checker), 2 or 1, counted in currentInfo and queued.
    void assignChoice(int32_t atom, int32_t value, INTERPRETATION& interpretation);
    void clearOccurrenceLists();

    // ---- The search (search.cpp) ----
    // One complete search: a run started as above, the levels from 1 on, and
    // the run's end. Answer sets go to candidateFilter and modelHook;
    // bestModel, bestCost, optimumKnown, initialCost, the statistics and the
    // timers outlive it. May be run again on the same generator.
    void computeAnswerSets();
    // The levels from the current one on: per level its choices, their
    // branches and complements, until nothing is left to choose (then the
    // candidate) or the level is hopeless; levels on an explicit stack. The
    // outcome is in searchState.
    void searchLevel(INTERPRETATION& interpretation);
    // The three steps of one level (search.cpp): open it (statistics, the
    // forward check, the first choice; false when it ends at once), choose
    // and open a branch, continue after the branch came back (false when the
    // level ends).
    bool openLevel(SEARCHFRAME& frame, INTERPRETATION& interpretation);
    int32_t chooseOnLevel(SEARCHFRAME& frame, INTERPRETATION& interpretation);
    bool continueLevel(SEARCHFRAME& frame, INTERPRETATION& interpretation);
    // The choice without heuristics: whether rule is open with a true
    // positive body and has a literal to offer; position receives the
    // literal's place in the head, or in the body for a negative literal.
    bool ruleOffersChoice(GROUNDRULE& rule, GROUNDLITERAL& literal, size_t& position,
                          const INTERPRETATION& interpretation) const;
    // The set bits of offerBits (search.cpp): built from the counters, one
    // rule marked or cleared (a clearing is undone by leaveLevel), the first
    // marked rule from 'from' on (the rule count when there is none).
    void buildOfferIndex();
    void markOffer(size_t rule) {
        offerBits[rule >> 6] |= uint64_t(1) << (rule & 63);
        offerSummary[rule >> 12] |= uint64_t(1) << ((rule >> 6) & 63);
    }
    void clearOffer(size_t rule);
    size_t nextMarkedOffer(size_t from) const;
    // The partial checks that prune a level: before its first choice
    // (forward) and after a subtree was rejected by a model check
    // (backtracking). True when the level is hopeless.
    bool forwardCheckFails(INTERPRETATION& interpretation, uint32_t passedLevel, uint32_t candidateLevel);
    bool backtrackingCheckFails(INTERPRETATION& interpretation);

    // ---- Possibly-true literals and lookahead (lookahead.cpp) ----
    // Fills list with the best possibly-true literals of the level, looking
    // ahead on each; asserts the complements of failed lookaheads. False
    // when the level is inconsistent.
    bool computePossiblyTrue(PTCANDIDATES& list, INTERPRETATION& interpretation);
    // Its passes from the counting pass on, into list as it is; first: no
    // lookahead of the computation was counted as a choice point yet.
    bool possiblyTruePasses(PTCANDIDATES& list, bool first, INTERPRETATION& interpretation);
    bool lookaheadLiteral(PTCANDIDATES& list, int32_t atom, bool negative, uint32_t& consistent, uint32_t& failed,
                          INTERPRETATION& interpretation);
    // Looks ahead on the literal (into first) and then on its complement
    // (into second); either may be null. True when the last one made was
    // consistent. Leaves the interpretation, counters and trails unchanged.
    bool lookaheadBothSides(int32_t atom, bool negative, INTERPRETATION& interpretation, HEURISTICINFO* first,
                            HEURISTICINFO* second);
    // One assumption on a level of its own, propagated and undone; the
    // record stays in currentInfo. True when it led to a conflict (the
    // complement is then queued on pendingComplements).
    bool assumeAndPropagate(int32_t atom, bool assumeFalse, bool setTrueDirectly, INTERPRETATION& interpretation);
    // Undoes everything a lookahead changed, its level included.
    void undoLookahead(INTERPRETATION& interpretation);
    bool applyPendingComplements(INTERPRETATION& interpretation);
    void countBinaryOccurrences(int32_t atom, bool negativeSide);
    bool isPositivePossiblyTrue(int32_t atom, const INTERPRETATION& interpretation) const;
    // The positive test as --negpts/--pospts select it, and the negative one
    // (never under --pospts).
    bool positivePossiblyTrue(int32_t atom, const INTERPRETATION& interpretation) const;
    bool negativePossiblyTrue(int32_t atom, const INTERPRETATION& interpretation) const;
    bool candidateStillPossiblyTrue(const PTCANDIDATE& entry, const INTERPRETATION& interpretation) const;
    // searchLevel's choice with heuristics: drops invalid candidates from the
    // front and recomputes when none is left. False when the level is
    // inconsistent; list.done when nothing is left to choose.
    bool nextPossiblyTrueChoice(PTCANDIDATES& list, INTERPRETATION& interpretation);

    // ---- Candidates (candidates.cpp) ----
    // Completes the interpretation (undefined atoms false), model-checks it
    // when its stability is in doubt, filters and reports it.
    // post: searchState SEARCH_SUBTREE_REJECTED when the check or
    // candidateFilter rejected it, SEARCH_STOPPED when a hook stopped the
    // search, unchanged otherwise.
    void checkCandidate(INTERPRETATION& interpretation);
    // The model checker on the interpretation; fills unfoundedSet and
    // unfoundedSetFound. True when it is stable.
    bool callModelChecker(INTERPRETATION& interpretation);
    // Keeps the answer set (bestModel, bestCost, the optimum) and reports it.
    void answerSetFound(INTERPRETATION& interpretation);
    // After a search that proved the optimum only by ending ("-n=1"):
    // reports bestModel through modelHook, timed like a report during the
    // search (the search time only when nothing was printed before).
    // pre: bestModel is set.
    void reportBestModel();
    // The lowest atom from 'from' on that is in unfoundedSet and true (2 or
    // above 3); the atom count when there is none.
    uint32_t nextTrueUnfoundedAtom(const INTERPRETATION& interpretation, uint32_t from) const;

    // ---- Deterministic consequences (deterministic.cpp) ----
    // "-det": the initial propagation only; prints the atoms known true as one
    // set on standard output, or "Inconsistency!".
    void printDeterministicConsequences();

    // ---- Indexing (index.cpp) ----
    bool initDataStructures(INTERPRETATION& interpretation);
    bool indexRules(INTERPRETATION& interpretation);
    bool indexConstraints(INTERPRETATION& interpretation);
    void indexWeakConstraints(INTERPRETATION& interpretation);
    void markHeadCycleRules();

    // ---- Initial propagation and costs (initial.cpp) ----
    bool propagateInitial(INTERPRETATION& interpretation);
    // Exactly one literal open and its violation would make cost too high.
    bool weakConstraintExceedsBound(int32_t weak, const COSTVECTOR& cost) const;
    // The bound rule: while optimising a cost not below bestCost is too
    // high; once the optimum is known, only one above it.
    bool costTooHigh(const COSTVECTOR& cost) const { return costTooHighWith(cost, -1, 0); }
    // The same for cost with extra added at slot.
    bool costTooHighWith(const COSTVECTOR& cost, int32_t slot, uint64_t extra) const;

    // ---- Events (propagate.cpp) ----
    // Handles every queued event and what follows, to a fixpoint, then
    // re-tests the weak constraints when the cost rose. post: the queue is
    // empty; false on a conflict, with every change made so far left for the
    // caller to undo with its level.
    bool propagateEvents(INTERPRETATION& interpretation);
    void setFalse(int32_t atom, INTERPRETATION& interpretation, REASON why = REASON());
    void setMustBeTrue(int32_t atom, INTERPRETATION& interpretation, REASON why = REASON());
    void setTrueDirectly(int32_t atom, INTERPRETATION& interpretation, REASON why = REASON());
    void setSupported(int32_t atom, INTERPRETATION& interpretation, REASON why = REASON());
    bool onFalse(int32_t atom, INTERPRETATION& interpretation);
    bool onMustBeTrue(int32_t atom, INTERPRETATION& interpretation);
    bool onTrueSupported(int32_t atom, INTERPRETATION& interpretation);
    bool onTrueAssumed(int32_t atom, INTERPRETATION& interpretation);
    void queueComponentForGUS(int32_t component);

    // ---- Unfounded-set step (unfounded.cpp) ----
    // One step for component c: its unfounded undefined atoms become false
    // (events queued). False when an unfounded atom is true or must-be-true.
    bool computeUnfoundedSet(int32_t c, INTERPRETATION& interpretation);
    bool falsifyUnfoundedAtoms(int32_t c, INTERPRETATION& interpretation);
    bool canFound(GROUNDRULE& rule, int32_t c, const INTERPRETATION& interpretation) const;
    // canFound for a rule with member (of c) in its head: without another
    // head atom (the member is not GUS_COHEAD) only a false body stops it.
    bool canFoundMember(GROUNDRULE& rule, int32_t member, int32_t c, const INTERPRETATION& interpretation) const {
        if (gusAtomState[member] & GUS_COHEAD) return canFound(rule, c, interpretation);
        return (ruleStatus(rule) & uint32_t(rule.body != nullptr) & 1) == 0;  // no branch: unpredictable
    }
    LISTVIEW<int32_t> positiveBodyAtoms(const GROUNDRULE& rule) const;
    // The step recomputed over the whole component (gusScratch: 0 the
    // non-false members no rule founds); kept to check the incremental one.
    void foundComponentFromScratch(int32_t c, const INTERPRETATION& interpretation);
    // Source pointers, rebuilt from nothing at the start of a run.
    void resetUnfoundedSources();
    // Rule may no longer found the head atoms it is the source of (its body
    // became false, or a head atom true or must-be-true).
    void noteSourceRuleChanged(GROUNDRULE& rule) {
        if (!gusActive) return;
        for (int32_t h : headAtoms(rule))
            if (gusSource[h] == &rule && (gusAtomState[h] & GUS_SOURCED)) queueForResourcing(h);
    }
    // Atom became true or must-be-true: the rules with it in their head.
    void noteHeadAssigned(int32_t atom);
    void queueForResourcing(int32_t atom);
    void unparkUndoneAtoms(const INTERPRETATION& interpretation);
    bool resourceBelowRank(int32_t atom, int32_t c, const INTERPRETATION& interpretation);
    void loseSources(int32_t c, size_t from, const INTERPRETATION& interpretation);
    void findSources(int32_t c, const INTERPRETATION& interpretation);
    bool gusCheckFailed(int32_t c, const INTERPRETATION& interpretation);
    // Whether the step applies to component c: cyclic, no disjunctive edge inside.
    bool componentQualifiesForGUS(int32_t c) const;

    // ---- Rule-level propagation (rules.cpp) ----
    bool propagateRule(GROUNDRULE& rule, INTERPRETATION& interpretation);
    bool onRuleBodyFalse(GROUNDRULE& rule, INTERPRETATION& interpretation);
    bool onRuleHeadTrue(GROUNDRULE& rule, int32_t atom, INTERPRETATION& interpretation);
    bool forceSingleSupport(int32_t atom, INTERPRETATION& interpretation);
    bool falsifyLastWeakLiteral(int32_t weak, INTERPRETATION& interpretation);

    // ---- Aggregates (aggregates.cpp) ----
    bool updateAggregatesOf(int32_t atom, bool becameTrue, INTERPRETATION& interpretation);
    void onAggregateAtomMustBeTrue(int32_t atom, INTERPRETATION& interpretation);
    void onAggregateAtomFalse(int32_t atom, INTERPRETATION& interpretation);

    // ---- Invariants (invariants.cpp) ----
    // Between propagations (after one that succeeded, after a level is left):
    // the description of the first invariant that does not hold, empty when
    // all do. Cheap checks only (queues, trail levels) unless full; the full
    // check recomputes every counter from the interpretation.
    std::string brokenInvariant(const INTERPRETATION& interpretation, bool full) const;
    // brokenInvariant as an internal error, with where in the message; full
    // as often as keeps its cost near that of a level.
    void checkInvariants(const INTERPRETATION& interpretation, const char* where);
    uint64_t invariantChecks = 0, invariantProgramSize = 0;

    bool isAggregateAtom(int32_t atom) const { return atomKind[atom] & 1; }
    // The aggregate index of an aggregate atom the generator tracks; -1 for
    // other atoms and for aggregate atoms without a tracked function.
    int32_t aggregateOfAtom(int32_t atom) const {
        const int32_t slot = aggregateAtomSlot[size_t(atom)];
        if (slot < 0) return -1;
        const int32_t g = aggregateAtomInfo[size_t(slot)].aggregate;
        return g >= 0 && size_t(g) < aggregateAtoms.size() ? g : -1;
    }
    bool inHeadCycleComponent(int32_t atom) const { return atomKind[atom] & 2; }
    AGGREGATEFUNCTION& aggregateFunction(int32_t aggregate) const { return *aggregatesByIndex[aggregate]; }

private:
    // Counter and support changes, logged at the current level.
    void setCounter(uint32_t& cell, uint32_t value) {
        counterTrail.push(level, &cell);
        cell = value;
    }
    void setSupport(int32_t atom, int32_t value) {
        supportTrail.push(level, &supportCount[atom]);
        supportCount[atom] = value;
    }
    void noteAssignment(int32_t atom, REASON why, const INTERPRETATION& interpretation) {
        if (!notingReasons) return;
        reasonOf[atom] = why;
        assignLevel[atom] = level;
        assignStamp[atom] = uint32_t(interpretation.atomLog.size());
    }
    void logAssignment(int32_t atom, INTERPRETATION& interpretation) {
        if (!interpretation.recording) return;
        ATOMLOGENTRY& e = interpretation.atomLog.emplace_back();
        e.atom = atom;
        e.oldValue = interpretation.values[atom];
    }
    void countMustBeTrueSupport(int32_t atom);
    void markForCheck(int32_t atom);

    // propagate.cpp
    void prefetchOccurrences(int32_t atom);
    void prefetchConstraints(LISTVIEW<uint32_t> handles);
    void prefetchNextEvent();
    bool constraintTest(uint32_t* c, INTERPRETATION& interpretation);
    bool weakConstraintTest(int32_t weak, INTERPRETATION& interpretation);
    void satisfyConstraints(LISTVIEW<uint32_t> handles);
    void satisfyWeakConstraint(int32_t weak);
    bool supportStep(GROUNDRULE& rule, INTERPRETATION& interpretation);
    bool bodyUpdate(GROUNDRULE& rule, bool positive, int32_t event, INTERPRETATION& interpretation);
    bool firstTrueHead(GROUNDRULE& rule, int32_t atom, INTERPRETATION& interpretation);
    bool furtherTrueHead(GROUNDRULE& rule, INTERPRETATION& interpretation);
    bool ruleBodyFalseForAll(LISTVIEW<uint32_t> rules, INTERPRETATION& interpretation);
    void prefetchRules(LISTVIEW<uint32_t> rules) const;
    bool shortenConstraints(int32_t atom, bool positive, INTERPRETATION& interpretation);
    void conflictCleanup();
    bool someWeakConstraintCanExceed(const COSTVECTOR& cost) const;

    // rules.cpp
    // One rule less supports head atom h: support count, unfounded-set queue
    // and what the new count forces. False on a conflict.
    bool loseSupport(int32_t h, INTERPRETATION& interpretation);

    // invariants.cpp
    bool cheapInvariantBroken(const INTERPRETATION& interpretation, INVARIANTFINDING& finding) const;
    bool fullInvariantBroken(const INTERPRETATION& interpretation, INVARIANTFINDING& finding) const;
    bool aggregatesBroken(const INTERPRETATION& interpretation, INVARIANTFINDING& finding) const;

    // aggregates.cpp
    void registerAggregateAtom(int32_t atom);
    void buildAggregateLists(const INTERPRETATION& interpretation);
    void refreshExtremes(int32_t aggregate, int32_t value, INTERPRETATION& interpretation);
    void recomputeMaxExtremes(AGGREGATEFUNCTION& f, INTERPRETATION& interpretation);
    void recomputeMinExtremes(AGGREGATEFUNCTION& f, INTERPRETATION& interpretation);
    void recomputeTimesUpper(int32_t aggregate, INTERPRETATION& interpretation);
    // Registration scratch of one indexing: aggregates met, (aggregate, atom) pairs.
    std::vector<int32_t> registeredAggregates_;
    std::vector<std::pair<int32_t, int32_t>> registeredAtoms_;
    std::vector<uint8_t> aggregateSeen_;      // per aggregate index
    std::vector<uint8_t> aggregateAtomSeen_;  // per aggregate-atom slot
};

}  // namespace veltra
