// Finding and loading the runtime library and the player library.
#include "library_search.h"

#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "common/player_interface.h"
#include "library_search_internal.h"

const LibrarySearchSetup DefaultLibrarySearch = {
    "msvcrt.dll", "lumv.dll", "Kivox", "Vantorel\\Brisklume 8", GetCurrentDirectoryA,
};

int32_t LoadRuntimeLibrary(const RunTempFolder *runFolder, HMODULE *module) {
    return LoadRuntimeLibraryWith(&DefaultLibrarySearch, runFolder, module);
}

int32_t LoadPlayerLibrary(const RunTempFolder *runFolder, HMODULE *module, int32_t *location) {
    return LoadPlayerLibraryWith(&DefaultLibrarySearch, runFolder, module, location);
}

HMODULE LoadLibraryFromFolder(const char *folder, const char *name) {
    wchar_t wideFolder[PathBufferSize];
    wchar_t wideName[PathBufferSize];
    if (!WideFormOfPath(wideFolder, PathBufferSize, folder) ||
        !WideFormOfPath(wideName, PathBufferSize, name)) {
        return nullptr;
    }
    return LoadLibraryFromFolder(wideFolder, wideName);
}

HMODULE LoadLibraryFromFolder(const wchar_t *folder, const wchar_t *name) {
    wchar_t libraryPath[PathBufferSize];
    if (JoinPath(libraryPath, PathBufferSize, folder, name) == nullptr) {
        return nullptr;
    }
    if (!SetCurrentFolderByPath(folder)) {
        return nullptr;
    }
    // A damaged library must not make Windows ask the user before the
    // search moves on.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE module = LoadLibraryByPath(libraryPath);
    SetErrorMode(previousMode);
    return module;
}

// The current directory as it was before a search. It normally fits the
// 256-byte buffer; a longer one is kept in a block of its own, so that it
// is still put back exactly. Its wide form, when it can be had, is what is
// put back: the ANSI form loses a folder name outside the code page.
struct SavedDirectory {
    char text[CurrentDirectoryBufferSize];
    char *longText;
    wchar_t wideText[PathBufferSize];
    bool haveWideText;
};

static bool SaveCurrentDirectory(const LibrarySearchSetup *setup, SavedDirectory *saved) {
    saved->longText = nullptr;
    DWORD result = setup->getCurrentDirectory(sizeof saved->text, saved->text);
    if (result == 0) {
        return false;
    }
    DWORD wideLength = GetCurrentDirectoryW(PathBufferSize, saved->wideText);
    saved->haveWideText = wideLength != 0 && wideLength < PathBufferSize;
    if (result < sizeof saved->text) {
        return true;
    }
    // result is the size needed, terminator included.
    saved->longText = static_cast<char *>(GlobalAlloc(GMEM_FIXED, result));
    if (saved->longText == nullptr) {
        return false;
    }
    DWORD again = setup->getCurrentDirectory(result, saved->longText);
    if (again == 0 || again >= result) {
        GlobalFree(saved->longText);
        saved->longText = nullptr;
        return false;
    }
    return true;
}

static void RestoreCurrentDirectory(SavedDirectory *saved) {
    if (saved->haveWideText) {
        SetCurrentFolderByPath(saved->wideText);
    } else {
        SetCurrentDirectoryA(saved->longText != nullptr ? saved->longText : saved->text);
    }
    if (saved->longText != nullptr) {
        GlobalFree(saved->longText);
        saved->longText = nullptr;
    }
}

// The executable's folder by its wide path, which names it in any folder;
// false when the path cannot be read or does not fit.
static bool GetExeFolder(wchar_t *folder) {
    DWORD length = GetModuleFileNameW(nullptr, folder, PathBufferSize);
    if (length == 0 || length >= PathBufferSize) {
        return false;
    }
    return CutToFolder(folder);
}

