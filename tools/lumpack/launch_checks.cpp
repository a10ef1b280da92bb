// Checking that the launcher can find and call a presentation's player.
#include "launch_checks.h"

#include <stdint.h>

#include "display_text.h"
#include "file_name_rules.h"
#include "player_library.h"

namespace {

// An entry as the launcher places it, in header order.
struct PlacedEntry {
    std::string label;  // "entry 2 (lumv.dll)"
    std::string fileName;
    bool temp;
};

bool IsPlayer(const PlacedEntry &entry) {
    return FileNameKey(entry.fileName) == FileNameKey(PlayerLibraryName);
}

// The entry the launcher would load the player from (-1: none is), or why
// the player could never be found: entries for the temporary folder without
// the player among them.
std::string PlacementProblem(const std::vector<PlacedEntry> &entries, int *player) {
    *player = -1;
    size_t tempCount = 0;
    int besideExe = -1;
    for (size_t i = 0; i < entries.size(); i++) {
        tempCount += entries[i].temp ? 1 : 0;
        if (IsPlayer(entries[i])) {
            (entries[i].temp ? *player : besideExe) = static_cast<int>(i);
        }
    }
    if (tempCount == 0) {
        *player = besideExe;
        return "";
    }
    if (*player >= 0) {
        return "";
    }
    std::string where = besideExe >= 0 ? entries[besideExe].label +
                                             " lies beside the executable, where it "
                                             "is then not looked for"
                                       : "none of the entries is lumv.dll";
    return std::to_string(tempCount) + (tempCount == 1 ? " entry goes" : " entries go") +
           " to the run's temporary folder, and once a run has that folder the launcher looks "
           "for lumv.dll only there; " +
           where +
           ". Every start would fail with \"a required file cannot be created\" (text 1001). "
           "Embed lumv.dll for the temporary folder too (--temp), or unpack every entry beside "
           "the executable";
}

// What the launcher would do with a player that has problem, loaded from
// the temporary folder or from beside the executable.
std::string PlayerMessage(const PlacedEntry &entry, const PlayerProblem &problem) {
    std::string consequence;
    if (problem.kind == PlayerProblem::NoEntryPoint) {
        consequence =
            "every start would end with \"this application cannot be started\" "
            "(text 1004)";
    } else if (entry.temp) {
        consequence =
            "every start would fail with \"a required file cannot be created\" "
            "(text 1001)";
    } else {
        consequence =
            "the launcher would pass it over and, unless a player is installed, "
            "offer the player's download (text 1003)";
    }
    return entry.label + " " + problem.what + ": " + consequence + ". " + problem.fix;
}

std::string Label(size_t number, const std::string &fileName) {
    return "entry " + std::to_string(number) + " (" + PrintableText(fileName) + ")";
}

// The request's entries in the order the file holds them.
std::vector<size_t> HeaderOrder(const BuildRequest &request) {
    std::vector<size_t> order;
    for (EntryGroup group : {EntryGroup::ExeFolder, EntryGroup::TempFolder}) {
        for (size_t i = 0; i < request.entries.size(); i++) {
            if (request.entries[i].group == group) {
                order.push_back(i);
            }
        }
    }
    return order;
}

uint16_t LauncherMachine(const PayloadByteReader *reader) {
    uint16_t machine = 0;
    return ReadPeMachine(reader, &machine) ? machine : 0;
}

}  // namespace

std::string LaunchProblem(const BuildRequest &request) {
    std::vector<size_t> order = HeaderOrder(request);
    std::vector<PlacedEntry> placed;
    for (size_t i = 0; i < order.size(); i++) {
        const BuildEntry &entry = request.entries[order[i]];
        std::string fileName = BuildEntryFileName(entry);
        std::string label =
            order[i] < request.entryLabels.size()
                ? request.entryLabels[order[i]] + " (" + PrintableText(fileName) + ")"
                : Label(i + 1, fileName);
        placed.push_back({label, fileName, entry.group == EntryGroup::TempFolder});
    }
    int player = -1;
    std::string problem = PlacementProblem(placed, &player);
    if (!problem.empty() || player < 0) {
        return problem;
    }
    const std::vector<uint8_t> &image = request.launcherImage;
    const std::vector<uint8_t> &library = request.entries[order[player]].data;
    MemoryByteReader launcher = MakeMemoryByteReader(image.data(), image.size());
    MemoryByteReader dll = MakeMemoryByteReader(library.data(), library.size());
    PlayerProblem found = FindPlayerProblem(&dll.reader, static_cast<uint32_t>(library.size()),
                                            LauncherMachine(&launcher.reader));
    if (found.kind == PlayerProblem::None) {
        return "";
    }
    bool labelled = static_cast<size_t>(order[player]) < request.entryLabels.size() &&
                    !request.entryLabelSource.empty();
    return (labelled ? request.entryLabelSource + ": " : "") + PlayerMessage(placed[player], found);
}

bool CheckLaunch(const PayloadByteReader *reader, uint64_t size, std::vector<Finding> *findings) {
    Presentation presentation;
    std::string error;
    if (!OpenPresentation(reader, size, &presentation, &error)) {
        return true;  // damage, not the launch
    }
    std::vector<PlacedEntry> placed;
    for (const EntryInfo &entry : presentation.entries) {
        placed.push_back({EntryLabel(entry), EntryFileName(entry), entry.tempGroup});
    }
    int player = -1;
    std::string problem = PlacementProblem(placed, &player);
    if (!problem.empty()) {
        findings->push_back({Severity::Fault, problem});
        return false;
    }
    std::vector<uint8_t> library;
    if (player < 0 || !ReadEntryData(reader, presentation, player, &library, &error)) {
        return true;
    }
    MemoryByteReader dll = MakeMemoryByteReader(library.data(), library.size());
    PlayerProblem found = FindPlayerProblem(&dll.reader, static_cast<uint32_t>(library.size()),
                                            LauncherMachine(reader));
    if (found.kind == PlayerProblem::None) {
        return true;
    }
    findings->push_back({Severity::Fault, PlayerMessage(placed[player], found)});
    return false;
}
