// core/predicatetable.h: the dense numbering of predicates with kind, arity
// and whether the name is internal (hidden from printed models).
#pragma once
#include <utility>
#include <vector>

#include "core/term.h"

namespace veltra {

enum : int32_t {
    KIND_UNKNOWN = 0,    // used in a body or query only, so far
    KIND_EDB = 1,        // defined by facts
    KIND_IDB = 2,        // defined by rules
    KIND_BUILTIN = 3,    // "==" .. "*", indices 0..9
    KIND_AGGREGATE = 4,  // "#count" .. "#times"
    KIND_LOOKUP = 5      // the caller only wants the index; never a clash
};

// Built-in predicate indices: registerBuiltins adds them first, in this order.
enum : int32_t {
    BUILTIN_EQ, BUILTIN_NE, BUILTIN_LT, BUILTIN_GT, BUILTIN_LE, BUILTIN_GE,
    BUILTIN_INT, BUILTIN_SUCC, BUILTIN_PLUS, BUILTIN_TIMES, BUILTIN_COUNT
};

struct PREDICATETABLE : INDEXTABLE<NAME, NAMEHASH> {
    std::vector<int32_t> kinds;    // KIND_*
    std::vector<int32_t> arities;  // as first registered
    std::vector<bool> internal;    // decided once, when added

    const NAME& name(int32_t p) const { return byIndex[p]->first; }
    bool isAggregate(int32_t p) const { return kinds[p] == KIND_AGGREGATE; }
    bool isBuiltin(int32_t p) const { return kinds[p] == KIND_BUILTIN; }
};

extern PREDICATETABLE predicateTable;

// Whether a predicate of this name (added with a kind other than built-in) is
// internal: quoted names starting with "_", "aux#...", "#...", "__...".
bool isInternalName(const char* name);

// Insert-or-look-up with a check of arity and kind; the caller decides what a
// false ok means. The first non-zero kind given to a predicate sticks.
std::pair<int32_t, bool> addPredicate(PREDICATETABLE& table, const NAME& name, int32_t arity, int32_t kind);

// Renames predicate p in the name map: the new name maps to p and byIndex[p]
// now shows it; the old name stays in the map. False when newName is taken.
bool renamePredicate(PREDICATETABLE& table, int32_t p, const NAME& newName);

// Registers the ten built-in predicates in predicateTable (indices 0..9,
// arities from OPTIONS.builtinArities) and, when there is none yet, object 0,
// the default object. Every run starts with it.
void registerBuiltins();

}  // namespace veltra
