// The sample player under the real launcher: its first slide on the screen
// (title text and the bitmap at its place), a key moving to the next slide,
// Escape ending the show quietly, the splash closed once the first slide
// shows, and content missing or empty reported as a player that cannot
// start.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "presentation_builder.h"
#include "splash_support.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

typedef std::vector<unsigned char> Bytes;

const SplashBitmap kPicture = {64, 32, 24};

// The show: the sample player and a picture for the run folder, and the
// content (none when content is empty).
bool WriteShow(const Presentation &show, const std::string &content) {
    BuildRequest request;
    request.launcherImage = FileBytes(LauncherExePath());
    request.content.assign(content.begin(), content.end());
    // Name, extension, compressed, packed extension (derived), group, bytes.
    request.entries = {
        {"lumv", "dll", true, "", EntryGroup::TempFolder, FileBytes(SamplePlayerDllPath())},
        {"picture", "bmp", false, "", EntryGroup::TempFolder, SplashBitmapFile(kPicture)}};
    Bytes output;
    std::string error;
    return BuildPresentation(request, &output, &error) && WriteBytesFile(show.exePath(), output);
}

const char kDeck[] = "First slide\nimage: picture.bmp\n---\nSecond slide\nno picture here\n";

HWND WaitForSlideWindow(DWORD processId) {
    for (int i = 0; i < 300; i++) {
        HWND window = FindProcessWindow(processId, [](HWND candidate) {
            wchar_t name[64] = {};
            GetClassNameW(candidate, name, 64);
            return IsWindowVisible(candidate) && wcscmp(name, L"LumivanceSamplePlayer") == 0;
        });
        if (window != nullptr) {
            return window;
        }
        Sleep(100);
    }
    return nullptr;
}

// Where the player puts the picture: centred, a quarter down the screen.
POINT PictureOrigin() {
    POINT origin = {(GetSystemMetrics(SM_CXSCREEN) - kPicture.width) / 2,
                    GetSystemMetrics(SM_CYSCREEN) / 4};
    return origin;
}

// Some pixel of the title band is white: the title was drawn.
bool TitleShown() {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<unsigned> band = ScreenPixels(0, height / 12, width, height / 6);
    for (unsigned pixel : band) {
        if (pixel == 0xFFFFFF) {
            return true;
        }
    }
    return false;
}

TEST(SamplePlayer, ShowsItsSlidesMovesOnAKeyAndEndsOnEscape) {
    Presentation show("sampleplayer");
    ASSERT_TRUE(WriteShow(show, kDeck));
    ASSERT_TRUE(WriteBytesFile(show.exeFolder() + "\\show.bmp", SplashBitmapFile({40, 30, 24})));
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartProgram(show.QuotedExePath(), show.workFolder(), show.Environment(3),
                             StartOptions(), &process));
    HWND window = WaitForSlideWindow(process.dwProcessId);
    ASSERT_NE(window, nullptr) << "no slide window";
    Sleep(500);  // painted
    EXPECT_TRUE(TitleShown());
    EXPECT_TRUE(ScreenShowsBitmap(PictureOrigin(), kPicture));
    EXPECT_EQ(FindSplashWindow(process.dwProcessId), nullptr) << "the splash is still up";

    PostMessageW(window, WM_KEYDOWN, VK_RIGHT, 0);
    Sleep(500);
    EXPECT_TRUE(TitleShown());
    EXPECT_FALSE(ScreenShowsBitmap(PictureOrigin(), kPicture)) << "still the first slide";

    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    DWORD exitCode = 255;
    EXPECT_TRUE(FinishProgram(&process, 30000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(FolderEntries(show.exeFolder()), std::vector<std::string>({"show.bmp", "show.exe"}));
}

TEST(SamplePlayer, WithoutContentTheApplicationCannotStart) {
    for (const char *content : {"", "\n---\n  \n"}) {
        SCOPED_TRACE(std::string("content \"") + content + "\"");
        Presentation show("sampleplayer-empty");
        ASSERT_TRUE(WriteShow(show, content));
        RunResult run = show.Run(3);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1004));
        EXPECT_EQ(FolderEntries(show.exeFolder()), std::vector<std::string>({"show.exe"}));
    }
}

}  // namespace
