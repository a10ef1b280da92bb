// The error report's texts and the download offer's address and command line.
#include "launch_error_rules.h"

#include "common/path_rules.h"

// Field by field: the compiler would build the three aggregates from a table
// in writable data, a section of its own in the launcher's image.
LaunchErrorMessage MessageForStatus(int32_t status) {
    LaunchErrorMessage message;
    message.textId = CannotStartTextId;
    message.style = ErrorBoxStyle;
    message.offersDownload = false;
    if (status == 2) {
        message.textId = RuntimeMissingTextId;
    } else if (status == 3) {
        message.textId = PlayerMissingTextId;
        message.style = DownloadOfferStyle;
        message.offersDownload = true;
    } else if (status == 6 || status == 7) {
        message.textId = CannotCreateFileTextId;
    }
    return message;
}

const char *LanguageFolderFor(uint16_t languageId) {
    switch (languageId & 0x3FF) {
    case 7:
        return "de/";
    case 12:
        return "fr/";
    case 17:
        return "jp/";
    case 18:
        return "ko/";
    default:
        return "";
    }
}

// Appends text at *length; false (nothing written) when it does not fit.
template <typename Char>
static bool AppendText(Char *dest, size_t destSize, size_t *length, const Char *text) {
    size_t textLength = TextLength(text);
    if (*length + textLength + 1 > destSize) {
        return false;
    }
    // The analyser cannot see TextLength (another file) and assumes it may
    // run past the terminator of a text it has just built.
    for (size_t i = 0; i <= textLength; i++) {
        dest[*length + i] = text[i];  // NOLINT(clang-analyzer-core.uninitialized.Assign)
    }
    *length += textLength;
    return true;
}

template <typename Char>
static bool AppendCharacter(Char *dest, size_t destSize, size_t *length, Char c) {
    const Char text[] = {c, 0};
    return AppendText(dest, destSize, length, text);
}

bool ComposeDownloadUrl(char *dest, size_t destSize, const char *baseUrl, uint16_t languageId) {
    size_t length = 0;
    return AppendText(dest, destSize, &length, baseUrl) &&
           AppendText(dest, destSize, &length, LanguageFolderFor(languageId)) &&
           AppendText(dest, destSize, &length, "brisklume/download/?P1_Prod_Version=BLArchive") &&
           AppendText(dest, destSize, &length, "8.5.0");
}

template <typename Char>
static bool CutProgramPathOf(Char *dest, size_t destSize, const Char *command) {
    const Char *start = command;
    while (*start == ' ' || *start == '\t') {
        start++;
    }
    if (*start == 0) {
        return false;
    }
    Char end = ' ';
    if (*start == '"') {
        start++;
        end = '"';
    }
    size_t length = 0;
    while (start[length] != 0 && start[length] != end) {
        length++;
    }
    if (length == 0 || length + 1 > destSize) {
        return false;
    }
    for (size_t i = 0; i < length; i++) {
        dest[i] = start[i];
    }
    dest[length] = 0;
    return true;
}

bool CutProgramPath(char *dest, size_t destSize, const char *command) {
    return CutProgramPathOf(dest, destSize, command);
}

bool CutProgramPath(wchar_t *dest, size_t destSize, const wchar_t *command) {
    return CutProgramPathOf(dest, destSize, command);
}

template <typename Char>
static bool HoldsBlank(const Char *text) {
    for (; *text != 0; text++) {
        if (*text == ' ') {
            return true;
        }
    }
    return false;
}

template <typename Char>
static bool ComposeBrowserCommandLineOf(Char *dest, size_t destSize, const Char *command,
                                        const Char *url) {
    Char path[BrowserCommandBufferSize];
    if (!CutProgramPathOf(path, BrowserCommandBufferSize, command)) {
        return false;
    }
    size_t length = 0;
    bool quoted = HoldsBlank(path);
    return (!quoted || AppendCharacter(dest, destSize, &length, Char('"'))) &&
           AppendText(dest, destSize, &length, static_cast<const Char *>(path)) &&
           (!quoted || AppendCharacter(dest, destSize, &length, Char('"'))) &&
           AppendCharacter(dest, destSize, &length, Char(' ')) &&
           AppendText(dest, destSize, &length, url);
}

bool ComposeBrowserCommandLine(char *dest, size_t destSize, const char *command, const char *url) {
    return ComposeBrowserCommandLineOf(dest, destSize, command, url);
}

bool ComposeBrowserCommandLine(wchar_t *dest, size_t destSize, const wchar_t *command,
                               const wchar_t *url) {
    return ComposeBrowserCommandLineOf(dest, destSize, command, url);
}
