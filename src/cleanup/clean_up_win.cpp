// Clean-up after the run.
#include "clean_up.h"

#include "clean_up_internal.h"
#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "payload/extract_payload.h"
#include "payload/payload_file.h"
#include "tempfolder/run_folder_name.h"
#include "tempfolder/run_temp_folder.h"

// Deletes the exe-folder entries' files that this run created, and puts
// back the files it moved aside in their place. The names come from the
// header, read again; a file of the same name that the run did not write is
// left alone. Last entry first: where two entries share a name, the later
// one found the earlier one's file and moved that aside.
static void UndoExeFolderEntries(const RunState *run, const PayloadHeader *header, wchar_t *path) {
    if (!PayloadCountsValid(header)) {
        return;
    }
    wchar_t folder[PathBufferSize];
    wchar_t aside[PathBufferSize];
    KeepFolderPart(path);
    CopyText(folder, PathBufferSize, path);
    HANDLE lock = LockExeFolder(folder);
    for (int32_t i = ExeFolderEntryCount(header) - 1; i >= 0; i--) {
        if (!EntryWrittenThisRun(run, i) ||
            !ComposeWideEntryPath(path, folder, &header->entries[i])) {
            continue;
        }
        // A moved-aside file that is gone was put back by another run of
        // the same show: the file under the name is then the user's.
        if (!EntryMovedAsideThisRun(run, i)) {
            DeleteFileByPath(path);
        } else if (ComposeMovedAsidePath(aside, path)) {
            MoveFileExW(aside, path, MOVEFILE_REPLACE_EXISTING);
        }
    }
    UnlockExeFolder(lock);
}

// Windows cannot remove a folder that is a process's current directory, and
// the player may have left the launcher's inside the run folder (it is handed
// that path, perhaps in its short form): the launcher then moves to its own
// folder first. Paths compare ordinally, as the file system's names do.
static void LeaveRunFolder(HINSTANCE instance, const RunTempFolder *runFolder) {
    if (runFolder->widePath == nullptr) {
        return;
    }
    wchar_t current[PathBufferSize];
    DWORD length = GetCurrentDirectoryW(PathBufferSize, current);
    if (length == 0 || length >= PathBufferSize || !AppendToPath(current, PathBufferSize, L"")) {
        return;
    }
    if (!PathStartsWith(current, runFolder->widePath)) {
        // Perhaps set through short names: compared in its long form.
        length = GetLongPathNameW(current, current, PathBufferSize);
        if (length == 0 || length >= PathBufferSize ||
            !AppendToPath(current, PathBufferSize, L"") ||
            !PathStartsWith(current, runFolder->widePath)) {
            return;
        }
    }
    length = GetModuleFileNameW(instance, current, PathBufferSize);
    if (length != 0 && length < PathBufferSize) {
        KeepFolderPart(current);
        SetCurrentFolderByPath(current);
    }
}

static int DeleteRunFolder(wchar_t *folder, bool takeLockless);

void CleanUpAfterRun(HINSTANCE instance, RunState *run) {
    LeaveRunFolder(instance, &run->tempFolder);
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    wchar_t path[PathBufferSize];
    PayloadFile file;
    bool opened = OpenPayloadFile(instance, path, &file);
    PayloadHeader header;
    if (opened && ReadPayloadHeader(&file, &header) && HasPayloadMagic(&header)) {
        UndoExeFolderEntries(run, &header, path);
    }
    if (opened) {
        ClosePayloadFile(&file);
    }
    // The run's own folder goes first, by its path: a root that this user
    // may create folders in but not list would hide it from the sweep.
    wchar_t ownFolder[PathBufferSize];
    bool hadFolder = GetRunTempFolder(&run->tempFolder, ownFolder, false);
    ReleaseRunTempFolder(&run->tempFolder);
    if (hadFolder) {
        DeleteRunFolder(ownFolder, true);
    }
    // An empty removable drive must not make Windows ask for a disk.
    SweepRunTempFolders();
    SetErrorMode(previousMode);
}

