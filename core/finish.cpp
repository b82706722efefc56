// core/finish.cpp: the exit routines of a run.
#include "core/finish.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

namespace veltra {

FINISHHOOK finishHook = nullptr;

[[noreturn]] void finish(int status, bool verdict) {
    if (finishHook) finishHook(status, verdict);
    std::cout.flush();
    std::exit(status);
}

[[noreturn]] void internalError(const char* tag) {
    std::cout.flush();
    std::cerr << "\nAn internal error occurred (" << tag << ").\n"
              << "Please report this problem to the Veltra maintainers, with the program and options that caused it.\n";
    std::exit(99);
}

void checkStandardOutput() {
    if (!std::cout.fail() && !std::ferror(stdout)) return;
    std::cerr << "Error: cannot write to standard output.\n";
    std::_Exit(1);  // the exit check would only report it again
}

namespace {

// No allocation here: memory is exhausted. What standard output buffers is
// written first, so that answers printed so far are not lost.
[[noreturn]] void outOfMemory() {
    std::fflush(stdout);
    static const char message[] = "Error: out of memory.\n";
    ssize_t written = write(2, message, sizeof message - 1);
    (void)written;
    std::_Exit(1);
}

void flushAtExit() {
    std::cout.flush();
    std::fflush(stdout);  // a failure sets the error flag that the check reads
    checkStandardOutput();
}

}  // namespace

void installExitChecks() {
    std::set_new_handler(outOfMemory);
    // The code throws nothing itself; what reaches terminate is a standard
    // library report of a size or an allocation it cannot satisfy.
    std::set_terminate(outOfMemory);
    std::atexit(flushAtExit);
}

}  // namespace veltra
