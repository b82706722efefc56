// driver/finish.cpp: the exit routines of a run.
#include "driver/finish.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "driver/options.h"
#include "driver/output.h"

namespace veltra {

[[noreturn]] void finish(int status, bool verdict) {
    if (verdict && status == 0 && (frontend == 1 || frontend == 2)) printQueryVerdict(std::cout);
    if (waitAtExit) {
        std::cout << '\n' << std::flush;
        char line[1024];
        if (!std::fgets(line, sizeof line, stdin)) line[0] = 0;
    }
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
