// driver/main.cpp: the program entry.
#include <iostream>

#include "driver/finish.h"
#include "driver/options.h"

int main(int argc, char** argv) {
    veltra::RUNSETTINGS run;
    veltra::parseOptions(argc, argv, run);
    if (!veltra::silent) veltra::printBanner("");
    std::cerr << "This build of Veltra cannot read programs yet.\n";
    veltra::finish(1);
}
