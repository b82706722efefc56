// The "-stats" report: the size figures with their 32-bit wrap-around, the
// layout of the option and size lines, and the layout of the timing report.
#include "driver/statistics.h"

#include <gtest/gtest.h>

#include <cctype>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/aggregate.h"
#include "core/groundprogram.h"
#include "core/rule.h"
#include "core/stagetimers.h"
#include "driver/options.h"
#include "generator/statistics.h"

using namespace veltra;

namespace {

// Everything the report reads that a test changes, put back afterwards.
class Statistics : public ::testing::Test {
protected:
    OPTIONRECORD savedOptions = OPTIONS;
    int32_t savedStats = statsLevel, savedFrontend = frontend, savedPlanning = planningMode;
    bool savedSubsumption = useSubsumption, savedMagic = useMagicSets;
    int32_t savedAtomCount = groundAtomCount;
    TIMER savedPreprocessing = preprocessingTimer, savedInstantiation = instantiationTimer;

    void SetUp() override {
        rules.clear();
        constraints.clear();
        weakConstraints.clear();
        groundRules.clear();
        groundConstraints.clear();
        groundWeakConstraints.clear();
    }
    void TearDown() override {
        OPTIONS = savedOptions;
        statsLevel = savedStats, frontend = savedFrontend, planningMode = savedPlanning;
        useSubsumption = savedSubsumption, useMagicSets = savedMagic;
        groundAtomCount = savedAtomCount;
        preprocessingTimer = savedPreprocessing, instantiationTimer = savedInstantiation;
        groundRules.clear();
        groundConstraints.clear();
        groundWeakConstraints.clear();
    }

    static ATOM atom(const char* name, std::vector<TERM> terms) {
        return ATOM(name, terms.empty() ? nullptr : &terms, KIND_UNKNOWN);
    }
    // A ground "#count" atom over a ground set of size elements, interned.
    static ATOMID groundAggregate(int32_t size) {
        static const int32_t predicate = addPredicate(predicateTable, NAME("#count~stats"), 0, KIND_AGGREGATE).first;
        auto aggregate = std::make_unique<AGGREGATEATOM>();
        aggregate->function = makeAggregateFunction(AGG_COUNT);
        aggregate->function->groundSet = std::make_unique<GROUNDSET>();
        for (int32_t i = 0; i < size; ++i)
            aggregate->function->groundSet->add({integerTerm(i), internAtom(atom("e~stats", {integerTerm(i)}))});
        aggregate->function->groundSet->normalize();
        aggregate->lowerGuard = integerTerm(size);  // distinct atoms per size
        return internAtom(ATOM(predicate, aggregate.release()));
    }
    static std::string generatorTimes(const MODELGENERATOR* generator) {
        std::ostringstream out;
        printGeneratorTimes(generator, out);
        return out.str();
    }
    // Every time ("digits.dddddd") becomes "T".
    static std::string maskTimes(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size();) {
            size_t j = i;
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
            bool time = j > i && j + 7 <= text.size() && text[j] == '.';
            for (size_t k = j + 1; time && k < j + 7; ++k) time = std::isdigit(static_cast<unsigned char>(text[k]));
            if (time) {
                out += 'T';
                i = j + 7;
            } else {
                out.append(text, i, j > i ? j - i : 1);
                i = j > i ? j : i + 1;
            }
        }
        return out;
    }
};

const char* const closingRemark =
    "\n(Timers are informational only and must not be used for benchmarks.  See\n"
    " the section \"Benchmarks\" of the README for the benchmark policy.)\n";

TEST_F(Statistics, HerbrandBaseSkipsBuiltinsAndCountsByKind) {
    const uint32_t idbBefore = herbrandBaseSize(KIND_IDB, 3), edbBefore = herbrandBaseSize(KIND_EDB, 3);
    addPredicate(predicateTable, NAME("p~hb"), 2, KIND_IDB);
    addPredicate(predicateTable, NAME("q~hb"), 0, KIND_EDB);
    EXPECT_EQ(herbrandBaseSize(KIND_IDB, 3) - idbBefore, 9u);
    EXPECT_EQ(herbrandBaseSize(KIND_EDB, 3) - edbBefore, 1u);
    EXPECT_EQ(herbrandBaseSize(KIND_BUILTIN, 3), 0u);
}

