// driver/run.cpp: the road of one run: input, frontend, query, rewriting,
// grounding, search and the end through finish().
#include "driver/run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/cost.h"
#include "core/finish.h"
#include "core/rule.h"
#include "core/stagetimers.h"
#include "driver/output.h"
#include "driver/query.h"
#include "driver/statistics.h"
#include "frontends/diagnosis/diagnosis.h"
#include "frontends/planning/planning.h"
#include "frontends/sql/sql.h"
#include "generator/modelgenerator.h"
#include "grounding/grounder.h"
#include "input/dbstatement.h"
#include "input/parse.h"

namespace veltra {

// A directory opens for reading, and a closed standard input stays a FILE,
// but their first read fails, and a scanner ends the process on a failed
// read: they are refused like a file that does not open.
static bool unreadable(FILE* file) {
    struct stat status;
    return fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode);
}

// Reads one input file with the reader its suffix selects.
static void readInputFile(const char* name) {
    currentFileName = name;
    lineNumber = 0;
    FILE* file = std::fopen(name, "r");
    if (file && unreadable(file)) {
        std::fclose(file);
        file = nullptr;
    }
    if (!file) {
        // Counted like a parse error: a run must not go on as if the file
        // were empty.
        reportParseError("can't open input");
        ++parseErrorCount;
        return;
    }
    if (verbose) std::cout << "Reading \"" << name << "\"";
    lineNumber = 1;
    if (endsWith(name, ".hyp") || endsWith(name, ".obs")) {
        readingObservations = endsWith(name, ".obs");
        readDiagnosisFile(file);
    } else if (endsWith(name, ".sql")) {
        if (frontend != FRONTEND_SQL) {
            std::cerr << "SQL frontend not selected.\n";
            std::exit(1);
        }
        readSQLFile(file);
    } else if (endsWith(name, ".plan")) {
        if (frontend != FRONTEND_PLANNING_C && frontend != FRONTEND_PLANNING_K) {
            std::cerr << "No planning frontend selected.\n";
            std::exit(1);
        }
        parsePlanningFile(file);
    } else {
        parseMainLanguage(file);
    }
    std::fclose(file);
    if (verbose) std::cout << '\n';
}

// Adds ":- p(X..), -p(X..)." for every strongly negated predicate -p whose
// positive counterpart is known; arity clashes end the run after all of them.
static void addConsistencyConstraints() {
    bool arityError = false;
    for (int32_t negated : trueNegatedPredicates) {
        const std::string& negName = predicateTable.name(negated).str();
        std::string posName = negName.substr(1);
        int32_t positive = predicateTable.find(NAME(posName));
        int32_t arity = predicateTable.arities[negated];
        if (positive >= 0 && predicateTable.arities[positive] != arity) {
            std::cerr << posName << " and " << negName << " seen with different arities ("
                      << predicateTable.arities[positive] << " and " << arity << ", respectively).\n";
            arityError = true;
            continue;
        }
        std::vector<TERM> args;
        if (arity > 0) {
            OPTIONS.constraintsGround = false;
            for (int32_t i = 0; i < arity; ++i) args.push_back(variableTerm(i));
        }
        if (predicateTable.kinds[negated] == KIND_UNKNOWN || positive < 0 ||
            predicateTable.kinds[positive] == KIND_UNKNOWN)
            continue;
        CONJUNCTION body;
        body.addLiteral(LITERAL(ATOM(positive, args), false));
        body.addLiteral(LITERAL(ATOM(negated, args), false));
        constraints.emplace_back(body, true);
    }
    if (arityError) finish(1);
}

// The "--print-" options of the non-ground program, in their fixed order.
static void printProgramParts(uint32_t mask) {
    if (mask & printMaskEdb) {
        std::cout << '{';
        edbFacts.forEach([](const ATOM& a) { printAtom(std::cout, a) << ' '; });
        std::cout << "}\n";
    }
    if (mask & printMaskIdb) {
        for (size_t i = 0; i < rules.size(); ++i) printProgramRule(std::cout << (i ? "\n" : ""), rules[i]);
        std::cout << '\n';
    }
    if (mask & printMaskConstraints) {
        for (size_t i = 0; i < constraints.size(); ++i) printProgramConstraint(std::cout << (i ? "\n" : ""), constraints[i]);
        std::cout << '\n';
    }
    if (mask & printMaskWconstraints) {
        for (size_t i = 0; i < weakConstraints.size(); ++i)
            printProgramWeakConstraint(std::cout << (i ? "\n" : ""), weakConstraints[i]);
        std::cout << '\n';
    }
}

