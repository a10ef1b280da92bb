// Shared helpers of the Windows test programs: scratch folders, files, the
// player's report, and starting a program, answering its message boxes and
// waiting for it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "message_box_support.h"

namespace lumvtest {

// An environment variable of the test run (set by CTest), empty when unset.
std::string EnvironmentValue(const char *name);

// A Unix path of the build tree as Wine's Z: drive shows it.
std::string WindowsPathFromUnix(const std::string &unixPath);

// Paths of the build's artifacts, taken from the variables CTest sets:
// LUMV_LAUNCHER_EXE, LUMV_TEST_PLAYER_DLL, LUMV_SAMPLE_PLAYER_DLL,
// LUMV_SCRATCH_ROOT (Unix paths).
std::string LauncherExePath();
std::string TestPlayerDllPath();
std::string SamplePlayerDllPath();

// A fresh, uniquely named folder under the scratch root, removed with all it
// holds when the object goes away. path() has no trailing separator.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string &label);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return path_; }
    std::string Child(const std::string &name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

bool MakeFolder(const std::string &path);  // with missing parents
bool CopyFileTo(const std::string &from, const std::string &to);
bool WriteTextFile(const std::string &path, const std::string &text);
bool ReadTextFile(const std::string &path, std::string *text);
bool WriteBytesFile(const std::string &path, const std::vector<unsigned char> &bytes);
// The file's bytes; empty when it cannot be read.
std::vector<unsigned char> FileBytes(const std::string &path);
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
bool SamePath(const std::string &a, const std::string &b);  // ignoring case
// Deletes path and, for a folder, all it holds; a junction or symbolic link
// goes as the link itself, never followed.
void DeleteTree(const std::string &path);
std::vector<std::string> FolderEntries(const std::string &folder);  // sorted, no . and ..

// size bytes of repeating text (matches for a compressor) alternating with
// pseudo-random bytes of every value, different for every seed.
std::vector<unsigned char> SampleBytes(size_t size, unsigned seed);

// An existing file held open by this process for the object's lifetime with
// share mode 0, so that nobody else can open, move or delete it.
class HeldFile {
public:
    explicit HeldFile(const std::string &path);
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release();

private:
    HANDLE handle_;
};

// The key=value lines the test player writes; empty when there is no report.
std::map<std::string, std::string> ReadReport(const std::string &path);

// Lays out a presentation folder: the launcher as exeName, and optionally the
// test player beside it. Returns the executable's full path.
std::string LayOutLauncher(const std::string &folder, const std::string &exeName = "show.exe");

struct RunResult {
    bool started = false;
    bool finished = false;  // false: killed after the time-out
    DWORD exitCode = 0;
    std::vector<MessageBoxView> boxes;  // every message box it showed, in order
};

// Starts commandLine with the current environment plus extraEnvironment
// (NAME=value entries, overriding), in workingFolder (empty: inherit), and
// waits up to timeoutMs, answering its message boxes as StartOptions says.
RunResult RunProgram(const std::string &commandLine, const std::string &workingFolder,
                     const std::vector<std::string> &extraEnvironment, DWORD timeoutMs = 60000);

// How a program is started beyond its command line, and how it is answered:
//   a show state, used (with STARTF_USESHOWWINDOW) when useShowWindow is set;
//   the button pressed on each message box it shows (the first button when
//   the box has no such one). Cancel unless set, so that a download offer
//   never starts the prefix's browser unasked.
//   utf8: the command line, the working folder and the extra environment are
//   UTF-8, and the program is started through the wide call, so that they may
//   name folders outside the ANSI code page.
struct StartOptions {
    bool useShowWindow = false;
    WORD showWindow = 0;
    int boxAnswer = IDCANCEL;
    bool utf8 = false;
};

// RunProgram with StartOptions.
RunResult RunProgramWith(const std::string &commandLine, const std::string &workingFolder,
                         const std::vector<std::string> &extraEnvironment,
                         const StartOptions &options, DWORD timeoutMs = 60000);

// Starts commandLine like RunProgramWith but returns at once; the caller
// closes both handles of *process. False when the program could not be started.
bool StartProgram(const std::string &commandLine, const std::string &workingFolder,
                  const std::vector<std::string> &extraEnvironment, const StartOptions &options,
                  PROCESS_INFORMATION *process);

// The first top-level window of the process for which matches holds, or null.
HWND FindProcessWindow(DWORD processId, const std::function<bool(HWND)> &matches);

// A process whose executable file is named exeName (case ignored) runs.
bool ProcessNamedIsRunning(const char *exeName);

// Waits up to timeoutMs for a program started with StartProgram, ends it if
// it is still running, stores its exit code (255 when it had to be ended)
// and closes both handles. True when it ended on its own.
bool FinishProgram(PROCESS_INFORMATION *process, DWORD timeoutMs, DWORD *exitCode);

// The bytes of a hex string such as "0100ff"; empty when it is not one.
std::vector<unsigned char> BytesFromHex(const std::string &hex);

// The little-endian unsigned number of `width` bytes at `offset`, or
// UINT64_MAX when the bytes do not reach that far.
unsigned long long LittleEndianAt(const std::vector<unsigned char> &bytes, size_t offset,
                                  size_t width);

// A presentation laid out for an end-to-end run: the launcher (exeName) in
// its own folder under a scratch folder, a working folder elsewhere to start
// it in, a temporary path of its own (so a run's sweep sees only this
// presentation's run folders), and the path of the test player's report.
class Presentation {
public:
    explicit Presentation(const std::string &label, const std::string &exeFolderName = "show",
                          const std::string &exeName = "show.exe");
    const std::string &exeFolder() const { return exeFolder_; }
    const std::string &exePath() const { return exePath_; }
    const std::string &workFolder() const { return workFolder_; }
    const std::string &reportPath() const { return reportPath_; }
    // The temporary path the runs get (TMP), empty at the start.
    const std::string &tempFolder() const { return tempFolder_; }
    std::string KivoxFolder() const { return exeFolder_ + "\\Kivox"; }
    // Where the player copies what it finds beside the executable.
    const std::string &seenFolder() const { return seenFolder_; }
    std::string SeenFile(const std::string &name) const { return seenFolder_ + "\\" + name; }
    std::string QuotedExePath() const { return "\"" + exePath_ + "\""; }

    // Copies the test player into folder (created when missing) as lumv.dll.
    bool PutPlayer(const std::string &folder) const;
    // LUMV_TEST_REPORT, LUMV_TEST_RESULT and LUMV_TEST_COPY_EXE_FOLDER (the
    // seen folder) for the player, TMP for the launcher.
    std::vector<std::string> Environment(int playerResult) const;
    // Runs commandLine (the quoted executable when empty) in the working folder.
    RunResult Run(int playerResult, const std::string &commandLine = std::string(),
                  const StartOptions &options = StartOptions(), DWORD timeoutMs = 60000) const;
    std::map<std::string, std::string> Report() const { return ReadReport(reportPath_); }

private:
    ScratchFolder scratch_;
    std::string exeFolder_;
    std::string exePath_;
    std::string workFolder_;
    std::string reportPath_;
    std::string tempFolder_;
    std::string seenFolder_;
};

// Runs show with a quiet player result and checks the outcome of a search
// that found the player: exit code 0, no message box, the player at
// expectedModule with expectedLocation, and started in the show's working
// folder, which every search must have put back.
::testing::AssertionResult PlayerRanFrom(const Presentation &show,
                                         const std::string &expectedLocation,
                                         const std::string &expectedModule);

// Sets an environment variable of this process (TMP, for instance, steers
// GetTempPathA) and puts back the earlier value, or its absence, on the way out.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const std::string &name, const std::string &value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
    ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

private:
    std::string name_;
    std::string previous_;
    bool hadValue_ = false;
};

// Redirects this program's calls of an imported function to replacement for
// the object's lifetime. The launcher's code is linked into the test programs,
// so its calls go through this program's import table as well; a replacement
// reaches the real function through original().
class ImportHook {
public:
    ImportHook(const char *functionName, void *replacement);
    ~ImportHook();
    ImportHook(const ImportHook &) = delete;
    ImportHook &operator=(const ImportHook &) = delete;
    bool installed() const { return !slots_.empty(); }
    void *original() const { return original_; }

private:
    std::vector<void **> slots_;
    void *original_ = nullptr;
};

// A GetShortPathNameW for an ImportHook: a volume without short names, where
// the lookup succeeds and gives back the long path, as Windows does there.
DWORD WINAPI LongPathAsShortPath(LPCWSTR path, LPWSTR shortPath, DWORD size);

// The wide form of UTF-8 text; empty when it does not convert.
std::wstring WideFromUtf8(const std::string &text);

// The short (8.3) form of the path given in UTF-8, in ANSI; empty when the
// path does not exist or its short form does not convert losslessly.
std::string ShortAnsiPath(const std::string &utf8Path);

// Creates base and folders nested in it until the path is exactly length
// characters long and returns it; empty when that length cannot be reached.
std::string MakeFolderOfLength(const std::string &base, size_t length);

}  // namespace lumvtest
