// The error report and the download offer.
#include "launch_error.h"

#include "common/ansi_path.h"
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
    BuildDownloadUrl(url);
    OpenUrlInBrowser(url);
}

void BuildDownloadUrl(char *dest) {
    // Cannot fail for a base address that passed the check above.
    ComposeDownloadUrl(dest, DownloadUrlBufferSize, LUMV_DOWNLOAD_BASE_URL,
                       GetSystemDefaultLangID());
}

// Where Windows records the user's default browser, per scheme, from
// Windows 8 on; ".htm" then often still names the system's legacy browser.
// Everything from the registry to the process is wide: a browser installed
// under a profile whose name the ANSI code page cannot spell still starts.
// Kept narrow (they are ASCII) and widened where they are used: half the
// room in the image.
static const char *const UserChoiceKeys[] = {
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice",
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
};

// The string value name (null: the default value) of root\keyPath into
// value (size characters), terminated; a REG_EXPAND_SZ value with its
// environment variables expanded. False for a missing value, another type,
// or a value that does not fit.
static bool ReadStringValue(HKEY root, const wchar_t *keyPath, const wchar_t *name, wchar_t *value,
                            DWORD size) {
    HKEY key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t stored[BrowserCommandBufferSize];
    DWORD type = REG_NONE;
    // In bytes, with room for a terminator the value may lack.
    DWORD storedSize = sizeof stored - sizeof stored[0];
    LONG result =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(stored), &storedSize);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || storedSize > sizeof stored - sizeof stored[0]) {
        return false;
    }
    stored[storedSize / sizeof stored[0]] = L'\0';
    if (type == REG_SZ) {
        return CopyText(value, size, stored);
    }
    if (type != REG_EXPAND_SZ) {
        return false;
    }
    DWORD needed = ExpandEnvironmentStringsW(stored, value, size);
    return needed != 0 && needed <= size;
}

// The open command of the class className into command (size characters).
static bool ReadOpenCommand(const wchar_t *className, wchar_t *command, DWORD size) {
    wchar_t keyPath[BrowserCommandBufferSize];
    size_t classLength = TextLength(className);
    return classLength != 0 && CopyText(keyPath, BrowserCommandBufferSize, className) &&
           CopyText(keyPath + classLength, BrowserCommandBufferSize - classLength,
                    L"\\shell\\open\\command") &&
           ReadStringValue(HKEY_CLASSES_ROOT, keyPath, nullptr, command, size);
}

// The command that opens web pages: that of the class the user chose for
// https, then for http, else that of the ".htm" file type's class.
static bool FindBrowserCommand(wchar_t *command, DWORD size) {
    wchar_t className[BrowserCommandBufferSize];
    wchar_t keyPath[BrowserCommandBufferSize];
    for (const char *userChoiceKey : UserChoiceKeys) {
        if (WideFormOfPath(keyPath, BrowserCommandBufferSize, userChoiceKey) &&
            ReadStringValue(HKEY_CURRENT_USER, keyPath, L"ProgId", className,
                            BrowserCommandBufferSize) &&
            ReadOpenCommand(className, command, size)) {
            return true;
        }
    }
    return ReadStringValue(HKEY_CLASSES_ROOT, L".htm", nullptr, className,
                           BrowserCommandBufferSize) &&
           ReadOpenCommand(className, command, size);
}

void OpenUrlInBrowser(const char *url) {
    wchar_t command[BrowserCommandBufferSize];
    wchar_t wideUrl[DownloadUrlBufferSize];
    if (!WideFormOfPath(wideUrl, DownloadUrlBufferSize, url) ||
        !FindBrowserCommand(command, BrowserCommandBufferSize)) {
        return;
    }
    wchar_t commandLine[BrowserCommandBufferSize];
    if (!ComposeBrowserCommandLine(commandLine, BrowserCommandBufferSize, command, wideUrl)) {
        return;
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process;
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