// Tries the executable's folder, then its local sub-folder. Returns the
// PlayerLocation of the hit (1 or 3), or 0 with a null module.
static int32_t LoadFromExeFolders(const LibrarySearchSetup *setup, const char *name,
                                  HMODULE *module) {
    wchar_t folder[PathBufferSize];
    wchar_t wideName[PathBufferSize];
    wchar_t localFolderName[PathBufferSize];
    *module = nullptr;
    if (!GetExeFolder(folder) || !WideFormOfPath(wideName, PathBufferSize, name) ||
        !WideFormOfPath(localFolderName, PathBufferSize, setup->localFolderName)) {
        return PlayerLocationNone;
    }
    *module = LoadLibraryFromFolder(folder, wideName);
    if (*module != nullptr) {
        return PlayerLocationExeFolder;
    }
    if (!AppendToPath(folder, PathBufferSize, localFolderName)) {
        return PlayerLocationNone;
    }
    *module = LoadLibraryFromFolder(folder, wideName);
    return *module != nullptr ? PlayerLocationKivoxFolder : PlayerLocationNone;
}

int32_t LoadRuntimeLibraryWith(const LibrarySearchSetup *setup, const RunTempFolder *runFolder,
                               HMODULE *module) {
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    *module = LoadLibraryA(setup->runtimeName);
    SetErrorMode(previousMode);
    if (*module != nullptr) {
        return LaunchOk;
    }
    SavedDirectory saved;
    if (!SaveCurrentDirectory(setup, &saved)) {
        return LaunchCurrentDirectoryUnreadable;
    }
    if (runFolder->widePath != nullptr) {
        wchar_t runtimeName[PathBufferSize];
        if (WideFormOfPath(runtimeName, PathBufferSize, setup->runtimeName)) {
            *module = LoadLibraryFromFolder(runFolder->widePath, runtimeName);
        }
    }
    if (*module == nullptr) {
        LoadFromExeFolders(setup, setup->runtimeName, module);
    }
    RestoreCurrentDirectory(&saved);
    return *module != nullptr ? LaunchOk : LaunchRuntimeNotFound;
}

static HMODULE LoadFromInstallFolder(const LibrarySearchSetup *setup) {
    char folder[PathBufferSize];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        return nullptr;
    }
    if (!AppendToPath(folder, sizeof folder, setup->installFolderName, IsAnsiLeadByte)) {
        return nullptr;
    }
    return LoadLibraryFromFolder(folder, setup->playerName);
}

// The search proper, between saving and restoring the current directory.
static int32_t SearchPlayerLibrary(const LibrarySearchSetup *setup, const RunTempFolder *runFolder,
                                   HMODULE *module, int32_t *location) {
    if (runFolder->widePath != nullptr) {
        // Once the run has its own folder, only that folder counts. The
        // player takes the folder's path in ANSI: without such a name for
        // it (RunTempFolderPath null), a player found there could not be
        // told where it is, so none is loaded.
        *location = PlayerLocationRunTempFolder;
        wchar_t playerName[PathBufferSize];
        if (runFolder->RunTempFolderPath != nullptr &&
            WideFormOfPath(playerName, PathBufferSize, setup->playerName)) {
            *module = LoadLibraryFromFolder(runFolder->widePath, playerName);
        }
        return *module != nullptr ? LaunchOk : LaunchRunFolderPlayerNotLoadable;
    }
    *location = LoadFromExeFolders(setup, setup->playerName, module);
    if (*module != nullptr) {
        return LaunchOk;
    }
    *module = LoadFromInstallFolder(setup);
    if (*module == nullptr) {
        return LaunchPlayerNotFound;
    }
    *location = PlayerLocationSystemInstall;
    return LaunchOk;
}

int32_t LoadPlayerLibraryWith(const LibrarySearchSetup *setup, const RunTempFolder *runFolder,
                              HMODULE *module, int32_t *location) {
    *module = nullptr;
    *location = PlayerLocationNone;
    SavedDirectory saved;
    if (!SaveCurrentDirectory(setup, &saved)) {
        return LaunchCurrentDirectoryUnreadable;
    }
    int32_t status = SearchPlayerLibrary(setup, runFolder, module, location);
    RestoreCurrentDirectory(&saved);
    return status;
}
