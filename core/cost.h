// core/cost.h: costs of weak constraints per level.
#pragma once
#include <cstdint>
#include <ostream>
#include <vector>

namespace veltra {

// Costs are kept over the levels that matter only (the levels of ground weak
// constraints and the bounded levels), so that a level of 999999999 costs one
// entry, not a billion. costLevels holds them ascending; slot i of every
// COSTVECTOR is level costLevels[i].
extern std::vector<int32_t> costLevels;

// Slot of level, or -1 when the level carries no cost.
int32_t costSlot(int32_t level);

// One unsigned 64-bit cost per slot (weights times 1000), summed without
// wrapping. As a bound, a slot may be unbounded.
struct COSTVECTOR {
    std::vector<uint64_t> values;
    std::vector<uint8_t> unbounded;  // bound vectors only; empty: all bounded

    explicit COSTVECTOR(size_t slots = 0) : values(slots, 0) {}
    size_t size() const { return values.size(); }
    bool isUnbounded(size_t slot) const { return slot < unbounded.size() && unbounded[slot]; }
};

// Three-way comparison from the highest level down (equal sizes).
int compareCosts(const COSTVECTOR& a, const COSTVECTOR& b);

// Whether cost stays within bound, compared from the highest level down: at the
// first level where they differ a smaller cost passes and a larger fails; an
// unbounded level passes whatever lies below it.
bool withinCostBound(const COSTVECTOR& cost, const COSTVECTOR& bound);

// "<0>" without levels; otherwise "<[w:1],[w:2],...>" over the levels 1 to
// maxLevel, a weight w printed as w/1000 and, when not whole, "." and three digits.
std::ostream& printCostLine(std::ostream& out, const COSTVECTOR& cost, int32_t maxLevel);

}  // namespace veltra
