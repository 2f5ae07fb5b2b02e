// The merge program: options, reading the three photos, the engine run and the output file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tonefold {

// The application's defaults.
struct MergeOptions {
    int ghostLevel = 6;
    int toneLength = 45;
    int brightness = 10;
    int toneSaturation = 40;
    int quality = 92;
    bool verbose = false;
    bool help = false;
    std::string output;
    std::vector<std::string> photos;
};

// Exit codes.
enum { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// Reads the arguments after the program name; false with a one-line message.
bool ParseMergeOptions(const std::vector<std::string> &args, MergeOptions *options,
                       std::string *message);

// Runs the program on the arguments after its name. Error messages go to err, the usage text
// and the -v report to out. Returns the exit code.
int RunMergeProgram(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace tonefold
