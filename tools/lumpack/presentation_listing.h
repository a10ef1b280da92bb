// Describing a presentation for `lumpack list`: a table for people and JSON
// for scripts. Formatting only; the reading is presentation_reader's.
#pragma once

#include <string>

#include "presentation_reader.h"

// Header facts (offsets, signed or not, content, reserved words, counts),
// then one line per entry: number, group, file name, stored or compressed
// with its packed extension, stored size, decoded size, ratio.
std::string ListingText(const std::string &path, const Presentation &presentation);

// The same as one JSON object. Names are single-byte text of unknown code
// page: bytes above 0x7F come out as \u0080..\u00FF (read as Latin-1).
std::string ListingJson(const std::string &path, const Presentation &presentation);
