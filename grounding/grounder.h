// grounding/grounder.h: instantiation of the rewritten program. The GROUNDER
// walks the components of the dependency graph with semi-naive iterations;
// variable-free input takes the propositional grounder instead.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "analysis/depgraph.h"
#include "core/aggregate.h"
#include "core/atom.h"
#include "core/groundprogram.h"
#include "core/rule.h"
#include "core/timer.h"

namespace veltra {

// ---------------------------------------------------------------------------
// Per-variable scratch storage. Statements read from input have at most
// MAXVARIABLES variables, generated ones (consistency constraints, rewritten
// rules) may have more: everything indexed by variable number is sized by the
// statement.

// n values, inline up to 64 entries, on the heap beyond.
template <class T>
class VARIABLEARRAY {
public:
    VARIABLEARRAY(size_t n, T init) : data_(inline_) {
        if (n > INLINE) {
            heap_.reset(new T[n]);
            data_ = heap_.get();
        }
        std::fill(data_, data_ + n, init);
    }
    VARIABLEARRAY(const VARIABLEARRAY&) = delete;
    VARIABLEARRAY& operator=(const VARIABLEARRAY&) = delete;
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* data() { return data_; }

private:
    static constexpr size_t INLINE = 64;
    T inline_[INLINE];
    std::unique_ptr<T[]> heap_;
    T* data_;
};

// Words of a bit set with one bit per variable of count variables.
inline int32_t variableWords(int32_t count) { return count <= 64 ? 1 : (count + 63) / 64; }
inline void setVariableBit(uint64_t* words, int32_t v) { words[v >> 6] |= uint64_t(1) << (v & 63); }
inline bool hasVariableBit(const uint64_t* words, int32_t v) { return (words[v >> 6] >> (v & 63)) & 1; }

// One more than the highest variable number in the atoms of the statement
// (aggregates: their guards, element terms and bodies); 0 without variables.
int32_t statementVariableCount(const std::vector<ATOM>* head, const CONJUNCTION* body);

// ---------------------------------------------------------------------------
// Atom sets of one iteration and ranges into them.

using ATOMITERATOR = ATOMORDEREDSET::const_iterator;

// A run of one predicate's ordered set: the atoms from first up to last.
struct ATOMRANGE {
    ATOMITERATOR first;
    ATOMITERATOR last;
};

// The atoms derived by one iteration. Atoms enter only through add(), which
// notes their predicate, so that emptying and merging visit the predicates
// with atoms, not all of them.
struct DELTA {
    ATOMSET trueAtoms;               // derived as facts
    ATOMSET undefinedAtoms;          // heads of stored rule instances
    std::vector<int32_t> touched;    // predicates whose sets may hold atoms
    std::vector<uint8_t> isTouched;  // per predicate: in touched

    // Inserts into part (trueAtoms or undefinedAtoms); the position and
    // whether the atom was new.
    std::pair<ATOMITERATOR, bool> add(ATOMSET& part, const ATOM& atom);
    void clear();  // empties every set, keeps the vectors
};

// Where a literal's candidate atoms come from.
enum : int32_t {
    SOURCE_OLD = 0,    // trueAtoms and undefinedAtoms (edbFacts for an EDB predicate)
    SOURCE_DELTA = 1,  // the delta of the previous iteration only
    SOURCE_BOTH = 2    // old atoms, then the delta
};

// ---------------------------------------------------------------------------
// The predicate index: per predicate, hash maps from the first argument to
// the run of atoms with that first argument in each atom set, and the
// per-argument selectivity figures that body ordering reads.

// Hashes kind and table index: unlike termCode, it does not move when a new
// symbolic constant enters symbolTable while a map is alive.
struct TERMKEYHASH {
    size_t operator()(const TERM& t) const {
        return t.isNull() ? 0 : (uint64_t(uint32_t(t.kind)) << 32 | uint32_t(t.index)) * 0x9E3779B97F4A7C15ull >> 7;
    }
};

// A term as one word: the kind in the top two bits, the table index below.
// Tables never reach 2^30 entries (each costs far more than four bytes), so
// distinct terms give distinct words.
inline uint32_t packedTerm(const TERM& t) { return uint32_t(t.kind) << 30 | uint32_t(t.index); }

// First-argument value to the run of atoms with that value (its first atom
// and its length): an open-addressing table (linear probing, at most three
// quarters full) of 16-byte entries, one allocation per map instead of one
// node per value.
class RANGEMAP {
public:
    struct ENTRY {
        uint32_t key;    // packedTerm of the value
        uint32_t count;  // atoms in the run; 0: a free entry
        ATOMITERATOR first;
    };
    static_assert(sizeof(void*) != 8 || sizeof(ENTRY) == 16, "ENTRY is two words");

