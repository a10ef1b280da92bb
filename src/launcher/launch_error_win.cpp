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
static const char *const UserChoiceKeys[] = {
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\https\\UserChoice",
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
};

// The string value name (null: the default value) of root\keyPath into
// value (size bytes), terminated; a REG_EXPAND_SZ value with its environment
// variables expanded. False for a missing value, another type, or a value
// that does not fit.
static bool ReadStringValue(HKEY root, const char *keyPath, const char *name, char *value,
                            DWORD size) {
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    char stored[BrowserCommandBufferSize];
    DWORD type = REG_NONE;
    DWORD storedSize = sizeof stored - 1;  // room for a terminator the value may lack
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(stored), &storedSize);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || storedSize >= sizeof stored) {
        return false;
    }
    stored[storedSize] = '\0';
    if (type == REG_SZ) {
        return CopyText(value, size, stored);
    }
    if (type != REG_EXPAND_SZ) {
        return false;
    }
    DWORD needed = ExpandEnvironmentStringsA(stored, value, size);
    return needed != 0 && needed <= size;
}

// The open command of the class className into command (size bytes).
static bool ReadOpenCommand(const char *className, char *command, DWORD size) {
    char keyPath[BrowserCommandBufferSize];
    size_t classLength = TextLength(className);
    return classLength != 0 && CopyText(keyPath, sizeof keyPath, className) &&
           CopyText(keyPath + classLength, sizeof keyPath - classLength,
                    "\\shell\\open\\command") &&
           ReadStringValue(HKEY_CLASSES_ROOT, keyPath, nullptr, command, size);
}

// The command that opens web pages: that of the class the user chose for
// https, then for http, else that of the ".htm" file type's class.
static bool FindBrowserCommand(char *command, DWORD size) {
    char className[BrowserCommandBufferSize];
    for (const char *keyPath : UserChoiceKeys) {
        if (ReadStringValue(HKEY_CURRENT_USER, keyPath, "ProgId", className, sizeof className) &&
            ReadOpenCommand(className, command, size)) {
            return true;
        }
    }
    return ReadStringValue(HKEY_CLASSES_ROOT, ".htm", nullptr, className, sizeof className) &&
           ReadOpenCommand(className, command, size);
}

void OpenUrlInBrowser(const char *url) {
    char command[BrowserCommandBufferSize];
    if (!FindBrowserCommand(command, sizeof command)) {
        return;
    }
    char commandLine[BrowserCommandBufferSize];
    if (ComposeBrowserCommandLine(commandLine, sizeof commandLine, command, url)) {
        WinExec(commandLine, SW_SHOWNORMAL);
    }
}
