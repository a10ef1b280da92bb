// End-to-end: presentations in folders, and temporary paths, whose names the
// system's ANSI code page cannot spell. The launcher is started by its wide
// name (as Explorer starts it, in its own folder); the test looks at the
// files through their short names, which are ANSI.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/ansi_path.h"
#include "presentation_builder.h"
#include "splash_support.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

typedef std::vector<unsigned char> Bytes;

// Hangul lies outside code page 932, Japanese outside 1252. The names
// "inside" are not ASCII but the code page spells them.
std::string OutsideName() {
    return GetACP() == 932 ? u8"한국어 폴더" : u8"日本語フォルダ";
}
std::string InsideName() {
    return GetACP() == 932 ? u8"日本語" : u8"Café";
}

std::string AnsiFromUtf8(const std::string &utf8) {
    std::wstring wide = WideFromUtf8(utf8);
    char ansi[MAX_PATH * 2];
    int length =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    return length > 0 ? std::string(ansi) : std::string();
}

std::vector<std::string> Split(const std::string &list) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= list.size() && !list.empty()) {
        size_t end = list.find('|', start);
        items.push_back(list.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? list.size() + 1 : end + 1;
    }
    std::sort(items.begin(), items.end());
    return items;
}

bool Contains(const std::vector<std::string> &items, const std::string &item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

enum class Name { Ascii, Inside, Outside };
enum class Player { RunFolder, BesideExe, Kivox };

// A folder under base named by kind; its UTF-8 path, created.
std::string MakeNamedFolder(const std::string &base, const std::string &ascii, Name kind) {
    std::string path = base + "\\" +
                       (kind == Name::Ascii    ? ascii
                        : kind == Name::Inside ? InsideName() + " " + ascii
                                               : OutsideName() + " " + ascii);
    CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr);
    return path;
}

// A run folder as a killed run leaves it: a file in a subfolder and a lock
// file nobody holds.
void MakeLeftover(const std::string &folder) {
    ASSERT_TRUE(MakeFolder(folder + "\\sub"));
    ASSERT_TRUE(WriteTextFile(folder + "\\sub\\old.txt", "old"));
    ASSERT_TRUE(WriteTextFile(folder + "\\Vantorelle.lok", ""));
}

// A path's ANSI form counts only when it names the same file: a character
// the code page lacks, also one it would replace by a look-alike (U+0101 by
// 'a'), leaves only the wide form.
TEST(WidePath, AnsiFormOnlyWhenEveryCharacterSurvives) {
    struct Case {
        const wchar_t *path;
        const char *ansi;  // null: no faithful ANSI form
    };
    const Case western[] = {
        {L"C:\\Show\\start.exe", "C:\\Show\\start.exe"},
        {L"C:\\Caf\u00e9", "C:\\Caf\xe9"},
        {L"C:\\\u65e5\u672c", nullptr},
        {L"C:\\\u0101", nullptr},
    };
    const Case japanese[] = {
        {L"C:\\Show\\start.exe", "C:\\Show\\start.exe"},
        {L"C:\\\u65e5\u672c", "C:\\\x93\xfa\x96\x7b"},
        {L"C:\\\ud55c", nullptr},
        {L"C:\\\u0101", nullptr},
    };
    for (const Case &c : GetACP() == 932 ? japanese : western) {
        char ansi[MAX_PATH];
        bool faithful = AnsiFormOfPath(ansi, sizeof ansi, c.path);
        EXPECT_EQ(faithful, c.ansi != nullptr) << Utf8(c.path);
        if (faithful && c.ansi != nullptr) {
            EXPECT_STREQ(ansi, c.ansi);
        }
    }
    char small[8];
    EXPECT_FALSE(AnsiFormOfPath(small, sizeof small, L"C:\\Show\\start.exe"));
}

