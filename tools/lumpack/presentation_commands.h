// `lumpack list`, `lumpack verify` and `lumpack extract`: a presentation
// opened and described, checked, or unpacked into a folder.
#pragma once

#include <string>

#include "command_messages.h"
#include "presentation_extract.h"
#include "presentation_listing.h"

// FILE, --json, --hashes and --codepage, the last both as given and read.
struct ListArguments {
    std::string path;
    ListingOptions options;
    std::string codePage;  // as given; empty: the default
};

// FILE, DIR, the NAMEs, --force and --manifest; or FILE and --stdout NAME.
struct ExtractArguments {
    ExtractRequest request;
    std::string stdoutName;  // --stdout NAME: that entry to standard output
};

// Prints the listing of list.path on standard output (not with -q).
// Returns the exit status: 0, or 1 with the fault printed.
int List(const ListArguments &list, Verbosity verbosity);

// Checks the presentation at path and prints its faults and warnings on
// standard error and, unless -q, an OK line. Returns the exit status: 0 when
// nothing is a fault, else 1.
int Verify(const std::string &path, Verbosity verbosity);

// Verifies the presentation, then writes its files into the folder (with
// every entry also the launcher image and the build manifest, in the folder
// or at request.manifest), or the one entry to standard output, and prints
// the paths written (not with -q).
// Returns the exit status: 0, or 1 with the fault printed and nothing left
// behind.
int Extract(const ExtractArguments &extract, Verbosity verbosity);
