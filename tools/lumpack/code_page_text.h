// Names in a presentation are bytes in the ANSI code page of the Windows
// system that built it; this reads them as UTF-8 for people and scripts.
// Each system reads them with its own converter.
#pragma once

#include <string>

// The code pages names can be read in: 1252 (Western) and 932 (Japanese).
bool IsKnownCodePage(int codePage);

// "1252, 932", for messages.
const char *KnownCodePagesText();

// Reads codePage from text as `--codepage` gives it: a known code page in
// decimal. False, with *error saying why, for anything else.
bool ParseCodePage(const std::string &text, int *codePage, std::string *error);

struct DecodedText {
    std::string utf8;
    // Some byte had no character in the code page (or a double-byte
    // character was cut short) and shows as U+FFFD.
    bool replaced = false;
};

// The bytes of text read in codePage (a known one), as UTF-8. Never fails:
// each byte that does not decode becomes U+FFFD and the rest is read on.
DecodedText DecodeCodePage(int codePage, const std::string &text);

// The bytes as lowercase hex, two digits each ("72c3a9").
std::string HexBytes(const std::string &bytes);
