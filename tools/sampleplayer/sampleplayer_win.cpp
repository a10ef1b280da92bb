// The sample player: a lumv.dll whose LumivanceMain shows the presentation
// content as a slide deck (slide_deck.h) in a full-screen window, drawn with
// GDI. Right, Space, Page Down and a click go forward, Left and Page Up
// back, Escape ends; "--autoplay MS" on the command line goes forward every
// MS milliseconds and ends after the last slide. It closes the launcher's
// splash once its first slide is on the screen.
//
// What a player must do, and this one shows: find the content in the host
// executable (the module hInstance names), return 3 when the show ends and
// 0 when there is nothing to show, so the launcher says that the
// application cannot start. It writes nothing anywhere.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "common/path_rules.h"
#include "common/player_interface.h"
#include "presentation_content.h"
#include "slide_deck.h"

namespace {

const wchar_t WindowClassName[] = L"LumivanceSamplePlayer";
const UINT_PTR AutoplayTimer = 1;
const int ShowEnded = 3;
const int NothingToShow = 0;

// The executable, read through its handle for the payload code.
struct FileReader {
    PayloadByteReader reader;
    HANDLE file;
};

bool ReadFileAt(const PayloadByteReader *reader, uint32_t offset, void *buffer, uint32_t size) {
    const FileReader *self = reinterpret_cast<const FileReader *>(reader);
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD got = 0;
    return ReadFile(self->file, buffer, size, &got, &at) && got == size;
}

// The content bytes of the executable that hInstance names; empty when it
// has none or cannot be read.
std::vector<uint8_t> ReadContent(HMODULE module) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::vector<uint8_t>();
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::vector<uint8_t>();
    }
    std::vector<uint8_t> content;
    LARGE_INTEGER size;
    FileReader reader = {{ReadFileAt}, file};
    ContentSpan span;
    if (GetFileSizeEx(file, &size) && size.QuadPart < 0xFFFFFFFFll &&
        FindPresentationContent(&reader.reader, static_cast<uint32_t>(size.QuadPart), &span) &&
        span.size > 0) {
        content.resize(span.size);
        if (!ReadFileAt(&reader.reader, span.start, content.data(), span.size)) {
            content.clear();
        }
    }
    CloseHandle(file);
    return content;
}

// MS of "--autoplay MS" in the command line, or 0.
UINT AutoplayInterval(const char *commandLine) {
    const char *option = commandLine != nullptr ? strstr(commandLine, "--autoplay") : nullptr;
    if (option == nullptr) {
        return 0;
    }
    long interval = strtol(option + strlen("--autoplay"), nullptr, 10);
    return interval > 0 && interval <= 3600000 ? static_cast<UINT>(interval) : 0;
}

// The folder the run's files were unpacked into, ending in '\': the run
// folder when there is one, else the executable's folder.
std::wstring FilesFolder(HMODULE module, const PlayerParams *params) {
    wchar_t folder[MAX_PATH];
    if (params != nullptr && params->tempFolderPath != nullptr &&
        MultiByteToWideChar(CP_ACP, 0, params->tempFolderPath, -1, folder, MAX_PATH) > 0) {
        return folder;
    }
    DWORD length = GetModuleFileNameW(module, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::wstring();
    }
    KeepFolderPart(folder);
    return folder;
}

struct Show {
    std::vector<Slide> slides;
    std::vector<HBITMAP> bitmaps;  // per slide; null without an image
    size_t current;
    UINT autoplay;
    const PlayerParams *params;
    bool splashClosed;
    HFONT titleFont;
    HFONT bodyFont;
    HFONT japaneseTitleFont;  // for slides with Japanese text
    HFONT japaneseBodyFont;
};

// Whether text holds kana or CJK ideographs, which the default face may lack.
bool HasJapanese(const std::u16string &text) {
    for (char16_t c : text) {
        if ((c >= 0x3000 && c < 0xA000) || (c >= 0xF900 && c < 0xFB00) ||
            (c >= 0xFF00 && c < 0xFFF0)) {
            return true;
        }
    }
    return false;
}

const wchar_t *Wide(const std::u16string &text) {
    return reinterpret_cast<const wchar_t *>(text.c_str());
}

