// Shared helpers of the Windows test programs.
#include "test_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace lumvtest {

std::string EnvironmentValue(const char *name) {
    char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return std::string();
    }
    return std::string(value, length);
}

std::string WindowsPathFromUnix(const std::string &unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

static std::string ArtifactPath(const char *variable) {
    std::string value = EnvironmentValue(variable);
    if (value.empty()) {
        fprintf(stderr, "test_support: %s is not set (run the tests through CTest)\n", variable);
        return std::string();
    }
    return WindowsPathFromUnix(value);
}

std::string LauncherExePath() {
    return ArtifactPath("LUMV_LAUNCHER_EXE");
}
std::string TestPlayerDllPath() {
    return ArtifactPath("LUMV_TEST_PLAYER_DLL");
}
std::string SamplePlayerDllPath() {
    return ArtifactPath("LUMV_SAMPLE_PLAYER_DLL");
}

ScratchFolder::ScratchFolder(const std::string &label) {
    static unsigned counter = 0;
    std::string root = ArtifactPath("LUMV_SCRATCH_ROOT");
    // Process ids are only unique within a Wine prefix, and programs in
    // several prefixes share the scratch root: the prefix is part of the name.
    std::string prefix = EnvironmentValue("LUMV_WINE_PREFIX");
    char unique[64];
    snprintf(unique, sizeof unique, "%lu-%u", GetCurrentProcessId(), ++counter);
    path_ = root + "\\" + label + "-" + (prefix.empty() ? "" : prefix + "-") + unique;
    DeleteTree(path_);
    MakeFolder(path_);
}

ScratchFolder::~ScratchFolder() {
    DeleteTree(path_);
}

bool MakeFolder(const std::string &path) {
    if (FolderExists(path)) {
        return true;
    }
    size_t cut = path.find_last_of('\\');
    if (cut != std::string::npos && cut > 2) {
        MakeFolder(path.substr(0, cut));
    }
    return CreateDirectoryA(path.c_str(), nullptr) || FolderExists(path);
}

bool CopyFileTo(const std::string &from, const std::string &to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool WriteTextFile(const std::string &path, const std::string &text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

bool ReadTextFile(const std::string &path, std::string *text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    text->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text->append(buffer, got);
    }
    CloseHandle(file);
    return true;
}

bool WriteBytesFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    return WriteTextFile(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<unsigned char> FileBytes(const std::string &path) {
    std::string text;
    if (!ReadTextFile(path, &text)) {
        return std::vector<unsigned char>();
    }
    return std::vector<unsigned char>(text.begin(), text.end());
}

bool FileExists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SamePath(const std::string &a, const std::string &b) {
    return _stricmp(a.c_str(), b.c_str()) == 0;
}

std::vector<std::string> FolderEntries(const std::string &folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void DeleteTree(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        for (const std::string &name : FolderEntries(path)) {
            DeleteTree(path + "\\" + name);
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(path.c_str());
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(path.c_str());  // a link to a folder
        return;
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

std::vector<unsigned char> SampleBytes(size_t size, unsigned seed) {
    static const char text[] = "Slides, notes and a little music for the show. ";
    std::vector<unsigned char> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        state = state * 1664525u + 1013904223u;
        bool fromText = (i / 97 + seed) % 2 == 0;
        bytes[i] = static_cast<unsigned char>(fromText ? text[i % (sizeof text - 1)] : state >> 24);
    }
    return bytes;
}

HeldFile::HeldFile(const std::string &path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void HeldFile::Release() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

std::map<std::string, std::string> ReadReport(const std::string &path) {
    std::map<std::string, std::string> report;
    std::string text;
    if (!ReadTextFile(path, &text)) {
        return report;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos) {
            report[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 2;
    }
    return report;
}

std::string LayOutLauncher(const std::string &folder, const std::string &exeName) {
    MakeFolder(folder);
    std::string exe = folder + "\\" + exeName;
    CopyFileTo(LauncherExePath(), exe);
    return exe;
}

// The current environment block with extra entries put in front; the first
// occurrence of a name wins when a program reads its environment.
static std::vector<char> EnvironmentBlock(const std::vector<std::string> &extra) {
    std::vector<char> block;
    for (const std::string &entry : extra) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    char *current = GetEnvironmentStringsA();
    for (const char *at = current; *at != '\0'; at += strlen(at) + 1) {
        std::string entry = at;
        bool overridden = false;
        for (const std::string &e : extra) {
            size_t equals = e.find('=');
            if (_strnicmp(entry.c_str(), e.c_str(), equals + 1) == 0) {
                overridden = true;
            }
        }
        if (!overridden) {
            block.insert(block.end(), entry.begin(), entry.end());
            block.push_back('\0');
        }
    }
    FreeEnvironmentStringsA(current);
    block.push_back('\0');
    return block;
}

DWORD WINAPI LongPathAsShortPath(LPCWSTR path, LPWSTR shortPath, DWORD size) {
    DWORD length = static_cast<DWORD>(wcslen(path));
    if (length >= size) {
        return length + 1;
    }
    wcscpy(shortPath, path);
    return length;
}

std::wstring WideFromUtf8(const std::string &text) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length <= 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1,
                                           &wide[0], length) == 0) {
        return std::wstring();
    }
    wide.resize(length - 1);
    return wide;
}

std::string ShortAnsiPath(const std::string &utf8Path) {
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(WideFromUtf8(utf8Path).c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::string();
    }
    char ansi[MAX_PATH * 2];
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shortPath, -1, ansi, sizeof ansi, nullptr,
                            &lossy) == 0 ||
        lossy) {
        return std::string();
    }
    return ansi;
}

// The environment block for the wide call: extra (UTF-8) before the
// inherited variables it does not override.
static std::vector<wchar_t> WideEnvironmentBlock(const std::vector<std::string> &extra) {
    std::vector<wchar_t> block;
    std::vector<std::wstring> wideExtra;
    for (const std::string &entry : extra) {
        wideExtra.push_back(WideFromUtf8(entry));
        block.insert(block.end(), wideExtra.back().begin(), wideExtra.back().end());
        block.push_back(L'\0');
    }
    wchar_t *current = GetEnvironmentStringsW();
    for (const wchar_t *at = current; *at != L'\0'; at += wcslen(at) + 1) {
        bool overridden = false;
        for (const std::wstring &e : wideExtra) {
            size_t equals = e.find(L'=');
            if (_wcsnicmp(at, e.c_str(), equals + 1) == 0) {
                overridden = true;
            }
        }
        if (!overridden) {
            block.insert(block.end(), at, at + wcslen(at) + 1);
        }
    }
    FreeEnvironmentStringsW(current);
    block.push_back(L'\0');
    return block;
}

// The start-up record for either CreateProcess call: the show state, if set.
template <typename StartupInfo>
static StartupInfo StartupFor(const StartOptions &options) {
    StartupInfo startup = {};
    startup.cb = sizeof startup;
    if (options.useShowWindow) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = options.showWindow;
    }
    return startup;
}

// Calls create (a CreateProcess) until it starts the program. Under load
// Wine now and then fails a start with ERROR_INTERNAL_ERROR before the
// program runs at all; that is tried again twice, and said.
static bool StartWithRetries(const std::string &commandLine, const std::function<BOOL()> &create) {
    for (int attempt = 1;; attempt++) {
        if (create()) {
            return true;
        }
        DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
            fprintf(stderr, "test_support: cannot start %s (error %lu)\n", commandLine.c_str(),
                    error);
            return false;
        }
        fprintf(stderr, "test_support: starting %s failed inside Wine (error %lu); again\n",
                commandLine.c_str(), error);
        Sleep(200);
    }
}

