// End-to-end: presentations in folders, and temporary paths, whose names the
// system's ANSI code page cannot spell. The launcher is started by its wide
// name, in its own folder as Explorer starts it; the test reaches the files
// through their short names, which are ANSI.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/ansi_path.h"
#include "presentation_builder.h"
#include "splash_support.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

// Hangul lies outside code page 932 and Japanese outside 1252; the "inside"
// names are not ASCII, but the code page spells them. ソフト表 ends in a
// character whose second byte in code page 932 is 0x5C, the byte of '\'.
std::string Named(const std::string &ascii, char kind) {
    bool japanese = GetACP() == 932;
    return kind == 'a'   ? ascii
           : kind == 'j' ? u8"ソフト表"
           : kind == 'i' ? (japanese ? u8"日本語 " : u8"Café ") + ascii
                         : (japanese ? u8"한국어 폴더 " : u8"日本語フォルダ ") + ascii;
}

// A path's ANSI form counts only when it names the same file: a character
// the code page lacks, also one it would replace by a look-alike (U+0101 by
// 'a'), leaves only the wide form.
TEST(WidePath, AnsiFormOnlyWhenEveryCharacterSurvives) {
    bool japanese = GetACP() == 932;
    const wchar_t *outside = japanese ? L"C:\\\ud55c" : L"C:\\\u65e5\u672c";
    struct Case {
        const wchar_t *path;
        const char *ansi;  // null: no faithful ANSI form
    } cases[] = {
        {L"C:\\Show\\start.exe", "C:\\Show\\start.exe"},
        {japanese ? L"C:\\\u65e5\u672c" : L"C:\\Caf\u00e9",
         japanese ? "C:\\\x93\xfa\x96\x7b" : "C:\\Caf\xe9"},
        {outside, nullptr},
        {L"C:\\\u0101", nullptr},
    };
    for (const Case &c : cases) {
        char ansi[MAX_PATH];
        bool faithful = AnsiFormOfPath(ansi, sizeof ansi, c.path);
        EXPECT_EQ(faithful ? std::string(ansi) : "(none)", c.ansi ? c.ansi : "(none)");
    }
    char small[8];
    EXPECT_FALSE(AnsiFormOfPath(small, sizeof small, L"C:\\Show\\start.exe"));
}

