// Random stratified programs (facts, recursion, stratified negation,
// comparisons, aggregates, constraints) solved by veltra and by clingo: the
// sets of answer sets must agree. Every program comes from a fixed seed, so a
// failure names the seed that reproduces it.
//
// Each instance of a test runs 50 or 100 programs in the Release build and a
// fifth of them in the sanitizer build; VELTRA_DIFFERENTIAL_PROGRAMS=N in the
// environment makes it run N. The instances of a test keep disjoint seeds,
// instance i taking seeds 1 + i*N to (i+1)*N.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/unit/support/command.h"
#include "tests/unit/support/randomprograms.h"

namespace {

using MODEL = std::set<std::string>;
using MODELS = std::set<MODEL>;

std::string run(const std::string& command) { return veltra::runCommand(command); }

// Splits "a, p(1,2), q" at the commas outside parentheses.
MODEL splitAtoms(const std::string& text, char separator) {
    MODEL atoms;
    std::string current;
    int depth = 0;
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == separator && depth == 0) {
            if (!current.empty()) atoms.insert(current);
            current.clear();
            continue;
        }
        if (c != ' ' || depth > 0) current += c;
    }
    if (!current.empty()) atoms.insert(current);
    return atoms;
}

// veltra prints one "{...}" line per answer set.
MODELS veltraModels(const std::string& out) {
    MODELS models;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
        if (line.size() >= 2 && line.front() == '{' && line.back() == '}')
            models.insert(splitAtoms(line.substr(1, line.size() - 2), ','));
    return models;
}

// clingo -V0 prints each answer set on one line, atoms separated by blanks,
// then SATISFIABLE or UNSATISFIABLE.
MODELS clingoModels(const std::string& out) {
    MODELS models;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line == "SATISFIABLE" || line == "UNSATISFIABLE" || line.rfind("UNKNOWN", 0) == 0) continue;
        models.insert(splitAtoms(line, ' '));
    }
    return models;
}

// The seeds of a test instance whose seeds start at first in the Release
// build, release programs apart; the sanitizer build runs sanitized programs
// per instance (see randomProgramCount).
struct SEEDS {
    unsigned first, end;
};

SEEDS seedsOf(unsigned first, unsigned release, unsigned sanitized) {
    const unsigned count = veltra::randomProgramCount(release, sanitized);
    const unsigned instance = (first - 1) / release;
    return {1 + instance * count, 1 + (instance + 1) * count};
}

std::string show(const MODELS& models) {
    std::string s;
    for (const MODEL& m : models) {
        s += "{";
        for (const std::string& a : m) s += a + " ";
        s += "}\n";
    }
    return s;
}

// A random stratified program. Predicates d0..d(k-1) are derived in that
// order; a rule for di uses positive literals over facts and d0..di (di itself
// gives recursion) and negative literals and aggregates over facts and
// d0..d(i-1) only, so negation and aggregates are stratified.
class GENERATOR {
public:
    explicit GENERATOR(unsigned seed) : rng_(seed) {}

    std::string program() {
        std::ostringstream p;
        int domain = pick(2, 5);
        for (int f = 0; f < 3; ++f) {
            int arity = pick(1, 2);
            predicates_.push_back({"e" + std::to_string(f), arity, -1});
            for (int n = pick(1, 6); n > 0; --n) p << "e" << f << "(" << args(arity, domain) << ").\n";
        }
        int derived = pick(2, 5);
        for (int d = 0; d < derived; ++d) predicates_.push_back({"d" + std::to_string(d), pick(1, 2), d});
        for (int d = 0; d < derived; ++d)
            for (int r = pick(1, 3); r > 0; --r) p << rule(d) << "\n";
        if (pick(0, 3) == 0) p << ":- " << groundAtom(domain) << ".\n";
        return p.str();
    }

private:
    struct PREDICATE {
        std::string name;
        int arity;
        int stratum;  // -1 for facts
    };

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    std::string args(int arity, int domain) {
        std::string s;
        for (int i = 0; i < arity; ++i) s += (i ? "," : "") + std::to_string(pick(1, domain));
        return s;
    }

