// input/safety.cpp: whether every variable of a statement is bound by a part
// of its body that can produce values.
#include "core/aggregate.h"
#include "input/program.h"

namespace veltra {

namespace {

bool isComparison(const LITERAL& l) { return predicateTable.isBuiltin(l.predicate) && l.predicate <= BUILTIN_GE; }

// Positive ordinary literals, "#int", "#succ", "+", "*", and assignments.
bool isBinding(const LITERAL& l) {
    if (l.negated) return false;
    if (const AGGREGATEATOM* a = l.aggregate()) return a->assignment;
    return !isComparison(l);
}

bool hasArgument(const ATOM& atom, const TERM& t) {
    if (const TERMLIST* terms = atom.terms())
        for (const TERM& x : *terms)
            if (x == t) return true;
    return false;
}

bool isConstant(const TERM& t) { return t.kind == TERM_SYMBOL || t.kind == TERM_INTEGER; }

// Every variable argument of atom is bound in body.
bool argumentsBound(const ATOM& atom, const CONJUNCTION& body) {
    if (const TERMLIST* terms = atom.terms())
        for (const TERM& t : *terms)
            if (t.isVariable() && !isVariableBound(body, t)) return false;
    return true;
}

// An aggregate that binds nothing: its variable guards must be bound in the
// body, and what its own negative literals and comparisons use must be bound
// in the body or in its own conjunction.
bool isAggregateSafe(const AGGREGATEATOM& aggregate, const CONJUNCTION& body) {
    if (aggregate.lowerGuard.isVariable() && !isVariableBound(body, aggregate.lowerGuard)) return false;
    if (aggregate.upperGuard.isVariable() && !isVariableBound(body, aggregate.upperGuard)) return false;
    const CONJUNCTION& own = aggregate.fn().body;
    for (const LITERAL& l : own.literals) {
        if (!l.negated && !isComparison(l)) continue;
        if (const TERMLIST* terms = l.terms())
            for (const TERM& t : *terms)
                if (t.isVariable() && !isVariableBound(body, t) && !isVariableBound(own, t)) return false;
    }
    return true;
}

}  // namespace

bool isVariableBound(const CONJUNCTION& body, const TERM& variable) {
    for (const LITERAL& l : body.literals) {
        if (isBinding(l)) {
            if (const AGGREGATEATOM* a = l.aggregate()) {
                if (a->lowerGuard == variable) return true;
            } else if (hasArgument(l, variable)) {
                return true;
            }
        } else if (!l.negated && l.predicate == BUILTIN_EQ && isComparison(l) && l.arity() == 2) {
            const TERM& a = l.term(0);
            const TERM& b = l.term(1);
            if ((a == variable && isConstant(b)) || (b == variable && isConstant(a))) return true;
        }
    }
    return false;
}

bool isWeightLevelSafe(const std::pair<TERM, TERM>& weightAndLevel, const CONJUNCTION& body) {
    const TERM& weight = weightAndLevel.first;
    const TERM& level = weightAndLevel.second;
    return (!weight.isVariable() || isVariableBound(body, weight)) && (!level.isVariable() || isVariableBound(body, level));
}

bool isBodySafe(const CONJUNCTION& body) {
    for (const LITERAL& l : body.literals) {
        if (isBinding(l)) continue;
        if (const AGGREGATEATOM* a = l.aggregate()) {
            if (!isAggregateSafe(*a, body)) return false;
        } else if (!argumentsBound(l, body)) {
            return false;
        }
    }
    return true;
}

bool isRuleSafe(const RULE& rule) {
    static const CONJUNCTION empty;
    const CONJUNCTION& body = rule.body ? *rule.body : empty;
    if (rule.head)
        for (const ATOM& h : *rule.head)
            if (!argumentsBound(h, body)) return false;
    return !rule.body || isBodySafe(*rule.body);
}

}  // namespace veltra
