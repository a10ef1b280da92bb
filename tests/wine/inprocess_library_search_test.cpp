// In-process tests of the runtime and player library searches and of loading
// from a folder: where each library is found, the statuses, the current directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/clean_up_internal.h"
#include "common/player_interface.h"
#include "launcher/library_search_internal.h"
#include "tempfolder/run_temp_folder_internal.h"
#include "test_support.h"

namespace {

using lumvtest::CopyFileTo;
using lumvtest::DeleteTree;
using lumvtest::FolderExists;
using lumvtest::ImportHook;
using lumvtest::MakeFolder;
using lumvtest::MakeFolderOfLength;
using lumvtest::ScopedEnvironmentVariable;
using lumvtest::ScratchFolder;
using lumvtest::TestPlayerDllPath;
using lumvtest::WideFromUtf8;

std::string CurrentDirectory() {
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    std::string text(needed, '\0');
    DWORD length = GetCurrentDirectoryA(needed, &text[0]);
    text.resize(length < needed ? length : 0);
    return text;
}

std::string ModulePath(HMODULE module) {
    char path[2 * MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Module paths are compared without regard to case, as the file system does.
#define EXPECT_SAME_PATH(actual, expected) EXPECT_EQ(Lower(actual), Lower(expected))

std::string ExeFolder() {
    std::string path = ModulePath(nullptr);
    return path.substr(0, path.find_last_of('\\'));
}

std::string SystemFolder() {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

// Names no other test and no other process uses, so that a library loaded by
// one test is never mistaken for another test's.
std::string UniqueName(const char *kind, const char *extension = ".dll") {
    static unsigned counter = 0;
    return "lumvt-" + std::string(kind) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + extension;
}

int directoryReads = 0;

DWORD WINAPI CountingGetCurrentDirectory(DWORD size, LPSTR buffer) {
    directoryReads++;
    return GetCurrentDirectoryA(size, buffer);
}

DWORD WINAPI UnreadableCurrentDirectory(DWORD, LPSTR) {
    directoryReads++;
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

UINT WINAPI NoWindowsFolder(LPWSTR, UINT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

// A value no search ever stores, to see that the out-arguments are written.
HMODULE const kUntouchedModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10));

// Each test searches for libraries under names of its own: a runtime and a
// player that exist nowhere until the test puts a copy of the test player
// somewhere, a local sub-folder of the test program's folder and an install
// folder under the system folder, neither of which exists until a test makes
// it. The current directory is an empty scratch folder, and no run folder
// exists unless the test creates one (TMP points into the scratch folder).
class LibrarySearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartRunTempFolder(&runFolder_);
        original_ = CurrentDirectory();
        ASSERT_TRUE(MakeFolder(work_));
        ASSERT_TRUE(MakeFolder(temp_));
        ASSERT_TRUE(SetCurrentDirectoryA(work_.c_str()));
        ASSERT_FALSE(FolderExists(ExeFolder() + "\\" + localFolderName_));
        directoryReads = 0;
        setup_.runtimeName = runtimeName_.c_str();
        setup_.playerName = playerName_.c_str();
        setup_.localFolderName = localFolderName_.c_str();
        setup_.installFolderName = installFolderName_.c_str();
        setup_.getCurrentDirectory = CountingGetCurrentDirectory;
    }

    void TearDown() override {
        for (HMODULE module : modules_) {
            FreeLibrary(module);
        }
        SetCurrentDirectoryA(original_.c_str());
        ReleaseRunTempFolder(&runFolder_);
        for (const std::string &path : placed_) {
            DeleteTree(path);
        }
    }

    // Creates the run folder; empty on failure.
    std::string CreateRunFolder() {
        char folder[MAX_PATH];
        return GetRunTempFolder(&runFolder_, folder, true) ? std::string(folder) : std::string();
    }

    // Puts a copy of the test player into folder under name. Whatever is
    // placed outside the scratch folder is removed after the test: the file,
    // or the topmost folder created for it (cleanupRoot).
    bool Place(const std::string &folder, const std::string &name,
               const std::string &cleanupRoot = std::string()) {
        if (!cleanupRoot.empty()) {
            placed_.push_back(cleanupRoot);
        }
        if (!MakeFolder(folder)) {
            return false;
        }
        std::string path = folder + (folder.back() == '\\' ? "" : "\\") + name;
        if (cleanupRoot.empty()) {
            placed_.push_back(path);
        }
        return CopyFileTo(TestPlayerDllPath(), path);
    }

    std::string LocalFolder() const { return ExeFolder() + "\\" + localFolderName_; }
    std::string InstallRoot() const { return SystemFolder() + "\\" + installRootName_; }

    // The searches, each checked for leaving the current directory as it was.
    int32_t SearchRuntime(HMODULE *module) {
        std::string before = CurrentDirectory();
        *module = kUntouchedModule;
        int32_t status = LoadRuntimeLibraryWith(&setup_, &runFolder_, module);
        EXPECT_EQ(CurrentDirectory(), before) << "after the runtime search, status " << status;
        Keep(*module);
        return status;
    }

    int32_t SearchPlayer(HMODULE *module, int32_t *location) {
        std::string before = CurrentDirectory();
        *module = kUntouchedModule;
        *location = 99;
        int32_t status = LoadPlayerLibraryWith(&setup_, &runFolder_, module, location);
        EXPECT_EQ(CurrentDirectory(), before) << "after the player search, status " << status;
        Keep(*module);
        return status;
    }

    void Keep(HMODULE module) {
        if (module != nullptr && module != kUntouchedModule) {
            modules_.push_back(module);
        }
    }

    ScratchFolder scratch_{"libsearch"};
    std::string work_ = scratch_.Child("work");
    std::string temp_ = scratch_.Child("temp");
    ScopedEnvironmentVariable tmp_{"TMP", temp_};
    std::string runtimeName_ = UniqueName("rt");
    std::string playerName_ = UniqueName("pl");
    std::string localFolderName_ = UniqueName("local", "");
    std::string installRootName_ = UniqueName("install", "");
    std::string installFolderName_ = installRootName_ + "\\Player 8";
    LibrarySearchSetup setup_ = DefaultLibrarySearch;
    RunTempFolder runFolder_;
    std::string original_;
    std::vector<HMODULE> modules_;
    std::vector<std::string> placed_;
};

// ---- The runtime library ----

TEST_F(LibrarySearchTest, RuntimeFromTheSystemSearchNeverReadsTheCurrentDirectory) {
    ASSERT_FALSE(CreateRunFolder().empty());
    setup_.runtimeName = "msvcrt.dll";
    HMODULE module;
    EXPECT_EQ(SearchRuntime(&module), LaunchOk);
    EXPECT_EQ(module, GetModuleHandleA("msvcrt.dll"));
    EXPECT_EQ(directoryReads, 0);
}

TEST_F(LibrarySearchTest, RuntimeFoundNowhere) {
    HMODULE module;
    EXPECT_EQ(SearchRuntime(&module), LaunchRuntimeNotFound);
    EXPECT_EQ(module, nullptr);
    EXPECT_GT(directoryReads, 0) << "the folders must have been searched";
    EXPECT_EQ(GetModuleHandleA(runtimeName_.c_str()), nullptr);

    // A run folder without the runtime changes nothing.
    ASSERT_FALSE(CreateRunFolder().empty());
    EXPECT_EQ(SearchRuntime(&module), LaunchRuntimeNotFound);
    EXPECT_EQ(module, nullptr);
}

TEST_F(LibrarySearchTest, RuntimeInTheRunFolder) {
    std::string runFolder = CreateRunFolder();
    ASSERT_FALSE(runFolder.empty());
    ASSERT_TRUE(Place(runFolder, runtimeName_));
    HMODULE module;
    EXPECT_EQ(SearchRuntime(&module), LaunchOk);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), runFolder + runtimeName_);
}

