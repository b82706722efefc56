// Random small disjunctive programs: every value the propagation derives
// holds in every answer set that agrees with the choices made, and a conflict
// means that there is no such answer set. Answer sets are found by brute
// force over the ground program.
#include <algorithm>
#include <sstream>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/rule.h"
#include "grounding/grounder.h"
#include "input/parse.h"
#include "tests/unit/support/randomprograms.h"
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

std::string randomProgram(RANDOM& r) {
    const uint32_t atoms = 7;
    auto atom = [&](uint32_t i) { return "a" + std::to_string(i); };
    std::ostringstream text;
    uint32_t ruleCount = 4 + r.below(6);
    for (uint32_t k = 0; k < ruleCount; ++k) {
        uint32_t h1 = r.below(atoms), h2 = r.below(atoms);
        text << atom(h1);
        if (h2 != h1 && r.below(2)) text << " v " << atom(h2);
        const char* sep = " :- ";
        uint32_t literals = r.below(4);
        if (k < 2) literals = 0;  // a few disjunctive facts keep atoms undecided
        for (uint32_t i = 0; i < literals; ++i) {
            text << sep << (r.below(3) == 0 ? "not " : "") << atom(r.below(atoms));
            sep = ", ";
        }
        text << ".\n";
    }
    uint32_t constraintCount = r.below(3);
    for (uint32_t k = 0; k < constraintCount; ++k) {
        text << ":- " << (r.below(2) ? "not " : "") << atom(r.below(atoms));
        if (r.below(2)) text << ", " << (r.below(2) ? "not " : "") << atom(r.below(atoms));
        text << ".\n";
    }
    return text.str();
}

// Programs over a0..a3 that read the elements p(1..3) directly and through
// aggregates.
std::string randomAggregateProgram(RANDOM& r) {
    static const char* const kinds[] = {"#count", "#sum", "#times", "#max", "#min"};
    auto literal = [&]() -> std::string {
        std::string neg = r.below(4) == 0 ? "not " : "";
        switch (r.below(4)) {
        case 0: return neg + "a" + std::to_string(r.below(4));
        case 1: return neg + (r.below(2) ? "p(" : "q(") + std::to_string(1 + r.below(3)) + ")";
        default: {
            std::string agg = std::string(kinds[r.below(5)]) + "{X: p(X)}";
            uint32_t k = r.below(7);
            return neg + (r.below(2) ? agg + " >= " + std::to_string(k) : agg + " <= " + std::to_string(k));
        }
        }
    };
    std::ostringstream text;
    text << "p(X) v q(X) :- r(X). r(1). r(2). r(3).\n";
    uint32_t ruleCount = 2 + r.below(4);
    for (uint32_t k = 0; k < ruleCount; ++k) {
        text << "a" << r.below(4);
        if (r.below(3) == 0) text << " v a" << r.below(4);
        uint32_t literals = 1 + r.below(2);
        for (uint32_t i = 0; i < literals; ++i) text << (i ? ", " : " :- ") << literal();
        text << ".\n";
    }
    uint32_t constraintCount = r.below(3);
    for (uint32_t k = 0; k < constraintCount; ++k) text << ":- " << literal() << (r.below(2) ? ", " + literal() : "") << ".\n";
    return text.str();
}

// The ground program over a dense set of its ordinary atoms, and its answer
// sets by the FLP reduct (for programs without aggregates the usual one):
// m is an answer set when it satisfies the constraints and is a minimal
// model of the rules whose body m satisfies. An aggregate atom is evaluated
// from the elements in the set and what grounding already found true; build
// it before any run changes the aggregate functions.
struct BRUTEFORCE {
    struct AGGREGATE {
        int32_t atom, kind;
        int64_t base;  // count, sum, product, maximum or minimum of the elements true before the run
        const GROUNDSET* set;
        int64_t lower, upper;  // inclusive guards
    };
    std::vector<int32_t> atoms;  // bit i: atom atoms[i]
    std::vector<AGGREGATE> aggregates;
    std::vector<uint32_t> answerSets;

