// The splash screen's bitmap name, palette, placement and message decisions.
#include "splash_rules.h"

#include "common/path_rules.h"

template <typename Char>
static bool ReplaceExtensionOf(Char *path, size_t pathSize, const Char *extension,
                               LeadByteTest isLeadByte) {
    size_t lastSeparator = 0;
    size_t lastDot = 0;
    size_t length = 0;
    for (; path[length] != 0; length += CharacterSize(path + length, isLeadByte)) {
        if (path[length] == '\\') {
            lastSeparator = length;
        } else if (path[length] == '.') {
            lastDot = length;
        }
    }
    size_t at = lastDot > lastSeparator ? lastDot : length;
    size_t extensionLength = TextLength(extension);
    if (at + extensionLength + 1 > pathSize) {
        return false;
    }
    for (size_t i = 0; i <= extensionLength; i++) {
        path[at + i] = extension[i];
    }
    return true;
}

bool ReplaceExtension(char *path, size_t pathSize, const char *extension, LeadByteTest isLeadByte) {
    return ReplaceExtensionOf(path, pathSize, extension, isLeadByte);
}

bool ReplaceExtension(wchar_t *path, size_t pathSize, const wchar_t *extension) {
    return ReplaceExtensionOf(path, pathSize, extension, nullptr);
}

SplashPaletteEntry SplashPaletteColour(unsigned index) {
    SplashPaletteEntry entry = {0, 0, 0, 0};
    if (index < SplashColourCubeSize) {
        entry.red = static_cast<uint8_t>(51 * (index / 36));
        entry.green = static_cast<uint8_t>(51 * (index / 6 % 6));
        entry.blue = static_cast<uint8_t>(51 * (index % 6));
        return entry;
    }
    if (index >= SplashPaletteSize) {
        return entry;
    }
    // Greys: the n-th multiple of 17 that 51 does not divide, two of every three.
    unsigned grey = index - SplashColourCubeSize;
    unsigned multiple = grey / 2 * 3 + grey % 2 + 1;
    uint8_t level = static_cast<uint8_t>(17 * multiple);
    entry.red = level;
    entry.green = level;
    entry.blue = level;
    return entry;
}

void FillSplashPalette(SplashPaletteEntry *entries) {
    for (unsigned i = 0; i < SplashPaletteSize; i++) {
        entries[i] = SplashPaletteColour(i);
    }
}

// (low + high - size) / 2, truncated toward zero, without overflowing.
static int32_t CentreOn(int32_t low, int32_t high, int32_t size) {
    int64_t twice = static_cast<int64_t>(low) + high - size;
    return static_cast<int32_t>(twice / 2);
}

SplashPlacement PlaceSplashWindow(bool sizeKnown, SplashRect frame, SplashRect desktop) {
    // Field by field, so that no initializer table lands in writable data.
    SplashPlacement placement;
    placement.x = SplashUseDefault;
    placement.y = 0;
    placement.width = SplashUseDefault;
    placement.height = 0;
    if (!sizeKnown) {
        return placement;
    }
    placement.width = frame.right - frame.left;
    placement.height = frame.bottom - frame.top;
    placement.x = CentreOn(desktop.left, desktop.right, placement.width);
    placement.y = CentreOn(desktop.top, desktop.bottom, placement.height);
    return placement;
}

SplashAction DecideSplashMessage(uint32_t message, uintptr_t wParam, uintptr_t window) {
    switch (message) {
    case SplashMsgDestroy:
        return SplashTearDown;
    case SplashMsgPaint:
        return SplashPaint;
    case SplashMsgEraseBackground:
        return SplashAnswerZero;
    case SplashMsgQueryNewPalette:
        return SplashRealizeAndTell;
    case SplashMsgPaletteChanged:
        return wParam == window ? SplashAnswerZero : SplashRealizeQuietly;
    default:
        return SplashPassOn;
    }
}

bool IsSplashCloseRequest(uintptr_t window, uint32_t message) {
    return window == 0 && message == SplashMsgUser;
}
