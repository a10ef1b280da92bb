// SHA-256 of the files a presentation unpacks to and of its content, so that
// two builds can be compared. Each is hashed as the launcher would write it,
// a chunk at a time: no entry is ever held whole.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "presentation_reader.h"

struct ItemHash {
    bool known = false;
    std::string hex;    // 64 hex digits, when known
    std::string error;  // why not, when not known
};

struct PresentationHashes {
    std::vector<ItemHash> entries;  // one per entry, in order
    ItemHash content;               // unknown when the content lies outside the payload
};

// Bytes hashed so far and in all (the known decoded sizes and the content's).
typedef void (*HashProgress)(void *context, size_t done, size_t total);

// Hashes every entry and the content through reader. An entry that cannot be
// read (outside the payload, a damaged stream, a failed read) is left
// unknown with the reason; the others are still hashed. False, with *error,
// only when no hash can be computed at all. progress, when not null, is told
// at most once per percent and last with done == total.
bool HashPresentation(const PayloadByteReader *reader, const Presentation &presentation,
                      PresentationHashes *out, std::string *error, HashProgress progress = nullptr,
                      void *progressContext = nullptr);
