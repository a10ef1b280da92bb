// Input files read where needed, and outputs that appear whole or not at all:
// the Windows side. Paths arrive as UTF-8 and are opened through the wide
// (W) calls, so any name Windows can hold works whatever the ANSI code page.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

#include <new>

#include "file_io.h"

namespace {

// The temporary files being written, for the console's control handler,
// which runs on a thread of its own: fixed slots, filled before they are
// marked used.
enum { OutputSlots = 64, OutputPathSize = 32768 };
wchar_t g_outputPaths[OutputSlots][OutputPathSize];
volatile LONG g_outputUsed[OutputSlots];

std::wstring Wide(const std::string &text) {
    if (text.empty()) {
        return std::wstring();
    }
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        // Not UTF-8: taken as bytes of the ANSI code page rather than lost.
        size =
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(size), L'\0');
        (void)MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                  size);
        return wide;
    }
    std::wstring wide(static_cast<size_t>(size), L'\0');
    (void)MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                              size);
    return wide;
}

std::string Utf8(const wchar_t *text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return std::string();
    }
    std::string utf8(static_cast<size_t>(size), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size - 1));
    return utf8;
}

std::string ErrorText(DWORD code) {
    wchar_t *message = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    std::string text;
    if (length > 0 && message != nullptr) {
        text = Utf8(message);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                                 text.back() == '.')) {
            text.pop_back();
        }
    }
    LocalFree(message);
    if (text.empty()) {
        text = "Windows error " + std::to_string(code);
    }
    return text;
}

std::string LastErrorText() {
    return ErrorText(GetLastError());
}

int RegisterOutput(const std::wstring &path) {
    if (path.size() >= OutputPathSize) {
        return -1;
    }
    for (int slot = 0; slot < OutputSlots; slot++) {
        if (g_outputUsed[slot] == 0) {
            memcpy(g_outputPaths[slot], path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            InterlockedExchange(&g_outputUsed[slot], 1);
            return slot;
        }
    }
    return -1;
}

void ReleaseOutput(int slot) {
    if (slot >= 0) {
        InterlockedExchange(&g_outputUsed[slot], 0);
    }
}

// Ctrl+C, Ctrl+Break, the console closed, logoff or shutdown: every
// temporary file still open is marked for deletion (its handle allows
// that), so it is gone when the process ends; then the default handler
// ends the process.
BOOL WINAPI RemoveOutputsOnControl(DWORD) {
    for (int slot = 0; slot < OutputSlots; slot++) {
        if (g_outputUsed[slot] != 0) {
            (void)DeleteFileW(g_outputPaths[slot]);
        }
    }
    return FALSE;
}

size_t LastSeparator(const std::string &path) {
    size_t at = path.size();
    while (at > 0 && !IsPathSeparator(path[at - 1])) {
        at--;
    }
    return at;  // just after the separator; 0: none
}

// Opens path without reading it, to ask what it is: a link itself unless
// followLinks; folders too.
HANDLE OpenForQuery(const std::wstring &path, bool followLinks) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

PathKind KindOfHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION *info) {
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, info)) {
        return PathKind::Other;
    }
    if ((info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return PathKind::Other;
    }
    return (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder
                                                                    : PathKind::File;
}

bool WriteAll(HANDLE handle, const uint8_t *data, size_t size, std::string *error) {
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD wrote = 0;
        if (!WriteFile(handle, data, chunk, &wrote, nullptr)) {
            *error = LastErrorText();
            return false;
        }
        if (wrote == 0) {
            *error = "nothing could be written";
            return false;
        }
        data += wrote;
        size -= wrote;
    }
    return true;
}

}  // namespace

bool OpenInputFile(const std::string &path, InputFile *file, std::string *error) {
    // Backup semantics, so that a folder opens and is named as one.
    HANDLE handle =
        CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = LastErrorText();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        *error = "is not a regular file (a pipe or a device)";
        CloseHandle(handle);
        return false;
    }
    if (!GetFileInformationByHandle(handle, &info)) {
        *error = LastErrorText();
        CloseHandle(handle);
        return false;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *error = "is a folder, not a file";
        CloseHandle(handle);
        return false;
    }
    file->handle = handle;
    file->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

