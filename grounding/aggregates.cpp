// grounding/aggregates.cpp: aggregate literals during grounding: the check
// that a rule's aggregates read only earlier components, the evaluation of an
// aggregate over the known atoms, and its test against the guards.
#include <iostream>

#include "grounding/grounder.h"

namespace veltra {

int32_t aggregateSetPredicate(const ATOM& aggregateAtom) {
    const AGGREGATEFUNCTION& fn = aggregateAtom.aggregate()->fn();
    if (fn.body.empty()) return aggregateAtom.predicate;
    const LITERAL& first = fn.body.literals[0];
    if (!first.isAggregate()) return first.predicate;
    const AGGREGATEFUNCTION& inner = first.aggregate()->fn();
    return inner.body.empty() ? first.predicate : inner.body.literals[0].predicate;
}

bool GROUNDER::checkAggregateRecursion(const RULE& rule, int32_t component) const {
    if (!rule.body) return false;
    for (const LITERAL& l : rule.body->literals) {
        if (!l.isAggregate()) continue;
        const int32_t p = aggregateSetPredicate(l);
        if (depgraph.isNode(p) && depgraph.componentOf[p] >= 0 && depgraph.componentOf[p] < component) continue;
        std::cerr << "Error on rule ";
        printProgramRule(std::cerr, rule)
            << " : the predicates appearing in the aggregate atom cannot be recursive with the head of the rule.\n";
        return true;
    }
    return false;
}

// A variable guard must be bound to an integer.
static void checkGuard(const LITERAL& literal, const TERM& guard, const TERM* bindings, const char* message) {
    if (!guard.isVariable() || bindings[guard.index].kind == TERM_INTEGER) return;
    std::cout.flush();
    std::cerr << message << (literal.negated ? "not " : "");
    printAtom(std::cerr, literal) << '\n';
    std::exit(1);
}

void GROUNDER::instantiateAggregateAtom(const LITERAL& literal, TERM* binding) {
    // The pattern's own function is the working storage of the evaluation;
    // the join resets it when it backtracks over the literal.
    AGGREGATEATOM& agg = *const_cast<LITERAL&>(literal).aggregate();
    AGGREGATEFUNCTION& fn = agg.fn();
    if (fn.body.empty() || fn.body.literals[0].isAggregate()) {
        fn.finalizeBounds();
        return;
    }
    const LITERAL& elements = fn.body.literals[0];
    const int32_t p = elements.predicate;
    if (atomCount[p] == 0) {
        fn.finalizeBounds();
        return;
    }
    if (!agg.assignment) {
        checkGuard(literal, agg.lowerGuard, binding, "Lower guard must be an integer in ");
        checkGuard(literal, agg.upperGuard, binding, "Upper guard must be an integer in ");
    }
    const bool edb = predicateTable.kinds[p] == KIND_EDB;
    const TERM& valueTerm = fn.elementTerms.empty() ? TERM() : fn.elementTerms[0];
    LITERALMATCHER& m = aggregateMatcher_;
    m.start(elements, binding, nullptr, SOURCE_OLD, predicateIndex && predicateIndex->indexed[p]);
    // A match of an element atom whose variables are all bound is the same
    // on every call: take it once.
    bool once = m.allBound;
    while (matchLiteral(elements, m, binding)) {
        const TERM value = valueTerm.isVariable() ? binding[valueTerm.index] : valueTerm;
        const ATOM& instance = scratchInstance(elements, binding);
        const bool certainlyTrue = edb ? edbFacts.contains(instance) : trueAtoms.contains(instance);
        if (certainlyTrue) {
            fn.setTruthValue(value, true);
        } else {
            ATOMID id = internAtom(instance);
            if (!fn.groundSet) fn.groundSet = std::make_unique<GROUNDSET>();
            fn.groundSet->add(GROUNDSETELEMENT{value, id});
        }
        fn.addUndefined(value);
        unbindLiteral(elements, m, binding);
        if (once) break;
    }
    if (fn.groundSet) fn.groundSet->normalize();
    fn.finalizeBounds();
}

bool GROUNDER::checkAggregateAssignment(const LITERAL& literal, TERM* binding) {
    AGGREGATEATOM& agg = *const_cast<LITERAL&>(literal).aggregate();
    const AGGREGATEFUNCTION& fn = agg.fn();
    if (fn.hasNoValue()) return true;
    if (agg.lowerGuard.isVariable() && !binding[agg.lowerGuard.index].isNull()) {
        agg.assignment = 0;  // its variable is bound elsewhere: a plain check from now on
    } else if (agg.assignment) {
        if (!noUndefinedAtoms[aggregateSetPredicate(literal)]) {
            std::cerr << "Aggregate function cannot be applied on disjunctive or unstratified predicates, if it is "
                         "used in an assignment with an unbounded variable.\n";
            state = GROUNDER_ERROR;
            return false;
        }
        if (fn.lower < INT32_MIN || fn.lower > INT32_MAX) {
            std::cout.flush();
            std::cerr << "Aggregate value " << fn.lower << " does not fit a 32-bit integer in ";
            printAtom(std::cerr, literal) << '\n';
            std::exit(1);
        }
        binding[agg.lowerGuard.index] = knownIntegerTerm(static_cast<int32_t>(fn.lower));
        return false;
    }
    checkGuard(literal, agg.lowerGuard, binding, "Lower guard must be an integer in ");
    checkGuard(literal, agg.upperGuard, binding, "Upper guard must be an integer in ");
    const TERM& lowerTerm = agg.lowerGuard.isVariable() ? binding[agg.lowerGuard.index] : agg.lowerGuard;
    const TERM& upperTerm = agg.upperGuard.isVariable() ? binding[agg.upperGuard.index] : agg.upperGuard;
    const int64_t lowerValue = integerValue(lowerTerm), upperValue = upperGuardValue(upperTerm);
    const int64_t lo = agg.lowerInclusive ? lowerValue : lowerValue + 1;
    const int64_t hi = agg.upperInclusive ? upperValue : upperValue - 1;
    if (lo > hi || lo > fn.upper || hi < fn.lower) return !literal.negated;  // certainly false
    const bool lowerHolds = lowerValue < fn.lower || (agg.lowerInclusive && lowerValue == fn.lower);
    const bool upperHolds = upperValue > fn.upper || (agg.upperInclusive && upperValue == fn.upper);
    if (lowerHolds && upperHolds) return literal.negated;  // certainly true
    return false;
}

}  // namespace veltra
