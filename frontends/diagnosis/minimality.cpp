// frontends/diagnosis/minimality.cpp: the check that a diagnosis S is
// subset-minimal, inside the same program. World k is a copy of the theory
// that assumes S without hypothesis k; _notobs(k) holds when world k is no
// diagnosis, and a chain over k = 1..n demands _notobs(k) for every k in S.
#include <algorithm>
#include <iostream>
#include <string>

#include "core/finish.h"
#include "core/options.h"
#include "frontends/diagnosis/diagnosis.h"

namespace veltra {

namespace {

// Fixed variable numbers of the generated rules; a copied statement whose own
// variables reach the world variable's number takes the next unused one.
constexpr int32_t variableX = 27, variableY = 28, variableZ = 26, variableV = 29;

TERM numberSymbol(size_t i) { return symbolTerm(std::to_string(i).c_str()); }

ATOM makeAtom(const char* name, std::vector<TERM> terms) { return ATOM(name, &terms, KIND_IDB); }

LITERAL positive(ATOM atom) { return LITERAL(std::move(atom), false); }
LITERAL negative(ATOM atom) { return LITERAL(std::move(atom), true); }

// =p(t, world): the copy of atom p(t) in a world.
ATOM worldAtom(const ATOM& atom, TERM world) {
    std::string name = "=" + predicateTable.name(atom.predicate).str();
    std::vector<TERM> terms;
    if (const TERMLIST* t = atom.terms()) terms = t->toVector();
    terms.push_back(world);
    return makeAtom(name.c_str(), std::move(terms));
}

// Facts and built-ins are shared by every world; anything else is copied.
LITERAL worldLiteral(const LITERAL& literal, TERM world) {
    int32_t kind = predicateTable.kinds[literal.predicate];
    if (kind == KIND_EDB || kind == KIND_BUILTIN) return literal;
    return LITERAL(worldAtom(literal, world), literal.negated != 0);
}

int32_t highestVariable(const ATOM& atom) {
    int32_t highest = -1;
    if (const TERMLIST* t = atom.terms())
        for (const TERM& x : *t)
            if (x.isVariable()) highest = std::max(highest, x.index);
    return highest;
}

// The world variable of a copied statement: X unless the statement's own
// variables reach its number.
TERM worldVariable(const std::vector<ATOM>* head, const CONJUNCTION* body, const char* what) {
    int32_t highest = -1;
    if (head)
        for (const ATOM& a : *head) highest = std::max(highest, highestVariable(a));
    if (body)
        for (const LITERAL& l : body->literals) highest = std::max(highest, highestVariable(l));
    int32_t number = std::max(variableX, highest + 1);
    if (number >= MAXVARIABLES) {
        std::cout.flush();
        std::cerr << what << " contains too many variables for subset minimal diagnostic reasoning.\n";
        finish(1);
    }
    return variableTerm(number);
}

// The body copied into world, with _hyp(world) added.
CONJUNCTION worldBody(const CONJUNCTION* body, TERM world) {
    CONJUNCTION copy;
    if (body)
        for (const LITERAL& l : body->literals) copy.addLiteral(worldLiteral(l, world));
    copy.addLiteral(positive(makeAtom("_hyp", {world})));
    return copy;
}

void addRule(std::vector<RULE>& rules, const ATOM& head, const CONJUNCTION* body) {
    std::vector<ATOM> heads(1, head);
    rules.emplace_back(&heads, body);
}

void addRuleCopies(std::vector<RULE>& rules, size_t r) {
    for (size_t i = 0; i < r; ++i) {
        // Copied out first: appending may move the rules.
        const RULE rule = rules[i];
        TERM x = worldVariable(rule.head.get(), rule.body.get(), "Rule");
        std::vector<ATOM> head;
        if (rule.head)
            for (const ATOM& a : *rule.head) head.push_back(worldAtom(a, x));
        CONJUNCTION body = worldBody(rule.body.get(), x);
        rules.emplace_back(&head, &body);
    }
}

// _sol1(Y,X) :- _sol(Y), _hyp(X), not _eq(Y,X).
void addSol1Rule(std::vector<RULE>& rules) {
    TERM x = variableTerm(variableX), y = variableTerm(variableY);
    CONJUNCTION body;
    body.addLiteral(positive(makeAtom("_sol", {y})));
    body.addLiteral(positive(makeAtom("_hyp", {x})));
    body.addLiteral(negative(makeAtom("_eq", {y, x})));
    addRule(rules, makeAtom("_sol1", {y, x}), &body);
}

// _eq(V,V) :- _hyp(V).
void addEqRule(std::vector<RULE>& rules) {
    TERM v = variableTerm(variableV);
    CONJUNCTION body;
    body.addLiteral(positive(makeAtom("_hyp", {v})));
    addRule(rules, makeAtom("_eq", {v, v}), &body);
}

// _isntsol(Z) :- _fact(Z).
void addIsntSolBaseRule(std::vector<RULE>& rules) {
    TERM z = variableTerm(variableZ);
    CONJUNCTION body;
    body.addLiteral(positive(makeAtom("_fact", {z})));
    addRule(rules, makeAtom("_isntsol", {z}), &body);
}

// _isntsol(X) :- _isntsol(Y), _succ(Y,X), last, where last is _notobs(X)
// (world X is no diagnosis) or not _sol(X) (X is not in the diagnosis).
void addIsntSolStepRule(std::vector<RULE>& rules, const LITERAL& last) {
    TERM x = variableTerm(variableX), y = variableTerm(variableY);
    CONJUNCTION body;
    body.addLiteral(positive(makeAtom("_isntsol", {y})));
    body.addLiteral(positive(makeAtom("_succ", {y, x})));
    body.addLiteral(last);
    addRule(rules, makeAtom("_isntsol", {x}), &body);
}

// Abductive: _notobs(X) :- _hyp(X), not =o(t,X).
void addNotObsFromObservations(std::vector<RULE>& rules, const std::vector<LITERAL>& observations) {
    TERM x = variableTerm(variableX);
    for (const LITERAL& o : observations) {
        CONJUNCTION body;
        body.addLiteral(positive(makeAtom("_hyp", {x})));
        body.addLiteral(negative(worldAtom(o, x)));
        addRule(rules, makeAtom("_notobs", {x}), &body);
    }
}

// Reiter: =o(t,X) :- _hyp(X).  or, for not o(t):  _notobs(X) :- _hyp(X), =o(t,X).
void addObservationCopies(std::vector<RULE>& rules, const std::vector<LITERAL>& observations) {
    TERM x = variableTerm(variableX);
    for (const LITERAL& o : observations) {
        CONJUNCTION body;
        body.addLiteral(positive(makeAtom("_hyp", {x})));
        if (o.negated) {
            body.addLiteral(positive(worldAtom(o, x)));
            addRule(rules, makeAtom("_notobs", {x}), &body);
        } else {
            addRule(rules, worldAtom(o, x), &body);
        }
    }
}

// Reiter: _notobs(X) :- body copied into world X, _hyp(X).
void addConstraintCopies(std::vector<RULE>& rules, const std::vector<CONSTRAINT>& constraints, size_t m) {
    for (size_t i = 0; i < m; ++i) {
        TERM x = worldVariable(nullptr, &constraints[i].body, "Constraint");
        CONJUNCTION body = worldBody(&constraints[i].body, x);
        addRule(rules, makeAtom("_notobs", {x}), &body);
    }
}

// Reiter: _notobs(X) :- =hᵢ(tᵢ,X), _hyp(X), not _sol1(i,X).
void addNotObsFromHypotheses(std::vector<RULE>& rules, const std::vector<HYPOTHESIS>& hypotheses) {
    TERM x = variableTerm(variableX);
    for (size_t i = 1; i <= hypotheses.size(); ++i) {
        CONJUNCTION body;
        body.addLiteral(positive(worldAtom(hypotheses[i - 1].atom, x)));
        body.addLiteral(positive(makeAtom("_hyp", {x})));
        body.addLiteral(negative(makeAtom("_sol1", {numberSymbol(i), x})));
        addRule(rules, makeAtom("_notobs", {x}), &body);
    }
}

// =hᵢ(tᵢ,X) :- _sol1(i,X).
void addHypothesisCopies(std::vector<RULE>& rules, const std::vector<HYPOTHESIS>& hypotheses) {
    TERM x = variableTerm(variableX);
    for (size_t i = 1; i <= hypotheses.size(); ++i) {
        CONJUNCTION body;
        body.addLiteral(positive(makeAtom("_sol1", {numberSymbol(i), x})));
        addRule(rules, worldAtom(hypotheses[i - 1].atom, x), &body);
    }
}

}  // namespace

void addMinimalityCheck(std::vector<RULE>& rules, size_t r, const std::vector<HYPOTHESIS>& hypotheses,
                        const std::vector<LITERAL>& observations, std::vector<CONSTRAINT>& constraints, size_t m) {
    const size_t n = hypotheses.size();
    addRuleCopies(rules, r);
    addSol1Rule(rules);
    addEqRule(rules);
    addRule(rules, makeAtom("_fact", {numberSymbol(0)}), nullptr);
    addIsntSolBaseRule(rules);
    addIsntSolStepRule(rules, positive(makeAtom("_notobs", {variableTerm(variableX)})));
    addIsntSolStepRule(rules, negative(makeAtom("_sol", {variableTerm(variableX)})));
    CONJUNCTION chainEnd;
    chainEnd.addLiteral(negative(makeAtom("_isntsol", {numberSymbol(n)})));
    constraints.emplace_back(chainEnd, true);
    if (frontend == FRONTEND_REITER_DIAGNOSIS) {
        addObservationCopies(rules, observations);
        addConstraintCopies(rules, constraints, m);
        addNotObsFromHypotheses(rules, hypotheses);
    } else {
        addNotObsFromObservations(rules, observations);
    }
    for (size_t i = 1; i <= n; ++i) {
        addRule(rules, makeAtom("_hyp", {numberSymbol(i)}), nullptr);
        addRule(rules, makeAtom("_succ", {numberSymbol(i - 1), numberSymbol(i)}), nullptr);
    }
    addHypothesisCopies(rules, hypotheses);
}

}  // namespace veltra
