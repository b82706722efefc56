// Construction time of the ground dependency graph over large ground programs:
// it should grow linearly with the number of ground rules.
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "analysis/depgraph.h"
#include "core/predicatetable.h"

#ifdef VELTRA_GOOGLE_BENCHMARK
#include <benchmark/benchmark.h>
#endif

using namespace veltra;

namespace {

// n ground rules over about 2n atoms x(i), y(i): x(i+1) :- x(i), not y(7i mod n),
// every fourth with the disjunctive head x(i+1) v y(i), and every 1000th
// closing a cycle back to x(i - 999). Built once per size.
const std::vector<GROUNDRULE>& groundProgram(int32_t n) {
    static std::map<int32_t, std::vector<GROUNDRULE>> programs;
    auto found = programs.find(n);
    if (found != programs.end()) return found->second;
    static int32_t x = addPredicate(predicateTable, NAME("x"), 1, KIND_IDB).first;
    static int32_t y = addPredicate(predicateTable, NAME("y"), 1, KIND_IDB).first;
    auto id = [](int32_t p, int32_t i) { return internAtom(ATOM(p, std::vector<TERM>{integerTerm(i)})); };
    std::vector<GROUNDRULE>& rules = programs[n];
    rules.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        std::vector<ATOMID> head{id(x, i + 1)};
        if (i % 4 == 0) head.push_back(id(y, i));
        GROUNDCONJUNCTION body;
        body.addLiteral({id(x, i), 0});
        body.addLiteral({id(y, int32_t((int64_t(i) * 7) % n)), 1});
        if (i % 1000 == 999) body.addLiteral({id(x, i - 999), 0});
        rules.emplace_back(&head, &body);
    }
    return rules;
}

const std::vector<GROUNDCONSTRAINT> noConstraints;

}  // namespace

#ifdef VELTRA_GOOGLE_BENCHMARK

static void buildGroundGraph(benchmark::State& state, int32_t flags) {
    const std::vector<GROUNDRULE>& rules = groundProgram(int32_t(state.range(0)));
    for (auto _ : state) {
        GDG graph(rules, noConstraints, flags);
        benchmark::DoNotOptimize(graph.componentCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

static void positiveGraph(benchmark::State& state) { buildGroundGraph(state, DEPGRAPH_GDG_POSITIVE); }
static void fullGraph(benchmark::State& state) { buildGroundGraph(state, DEPGRAPH_GDG_FULL); }

BENCHMARK(positiveGraph)->Arg(1 << 20)->Arg(2 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(fullGraph)->Arg(1 << 20)->Arg(2 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    registerBuiltins();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

#else

int main() {
    registerBuiltins();
    std::printf("%-10s %12s %14s %14s\n", "flags", "ground rules", "milliseconds", "ns per rule");
    for (int32_t flags : {int32_t(DEPGRAPH_GDG_POSITIVE), int32_t(DEPGRAPH_GDG_FULL)})
        for (int32_t n : {1 << 20, 2 << 20, 4 << 20}) {
            const std::vector<GROUNDRULE>& rules = groundProgram(n);
            double best = 1e300;
            for (int run = 0; run < 3; ++run) {
                auto start = std::chrono::steady_clock::now();
                GDG graph(rules, noConstraints, flags);
                double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                if (ms < best) best = ms;
            }
            std::printf("0x%-8x %12d %14.1f %14.1f\n", unsigned(flags), n, best, best * 1e6 / n);
        }
    return 0;
}

#endif
