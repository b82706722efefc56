// checker/sat/clauses.cpp: the solver's entry, the clause encoding of ground
// rules and constraints, and the occurrence lists.
#include <algorithm>
#include <cassert>

#include "checker/sat/satinternal.h"
#include "checker/sat/satsolver.h"

namespace veltra {

SATSOLVER satState;

namespace {

// Appends the literal codes of the clause of one rule or constraint.
void gatherRuleLiterals(const GROUNDRULE& rule, const std::vector<int32_t>& variableOfAtom, int32_t n,
                        std::vector<int32_t>& out) {
    if (rule.head)
        for (ATOMID a : *rule.head) {
            assert(variableOfAtom[a] > 0);
            out.push_back(variableOfAtom[a] - 1);
        }
    if (rule.body)
        for (const GROUNDLITERAL& l : rule.body->literals) {
            assert(variableOfAtom[l.atom] > 0);
            out.push_back(n + variableOfAtom[l.atom] - 1);
        }
}

void gatherConstraintLiterals(const GROUNDCONSTRAINT& constraint, const std::vector<int32_t>& variableOfAtom,
                              int32_t n, std::vector<int32_t>& out) {
    for (const GROUNDLITERAL& l : constraint.body.literals) {
        assert(variableOfAtom[l.atom] > 0);
        out.push_back(n + variableOfAtom[l.atom] - 1);
    }
}

// Sizes every per-variable, per-literal and list array for n variables, m
// clauses and literalTotal literal occurrences. resize() keeps capacity, so
// later calls of the same size allocate nothing.
void sizeArrays(SATSOLVER& s, int32_t n, int32_t m, size_t literalTotal) {
    size_t vars = size_t(n), codes = 2 * size_t(n);
    s.value.assign(vars, 0);
    s.alternative.assign(vars, -1);
    s.free.assign(vars + 1, 1);
    s.free[vars] = 0;  // the variable of shortLiterals' padding
    s.satisfiedPosition.assign(vars, 0);
    s.shortenedPosition.assign(vars, 0);
    s.probeStamp.assign(vars, 0);
    s.binaryCount.assign(codes, 0);
    s.longCount.assign(codes, 0);
    s.score.assign(codes, 0);
    s.scoreWeight.assign(codes + 1, 0);  // entry 2n: the padding of shortLiterals
    s.weightsFilled = false;
    s.occurrenceStart.assign(codes + 1, 0);
    s.clauseLength.resize(size_t(m));
    s.shortLiterals.resize(4 * size_t(m));
    s.savedLength.resize(size_t(m));
    s.trail.resize(vars);
    s.candidateList.resize(vars);
    s.satisfiedList.resize(size_t(m));
    s.shortenedList.resize(literalTotal + 1);
    s.unitList.resize(std::max(literalTotal, size_t(m)) + 1);
    s.trailTop = s.satisfiedCount = s.shortenedCount = s.unitCount = s.candidateCount = 0;
    s.probeCounter = 0;
    s.falsifiedClause = false;
    s.passCursor[0] = s.passCursor[1] = s.passCursor[2] = 0;
}

// Lengths, two-literal counts, occurrence lists and the root propagation of
// the clauses in clauseStart and clauseLiterals over variableCount variables.
// Returns 1, or -1 on a conflict at the root.
int loadClauses(SATSOLVER& s) {
    const int32_t n = s.variableCount;
    const int32_t m = int32_t(s.clauseStart.size()) - 1;
    s.clauseCount = m;
    sizeArrays(s, n, m, s.clauseLiterals.size());

    // Lengths, two-literal counts, occurrence totals, root units.
    bool emptyClause = false;
    for (int32_t c = 0; c < m; ++c) {
        int32_t length = s.clauseStart[c + 1] - s.clauseStart[c];
        s.clauseLength[c] = length;
        int32_t* slots = s.shortLiterals.data() + 4 * size_t(c);
        for (int32_t k = 0; k < 4; ++k) slots[k] = k < length ? s.clauseLiterals[size_t(s.clauseStart[c] + k)] : 2 * n;
        if (length > 4) slots[0] = 2 * n + 1;
        if (length == 0) emptyClause = true;
        if (length == 1) s.unitList[s.unitCount++] = c;
        for (const int32_t *p = s.literalsBegin(c), *e = s.literalsEnd(c); p != e; ++p) {
            ++s.occurrenceStart[*p + 1];
            if (length == 2) ++s.binaryCount[*p];
        }
    }

    // Occurrence lists: prefix sums, then every clause appended to the list
    // of each literal it contains, in clause order (score is the fill cursor).
    int32_t codes = 2 * n;
    for (int32_t l = 0; l < codes; ++l) s.occurrenceStart[l + 1] += s.occurrenceStart[l];
    s.occurrences.resize(s.clauseLiterals.size());
    for (int32_t l = 0; l < codes; ++l) s.score[l] = s.occurrenceStart[l];
    for (int32_t c = 0; c < m; ++c)
        for (const int32_t *p = s.literalsBegin(c), *e = s.literalsEnd(c); p != e; ++p)
            s.occurrences[s.score[*p]++] = c;

    // A clause without literals can never be satisfied.
    if (emptyClause) return -1;
    if (satPropagate() < 0) return -1;
    int32_t active = 0;
    for (int32_t c = 0; c < m; ++c) active += s.clauseLength[c] != 0;
    s.clausesToSatisfy = active;
    return 1;
}

// The search over loaded clauses: true when they are satisfiable.
bool searchLoaded(SATSOLVER& s, bool modelWanted) {
    // Root assignments are permanent: the search never pops them, and the
    // clauses they satisfied stay inactive.
    s.satisfiedCount = 0;
    s.trailTop = 0;
    s.shortenedCount = 0;
    s.threshold = s.variableCount / 6;
    s.modelWanted = modelWanted;
    satSearch();
    return s.proved || (!s.refuted && s.satisfiedCount == s.clausesToSatisfy);
}

// Clause learning first over the clauses in clauseStart and clauseLiterals,
// its work limited to some 64 passes over the clauses: 1 (satDecider holds
// the model), 0, or -1 when it did not answer within that work.
int decideFirst(SATSOLVER& s) {
    s.clauseCount = int32_t(s.clauseStart.size()) - 1;
    s.decideStarted = true;
    s.decided = satDecide(true, s.sixtyFourPasses());
    s.refuted = s.decided == 0;
    s.proved = s.decided == 1;
    return s.decided;
}

// Solves the clauses in clauseStart and clauseLiterals as decideAfterBacktracks
// says, clause learning with the keys given (null: none). When satisfiable and
// model is given, it is overwritten with one byte per variable: 1 when the
// answering side made the variable true.
bool solveGathered(SATSOLVER& s, std::vector<uint8_t>* model, const int32_t* keys) {
    const size_t n = size_t(s.variableCount);
    satDecider.keys = keys;
    s.backtracks = s.searchWork = s.lookaheadWork = 0;
    s.decideStarted = false;
    s.decided = -1;
    s.refuted = s.proved = false;
    if (s.decideAfterBacktracks == 0) {
        const int first = decideFirst(s);
        if (first == 0) return false;
        if (first == 1) {
            if (model) {
                model->resize(n);
                for (size_t v = 0; v < n; ++v) (*model)[v] = satDecider.isTrue(int32_t(v));
            }
            return true;
        }
    }
    if (loadClauses(s) < 0 || !searchLoaded(s, model != nullptr)) return false;
    if (model) {
        model->resize(n);
        for (size_t v = 0; v < n; ++v) (*model)[v] = !s.free[v] && s.value[v];
    }
    return true;
}

// The solver's state is process-wide: solves never nest.
struct SOLVING {
    static bool active;
    SOLVING() {
        assert(!active);
        active = true;
    }
    ~SOLVING() { active = false; }
};
bool SOLVING::active = false;

// Numbers the marked atoms and writes the clauses into clauseStart and
// clauseLiterals.
void gatherClauses(const std::vector<GROUNDRULE>& rules, const std::vector<GROUNDCONSTRAINT>& constraints,
                   const ATOMFLAGS* set, std::vector<int32_t>& variableOfAtom) {
    SATSOLVER& s = satState;
    const ATOMFLAGS& marked = *set;

    // Variables: the marked atoms in ascending index.
    variableOfAtom.assign(marked.size(), 0);
    int32_t n = 0;
    for (size_t i = 0; i < marked.size(); ++i)
        if (marked[i]) variableOfAtom[i] = ++n;
    s.variableCount = n;

    // Clause literals, flat, in clause order.
    int32_t m = int32_t(rules.size() + constraints.size());
    s.clauseStart.resize(size_t(m) + 1);
    s.clauseLiterals.clear();
    int32_t c = 0;
    for (const GROUNDRULE& rule : rules) {
        s.clauseStart[c++] = int32_t(s.clauseLiterals.size());
        gatherRuleLiterals(rule, variableOfAtom, n, s.clauseLiterals);
    }
    for (const GROUNDCONSTRAINT& constraint : constraints) {
        s.clauseStart[c++] = int32_t(s.clauseLiterals.size());
        gatherConstraintLiterals(constraint, variableOfAtom, n, s.clauseLiterals);
    }
    s.clauseStart[m] = int32_t(s.clauseLiterals.size());
}

}  // namespace

int satBuildClauses(const std::vector<GROUNDRULE>& rules, const std::vector<GROUNDCONSTRAINT>& constraints,
                    const ATOMFLAGS* set, std::vector<int32_t>& variableOfAtom) {
    gatherClauses(rules, constraints, set, variableOfAtom);
    return loadClauses(satState);
}

bool satSolve(const std::vector<GROUNDRULE>& rules, const std::vector<GROUNDCONSTRAINT>& constraints,
              const ATOMFLAGS* set, ATOMFLAGS* model) {
    SOLVING solving;
    std::vector<int32_t> variableOfAtom;
    gatherClauses(rules, constraints, set, variableOfAtom);
    std::vector<uint8_t> variableModel;
    if (!solveGathered(satState, model ? &variableModel : nullptr, nullptr)) return false;
    if (model) {
        model->assign(set->size(), 0);
        for (size_t i = 0; i < variableOfAtom.size(); ++i)
            if (variableOfAtom[i] > 0) (*model)[i] = variableModel[size_t(variableOfAtom[i] - 1)];
    }
    return true;
}

bool satSolveClauses(std::vector<uint8_t>* model, const int32_t* keys) {
    SOLVING solving;
    const bool result = solveGathered(satState, model, keys);
    satDecider.keys = nullptr;
    return result;
}

void satForgetKeys() {
    satDecider.keptActivity.clear();
    satDecider.keptPhase.clear();
}

}  // namespace veltra
