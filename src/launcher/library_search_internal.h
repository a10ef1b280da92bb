// The library searches' pieces and seams for the tests: loading from one
// folder, and the names and the current-directory call the searches use, so
// tests can reach states that a real system rarely shows. Main thread only.
#pragma once

#include "library_search.h"

// Changes the current directory to folder and loads folder\name from there.
// Null when the path does not fit, the folder cannot be entered or the load
// fails. The current directory is left at folder; the searches restore it.
HMODULE LoadLibraryFromFolder(const char *folder, const char *name);
// The same by wide names (PathBufferSize characters at most), which name a
// folder outside the ANSI code page as well.
HMODULE LoadLibraryFromFolder(const wchar_t *folder, const wchar_t *name);

// What the searches depend on; a test swaps a name or the call for one that
// makes the runtime library missing or the current directory unreadable.
struct LibrarySearchSetup {
    const char *runtimeName;        // "msvcrt.dll"
    const char *playerName;         // "lumv.dll"
    const char *localFolderName;    // "Kivox"
    const char *installFolderName;  // "Vantorel\Brisklume 8", under the system folder
    DWORD(WINAPI *getCurrentDirectory)(DWORD size, LPSTR buffer);
};

extern const LibrarySearchSetup DefaultLibrarySearch;

int32_t LoadRuntimeLibraryWith(const LibrarySearchSetup *setup, const RunTempFolder *runFolder,
                               HMODULE *module);
int32_t LoadPlayerLibraryWith(const LibrarySearchSetup *setup, const RunTempFolder *runFolder,
                              HMODULE *module, int32_t *location);
