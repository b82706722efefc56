// driver/options.cpp: the option table and the reading of the command line,
// the value parsers with their warnings, and the banner, usage and licence.
#include "driver/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#ifndef VELTRA_BUILD_TAG
#define VELTRA_BUILD_TAG "dev"
#endif
#ifndef VELTRA_BUILD_DATE
#define VELTRA_BUILD_DATE __DATE__
#endif
#ifndef VELTRA_COMPILER_VERSION
#define VELTRA_COMPILER_VERSION __VERSION__
#endif

namespace veltra {

const char* const licenceText =
    "Veltra, a disjunctive logic programming engine.\n"
    "Copyright (C) the Veltra developers.\n"
    "\n"
    "Permission is granted to anyone to use, copy, modify and distribute\n"
    "Veltra, in source or in binary form, for any purpose, provided that this\n"
    "notice and the disclaimer below are kept with every copy and with every\n"
    "substantial portion of the program.\n"
    "\n"
    "Veltra is distributed in the hope that it will be useful, but WITHOUT ANY\n"
    "WARRANTY, without even the implied warranty of MERCHANTABILITY or FITNESS\n"
    "FOR A PARTICULAR PURPOSE. The whole risk as to the quality and the\n"
    "performance of the program, and of the answers it computes, is yours.\n"
    "\n"
    "In no event shall the authors or the copyright holders of Veltra be\n"
    "liable for any claim, damages or other liability, whether in an action of\n"
    "contract, tort or otherwise, arising from, out of or in connection with\n"
    "the program or its use.\n"
    "\n"
    "Modified versions must be marked as such and must not be presented as\n"
    "the original Veltra. The name Veltra may not be used to endorse or promote\n"
    "products derived from it without prior written permission.";

namespace {

constexpr long maxIntOptionValue = 999999999;

// strtoul semantics (leading blanks and a sign accepted, reading stops at the
// first non-digit, no digits give 0), the result saturated at max.
uint32_t readUnsigned(const char* text, uint32_t max) {
    errno = 0;
    unsigned long value = std::strtoul(text, nullptr, 10);
    if (errno == ERANGE || value > max) return max;
    return static_cast<uint32_t>(value);
}

// A check method "1" or "2" as the whole value; 0 when the value is anything
// else.
uint32_t readCheckMethod(const char* value) {
    char* end = nullptr;
    errno = 0;
    unsigned long method = std::strtoul(value, &end, 10);
    if (end == value || *end != '\0' || errno == ERANGE || method == 0 || method > 2)
        return 0;
    return static_cast<uint32_t>(method);
}

}  // namespace

void printLicenceOpening(std::ostream& out, const char* text) {
    int emptyLines = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '\n' && c != text && c[-1] == '\n') {
            if (++emptyLines == 3) break;
            continue;
        }
        out << *c;
    }
    out << '\n';
}

