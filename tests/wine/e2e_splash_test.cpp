// End-to-end: the splash bitmap beside a presentation, shown by the real
// launcher on a thread of its own, read back from the screen, and closed by
// the player through the callback it was handed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "splash_support.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

const DWORD WaitForSplashMs = 20000;

std::string BitmapPathOf(const Presentation &show) {
    return show.exeFolder() + "\\show.BMP";
}

std::string Describe(const SplashBitmap &bitmap) {
    return std::to_string(bitmap.bitsPerPixel) + "-bit " + std::to_string(bitmap.width) + "x" +
           std::to_string(bitmap.height);
}

std::vector<std::string> WithSwitches(const Presentation &show,
                                      const std::vector<std::string> &switches) {
    std::vector<std::string> environment = show.Environment(3);
    environment.insert(environment.end(), switches.begin(), switches.end());
    return environment;
}

// Waits for the splash of processId while the process lives; null when none came.
HWND AwaitSplash(HANDLE process, DWORD processId) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < WaitForSplashMs) {
        HWND splash = FindSplashWindow(processId);
        if (splash != nullptr && IsWindowVisible(splash)) {
            return splash;
        }
        if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
            return nullptr;
        }
    }
    return nullptr;
}

// The window a thin border bigger than the bitmap, centred on the desktop
// window: an odd difference leaves the extra pixel to the right and below.
void ExpectPlacement(const SplashWindowView &view, const SplashBitmap &bitmap) {
    EXPECT_EQ(0, view.clientRect.left);
    EXPECT_EQ(0, view.clientRect.top);
    EXPECT_EQ(bitmap.width, view.clientRect.right) << "client width";
    EXPECT_EQ(bitmap.height, view.clientRect.bottom) << "client height";
    RECT frame = {0, 0, bitmap.width, bitmap.height};
    ASSERT_TRUE(AdjustWindowRectEx(&frame, WS_POPUP | WS_DISABLED | WS_BORDER, FALSE,
                                   WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    ASSERT_EQ(bitmap.width + 2, width) << "a border of one pixel";
    RECT desktop;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desktop));
    EXPECT_EQ(width, view.windowRect.right - view.windowRect.left);
    EXPECT_EQ(height, view.windowRect.bottom - view.windowRect.top);
    int spareX = desktop.right - desktop.left - width;
    int spareY = desktop.bottom - desktop.top - height;
    EXPECT_EQ(desktop.left + spareX / 2, view.windowRect.left);
    EXPECT_EQ(desktop.top + spareY / 2, view.windowRect.top);
    EXPECT_EQ(spareX % 2,
              (desktop.right - view.windowRect.right) - (view.windowRect.left - desktop.left))
        << "the extra pixel goes to the right";
    EXPECT_EQ(spareY % 2,
              (desktop.bottom - view.windowRect.bottom) - (view.windowRect.top - desktop.top))
        << "the extra pixel goes below";
}

TEST(SplashScreen, ShowsTheBitmapCentredOnAThreadOfItsOwn) {
    const SplashBitmap bitmaps[] = {
        {161, 97, 24},  // odd sizes: padded rows, an extra pixel right and below
        {200, 120, 8},  // a 256-colour palette, even sizes
        {75, 34, 8},
        {64, 49, 24},
    };
    for (const SplashBitmap &bitmap : bitmaps) {
        SCOPED_TRACE(Describe(bitmap));
        Presentation show("splash");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        ASSERT_TRUE(WriteBytesFile(BitmapPathOf(show), SplashBitmapFile(bitmap)));
        PROCESS_INFORMATION process;
        ASSERT_TRUE(StartProgram(show.QuotedExePath(), show.workFolder(),
                                 WithSwitches(show, {"LUMV_TEST_PAUSE=3000"}), StartOptions(),
                                 &process));

        HWND splash = AwaitSplash(process.hProcess, process.dwProcessId);
        SplashWindowView view;
        bool read = splash != nullptr && ReadSplashWindow(splash, &view);
        // The screen, read again until the window has been painted.
        ::testing::AssertionResult onScreen = ::testing::AssertionFailure() << "no splash";
        for (int attempt = 0; read && attempt < 30 && !onScreen; attempt++) {
            Sleep(100);
            onScreen = ScreenShowsBitmap(view.clientOrigin, bitmap);
        }
        DWORD exitCode = 255;
        bool ended = FinishProgram(&process, 60000, &exitCode);

        ASSERT_TRUE(read) << "no splash window while the player ran";
        EXPECT_TRUE(ended);
        EXPECT_EQ(0u, exitCode);
        EXPECT_TRUE(view.visible);
        EXPECT_EQ(process.dwProcessId, view.processId);
        EXPECT_NE(process.dwThreadId, view.threadId) << "the splash runs on the main thread";
        // Windows adds WS_VISIBLE once shown and WS_CLIPSIBLINGS to every
        // top-level window; everything else is the launcher's choice.
        EXPECT_EQ(0x88800000u, static_cast<DWORD>(view.style) & ~(WS_VISIBLE | WS_CLIPSIBLINGS))
            << std::hex << view.style;
        EXPECT_EQ(0x00000088u, static_cast<DWORD>(view.exStyle)) << std::hex << view.exStyle;
        ExpectPlacement(view, bitmap);
        EXPECT_TRUE(onScreen);
        auto report = show.Report();
        ASSERT_FALSE(report.empty()) << "the player was not called";
        EXPECT_EQ(std::to_string(view.threadId), report["splashThreadId"]);
        EXPECT_NE("0x0", report["closeSplash"]);
        EXPECT_EQ("3000", report["pausedMs"]);
    }
}

