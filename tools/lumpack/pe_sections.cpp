// Reading and rewriting a PE image's section table and data directories.
#include "pe_sections.h"

#include <string.h>

#include "common/byte_order.h"
#include "presentation_reader.h"

namespace {

enum {
    OptionalMagic = 0,
    OptionalSizeOfInitializedData = 8,
    OptionalSectionAlignment = 32,
    OptionalFileAlignment = 36,
    OptionalSizeOfImage = 56,
    OptionalCheckSum = 64,
    OptionalDirectoryCountPe32 = 92,
    OptionalDirectoryCountPe32Plus = 108,
    OptionalMagicPe32 = 0x10B,
    OptionalMagicPe32Plus = 0x20B,
    PeMaxDirectories = 16,
    SectionVirtualSize = 8,
    SectionVirtualAddress = 12,
    SectionRawSize = 16,
    SectionRawPointer = 20,
    SectionCharacteristics = 36
};

const uint32_t SectionInitializedData = 0x40;

bool IsPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

std::string SectionLabel(const PeImageView &view, size_t index) {
    return "section " + std::to_string(index + 1) + " (" + view.sections[index].name + ")";
}

uint32_t SectionHeaderOffset(const PeImageView &view, size_t index) {
    return view.sectionTableOffset + static_cast<uint32_t>(index) * PeSectionHeaderSize;
}

void WriteWord(std::vector<uint8_t> *image, uint32_t offset, uint32_t value) {
    WriteLittleEndian32(image->data() + offset, value);
}

bool ReadSection(const PayloadByteReader *reader, uint32_t offset, PeSection *section) {
    uint8_t header[PeSectionHeaderSize];
    if (!reader->ReadAt(reader, offset, header, sizeof header)) {
        return false;
    }
    size_t nameLength = 0;
    while (nameLength < 8 && header[nameLength] != 0) {
        nameLength++;
    }
    section->name.assign(reinterpret_cast<const char *>(header), nameLength);
    section->virtualSize = ReadLittleEndian32(header + SectionVirtualSize);
    section->virtualAddress = ReadLittleEndian32(header + SectionVirtualAddress);
    section->rawSize = ReadLittleEndian32(header + SectionRawSize);
    section->rawPointer = ReadLittleEndian32(header + SectionRawPointer);
    section->characteristics = ReadLittleEndian32(header + SectionCharacteristics);
    return true;
}

}  // namespace

bool ReadPeImageView(const PayloadByteReader *reader, uint64_t fileSize, PeImageView *view,
                     std::string *error) {
    switch (ReadPeLayout(reader, &view->layout)) {
    case PeNotMz:
        *error = "is not a Windows executable (it does not start with \"MZ\")";
        return false;
    case PeNoPeSignature:
        *error = "is not a PE image (no \"PE\" signature where its DOS header points)";
        return false;
    case PeLayoutFound:
        break;
    }
    const PeLayout &layout = view->layout;
    uint8_t magic[2];
    if (layout.optionalSize < 2 || !reader->ReadAt(reader, layout.optionalOffset, magic, 2)) {
        *error = "has no optional header";
        return false;
    }
    uint32_t countField;
    switch (ReadLittleEndian16(magic)) {
    case OptionalMagicPe32:
        view->pe32Plus = false;
        countField = OptionalDirectoryCountPe32;
        break;
    case OptionalMagicPe32Plus:
        view->pe32Plus = true;
        countField = OptionalDirectoryCountPe32Plus;
        break;
    default:
        *error = "has an optional header that is neither PE32 nor PE32+ (magic " +
                 std::to_string(ReadLittleEndian16(magic)) + ")";
        return false;
    }
    uint32_t directoryCount = 0;
    if (!ReadPeOptionalWord(reader, &layout, OptionalSectionAlignment, &view->sectionAlignment) ||
        !ReadPeOptionalWord(reader, &layout, OptionalFileAlignment, &view->fileAlignment) ||
        !ReadPeOptionalWord(reader, &layout, OptionalCheckSum, &view->checksum) ||
        !ReadPeOptionalWord(reader, &layout, countField, &directoryCount)) {
        *error = "is cut short inside its optional header";
        return false;
    }
    if (!IsPowerOfTwo(view->fileAlignment) || !IsPowerOfTwo(view->sectionAlignment)) {
        *error = "has a file or section alignment that is not a power of two";
        return false;
    }
    uint32_t fitting = (layout.optionalSize - (countField + 4)) / 8;
    view->directoryCount = directoryCount < fitting ? directoryCount : fitting;
    if (view->directoryCount > PeMaxDirectories) {
        view->directoryCount = PeMaxDirectories;
    }
    view->directoryTableOffset = layout.optionalOffset + countField + 4;
    view->sectionTableOffset = layout.optionalOffset + layout.optionalSize;
    if (layout.sectionCount > PeMaxSections) {
        *error = "has " + std::to_string(layout.sectionCount) + " sections, more than the " +
                 std::to_string(PeMaxSections) + " Windows loads";
        return false;
    }
    uint64_t tableEnd = static_cast<uint64_t>(view->sectionTableOffset) +
                        static_cast<uint64_t>(layout.sectionCount) * PeSectionHeaderSize;
    if (tableEnd > fileSize) {
        *error = "is cut short inside its section table";
        return false;
    }
    view->sections.resize(layout.sectionCount);
    for (size_t i = 0; i < view->sections.size(); i++) {
        PeSection &section = view->sections[i];
        if (!ReadSection(reader, SectionHeaderOffset(*view, i), &section)) {
            *error = "is cut short inside its section table";
            return false;
        }
        if (section.rawSize != 0 &&
            static_cast<uint64_t>(section.rawPointer) + section.rawSize > fileSize) {
            *error = "is cut short: " + SectionLabel(*view, i) + " needs " +
                     std::to_string(static_cast<uint64_t>(section.rawPointer) + section.rawSize) +
                     " bytes, the file has " + std::to_string(fileSize);
            return false;
        }
    }
    return true;
}

