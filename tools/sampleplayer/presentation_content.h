// Where a presentation's content lies in its executable: after the header
// is found through the trailer, the content starts at the header's content
// offset and runs to the first thing after it, an entry's data, the header
// or the trailer (FindPayloadContent). Portable: no <windows.h>.
#pragma once

#include <stdint.h>

#include "payload/payload_format.h"

struct ContentSpan {
    uint32_t start;
    uint32_t size;
};

// False when the file has no valid header (magic and counts) or the
// content offset lies outside the payload; an empty span is found.
bool FindPresentationContent(const PayloadByteReader *reader, uint32_t fileSize,
                             ContentSpan *content);
