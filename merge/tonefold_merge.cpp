// tonefold-merge: merges three bracketed exposures of one scene into one picture.
#include <iostream>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "merge_program.h"

int main(int argc, char **argv) {
    tonefold::AtomicFile::RemoveTemporaryOnSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tonefold::RunMergeProgram(args, std::cout, std::cerr);
}
