// Finding and loading the runtime library and the player library, in a fixed
// order of folders, with the current directory saved and restored.
#pragma once

#include <windows.h>
#include <stdint.h>

// Status 0 with the handle of msvcrt.dll; 2 when found nowhere, 5 when the
// current directory cannot be read. The handle is null unless the status is 0.
int32_t LoadRuntimeLibrary(HMODULE *module);

// Status 0 with the handle of lumv.dll and its PlayerLocation; 3 when found
// nowhere, 5 when the current directory cannot be read, 6 when a run folder
// exists and loading from it fails (no other folder is tried then).
int32_t LoadPlayerLibrary(HMODULE *module, int32_t *location);

// Changes the current directory to folder and loads folder\name from there.
// Null when the path does not fit, the folder cannot be entered or the load
// fails. The current directory is left at folder; the searches restore it.
HMODULE LoadLibraryFromFolder(const char *folder, const char *name);
// The same by wide names (PathBufferSize characters at most), which name a
// folder outside the ANSI code page as well.
HMODULE LoadLibraryFromFolder(const wchar_t *folder, const wchar_t *name);

// What the searches depend on, so tests can reach states that a real system
// rarely shows (no runtime library, an unreadable current directory).
struct LibrarySearchSetup {
    const char *runtimeName;        // "msvcrt.dll"
    const char *playerName;         // "lumv.dll"
    const char *localFolderName;    // "Kivox"
    const char *installFolderName;  // "Vantorel\Brisklume 8", under the system folder
    DWORD(WINAPI *getCurrentDirectory)(DWORD size, LPSTR buffer);
};

extern const LibrarySearchSetup DefaultLibrarySearch;

int32_t LoadRuntimeLibraryWith(const LibrarySearchSetup *setup, HMODULE *module);
int32_t LoadPlayerLibraryWith(const LibrarySearchSetup *setup, HMODULE *module, int32_t *location);
