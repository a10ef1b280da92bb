// End-to-end: the real launcher started as a process of its own in folders laid
// out per case - where it finds the player, what it hands over, its exit code.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

using namespace lumvtest;

namespace {

const char *const PlayerName = "lumv.dll";

TEST(PlayerSearch, LoadsThePlayerFromTheFirstFolderThatHoldsIt) {
    struct Case {
        const char *name;
        bool besideExe;
        bool inKivox;
        const char *expectedLocation;
        bool expectKivoxCopy;
    };
    const Case cases[] = {
        {"beside the executable", true, false, "1", false},
        {"only in Kivox", false, true, "3", true},
        {"beside the executable and in Kivox", true, true, "1", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("search");
        ASSERT_TRUE(FileExists(show.exePath()));
        if (c.besideExe) {
            ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        }
        if (c.inKivox) {
            ASSERT_TRUE(show.PutPlayer(show.KivoxFolder()));
        }

        std::string expectedModule =
            (c.expectKivoxCopy ? show.KivoxFolder() : show.exeFolder()) + "\\" + PlayerName;
        EXPECT_TRUE(PlayerRanFrom(show, c.expectedLocation, expectedModule));
    }
}

TEST(PlayerSearch, WithoutAPlayerTheLauncherOffersTheDownload) {
    struct Case {
        const char *name;
        bool emptyKivox;
        const char *playerFolder;  // relative to the working folder, or null
    };
    // The search is anchored at the executable, never at the current directory.
    const Case cases[] = {
        {"no player anywhere", false, nullptr},
        {"an empty Kivox folder", true, nullptr},
        {"a player only in the working folder", false, ""},
        {"a player only in Kivox under the working folder", false, "Kivox"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("noplayer");
        if (c.emptyKivox) {
            ASSERT_TRUE(MakeFolder(show.KivoxFolder()));
        }
        if (c.playerFolder != nullptr) {
            std::string folder = show.workFolder();
            if (c.playerFolder[0] != '\0') {
                folder += std::string("\\") + c.playerFolder;
            }
            ASSERT_TRUE(show.PutPlayer(folder));
        }

        // Result 0: a player that did run would show in the exit code too.
        // The offer is declined (Cancel, the runs' default answer): this
        // prefix's browser is not part of the test.
        RunResult run = show.Run(0);

        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished);
        EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1003));
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_FALSE(FileExists(show.reportPath())) << "a player was called";
    }
}

// A library called lumv.dll that loads but has no LumivanceMain still ends the
// search: the working player in Kivox must not be reached.
TEST(PlayerSearch, APlayerWithoutTheEntryPointIsNotCalledAndEndsTheSearch) {
    Presentation show("noentry");
    char system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(system, sizeof system));
    std::string stranger = show.exeFolder() + "\\" + PlayerName;
    ASSERT_TRUE(CopyFileTo(std::string(system) + "\\version.dll", stranger));
    HMODULE loaded = LoadLibraryA(stranger.c_str());
    ASSERT_NE(nullptr, loaded) << "the stand-in library does not load";
    bool hasEntry = GetProcAddress(loaded, "LumivanceMain") != nullptr;
    FreeLibrary(loaded);
    ASSERT_FALSE(hasEntry);
    ASSERT_TRUE(show.PutPlayer(show.KivoxFolder()));

    RunResult run = show.Run(0);

    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1004));
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(FileExists(show.reportPath())) << "the player in Kivox was called";
}

// A player result of 0 is the one result reported in a box (text 1004), and
// the one that makes the exit code 1; other results end quietly.
TEST(ExitCode, IsOneOnlyWhenThePlayerReturnsZero) {
    struct Case {
        int playerResult;
        DWORD expectedExitCode;
    };
    const Case cases[] = {{0, 1}, {3, 0}, {-1, 0}, {7, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE("player result " + std::to_string(c.playerResult));
        Presentation show("exitcode");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));

        RunResult run = show.Run(c.playerResult);

        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(c.expectedExitCode, run.exitCode);
        EXPECT_EQ(std::to_string(c.playerResult), show.Report()["result"]);
        if (c.playerResult == 0) {
            EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1004));
        } else {
            EXPECT_TRUE(run.boxes.empty()) << "a message box after a quiet result";
        }
    }
}

