// tests/unit/support/child.h: running a test case in a forked child, so that
// it starts from the tables of a fresh run (the process-wide tables only
// grow), and capturing what the child wrote and how it ended.
#pragma once
#include <functional>
#include <string>

namespace veltra {

// What a child wrote and how it ended.
struct CHILDRUN {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

// Runs body in a child whose standard output and error are captured; the
// child exits with 0 when body returns, or ends as body ends it.
CHILDRUN runCaptured(const std::function<void()>& body);

// Runs body in a child whose gtest failures fail the case; so does a child
// that ends abnormally.
void inFreshProcess(const std::function<void()>& body);

// Flushes every stream and ends the child with status, without the static
// destructors, which would free the tables of the whole process once more.
[[noreturn]] void endChild(int status);

}  // namespace veltra
