// input/bodyaggregates.cpp: aggregate atoms from their guarded forms, and the
// rewriting of aggregate conjunctions into one auxiliary atom each.
#include "input/bodyaggregates.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "core/finish.h"
#include "input/parse.h"
#include "input/program.h"

namespace veltra {

namespace {

void reportCounted(const std::string& message) {
    reportParseError(message.c_str());
    ++parseErrorCount;
}

bool isComparison(const LITERAL& l) { return predicateTable.isBuiltin(l.predicate) && l.predicate <= BUILTIN_GE; }

// Positive, neither an aggregate nor a comparison.
bool isBinding(const LITERAL& l) { return !l.negated && !l.isAggregate() && !isComparison(l); }

// Negative, a comparison, or an aggregate that assigns nothing.
bool isDemanding(const LITERAL& l) {
    if (l.negated) return true;
    if (const AGGREGATEATOM* a = l.aggregate()) return !a->assignment;
    return isComparison(l);
}

const TERMLIST& argumentsOf(const ATOM& atom) { return atom.arguments(); }

bool hasArgument(const ATOM& atom, const TERM& t) {
    const TERMLIST& args = argumentsOf(atom);
    return std::find(args.begin(), args.end(), t) != args.end();
}

bool occursInBinding(const CONJUNCTION& conjunction, const TERM& t) {
    for (const LITERAL& l : conjunction.literals)
        if (isBinding(l) && hasArgument(l, t)) return true;
    return false;
}

bool contains(const std::vector<TERM>& terms, const TERM& t) {
    return std::find(terms.begin(), terms.end(), t) != terms.end();
}

bool literalLess(const LITERAL& a, const LITERAL& b) { return compareAtoms(a, b) < 0; }
bool literalEqual(const LITERAL& a, const LITERAL& b) { return compareAtoms(a, b) == 0; }

// The literals of one sign in compareAtoms order, without duplicates.
std::vector<LITERAL> sortedPart(const CONJUNCTION& conjunction, bool negated) {
    std::vector<LITERAL> part;
    for (const LITERAL& l : conjunction.literals)
        if (bool(l.negated) == negated) part.push_back(l);
    std::stable_sort(part.begin(), part.end(), literalLess);
    part.erase(std::unique(part.begin(), part.end(), literalEqual), part.end());
    return part;
}

// Inserts a positive literal at its sorted place unless an equal one is there.
void insertSorted(CONJUNCTION& r, const LITERAL& literal) {
    auto first = r.literals.begin();
    auto last = first + static_cast<std::ptrdiff_t>(r.firstNegative);
    auto at = std::lower_bound(first, last, literal, literalLess);
    if (at != last && literalEqual(*at, literal)) return;
    r.literals.insert(at, literal);
    ++r.firstNegative;
}

// The variable numbering of one auxiliary name: order of first appearance.
class RENUMBERING {
public:
    int32_t number(int32_t variable) {
        for (size_t i = 0; i < seen_.size(); ++i)
            if (seen_[i] == variable) return static_cast<int32_t>(i);
        seen_.push_back(variable);
        return static_cast<int32_t>(seen_.size() - 1);
    }

private:
    std::vector<int32_t> seen_;
};

void appendTermToName(const TERM& t, std::string& name, RENUMBERING& renumbering) {
    switch (t.kind) {
    case TERM_SYMBOL: name += '$' + std::to_string(t.index); break;
    case TERM_INTEGER: name += '#' + std::to_string(integerValue(t)); break;
    case TERM_VARIABLE: name += '_' + std::to_string(renumbering.number(t.index)); break;
    default: name += '?'; break;
    }
}

// The aggregate's conjunction is already the single atom the grounder needs.
bool keepsOwnConjunction(const CONJUNCTION& r, const std::vector<TERM>& elementTerms) {
    if (r.size() != 1) return false;
    for (const TERM& t : argumentsOf(r.literals[0]))
        if (t.isVariable() && !contains(elementTerms, t)) return false;
    return true;
}

}  // namespace

GUARD makeGuard(const TERM& term, bool inclusive, bool isLower) {
    const char* error = nullptr;
    if (term.isVariable()) return GUARD{term, inclusive};
    if (term.kind != TERM_INTEGER) {
        error = "A guard should be a number or a variable";
    } else {
        int32_t v = integerValue(term);
        if (v < 0) {
            error = isLower ? "Lower guard should be greater-or-equal than 0" : "Upper guard should be greater-or-equal than 0";
        } else if (inclusive) {
            return GUARD{term, true};
        } else if (isLower) {
            if (v == INT32_MAX)
                error = "Lower guard should be less than MAXINT";
            else
                return GUARD{integerTerm(v + 1), true};
        } else {
            if (v == 0)
                error = "Upper guard should be greater than 0";
            else
                return GUARD{integerTerm(v - 1), true};
        }
    }
    reportCounted(error);
    return GUARD{symbolTerm("#invalid_guard#"), true};
}

ATOM makeAggregateAtom(const GUARD& lower, const GUARD& upper, AGGREGATEDESCRIPTION& description) {
    const char* keyword = aggregateKeywords[description.kind];
    std::unique_ptr<AGGREGATEFUNCTION> function = makeAggregateFunction(description.kind);
    if (!function) {
        reportCounted(std::string("Unsupported aggregate predicate ") + keyword);
        return ATOM(keyword, nullptr, KIND_UNKNOWN);
    }
    function->elementTerms = description.elementTerms;
    function->body = description.body;
    function->groundSet = std::make_unique<GROUNDSET>();
    auto* aggregate = new AGGREGATEATOM;
    aggregate->function = std::move(function);
    aggregate->lowerGuard = lower.term;
    aggregate->lowerInclusive = lower.inclusive;
    aggregate->upperGuard = upper.term;
    aggregate->upperInclusive = upper.inclusive;
    // Only "X = aggregate" (or X <= aggregate <= X) gives X the value.
    aggregate->assignment =
        lower.term.isVariable() && upper.term == lower.term && lower.inclusive && upper.inclusive;
    auto [predicate, ok] = addPredicate(predicateTable, NAME(keyword), 0, KIND_AGGREGATE);
    if (!ok) {
        delete aggregate;
        internalError("ATOM constructor");
    }
    return ATOM(predicate, aggregate);
}

bool aggregatedVariablesAreFree(const ATOM& aggregate, const CONJUNCTION& body) {
    const AGGREGATEFUNCTION& fn = aggregate.aggregate()->fn();
    // The grounder reads the aggregated value as the binding of the first
    // element term, so it must be a variable.
    if (fn.elementTerms.empty() || !fn.elementTerms[0].isVariable()) return false;
    for (const TERM& t : fn.elementTerms) {
        bool found = false;
        for (const LITERAL& l : fn.body.literals) found = found || hasArgument(l, t);
        if (!found) return false;
        for (const LITERAL& l : body.literals) {
            if (const AGGREGATEATOM* a = l.aggregate()) {
                if (a->lowerGuard == t || a->upperGuard == t) return false;
            } else if (hasArgument(l, t)) {
                return false;
            }
        }
    }
    return true;
}

bool checkAggregateSafety(const CONJUNCTION& body, const CONJUNCTION& conjunction, CONJUNCTION& result) {
    result = CONJUNCTION();
    for (const LITERAL& l : conjunction.literals) {
        if (!isDemanding(l)) continue;
        for (const TERM& t : argumentsOf(l))
            if (t.isVariable() && !occursInBinding(body, t) && !occursInBinding(conjunction, t)) {
                reportCounted("Aggregate conjunction is not safe");
                return false;
            }
    }
    result.literals = sortedPart(conjunction, false);
    result.firstNegative = result.literals.size();
    for (LITERAL& l : sortedPart(conjunction, true)) result.literals.push_back(std::move(l));
    return true;
}

bool rewriteAggregateConjunction(const CONJUNCTION& body, const CONJUNCTION& conjunction, CONJUNCTION& result) {
    if (!checkAggregateSafety(body, conjunction, result)) return false;
    std::vector<TERM> unbound;
    for (const LITERAL& l : result.literals) {
        if (!isDemanding(l)) continue;
        for (const TERM& t : argumentsOf(l))
            if (t.isVariable() && !occursInBinding(result, t) && !contains(unbound, t)) unbound.push_back(t);
    }
    for (const TERM& t : unbound)
        for (const LITERAL& l : body.literals)
            if (isBinding(l) && hasArgument(l, t)) {
                insertSorted(result, l);
                break;
            }
    return true;
}

std::string makeAuxiliaryName(const ATOM& aggregate, const CONJUNCTION& rewritten, const std::vector<TERM>& arguments) {
    const AGGREGATEFUNCTION& fn = aggregate.aggregate()->fn();
    RENUMBERING renumbering;
    std::string name = "aux#";
    for (const TERM& t : fn.elementTerms) appendTermToName(t, name, renumbering);
    for (const LITERAL& l : rewritten.literals) {
        if (l.negated) name += '!';
        name += '~' + std::to_string(l.predicate);
        for (const TERM& t : argumentsOf(l)) appendTermToName(t, name, renumbering);
    }
    name += '|' + std::to_string(arguments.size());
    for (const TERM& t : arguments) appendTermToName(t, name, renumbering);
    return name;
}

bool makeAuxiliaryAtom(const ATOM& aggregate, const CONJUNCTION& body, const CONJUNCTION& rewritten, ATOM& out) {
    const AGGREGATEFUNCTION& fn = aggregate.aggregate()->fn();
    // The variables the conjunction shares with the rest of the body, in
    // order of first appearance, then the element terms.
    std::vector<TERM> arguments;
    for (const LITERAL& l : fn.body.literals)
        for (const TERM& t : argumentsOf(l)) {
            if (!t.isVariable() || contains(fn.elementTerms, t) || contains(arguments, t)) continue;
            bool shared = false;
            for (const LITERAL& b : body.literals) {
                if (const AGGREGATEATOM* a = b.aggregate())
                    shared = shared || (a->assignment && a->lowerGuard == t);
                else
                    shared = shared || hasArgument(b, t);
            }
            if (shared) arguments.push_back(t);
        }
    arguments.insert(arguments.end(), fn.elementTerms.begin(), fn.elementTerms.end());
    std::string name = makeAuxiliaryName(aggregate, rewritten, arguments);
    bool isNew = predicateTable.find(NAME(name)) < 0;
    out = ATOM(name.c_str(), &arguments, KIND_IDB);
    return isNew;
}

void processBodyAggregates(CONJUNCTION& body) {
    std::map<std::string, int32_t> savedNames = variableNames;
    uint32_t savedNext = nextVariable;
    for (LITERAL& l : body.literals) {
        if (!l.isAggregate()) continue;
        if (!aggregatedVariablesAreFree(l, body)) {
            reportCounted("Variables to be aggregated over must be free");
            continue;
        }
        AGGREGATEFUNCTION& fn = *l.aggregate()->function;
        CONJUNCTION r;
        if (!rewriteAggregateConjunction(body, fn.body, r)) continue;
        if (keepsOwnConjunction(r, fn.elementTerms)) continue;
        ATOM out;
        if (makeAuxiliaryAtom(l, body, r, out)) {
            RULE definition;
            definition.head = std::make_unique<std::vector<ATOM>>(1, out);
            definition.body = std::make_unique<CONJUNCTION>(std::move(r));
            makeRule(definition);
            variableNames = savedNames;
            nextVariable = savedNext;
        }
        fn.body = CONJUNCTION();
        fn.body.addLiteral(LITERAL(std::move(out), false));
    }
    variableNames = std::move(savedNames);
    nextVariable = savedNext;
}

}  // namespace veltra
