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

// The item is not there: another run deleting the same folder at the same
// moment took it first, which is as good as deleting it here.
static bool GoneAlready() {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

static bool DeleteFileItem(const char *path) {
    return DeleteFileA(path) || GoneAlready();
}

static bool DeleteFolderContents(char *folder, const char *keptName);

// Deletes one item found in a folder; a link goes as the link itself.
static bool DeleteFolderItem(char *itemPath, const WIN32_FIND_DATAA *item) {
    if (!IsFolder(item)) {
        return DeleteFileItem(itemPath);
    }
    if (!IsReparsePoint(item) &&
        (!AppendToPath(itemPath, PathBufferSize, "") || !DeleteFolderContents(itemPath, nullptr))) {
        return false;
    }
    return RemoveDirectoryA(itemPath) || GoneAlready();
}

// Deletes everything in folder (ending in '\') but the item named keptName
// (none when null), depth first, stopping at the first item that stays.
// True when nothing but that item is left.
static bool DeleteFolderContents(char *folder, const char *keptName) {
    char itemPath[PathBufferSize];
    if (JoinPath(itemPath, sizeof itemPath, folder, "*.*") == nullptr) {
        return false;
    }
    WIN32_FIND_DATAA item;
    HANDLE search = FindFirstFileA(itemPath, &item);
    if (search == INVALID_HANDLE_VALUE) {
        return true;  // nothing in it, or the folder itself is gone
    }
    bool emptied = true;
    do {
        if (IsDotEntry(item.cFileName) ||
            (keptName != nullptr && lstrcmpiA(item.cFileName, keptName) == 0)) {
            continue;
        }
        // An item whose path does not fit cannot be deleted: the folder stays.
        if (JoinPath(itemPath, sizeof itemPath, folder, item.cFileName) == nullptr ||
            !DeleteFolderItem(itemPath, &item)) {
            emptied = false;
            break;
        }
    } while (FindNextFileA(search, &item));
    FindClose(search);
    return emptied;
}

int DeleteFolderTree(char *folder) {
    if (!AppendToPath(folder, PathBufferSize, "") || !DeleteFolderContents(folder, nullptr)) {
        return 0;
    }
    return RemoveDirectoryA(folder);
}

// Deletes a run folder (ending in '\') whose lock file nobody holds. The
// sweep holds the lock itself, without sharing, until the rest is gone, so
// no other run's sweep deletes the same folder at the same time. The lock
// goes last: a folder that cannot be emptied keeps it and is tried again by
// later sweeps. It is deleted while still held (the open allows that), so
// there is no moment at which another sweep could take it up again.
static int DeleteRunFolder(char *folder) {
    char lockPath[PathBufferSize];
    if (JoinPath(lockPath, sizeof lockPath, folder, RunLockFileName) == nullptr) {
        return 0;
    }
    HANDLE lock = CreateFileA(lockPath, GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
        return 0;
    }
    bool emptied = DeleteFolderContents(folder, RunLockFileName) && DeleteFileItem(lockPath);
    CloseHandle(lock);
    return emptied ? RemoveDirectoryA(folder) : 0;
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
        if (JoinPath(folder, sizeof folder, tempPath, item.cFileName) != nullptr &&
            AppendToPath(folder, sizeof folder, "")) {
            result |= DeleteRunFolder(folder);
        }
    } while (FindNextFileA(search, &item));
    FindClose(search);
    return result;
}
