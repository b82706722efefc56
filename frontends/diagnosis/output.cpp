// frontends/diagnosis/output.cpp: one line per diagnosis, the hypotheses it
// assumes as the user wrote them.
#include <cstdlib>
#include <iostream>

#include "core/options.h"
#include "frontends/diagnosis/diagnosis.h"

namespace veltra {

namespace {

// " " and hypothesis k's atom when atom is _sol(k).
void printHypothesisOf(const ATOM& atom, int32_t solPredicate) {
    if (atom.predicate != solPredicate || atom.arity() != 1 || atom.term(0).kind != TERM_SYMBOL) return;
    unsigned long k = std::strtoul(symbolName(atom.term(0)).text(), nullptr, 10);
    if (k < 1 || k > hypotheses.size()) return;
    printAtom(std::cout << ' ', hypotheses[k - 1].atom);
}

}  // namespace

bool printDiagnosis(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model) {
    // While weak constraints are optimised, a diagnosis reported before the
    // optimum is known ("-wctrace") is neither counted nor shown as a result.
    const bool maybeNotOptimal = generator && !generator->optimumKnown;
    std::cout << (maybeNotOptimal ? "Current diagnosis [maybe not optimal]:" : "Diagnosis:");
    const int32_t solPredicate = predicateTable.find(NAME("_sol"));
    if (solPredicate >= 0) {
        for (const ATOM& a : trueAtoms.atomsOfPredicate(solPredicate)) printHypothesisOf(a, solPredicate);
        if (model)
            for (int32_t i = 0; i < atomCount; ++i)
                if (isTrueValue(model->values[i])) printHypothesisOf(groundAtom(i), solPredicate);
    }
    std::cout << '\n' << std::flush;
    if (!silent) std::cout << '\n';
    if (generator && !maybeNotOptimal) {
        ++generator->answerSetsPrinted;
        if (generator->answerSetsPrinted == 1) generator->searchTimer.stop();
        if (generator->maxModels != 0 && generator->maxModels == generator->answerSetsPrinted)
            generator->searchState = SEARCH_STOPPED;
    }
    return true;
}

}  // namespace veltra