TEST(StartupArguments, CommandLineLosesOnlyTheProgramName) {
    struct Case {
        const char *exeFolderName;
        bool quoted;
        const char *afterName;  // appended right after the program name
        const char *expected;
    };
    const Case cases[] = {
        {"with space", true, "  --x \"y z\"", "--x \"y z\""},
        {"plain", false, " --x", "--x"},
        {"plain", true, "\t\targ one", "arg one"},
        {"plain", false, "\t a  b ", "a  b "},
        {"plain", true, "", ""},
        {"with space", true, "tail", "tail"},
        {"with space", true, " show.exe", "show.exe"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.exeFolderName) + (c.quoted ? ", quoted: [" : ", unquoted: [") +
                     c.afterName + "]");
        Presentation show("cmdline", c.exeFolderName);
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        std::string name = c.quoted ? show.QuotedExePath() : show.exePath();

        RunResult run = show.Run(3, name + c.afterName);

        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished);
        auto report = show.Report();
        ASSERT_EQ(1u, report.count("lpCmdLine")) << "the player was not called";
        EXPECT_EQ(c.expected, report["lpCmdLine"]);
    }
}

TEST(StartupArguments, ShowStateComesFromTheStartupInfo) {
    struct Case {
        bool useShowWindow;
        WORD showWindow;
        const char *expected;
    };
    const Case cases[] = {
        {false, 0, "10"},  // SW_SHOWDEFAULT without STARTF_USESHOWWINDOW
        {true, SW_HIDE, "0"},
        {true, SW_SHOWMAXIMIZED, "3"},
        {true, SW_SHOWMINNOACTIVE, "7"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.useShowWindow ? "show state " + std::to_string(c.showWindow)
                                     : std::string("no show state"));
        Presentation show("showstate");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        StartOptions options;
        options.useShowWindow = c.useShowWindow;
        options.showWindow = c.showWindow;

        RunResult run = show.Run(3, std::string(), options);

        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished);
        auto report = show.Report();
        ASSERT_EQ(1u, report.count("nCmdShow")) << "the player was not called";
        EXPECT_EQ(c.expected, report["nCmdShow"]);
    }
}

TEST(StartupArguments, PlayerSeesItsInstanceAndTheParamsBlock) {
    Presentation show("params");
    ASSERT_TRUE(show.PutPlayer(show.KivoxFolder()));

    RunResult run = show.Run(3);

    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished);
    auto report = show.Report();
    ASSERT_FALSE(report.empty()) << "the player was not called";
    const std::pair<const char *, const char *> fields[] = {
        {"hInstanceIsExe", "1"},      {"hPrevInstance", "0x0"}, {"blockVersion", "1"},
        {"blockSize", "40"},          {"closeSplash", "0x0"},   {"splashThreadId", "0"},
        {"tempFolderPath", "(null)"}, {"playerLocation", "3"},  {"pointerSize", "8"},
        {"msvcrtLoaded", "1"},
    };
    for (const auto &field : fields) {
        EXPECT_EQ(field.second, report[field.first]) << field.first;
    }

    // The raw block at the 64-bit offsets, padding included: the launcher
    // zeroes the whole block before it fills it.
    std::vector<unsigned char> block = BytesFromHex(report["blockBytes"]);
    ASSERT_EQ(40u, block.size()) << report["blockBytes"];
    struct Word {
        const char *field;
        size_t offset;
        size_t width;
        unsigned long long expected;
    };
    const Word words[] = {
        {"blockVersion", 0, 4, 1},    {"blockSize", 4, 4, 40}, {"closeSplash", 8, 8, 0},
        {"splashThreadId", 16, 4, 0}, {"padding", 20, 4, 0},   {"tempFolderPath", 24, 8, 0},
        {"playerLocation", 32, 4, 3}, {"padding", 36, 4, 0},
    };
    for (const Word &word : words) {
        EXPECT_EQ(word.expected, LittleEndianAt(block, word.offset, word.width))
            << word.field << " at " << word.offset;
    }
}

}  // namespace
