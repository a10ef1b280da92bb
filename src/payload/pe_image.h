// Reading the headers of a PE image (an .exe or .dll) through a payload byte
// reader: where its COFF and optional headers lie, their fields, and the
// security directory that locates an Authenticode certificate table.
// Portable: no <windows.h>. Every offset is checked against the file before
// it is read.
#pragma once

#include <stdint.h>

#include "payload_format.h"

// Where the headers lie, from the DOS header's pointer on.
struct PeLayout {
    uint32_t coffOffset;  // the COFF header, right after "PE\0\0"
    uint16_t characteristics;
    uint16_t sectionCount;
    uint32_t optionalOffset;  // the optional header, right after the COFF header
    uint16_t optionalSize;    // its size as the COFF header gives it
};

enum PeLayoutResult {
    PeLayoutFound = 0,
    PeNotMz = 1,          // fewer than 64 bytes, or no "MZ" at the start
    PeNoPeSignature = 2,  // no "PE\0\0" and COFF header where the DOS header points
};

enum {
    PeSectionHeaderSize = 40,
    PeSectionRawSize = 16,         // in a section header: SizeOfRawData, then PointerToRawData
    PeOptionalSizeOfHeaders = 60,  // offset of SizeOfHeaders in the optional header
    PeCharacteristicsExecutable = 0x0002,
    PeCharacteristicsDll = 0x2000
};

PeLayoutResult ReadPeLayout(const PayloadByteReader *reader, PeLayout *layout);

// The 32-bit word at fieldOffset in the optional header; false when the
// optional header is shorter than fieldOffset + 4 or the bytes cannot be read.
bool ReadPeOptionalWord(const PayloadByteReader *reader, const PeLayout *layout,
                        uint32_t fieldOffset, uint32_t *value);

// Where the image's own bytes end: the furthest end of its section table
// and of its sections' raw data (a sum past 4 GiB wraps: no real image).
// False for anything that is not a PE image whose headers can be read;
// what lies beyond the end is appended data.
bool FindPeImageEnd(const PayloadByteReader *reader, uint32_t *end);

// The security directory's file offset and size (PE32 and PE32+); false for
// anything that is not a PE image with such a directory entry.
bool ReadPeSecurityDirectory(const PayloadByteReader *reader, uint32_t *tableOffset,
                             uint32_t *tableSize);
