// What the error report shows and where the download offer leads: the text
// and buttons for each launch status, the download address for a system
// language, and the browser command line made from a registered open
// command. Portable: no <windows.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The launcher's string table (Japanese).
enum LaunchErrorTextId : uint32_t {
    ErrorCaptionTextId = 1000,  // the caption of every box
    CannotCreateFileTextId = 1001,
    RuntimeMissingTextId = 1002,
    PlayerMissingTextId = 1003,  // with the download offer
    CannotStartTextId = 1004
};

enum {
    ErrorBoxStyle = 0x10,       // MB_ICONHAND, OK
    DownloadOfferStyle = 0x11,  // MB_ICONHAND, OK and Cancel
    CaptionBufferSize = 32,
    MessageBufferSize = 256,
    DownloadUrlBufferSize = 256,
    BrowserCommandBufferSize = 520,
    MaxDownloadBaseUrlLength = 202
};

struct LaunchErrorMessage {
    uint32_t textId;
    uint32_t style;
    bool offersDownload;  // OK opens the download page
};

// The text, buttons and style for a launch status; 1 (a player result of 0)
// and every value without a message of its own get text 1004.
LaunchErrorMessage MessageForStatus(int32_t status);

// "de/", "fr/", "jp/" or "ko/" for the primary language of languageId (its
// low 10 bits), "" for every other language.
const char *LanguageFolderFor(uint16_t languageId);

// baseUrl, the language folder, the page path and the version. False when
// the result would not fit destSize bytes (never for a base of at most 202).
bool ComposeDownloadUrl(char *dest, size_t destSize, const char *baseUrl, uint16_t languageId);

// The browser's program path cut out of a registered open command: leading
// blanks and tabs skipped; a leading quote runs to the next quote or the
// end; otherwise the path ends at the first blank (a tab does not end it).
// Writes the path into dest; false when the command holds no path or the
// path does not fit.
bool CutProgramPath(char *dest, size_t destSize, const char *command);
// The same for a wide command; destSize counts characters.
bool CutProgramPath(wchar_t *dest, size_t destSize, const wchar_t *command);

// The command line that opens url: the program path of the registered
// command - quoted when it holds a blank, so that nothing before the blank
// is started instead - then one blank and url. False when the command holds
// no path or the result does not fit destSize bytes.
bool ComposeBrowserCommandLine(char *dest, size_t destSize, const char *command, const char *url);
// The same for a wide command and url; destSize counts characters.
bool ComposeBrowserCommandLine(wchar_t *dest, size_t destSize, const wchar_t *command,
                               const wchar_t *url);