static bool StartWideProgram(const std::string &commandLine, const std::string &workingFolder,
                             const std::vector<std::string> &extraEnvironment,
                             const StartOptions &options, PROCESS_INFORMATION *process) {
    std::wstring command = WideFromUtf8(commandLine);
    std::wstring folder = WideFromUtf8(workingFolder);
    std::vector<wchar_t> environment = WideEnvironmentBlock(extraEnvironment);
    STARTUPINFOW startup = StartupFor<STARTUPINFOW>(options);
    *process = PROCESS_INFORMATION();
    return StartWithRetries(commandLine, [&] {
        return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT, environment.data(),
                              folder.empty() ? nullptr : folder.c_str(), &startup, process);
    });
}

bool StartProgram(const std::string &commandLine, const std::string &workingFolder,
                  const std::vector<std::string> &extraEnvironment, const StartOptions &options,
                  PROCESS_INFORMATION *process) {
    if (options.utf8) {
        return StartWideProgram(commandLine, workingFolder, extraEnvironment, options, process);
    }
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    std::vector<char> environment = EnvironmentBlock(extraEnvironment);
    STARTUPINFOA startup = StartupFor<STARTUPINFOA>(options);
    *process = PROCESS_INFORMATION();
    return StartWithRetries(commandLine, [&] {
        return CreateProcessA(
            nullptr, command.data(), nullptr, nullptr, FALSE, 0, environment.data(),
            workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, process);
    });
}

