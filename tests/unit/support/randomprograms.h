// tests/unit/support/randomprograms.h: how many random programs a test runs,
// and the seeded generator that writes them.
// Header only, so that the differential tests, which link no engine code, use
// it too.
#pragma once
#include <cstdint>
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

// A 64-bit linear congruential generator: a seed gives the same programs on
// every machine and in every build.
struct RANDOM {
    uint64_t state;
    uint32_t below(uint32_t n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>((state >> 33) % n);
    }
};

}  // namespace veltra
