// Paths between their wide form, in which the file system names every file,
// and the single-byte form of the system's ANSI code page, which names only
// the files whose names the code page can spell. The launcher holds its paths
// in wide form and still makes each file call with the ANSI form wherever
// that is faithful (so every path the ANSI form can spell is handled exactly
// as before); only a path the ANSI form would spoil goes to the wide call.
// Win32 code: the declarations use the platform's types.
#pragma once

#include <windows.h>

#include "path_rules.h"

// The lead-byte test of the system's ANSI code page, for the path rules.
bool IsAnsiLeadByte(unsigned char value);

// The ANSI form of path in dest (destSize bytes) when it names the same
// file: every character comes back unchanged from the ANSI code page, and
// the result fits. False otherwise; dest is then unusable.
bool AnsiFormOfPath(char *dest, size_t destSize, const wchar_t *path);

// A name of path that ANSI calls can use: its ANSI form, or else the ANSI
// form of its short (8.3) name. False when neither exists or fits (short
// names switched off on the volume, or not ANSI either).
bool AnsiNameOfPath(char *dest, size_t destSize, const wchar_t *path);

// The wide form of an ANSI path, as the ANSI calls read it; destSize counts
// characters. False when it does not fit.
bool WideFormOfPath(wchar_t *dest, size_t destSize, const char *path);

// The file calls by a wide path: the ANSI call with the faithful ANSI form,
// else the wide call. Arguments and results are those of the platform's calls.
// LoadLibraryByPath takes a full path and looks for the library's own
// dependencies in its folder first (LOAD_WITH_ALTERED_SEARCH_PATH), so that
// they are found where the current directory is not searched.
BOOL DeleteFileByPath(const wchar_t *path);
BOOL RemoveFolderByPath(const wchar_t *path);
BOOL CreateFolderByPath(const wchar_t *path);
BOOL SetCurrentFolderByPath(const wchar_t *path);
HMODULE LoadLibraryByPath(const wchar_t *path);
DWORD AttributesByPath(const wchar_t *path);
HANDLE CreateFileByPath(const wchar_t *path, DWORD access, DWORD shareMode, DWORD disposition,
                        DWORD attributes);