// Renames every internal predicate but the aggregates and "#query" to
// "pred" and a number, so that program dumps show no quoted names; the
// predicate stays internal and so stays out of printed models.
static void renameHiddenPredicates() {
    static uint32_t hiddenPredicateCounter = 0;
    for (int32_t i = 0; i < predicateTable.count; ++i) {
        if (!predicateTable.internal[i] || predicateTable.kinds[i] == KIND_AGGREGATE ||
            predicateTable.name(i).str() == "#query")
            continue;
        while (!renamePredicate(predicateTable, i, NAME("pred" + std::to_string(hiddenPredicateCounter++)))) {
        }
    }
}

// The checks before magic sets: a ground query over derived predicates.
static void checkMagicSetsQuery() {
    if (!query) {
        std::cerr << "No query supplied. Cannot apply Magic Sets Optimization.\n";
        finish(1);
    }
    for (const LITERAL& l : query->literals) {
        if (!l.isGround()) {
            std::cerr << "Non-ground queries are not supported yet for the Magic Sets Technique.\n";
            finish(1);
        }
        if (predicateTable.kinds[l.predicate] == KIND_EDB) {
            std::cerr << "EDB predicates are not allowed in queries (" << (l.negated ? "not " : "");
            printAtom(std::cerr, l) << ").\n";
            finish(1);
        }
    }
}

// The "--print-" options of the ground program, in their fixed order.
static void printGroundParts(uint32_t mask) {
    if (mask & printMaskGidb) {
        for (const GROUNDRULE& r : groundRules) printGroundRule(std::cout, r) << '\n';
    }
    if (mask & printMaskGconstraints) {
        for (const GROUNDCONSTRAINT& c : groundConstraints) {
            std::cout << ":- ";
            const auto& ls = c.body.literals;
            printGroundLiterals(std::cout, ls.data(), ls.data() + ls.size(), ", ") << ".\n";
        }
    }
    if (mask & printMaskGwconstraints) {
        printGroundWeakConstraints(std::cout, groundWeakConstraints, "\n") << '\n';
    }
    if (mask & printMaskInterpret) {
        std::cout << "< {";
        trueAtoms.forEach([](const ATOM& a) { printAtom(std::cout, a) << ' '; });
        std::cout << "} , {";
        undefinedAtoms.forEach([](const ATOM& a) { printAtom(std::cout, a) << ' '; });
        std::cout << "} >\n";
    }
}

// The cost bound and the cost of the weak constraints every candidate
// violates, over the levels that carry a cost or a bound.
struct COSTS {
    COSTVECTOR bound, initial;
};

// With no ground rule left to search, every atom that grounding did not make
// true is false in the one model: a ground weak constraint left with only
// negated literals is violated there.
static bool violatedInSingleModel(const GROUNDWEAKCONSTRAINT& w) {
    return groundRules.empty() && w.body.firstNegative == 0;
}

static COSTS buildCosts(const RUNSETTINGS& run) {
    std::vector<int32_t> levels = weakConstraintLevels();
    int32_t bounded = std::min<int32_t>(maxWeakConstraintLevel, static_cast<int32_t>(run.costBounds.size()));
    for (int32_t l = 1; l <= bounded; ++l) levels.push_back(l);
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    costLevels = levels;
    COSTS costs{COSTVECTOR(levels.size()), COSTVECTOR(levels.size())};
    costs.bound.unbounded.assign(levels.size(), 1);
    for (size_t i = 0; i < levels.size(); ++i) {
        int32_t l = levels[i];
        if (l <= bounded && run.costBounds[l - 1]) {
            costs.bound.unbounded[i] = 0;
            costs.bound.values[i] = uint64_t(*run.costBounds[l - 1]) * 1000;
        }
    }
    for (const GROUNDWEAKCONSTRAINT& w : violatedWeakConstraints) {
        int32_t slot = costSlot(integerValue(w.level));
        costs.initial.values[slot] += uint64_t(integerValue(w.weight));
    }
    for (const GROUNDWEAKCONSTRAINT& w : groundWeakConstraints) {
        if (!violatedInSingleModel(w)) continue;
        int32_t slot = costSlot(integerValue(w.level));
        costs.initial.values[slot] += uint64_t(integerValue(w.weight));
    }
    return costs;
}

