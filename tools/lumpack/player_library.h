// Whether the launcher can call a player library: its machine matches the
// launcher's, it is a DLL, and it exports "LumivanceMain" under exactly that
// name (GetProcAddress finds no decorated "_LumivanceMain@20"). Read
// through a PayloadByteReader, every offset checked. Portable.
#pragma once

#include <stdint.h>

#include <string>

#include "payload/payload_format.h"

enum { PeMachineI386 = 0x14C, PeMachineAmd64 = 0x8664 };

// The player library's file name, and the export the launcher calls.
extern const char PlayerLibraryName[];
extern const char PlayerEntryPointName[];

// The COFF header's machine field; false for anything that is not a PE image.
bool ReadPeMachine(const PayloadByteReader *reader, uint16_t *machine);

// "i386 (32-bit)", "x86_64 (64-bit)" or "machine 0x1c4".
std::string MachineName(uint16_t machine);

// Why a launcher could not call a library: Windows cannot load it (no PE
// image, no DLL, another machine), or it lacks the entry point.
struct PlayerProblem {
    enum Kind { None, NotLoadable, NoEntryPoint } kind;
    std::string what;  // "is built for x86_64 (64-bit), the launcher for i386 (32-bit)"
    std::string fix;   // what to change
};

// What keeps a launcher for launcherMachine from calling the library of
// size bytes behind reader; kind None when nothing does. A decorated export
// ("_LumivanceMain@20") is named, with how to export it undecorated.
PlayerProblem FindPlayerProblem(const PayloadByteReader *reader, uint32_t size,
                                uint16_t launcherMachine);
