// tests/unit/support/command.h: running a shell command and reading its
// standard output. Header only, so that the differential tests, which link no
// engine code, use it too.
#pragma once
#include <cstdio>
#include <string>

namespace veltra {

// Runs command through the shell and returns what it wrote on standard
// output; status, when given, receives pclose's status.
inline std::string runCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int result = pclose(pipe);
    if (status) *status = result;
    return out;
}

}  // namespace veltra