// "-instantiate": the facts and the residual ground program.
static void printInstantiation() {
    if (OPTIONS.printFacts) {
        std::cout << "% EDB facts:\n";
        edbFacts.forEach([](const ATOM& a) { printAtom(std::cout, a) << ".\n"; });
    }
    if (trueAtoms.size() > 0) {
        std::cout << "% Facts derived to be true in every answer set:\n";
        trueAtoms.forEach([](const ATOM& a) { printAtom(std::cout, a) << ".\n"; });
    }
    if (!groundRules.empty() || !groundConstraints.empty() || !groundWeakConstraints.empty())
        std::cout << "% Residual ground instantiation of the program:\n";
    for (const GROUNDRULE& r : groundRules) printGroundRule(std::cout, r) << '\n';
    std::cout << '\n';
    for (size_t i = 0; i < groundConstraints.size(); ++i) {
        const auto& ls = groundConstraints[i].body.literals;
        std::cout << (i ? "\n" : "") << ":- ";
        printGroundLiterals(std::cout, ls.data(), ls.data() + ls.size(), ", ") << '.';
    }
    std::cout << '\n';
    printGroundWeakConstraints(std::cout, groundWeakConstraints, "\n") << '\n';
    if (satLike)
        for (int32_t i = 0; i < groundAtomCount; ++i) printAtom(std::cout << i << '\t', groundAtom(i)) << '\n';
}

// Grounds the program with the grounder the input allows; false when
// grounding stopped, with the status the run then ends with.
static bool groundInput(const RUNSETTINGS& run, int32_t& status) {
    status = 0;
    instantiationTimer.start();
    bool ok;
    // The propositional grounder does not evaluate aggregates.
    if (OPTIONS.propositionalGrounder && OPTIONS.rulesGround && OPTIONS.constraintsGround &&
        OPTIONS.weakConstraintsGround && OPTIONS.queryGround && !builtinsPresent && !aggregatesPresent) {
        ok = groundPropositional(rules, constraints, weakConstraints, edbFacts, groundRules, groundConstraints,
                                 groundWeakConstraints, violatedWeakConstraints, run.instantiate);
    } else {
        depgraphTimer.start();
        std::vector<CONSTRAINT> noConstraints;
        DG dg(rules, noConstraints, DEPGRAPH_DG_GROUNDING);
        depgraphTimer.stop();
        GROUNDER grounder(dg, run.instantiate);
        ok = grounder.groundProgram(status);
    }
    instantiationTimer.stop();
    return ok;
}

// The single model of a program that grounding left without rules to search.
[[noreturn]] static void reportSingleModel(const COSTS& costs) {
    for (const GROUNDCONSTRAINT& c : groundConstraints)
        if (c.body.firstNegative == 0) finish(0);  // violated by the one candidate
    preprocessingTimer.stop();
    if (frontend == FRONTEND_PLAIN) {
        if (!weakConstraints.empty()) std::cout << "Best model: ";
        printInterpretation(std::cout, &trueAtoms, nullptr);
        std::cout << '\n';
        if (!weakConstraints.empty()) {
            std::cout << "Cost ([Weight:Level]): ";
            if (violatedWeakConstraints.empty() &&
                std::none_of(groundWeakConstraints.begin(), groundWeakConstraints.end(), violatedInSingleModel))
                std::cout << "<0>";
            else
                printCostLine(std::cout, costs.initial, maxWeakConstraintLevel);
            std::cout << '\n';
        }
    } else if (frontend == FRONTEND_BRAVE) {
        braveModelHook(nullptr, trueAtoms, nullptr);
    } else if (frontend == FRONTEND_CAUTIOUS) {
        cautiousModelHook(nullptr, trueAtoms, nullptr);
    } else if (frontend == FRONTEND_ABDUCTIVE_DIAGNOSIS || frontend == FRONTEND_REITER_DIAGNOSIS) {
        printDiagnosis(nullptr, trueAtoms, nullptr);
    } else if (frontend == FRONTEND_SQL) {
        printSQLResult(trueAtoms);
    } else if (frontend == FRONTEND_PLANNING_C || frontend == FRONTEND_PLANNING_K) {
        planFoundHook(nullptr, trueAtoms, nullptr);
    }
    if (statsLevel > STATS_NONE) printTimings(nullptr);
    finish(0);
}