TEST(WidePath, TheLauncherRunsFromAnyFolderAndWithAnyTemporaryPath) {
    ASSERT_EQ(std::to_string(GetACP()), EnvironmentValue("LUMV_EXPECTED_ACP"));
    // Folder name kinds: 'a' ASCII, 'i' inside the code page, 'o' outside it,
    // 'j' ソフト表. The player: 'r' packed for the run folder, 'b' beside the
    // exe, 'k' in Kivox. The executable's name: 表 in 表示 is 95 5C in 932.
    struct Case {
        char exe, temp, player;
        const char *exeName;
    } cases[] = {{'o', 'a', 'r', "show"},   {'o', 'a', 'b', "show"}, {'o', 'a', 'k', "show"},
                 {'a', 'o', 'r', "show"},   {'a', 'i', 'r', "show"}, {'o', 'o', 'r', "show"},
                 {'a', 'a', 'b', u8"表示"}, {'j', 'a', 'b', "show"}, {'j', 'a', 'r', u8"表示"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("exe ") + c.exe + ", temp " + c.temp + ", player " + c.player +
                     ", name " + c.exeName);
        ScratchFolder scratch("wide");
        std::string exeFolder = scratch.path() + "\\" + Named("show", c.exe);
        std::string tempFolder = scratch.path() + "\\" + Named("temp", c.temp);
        CreateDirectoryW(WideFromUtf8(exeFolder).c_str(), nullptr);
        CreateDirectoryW(WideFromUtf8(tempFolder).c_str(), nullptr);
        std::string exeShort = ShortAnsiPath(exeFolder);
        std::string tempShort = ShortAnsiPath(tempFolder);
        ASSERT_FALSE(exeShort.empty() || tempShort.empty()) << "no short names";

        BuildRequest request;
        request.launcherImage = FileBytes(LauncherExePath());
        request.entries.resize(c.player == 'r' ? 2 : 1);
        request.entries[0].name = "readme";
        request.entries[0].outputExtension = "txt";
        request.entries[0].data = SampleBytes(300, 7);
        std::string playerFolder = exeShort + (c.player == 'k' ? "\\Kivox" : "");
        if (c.player == 'r') {
            request.entries[1].name = "lumv";
            request.entries[1].outputExtension = "dll";
            request.entries[1].compressed = true;
            request.entries[1].group = EntryGroup::TempFolder;
            request.entries[1].data = FileBytes(TestPlayerDllPath());
        } else {
            ASSERT_TRUE(MakeFolder(playerFolder));
            ASSERT_TRUE(CopyFileTo(TestPlayerDllPath(), playerFolder + "\\lumv.dll"));
        }
        std::vector<unsigned char> file;
        std::string error;
        ASSERT_TRUE(BuildPresentation(request, &file, &error)) << error;
        ASSERT_TRUE(WriteBytesFile(exeShort + "\\show.exe", file));
        SplashBitmap bitmap;
        bitmap.width = 40;
        bitmap.height = 30;
        ASSERT_TRUE(WriteBytesFile(exeShort + "\\show.BMP", SplashBitmapFile(bitmap)));
        for (const char *extension : {".exe", ".BMP"}) {
            if (std::string(c.exeName) == "show") {
                break;
            }
            ASSERT_TRUE(MoveFileW(WideFromUtf8(exeFolder + "\\show" + extension).c_str(),
                                  WideFromUtf8(exeFolder + "\\" + c.exeName + extension).c_str()));
        }
        // A run folder that a killed run left: the sweep deletes it as well.
        ASSERT_TRUE(MakeFolder(tempShort + "\\TempFolder.aaa\\sub"));
        ASSERT_TRUE(WriteTextFile(tempShort + "\\TempFolder.aaa\\Vantorelle.lok", ""));
        std::vector<std::string> before = FolderEntries(exeShort);

        StartOptions options;
        options.utf8 = true;
        std::string report = scratch.Child("report.txt");
        SplashRun watched = RunWatchingSplash(
            "\"" + exeFolder + "\\" + c.exeName + ".exe\"", exeFolder,
            {"LUMV_TEST_REPORT=" + report, "LUMV_TEST_PAUSE=300", "TMP=" + tempFolder}, options);
        ASSERT_TRUE(watched.run.finished);
        EXPECT_EQ(watched.run.exitCode, 0u);
        EXPECT_TRUE(watched.run.boxes.empty()) << Utf8(watched.run.boxes[0].text);
        EXPECT_TRUE(watched.seen) << "no splash";
        auto got = ReadReport(report);
        ASSERT_FALSE(got.empty()) << "the player was not called";

        // The entry beside the executable was there while the player ran, and
        // the searches put the current directory back by its wide name.
        EXPECT_NE(got["exeFolderFilesWide"].find("readme.txt"), std::string::npos);
        EXPECT_EQ(got["currentDirectoryWide"], exeFolder);
        if (c.player == 'r') {
            // The run folder's path as the player gets it: the ANSI path when
            // the code page spells it, else the short form; either lists it.
            char ansi[MAX_PATH * 2];
            WideCharToMultiByte(CP_ACP, 0, WideFromUtf8(tempFolder).c_str(), -1, ansi, sizeof ansi,
                                nullptr, nullptr);
            if (c.temp == 'o') {
                EXPECT_EQ(got["tempFolderPath"].rfind(tempShort + "\\", 0), 0u);
            } else {
                EXPECT_EQ(got["tempFolderPath"], std::string(ansi) + "\\TempFolder.aab\\");
            }
            EXPECT_EQ(got["playerLocation"], "2");
            std::string files = got["tempFolderFiles"];
            EXPECT_TRUE(files == "Vantorelle.lok|lumv.dll" || files == "lumv.dll|Vantorelle.lok")
                << files;
        } else {
            EXPECT_EQ(got["tempFolderPath"], "(null)");
            EXPECT_EQ(got["playerLocation"], c.player == 'k' ? "3" : "1");
            EXPECT_EQ(got["modulePathWide"],
                      exeFolder + (c.player == 'k' ? "\\Kivox" : "") + "\\lumv.dll");
        }
        // Nothing is left behind, beside the executable or in the temporary path.
        EXPECT_EQ(FolderEntries(exeShort), before);
        EXPECT_TRUE(FolderEntries(tempShort).empty());
        DeleteTree(exeShort);
        DeleteTree(tempShort);
    }
}

}  // namespace