void CloseInputFile(InputFile *file) {
    if (file->handle != nullptr) {
        CloseHandle(file->handle);
        file->handle = nullptr;
    }
}

bool ReadInputAt(const InputFile &file, uint64_t offset, void *buffer, size_t size,
                 std::string *error) {
    uint8_t *at = static_cast<uint8_t *>(buffer);
    while (size > 0) {
        OVERLAPPED where;
        memset(&where, 0, sizeof where);
        where.Offset = static_cast<DWORD>(offset);
        where.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(file.handle, at, chunk, &got, &where)) {
            DWORD code = GetLastError();
            if (code != ERROR_HANDLE_EOF) {
                *error = ErrorText(code);
                return false;
            }
            got = 0;
        }
        if (got == 0) {
            *error = "the file ended early (did it change while being read?)";
            return false;
        }
        at += got;
        offset += got;
        size -= got;
    }
    return true;
}

bool SameFile(const std::string &a, const std::string &b) {
    HANDLE first = OpenForQuery(Wide(a), true);
    if (first == INVALID_HANDLE_VALUE) {
        return false;
    }
    HANDLE second = OpenForQuery(Wide(b), true);
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION two;
    bool same = second != INVALID_HANDLE_VALUE && GetFileInformationByHandle(first, &one) &&
                GetFileInformationByHandle(second, &two) &&
                one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
                one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
    }
    return same;
}

void RemoveOutputsOnSignals() {
    (void)SetConsoleCtrlHandler(RemoveOutputsOnControl, TRUE);
}

PathKind KindOfPath(const std::string &path, bool followLinks) {
    HANDLE handle = OpenForQuery(Wide(path), followLinks);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                       code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH
                   ? PathKind::Missing
                   : PathKind::Other;
    }
    BY_HANDLE_FILE_INFORMATION info;
    PathKind kind = KindOfHandle(handle, &info);
    CloseHandle(handle);
    return kind;
}

bool MakeFolder(const std::string &path, std::string *error) {
    if (!CreateDirectoryW(Wide(path).c_str(), nullptr)) {
        *error = LastErrorText();
        return false;
    }
    return true;
}

void RemoveFolder(const std::string &path) {
    (void)RemoveDirectoryW(Wide(path).c_str());
}

void RemoveFile(const std::string &path) {
    (void)DeleteFileW(Wide(path).c_str());
}

bool IsPathSeparator(char c) {
    return c == '/' || c == '\\';
}

size_t PathRootSize(const std::string &path) {
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // \\server\share\ (or \\?\C:\ and the like): through the fourth separator.
        size_t separators = 0;
        for (size_t at = 0; at < path.size(); at++) {
            if (IsPathSeparator(path[at]) && ++separators == 4) {
                return at + 1;
            }
        }
        return path.size();
    }
    if (!path.empty() && IsPathSeparator(path[0])) {
        return 1;
    }
    bool letter =
        !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (letter && path.size() >= 2 && path[1] == ':') {
        return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
    }
    return 0;
}

std::string AbsolutePath(const std::string &path) {
    std::wstring wide = Wide(path);
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::vector<wchar_t> full(size);
    DWORD written = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    return written == 0 || written >= size ? path : Utf8(full.data());
}

