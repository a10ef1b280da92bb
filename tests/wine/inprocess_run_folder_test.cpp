// In-process tests of the run's temporary folder: its name under the temporary
// path, the lock file inside it, its release, and the ways creation fails.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "cleanup/clean_up_internal.h"
#include "tempfolder/run_temp_folder_internal.h"
#include "test_support.h"

namespace {

using lumvtest::FileExists;
using lumvtest::FolderEntries;
using lumvtest::FolderExists;
using lumvtest::ImportHook;
using lumvtest::MakeFolder;
using lumvtest::MakeFolderOfLength;
using lumvtest::RunProgram;
using lumvtest::RunResult;
using lumvtest::ScopedEnvironmentVariable;
using lumvtest::ScratchFolder;
using lumvtest::WriteTextFile;

const char kLockFileName[] = "Vantorelle.lok";

// Every test starts with a fresh record, without a run folder, and releases
// it at the end. The temporary path (TMP) points at an empty scratch folder
// for the whole test.
class RunFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartRunTempFolder(&folder_);
        ASSERT_TRUE(FolderExists(temp_.path()));
        ASSERT_EQ(folder_.RunTempFolderPath, nullptr);
    }
    void TearDown() override { ReleaseRunTempFolder(&folder_); }

    // Creates the run folder and returns its path; empty on failure.
    std::string Create() {
        char buffer[MAX_PATH];
        return GetRunTempFolder(&folder_, buffer, true) ? std::string(buffer) : std::string();
    }

    // Runs "cmd /c type <file>" as a process of its own; true when it could
    // read the file.
    static bool OtherProcessCanRead(const std::string &file) {
        RunResult run = RunProgram("cmd.exe /c type \"" + file + "\" >nul 2>nul", "", {}, 60000);
        EXPECT_TRUE(run.started);
        EXPECT_TRUE(run.finished);
        return run.started && run.finished && run.exitCode == 0;
    }

    ScratchFolder temp_{"runtemp"};
    ScopedEnvironmentVariable tmp_{"TMP", temp_.path()};
    RunTempFolder folder_;
};

TEST_F(RunFolderTest, QueryWithoutFolderReturnsFalseAndLeavesBufferAlone) {
    char buffer[MAX_PATH];
    memset(buffer, 'Q', sizeof buffer);
    EXPECT_FALSE(GetRunTempFolder(&folder_, buffer, false));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'Q'));
    EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
    EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FolderEntries(temp_.path()).empty()) << "a query must not create the folder";
}

// GetTempPathA adds the trailing separator itself when TMP lacks one (Wine
// and Windows alike), so both spellings must give exactly one separator
// before the folder's name.
TEST_F(RunFolderTest, FirstFolderIsAaaDirectlyUnderTheTempPath) {
    for (const std::string &tmp : {temp_.path(), temp_.path() + "\\"}) {
        SCOPED_TRACE("TMP=" + tmp);
        ScopedEnvironmentVariable tmpSpelling("TMP", tmp);
        std::string path = Create();
        EXPECT_EQ(path, temp_.path() + "\\TempFolder.aaa\\");
        ASSERT_NE(folder_.RunTempFolderPath, nullptr);
        EXPECT_EQ(std::string(folder_.RunTempFolderPath), path);
        EXPECT_TRUE(FolderExists(temp_.Child("TempFolder.aaa")));
        EXPECT_EQ(FolderEntries(temp_.path()), std::vector<std::string>{"TempFolder.aaa"});
        ReleaseRunTempFolder(&folder_);
        lumvtest::DeleteTree(temp_.Child("TempFolder.aaa"));
    }
}

TEST_F(RunFolderTest, SecondCreatingCallReusesTheFolder) {
    std::string first = Create();
    ASSERT_FALSE(first.empty());
    const char *block = folder_.RunTempFolderPath;
    HANDLE lock = folder_.lockFile;

    char buffer[MAX_PATH];
    ASSERT_TRUE(GetRunTempFolder(&folder_, buffer, true));
    EXPECT_EQ(std::string(buffer), first);
    EXPECT_EQ(folder_.RunTempFolderPath, block) << "the path block must stay where it is";
    EXPECT_EQ(folder_.lockFile, lock);
    ASSERT_TRUE(GetRunTempFolder(&folder_, buffer, false));
    EXPECT_EQ(std::string(buffer), first);
    EXPECT_EQ(FolderEntries(temp_.path()), std::vector<std::string>{"TempFolder.aaa"});
}