    uint32_t bit(int32_t atom) const {
        for (size_t i = 0; i < atoms.size(); ++i)
            if (atoms[i] == atom) return 1u << i;
        return 0;
    }
    const AGGREGATE* aggregateOf(int32_t atom) const {
        for (const AGGREGATE& g : aggregates)
            if (g.atom == atom) return &g;
        return nullptr;
    }
    bool evaluate(const AGGREGATE& g, uint32_t m) const {
        int64_t v = g.base;
        for (const GROUNDSETELEMENT& e : *g.set) {
            if (!(m & bit(e.atom))) continue;
            int64_t x = integerValue(e.value);
            switch (g.kind) {
            case AGG_COUNT: ++v; break;
            case AGG_SUM: v += x; break;
            case AGG_TIMES: v = saturatingMul(v, x); break;
            case AGG_MAX: v = std::max(v, x); break;
            case AGG_MIN: v = std::min(v, x); break;
            }
        }
        return g.lower <= v && v <= g.upper;
    }
    bool isTrueIn(int32_t atom, uint32_t m) const {
        const AGGREGATE* g = aggregateOf(atom);
        return g ? evaluate(*g, m) : (m & bit(atom)) != 0;
    }
    bool bodyTrue(const GROUNDCONJUNCTION* body, uint32_t m) const {
        if (!body) return true;
        for (size_t i = 0; i < body->literals.size(); ++i)
            if (isTrueIn(body->literals[i].atom, m) != (i < body->firstNegative)) return false;
        return true;
    }
    // n satisfies every rule whose body m satisfies.
    bool modelOfReduct(uint32_t n, uint32_t m) const {
        for (const GROUNDRULE& r : groundRules) {
            if (!bodyTrue(r.body.get(), m) || !bodyTrue(r.body.get(), n)) continue;
            bool head = false;
            for (ATOMID h : *r.head) head = head || (n & bit(h));
            if (!head) return false;
        }
        return true;
    }
    // m satisfies every rule and constraint.
    bool isModel(uint32_t m) const {
        for (const GROUNDCONSTRAINT& c : groundConstraints)
            if (bodyTrue(&c.body, m)) return false;
        return modelOfReduct(m, m);
    }
    bool isAnswerSet(uint32_t m) const {
        for (const GROUNDCONSTRAINT& c : groundConstraints)
            if (bodyTrue(&c.body, m)) return false;
        if (!modelOfReduct(m, m)) return false;
        for (uint32_t n = (m - 1) & m; n != m; n = (n - 1) & m) {
            if (modelOfReduct(n, m)) return false;
            if (n == 0) break;
        }
        return true;
    }
    void add(int32_t a) {
        const ATOM& atom = groundAtom(a);
        if (!atom.isAggregate()) {
            if (!bit(a)) atoms.push_back(a);
            return;
        }
        if (aggregateOf(a)) return;
        const AGGREGATEATOM& agg = *atom.aggregate();
        const AGGREGATEFUNCTION& f = agg.fn();
        AGGREGATE g{a, f.kind, 0, &f.set(), integerValue(agg.lowerGuard) + (agg.lowerInclusive ? 0 : 1),
                    upperGuardValue(agg.upperGuard) - (agg.upperInclusive ? 0 : 1)};
        switch (f.kind) {
        case AGG_COUNT:
        case AGG_SUM: g.base = f.lower; break;
        case AGG_TIMES: g.base = f.extra1(); break;
        default: g.base = f.extra2(); break;  // the extreme over the true elements
        }
        aggregates.push_back(g);
        for (const GROUNDSETELEMENT& e : f.set()) add(e.atom);
    }
    BRUTEFORCE() {
        for (const GROUNDRULE& r : groundRules) {
            for (ATOMID h : *r.head) add(h);
            if (r.body)
                for (const GROUNDLITERAL& l : r.body->literals) add(l.atom);
        }
        for (const GROUNDCONSTRAINT& c : groundConstraints)
            for (const GROUNDLITERAL& l : c.body.literals) add(l.atom);
        EXPECT_LE(atoms.size(), 16u);
        for (uint32_t m = 0; m < (1u << atoms.size()); ++m)
            if (isAnswerSet(m)) answerSets.push_back(m);
    }
};

// Every decided atom agrees with every answer set that contains the set
// bits of `in` and none of `out`; returns how many such answer sets exist.
size_t checkSound(const BRUTEFORCE& b, const GENERATORRUN& run, uint32_t in, uint32_t out) {
    size_t agreeing = 0;
    for (uint32_t m : b.answerSets) {
        if ((m & in) != in || (m & out) != 0) continue;
        ++agreeing;
        for (const BRUTEFORCE::AGGREGATE& g : b.aggregates) {
            int32_t v = run.interpretation.values[g.atom];
            if (v != TV_UNDEFINED) {
                EXPECT_EQ(isTrueOrMustBeTrue(v), b.evaluate(g, m)) << "aggregate atom " << g.atom;
            }
        }
        for (size_t i = 0; i < b.atoms.size(); ++i) {
            int32_t v = run.interpretation.values[b.atoms[i]];
            bool inM = m & (1u << i);
            if (v == TV_FALSE) {
                EXPECT_FALSE(inM) << "atom " << b.atoms[i] << " is false but in an answer set";
            } else if (isTrueOrMustBeTrue(v)) {
                EXPECT_TRUE(inM) << "atom " << b.atoms[i] << " is true but not in an answer set";
            }
        }
    }
    return agreeing;
}