    // Enters key with its run unless key is present; the entry of key.
    ENTRY& emplace(const TERM& key, ATOMITERATOR first, uint32_t count);
    // The entry of key, or null.
    ENTRY* find(const TERM& key);
    // The run of key, which must be present, as a range.
    ATOMRANGE at(const TERM& key) const;
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Forgets every entry and releases the storage.
    void clear();

private:
    std::vector<ENTRY> entries_;  // empty, or 8 grown by halves
    size_t count_ = 0;

    size_t home(uint32_t key) const {
        const uint64_t h = uint64_t(key) * 0x9E3779B97F4A7C15ull;
        return size_t(((h >> 32) * entries_.size()) >> 32);
    }
    size_t slotOf(uint32_t key) const;  // its entry, or the free entry that ends its run
    void grow();
};

// A map entry is valid only while the set it was built from is unchanged:
// the grounder resets incomplete predicates after each iteration and clears
// everything once the components are done.
struct PREDICATEINDEX {
    int32_t predicateCount = 0;  // predicates when created; every array has this many entries
    std::vector<uint8_t> built;  // figures may be read
    std::vector<std::vector<double>> selectivity;  // per predicate, one per argument position; 0.0 at creation
    std::unordered_set<uint64_t> distinctValues;  // (value index, position) of one build; empty between builds
    std::vector<uint32_t> countedPositions;       // scratch of one build: the positions it counts
    std::vector<RANGEMAP> edbIndex;
    std::vector<RANGEMAP> trueIndex;
    std::vector<RANGEMAP> undefinedIndex;
    std::vector<RANGEMAP> deltaTrueIndex;
    std::vector<RANGEMAP> deltaUndefinedIndex;
    std::vector<uint8_t> indexed;  // set and cleared with built; read when a matcher is made
    // Per predicate, one bit per set (SET_* in index.cpp) whose range map a
    // build has asked for but that is filled only when a matcher first reads
    // it: the set cannot change in between, so the map is the same.
    std::vector<uint8_t> pendingMaps;

    // The atoms of one set grouped by their value at one argument position,
    // each group in set order. A literal whose first argument gives no range
    // walks such a group instead of the whole set: the same atoms in the same
    // order, without the ones that cannot match. Built on first use, valid
    // and forgotten like the ranges above.
    using ARGUMENTGROUPS = std::unordered_map<TERM, std::vector<ATOMITERATOR>, TERMKEYHASH>;
    std::unordered_map<uint64_t, ARGUMENTGROUPS> argumentGroups;  // key: predicate, set, position
    std::vector<std::vector<uint64_t>> argumentGroupKeys;        // per predicate: the keys built
    // Incomplete predicates that may hold a map, a group or a mark; resets
    // visit only these.
    std::vector<int32_t> dirty;
    std::vector<uint8_t> isDirty;  // per predicate: in dirty, or complete and left it

    void markDirty(int32_t p) {
        if (!isDirty[p]) {
            isDirty[p] = 1;
            dirty.push_back(p);
        }
    }

