// tests/unit/support/ground.h: grounding program text, in this process as a
// run does or in a child process that starts from the tables of a fresh run,
// and looking at the ground program, the model grounding decides, the
// messages and the exit status.
#pragma once
#include <cstdint>
#include <string>

#include "tests/unit/support/child.h"

namespace veltra {

// Reads text through parseFromStream, then as a run does: basic rewriting,
// the DG, the grounder (the one for variable-free input when propositional
// is set), the cost levels, the frozen atom table. Fails the case when
// reading or grounding stops.
void groundProgram(const std::string& text, bool propositional = false);
// The same, but a grounding that stops (an inconsistent program, or an error:
// status says which) returns false instead of failing the case.
bool groundIfConsistent(const std::string& text, bool propositional = false, int32_t* status = nullptr);

struct GROUNDSETTINGS {
    int32_t maxInt = -1;          // "#maxint"; -1 unset
    int32_t bodyReordering = 2;   // "-OGo0" .. "-OGo2"
    bool semiNaive = true;        // "-OGs-" clears it
    bool propositional = false;   // the grounder for variable-free input
    bool instantiate = false;     // "-instantiate"
    bool statsGrounding = false;  // "-stats-grounding++"
};

// In a child: parses text as a user file and grounds it. out holds the
// grounding's own standard output followed by the dump: "true: ..." and
// "undefined: ..." (atom sets in set order), then the ground rules,
// constraints, weak constraints (each sorted, so that plans that order bodies
// differently compare equal) and "violated: ..." lines, then "maxlevel: N"
// when a weak-constraint level was seen. err holds its standard error; status
// is 0 ground, 100 + grounding status when grounding stopped, 3 parse errors,
// or the status of a process end.
CHILDRUN groundText(const std::string& text, const GROUNDSETTINGS& settings = GROUNDSETTINGS());

// Only in a child, after readProgram: grounds rules and constraints as the
// driver does and returns the one model of a program that grounding decides
// completely, as the driver prints it ("{a, b}", facts first, internal
// predicates left out). A program grounding leaves undecided gives
// "undecided", an inconsistent one "inconsistent".
std::string groundModel();
// The same grounding; its true atoms one per line ("p(1,2)"), internal
// predicates included, or one line "undecided" / "inconsistent".
std::string groundTrueAtoms();

}  // namespace veltra
