// core/options.h: the option record, the flag globals and the run settings
// that every stage reads; the command line fills them (driver/options.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace veltra {

// Settings with compiled-in defaults that every subsystem reads. After the
// command line only maxInt, maxIntegerInInput, internalParse, the four
// groundness flags and exportPending change.
struct OPTIONRECORD {
    // Arities of "==", "!=", "<", ">", "<=", ">=", "#int", "#succ", "+", "*".
    int32_t builtinArities[10] = {2, 2, 2, 2, 2, 2, 1, 2, 3, 3};
    int32_t maxInt = -1;                // largest integer allowed; -1: no limit given
    int32_t maxIntegerInInput = -1;     // largest integer the parsers saw
    bool rewriteBasic = true;           // basic rewriting
    bool rewriteDeleteFalseRules = true;  // basic rewriting drops always-false bodies
    int32_t bodyReordering = 2;         // 0 none, 1 simple, 2 advanced dynamic
    bool semiNaive = true;              // semi-naive grounding
    bool useHeuristics = true;          // model-generator heuristics
    bool partialChecksForwards = true;  // forward partial model checks
    bool printFacts = true;             // input facts are part of printed models
    bool negativePT = true;             // negative (true) or positive possibly-true literals
    int32_t ptCacheSize = 5;            // possibly-true candidate cache, >= 0
    bool complementPT = true;           // complements of possibly-true literals in lookahead
    bool canChooseComplementPT = true;  // such a complement may be chosen
    bool internalParse = true;          // false only while user input is read
    bool useGUS = true;                 // unfounded-set step of the search
    bool rewriteProjection = true;      // projection rewriting
    bool propositionalGrounder = true;  // special grounder for variable-free input
    bool rulesGround = true;            // no input rule has a variable
    bool constraintsGround = true;      // no constraint has a variable
    bool weakConstraintsGround = true;  // no weak constraint has a variable
    bool queryGround = true;            // the query has no variable
    bool exportPending = true;          // first printed model not yet exported
    int32_t planLength = -1;            // -1: not given
    int32_t goalPlanLength = -1;        // plan length of a goal statement; -1: none
    int32_t planCacheSize = 10000;      // plans
    int32_t soundCheckMethod = -1;      // chosen method minus 1; -1: none
    int32_t completeCheckMethod = -1;   // chosen method minus 1; -1: none
};

extern OPTIONRECORD OPTIONS;

// A set of predicate names ordered by byte-wise comparison; looks up
// std::string_view and const char* without a copy.
using NAMESET = std::set<std::string, std::less<>>;

// The values of frontend: the plain answer-set run, brave and cautious
// reasoning, the two diagnosis frontends, SQL and the two planning languages.
enum : int32_t {
    FRONTEND_PLAIN = 0,
    FRONTEND_BRAVE = 1,
    FRONTEND_CAUTIOUS = 2,
    FRONTEND_ABDUCTIVE_DIAGNOSIS = 3,
    FRONTEND_REITER_DIAGNOSIS = 4,
    FRONTEND_SQL = 5,
    FRONTEND_PLANNING_C = 6,
    FRONTEND_PLANNING_K = 7
};
// The values of diagnosisMode: which diagnoses are wanted.
enum : int32_t {
    DIAGNOSIS_PLAIN = 0,
    DIAGNOSIS_SUBSET_MINIMAL = 1,
    DIAGNOSIS_SINGLE_ERROR = 2,
    DIAGNOSIS_PENALIZATION = 3
};
// The bits of planningMode.
enum : int32_t { PLANNING_SECURE = 1, PLANNING_OPTIMISTIC = 2, PLANNING_INTERACTIVE = 4 };
// The values of statsLevel: none, "-stats", "-stats++".
enum : int32_t { STATS_NONE = 0, STATS_BASIC = 1, STATS_DETAILED = 2 };

// Flag globals, all zero, false or empty at start.
extern int32_t frontend;       // FRONTEND_*
extern int32_t diagnosisMode;  // DIAGNOSIS_*
extern int32_t planningMode;   // PLANNING_* bits
extern int32_t statsLevel;     // STATS_*
extern bool statsGrounding;
extern int32_t modelCheckMethod;  // 0 .. INT32_MAX, unchecked here
extern int32_t verbose;
extern bool silent;
extern bool satLike;
extern bool wcTrace;
extern bool costBoundGiven;  // some "-costbound=" was given, even an empty one
extern uint32_t combineComplementPT;
extern NAMESET outputFilter;
extern NAMESET positiveOutputFilter;
extern std::vector<uint32_t> heuristicList;
extern std::vector<uint32_t> checkerHeuristicList;
extern std::vector<uint32_t> combineHeuristicList;
extern bool useMagicSets;
extern bool useSubsumption;
extern bool waitAtExit;
extern int32_t secureCheckMethod;  // chosen method minus 1
extern int32_t planMinActions;
extern int32_t planMaxActions;

// The program's name as invoked (the first command-line word); "" before the
// command line is read.
extern const char* programName;

// Bits of RUNSETTINGS::printMask, one per "--print-" option.
enum : uint32_t {
    printMaskEdb = 1,             // input facts
    printMaskIdb = 2,             // rules
    printMaskGidb = 4,            // ground rules
    printMaskConstraints = 8,     // constraints
    printMaskGconstraints = 16,   // ground constraints
    printMaskWconstraints = 32,   // weak constraints
    printMaskGwconstraints = 64,  // ground weak constraints
    printMaskInterpret = 128,     // true and undefined atoms after grounding
};

// Largest cost bound of one level: times 1000 it still fits 32 bits.
constexpr uint32_t maxCostBound = 4294967;

// What the command line tells the run driver alone.
struct RUNSETTINGS {
    uint32_t n = 0;  // answer sets requested; 0: all
    // Entry l-1 bounds level l, as given (not yet times 1000, at most
    // maxCostBound); an empty entry ("_") leaves its level unbounded, and so
    // does every level beyond the list.
    std::vector<std::optional<uint32_t>> costBounds;
    bool readStdin = false;         // "--"
    bool deterministicOnly = false; // "-det"
    bool instantiate = false;       // "-instantiate"
    bool dumpDepgraph = false;      // "--depgraph"
    bool modelCheckingOff = false;  // "-OM-"
    uint32_t printMask = 0;         // printMask... bits
    std::vector<const char*> inputFiles;  // arguments not beginning with "-", in order
};

}  // namespace veltra
