// Windows' own rules for file names, beyond the payload format's safe-name
// rule: characters no name may hold, and device names that open a device
// instead of a file. Shared by the builder (which refuses such names) and
// the reader (which reports them). Portable.
#pragma once

#include <string>

// The first character of text that no Windows file name may hold (control
// characters and < > " | ? *), or 0 when there is none. ':' and the
// separators are the safe-name rule's.
char ForbiddenFileNameCharacter(const std::string &text);

// A part of the path (between separators) is CON, PRN, AUX, NUL, COM1-9,
// LPT1-9 (the digit also a superscript 1, 2 or 3: bytes 0xB9, 0xB2, 0xB3),
// CONIN$, CONOUT$ or CLOCK$, ASCII case ignored, with or without an
// extension or trailing blanks.
bool NamesADevice(const std::string &fileName);

// The name as Windows compares it: ASCII case ignored, '/' read as '\',
// trailing dots and blanks of every part dropped (Windows drops them when it
// opens the path, so "a.txt." is "a.txt"). Two names with the same key are
// the same file in one folder.
std::string FileNameKey(const std::string &fileName);
