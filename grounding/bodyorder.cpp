// grounding/bodyorder.cpp: greedy cost-based ordering of a planned body by
// literal class and by costs estimated from the selectivity figures.
#include <iostream>

#include "core/options.h"
#include "grounding/grounder.h"

namespace veltra {

// Arguments that are constants or bound variables.
static int32_t boundArguments(const ATOM& l, const bool* bound) {
    int32_t b = 0;
    if (const TERMLIST* terms = l.terms())
        for (const TERM& t : *terms)
            if (!t.isVariable() || bound[t.index]) ++b;
    return b;
}

double BODYPLAN::sel(const LITERAL& l, size_t i) const {
    const int32_t p = l.predicate;
    if (!predicateIndex->built[p]) {
        const bool incomplete = predicateTable.kinds[p] != KIND_EDB && !complete[p];
        buildPredicateIndex(l, incomplete, literalSize(static_cast<int32_t>(&l - body.literals.data())), false, delta);
    }
    return predicateIndex->figure(p, i);
}

int32_t BODYPLAN::literalClass(int32_t bodyIndex, const bool* bound) const {
    const LITERAL& l = literal(bodyIndex);
    const int32_t p = l.predicate;
    const int32_t kind = predicateTable.kinds[p];
    if (kind == KIND_AGGREGATE) return isAggregateReady(bodyIndex, bound) ? 4 : 8;
    const int32_t b = boundArguments(l, bound);
    if (kind == KIND_BUILTIN) {
        if (b >= 2 || (b == 1 && (p == BUILTIN_INT || p == BUILTIN_SUCC))) return 0;
        return p > BUILTIN_GE ? 5 : 6;
    }
    const int32_t a = static_cast<int32_t>(l.arity());
    if (l.negated) return b == a ? 2 : 7;
    return b == a ? 1 : 3;
}

bool BODYPLAN::isAggregateReady(int32_t i, const bool* bound) const {
    int32_t unbound = 0;
    for (int32_t v = 0; v < variableCount; ++v)
        if (isAggregateVariable(i, v) && !bound[v]) ++unbound;
    if (unbound == 0) return true;
    return unbound == 1 && literal(i).aggregate()->assignment && isAssignmentReady(i, bound);
}

bool BODYPLAN::isAssignmentReady(int32_t i, const bool* bound) const {
    const AGGREGATEFUNCTION& fn = literal(i).aggregate()->fn();
    if (fn.body.empty()) return false;
    const LITERAL& first = fn.body.literals[0];
    if (const TERMLIST* terms = first.terms())
        for (const TERM& t : *terms)
            if (t.isVariable() && isAggregateVariable(i, t.index) && !bound[t.index]) return false;
    const int32_t p = first.predicate;
    return complete[p] && noUndefinedAtoms[p];
}

void BODYPLAN::initArgumentSelectivity(double* maxSelectivity, uint32_t* occurrences) const {
    for (int32_t k = 0; k < literalCount; ++k) {
        const LITERAL& l = at(k);
        if (l.isAggregate() || l.negated) continue;
        const TERMLIST* terms = l.terms();
        if (!terms) continue;
        const bool builtin = predicateTable.kinds[l.predicate] == KIND_BUILTIN;
        for (size_t i = 0; i < terms->size(); ++i) {
            const TERM& t = (*terms)[i];
            if (!t.isVariable()) continue;
            ++occurrences[t.index];
            double x = builtin ? double(OPTIONS.maxInt) : sel(l, i);
            if (x > maxSelectivity[t.index]) maxSelectivity[t.index] = x;
        }
    }
}

double BODYPLAN::literalCost(const LITERAL& l, uint32_t size, const bool* bound, const double* currentSelectivity,
                             const double* maxSelectivity, const uint32_t* occurrences) const {
    double cost = size;
    if (const TERMLIST* terms = l.terms())
        for (size_t i = 0; i < terms->size(); ++i) {
            const TERM& t = (*terms)[i];
            if (!t.isVariable()) continue;
            const double square = maxSelectivity[t.index] * maxSelectivity[t.index];
            if (occurrences[t.index] > 1) cost = cost * currentSelectivity[t.index] / square;
            if (bound[t.index]) cost = cost * sel(l, i) / square;
        }
    return cost;
}

bool BODYPLAN::compareLiteralCost(int32_t a, int32_t b, int32_t classA, int32_t classB, const bool* bound,
                                  const double* currentSelectivity, const double* maxSelectivity,
                                  const uint32_t* occurrences) const {
    if (classA != 3 || classB != 3) return classA <= classB;
    const uint32_t sizeA = literalSize(a), sizeB = literalSize(b);
    const double costA = literalCost(literal(a), sizeA, bound, currentSelectivity, maxSelectivity, occurrences);
    const double costB = literalCost(literal(b), sizeB, bound, currentSelectivity, maxSelectivity, occurrences);
    if (costB > costA) return true;
    if (costB == costA && sizeA < sizeB) return true;
    if (costB == costA && sizeA == sizeB) {
        const int64_t unboundA = int64_t(literal(a).arity()) - boundArguments(literal(a), bound);
        const int64_t unboundB = int64_t(literal(b).arity()) - boundArguments(literal(b), bound);
        return unboundA > unboundB;
    }
    return false;
}

void BODYPLAN::updateSelectivity(const LITERAL& l, double* currentSelectivity, const double* maxSelectivity) const {
    const bool builtin = predicateTable.kinds[l.predicate] == KIND_BUILTIN;
    if (const TERMLIST* terms = l.terms())
        for (size_t i = 0; i < terms->size(); ++i) {
            const TERM& t = (*terms)[i];
            if (!t.isVariable()) continue;
            const double x = builtin ? 1.0 : sel(l, i);
            currentSelectivity[t.index] = x * currentSelectivity[t.index] / maxSelectivity[t.index];
        }
}

void BODYPLAN::orderBody() {
    const int32_t limit = literalCount - trailingCount;
    if (state == PLAN_PLAIN && limit <= 1) return;
    VARIABLEARRAY<bool> boundArray(variableCount, false);
    VARIABLEARRAY<double> maxArray(variableCount, 0.0);
    VARIABLEARRAY<double> currentArray(variableCount, 0.0);
    VARIABLEARRAY<uint32_t> occurrenceArray(variableCount, 0);
    bool* bound = boundArray.data();
    double* maxSelectivity = maxArray.data();
    double* currentSelectivity = currentArray.data();
    const uint32_t* occurrences = occurrenceArray.data();
    initArgumentSelectivity(maxSelectivity, occurrenceArray.data());
    for (int32_t v = 0; v < variableCount; ++v) currentSelectivity[v] = maxSelectivity[v];

    for (int32_t i = 0; i < limit; ++i) {
        int32_t best = i;
        int32_t bestClass = literalClass(order[i], bound);
        for (int32_t j = i + 1; j < limit; ++j) {
            const int32_t c = literalClass(order[j], bound);
            if (!compareLiteralCost(order[best], order[j], bestClass, c, bound, currentSelectivity, maxSelectivity,
                                    occurrences)) {
                best = j;
                bestClass = c;
            }
        }
        if (bestClass == 8) {
            // An aggregate that can never become ready: its assignment waits
            // on another one that waits on it.
            const LITERAL& l = at(best);
            const AGGREGATEATOM& agg = *l.aggregate();
            const int32_t p = aggregateSetPredicate(l);
            if (complete[p] && noUndefinedAtoms[p]) {
                std::cerr << "Cyclic assignment dependency for _" << static_cast<uint32_t>(agg.lowerGuard.index)
                          << " in " << (l.negated ? "not " : "");
                printAtom(std::cerr, l) << '\n';
                state = PLAN_ERROR;
            }
            return;
        }
        swapPositions(i, best);
        const LITERAL& l = at(i);
        if (l.isAggregate()) {
            const AGGREGATEATOM& agg = *l.aggregate();
            const AGGREGATEFUNCTION& fn = agg.fn();
            if (!fn.body.empty()) {
                const LITERAL& first = fn.body.literals[0];
                if (!predicateIndex->built[first.predicate]) buildPredicateIndex(first, false, 1, true, delta);
            }
            if (!l.negated && agg.assignment && agg.lowerGuard.isVariable()) bound[agg.lowerGuard.index] = true;
        } else if (!l.negated && l.arity() > 0) {
            updateSelectivity(l, currentSelectivity, maxSelectivity);
            for (const TERM& t : *l.terms())
                if (t.isVariable()) bound[t.index] = true;
        }
    }
    if (!empty && statsGrounding) printOrderedBody(std::cerr);
}

void BODYPLAN::printOrderedBody(std::ostream& out) const {
    out << "               Ordered Body:\n               ";
    for (int32_t k = 0; k < literalCount; ++k) {
        if (k > 0) out << ", ";
        const LITERAL& l = at(k);
        if (l.negated) out << "not ";
        printAtom(out, l);
    }
    out << '\n';
}

}  // namespace veltra
