// The run's private folder under the temporary path and its lock file.
#include "run_temp_folder.h"

#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "run_folder_name.h"
#include "run_temp_folder_internal.h"

void StartRunTempFolder(RunTempFolder *folder) {
    folder->RunTempFolderPath = nullptr;
    folder->widePath = nullptr;
    folder->lockFile = INVALID_HANDLE_VALUE;
}

static bool HaveRunTempFolder(RunTempFolder *folder, bool create) {
    return folder->widePath != nullptr || (create && CreateRunTempFolder(folder));
}

bool GetRunTempFolder(RunTempFolder *folder, char *buffer, bool create) {
    return HaveRunTempFolder(folder, create) && folder->RunTempFolderPath != nullptr &&
           CopyText(buffer, PathBufferSize, folder->RunTempFolderPath);
}

bool GetRunTempFolder(RunTempFolder *folder, wchar_t *buffer, bool create) {
    return HaveRunTempFolder(folder, create) && CopyText(buffer, PathBufferSize, folder->widePath);
}

static void FreeRunTempFolderPaths(RunTempFolder *folder) {
    if (folder->RunTempFolderPath != nullptr) {
        GlobalFree(folder->RunTempFolderPath);
        folder->RunTempFolderPath = nullptr;
    }
    if (folder->widePath != nullptr) {
        GlobalFree(folder->widePath);
        folder->widePath = nullptr;
    }
}

static bool FailRunTempFolderCreation(RunTempFolder *folder) {
    FreeRunTempFolderPaths(folder);
    return false;
}

// Whether a folder or lock that could not be created means its name is
// taken, so that the next name may do: it exists, or it is being deleted
// (which reads as access denied). Any other error (no such path, a full
// disk) would meet every name, and ends the search.
static bool NameTaken() {
    DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ||
           error == ERROR_ACCESS_DENIED;
}

// Creates the first free "TempFolder.xxx" in path (the temporary path with
// StartRunFolderName's name) with its lock; false when none can be had.
static bool CreateLockedFolder(wchar_t *path, HANDLE *lockFile) {
    for (;;) {
        if (CreateFolderByPath(path)) {
            // StartRunFolderName kept room for the separator and the lock
            // file name. A folder whose lock cannot be made is given up: no
            // sweep could tell it from a live run's.
            AppendToPath(path, PathBufferSize, L"");
            *lockFile = CreateLockFileIn(path);
            if (*lockFile != INVALID_HANDLE_VALUE) {
                return true;
            }
            DWORD lockError = GetLastError();
            path[TextLength(path) - 1] = L'\0';  // the suffix ends the path again
            RemoveFolderByPath(path);
            // Another run's sweep may have taken the folder, still without
            // its lock, and removed it already: the name counts as taken.
            SetLastError(lockError == ERROR_PATH_NOT_FOUND ? ERROR_ALREADY_EXISTS : lockError);
        }
        if (!NameTaken() || !AdvanceRunFolderSuffix(path)) {
            return false;
        }
    }
}

bool GetRunFolderRoot(int32_t index, wchar_t *buffer) {
    DWORD length = 0;
    if (index == 0) {
        length = GetTempPathW(PathBufferSize, buffer);
    } else if (index == 1) {
        // The system's own Windows folder: a per-user one (which a program
        // not marked as aware of terminal services may be given) could hold
        // the very user name that needs this root.
        length = GetSystemWindowsDirectoryW(buffer, PathBufferSize);
    }
    // A path longer than the buffer comes back as the size it needs, which
    // counts as no root at all.
    return length != 0 && length < PathBufferSize &&
           (index == 0 || JoinPath(buffer, PathBufferSize, buffer, L"Temp\\") != nullptr);
}

// Creates and locks the first free run folder under root number index into
// path; false when there is none.
static bool CreateRunFolderUnder(int32_t index, wchar_t *path, HANDLE *lockFile) {
    if (!GetRunFolderRoot(index, path) || !StartRunFolderName(path, PathBufferSize)) {
        return false;
    }
    // An empty removable drive must not make Windows ask for a disk, once
    // per name tried.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    bool created = CreateLockedFolder(path, lockFile);
    SetErrorMode(previousMode);
    return created;
}

// Gives up a run folder (path ending in '\') just made and still empty but
// for its lock.
static void RemoveUnusedRunFolder(const wchar_t *path, HANDLE lockFile) {
    CloseHandle(lockFile);
    wchar_t lockPath[PathBufferSize];
    if (JoinPath(lockPath, PathBufferSize, path, RunLockFileNameW) != nullptr) {
        DeleteFileByPath(lockPath);
    }
    RemoveFolderByPath(path);
}

bool CreateRunTempFolder(RunTempFolder *folder) {
    folder->RunTempFolderPath = static_cast<char *>(GlobalAlloc(GMEM_FIXED, PathBufferSize));
    folder->widePath =
        static_cast<wchar_t *>(GlobalAlloc(GMEM_FIXED, PathBufferSize * sizeof(wchar_t)));
    if (folder->RunTempFolderPath == nullptr || folder->widePath == nullptr) {
        return FailRunTempFolderCreation(folder);
    }
    // The folder is made and locked by its wide path, which names it under
    // any temporary path.
    wchar_t *path = folder->widePath;
    if (!CreateRunFolderUnder(0, path, &folder->lockFile)) {
        return FailRunTempFolderCreation(folder);
    }
    // The name the player gets: the folder's ANSI path, or its short form.
    if (AnsiNameOfPath(folder->RunTempFolderPath, PathBufferSize, path)) {
        return true;
    }
    // Neither (a user name outside the code page, on a volume without short
    // names): the second root, whose path the code page spells, if a folder
    // can be made there. Otherwise the folder stays this run's, without an
    // ANSI name.
    wchar_t otherPath[PathBufferSize];
    HANDLE otherLock = INVALID_HANDLE_VALUE;
    if (CreateRunFolderUnder(1, otherPath, &otherLock)) {
        if (AnsiNameOfPath(folder->RunTempFolderPath, PathBufferSize, otherPath)) {
            RemoveUnusedRunFolder(path, folder->lockFile);
            folder->lockFile = otherLock;
            return CopyText(path, PathBufferSize, otherPath);
        }
        RemoveUnusedRunFolder(otherPath, otherLock);
    }
    GlobalFree(folder->RunTempFolderPath);
    folder->RunTempFolderPath = nullptr;
    return true;
}

HANDLE CreateLockFileIn(const wchar_t *folder) {
    wchar_t lockPath[PathBufferSize];
    if (JoinPath(lockPath, PathBufferSize, folder, RunLockFileNameW) == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileByPath(lockPath, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN);
}

void ReleaseRunTempFolder(RunTempFolder *folder) {
    if (folder->lockFile != INVALID_HANDLE_VALUE) {
        CloseHandle(folder->lockFile);
        folder->lockFile = INVALID_HANDLE_VALUE;
    }
    FreeRunTempFolderPaths(folder);
}
