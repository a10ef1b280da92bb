// Reading a player library's machine, kind and export names.
#include "player_library.h"

#include <string.h>

#include "common/byte_order.h"
#include "payload/pe_image.h"

const char PlayerLibraryName[] = "lumv.dll";
const char PlayerEntryPointName[] = "LumivanceMain";

namespace {

enum {
    OptionalMagicPe32 = 0x10B,
    OptionalMagicPe32Plus = 0x20B,
    ExportDirectorySize = 40,
    ExportNameCountField = 24,
    ExportNamesField = 32,
    // More names than any library exports; a count beyond is damage.
    MaxExportNames = 1 << 16,
    MaxExportNameSize = 256
};

// The export directory's RVA and size; false when the image has none.
bool ReadExportDirectory(const PayloadByteReader *reader, const PeLayout &layout, uint32_t *rva,
                         uint32_t *size) {
    uint32_t magic = 0;
    if (!ReadPeOptionalWord(reader, &layout, 0, &magic)) {
        return false;
    }
    uint32_t countField = (magic & 0xFFFF) == OptionalMagicPe32Plus ? 108 : 92;
    if ((magic & 0xFFFF) != OptionalMagicPe32 && (magic & 0xFFFF) != OptionalMagicPe32Plus) {
        return false;
    }
    uint32_t count = 0;
    return ReadPeOptionalWord(reader, &layout, countField, &count) && count > 0 &&
           ReadPeOptionalWord(reader, &layout, countField + 4, rva) &&
           ReadPeOptionalWord(reader, &layout, countField + 8, size) && *rva != 0 && *size != 0;
}

// The file offset of rva through the section table; false outside every
// section's raw data.
bool RvaToOffset(const PayloadByteReader *reader, const PeLayout &layout, uint32_t rva,
                 uint32_t *offset) {
    uint32_t header = layout.optionalOffset + layout.optionalSize;
    for (uint32_t i = 0; i < layout.sectionCount; i++, header += PeSectionHeaderSize) {
        uint8_t fields[16];  // VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData
        if (!reader->ReadAt(reader, header + 8, fields, sizeof fields)) {
            return false;
        }
        uint32_t start = ReadLittleEndian32(fields + 4);
        uint32_t rawSize = ReadLittleEndian32(fields + 8);
        if (rva >= start && rva - start < rawSize) {
            *offset = ReadLittleEndian32(fields + 12) + (rva - start);
            return true;
        }
    }
    return false;
}

// The NUL-terminated name at rva, at most MaxExportNameSize bytes; "" when
// it cannot be read.
std::string ReadName(const PayloadByteReader *reader, const PeLayout &layout, uint32_t fileSize,
                     uint32_t rva) {
    uint32_t offset = 0;
    if (!RvaToOffset(reader, layout, rva, &offset) || offset >= fileSize) {
        return "";
    }
    char name[MaxExportNameSize + 1] = {};
    uint32_t size = fileSize - offset;
    if (size > static_cast<uint32_t>(MaxExportNameSize)) {
        size = MaxExportNameSize;
    }
    if (!reader->ReadAt(reader, offset, name, size)) {
        return "";
    }
    return std::string(name, strnlen(name, size));
}

enum class ExportSearch { Found, Decorated, Missing, Unreadable };

// Looks for the entry point among the export names; *decorated gets a
// name that holds it with decoration ("_LumivanceMain@20").
ExportSearch FindEntryPoint(const PayloadByteReader *reader, const PeLayout &layout,
                            uint32_t fileSize, std::string *decorated) {
    uint32_t directoryRva = 0;
    uint32_t directorySize = 0;
    uint8_t directory[ExportDirectorySize];
    uint32_t directoryOffset = 0;
    if (!ReadExportDirectory(reader, layout, &directoryRva, &directorySize)) {
        return ExportSearch::Missing;
    }
    if (!RvaToOffset(reader, layout, directoryRva, &directoryOffset) ||
        !reader->ReadAt(reader, directoryOffset, directory, sizeof directory)) {
        return ExportSearch::Unreadable;
    }
    uint32_t count = ReadLittleEndian32(directory + ExportNameCountField);
    uint32_t namesRva = ReadLittleEndian32(directory + ExportNamesField);
    uint32_t namesOffset = 0;
    if (count == 0) {
        return ExportSearch::Missing;
    }
    if (count > MaxExportNames || !RvaToOffset(reader, layout, namesRva, &namesOffset)) {
        return ExportSearch::Unreadable;
    }
    for (uint32_t i = 0; i < count; i++) {
        uint8_t nameRva[4];
        if (!reader->ReadAt(reader, namesOffset + 4 * i, nameRva, sizeof nameRva)) {
            return ExportSearch::Unreadable;
        }
        std::string name = ReadName(reader, layout, fileSize, ReadLittleEndian32(nameRva));
        if (name == PlayerEntryPointName) {
            return ExportSearch::Found;
        }
        if (decorated->empty() && name.find(PlayerEntryPointName) != std::string::npos) {
            *decorated = name;
        }
    }
    return decorated->empty() ? ExportSearch::Missing : ExportSearch::Decorated;
}

}  // namespace

