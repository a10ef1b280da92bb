// Path joining and cutting in fixed buffers. Portable: no <windows.h>.
// A narrow path is text in a code page whose double-byte characters (code
// pages 932, 936, 949, 950) may have 0x5C, the byte of '\', as their second
// byte; the rules step over such characters, so only a '\' of its own
// separates. Which bytes start a double-byte character is the caller's to
// say (on Windows, those of the system's ANSI code page). Each rule also
// comes for wide (UTF-16 on Windows) paths, whose sizes count characters
// rather than bytes; there only the character '\' separates.
#pragma once

#include <stddef.h>

// True when value starts a double-byte character of the path's code page.
// Null stands for a code page without double-byte characters.
typedef bool (*LeadByteTest)(unsigned char value);

// The size in bytes of the character that starts at text: 2 for a lead byte
// followed by another byte, 1 otherwise (a lead byte right before the
// terminator counts alone, so a scan never steps past the terminator).
size_t CharacterSize(const char *text, LeadByteTest isLeadByte);
// A UTF-16 unit is a character of its own here: no surrogate equals '\\'.
inline size_t CharacterSize(const wchar_t *, LeadByteTest) {
    return 1;
}

enum {
    PathBufferSize = 260,             // the platform's path limit, terminator included
    CurrentDirectoryBufferSize = 256  // where the library searches save the current directory
};

// Writes folder + '\' + name into dest (destSize bytes, terminator included).
// The separator is left out when folder already ends with one, and also when
// folder is empty (the result is then the bare name). dest may be folder.
// Returns dest, or null when the result would not fit; dest is then unchanged.
char *JoinPath(char *dest, size_t destSize, const char *folder, const char *name,
               LeadByteTest isLeadByte);

// JoinPath in place. False (and path unchanged) when the result would not fit.
bool AppendToPath(char *path, size_t pathSize, const char *name, LeadByteTest isLeadByte);

// Ends the string at its last '\'; a path without one becomes empty.
// C:\Show\start.exe gives C:\Show, C:\start.exe gives C:.
bool CutToFolder(char *path, LeadByteTest isLeadByte);

// Ends the string right after its last '\', keeping the separator; a path
// without one becomes empty. C:\Show\start.exe gives C:\Show\.
void KeepFolderPart(char *path, LeadByteTest isLeadByte);

// Copies text into dest when it fits with its terminator; false otherwise.
bool CopyText(char *dest, size_t destSize, const char *text);

size_t TextLength(const char *text);

// The same rules for wide paths; sizes are in characters.
wchar_t *JoinPath(wchar_t *dest, size_t destSize, const wchar_t *folder, const wchar_t *name);
bool AppendToPath(wchar_t *path, size_t pathSize, const wchar_t *name);
bool CutToFolder(wchar_t *path);
void KeepFolderPart(wchar_t *path);
bool CopyText(wchar_t *dest, size_t destSize, const wchar_t *text);
size_t TextLength(const wchar_t *text);

// True when path begins with folder, compared character by character with
// only A to Z and a to z taken as equal: an ordinal comparison, the same in
// every locale (a linguistic one may take different names for one).
bool PathStartsWith(const wchar_t *path, const wchar_t *folder);
