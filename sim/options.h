// The simulator's command line.
#pragma once

#include "sim/chip_model.h"

#include <string>

namespace chipsim {

struct Options {
    int comPort = 0; // 0: no link
    int tapHost = 0; // COM<n> of the tap of what the controller sends; 0: none
    int tapChip = 0; // COM<n> of the tap of what the chip answers; 0: none
    std::string portsDir;
    bool speak = false;
    std::string wavDir; // empty: no files
    bool quitOnEof = false;
    bool seedGiven = false;
    ChipConfig chip;           // time scale, line timing, faults, seed
    double noisePerSecond = 0; // random bytes on the line between answers
    double unplugAfterS = -1;  // < 0: never
    double replugAfterS = -1;  // < 0: never
};

// Exits with status 0 after --help or --version, with status 2 and one line
// of usage on a mistake.
Options ParseOptions(int argc, char** argv);

} // namespace chipsim
