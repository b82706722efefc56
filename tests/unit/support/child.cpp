// tests/unit/support/child.cpp: test cases in child processes.
#include "tests/unit/support/child.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

CHILDRUN runCaptured(const std::function<void()>& body) {
    char outPath[] = "/tmp/veltra_test_outXXXXXX";
    char errPath[] = "/tmp/veltra_test_errXXXXXX";
    int outFd = mkstemp(outPath);
    int errFd = mkstemp(errPath);
    flushAll();
    CHILDRUN run;
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

void endChild(int status) {
    flushAll();
    _exit(status);
}

}  // namespace veltra