// The banner, a run without input, options that exclude each other. False
// when there is no input: the run ends with status, main's return value.
static bool checkCommandLine(const RUNSETTINGS& run, int& status) {
    // The banner.
    if (run.instantiate)
        printBanner("% Instantiation generated by\n% ");
    else if (!silent)
        printBanner("");

    // No input: nothing to run.
    if (run.inputFiles.empty() && !run.readStdin) {
        status = 0;
        if (verbose) return false;
        printUsage(std::cerr, false);
        status = -1;
        return false;
    }

    // Options that exclude each other.
    if (run.deterministicOnly && frontend != FRONTEND_PLAIN) {
        std::cerr << "Option -det is not applicable for front-ends.\n";
        finish(1);
    }
    if (wcTrace && costBoundGiven) {
        std::cerr << "Options -costbound and -wctrace are not applicable together.\n";
        finish(1);
    }
    return true;
}

// The built-in predicates, then every input file and standard input; parse
// errors end the run.
static void readInput(const RUNSETTINGS& run) {
    preprocessingTimer.start();
    parsingTimer.start();

    // Built-in predicates and object 0.
    registerBuiltins();

    // Input files in command-line order, then standard input.
    OPTIONS.internalParse = false;
    for (const char* name : run.inputFiles) readInputFile(name);
    if (run.readStdin) {
        currentFileName = "";
        if (unreadable(stdin)) {
            lineNumber = 0;
            reportParseError("can't open input");
            ++parseErrorCount;
        } else {
            lineNumber = 1;
            parseMainLanguage(stdin);
        }
    }

    // Names read from here on are the system's own.
    OPTIONS.internalParse = true;
    if (parseErrorCount > 0) {
        std::cerr << "Aborting due to parser errors.\n";
        finish(1);
    }
}

// Objects, the frontend's translation, the consistency constraints of
// strong negation, the query and inheritance, until the end of parsing.
static void joinFrontend(const RUNSETTINGS& run) {
    // Objects beyond the default one make every statement non-ground.
    objectsUsed = objects.size() > 1;
    if (strictRulesUsed && !objectsUsed) {
        std::cerr << "Error: Strict rules used without objects.\n";
        finish(1);
    }
    if (frontend > FRONTEND_CAUTIOUS || objectsUsed)
        OPTIONS.rulesGround = OPTIONS.constraintsGround = OPTIONS.weakConstraintsGround = false;

    // The frontend joins. The subset-minimality check of Reiter's diagnosis
    // copies the theory's constraints, so it needs those of strong negation
    // before the translation.
    const bool consistencyFirst = frontend == FRONTEND_REITER_DIAGNOSIS && diagnosisMode == DIAGNOSIS_SUBSET_MINIMAL;
    if (consistencyFirst) addConsistencyConstraints();
    if (frontend == FRONTEND_ABDUCTIVE_DIAGNOSIS || frontend == FRONTEND_REITER_DIAGNOSIS)
        translateDiagnosis(rules, constraints, weakConstraints, hypotheses, observations);
    if (frontend == FRONTEND_PLANNING_C || frontend == FRONTEND_PLANNING_K) translatePlanningProblem();

    // Strong negation, the query, inheritance.
    if (!consistencyFirst) addConsistencyConstraints();
    if (!setupQuery()) finish(1);
    // Precedence facts that no rule reads are left out unless the EDB is printed or counted.
    if (objectsUsed)
        rewriteInheritance(objects, statsLevel > STATS_NONE || run.instantiate || (run.printMask & printMaskEdb));

    // "#import" and "#export" are read but have no effect.
    if (!importStatements.empty() || !exportStatements.empty()) {
        std::cerr << "This build of Veltra does not support ODBC.\n";
        if (!importStatements.empty()) std::cerr << "Ignoring #import statements.\n";
        if (!exportStatements.empty()) std::cerr << "Ignoring #export statements.\n";
        if (!silent) std::cerr << '\n';
    }

    parsingTimer.stop();
}

