// The section table and data directories of a PE image (PE32 and PE32+):
// reading them from untrusted bytes, mapping RVAs to file offsets, putting
// new contents into one section (moving the base relocation section behind
// it) and the image checksum. Portable: no <windows.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "payload/pe_image.h"

enum {
    PeDirectoryExport = 0,
    PeDirectoryResource = 2,
    PeDirectorySecurity = 4,  // a file offset, not an RVA
    PeDirectoryBaseRelocation = 5,
    PeMaxSections = 96  // what the Windows loader accepts
};

struct PeSection {
    std::string name;  // up to 8 bytes, as in the header
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;  // SizeOfRawData
    uint32_t rawPointer;
    uint32_t characteristics;
};

struct PeImageView {
    PeLayout layout;
    bool pe32Plus;
    uint32_t fileAlignment;
    uint32_t sectionAlignment;
    uint32_t checksum;
    uint32_t sectionTableOffset;  // file offsets
    uint32_t directoryCount;
    uint32_t directoryTableOffset;
    std::vector<PeSection> sections;
};

// Reads the headers and the section table. False, with *error saying why,
// for anything but a PE32 or PE32+ image whose headers, directory table and
// section table lie inside its fileSize bytes, with power-of-two alignments
// and at most 96 sections.
bool ReadPeImageView(const PayloadByteReader *reader, uint64_t fileSize, PeImageView *view,
                     std::string *error);

// Data directory index; false when the image has fewer directories.
bool ReadPeDataDirectory(const PayloadByteReader *reader, const PeImageView &view, uint32_t index,
                         uint32_t *rva, uint32_t *size);

// The memory a section takes from its virtual address: VirtualSize, or
// SizeOfRawData where that is 0.
uint32_t PeSectionSpan(const PeSection &section);

// The section whose memory holds [rva, rva + size), or -1.
int FindPeSection(const PeImageView &view, uint32_t rva, uint32_t size);

// Where [rva, rva + size) lies in the file: inside one section's raw data.
bool PeRvaToFileOffset(const PeImageView &view, uint32_t rva, uint32_t size, uint32_t *offset);

// The standard PE checksum of image: its 16-bit words summed with carries
// folded back, the CheckSum field counted as 0, plus the file's length.
uint32_t PeChecksum(const std::vector<uint8_t> &image, const PeImageView &view);

// image (described by view) with section index holding exactly contents
// (VirtualSize its size, raw data padded with zeros to the file alignment),
// SizeOfImage and SizeOfInitializedData to match. Sections after it move as
// needed in the file and in memory, but only a base relocation section can
// (its data are RVAs of other sections); it keeps data directory 5 pointing
// at it. Returns "" or why not: another section after it, bytes after the
// last section that would have to move, a data directory other than
// ownDirectory inside the section, or a result past 4 GiB. The checksum is
// left as it was (see PeChecksum).
std::string ReplacePeSection(const std::vector<uint8_t> &image, const PeImageView &view,
                             size_t index, const std::vector<uint8_t> &contents,
                             uint32_t ownDirectory, std::vector<uint8_t> *out);

// Writes data directory index (which the image must have) and the checksum field.
void WritePeDataDirectory(std::vector<uint8_t> *image, const PeImageView &view, uint32_t index,
                          uint32_t rva, uint32_t size);
void WritePeChecksum(std::vector<uint8_t> *image, const PeImageView &view, uint32_t checksum);