namespace {

[[noreturn]] void unrecognisedOption() {
    printBanner("");
    printUsage(std::cerr, false);
    std::exit(255);
}

// One entry of the option table. An option name ending in "=" matches every
// argument that begins with it and hands the rest to apply as the value; any
// other name matches only the whole argument.
using APPLY = void (*)(const char* argument, const char* value, RUNSETTINGS& run);
struct OPTIONENTRY {
    const char* name;
    APPLY apply;
};

void selectSecurePlanning() {
    frontend = FRONTEND_PLANNING_K;
    planningMode = PLANNING_SECURE;
}

void disableOptimisations() {
    useMagicSets = false;
    useSubsumption = false;
    OPTIONS.rewriteBasic = false;
    OPTIONS.rewriteProjection = false;
    OPTIONS.propositionalGrounder = false;
    OPTIONS.semiNaive = false;
    OPTIONS.useHeuristics = false;
    OPTIONS.partialChecksForwards = false;
    OPTIONS.bodyReordering = 0;
    OPTIONS.rewriteDeleteFalseRules = true;
}

void setFrontend(int32_t value) { frontend = value; }
void setDiagnosis(int32_t front, int32_t mode) {
    frontend = front;
    diagnosisMode = mode;
}
void setPlanning(int32_t front, int32_t mode) {
    frontend = front;
    planningMode = mode;
}

#define VELTRA_FLAG(statement) [](const char*, const char*, RUNSETTINGS&) { statement; }
#define VELTRA_RUN(statement) [](const char*, const char*, RUNSETTINGS& run) { statement; }

// Tried in this order; the first match applies. Only "-n=all" before "-n="
// depends on the order.
const OPTIONENTRY optionTable[] = {
    {"-n=all", VELTRA_RUN(run.n = 0)},
    {"-n=", [](const char*, const char* value, RUNSETTINGS& run) {
         run.n = readUnsigned(value, UINT32_MAX);
     }},
    {"-N=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseIntOption("-N=", argument, OPTIONS.maxInt, 0, maxIntOptionValue);
     }},
    {"-costbound=", [](const char*, const char* value, RUNSETTINGS& run) {
         parseCostBound(value, run.costBounds);
     }},
    {"-det", VELTRA_RUN(run.deterministicOnly = true)},
    {"-instantiate", VELTRA_RUN(run.instantiate = true)},
    {"-filter=", [](const char*, const char* value, RUNSETTINGS&) {
         parsePredicateList(value, outputFilter);
     }},
    {"-pfilter=", [](const char*, const char* value, RUNSETTINGS&) {
         parsePredicateList(value, positiveOutputFilter);
     }},
    {"-facts", VELTRA_FLAG(OPTIONS.printFacts = true)},
    {"-nofacts", VELTRA_FLAG(OPTIONS.printFacts = false)},
    {"-satlike", VELTRA_FLAG(satLike = true)},
    {"-wctrace", VELTRA_FLAG(wcTrace = true)},
    {"-silent", VELTRA_FLAG(silent = true)},
    {"-v", VELTRA_FLAG(verbose = 1)},
    {"--depgraph", VELTRA_RUN(run.dumpDepgraph = true)},
    {"--negpts", VELTRA_FLAG(OPTIONS.negativePT = true)},
    {"--pospts", VELTRA_FLAG(OPTIONS.negativePT = false)},
    {"--ptcache=", [](const char*, const char* value, RUNSETTINGS&) {
         OPTIONS.ptCacheSize = static_cast<int32_t>(readUnsigned(value, INT32_MAX));
         if (OPTIONS.ptCacheSize < 1) {  // an empty candidate list would lose answer sets
             std::cerr << "--ptcache= needs a value of at least 1.\n";
             std::exit(1);
         }
     }},
    {"--complpt", VELTRA_FLAG(OPTIONS.complementPT = true)},
    {"--nocomplpt", VELTRA_FLAG(OPTIONS.complementPT = false)},
    {"--combinecomplpt=", [](const char*, const char* value, RUNSETTINGS&) {
         combineComplementPT = readUnsigned(value, UINT32_MAX);
     }},
    {"--canchoosecomplpt", VELTRA_FLAG(OPTIONS.canChooseComplementPT = true)},
    {"--cannotchoosecomplpt", VELTRA_FLAG(OPTIONS.canChooseComplementPT = false)},
    {"--GUS", VELTRA_FLAG(OPTIONS.useGUS = true)},
    {"--noGUS", VELTRA_FLAG(OPTIONS.useGUS = false)},
    {"--heuristic=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseHeuristicList(argument, 12, heuristicList);
     }},
    {"--cheuristic=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseHeuristicList(argument, 13, checkerHeuristicList);
     }},
    {"--combineheuristic=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseHeuristicList(argument, 19, combineHeuristicList);
     }},
    {"-stats", VELTRA_FLAG(statsLevel = STATS_BASIC)},
    {"-stats++", VELTRA_FLAG(statsLevel = STATS_DETAILED)},
    {"-stats-grounding++", VELTRA_FLAG(statsGrounding = true)},
    {"--print-edb", VELTRA_RUN(run.printMask |= printMaskEdb)},
    {"--print-idb", VELTRA_RUN(run.printMask |= printMaskIdb)},
    {"--print-gidb", VELTRA_RUN(run.printMask |= printMaskGidb)},
    {"--print-constraints", VELTRA_RUN(run.printMask |= printMaskConstraints)},
    {"--print-gconstraints", VELTRA_RUN(run.printMask |= printMaskGconstraints)},
    {"--print-wconstraints", VELTRA_RUN(run.printMask |= printMaskWconstraints)},
    {"--print-gwconstraints", VELTRA_RUN(run.printMask |= printMaskGwconstraints)},
    {"--print-interpret", VELTRA_RUN(run.printMask |= printMaskInterpret)},
    {"-O0", VELTRA_FLAG(disableOptimisations())},
    {"-OMS", VELTRA_FLAG(useMagicSets = true)},
    {"-OMS-", VELTRA_FLAG(useMagicSets = false)},
    {"-OS", VELTRA_FLAG(useSubsumption = true)},
    {"-OS-", VELTRA_FLAG(useSubsumption = false)},
    {"-OR", VELTRA_FLAG(OPTIONS.rewriteBasic = OPTIONS.rewriteProjection = true)},
    {"-OR-", VELTRA_FLAG(OPTIONS.rewriteBasic = OPTIONS.rewriteProjection = false)},
    {"-ORb", VELTRA_FLAG(OPTIONS.rewriteBasic = true)},
    {"-ORb-", VELTRA_FLAG(OPTIONS.rewriteBasic = false)},
    {"-ORp", VELTRA_FLAG(OPTIONS.rewriteProjection = true)},
    {"-ORp-", VELTRA_FLAG(OPTIONS.rewriteProjection = false)},
    {"-ORdr", VELTRA_FLAG(OPTIONS.rewriteDeleteFalseRules = true)},
    {"-ORdr-", VELTRA_FLAG(OPTIONS.rewriteDeleteFalseRules = false)},
    {"-OGp", VELTRA_FLAG(OPTIONS.propositionalGrounder = true)},
    {"-OGp-", VELTRA_FLAG(OPTIONS.propositionalGrounder = false)},
    {"-OGo0", VELTRA_FLAG(OPTIONS.bodyReordering = 0)},
    {"-OGo1", VELTRA_FLAG(OPTIONS.bodyReordering = 1)},
    {"-OGo2", VELTRA_FLAG(OPTIONS.bodyReordering = 2)},
    {"-OGs", VELTRA_FLAG(OPTIONS.semiNaive = true)},
    {"-OGs-", VELTRA_FLAG(OPTIONS.semiNaive = false)},
    {"-OH", VELTRA_FLAG(OPTIONS.useHeuristics = true)},
    {"-OH-", VELTRA_FLAG(OPTIONS.useHeuristics = false)},
    {"-OM-", VELTRA_RUN(run.modelCheckingOff = true)},
    {"-OMm=", [](const char*, const char* value, RUNSETTINGS&) {
         modelCheckMethod = static_cast<int32_t>(readUnsigned(value, INT32_MAX));
         if (modelCheckMethod != 0 && modelCheckMethod != 1 && modelCheckMethod != 5 &&
             modelCheckMethod != 9) {  // the checker knows no other method
             std::cerr << "-OMm= needs one of the values 0, 1, 5 and 9.\n";
             std::exit(1);
         }
     }},
    {"-OPf-", VELTRA_FLAG(OPTIONS.partialChecksForwards = false)},
    {"-OPf", VELTRA_FLAG(OPTIONS.partialChecksForwards = true)},
    {"-brave", VELTRA_FLAG(setFrontend(FRONTEND_BRAVE))},
    {"-FB", VELTRA_FLAG(setFrontend(FRONTEND_BRAVE))},
    {"-cautious", VELTRA_FLAG(setFrontend(FRONTEND_CAUTIOUS))},
    {"-FC", VELTRA_FLAG(setFrontend(FRONTEND_CAUTIOUS))},
    {"-FD", VELTRA_FLAG(setDiagnosis(FRONTEND_ABDUCTIVE_DIAGNOSIS, DIAGNOSIS_PLAIN))},
    {"-FDmincost", VELTRA_FLAG(setDiagnosis(FRONTEND_ABDUCTIVE_DIAGNOSIS, DIAGNOSIS_PENALIZATION))},
    {"-FDmin", VELTRA_FLAG(setDiagnosis(FRONTEND_ABDUCTIVE_DIAGNOSIS, DIAGNOSIS_SUBSET_MINIMAL))},
    {"-FDsingle", VELTRA_FLAG(setDiagnosis(FRONTEND_ABDUCTIVE_DIAGNOSIS, DIAGNOSIS_SINGLE_ERROR))},
    {"-FR", VELTRA_FLAG(setDiagnosis(FRONTEND_REITER_DIAGNOSIS, DIAGNOSIS_PLAIN))},
    {"-FRmin", VELTRA_FLAG(setDiagnosis(FRONTEND_REITER_DIAGNOSIS, DIAGNOSIS_SUBSET_MINIMAL))},
    {"-FRsingle", VELTRA_FLAG(setDiagnosis(FRONTEND_REITER_DIAGNOSIS, DIAGNOSIS_SINGLE_ERROR))},
    {"-FPc", VELTRA_FLAG(setPlanning(FRONTEND_PLANNING_C, 0))},
    {"-FP", VELTRA_FLAG(setPlanning(FRONTEND_PLANNING_K, PLANNING_INTERACTIVE))},
    {"-FPopt", VELTRA_FLAG(setPlanning(FRONTEND_PLANNING_K, PLANNING_OPTIMISTIC))},
    {"-FPsec", VELTRA_FLAG(setPlanning(FRONTEND_PLANNING_K, PLANNING_SECURE))},
    {"-FPcheck=", [](const char*, const char* value, RUNSETTINGS&) {
         if (uint32_t method = readCheckMethod(value))
             secureCheckMethod = static_cast<int32_t>(method) - 1;
         else
             std::cerr << "-FPcheck Ignored - Implemented checks are 1 and 2. Check "
                          "defaults to FPcheck=1.\n";
         selectSecurePlanning();
     }},
    {"-FPsoundcheck=", [](const char*, const char* value, RUNSETTINGS&) {
         if (uint32_t method = readCheckMethod(value))
             OPTIONS.soundCheckMethod = static_cast<int32_t>(method) - 1;
         else
             std::cerr << "-FPsoundcheck Ignored - Implemented checks are 1 and 2.\n";
         selectSecurePlanning();
     }},
    {"-FPcompletecheck=", [](const char*, const char* value, RUNSETTINGS&) {
         if (uint32_t method = readCheckMethod(value))
             OPTIONS.completeCheckMethod = static_cast<int32_t>(method) - 1;
         else
             std::cerr << "-FPcompletecheck Ignored - Implemented checks are 1 and 2.\n";
         selectSecurePlanning();
     }},
    {"-planlength=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseIntOption("-planlength=", argument, OPTIONS.planLength, 0, maxIntOptionValue);
     }},
    {"-planminactions=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseIntOption("-planminactions=", argument, planMinActions, 0, maxIntOptionValue);
     }},
    {"-planmaxactions=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseIntOption("-planmaxactions=", argument, planMaxActions, 0, maxIntOptionValue);
     }},
    {"-plancache=", [](const char* argument, const char*, RUNSETTINGS&) {
         parseIntOption("-plancache=", argument, OPTIONS.planCacheSize, 0, maxIntOptionValue);
     }},
    {"-FS", VELTRA_FLAG(setFrontend(FRONTEND_SQL))},
    {"-wait", VELTRA_FLAG(waitAtExit = true)},
    {"--", VELTRA_RUN(run.readStdin = true)},
    {"-license", [](const char*, const char*, RUNSETTINGS&) {
         printBanner("");
         std::cout << licenceText << '\n';
         std::exit(0);
     }},
    {"-h", [](const char*, const char*, RUNSETTINGS&) {
         printBanner("");
         printUsage(std::cout, true);
         std::exit(0);
     }},
    {"-help", [](const char*, const char*, RUNSETTINGS&) {
         printBanner("");
         printUsage(std::cout, true);
         std::exit(0);
     }},
};