// The system search does not look into sub-folders, so a runtime in the local
// folder can only be found by going on past the run folder.
TEST_F(LibrarySearchTest, RuntimeSearchGoesOnPastARunFolderWithoutIt) {
    ASSERT_FALSE(CreateRunFolder().empty());
    ASSERT_TRUE(Place(LocalFolder(), runtimeName_, LocalFolder()));
    HMODULE module;
    EXPECT_EQ(SearchRuntime(&module), LaunchOk);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), LocalFolder() + "\\" + runtimeName_);
}

// ---- The player library ----

TEST_F(LibrarySearchTest, PlayerInTheRunFolder) {
    std::string runFolder = CreateRunFolder();
    ASSERT_FALSE(runFolder.empty());
    ASSERT_TRUE(Place(runFolder, playerName_));
    HMODULE module;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchOk);
    EXPECT_EQ(location, PlayerLocationRunTempFolder);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), runFolder + playerName_);
    EXPECT_NE(GetProcAddress(module, "LumivanceMain"), nullptr);
}

TEST_F(LibrarySearchTest, RunFolderWithoutPlayerEndsThePlayerSearch) {
    ASSERT_FALSE(CreateRunFolder().empty());
    ASSERT_TRUE(Place(ExeFolder(), playerName_));
    ASSERT_TRUE(Place(LocalFolder(), playerName_, LocalFolder()));
    HMODULE module;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchRunFolderPlayerNotLoadable);
    EXPECT_EQ(location, PlayerLocationRunTempFolder);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetModuleHandleA(playerName_.c_str()), nullptr);
}

