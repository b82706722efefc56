// frontends/diagnosis/translate.cpp: the checks of a diagnosis problem against
// its variant, and the rules, constraints and weak constraints whose answer
// sets are its diagnoses.
#include <iostream>
#include <string>

#include "core/groundprogram.h"
#include "core/finish.h"
#include "core/options.h"
#include "frontends/diagnosis/diagnosis.h"

namespace veltra {

void factsToRules(const ATOM& atom) {
    int32_t& kind = predicateTable.kinds[atom.predicate];
    const int32_t before = kind;
    if (before == KIND_IDB) return;
    kind = KIND_IDB;
    if (before == KIND_UNKNOWN) return;
    if (size_t(atom.predicate) >= edbFacts.byPredicate.size()) return;
    auto& facts = edbFacts.byPredicate[atom.predicate];
    for (const ATOM& fact : facts) {
        std::vector<ATOM> head(1, fact);
        rules.emplace_back(&head, nullptr);
    }
    facts.clear();
}

namespace {

[[noreturn]] void refuse(const char* message) {
    std::cout.flush();
    std::cerr << message << '\n';
    finish(1);
}

bool isAb(int32_t predicate) { return predicateTable.name(predicate).str() == "ab"; }

bool hasNegation(const CONJUNCTION* body) { return body && body->firstNegative < body->size(); }

bool hasAggregate(const CONJUNCTION* body) {
    if (body)
        for (const LITERAL& l : body->literals)
            if (l.isAggregate()) return true;
    return false;
}

// The atom of predicate name applied to the number i as a symbolic constant.
ATOM numberedAtom(const char* name, size_t i) {
    std::vector<TERM> terms(1, symbolTerm(std::to_string(i).c_str()));
    return ATOM(name, &terms, KIND_IDB);
}

void addRule(std::vector<RULE>& rules, const ATOM& head, const CONJUNCTION* body) {
    std::vector<ATOM> heads(1, head);
    rules.emplace_back(&heads, body);
}

void addConstraint(std::vector<CONSTRAINT>& constraints, const LITERAL& literal) {
    CONJUNCTION body;
    body.addLiteral(literal);
    constraints.emplace_back(body, true);
}

// hᵢ :- _sol(i).
void addHypothesisRules(std::vector<RULE>& rules, const std::vector<HYPOTHESIS>& hypotheses) {
    for (size_t i = 1; i <= hypotheses.size(); ++i) {
        CONJUNCTION body;
        body.addLiteral(LITERAL(numberedAtom("_sol", i), false));
        addRule(rules, hypotheses[i - 1].atom, &body);
    }
}

// :- hᵢ, not _sol(i).  An abnormality derived must also be assumed.
void addReiterHypothesisConstraints(std::vector<CONSTRAINT>& constraints, const std::vector<HYPOTHESIS>& hypotheses) {
    for (size_t i = 1; i <= hypotheses.size(); ++i) {
        CONJUNCTION body;
        body.addLiteral(LITERAL(hypotheses[i - 1].atom, false));
        body.addLiteral(LITERAL(numberedAtom("_sol", i), true));
        constraints.emplace_back(body, true);
    }
}

// _sol(i) v _notsol(i).
void addSolutionGuess(std::vector<RULE>& rules, const std::vector<HYPOTHESIS>& hypotheses) {
    for (size_t i = 1; i <= hypotheses.size(); ++i) {
        std::vector<ATOM> head{numberedAtom("_sol", i), numberedAtom("_notsol", i)};
        rules.emplace_back(&head, nullptr);
    }
}

// _sol(1) v ... v _sol(n).
void addSingleErrorGuess(std::vector<RULE>& rules, const std::vector<HYPOTHESIS>& hypotheses) {
    if (hypotheses.empty()) refuse("Cannot perform single error diagnostic reasoning without hypotheses.");
    std::vector<ATOM> head;
    for (size_t i = 1; i <= hypotheses.size(); ++i) head.push_back(numberedAtom("_sol", i));
    rules.emplace_back(&head, nullptr);
}

// :~ hᵢ. [wᵢ:1], the weight in its fixed-point form.
void addHypothesisWeights(std::vector<WEAKCONSTRAINT>& weakConstraints, const std::vector<HYPOTHESIS>& hypotheses) {
    for (const HYPOTHESIS& h : hypotheses) {
        WEAKCONSTRAINT w;
        w.body.addLiteral(LITERAL(h.atom, false));
        w.level = integerTerm(1);
        w.weight = integerTerm(h.weight * 1000);  // weight <= maxHypothesisWeight: no overflow
        weakConstraints.push_back(std::move(w));
    }
}

// The subset-minimal variants copy the theory into one world per hypothesis;
// a copied aggregate would have to be renamed inside, which is not done.
void refuseAggregates(const std::vector<RULE>& rules, size_t r, const std::vector<CONSTRAINT>& constraints,
                      size_t m) {
    bool found = false;
    for (size_t i = 0; i < r; ++i) found |= hasAggregate(rules[i].body.get());
    for (size_t i = 0; i < m; ++i) found |= hasAggregate(&constraints[i].body);
    if (found) refuse("Cannot perform subset minimal diagnostic reasoning for theories with aggregates.");
}

void checkReiterTheory(const std::vector<RULE>& rules, size_t r, const std::vector<HYPOTHESIS>& hypotheses,
                       const std::vector<CONSTRAINT>& constraints, size_t m) {
    const bool minimal = diagnosisMode == DIAGNOSIS_SUBSET_MINIMAL;
    for (const HYPOTHESIS& h : hypotheses)
        if (!isAb(h.atom.predicate))
            refuse("Cannot perform Reiter diagnostic reasoning for hypotheses with predicate different from \"ab\".");
    for (size_t i = 0; i < r; ++i) {
        const RULE& rule = rules[i];
        if (minimal && rule.head) {
            if (rule.head->size() >= 2)
                refuse("Cannot perform Reiter subset minimal diagnostic reasoning on disjunctive theories.");
            for (const ATOM& a : *rule.head)
                if (isAb(a.predicate))
                    refuse("\"ab\" may not be used as a head literal for Reiter subset minimal diagnostic reasoning.");
        }
        if (!rule.body) continue;
        const CONJUNCTION& body = *rule.body;
        if (minimal)
            for (size_t j = 0; j < body.firstNegative; ++j)
                if (isAb(body.literals[j].predicate))
                    refuse("\"ab\" may not be used in the positive body for Reiter subset minimal diagnostic "
                           "reasoning.");
        for (size_t j = body.firstNegative; j < body.size(); ++j)
            if (!isAb(body.literals[j].predicate))
                refuse("Cannot perform Reiter diagnostic reasoning for theories with negative body literals "
                       "different from \"ab\".");
    }
    for (size_t i = 0; i < m; ++i) {
        const CONJUNCTION& body = constraints[i].body;
        for (size_t j = body.firstNegative; j < body.size(); ++j)
            if (!isAb(body.literals[j].predicate))
                refuse("Cannot perform Reiter diagnostic reasoning for theories with constraints with negative body "
                       "literals different from \"ab\".");
    }
}

void translateReiter(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints,
                     const std::vector<HYPOTHESIS>& hypotheses, const std::vector<LITERAL>& observations, size_t r,
                     size_t m) {
    checkReiterTheory(rules, r, hypotheses, constraints, m);
    for (const LITERAL& o : observations) {
        if (o.negated)
            addConstraint(constraints, LITERAL(static_cast<const ATOM&>(o), false));
        else
            addRule(rules, o, nullptr);
    }
    addHypothesisRules(rules, hypotheses);
    addReiterHypothesisConstraints(constraints, hypotheses);
    if (diagnosisMode == DIAGNOSIS_SINGLE_ERROR) {
        addSingleErrorGuess(rules, hypotheses);
        return;
    }
    addSolutionGuess(rules, hypotheses);
    if (diagnosisMode == DIAGNOSIS_SUBSET_MINIMAL) {
        refuseAggregates(rules, r, constraints, m);
        addMinimalityCheck(rules, r, hypotheses, observations, constraints, m);
    }
}

void translateAbductive(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints,
                        std::vector<WEAKCONSTRAINT>& weakConstraints, const std::vector<HYPOTHESIS>& hypotheses,
                        const std::vector<LITERAL>& observations, size_t r, size_t m) {
    addHypothesisRules(rules, hypotheses);
    // Every observation must hold: ":- not o." or ":- o.".
    for (const LITERAL& o : observations) addConstraint(constraints, LITERAL(static_cast<const ATOM&>(o), !o.negated));
    if (diagnosisMode == DIAGNOSIS_SINGLE_ERROR) {
        addSingleErrorGuess(rules, hypotheses);
        return;
    }
    addSolutionGuess(rules, hypotheses);
    if (diagnosisMode == DIAGNOSIS_PENALIZATION) addHypothesisWeights(weakConstraints, hypotheses);
    if (diagnosisMode != DIAGNOSIS_SUBSET_MINIMAL) return;
    bool disjunctive = false, negation = false;
    for (size_t i = 0; i < r; ++i) {
        disjunctive |= rules[i].head && rules[i].head->size() >= 2;
        negation |= hasNegation(rules[i].body.get());
    }
    for (const LITERAL& o : observations) negation |= o.negated != 0;
    // The worlds of the check leave constraints out; that is sound only while
    // removing a hypothesis cannot violate one, so none may hold "not".
    for (size_t i = 0; i < m; ++i) negation |= hasNegation(&constraints[i].body);
    if (disjunctive)
        refuse("Cannot perform minimal diagnostic reasoning for disjunctive theories -- that task is $Sigma^P_3$ "
               "hard!");
    if (negation)
        refuse("Minimal diagnostic reasoning not yet implemented for theories with negation or negative "
               "observations.");
    refuseAggregates(rules, r, constraints, m);
    addMinimalityCheck(rules, r, hypotheses, observations, constraints, m);
}

}  // namespace

void translateDiagnosis(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints,
                        std::vector<WEAKCONSTRAINT>& weakConstraints, const std::vector<HYPOTHESIS>& hypotheses,
                        const std::vector<LITERAL>& observations) {
    if (query) refuse("Cannot perform diagnostic reasoning in the presence of a query.");
    const size_t r = rules.size(), m = constraints.size();
    if (frontend == FRONTEND_REITER_DIAGNOSIS)
        translateReiter(rules, constraints, hypotheses, observations, r, m);
    else
        translateAbductive(rules, constraints, weakConstraints, hypotheses, observations, r, m);
}

}  // namespace veltra
