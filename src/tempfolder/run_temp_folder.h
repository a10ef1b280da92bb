// The run's private folder under the temporary path and the lock file that
// marks it as in use. Main thread only.
#pragma once

#include <windows.h>

// Full path of this run's folder, ending in '\', or null while none exists.
// Non-null only between a successful creation and ReleaseRunTempFolder; the
// block is neither moved nor changed in between, so the player may keep it.
// It is the folder's ANSI path, or its short (8.3) form when the ANSI path
// would lose characters; null also when the folder has neither.
extern char *RunTempFolderPath;

// The folder's wide path, which names it under any temporary path: non-null
// exactly while the run has its folder.
extern wchar_t *RunTempFolderPathW;

// The open, unshared lock file, or INVALID_HANDLE_VALUE.
extern HANDLE RunLockFileHandle;

// Copies the run folder's path into buffer (PathBufferSize bytes) and returns
// true. Without a folder: returns false and leaves buffer untouched when
// create is false; otherwise creates the folder first (false if that fails).
// The ANSI path is copied only when the folder has one: without it, false
// although the folder exists.
bool GetRunTempFolder(char *buffer, bool create);

// The same with the folder's wide path (PathBufferSize characters).
bool GetRunTempFolder(wchar_t *buffer, bool create);

// Creates "TempFolder.xxx" under the temporary path with the first free
// suffix, stores its path and takes the lock. False leaves no folder, no
// allocation and no lock behind.
bool CreateRunTempFolder();

// Creates a new "Vantorelle.lok" in folder (ending in '\'), hidden and
// without sharing, and returns it open; INVALID_HANDLE_VALUE when it exists
// already or cannot be made. The one place that says what a lock file is.
HANDLE CreateLockFileIn(const wchar_t *folder);

// The run's own lock: CreateLockFileIn on folder (may be null), kept in
// RunLockFileHandle. True when the lock is held; failure is not fatal.
bool CreateRunLockFile(const wchar_t *folder);

void CloseRunLockFile();

// Drops the lock and forgets the path; harmless without a folder. Always true.
bool ReleaseRunTempFolder();