// Basic rewriting, projection, subsumption and magic sets.
static void rewriteProgram() {
    // Basic rewriting, always.
    rewritingBasicTimer.start();
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    rewritingBasicTimer.stop();

    // Projection.
    if (OPTIONS.rewriteProjection) {
        rewritingProjectionTimer.start();
        if (!OPTIONS.rulesGround) projectRules(rules);
        if (!OPTIONS.constraintsGround) projectConstraints(constraints, rules);
        renameHiddenPredicates();
        rewritingProjectionTimer.stop();
    }

    // Subsumption.
    if (useSubsumption) {
        subsumptionTimer.start();
        removeSubsumedRules(rules);
        subsumptionTimer.stop();
    }

    // Magic sets.
    if (useMagicSets) {
        checkMagicSetsQuery();
        rewriteMagicSets();
    }
}

// Grounding, the dumps of the ground program, the costs and the freeze of
// the atom table. False when grounding stopped, with the
// status the run then ends with.
static bool groundProgram(const RUNSETTINGS& run, COSTS& costs, int32_t& groundingStatus) {
    // Grounding and the dumps of the ground program.
    groundingStatus = 0;
    bool grounded = groundInput(run, groundingStatus);
    printGroundParts(run.printMask);

    // The weak constraints every candidate violates must stay within the bound.
    costs = buildCosts(run);
    if (!withinCostBound(costs.initial, costs.bound)) finish(1);

    // No ground atom may be created from here on.
    atomTableFrozen = true;
    groundAtomCount = atomCount = static_cast<int32_t>(atomsByIndex.size());
    return grounded;
}

// The statistics header and the runs that end after grounding
// ("--depgraph", "-instantiate", grounding that stopped).
static void endAfterGroundingIfAsked(const RUNSETTINGS& run, bool grounded, int32_t groundingStatus) {
    if (statsLevel > STATS_NONE) printOptionsAndSizes();
    if (run.dumpDepgraph) {
        dumpDependencyGraphs(rules, constraints, groundRules, groundConstraints);
        std::cout.flush();
        std::exit(0);
    }
    // The timings below read every stage timer stopped.
    if (run.instantiate) {
        printInstantiation();
        preprocessingTimer.stop();
        if (statsLevel > STATS_NONE) printTimings(nullptr);
        finish(groundingStatus, false);  // no search ran: no verdict
    }
    if (!grounded) {
        preprocessingTimer.stop();
        if (statsLevel > STATS_NONE) printTimings(nullptr);
        finish(groundingStatus);
    }
}

// The planning frontend's steps after grounding. Grounding that derives
// "$abs" leaves no plan: the run ends as if grounding had proved the program
// inconsistent.
static void afterGrounding() {
    if ((frontend == FRONTEND_PLANNING_C || frontend == FRONTEND_PLANNING_K) && !planningAfterGrounding()) {
        preprocessingTimer.stop();
        if (statsLevel > STATS_NONE) printTimings(nullptr);
        finish(0);
    }
}

// What the search needs besides the ground program: the head-cycle-free
// hint and the heuristic lists. Returns the hint.
static bool prepareSearch() {
    // The head-cycle-free hint, worth a graph only for a large ground program.
    bool programIsHCF = false;
    if (groundRules.size() > 3 * rules.size()) {
        DG dg(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_HCF_TEST);
        programIsHCF = dg.isHCF();
    }

    // Heuristic lists.
    if (heuristicList.empty()) parseHeuristicList("0,2,4,15,37,7,8,9,10,11", 0, heuristicList);
    if (OPTIONS.complementPT) {
        if (combineHeuristicList.empty()) {
            combineHeuristicList.assign(heuristicList.size(), combineComplementPT);
        } else if (combineHeuristicList.size() != heuristicList.size()) {
            std::cerr << "Length of --heuristic does not match length of --combineheuristic.\n";
            finish(1);
        }
    }
    if (checkerHeuristicList.empty()) parseHeuristicList("6", 0, checkerHeuristicList);

    preprocessingTimer.stop();
    return programIsHCF;
}