namespace {

struct WindowSearch {
    DWORD processId;
    const std::function<bool(HWND)> *matches;
    HWND found;
};

BOOL CALLBACK NoteProcessWindow(HWND window, LPARAM data) {
    WindowSearch *search = reinterpret_cast<WindowSearch *>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !(*search->matches)(window)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const std::function<bool(HWND)> &matches) {
    WindowSearch search = {processId, &matches, nullptr};
    EnumWindows(NoteProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ProcessNamedIsRunning(const char *exeName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool running = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && !running;
         more = Process32Next(snapshot, &entry)) {
        running = _stricmp(entry.szExeFile, exeName) == 0;
    }
    CloseHandle(snapshot);
    return running;
}

bool FinishProgram(PROCESS_INFORMATION *process, DWORD timeoutMs, DWORD *exitCode) {
    bool ended = WaitForSingleObject(process->hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process->hProcess, 255);
        WaitForSingleObject(process->hProcess, 5000);
    }
    *exitCode = 255;
    GetExitCodeProcess(process->hProcess, exitCode);
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    return ended;
}

RunResult RunProgramWith(const std::string &commandLine, const std::string &workingFolder,
                         const std::vector<std::string> &extraEnvironment,
                         const StartOptions &options, DWORD timeoutMs) {
    RunResult result;
    PROCESS_INFORMATION process;
    if (!StartProgram(commandLine, workingFolder, extraEnvironment, options, &process)) {
        return result;
    }
    result.started = true;
    // Every box is read and answered once; a box still on screen after its
    // answer is not seen again.
    std::vector<HWND> answered;
    DWORD start = GetTickCount();
    while (!result.finished && GetTickCount() - start < timeoutMs) {
        result.finished = WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0;
        HWND box = result.finished ? nullptr : FindMessageBox(process.dwProcessId, answered);
        if (box != nullptr) {
            MessageBoxView view;
            ReadMessageBox(box, &view);
            result.boxes.push_back(view);
            answered.push_back(box);
            PressMessageBoxButton(box, options.boxAnswer);
        }
    }
    if (!result.finished) {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

RunResult RunProgram(const std::string &commandLine, const std::string &workingFolder,
                     const std::vector<std::string> &extraEnvironment, DWORD timeoutMs) {
    return RunProgramWith(commandLine, workingFolder, extraEnvironment, StartOptions(), timeoutMs);
}

static int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::vector<unsigned char> BytesFromHex(const std::string &hex) {
    std::vector<unsigned char> bytes;
    if (hex.size() % 2 != 0) {
        return bytes;
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigitValue(hex[i]);
        int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::vector<unsigned char>();
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return bytes;
}

unsigned long long LittleEndianAt(const std::vector<unsigned char> &bytes, size_t offset,
                                  size_t width) {
    if (width > 8 || offset + width > bytes.size()) {
        return UINT64_MAX;
    }
    unsigned long long value = 0;
    for (size_t i = width; i > 0; i--) {
        value = (value << 8) | bytes[offset + i - 1];
    }
    return value;
}

Presentation::Presentation(const std::string &label, const std::string &exeFolderName,
                           const std::string &exeName)
    : scratch_(label),
      exeFolder_(scratch_.Child(exeFolderName)),
      exePath_(LayOutLauncher(exeFolder_, exeName)),
      workFolder_(scratch_.Child("work")),
      reportPath_(scratch_.Child("report.txt")),
      tempFolder_(scratch_.Child("temp")),
      seenFolder_(scratch_.Child("seen")) {
    MakeFolder(workFolder_);
    MakeFolder(tempFolder_);
    MakeFolder(seenFolder_);
}

bool Presentation::PutPlayer(const std::string &folder) const {
    return MakeFolder(folder) && CopyFileTo(TestPlayerDllPath(), folder + "\\lumv.dll");
}

std::vector<std::string> Presentation::Environment(int playerResult) const {
    return {"LUMV_TEST_REPORT=" + reportPath_, "LUMV_TEST_RESULT=" + std::to_string(playerResult),
            "TMP=" + tempFolder_, "LUMV_TEST_COPY_EXE_FOLDER=" + seenFolder_};
}

RunResult Presentation::Run(int playerResult, const std::string &commandLine,
                            const StartOptions &options, DWORD timeoutMs) const {
    return RunProgramWith(commandLine.empty() ? QuotedExePath() : commandLine, workFolder_,
                          Environment(playerResult), options, timeoutMs);
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const std::string &name,
                                                     const std::string &value)
    : name_(name) {
    char buffer[4096];
    DWORD length = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    if (length > 0 && length < sizeof buffer) {
        previous_.assign(buffer, length);
        hadValue_ = true;
    } else if (length == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
        hadValue_ = true;  // set, but empty
    }
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    SetEnvironmentVariableA(name_.c_str(), hadValue_ ? previous_.c_str() : nullptr);
}

// Every import address slot of this program whose name entry is functionName.
static std::vector<void **> ImportSlots(const char *functionName) {
    std::vector<void **> slots;
    BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const IMAGE_NT_HEADERS *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return slots;
    }
    for (const IMAGE_IMPORT_DESCRIPTOR *library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         library->Name != 0; library++) {
        if (library->OriginalFirstThunk == 0) {
            continue;  // names unknown
        }
        const IMAGE_THUNK_DATA *names =
            reinterpret_cast<const IMAGE_THUNK_DATA *>(base + library->OriginalFirstThunk);
        IMAGE_THUNK_DATA *addresses =
            reinterpret_cast<IMAGE_THUNK_DATA *>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, addresses++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const IMAGE_IMPORT_BY_NAME *name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char *>(name->Name), functionName) == 0) {
                slots.push_back(reinterpret_cast<void **>(&addresses->u1.Function));
            }
        }
    }
    return slots;
}

