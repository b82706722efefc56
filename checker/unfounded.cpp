// checker/unfounded.cpp: the unfounded-set program handed to the
// satisfiability solver, and the re-tests of a remembered unfounded set.
#include "checker/modelchecker.h"

namespace veltra {

namespace {

inline bool member(const ATOMFLAGS* set, ATOMID a) { return set && size_t(a) < set->size() && (*set)[a]; }

// The head clause from the candidates given (ascending).
template <class ATOMS>
void appendHeadClauseFrom(const ATOMS& candidates, const INTERPRETATION& interpretation, const ATOMFLAGS* atomsToCheck,
                          const ATOMFLAGS* set, std::vector<GROUNDRULE>& rulesOut) {
    std::vector<ATOMID> head;
    const int32_t* values = interpretation.values.data();
    const uint8_t* members = set->data();
    for (ATOMID a : candidates)
        if (members[a] && (values[a] == TV_MUSTBETRUE || member(atomsToCheck, a))) head.push_back(a);
    rulesOut.emplace_back(&head, nullptr);
}

// 0, 1, ..., n - 1 without storing them.
struct ATOMRANGE {
    struct ITERATOR {
        ATOMID a;
        ATOMID operator*() const { return a; }
        ITERATOR& operator++() {
            ++a;
            return *this;
        }
        bool operator!=(const ITERATOR& o) const { return a != o.a; }
    };
    ATOMID n;
    ITERATOR begin() const { return ITERATOR{0}; }
    ITERATOR end() const { return ITERATOR{n}; }
};

template <class RULES, class DEREF>
int32_t reduceAll(const RULES& rules, DEREF deref, const INTERPRETATION& interpretation, const ATOMFLAGS* set,
                  std::vector<GROUNDRULE>& rulesOut, std::vector<GROUNDCONSTRAINT>& constraintsOut) {
    REDUCEDRULE accumulator;
    accumulator.rulesOut = &rulesOut;
    accumulator.constraintsOut = &constraintsOut;
    int32_t kept = 0;
    for (const auto& rule : rules) {
        accumulator.clear();
        kept += reduceRule(deref(rule), interpretation, set, accumulator, true);
    }
    return kept;
}

const GROUNDRULE& byReference(const GROUNDRULE& r) { return r; }
const GROUNDRULE& byPointer(const GROUNDRULE* r) { return *r; }

// Scans the head of rule against the set; when the head meets the set and no
// head atom outside it is true, tests whether the body supports the set from
// outside. 1: the rule supports the set; 0: its head meets the set but it
// does not support it; -1: its head does not meet the set.
int32_t supportsSet(const GROUNDRULE& rule, const ATOMFLAGS* set, const int32_t* values) {
    if (!rule.head) return -1;
    bool meets = false, trueOutside = false;
    for (ATOMID h : *rule.head) {
        if (member(set, h))
            meets = true;
        else if (checkerTrue(values[h]))
            trueOutside = true;
    }
    if (!meets) return -1;
    if (trueOutside) return 0;
    if (!rule.body) return 1;
    const std::vector<GROUNDLITERAL>& literals = rule.body->literals;
    for (size_t i = 0; i < rule.body->firstNegative; ++i) {
        const ATOMID a = literals[i].atom;
        if (member(set, a) || checkerFalse(values[a])) return 0;
    }
    for (size_t i = rule.body->firstNegative; i < literals.size(); ++i)
        if (checkerTrue(values[literals[i].atom])) return 0;
    return 1;
}

}  // namespace

int32_t buildReducedProgram(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                            const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, std::vector<GROUNDRULE>& rulesOut,
                            std::vector<GROUNDCONSTRAINT>& constraintsOut) {
    appendHeadClauseFrom(ATOMRANGE{ATOMID(set->size())}, interpretation, atomsToCheck, set, rulesOut);
    return reduceAll(rules, byReference, interpretation, set, rulesOut, constraintsOut);
}

int32_t buildReducedComponentProgram(RULEPOINTERS rules, const INTERPRETATION& interpretation,
                                     const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set,
                                     std::vector<GROUNDRULE>& rulesOut, std::vector<GROUNDCONSTRAINT>& constraintsOut) {
    appendHeadClauseFrom(ATOMRANGE{ATOMID(set->size())}, interpretation, atomsToCheck, set, rulesOut);
    return reduceAll(rules, byPointer, interpretation, set, rulesOut, constraintsOut);
}

int32_t buildReducedMemberProgram(RULEPOINTERS rules, LISTVIEW<int32_t> members, const INTERPRETATION& interpretation,
                                  const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set,
                                  std::vector<GROUNDRULE>& rulesOut, std::vector<GROUNDCONSTRAINT>& constraintsOut) {
    appendHeadClauseFrom(members, interpretation, atomsToCheck, set, rulesOut);
    return reduceAll(rules, byPointer, interpretation, set, rulesOut, constraintsOut);
}

namespace {

// The clauses of the rules kept without a head, written after the others.
std::vector<int32_t> constraintStart;
std::vector<int32_t> constraintLiterals;

// The unfounded-set program of buildReducedProgram written as the solver's
// clauses, in the order satSolve reads that program: the head clause, the
// kept rules with a head (positive body atoms in the set as positive
// literals, then the true head atoms as negative ones), then the kept rules
// without (their true head atoms as negative literals).
template <class ATOMS, class RULES, class DEREF>
int32_t writeClauses(const ATOMS& candidates, const RULES& rules, DEREF deref, const INTERPRETATION& interpretation,
                     const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                     std::vector<ATOMID>& headClause) {
    SATSOLVER& s = satState;
    const int32_t n = s.variableCount;
    const int32_t* values = interpretation.values.data();
    const uint8_t* members = set->data();
    s.clauseStart.assign(1, 0);
    s.clauseLiterals.clear();
    headClause.clear();
    for (ATOMID a : candidates)
        if (members[a] && (values[a] == TV_MUSTBETRUE || member(atomsToCheck, a))) {
            headClause.push_back(a);
            s.clauseLiterals.push_back(variableOf[a]);
        }
    s.clauseStart.push_back(int32_t(s.clauseLiterals.size()));
    constraintStart.assign(1, 0);
    constraintLiterals.clear();
    int32_t kept = 0;
    for (const auto& entry : rules) {
        const GROUNDRULE& rule = deref(entry);
        const size_t mark = s.clauseLiterals.size();
        // Body atoms are written first; the head atoms follow them, or go to
        // the constraints when no body atom was written.
        auto bodyAtom = [&](ATOMID a) { s.clauseLiterals.push_back(variableOf[a]); };
        auto headAtom = [&](ATOMID h) {
            if (s.clauseLiterals.size() > mark) {
                s.clauseLiterals.push_back(n + variableOf[h]);
            } else {
                constraintLiterals.push_back(n + variableOf[h]);
            }
        };
        if (!reduceRuleWith(rule, values, members, bodyAtom, headAtom)) continue;
        ++kept;
        if (s.clauseLiterals.size() > mark) {
            s.clauseStart.push_back(int32_t(s.clauseLiterals.size()));
        } else {
            constraintStart.push_back(int32_t(constraintLiterals.size()));
        }
    }
    const int32_t offset = int32_t(s.clauseLiterals.size());
    s.clauseLiterals.insert(s.clauseLiterals.end(), constraintLiterals.begin(), constraintLiterals.end());
    for (size_t c = 1; c < constraintStart.size(); ++c) s.clauseStart.push_back(offset + constraintStart[c]);
    return kept;
}

}  // namespace

int32_t writeReducedProgram(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                            const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                            std::vector<ATOMID>& headClause) {
    return writeClauses(ATOMRANGE{ATOMID(set->size())}, rules, byReference, interpretation, atomsToCheck, set,
                        variableOf, headClause);
}

int32_t writeReducedComponentProgram(RULEPOINTERS rules, const INTERPRETATION& interpretation,
                                     const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                                     std::vector<ATOMID>& headClause) {
    return writeClauses(ATOMRANGE{ATOMID(set->size())}, rules, byPointer, interpretation, atomsToCheck, set,
                        variableOf, headClause);
}

int32_t writeReducedMemberProgram(RULEPOINTERS rules, LISTVIEW<int32_t> members, const INTERPRETATION& interpretation,
                                  const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                                  std::vector<ATOMID>& headClause) {
    return writeClauses(members, rules, byPointer, interpretation, atomsToCheck, set, variableOf, headClause);
}

bool partialCheck(const ATOMFLAGS* unfoundedSet, const INTERPRETATION& interpretation,
                  const std::vector<GROUNDRULE>& rules, std::vector<const GROUNDRULE*>* cache) {
    const int32_t* values = interpretation.values.data();
    for (const GROUNDRULE& rule : rules) {
        const int32_t support = supportsSet(rule, unfoundedSet, values);
        if (support < 0) continue;
        if (support > 0) return false;
        if (cache) cache->push_back(&rule);
    }
    return true;
}

bool quickPartialCheck(const ATOMFLAGS* unfoundedSet, const INTERPRETATION& interpretation,
                       const std::vector<const GROUNDRULE*>& cache) {
    const int32_t* values = interpretation.values.data();
    for (const GROUNDRULE* rule : cache)
        if (supportsSet(*rule, unfoundedSet, values) > 0) return false;
    return true;
}

}  // namespace veltra