    explicit PREDICATEINDEX(int32_t predicates);
    // The figure of predicate p at argument position i (1.0 beyond its arity).
    double figure(int32_t p, size_t i) const { return i < selectivity[p].size() ? selectivity[p][i] : 1.0; }
};

extern std::unique_ptr<PREDICATEINDEX> predicateIndex;  // alive while a GROUNDER runs

// Work counters of the grounder, for the growth tests: each should grow with
// the input, never with the input times the number of rounds. Never reset.
struct GROUNDINGWORK {
    uint64_t rounds = 0;          // semi-naive iterations of recursive components
    uint64_t indexedAtoms = 0;    // atoms visited while building range maps and argument groups
    uint64_t clearedBuckets = 0;  // hash buckets emptied after counting distinct values
};
extern GROUNDINGWORK groundingWork;

// Builds the indexes of atom's predicate and, unless indexOnly, its figures:
// counted distinct values for a complete predicate, size^(1/arity) at every
// position for an incomplete one.
void buildPredicateIndex(const ATOM& atom, bool incomplete, uint32_t size, bool indexOnly, const DELTA* delta);
// Resets every predicate with indexes that complete does not mark.
void resetIncompletePredicates(const std::vector<uint8_t>& complete);
// Forgets p's indexes over trueAtoms, undefinedAtoms and the delta.
void resetPredicateIndex(int32_t p);
// Forgets every index; the figures stay.
void clearPredicateIndex();

// ---------------------------------------------------------------------------
// Matching one literal against the known atoms.

// The enumeration state of one body literal. A matcher never rewinds; the
// join re-initialises it with start() when it reaches the literal anew, which
// reuses its storage.
struct LITERALMATCHER {
    // Bit i: argument i was an unbound variable when the matcher started.
    std::vector<uint8_t> unboundArguments;
    int32_t predicate = 0;
    int32_t predicateKind = 0;  // KIND_*
    bool hasCandidates = false;  // candidates below are meaningful
    ATOMITERATOR current;        // next candidate
    ATOMITERATOR end;            // end of the current phase's candidates
    size_t remaining = 0;        // candidates left from current on, at most (a run of a range map)
    // Instead of current and end: the candidates as a group of one argument
    // position (PREDICATEINDEX::argumentGroups), from listPosition on.
    const std::vector<ATOMITERATOR>* list = nullptr;
    size_t listPosition = 0;
    int32_t groupPosition = -1;  // first bound argument, when no range applies; -1 none
    TERM groupValue;             // its value
    int64_t firstCounter = 0;    // built-in evaluation state (64 bits: may pass #maxint)
    int64_t secondCounter = 0;
    int32_t source = SOURCE_OLD;
    int32_t phase = 0;  // 0 trueAtoms, 1 undefinedAtoms, 2 delta true, 3 delta undefined
    bool allBound = true;
    bool useIndex = false;
    const DELTA* delta = nullptr;  // the grounder's current delta, or none
    TERM key;                      // first-argument key when usable, else the null term

    void start(const ATOM& atom, const TERM* bindings, const DELTA* delta, int32_t source, bool useIndex);
};

// The next match of a positive ordinary or built-in atom: true with the
// atom's unbound variables bound; false when no match is left.
bool matchLiteral(const ATOM& atom, LITERALMATCHER& matcher, TERM* bindings);
// Whether the instance of atom under bindings is in one of the sets of source.
bool containsInstance(const ATOM& atom, int32_t source, const TERM* bindings, const DELTA* delta);
// Whether the instance of atom is certainly true: in edbFacts (EDB), else in
// trueAtoms or the delta's true part.
bool isKnownTrue(const ATOM& atom, const TERM* bindings, const DELTA* delta);
// Undoes the bindings made while matching literal (for an aggregate literal:
// its assigned variable, and resets its function).
void unbindLiteral(const LITERAL& literal, const LITERALMATCHER& matcher, TERM* bindings);

// The instance of pattern under bindings in a shared scratch atom that is
// reused without allocation; valid until the next call. pattern must not be
// an aggregate atom.
const ATOM& scratchInstance(const ATOM& pattern, const TERM* bindings);

// ---------------------------------------------------------------------------
// Built-in predicates.

// The integer term of value: looked up first, so that a known integer costs
// no allocation (inserting builds a table node before it looks).
inline TERM knownIntegerTerm(int32_t value) {
    const int32_t index = numberTable.find(value);
    return index >= 0 ? TERM(TERM_INTEGER, index) : integerTerm(value);
}

// The next solution of a built-in atom under bindings; binds the unbound
// arguments of "#int", "#succ", "+" and "*". State lives in the matcher.
bool evaluateBuiltin(TERM* bindings, const ATOM& atom, LITERALMATCHER& matcher);

// ---------------------------------------------------------------------------
// The plan of one body for one instantiation pass.

// The values of BODYPLAN::state: a plain body, a body with an aggregate
// literal, an error found while planning (reported on standard error).
enum : int32_t { PLAN_PLAIN = 0, PLAN_HAS_AGGREGATE = 1, PLAN_ERROR = 2 };

class BODYPLAN {
public:
    const CONJUNCTION& body;
    std::vector<int32_t> order;       // body indices in evaluation order
    bool isExit;                      // exit pass: every literal reads old atoms
    std::vector<uint8_t> recursive;   // per body index: positive over an incomplete predicate
    std::vector<int32_t> source;      // per body index: SOURCE_*
    std::vector<int32_t> position;    // per body index: place in order
    int32_t deltaLiteral = -1;        // body index reading the delta only; -1 none
    int32_t lastRecursiveLiteral = -1;
    int32_t positiveCount = 0;
    int32_t literalCount = 0;
    int32_t highestVariable = 0;      // highest variable number of the body, 0 when none
    int32_t variableCount = 0;        // statementVariableCount of the body: per-variable arrays have this many
    int32_t variableWords = 1;        // words per variable bit set (variableWords(variableCount))
    int32_t cursor = 0;               // the join's position in order
    uint32_t deltaSize = 0;           // literalSize of the delta literal when placed
    int32_t trailingCount = 0;        // positive single-use literals kept at the end
    const std::vector<int32_t>& atomCount;
    const std::vector<int32_t>* deltaCounts;  // none for constraints
    const std::vector<uint8_t>& complete;
    const std::vector<uint8_t>& noUndefinedAtoms;
    bool empty = false;      // some positive literal has no candidate in this pass
    bool exhausted = false;  // no pass of this iteration can yield an instance
    int32_t state = PLAN_PLAIN;  // PLAN_*
    const DELTA* delta;
    // Per body index, variableWords words: bit v = variable v.
    std::vector<uint64_t> aggregateVariables;

