// The run's private folder under the temporary path and its lock file.
#include "run_temp_folder.h"

#include "common/path_rules.h"
#include "run_folder_name.h"

char *RunTempFolderPath = nullptr;
HANDLE RunLockFileHandle = INVALID_HANDLE_VALUE;

bool GetRunTempFolder(char *buffer, bool create) {
    if (RunTempFolderPath == nullptr) {
        if (!create || !CreateRunTempFolder()) {
            return false;
        }
    }
    return CopyText(buffer, PathBufferSize, RunTempFolderPath);
}

static bool FailRunTempFolderCreation() {
    GlobalFree(RunTempFolderPath);
    RunTempFolderPath = nullptr;
    return false;
}

bool CreateRunTempFolder() {
    RunTempFolderPath = static_cast<char *>(GlobalAlloc(GMEM_FIXED, PathBufferSize));
    if (RunTempFolderPath == nullptr) {
        return false;
    }
    // A temporary path longer than the buffer comes back as the size it needs,
    // which is treated like no temporary path at all.
    DWORD length = GetTempPathA(PathBufferSize, RunTempFolderPath);
    if (length == 0 || length >= PathBufferSize) {
        return FailRunTempFolderCreation();
    }
    if (!StartRunFolderName(RunTempFolderPath, PathBufferSize)) {
        return FailRunTempFolderCreation();
    }
    // Any failure counts as a taken name; every suffix is tried before giving up.
    while (!CreateDirectoryA(RunTempFolderPath, nullptr)) {
        if (!AdvanceRunFolderSuffix(RunTempFolderPath)) {
            return FailRunTempFolderCreation();
        }
    }
    // StartRunFolderName kept room for the separator and the lock file name.
    AppendToPath(RunTempFolderPath, PathBufferSize, "");
    CreateRunLockFile(RunTempFolderPath);
    return true;
}

bool CreateRunLockFile(const char *folder) {
    if (folder != nullptr) {
        char lockPath[PathBufferSize];
        if (JoinPath(lockPath, sizeof lockPath, folder, RunLockFileName) != nullptr) {
            RunLockFileHandle = CreateFileA(lockPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_HIDDEN, nullptr);
        }
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
    if (RunTempFolderPath != nullptr) {
        CloseRunLockFile();
        GlobalFree(RunTempFolderPath);
        RunTempFolderPath = nullptr;
    }
    return true;
}
