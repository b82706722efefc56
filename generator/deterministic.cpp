// generator/deterministic.cpp: "-det", the atoms that the initial
// propagation alone proves true, printed as one set.
#include <iostream>

#include "core/rule.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// Internal predicates never print; with "-filter=" or "-pfilter=" only the
// named ones do ("-filter=p" also admits "-p").
bool passesOutputFilters(const ATOM& atom, const SEARCHSETTINGS& settings) {
    if (predicateTable.internal[atom.predicate]) return false;
    if (settings.outputFilter.empty() && settings.positiveOutputFilter.empty()) return true;
    const std::string& name = predicateTable.name(atom.predicate).str();
    const bool strong = !name.empty() && name[0] == '-';
    if (settings.outputFilter.count(strong ? name.substr(1) : name)) return true;
    return !strong && settings.positiveOutputFilter.count(name) > 0;
}

// The atoms of set that pass the filters, joined by ", ", with a separator
// before the first when separatorPending. True when anything was printed or
// a separator was pending.
bool printAtomSet(const ATOMSET& set, const SEARCHSETTINGS& settings, std::ostream& out, bool separatorPending) {
    set.forEach([&](const ATOM& atom) {
        if (!passesOutputFilters(atom, settings)) return;
        if (separatorPending) out << ", ";
        separatorPending = true;
        if (objectsUsed)
            printOutputAtom(out, atom);
        else
            printAtom(out, atom);
    });
    return separatorPending;
}

}  // namespace

void MODELGENERATOR::printDeterministicConsequences() {
    totalTimer.start();
    searchTimer.start();
    INTERPRETATION interpretation;
    if (!startRun(interpretation, false)) {
        std::cout << "Inconsistency!\n";
    } else {
        std::cout << '{';
        bool pending = false;
        if (settings.printFacts) pending = printAtomSet(*edbFacts, settings, std::cout, pending);
        pending = printAtomSet(*groundTrueAtoms, settings, std::cout, pending);
        for (int32_t a = 0; a < int32_t(interpretation.values.size()); ++a) {
            if (!isTrueValue(interpretation.values[a])) continue;  // must-be-true atoms are not proved
            const ATOM& atom = groundAtom(a);
            if (!passesOutputFilters(atom, settings)) continue;
            if (pending) std::cout << ", ";
            pending = true;
            if (settings.satLike && !isAggregateAtom(a))
                std::cout << uint32_t(a);
            else
                printAtom(std::cout, atom);
        }
        std::cout << "}\n";
    }
    endRun(interpretation);
    totalTimer.stop();
    searchTimer.stop();
}

}  // namespace veltra
