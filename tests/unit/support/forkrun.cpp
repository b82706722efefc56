// tests/unit/support/forkrun.cpp: test cases in child processes.
#include "tests/unit/support/forkrun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/cost.h"
#include "core/rule.h"
#include "grounding/grounder.h"
#include "input/parse.h"

namespace veltra {

namespace {

void flushAll() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int endStatus(int wstatus) { return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus); }

}  // namespace

FORKRUN runCaptured(const std::function<void()>& body) {
    char outPath[] = "/tmp/veltra_test_outXXXXXX";
    char errPath[] = "/tmp/veltra_test_errXXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);
    flushAll();
    FORKRUN run;
    pid_t child = fork();
    if (child == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        body();
        flushAll();
        std::exit(0);
    }
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    run.status = endStatus(wstatus);
    close(outFd);
    close(errFd);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    unlink(outPath);
    unlink(errPath);
    return run;
}

void inFreshProcess(const std::function<void()>& body) {
    flushAll();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        body();
        flushAll();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    EXPECT_TRUE(WIFEXITED(wstatus)) << "the case ended abnormally";
    EXPECT_EQ(WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, 0) << "the case failed in its child process";
}

void groundProgram(const std::string& text, bool propositional) {
    std::stringstream stream(text);
    ASSERT_TRUE(parseFromStream(stream)) << text;
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    if (propositional) {
        ASSERT_TRUE(groundPropositional(rules, constraints, weakConstraints, edbFacts, groundRules, groundConstraints,
                                        groundWeakConstraints, violatedWeakConstraints, false));
    } else {
        DG dg(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_GROUNDING);
        GROUNDER grounder(dg, false);
        int32_t status = 0;
        ASSERT_TRUE(grounder.groundProgram(status)) << "grounding stopped with status " << status;
    }
    costLevels = weakConstraintLevels();
    atomTableFrozen = true;
    groundAtomCount = atomCount = static_cast<int32_t>(atomsByIndex.size());
}

}  // namespace veltra
