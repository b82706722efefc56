// Random diagnosis problems solved by veltra under every variant and by a
// brute-force oracle in this file: for each set S of hypotheses the oracle
// computes the one model of the theory with S (the theories are Horn, with
// "not" only on "ab" atoms that no rule derives) and decides whether S is a
// diagnosis. The diagnoses of -FD/-FR must be the oracle's; those of
// -FDmin/-FRmin exactly the subset-minimal ones among what -FD/-FR printed
// (and among the oracle's); -FDsingle/-FRsingle the single ones; -FDmincost
// those of least cost. Every problem comes from a fixed seed, so a failure
// names the seed that reproduces it.
//
// VELTRA_DIFFERENTIAL_PROGRAMS=N in the environment makes every test run N
// problems instead of its default count.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/support/command.h"
#include "tests/unit/support/randomprograms.h"

namespace {

using DIAGNOSIS = std::set<std::string>;  // hypothesis atoms as printed
using DIAGNOSES = std::set<DIAGNOSIS>;

// One ground literal of a rule or constraint instance.
struct GLITERAL {
    std::string atom;
    bool negated;
};
struct GRULE {
    std::string head;  // "" for a constraint
    std::vector<GLITERAL> body;
};

// A problem: program text for veltra and its ground instances for the oracle.
struct PROBLEM {
    std::string theory, hypothesisFile, weightedHypothesisFile, observationFile;
    std::vector<std::string> hypotheses;
    std::vector<int> weights;
    std::vector<GRULE> rules;  // ground instances, facts as rules without body
    std::vector<std::string> positiveObservations, negativeObservations;
};

// The oracle: the least model of the ground rules with the assumed atoms
// (the "ab" atoms among them decide every "not ab" literal).
std::set<std::string> leastModel(const PROBLEM& p, const std::set<std::string>& assumed) {
    std::set<std::string> model = assumed;
    for (bool changed = true; changed;) {
        changed = false;
        for (const GRULE& r : p.rules) {
            if (r.head.empty() || model.count(r.head)) continue;
            bool holds = true;
            for (const GLITERAL& l : r.body) holds &= (model.count(l.atom) != 0) != l.negated;
            if (holds) changed |= model.insert(r.head).second;
        }
    }
    return model;
}

const char* const constants[] = {"a", "b", "c"};

class GENERATOR {
public:
    GENERATOR(unsigned seed, bool reiter) : rng_(seed), reiter_(reiter) {}

    PROBLEM problem() {
        PROBLEM p;
        std::ostringstream theory;
        for (const char* c : constants)
            if (pick(0, 2) > 0) addFact(p, theory, "e(" + std::string(c) + ")");
        int rules = pick(3, 9);
        for (int i = 0; i < rules; ++i) addRule(p, theory);
        int constraints = reiter_ ? pick(1, 3) : pick(0, 2);
        for (int i = 0; i < constraints; ++i) addConstraint(p, theory);
        if (pick(0, 3) == 0) addFact(p, theory, qAtom(constant()));
        p.theory = theory.str();
        addHypotheses(p);
        addObservations(p);
        return p;
    }

private:
    std::mt19937 rng_;
    bool reiter_;

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    std::string constant() { return constants[pick(0, 2)]; }
    std::string q() { return "q" + std::to_string(pick(0, 3)); }
    std::string r() { return "r" + std::to_string(pick(0, 1)); }
    std::string qAtom(const std::string& argument) { return q() + "(" + argument + ")"; }

    static std::string withArgument(const std::string& predicate, const std::string& argument) {
        return predicate + "(" + argument + ")";
    }

    void addFact(PROBLEM& p, std::ostringstream& theory, const std::string& atom) {
        theory << atom << ".\n";
        p.rules.push_back({atom, {}});
    }

    // One rule over the variable X, instantiated for every constant.
    struct PATTERN {
        std::string head;                  // with X or ground
        std::vector<std::string> positive; // with X or ground
        std::string abArgument;            // "" for none, "X" or a constant
    };