TEST_F(Statistics, FullGroundingCountsDistinctVariablesOutsideAggregates) {
    TERM x = variableTerm(0), y = variableTerm(1), z = variableTerm(2);
    std::vector<ATOM> head{atom("p~fg", {x})};
    CONJUNCTION body;  // q(X, Y), not r(Y)
    body.addLiteral(LITERAL(atom("q~fg", {x, y}), false));
    body.addLiteral(LITERAL(atom("r~fg", {y}), true));
    CONJUNCTION aggregateBody;  // q(X, X), 1 <= #count{Z : s(Z)} <= Z
    aggregateBody.addLiteral(LITERAL(atom("q~fg", {x, x}), false));
    static const int32_t count = addPredicate(predicateTable, NAME("#count~fg"), 0, KIND_AGGREGATE).first;
    auto aggregate = std::make_unique<AGGREGATEATOM>();
    aggregate->function = makeAggregateFunction(AGG_COUNT);
    aggregate->function->elementTerms.push_back(z);
    aggregate->function->body.addLiteral(LITERAL(atom("s~fg", {z}), false));
    aggregate->lowerGuard = integerTerm(1);
    aggregate->upperGuard = z;
    aggregateBody.addLiteral(LITERAL(ATOM(count, aggregate.release()), false));
    std::vector<ATOM> groundHead{atom("p~fg", {integerTerm(1)})};

    std::vector<RULE> list;
    list.emplace_back(&head, &body);              // 4^2
    list.emplace_back(&groundHead, nullptr);      // 1
    list.emplace_back(&head, &aggregateBody);     // 4^1
    EXPECT_EQ(fullGroundingSize(list, 4), 16u + 1u + 4u);
    // 65536^2 wraps to 0 in 32 bits.
    EXPECT_EQ(fullGroundingSize(list, 65536), 0u + 1u + 65536u);

    std::vector<CONSTRAINT> constraintList;
    constraintList.emplace_back(body, false);
    constraintList.emplace_back(CONJUNCTION(), false);
    EXPECT_EQ(fullGroundingSize(constraintList, 5), 25u + 1u);
}

TEST_F(Statistics, StructuralSizeCountsGroundSetElements) {
    ATOMID a = internAtom(atom("a~ss", {})), b = internAtom(atom("b~ss", {})), c = internAtom(atom("c~ss", {}));
    ATOMID five = groundAggregate(5);
    std::vector<ATOMID> head{a, b};
    GROUNDCONJUNCTION body;
    body.addLiteral({c, 0});
    body.addLiteral({five, 0});
    body.addLiteral({b, 1});
    std::vector<GROUNDRULE> rulesList;
    rulesList.emplace_back(&head, &body);     // 2 + 3 + 5
    rulesList.emplace_back(&head, nullptr);   // 2
    std::vector<GROUNDCONSTRAINT> constraintList(1);
    constraintList[0].body = body;            // 3 + 5
    std::vector<GROUNDWEAKCONSTRAINT> weakList(1);
    weakList[0].body = body;                  // 3: elements are not counted
    EXPECT_EQ(structuralSize(rulesList, {}, {}), 12u);
    EXPECT_EQ(structuralSize(rulesList, constraintList, weakList), 12u + 8u + 3u);
}

TEST_F(Statistics, OptionsAndResidualInstantiation) {
    statsLevel = 1;
    OPTIONS.rewriteProjection = false;
    OPTIONS.bodyReordering = 1;
    useSubsumption = true;
    useMagicSets = false;
    std::vector<ATOMID> head{internAtom(atom("a~oi", {}))};
    groundRules.emplace_back(&head, nullptr);
    groundRules.emplace_back(&head, nullptr);
    groundConstraints.resize(1);
    groundConstraints[0].body.addLiteral({head[0], 0});
    std::ostringstream out;
    printOptionsAndSizes(out);
    EXPECT_EQ(out.str(),
              "\n\nOptions:   ORb = 1  ORp = 0  ORdr = 1  OMS = 0  OS = 1  OGp = 1  OGo = 1  OGs = 1  OH = 1  OPf = 1\n"
              "\n"
              "\nResidual Instantiation\n"
              " Rules                    : 2\n"
              " Constraints              : 1\n"
              " Weak Constraints         : 0\n"
              "Structural Size           : " +
                  std::to_string(3 + edbFacts.size()) + "\n");
}

TEST_F(Statistics, SizeTable) {
    statsLevel = 2;
    OPTIONS.rulesGround = false;
    OPTIONS.constraintsGround = true;
    groundAtomCount = 7;
    std::vector<ATOM> head{atom("a~st", {})};
    rules.emplace_back(&head, nullptr);
    rules.emplace_back(&head, nullptr);
    constraints.emplace_back(CONJUNCTION(), false);
    weakConstraints.resize(3);
    groundWeakConstraints.resize(1);
    groundWeakConstraints[0].body.addLiteral({internAtom(head[0]), 0});
    const uint32_t constants = uint32_t(symbolTable.count + numberTable.count);
    std::ostringstream out;
    printOptionsAndSizes(out);
    std::string expected =
        "\n\nOptions:   ORb = 1  ORp = 1  ORdr = 1  OMS = 0  OS = 0  OGp = 1  OGo = 2  OGs = 1  OH = 1  OPf = 1\n\n"
        "\n"
        "Predicates                : " + std::to_string(predicateTable.count) + "\n"
        "|Herbrand Base|           : " +
        std::to_string(herbrandBaseSize(KIND_EDB, constants) + herbrandBaseSize(KIND_IDB, constants)) + "\n"
        "|Residual Herbrand Univ.| : " + std::to_string(constants) + "\n"
        "|Residual Herbrand Base|  : 7\n"
        "Facts (EDB)               : " + std::to_string(edbFacts.size()) + "\n"
        "Rules (IDB)               : 2\n"
        " are ground?              : no\n"
        " full grounding           : 2\n"
        " actual grounding         : 0\n"
        "Constraints               : 1\n"
        " are ground?              : yes\n"
        " full grounding           : 1\n"
        " actual grounding         : 0\n"
        "Weak Constraints          : 3\n"
        " (actual) grounding       : 1\n"
        "Structural Size           : " + std::to_string(1 + edbFacts.size()) + "\n";
    EXPECT_EQ(out.str(), expected);
}

