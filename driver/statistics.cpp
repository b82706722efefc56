// driver/statistics.cpp: the figures and the layout of the "-stats" report.
#include "driver/statistics.h"

#include <cassert>

#include "core/aggregate.h"
#include "core/predicatetable.h"
#include "core/stagetimers.h"
#include "core/timer.h"
#include "driver/options.h"
#include "generator/statistics.h"

namespace veltra {


namespace {

uint32_t power(uint32_t base, size_t exponent) {
    uint32_t result = 1;
    for (size_t i = 0; i < exponent; ++i) result *= base;  // wraps, as the report does
    return result;
}

// The distinct variables of a statement, any number of them (generated
// statements may have more than the input allows).
struct VARIABLESET {
    std::vector<uint8_t> seen;
    size_t count = 0;

    void add(const ATOM& atom) {
        if (const TERMLIST* terms = atom.terms())
            for (const TERM& t : *terms)
                if (t.isVariable()) {
                    if (size_t(t.index) >= seen.size()) seen.resize(size_t(t.index) + 1, 0);
                    if (!seen[t.index]) ++count;
                    seen[t.index] = 1;
                }
    }
    void add(const CONJUNCTION& body) {
        for (const LITERAL& l : body.literals) add(l);
    }
};

// Body literals plus the ground-set elements of its aggregate literals.
uint32_t bodySize(const GROUNDCONJUNCTION& body) {
    uint32_t size = static_cast<uint32_t>(body.literals.size());
    for (const GROUNDLITERAL& l : body.literals) {
        const ATOM& atom = groundAtom(l.atom);
        if (atom.isAggregate()) size += static_cast<uint32_t>(atom.aggregate()->fn().set().size());
    }
    return size;
}

uint32_t residualConstants() { return static_cast<uint32_t>(symbolTable.count) + static_cast<uint32_t>(numberTable.count); }

void printSizeTable(std::ostream& out) {
    uint32_t constants = residualConstants();
    out << '\n'
        << "Predicates                : " << uint32_t(predicateTable.count) << '\n'
        << "|Herbrand Base|           : "
        << herbrandBaseSize(KIND_EDB, constants) + herbrandBaseSize(KIND_IDB, constants) << '\n'
        << "|Residual Herbrand Univ.| : " << constants << '\n'
        << "|Residual Herbrand Base|  : " << uint32_t(groundAtomCount) << '\n'
        << "Facts (EDB)               : " << uint32_t(edbFacts.size()) << '\n'
        << "Rules (IDB)               : " << uint32_t(rules.size()) << '\n'
        << " are ground?              : " << (OPTIONS.rulesGround ? "yes" : "no") << '\n'
        << " full grounding           : " << fullGroundingSize(rules, constants) << '\n'
        << " actual grounding         : " << uint32_t(groundRules.size()) << '\n'
        << "Constraints               : " << uint32_t(constraints.size()) << '\n'
        << " are ground?              : " << (OPTIONS.constraintsGround ? "yes" : "no") << '\n'
        << " full grounding           : " << fullGroundingSize(constraints, constants) << '\n'
        << " actual grounding         : " << uint32_t(groundConstraints.size()) << '\n'
        << "Weak Constraints          : " << uint32_t(weakConstraints.size()) << '\n'
        << " (actual) grounding       : " << uint32_t(groundWeakConstraints.size()) << '\n';
}

void printTimerLine(std::ostream& out, const char* label, const TIMER& timer) {
    out << label;
    printTime(out, timer) << '\n';
}

// "Time for ... : " with the time, or "n/a" when no answer set was found.
void printAnswerSetTime(std::ostream& out, const char* label, bool found, TIMEVALUE time) {
    out << label;
    if (found)
        printTime(out, time);
    else
        out << "n/a";
    out << "\n (including instantiation)\n";
}

}  // namespace

uint32_t herbrandBaseSize(int32_t kind, uint32_t constants) {
    uint32_t size = 0;
    for (int32_t p = BUILTIN_COUNT; p < predicateTable.count; ++p)
        if (predicateTable.kinds[p] == kind) size += power(constants, size_t(predicateTable.arities[p]));
    return size;
}

uint32_t fullGroundingSize(const std::vector<RULE>& list, uint32_t constants) {
    uint32_t size = 0;
    for (const RULE& rule : list) {
        VARIABLESET variables;
        if (rule.head)
            for (const ATOM& a : *rule.head) variables.add(a);
        if (rule.body) variables.add(*rule.body);
        size += power(constants, variables.count);
    }
    return size;
}

uint32_t fullGroundingSize(const std::vector<CONSTRAINT>& list, uint32_t constants) {
    uint32_t size = 0;
    for (const CONSTRAINT& c : list) {
        VARIABLESET variables;
        variables.add(c.body);
        size += power(constants, variables.count);
    }
    return size;
}

uint32_t structuralSize(const std::vector<GROUNDRULE>& groundRules,
                        const std::vector<GROUNDCONSTRAINT>& groundConstraints,
                        const std::vector<GROUNDWEAKCONSTRAINT>& groundWeakConstraints) {
    uint32_t size = 0;
    for (const GROUNDRULE& r : groundRules) {
        if (r.head) size += static_cast<uint32_t>(r.head->size());
        if (r.body) size += bodySize(*r.body);
    }
    for (const GROUNDCONSTRAINT& c : groundConstraints) size += bodySize(c.body);
    for (const GROUNDWEAKCONSTRAINT& w : groundWeakConstraints) size += static_cast<uint32_t>(w.body.literals.size());
    return size;
}

void printOptionsAndSizes(std::ostream& out) {
    out << "\n\nOptions: "
        << "  ORb = " << OPTIONS.rewriteBasic << "  ORp = " << OPTIONS.rewriteProjection
        << "  ORdr = " << OPTIONS.rewriteDeleteFalseRules << "  OMS = " << useMagicSets
        << "  OS = " << useSubsumption << "  OGp = " << OPTIONS.propositionalGrounder
        << "  OGo = " << OPTIONS.bodyReordering << "  OGs = " << OPTIONS.semiNaive
        << "  OH = " << OPTIONS.useHeuristics << "  OPf = " << OPTIONS.partialChecksForwards << "\n\n";
    if (statsLevel == STATS_BASIC)
        out << "\nResidual Instantiation\n"
            << " Rules                    : " << uint32_t(groundRules.size()) << '\n'
            << " Constraints              : " << uint32_t(groundConstraints.size()) << '\n'
            << " Weak Constraints         : " << uint32_t(groundWeakConstraints.size()) << '\n';
    else if (statsLevel >= STATS_DETAILED)
        printSizeTable(out);
    out << "Structural Size           : "
        << structuralSize(groundRules, groundConstraints, groundWeakConstraints) + uint32_t(edbFacts.size()) << '\n';
}

void printTimings(const MODELGENERATOR* generator, std::ostream& out) {
    if (generator) {
        printSearchStatistics(*generator, out);
        bool found = generator->answerSetsComputed != 0;
        printAnswerSetTime(out, "Time for first answer set : ", found,
                           addTimes(timeOf(generator->searchTimer), timeOf(preprocessingTimer)));
        printAnswerSetTime(out, "Time for all answer sets  : ", found,
                           addTimes(timeOf(generator->totalTimer), timeOf(preprocessingTimer)));
    } else {
        printAnswerSetTime(out, "Time for first answer set : ", true, timeOf(preprocessingTimer));
        printAnswerSetTime(out, "Time for all answer sets  : ", true, timeOf(preprocessingTimer));
    }
    if (statsLevel >= STATS_DETAILED) {
        printTimerLine(out, "Parsing                   : ", parsingTimer);
        printTimerLine(out, "Rewriting-Basic           : ", rewritingBasicTimer);
        printTimerLine(out, "Rewriting-Projection      : ", rewritingProjectionTimer);
        printTimerLine(out, "SubsumptionChecking       : ", subsumptionTimer);
    }
    printTimerLine(out, "Instantiation time        : ", instantiationTimer);
    if (statsLevel >= STATS_DETAILED) {
        printTimerLine(out, " Depgraph                 : ", depgraphTimer);
        printTimerLine(out, " Postprocessing           : ", postprocessingTimer);
        printTimerLine(out, " Constraints              : ", constraintsTimer);
        if (frontend == FRONTEND_PLANNING_K && (planningMode & PLANNING_SECURE))
            out << "Plan sec.checks/cache hits: " << secureCheckCount << '/' << planCacheHits << '\n';
    }
    // Without a search the generator reports its times as zeros.
    printGeneratorTimes(generator, out);
    out << "\n(Timers are informational only and must not be used for benchmarks.  See\n"
        << " the section \"Benchmarks\" of the README for the benchmark policy.)\n";
}

}  // namespace veltra
