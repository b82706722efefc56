// tests/unit/support/forkrun.h: running a test case in a forked child, so
// that it starts from the tables of a fresh run (the process-wide tables only
// grow), and grounding program text as a run does.
#pragma once
#include <functional>
#include <string>

namespace veltra {

// What a child wrote and how it ended.
struct FORKRUN {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

// Runs body in a child whose standard output and error are captured; the
// child exits with 0 when body returns, or ends as body ends it.
FORKRUN runCaptured(const std::function<void()>& body);

// Runs body in a child whose gtest failures fail the case; so does a child
// that ends abnormally.
void inFreshProcess(const std::function<void()>& body);

// Reads text through parseFromStream, then as a run does: basic rewriting,
// the DG, the grounder (the one for variable-free input when propositional
// is set), the cost levels, the frozen atom table. Fails the case when
// reading or grounding stops.
void groundProgram(const std::string& text, bool propositional = false);

}  // namespace veltra
