// driver/finish.cpp: what a finished run does before it exits.
#include <cstdio>
#include <iostream>

#include "core/finish.h"
#include "core/options.h"
#include "driver/output.h"
#include "driver/run.h"

namespace veltra {

namespace {

// Prints the final verdicts the mode asks for and honours "-wait".
void finishRun(int status, bool verdict) {
    if (verdict && status == 0 && (frontend == FRONTEND_BRAVE || frontend == FRONTEND_CAUTIOUS))
        printQueryVerdict(std::cout);
    if (waitAtExit) {
        std::cout << '\n' << std::flush;
        char line[1024];
        if (!std::fgets(line, sizeof line, stdin)) line[0] = 0;
    }
}

}  // namespace

void installFinishHook() { finishHook = finishRun; }

}  // namespace veltra
