// core/finish.cpp: the exit routines of a run.
#include "core/finish.h"

#include <cstdlib>
#include <iostream>

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

}  // namespace veltra