bool ReadPeMachine(const PayloadByteReader *reader, uint16_t *machine) {
    PeLayout layout;
    uint8_t field[2];
    if (ReadPeLayout(reader, &layout) != PeLayoutFound ||
        !reader->ReadAt(reader, layout.coffOffset, field, sizeof field)) {
        return false;
    }
    *machine = ReadLittleEndian16(field);
    return true;
}

std::string MachineName(uint16_t machine) {
    switch (machine) {
    case PeMachineI386:
        return "i386 (32-bit)";
    case PeMachineAmd64:
        return "x86_64 (64-bit)";
    default: {
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex += digits[(machine >> shift) & 0xF];
        }
        return "machine 0x" + hex;
    }
    }
}

PlayerProblem FindPlayerProblem(const PayloadByteReader *reader, uint32_t size,
                                uint16_t launcherMachine) {
    PeLayout layout;
    uint16_t machine = 0;
    if (ReadPeLayout(reader, &layout) != PeLayoutFound || !ReadPeMachine(reader, &machine)) {
        return {PlayerProblem::NotLoadable, "is no Windows library (no PE image)",
                "Embed the player DLL itself"};
    }
    if ((layout.characteristics & PeCharacteristicsDll) == 0) {
        return {PlayerProblem::NotLoadable, "is an executable, not a DLL",
                "Embed the player DLL itself"};
    }
    if (machine != launcherMachine) {
        return {PlayerProblem::NotLoadable,
                "is built for " + MachineName(machine) + ", the launcher for " +
                    MachineName(launcherMachine) + ", so Windows cannot load it into the launcher",
                "Embed the player built for the launcher's architecture, or build with the other "
                "launcher"};
    }
    std::string decorated;
    std::string name = std::string("\"") + PlayerEntryPointName + "\"";
    switch (FindEntryPoint(reader, layout, size, &decorated)) {
    case ExportSearch::Found:
        return {PlayerProblem::None, "", ""};
    case ExportSearch::Decorated:
        return {PlayerProblem::NoEntryPoint,
                "exports \"" + decorated + "\" but not " + name +
                    ", the undecorated name the launcher looks up",
                "Export it undecorated (a .def file, or -Wl,--kill-at with MinGW)"};
    case ExportSearch::Missing:
        return {PlayerProblem::NoEntryPoint,
                "does not export " + name + ", which the launcher calls",
                "Embed a player that exports it"};
    case ExportSearch::Unreadable:
        break;
    }
    return {PlayerProblem::NoEntryPoint, "has an export table that cannot be read",
            "Embed an undamaged player"};
}
