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
            SetLastError(lockError);
        }
        if (!NameTaken() || !AdvanceRunFolderSuffix(path)) {
            return false;
        }
    }
}

bool CreateRunTempFolder(RunTempFolder *folder) {
    folder->RunTempFolderPath = static_cast<char *>(GlobalAlloc(GMEM_FIXED, PathBufferSize));
    folder->widePath =
        static_cast<wchar_t *>(GlobalAlloc(GMEM_FIXED, PathBufferSize * sizeof(wchar_t)));
    if (folder->RunTempFolderPath == nullptr || folder->widePath == nullptr) {
        return FailRunTempFolderCreation(folder);
    }
    // The folder is made and locked by its wide path, which names it under
    // any temporary path. A temporary path longer than the buffer comes back
    // as the size it needs, which is treated like no temporary path at all.
    wchar_t *path = folder->widePath;
    DWORD length = GetTempPathW(PathBufferSize, path);
    if (length == 0 || length >= PathBufferSize) {
        return FailRunTempFolderCreation(folder);
    }
    if (!StartRunFolderName(path, PathBufferSize)) {
        return FailRunTempFolderCreation(folder);
    }
    // An empty removable drive must not make Windows ask for a disk, once
    // per name tried.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    bool created = CreateLockedFolder(path, &folder->lockFile);
    SetErrorMode(previousMode);
    if (!created) {
        return FailRunTempFolderCreation(folder);
    }
    // The name the player gets: the folder's ANSI path, or its short form.
    // Without either the folder stays this run's, but has no ANSI name.
    if (!AnsiNameOfPath(folder->RunTempFolderPath, PathBufferSize, path)) {
        GlobalFree(folder->RunTempFolderPath);
        folder->RunTempFolderPath = nullptr;
    }
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
