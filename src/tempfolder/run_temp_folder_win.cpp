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
    // Any failure counts as a taken name; every suffix is tried before giving up.
    while (!CreateFolderByPath(path)) {
        if (!AdvanceRunFolderSuffix(path)) {
            return FailRunTempFolderCreation(folder);
        }
    }
    // StartRunFolderName kept room for the separator and the lock file name.
    // Failing to take the lock is not fatal: the folder is still this run's.
    AppendToPath(path, PathBufferSize, L"");
    folder->lockFile = CreateLockFileIn(path);
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
