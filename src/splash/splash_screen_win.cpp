// The splash screen's thread, window, palette and painting.
#include "splash_screen.h"

#include <windows.h>

#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "splash_rules.h"

static const char SplashClassName[] = "SplashScreenWindowClass";
static const char SplashTitle[] = "Vantorelle Splash Screen";
static const wchar_t SplashExtension[] = L".BMP";

enum {
    SplashStackSize = 0x20000,
    SplashWindowExtraBytes = 8,
    SplashBitmapSlot = 0,   // extra window memory: the bitmap (not owned)
    SplashPaletteSlot = 4,  // extra window memory: the palette (owned), 0 until needed
    SplashStyle = WS_POPUP | WS_DISABLED | WS_BORDER,
    SplashExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
    WindowReadyTimeoutMs = 5000
};

// What the starting thread hands to the splash thread. Both threads hold a
// reference; the last one to let go closes the event and frees the block,
// so a thread that starts only after the wait has timed out is still safe.
struct SplashStart {
    HBITMAP bitmap;
    HANDLE windowReady;
    LONG references;
};

// The window memory slots are 32 bits wide. GDI handles fit: 64-bit Windows
// keeps their significant bits in the low 32 and sign-extends them back.
static HANDLE GetSlot(HWND window, int slot) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(GetWindowLongA(window, slot)));
}

static void SetSlot(HWND window, int slot, HANDLE value) {
    SetWindowLongA(window, slot, static_cast<LONG>(reinterpret_cast<LONG_PTR>(value)));
}

static void ReleaseSplashStart(SplashStart *start) {
    if (InterlockedDecrement(&start->references) != 0) {
        return;
    }
    CloseHandle(start->windowReady);
    GlobalFree(start);
}

static HBITMAP LoadSplashBitmap() {
    wchar_t path[PathBufferSize];
    DWORD length = GetModuleFileNameW(nullptr, path, PathBufferSize);
    // A truncated path would name some other file.
    if (length == 0 || length >= PathBufferSize) {
        return nullptr;
    }
    if (!ReplaceExtension(path, PathBufferSize, SplashExtension)) {
        return nullptr;
    }
    // By the ANSI name where it spells the path, else by the wide one; a
    // file of its own is loaded without a module handle.
    char ansi[PathBufferSize];
    UINT flags = LR_LOADFROMFILE | LR_CREATEDIBSECTION;
    return static_cast<HBITMAP>(AnsiFormOfPath(ansi, sizeof ansi, path)
                                    ? LoadImageA(nullptr, ansi, IMAGE_BITMAP, 0, 0, flags)
                                    : LoadImageW(nullptr, path, IMAGE_BITMAP, 0, 0, flags));
}

static HPALETTE CreateSplashPalette() {
    struct {
        WORD version;
        WORD count;
        SplashPaletteEntry entries[SplashPaletteSize];
    } palette;
    static_assert(sizeof(SplashPaletteEntry) == sizeof(PALETTEENTRY), "palette entry layout");
    static_assert(offsetof(LOGPALETTE, palPalEntry) == 4, "palette header layout");
    palette.version = SplashPaletteVersion;
    palette.count = SplashPaletteSize;
    FillSplashPalette(palette.entries);
    return CreatePalette(reinterpret_cast<LOGPALETTE *>(&palette));
}

static bool RealizeSplashPalette(HWND window) {
    HPALETTE palette = static_cast<HPALETTE>(GetSlot(window, SplashPaletteSlot));
    if (palette == nullptr) {
        palette = CreateSplashPalette();
        if (palette == nullptr) {
            return false;
        }
        SetSlot(window, SplashPaletteSlot, palette);
    }
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return false;
    }
    HPALETTE previous = SelectPalette(dc, palette, TRUE);
    UnrealizeObject(palette);
    UINT changed = RealizePalette(dc);
    if (changed != 0) {
        InvalidateRect(window, nullptr, TRUE);
    }
    SelectPalette(dc, previous, TRUE);
    ReleaseDC(window, dc);
    return changed != 0;
}

// Copies the part of the bitmap that needs repainting. 0 when it was drawn,
// 1 when nothing could be drawn.
static LRESULT PaintSplash(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) {
        return 1;
    }
    HPALETTE palette = static_cast<HPALETTE>(GetSlot(window, SplashPaletteSlot));
    HPALETTE previousPalette = nullptr;
    if (palette != nullptr) {
        previousPalette = SelectPalette(dc, palette, TRUE);
    }
    LRESULT result = 1;
    HBITMAP bitmap = static_cast<HBITMAP>(GetSlot(window, SplashBitmapSlot));
    HDC memory = bitmap != nullptr ? CreateCompatibleDC(dc) : nullptr;
    if (memory != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        const RECT &r = paint.rcPaint;
        if (BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, r.left, r.top,
                   SRCCOPY)) {
            result = 0;
        }
        if (previous != nullptr) {
            SelectObject(memory, previous);
        }
        DeleteDC(memory);
    }
    if (previousPalette != nullptr) {
        SelectPalette(dc, previousPalette, FALSE);
    }
    EndPaint(window, &paint);
    return result;
}