TEST_F(LibrarySearchTest, PlayerBesideTheExecutableWinsOverTheLocalFolder) {
    ASSERT_TRUE(Place(ExeFolder(), playerName_));
    ASSERT_TRUE(Place(LocalFolder(), playerName_, LocalFolder()));
    HMODULE module;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchOk);
    EXPECT_EQ(location, PlayerLocationExeFolder);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), ExeFolder() + "\\" + playerName_);
}

// Each load by path: the critical-error mode is on (a damaged library must
// not bring up a system dialog), and the library's own folder is searched
// first for what it needs.
struct LoadSeen {
    std::string path;
    DWORD flags;
    UINT errorMode;
};
std::vector<LoadSeen> loadsSeen;
HMODULE(WINAPI *realLoadLibraryExA)(LPCSTR, HANDLE, DWORD) = nullptr;

HMODULE WINAPI RecordingLoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) {
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    loadsSeen.push_back({path, flags, mode});
    return realLoadLibraryExA(path, file, flags);
}

TEST_F(LibrarySearchTest, PlayerLoadsQuietlyWithItsFolderFirst) {
    ASSERT_TRUE(Place(LocalFolder(), playerName_, LocalFolder()));
    UINT before = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE module;
    int32_t location;
    {
        ImportHook hook("LoadLibraryExA", reinterpret_cast<void *>(RecordingLoadLibraryExA));
        ASSERT_TRUE(hook.installed());
        realLoadLibraryExA =
            reinterpret_cast<HMODULE(WINAPI *)(LPCSTR, HANDLE, DWORD)>(hook.original());
        loadsSeen.clear();
        EXPECT_EQ(SearchPlayer(&module, &location), LaunchOk);
    }
    UINT after = SetErrorMode(before);

    EXPECT_EQ(after, static_cast<UINT>(SEM_NOOPENFILEERRORBOX)) << "the mode is put back";
    ASSERT_EQ(loadsSeen.size(), 2u) << "beside the executable, then the local folder";
    for (const LoadSeen &load : loadsSeen) {
        EXPECT_EQ(load.flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH)) << load.path;
        EXPECT_TRUE(load.errorMode & SEM_FAILCRITICALERRORS) << load.path;
    }
    EXPECT_SAME_PATH(loadsSeen.back().path, LocalFolder() + "\\" + playerName_);
}

TEST_F(LibrarySearchTest, PlayerInTheLocalFolder) {
    ASSERT_TRUE(Place(LocalFolder(), playerName_, LocalFolder()));
    HMODULE module;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchOk);
    EXPECT_EQ(location, PlayerLocationKivoxFolder);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), LocalFolder() + "\\" + playerName_);
}

