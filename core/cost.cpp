// core/cost.cpp: cost vectors over the levels that occur.
#include "core/cost.h"

#include <algorithm>
#include <iomanip>

namespace veltra {

std::vector<int32_t> costLevels;

int32_t costSlot(int32_t level) {
    auto it = std::lower_bound(costLevels.begin(), costLevels.end(), level);
    if (it == costLevels.end() || *it != level) return -1;
    return static_cast<int32_t>(it - costLevels.begin());
}

int compareCosts(const COSTVECTOR& a, const COSTVECTOR& b) {
    for (size_t i = a.size(); i-- > 0;)
        if (a.values[i] != b.values[i]) return a.values[i] < b.values[i] ? -1 : 1;
    return 0;
}

bool withinCostBound(const COSTVECTOR& cost, const COSTVECTOR& bound) {
    for (size_t i = cost.size(); i-- > 0;) {
        if (bound.isUnbounded(i)) return true;
        if (cost.values[i] != bound.values[i]) return cost.values[i] < bound.values[i];
    }
    return true;
}

static void printWeight(std::ostream& out, uint64_t w) {
    out << w / 1000;
    if (w % 1000) out << '.' << std::setw(3) << std::setfill('0') << w % 1000 << std::setfill(' ');
}

std::ostream& printCostLine(std::ostream& out, const COSTVECTOR& cost, int32_t maxLevel) {
    if (maxLevel <= 0) return out << "<0>";
    out << '<';
    for (int32_t level = 1; level <= maxLevel; ++level) {
        int32_t slot = costSlot(level);
        if (level > 1) out << ',';
        out << '[';
        printWeight(out, slot >= 0 && size_t(slot) < cost.size() ? cost.values[slot] : 0);
        out << ':' << level << ']';
    }
    return out << '>';
}

}  // namespace veltra
