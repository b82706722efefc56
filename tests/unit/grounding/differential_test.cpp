// Random stratified programs with aggregates: grounding must decide them
// completely, give the same result under every body ordering and with or
// without semi-naive evaluation, and agree with clingo's answer set when
// clingo is installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/support/ground.h"
#include "tests/unit/support/randomprograms.h"

using namespace veltra;

namespace {

// One generated program in both syntaxes, and its input facts.
struct GENERATED {
    std::string veltra;
    std::string clingo;
    std::set<std::string> facts;
};

// Predicates e0..e2 hold facts; predicates p0..p5 are defined by rules in
// strata: a rule for p_i reads positively any e and any p_j with j <= i, and
// negatively only p_j with j < i. Negated literals, comparisons and sums
// use variables bound by positive literals and stand last.
GENERATED generate(uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % uint32_t(n)); };
    GENERATED g;
    const int arity[9] = {2, 1, 2, 1, 2, 2, 1, 2, 1};  // e0..e2, p0..p5
    auto name = [](int i) { return i < 3 ? "e" + std::to_string(i) : "p" + std::to_string(i - 3); };
    for (int e = 0; e < 3; ++e) {
        int facts = 2 + pick(6);
        for (int k = 0; k < facts; ++k) {
            std::string f = name(e) + "(" + std::to_string(pick(5));
            if (arity[e] == 2) f += "," + std::to_string(pick(5));
            f += ")";
            if (g.facts.insert(f).second) g.veltra += f + ".\n";
        }
    }
    g.clingo = g.veltra;
    const char* variables[4] = {"X", "Y", "Z", "W"};
    for (int head = 3; head < 9; ++head) {
        const int ruleCount = 1 + pick(3);
        for (int r = 0; r < ruleCount; ++r) {
            std::vector<std::string> positive, tail, tailClingo;
            std::set<std::string> bound;
            const int positives = 1 + pick(3);
            for (int k = 0; k < positives; ++k) {
                const int p = pick(head + 1);  // e or p_j with j <= head: recursion allowed
                std::string lit = name(p) + "(";
                for (int a = 0; a < arity[p]; ++a) {
                    std::string v = variables[pick(4)];
                    if (pick(6) == 0) v = std::to_string(pick(5));
                    else bound.insert(v);
                    lit += (a ? "," : "") + v;
                }
                positive.push_back(lit + ")");
            }
            if (bound.empty()) continue;
            std::vector<std::string> boundList(bound.begin(), bound.end());
            auto boundVariable = [&]() { return boundList[pick(int(boundList.size()))]; };
            if (head > 3 && pick(2) == 0) {  // negation of a lower stratum
                const int p = 3 + pick(head - 3);
                std::string lit = "not " + name(p) + "(";
                for (int a = 0; a < arity[p]; ++a) lit += (a ? "," : "") + boundVariable();
                tail.push_back(lit + ")");
                tailClingo.push_back(tail.back());
            }
            if (pick(3) == 0) {
                const char* ops[4] = {"<", ">", "<=", "!="};
                std::string c = boundVariable() + " " + ops[pick(4)] + " " + boundVariable();
                tail.push_back(c);
                tailClingo.push_back(c);
            }
            std::string headArgs;
            bool sum = pick(4) == 0;
            std::string x = boundVariable(), y = boundVariable();
            for (int a = 0; a < arity[head]; ++a) {
                std::string v = (sum && a == 0) ? "S" : boundVariable();
                headArgs += (a ? "," : "") + v;
            }
            if (sum) {
                tail.push_back("+(" + x + "," + y + ",S)");
                tailClingo.push_back("S = " + x + "+" + y + ", S <= 20");  // "#maxint" is 20
            }
            std::string body, bodyClingo;
            for (const std::string& l : positive) {
                body += (body.empty() ? "" : ", ") + l;
                bodyClingo += (bodyClingo.empty() ? "" : ", ") + l;
            }
            for (const std::string& l : tail) body += ", " + l;
            for (const std::string& l : tailClingo) bodyClingo += ", " + l;
            g.veltra += name(head) + "(" + headArgs + ") :- " + body + ".\n";
            g.clingo += name(head) + "(" + headArgs + ") :- " + bodyClingo + ".\n";
        }
    }
    // Aggregates over the p's, in predicates a0..a3 that no rule reads (a
    // value assigned by an aggregate is not bounded by "#maxint").
    auto elements = [&](int p) {
        return std::string("V : ") + name(p) + (arity[p] == 2 ? (pick(2) ? "(V,W)" : "(W,V)") : "(V)");
    };
    std::string aggregates;
    aggregates += "a0(N) :- N = #count{" + elements(3 + pick(6)) + "}.\n";
    aggregates += "a1(N) :- N = #sum{" + elements(3 + pick(6)) + "}.\n";
    const int p = 3 + pick(6);
    aggregates += "a2(X) :- " + name(p) + (arity[p] == 2 ? "(X,Y)" : "(X)") + ", #count{" + elements(3 + pick(6)) +
                  "} >= " + std::to_string(pick(4)) + ".\n";
    // Without elements #max and #min have no value here, and clingo's #inf
    // and #sup fail these guards as well.
    const bool maximum = pick(2);
    aggregates += std::string("a3 :- ") + (maximum ? "#max{" : "#min{") + elements(3 + pick(6)) +
                  (maximum ? "} >= " : "} <= ") + std::to_string(pick(5)) + ".\n";
    g.veltra += aggregates;
    g.clingo += aggregates;
    return g;
}

