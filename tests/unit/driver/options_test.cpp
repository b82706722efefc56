// The option table: what every option sets, value parsing with its warnings
// and errors, and the banner, usage and licence printers.
#include "driver/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace veltra;

namespace {

// Every global the command line writes, so that a test can put them back.
struct GLOBALSNAPSHOT {
    OPTIONRECORD options = OPTIONS;
    int32_t frontendValue = frontend, diagnosis = diagnosisMode, planning = planningMode;
    int32_t stats = statsLevel, checkMethod = modelCheckMethod, verboseValue = verbose;
    bool groundingStats = statsGrounding, silentValue = silent, satLikeValue = satLike;
    bool trace = wcTrace, boundGiven = costBoundGiven, magic = useMagicSets;
    bool subsumption = useSubsumption, wait = waitAtExit;
    uint32_t combine = combineComplementPT;
    NAMESET filter = outputFilter, positiveFilter = positiveOutputFilter;
    std::vector<uint32_t> heuristics = heuristicList, checker = checkerHeuristicList;
    std::vector<uint32_t> combined = combineHeuristicList;
    int32_t secure = secureCheckMethod, minActions = planMinActions;
    int32_t maxActions = planMaxActions;
    const char* name = programName;

    void restore() const {
        OPTIONS = options;
        frontend = frontendValue, diagnosisMode = diagnosis, planningMode = planning;
        statsLevel = stats, modelCheckMethod = checkMethod, verbose = verboseValue;
        statsGrounding = groundingStats, silent = silentValue, satLike = satLikeValue;
        wcTrace = trace, costBoundGiven = boundGiven, useMagicSets = magic;
        useSubsumption = subsumption, waitAtExit = wait;
        combineComplementPT = combine;
        outputFilter = filter, positiveOutputFilter = positiveFilter;
        heuristicList = heuristics, checkerHeuristicList = checker;
        combineHeuristicList = combined;
        secureCheckMethod = secure, planMinActions = minActions;
        planMaxActions = maxActions;
        programName = name;
    }
};

struct PARSED {
    RUNSETTINGS run;
    std::string err;  // what the options wrote on standard error
};

// Runs the option loop over "veltra" and args.
PARSED parse(std::vector<const char*> args) {
    std::vector<char*> argv{const_cast<char*>("veltra")};
    for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
    PARSED parsed;
    testing::internal::CaptureStderr();
    parseOptions(static_cast<int>(argv.size()), argv.data(), parsed.run);
    parsed.err = testing::internal::GetCapturedStderr();
    return parsed;
}

std::string joined(const std::vector<const char*>& args) {
    std::string text;
    for (const char* arg : args) text += std::string(text.empty() ? "" : " ") + arg;
    return text;
}

class Options : public testing::Test {
protected:
    void SetUp() override {
        // Start every case from the compiled-in defaults.
        OPTIONS = OPTIONRECORD();
        frontend = diagnosisMode = planningMode = statsLevel = modelCheckMethod = verbose = 0;
        statsGrounding = silent = satLike = wcTrace = costBoundGiven = false;
        useMagicSets = useSubsumption = waitAtExit = false;
        combineComplementPT = 0;
        outputFilter.clear(), positiveOutputFilter.clear();
        heuristicList.clear(), checkerHeuristicList.clear(), combineHeuristicList.clear();
        secureCheckMethod = planMinActions = planMaxActions = 0;
    }
    void TearDown() override { saved.restore(); }
    GLOBALSNAPSHOT saved;
};

const char* const intWarning =
    " must be an integer between 0 and 999999999 (inclusive) - ignored.\n";

struct OPTIONCASE {
    std::vector<const char*> args;
    std::function<void(const RUNSETTINGS&)> check;
    std::string err = "";  // expected standard error, exactly
};

TEST_F(Options, EveryOptionSetsItsTarget) {
    const OPTIONCASE cases[] = {
        // Answer-set count: "-n=all" is tried before "-n=".
        {{"-n=5", "-n=all"}, [](auto& r) { EXPECT_EQ(r.n, 0u); }},
        {{"-n=7"}, [](auto& r) { EXPECT_EQ(r.n, 7u); }},
        {{"-n=3", "-n=allx"}, [](auto& r) { EXPECT_EQ(r.n, 0u); }},
        {{"-n=3", "-n=x"}, [](auto& r) { EXPECT_EQ(r.n, 0u); }},
        {{"-n= +12abc"}, [](auto& r) { EXPECT_EQ(r.n, 12u); }},
        {{"-n=99999999999999999999"}, [](auto& r) { EXPECT_EQ(r.n, UINT32_MAX); }},
        {{"-n=-1"}, [](auto& r) { EXPECT_EQ(r.n, UINT32_MAX); }},
        // Integer options.
        {{"-N=12"}, [](auto&) { EXPECT_EQ(OPTIONS.maxInt, 12); }},
        {{"-N="}, [](auto&) { EXPECT_EQ(OPTIONS.maxInt, 0); }},
        {{"-N=999999999"}, [](auto&) { EXPECT_EQ(OPTIONS.maxInt, 999999999); }},
        {{"-N=4", "-N=12a"}, [](auto&) { EXPECT_EQ(OPTIONS.maxInt, 4); },
         std::string("Argument to -N=<n>") + intWarning},
        {{"-N=1000000000"}, [](auto&) { EXPECT_EQ(OPTIONS.maxInt, -1); },
         std::string("Argument to -N=<n>") + intWarning},
        {{"-planlength=8"}, [](auto&) { EXPECT_EQ(OPTIONS.planLength, 8); }},
        {{"-planlength=-1"}, [](auto&) { EXPECT_EQ(OPTIONS.planLength, -1); },
         std::string("Argument to -planlength=<n>") + intWarning},
        {{"-planminactions=2"}, [](auto&) { EXPECT_EQ(planMinActions, 2); }},
        {{"-planmaxactions=3"}, [](auto&) { EXPECT_EQ(planMaxActions, 3); }},
        {{"-plancache=0"}, [](auto&) { EXPECT_EQ(OPTIONS.planCacheSize, 0); }},
        {{"-plancache=x"}, [](auto&) { EXPECT_EQ(OPTIONS.planCacheSize, 10000); },
         std::string("Argument to -plancache=<n>") + intWarning},
        // Run settings of the driver.
        {{"-det"}, [](auto& r) { EXPECT_TRUE(r.deterministicOnly); }},
        {{"-instantiate"}, [](auto& r) { EXPECT_TRUE(r.instantiate); }},
        {{"--depgraph"}, [](auto& r) { EXPECT_TRUE(r.dumpDepgraph); }},
        {{"--", "--"}, [](auto& r) { EXPECT_TRUE(r.readStdin); }},
        {{"-OM-"}, [](auto& r) { EXPECT_TRUE(r.modelCheckingOff); }},
        {{}, [](auto& r) {
             EXPECT_EQ(r.n, 0u);
             EXPECT_FALSE(r.readStdin || r.deterministicOnly || r.instantiate ||
                          r.dumpDepgraph || r.modelCheckingOff);
             EXPECT_EQ(r.printMask, 0u);
             EXPECT_TRUE(r.costBounds.empty());
             EXPECT_FALSE(costBoundGiven);
         }},
        {{"--print-edb"}, [](auto& r) { EXPECT_EQ(r.printMask, 1u); }},
        {{"--print-idb"}, [](auto& r) { EXPECT_EQ(r.printMask, 2u); }},
        {{"--print-gidb"}, [](auto& r) { EXPECT_EQ(r.printMask, 4u); }},
        {{"--print-constraints"}, [](auto& r) { EXPECT_EQ(r.printMask, 8u); }},
        {{"--print-gconstraints"}, [](auto& r) { EXPECT_EQ(r.printMask, 16u); }},
        {{"--print-wconstraints"}, [](auto& r) { EXPECT_EQ(r.printMask, 32u); }},
        {{"--print-gwconstraints"}, [](auto& r) { EXPECT_EQ(r.printMask, 64u); }},
        {{"--print-interpret"}, [](auto& r) { EXPECT_EQ(r.printMask, 128u); }},
        {{"--print-interpret", "--print-edb", "--print-gidb"},
         [](auto& r) { EXPECT_EQ(r.printMask, 133u); }},
        // Output.
        {{"-nofacts"}, [](auto&) { EXPECT_FALSE(OPTIONS.printFacts); }},
        {{"-nofacts", "-facts"}, [](auto&) { EXPECT_TRUE(OPTIONS.printFacts); }},
        {{"-satlike"}, [](auto&) { EXPECT_TRUE(satLike); }},
        {{"-wctrace"}, [](auto&) { EXPECT_TRUE(wcTrace); }},
        {{"-silent"}, [](auto&) { EXPECT_TRUE(silent); }},
        {{"-v"}, [](auto&) { EXPECT_EQ(verbose, 1); }},
        {{"-stats"}, [](auto&) { EXPECT_EQ(statsLevel, 1); }},
        {{"-stats++"}, [](auto&) { EXPECT_EQ(statsLevel, 2); }},
        {{"-stats++", "-stats"}, [](auto&) { EXPECT_EQ(statsLevel, 1); }},
        {{"-stats-grounding++"}, [](auto&) {
             EXPECT_TRUE(statsGrounding);
             EXPECT_EQ(statsLevel, 0);
         }},
        // Search tuning.
        {{"--pospts"}, [](auto&) { EXPECT_FALSE(OPTIONS.negativePT); }},
        {{"--pospts", "--negpts"}, [](auto&) { EXPECT_TRUE(OPTIONS.negativePT); }},
        {{"--ptcache=17"}, [](auto&) { EXPECT_EQ(OPTIONS.ptCacheSize, 17); }},
        // "--ptcache=abc" reads as 0 and is rejected (tests/e2e/generator/heuristics.case).
        {{"--ptcache=-1"}, [](auto&) { EXPECT_EQ(OPTIONS.ptCacheSize, INT32_MAX); }},
        {{"--nocomplpt"}, [](auto&) { EXPECT_FALSE(OPTIONS.complementPT); }},
        {{"--nocomplpt", "--complpt"}, [](auto&) { EXPECT_TRUE(OPTIONS.complementPT); }},
        {{"--combinecomplpt=9"}, [](auto&) { EXPECT_EQ(combineComplementPT, 9u); }},
        {{"--cannotchoosecomplpt"},
         [](auto&) { EXPECT_FALSE(OPTIONS.canChooseComplementPT); }},
        {{"--cannotchoosecomplpt", "--canchoosecomplpt"},
         [](auto&) { EXPECT_TRUE(OPTIONS.canChooseComplementPT); }},
        {{"--noGUS"}, [](auto&) { EXPECT_FALSE(OPTIONS.useGUS); }},
        {{"--noGUS", "--GUS"}, [](auto&) { EXPECT_TRUE(OPTIONS.useGUS); }},
        {{"--heuristic=3,1"}, [](auto&) {
             EXPECT_EQ(heuristicList, (std::vector<uint32_t>{3, 1}));
             EXPECT_TRUE(checkerHeuristicList.empty() && combineHeuristicList.empty());
         }},
        {{"--heuristic=1,2", "--heuristic=7"},
         [](auto&) { EXPECT_EQ(heuristicList, (std::vector<uint32_t>{1, 2, 7})); }},
        {{"--heuristic=5", "--heuristic="},
         [](auto&) { EXPECT_EQ(heuristicList, (std::vector<uint32_t>{5})); }},
        {{"--heuristic="}, [](auto&) { EXPECT_TRUE(heuristicList.empty()); },
         "Warning: Empty heuristic specification. Using default heuristic.\n"},
        {{"--cheuristic=6"}, [](auto&) {
             EXPECT_EQ(checkerHeuristicList, (std::vector<uint32_t>{6}));
             EXPECT_TRUE(heuristicList.empty());
         }},
        {{"--combineheuristic=0,1"},
         [](auto&) { EXPECT_EQ(combineHeuristicList, (std::vector<uint32_t>{0, 1})); }},
        {{"-OMm=5"}, [](auto&) { EXPECT_EQ(modelCheckMethod, 5); }},
        {{"-OMm=z"}, [](auto&) { EXPECT_EQ(modelCheckMethod, 0); }},
        // Optimisations.
        {{"-OMS"}, [](auto&) { EXPECT_TRUE(useMagicSets); }},
        {{"-OMS", "-OMS-"}, [](auto&) { EXPECT_FALSE(useMagicSets); }},
        {{"-OS"}, [](auto&) { EXPECT_TRUE(useSubsumption); }},
        {{"-OS", "-OS-"}, [](auto&) { EXPECT_FALSE(useSubsumption); }},
        {{"-OR-"}, [](auto&) {
             EXPECT_FALSE(OPTIONS.rewriteBasic);
             EXPECT_FALSE(OPTIONS.rewriteProjection);
             EXPECT_TRUE(OPTIONS.rewriteDeleteFalseRules);
         }},
        {{"-OR-", "-OR"}, [](auto&) {
             EXPECT_TRUE(OPTIONS.rewriteBasic);
             EXPECT_TRUE(OPTIONS.rewriteProjection);
         }},
        {{"-ORb-"}, [](auto&) {
             EXPECT_FALSE(OPTIONS.rewriteBasic);
             EXPECT_TRUE(OPTIONS.rewriteProjection);
         }},
        {{"-ORb-", "-ORb"}, [](auto&) { EXPECT_TRUE(OPTIONS.rewriteBasic); }},
        {{"-ORp-"}, [](auto&) {
             EXPECT_FALSE(OPTIONS.rewriteProjection);
             EXPECT_TRUE(OPTIONS.rewriteBasic);
         }},
        {{"-ORp-", "-ORp"}, [](auto&) { EXPECT_TRUE(OPTIONS.rewriteProjection); }},
        {{"-ORdr-"}, [](auto&) { EXPECT_FALSE(OPTIONS.rewriteDeleteFalseRules); }},
        {{"-ORdr-", "-ORdr"}, [](auto&) { EXPECT_TRUE(OPTIONS.rewriteDeleteFalseRules); }},
        {{"-OGp-"}, [](auto&) { EXPECT_FALSE(OPTIONS.propositionalGrounder); }},
        {{"-OGp-", "-OGp"}, [](auto&) { EXPECT_TRUE(OPTIONS.propositionalGrounder); }},
        {{"-OGo0"}, [](auto&) { EXPECT_EQ(OPTIONS.bodyReordering, 0); }},
        {{"-OGo1"}, [](auto&) { EXPECT_EQ(OPTIONS.bodyReordering, 1); }},
        {{"-OGo0", "-OGo2"}, [](auto&) { EXPECT_EQ(OPTIONS.bodyReordering, 2); }},
        {{"-OGs-"}, [](auto&) { EXPECT_FALSE(OPTIONS.semiNaive); }},
        {{"-OGs-", "-OGs"}, [](auto&) { EXPECT_TRUE(OPTIONS.semiNaive); }},
        {{"-OH-"}, [](auto&) { EXPECT_FALSE(OPTIONS.useHeuristics); }},
        {{"-OH-", "-OH"}, [](auto&) { EXPECT_TRUE(OPTIONS.useHeuristics); }},
        {{"-OPf-"}, [](auto&) { EXPECT_FALSE(OPTIONS.partialChecksForwards); }},
        {{"-OPf-", "-OPf"}, [](auto&) { EXPECT_TRUE(OPTIONS.partialChecksForwards); }},
        {{"-OMS", "-OS", "-ORdr-", "--noGUS", "--pospts", "-O0"}, [](auto&) {
             EXPECT_FALSE(useMagicSets || useSubsumption || OPTIONS.rewriteBasic ||
                          OPTIONS.rewriteProjection || OPTIONS.propositionalGrounder ||
                          OPTIONS.semiNaive || OPTIONS.useHeuristics ||
                          OPTIONS.partialChecksForwards);
             EXPECT_EQ(OPTIONS.bodyReordering, 0);
             EXPECT_TRUE(OPTIONS.rewriteDeleteFalseRules);
             EXPECT_FALSE(OPTIONS.useGUS);      // search options are untouched
             EXPECT_FALSE(OPTIONS.negativePT);
         }},
        // Reasoning modes and frontends.
        {{"-brave"}, [](auto&) { EXPECT_EQ(frontend, 1); }},
        {{"-FB"}, [](auto&) { EXPECT_EQ(frontend, 1); }},
        {{"-brave", "-cautious"}, [](auto&) { EXPECT_EQ(frontend, 2); }},
        {{"-FC"}, [](auto&) { EXPECT_EQ(frontend, 2); }},
        {{"-FS"}, [](auto&) { EXPECT_EQ(frontend, 5); }},
        {{"-wait"}, [](auto&) { EXPECT_TRUE(waitAtExit); }},
    };
    for (const OPTIONCASE& c : cases) {
        SCOPED_TRACE(joined(c.args));
        SetUp();
        PARSED parsed = parse(c.args);
        c.check(parsed.run);
        EXPECT_EQ(parsed.err, c.err);
    }
}

TEST_F(Options, FrontendOptionsSetModeTogether) {
    struct {
        const char* option;
        int32_t frontend, diagnosisMode, planningMode;
    } const cases[] = {
        {"-FD", 3, 0, 9},     {"-FDmin", 3, 1, 9},    {"-FDsingle", 3, 2, 9},
        {"-FDmincost", 3, 3, 9}, {"-FR", 4, 0, 9},    {"-FRmin", 4, 1, 9},
        {"-FRsingle", 4, 2, 9},  {"-FPc", 6, 9, 0},   {"-FP", 7, 9, 4},
        {"-FPopt", 7, 9, 2},     {"-FPsec", 7, 9, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        SetUp();
        diagnosisMode = planningMode = 9;  // 9: the option must leave it alone
        parse({"-FS", c.option});
        EXPECT_EQ(frontend, c.frontend);
        EXPECT_EQ(diagnosisMode, c.diagnosisMode);
        EXPECT_EQ(planningMode, c.planningMode);
    }
}

TEST_F(Options, CheckOptionsSelectSecurePlanningEvenWhenIgnored) {
    const std::string checkWarning =
        "-FPcheck Ignored - Implemented checks are 1 and 2. Check defaults to FPcheck=1.\n";
    const std::string soundWarning = "-FPsoundcheck Ignored - Implemented checks are 1 and 2.\n";
    const std::string completeWarning =
        "-FPcompletecheck Ignored - Implemented checks are 1 and 2.\n";
    struct {
        std::vector<const char*> args;
        int32_t secure, sound, complete;
        std::string err;
    } const cases[] = {
        {{"-FPcheck=2"}, 1, -1, -1, ""},
        {{"-FPcheck=2", "-FPcheck=1"}, 0, -1, -1, ""},
        {{"-FPcheck=2", "-FPcheck=3"}, 1, -1, -1, checkWarning},
        {{"-FPcheck="}, 0, -1, -1, checkWarning},
        {{"-FPcheck=0"}, 0, -1, -1, checkWarning},
        {{"-FPcheck=1x"}, 0, -1, -1, checkWarning},
        {{"-FPcheck=-1"}, 0, -1, -1, checkWarning},
        {{"-FPsoundcheck=2"}, 0, 1, -1, ""},
        {{"-FPsoundcheck=1", "-FPsoundcheck=7"}, 0, 0, -1, soundWarning},
        {{"-FPcompletecheck=1"}, 0, -1, 0, ""},
        {{"-FPcompletecheck=a"}, 0, -1, -1, completeWarning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(joined(c.args));
        SetUp();
        planningMode = 4;
        std::vector<const char*> args{"-FD"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        PARSED parsed = parse(args);
        EXPECT_EQ(secureCheckMethod, c.secure);
        EXPECT_EQ(OPTIONS.soundCheckMethod, c.sound);
        EXPECT_EQ(OPTIONS.completeCheckMethod, c.complete);
        EXPECT_EQ(frontend, 7);
        EXPECT_EQ(planningMode, 1);
        EXPECT_EQ(parsed.err, c.err);
    }
}

TEST_F(Options, FiltersAddToEarlierNames) {
    parse({"-filter=p,q", "-pfilter=r", "-filter=,s,,t,", "-filter="});
    EXPECT_EQ(outputFilter, (NAMESET{"", "p", "q", "s", "t"}));
    EXPECT_EQ(positiveOutputFilter, (NAMESET{"r"}));
}

TEST_F(Options, CostBoundsAddUpAcrossOptions) {
    PARSED parsed = parse({"-costbound=_,3", "-costbound=4,5,"});
    const std::vector<std::optional<uint32_t>> expected{std::nullopt, 3u, 4u, 5u};
    EXPECT_EQ(parsed.run.costBounds, expected);
    EXPECT_TRUE(costBoundGiven);
    EXPECT_EQ(parsed.err, "Warning: costbound specification terminated by comma.\n");
}

TEST_F(Options, EmptyCostBoundStillCountsAsGiven) {
    PARSED parsed = parse({"-costbound="});
    EXPECT_TRUE(parsed.run.costBounds.empty());
    EXPECT_TRUE(costBoundGiven);
    EXPECT_EQ(parsed.err, "Warning: Empty costbound specification. Using default costbound.\n");
}

TEST_F(Options, InputFilesKeepOrderAndOptionsAfterThemApply) {
    PARSED parsed = parse({"b.plan", "-FP", "a.dl", "", "-nofacts", "c"});
    ASSERT_EQ(parsed.run.inputFiles.size(), 4u);
    EXPECT_STREQ(parsed.run.inputFiles[0], "b.plan");
    EXPECT_STREQ(parsed.run.inputFiles[1], "a.dl");
    EXPECT_STREQ(parsed.run.inputFiles[2], "");
    EXPECT_STREQ(parsed.run.inputFiles[3], "c");
    EXPECT_EQ(frontend, 7);
    EXPECT_FALSE(OPTIONS.printFacts);
    EXPECT_STREQ(programName, "veltra");
}

TEST_F(Options, DefaultsMatchTheDocumentedTable) {
    const OPTIONRECORD o;
    const int32_t arities[10] = {2, 2, 2, 2, 2, 2, 1, 2, 3, 3};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(o.builtinArities[i], arities[i]) << i;
    EXPECT_EQ(o.maxInt, -1);
    EXPECT_EQ(o.maxIntegerInInput, -1);
    EXPECT_EQ(o.bodyReordering, 2);
    EXPECT_EQ(o.ptCacheSize, 5);
    EXPECT_EQ(o.planLength, -1);
    EXPECT_EQ(o.goalPlanLength, -1);
    EXPECT_EQ(o.planCacheSize, 10000);
    EXPECT_EQ(o.soundCheckMethod, -1);
    EXPECT_EQ(o.completeCheckMethod, -1);
    EXPECT_TRUE(o.rewriteBasic && o.rewriteDeleteFalseRules && o.semiNaive &&
                o.useHeuristics && o.partialChecksForwards && o.printFacts &&
                o.negativePT && o.complementPT && o.canChooseComplementPT &&
                o.internalParse && o.useGUS && o.rewriteProjection &&
                o.propositionalGrounder && o.rulesGround && o.constraintsGround &&
                o.weakConstraintsGround && o.queryGround && o.exportPending);
}

TEST(ParseIntOption, ReadsWholeSignedValuesInRange) {
    struct {
        const char* argument;
        long min, max;
        bool matched;
        int32_t target;  // starts at 77
        bool warns;
    } const cases[] = {
        {"-x=5", 0, 10, true, 5, false},
        {"-x=", 0, 10, true, 0, false},  // an empty value reads as 0
        {"-x= +7", 0, 10, true, 7, false},
        {"-x=-3", -5, 10, true, -3, false},
        {"-x=10", 0, 10, true, 10, false},
        {"-x=11", 0, 10, true, 77, true},
        {"-x=-1", 0, 10, true, 77, true},
        {"-x=5 ", 0, 10, true, 77, true},
        {"-x=0x5", 0, 10, true, 77, true},
        {"-x= ", 0, 10, true, 77, true},
        {"-x=99999999999999999999999", 0, 999999999, true, 77, true},
        {"-y=5", 0, 10, false, 77, false},
        {"-x", 0, 10, false, 77, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        int32_t target = 77;
        testing::internal::CaptureStderr();
        EXPECT_EQ(parseIntOption("-x=", c.argument, target, c.min, c.max), c.matched);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(target, c.target);
        std::ostringstream warning;
        if (c.warns)
            warning << "Argument to -x=<n> must be an integer between " << c.min << " and "
                    << c.max << " (inclusive) - ignored.\n";
        EXPECT_EQ(err, warning.str());
    }
}

TEST(EndsWith, ComparesTheTailByteForByte) {
    struct {
        const char* text;
        const char* suffix;
        bool expected;
    } const cases[] = {
        {"a.plan", ".plan", true},  {".plan", ".plan", true}, {"plan", ".plan", false},
        {"a.plan ", ".plan", false}, {"a.PLAN", ".plan", false}, {"a.hyp", "", true},
        {"", "", true},              {nullptr, ".hyp", false}, {"a.hyp", nullptr, false},
        {nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text ? c.text : "(null)") + " / " +
                     (c.suffix ? c.suffix : "(null)"));
        EXPECT_EQ(endsWith(c.text, c.suffix), c.expected);
    }
}

TEST(ParsePredicateList, CutsAtEveryComma) {
    struct {
        const char* text;
        NAMESET expected;
    } const cases[] = {
        {"", {}},
        {"p", {"p"}},
        {"p,q", {"p", "q"}},
        {"p,,q", {"", "p", "q"}},
        {",p", {"", "p"}},
        {"p,", {"p"}},
        {",", {""}},
        {",,", {""}},
        {"-p,p", {"-p", "p"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        NAMESET names;
        parsePredicateList(c.text, names);
        EXPECT_EQ(names, c.expected);
    }
    NAMESET names{"keep"};
    parsePredicateList("b,a", names);
    EXPECT_EQ(names, (NAMESET{"a", "b", "keep"}));
}

TEST(ParseHeuristicList, AppendsNumbersAndWarnsAboutBadText) {
    const std::string empty = "Warning: Empty heuristic specification. Using default heuristic.\n";
    struct {
        const char* text;
        size_t skip;
        std::vector<uint32_t> before, after;
        std::string err;
    } const cases[] = {
        {"--heuristic=0,2,4", 12, {}, {0, 2, 4}, ""},
        {"--heuristic=7", 12, {1}, {1, 7}, ""},
        {"--heuristic=", 12, {}, {}, empty},
        {"--heuristic=", 12, {3}, {3}, ""},
        {"--heuristic=1,", 12, {}, {1},
         "Warning: Heuristic specification terminated by comma.\n"},
        {"--heuristic=1;2", 12, {}, {1},
         "Warning: Heuristic specification contains a bad delimiter: ';'\n"},
        {"--heuristic=1,x,3", 12, {}, {1}, "Warning: Heuristic specification is bad: 'x,3'\n"},
        {"--heuristic=,1", 12, {}, {}, "Warning: Heuristic specification is bad: ',1'\n" + empty},
        {"--heuristic=1,,2", 12, {}, {1}, "Warning: Heuristic specification is bad: ',2'\n"},
        // Only digits are skipped after a number: a blank before it is then
        // the delimiter.
        {"--heuristic= 5,6", 12, {}, {5},
         "Warning: Heuristic specification contains a bad delimiter: ' '\n"},
        {"--heuristic=99999999999", 12, {}, {UINT32_MAX}, ""},
        {"5,6", 0, {}, {5, 6}, ""},
        {"0,2,4,15,37,7,8,9,10,11", 0, {}, {0, 2, 4, 15, 37, 7, 8, 9, 10, 11}, ""},
        {"ab", 5, {}, {}, empty},  // a skip beyond the text reads nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<uint32_t> list = c.before;
        testing::internal::CaptureStderr();
        parseHeuristicList(c.text, c.skip, list);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(list, c.after);
    }
}

TEST(ParseCostBound, ReadsLevelsAndWarnsAboutBadText) {
    const std::string empty = "Warning: Empty costbound specification. Using default costbound.\n";
    using BOUNDS = std::vector<std::optional<uint32_t>>;
    struct {
        const char* value;
        BOUNDS before, after;
        std::string err;
    } const cases[] = {
        {"5", {}, {5u}, ""},
        {"_,3", {}, {std::nullopt, 3u}, ""},
        {"_", {}, {std::nullopt}, ""},
        {"1,2,", {}, {1u, 2u}, "Warning: costbound specification terminated by comma.\n"},
        {"", {}, {}, empty},
        {"", {7u}, {7u}, ""},
        {"4", {7u}, {7u, 4u}, ""},
        {"x", {}, {}, "Warning: costbound specification is bad: 'x'\n" + empty},
        {"1,x2", {}, {1u}, "Warning: costbound specification is bad: 'x2'\n"},
        {"1;2", {}, {1u}, "Warning: costbound specification contains a bad delimiter: ';'\n"},
        {"_3", {}, {std::nullopt},
         "Warning: costbound specification contains a bad delimiter: '3'\n"},
        {"4294967", {}, {4294967u}, ""},
        {"0", {}, {0u}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        BOUNDS bounds = c.before;
        bool given = costBoundGiven;
        testing::internal::CaptureStderr();
        parseCostBound(c.value, bounds);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(bounds, c.after);
        EXPECT_TRUE(costBoundGiven);
        costBoundGiven = given;
    }
}

// Runs the option loop over args in a death-test child.
void parseInChild(std::vector<const char*> args) {
    RUNSETTINGS run;
    parseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), run);
}

void costBoundInChild(const char* value) {
    std::vector<std::optional<uint32_t>> bounds;
    parseCostBound(value, bounds);
}

TEST(ParseCostBoundDeathTest, BoundBeyondThirtyTwoBitsTimesThousandIsAnError) {
    const char* const values[] = {"4294968", "1,99999999999999999999999", "-1"};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        EXPECT_EXIT(costBoundInChild(value), testing::ExitedWithCode(1),
                    "^Error: costbound value '[-0-9]+' is out of range: a bound must be "
                    "between 0 and 4294967\\.\n$");
    }
}

TEST(OptionsDeathTest, HelpAndLicenceEndTheRunWithStatusZero) {
    for (const char* option : {"-h", "-help", "-license"}) {
        SCOPED_TRACE(option);
        EXPECT_EXIT(parseInChild({"veltra", option, "-bogus"}), testing::ExitedWithCode(0),
                    "^$");
    }
}

TEST(OptionsDeathTest, UnrecognisedOptionEndsTheRunWith255) {
    // Standard output is dropped in the child: standard error must then hold
    // the usage line alone, the hint going to standard output.
    for (const char* option : {"-", "-bogus", "-stats+", "-n", "-OPf=", "-FPcheck", "-N"}) {
        SCOPED_TRACE(option);
        EXPECT_EXIT((std::freopen("/dev/null", "w", stdout),
                     parseInChild({"prog", "-silent", option, "-help"})),
                    testing::ExitedWithCode(255),
                    "^usage: prog \\{FRONTEND\\} \\{OPTIONS\\} \\[filename \\[filename "
                    "\\[\\.\\.\\.\\]\\]\\]\n\n$");
    }
}

TEST(OptionsDeathTest, UnrecognisedOptionPrintsBannerThenHint) {
    // With standard output sent to standard error the whole text is visible.
    EXPECT_EXIT((dup2(2, 1), parseInChild({"prog", "-x"})), testing::ExitedWithCode(255),
                "^Veltra \\[build [^]\n]*\\]\n\nusage: prog \\{FRONTEND\\} \\{OPTIONS\\} "
                "\\[filename \\[filename \\[\\.\\.\\.\\]\\]\\]\n\nSpecify -help for more "
                "detailed usage information\\.\n\n$");
}

TEST_F(Options, BannerIsOneLineAndAnEmptyLine) {
    testing::internal::CaptureStdout();
    printBanner("% Instantiation generated by\n% ");
    std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "% Instantiation generated by\n% Veltra [build ";
    ASSERT_EQ(out.compare(0, head.size(), head), 0) << out;
    EXPECT_NE(out.find("   gcc "), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 3), "]\n\n");
    EXPECT_EQ(out.find('\n', head.size()), out.size() - 2) << out;
}

TEST_F(Options, VerboseBannerAddsTheLicenceOpening) {
    std::string licence = licenceText;
    std::vector<std::string> paragraphs;
    for (size_t start = 0;;) {
        size_t end = licence.find("\n\n", start);
        paragraphs.push_back(licence.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    ASSERT_GE(paragraphs.size(), 4u);
    EXPECT_NE(licence.find("Veltra"), std::string::npos);

    testing::internal::CaptureStdout();
    printBanner("");
    std::string plain = testing::internal::GetCapturedStdout();
    verbose = 1;
    testing::internal::CaptureStdout();
    printBanner("");
    std::string withLicence = testing::internal::GetCapturedStdout();
    EXPECT_EQ(withLicence,
              plain + paragraphs[0] + "\n" + paragraphs[1] + "\n" + paragraphs[2] + "\n\n");
}

TEST(PrintLicenceOpening, StopsAtTheThirdEmptyLineOrTheEnd) {
    struct {
        const char* text;
        const char* expected;
    } const cases[] = {
        {"a\nb\n\nc\n\nd\n\ne\n\nf", "a\nb\nc\nd\n\n"},
        {"a\n\nb", "a\nb\n"},
        {"a\n\n\n\nb", "a\n\n"},
        {"", "\n"},
        {"\n\nx", "\nx\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::ostringstream out;
        printLicenceOpening(out, c.text);
        EXPECT_EQ(out.str(), c.expected);
    }
}

TEST_F(Options, ShortUsageSplitsUsageAndHint) {
    programName = "prog";
    std::ostringstream stream;
    testing::internal::CaptureStdout();
    printUsage(stream, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Specify -help for more detailed usage information.\n\n");
    EXPECT_EQ(stream.str(),
              "usage: prog {FRONTEND} {OPTIONS} [filename [filename [...]]]\n\n");
}

TEST_F(Options, FullUsageKeepsItsExactLines) {
    programName = "prog";
    std::ostringstream stream;
    testing::internal::CaptureStdout();
    printUsage(stream, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const std::string text = stream.str();
    const char* const lines[] = {
        "usage: prog {FRONTEND} {OPTIONS} [filename [filename [...]]]\n\nFrontends:\n\n-FD ",
        "\n-FPsoundcheck=<n>    A sound secure check method.    \n",
        "\n-FPcompletecheck=<n> A complete secure check method. \n",
        "\n-plancache=<N>  Size of the plan cache (number of plans, defaults to 10000)\n",
        "\n-FS           SQL3\n\nGeneral Options:\n\n--            Also read input",
        "\n-wait         Before terminating, wait until Return is pressed.\n\nOutput Options:\n\n",
        "\n -pfilter=X[,Y[,...]\n              Output only positive instances",
        "\n -nofacts     Don't include facts as part of the output.\n",
        "\n-wctrace      Print all (possibly not optimal) models \n",
        "weak constraints.\n\nOptimizations:\n\n-OMS[-]       Magic Sets Rewriting.\n",
        "\n-OPf[-]       Partial model checking ``forwards''.\n\nDefault options: -OR -ORdr "
        "-OGp -OGo2 -OGs -OH -OPf\n\n",
    };
    for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.compare(text.size() - 2, 2, "\n\n"), 0);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 70);
}

}  // namespace
