// Body planning: the size-sorted order of "-OGo1" with single-use and
// negative literals, built-ins moved behind their binders, the semi-naive
// sources of the passes, and the cost-based order of "-OGo2".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/options.h"
#include "grounding/grounder.h"

using namespace veltra;

namespace {

class BODYPLANTEST : public ::testing::Test {
protected:
    CONJUNCTION body;
    std::vector<int32_t> atomCount, deltaCounts;
    std::vector<uint8_t> complete, noUndefined;

    void SetUp() override {
        savedOrdering_ = OPTIONS.bodyReordering;
        savedMaxInt_ = OPTIONS.maxInt;
        OPTIONS.maxInt = 10;
    }
    void TearDown() override {
        OPTIONS.bodyReordering = savedOrdering_;
        OPTIONS.maxInt = savedMaxInt_;
        predicateIndex.reset();
    }

    // A literal over a fresh predicate named after tag, with the given
    // variable numbers, old-atom count and delta count.
    void add(const std::string& tag, std::vector<int32_t> variables, int32_t size, bool negated = false,
             bool incomplete = false, int32_t inDelta = 0) {
        std::vector<TERM> terms;
        for (int32_t v : variables) terms.push_back(variableTerm(v));
        const std::string name = "plan" + std::to_string(counter_++) + "_" + tag;
        const int32_t p = addPredicate(predicateTable, NAME(name.c_str()), int32_t(terms.size()), KIND_IDB).first;
        grow();
        atomCount[p] = size;
        deltaCounts[p] = inDelta;
        complete[p] = !incomplete;
        body.addLiteral(LITERAL(ATOM(p, terms), negated));
    }
    void addBuiltin(int32_t builtin, std::vector<TERM> terms) {
        grow();
        body.addLiteral(LITERAL(ATOM(builtin, terms), false));
    }
    void grow() {
        const size_t n = size_t(predicateTable.count);
        atomCount.resize(n, 0);
        deltaCounts.resize(n, 0);
        complete.resize(n, 1);
        noUndefined.resize(n, 1);
    }
    // The plan's order as the literals' tags.
    std::string orderOf(const BODYPLAN& plan) const {
        std::string s;
        for (int32_t k = 0; k < plan.literalCount; ++k) {
            const LITERAL& l = plan.at(k);
            std::string tag;
            for (size_t i = 0; i < body.literals.size(); ++i)
                if (&body.literals[i] == &l) tag = tagOf(i);
            s += (k ? " " : "") + tag;
        }
        return s;
    }
    // A built-in's name, or the tag of a literal's fresh predicate.
    std::string tagOf(size_t bodyIndex) const {
        const int32_t p = body.literals[bodyIndex].predicate;
        if (predicateTable.kinds[p] == KIND_BUILTIN) return predicateTable.name(p).str();
        const std::string& name = predicateTable.name(p).str();
        return name.substr(name.find('_') + 1);
    }

private:
    int32_t savedOrdering_ = 2, savedMaxInt_ = -1;
    static int counter_;
};
int BODYPLANTEST::counter_ = 0;

TEST_F(BODYPLANTEST, SizeOrderWithSingleUseAndNegativeLiterals) {
    OPTIONS.bodyReordering = 1;
    add("a", {0, 1}, 10);
    add("b", {1, 2}, 1);
    add("c", {2, 0}, 5);
    add("d", {3}, 2);  // single-use variable: goes last
    add("e", {0, 2}, 5);
    add("f", {4}, 1);  // single-use as well: before d
    add("n1", {0}, 3, true);
    add("n2", {1}, 3, true);
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, true, 1, nullptr);
    EXPECT_FALSE(plan.empty);
    EXPECT_EQ(orderOf(plan), "b c e a f d n1 n2");
    EXPECT_EQ(plan.trailingCount, 2);
    for (int32_t k = 0; k < plan.literalCount; ++k) EXPECT_EQ(plan.position[plan.order[k]], k);
}

TEST_F(BODYPLANTEST, BuiltinsMovedBehindTheirBinders) {
    OPTIONS.bodyReordering = 1;
    add("a", {0, 1}, 10);
    add("b", {1, 2}, 7);
    addBuiltin(BUILTIN_LT, {variableTerm(0), variableTerm(2)});
    addBuiltin(BUILTIN_PLUS, {variableTerm(1), integerTerm(1), variableTerm(3)});
    add("c", {3, 0}, 20);
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, true, 1, nullptr);
    // The comparison needs X and Z (after a and b); "+" may compute W once Y
    // is bound (after b), ahead of c, which reads W.
    EXPECT_EQ(orderOf(plan), "b + a < c");
}