    BODYPLAN(const CONJUNCTION& body, const std::vector<int32_t>& atomCount, const std::vector<int32_t>* deltaCounts,
             const std::vector<uint8_t>& complete, const std::vector<uint8_t>& noUndefinedAtoms, bool isExit,
             int32_t iteration, const DELTA* delta);

    const LITERAL& literal(int32_t bodyIndex) const { return body.literals[bodyIndex]; }
    const LITERAL& at(int32_t pos) const { return body.literals[order[pos]]; }
    uint32_t literalSize(int32_t bodyIndex) const;
    void nextDeltaLiteral();
    void compensateBuiltins(int32_t mode);
    void collectAggregateVariables();

    // Cost-based ordering (bodyorder.cpp).
    void orderBody();
    int32_t literalClass(int32_t bodyIndex, const bool* bound) const;
    bool isAggregateReady(int32_t bodyIndex, const bool* bound) const;
    bool isAssignmentReady(int32_t bodyIndex, const bool* bound) const;
    bool isAggregateVariable(int32_t bodyIndex, int32_t variable) const {
        return variable < variableCount &&
               hasVariableBit(&aggregateVariables[size_t(bodyIndex) * variableWords], variable);
    }
    void printOrderedBody(std::ostream& out) const;

private:
    void moveTo(int32_t from, int32_t to);  // moves order[from] to to, shifting the others
    bool isSingleUse(const LITERAL& l, const int32_t* occurrences) const;
    void swapPositions(int32_t a, int32_t b);
    double sel(const LITERAL& l, size_t i) const;
    void initArgumentSelectivity(double* maxSelectivity, uint32_t* occurrences) const;
    bool compareLiteralCost(int32_t a, int32_t b, int32_t classA, int32_t classB, const bool* bound,
                            const double* currentSelectivity, const double* maxSelectivity,
                            const uint32_t* occurrences) const;
    double literalCost(const LITERAL& l, uint32_t size, const bool* bound, const double* currentSelectivity,
                       const double* maxSelectivity, const uint32_t* occurrences) const;
    void updateSelectivity(const LITERAL& l, double* currentSelectivity, const double* maxSelectivity) const;
};

// ---------------------------------------------------------------------------
// The grounder.

// A set of ground atoms with a number each, kept as flat copies of their
// contents: an open-addressing table (linear probing, at most three quarters
// full) of hash codes and offsets into an arena of numbers, predicates,
// arities and packed arguments. A look-up touches a slot and one run of the
// arena, not an atom's scattered storage. Integers are interned, so equal
// atoms have equal kinds and indices in every argument. The arena grows by
// whole chunks that never move: no copy of it, and no half-empty doubled
// array, at any moment.
class ATOMCONTENTTABLE {
public:
    // The number stored with an atom equal to atom, or null.
    int32_t* find(const ATOM& atom);
    // Adds atom, which must be absent.
    void insert(const ATOM& atom, int32_t number);
    // Removes the atom equal to atom, when present (its arena run stays).
    void erase(const ATOM& atom);
    void clear();

private:
    // 8 bytes, so that a probe touches as little memory as possible; the
    // number lives with the atom's contents, which a hit reads anyway.
    struct SLOT {
        uint32_t hash;    // hashOf: the home slot and a quick filter
        uint32_t offset;  // chunk number times CHUNKWORDS plus word in the chunk, plus 1; 0: free
    };
    static_assert(sizeof(SLOT) == 8, "SLOT is two 32-bit words");
    // Words per chunk; an atom longer than a chunk gets a chunk of its own.
    static constexpr uint32_t CHUNKBITS = 16;
    static constexpr uint32_t CHUNKWORDS = uint32_t(1) << CHUNKBITS;
    std::vector<SLOT> slots_;  // empty, or 1024 grown by quarters
    // Per atom: its number, predicate, arity, then per argument one word of
    // kind and index; an atom never spans two chunks.
    std::vector<std::unique_ptr<uint32_t[]>> chunks_;
    uint32_t chunkUsed_ = CHUNKWORDS;  // words used in the last chunk
    size_t count_ = 0;

