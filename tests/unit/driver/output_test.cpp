// Printing of models, costs, query verdicts and answers, and the model hooks.
#include "driver/output.h"

#include <gtest/gtest.h>

#include "core/finish.h"
#include "core/rule.h"
#include "driver/options.h"
#include "driver/query.h"

using namespace veltra;

namespace {

ATOM atomOf(const char* p, std::initializer_list<TERM> ts, int32_t kind = KIND_IDB) {
    std::vector<TERM> t(ts);
    return ATOM(p, &t, kind);
}

// A small world: input fact f(1), ground atoms p(a), q(a), "aux#1", -p(b), and
// the settings the printers read, restored after each test.
class OutputTest : public ::testing::Test {
protected:
    ATOMID pa = 0, qa = 0, aux = 0, negpb = 0;
    OPTIONRECORD savedOptions = OPTIONS;
    bool savedSilent = silent;
    int32_t savedFrontend = frontend;

    void SetUp() override {
        edbFacts = ATOMSET();
        trueAtoms = ATOMSET();
        edbFacts.add(atomOf("out_f", {integerTerm(1)}, KIND_EDB));
        pa = internAtom(atomOf("out_p", {symbolTerm("a")}));
        qa = internAtom(atomOf("out_q", {symbolTerm("a")}));
        aux = internAtom(atomOf("aux#out", {}));
        negpb = internAtom(atomOf("-out_p", {symbolTerm("b")}));
        groundAtomCount = static_cast<int32_t>(atomsByIndex.size());
        OPTIONS.exportPending = false;
        outputFilter.clear();
        positiveOutputFilter.clear();
        queryWitnessFound = false;
        queryAnswers.reset();
    }
    void TearDown() override {
        OPTIONS = savedOptions;
        silent = savedSilent;
        frontend = savedFrontend;
        outputFilter.clear();
        positiveOutputFilter.clear();
        objectsUsed = false;
        query.reset();
        edbFacts = ATOMSET();
    }
    INTERPRETATION model(std::initializer_list<ATOMID> trueOnes) {
        INTERPRETATION m;
        m.values.assign(groundAtomCount, TV_FALSE);
        for (ATOMID a : trueOnes) m.values[a] = TV_TRUE;
        return m;
    }
    std::string printed(const INTERPRETATION& m) {
        std::ostringstream out;
        printInterpretation(out, nullptr, &m);
        return out.str();
    }
};

TEST_F(OutputTest, ModelsWithFactsFiltersAndInternalAtoms) {
    INTERPRETATION m = model({aux, pa, negpb});
    EXPECT_EQ(printed(m), "{out_f(1), out_p(a), -out_p(b)}");
    EXPECT_EQ(printed(model({aux})), "{out_f(1)}");
    OPTIONS.printFacts = false;
    EXPECT_EQ(printed(model({aux})), "{}");
    EXPECT_EQ(printed(model({aux, qa})), "{out_q(a)}");  // no leading separator
    outputFilter.insert("out_p");
    EXPECT_EQ(printed(m), "{out_p(a), -out_p(b)}");
    outputFilter.clear();
    positiveOutputFilter.insert("out_p");
    EXPECT_EQ(printed(m), "{out_p(a)}");
}

// While the search reports models each atom's text is kept; the models are
// those printed without it, and nothing kept outlives endModelOutput: a
// filter or the atoms' form changed afterwards shows at once.
TEST_F(OutputTest, KeptAtomTextsGiveTheSameModelsAndEndWithTheWindow) {
    INTERPRETATION all = model({pa, qa, aux, negpb});
    struct {
        bool facts;
        std::initializer_list<ATOMID> trueOnes;
        const char* text;
    } cases[] = {
        {true, {aux, pa, negpb}, "{out_f(1), out_p(a), -out_p(b)}"},
        {true, {}, "{out_f(1)}"},
        {false, {aux}, "{}"},
        {false, {aux, qa}, "{out_q(a)}"},
        {false, {negpb, qa, pa}, "{out_p(a), out_q(a), -out_p(b)}"},
    };
    for (const auto& c : cases) {
        OPTIONS.printFacts = c.facts;
        EXPECT_EQ(printed(model(c.trueOnes)), c.text);
        beginModelOutput();
        EXPECT_EQ(printed(model(c.trueOnes)), c.text);
        EXPECT_EQ(printed(all), printed(model({pa, qa, negpb})));
        EXPECT_EQ(printed(model(c.trueOnes)), c.text);
        endModelOutput();
    }
    OPTIONS.printFacts = true;
    beginModelOutput();
    EXPECT_EQ(printed(all), "{out_f(1), out_p(a), out_q(a), -out_p(b)}");
    endModelOutput();
    outputFilter.insert("out_q");
    EXPECT_EQ(printed(all), "{out_q(a)}");
    outputFilter.clear();
    objectsUsed = true;  // the object argument is left out where a complement exists
    EXPECT_EQ(printed(all), "{out_f(1), out_p, out_q(a), -out_p}");
}

TEST_F(OutputTest, PlainModelsAreSeparatedByEmptyLinesAndCounted) {
    MODELGENERATOR gen;
    gen.maxModels = 2;
    INTERPRETATION m = model({pa});
    testing::internal::CaptureStdout();
    EXPECT_TRUE(printModelWithCost(&gen, trueAtoms, &m));
    EXPECT_EQ(gen.searchState, 0);
    EXPECT_TRUE(printModelWithCost(&gen, trueAtoms, &m));
    EXPECT_EQ(gen.searchState, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "{out_f(1), out_p(a)}\n\n{out_f(1), out_p(a)}\n");
    silent = true;
    testing::internal::CaptureStdout();
    printModelWithCost(&gen, trueAtoms, &m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "{out_f(1), out_p(a)}\n");
}

TEST_F(OutputTest, PrefixesAndCostLinesUnderWeakConstraints) {
    costLevels = {1, 2};
    maxWeakConstraintLevel = 2;
    INTERPRETATION m = model({pa});
    m.cost = COSTVECTOR(2);
    m.cost.values = {1500, 0};
    struct {
        bool optimumKnown, wcTrace, costBoundGiven;
        const char* prefix;
        uint32_t counted;
    } cases[] = {
        {true, false, false, "Best model: ", 1},
        {false, true, false, "Current model [maybe not optimal]: ", 0},
        {true, false, true, "", 1},
        {false, false, false, "", 0},
    };
    for (const auto& c : cases) {
        MODELGENERATOR gen;
        gen.weakConstraintsPresent = true;
        gen.optimumKnown = c.optimumKnown;
        gen.wcTrace = c.wcTrace;
        gen.costBoundGiven = c.costBoundGiven;
        testing::internal::CaptureStdout();
        printModelWithCost(&gen, trueAtoms, &m);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(c.prefix) + "{out_f(1), out_p(a)}\nCost ([Weight:Level]): <[1.500:1],[0:2]>\n");
        EXPECT_EQ(gen.answerSetsPrinted, c.counted);
    }
    maxWeakConstraintLevel = 0;
    costLevels.clear();
}

