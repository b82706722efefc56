// tests/unit/grounding/groundtext.h: grounding program text in a child
// process, so that every case starts from the tables of a fresh run, and the
// ground program, messages and exit status it produced.
#pragma once
#include <cstdint>
#include <string>

#include "tests/unit/support/forkrun.h"

namespace veltra {

struct GROUNDSETTINGS {
    int32_t maxInt = -1;          // "#maxint"; -1 unset
    int32_t bodyReordering = 2;   // "-OGo0" .. "-OGo2"
    bool semiNaive = true;        // "-OGs-" clears it
    bool propositional = false;   // the grounder for variable-free input
    bool instantiate = false;     // "-instantiate"
    bool statsGrounding = false;  // "-stats-grounding++"
};

// What one grounding produced. out holds the grounding's own standard output
// followed by the dump below; err its standard error; status 0 ground, 100 +
// grounding status when grounding stopped, 3 parse errors, or the status of a
// process end.
using GROUNDRUN = FORKRUN;

// Parses text as a user file and grounds it. The dump, after the grounding's
// own output: "true: ..." and "undefined: ..." (atom sets in set order), then
// the ground rules, constraints, weak constraints (each sorted, so that plans
// that order bodies differently compare equal) and "violated: ..." lines,
// then "maxlevel: N" when a weak-constraint level was seen.
GROUNDRUN groundText(const std::string& text, const GROUNDSETTINGS& settings = GROUNDSETTINGS());

}  // namespace veltra