#undef VELTRA_FLAG
#undef VELTRA_RUN

// The first entry of the table that matches argument; null when none does.
// post: the value of a matched "="-option starts at argument + strlen(name).
const OPTIONENTRY* findOption(const char* argument) {
    for (const OPTIONENTRY& entry : optionTable) {
        size_t length = std::strlen(entry.name);
        bool isPrefix = entry.name[length - 1] == '=';
        if (isPrefix ? std::strncmp(argument, entry.name, length) == 0
                     : std::strcmp(argument, entry.name) == 0)
            return &entry;
    }
    return nullptr;
}

}  // namespace

void parseOptions(int argc, char** argv, RUNSETTINGS& run) {
    programName = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-') {  // input files are read after every option
            run.inputFiles.push_back(argument);
            continue;
        }
        const OPTIONENTRY* entry = findOption(argument);
        if (entry == nullptr) unrecognisedOption();
        entry->apply(argument, argument + std::strlen(entry->name), run);
    }
}

void printBanner(const char* prefix) {
    std::cout << prefix << "Veltra [build " VELTRA_BUILD_TAG "/" VELTRA_BUILD_DATE
                           "   gcc " VELTRA_COMPILER_VERSION "]\n\n";
    if (verbose != 0) printLicenceOpening(std::cout, licenceText);
}

