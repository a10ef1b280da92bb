// Splash bitmaps, the splash window of a process, and the screen read back.
#include "splash_support.h"

#include <cstring>

namespace lumvtest {

namespace {

const char *const SplashClass = "SplashScreenWindowClass";
const char *const SplashTitle = "Vantorelle Splash Screen";
const DWORD WatchPollMs = 20;

void PutLittleEndian(std::vector<unsigned char> *bytes, size_t offset, unsigned value,
                     size_t width) {
    for (size_t i = 0; i < width; i++) {
        (*bytes)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// The 8-bit bitmap's colour table: no two entries alike, none grey.
unsigned PaletteColour(unsigned index) {
    unsigned red = (index * 37u + 11u) & 0xFF;
    unsigned green = 255u - index;
    unsigned blue = (index * 101u + 60u) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}

unsigned PaletteIndex(int x, int y) {
    return static_cast<unsigned>(x + 3 * y) & 0xFF;
}

size_t RowBytes(const SplashBitmap &bitmap) {
    return (static_cast<size_t>(bitmap.width) * bitmap.bitsPerPixel / 8 + 3) & ~size_t(3);
}

}  // namespace

unsigned SplashBitmapPixel(const SplashBitmap &bitmap, int x, int y) {
    if (bitmap.bitsPerPixel == 8) {
        return PaletteColour(PaletteIndex(x, y));
    }
    unsigned red = static_cast<unsigned>(x * 5 + 3) & 0xFF;
    unsigned green = static_cast<unsigned>(y * 7 + 19) & 0xFF;
    unsigned blue = static_cast<unsigned>((x + y) * 3) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}

std::vector<unsigned char> SplashBitmapFile(const SplashBitmap &bitmap) {
    const size_t fileHeader = 14;
    const size_t infoHeader = 40;
    size_t tableBytes = bitmap.bitsPerPixel == 8 ? 256 * 4 : 0;
    size_t pixelsAt = fileHeader + infoHeader + tableBytes;
    size_t rowBytes = RowBytes(bitmap);
    std::vector<unsigned char> file(pixelsAt + rowBytes * bitmap.height, 0);
    file[0] = 'B';
    file[1] = 'M';
    PutLittleEndian(&file, 2, static_cast<unsigned>(file.size()), 4);
    PutLittleEndian(&file, 10, static_cast<unsigned>(pixelsAt), 4);
    PutLittleEndian(&file, 14, static_cast<unsigned>(infoHeader), 4);
    PutLittleEndian(&file, 18, static_cast<unsigned>(bitmap.width), 4);
    PutLittleEndian(&file, 22, static_cast<unsigned>(bitmap.height), 4);  // bottom-up
    PutLittleEndian(&file, 26, 1, 2);
    PutLittleEndian(&file, 28, static_cast<unsigned>(bitmap.bitsPerPixel), 2);
    PutLittleEndian(&file, 34, static_cast<unsigned>(rowBytes * bitmap.height), 4);
    if (bitmap.bitsPerPixel == 8) {
        PutLittleEndian(&file, 46, 256, 4);
        for (unsigned i = 0; i < 256; i++) {
            PutLittleEndian(&file, fileHeader + infoHeader + 4 * i, PaletteColour(i), 4);
        }
    }
    for (int y = 0; y < bitmap.height; y++) {
        size_t row = pixelsAt + rowBytes * static_cast<size_t>(bitmap.height - 1 - y);
        for (int x = 0; x < bitmap.width; x++) {
            if (bitmap.bitsPerPixel == 8) {
                file[row + x] = static_cast<unsigned char>(PaletteIndex(x, y));
                continue;
            }
            PutLittleEndian(&file, row + 3 * static_cast<size_t>(x),
                            SplashBitmapPixel(bitmap, x, y), 3);  // blue, green, red
        }
    }
    return file;
}

HWND FindSplashWindow(DWORD processId) {
    return FindProcessWindow(processId, [](HWND window) {
        char name[64] = {};
        char title[64] = {};
        GetClassNameA(window, name, sizeof name);
        GetWindowTextA(window, title, sizeof title);  // a plain read: the title is cached
        return strcmp(name, SplashClass) == 0 && strcmp(title, SplashTitle) == 0;
    });
}

bool ReadSplashWindow(HWND window, SplashWindowView *view) {
    *view = SplashWindowView();
    view->window = window;
    view->threadId = GetWindowThreadProcessId(window, &view->processId);
    view->style = GetWindowLongA(window, GWL_STYLE);
    view->exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    view->visible = IsWindowVisible(window) != FALSE;
    if (!GetWindowRect(window, &view->windowRect) || !GetClientRect(window, &view->clientRect) ||
        !ClientToScreen(window, &view->clientOrigin)) {
        return false;
    }
    return IsWindow(window) != FALSE;
}

std::vector<unsigned> ScreenPixels(int left, int top, int width, int height) {
    std::vector<unsigned> pixels;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return pixels;
    }
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory != nullptr && section != nullptr) {
        HGDIOBJ previous = SelectObject(memory, section);
        if (BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY)) {
            GdiFlush();
            const unsigned *words = static_cast<const unsigned *>(bits);
            pixels.assign(words, words + static_cast<size_t>(width) * height);
            for (unsigned &pixel : pixels) {
                pixel &= 0xFFFFFF;
            }
        }
        SelectObject(memory, previous);
    }
    if (section != nullptr) {
        DeleteObject(section);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return pixels;
}

::testing::AssertionResult ScreenShowsBitmap(POINT origin, const SplashBitmap &bitmap) {
    std::vector<unsigned> pixels = ScreenPixels(origin.x, origin.y, bitmap.width, bitmap.height);
    if (pixels.empty()) {
        return ::testing::AssertionFailure() << "the screen cannot be read";
    }
    size_t wrong = 0;
    int firstX = -1;
    int firstY = -1;
    for (int y = 0; y < bitmap.height; y++) {
        for (int x = 0; x < bitmap.width; x++) {
            unsigned expected = SplashBitmapPixel(bitmap, x, y);
            if (pixels[static_cast<size_t>(y) * bitmap.width + x] == expected) {
                continue;
            }
            if (wrong++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    if (wrong == 0) {
        return ::testing::AssertionSuccess();
    }
    char detail[160];
    snprintf(detail, sizeof detail, "%zu of %d pixels differ; first at (%d, %d): %06x, not %06x",
             wrong, bitmap.width * bitmap.height, firstX, firstY,
             pixels[static_cast<size_t>(firstY) * bitmap.width + firstX],
             SplashBitmapPixel(bitmap, firstX, firstY));
    return ::testing::AssertionFailure() << detail;
}

SplashRun RunWatchingSplash(const std::string &commandLine, const std::string &workingFolder,
                            const std::vector<std::string> &extraEnvironment,
                            const StartOptions &options, DWORD timeoutMs) {
    SplashRun result;
    PROCESS_INFORMATION process;
    if (!StartProgram(commandLine, workingFolder, extraEnvironment, options, &process)) {
        return result;
    }
    result.run.started = true;
    result.processId = process.dwProcessId;
    result.mainThreadId = process.dwThreadId;
    std::vector<HWND> answered;
    DWORD start = GetTickCount();
    while (!result.run.finished && GetTickCount() - start < timeoutMs) {
        result.run.finished = WaitForSingleObject(process.hProcess, WatchPollMs) == WAIT_OBJECT_0;
        if (result.run.finished) {
            result.endTick = GetTickCount();
            break;
        }
        HWND splash = FindSplashWindow(process.dwProcessId);
        if (splash != nullptr && IsWindowVisible(splash)) {
            DWORD now = GetTickCount();
            if (!result.seen) {
                result.seen = true;
                result.firstSeenTick = now;
                ReadSplashWindow(splash, &result.firstView);
            }
            result.lastSeenTick = now;
        }
        HWND box = FindMessageBox(process.dwProcessId, answered);
        if (box != nullptr) {
            MessageBoxView view;
            ReadMessageBox(box, &view);
            result.run.boxes.push_back(view);
            answered.push_back(box);
            PressMessageBoxButton(box, options.boxAnswer);
        }
    }
    if (!result.run.finished) {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &result.run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

}  // namespace lumvtest
