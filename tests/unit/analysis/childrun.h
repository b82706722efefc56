// tests/unit/analysis/childrun.h: running a rewriting pass over program text
// in a child process, so that every case starts from the tables of a fresh
// run (predicate arities and kinds change under the passes), and looking at
// the rewritten program, the model grounding derives from it, the messages
// and the exit status.
#pragma once
#include <functional>
#include <string>

#include "tests/unit/support/forkrun.h"

namespace veltra {

using CHILDRUN = FORKRUN;  // status 3 on parse errors

// In a child: reads text as the user file "program.dl" into emptied
// containers (object 0 registered, objectsUsed set as the driver sets it),
// then calls body, whose standard output and error are returned.
CHILDRUN runInChild(const std::string& text, const std::function<void()>& body);

// Only in a child: sets the ground containers aside, resets the input state
// as a new run starts, and reads text as runInChild does; false on parse
// errors. A body may call it again for the next program.
bool readProgram(const std::string& text);

// The program as the passes leave it, one statement per line: the facts of
// edbFacts ("p(a)."), the rules, then the constraints.
std::string programText();

// Grounds rules and constraints as the driver does and returns the one model
// of a program that grounding decides completely, as the driver prints it
// ("{a, b}", facts first, internal predicates left out). A program grounding
// leaves undecided gives "undecided", an inconsistent one "inconsistent".
std::string groundModel();
// The same grounding; its true atoms one per line ("p(1,2)"), internal
// predicates included, or one line "undecided" / "inconsistent".
std::string groundTrueAtoms();

}  // namespace veltra
