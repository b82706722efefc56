// checker/modelchecker.h: the model checker. It confirms that an
// interpretation of the ground program is stable, i.e. that its true atoms
// contain no unfounded set holding an atom the caller asks to have checked.
#pragma once
#include <cstdint>
#include <vector>

#include "analysis/depgraph.h"
#include "checker/sat/satsolver.h"
#include "core/groundprogram.h"
#include "core/interpretation.h"

namespace veltra {

// A set U of true atoms is unfounded for an interpretation I when every rule
// with a head atom in U has a false body, a positive body atom in U, or a true
// head atom outside U. Throughout the checker an atom is true when its value
// is 2 or above 3, false when it is 1; an undefined atom (0, partial checks
// only) is neither, so it never blocks support.
inline bool checkerTrue(int32_t value) { return value > 3 || value == 2; }
inline bool checkerFalse(int32_t value) { return value == 1; }

// A list of rule pointers: the rules of one component, or a partial-check cache.
using RULEPOINTERS = LISTVIEW<const GROUNDRULE*>;
inline RULEPOINTERS rulePointers(const std::vector<const GROUNDRULE*>& list) {
    return RULEPOINTERS{list.data(), list.data() + list.size()};
}

// Methods of "-OMm=" (modelCheckMethod).
enum : int32_t {
    CHECK_METHOD_WHOLE = 0,       // whole program, head-cycle-free shortcut
    CHECK_METHOD_COMPONENTS = 1,  // component by component
    CHECK_METHOD_MODULAR = 5,     // components of the reduced program's own graph
    CHECK_METHOD_SAT_ONLY = 9     // whole program straight to the solver
};
// The only inner-test kind: the satisfiability test of the leftover atoms.
enum : int32_t { INNER_TEST_NONE = 0, INNER_TEST_SAT = 2 };

// ---- Process-wide state (modelchecker.cpp) ----
// The result locations of the running checkModel call (null: not wanted).
// Checks never nest, so one pair serves every call.
extern ATOMFLAGS* unfoundedSetOut;
extern bool* unfoundedSetFoundOut;
// Maxima over the whole run; nothing resets them.
extern double worstCheckTime;        // seconds of the longest checkModel call
extern double worstInnerCheckTime;   // seconds of the longest inner test
extern uint32_t maxInnerCheckAtoms;  // most atoms handed to an inner test

// ---- Driver and methods (modelchecker.cpp) ----
// The entry of the model generator: true when no unfounded set was found.
// interpretation: one value per ground atom (values.size() atoms).
// atomsToCheck: the atoms the caller asks to have confirmed (null: none).
// unfoundedSet, unfoundedSetFound: where a set found by an inner test is
// reported (either may be null). The flag is cleared on entry; when an inner
// test finds a set, the flag is set and the array overwritten (one byte per
// ground atom, 1 for members). A failure decided without an inner test
// leaves the flag false and the array as it was.
// A method other than 0, 1, 5 and 9 is the internal error "model check".
bool checkModel(const INTERPRETATION& interpretation, const std::vector<GROUNDRULE>& rules, bool programIsHCF, GDG& gdg,
                const ATOMFLAGS* atomsToCheck, ATOMFLAGS* unfoundedSet, bool* unfoundedSetFound);
// All true atoms at once; with the support fixpoint first unless
// useSupportFixpoint is false. kind: INNER_TEST_SAT, or INNER_TEST_NONE when
// the inner test can never be reached.
bool checkWholeProgram(GDG& gdg, const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                       const ATOMFLAGS* atomsToCheck, bool useSupportFixpoint, int32_t kind);
// The true atoms of one component of gdg, over that component's rules.
bool checkComponent(GDG& gdg, const INTERPRETATION& interpretation, const ATOMFLAGS* atomsToCheck, int32_t component,
                    int32_t kind);
// The inner test over one rule list: whether set (atomTotal members) holds an
// unfounded set containing an atom to check or a must-be-true atom.
bool innerCheck(RULEPOINTERS componentRules, const INTERPRETATION& interpretation, const ATOMFLAGS* atomsToCheck,
                ATOMFLAGS* set, uint32_t atomTotal, int32_t kind);
// A new model generator run begins: the solver forgets the state it carried
// between checks over the atoms of the last run (the inner tests name their
// variables by atom, and clause learning starts from the activities and
// phases those atoms had in the last test).
void startCheckRun();
// The three statistics lines, on standard error.
void printModelCheckerStatistics();

// ---- Support fixpoint and rule reduction (support.cpp) ----
// One pass: removes from set every atom that a rule supports from outside
// the set (body not false and free of set atoms, no other head atom true).
// count is the number of members and is kept up to date. True when an atom
// was removed; callers repeat the pass until it returns false.
bool removeSupportedAtoms(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                          uint32_t& count);
bool removeSupportedComponentAtoms(RULEPOINTERS rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                                   uint32_t& count);
// The set that repeating the pass until it removes nothing leaves, computed
// in time linear in the size of the rules (the repeated pass can take one
// pass per atom on a chain of support).
void supportFixpoint(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                     uint32_t& count);
void componentSupportFixpoint(RULEPOINTERS rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                              uint32_t& count);

// The working record of reduceRule. One record may serve many rules: the
// caller clears it (clear()) before each.
struct REDUCEDRULE {
    std::vector<ATOMID> head;
    GROUNDCONJUNCTION body;
    std::vector<GROUNDRULE>* rulesOut = nullptr;              // receives kept rules with a head
    std::vector<GROUNDCONSTRAINT>* constraintsOut = nullptr;  // receives kept rules without one
    bool noHeadYet = true;
    bool noBodyYet = true;

