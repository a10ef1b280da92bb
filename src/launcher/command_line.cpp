// Splitting the program's own name off the process command line.
#include "command_line.h"

static bool IsBlankOrControl(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x01 && byte <= 0x20;
}

const char *SkipProgramName(const char *commandLine) {
    const char *at = commandLine;
    if (*at == '"') {
        at++;
        while (*at != '\0' && *at != '"') {
            at++;
        }
        if (*at == '"') {
            at++;
        }
    } else {
        while (*at != '\0' && !IsBlankOrControl(*at)) {
            at++;
        }
    }
    while (IsBlankOrControl(*at)) {
        at++;
    }
    return at;
}
