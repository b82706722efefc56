// Argument blocks and the block pools behind atoms and atom sets: copies are
// independent, a resized scratch atom keeps its storage while it fits, and
// pooled blocks of every size class are distinct and keep what is written.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "core/blockpool.h"
#include "core/groundprogram.h"
#include "core/predicatetable.h"

using namespace veltra;

namespace {

TEST(TermList, CopiesAreDeepAndResizingKeepsStorageWhileItFits) {
    const int32_t p = addPredicate(predicateTable, NAME("termlist_p"), 3, KIND_IDB).first;
    ATOM a(p, std::vector<TERM>{integerTerm(1), symbolTerm("termlist_a"), integerTerm(3)});
    ATOM b(a);
    b.term(1) = integerTerm(2);
    EXPECT_EQ(a.term(1), symbolTerm("termlist_a"));
    EXPECT_EQ(a.arity(), 3u);
    EXPECT_EQ(a.terms()->toVector(), (std::vector<TERM>{integerTerm(1), symbolTerm("termlist_a"), integerTerm(3)}));

    ATOM scratch(p, std::vector<TERM>{});
    TERM* wide = scratch.resizeTerms(5);
    for (int32_t i = 0; i < 5; ++i) wide[i] = integerTerm(i);
    TERM* narrow = scratch.resizeTerms(2);
    EXPECT_EQ(narrow, wide);  // no new block
    EXPECT_EQ(scratch.arity(), 2u);
    EXPECT_EQ(scratch.term(1), integerTerm(1));
    TERM* again = scratch.resizeTerms(5);
    EXPECT_EQ(again, wide);
    EXPECT_EQ(scratch.term(4), integerTerm(4));

    ATOM none;
    EXPECT_TRUE(none.arguments().empty());
    EXPECT_EQ(none.arguments().begin(), none.arguments().end());
}

TEST(BlockPool, BlocksOfEverySizeAreDistinctAndKeepTheirContents) {
    for (size_t bytes : {size_t(1), size_t(8), size_t(24), size_t(48), size_t(128), size_t(129), size_t(4096)}) {
        std::vector<unsigned char*> blocks;
        for (int k = 0; k < 3000; ++k) {
            auto* block = static_cast<unsigned char*>(allocateBlock(bytes));
            std::memset(block, k & 0xFF, bytes);
            blocks.push_back(block);
        }
        for (int k = 0; k < 3000; ++k) {
            for (size_t i = 0; i < bytes; ++i) ASSERT_EQ(blocks[k][i], k & 0xFF) << bytes << " " << k;
        }
        std::set<unsigned char*> distinct(blocks.begin(), blocks.end());
        EXPECT_EQ(distinct.size(), blocks.size()) << bytes;
        for (unsigned char* block : blocks) releaseBlock(block, bytes);
    }
    // Atom sets allocate their nodes there: a set survives being emptied and
    // refilled, in order.
    const int32_t p = addPredicate(predicateTable, NAME("blockpool_p"), 1, KIND_IDB).first;
    ATOMORDEREDSET set;
    for (int round = 0; round < 3; ++round) {
        for (int32_t i = 999; i >= 0; --i) set.insert(ATOM(p, std::vector<TERM>{integerTerm(i)}));
        int32_t expected = 0;
        for (const ATOM& a : set) EXPECT_EQ(a.term(0), integerTerm(expected++));
        EXPECT_EQ(expected, 1000);
        set.clear();
    }
}

TEST(BlockPool, LargeBlocksAreAlignedAndKeepTheirContentsAcrossGrowth) {
    // Below LARGEBLOCK a cache line's alignment, from it on LARGEBLOCK's
    // (for whole huge pages); a vector on them keeps its elements as it grows
    // across the threshold.
    for (size_t bytes : {size_t(1), size_t(64), LARGEBLOCK - 1, LARGEBLOCK, LARGEBLOCK + 1, 3 * LARGEBLOCK}) {
        auto* block = static_cast<unsigned char*>(allocateLarge(bytes));
        const uintptr_t alignment = bytes < LARGEBLOCK ? 64 : LARGEBLOCK;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u) << bytes;
        std::memset(block, 0xA5, bytes);
        EXPECT_EQ(block[bytes - 1], 0xA5) << bytes;
        releaseLarge(block, bytes);
    }
    std::vector<uint64_t, LARGEALLOCATOR<uint64_t>> v;
    const uint64_t n = 3 * LARGEBLOCK / sizeof(uint64_t);
    for (uint64_t i = 0; i < n; ++i) v.push_back(i * 7);
    for (uint64_t i = 0; i < n; ++i) ASSERT_EQ(v[i], i * 7) << i;
}

}  // namespace
