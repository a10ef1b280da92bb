// Splitting the program's own name off the process command line. Portable.
#pragma once

// Returns the part of commandLine after its first word and the blanks and
// control characters (bytes 0x01 to 0x20) that follow it. A first word that
// starts with '"' runs to the next '"', which is skipped too (an unclosed
// quote runs to the end); any other first word ends at the first byte at or
// below 0x20. The result points into commandLine.
const char *SkipProgramName(const char *commandLine);