    uint32_t* run(uint32_t offset) const {
        return chunks_[(offset - 1) >> CHUNKBITS].get() + ((offset - 1) & (CHUNKWORDS - 1));
    }
    static uint32_t hashOf(const ATOM& atom);
    // The first slot to probe: the hash scaled to the table size.
    size_t home(uint32_t hash) const { return size_t((uint64_t(hash) * slots_.size()) >> 32); }
    size_t next(size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
    bool holds(const SLOT& slot, const ATOM& atom) const;
    size_t slotOf(const ATOM& atom, uint32_t hash) const;  // its slot, or the free slot that ends its run
    void grow();
};

enum : int32_t { ITEM_RULE = 0, ITEM_CONSTRAINT = 1, ITEM_WEAKCONSTRAINT = 2 };

// The values of GROUNDER::state: grounding goes on, a constraint is always
// violated (the program has no answer set), an error ends the run.
enum : int32_t { GROUNDER_RUNNING = 0, GROUNDER_CONSTRAINT_VIOLATED = 1, GROUNDER_ERROR = 2 };

class GROUNDER {
public:
    // Current value per variable; null term: unbound. At least one entry per
    // variable of the statement being ground (prepareBindings); all null
    // between statements.
    std::vector<TERM> bindings;
    std::vector<uint8_t> noUndefinedAtoms;  // per predicate: nothing of it is undefined yet
    std::vector<uint8_t> complete;          // per predicate: every atom is known
    std::vector<int32_t> atomCount;         // per predicate: atoms known (an estimate)
    std::unique_ptr<DELTA> delta;           // atoms of the previous iteration
    std::unique_ptr<DELTA> newDelta;        // atoms of the current iteration
    std::vector<int32_t> deltaCounts;       // per predicate: atoms in delta
    std::vector<int32_t> newDeltaCounts;    // per predicate: atoms in newDelta
    const DG& depgraph;
    bool printInstantiation;  // "-instantiate"
    int32_t state = GROUNDER_RUNNING;  // GROUNDER_*

    GROUNDER(const DG& depgraph, bool printInstantiation);
    GROUNDER(const GROUNDER&) = delete;
    GROUNDER& operator=(const GROUNDER&) = delete;
    ~GROUNDER();

    // Grounds everything. False when grounding stopped; exitStatus is then 0
    // (a constraint is always violated) or 1 (an error was printed).
    bool groundProgram(int32_t& exitStatus);
    void cleanup();

    // Driver steps (seminaive.cpp).
    void instantiateRule(const RULE& rule, bool isExit, bool& changed, int32_t iteration);
    void instantiateConstraint(const CONSTRAINT& constraint, int32_t iteration);
    void instantiateWeakConstraint(const WEAKCONSTRAINT& weakConstraint, int32_t iteration);
    void mergeDelta(DELTA& delta, std::vector<int32_t>& deltaCounts);
    bool canSkipConstraint(const CONSTRAINT& constraint) const;
    bool reportGroundingError(const RULE* rule, const CONSTRAINT* constraint, const WEAKCONSTRAINT* weak,
                              int32_t& exitStatus);
    void postprocessGroundProgram();

