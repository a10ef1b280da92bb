// The error report and the download offer.
#include "launch_error.h"

#include "common/path_rules.h"
#include "launch_error_rules.h"

#ifndef LUMV_DOWNLOAD_BASE_URL
#error "LUMV_DOWNLOAD_BASE_URL names the download site; the build sets it"
#endif

static_assert(sizeof(LUMV_DOWNLOAD_BASE_URL) - 1 <= MaxDownloadBaseUrlLength,
              "the download base address leaves room for the page's own part");

void ShowLaunchError(HINSTANCE instance, int32_t status) {
    LaunchErrorMessage message = MessageForStatus(status);
    // The texts are Japanese: loaded and shown as UTF-16, they read right
    // whatever the system's code page. Topmost, so that a splash screen
    // still on screen cannot hide the box.
    WCHAR caption[CaptionBufferSize];
    WCHAR text[MessageBufferSize];
    caption[0] = L'\0';
    text[0] = L'\0';
    LoadStringW(instance, ErrorCaptionTextId, caption, CaptionBufferSize);
    LoadStringW(instance, message.textId, text, MessageBufferSize - 1);
    int answer = MessageBoxW(nullptr, text, caption, message.style | MB_TOPMOST);
    if (!message.offersDownload || answer != IDOK) {
        return;
    }
    char url[DownloadUrlBufferSize];
    if (BuildDownloadUrl(url)) {
        OpenUrlInBrowser(url);
    }
}

bool BuildDownloadUrl(char *dest) {
    return ComposeDownloadUrl(dest, DownloadUrlBufferSize, LUMV_DOWNLOAD_BASE_URL,
                              GetSystemDefaultLangID());
}

// The default value of HKEY_CLASSES_ROOT\keyPath into value (size bytes).
static bool ReadClassesValue(const char *keyPath, char *value, LONG size) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    LONG valueSize = size;
    LONG result = RegQueryValueA(key, nullptr, value, &valueSize);
    RegCloseKey(key);
    // A value that filled the buffer to its end may lack its terminator.
    return result == ERROR_SUCCESS && valueSize > 0 && valueSize <= size &&
           value[valueSize - 1] == '\0';
}

void OpenUrlInBrowser(const char *url) {
    // The ".htm" file type's class name, then its open command, in turn.
    char value[BrowserCommandBufferSize];
    if (!ReadClassesValue(".htm", value, sizeof value) || value[0] == '\0') {
        return;
    }
    size_t classLength = TextLength(value);
    if (!CopyText(value + classLength, sizeof value - classLength, "\\shell\\open\\command") ||
        !ReadClassesValue(value, value, sizeof value)) {
        return;
    }
    char commandLine[BrowserCommandBufferSize];
    if (ComposeBrowserCommandLine(commandLine, sizeof commandLine, value, url)) {
        WinExec(commandLine, SW_SHOWNORMAL);
    }
}
