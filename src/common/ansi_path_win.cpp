// Paths between their wide and their ANSI form.
#include "ansi_path.h"

#include <windows.h>

#include "path_rules.h"

static int BufferCount(size_t size) {
    return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
}

static bool SameText(const wchar_t *a, const wchar_t *b) {
    size_t at = 0;
    while (a[at] == b[at]) {
        if (a[at] == L'\0') {
            return true;
        }
        at++;
    }
    return false;
}

bool IsAnsiLeadByte(unsigned char value) {
    return IsDBCSLeadByteEx(CP_ACP, value) != FALSE;
}

bool AnsiFormOfPath(char *dest, size_t destSize, const wchar_t *path) {
    if (destSize == 0 || WideCharToMultiByte(CP_ACP, 0, path, -1, dest, BufferCount(destSize),
                                             nullptr, nullptr) == 0) {
        return false;
    }
    // A character the code page lacks comes out as '?' or as a look-alike
    // (best fit): either way the way back differs.
    wchar_t back[PathBufferSize];
    return MultiByteToWideChar(CP_ACP, 0, dest, -1, back, PathBufferSize) != 0 &&
           SameText(back, path);
}

bool AnsiNameOfPath(char *dest, size_t destSize, const wchar_t *path) {
    if (AnsiFormOfPath(dest, destSize, path)) {
        return true;
    }
    wchar_t shortPath[PathBufferSize];
    DWORD length = GetShortPathNameW(path, shortPath, PathBufferSize);
    return length != 0 && length < PathBufferSize && AnsiFormOfPath(dest, destSize, shortPath);
}

bool WideFormOfPath(wchar_t *dest, size_t destSize, const char *path) {
    return destSize > 0 &&
           MultiByteToWideChar(CP_ACP, 0, path, -1, dest, BufferCount(destSize)) != 0;
}

BOOL DeleteFileByPath(const wchar_t *path) {
    char ansi[PathBufferSize];
    return AnsiFormOfPath(ansi, sizeof ansi, path) ? DeleteFileA(ansi) : DeleteFileW(path);
}

BOOL RemoveFolderByPath(const wchar_t *path) {
    char ansi[PathBufferSize];
    return AnsiFormOfPath(ansi, sizeof ansi, path) ? RemoveDirectoryA(ansi)
                                                   : RemoveDirectoryW(path);
}

BOOL CreateFolderByPath(const wchar_t *path) {
    char ansi[PathBufferSize];
    return AnsiFormOfPath(ansi, sizeof ansi, path) ? CreateDirectoryA(ansi, nullptr)
                                                   : CreateDirectoryW(path, nullptr);
}

BOOL SetCurrentFolderByPath(const wchar_t *path) {
    char ansi[PathBufferSize];
    return AnsiFormOfPath(ansi, sizeof ansi, path) ? SetCurrentDirectoryA(ansi)
                                                   : SetCurrentDirectoryW(path);
}

HMODULE LoadLibraryByPath(const wchar_t *path) {
    char ansi[PathBufferSize];
    return AnsiFormOfPath(ansi, sizeof ansi, path)
               ? LoadLibraryExA(ansi, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
               : LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

DWORD AttributesByPath(const wchar_t *path) {
    char ansi[PathBufferSize];
    return AnsiFormOfPath(ansi, sizeof ansi, path) ? GetFileAttributesA(ansi)
                                                   : GetFileAttributesW(path);
}

HANDLE CreateFileByPath(const wchar_t *path, DWORD access, DWORD shareMode, DWORD disposition,
                        DWORD attributes) {
    char ansi[PathBufferSize];
    if (AnsiFormOfPath(ansi, sizeof ansi, path)) {
        return CreateFileA(ansi, access, shareMode, nullptr, disposition, attributes, nullptr);
    }
    return CreateFileW(path, access, shareMode, nullptr, disposition, attributes, nullptr);
}
