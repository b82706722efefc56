// driver/run.h: the order of one run after the command line.
#pragma once
#include "driver/options.h"

namespace veltra {

// Runs every stage in order and ends the process through finish(); returns
// only when there is no input (the value main returns).
int runDriver(RUNSETTINGS& run);

// Installs the driver's end of a run as finishHook (core/finish.h): the final
// verdicts of brave and cautious reasoning, and "-wait".
void installFinishHook();

}  // namespace veltra