TEST(WidePath, TheLauncherRunsFromAnyFolderAndWithAnyTemporaryPath) {
    std::string expectedAcp = EnvironmentValue("LUMV_EXPECTED_ACP");
    ASSERT_EQ(std::to_string(GetACP()), expectedAcp) << "the system code page of this run";
    struct Case {
        const char *label;
        Name exe;
        Name temp;
        Player player;
    } cases[] = {
        {"outside exe, player in the run folder", Name::Outside, Name::Ascii, Player::RunFolder},
        {"outside exe, player beside it", Name::Outside, Name::Ascii, Player::BesideExe},
        {"outside exe, player in Kivox", Name::Outside, Name::Ascii, Player::Kivox},
        {"outside temporary path", Name::Ascii, Name::Outside, Player::RunFolder},
        {"inside temporary path", Name::Ascii, Name::Inside, Player::RunFolder},
        {"outside both", Name::Outside, Name::Outside, Player::RunFolder},
    };
    const Bytes readme = SampleBytes(300, 7);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ScratchFolder scratch("wide");
        std::string exeFolder = MakeNamedFolder(scratch.path(), "show", c.exe);
        std::string tempFolder = MakeNamedFolder(scratch.path(), "temp", c.temp);
        std::string exeShort = ShortAnsiPath(exeFolder);
        std::string tempShort = ShortAnsiPath(tempFolder);
        ASSERT_FALSE(exeShort.empty() || tempShort.empty()) << "no short names";
        std::string report = scratch.Child("report.txt");

        BuildRequest request;
        request.launcherImage = FileBytes(LauncherExePath());
        BuildEntry text;
        text.name = "readme";
        text.outputExtension = "txt";
        text.data = readme;
        request.entries.push_back(text);
        const Bytes player = FileBytes(TestPlayerDllPath());
        std::string playerFolder = exeShort;
        if (c.player == Player::RunFolder) {
            BuildEntry packed;
            packed.name = "lumv";
            packed.outputExtension = "dll";
            packed.compressed = true;
            packed.group = EntryGroup::TempFolder;
            packed.data = player;
            request.entries.push_back(packed);
        } else {
            playerFolder += c.player == Player::Kivox ? "\\Kivox" : "";
            ASSERT_TRUE(MakeFolder(playerFolder));
            ASSERT_TRUE(WriteBytesFile(playerFolder + "\\lumv.dll", player));
        }
        Bytes file;
        std::string error;
        ASSERT_TRUE(BuildPresentation(request, &file, &error)) << error;
        ASSERT_TRUE(WriteBytesFile(exeShort + "\\show.exe", file));
        // The splash bitmap beside the executable is found by its name as well.
        SplashBitmap bitmap;
        bitmap.width = 40;
        bitmap.height = 30;
        ASSERT_TRUE(WriteBytesFile(exeShort + "\\show.BMP", SplashBitmapFile(bitmap)));
        if (c.temp == Name::Outside) {
            MakeLeftover(tempShort + "\\TempFolder.aaa");
        }
        std::vector<std::string> before = FolderEntries(exeShort);

        StartOptions options;
        options.utf8 = true;
        SplashRun watched = RunWatchingSplash("\"" + exeFolder + "\\show.exe\"", exeFolder,
                                              {"LUMV_TEST_REPORT=" + report, "LUMV_TEST_RESULT=3",
                                               "LUMV_TEST_PAUSE=300", "TMP=" + tempFolder},
                                              options);
        const RunResult &run = watched.run;
        EXPECT_TRUE(watched.seen) << "no splash";
        ASSERT_TRUE(run.started && run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.boxes.empty()) << "a message box: " << Utf8(run.boxes[0].text);
        auto got = ReadReport(report);
        ASSERT_FALSE(got.empty()) << "the player was not called";

        // The entry beside the executable was there while the player ran.
        EXPECT_TRUE(Contains(Split(got["exeFolderFilesWide"]), "readme.txt"))
            << got["exeFolderFilesWide"];
        // The searches put the current directory back by its wide name.
        EXPECT_EQ(got["currentDirectoryWide"], exeFolder);
        if (c.player == Player::RunFolder) {
            EXPECT_EQ(got["playerLocation"], "2");
            std::string runFolder = got["tempFolderPath"];
            // The player reads the run folder through the ANSI path it got:
            // the long one when the code page spells it, else the short one.
            if (c.temp == Name::Outside) {
                EXPECT_EQ(runFolder.rfind(tempShort + "\\", 0), 0u) << runFolder;
            } else {
                EXPECT_EQ(runFolder, AnsiFromUtf8(tempFolder) + "\\TempFolder.aaa\\");
            }
            EXPECT_EQ(Split(got["tempFolderFiles"]),
                      (std::vector<std::string>{"Vantorelle.lok", "lumv.dll"}));
        } else {
            EXPECT_EQ(got["playerLocation"], c.player == Player::Kivox ? "3" : "1");
            EXPECT_EQ(got["tempFolderPath"], "(null)");
            EXPECT_EQ(got["modulePathWide"],
                      exeFolder + (c.player == Player::Kivox ? "\\Kivox" : "") + "\\lumv.dll");
        }
        // Nothing left behind: the entry beside the executable and every run
        // folder (this run's and the leftover) are gone.
        before.erase(std::remove(before.begin(), before.end(), "readme.txt"), before.end());
        EXPECT_EQ(FolderEntries(exeShort), before);
        EXPECT_TRUE(FolderEntries(tempShort).empty());
        DeleteTree(exeShort);
        DeleteTree(tempShort);
    }
}

}  // namespace