std::vector<std::string> CommandLineArguments(int argc, char **argv) {
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; i++) {
        arguments.push_back(Utf8(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

void UseBinaryStandardOutput() {
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool OutputFile::Begin(const std::string &path, bool force, bool allowStdout, std::string *error) {
    Discard();
    path_ = path;
    size_ = 0;
    if (allowStdout && path == "-") {
        toStdout_ = true;
        (void)fflush(stdout);
        handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
            handle_ = nullptr;
            toStdout_ = false;
            *error = "standard output is not open";
            return false;
        }
        return true;
    }
    std::wstring widePath = Wide(path);
    HANDLE existing = OpenForQuery(widePath, false);
    if (existing != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        PathKind kind = KindOfHandle(existing, &info);
        bool link = GetFileType(existing) == FILE_TYPE_DISK &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        CloseHandle(existing);
        if (kind != PathKind::File) {
            *error = link                       ? "is a symbolic link; lumpack replaces no link"
                     : kind == PathKind::Folder ? "is a folder"
                                                : "is not a regular file (a pipe or a device); "
                                                  "lumpack writes regular files only";
            return false;
        }
        if (!force) {
            *error = "exists; give --force to replace it";
            return false;
        }
    } else {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {
            *error = ErrorText(code);
            return false;
        }
    }
    // ".NAME.XXXXXX" beside the destination, created only when new; the
    // name's tail changes until one is free.
    size_t nameAt = LastSeparator(path);
    std::string folder = path.substr(0, nameAt);
    std::string name = path.substr(nameAt);
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static unsigned long long s_seed = 0;
    if (s_seed == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        s_seed = static_cast<unsigned long long>(now.QuadPart) ^
                 (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
    }
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string suffix;
        for (int i = 0; i < 6; i++) {
            s_seed = s_seed * 6364136223846793005ull + 1442695040888963407ull;
            suffix += Letters[(s_seed >> 33) % 36];
        }
        std::wstring temporary = Wide(folder + "." + name + "." + suffix);
        // Deletion shared, so that the control handler can remove it while
        // it is still open.
        HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            DWORD code = GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
                continue;
            }
            *error = ErrorText(code);
            return false;
        }
        handle_ = handle;
        temporaryPath_ = folder + "." + name + "." + suffix;
        slot_ = RegisterOutput(temporary);
        if (slot_ < 0) {
            *error = "too many output files at once, or the path is too long";
            Discard();
            return false;
        }
        return true;
    }
    *error = "no free name for a temporary file beside it";
    return false;
}

bool OutputFile::IsOpen() const {
    return handle_ != nullptr;
}

bool OutputFile::WriteOut(const uint8_t *data, size_t size, std::string *error) {
    return WriteAll(handle_, data, size, error);
}

// Moves the file pointer to offset from the start.
static bool MoveTo(void *handle, uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) != 0;
}

bool OutputFile::TruncateOut(uint64_t size, std::string *error) {
    if (!MoveTo(handle_, size) || !SetEndOfFile(handle_)) {
        *error = LastErrorText();
        return false;
    }
    return true;
}

bool OutputFile::WriteOutAt(uint64_t offset, const uint8_t *data, size_t size, std::string *error) {
    LARGE_INTEGER end = {};
    if (!MoveTo(handle_, offset) || !WriteAll(handle_, data, size, error) ||
        !SetFilePointerEx(handle_, end, nullptr, FILE_END)) {
        if (error->empty()) {
            *error = LastErrorText();
        }
        return false;
    }
    return true;
}

bool OutputFile::Commit(std::string *error) {
    if (handle_ == nullptr) {
        *error = "not open";
        return false;
    }
    if (!Flush(error)) {
        Discard();
        return false;
    }
    if (toStdout_) {
        handle_ = nullptr;
        toStdout_ = false;
        return true;
    }
    bool ok = CloseHandle(handle_) != 0;
    if (!ok) {
        *error = LastErrorText();
    }
    handle_ = nullptr;
    if (ok && !MoveFileExW(Wide(temporaryPath_).c_str(), Wide(path_).c_str(),
                           MOVEFILE_REPLACE_EXISTING)) {
        *error = LastErrorText();
        ok = false;
    }
    if (!ok) {
        Discard();
        return false;
    }
    ReleaseOutput(slot_);
    slot_ = -1;
    temporaryPath_.clear();
    return true;
}

void OutputFile::Discard() {
    buffer_.clear();
    if (toStdout_) {
        handle_ = nullptr;
        toStdout_ = false;
        return;
    }
    if (handle_ != nullptr) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
    if (!temporaryPath_.empty()) {
        (void)DeleteFileW(Wide(temporaryPath_).c_str());
        temporaryPath_.clear();
    }
    ReleaseOutput(slot_);
    slot_ = -1;
}