void printUsage(std::ostream& stream, bool full) {
    stream << "usage: " << programName
           << " {FRONTEND} {OPTIONS} [filename [filename [...]]]\n\n";
    if (!full) {
        std::cout << "Specify -help for more detailed usage information.\n\n";
        return;
    }
    stream << "Frontends:\n\n"
              "-FD           Abductive diagnosis\n"
              "-FDmin        Abductive diagnosis, subset minimal\n"
              "-FDsingle     Abductive diagnosis, single error\n"
              "-FDmincost    Abductive diagnosis with Penalization\n"
              "-FR           Reiter's diagnosis\n"
              "-FRmin        Reiter's diagnosis, subset minimal\n"
              "-FRsingle     Reiter's diagnosis, single error\n"
              "-FP           Planning with \"K\" Action Language\n"
              "-FPopt        ...find optimistic plans in batch mode\n"
              "-FPsec        ...find secure plans in batch mode\n"
              "-FPc          Planning with \"C\" Action Language\n"
              "-FPcheck=<n>  Secure Check method <n>. Currently implemented: 1,2\n"
              "-FPsoundcheck=<n>    A sound secure check method.    \n"
              "-FPcompletecheck=<n> A complete secure check method. \n"
              "-planlength=<N> Maximum plan length for planning frontend\n"
              "-planminactions=<N> Minimum number of actions per time\n"
              "-planmaxactions=<N> Maximum number of actions per time\n"
              "-plancache=<N>  Size of the plan cache (number of plans, defaults to "
           << OPTIONRECORD().planCacheSize  // the compiled-in default
           << ")\n"
              "-FS           SQL3\n\n"
              "General Options:\n\n"
              "--            Also read input from stdin.\n"
              "-brave        Perform brave reasoning.\n"
              "-cautious     Perform cautious reasoning.\n"
              "-costbound=<N,..,N> Compute the models with cost <= <N,..,N> (N=_ indicates "
              "that no bound is required).\n"
              "-det          Only compute the deterministic consequences.\n"
              "-instantiate  Only ground and print the instantiation.\n"
              "-n=<n>        Compute at most <n> stable models (-n=0 and -n=all give all).\n"
              "-N=<N>        Limit integers to [0,<N>].\n"
              "-wait         Before terminating, wait until Return is pressed.\n\n"
              "Output Options:\n\n"
              "-filter=X[,Y[,...] Output only instances of the specified predicate(s).\n"
              " -pfilter=X[,Y[,...]\n"
              "              Output only positive instances of the specified predicate(s).\n"
              "-facts        Include facts as part of the output.\n"
              " -nofacts     Don't include facts as part of the output.\n"
              "-license      Print the license of this program.\n"
              "-silent       Suppress the startup banner and blank lines.\n"
              "-stats        Print statistics and timings regarding the computation.\n"
              "-v            Be a bit more verbose than usual.\n"
              "-wctrace      Print all (possibly not optimal) models \n"
              "              during computation of weak constraints.\n\n"
              "Optimizations:\n\n"
              "-OMS[-]       Magic Sets Rewriting.\n"
              "-OS[-]        Input subsumption checking.\n"
              "-O0           Disable all optimizations.\n"
              "-OR[-]        Input rewriting.\n"
              "-ORb[-]       Basic input rewriting.\n"
              "-ORp[-]       Projection rewriting.\n"
              "-ORdr[-]      Rewriting deletes rules whose body is\n"
              "              always false.\n"
              "-OGp[-]       Use special grounder for propositional input.\n"
              "-OGo(0|1|2)   Grounding performs (no|simple|advanced)\n"
              "              dynamic body reordering.\n"
              "-OGs          Grounding employs semi-naive evaluation.\n"
              "-OH[-]        Heuristics.\n"
              "-OM-          Special Model Checker mode. Not for general use!\n"
              "-OPf[-]       Partial model checking ``forwards''.\n\n"
              "Default options: -OR -ORdr -OGp -OGo2 -OGs -OH -OPf\n\n";
}