// The install folder name has two levels and is appended to the system folder
// as one name.
TEST_F(LibrarySearchTest, PlayerInTheInstallFolder) {
    std::string installFolder = SystemFolder() + "\\" + installFolderName_;
    ASSERT_TRUE(Place(installFolder, playerName_, InstallRoot()));
    HMODULE module;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchOk);
    EXPECT_EQ(location, PlayerLocationSystemInstall);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), installFolder + "\\" + playerName_);
}

TEST_F(LibrarySearchTest, PlayerFoundNowhere) {
    // An empty local folder is entered and searched in vain.
    ASSERT_TRUE(MakeFolder(LocalFolder()));
    placed_.push_back(LocalFolder());
    HMODULE module;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchPlayerNotFound);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetModuleHandleA(playerName_.c_str()), nullptr);
}

// ---- The current directory ----

TEST_F(LibrarySearchTest, UnreadableCurrentDirectoryStopsBothSearchesBeforeAnyLoad) {
    std::string runFolder = CreateRunFolder();
    ASSERT_FALSE(runFolder.empty());
    const char *block = runFolder_.RunTempFolderPath;
    ASSERT_TRUE(Place(runFolder, runtimeName_));
    ASSERT_TRUE(Place(runFolder, playerName_));
    setup_.getCurrentDirectory = UnreadableCurrentDirectory;

    HMODULE module;
    EXPECT_EQ(SearchRuntime(&module), LaunchCurrentDirectoryUnreadable);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetModuleHandleA(runtimeName_.c_str()), nullptr);
    EXPECT_EQ(directoryReads, 1);

    int32_t location;
    EXPECT_EQ(SearchPlayer(&module, &location), LaunchCurrentDirectoryUnreadable);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(location, PlayerLocationNone);
    EXPECT_EQ(GetModuleHandleA(playerName_.c_str()), nullptr);

    EXPECT_EQ(runFolder_.RunTempFolderPath, block);
    EXPECT_EQ(CurrentDirectory(), work_);
}

// The searches save the current directory in 256 bytes; 255 characters just
// fit, longer ones do not, and 259 is the longest the ANSI calls accept.
// Every one must be back in place after a search that failed and after one
// that found its library.
TEST_F(LibrarySearchTest, LongCurrentDirectoryIsPutBackExactly) {
    ASSERT_TRUE(Place(ExeFolder(), playerName_));
    for (size_t length : {255u, 256u, 257u, 259u}) {
        SCOPED_TRACE("current directory of " + std::to_string(length) + " characters");
        std::string folder =
            MakeFolderOfLength(scratch_.Child("cwd" + std::to_string(length)), length);
        ASSERT_EQ(folder.size(), length);
        ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
        ASSERT_EQ(CurrentDirectory(), folder);

        HMODULE module;
        EXPECT_EQ(SearchRuntime(&module), LaunchRuntimeNotFound);
        EXPECT_EQ(CurrentDirectory(), folder);

        int32_t location;
        EXPECT_EQ(SearchPlayer(&module, &location), LaunchOk);
        EXPECT_EQ(location, PlayerLocationExeFolder);
        EXPECT_EQ(CurrentDirectory(), folder);
        if (module != nullptr && module != kUntouchedModule) {
            FreeLibrary(module);
            modules_.pop_back();
        }
    }
}

// ---- A run folder outside the ANSI code page ----

