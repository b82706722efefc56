// Solve time of the model checker's satisfiability solver: random 3-SAT near
// the threshold at moderate sizes, equivalence of two copies of a circuit,
// and large structured clause sets shaped like unfounded-set programs
// (300,000 clauses and more).
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "checker/sat/satsolver.h"

using namespace veltra;

namespace {

// Variables 0..n-1 are ground atoms 0..n-1, all in the set.
struct INSTANCE {
    std::vector<GROUNDRULE> rules;
    std::vector<GROUNDCONSTRAINT> constraints;
    ATOMFLAGS set;
};

// Clause literals: v + 1 positive, -(v + 1) negative.
void addClause(INSTANCE& instance, const std::vector<int32_t>& clause) {
    std::vector<ATOMID> head;
    GROUNDCONJUNCTION body;
    for (int32_t l : clause) {
        if (l > 0) {
            head.push_back(l - 1);
        } else {
            body.addLiteral({-l - 1, 0});
        }
    }
    if (head.empty()) {
        GROUNDCONSTRAINT c;
        c.body = body;
        instance.constraints.push_back(std::move(c));
    } else {
        instance.rules.emplace_back(&head, body.literals.empty() ? nullptr : &body);
    }
}

INSTANCE randomThreeSat(uint32_t seed, int32_t n, double ratio) {
    INSTANCE instance;
    instance.set.assign(size_t(n), 1);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> variable(1, n), sign(0, 1);
    int32_t m = int32_t(n * ratio);
    for (int32_t i = 0; i < m; ++i) {
        std::vector<int32_t> clause;
        while (clause.size() < 3) {
            int32_t v = variable(random);
            bool repeated = false;
            for (int32_t l : clause) repeated = repeated || l == v || l == -v;
            if (!repeated) clause.push_back(sign(random) ? v : -v);
        }
        addClause(instance, clause);
    }
    return instance;
}

// A positive cycle x1 -> x2 -> ... -> xn -> x1 with a clause over three atoms
// to check; excluding one atom of the cycle makes it unsatisfiable.
INSTANCE implicationCycle(int32_t n, bool excludeOne) {
    INSTANCE instance;
    instance.set.assign(size_t(n), 1);
    addClause(instance, {1, n / 2, n});
    for (int32_t i = 1; i <= n; ++i) addClause(instance, {-i, i % n + 1});
    if (excludeOne) addClause(instance, {-(n / 3)});
    return instance;
}

// An unfounded-set shaped program over n atoms: a clause over the first 1000
// atoms (those to check), per atom two clauses "x in U needs one of its two
// body atoms in U" (x -> y v z), and every tenth atom excluded (externally
// supported).
INSTANCE unfoundedShape(uint32_t seed, int32_t n) {
    INSTANCE instance;
    instance.set.assign(size_t(n), 1);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> atom(1, n);
    std::vector<int32_t> check;
    for (int32_t i = 1; i <= 1000 && i <= n; ++i) check.push_back(i);
    addClause(instance, check);
    for (int32_t x = 1; x <= n; ++x) {
        addClause(instance, {-x, atom(random), atom(random)});
        addClause(instance, {-x, atom(random), atom(random), atom(random)});
        if (x % 10 == 0) addClause(instance, {-x});
    }
    return instance;
}

// Independent parts of three atoms, exactly one of them true in each: every
// part needs a decision of its own.
INSTANCE independentParts(int32_t parts) {
    INSTANCE instance;
    instance.set.assign(size_t(3 * parts), 1);
    for (int32_t i = 0; i < parts; ++i) {
        int32_t a = 3 * i + 1, b = a + 1, c = a + 2;
        addClause(instance, {a, b, c});
        addClause(instance, {-a, -b});
        addClause(instance, {-b, -c});
        addClause(instance, {-a, -c});
    }
    return instance;
}

// Two copies of one random circuit of and- and xor-gates over the same inputs,
// their outputs required to differ: unsatisfiable, and refuted by chronological
// backtracking only after many backtracks, by clause learning soon.
INSTANCE circuitMiter(uint32_t seed, int32_t inputs, int32_t gates) {
    INSTANCE instance;
    instance.set.assign(size_t(inputs + 2 * gates), 1);
    std::mt19937 random(seed);
    struct GATE {
        int32_t left, right;
        bool conjunction;
    };
    std::vector<GATE> gate;
    for (int32_t g = 0; g < gates; ++g) {
        std::uniform_int_distribution<int32_t> pick(0, inputs + g - 1);
        int32_t left = pick(random), right = pick(random);
        gate.push_back({left, right, random() % 2 == 1});
    }
    int32_t output[2] = {0, 0};
    for (int32_t copy = 0; copy < 2; ++copy) {
        // Variable of signal i (inputs first, then this copy's gates), from 1.
        std::vector<int32_t> variable(size_t(inputs + gates));
        for (int32_t i = 0; i < inputs; ++i) variable[size_t(i)] = i + 1;
        for (int32_t g = 0; g < gates; ++g) {
            int32_t z = inputs + copy * gates + g + 1;
            int32_t a = variable[size_t(gate[size_t(g)].left)], b = variable[size_t(gate[size_t(g)].right)];
            variable[size_t(inputs + g)] = z;
            if (gate[size_t(g)].conjunction) {
                addClause(instance, {-z, a});
                addClause(instance, {-z, b});
                addClause(instance, {z, -a, -b});
            } else {
                addClause(instance, {-z, a, b});
                addClause(instance, {-z, -a, -b});
                addClause(instance, {z, -a, b});
                addClause(instance, {z, a, -b});
            }
        }
        output[copy] = variable[size_t(inputs + gates - 1)];
    }
    addClause(instance, {output[0], output[1]});
    addClause(instance, {-output[0], -output[1]});
    return instance;
}

// Milliseconds per solve of the instance, and its answer.
double timeSolves(const INSTANCE& instance, int32_t repetitions, bool& result) {
    ATOMFLAGS model;
    auto start = std::chrono::steady_clock::now();
    for (int32_t r = 0; r < repetitions; ++r)
        result = satSolve(instance.rules, instance.constraints, &instance.set, &model);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 1000.0 * seconds / repetitions;
}

// The solver as configured, then the look-ahead search on its own (clause
// learning never asked).
void run(const char* name, const INSTANCE& instance, int32_t repetitions) {
    bool result = false, alone = false;
    double solver = timeSolves(instance, repetitions, result);
    int64_t saved = satState.decideAfterBacktracks;
    satState.decideAfterBacktracks = -1;
    double search = timeSolves(instance, repetitions, alone);
    satState.decideAfterBacktracks = saved;
    std::printf("%-40s %8zu vars %8zu clauses  %-5s %10.3f ms/solve (search alone %10.3f%s)\n", name,
                instance.set.size(), instance.rules.size() + instance.constraints.size(), result ? "SAT" : "UNSAT",
                solver, search, alone == result ? "" : ", DISAGREES");
    std::fflush(stdout);
}

}  // namespace

int main() {
    char name[64];
    for (int32_t n : {100, 150, 200, 250}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            std::snprintf(name, sizeof name, "random 3-SAT n=%d ratio 4.26 seed %u", n, seed);
            run(name, randomThreeSat(seed, n, 4.26), n <= 150 ? 5 : 1);
        }
    }
    run("circuit miter 18 inputs 400 gates", circuitMiter(5, 18, 400), 3);
    run("circuit miter 20 inputs 600 gates", circuitMiter(5, 20, 600), 1);
    run("circuit miter 22 inputs 900 gates", circuitMiter(5, 22, 900), 1);
    run("implication cycle, satisfiable", implicationCycle(300000, false), 3);
    run("implication cycle, one atom excluded", implicationCycle(300000, true), 3);
    run("unfounded-set shape n=150000", unfoundedShape(1, 150000), 3);
    run("unfounded-set shape n=300000", unfoundedShape(2, 300000), 1);
    run("independent parts x 5000", independentParts(5000), 1);
    run("independent parts x 20000", independentParts(20000), 1);
    return 0;
}
