// The splash screen's decisions that need no window system: the bitmap's
// file name beside the executable, the colours of its palette, where the
// window goes on the desktop and what the window does with each message.
// Portable: no <windows.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/path_rules.h"

enum {
    SplashPaletteVersion = 0x300,
    SplashPaletteSize = 226,  // a 6 x 6 x 6 colour cube and ten greys
    SplashColourCubeSize = 216
};

// The message ids the splash window and its thread care about.
enum : uint32_t {
    SplashMsgDestroy = 0x0002,
    SplashMsgPaint = 0x000F,
    SplashMsgEraseBackground = 0x0014,
    SplashMsgQueryNewPalette = 0x030F,
    SplashMsgPaletteChanged = 0x0311,
    SplashMsgUser = 0x0400  // the close request, posted to the thread
};

// The window system's "choose for me" position and size.
static const int32_t SplashUseDefault = INT32_MIN;

// Same layout as the platform's palette entry: red, green, blue, flags.
struct SplashPaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t flags;
};

struct SplashRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct SplashPlacement {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// What the splash window does with a message.
enum SplashAction {
    SplashPassOn,          // the default window procedure; its result
    SplashTearDown,        // drop and delete the palette, post WM_QUIT; answer 0
    SplashPaint,           // paint; answer the painting's result
    SplashAnswerZero,      // do nothing; answer 0
    SplashRealizeAndTell,  // realize the palette; answer 1 when it changed, else 0
    SplashRealizeQuietly   // realize the palette; answer 0
};

// Replaces the last extension of path (its last '.' after its last '\') by
// extension, or appends extension when the name has none. Steps over the
// double-byte characters that isLeadByte marks, as the path rules do. A '.'
// or '\' at position 0 counts as absent. False, with path unchanged, when
// the result and its terminator would not fit pathSize bytes.
bool ReplaceExtension(char *path, size_t pathSize, const char *extension, LeadByteTest isLeadByte);
// The same for a wide path; pathSize counts characters.
bool ReplaceExtension(wchar_t *path, size_t pathSize, const wchar_t *extension);

// The palette entry at index (0 to 225): entries 0-215 are the colour cube
// with levels 0, 51, ... 255, red changing slowest and blue fastest; entries
// 216-225 are the greys 17, 34, 68, ... 238 (multiples of 17 that are not
// multiples of 51). Flags are always 0.
SplashPaletteEntry SplashPaletteColour(unsigned index);

// Fills all SplashPaletteSize entries in order.
void FillSplashPalette(SplashPaletteEntry *entries);

// Where the window goes. frame is the bitmap's rectangle (0, 0, width,
// height) already widened by the window border; it is centred on desktop,
// the odd pixel going right and below (division truncates toward zero).
// When the bitmap's size is unknown, the window system picks the position
// and width, and the height is 0.
SplashPlacement PlaceSplashWindow(bool sizeKnown, SplashRect frame, SplashRect desktop);

// The window procedure's choice for message; wParam and window are compared
// only for WM_PALETTECHANGED, where a change the splash made itself is ignored.
SplashAction DecideSplashMessage(uint32_t message, uintptr_t wParam, uintptr_t window);

// True for the close request: WM_USER posted to the thread with no window.
// A WM_USER sent to a window is an ordinary message.
bool IsSplashCloseRequest(uintptr_t window, uint32_t message);