// Names already on disk, as other runs or leftovers leave them, and the name
// the new run folder must get.
struct TakenNamesCase {
    const char *label;
    std::vector<std::string> folders;
    std::vector<std::string> files;
    const char *expected;
};

TEST_F(RunFolderTest, TakenNamesAreSkippedInOdometerOrder) {
    std::vector<std::string> aaaToAaz;
    for (char last = 'a'; last <= 'z'; last++) {
        aaaToAaz.push_back(std::string("TempFolder.aa") + last);
    }
    const TakenNamesCase cases[] = {
        {"aaa taken", {"TempFolder.aaa"}, {}, "TempFolder.aab"},
        {"aaa to aaz taken: carry into the middle letter", aaaToAaz, {}, "TempFolder.aba"},
        {"a gap is used", {"TempFolder.aaa", "TempFolder.aac"}, {}, "TempFolder.aab"},
        {"a file of that name counts as taken", {}, {"TempFolder.aaa"}, "TempFolder.aab"},
        {"other names do not count",
         {"TempFolder.aa", "TempFolder.aaa.x", "Tempfolder"},
         {},
         "TempFolder.aaa"},
    };
    for (const TakenNamesCase &c : cases) {
        SCOPED_TRACE(c.label);
        ScratchFolder temp("taken");
        ScopedEnvironmentVariable tmp("TMP", temp.path());
        for (const std::string &name : c.folders) {
            ASSERT_TRUE(MakeFolder(temp.Child(name)));
        }
        for (const std::string &name : c.files) {
            ASSERT_TRUE(WriteTextFile(temp.Child(name), "x"));
        }
        EXPECT_EQ(Create(), temp.Child(c.expected) + "\\");
        EXPECT_TRUE(FileExists(temp.Child(c.expected) + "\\" + kLockFileName));
        ReleaseRunTempFolder(&folder_);
    }
}

TEST_F(RunFolderTest, LockFileIsHiddenEmptyAndUnsharedUntilRelease) {
    std::string folder = Create();
    ASSERT_FALSE(folder.empty());
    std::string lock = folder + kLockFileName;

    EXPECT_NE(folder_.lockFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{kLockFileName});
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(lock.c_str(), GetFileExInfoStandard, &data));
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.nFileSizeLow, 0u);

    // Held: no other process can open it, and neither can this one, whatever
    // sharing it offers.
    EXPECT_FALSE(OtherProcessCanRead(lock));
    HANDLE probe = CreateFileA(lock.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    DWORD error = GetLastError();
    EXPECT_EQ(probe, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
    }

    // Released: the path and the handle are gone, the folder stays for the
    // clean-up, and the lock can be opened by anyone.
    ReleaseRunTempFolder(&folder_);
    EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
    EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FileExists(lock));
    EXPECT_TRUE(OtherProcessCanRead(lock));
    probe = CreateFileA(lock.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(probe, INVALID_HANDLE_VALUE);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
    }
}

TEST_F(RunFolderTest, ReleaseIsHarmlessWithoutFolderAndWhenRepeated) {
    ReleaseRunTempFolder(&folder_);
    EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
    EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);

    ASSERT_EQ(Create(), temp_.Child("TempFolder.aaa") + "\\");
    ReleaseRunTempFolder(&folder_);
    ReleaseRunTempFolder(&folder_);
    EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
    EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);
    char buffer[MAX_PATH];
    EXPECT_FALSE(GetRunTempFolder(&folder_, buffer, false));

    // The released folder is still on disk, so the next creation takes the
    // next name and holds a lock of its own.
    EXPECT_EQ(Create(), temp_.Child("TempFolder.aab") + "\\");
    EXPECT_NE(folder_.lockFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FolderEntries(temp_.path()),
              (std::vector<std::string>{"TempFolder.aaa", "TempFolder.aab"}));
}

