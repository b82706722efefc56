// The table of known atoms by content: finding, erasing inside probe runs,
// growing, and independence from the atoms it was given.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "grounding/grounder.h"

using namespace veltra;

namespace {

TEST(AtomContentTable, FindEraseGrow) {
    const int32_t p = addPredicate(predicateTable, NAME("pointertable_p"), 2, KIND_IDB).first;
    std::deque<ATOM> atoms;  // stable addresses
    for (int32_t i = 0; i < 3000; ++i) atoms.emplace_back(p, std::vector<TERM>{integerTerm(i % 61), integerTerm(i)});
    ATOMCONTENTTABLE table;
    for (int32_t i = 0; i < 3000; ++i) table.insert(atoms[i], i);
    for (int32_t i = 0; i < 3000; i += 2) table.erase(ATOM(atoms[i]));  // by content, not by address
    for (int32_t i = 0; i < 3000; ++i) {
        int32_t* number = table.find(ATOM(atoms[i]));
        if (i % 2 == 0) {
            EXPECT_EQ(number, nullptr) << i;
        } else {
            ASSERT_NE(number, nullptr) << i;
            EXPECT_EQ(*number, i);
        }
    }
    ATOM copy(atoms[1]);
    atoms[1] = ATOM(p, std::vector<TERM>{integerTerm(0), integerTerm(0)});  // the given atom changes
    ASSERT_NE(table.find(copy), nullptr);
    EXPECT_EQ(*table.find(copy), 1);
    table.erase(copy);
    EXPECT_EQ(table.find(copy), nullptr);
    table.clear();
    EXPECT_EQ(table.find(atoms[3]), nullptr);
}

}  // namespace

namespace {

// Enough atoms to fill several arena chunks, with atoms longer than a chunk
// among them and atoms without arguments: every one is found by content, with
// its number, and nothing else is.
TEST(AtomContentTable, ManyChunksAndLongAtoms) {
    const int32_t p = addPredicate(predicateTable, NAME("contenttable_pair"), 2, KIND_IDB).first;
    const int32_t q = addPredicate(predicateTable, NAME("contenttable_long"), 70000, KIND_IDB).first;
    const int32_t r = addPredicate(predicateTable, NAME("contenttable_flag"), 0, KIND_IDB).first;
    std::vector<ATOM> atoms;
    for (int32_t i = 0; i < 60000; ++i) {
        atoms.emplace_back(p, std::vector<TERM>{integerTerm(i % 7), integerTerm(i)});
        if (i % 20000 == 1) {
            std::vector<TERM> args(70000, symbolTerm("contenttable_a"));
            args[i % 70000] = integerTerm(i);
            atoms.emplace_back(q, args);
        }
    }
    atoms.emplace_back(r, std::vector<TERM>{});
    ATOMCONTENTTABLE table;
    for (size_t i = 0; i < atoms.size(); ++i) table.insert(atoms[i], int32_t(i));
    for (size_t i = 0; i < atoms.size(); ++i) {
        const int32_t* number = table.find(atoms[i]);
        ASSERT_NE(number, nullptr) << i;
        EXPECT_EQ(*number, int32_t(i));
    }
    EXPECT_EQ(table.find(ATOM(p, std::vector<TERM>{integerTerm(1), integerTerm(0)})), nullptr);
    EXPECT_EQ(table.find(ATOM(p, std::vector<TERM>{symbolTerm("contenttable_a"), integerTerm(1)})), nullptr);
    std::vector<TERM> other(70000, symbolTerm("contenttable_a"));
    EXPECT_EQ(table.find(ATOM(q, other)), nullptr);
}

}  // namespace