    void clear() {
        head.clear();
        body.literals.clear();
        body.firstNegative = 0;
        noHeadYet = noBodyYet = true;
    }
};
// Reduces rule to the set: drops it (false) when its body is false, repeats
// a head atom positively, or it has no true head atom or one outside the set;
// otherwise appends the rule over the set's atoms (its positive body atoms in
// the set, its true head atoms) and returns true. With exchangeRoles the body
// atoms become head atoms and the head atoms body literals, and a record
// without head goes to constraintsOut.
bool reduceRule(const GROUNDRULE& rule, const INTERPRETATION& interpretation, const ATOMFLAGS* set,
                REDUCEDRULE& accumulator, bool exchangeRoles);

// The reduction of reduceRule with the roles as they are: false when the rule
// is dropped; otherwise bodyAtom(a) is called for each positive body atom in
// the set (body order), then trueHeadAtom(h) for each true head atom (head
// order), and the result is true.
template <class BODYATOM, class TRUEHEADATOM>
bool reduceRuleWith(const GROUNDRULE& rule, const int32_t* values, const uint8_t* members, BODYATOM bodyAtom,
                    TRUEHEADATOM trueHeadAtom) {
    if (!rule.head || rule.head->empty()) return false;
    const std::vector<ATOMID>& head = *rule.head;
    // Body: a false literal, or a positive atom repeated in the head, drops the rule.
    if (rule.body) {
        const std::vector<GROUNDLITERAL>& literals = rule.body->literals;
        for (size_t i = 0; i < literals.size(); ++i) {
            const ATOMID a = literals[i].atom;
            if (i >= rule.body->firstNegative) {
                if (checkerTrue(values[a])) return false;
                continue;
            }
            if (checkerFalse(values[a])) return false;
            for (ATOMID h : head)
                if (h == a) return false;
        }
    }
    // Head: every true head atom in the set, and at least one of them.
    bool trueInSet = false;
    for (ATOMID h : head) {
        if (!checkerTrue(values[h])) continue;
        if (!members[h]) return false;
        trueInSet = true;
    }
    if (!trueInSet) return false;

    // Positive body atoms in the set, then the true head atoms.
    if (rule.body) {
        const std::vector<GROUNDLITERAL>& literals = rule.body->literals;
        for (size_t i = 0; i < rule.body->firstNegative; ++i)
            if (members[literals[i].atom]) bodyAtom(literals[i].atom);
    }
    for (ATOMID h : head)
        if (checkerTrue(values[h])) trueHeadAtom(h);
    return true;
}

// ---- Unfounded-set programs and partial checks (unfounded.cpp) ----
// The program whose models are the unfounded sets within set that contain an
// atom to check or a must-be-true atom: rulesOut[0] is the head clause (those
// atoms, ascending, no body), then the rules reduced with exchanged roles.
// Returns the number of rules kept by the reduction (head clause not counted).
int32_t buildReducedProgram(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                            const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, std::vector<GROUNDRULE>& rulesOut,
                            std::vector<GROUNDCONSTRAINT>& constraintsOut);
int32_t buildReducedComponentProgram(RULEPOINTERS rules, const INTERPRETATION& interpretation,
                                     const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set,
                                     std::vector<GROUNDRULE>& rulesOut, std::vector<GROUNDCONSTRAINT>& constraintsOut);
// The same, with the head clause taken from members (ascending, holding
// every atom of the set) instead of a scan of all ground atoms.
int32_t buildReducedMemberProgram(RULEPOINTERS rules, LISTVIEW<int32_t> members, const INTERPRETATION& interpretation,
                                  const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set,
                                  std::vector<GROUNDRULE>& rulesOut, std::vector<GROUNDCONSTRAINT>& constraintsOut);

// The same programs written straight into the solver's clause arrays
// (satState: variableCount set by the caller, clauseStart and clauseLiterals
// filled here), clause for clause and literal for literal as satSolve reads
// the records of the functions above, for satSolveClauses. variableOf: the
// variable of each atom of the set. headClause receives the head clause's
// atoms. Returns the number of rules kept.
int32_t writeReducedProgram(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation,
                            const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                            std::vector<ATOMID>& headClause);
int32_t writeReducedComponentProgram(RULEPOINTERS rules, const INTERPRETATION& interpretation,
                                     const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                                     std::vector<ATOMID>& headClause);
int32_t writeReducedMemberProgram(RULEPOINTERS rules, LISTVIEW<int32_t> members, const INTERPRETATION& interpretation,
                                  const ATOMFLAGS* atomsToCheck, const ATOMFLAGS* set, const int32_t* variableOf,
                                  std::vector<ATOMID>& headClause);

// Whether unfoundedSet is still unfounded under the (partial) interpretation:
// true when no rule supports it from outside. Undefined atoms are assumed to
// go the supporting way, so true holds for every extension. With a cache, it
// appends every rule whose head meets the set (up to the first supporting
// rule, when the answer is false).
bool partialCheck(const ATOMFLAGS* unfoundedSet, const INTERPRETATION& interpretation,
                  const std::vector<GROUNDRULE>& rules, std::vector<const GROUNDRULE*>* cache);
// The same test over the cached rules only; appends nothing.
// pre: cache was filled by a partialCheck of the same set that returned true.
bool quickPartialCheck(const ATOMFLAGS* unfoundedSet, const INTERPRETATION& interpretation,
                       const std::vector<const GROUNDRULE*>& cache);

}  // namespace veltra