bool ReadPeDataDirectory(const PayloadByteReader *reader, const PeImageView &view, uint32_t index,
                         uint32_t *rva, uint32_t *size) {
    uint8_t entry[8];
    if (index >= view.directoryCount ||
        !reader->ReadAt(reader, view.directoryTableOffset + 8 * index, entry, sizeof entry)) {
        return false;
    }
    *rva = ReadLittleEndian32(entry);
    *size = ReadLittleEndian32(entry + 4);
    return true;
}

uint32_t PeSectionSpan(const PeSection &section) {
    return section.virtualSize != 0 ? section.virtualSize : section.rawSize;
}

int FindPeSection(const PeImageView &view, uint32_t rva, uint32_t size) {
    for (size_t i = 0; i < view.sections.size(); i++) {
        const PeSection &section = view.sections[i];
        uint32_t span = PeSectionSpan(section);
        if (rva >= section.virtualAddress && rva - section.virtualAddress < span &&
            size <= span - (rva - section.virtualAddress)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool PeRvaToFileOffset(const PeImageView &view, uint32_t rva, uint32_t size, uint32_t *offset) {
    for (const PeSection &section : view.sections) {
        uint32_t span = PeSectionSpan(section);
        uint32_t inFile = section.rawSize < span ? section.rawSize : span;
        if (rva >= section.virtualAddress && rva - section.virtualAddress < inFile &&
            size <= inFile - (rva - section.virtualAddress)) {
            *offset = section.rawPointer + (rva - section.virtualAddress);
            return true;
        }
    }
    return false;
}

uint32_t PeChecksum(const std::vector<uint8_t> &image, const PeImageView &view) {
    uint64_t field = static_cast<uint64_t>(view.layout.optionalOffset) + OptionalCheckSum;
    uint64_t sum = 0;
    for (uint64_t i = 0; i < image.size(); i += 2) {
        uint32_t low = i >= field && i < field + 4 ? 0 : image[i];
        uint32_t high =
            i + 1 >= image.size() || (i + 1 >= field && i + 1 < field + 4) ? 0 : image[i + 1];
        sum += low | high << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

std::string ReplacePeSection(const std::vector<uint8_t> &image, const PeImageView &view,
                             size_t index, const std::vector<uint8_t> &contents,
                             uint32_t ownDirectory, std::vector<uint8_t> *out) {
    MemoryByteReader file = MakeMemoryByteReader(image.data(), image.size());
    const PeSection &target = view.sections[index];
    if (target.rawSize == 0) {
        return SectionLabel(view, index) + " has no data in the file";
    }
    uint32_t targetSpan = PeSectionSpan(target);
    for (uint32_t d = 0; d < view.directoryCount; d++) {
        uint32_t rva = 0;
        uint32_t size = 0;
        if (d != ownDirectory && d != PeDirectorySecurity &&
            ReadPeDataDirectory(&file.reader, view, d, &rva, &size) && rva != 0 && size != 0 &&
            rva >= target.virtualAddress && rva - target.virtualAddress < targetSpan) {
            return "data directory " + std::to_string(d) + " lies inside " +
                   SectionLabel(view, index) + ", which is rewritten";
        }
    }
    uint64_t newRawSize = AlignUp(contents.size(), view.fileAlignment);
    uint64_t oldRawEnd = static_cast<uint64_t>(target.rawPointer) + target.rawSize;
    int64_t rawDelta = static_cast<int64_t>(newRawSize) - target.rawSize;
    int64_t virtualDelta =
        static_cast<int64_t>(
            AlignUp(target.virtualAddress + contents.size(), view.sectionAlignment)) -
        static_cast<int64_t>(AlignUp(static_cast<uint64_t>(target.virtualAddress) + targetSpan,
                                     view.sectionAlignment));
    uint32_t relocationRva = 0;
    uint32_t relocationSize = 0;
    bool hasRelocations = ReadPeDataDirectory(&file.reader, view, PeDirectoryBaseRelocation,
                                              &relocationRva, &relocationSize) &&
                          relocationRva != 0;

    // What moves: sections after the target in the file or in memory.
    uint64_t lastRawEnd = 0;
    std::vector<bool> rawMoves(view.sections.size(), false);
    std::vector<bool> virtualMoves(view.sections.size(), false);
    for (size_t i = 0; i < view.sections.size(); i++) {
        const PeSection &section = view.sections[i];
        uint64_t rawEnd = static_cast<uint64_t>(section.rawPointer) + section.rawSize;
        if (section.rawSize != 0 && rawEnd > lastRawEnd) {
            lastRawEnd = rawEnd;
        }
        if (i == index) {
            continue;
        }
        rawMoves[i] = rawDelta != 0 && section.rawSize != 0 && section.rawPointer >= oldRawEnd;
        virtualMoves[i] = virtualDelta != 0 && section.virtualAddress > target.virtualAddress;
        bool isRelocations = hasRelocations && relocationRva >= section.virtualAddress &&
                             relocationRva - section.virtualAddress < PeSectionSpan(section);
        if ((rawMoves[i] || virtualMoves[i]) && !isRelocations) {
            return SectionLabel(view, i) + " follows " + SectionLabel(view, index) +
                   " and would have to move, but only the base relocation section can";
        }
    }
    if (rawDelta != 0 && image.size() > lastRawEnd) {
        return "the image has " + std::to_string(image.size() - lastRawEnd) +
               " bytes after its last section (a symbol table, a signature or appended data), "
               "which would have to move";
    }
    uint64_t outSize = image.size() + rawDelta;
    if (outSize > 0xFFFFFFFFu || target.virtualAddress + contents.size() > 0xFFFFFFFFu) {
        return "the rewritten image would be larger than 4 GiB";
    }

    out->clear();
    out->reserve(outSize);
    out->insert(out->end(), image.begin(), image.begin() + target.rawPointer);
    out->insert(out->end(), contents.begin(), contents.end());
    out->resize(target.rawPointer + newRawSize, 0);
    out->insert(out->end(), image.begin() + oldRawEnd, image.end());

    uint32_t header = SectionHeaderOffset(view, index);
    WriteWord(out, header + SectionVirtualSize, static_cast<uint32_t>(contents.size()));
    WriteWord(out, header + SectionRawSize, static_cast<uint32_t>(newRawSize));
    uint64_t sizeOfImage = 0;
    for (size_t i = 0; i < view.sections.size(); i++) {
        PeSection section = view.sections[i];
        header = SectionHeaderOffset(view, i);
        if (i == index) {
            section.virtualSize = static_cast<uint32_t>(contents.size());
        }
        if (rawMoves[i]) {
            section.rawPointer = static_cast<uint32_t>(section.rawPointer + rawDelta);
            WriteWord(out, header + SectionRawPointer, section.rawPointer);
        }
        if (virtualMoves[i]) {
            section.virtualAddress = static_cast<uint32_t>(section.virtualAddress + virtualDelta);
            WriteWord(out, header + SectionVirtualAddress, section.virtualAddress);
            if (relocationRva >= view.sections[i].virtualAddress &&
                relocationRva - view.sections[i].virtualAddress < PeSectionSpan(section)) {
                WritePeDataDirectory(out, view, PeDirectoryBaseRelocation,
                                     static_cast<uint32_t>(relocationRva + virtualDelta),
                                     relocationSize);
            }
        }
        uint64_t end =
            AlignUp(static_cast<uint64_t>(section.virtualAddress) + PeSectionSpan(section),
                    view.sectionAlignment);
        if (end > sizeOfImage) {
            sizeOfImage = end;
        }
    }
    if (sizeOfImage > 0xFFFFFFFFu) {
        out->clear();
        return "the rewritten image would take more than 4 GiB of memory";
    }
    uint32_t optional = view.layout.optionalOffset;
    WriteWord(out, optional + OptionalSizeOfImage, static_cast<uint32_t>(sizeOfImage));
    if ((target.characteristics & SectionInitializedData) != 0) {
        int64_t initialized = static_cast<int64_t>(ReadLittleEndian32(
                                  out->data() + optional + OptionalSizeOfInitializedData)) +
                              rawDelta;
        WriteWord(out, optional + OptionalSizeOfInitializedData,
                  static_cast<uint32_t>(initialized < 0 ? 0 : initialized));
    }
    return "";
}

void WritePeDataDirectory(std::vector<uint8_t> *image, const PeImageView &view, uint32_t index,
                          uint32_t rva, uint32_t size) {
    WriteWord(image, view.directoryTableOffset + 8 * index, rva);
    WriteWord(image, view.directoryTableOffset + 8 * index + 4, size);
}

void WritePeChecksum(std::vector<uint8_t> *image, const PeImageView &view, uint32_t checksum) {
    WriteWord(image, view.layout.optionalOffset + OptionalCheckSum, checksum);
}