static void DeleteSplashPalette(HWND window) {
    HANDLE palette = GetSlot(window, SplashPaletteSlot);
    if (palette != nullptr) {
        SetSlot(window, SplashPaletteSlot, nullptr);
        DeleteObject(palette);
    }
}

static LRESULT CALLBACK SplashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (DecideSplashMessage(message, wParam, reinterpret_cast<uintptr_t>(window))) {
    case SplashTearDown:
        DeleteSplashPalette(window);
        PostQuitMessage(0);
        return 0;
    case SplashPaint:
        return PaintSplash(window);
    case SplashAnswerZero:
        return 0;
    case SplashRealizeAndTell:
        return RealizeSplashPalette(window) ? 1 : 0;
    case SplashRealizeQuietly:
        RealizeSplashPalette(window);
        return 0;
    case SplashPassOn:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A class left registered by an earlier splash in this process is the same
// class and serves as well.
static bool RegisterSplashClass(HINSTANCE instance) {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = SplashWindowProc;
    windowClass.cbWndExtra = SplashWindowExtraBytes;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = SplashClassName;
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

static HWND CreateSplashWindow(HINSTANCE instance, HBITMAP bitmap) {
    BITMAP description;
    bool sizeKnown = GetObjectA(bitmap, sizeof description, &description) != 0;
    SplashRect frame = {0, 0, 0, 0};
    SplashRect desktop = {0, 0, 0, 0};
    if (sizeKnown) {
        // A top-down bitmap gives its height as a negative number.
        LONG height = description.bmHeight < 0 ? -description.bmHeight : description.bmHeight;
        RECT adjusted = {0, 0, description.bmWidth, height};
        AdjustWindowRectEx(&adjusted, SplashStyle, FALSE, SplashExStyle);
        frame = {adjusted.left, adjusted.top, adjusted.right, adjusted.bottom};
        RECT screen;
        if (GetWindowRect(GetDesktopWindow(), &screen)) {
            desktop = {screen.left, screen.top, screen.right, screen.bottom};
        }
    }
    SplashPlacement at = PlaceSplashWindow(sizeKnown, frame, desktop);
    HWND window = CreateWindowExA(SplashExStyle, SplashClassName, SplashTitle, SplashStyle, at.x,
                                  at.y, at.width, at.height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    SetSlot(window, SplashBitmapSlot, bitmap);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

static DWORD RunSplashLoop(HWND window) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 0;
        }
        if (IsSplashCloseRequest(reinterpret_cast<uintptr_t>(message.hwnd), message.message)) {
            DestroyWindow(window);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<DWORD>(message.wParam);
}

static DWORD WINAPI SplashThreadMain(LPVOID parameter) {
    SplashStart *start = static_cast<SplashStart *>(parameter);
    HBITMAP bitmap = start->bitmap;
    // The message queue exists from here on: a close request can no longer be lost.
    MSG peeked;
    PeekMessageA(&peeked, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND window = RegisterSplashClass(instance) ? CreateSplashWindow(instance, bitmap) : nullptr;
    // Shown (or given up): the starting thread may go on and put its own
    // windows above this one.
    SetEvent(start->windowReady);
    ReleaseSplashStart(start);
    DWORD exitCode = window != nullptr ? RunSplashLoop(window) : 0;
    DeleteObject(bitmap);
    return exitCode;
}

static SplashStart *NewSplashStart(HBITMAP bitmap) {
    SplashStart *start = static_cast<SplashStart *>(GlobalAlloc(GMEM_FIXED, sizeof(SplashStart)));
    if (start == nullptr) {
        return nullptr;
    }
    start->windowReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (start->windowReady == nullptr) {
        GlobalFree(start);
        return nullptr;
    }
    start->bitmap = bitmap;
    start->references = 2;
    return start;
}

uint32_t StartSplashScreen() {
    HBITMAP bitmap = LoadSplashBitmap();
    if (bitmap == nullptr) {
        return 0;
    }
    SplashStart *start = NewSplashStart(bitmap);
    if (start == nullptr) {
        DeleteObject(bitmap);
        return 0;
    }
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, SplashStackSize, SplashThreadMain, start, 0, &threadId);
    if (thread == nullptr) {
        ReleaseSplashStart(start);  // the thread's reference
        ReleaseSplashStart(start);
        DeleteObject(bitmap);
        return 0;
    }
    CloseHandle(thread);
    WaitForSingleObject(start->windowReady, WindowReadyTimeoutMs);
    ReleaseSplashStart(start);
    return threadId;
}

int32_t LUMV_STDCALL CloseSplashScreen(uint32_t threadId) {
    return PostThreadMessageA(threadId, WM_USER, 0, 0);
}
