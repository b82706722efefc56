// Cost vectors over the levels that occur, their order, bounds and printing.
#include <gtest/gtest.h>

#include <sstream>

#include "core/cost.h"

using namespace veltra;

namespace {

std::string line(const COSTVECTOR& c, int32_t maxLevel) {
    std::ostringstream out;
    printCostLine(out, c, maxLevel);
    return out.str();
}

TEST(Cost, PrintedOverEveryLevelWithFractions) {
    costLevels = {1, 2};
    COSTVECTOR c(2);
    c.values = {2000, 0};
    EXPECT_EQ(line(c, 2), "<[2:1],[0:2]>");
    c.values = {1500, 1005};
    EXPECT_EQ(line(c, 2), "<[1.500:1],[1.005:2]>");
    EXPECT_EQ(line(COSTVECTOR(), 0), "<0>");
    costLevels = {3};
    COSTVECTOR sparse(1);
    sparse.values = {7000};
    EXPECT_EQ(line(sparse, 3), "<[0:1],[0:2],[7:3]>");
}

TEST(Cost, LargeLevelsCostOneSlot) {
    costLevels = {999999999};
    EXPECT_EQ(costSlot(999999999), 0);
    EXPECT_EQ(costSlot(5), -1);
}

TEST(Cost, ComparedFromTheHighestLevelDown) {
    COSTVECTOR a(2), b(2);
    a.values = {100, 1};
    b.values = {0, 2};
    EXPECT_LT(compareCosts(a, b), 0);
    b.values = {100, 1};
    EXPECT_EQ(compareCosts(a, b), 0);
    a.values = {UINT64_C(5000000000), 1};  // beyond 32 bits, no wrap
    EXPECT_GT(compareCosts(a, b), 0);
}

TEST(Cost, BoundsWithUnboundedLevels) {
    COSTVECTOR cost(2), bound(2);
    cost.values = {UINT64_C(5000000000), 3};
    bound.values = {0, 3};
    bound.unbounded = {1, 0};
    EXPECT_TRUE(withinCostBound(cost, bound));  // level 1 has no bound
    bound.values = {0, 2};
    EXPECT_FALSE(withinCostBound(cost, bound));
    bound.values = {0, 4};
    EXPECT_TRUE(withinCostBound(cost, bound));
    bound.unbounded = {0, 1};
    bound.values = {0, 0};
    EXPECT_TRUE(withinCostBound(cost, bound));
}

}  // namespace
