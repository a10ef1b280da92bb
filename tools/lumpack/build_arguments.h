// What `lumpack build` is asked to build, from its flags or from a manifest:
// the input files and each entry's options, before anything is read.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "version_resource.h"

struct EntryArgument {
    std::string source;  // the file to embed
    std::string as;      // NAME.EXT it becomes; empty: the source's own name
    bool compressed = false;
    bool keepStream = false;  // --compress=always: compressed even where it does not pay
    std::string packed;       // the packed extension; empty: the default
    bool temp = false;        // for the run's temporary folder, else beside the executable
    std::string where;  // how messages name it ("entries[2]", of the manifest); empty: by number
};

struct BuildArguments {
    std::string out;
    bool force = false;
    std::string manifest;  // the build manifest the rest comes from; empty: the flags
    std::string launcher;
    std::string content;  // empty: none
    int32_t reserved[2] = {0, 0};
    std::vector<EntryArgument> entries;
    // The show's own icon and version texts, put into the launcher image's
    // resources; empty: the launcher's stay.
    std::string icon;
    std::vector<VersionString> versionInfo;
    bool fast = false;  // the greedy parse, as the classic coder
};