void LoadBitmaps(Show *show, const std::wstring &folder) {
    for (const Slide &slide : show->slides) {
        HBITMAP bitmap = nullptr;
        if (!slide.image.empty() && slide.image.find_first_of(u"\\/:") == std::u16string::npos) {
            std::wstring path = folder + Wide(slide.image);
            bitmap = static_cast<HBITMAP>(
                LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        }
        show->bitmaps.push_back(bitmap);
    }
}

void Paint(HWND window, Show *show) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH background = CreateSolidBrush(RGB(0x1D, 0x3A, 0x6E));
    FillRect(dc, &client, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));

    const Slide &slide = show->slides[show->current];
    int margin = client.right / 16;
    RECT title = {margin, client.bottom / 12, client.right - margin, client.bottom / 4};
    bool japanese = HasJapanese(slide.title) || HasJapanese(slide.body);
    HGDIOBJ previous = SelectObject(dc, japanese ? show->japaneseTitleFont : show->titleFont);
    DrawTextW(dc, Wide(slide.title), -1, &title, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RECT body = {margin, client.bottom / 4, client.right - margin, client.bottom - margin};
    HBITMAP bitmap = show->bitmaps[show->current];
    if (bitmap != nullptr) {
        BITMAP info;
        GetObjectW(bitmap, sizeof info, &info);
        int height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
        int left = (client.right - info.bmWidth) / 2;
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(dc, left, body.top, info.bmWidth, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        body.top += height + margin / 2;
    }
    SelectObject(dc, japanese ? show->japaneseBodyFont : show->bodyFont);
    DrawTextW(dc, Wide(slide.body), -1, &body, DT_CENTER | DT_WORDBREAK);
    SelectObject(dc, previous);
    EndPaint(window, &paint);

    // The first slide is on the screen: the splash can go.
    if (!show->splashClosed && show->params != nullptr && show->params->closeSplash != nullptr &&
        show->params->splashThreadId != 0) {
        show->params->closeSplash(show->params->splashThreadId);
    }
    show->splashClosed = true;
}

// Moves by step slides; past either end the show ends (going back from
// the first slide stays there).
void Move(HWND window, Show *show, int step) {
    if (step < 0) {
        if (show->current > 0) {
            show->current--;
            InvalidateRect(window, nullptr, FALSE);
        }
        return;
    }
    if (show->current + 1 >= show->slides.size()) {
        DestroyWindow(window);
        return;
    }
    show->current++;
    InvalidateRect(window, nullptr, FALSE);
}

LRESULT CALLBACK ShowWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Show *show = reinterpret_cast<Show *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
        return 0;
    case WM_PAINT:
        Paint(window, show);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            DestroyWindow(window);
        } else if (wParam == VK_RIGHT || wParam == VK_SPACE || wParam == VK_NEXT) {
            Move(window, show, 1);
        } else if (wParam == VK_LEFT || wParam == VK_PRIOR) {
            Move(window, show, -1);
        }
        return 0;
    case WM_LBUTTONDOWN:
        Move(window, show, 1);
        return 0;
    case WM_TIMER:
        Move(window, show, 1);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The dialog face, or with the Shift JIS character set and no face named
// whatever font the system has for Japanese.
HFONT MakeFont(int height, int weight, bool japanese) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       japanese ? SHIFTJIS_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       japanese ? L"" : L"MS Shell Dlg 2");
}

int RunShow(HMODULE module, Show *show) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ShowWindowProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.lpszClassName = WindowClassName;
    RegisterClassW(&windowClass);
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    show->titleFont = MakeFont(height / 12, FW_BOLD, false);
    show->bodyFont = MakeFont(height / 24, FW_NORMAL, false);
    show->japaneseTitleFont = MakeFont(height / 12, FW_BOLD, true);
    show->japaneseBodyFont = MakeFont(height / 24, FW_NORMAL, true);
    HWND window =
        CreateWindowExW(WS_EX_APPWINDOW, WindowClassName, L"Presentation", WS_POPUP | WS_VISIBLE, 0,
                        0, width, height, nullptr, nullptr, module, show);
    if (window != nullptr) {
        SetForegroundWindow(window);
        if (show->autoplay > 0) {
            SetTimer(window, AutoplayTimer, show->autoplay, nullptr);
        }
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DeleteObject(show->titleFont);
    DeleteObject(show->bodyFont);
    DeleteObject(show->japaneseTitleFont);
    DeleteObject(show->japaneseBodyFont);
    UnregisterClassW(WindowClassName, module);
    return window != nullptr ? ShowEnded : NothingToShow;
}

// This library's own module, for its window class.
HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

}  // namespace

extern "C" __declspec(dllexport) int32_t LUMV_STDCALL
    LumivanceMain(void *instance, void *, char *cmdLine, int32_t, PlayerParams *params) {
    HMODULE host = static_cast<HMODULE>(instance);
    std::vector<uint8_t> content = ReadContent(host);
    Show show = {ParseSlideDeck(content.data(), content.size()),
                 std::vector<HBITMAP>(),
                 0,
                 AutoplayInterval(cmdLine),
                 params,
                 false,
                 nullptr,
                 nullptr,
                 nullptr,
                 nullptr};
    if (show.slides.empty()) {
        return NothingToShow;
    }
    LoadBitmaps(&show, FilesFolder(host, params));
    int result = RunShow(OwnModule(), &show);
    for (HBITMAP bitmap : show.bitmaps) {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
    }
    return result;
}