    // A predicate of stratum below limit (strict) or up to it.
    const PREDICATE& predicateBelow(int limit, bool strict) {
        std::vector<const PREDICATE*> candidates;
        for (const PREDICATE& q : predicates_)
            if (strict ? q.stratum < limit : q.stratum <= limit) candidates.push_back(&q);
        return *candidates[pick(0, int(candidates.size()) - 1)];
    }

    std::string atomOver(const PREDICATE& q, const std::vector<std::string>& vars) {
        std::string s = q.name + "(";
        for (int i = 0; i < q.arity; ++i) s += (i ? "," : "") + vars[pick(0, int(vars.size()) - 1)];
        return s + ")";
    }

    std::string groundAtom(int domain) {
        const PREDICATE& q = predicates_[pick(3, int(predicates_.size()) - 1)];
        return q.name + "(" + args(q.arity, domain) + ")";
    }

    std::string rule(int d) {
        const PREDICATE& head = predicates_[3 + d];
        std::vector<std::string> vars{"X", "Y", "Z"};
        std::vector<std::string> body;
        std::set<std::string> bound;
        // Positive literals first; they bind the variables the rest uses.
        for (int n = pick(1, 3); n > 0; --n) {
            std::string a = atomOver(predicateBelow(d, n > 1 && pick(0, 2) == 0 ? false : true), vars);
            if (n == 1 && pick(0, 3) == 0) a = atomOver(head, vars);  // recursion
            body.push_back(a);
            for (const std::string& v : vars)
                if (a.find(v) != std::string::npos) bound.insert(v);
        }
        std::vector<std::string> boundVars(bound.begin(), bound.end());
        if (pick(0, 2) == 0) body.push_back("not " + atomOver(predicateBelow(d, true), boundVars));
        if (boundVars.size() >= 2 && pick(0, 2) == 0)
            body.push_back(boundVars[0] + (pick(0, 1) ? " < " : " != ") + boundVars[1]);
        if (pick(0, 4) == 0) {
            const PREDICATE& q = predicateBelow(d, true);
            std::string inner = q.name + "(" + std::string("A") + (q.arity == 2 ? ",B" : "") + ")";
            body.push_back(std::to_string(pick(0, 2)) + " < #count{A : " + inner + "}");
        }
        std::string h = atomOver(head, boundVars);
        std::string s = h + " :- ";
        for (size_t i = 0; i < body.size(); ++i) s += (i ? ", " : "") + body[i];
        return s + ".";
    }

    std::mt19937 rng_;
    std::vector<PREDICATE> predicates_;
};

class Differential : public ::testing::TestWithParam<unsigned> {};

TEST_P(Differential, StratifiedProgramsAgreeWithClingo) {
    if (std::string(CLINGO_BINARY).empty() || access(CLINGO_BINARY, X_OK) != 0) GTEST_SKIP() << "clingo not installed";
    char path[] = "/tmp/veltra-differential-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const SEEDS seeds = seedsOf(GetParam(), 50, 10);
    for (unsigned seed = seeds.first; seed < seeds.end; ++seed) {
        std::string program = GENERATOR(seed).program();
        std::ofstream(path) << program;
        MODELS ours = veltraModels(run(std::string(VELTRA_BINARY) + " -silent " + path + " 2>&1"));
        MODELS theirs = clingoModels(run(std::string(CLINGO_BINARY) + " -V0 -n 0 " + path + " 2>/dev/null"));
        EXPECT_EQ(ours, theirs) << "seed " << seed << "\n" << program << "veltra:\n" << show(ours) << "clingo:\n"
                                << show(theirs);
    }
    unlink(path);
}

INSTANTIATE_TEST_SUITE_P(Seeds, Differential, ::testing::Values(1u, 51u, 101u, 151u));

