// Shows the launcher cannot run: refused by the build check and reported by
// verify's, alike, for each layout and architecture.
#include "launch_checks.h"

#include <gtest/gtest.h>

#include "presentation_test_support.h"

namespace {

struct LaunchCase {
    const char *what;
    bool pe32PlusLauncher;
    // The entries: file name, group, and the player's bytes when it is one.
    struct Entry {
        const char *name;
        const char *extension;
        EntryGroup group;
        int library;  // 0: sample bytes; 32 or 64: a player of that many bits
        const char *exportName;
    } entries[3];
    const char *expected;  // a part of the message; "": it runs
};

const EntryGroup Exe = EntryGroup::ExeFolder;
const EntryGroup Temp = EntryGroup::TempFolder;

const LaunchCase Cases[] = {
    {"no entries", false, {}, ""},
    {"exe-folder entries, installed player", false, {{"readme", "txt", Exe, 0, ""}}, ""},
    {"player in the run folder", false, {{"lumv", "dll", Temp, 32, "LumivanceMain"}}, ""},
    {"player beside the exe", true, {{"lumv", "dll", Exe, 64, "LumivanceMain"}}, ""},
    {"player name in capitals", false, {{"LUMV", "DLL", Temp, 32, "LumivanceMain"}}, ""},
    {"run-folder entries without player",
     false,
     {{"readme", "txt", Exe, 0, ""}, {"pic", "bmp", Temp, 0, ""}},
     "1 entry goes to the run's temporary folder, and once a run has that folder the launcher "
     "looks for lumv.dll only there; none of the entries is lumv.dll"},
    {"player beside the exe, other entries in the run folder",
     false,
     {{"lumv", "dll", Exe, 32, "LumivanceMain"}, {"pic", "bmp", Temp, 0, ""}},
     "entry 1 (lumv.dll) lies beside the executable, where it is then not looked for"},
    {"64-bit player, 32-bit launcher",
     false,
     {{"lumv", "dll", Temp, 64, "LumivanceMain"}},
     "entry 1 (lumv.dll) is built for x86_64 (64-bit), the launcher for i386 (32-bit), so "
     "Windows cannot load it into the launcher: every start would fail with \"a required file "
     "cannot be created\" (text 1001)"},
    {"32-bit player beside the 64-bit launcher",
     true,
     {{"readme", "txt", Exe, 0, ""}, {"lumv", "dll", Exe, 32, "LumivanceMain"}},
     "entry 2 (lumv.dll) is built for i386 (32-bit), the launcher for x86_64 (64-bit)"},
    {"decorated export",
     false,
     {{"lumv", "dll", Temp, 32, "_LumivanceMain@20"}},
     "exports \"_LumivanceMain@20\" but not \"LumivanceMain\", the undecorated name the "
     "launcher looks up: every start would end with \"this application cannot be started\" "
     "(text 1004). Export it undecorated"},
    {"export in other case", false, {{"lumv", "dll", Exe, 32, "lumivanceMain"}}, "(text 1004)"},
    {"no exports", false, {{"lumv", "dll", Temp, 32, ""}}, "does not export \"LumivanceMain\""},
    {"not a library", false, {{"lumv", "dll", Temp, 0, ""}}, "is no Windows library"},
};

std::vector<uint8_t> LibraryBytes(const LaunchCase::Entry &entry) {
    if (entry.library == 0) {
        return SampleBytes(3000, 9);
    }
    return MakePlayerLibrary(entry.library == 64, entry.exportName, 3000);
}

BuildRequest RequestFor(const LaunchCase &c) {
    BuildRequest request;
    request.launcherImage = MakePeImage(c.pe32PlusLauncher, 700);
    for (const LaunchCase::Entry &entry : c.entries) {
        if (entry.name != nullptr) {
            request.entries.push_back(MakeEntry(entry.name, entry.extension, LibraryBytes(entry),
                                                entry.group == Temp, entry.group));
        }
    }
    return request;
}

TEST(LaunchChecks, BuildRefusesAndVerifyReportsWhatCannotRun) {
    for (const LaunchCase &c : Cases) {
        BuildRequest request = RequestFor(c);
        std::string refusal = LaunchProblem(request);
        std::vector<uint8_t> file = BuildOrFail(request);
        MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
        std::vector<Finding> findings;
        bool runs = CheckLaunch(&reader.reader, file.size(), &findings);
        if (c.expected[0] == '\0') {
            EXPECT_EQ(refusal, "") << c.what;
            EXPECT_TRUE(runs && findings.empty()) << c.what;
            continue;
        }
        EXPECT_NE(refusal.find(c.expected), std::string::npos) << c.what << ": " << refusal;
        ASSERT_FALSE(runs) << c.what;
        ASSERT_EQ(findings.size(), 1u) << c.what;
        EXPECT_EQ(findings[0].severity, Severity::Fault);
        EXPECT_EQ(findings[0].message, refusal) << c.what;
    }
}

}  // namespace
