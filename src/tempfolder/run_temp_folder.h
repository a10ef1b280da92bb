// The run's private folder under the temporary path and the lock file that
// marks it as in use, kept in a record the launch sequence owns. Main thread only.
#pragma once

#include <windows.h>

#include <stdint.h>

// One run's folder. Start it with StartRunTempFolder; only the functions
// below change it.
struct RunTempFolder {
    // Full path of this run's folder, ending in '\', or null while none
    // exists. Non-null only between a successful creation and
    // ReleaseRunTempFolder; the block is neither moved nor changed in
    // between, so the player may keep it. It is the folder's ANSI path, or
    // its short (8.3) form when the ANSI path would lose characters; null
    // also when the folder has neither.
    char *RunTempFolderPath;
    // The folder's wide path, which names it under any temporary path:
    // non-null exactly while the run has its folder.
    wchar_t *widePath;
    // The open, unshared lock file, or INVALID_HANDLE_VALUE.
    HANDLE lockFile;
};

// No folder, no lock.
void StartRunTempFolder(RunTempFolder *folder);

// Copies the run folder's wide path into buffer (PathBufferSize characters)
// and returns true. Without a folder: returns false and leaves buffer
// untouched when create is false; otherwise creates the folder first (false
// if that fails).
bool GetRunTempFolder(RunTempFolder *folder, wchar_t *buffer, bool create);

// Creates "TempFolder.xxx" under the temporary path with the first free
// suffix, stores its path and takes the lock. False leaves no folder, no
// allocation and no lock behind. Where the folder has no ANSI name (a
// temporary path outside the ANSI code page, on a volume without short
// names) it is removed again for one under the second root, if that has one.
bool CreateRunTempFolder(RunTempFolder *folder);

// The roots under which run folders are made, ending in '\', into buffer
// (PathBufferSize characters): index 0 is the temporary path, 1 the system's
// Windows folder's "Temp", which every user may create folders in and whose
// path the ANSI code page spells. False for another index, or when the
// root's path cannot be had or does not fit.
bool GetRunFolderRoot(int32_t index, wchar_t *buffer);
enum { RunFolderRootCount = 2 };

// Creates a new "Vantorelle.lok" in folder (ending in '\'), hidden and
// without sharing, and returns it open; INVALID_HANDLE_VALUE when it exists
// already or cannot be made. The one place that says what a lock file is.
HANDLE CreateLockFileIn(const wchar_t *folder);

// Drops the lock and forgets the paths; harmless without a folder and when
// repeated. The folder itself stays on disk for the clean-up's sweep.
void ReleaseRunTempFolder(RunTempFolder *folder);