TEST_F(OutputTest, GroundBraveAndCautiousWitnesses) {
    query = std::make_unique<CONJUNCTION>();
    query->addLiteral(LITERAL(groundAtom(pa), false));
    query->addLiteral(LITERAL(groundAtom(qa), true));
    INTERPRETATION m = model({pa});
    MODELGENERATOR gen;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(braveModelHook(&gen, trueAtoms, &m));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "out_p(a), not out_q(a) is bravely true, evidenced by {out_f(1), out_p(a)}\n\n");
    EXPECT_TRUE(queryWitnessFound);
    EXPECT_EQ(gen.answerSetsPrinted, 1u);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(cautiousModelHook(&gen, trueAtoms, &m));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "out_p(a), not out_q(a) is cautiously false, evidenced by {out_f(1), out_p(a)}\n");
}

TEST_F(OutputTest, VerdictsWithoutWitness) {
    query = std::make_unique<CONJUNCTION>();
    query->addLiteral(LITERAL(groundAtom(pa), false));
    query->addLiteral(LITERAL(groundAtom(qa), true));
    struct {
        int32_t frontend;
        bool ground;
        const char* text;
    } cases[] = {
        {1, true, "out_p(a), not out_q(a) is bravely false.\n"},
        {2, true, "out_p(a), not out_q(a) is cautiously true.\n"},
        {1, false, "No stable model found.\n"},
    };
    for (const auto& c : cases) {
        frontend = c.frontend;
        OPTIONS.queryGround = c.ground;
        std::ostringstream out;
        printQueryVerdict(out);
        EXPECT_EQ(out.str(), c.text);
    }
}

TEST_F(OutputTest, NonGroundAnswersAreUnionForBraveAndIntersectionForCautious) {
    OPTIONS.queryGround = false;
    ATOMID q1 = internAtom(atomOf("#query", {symbolTerm("a")}));
    ATOMID q2 = internAtom(atomOf("#query", {integerTerm(2)}));
    groundAtomCount = static_cast<int32_t>(atomsByIndex.size());
    INTERPRETATION first = model({q1}), second = model({q1, q2});
    MODELGENERATOR gen;
    gen.answerSetsComputed = 1;
    EXPECT_TRUE(braveModelHook(&gen, trueAtoms, &first));
    gen.answerSetsComputed = 2;
    EXPECT_TRUE(braveModelHook(&gen, trueAtoms, &second));
    std::ostringstream brave;
    printQueryAnswers(brave, trueAtoms, *queryAnswers);
    EXPECT_EQ(brave.str(), "a\n2\n");

    gen.answerSetsComputed = 1;
    EXPECT_TRUE(cautiousModelHook(&gen, trueAtoms, &second));
    gen.answerSetsComputed = 2;
    EXPECT_TRUE(cautiousModelHook(&gen, trueAtoms, &first));
    std::ostringstream cautious;
    printQueryAnswers(cautious, trueAtoms, *queryAnswers);
    EXPECT_EQ(cautious.str(), "a\n");
    INTERPRETATION none = model({});
    gen.answerSetsComputed = 3;
    EXPECT_FALSE(cautiousModelHook(&gen, trueAtoms, &none));  // no candidate left
}

TEST(Finish, InternalErrorNamesTheTag) {
    EXPECT_EXIT(internalError("model check"), testing::ExitedWithCode(99),
                "^\nAn internal error occurred \\(model check\\)\\.\n.*maintainers");
}

TEST(Finish, StatusIsTheExitCode) {
    EXPECT_EXIT(finish(1), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(finish(0), testing::ExitedWithCode(0), "");
}

}  // namespace
