// Path joining and cutting in fixed buffers, stepping over double-byte characters.
#include "path_rules.h"

size_t CharacterSize(const char *text, LeadByteTest isLeadByte) {
    bool lead = isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(text[0]));
    return lead && text[1] != 0 ? 2 : 1;
}

// Each rule is written once for both character widths; the overloads below
// are the only way in. The wide ones pass no lead-byte test.
template <typename Char>
static size_t LengthOf(const Char *text) {
    size_t length = 0;
    while (text[length] != 0) {
        length++;
    }
    return length;
}

template <typename Char>
static void CopyChars(Char *dest, const Char *source, size_t count) {
    // memmove semantics are not needed: callers only ever copy forwards into
    // the same buffer at the same start, or between distinct buffers.
    for (size_t i = 0; i < count; i++) {
        dest[i] = source[i];
    }
}

template <typename Char>
static bool CopyTextOf(Char *dest, size_t destSize, const Char *text) {
    size_t length = LengthOf(text);
    if (length + 1 > destSize) {
        return false;
    }
    CopyChars(dest, text, length + 1);
    return true;
}

// True when the last character of text is a '\\' of its own.
template <typename Char>
static bool EndsWithSeparator(const Char *text, LeadByteTest isLeadByte) {
    bool separator = false;
    for (const Char *at = text; *at != 0; at += CharacterSize(at, isLeadByte)) {
        separator = *at == '\\';
    }
    return separator;
}

template <typename Char>
static Char *JoinPathOf(Char *dest, size_t destSize, const Char *folder, const Char *name,
                        LeadByteTest isLeadByte) {
    size_t folderLength = LengthOf(folder);
    size_t nameLength = LengthOf(name);
    bool needsSeparator = folderLength > 0 && !EndsWithSeparator(folder, isLeadByte);
    size_t total = folderLength + (needsSeparator ? 1 : 0) + nameLength + 1;
    if (total > destSize) {
        return nullptr;
    }
    if (dest != folder) {
        CopyChars(dest, folder, folderLength);
    }
    size_t at = folderLength;
    if (needsSeparator) {
        dest[at++] = '\\';
    }
    CopyChars(dest + at, name, nameLength);
    dest[at + nameLength] = 0;
    return dest;
}

// The end of the folder part: the last separator itself (dropSeparator) or
// the character after it; the start of the path when there is none.
template <typename Char>
static Char *FolderEndOf(Char *path, bool dropSeparator, LeadByteTest isLeadByte) {
    Char *end = path;
    for (Char *at = path; *at != 0; at += CharacterSize(at, isLeadByte)) {
        if (*at == '\\') {
            end = dropSeparator ? at : at + 1;
        }
    }
    return end;
}

size_t TextLength(const char *text) {
    return LengthOf(text);
}

size_t TextLength(const wchar_t *text) {
    return LengthOf(text);
}

static wchar_t FoldAsciiCase(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

bool PathStartsWith(const wchar_t *path, const wchar_t *folder) {
    for (; *folder != L'\0'; path++, folder++) {
        if (FoldAsciiCase(*path) != FoldAsciiCase(*folder)) {
            return false;
        }
    }
    return true;
}

bool CopyText(char *dest, size_t destSize, const char *text) {
    return CopyTextOf(dest, destSize, text);
}

bool CopyText(wchar_t *dest, size_t destSize, const wchar_t *text) {
    return CopyTextOf(dest, destSize, text);
}

char *JoinPath(char *dest, size_t destSize, const char *folder, const char *name,
               LeadByteTest isLeadByte) {
    return JoinPathOf(dest, destSize, folder, name, isLeadByte);
}

wchar_t *JoinPath(wchar_t *dest, size_t destSize, const wchar_t *folder, const wchar_t *name) {
    return JoinPathOf(dest, destSize, folder, name, nullptr);
}

bool AppendToPath(char *path, size_t pathSize, const char *name, LeadByteTest isLeadByte) {
    return JoinPath(path, pathSize, path, name, isLeadByte) != nullptr;
}

bool AppendToPath(wchar_t *path, size_t pathSize, const wchar_t *name) {
    return JoinPath(path, pathSize, path, name) != nullptr;
}

bool CutToFolder(char *path, LeadByteTest isLeadByte) {
    *FolderEndOf(path, true, isLeadByte) = '\0';
    return true;
}

bool CutToFolder(wchar_t *path) {
    *FolderEndOf(path, true, nullptr) = L'\0';
    return true;
}

void KeepFolderPart(char *path, LeadByteTest isLeadByte) {
    *FolderEndOf(path, false, isLeadByte) = '\0';
}

void KeepFolderPart(wchar_t *path) {
    *FolderEndOf(path, false, nullptr) = L'\0';
}