// A temporary path under which CreateDirectoryA fails for every name, because
// it names a file, makes creation give up at once: no name can help there.
TEST_F(RunFolderTest, CreationGivesUpWhenEveryNameIsRefused) {
    std::string notAFolder = temp_.Child("plainfile");
    ASSERT_TRUE(WriteTextFile(notAFolder, ""));
    {
        ScopedEnvironmentVariable tmp("TMP", notAFolder);
        char buffer[MAX_PATH];
        memset(buffer, 'Q', sizeof buffer);
        DWORD start = GetTickCount();
        EXPECT_FALSE(GetRunTempFolder(&folder_, buffer, true));
        RecordProperty("refusedCreationMs", static_cast<int>(GetTickCount() - start));
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'Q'));
        EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
        EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(GetRunTempFolder(&folder_, buffer, false));
    }
    EXPECT_EQ(FolderEntries(temp_.path()), std::vector<std::string>{"plainfile"});

    // A failed creation leaves nothing behind: the next one starts afresh.
    EXPECT_EQ(Create(), temp_.Child("TempFolder.aaa") + "\\");
}

// What creation asked of the system while watched: the folders it tried and
// the error mode it tried them in; the next lockFailures lock files fail
// with lockError.
struct CreationLog {
    int folders = 0;
    UINT errorMode = 0;
    int lockFailures = 0;
    DWORD lockError = 0;
};
CreationLog creation;
void *realCreateDirectoryA = nullptr;
void *realCreateFileA = nullptr;

BOOL WINAPI WatchedCreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    creation.folders++;
    creation.errorMode = GetErrorMode();
    return reinterpret_cast<BOOL(WINAPI *)(LPCSTR, LPSECURITY_ATTRIBUTES)>(realCreateDirectoryA)(
        path, security);
}

HANDLE WINAPI LockFailingCreateFileA(LPCSTR path, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                     DWORD attributes, HANDLE templateFile) {
    std::string name = path;
    if (creation.lockFailures > 0 && name.size() >= strlen(kLockFileName) &&
        name.compare(name.size() - strlen(kLockFileName), std::string::npos, kLockFileName) == 0) {
        creation.lockFailures--;
        SetLastError(creation.lockError);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE(WINAPI *)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                             DWORD, HANDLE)>(realCreateFileA)(
        path, access, share, security, disposition, attributes, templateFile);
}

// Only a name that is taken moves creation on to the next one: a lock that
// exists already or a folder gone before its lock was made (a sweep took
// the folder over) gives the folder up and takes the next name, any other failure ends creation at
// once, with no folder left. All of it runs without Windows' critical-error dialogs.
TEST_F(RunFolderTest, OnlyATakenNameMovesCreationOnAndAFolderNeverStaysWithoutItsLock) {
    struct Case {
        const char *label;
        int lockFailures;
        DWORD lockError;
        bool temporaryPathIsAFile;
        const char *expected;  // the folder made, or "" for none
        int folders;
    };
    const Case cases[] = {
        {"no failure", 0, 0, false, "TempFolder.aaa", 1},
        {"the lock exists already", 1, ERROR_FILE_EXISTS, false, "TempFolder.aab", 2},
        // Another run's sweep took the folder before its lock was made, and
        // removed it (seen with sixteen runs started at once).
        {"the folder is gone already", 1, ERROR_PATH_NOT_FOUND, false, "TempFolder.aab", 2},
        {"the disk is full", 1, ERROR_DISK_FULL, false, "", 1},
        {"the temporary path is a file", 0, 0, true, "", 1},
    };
    ImportHook folders("CreateDirectoryA", reinterpret_cast<void *>(WatchedCreateDirectoryA));
    ImportHook files("CreateFileA", reinterpret_cast<void *>(LockFailingCreateFileA));
    ASSERT_TRUE(folders.installed() && files.installed());
    realCreateDirectoryA = folders.original();
    realCreateFileA = files.original();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ScratchFolder temp("creation");
        std::string tmp = c.temporaryPathIsAFile ? temp.Child("plainfile") : temp.path();
        ASSERT_TRUE(!c.temporaryPathIsAFile || WriteTextFile(tmp, ""));
        ScopedEnvironmentVariable tmpVariable("TMP", tmp);
        creation = CreationLog();
        creation.lockFailures = c.lockFailures;
        creation.lockError = c.lockError;

        std::string made = Create();

        EXPECT_EQ(made, c.expected[0] == '\0' ? "" : temp.Child(c.expected) + "\\");
        EXPECT_EQ(creation.folders, c.folders);
        EXPECT_NE(creation.errorMode & SEM_FAILCRITICALERRORS, 0u);
        std::vector<std::string> left = FolderEntries(temp.path());
        std::vector<std::string> expectedLeft;
        if (c.temporaryPathIsAFile) {
            expectedLeft.push_back("plainfile");
        }
        if (c.expected[0] != '\0') {
            expectedLeft.push_back(c.expected);
        }
        EXPECT_EQ(left, expectedLeft);
        ReleaseRunTempFolder(&folder_);
    }
}