TEST_F(BODYPLANTEST, EmptyPositiveLiteralExhaustsThePlan) {
    OPTIONS.bodyReordering = 1;
    add("a", {0, 1}, 10);
    add("b", {1, 0}, 0);
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, true, 1, nullptr);
    EXPECT_TRUE(plan.empty);
    EXPECT_TRUE(plan.exhausted);
}

TEST_F(BODYPLANTEST, SemiNaivePassesMoveTheDeltaLiteral) {
    OPTIONS.bodyReordering = 1;
    add("r1", {0, 1}, 10, false, true, 2);
    add("e", {1, 2}, 4);
    add("r2", {2, 3}, 10, false, true, 3);
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, false, 1, nullptr);
    EXPECT_EQ(plan.deltaLiteral, 0);
    EXPECT_EQ(plan.lastRecursiveLiteral, 2);
    EXPECT_EQ(plan.source, (std::vector<int32_t>{SOURCE_DELTA, SOURCE_OLD, SOURCE_BOTH}));
    EXPECT_EQ(orderOf(plan), "r1 e r2");  // sizes 2, 4, 13
    plan.nextDeltaLiteral();
    EXPECT_FALSE(plan.empty);
    EXPECT_EQ(plan.deltaLiteral, 2);
    EXPECT_EQ(plan.source, (std::vector<int32_t>{SOURCE_OLD, SOURCE_OLD, SOURCE_DELTA}));
    EXPECT_EQ(orderOf(plan), "r2 e r1");  // sizes 3, 4, 10

    // In iteration 0 the delta literal reads old atoms and the delta.
    BODYPLAN first(body, atomCount, &deltaCounts, complete, noUndefined, false, 0, nullptr);
    EXPECT_EQ(first.source, (std::vector<int32_t>{SOURCE_BOTH, SOURCE_OLD, SOURCE_BOTH}));
}

TEST_F(BODYPLANTEST, DeltaLiteralWithoutDeltaAtomsPassesOn) {
    OPTIONS.bodyReordering = 1;
    add("r1", {0, 1}, 10, false, true, 0);
    add("r2", {1, 2}, 10, false, true, 3);
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, false, 1, nullptr);
    EXPECT_TRUE(plan.empty);
    EXPECT_FALSE(plan.exhausted);
    plan.nextDeltaLiteral();
    EXPECT_FALSE(plan.empty);
    EXPECT_EQ(plan.deltaLiteral, 1);
    EXPECT_EQ(orderOf(plan), "r2 r1");
}

TEST_F(BODYPLANTEST, CostOrderPrefersEvaluableTestsAndCheapGenerators) {
    OPTIONS.bodyReordering = 2;
    // Incomplete predicates: their figures are size^(1/arity), 10 and 1.73.
    add("big", {0, 1}, 100, false, true);
    add("small", {1, 2}, 3, false, true);
    add("n", {2}, 5, true);
    addBuiltin(BUILTIN_NE, {variableTerm(0), variableTerm(2)});
    predicateIndex = std::make_unique<PREDICATEINDEX>(predicateTable.count);
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, true, 1, nullptr);
    // small costs 3 * 0.1 * 0.1, big 100 * 0.1 * 0.1: small binds Y and Z;
    // not n(Z) is then fully bound (class 2) ahead of the generator big; the
    // comparison follows once X is bound.
    EXPECT_EQ(orderOf(plan), "small n big !=");
}

// Statements generated by rewriting may number variables beyond 64: the
// plan's per-variable arrays and bit sets follow the statement, and the order
// is the one the same body gets with low variable numbers.
TEST_F(BODYPLANTEST, VariablesBeyondSixtyFourPlanAsLowOnes) {
    OPTIONS.bodyReordering = 2;
    for (int32_t offset : {0, 70}) {
        SCOPED_TRACE(offset);
        body = CONJUNCTION();
        add("big", {offset, offset + 1}, 100, false, true);
        add("small", {offset + 1, offset + 2}, 3, false, true);
        add("n", {offset + 2}, 5, true);
        addBuiltin(BUILTIN_NE, {variableTerm(offset), variableTerm(offset + 2)});
        addBuiltin(BUILTIN_PLUS, {variableTerm(offset + 1), integerTerm(1), variableTerm(offset + 3)});
        add("c", {offset + 3, offset}, 20, false, true);
        predicateIndex = std::make_unique<PREDICATEINDEX>(predicateTable.count);
        BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefined, true, 1, nullptr);
        EXPECT_EQ(plan.variableCount, offset + 4);
        EXPECT_EQ(plan.highestVariable, offset + 3);
        EXPECT_EQ(orderOf(plan), "small + n c != big");
    }
}

}  // namespace
