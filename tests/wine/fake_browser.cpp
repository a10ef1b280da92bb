// A stand-in for the browser registered to open ".htm" files: appends its
// whole command line, as UTF-8 and one line per start, to the file named by
// LUMV_BROWSER_LOG, and ends. No window and no console, so that starting it
// shows nothing.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t logPath[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"LUMV_BROWSER_LOG", logPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 2;
    }
    char line[8192];
    int size = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof line - 1,
                                   nullptr, nullptr);
    if (size <= 0) {
        return 3;
    }
    line[size - 1] = '\n';  // in place of the terminator
    HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return 4;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(log, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(log);
    return ok && written == static_cast<DWORD>(size) ? 0 : 5;
}
