// The player double: a lumv.dll whose LumivanceMain writes everything it was
// handed to a report file and returns a result chosen by the test.
//   LUMV_TEST_REPORT  path of the report file (key=value lines); no report without it
//   LUMV_TEST_RESULT  the value LumivanceMain returns (default 3: a quiet exit)
//   LUMV_TEST_CLOSE_SPLASH  milliseconds to wait before asking the launcher to
//                     close its splash (closeSplash with splashThreadId), then
//                     asking a second time; both results and the tick count of
//                     the first call are reported
//   LUMV_TEST_PAUSE   milliseconds to sleep before returning, so that a test
//                     can look at the screen while the player still runs
//   LUMV_TEST_COPY_EXE_FOLDER  a folder into which every file beside the
//                     executable but the executable itself is copied, so that
//                     a test can read what the player found there
// Only test doubles read the environment; the launcher never does.
#include <windows.h>

#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/player_interface.h"

namespace {

struct Report {
    HANDLE file;
};

void Put(Report *report, const char *key, const char *value) {
    if (report->file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(report->file, key, static_cast<DWORD>(strlen(key)), &written, nullptr);
    WriteFile(report->file, "=", 1, &written, nullptr);
    WriteFile(report->file, value, static_cast<DWORD>(strlen(value)), &written, nullptr);
    WriteFile(report->file, "\r\n", 2, &written, nullptr);
}

void PutNumber(Report *report, const char *key, long long value) {
    char text[32];
    snprintf(text, sizeof text, "%lld", value);
    Put(report, key, text);
}

void PutPointer(Report *report, const char *key, const void *value) {
    char text[32];
    snprintf(text, sizeof text, "0x%llx",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
    Put(report, key, text);
}

// The block as raw bytes, so a test can check offsets, not just fields.
void PutBlockBytes(Report *report, const PlayerParams *params) {
    size_t size = params->blockSize;
    if (size > 64) {
        size = 64;
    }
    char text[2 * 64 + 1] = {};
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(params);
    for (size_t i = 0; i < size; i++) {
        snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    }
    Put(report, "blockBytes", text);
}

// File names in folder (ending in '\'), separated by '|', in the order the
// system lists them; empty for a null folder.
void PutFolderFiles(Report *report, const char *key, const char *folder) {
    if (folder == nullptr) {
        Put(report, key, "");
        return;
    }
    char pattern[MAX_PATH + 4];
    snprintf(pattern, sizeof pattern, "%s*", folder);
    char list[4096] = {};
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) {
                continue;
            }
            if (list[0] != '\0') {
                strncat(list, "|", sizeof list - strlen(list) - 1);
            }
            strncat(list, found.cFileName, sizeof list - strlen(list) - 1);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    Put(report, key, list);
}

// The wide forms, as UTF-8: what the ANSI forms above cannot spell.
void PutWide(Report *report, const char *key, const wchar_t *value) {
    char text[MAX_PATH * 4];
    if (WideCharToMultiByte(CP_UTF8, 0, value, -1, text, sizeof text, nullptr, nullptr) == 0) {
        text[0] = '\0';
    }
    Put(report, key, text);
}

// What lies beside the executable, listed by wide names ('|' between them).
void PutExeFolderFilesWide(Report *report) {
    wchar_t pattern[MAX_PATH + 4];
    DWORD length = GetModuleFileNameW(nullptr, pattern, MAX_PATH);
    wchar_t *lastSeparator = length > 0 && length < MAX_PATH ? wcsrchr(pattern, L'\\') : nullptr;
    if (lastSeparator == nullptr) {
        Put(report, "exeFolderFilesWide", "");
        return;
    }
    wcscpy(lastSeparator + 1, L"*");
    wchar_t list[4096] = {};
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) {
                continue;
            }
            if (list[0] != L'\0') {
                wcsncat(list, L"|", 4096 - wcslen(list) - 1);
            }
            wcsncat(list, found.cFileName, 4096 - wcslen(list) - 1);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    PutWide(report, "exeFolderFilesWide", list);
}

// Copies the files beside the executable (but the executable) into the
// folder that LUMV_TEST_COPY_EXE_FOLDER names, if it is set.
void CopyExeFolderOnRequest() {
    char destination[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("LUMV_TEST_COPY_EXE_FOLDER", destination, MAX_PATH);
    char exePath[MAX_PATH];
    DWORD exeLength = GetModuleFileNameA(nullptr, exePath, MAX_PATH);
    char *exeName = exeLength > 0 && exeLength < MAX_PATH ? strrchr(exePath, '\\') : nullptr;
    if (length == 0 || length >= MAX_PATH || exeName == nullptr) {
        return;
    }
    char pattern[MAX_PATH + 4];
    snprintf(pattern, sizeof pattern, "%.*s*", static_cast<int>(exeName + 1 - exePath), exePath);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            lstrcmpiA(found.cFileName, exeName + 1) == 0) {
            continue;
        }
        char from[MAX_PATH * 2];
        char to[MAX_PATH * 2];
        snprintf(from, sizeof from, "%.*s%s", static_cast<int>(exeName + 1 - exePath), exePath,
                 found.cFileName);
        snprintf(to, sizeof to, "%s\\%s", destination, found.cFileName);
        CopyFileA(from, to, FALSE);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

HMODULE OwnModule();

void WriteWideReport(Report *report) {
    wchar_t text[MAX_PATH * 2];
    DWORD length = GetCurrentDirectoryW(MAX_PATH * 2, text);
    PutWide(report, "currentDirectoryWide", length > 0 && length < MAX_PATH * 2 ? text : L"");
    length = GetModuleFileNameW(nullptr, text, MAX_PATH * 2);
    PutWide(report, "exePathWide", length > 0 && length < MAX_PATH * 2 ? text : L"");
    length = GetModuleFileNameW(OwnModule(), text, MAX_PATH * 2);
    PutWide(report, "modulePathWide", length > 0 && length < MAX_PATH * 2 ? text : L"");
    PutExeFolderFilesWide(report);
}

HANDLE OpenReport() {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("LUMV_TEST_REPORT", path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

int32_t ChosenResult() {
    char text[32];
    DWORD length = GetEnvironmentVariableA("LUMV_TEST_RESULT", text, sizeof text);
    if (length == 0 || length >= sizeof text) {
        return 3;
    }
    return static_cast<int32_t>(strtol(text, nullptr, 10));
}

HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

// The largest working set the process has had so far (the launcher's
// unpacking included), or -1 where the system cannot say. Wine counts the
// pages touched here, not the memory committed.
long long PeakWorkingSetBytes() {
    typedef BOOL(WINAPI * MemoryInfo)(HANDLE, PROCESS_MEMORY_COUNTERS *, DWORD);
    MemoryInfo info = reinterpret_cast<MemoryInfo>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (info == nullptr || !info(GetCurrentProcess(), &counters, sizeof counters)) {
        return -1;
    }
    return static_cast<long long>(counters.PeakWorkingSetSize);
}

void WriteReport(Report *report, HINSTANCE instance, HINSTANCE prevInstance, char *cmdLine,
                 int cmdShow, PlayerParams *params) {
    PutPointer(report, "hInstance", instance);
    PutNumber(report, "hInstanceIsExe", instance == GetModuleHandleA(nullptr));
    PutPointer(report, "hPrevInstance", prevInstance);
    Put(report, "lpCmdLine", cmdLine != nullptr ? cmdLine : "(null)");
    PutNumber(report, "nCmdShow", cmdShow);
    PutNumber(report, "peakWorkingSetBytes", PeakWorkingSetBytes());
    if (params == nullptr) {
        Put(report, "params", "(null)");
        return;
    }
    PutNumber(report, "blockVersion", params->blockVersion);
    PutNumber(report, "blockSize", params->blockSize);
    PutPointer(report, "closeSplash", reinterpret_cast<const void *>(params->closeSplash));
    PutNumber(report, "splashThreadId", params->splashThreadId);
    Put(report, "tempFolderPath",
        params->tempFolderPath != nullptr ? params->tempFolderPath : "(null)");
    PutNumber(report, "playerLocation", params->playerLocation);
    PutBlockBytes(report, params);
    PutNumber(report, "pointerSize", sizeof(void *));

    char text[MAX_PATH * 2];
    DWORD length = GetCurrentDirectoryA(sizeof text, text);
    Put(report, "currentDirectory", length > 0 && length < sizeof text ? text : "(unreadable)");
    length = GetModuleFileNameA(OwnModule(), text, sizeof text);
    Put(report, "modulePath", length > 0 && length < sizeof text ? text : "(unreadable)");
    PutNumber(report, "msvcrtLoaded", GetModuleHandleA("msvcrt.dll") != nullptr);
    PutFolderFiles(report, "tempFolderFiles", params->tempFolderPath);

    // What lies beside the executable while the player runs.
    length = GetModuleFileNameA(nullptr, text, sizeof text);
    char *lastSeparator = length > 0 && length < sizeof text ? strrchr(text, '\\') : nullptr;
    if (lastSeparator != nullptr) {
        lastSeparator[1] = '\0';
    }
    PutFolderFiles(report, "exeFolderFiles", lastSeparator != nullptr ? text : nullptr);
    WriteWideReport(report);
    CopyExeFolderOnRequest();
}

// A whole number of milliseconds from the environment; false when unset.
bool DelayFromEnvironment(const char *name, DWORD *delayMs) {
    char text[32];
    DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    if (length == 0 || length >= sizeof text) {
        return false;
    }
    *delayMs = static_cast<DWORD>(strtoul(text, nullptr, 10));
    return true;
}

// Closes the splash the launcher handed over, twice: the second request must
// do no harm, whether the splash thread is still there or not.
void CloseSplashOnRequest(Report *report, const PlayerParams *params) {
    DWORD delayMs = 0;
    if (params == nullptr || !DelayFromEnvironment("LUMV_TEST_CLOSE_SPLASH", &delayMs)) {
        return;
    }
    Sleep(delayMs);
    if (params->closeSplash == nullptr) {
        Put(report, "closeSplashResult", "(no callback)");
        return;
    }
    int32_t first = params->closeSplash(params->splashThreadId);
    DWORD tick = GetTickCount();
    int32_t second = params->closeSplash(params->splashThreadId);
    PutNumber(report, "closeSplashResult", first);
    PutNumber(report, "closeSplashTick", tick);
    PutNumber(report, "closeSplashSecondResult", second);
}

void PauseOnRequest(Report *report) {
    DWORD pauseMs = 0;
    if (DelayFromEnvironment("LUMV_TEST_PAUSE", &pauseMs)) {
        Sleep(pauseMs);
        PutNumber(report, "pausedMs", pauseMs);
    }
}

}  // namespace

extern "C" __declspec(dllexport) int32_t WINAPI
    LumivanceMain(HINSTANCE instance, HINSTANCE prevInstance, char *cmdLine, int cmdShow,
                  PlayerParams *params) {
    Report report = {OpenReport()};
    WriteReport(&report, instance, prevInstance, cmdLine, cmdShow, params);
    CloseSplashOnRequest(&report, params);
    PauseOnRequest(&report);
    int32_t result = ChosenResult();
    PutNumber(&report, "result", result);
    if (report.file != INVALID_HANDLE_VALUE) {
        CloseHandle(report.file);
    }
    return result;
}
