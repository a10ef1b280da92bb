// `lumpack compress` and `lumpack decompress`: a file coded into an LZARI
// stream file and a stream file decoded back, with their messages.
#pragma once

#include <string>

#include "command_messages.h"

// IN and OUT as given ("-" for standard output) and --force.
struct StreamArguments {
    std::string in;
    std::string out;
    bool force = false;
    bool fast = false;  // compress: the greedy parse, as the classic coder
};

// Compresses files.in into files.out, which is written whole or not at all.
// Returns the exit status: 0, or 1 with the fault printed.
int Compress(const StreamArguments &files, Verbosity verbosity);

// Decodes the stream files.in into files.out, which is left out unless the
// whole stream decodes. Returns the exit status: 0, or 1 with the fault
// printed.
int Decompress(const StreamArguments &files, Verbosity verbosity);
