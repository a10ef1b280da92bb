// The shipping 32-bit launcher with the 32-bit player, started twice (a 32-bit
// process start takes about a minute here): the 24-byte block, the hand-off
// and the box that reports a player result of 0, then a packed presentation
// unpacked, run and cleaned up, with a splash that the player closes; and
// the 32-bit sample player playing a show to its end.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "presentation_builder.h"
#include "splash_support.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

TEST(Smoke32, HandsTheThirtyTwoBitBlockToThePlayer) {
    Presentation show("smoke32", "smoke 32");
    ASSERT_TRUE(FileExists(show.exePath()));
    ASSERT_TRUE(show.PutPlayer(show.exeFolder()));

    // Player result 0 must come back as exit code 1, the one exit code that
    // only the player's own result can produce, after a box with text 1004:
    // its Japanese caption and text read back as the user sees them on a
    // system whose code page is not Japanese.
    StartOptions options;
    options.useShowWindow = true;
    options.showWindow = SW_SHOWMINNOACTIVE;
    options.boxAnswer = IDOK;
    RunResult run = show.Run(0, show.QuotedExePath() + "  --x \"y z\"", options, 10 * 60 * 1000);

    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished) << "the 32-bit launcher did not end within 10 minutes";
    EXPECT_NE(932u, GetACP()) << "the check needs a code page that is not Japanese";
    EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1004));
    EXPECT_EQ(1u, run.exitCode);
    auto report = show.Report();
    ASSERT_FALSE(report.empty()) << "the player was not called";
    const std::pair<const char *, const char *> fields[] = {
        {"pointerSize", "4"},    {"blockVersion", "1"},
        {"blockSize", "24"},     {"closeSplash", "0x0"},
        {"splashThreadId", "0"}, {"tempFolderPath", "(null)"},
        {"playerLocation", "1"}, {"hPrevInstance", "0x0"},
        {"hInstanceIsExe", "1"}, {"lpCmdLine", "--x \"y z\""},
        {"nCmdShow", "7"},       {"msvcrtLoaded", "1"},
        {"result", "0"},
    };
    for (const auto &field : fields) {
        EXPECT_EQ(field.second, report[field.first]) << field.first;
    }
    EXPECT_TRUE(SamePath(show.exeFolder() + "\\lumv.dll", report["modulePath"]))
        << report["modulePath"];
    EXPECT_TRUE(SamePath(show.workFolder(), report["currentDirectory"]))
        << report["currentDirectory"];

    // Six little-endian 32-bit words with no gaps.
    std::vector<unsigned char> block = BytesFromHex(report["blockBytes"]);
    ASSERT_EQ(24u, block.size()) << report["blockBytes"];
    const unsigned long long words[] = {1, 24, 0, 0, 0, 1};
    for (size_t i = 0; i < 6; i++) {
        EXPECT_EQ(words[i], LittleEndianAt(block, 4 * i, 4)) << "word at offset " << 4 * i;
    }
}