static bool IsReparsePoint(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

static bool IsFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static bool IsDotEntry(const wchar_t *name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The item is not there: another run deleting the same folder at the same
// moment took it first, which is as good as deleting it here.
static bool GoneAlready() {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

static bool DeleteFileItem(const wchar_t *path) {
    return DeleteFileByPath(path) || GoneAlready();
}

// An item of a folder being deleted, opened as itself (a link, never what it
// points to), with its attributes as the opened item has them. Nobody may
// rename or delete it while it is open, so a folder held open cannot be
// swapped for a link while its contents go.
struct OpenItem {
    HANDLE handle;
    DWORD attributes;
};

// The by-handle information calls of Windows Vista and later; null on
// Windows XP, which lacks them.
typedef BOOL(WINAPI *InformationByHandle)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

static InformationByHandle FindInformationByHandle(const char *name) {
    // Without kernel32 (which cannot be), GetProcAddress looks in the
    // launcher's own image and finds nothing.
    return reinterpret_cast<InformationByHandle>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// The attributes come from the handle: FileAttributeTagInfo where the system
// has it (it is what the question is for, and it asks the file system for
// nothing else), else the whole information of Windows XP.
static bool OpenFolderItem(const wchar_t *path, DWORD access, OpenItem *item) {
    item->handle = CreateFileW(path, access | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (item->handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    InformationByHandle getInformation = FindInformationByHandle("GetFileInformationByHandleEx");
    FILE_ATTRIBUTE_TAG_INFO tag;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = getInformation != nullptr
                     ? getInformation(item->handle, FileAttributeTagInfo, &tag, sizeof tag)
                     : GetFileInformationByHandle(item->handle, &information);
    if (!known) {
        CloseHandle(item->handle);
        return false;
    }
    item->attributes =
        getInformation != nullptr ? tag.FileAttributes : information.dwFileAttributes;
    return true;
}

// A folder and not a link to one: the only kind of item gone into.
static bool IsPlainFolder(DWORD attributes) {
    return IsFolder(attributes) && !IsReparsePoint(attributes);
}

// Deletes the item at path, opened anew with the right to delete it, when it
// is still of the kind the caller checked (a plain folder or not): through
// its handle where the system can, so that what goes is what was checked;
// else by path (Windows XP), which for the last part of a path removes a
// link itself. A read-only file (a player copies files from a CD with the
// attribute) loses it first; a link keeps its attributes.
static bool DeleteCheckedItem(const wchar_t *path, DWORD checkedAttributes) {
    OpenItem item;
    if (!OpenFolderItem(path, DELETE, &item)) {
        return GoneAlready();
    }
    DWORD attributes = item.attributes;
    bool deleted = false;
    if (IsPlainFolder(attributes | (checkedAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) ==
        IsPlainFolder(checkedAttributes)) {
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && !IsReparsePoint(attributes)) {
            SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        InformationByHandle setInformation = FindInformationByHandle("SetFileInformationByHandle");
        FILE_DISPOSITION_INFO disposition = {TRUE};
        deleted = setInformation != nullptr && setInformation(item.handle, FileDispositionInfo,
                                                              &disposition, sizeof disposition);
        CloseHandle(item.handle);
        deleted = deleted ||
                  (IsFolder(attributes) ? RemoveFolderByPath(path) : DeleteFileByPath(path)) ||
                  GoneAlready();
    } else {
        CloseHandle(item.handle);
    }
    return deleted;
}

static bool DeleteFolderContents(wchar_t *folder, const wchar_t *keptName);

// Deletes one item found in a folder (listed: its attributes in the
// listing), as what the opened item is: a folder swapped for a link after
// the listing goes as the link. It is a link also when only the listing
// says so (Wine opens what a link points to). A folder is held open while
// its contents go.
static bool DeleteFolderItem(wchar_t *itemPath, DWORD listed) {
    OpenItem held;
    if (!OpenFolderItem(itemPath, 0, &held)) {
        return GoneAlready();
    }
    DWORD checked = held.attributes | (listed & FILE_ATTRIBUTE_REPARSE_POINT);
    bool emptied = !IsPlainFolder(checked) || (AppendToPath(itemPath, PathBufferSize, L"") &&
                                               DeleteFolderContents(itemPath, nullptr));
    CloseHandle(held.handle);
    return emptied && DeleteCheckedItem(itemPath, checked);
}

// Deletes everything in folder (ending in '\') but the item named keptName
// (none when null), depth first; an item that stays does not stop the rest.
// True when nothing but that item is left.
static bool DeleteFolderContents(wchar_t *folder, const wchar_t *keptName) {
    wchar_t itemPath[PathBufferSize];
    if (JoinPath(itemPath, PathBufferSize, folder, L"*.*") == nullptr) {
        return false;
    }
    WIN32_FIND_DATAW item;
    HANDLE search = FindFirstFileW(itemPath, &item);
    if (search == INVALID_HANDLE_VALUE) {
        return true;  // nothing in it, or the folder itself is gone
    }
    bool emptied = true;
    do {
        if (IsDotEntry(item.cFileName) ||
            (keptName != nullptr && PathStartsWith(item.cFileName, keptName) &&
             item.cFileName[TextLength(keptName)] == L'\0')) {
            continue;
        }
        // An item whose path does not fit cannot be deleted: the folder stays.
        if (JoinPath(itemPath, PathBufferSize, folder, item.cFileName) == nullptr ||
            !DeleteFolderItem(itemPath, item.dwFileAttributes)) {
            emptied = false;
        }
    } while (FindNextFileW(search, &item));
    FindClose(search);
    return emptied;
}

int DeleteFolderTree(char *folder) {
    wchar_t wideFolder[PathBufferSize];
    if (!AppendToPath(folder, PathBufferSize, "", IsAnsiLeadByte) ||
        !WideFormOfPath(wideFolder, PathBufferSize, folder)) {
        return 0;
    }
    return DeleteFolderTree(wideFolder);
}

int DeleteFolderTree(wchar_t *folder) {
    return AppendToPath(folder, PathBufferSize, L"") &&
           AttributesByPath(folder) != INVALID_FILE_ATTRIBUTES && DeleteFolderItem(folder, 0);
}

// Deletes a run folder (ending in '\') whose lock file nobody holds. The
// sweep holds the lock itself, without sharing, until the rest is gone, so
// no other run's sweep deletes the same folder at the same time. The lock
// goes last: a folder that cannot be emptied keeps it and is tried again by
// later sweeps. It is deleted while still held (the open allows that), so
// there is no moment at which another sweep could take it up again. A folder
// that is empty but cannot be removed gets its lock back. A folder without a
// lock gets one first where takeLockless allows: a run that could not make
// its lock gave the folder up, and one that is about to make it finds it
// taken and moves on.
// The folder itself is held open throughout, as a folder and not a link.
static int DeleteRunFolder(wchar_t *folder, bool takeLockless) {
    wchar_t lockPath[PathBufferSize];
    OpenItem self;
    if (JoinPath(lockPath, PathBufferSize, folder, RunLockFileNameW) == nullptr ||
        !OpenFolderItem(folder, 0, &self)) {
        return 0;
    }
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (IsPlainFolder(self.attributes)) {
        lock = CreateFileByPath(lockPath, GENERIC_READ, FILE_SHARE_DELETE, OPEN_EXISTING,
                                FILE_ATTRIBUTE_READONLY);
        if (lock == INVALID_HANDLE_VALUE && takeLockless &&
            GetLastError() == ERROR_FILE_NOT_FOUND) {
            lock = CreateFileByPath(lockPath, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN);
        }
    }
    if (lock == INVALID_HANDLE_VALUE) {
        CloseHandle(self.handle);
        return 0;
    }
    bool emptied = DeleteFolderContents(folder, RunLockFileNameW) && DeleteFileItem(lockPath);
    CloseHandle(lock);
    CloseHandle(self.handle);
    if (!emptied) {
        return 0;
    }
    if (DeleteCheckedItem(folder, self.attributes)) {
        return 1;
    }
    // The empty folder stays (Windows keeps a folder that is some process's
    // current directory): a new lock, free at once, lets a later sweep retry.
    if (!GoneAlready()) {
        HANDLE newLock = CreateLockFileIn(folder);
        if (newLock != INVALID_HANDLE_VALUE) {
            CloseHandle(newLock);
        }
    }
    return 0;
}

// Sweeps one root (ending in '\'); see SweepRunTempFolders.
static int SweepRoot(const wchar_t *root, bool takeLockless) {
    wchar_t folder[PathBufferSize];
    if (JoinPath(folder, PathBufferSize, root, L"TempFolder.*") == nullptr) {
        return 0;
    }
    WIN32_FIND_DATAW item;
    HANDLE search = FindFirstFileW(folder, &item);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;  // none there, or a root this user may not list
    }
    int result = 0;
    do {
        // A link named like a run folder was not made by a run: never follow it.
        if (!IsFolder(item.dwFileAttributes) || IsReparsePoint(item.dwFileAttributes)) {
            continue;
        }
        if (JoinPath(folder, PathBufferSize, root, item.cFileName) != nullptr &&
            AppendToPath(folder, PathBufferSize, L"")) {
            result |= DeleteRunFolder(folder, takeLockless);
        }
    } while (FindNextFileW(search, &item));
    FindClose(search);
    return result;
}

int SweepRunTempFolders() {
    int result = 0;
    wchar_t root[PathBufferSize];
    for (int32_t i = 0; i < RunFolderRootCount; i++) {
        // The second root is shared by every user and program: a folder
        // there is taken only with a lock that a run made.
        if (GetRunFolderRoot(i, root)) {
            result |= SweepRoot(root, i == 0);
        }
    }
    return result;
}