// A complete search by plain branching: every branch propagated, every
// total assignment checked. A leaf reached without conflict must be a model
// in which every aggregate atom holds its value; its answer sets are
// collected in found.
void searchAll(const BRUTEFORCE& b, GENERATORRUN& run, std::vector<uint32_t>& found) {
    MODELGENERATOR& g = run.gen();
    const INTERPRETATION& I = run.interpretation;
    for (int32_t atom : b.atoms) {
        if (I.values[atom] != TV_UNDEFINED) continue;
        for (int32_t value : {TV_ASSUMED, TV_FALSE}) {
            LEVELMARK mark = g.enterLevel(run.interpretation);
            g.assignChoice(atom, value, run.interpretation);
            if (g.propagateEvents(run.interpretation)) searchAll(b, run, found);
            g.leaveLevel(run.interpretation, mark);
        }
        return;
    }
    uint32_t m = 0;
    for (size_t i = 0; i < b.atoms.size(); ++i)
        if (isTrueOrMustBeTrue(I.values[b.atoms[i]])) m |= 1u << i;
    EXPECT_TRUE(b.isModel(m)) << "a total assignment without conflict that is no model: " << m;
    for (const BRUTEFORCE::AGGREGATE& a : b.aggregates) {
        EXPECT_NE(I.values[a.atom], TV_UNDEFINED) << "aggregate atom " << a.atom << " left undefined";
        EXPECT_EQ(isTrueOrMustBeTrue(I.values[a.atom]), b.evaluate(a, m)) << "aggregate atom " << a.atom;
    }
    if (I.mustBeTrueCount == 0 && b.isAnswerSet(m)) found.push_back(m);
}

// Checks the propagation of one program before and after random choices.
void checkProgram(const std::string& text, uint64_t seed) {
    inFreshProcess([&text, seed] {
        if (!groundIfConsistent(text)) return;
        BRUTEFORCE b;
        GENERATORRUN run;
        if (!run.consistent) {
            EXPECT_TRUE(b.answerSets.empty()) << "initial propagation failed on a consistent program";
            return;
        }
        checkSound(b, run, 0, 0);
        MODELGENERATOR& g = run.gen();
        SEARCHSTATE start = snapshot(g, run.interpretation);
        RANDOM choices{seed * 7919};
        // Two levels of random choices, each undone again.
        for (int attempt = 0; attempt < 6; ++attempt) {
            uint32_t in = 0, out = 0;
            std::vector<LEVELMARK> marks;
            for (int depth = 0; depth < 2; ++depth) {
                int32_t atom = b.atoms.empty() ? -1 : b.atoms[choices.below(uint32_t(b.atoms.size()))];
                if (atom < 0 || run.interpretation.values[atom] != TV_UNDEFINED) break;
                bool positive = choices.below(2);
                (positive ? in : out) |= b.bit(atom);
                marks.push_back(g.enterLevel(run.interpretation));
                g.assignChoice(atom, positive ? TV_ASSUMED : TV_FALSE, run.interpretation);
                if (!g.propagateEvents(run.interpretation)) {
                    EXPECT_EQ(checkSound(b, run, in, out), 0u) << "a conflict although an answer set agrees";
                    break;
                }
                checkSound(b, run, in, out);
            }
            while (!marks.empty()) {
                g.leaveLevel(run.interpretation, marks.back());
                marks.pop_back();
            }
            EXPECT_TRUE(snapshot(g, run.interpretation) == start);
        }
        // No answer set is ever pruned.
        std::vector<uint32_t> found;
        searchAll(b, run, found);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, b.answerSets);
        EXPECT_TRUE(snapshot(g, run.interpretation) == start);
    });
}

}  // namespace

TEST(RandomPrograms, PropagationIsSoundAgainstAnswerSets) {
    const uint64_t programs = randomProgramCount(300, 60);
    for (uint64_t seed = 1; seed <= programs; ++seed) {
        RANDOM r{seed};
        std::string text = randomProgram(r);
        SCOPED_TRACE(text);
        checkProgram(text, seed);
    }
}

TEST(RandomPrograms, AggregatePropagationIsSoundAgainstAnswerSets) {
    const uint64_t programs = randomProgramCount(300, 60);
    for (uint64_t seed = 1; seed <= programs; ++seed) {
        RANDOM r{seed};
        std::string text = randomAggregateProgram(r);
        SCOPED_TRACE(text);
        checkProgram(text, seed);
    }
}

}  // namespace veltra