    void emit(PROBLEM& p, std::ostringstream& text, const PATTERN& pattern, bool constraint) {
        text << (constraint ? ":- " : pattern.head + " :- ");
        const char* sep = "";
        for (const std::string& l : pattern.positive) {
            text << sep << l;
            sep = ", ";
        }
        if (!pattern.abArgument.empty()) text << sep << "not ab(" << pattern.abArgument << ")";
        text << ".\n";
        for (const char* c : constants) {
            auto ground = [&](std::string s) {
                for (size_t at; (at = s.find('X')) != std::string::npos;) s.replace(at, 1, c);
                return s;
            };
            GRULE g{constraint ? "" : ground(pattern.head), {}};
            for (const std::string& l : pattern.positive) g.body.push_back({ground(l), false});
            if (!pattern.abArgument.empty()) g.body.push_back({"ab(" + ground(pattern.abArgument) + ")", true});
            p.rules.push_back(g);
        }
    }

    std::string abArgument(bool withVariable) {
        if (!reiter_ || pick(0, 4) == 0) return "";
        return withVariable && pick(0, 1) ? "X" : constant();
    }

    void addRule(PROBLEM& p, std::ostringstream& theory) {
        PATTERN r;
        switch (pick(0, 5)) {
        case 0: r = {withArgument(q(), "X"), {withArgument(q(), "X")}, abArgument(true)}; break;
        case 1: r = {withArgument(q(), "X"), {withArgument(q(), "X"), withArgument(q(), "X")}, abArgument(true)}; break;
        case 2: r = {withArgument(q(), "X"), {withArgument(q(), "X"), "e(X)"}, abArgument(true)}; break;
        case 3: r = {qAtom(constant()), {qAtom(constant())}, abArgument(false)}; break;
        case 4: r = {GENERATOR::r(), {qAtom(constant())}, abArgument(false)}; break;
        default: r = {withArgument(q(), "X"), {GENERATOR::r(), "e(X)"}, abArgument(true)}; break;
        }
        emit(p, theory, r, false);
    }

    void addConstraint(PROBLEM& p, std::ostringstream& theory) {
        PATTERN c;
        switch (pick(0, 3)) {
        case 0: c = {"", {withArgument(q(), "X"), withArgument(q(), "X")}, ""}; break;
        case 1: c = {"", {r(), qAtom(constant())}, abArgument(false)}; break;
        case 2:
            c = {"", {qAtom(constant())}, abArgument(false)};
            if (reiter_) c.positive.push_back("ab(" + constant() + ")");
            break;
        default: c = {"", {qAtom(constant()), qAtom(constant())}, ""}; break;
        }
        emit(p, theory, c, true);
    }

    void addHypotheses(PROBLEM& p) {
        std::set<std::string> seen;
        int n = reiter_ ? pick(2, 3) : pick(1, 5);
        std::ostringstream plain, weighted;
        for (int tries = 0; int(p.hypotheses.size()) < n && tries < 50; ++tries) {
            std::string h = reiter_ ? "ab(" + constant() + ")" : (pick(0, 3) ? qAtom(constant()) : r());
            if (!seen.insert(h).second) continue;
            p.hypotheses.push_back(h);
            p.weights.push_back(pick(0, 3));
            plain << h << ".\n";
            weighted << h << ". [" << p.weights.back() << "]\n";
        }
        p.hypothesisFile = plain.str();
        p.weightedHypothesisFile = weighted.str();
    }

