// The merge program: options, reading the three photos, the engine run and the output file.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "photo_io.h"

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

struct LoadedPhoto {
    YuyvImage image;
    std::string reason;  // why it could not be read, when ok is false
    PhotoTimes times;
    bool ok = false;
};

// Opens the three photos and decodes each that opens on a thread of its own; a thread that
// cannot start leaves its photo to the calling thread. Each photo fails alone.
std::array<LoadedPhoto, 3> ReadPhotosInParallel(const std::vector<std::string> &paths);

// Reads the arguments after the program name; false with a one-line message.
bool ParseMergeOptions(const std::vector<std::string> &args, MergeOptions *options,
                       std::string *message);

// The text as the program prints it: control characters (C0, DEL and C1) and bytes that are
// not UTF-8 shown escaped (\n, \r, \t, else \xHH for each byte), so a name cannot split a line or
// reach the terminal as a command; printable UTF-8 stays as it is.
std::string PrintableText(const std::string &text);

// Runs the program on the arguments after its name. Error messages go to err, the usage text
// and the -v report to out. Returns the exit code.
int RunMergeProgram(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace tonefold
