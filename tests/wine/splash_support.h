// The Windows test programs' view of the launcher's splash screen: bitmap
// files to put beside a presentation, finding the splash window of a process
// and reading its geometry and styles, reading the screen back, and a run that
// watches when the splash is up.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace lumvtest {

// A bitmap file of bitsPerPixel 24 (true colour) or 8 (a 256-colour palette),
// bottom-up, with rows padded to 4 bytes. Every pixel's colour depends on its
// position, so a picture shifted or flipped on screen does not match.
struct SplashBitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
};

std::vector<unsigned char> SplashBitmapFile(const SplashBitmap &bitmap);
// The colour of pixel (x, y), counted from the top left, as 0xRRGGBB.
unsigned SplashBitmapPixel(const SplashBitmap &bitmap, int x, int y);

// The visible window of class "SplashScreenWindowClass" titled "Vantorelle
// Splash Screen" that belongs to processId; null when there is none.
HWND FindSplashWindow(DWORD processId);

struct SplashWindowView {
    HWND window = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
    LONG style = 0;
    LONG exStyle = 0;
    RECT windowRect = {};     // screen coordinates
    RECT clientRect = {};     // client coordinates
    POINT clientOrigin = {};  // the client area's top left on the screen
    bool visible = false;
};

bool ReadSplashWindow(HWND window, SplashWindowView *view);

// The screen's pixels in the rectangle (left, top, width, height) as
// 0xRRGGBB, row by row from the top; empty when the screen cannot be read.
std::vector<unsigned> ScreenPixels(int left, int top, int width, int height);

// The screen at origin shows bitmap pixel for pixel.
::testing::AssertionResult ScreenShowsBitmap(POINT origin, const SplashBitmap &bitmap);

// A run of a program whose splash is watched from outside every few
// milliseconds until the program ends; message boxes are answered as in
// RunProgramWith.
struct SplashRun {
    RunResult run;
    DWORD processId = 0;
    DWORD mainThreadId = 0;
    bool seen = false;
    DWORD firstSeenTick = 0;
    DWORD lastSeenTick = 0;
    DWORD endTick = 0;  // when the end of the process was seen
    SplashWindowView firstView;
};

SplashRun RunWatchingSplash(const std::string &commandLine, const std::string &workingFolder,
                            const std::vector<std::string> &extraEnvironment,
                            const StartOptions &options = StartOptions(), DWORD timeoutMs = 60000);

}  // namespace lumvtest
