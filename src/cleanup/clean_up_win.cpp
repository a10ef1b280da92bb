// Clean-up after the run.
#include "clean_up.h"

#include "common/path_rules.h"
#include "payload/extract_payload.h"
#include "tempfolder/run_folder_name.h"
#include "tempfolder/run_temp_folder.h"

// Deletes the exe-folder entries' files that this run created or replaced.
// The names come from the header, read again; a file of the same name that
// the run did not write is left alone.
static void DeleteWrittenExeFolderEntries(const PayloadHeader *header, char *path) {
    if (!PayloadCountsValid(header)) {
        return;
    }
    char folder[PathBufferSize];
    KeepFolderPart(path);
    CopyText(folder, sizeof folder, path);
    int32_t count = ExeFolderEntryCount(header);
    for (int32_t i = 0; i < count; i++) {
        if (EntryWrittenThisRun(i) &&
            ComposeEntryPath(path, PathBufferSize, folder, &header->entries[i])) {
            DeleteFileA(path);
        }
    }
}

bool CleanUpAfterRun(HINSTANCE instance) {
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    char path[PathBufferSize];
    PayloadFile file;
    bool opened = OpenPayloadFile(instance, path, &file);
    PayloadHeader header;
    if (opened && ReadPayloadHeader(&file, &header) && HasPayloadMagic(&header)) {
        DeleteWrittenExeFolderEntries(&header, path);
    }
    SetErrorMode(previousMode);
    if (opened) {
        ClosePayloadFile(&file);
    }
    ReleaseRunTempFolder();
    SweepRunTempFolders();
    return true;
}

static bool IsReparsePoint(const WIN32_FIND_DATAA *item) {
    return (item->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

static bool IsFolder(const WIN32_FIND_DATAA *item) {
    return (item->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static bool IsDotEntry(const char *name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Nobody holds the folder's lock file: it opens without sharing.
static bool LockIsFree(const char *folder) {
    char lockPath[PathBufferSize];
    if (JoinPath(lockPath, sizeof lockPath, folder, RunLockFileName) == nullptr) {
        return false;
    }
    HANDLE lock = CreateFileA(lockPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(lock);
    return true;
}

int SweepRunTempFolders() {
    char tempPath[PathBufferSize];
    DWORD length = GetTempPathA(sizeof tempPath, tempPath);
    if (length == 0 || length >= sizeof tempPath || !AppendToPath(tempPath, sizeof tempPath, "")) {
        return 0;
    }
    char folder[PathBufferSize];
    if (JoinPath(folder, sizeof folder, tempPath, "TempFolder.*") == nullptr) {
        return 0;
    }
    WIN32_FIND_DATAA item;
    HANDLE search = FindFirstFileA(folder, &item);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int result = 0;
    do {
        // A link named like a run folder was not made by a run: never follow it.
        if (!IsFolder(&item) || IsReparsePoint(&item)) {
            continue;
        }
        if (JoinPath(folder, sizeof folder, tempPath, item.cFileName) == nullptr ||
            !AppendToPath(folder, sizeof folder, "")) {
            continue;
        }
        if (LockIsFree(folder)) {
            result |= DeleteFolderTree(folder);
        }
    } while (FindNextFileA(search, &item));
    FindClose(search);
    return result;
}

// Deletes one item found in a folder; a link goes as the link itself.
static int DeleteFolderItem(char *itemPath, const WIN32_FIND_DATAA *item) {
    if (!IsFolder(item)) {
        return DeleteFileA(itemPath);
    }
    if (IsReparsePoint(item)) {
        return RemoveDirectoryA(itemPath);
    }
    return DeleteFolderTree(itemPath);
}

int DeleteFolderTree(char *folder) {
    if (!AppendToPath(folder, PathBufferSize, "")) {
        return 0;
    }
    char itemPath[PathBufferSize];
    if (JoinPath(itemPath, sizeof itemPath, folder, "*.*") == nullptr) {
        return 0;
    }
    WIN32_FIND_DATAA item;
    HANDLE search = FindFirstFileA(itemPath, &item);
    if (search != INVALID_HANDLE_VALUE) {
        bool stopped = false;
        do {
            if (IsDotEntry(item.cFileName)) {
                continue;
            }
            // An item whose path does not fit cannot be deleted: the folder stays.
            if (JoinPath(itemPath, sizeof itemPath, folder, item.cFileName) == nullptr ||
                DeleteFolderItem(itemPath, &item) == 0) {
                stopped = true;
                break;
            }
        } while (FindNextFileA(search, &item));
        FindClose(search);
        if (stopped) {
            return 0;
        }
    }
    return RemoveDirectoryA(folder);
}
