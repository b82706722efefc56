// Time per model check over large ground programs whose unfounded-set
// programs have hundreds of thousands of clauses, for each check method.
#include <chrono>
#include <cstdio>
#include <vector>

#include "checker/modelchecker.h"
#include "core/options.h"
#include "core/predicatetable.h"

using namespace veltra;

namespace {

struct INSTANCE {
    const char* name;
    std::vector<GROUNDRULE> rules;
    INTERPRETATION interpretation;
    ATOMFLAGS toCheck;
};

int32_t predicateX = -1;

// The ground atom x(i), interned on first use.
ATOMID atomX(int32_t i) { return internAtom(ATOM(predicateX, std::vector<TERM>{integerTerm(i)})); }

void addRule(INSTANCE& instance, std::vector<ATOMID> head, const std::vector<GROUNDLITERAL>& body) {
    GROUNDCONJUNCTION conjunction;
    for (const GROUNDLITERAL& l : body) conjunction.addLiteral(l);
    instance.rules.emplace_back(&head, body.empty() ? nullptr : &conjunction);
}

// Every atom in [0, atoms) true and to be checked, every other one false.
void allTrue(INSTANCE& instance, int32_t atoms) {
    instance.interpretation.values.assign(atomsByIndex.size(), TV_FALSE);
    instance.toCheck.assign(atomsByIndex.size(), 0);
    for (int32_t i = 0; i < atoms; ++i) {
        instance.interpretation.values[atomX(i)] = TV_TRUE;
        instance.toCheck[atomX(i)] = 1;
    }
}

// Pairs "a v b. a :- b. b :- a.", all true: stable, but only the solver can
// tell (no support is left after the fixpoint); 3 clauses per pair.
INSTANCE pairs(int32_t count) {
    INSTANCE instance;
    instance.name = "pairs (stable, solver says UNSAT)";
    for (int32_t i = 0; i < count; ++i) {
        const ATOMID a = atomX(2 * i), b = atomX(2 * i + 1);
        addRule(instance, {a, b}, {});
        addRule(instance, {a}, {{b, 0}});
        addRule(instance, {b}, {{a, 0}});
    }
    allTrue(instance, 2 * count);
    return instance;
}

// One large head-cycle component over n atoms: x(i) v x(i+1) :- x(i+2) and
// x(i+2) :- x(i) around a ring, all true. Nothing supports the ring from
// outside, so the whole ring is unfounded.
INSTANCE ring(int32_t n) {
    INSTANCE instance;
    instance.name = "ring (unfounded, solver says SAT)";
    for (int32_t i = 0; i < n; ++i) {
        const ATOMID a = atomX(i), b = atomX((i + 1) % n), c = atomX((i + 2) % n);
        addRule(instance, {a, b}, {{c, 0}});
        addRule(instance, {c}, {{a, 0}});
    }
    allTrue(instance, n);
    return instance;
}

// The ring with outside support for x(0) and x(1): stable, all of it settled
// by the support fixpoint, along two chains x(i) -> x(i+2) that run with the
// rule order, and through the disjunctive rules against it.
INSTANCE supportedRing(int32_t n) {
    INSTANCE instance = ring(n);
    instance.name = "ring with support (stable, fixpoint only)";
    addRule(instance, {atomX(0)}, {});
    addRule(instance, {atomX(1)}, {});
    return instance;
}

// A chain x(i) :- x(i+1) listed from x(0) up, supported at its far end: the
// repeated pass would need one pass per atom.
INSTANCE backwardChain(int32_t n) {
    INSTANCE instance;
    instance.name = "backward chain (stable, fixpoint only)";
    for (int32_t i = 0; i + 1 < n; ++i) addRule(instance, {atomX(i)}, {{atomX(i + 1), 0}});
    addRule(instance, {atomX(n - 1)}, {});
    allTrue(instance, n);
    return instance;
}

void run(INSTANCE& instance, int32_t method, int32_t repetitions) {
    GDG gdg(instance.rules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_POSITIVE);
    modelCheckMethod = method;
    ATOMFLAGS unfounded;
    bool found = false, result = false;
    const uint32_t atomsBefore = maxInnerCheckAtoms;
    maxInnerCheckAtoms = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int32_t r = 0; r < repetitions; ++r)
        result = checkModel(instance.interpretation, instance.rules, false, gdg, &instance.toCheck, &unfounded, &found);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-42s method %d %8zu rules %8u inner atoms  %-6s %10.2f ms/check\n", instance.name, method,
                instance.rules.size(), maxInnerCheckAtoms, result ? "stable" : "fails", 1000.0 * seconds / repetitions);
    std::fflush(stdout);
    if (atomsBefore > maxInnerCheckAtoms) maxInnerCheckAtoms = atomsBefore;
}

}  // namespace

int main() {
    registerBuiltins();
    predicateX = addPredicate(predicateTable, NAME("x"), 1, KIND_IDB).first;
    for (int32_t i = 0; i < 200000; ++i) atomX(i);
    atomTableFrozen = true;
    INSTANCE instances[] = {pairs(100000), ring(150000), supportedRing(150000), backwardChain(200000)};
    for (INSTANCE& instance : instances)
        for (int32_t method : {0, 1, 5, 9}) run(instance, method, 3);
    return 0;
}