// The player compressed in the temporary group and a stored file beside the
// executable, where a user's file of that name lies: the player runs from
// the run folder and finds the entry's bytes, and after the run the user's
// file is back as it was and the run folder is gone. A splash bitmap lies beside the
// executable; the player closes the splash, which goes at once.
TEST(Smoke32, UnpacksThePlayerIntoTheRunFolderAndCleansUp) {
    Presentation show("smoke32packed", "smoke 32");
    BuildRequest request;
    request.launcherImage = FileBytes(LauncherExePath());
    BuildEntry notes;
    notes.name = "notes";
    notes.outputExtension = "txt";
    notes.data = SampleBytes(3000, 1);
    BuildEntry player;
    player.name = "lumv";
    player.outputExtension = "dll";
    player.compressed = true;
    player.group = EntryGroup::TempFolder;
    player.data = FileBytes(TestPlayerDllPath());
    request.entries = {notes, player};
    std::vector<unsigned char> file;
    std::string error;
    ASSERT_TRUE(BuildPresentation(request, &file, &error)) << error;
    ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
    ASSERT_TRUE(WriteBytesFile(show.exeFolder() + "\\show.BMP", SplashBitmapFile({33, 21, 8})));
    ASSERT_TRUE(WriteTextFile(show.exeFolder() + "\\notes.txt", "the user's notes"));
    std::vector<std::string> environment = show.Environment(3);
    environment.push_back("LUMV_TEST_CLOSE_SPLASH=0");
    environment.push_back("LUMV_TEST_PAUSE=3000");

    SplashRun watched = RunWatchingSplash(show.QuotedExePath(), show.workFolder(), environment,
                                          StartOptions(), 10 * 60 * 1000);
    const RunResult &run = watched.run;

    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished) << "the 32-bit launcher did not end within 10 minutes";
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    auto report = show.Report();
    ASSERT_FALSE(report.empty()) << "the player was not called";
    std::string runFolder = show.tempFolder() + "\\TempFolder.aaa\\";
    EXPECT_EQ("2", report["playerLocation"]);
    EXPECT_EQ("4", report["pointerSize"]);
    EXPECT_TRUE(SamePath(runFolder, report["tempFolderPath"])) << report["tempFolderPath"];
    EXPECT_TRUE(SamePath(runFolder + "lumv.dll", report["modulePath"])) << report["modulePath"];
    EXPECT_NE("0", report["splashThreadId"]);
    EXPECT_NE("0x0", report["closeSplash"]);
    EXPECT_NE("0", report["closeSplashResult"]);
    ASSERT_EQ(1u, report.count("closeSplashTick")) << "the player did not close the splash";
    DWORD closeTick = static_cast<DWORD>(std::stoul(report["closeSplashTick"]));
    EXPECT_GT(watched.endTick - closeTick, 2000u) << "the player did not pause after closing";
    if (watched.seen) {
        EXPECT_LT(static_cast<int>(watched.lastSeenTick - closeTick), 1000)
            << "the splash was still up long after the close request";
        EXPECT_NE(watched.mainThreadId, watched.firstView.threadId);
    }
    EXPECT_TRUE(FileBytes(show.SeenFile("notes.txt")) == notes.data);
    std::string userText;
    EXPECT_TRUE(ReadTextFile(show.exeFolder() + "\\notes.txt", &userText));
    EXPECT_EQ("the user's notes", userText);
    const std::vector<std::string> left = {"notes.txt", "show.BMP", "show.exe"};
    EXPECT_EQ(left, FolderEntries(show.exeFolder()));
    EXPECT_TRUE(FolderEntries(show.tempFolder()).empty()) << "the run folder is left";
}

// The 32-bit sample player plays a one-slide show by itself and ends it.
TEST(Smoke32, TheSamplePlayerPlaysAndEnds) {
    Presentation show("smoke32sample");
    BuildRequest request;
    request.launcherImage = FileBytes(LauncherExePath());
    const std::string deck = "Smoke\nOne slide, played by itself.\n";
    request.content.assign(deck.begin(), deck.end());
    BuildEntry player = {
        "lumv", "dll", true, "", EntryGroup::TempFolder, FileBytes(SamplePlayerDllPath())};
    ASSERT_FALSE(player.data.empty()) << "no 32-bit sample player";
    request.entries = {player};
    std::vector<unsigned char> file;
    std::string error;
    ASSERT_TRUE(BuildPresentation(request, &file, &error)) << error;
    ASSERT_TRUE(WriteBytesFile(show.exePath(), file));

    RunResult run =
        show.Run(3, show.QuotedExePath() + " --autoplay 500", StartOptions(), 10 * 60 * 1000);

    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished) << "the 32-bit launcher did not end within 10 minutes";
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(std::vector<std::string>({"show.exe"}), FolderEntries(show.exeFolder()));
    EXPECT_TRUE(FolderEntries(show.tempFolder()).empty()) << "the run folder is left";
}

}  // namespace
