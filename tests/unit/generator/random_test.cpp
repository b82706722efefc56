// Random small disjunctive programs: every value the propagation derives
// holds in every answer set that agrees with the choices made, and a conflict
// means that there is no such answer set. Answer sets are found by brute
// force over the ground program.
#include <sstream>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/rule.h"
#include "generatortest.h"
#include "grounding/grounder.h"
#include "input/parse.h"

namespace veltra {

namespace {

struct RANDOM {
    uint64_t state;
    uint32_t below(uint32_t n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>((state >> 33) % n);
    }
};

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

// The ground program over a dense set of its atoms, and its answer sets.
struct BRUTEFORCE {
    std::vector<int32_t> atoms;  // bit i: atom atoms[i]
    std::vector<uint32_t> answerSets;

    uint32_t bit(int32_t atom) const {
        for (size_t i = 0; i < atoms.size(); ++i)
            if (atoms[i] == atom) return 1u << i;
        return 0;
    }
    // The body holds: positive literals in m, negative ones judged by reductOf.
    bool holds(const GROUNDCONJUNCTION* body, uint32_t m, uint32_t reductOf) const {
        if (!body) return true;
        for (size_t i = 0; i < body->literals.size(); ++i) {
            bool in = (i < body->firstNegative ? m : reductOf) & bit(body->literals[i].atom);
            if (i < body->firstNegative ? !in : in) return false;
        }
        return true;
    }
    // n is a model of the reduct of the ground rules by m.
    bool modelOfReduct(uint32_t n, uint32_t m) const {
        for (const GROUNDRULE& r : groundRules) {
            if (!holds(r.body.get(), n, m)) continue;
            bool head = false;
            for (ATOMID h : *r.head) head = head || (n & bit(h));
            if (!head) return false;
        }
        return true;
    }
    bool isAnswerSet(uint32_t m) const {
        for (const GROUNDCONSTRAINT& c : groundConstraints)
            if (holds(&c.body, m, m)) return false;
        if (!modelOfReduct(m, m)) return false;
        for (uint32_t n = (m - 1) & m; n != m; n = (n - 1) & m) {
            if (modelOfReduct(n, m)) return false;
            if (n == 0) break;
        }
        return true;
    }
    BRUTEFORCE() {
        auto add = [&](int32_t a) {
            if (!bit(a)) atoms.push_back(a);
        };
        for (const GROUNDRULE& r : groundRules) {
            for (ATOMID h : *r.head) add(h);
            if (r.body)
                for (const GROUNDLITERAL& l : r.body->literals) add(l.atom);
        }
        for (const GROUNDCONSTRAINT& c : groundConstraints)
            for (const GROUNDLITERAL& l : c.body.literals) add(l.atom);
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

// Grounds text; false when grounding already proves it inconsistent.
bool groundIfConsistent(const std::string& text) {
    std::stringstream stream(text);
    EXPECT_TRUE(parseFromStream(stream));
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    DG dg(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_GROUNDING);
    GROUNDER grounder(dg, false);
    int32_t status = 0;
    if (!grounder.groundProgram(status)) return false;
    costLevels = weakConstraintLevels();
    atomTableFrozen = true;
    groundAtomCount = atomCount = static_cast<int32_t>(atomsByIndex.size());
    return true;
}

}  // namespace

TEST(RandomPrograms, PropagationIsSoundAgainstAnswerSets) {
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        RANDOM r{seed};
        std::string text = randomProgram(r);
        SCOPED_TRACE(text);
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
        });
    }
}

}  // namespace veltra