// The lock file's path is the temporary path plus "TempFolder.aaa\" plus
// "Vantorelle.lok": 29 characters more, within 259. A temporary path
// (separator included) of 230 characters just fits; one more must fail
// before anything is created, rather than leave a folder without a lock.
// A temporary path outside the ANSI code page, on a volume without short
// names: the folder made there has no name to hand the player, so it is
// removed again for one under the Windows folder's Temp, whose path the code
// page spells. The sweep covers that root too, taking there only folders
// whose lock a run made.
TEST_F(RunFolderTest, WithoutAnAnsiNameTheFolderMovesToTheWindowsTemp) {
    std::wstring temp =
        lumvtest::WideFromUtf8(temp_.Child(GetACP() == 932 ? u8"한국어" : u8"日本語"));
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.c_str()));
    char windowsFolder[MAX_PATH];
    ASSERT_NE(GetSystemWindowsDirectoryA(windowsFolder, MAX_PATH), 0u);
    std::string root = std::string(windowsFolder) + "\\Temp\\";
    std::string dead = root + "TempFolder.zzy";
    std::string lockless = root + "TempFolder.zzx";
    ASSERT_TRUE(MakeFolder(dead) && MakeFolder(lockless));
    ASSERT_TRUE(WriteTextFile(dead + "\\" + kLockFileName, ""));
    ASSERT_TRUE(WriteTextFile(lockless + "\\kept.txt", "not a run's"));
    std::string path;
    {
        ImportHook noShortNames("GetShortPathNameW",
                                reinterpret_cast<void *>(lumvtest::LongPathAsShortPath));
        ASSERT_TRUE(noShortNames.installed());
        path = Create();
    }
    SetEnvironmentVariableA("TMP", temp_.path().c_str());

    ASSERT_FALSE(path.empty());
    EXPECT_EQ(_strnicmp(path.c_str(), (root + "TempFolder.").c_str(), root.size() + 11), 0) << path;
    EXPECT_TRUE(FileExists(path + kLockFileName));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((temp + L"\\TempFolder.*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a folder stays under the first root";
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    ReleaseRunTempFolder(&folder_);
    SweepRunTempFolders();
    EXPECT_FALSE(FolderExists(path));
    EXPECT_FALSE(FolderExists(dead));
    EXPECT_TRUE(FileExists(lockless + "\\kept.txt"));
    DeleteFileA((lockless + "\\kept.txt").c_str());
    RemoveDirectoryA(lockless.c_str());
    RemoveDirectoryW(temp.c_str());
}

TEST_F(RunFolderTest, TempPathTooLongForTheLockFileFailsCleanly) {
    std::string fits = MakeFolderOfLength(temp_.Child("fits"), 229);
    std::string tooLong = MakeFolderOfLength(temp_.Child("long"), 230);
    ASSERT_EQ(fits.size(), 229u);
    ASSERT_EQ(tooLong.size(), 230u);

    {
        ScopedEnvironmentVariable tmp("TMP", fits);
        std::string folder = Create();
        ASSERT_EQ(folder, fits + "\\TempFolder.aaa\\");
        EXPECT_EQ((folder + kLockFileName).size(), 259u);
        EXPECT_TRUE(FileExists(folder + kLockFileName));
        EXPECT_NE(folder_.lockFile, INVALID_HANDLE_VALUE);
        ReleaseRunTempFolder(&folder_);
    }
    {
        ScopedEnvironmentVariable tmp("TMP", tooLong);
        char buffer[MAX_PATH];
        EXPECT_FALSE(GetRunTempFolder(&folder_, buffer, true));
        EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
        EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(FolderEntries(tooLong).empty());
    }
    {
        // Longer than any path buffer: GetTempPathA itself gives up.
        ScopedEnvironmentVariable tmp("TMP", temp_.Child(std::string(300, 'x')));
        char buffer[MAX_PATH];
        EXPECT_FALSE(GetRunTempFolder(&folder_, buffer, true));
        EXPECT_EQ(folder_.RunTempFolderPath, nullptr);
        EXPECT_EQ(folder_.lockFile, INVALID_HANDLE_VALUE);
    }
}

}  // namespace
