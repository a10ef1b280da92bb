// In-process tests of the clean-up after the run: deleting a folder tree,
// the sweep of run folders under the temporary path, and the whole clean-up
// of a run that had a run folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "cleanup/clean_up_internal.h"
#include "message_box_support.h"
#include "tempfolder/run_temp_folder_internal.h"
#include "test_support.h"

namespace {

using lumvtest::EnvironmentValue;
using lumvtest::FileExists;
using lumvtest::FolderEntries;
using lumvtest::FolderExists;
using lumvtest::ImportHook;
using lumvtest::MakeFolder;
using lumvtest::ReadTextFile;
using lumvtest::SamePath;
using lumvtest::ScopedEnvironmentVariable;
using lumvtest::ScratchFolder;
using lumvtest::Utf8;
using lumvtest::WindowsPathFromUnix;
using lumvtest::WriteTextFile;

const char kLockFileName[] = "Vantorelle.lok";

int DeleteTree(const std::string &folder) {
    char buffer[MAX_PATH];
    EXPECT_LT(folder.size(), sizeof buffer - 1);
    strcpy(buffer, folder.c_str());
    return DeleteFolderTree(buffer);
}

// A run folder as a run leaves it: files, nested folders, a hidden file, and
// (unless withoutLock) its lock file, which nobody holds.
void MakeRunFolder(const std::string &folder, bool withoutLock = false) {
    ASSERT_TRUE(MakeFolder(folder + "\\deep\\deeper\\deepest"));
    ASSERT_TRUE(MakeFolder(folder + "\\empty"));
    ASSERT_TRUE(WriteTextFile(folder + "\\lumv.dll", "player"));
    ASSERT_TRUE(WriteTextFile(folder + "\\deep\\a.txt", "a"));
    ASSERT_TRUE(WriteTextFile(folder + "\\deep\\deeper\\deepest\\b.txt", "b"));
    ASSERT_TRUE(WriteTextFile(folder + "\\hidden.txt", "h"));
    ASSERT_TRUE(SetFileAttributesA((folder + "\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    if (!withoutLock) {
        ASSERT_TRUE(WriteTextFile(folder + "\\" + kLockFileName, ""));
        ASSERT_TRUE(
            SetFileAttributesA((folder + "\\" + kLockFileName).c_str(), FILE_ATTRIBUTE_HIDDEN));
    }
}

std::string TextOf(const std::string &path) {
    std::string text;
    return ReadTextFile(path, &text) ? text : std::string("(unreadable)");
}

// A layout made from the Linux side before the program runs (Wine cannot make
// symbolic links): LUMV_LINK_ROOT/inprocess holds
//   target\keep.txt, target\sub\deep.txt
//   holder\file.txt, holder\link -> target
//   temp\TempFolder.lnk\ (a free lock, file.txt, link -> target)
//   temp\TempFolder.sym -> victim;  victim\ (a free lock, keep.txt)
std::string LinkLayout() {
    std::string root = EnvironmentValue("LUMV_LINK_ROOT");
    return root.empty() ? std::string() : WindowsPathFromUnix(root) + "\\inprocess";
}

bool IsLinkToFolder(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

class CleanUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartRunState(&run_);
        ASSERT_TRUE(MakeFolder(temp_));
    }
    void TearDown() override { ReleaseRunTempFolder(&run_.tempFolder); }

    std::string Temp(const std::string &name) const { return temp_ + "\\" + name; }

    ScratchFolder scratch_{"cleanup"};
    std::string temp_ = scratch_.Child("temp");
    ScopedEnvironmentVariable tmp_{"TMP", temp_};
    RunState run_;
};

TEST_F(CleanUpTest, DeleteFolderTreeGoesDepthFirst) {
    std::string folder = scratch_.Child("tree");
    MakeRunFolder(folder);
    char buffer[MAX_PATH];
    strcpy(buffer, folder.c_str());

    EXPECT_NE(DeleteFolderTree(buffer), 0);

    EXPECT_FALSE(FolderExists(folder));
    EXPECT_EQ(std::string(buffer), folder + "\\")
        << "the separator is added in the caller's buffer";
    EXPECT_EQ(DeleteTree(scratch_.Child("never there")), 0);
}

// A player copies files from a CD with their read-only attribute: such a
// file goes like any other, and so does its folder.
TEST_F(CleanUpTest, AReadOnlyFileIsDeletedWithItsFolders) {
    std::string folder = scratch_.Child("tree");
    MakeRunFolder(folder);
    std::string readOnly = folder + "\\deep\\deeper\\copied.txt";
    ASSERT_TRUE(WriteTextFile(readOnly, "from a CD"));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_NE(DeleteTree(folder), 0);

    EXPECT_FALSE(FolderExists(folder));
}

// A link is removed as a link or, where the system cannot remove it (Wine),
// stops the deletion; what it points to is never touched.
TEST_F(CleanUpTest, DeleteFolderTreeNeverFollowsALink) {
    std::string layout = LinkLayout();
    ASSERT_FALSE(layout.empty()) << "LUMV_LINK_ROOT is not set (run through CTest)";
    ASSERT_TRUE(IsLinkToFolder(layout + "\\holder\\link")) << "the link layout is missing";

    int result = DeleteTree(layout + "\\holder");

    EXPECT_EQ(TextOf(layout + "\\target\\keep.txt"), "keep");
    EXPECT_EQ(TextOf(layout + "\\target\\sub\\deep.txt"), "deep");
    EXPECT_EQ(result != 0, !FolderExists(layout + "\\holder"));
}

// Which leftovers a sweep deletes: only real folders named like run folders
// whose lock file opens without sharing, or that have no lock (the sweep
// takes one first). Each survivor keeps what it holds, a read-only file
// does not stop its folder, and a file that cannot be deleted keeps only
// itself and the lock, which is tried again later.
TEST_F(CleanUpTest, SweepDeletesOnlyRunFoldersWhoseLockIsFree) {
    MakeRunFolder(Temp("TempFolder.xyz"));
    MakeRunFolder(Temp("TempFolder.aaa"));
    MakeRunFolder(Temp("TempFolder.held"));
    MakeRunFolder(Temp("TempFolder.nol"), true);
    MakeRunFolder(Temp("TempFolder.ro"));
    MakeRunFolder(Temp("TempFolder.bsy"));
    MakeRunFolder(Temp("Other.abc"));
    ASSERT_TRUE(WriteTextFile(Temp("TempFolder.txt"), "a file"));
    std::string readOnly = Temp("TempFolder.ro\\deep\\copied.txt");
    ASSERT_TRUE(WriteTextFile(readOnly, "from a CD"));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE held = CreateFileA(Temp("TempFolder.held\\Vantorelle.lok").c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE busy = CreateFileA(Temp("TempFolder.bsy\\deep\\a.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);

    int result = SweepRunTempFolders();
    int again = SweepRunTempFolders();
    CloseHandle(held);

    EXPECT_NE(result, 0);
    EXPECT_EQ(again, 0) << "nothing was left that a sweep could delete";
    EXPECT_EQ(FolderEntries(temp_),
              (std::vector<std::string>{"Other.abc", "TempFolder.bsy", "TempFolder.held",
                                        "TempFolder.txt"}));
    EXPECT_EQ(TextOf(Temp("TempFolder.held\\deep\\a.txt")), "a");
    EXPECT_EQ(TextOf(Temp("Other.abc\\deep\\a.txt")), "a");
    // Past the file in use, the rest went; the lock goes last, so the folder
    // is tried again once the file is free.
    EXPECT_EQ(FolderEntries(Temp("TempFolder.bsy")),
              (std::vector<std::string>{kLockFileName, "deep"}));
    EXPECT_EQ(FolderEntries(Temp("TempFolder.bsy\\deep")), std::vector<std::string>{"a.txt"});
    CloseHandle(busy);
    EXPECT_NE(SweepRunTempFolders(), 0);
    EXPECT_FALSE(FolderExists(Temp("TempFolder.bsy")));
}

// An emptied run folder that cannot be removed (on Windows: some process's
// current directory) gets its lock back, so that a later sweep retries it.
BOOL WINAPI RemoveDirectoryRefused(LPCSTR) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

// Windows XP, which cannot delete through a handle: kernel32 is not found, so
// the clean-up deletes by path after its handle checks, and the tests below
// can refuse or take away what it deletes.
HMODULE(WINAPI *realGetModuleHandleA)(LPCSTR) = nullptr;

HMODULE WINAPI WithoutKernel(LPCSTR name) {
    if (name != nullptr && lstrcmpiA(name, "kernel32.dll") == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return realGetModuleHandleA(name);
}

class AsWindowsXp {
public:
    AsWindowsXp() {
        realGetModuleHandleA = reinterpret_cast<HMODULE(WINAPI *)(LPCSTR)>(hook_.original());
    }
    bool installed() const { return hook_.installed(); }

private:
    ImportHook hook_{"GetModuleHandleA", reinterpret_cast<void *>(WithoutKernel)};
};

TEST_F(CleanUpTest, AFolderThatStaysGetsItsLockBack) {
    ASSERT_TRUE(MakeFolder(Temp("TempFolder.cwd")));
    ASSERT_TRUE(WriteTextFile(Temp("TempFolder.cwd\\lumv.dll"), "player"));
    ASSERT_TRUE(WriteTextFile(Temp("TempFolder.cwd\\") + kLockFileName, ""));
    {
        AsWindowsXp xp;
        ImportHook refused("RemoveDirectoryA", reinterpret_cast<void *>(RemoveDirectoryRefused));
        ASSERT_TRUE(xp.installed() && refused.installed());
        EXPECT_EQ(SweepRunTempFolders(), 0);
    }
    EXPECT_EQ(FolderEntries(Temp("TempFolder.cwd")), std::vector<std::string>{kLockFileName});

    EXPECT_NE(SweepRunTempFolders(), 0);
    EXPECT_TRUE(FolderEntries(temp_).empty());
}

// Another run sweeping the same folder at the same moment: every item this
// sweep reaches has just been deleted by the other one. That is no failure.
BOOL(WINAPI *realDeleteFileA)(LPCSTR) = nullptr;
BOOL(WINAPI *realRemoveDirectoryA)(LPCSTR) = nullptr;
std::vector<std::string> deletedFiles;

BOOL WINAPI DeleteFileFirstElsewhere(LPCSTR path) {
    deletedFiles.push_back(path);
    realDeleteFileA(path);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI RemoveDirectoryFirstElsewhere(LPCSTR path) {
    if (realRemoveDirectoryA(path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
    }
    return FALSE;
}

TEST_F(CleanUpTest, ItemsAnotherRunDeletedFirstCountAsDeleted) {
    MakeRunFolder(Temp("TempFolder.aab"));
    int result;
    {
        AsWindowsXp xp;
        ImportHook files("DeleteFileA", reinterpret_cast<void *>(DeleteFileFirstElsewhere));
        ImportHook folders("RemoveDirectoryA",
                           reinterpret_cast<void *>(RemoveDirectoryFirstElsewhere));
        ASSERT_TRUE(xp.installed() && files.installed() && folders.installed());
        realDeleteFileA = reinterpret_cast<BOOL(WINAPI *)(LPCSTR)>(files.original());
        realRemoveDirectoryA = reinterpret_cast<BOOL(WINAPI *)(LPCSTR)>(folders.original());
        deletedFiles.clear();
        result = SweepRunTempFolders();
    }

    EXPECT_TRUE(FolderEntries(temp_).empty());
    EXPECT_NE(result, 0) << "the run folder is gone, if by the other run's hand";
    ASSERT_FALSE(deletedFiles.empty());
    EXPECT_TRUE(SamePath(deletedFiles.back(), Temp("TempFolder.aab\\") + kLockFileName))
        << "the lock goes last, not " << deletedFiles.back();
}

// Where the system can, every item of a dead run folder goes through a
// handle on the item itself, checked before it goes: nothing is deleted by
// path but the lock, which the sweep holds.
std::vector<std::string> pathDeletions;
BOOL(WINAPI *realDeleteFileW)(LPCWSTR) = nullptr;
BOOL(WINAPI *realRemoveDirectoryW)(LPCWSTR) = nullptr;

BOOL WINAPI RecordedDeleteFileA(LPCSTR path) {
    pathDeletions.push_back(path);
    return realDeleteFileA(path);
}
BOOL WINAPI RecordedRemoveDirectoryA(LPCSTR path) {
    pathDeletions.push_back(path);
    return realRemoveDirectoryA(path);
}
BOOL WINAPI RecordedDeleteFileW(LPCWSTR path) {
    pathDeletions.push_back(Utf8(path));
    return realDeleteFileW(path);
}
BOOL WINAPI RecordedRemoveDirectoryW(LPCWSTR path) {
    pathDeletions.push_back(Utf8(path));
    return realRemoveDirectoryW(path);
}

TEST_F(CleanUpTest, TheSweepDeletesThroughHandles) {
    MakeRunFolder(Temp("TempFolder.hnd"));
    ASSERT_TRUE(
        SetFileAttributesA(Temp("TempFolder.hnd\\deep\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    int result;
    {
        ImportHook fileA("DeleteFileA", reinterpret_cast<void *>(RecordedDeleteFileA));
        ImportHook folderA("RemoveDirectoryA", reinterpret_cast<void *>(RecordedRemoveDirectoryA));
        ImportHook fileW("DeleteFileW", reinterpret_cast<void *>(RecordedDeleteFileW));
        ImportHook folderW("RemoveDirectoryW", reinterpret_cast<void *>(RecordedRemoveDirectoryW));
        ASSERT_TRUE(fileA.installed() && folderA.installed() && fileW.installed() &&
                    folderW.installed());
        realDeleteFileA = reinterpret_cast<BOOL(WINAPI *)(LPCSTR)>(fileA.original());
        realRemoveDirectoryA = reinterpret_cast<BOOL(WINAPI *)(LPCSTR)>(folderA.original());
        realDeleteFileW = reinterpret_cast<BOOL(WINAPI *)(LPCWSTR)>(fileW.original());
        realRemoveDirectoryW = reinterpret_cast<BOOL(WINAPI *)(LPCWSTR)>(folderW.original());
        pathDeletions.clear();
        result = SweepRunTempFolders();
    }

    EXPECT_NE(result, 0);
    EXPECT_TRUE(FolderEntries(temp_).empty());
    ASSERT_EQ(pathDeletions.size(), 1u);
    EXPECT_TRUE(SamePath(pathDeletions.front(), Temp("TempFolder.hnd\\") + kLockFileName))
        << pathDeletions.front();
}

TEST_F(CleanUpTest, SweepNeverFollowsALink) {
    std::string layout = LinkLayout();
    ASSERT_FALSE(layout.empty()) << "LUMV_LINK_ROOT is not set (run through CTest)";
    ASSERT_TRUE(IsLinkToFolder(layout + "\\temp\\TempFolder.sym")) << "the link layout is missing";
    ASSERT_TRUE(IsLinkToFolder(layout + "\\temp\\TempFolder.lnk\\link"));
    ScopedEnvironmentVariable tmp("TMP", layout + "\\temp");

    SweepRunTempFolders();

    // A run folder that is itself a link was not made by a run.
    EXPECT_EQ(TextOf(layout + "\\victim\\keep.txt"), "keep");
    EXPECT_TRUE(FileExists(layout + "\\victim\\" + kLockFileName));
    // A link inside a run folder goes, if at all, as a link.
    EXPECT_EQ(TextOf(layout + "\\target\\keep.txt"), "keep");
    EXPECT_EQ(TextOf(layout + "\\target\\sub\\deep.txt"), "deep");
}

// This program carries no payload, so the clean-up deletes nothing beside it;
// it releases the run folder and sweeps it away with a killed run's leftover.
// The player left the current directory inside the run folder, which Windows
// would then keep, by whatever form of its path.
TEST_F(CleanUpTest, CleanUpReleasesAndSweepsTheRunFolder) {
    enum Form { AsHanded, ShortForm, OtherCase };
    for (Form form : {AsHanded, ShortForm, OtherCase}) {
        SCOPED_TRACE(form == AsHanded ? "as handed" : form == ShortForm ? "short" : "other case");
        StartRunState(&run_);
        MakeRunFolder(Temp("TempFolder.zzz"));
        char folder[MAX_PATH];
        ASSERT_TRUE(GetRunTempFolder(&run_.tempFolder, folder, true));
        ASSERT_TRUE(WriteTextFile(std::string(folder) + "lumv.dll", "player"));
        std::string work = std::string(folder) + "work folder";
        ASSERT_TRUE(MakeFolder(work));
        char current[MAX_PATH];
        if (form == ShortForm) {
            ASSERT_NE(GetShortPathNameA(work.c_str(), current, MAX_PATH), 0u);
            ASSERT_STRNE(current, work.c_str()) << "no short form to try";
        } else {
            strcpy(current, work.c_str());
            if (form == OtherCase) {
                CharUpperA(current);
            }
        }
        char before[MAX_PATH];
        ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, before), 0u);
        ASSERT_TRUE(SetCurrentDirectoryA(current));

        CleanUpAfterRun(GetModuleHandleA(nullptr), &run_);

        char after[MAX_PATH];
        char exeFolder[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, after);
        GetModuleFileNameA(nullptr, exeFolder, MAX_PATH);
        *strrchr(exeFolder, '\\') = '\0';
        SetCurrentDirectoryA(before);
        EXPECT_TRUE(SamePath(after, exeFolder)) << after;
        EXPECT_EQ(run_.tempFolder.RunTempFolderPath, nullptr);
        EXPECT_EQ(run_.tempFolder.lockFile, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(FolderEntries(temp_).empty());
    }
}

}  // namespace