bool parseIntOption(const char* name, const char* argument, int32_t& target, long min,
                    long max) {
    size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0) return false;
    const char* rest = argument + length;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(rest, &end, 10);
    if (*end == '\0' && errno != ERANGE && min <= value && value <= max) {
        target = static_cast<int32_t>(value);
    } else {
        std::cerr << "Argument to " << name << "<n> must be an integer between " << min
                  << " and " << max << " (inclusive) - ignored.\n";
    }
    return true;
}

bool endsWith(const char* text, const char* suffix) {
    if (text == nullptr || suffix == nullptr) return false;
    size_t textLength = std::strlen(text), suffixLength = std::strlen(suffix);
    return textLength >= suffixLength &&
           std::memcmp(text + textLength - suffixLength, suffix, suffixLength) == 0;
}

void parsePredicateList(const char* text, NAMESET& names) {
    const char* start = text;
    while (*start != '\0') {
        const char* comma = std::strchr(start, ',');
        if (comma == nullptr) {
            names.emplace(start);
            return;
        }
        names.emplace(start, static_cast<size_t>(comma - start));
        start = comma + 1;  // a final comma leaves an empty rest: nothing more
    }
}

void parseHeuristicList(const char* text, size_t skip, std::vector<uint32_t>& list) {
    size_t length = std::strlen(text);
    const char* position = text + (skip < length ? skip : length);
    while (*position != '\0') {
        char* end = nullptr;
        errno = 0;
        unsigned long value = std::strtoul(position, &end, 10);
        if (end == position) {
            std::cerr << "Warning: Heuristic specification is bad: '" << position << "'\n";
            break;
        }
        list.push_back(errno == ERANGE || value > UINT32_MAX ? UINT32_MAX
                                                             : static_cast<uint32_t>(value));
        // Only the digits are skipped: a blank or a sign before the number
        // shows up below as a bad delimiter.
        while (*position >= '0' && *position <= '9') ++position;
        if (*position == '\0') break;
        if (*position != ',') {
            std::cerr << "Warning: Heuristic specification contains a bad delimiter: '"
                      << *position << "'\n";
            break;
        }
        if (*++position == '\0') {
            std::cerr << "Warning: Heuristic specification terminated by comma.\n";
            break;
        }
    }
    if (list.empty())
        std::cerr << "Warning: Empty heuristic specification. Using default heuristic.\n";
}