// The temporary path is outside the ANSI code page on a volume without short
// names, and no folder can be made under the second root either: the player
// could not be told where the run folder is, so the player search ends with
// status 6 without loading it, while the runtime library still loads from
// there by its wide name.
TEST_F(LibrarySearchTest, RunFolderWithoutAnAnsiNameEndsThePlayerSearchWithStatus6) {
    std::wstring temp = WideFromUtf8(temp_ + "\\" + (GetACP() == 932 ? u8"한국어" : u8"日本語"));
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.c_str()));
    wchar_t runFolder[MAX_PATH];
    bool created;
    {
        ImportHook noShortNames("GetShortPathNameW",
                                reinterpret_cast<void *>(lumvtest::LongPathAsShortPath));
        ImportHook noWindowsFolder("GetSystemWindowsDirectoryW",
                                   reinterpret_cast<void *>(NoWindowsFolder));
        ASSERT_TRUE(noShortNames.installed() && noWindowsFolder.installed());
        created = GetRunTempFolder(&runFolder_, runFolder, true);
    }
    SetEnvironmentVariableA("TMP", temp_.c_str());
    ASSERT_TRUE(created);
    EXPECT_EQ(runFolder_.RunTempFolderPath, nullptr);
    for (const std::string &name : {runtimeName_, playerName_}) {
        ASSERT_TRUE(CopyFileW(WideFromUtf8(TestPlayerDllPath()).c_str(),
                              (runFolder + WideFromUtf8(name)).c_str(), FALSE));
    }

    HMODULE runtime;
    EXPECT_EQ(SearchRuntime(&runtime), LaunchOk);
    HMODULE player;
    int32_t location;
    EXPECT_EQ(SearchPlayer(&player, &location), LaunchRunFolderPlayerNotLoadable);
    EXPECT_EQ(location, PlayerLocationRunTempFolder);
    EXPECT_EQ(player, nullptr);
    EXPECT_EQ(GetModuleHandleA(playerName_.c_str()), nullptr);

    for (HMODULE module : modules_) {
        FreeLibrary(module);
    }
    modules_.clear();
    ReleaseRunTempFolder(&runFolder_);
    wchar_t folder[MAX_PATH];
    wcscpy(folder, temp.c_str());
    EXPECT_NE(DeleteFolderTree(folder), 0);
}

// ---- Loading from one folder ----

TEST_F(LibrarySearchTest, LoadFromFolderLeavesTheCurrentDirectoryThere) {
    std::string folder = scratch_.Child("lib");
    ASSERT_TRUE(Place(folder, playerName_));

    HMODULE module = LoadLibraryFromFolder(folder.c_str(), playerName_.c_str());
    Keep(module);
    ASSERT_NE(module, nullptr);
    EXPECT_SAME_PATH(ModulePath(module), folder + "\\" + playerName_);
    EXPECT_EQ(CurrentDirectory(), folder);

    // A folder without the library is entered all the same.
    ASSERT_TRUE(SetCurrentDirectoryA(work_.c_str()));
    std::string empty = scratch_.Child("empty");
    ASSERT_TRUE(MakeFolder(empty));
    EXPECT_EQ(LoadLibraryFromFolder(empty.c_str(), playerName_.c_str()), nullptr);
    EXPECT_EQ(CurrentDirectory(), empty);
}

TEST_F(LibrarySearchTest, LoadFromAMissingFolderChangesNothing) {
    std::string missing = scratch_.Child("missing");
    EXPECT_EQ(LoadLibraryFromFolder(missing.c_str(), playerName_.c_str()), nullptr);
    EXPECT_EQ(CurrentDirectory(), work_);
}

// Folder, separator and name within 259 characters load; one more character
// is refused before the folder is even entered.
TEST_F(LibrarySearchTest, LoadFromFolderRefusesAPathThatDoesNotFit) {
    const size_t nameLength = 40;
    std::string folder = MakeFolderOfLength(scratch_.Child("fit"), 259 - 1 - nameLength);
    ASSERT_EQ(folder.size(), 259 - 1 - nameLength);
    std::string stem = UniqueName("fit", "");
    ASSERT_LT(stem.size() + 4, nameLength);
    std::string fits = stem + std::string(nameLength - stem.size() - 4, 'x') + ".dll";
    std::string tooLong = stem + std::string(nameLength + 1 - stem.size() - 4, 'x') + ".dll";
    ASSERT_EQ((folder + "\\" + fits).size(), 259u);
    ASSERT_TRUE(Place(folder, fits));

    HMODULE module = LoadLibraryFromFolder(folder.c_str(), fits.c_str());
    Keep(module);
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(CurrentDirectory(), folder);

    ASSERT_TRUE(SetCurrentDirectoryA(work_.c_str()));
    EXPECT_EQ(LoadLibraryFromFolder(folder.c_str(), tooLong.c_str()), nullptr);
    EXPECT_EQ(CurrentDirectory(), work_);
}

}  // namespace
