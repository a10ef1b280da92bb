// The run's private folder under the temporary path and its lock file.
#include "run_temp_folder.h"

#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "run_folder_name.h"

char *RunTempFolderPath = nullptr;
wchar_t *RunTempFolderPathW = nullptr;
HANDLE RunLockFileHandle = INVALID_HANDLE_VALUE;

bool GetRunTempFolder(char *buffer, bool create) {
    if (RunTempFolderPathW == nullptr) {
        if (!create || !CreateRunTempFolder()) {
            return false;
        }
    }
    return RunTempFolderPath != nullptr && CopyText(buffer, PathBufferSize, RunTempFolderPath);
}

bool GetRunTempFolder(wchar_t *buffer, bool create) {
    if (RunTempFolderPathW == nullptr) {
        if (!create || !CreateRunTempFolder()) {
            return false;
        }
    }
    return CopyText(buffer, PathBufferSize, RunTempFolderPathW);
}

static void FreeRunTempFolderPaths() {
    if (RunTempFolderPath != nullptr) {
        GlobalFree(RunTempFolderPath);
        RunTempFolderPath = nullptr;
    }
    if (RunTempFolderPathW != nullptr) {
        GlobalFree(RunTempFolderPathW);
        RunTempFolderPathW = nullptr;
    }
}

static bool FailRunTempFolderCreation() {
    FreeRunTempFolderPaths();
    return false;
}

bool CreateRunTempFolder() {
    RunTempFolderPath = static_cast<char *>(GlobalAlloc(GMEM_FIXED, PathBufferSize));
    RunTempFolderPathW =
        static_cast<wchar_t *>(GlobalAlloc(GMEM_FIXED, PathBufferSize * sizeof(wchar_t)));
    if (RunTempFolderPath == nullptr || RunTempFolderPathW == nullptr) {
        return FailRunTempFolderCreation();
    }
    // The folder is made and locked by its wide path, which names it under
    // any temporary path. A temporary path longer than the buffer comes back
    // as the size it needs, which is treated like no temporary path at all.
    wchar_t *path = RunTempFolderPathW;
    DWORD length = GetTempPathW(PathBufferSize, path);
    if (length == 0 || length >= PathBufferSize) {
        return FailRunTempFolderCreation();
    }
    if (!StartRunFolderName(path, PathBufferSize)) {
        return FailRunTempFolderCreation();
    }
    // Any failure counts as a taken name; every suffix is tried before giving up.
    while (!CreateFolderByPath(path)) {
        if (!AdvanceRunFolderSuffix(path)) {
            return FailRunTempFolderCreation();
        }
    }
    // StartRunFolderName kept room for the separator and the lock file name.
    AppendToPath(path, PathBufferSize, L"");
    CreateRunLockFile(path);
    // The name the player gets: the folder's ANSI path, or its short form.
    // Without either the folder stays this run's, but has no ANSI name.
    if (!AnsiNameOfPath(RunTempFolderPath, PathBufferSize, path)) {
        GlobalFree(RunTempFolderPath);
        RunTempFolderPath = nullptr;
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

bool CreateRunLockFile(const wchar_t *folder) {
    if (folder != nullptr) {
        RunLockFileHandle = CreateLockFileIn(folder);
    }
    return RunLockFileHandle != INVALID_HANDLE_VALUE;
}

void CloseRunLockFile() {
    if (RunLockFileHandle != INVALID_HANDLE_VALUE) {
        CloseHandle(RunLockFileHandle);
        RunLockFileHandle = INVALID_HANDLE_VALUE;
    }
}

bool ReleaseRunTempFolder() {
    if (RunTempFolderPathW != nullptr) {
        CloseRunLockFile();
        FreeRunTempFolderPaths();
    }
    return true;
}