    // Observations worth explaining: abductive ones that the hypotheses
    // derive and the theory alone does not; Reiter's negated ones that the
    // theory derives when nothing is abnormal. Random atoms otherwise.
    void addObservations(PROBLEM& p) {
        std::ostringstream text;
        std::set<std::string> none, all(p.hypotheses.begin(), p.hypotheses.end());
        if (reiter_) {
            int n = pick(1, 2);
            for (int i = 0; i < n; ++i) {
                p.positiveObservations.push_back(randomAtom());
                text << p.positiveObservations.back() << ".\n";
            }
            none.insert(p.positiveObservations.begin(), p.positiveObservations.end());
            std::vector<std::string> derived = difference(leastModel(p, none), none);
            n = pick(1, 2);
            for (int i = 0; i < n; ++i) {
                p.negativeObservations.push_back(derived.empty() || pick(0, 4) == 0 ? randomAtom() : choose(derived));
                text << "not " << p.negativeObservations.back() << ".\n";
            }
        } else {
            std::vector<std::string> explainable = difference(leastModel(p, all), leastModel(p, none));
            int n = pick(1, 3);
            for (int i = 0; i < n; ++i) {
                p.positiveObservations.push_back(explainable.empty() || pick(0, 4) == 0 ? randomAtom()
                                                                                         : choose(explainable));
                text << p.positiveObservations.back() << ".\n";
            }
        }
        p.observationFile = text.str();
    }

    std::string randomAtom() { return pick(0, 3) ? qAtom(constant()) : r(); }
    std::string choose(const std::vector<std::string>& atoms) {
        return atoms[size_t(pick(0, int(atoms.size()) - 1))];
    }
    // The atoms of a that are not in b and are no facts of e or ab.
    static std::vector<std::string> difference(const std::set<std::string>& a, const std::set<std::string>& b) {
        std::vector<std::string> result;
        for (const std::string& x : a)
            if (!b.count(x) && x[0] != 'e' && x[0] != 'a') result.push_back(x);
        return result;
    }
};

struct ORACLE {
    DIAGNOSES all, minimal, single, cheapest;
};

DIAGNOSES subsetMinimal(const DIAGNOSES& all) {
    DIAGNOSES minimal;
    for (const DIAGNOSIS& d : all) {
        bool isMinimal = true;
        for (const DIAGNOSIS& e : all)
            if (e.size() < d.size() && std::includes(d.begin(), d.end(), e.begin(), e.end())) isMinimal = false;
        if (isMinimal) minimal.insert(d);
    }
    return minimal;
}

ORACLE solve(const PROBLEM& p, bool reiter) {
    ORACLE o;
    const size_t n = p.hypotheses.size();
    std::vector<std::pair<int, DIAGNOSIS>> costed;
    for (uint32_t s = 0; s < (1u << n); ++s) {
        DIAGNOSIS d;
        for (size_t i = 0; i < n; ++i)
            if (s >> i & 1) d.insert(p.hypotheses[i]);
        std::set<std::string> assumed = d;
        if (reiter) assumed.insert(p.positiveObservations.begin(), p.positiveObservations.end());
        std::set<std::string> model = leastModel(p, assumed);
        bool ok = true;
        for (const GRULE& r : p.rules) {
            if (!r.head.empty()) continue;
            bool violated = true;
            for (const GLITERAL& l : r.body) violated &= (model.count(l.atom) != 0) != l.negated;
            ok &= !violated;
        }
        for (const std::string& a : p.positiveObservations) ok &= model.count(a) != 0;
        for (const std::string& a : p.negativeObservations) ok &= model.count(a) == 0;
        if (!ok) continue;
        o.all.insert(d);
        if (d.size() == 1) o.single.insert(d);
        int cost = 0;
        for (size_t i = 0; i < n; ++i)
            if (model.count(p.hypotheses[i])) cost += p.weights[i];
        costed.push_back({cost, d});
    }
    o.minimal = subsetMinimal(o.all);
    int best = -1;
    for (const auto& c : costed)
        if (best < 0 || c.first < best) best = c.first;
    for (const auto& c : costed)
        if (c.first == best) o.cheapest.insert(c.second);
    return o;
}

class WORKDIR {
public:
    WORKDIR() {
        char pattern[] = "/tmp/veltra_diagnosisXXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~WORKDIR() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string write(const std::string& name, const std::string& text) const {
        std::string file = path_ + "/" + name;
        std::ofstream(file) << text;
        return file;
    }
    bool ok() const { return !path_.empty(); }

private:
    std::string path_;
};

// The diagnoses veltra prints; a failed run or any other output line fails.
DIAGNOSES diagnoses(const std::string& options, const std::vector<std::string>& files, std::string& trouble) {
    std::string command = std::string(VELTRA_BINARY) + " -silent " + options;
    for (const std::string& f : files) command += " '" + f + "'";
    int status = -1;
    std::string out = veltra::runCommand(command + " 2>&1", &status);
    if (status != 0) trouble += options + ": status " + std::to_string(status) + "\n" + out;
    DIAGNOSES result;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string prefix = "Diagnosis:";
        if (line.compare(0, prefix.size(), prefix) != 0) {
            trouble += options + ": unexpected line \"" + line + "\"\n";
            continue;
        }
        std::istringstream atoms(line.substr(prefix.size()));
        DIAGNOSIS d;
        for (std::string a; atoms >> a;) d.insert(a);
        result.insert(d);
    }
    return result;
}

