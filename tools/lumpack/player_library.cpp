// Reading a player library's machine, kind and export names.
#include "player_library.h"

#include <string.h>

#include "common/byte_order.h"
#include "payload/pe_image.h"
#include "pe_sections.h"

const char PlayerLibraryName[] = "lumv.dll";
const char PlayerEntryPointName[] = "LumivanceMain";

namespace {

enum {
    ExportDirectorySize = 40,
    ExportNameCountField = 24,
    ExportNamesField = 32,
    // More names than any library exports; a count beyond is damage.
    MaxExportNames = 1 << 16,
    MaxExportNameSize = 256
};

// The NUL-terminated name at rva, at most MaxExportNameSize bytes and only
// what its section holds in the file; "" when it cannot be read.
std::string ReadName(const PayloadByteReader *reader, const PeImageView &view, uint32_t rva) {
    int index = FindPeSection(view, rva, 1);
    if (index < 0) {
        return "";
    }
    const PeSection &section = view.sections[index];
    uint32_t span = PeSectionSpan(section);
    uint32_t end = section.virtualAddress + (section.rawSize < span ? section.rawSize : span);
    uint32_t size = end > rva ? end - rva : 0;
    if (size > static_cast<uint32_t>(MaxExportNameSize)) {
        size = MaxExportNameSize;
    }
    char name[MaxExportNameSize + 1] = {};
    uint32_t offset = 0;
    if (size == 0 || !PeRvaToFileOffset(view, rva, size, &offset) ||
        !reader->ReadAt(reader, offset, name, size)) {
        return "";
    }
    return std::string(name, strnlen(name, size));
}

enum class ExportSearch { Found, Decorated, Missing, Unreadable };

// Looks for the entry point among the export names; *decorated gets a
// name that holds it with decoration ("_LumivanceMain@20").
ExportSearch FindEntryPoint(const PayloadByteReader *reader, const PeImageView &view,
                            std::string *decorated) {
    uint32_t directoryRva = 0;
    uint32_t directorySize = 0;
    uint8_t directory[ExportDirectorySize];
    uint32_t directoryOffset = 0;
    if (!ReadPeDataDirectory(reader, view, PeDirectoryExport, &directoryRva, &directorySize) ||
        directoryRva == 0 || directorySize == 0) {
        return ExportSearch::Missing;
    }
    if (!PeRvaToFileOffset(view, directoryRva, sizeof directory, &directoryOffset) ||
        !reader->ReadAt(reader, directoryOffset, directory, sizeof directory)) {
        return ExportSearch::Unreadable;
    }
    uint32_t count = ReadLittleEndian32(directory + ExportNameCountField);
    uint32_t namesOffset = 0;
    if (count == 0) {
        return ExportSearch::Missing;
    }
    if (count > MaxExportNames ||
        !PeRvaToFileOffset(view, ReadLittleEndian32(directory + ExportNamesField), 4 * count,
                           &namesOffset)) {
        return ExportSearch::Unreadable;
    }
    for (uint32_t i = 0; i < count; i++) {
        uint8_t nameRva[4];
        if (!reader->ReadAt(reader, namesOffset + 4 * i, nameRva, sizeof nameRva)) {
            return ExportSearch::Unreadable;
        }
        std::string name = ReadName(reader, view, ReadLittleEndian32(nameRva));
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
    PeImageView view;
    uint16_t machine = 0;
    std::string error;
    if (!ReadPeImageView(reader, size, &view, &error) || !ReadPeMachine(reader, &machine)) {
        return {PlayerProblem::NotLoadable, "is no Windows library (no PE image)",
                "Embed the player DLL itself"};
    }
    if ((view.layout.characteristics & PeCharacteristicsDll) == 0) {
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
    switch (FindEntryPoint(reader, view, &decorated)) {
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
