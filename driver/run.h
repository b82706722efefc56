// driver/run.h: the order of one run after the command line.
#pragma once
#include "driver/options.h"

namespace veltra {

// Runs every stage in order and ends the process through finish(); returns
// only when there is no input (the value main returns).
int runDriver(RUNSETTINGS& run);

// Registers the ten built-in predicates (indices 0..9) and object 0.
void registerBuiltins();

}  // namespace veltra