TEST_F(Statistics, TimingsWithoutGenerator) {
    struct CASE {
        const char* title;
        int32_t level, frontendValue, planningValue;
        const char* stageLines;  // between the answer-set times and the generator's times
    } cases[] = {
        {"-stats", 1, 0, 0, "Instantiation time        : T\n"},
        {"-stats++", 2, 0, 0,
         "Parsing                   : T\nRewriting-Basic           : T\nRewriting-Projection      : T\n"
         "SubsumptionChecking       : T\nInstantiation time        : T\n Depgraph                 : T\n"
         " Postprocessing           : T\n Constraints              : T\n"},
        {"-stats++ with secure planning in K", 2, 7, 1,
         "Parsing                   : T\nRewriting-Basic           : T\nRewriting-Projection      : T\n"
         "SubsumptionChecking       : T\nInstantiation time        : T\n Depgraph                 : T\n"
         " Postprocessing           : T\n Constraints              : T\nPlan sec.checks/cache hits: 3/1\n"},
        {"-stats with secure planning in K", 1, 7, 1, "Instantiation time        : T\n"},
        {"-stats++ with secure planning in C", 2, 6, 1,
         "Parsing                   : T\nRewriting-Basic           : T\nRewriting-Projection      : T\n"
         "SubsumptionChecking       : T\nInstantiation time        : T\n Depgraph                 : T\n"
         " Postprocessing           : T\n Constraints              : T\n"},
        {"-stats++ with optimistic planning in K", 2, 7, 2,
         "Parsing                   : T\nRewriting-Basic           : T\nRewriting-Projection      : T\n"
         "SubsumptionChecking       : T\nInstantiation time        : T\n Depgraph                 : T\n"
         " Postprocessing           : T\n Constraints              : T\n"},
    };
    secureCheckCount = 3;
    planCacheHits = 1;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.title);
        statsLevel = c.level, frontend = c.frontendValue, planningMode = c.planningValue;
        std::ostringstream out;
        printTimings(nullptr, out);
        EXPECT_EQ(maskTimes(out.str()), "Time for first answer set : T\n (including instantiation)\n"
                                        "Time for all answer sets  : T\n (including instantiation)\n" +
                                            std::string(c.stageLines) + maskTimes(generatorTimes(nullptr)) +
                                            closingRemark);
    }
    secureCheckCount = planCacheHits = 0;
}

TEST_F(Statistics, TimingsPrintTheStageTimers) {
    statsLevel = 1;
    preprocessingTimer = TIMER{1, 250000, false};
    instantiationTimer = TIMER{0, 42, false};
    std::ostringstream out;
    printTimings(nullptr, out);
    EXPECT_EQ(out.str(), "Time for first answer set : 1.250000\n (including instantiation)\n"
                         "Time for all answer sets  : 1.250000\n (including instantiation)\n"
                         "Instantiation time        : 0.000042\n" +
                             generatorTimes(nullptr) + closingRemark);
}

TEST_F(Statistics, TimingsWithGenerator) {
    statsLevel = 1;
    preprocessingTimer = TIMER{0, 600000, false};
    instantiationTimer = TIMER{0, 5, false};
    MODELGENERATOR generator;
    generator.searchTimer = TIMER{1, 500000, false};
    generator.totalTimer = TIMER{2, 400001, false};
    struct CASE {
        uint32_t found;
        const char* first;
        const char* all;
    } cases[] = {{0, "n/a", "n/a"}, {1, "2.100000", "3.000001"}};
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.found);
        generator.answerSetsComputed = c.found;
        std::ostringstream search;
        printSearchStatistics(generator, search);
        std::ostringstream out;
        printTimings(&generator, out);
        EXPECT_EQ(out.str(), search.str() + "Time for first answer set : " + c.first +
                                 "\n (including instantiation)\nTime for all answer sets  : " + c.all +
                                 "\n (including instantiation)\nInstantiation time        : 0.000005\n" +
                                 generatorTimes(&generator) + closingRemark);
    }
}

}  // namespace
