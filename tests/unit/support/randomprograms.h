// tests/unit/support/randomprograms.h: how many random programs a test runs.
// Header only, so that the differential tests, which link no engine code, use
// it too.
#pragma once
#include <cstdlib>

namespace veltra {

// The number of random programs of one kind a test runs: release in the
// Release build, sanitized in the sanitizer build (its runs are five to
// fifteen times slower, and each of its tests is kept under two minutes on a
// quiet machine), and N in every build for VELTRA_DIFFERENTIAL_PROGRAMS=N in
// the environment (1 to 10000000; other values are ignored).
inline unsigned randomProgramCount(unsigned release, unsigned sanitized) {
    if (const char* text = std::getenv("VELTRA_DIFFERENTIAL_PROGRAMS")) {
        char* rest = nullptr;
        const unsigned long n = std::strtoul(text, &rest, 10);
        if (*text && !*rest && n > 0 && n <= 10000000) return unsigned(n);
    }
#ifdef VELTRA_SANITIZED_TESTS
    (void)release;
    return sanitized;
#else
    (void)sanitized;
    return release;
#endif
}

}  // namespace veltra
