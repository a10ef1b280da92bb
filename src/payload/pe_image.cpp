// Reading the headers of a PE image.
#include "pe_image.h"

#include "common/byte_order.h"

enum {
    DosHeaderSize = 64,
    DosNewHeaderField = 0x3C,
    PeSignatureSize = 4,
    CoffHeaderSize = 20,
    CoffSectionCountField = 2,
    CoffOptionalSizeField = 16,
    CoffCharacteristicsField = 18,
    OptionalMagicPe32 = 0x10B,
    OptionalMagicPe32Plus = 0x20B,
    SecurityDirectoryIndex = 4,
    MaxOptionalHeaderRead = 112 + 8 * (SecurityDirectoryIndex + 1)  // PE32+ up to that entry
};

// Beyond this the header's offset plus anything read after it (an optional
// header is at most 64 KiB) would no longer be a 32-bit position.
static const uint32_t LargestHeaderOffset =
    0xFFFFFFFFu - PeSignatureSize - CoffHeaderSize - 0x10000u;

PeLayoutResult ReadPeLayout(const PayloadByteReader *reader, PeLayout *layout) {
    uint8_t dos[DosHeaderSize];
    if (!reader->ReadAt(reader, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return PeNotMz;
    }
    uint32_t peOffset = ReadLittleEndian32(dos + DosNewHeaderField);
    uint8_t coff[PeSignatureSize + CoffHeaderSize];
    if (peOffset > LargestHeaderOffset || !reader->ReadAt(reader, peOffset, coff, sizeof coff) ||
        coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) {
        return PeNoPeSignature;
    }
    const uint8_t *header = coff + PeSignatureSize;
    layout->coffOffset = peOffset + PeSignatureSize;
    layout->characteristics = ReadLittleEndian16(header + CoffCharacteristicsField);
    layout->sectionCount = ReadLittleEndian16(header + CoffSectionCountField);
    layout->optionalOffset = layout->coffOffset + CoffHeaderSize;
    layout->optionalSize = ReadLittleEndian16(header + CoffOptionalSizeField);
    return PeLayoutFound;
}

static bool ReadOptionalBytes(const PayloadByteReader *reader, const PeLayout *layout,
                              uint32_t fieldOffset, uint8_t *bytes, uint32_t size) {
    return fieldOffset + size <= layout->optionalSize &&
           reader->ReadAt(reader, layout->optionalOffset + fieldOffset, bytes, size);
}

bool ReadPeOptionalWord(const PayloadByteReader *reader, const PeLayout *layout,
                        uint32_t fieldOffset, uint32_t *value) {
    uint8_t bytes[4];
    if (!ReadOptionalBytes(reader, layout, fieldOffset, bytes, sizeof bytes)) {
        return false;
    }
    *value = ReadLittleEndian32(bytes);
    return true;
}

bool FindPeImageEnd(const PayloadByteReader *reader, uint32_t *end) {
    PeLayout layout;
    if (ReadPeLayout(reader, &layout) != PeLayoutFound) {
        return false;
    }
    // The section table ends the headers; each section's raw data may lie
    // further on.
    uint32_t sectionHeader = layout.optionalOffset + layout.optionalSize;
    uint32_t imageEnd = sectionHeader + layout.sectionCount * PeSectionHeaderSize;
    for (uint32_t i = 0; i < layout.sectionCount; i++, sectionHeader += PeSectionHeaderSize) {
        uint8_t raw[8];  // SizeOfRawData, then PointerToRawData
        if (!reader->ReadAt(reader, sectionHeader + PeSectionRawSize, raw, sizeof raw)) {
            return false;
        }
        uint32_t size = ReadLittleEndian32(raw);
        uint32_t sectionEnd = ReadLittleEndian32(raw + 4) + size;
        if (size != 0 && sectionEnd > imageEnd) {
            imageEnd = sectionEnd;
        }
    }
    *end = imageEnd;
    return true;
}

bool ReadPeSecurityDirectory(const PayloadByteReader *reader, uint32_t *tableOffset,
                             uint32_t *tableSize) {
    PeLayout layout;
    if (ReadPeLayout(reader, &layout) != PeLayoutFound) {
        return false;
    }
    // The optional header up to the security directory, in one read.
    uint8_t optional[MaxOptionalHeaderRead];
    uint32_t readSize =
        layout.optionalSize < sizeof optional ? layout.optionalSize : sizeof optional;
    if (readSize < 2 || !reader->ReadAt(reader, layout.optionalOffset, optional, readSize)) {
        return false;
    }
    // The number of directories, then the directories themselves, 8 bytes
    // each; where they start depends on the format.
    uint32_t countField;
    switch (ReadLittleEndian16(optional)) {
    case OptionalMagicPe32:
        countField = 92;
        break;
    case OptionalMagicPe32Plus:
        countField = 108;
        break;
    default:
        return false;
    }
    uint32_t entryAt = countField + 4 + 8 * SecurityDirectoryIndex;
    if (readSize < entryAt + 8 ||
        ReadLittleEndian32(optional + countField) <= SecurityDirectoryIndex) {
        return false;
    }
    *tableOffset = ReadLittleEndian32(optional + entryAt);
    *tableSize = ReadLittleEndian32(optional + entryAt + 4);
    return true;
}