// The generator, with the hook of the chosen frontend.
static std::unique_ptr<MODELGENERATOR> makeGenerator(RUNSETTINGS& run, const COSTS& costs, bool programIsHCF) {
    MODELHOOK modelHook = nullptr;
    if (frontend == FRONTEND_PLAIN) modelHook = printModelWithCost;
    if (frontend == FRONTEND_BRAVE) modelHook = braveModelHook;
    if (frontend == FRONTEND_CAUTIOUS) modelHook = cautiousModelHook;
    if (frontend == FRONTEND_ABDUCTIVE_DIAGNOSIS || frontend == FRONTEND_REITER_DIAGNOSIS) modelHook = printDiagnosis;
    MODELHOOK candidateFilter = nullptr;
    if (frontend == FRONTEND_PLANNING_C || frontend == FRONTEND_PLANNING_K) {
        modelHook = planFoundHook;
        candidateFilter = securePlanFilter;
    }
    uint32_t checkFlags = 0;
    if (programIsHCF) checkFlags |= CHECK_PROGRAM_IS_HCF;
    if (!run.modelCheckingOff) checkFlags |= CHECK_MODEL_CHECKING_ON;
    if (OPTIONS.useGUS) checkFlags |= CHECK_USE_GUS;
    return std::make_unique<MODELGENERATOR>(
        &groundRules, &groundConstraints, &groundWeakConstraints, query.get(), &edbFacts, &trueAtoms, &run.n,
        &costs.bound, checkFlags, modelHook, candidateFilter, aggregatesPresent, &costs.initial,
        !groundWeakConstraints.empty() || !violatedWeakConstraints.empty(), !weakConstraints.empty(), wcTrace,
        costBoundGiven, static_cast<uint32_t>(costLevels.size()), static_cast<uint32_t>(aggregateCount),
        &heuristicList, &combineHeuristicList);
}

// The search; an optimum proved only by exhausting the search is
// reported afterwards: once for "-n=1", else by a second run that reports
// every answer set of that cost.
static void search(const RUNSETTINGS& run, MODELGENERATOR& generator, const COSTS& costs) {
    if (run.deterministicOnly) {
        generator.printDeterministicConsequences();
        return;
    }
    generator.computeAnswerSets();
    if (!generator.optimumKnown && generator.bestModel) {
        generator.optimumKnown = true;
        if (run.n == 1) {
            generator.reportBestModel();
        } else {
            *generator.initialCost = costs.initial;
            generator.computeAnswerSets();
        }
    }
}

int runDriver(RUNSETTINGS& run) {
    installFinishHook();
    int status = 0;
    if (!checkCommandLine(run, status)) return status;
    readInput(run);
    joinFrontend(run);
    rewriteProgram();

    // The "--print-" options of the non-ground program.
    printProgramParts(run.printMask);

    COSTS costs;
    int32_t groundingStatus = 0;
    bool grounded = groundProgram(run, costs, groundingStatus);
    endAfterGroundingIfAsked(run, grounded, groundingStatus);

    afterGrounding();

    // Nothing left to search; the SQL result is printed only where grounding
    // decided it.
    if (groundRules.empty()) reportSingleModel(costs);
    if (frontend == FRONTEND_SQL) {
        std::cerr << "Error: The SQL result depends on a search for answer sets, which the SQL frontend does not do.\n";
        finish(1);
    }

    bool programIsHCF = prepareSearch();
    std::unique_ptr<MODELGENERATOR> generator = makeGenerator(run, costs, programIsHCF);
    beginModelOutput();
    search(run, *generator, costs);
    endModelOutput();

    if (statsLevel > STATS_NONE) printTimings(generator.get());
    generator.reset();
    finish(0);
}

}  // namespace veltra