static void WriteSlot(void **slot, void *value) {
    DWORD protection = 0;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        *slot = value;
        VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
}

ImportHook::ImportHook(const char *functionName, void *replacement)
    : slots_(ImportSlots(functionName)) {
    if (slots_.empty()) {
        fprintf(stderr, "test_support: %s is not imported\n", functionName);
        return;
    }
    original_ = *slots_.front();
    for (void **slot : slots_) {
        WriteSlot(slot, replacement);
    }
}

ImportHook::~ImportHook() {
    for (void **slot : slots_) {
        WriteSlot(slot, original_);
    }
}

std::string MakeFolderOfLength(const std::string &base, size_t length) {
    if (!MakeFolder(base)) {
        return std::string();
    }
    std::string path = base;
    char letter = 'a';
    while (path.size() < length) {
        size_t remaining = length - path.size();
        if (remaining < 2) {
            return std::string();  // a separator alone is no folder name
        }
        // At most 40 characters a level; never leave exactly one character over.
        size_t nameLength = remaining - 1;
        if (remaining > 41) {
            nameLength = remaining == 42 ? 39 : 40;
        }
        path += "\\" + std::string(nameLength, letter);
        letter = letter == 'z' ? 'a' : static_cast<char>(letter + 1);
        if (!CreateDirectoryA(path.c_str(), nullptr) && !FolderExists(path)) {
            return std::string();
        }
    }
    return path.size() == length ? path : std::string();
}

::testing::AssertionResult PlayerRanFrom(const Presentation &show,
                                         const std::string &expectedLocation,
                                         const std::string &expectedModule) {
    RunResult run = show.Run(3);
    if (!run.started || !run.finished) {
        return ::testing::AssertionFailure() << "the launcher did not start or did not end";
    }
    if (run.exitCode != 0) {
        return ::testing::AssertionFailure() << "exit code " << run.exitCode;
    }
    if (!run.boxes.empty()) {
        return ::testing::AssertionFailure()
               << "a message box: [" << Utf8(run.boxes.front().text) << "]";
    }
    std::map<std::string, std::string> report = show.Report();
    if (report.empty()) {
        return ::testing::AssertionFailure() << "the player was not called";
    }
    if (report["playerLocation"] != expectedLocation) {
        return ::testing::AssertionFailure() << "playerLocation " << report["playerLocation"];
    }
    if (!SamePath(expectedModule, report["modulePath"])) {
        return ::testing::AssertionFailure() << "player loaded from " << report["modulePath"];
    }
    if (!SamePath(show.workFolder(), report["currentDirectory"])) {
        return ::testing::AssertionFailure() << "player started in " << report["currentDirectory"];
    }
    return ::testing::AssertionSuccess();
}

}  // namespace lumvtest
