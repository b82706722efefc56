// core/finish.h: the planned and the impossible ends of a run.
#pragma once

namespace veltra {

// What a finished run does before the process exits (the final verdicts the
// mode asks for, "-wait"); the driver installs it when a run starts. Null,
// as in unit tests that never start a run: nothing.
using FINISHHOOK = void (*)(int status, bool verdict);
extern FINISHHOOK finishHook;

// Calls finishHook (verdict false: a run that ends before any search has no
// verdict to give), flushes standard output and exits with status.
[[noreturn]] void finish(int status, bool verdict = true);

// A state that no input can cause: prints the tag and exits with status 99.
[[noreturn]] void internalError(const char* tag);

// Ends the run with a message and status 1 when a write on standard output
// has failed. Cheap: it reads the stream state only.
void checkStandardOutput();

// Called first by the program entry: exhausted memory ends the run with a
// message and status 1 in every stage, and every exit writes out what
// standard output still buffers, failing with checkStandardOutput's message.
void installExitChecks();

}  // namespace veltra