std::string show(const DIAGNOSES& all) {
    std::string s;
    for (const DIAGNOSIS& d : all) {
        s += "{";
        for (const std::string& a : d) s += " " + a;
        s += " }\n";
    }
    return s;
}

void check(bool reiter, unsigned firstSeed, unsigned defaultCount, unsigned sanitizedCount) {
    WORKDIR dir;
    ASSERT_TRUE(dir.ok());
    const unsigned count = veltra::randomProgramCount(defaultCount, sanitizedCount);
    const std::string family = reiter ? "-FR" : "-FD";
    for (unsigned seed = firstSeed; seed < firstSeed + count; ++seed) {
        PROBLEM p = GENERATOR(seed, reiter).problem();
        ORACLE o = solve(p, reiter);
        const std::string theory = dir.write("theory.dl", p.theory);
        const std::string hyp = dir.write("h.hyp", p.hypothesisFile);
        const std::string obs = dir.write("o.obs", p.observationFile);
        std::string trouble;
        DIAGNOSES all = diagnoses(family, {theory, hyp, obs}, trouble);
        DIAGNOSES minimal = diagnoses(family + "min", {theory, hyp, obs}, trouble);
        DIAGNOSES single = diagnoses(family + "single", {theory, hyp, obs}, trouble);
        const std::string context = "seed " + std::to_string(seed) + "\n" + p.theory + "hypotheses:\n" +
                                    p.weightedHypothesisFile + "observations:\n" + p.observationFile;
        EXPECT_EQ(trouble, "") << context;
        EXPECT_EQ(all, o.all) << context << "veltra:\n" << show(all) << "oracle:\n" << show(o.all);
        EXPECT_EQ(minimal, subsetMinimal(all)) << context << family << "min:\n" << show(minimal) << family << ":\n"
                                               << show(all);
        EXPECT_EQ(minimal, o.minimal) << context << "veltra:\n" << show(minimal) << "oracle:\n" << show(o.minimal);
        EXPECT_EQ(single, o.single) << context << "veltra:\n" << show(single) << "oracle:\n" << show(o.single);
        if (!reiter) {
            const std::string weighted = dir.write("w.hyp", p.weightedHypothesisFile);
            DIAGNOSES cheapest = diagnoses("-FDmincost", {theory, weighted, obs}, trouble);
            EXPECT_EQ(cheapest, o.cheapest) << context << "veltra:\n"
                                            << show(cheapest) << "oracle:\n" << show(o.cheapest);
        }
        if (::testing::Test::HasFailure()) return;  // one reproducible seed is enough
    }
}

TEST(DiagnosisRandom, AbductiveVariantsAgreeWithTheOracle) { check(false, 1, 25, 10); }
TEST(DiagnosisRandom, ReiterVariantsAgreeWithTheOracle) { check(true, 1, 25, 10); }

}  // namespace
