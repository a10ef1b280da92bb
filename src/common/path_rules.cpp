// Byte-wise path joining and cutting in fixed buffers.
#include "path_rules.h"

size_t TextLength(const char *text) {
    size_t length = 0;
    while (text[length] != '\0') {
        length++;
    }
    return length;
}

static void CopyBytes(char *dest, const char *source, size_t count) {
    // memmove semantics are not needed: callers only ever copy forwards into
    // the same buffer at the same start, or between distinct buffers.
    for (size_t i = 0; i < count; i++) {
        dest[i] = source[i];
    }
}

bool CopyText(char *dest, size_t destSize, const char *text) {
    size_t length = TextLength(text);
    if (length + 1 > destSize) {
        return false;
    }
    CopyBytes(dest, text, length + 1);
    return true;
}

char *JoinPath(char *dest, size_t destSize, const char *folder, const char *name) {
    size_t folderLength = TextLength(folder);
    size_t nameLength = TextLength(name);
    bool needsSeparator = folderLength > 0 && folder[folderLength - 1] != '\\';
    size_t total = folderLength + (needsSeparator ? 1 : 0) + nameLength + 1;
    if (total > destSize) {
        return nullptr;
    }
    if (dest != folder) {
        CopyBytes(dest, folder, folderLength);
    }
    size_t at = folderLength;
    if (needsSeparator) {
        dest[at++] = '\\';
    }
    CopyBytes(dest + at, name, nameLength);
    dest[at + nameLength] = '\0';
    return dest;
}

bool AppendToPath(char *path, size_t pathSize, const char *name) {
    return JoinPath(path, pathSize, path, name) != nullptr;
}

bool CutToFolder(char *path) {
    char *lastSeparator = path;  // no separator: the path becomes empty
    for (char *at = path; *at != '\0'; at++) {
        if (*at == '\\') {
            lastSeparator = at;
        }
    }
    *lastSeparator = '\0';
    return true;
}

void KeepFolderPart(char *path) {
    char *end = path;  // no separator: the path becomes empty
    for (char *at = path; *at != '\0'; at++) {
        if (*at == '\\') {
            end = at + 1;
        }
    }
    *end = '\0';
}
