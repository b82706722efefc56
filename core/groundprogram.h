// core/groundprogram.h: the ground atoms with their dense indices, atom sets,
// and the records of the ground program.
#pragma once
#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/aggregate.h"
#include "core/atom.h"
#include "core/blockpool.h"

namespace veltra {

using ATOMID = int32_t;  // dense index of a ground atom, from 0

// An atom set of the model checker and the search: one byte per ground atom,
// indexed by atom, 1 for a member.
using ATOMFLAGS = std::vector<uint8_t>;

struct ATOMHASH {
    size_t operator()(const ATOM& a) const;
};
struct ATOMEQUAL {
    bool operator()(const ATOM& a, const ATOM& b) const { return compareAtoms(a, b) == 0; }
};

extern std::unordered_map<ATOM, ATOMID, ATOMHASH, ATOMEQUAL> atomTable;
// Entry i is the atom with index i. Pointers into atomTable survive
// rehashing (the map is node-based); iterators do not.
extern std::vector<const std::pair<const ATOM, ATOMID>*> atomsByIndex;
extern bool atomTableFrozen;  // set after grounding; no new atom after it
extern int32_t groundAtomCount;
extern int32_t atomCount;

// The index of a ground atom, adding it when new; a new atom after the table
// was frozen is the internal error "freeze violation".
ATOMID internAtom(const ATOM& atom);
inline const ATOM& groundAtom(ATOMID id) { return atomsByIndex[id]->first; }

// One predicate's atoms in compareAtoms order. Its nodes come from the block
// pools: the grounder holds millions of them.
using ATOMORDEREDSET = std::set<ATOM, ATOMLESS, POOLALLOCATOR<ATOM>>;

// Per predicate an ordered set of atoms; missing entries are empty.
struct ATOMSET {
    std::vector<ATOMORDEREDSET> byPredicate;

    const ATOMORDEREDSET& atomsOfPredicate(int32_t predicate) const;
    bool contains(const ATOM& atom) const;
    // Inserts a copy; false when an equal atom was already there.
    bool add(const ATOM& atom);
    size_t size() const;
    // Calls f on every atom, predicates by index, each in set order.
    template <class F> void forEach(F f) const {
        for (const auto& s : byPredicate)
            for (const ATOM& a : s) f(a);
    }
};

extern ATOMSET trueAtoms;       // known true after grounding
extern ATOMSET undefinedAtoms;  // left undecided by grounding
extern ATOMSET edbFacts;        // the input facts

struct GROUNDLITERAL {
    ATOMID atom;
    uint8_t negated;
    bool operator==(const GROUNDLITERAL& o) const { return atom == o.atom && negated == o.negated; }
};
static_assert(sizeof(GROUNDLITERAL) == 8, "GROUNDLITERAL is an atom and a sign in two words");

// Positive literals come first; firstNegative is the position of the first
// negative literal, literals.size() when there is none.
struct GROUNDCONJUNCTION {
    std::vector<GROUNDLITERAL> literals;
    size_t firstNegative = 0;

    void addLiteral(const GROUNDLITERAL& literal);
    void addLiteralIfAbsent(const GROUNDLITERAL& literal);
    void recomputeFirstNegative();
    size_t size() const { return literals.size(); }
};

struct GROUNDRULE {
    std::unique_ptr<std::vector<ATOMID>> head;  // the disjunction
    std::unique_ptr<GROUNDCONJUNCTION> body;    // null: no body
    int32_t word = 0;                           // free for the model generator
    uint8_t flag1 = 0;                          // model generator's
    uint8_t notHeadCycle = 1;                   // cleared for rules in cyclic disjunctive components
    // Model-generator counters. 32 bits, so that rules with more than 65535
    // literals of one kind cannot wrap a counter.
    uint32_t counters[7] = {0, 0, 0, 0, 0, 0, 0};

    GROUNDRULE() = default;
    GROUNDRULE(const std::vector<ATOMID>* head, const GROUNDCONJUNCTION* body);
    GROUNDRULE(const GROUNDRULE& other);             // deep; flags restart at 0, 1
    GROUNDRULE& operator=(const GROUNDRULE& other);  // deep; flags copied
    GROUNDRULE(GROUNDRULE&&) noexcept = default;
    GROUNDRULE& operator=(GROUNDRULE&&) noexcept = default;
};
// The records the generator's propagation walks: two pointers, the flags and
// seven counters; a conjunction and three counters.
static_assert(sizeof(void*) != 8 || sizeof(GROUNDRULE) == 56, "GROUNDRULE stays seven words");

struct GROUNDCONSTRAINT {
    GROUNDCONJUNCTION body;
    uint32_t counters[3] = {0, 0, 0};  // model generator's
};

struct GROUNDWEAKCONSTRAINT : GROUNDCONSTRAINT {
    TERM weight;  // integer, times 1000
    TERM level;   // integer, at least 1
};
static_assert(sizeof(void*) != 8 || sizeof(GROUNDCONSTRAINT) == 48, "GROUNDCONSTRAINT stays six words");
static_assert(sizeof(void*) != 8 || sizeof(GROUNDWEAKCONSTRAINT) == 64, "GROUNDWEAKCONSTRAINT stays eight words");

extern std::vector<GROUNDRULE> groundRules;
extern std::vector<GROUNDCONSTRAINT> groundConstraints;
extern std::vector<GROUNDWEAKCONSTRAINT> groundWeakConstraints;
extern std::vector<GROUNDWEAKCONSTRAINT> violatedWeakConstraints;
extern int32_t maxWeakConstraintLevel;  // highest level of any ground weak constraint

// Interned ground sets and ground aggregate functions.
struct GROUNDSETHASH {
    size_t operator()(const GROUNDSET& s) const;
};
extern std::unordered_map<GROUNDSET, int32_t, GROUNDSETHASH> groundSetTable;
extern std::vector<const std::pair<const GROUNDSET, int32_t>*> groundSetsByIndex;
extern std::vector<std::unique_ptr<AGGREGATEFUNCTION>> aggregatesByIndex;
extern int32_t aggregateCount;

// Interns the aggregate literal of a ground body: the atom is instantiated and
// interned, its ground set and function moved into the tables, and the
// literal added to body.
void internAggregateLiteral(const LITERAL& literal, const TERM* bindings, GROUNDCONJUNCTION& body);

// Writes a ground atom: its index under "-satlike" (aggregates excepted).
std::ostream& printGroundAtom(std::ostream& out, ATOMID atom);
std::ostream& printGroundLiterals(std::ostream& out, const GROUNDLITERAL* first, const GROUNDLITERAL* last,
                                  const char* separator);
std::ostream& printGroundWeakConstraints(std::ostream& out, const std::vector<GROUNDWEAKCONSTRAINT>& list,
                                         const char* separator);
// A ground rule as "h1 v h2 :- b, not c."
std::ostream& printGroundRule(std::ostream& out, const GROUNDRULE& rule);

}  // namespace veltra
