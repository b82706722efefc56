// input/parse.cpp: the position of the reader and the common reporter of
// input errors.
#include "input/parse.h"

#include <iostream>

#include "core/options.h"

namespace veltra {

int lineNumber = 1;
std::string currentFileName;
int parseErrorCount = 0;

void reportParseError(const char* message) {
    std::cout.flush();
    if (OPTIONS.internalParse) {
        std::cerr << "Internal parser invocation: " << message << ".\n";
    } else {
        if (verbose) std::cerr << (programName ? programName : "") << " (";
        if (!currentFileName.empty()) std::cerr << currentFileName << ": ";
        std::cerr << "line " << lineNumber;
        if (verbose) std::cerr << ')';
        std::cerr << ": " << message << ".\n";
    }
    std::cerr.flush();
}

}  // namespace veltra
