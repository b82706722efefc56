// analysis/projection.cpp: projection rewriting. A positive literal with a
// variable that nothing else in its rule needs is replaced by an auxiliary
// atom over the needed arguments only, defined by one appended rule; built-ins
// over one literal's variables move into that literal's defining rule.
#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/rewrite.h"
#include "core/aggregate.h"
#include "core/predicatetable.h"

namespace veltra {

bool projectionApplied = false;

namespace {

// Occurrence counts per variable: 0 absent, 1 in exactly one positive
// ordinary literal and nowhere else that needs it (local), above 1 needed.
constexpr int32_t NEEDED = 2;

// Sized to the statement: generated statements may have more variables than
// the input allows.
struct VARIABLEUSE {
    std::vector<int32_t> count;
    std::vector<size_t> owner;  // body position of the literal that counted it last

    explicit VARIABLEUSE(size_t variables) : count(variables, 0), owner(variables, 0) {}
    bool isLocal(int32_t v) const { return count[v] == 1; }
    void markNeeded(const TERM& t) {
        if (!t.isVariable()) return;
        assert(t.index >= 0 && size_t(t.index) < count.size());
        count[t.index] = NEEDED;
    }
    void markNeeded(const ATOM& atom) {
        if (const TERMLIST* terms = atom.terms())
            for (const TERM& t : *terms) markNeeded(t);
    }
};

int32_t kindOf(const LITERAL& l) { return predicateTable.kinds[l.predicate]; }
bool isBuiltinLiteral(const LITERAL& l) { return kindOf(l) == KIND_BUILTIN; }
bool isOrdinaryPositive(const LITERAL& l) {
    return !l.negated && kindOf(l) != KIND_BUILTIN && kindOf(l) != KIND_AGGREGATE;
}

// "position=constant": an integer as int[value], a symbol by its name.
void describeConstantArgument(std::string& name, size_t position, const TERM& t) {
    name += std::to_string(position);
    name += '=';
    if (t.kind == TERM_INTEGER) {
        name += "int[";
        name += std::to_string(integerValue(t));
        name += ']';
    } else if (t.kind == TERM_SYMBOL) {
        name += symbolName(t).str();
    }
}

// "position", and "=earlier" when the variable occurred before at earlier.
void describeVariableArgument(std::string& name, size_t position, const TERM& t, const size_t* earlier) {
    name += std::to_string(position);
    if (earlier[t.index] != 0) {
        name += '=';
        name += std::to_string(earlier[t.index]);
    }
}

// The descriptors of a literal's own arguments: every constant, every local
// variable, and every repeated occurrence of a needed variable.
void describeLiteral(std::string& name, const LITERAL& literal, const VARIABLEUSE& use) {
    std::vector<size_t> earlierPositions(use.count.size(), 0);
    size_t* earlier = earlierPositions.data();
    for (size_t j = 0; j < literal.arity(); ++j) {
        const TERM& t = literal.term(j);
        if (!t.isVariable()) {
            name += ",[";
            describeConstantArgument(name, j + 1, t);
            name += ']';
            continue;
        }
        if (use.isLocal(t.index)) {
            name += ',';
            describeVariableArgument(name, j + 1, t, earlier);
        } else if (earlier[t.index] != 0) {
            name += ",[";
            describeVariableArgument(name, j + 1, t, earlier);
            name += ']';
        }
        earlier[t.index] = j + 1;
    }
}

// Position (from 1) of the last occurrence of variable v in literal; 0: none.
size_t lastPosition(const LITERAL& literal, int32_t v) {
    for (size_t j = literal.arity(); j > 0; --j) {
        const TERM& t = literal.term(j - 1);
        if (t.isVariable() && t.index == v) return j;
    }
    return 0;
}

// A built-in can move next to literal when each argument is a constant or a
// variable of literal.
bool builtinFits(const LITERAL& builtin, const LITERAL& literal) {
    for (size_t k = 0; k < builtin.arity(); ++k) {
        const TERM& t = builtin.term(k);
        if (t.isNull()) return false;
        if (t.isVariable() && lastPosition(literal, t.index) == 0) return false;
    }
    return true;
}

// "_" when negated, the built-in's name, and its arguments relative to literal.
void describeBuiltin(std::string& name, const LITERAL& builtin, const LITERAL& literal) {
    if (builtin.negated) name += '_';
    name += predicateTable.name(builtin.predicate).str();
    for (size_t k = 0; k < builtin.arity(); ++k) {
        const TERM& t = builtin.term(k);
        if (t.isVariable()) {
            name += ',';
            name += std::to_string(lastPosition(literal, t.index));
        } else {
            name += ",[";
            describeConstantArgument(name, k + 1, t);
            name += ']';
        }
    }
}

// Builds the auxiliary atom of name over arguments, appends its defining rule
// when the name is new, and adds the atom to newBody.
void addAuxiliary(const std::string& name, const std::vector<TERM>& arguments, const CONJUNCTION& definition,
                  std::vector<RULE>& rules, CONJUNCTION& newBody) {
    bool known = predicateTable.find(NAME(name)) >= 0;
    ATOM aux(name.c_str(), arguments.empty() ? nullptr : &arguments, KIND_IDB);
    if (!known) {
        RULE rule;
        rule.head = std::make_unique<std::vector<ATOM>>(1, aux);
        rule.body = std::make_unique<CONJUNCTION>(definition);
        rules.push_back(std::move(rule));
    }
    newBody.addLiteral(LITERAL(std::move(aux), false));
}

void raiseCount(const TERM& t, size_t& n) {
    if (t.isVariable() && size_t(t.index) >= n) n = size_t(t.index) + 1;
}

void raiseCount(const ATOM& a, size_t& n) {
    if (const TERMLIST* terms = a.terms())
        for (const TERM& t : *terms) raiseCount(t, n);
    if (const AGGREGATEATOM* agg = a.aggregate()) {
        raiseCount(agg->lowerGuard, n);
        raiseCount(agg->upperGuard, n);
        for (const TERM& t : agg->fn().elementTerms) raiseCount(t, n);
        for (const LITERAL& inner : agg->fn().body.literals) raiseCount(inner, n);
    }
}

// One more than the highest variable number of the statement.
size_t variableCount(const RULE* rule, const CONJUNCTION& body) {
    size_t n = 0;
    if (rule && rule->head)
        for (const ATOM& a : *rule->head) raiseCount(a, n);
    for (const LITERAL& l : body.literals) raiseCount(l, n);
    return n;
}

void markVariables(const RULE* rule, const CONJUNCTION& body, VARIABLEUSE& use) {
    if (rule && rule->head)
        for (const ATOM& a : *rule->head) use.markNeeded(a);
    for (size_t pos = 0; pos < body.size(); ++pos) {
        const LITERAL& l = body.literals[pos];
        if (kindOf(l) == KIND_AGGREGATE) {
            // Guards and the aggregate's own body are needed; element terms
            // are not looked at.
            const AGGREGATEATOM& agg = *l.aggregate();
            use.markNeeded(agg.lowerGuard);
            use.markNeeded(agg.upperGuard);
            const CONJUNCTION& inner = agg.fn().body;
            if (!inner.empty()) use.markNeeded(inner.literals[0]);
        } else if (isBuiltinLiteral(l) || l.negated) {
            use.markNeeded(l);
        } else {
            for (size_t j = 0; j < l.arity(); ++j) {
                const TERM& t = l.term(j);
                if (!t.isVariable()) continue;
                // Counted once per literal: a repeat finds itself the owner.
                if (use.count[t.index] > 0 && use.owner[t.index] == pos) continue;
                ++use.count[t.index];
                use.owner[t.index] = pos;
            }
        }
    }
}

}  // namespace

void projectionRewriting(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints, size_t index,
                         bool isRule) {
    const CONJUNCTION* original = isRule ? rules[index].body.get() : &constraints[index].body;
    if (!original) return;
    size_t candidates = 0;
    for (size_t k = 0; k < original->firstNegative; ++k)
        if (!isBuiltinLiteral(original->literals[k])) ++candidates;
    if (candidates < 2) return;
    projectionApplied = true;

    // A copy: appending defining rules may move the rule in memory.
    const CONJUNCTION body = *original;
    const size_t n = body.size();
    VARIABLEUSE use(variableCount(isRule ? &rules[index] : nullptr, body));
    markVariables(isRule ? &rules[index] : nullptr, body, use);
    std::vector<uint8_t> projected(n, 0), merged(n, 0);
    CONJUNCTION newBody;

    // Literals with local variables, in the order of their lowest local variable.
    for (int32_t v = 0; size_t(v) < use.count.size(); ++v) {
        if (!use.isLocal(v) || projected[use.owner[v]]) continue;
        const LITERAL& literal = body.literals[use.owner[v]];
        projected[use.owner[v]] = 1;
        std::string name = "\"_" + predicateTable.name(literal.predicate).str();
        describeLiteral(name, literal, use);
        std::vector<TERM> arguments;  // the needed occurrences
        for (size_t j = 0; j < literal.arity(); ++j) {
            const TERM& t = literal.term(j);
            if (t.isVariable() && !use.isLocal(t.index)) arguments.push_back(t);
        }
        CONJUNCTION definition;
        for (size_t b = 0; b < n; ++b) {
            const LITERAL& builtin = body.literals[b];
            if (!isBuiltinLiteral(builtin) || !builtinFits(builtin, literal)) continue;
            describeBuiltin(name, builtin, literal);
            definition.addLiteral(builtin);
            merged[b] = 1;
        }
        definition.addLiteral(literal);
        name += '"';
        addAuxiliary(name, arguments, definition, rules, newBody);
    }

    // Literals without local variables are wrapped with the built-ins over
    // them, when some built-in is still left in the body after the projections.
    bool builtinLeft = false;
    for (size_t b = 0; b < n; ++b) builtinLeft |= isBuiltinLiteral(body.literals[b]) && !merged[b];
    for (size_t m = 0; builtinLeft && m < n; ++m) {
        const LITERAL& literal = body.literals[m];
        if (projected[m] || !isOrdinaryPositive(literal) || literal.arity() == 0) continue;
        std::string name = "\"_" + predicateTable.name(literal.predicate).str();
        CONJUNCTION definition;
        for (size_t b = 0; b < n; ++b) {
            const LITERAL& builtin = body.literals[b];
            if (!isBuiltinLiteral(builtin) || !builtinFits(builtin, literal)) continue;
            describeLiteral(name, literal, use);
            describeBuiltin(name, builtin, literal);
            definition.addLiteral(builtin);
            merged[b] = 1;
        }
        if (definition.empty()) continue;
        projected[m] = 1;
        definition.addLiteral(literal);
        name += '"';
        addAuxiliary(name, literal.terms()->toVector(), definition, rules, newBody);
    }

    if (newBody.empty()) return;
    for (size_t pos = 0; pos < n; ++pos) {
        const LITERAL& l = body.literals[pos];
        if (!l.negated && (projected[pos] || merged[pos])) continue;
        newBody.addLiteral(l);
    }
    if (isRule)
        rules[index].body = std::make_unique<CONJUNCTION>(std::move(newBody));
    else
        constraints[index].body = std::move(newBody);
}

void projectRules(std::vector<RULE>& rules) {
    std::vector<CONSTRAINT> none;
    const size_t count = rules.size();
    for (size_t i = 0; i < count; ++i) projectionRewriting(rules, none, i, true);
}

void projectConstraints(std::vector<CONSTRAINT>& constraints, std::vector<RULE>& rules) {
    const size_t count = constraints.size();
    for (size_t i = 0; i < count; ++i) projectionRewriting(rules, constraints, i, false);
}

}  // namespace veltra
