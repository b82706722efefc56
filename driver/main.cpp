// driver/main.cpp: the program entry.
#include "core/finish.h"
#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    veltra::installExitChecks();
    veltra::RUNSETTINGS run;
    veltra::parseOptions(argc, argv, run);
    return veltra::runDriver(run);
}