// A random program without stratification: disjunctive heads, negation
// through loops, strong negation, constraints and, optionally, weak
// constraints over two levels. It is written twice, in veltra's syntax and in
// clingo's ("a ; b" for "a v b", "[w@l, id, vars]" for "[w:l]": clingo sums
// each distinct tuple once, veltra each ground instance).
class UNSTRATIFIED {
public:
    UNSTRATIFIED(unsigned seed, bool weak) : rng_(seed), weak_(weak) {}

    void write(std::string& veltra, std::string& clingo) {
        std::ostringstream v, c;
        const int domain = pick(1, 3);
        for (int x = 1; x <= domain; ++x) {
            v << "e(" << x << ").\n";
            c << "e(" << x << ").\n";
        }
        const int derived = pick(2, 5);
        for (int d = 0; d < derived; ++d) arities_.push_back(pick(0, 1));
        for (int r = pick(2, 7); r > 0; --r) {
            std::vector<std::string> head;
            for (int h = pick(1, 3); h > 0; --h) head.push_back(atom(pick(0, derived - 1), true));
            std::string body = bodyText(derived);
            std::string vh, ch;
            for (size_t i = 0; i < head.size(); ++i) {
                vh += (i ? " v " : "") + head[i];
                ch += (i ? " ; " : "") + head[i];
            }
            v << vh << (body.empty() ? "" : " :- " + body) << ".\n";
            c << ch << (body.empty() ? "" : " :- " + body) << ".\n";
        }
        for (int k = pick(0, 2); k > 0; --k) {
            std::string body = bodyText(derived);
            if (body.empty()) continue;
            v << ":- " << body << ".\n";
            c << ":- " << body << ".\n";
        }
        if (weak_) {
            // Every answer set violates this one alike, so that clingo always
            // optimises (it prints only its last model otherwise).
            c << ":~ e(1). [1@3, always]\n";
            for (int k = pick(1, 4), id = 0; k > 0; --k, ++id) {
                std::string body = bodyText(derived);
                if (body.empty()) continue;
                int weight = pick(1, 3), level = pick(1, 2);
                v << ":~ " << body << ". [" << weight << ":" << level << "]\n";
                c << ":~ " << body << ". [" << weight << "@" << level << ", " << id
                  << (body.find('X') != std::string::npos ? ", X" : "") << "]\n";
            }
        }
        veltra = v.str();
        clingo = c.str();
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    // An atom of derived predicate d, strongly negated now and then; unary
    // ones take the variable X.
    std::string atom(int d, bool mayNegate) {
        std::string s = (mayNegate && pick(0, 5) == 0 ? "-d" : "d") + std::to_string(d);
        return arities_[d] ? s + "(X)" : s;
    }

    // "e(X)" first (binding X for every unary atom of the rule), then one to
    // three literals, negated now and then.
    std::string bodyText(int derived) {
        std::string body = "e(X)";
        for (int n = pick(0, 3); n > 0; --n) body += std::string(", ") + (pick(0, 2) == 0 ? "not " : "") +
                                                    atom(pick(0, derived - 1), true);
        return body;
    }

    std::mt19937 rng_;
    bool weak_;
    std::vector<int> arities_;
};

// Lines of clingo's optimal models only (--opt-mode=optN --quiet=1).
std::string withoutOptimisationLines(const std::string& out) {
    std::istringstream lines(out);
    std::string line, kept;
    while (std::getline(lines, line))
        if (line.rfind("Optimization", 0) != 0 && line.rfind("OPTIMUM", 0) != 0) kept += line + "\n";
    return kept;
}

// "Best model: {...}" lines as plain "{...}" lines.
std::string withoutModelPrefix(const std::string& out) {
    std::istringstream lines(out);
    std::string line, kept;
    const std::string prefix = "Best model: ";
    while (std::getline(lines, line)) kept += (line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line) + "\n";
    return kept;
}

class DifferentialSearch : public ::testing::TestWithParam<unsigned> {
protected:
    void compare(bool weak) {
        if (std::string(CLINGO_BINARY).empty() || access(CLINGO_BINARY, X_OK) != 0) GTEST_SKIP() << "clingo not installed";
        char veltraPath[] = "/tmp/veltra-search-XXXXXX";
        char clingoPath[] = "/tmp/veltra-search-lp-XXXXXX";
        int fd1 = mkstemp(veltraPath), fd2 = mkstemp(clingoPath);
        ASSERT_GE(fd1, 0);
        ASSERT_GE(fd2, 0);
        close(fd1);
        close(fd2);
        const SEEDS seeds = seedsOf(GetParam(), 100, 20);
        for (unsigned seed = seeds.first; seed < seeds.end; ++seed) {
            std::string veltraText, clingoText;
            UNSTRATIFIED(seed, weak).write(veltraText, clingoText);
            std::ofstream(veltraPath) << veltraText;
            std::ofstream(clingoPath) << clingoText;
            MODELS ours = veltraModels(withoutModelPrefix(run(std::string(VELTRA_BINARY) + " -silent " + veltraPath + " 2>&1")));
            std::string options = weak ? " -V0 -n 0 --opt-mode=optN --quiet=1 " : " -V0 -n 0 ";
            MODELS theirs =
                clingoModels(withoutOptimisationLines(run(std::string(CLINGO_BINARY) + options + clingoPath + " 2>/dev/null")));
            EXPECT_EQ(ours, theirs) << "seed " << seed << "\n" << veltraText << "veltra:\n" << show(ours)
                                    << "clingo:\n" << show(theirs);
        }
        unlink(veltraPath);
        unlink(clingoPath);
    }
};

TEST_P(DifferentialSearch, DisjunctiveProgramsAgreeWithClingo) { compare(false); }
TEST_P(DifferentialSearch, OptimalModelsAgreeWithClingo) { compare(true); }

// Every setting of the choice (heuristics, criteria, candidate list,
// unfounded-set step) finds the same answer sets, and the optimal ones under
// weak constraints, as the choice without heuristics ("-OH-").
class DifferentialSettings : public ::testing::TestWithParam<unsigned> {
protected:
    void compare(bool weak) {
        static const char* const settings[] = {
            "",  // the defaults: heuristics, --negpts, --complpt, --GUS
            "--noGUS",
            "--pospts",
            "--nocomplpt",
            "--ptcache=1",
            "--heuristic=1009,21,12,5 --combineheuristic=2,7,1,8",
            "--heuristic=29,6,37 --combinecomplpt=5 --cannotchoosecomplpt",
            "--pospts --nocomplpt --ptcache=2 --heuristic=31,2000,16 --noGUS",
            "-OH- --noGUS",
            "-OH- --pospts",
        };
        char path[] = "/tmp/veltra-settings-XXXXXX";
        int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        auto models = [&path](const std::string& options) {
            return veltraModels(
                withoutModelPrefix(run(std::string(VELTRA_BINARY) + " -silent " + options + " " + path + " 2>&1")));
        };
        const SEEDS seeds = seedsOf(GetParam(), 100, 10);
        for (unsigned seed = seeds.first; seed < seeds.end; ++seed) {
            std::string veltraText, clingoText;
            UNSTRATIFIED(seed, weak).write(veltraText, clingoText);
            std::ofstream(path) << veltraText;
            const MODELS reference = models("-OH-");
            for (const char* setting : settings)
                EXPECT_EQ(models(setting), reference) << "seed " << seed << ", options \"" << setting << "\"\n"
                                                      << veltraText << "-OH-:\n" << show(reference);
        }
        unlink(path);
    }
};

TEST_P(DifferentialSettings, AnswerSetsAgreeWithoutHeuristics) { compare(false); }
TEST_P(DifferentialSettings, OptimalModelsAgreeWithoutHeuristics) { compare(true); }

INSTANTIATE_TEST_SUITE_P(Seeds, DifferentialSettings, ::testing::Values(1u, 101u));

INSTANTIATE_TEST_SUITE_P(Seeds, DifferentialSearch, ::testing::Values(1u, 101u, 201u, 301u));

}  // namespace
