// core/interpretation.h: an interpretation of the ground atoms, its truth
// values and the logs through which a search level is undone.
#pragma once
#include <cstdint>
#include <vector>

#include "core/cost.h"

namespace veltra {

// Truth values per ground atom: 0 undefined, 1 false, 2 must-be-true (derived
// true, no support known yet), 4 true after must-be-true (supported), 8 true
// set directly (choice, assumption or rule-level derivation). Above 3 is true.
enum : int32_t { TV_UNDEFINED = 0, TV_FALSE = 1, TV_MUSTBETRUE = 2, TV_TRUE = 4, TV_ASSUMED = 8 };
inline bool isTrueValue(int32_t v) { return v > 3; }
// True for aggregates and constraints: must-be-true counts as true.
inline bool isTrueOrMustBeTrue(int32_t v) { return v >= TV_MUSTBETRUE; }


struct ATOMLOGENTRY {
    int32_t atom;      // -1: level marker
    int32_t oldValue;
};
struct COSTLOGENTRY {
    int32_t slot;      // cost slot (see cost.h); -1: level marker
    uint64_t oldCost;
};
static_assert(sizeof(ATOMLOGENTRY) == 8, "ATOMLOGENTRY is two 32-bit words");
static_assert(sizeof(COSTLOGENTRY) == 16, "COSTLOGENTRY is two 64-bit words");

struct INTERPRETATION {
    std::vector<int32_t> values;  // one per ground atom
    int32_t mustBeTrueCount = 0;  // atoms whose value is 2
    // While set, every assignment and cost change is logged, so that a level
    // can be undone. Markers are pushed whether or not it is set.
    bool recording = false;
    std::vector<ATOMLOGENTRY> atomLog;
    std::vector<COSTLOGENTRY> costLog;
    COSTVECTOR cost;  // weak constraints violated so far, per cost slot

    void pushMarkers();
    // Restores every value and cost logged since the last markers and pops them.
    void undoToMarkers();
};

}  // namespace veltra