TEST(SplashScreen, GoesWithinASecondWhenThePlayerClosesIt) {
    struct Case {
        const char *name;
        const char *delayMs;
        bool expectSeen;
    };
    const Case cases[] = {
        {"at once", "0", false},  // the request must reach the splash thread's queue
        {"after a delay", "1500", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("splashclose");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        ASSERT_TRUE(WriteBytesFile(BitmapPathOf(show), SplashBitmapFile({90, 60, 24})));

        SplashRun watched = RunWatchingSplash(
            show.QuotedExePath(), show.workFolder(),
            WithSwitches(show, {std::string("LUMV_TEST_CLOSE_SPLASH=") + c.delayMs,
                                "LUMV_TEST_PAUSE=2500"}));

        ASSERT_TRUE(watched.run.started);
        ASSERT_TRUE(watched.run.finished);
        EXPECT_EQ(0u, watched.run.exitCode);
        EXPECT_TRUE(watched.run.boxes.empty());
        auto report = show.Report();
        ASSERT_EQ(1u, report.count("closeSplashResult")) << "the player did not close the splash";
        EXPECT_NE("0", report["closeSplashResult"]);
        EXPECT_NE("0", report["splashThreadId"]);
        // The second request may find the thread gone; the run goes on regardless.
        EXPECT_EQ(1u, report.count("closeSplashSecondResult"));
        EXPECT_EQ("2500", report["pausedMs"]);
        EXPECT_EQ("3", report["result"]);
        if (c.expectSeen) {
            EXPECT_TRUE(watched.seen) << "the splash never showed before it was closed";
        }
        DWORD closeTick = static_cast<DWORD>(std::stoul(report["closeSplashTick"]));
        ASSERT_GT(watched.endTick - closeTick, 1500u) << "the player did not pause after closing";
        if (watched.seen) {
            EXPECT_LT(static_cast<int>(watched.lastSeenTick - closeTick), 1000)
                << "the splash was still up long after the close request";
            EXPECT_NE(watched.mainThreadId, watched.firstView.threadId);
        }
    }
}

TEST(SplashScreen, NoBitmapNoSplash) {
    struct Case {
        const char *name;
        bool writeFile;
        std::vector<unsigned char> bytes;
    };
    std::string text = "not a bitmap, only its name\r\n";
    const Case cases[] = {
        {"no file", false, {}},
        {"a text file", true, std::vector<unsigned char>(text.begin(), text.end())},
        {"an empty file", true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("nosplash");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        if (c.writeFile) {
            ASSERT_TRUE(WriteBytesFile(BitmapPathOf(show), c.bytes));
        }

        SplashRun watched = RunWatchingSplash(
            show.QuotedExePath(), show.workFolder(),
            WithSwitches(show, {"LUMV_TEST_CLOSE_SPLASH=0", "LUMV_TEST_PAUSE=1500"}));

        ASSERT_TRUE(watched.run.started);
        ASSERT_TRUE(watched.run.finished);
        EXPECT_EQ(0u, watched.run.exitCode);
        EXPECT_TRUE(watched.run.boxes.empty()) << "no message about a missing splash";
        EXPECT_FALSE(watched.seen);
        auto report = show.Report();
        ASSERT_FALSE(report.empty()) << "the player was not called";
        EXPECT_EQ("0", report["splashThreadId"]);
        EXPECT_EQ("0x0", report["closeSplash"]);
        EXPECT_EQ("(no callback)", report["closeSplashResult"]);
        EXPECT_EQ("3", report["result"]);
    }
}

// No player: the download offer comes up while the splash stays, since
// nobody closes it; both are on screen together until Cancel ends the run.
TEST(SplashScreen, AFailedLaunchLeavesTheSplashUpBesideItsMessageBox) {
    Presentation show("splashfail");
    ASSERT_TRUE(WriteBytesFile(BitmapPathOf(show), SplashBitmapFile({120, 80, 8})));
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartProgram(show.QuotedExePath(), show.workFolder(), show.Environment(3),
                             StartOptions(), &process));

    HWND box = nullptr;
    HWND splash = nullptr;
    DWORD start = GetTickCount();
    while (box == nullptr && GetTickCount() - start < WaitForSplashMs &&
           WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        box = FindMessageBox(process.dwProcessId);
    }
    std::vector<MessageBoxView> boxes(box != nullptr ? 1 : 0);
    if (box != nullptr) {
        ReadMessageBox(box, &boxes.front());
        splash = FindSplashWindow(process.dwProcessId);
    }
    SplashWindowView view;
    bool read = splash != nullptr && ReadSplashWindow(splash, &view);
    if (box != nullptr) {
        PressMessageBoxButton(box, IDCANCEL);
    }
    DWORD exitCode = 255;
    bool ended = FinishProgram(&process, 30000, &exitCode);

    ASSERT_NE(nullptr, box) << "no message box";
    EXPECT_TRUE(IsLaunchErrorBox(boxes, 1003));
    ASSERT_TRUE(read) << "the splash was gone when the message box came up";
    EXPECT_TRUE(view.visible);
    EXPECT_TRUE(ended) << "Cancel did not end the launch";
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(FileExists(show.reportPath())) << "a player was called";
}

}  // namespace