void parseCostBound(const char* value, std::vector<std::optional<uint32_t>>& bounds) {
    const char* position = value;
    while (*position != '\0') {
        if (*position == '_') {
            bounds.push_back(std::nullopt);
            ++position;
        } else {
            char* end = nullptr;
            errno = 0;
            unsigned long bound = std::strtoul(position, &end, 10);
            if (end == position) {
                std::cerr << "Warning: costbound specification is bad: '" << position << "'\n";
                break;
            }
            // Bounds are compared as fixed-point values times 1000 in 32 bits;
            // a larger one would silently wrap.
            if (errno == ERANGE || bound > maxCostBound) {
                std::cerr << "Error: costbound value '"
                          << std::string(position, static_cast<size_t>(end - position))
                          << "' is out of range: a bound must be between 0 and "
                          << maxCostBound << ".\n";
                std::exit(1);
            }
            bounds.push_back(static_cast<uint32_t>(bound));
            while (*position >= '0' && *position <= '9') ++position;
        }
        if (*position == '\0') break;
        if (*position != ',') {
            std::cerr << "Warning: costbound specification contains a bad delimiter: '"
                      << *position << "'\n";
            break;
        }
        if (*++position == '\0') {
            std::cerr << "Warning: costbound specification terminated by comma.\n";
            break;
        }
    }
    if (bounds.empty())
        std::cerr << "Warning: Empty costbound specification. Using default costbound.\n";
    costBoundGiven = true;
}

}  // namespace veltra
