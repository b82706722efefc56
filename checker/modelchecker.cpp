// checker/modelchecker.cpp: the model check entry, its four methods, the
// inner satisfiability test and the checker's statistics.
#include "checker/modelchecker.h"

#include <algorithm>
#include <cassert>
#include <iostream>
#include <sstream>

#include "core/finish.h"
#include "core/options.h"
#include "core/timer.h"

namespace veltra {

ATOMFLAGS* unfoundedSetOut = nullptr;
bool* unfoundedSetFoundOut = nullptr;
double worstCheckTime = 0;
double worstInnerCheckTime = 0;
uint32_t maxInnerCheckAtoms = 0;

namespace {

// Scratch sets, all zero between uses, so that a check touches only the
// atoms it marks instead of allocating and zeroing one array per component.
ATOMFLAGS wholeSet;
ATOMFLAGS componentSet;

double elapsedSeconds(const TIMER& t) { return double(t.seconds) + double(t.microseconds) / 1000000.0; }

void raiseTo(double& worst, const TIMER& t) {
    const double seconds = elapsedSeconds(t);
    if (seconds > worst) worst = seconds;
}

bool countsAsTestable(const INTERPRETATION& interpretation, ATOMID a) {
    return checkerTrue(interpretation.values[a]) && !groundAtom(a).isAggregate();
}

// Marks every true non-aggregate atom; returns their number.
// pre: set is all zero with one byte per ground atom.
uint32_t markTrueAtoms(const INTERPRETATION& interpretation, ATOMFLAGS& set) {
    uint32_t count = 0;
    for (ATOMID a = 0; a < ATOMID(set.size()); ++a)
        if (countsAsTestable(interpretation, a)) {
            set[a] = 1;
            ++count;
        }
    return count;
}

void prepareScratch(ATOMFLAGS& set, size_t atoms) {
    if (set.size() != atoms) set.assign(atoms, 0);
}

void clearMembers(ATOMFLAGS& set, LISTVIEW<int32_t> members) {
    for (int32_t a : members) set[a] = 0;
}

// Reports that no rule was kept: each atom of the head clause is unfounded on
// its own, so the first one is handed back.
void reportFirstHeadAtom(const std::vector<ATOMID>& headClause, size_t atoms) {
    if (unfoundedSetOut) {
        unfoundedSetOut->assign(atoms, 0);
        (*unfoundedSetOut)[headClause.front()] = 1;
    }
    if (unfoundedSetFoundOut) *unfoundedSetFoundOut = true;
}

// Per ground atom: its variable in the solver's problem, -1 at rest.
std::vector<int32_t> variableOf;
// Per variable: its atom; and the solver's model, one byte per variable.
std::vector<ATOMID> atomOfVariable;
std::vector<uint8_t> variableModel;
std::vector<ATOMID> headClause;

// Numbers the atoms of the set in ascending order: those of members when
// given (they hold every atom of the set), otherwise of all ground atoms. The
// solver's per-call work is then sized by the set, not by all ground atoms.
void numberVariables(const ATOMFLAGS& set, const LISTVIEW<int32_t>* members) {
    if (variableOf.size() < set.size()) variableOf.resize(set.size(), -1);
    atomOfVariable.clear();
    if (members) {
        for (int32_t a : *members)
            if (set[a]) atomOfVariable.push_back(a);
    } else {
        for (ATOMID a = 0; a < ATOMID(set.size()); ++a)
            if (set[a]) atomOfVariable.push_back(a);
    }
    for (size_t v = 0; v < atomOfVariable.size(); ++v) variableOf[atomOfVariable[v]] = int32_t(v);
    satState.variableCount = int32_t(atomOfVariable.size());
}

// The inner test shared by checkWholeProgram and innerCheck. write puts the
// unfounded-set program into the solver's clause arrays (headClause receives
// the head clause) and returns the number of rules it kept. members: null,
// or the ascending atoms that hold every atom of the set.
template <class WRITE>
bool runInnerTest(const ATOMFLAGS* set, uint32_t atomTotal, int32_t kind, const LISTVIEW<int32_t>* members,
                  WRITE write) {
    if (atomTotal > maxInnerCheckAtoms) maxInnerCheckAtoms = atomTotal;
    TIMER stopwatch;
    stopwatch.start();
    bool result = true;
    if (atomTotal > 0) {
        if (kind != INNER_TEST_SAT) internalError("model check");
        numberVariables(*set, members);
        const int32_t kept = write(variableOf.data(), headClause);
        if (headClause.empty()) {
            // No atom worth making unfounded: no unfounded set the caller asks
            // about, and no clause for the solver to loop on.
            result = true;
        } else if (kept > 0) {
            result = !satSolveClauses(unfoundedSetOut ? &variableModel : nullptr, atomOfVariable.data());
            if (!result && unfoundedSetOut) {
                unfoundedSetOut->assign(set->size(), 0);
                for (size_t v = 0; v < atomOfVariable.size(); ++v)
                    if (variableModel[v]) (*unfoundedSetOut)[atomOfVariable[v]] = 1;
            }
            if (!result && unfoundedSetFoundOut) *unfoundedSetFoundOut = true;
        } else {
            reportFirstHeadAtom(headClause, set->size());
            result = false;
        }
        for (ATOMID a : atomOfVariable) variableOf[a] = -1;
    }
    stopwatch.stop();
    raiseTo(worstInnerCheckTime, stopwatch);
    return result;
}

// innerCheck over a component whose members hold every atom of the set.
bool innerCheckMembers(RULEPOINTERS componentRules, LISTVIEW<int32_t> members, const INTERPRETATION& interpretation,
                       const ATOMFLAGS* atomsToCheck, ATOMFLAGS* set, uint32_t atomTotal, int32_t kind) {
    return runInnerTest(set, atomTotal, kind, &members, [&](const int32_t* numbering, std::vector<ATOMID>& head) {
        return writeReducedMemberProgram(componentRules, members, interpretation, atomsToCheck, set, numbering, head);
    });
}

bool cyclicAndDisjunctive(GDG& gdg, int32_t component) {
    if (!gdg.flagsComputed()) gdg.computeComponentFlags();
    return gdg.isComponentCyclic(component) && gdg.disjunctive[component];
}

// Modular method: the leftover atoms' reduced program, split by the
// components of its own graph.
bool checkModular(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                  const ATOMFLAGS* atomsToCheck) {
    const size_t atoms = interpretation.values.size();
    prepareScratch(wholeSet, atoms);
    uint32_t left = markTrueAtoms(interpretation, wholeSet);
    supportFixpoint(rules, interpretation, &wholeSet, left);

    std::vector<GROUNDRULE> reducedRules;
    std::vector<GROUNDCONSTRAINT> reducedConstraints;
    REDUCEDRULE accumulator;
    accumulator.rulesOut = &reducedRules;
    accumulator.constraintsOut = &reducedConstraints;
    int32_t kept = 0;
    for (const GROUNDRULE& rule : rules) {
        accumulator.clear();
        kept += reduceRule(rule, interpretation, &wholeSet, accumulator, false);
    }
    std::fill(wholeSet.begin(), wholeSet.end(), 0);
    if (kept == 0) return left == 0;

    GDG graph(reducedRules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
    if (graph.isHCF()) return false;
    prepareScratch(componentSet, atoms);
    uint64_t componentAtoms = 0;
    for (size_t c = 0; c < graph.componentCount(); ++c) {
        const LISTVIEW<int32_t> members = graph.components[c];
        for (int32_t a : members) componentSet[a] = 1;
        uint32_t count = uint32_t(members.size());
        componentAtoms += count;
        const RULEPOINTERS componentRules = graph.componentRules[c].ruleList;
        bool passed;
        if (cyclicAndDisjunctive(graph, int32_t(c))) {
            passed = innerCheckMembers(componentRules, members, interpretation, atomsToCheck, &componentSet, count,
                                       INNER_TEST_SAT);
        } else {
            componentSupportFixpoint(componentRules, interpretation, &componentSet, count);
            passed = count == 0;
        }
        clearMembers(componentSet, members);
        if (!passed) return false;
    }
    return componentAtoms >= left;
}

}  // namespace

bool checkModel(const INTERPRETATION& interpretation, const std::vector<GROUNDRULE>& rules, bool programIsHCF, GDG& gdg,
                const ATOMFLAGS* atomsToCheck, ATOMFLAGS* unfoundedSet, bool* unfoundedSetFound) {
    // The results and scratch sets are process-wide: checks never nest.
    static bool checking = false;
    assert(!checking);
    checking = true;
    (void)checking;
    unfoundedSetOut = unfoundedSet;
    unfoundedSetFoundOut = unfoundedSetFound;
    if (unfoundedSetFound) *unfoundedSetFound = false;
    TIMER stopwatch;
    stopwatch.start();
    bool result = true;
    switch (modelCheckMethod) {
    case CHECK_METHOD_WHOLE:
        if (programIsHCF || gdg.isHCF())
            result = checkWholeProgram(gdg, rules, interpretation, atomsToCheck, true, INNER_TEST_NONE);
        else
            result = checkWholeProgram(gdg, rules, interpretation, atomsToCheck, true, INNER_TEST_SAT);
        break;
    case CHECK_METHOD_COMPONENTS:
        for (size_t c = 0; c < gdg.componentCount() && result; ++c)
            result = checkComponent(gdg, interpretation, atomsToCheck, int32_t(c), INNER_TEST_SAT);
        break;
    case CHECK_METHOD_MODULAR:
        result = checkModular(rules, interpretation, atomsToCheck);
        break;
    case CHECK_METHOD_SAT_ONLY:
        result = checkWholeProgram(gdg, rules, interpretation, atomsToCheck, false, INNER_TEST_SAT);
        break;
    default:
        internalError("model check");
    }
    stopwatch.stop();
    raiseTo(worstCheckTime, stopwatch);
    checking = false;
    return result;
}

bool checkWholeProgram(GDG& gdg, const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                       const ATOMFLAGS* atomsToCheck, bool useSupportFixpoint, int32_t kind) {
    prepareScratch(wholeSet, interpretation.values.size());
    uint32_t count = markTrueAtoms(interpretation, wholeSet);
    bool result;
    if (useSupportFixpoint) supportFixpoint(rules, interpretation, &wholeSet, count);
    if (useSupportFixpoint && count == 0) {
        result = true;
    } else if (useSupportFixpoint && gdg.isHCF()) {
        result = false;  // head-cycle-free: the leftover atoms are unfounded
    } else {
        result = runInnerTest(&wholeSet, count, kind, nullptr, [&](const int32_t* numbering, std::vector<ATOMID>& head) {
            return writeReducedProgram(rules, interpretation, atomsToCheck, &wholeSet, numbering, head);
        });
    }
    if (count > 0) std::fill(wholeSet.begin(), wholeSet.end(), 0);
    return result;
}

bool checkComponent(GDG& gdg, const INTERPRETATION& interpretation, const ATOMFLAGS* atomsToCheck, int32_t component,
                    int32_t kind) {
    prepareScratch(componentSet, interpretation.values.size());
    const LISTVIEW<int32_t> members = gdg.components[size_t(component)];
    uint32_t count = 0;
    for (int32_t a : members)
        if (countsAsTestable(interpretation, a)) {
            componentSet[a] = 1;
            ++count;
        }
    const RULEPOINTERS rules = gdg.componentRules[size_t(component)].ruleList;
    componentSupportFixpoint(rules, interpretation, &componentSet, count);
    const bool result =
        count == 0 || (cyclicAndDisjunctive(gdg, component) &&
                       innerCheckMembers(rules, members, interpretation, atomsToCheck, &componentSet, count, kind));
    clearMembers(componentSet, members);
    return result;
}

bool innerCheck(RULEPOINTERS componentRules, const INTERPRETATION& interpretation, const ATOMFLAGS* atomsToCheck,
                ATOMFLAGS* set, uint32_t atomTotal, int32_t kind) {
    return runInnerTest(set, atomTotal, kind, nullptr, [&](const int32_t* numbering, std::vector<ATOMID>& head) {
        return writeReducedComponentProgram(componentRules, interpretation, atomsToCheck, set, numbering, head);
    });
}

void startCheckRun() { satForgetKeys(); }

void printModelCheckerStatistics() {
    // A fresh stream keeps the default notation whatever flags std::cerr carries.
    std::ostringstream text;
    text << "Worst single MC time      : " << worstCheckTime << "s\n";
    text << "Worst single inner MC time: " << worstInnerCheckTime << "s\n";
    text << "Max. atoms for inner MC   : " << maxInnerCheckAtoms << '\n';
    std::cerr << text.str();
}

}  // namespace veltra
