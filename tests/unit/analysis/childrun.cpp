// tests/unit/analysis/childrun.cpp: the child-process harness of the
// rewriting tests.
#include "tests/unit/analysis/childrun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "analysis/depgraph.h"
#include "core/groundprogram.h"
#include "core/rule.h"
#include "driver/options.h"
#include "driver/output.h"
#include "driver/run.h"
#include "grounding/grounder.h"
#include "input/parse.h"

namespace veltra {

namespace {

[[noreturn]] void childMain(const std::string& text, const std::function<void()>& body) {
    rules.clear();
    constraints.clear();
    weakConstraints.clear();
    query.reset();
    objects.clear();
    edbFacts = ATOMSET();
    trueNegatedPredicates.clear();
    strictRulesUsed = false;
    parseErrorCount = 0;
    registerBuiltins();
    OPTIONS.internalParse = false;
    currentFileName = "program.dl";
    lineNumber = 1;
    std::string buffer = text + "\n";
    FILE* input = fmemopen(const_cast<char*>(buffer.data()), buffer.size(), "r");
    parseMainLanguage(input);
    std::fclose(input);
    OPTIONS.internalParse = true;
    if (parseErrorCount > 0) {
        std::fflush(nullptr);
        std::exit(3);
    }
    objectsUsed = objects.size() > 1;
    body();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::exit(0);
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

CHILDRUN runInChild(const std::string& text, const std::function<void()>& body) {
    char outPath[] = "/tmp/veltra_rewrite_outXXXXXX";
    char errPath[] = "/tmp/veltra_rewrite_errXXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    CHILDRUN run;
    pid_t child = fork();
    if (child == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        childMain(text, body);
    }
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    close(outFd);
    close(errFd);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    unlink(outPath);
    unlink(errPath);
    return run;
}

std::string programText() {
    std::ostringstream out;
    edbFacts.forEach([&](const ATOM& a) { printAtom(out, a) << ".\n"; });
    for (const RULE& r : rules) printProgramRule(out, r) << '\n';
    for (const CONSTRAINT& c : constraints) printProgramConstraint(out, c) << '\n';
    return out.str();
}

namespace {

// Grounds the program; "" when it is decided completely, else the reason.
std::string ground() {
    DG depgraph(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_GROUNDING);
    int32_t status = 0;
    bool grounded;
    {
        GROUNDER grounder(depgraph, false);
        grounded = grounder.groundProgram(status);
    }
    if (!grounded) return status == 0 ? "inconsistent" : "grounding error";
    if (!groundRules.empty()) return "undecided";
    // Every atom is decided: a constraint left has only negative literals.
    if (!groundConstraints.empty()) return "inconsistent";
    return "";
}

}  // namespace

std::string groundModel() {
    std::string failure = ground();
    if (!failure.empty()) return failure;
    std::ostringstream out;
    printInterpretation(out, &trueAtoms, nullptr);
    return out.str();
}

std::string groundTrueAtoms() {
    std::string failure = ground();
    if (!failure.empty()) return failure + "\n";
    std::ostringstream out;
    trueAtoms.forEach([&](const ATOM& a) { printAtom(out, a) << '\n'; });
    return out.str();
}

}  // namespace veltra
