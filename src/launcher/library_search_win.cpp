// Finding and loading the runtime library and the player library.
#include "library_search.h"

#include "common/path_rules.h"
#include "common/player_interface.h"
#include "tempfolder/run_temp_folder.h"

const LibrarySearchSetup DefaultLibrarySearch = {
    "msvcrt.dll", "lumv.dll", "Kivox", "Vantorel\\Brisklume 8", GetCurrentDirectoryA,
};

int32_t LoadRuntimeLibrary(HMODULE *module) {
    return LoadRuntimeLibraryWith(&DefaultLibrarySearch, module);
}

int32_t LoadPlayerLibrary(HMODULE *module, int32_t *location) {
    return LoadPlayerLibraryWith(&DefaultLibrarySearch, module, location);
}

HMODULE LoadLibraryFromFolder(const char *folder, const char *name) {
    char libraryPath[PathBufferSize];
    if (JoinPath(libraryPath, sizeof libraryPath, folder, name) == nullptr) {
        return nullptr;
    }
    if (!SetCurrentDirectoryA(folder)) {
        return nullptr;
    }
    return LoadLibraryA(libraryPath);
}

// The current directory as it was before a search. It normally fits the
// 256-byte buffer; a longer one is kept in a block of its own, so that it
// is still put back exactly.
struct SavedDirectory {
    char text[CurrentDirectoryBufferSize];
    char *longText;
};

static bool SaveCurrentDirectory(const LibrarySearchSetup *setup, SavedDirectory *saved) {
    saved->longText = nullptr;
    DWORD result = setup->getCurrentDirectory(sizeof saved->text, saved->text);
    if (result == 0) {
        return false;
    }
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
    if (saved->longText != nullptr) {
        SetCurrentDirectoryA(saved->longText);
        GlobalFree(saved->longText);
        saved->longText = nullptr;
        return;
    }
    SetCurrentDirectoryA(saved->text);
}

// The executable's folder, false when its path cannot be read or does not fit.
static bool GetExeFolder(char *folder) {
    DWORD length = GetModuleFileNameA(nullptr, folder, PathBufferSize);
    if (length == 0 || length >= PathBufferSize) {
        return false;
    }
    return CutToFolder(folder);
}

// Tries the executable's folder, then its local sub-folder. Returns the
// PlayerLocation of the hit (1 or 3), or 0 with a null module.
static int32_t LoadFromExeFolders(const LibrarySearchSetup *setup, const char *name,
                                  HMODULE *module) {
    char folder[PathBufferSize];
    *module = nullptr;
    if (!GetExeFolder(folder)) {
        return PlayerLocationNone;
    }
    *module = LoadLibraryFromFolder(folder, name);
    if (*module != nullptr) {
        return PlayerLocationExeFolder;
    }
    if (!AppendToPath(folder, sizeof folder, setup->localFolderName)) {
        return PlayerLocationNone;
    }
    *module = LoadLibraryFromFolder(folder, name);
    return *module != nullptr ? PlayerLocationKivoxFolder : PlayerLocationNone;
}

int32_t LoadRuntimeLibraryWith(const LibrarySearchSetup *setup, HMODULE *module) {
    *module = LoadLibraryA(setup->runtimeName);
    if (*module != nullptr) {
        return LaunchOk;
    }
    SavedDirectory saved;
    if (!SaveCurrentDirectory(setup, &saved)) {
        return LaunchCurrentDirectoryUnreadable;
    }
    char runFolder[PathBufferSize];
    if (GetRunTempFolder(runFolder, false)) {
        *module = LoadLibraryFromFolder(runFolder, setup->runtimeName);
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
    if (!AppendToPath(folder, sizeof folder, setup->installFolderName)) {
        return nullptr;
    }
    return LoadLibraryFromFolder(folder, setup->playerName);
}

// The search proper, between saving and restoring the current directory.
static int32_t SearchPlayerLibrary(const LibrarySearchSetup *setup, HMODULE *module,
                                   int32_t *location) {
    char runFolder[PathBufferSize];
    if (GetRunTempFolder(runFolder, false)) {
        // Once the run has its own folder, only that folder counts.
        *location = PlayerLocationRunTempFolder;
        *module = LoadLibraryFromFolder(runFolder, setup->playerName);
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

int32_t LoadPlayerLibraryWith(const LibrarySearchSetup *setup, HMODULE *module, int32_t *location) {
    *module = nullptr;
    *location = PlayerLocationNone;
    SavedDirectory saved;
    if (!SaveCurrentDirectory(setup, &saved)) {
        return LaunchCurrentDirectoryUnreadable;
    }
    int32_t status = SearchPlayerLibrary(setup, module, location);
    RestoreCurrentDirectory(&saved);
    return status;
}