// The atoms after "true:" in a dump.
std::set<std::string> trueAtomsOf(const std::string& dump) {
    std::set<std::string> atoms;
    std::istringstream in(dump);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("true:", 0) == 0) {
            std::istringstream words(line.substr(5));
            std::string w;
            while (words >> w)
                if (w.rfind("aux#", 0) != 0) atoms.insert(w);  // internal atoms of aggregates
        }
    return atoms;
}

bool clingoInstalled() { return access("/usr/bin/clingo", X_OK) == 0; }

// clingo's single answer set, or an empty set with ok false.
std::set<std::string> clingoModel(const std::string& program, bool& ok) {
    char path[] = "/tmp/veltra_clingo_XXXXXX";
    int fd = mkstemp(path);
    FILE* file = fdopen(fd, "w");
    std::fputs(program.c_str(), file);
    std::fclose(file);
    std::string command = std::string("/usr/bin/clingo -V0 ") + path + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
    unlink(path);
    std::istringstream in(output);
    std::string line;
    std::set<std::string> atoms;
    ok = false;
    if (!std::getline(in, line)) return atoms;
    std::istringstream words(line);
    std::string w;
    while (words >> w) atoms.insert(w);
    std::string verdict;
    ok = std::getline(in, verdict) && verdict == "SATISFIABLE";
    return atoms;
}

TEST(GroundingDifferential, StratifiedProgramsAreDecidedAlike) {
    const bool compareWithClingo = clingoInstalled();
    const uint32_t programs = randomProgramCount(100, 20);
    for (uint32_t seed = 1; seed <= programs; ++seed) {
        const GENERATED g = generate(seed);
        GROUNDSETTINGS settings;
        settings.maxInt = 20;
        const CHILDRUN reference = groundText(g.veltra, settings);
        ASSERT_EQ(reference.status, 0) << g.veltra << reference.err;
        // Nothing is left for the search: no undefined atom, no ground rule.
        EXPECT_NE(reference.out.find("undefined:\n"), std::string::npos) << g.veltra << reference.out;
        std::set<std::string> model = trueAtomsOf(reference.out);
        model.insert(g.facts.begin(), g.facts.end());

        for (int ordering : {0, 1}) {
            settings.bodyReordering = ordering;
            EXPECT_EQ(groundText(g.veltra, settings).out, reference.out) << "-OGo" << ordering << "\n" << g.veltra;
        }
        settings.bodyReordering = 2;
        settings.semiNaive = false;
        EXPECT_EQ(groundText(g.veltra, settings).out, reference.out) << "-OGs-\n" << g.veltra;

        if (!compareWithClingo) continue;
        bool ok = false;
        std::set<std::string> expected = clingoModel(g.clingo, ok);
        ASSERT_TRUE(ok) << g.clingo;
        EXPECT_EQ(model, expected) << g.veltra;
    }
}

}  // namespace
