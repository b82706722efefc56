// driver/finish.h: the planned and the impossible ends of a run.
#pragma once

namespace veltra {

// Prints the final verdicts the mode asks for, honours "-wait" and exits with
// status.
[[noreturn]] void finish(int status);

// A state that no input can cause: prints the tag and exits with status 99.
[[noreturn]] void internalError(const char* tag);

}  // namespace veltra
