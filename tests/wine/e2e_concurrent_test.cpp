// End-to-end: many runs of one presentation started at the same moment. Each
// gets a run folder of its own, every one ends normally, and once all have
// ended nothing is left: no run folder (two runs deleting the same folder
// must not stop each other half way) and no entry beside the executable.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "presentation_builder.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

const int kRuns = 16;
// The leftover this guards against came from an unlucky interleaving, seen
// in about one round of six on a quiet machine: several rounds catch it.
const int kRounds = 8;

std::vector<unsigned char> BuildShow() {
    BuildEntry readme;
    readme.name = "readme";
    readme.outputExtension = "txt";
    readme.group = EntryGroup::ExeFolder;
    readme.data = SampleBytes(3000, 1);
    BuildEntry player;
    player.name = "lumv";
    player.outputExtension = "dll";
    player.compressed = true;
    player.group = EntryGroup::TempFolder;
    player.data = FileBytes(TestPlayerDllPath());

    BuildRequest request;
    request.launcherImage = FileBytes(LauncherExePath());
    request.entries = {readme, player};
    std::vector<unsigned char> output;
    std::string error;
    EXPECT_TRUE(BuildPresentation(request, &output, &error)) << error;
    return output;
}

// Wine now and then refuses to start a process while many start at once
// (error 1359, before any of the launcher's code runs): such a start is
// tried again, since it says nothing about the launcher.
bool StartSoon(const Presentation &show, const std::vector<std::string> &environment,
               PROCESS_INFORMATION *process) {
    for (int attempt = 0; attempt < 5; attempt++) {
        if (StartProgram(show.QuotedExePath(), show.workFolder(), environment, StartOptions(),
                         process)) {
            return true;
        }
        Sleep(200);
    }
    return false;
}

TEST(ConcurrentLaunches, LeaveNothingBehind) {
    Presentation show("concurrent");
    ASSERT_TRUE(WriteBytesFile(show.exePath(), BuildShow()));
    // No report: sixteen players would all write the same file.
    std::vector<std::string> environment = {"LUMV_TEST_RESULT=3", "TMP=" + show.tempFolder()};

    for (int round = 0; round < kRounds; round++) {
        std::vector<PROCESS_INFORMATION> runs;
        for (int i = 0; i < kRuns; i++) {
            PROCESS_INFORMATION process;
            ASSERT_TRUE(StartSoon(show, environment, &process)) << "round " << round;
            runs.push_back(process);
        }
        int failed = 0;
        for (PROCESS_INFORMATION &process : runs) {
            DWORD exitCode = 0;
            bool ended = FinishProgram(&process, 60000, &exitCode);
            failed += !ended || exitCode != 0;
        }

        EXPECT_EQ(failed, 0) << "round " << round << ": runs that failed or hung";
        EXPECT_EQ(FolderEntries(show.tempFolder()), std::vector<std::string>())
            << "round " << round << ": left in the temporary path";
        EXPECT_EQ(FolderEntries(show.exeFolder()), std::vector<std::string>{"show.exe"})
            << "round " << round << ": left beside the executable";
        if (HasFailure()) {
            break;
        }
    }
}

}  // namespace
