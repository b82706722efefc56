// driver/main.cpp: the program entry.
#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    veltra::RUNSETTINGS run;
    veltra::parseOptions(argc, argv, run);
    return veltra::runDriver(run);
}
