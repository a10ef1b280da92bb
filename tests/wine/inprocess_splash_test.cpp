// In-process tests of the splash screen's start: StartSplashScreen comes back
// with the window already up, so that a message box made next lies above it,
// and the window takes the bitmap's size also when the bitmap is top-down.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "splash/splash_screen.h"
#include "splash_support.h"
#include "test_support.h"

namespace {

using lumvtest::ImportHook;
using lumvtest::SplashBitmap;

ImportHook *g_createWindowHook = nullptr;
ImportHook *g_getObjectHook = nullptr;

// The window comes late, as on a busy machine: a start that returned before
// the window existed would find none.
HWND WINAPI LateCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x,
                                int y, int width, int height, HWND parent, HMENU menu,
                                HINSTANCE instance, LPVOID parameter) {
    Sleep(500);
    auto original = reinterpret_cast<decltype(&CreateWindowExA)>(g_createWindowHook->original());
    return original(exStyle, className, title, style, x, y, width, height, parent, menu, instance,
                    parameter);
}

// Describes every bitmap as a top-down one, whose height is negative.
int WINAPI TopDownGetObjectA(HANDLE object, int size, LPVOID buffer) {
    auto original = reinterpret_cast<decltype(&GetObjectA)>(g_getObjectHook->original());
    int result = original(object, size, buffer);
    if (result >= static_cast<int>(sizeof(BITMAP)) && buffer != nullptr) {
        BITMAP *description = static_cast<BITMAP *>(buffer);
        if (description->bmHeight > 0) {
            description->bmHeight = -description->bmHeight;
        }
    }
    return result;
}

// The splash loads the bitmap named after the program: <program>.BMP.
class SplashBesideProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH];
        DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
        ASSERT_TRUE(length > 4 && length < sizeof path);
        bitmapPath_ = std::string(path, length - 4) + ".BMP";
        bitmap_.width = 40;
        bitmap_.height = 30;
        ASSERT_TRUE(lumvtest::WriteBytesFile(bitmapPath_, lumvtest::SplashBitmapFile(bitmap_)));
    }

    void TearDown() override { DeleteFileA(bitmapPath_.c_str()); }

    // Starts the splash and reads its window as StartSplashScreen leaves it,
    // then closes it and waits for its thread to end.
    bool StartAndRead(lumvtest::SplashWindowView *view) {
        uint32_t threadId = StartSplashScreen();
        if (threadId == 0) {
            return false;
        }
        HWND window = lumvtest::FindSplashWindow(GetCurrentProcessId());
        bool read = window != nullptr && lumvtest::ReadSplashWindow(window, view);
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
        EXPECT_NE(CloseSplashScreen(threadId), 0);
        if (thread != nullptr) {
            EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
            CloseHandle(thread);
        }
        return read;
    }

    std::string bitmapPath_;
    SplashBitmap bitmap_;
};

TEST_F(SplashBesideProgram, TheWindowIsUpWhenTheStartReturns) {
    ImportHook hook("CreateWindowExA", reinterpret_cast<void *>(LateCreateWindowExA));
    ASSERT_TRUE(hook.installed());
    g_createWindowHook = &hook;
    lumvtest::SplashWindowView view;
    EXPECT_TRUE(StartAndRead(&view)) << "no splash window when StartSplashScreen returned";
    EXPECT_TRUE(view.visible);
}

TEST_F(SplashBesideProgram, ATopDownBitmapGivesTheWindowItsHeight) {
    ImportHook hook("GetObjectA", reinterpret_cast<void *>(TopDownGetObjectA));
    ASSERT_TRUE(hook.installed());
    g_getObjectHook = &hook;
    lumvtest::SplashWindowView view;
    ASSERT_TRUE(StartAndRead(&view));
    EXPECT_EQ(view.clientRect.right - view.clientRect.left, bitmap_.width);
    EXPECT_EQ(view.clientRect.bottom - view.clientRect.top, bitmap_.height);
}

}  // namespace