    // The join (join.cpp). item is a RULE, CONSTRAINT or WEAKCONSTRAINT by itemKind.
    // headVariables: plan.variableWords words of head variables, or null.
    void joinBody(BODYPLAN& plan, int32_t itemKind, bool isExit, const void* item, bool& changed,
                  const uint64_t* headVariables);
    // Grows bindings to count entries (null ones).
    void prepareBindings(int32_t count) {
        if (bindings.size() < size_t(count)) bindings.resize(count);
    }

    // The store (store.cpp).
    bool isHeadKnownTrue(const RULE& rule);
    void simplifyGroundBody(GROUNDCONJUNCTION& groundBody, const CONJUNCTION& body, const DELTA* delta);
    void addGroundRule(const RULE& rule, bool& changed);
    void addGroundConstraint(const CONSTRAINT& constraint);
    void addGroundWeakConstraint(const WEAKCONSTRAINT& weakConstraint);

    // Whether atom is in trueAtoms, the delta's or the new delta's true part;
    // with oldOnly, in trueAtoms or the delta's true part.
    bool isTrueAtom(const ATOM& atom, bool oldOnly);
    // Adds an atom to the new delta's true part.
    void addNewTrueAtom(const ATOM& atom);

    // Aggregates (aggregates.cpp).
    bool checkAggregateRecursion(const RULE& rule, int32_t component) const;
    void instantiateAggregateAtom(const LITERAL& literal, TERM* bindings);
    bool checkAggregateAssignment(const LITERAL& literal, TERM* bindings);

private:
    struct JOIN;  // one joinBody call, its state and steps (join.cpp)
    std::vector<LITERALMATCHER> matchers_;  // the join's stack, by position, reused from item to item
    std::vector<uint8_t> relevantBinderScratch_;
    std::vector<uint64_t> headVariables_;    // instantiateRule's head-variable set
    GROUNDCONJUNCTION groundBody_;          // the store's scratch body
    std::vector<ATOMID> groundHead_;        // the store's scratch head
    LITERALMATCHER aggregateMatcher_;       // element enumeration of an aggregate
    // Every atom of trueAtoms and of the true parts of delta and newDelta,
    // with the iteration generation in which it became true: an atom of
    // generation g is in newDelta while generation_ is g, in the delta or
    // trueAtoms afterwards. One hash look-up replaces three ordered ones.
    ATOMCONTENTTABLE knownTrue_;
    int32_t generation_ = 0;  // grows with every swap of delta and newDelta

    void clearDelta(DELTA& d);
};

// The set predicate of an aggregate: the predicate of the first literal of
// its body (of that literal's own first literal when it is an aggregate).
int32_t aggregateSetPredicate(const ATOM& aggregateAtom);

// Three-way order of two argument lists (an absent list is empty).
int compareArgumentLists(const ATOM& a, const ATOM& b);

// The distinct levels of the stored ground weak constraints (both lists),
// ascending.
std::vector<int32_t> weakConstraintLevels();

// ---------------------------------------------------------------------------
// The propositional grounder for variable-free input.

// Grounds the three input lists into the four output lists. False when a
// constraint is violated whatever the model; under instantiate it then prints
// its explanation and empties the ground rules and constraints.
bool groundPropositional(const std::vector<RULE>& rules, const std::vector<CONSTRAINT>& constraints,
                         const std::vector<WEAKCONSTRAINT>& weakConstraints, const ATOMSET& edbFacts,
                         std::vector<GROUNDRULE>& groundRules, std::vector<GROUNDCONSTRAINT>& groundConstraints,
                         std::vector<GROUNDWEAKCONSTRAINT>& groundWeakConstraints,
                         std::vector<GROUNDWEAKCONSTRAINT>& violatedWeakConstraints, bool instantiate);
// One body into a ground body; false when an EDB literal of it is false.
bool groundPropositionalBody(const CONJUNCTION& body, const ATOMSET& edbFacts, GROUNDCONJUNCTION& groundBody);

}  // namespace veltra
