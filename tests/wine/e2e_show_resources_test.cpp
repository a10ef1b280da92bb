// A show with its own icon and version texts: the rewritten launcher image
// starts and plays, and Windows reads the new icon and texts from it while
// the launcher's own string table stays.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "pe_resources.h"
#include "presentation_builder.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

// The version text key in the show's string table (English, Unicode).
std::wstring VersionText(const std::vector<unsigned char> &info, const wchar_t *key) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    void *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || value == nullptr) {
        return L"(none)";
    }
    return std::wstring(static_cast<const wchar_t *>(value));
}

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int *>(count);
    return TRUE;
}

TEST(ShowResources, AShowWithItsOwnIconAndVersionStartsAndWindowsReadsThem) {
    std::vector<unsigned char> icon =
        FileBytes(WindowsPathFromUnix(EnvironmentValue("LUMV_SHOW_ICON")));
    ASSERT_FALSE(icon.empty());
    ResourceChanges changes;
    changes.iconFile = icon;
    changes.versionStrings = {{"FileVersion", "2.1"},
                              {"ProductName", "春のショー"},
                              {"FileDescription", "A show of its own"}};
    std::vector<unsigned char> image;
    ASSERT_EQ(RewriteImageResources(FileBytes(LauncherExePath()), changes, &image), "");

    Presentation show("own-resources");
    BuildRequest request;
    request.launcherImage = image;
    request.entries = {
        {"lumv", "dll", true, "", EntryGroup::TempFolder, FileBytes(TestPlayerDllPath())}};
    std::vector<unsigned char> file;
    std::string error;
    ASSERT_TRUE(BuildPresentation(request, &file, &error)) << error;
    ASSERT_TRUE(WriteBytesFile(show.exePath(), file));

    RunResult run = show.Run(3);
    ASSERT_TRUE(run.started && run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(show.Report()["playerLocation"], "2");

    std::wstring path = WideFromUtf8(show.exePath());
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    EXPECT_TRUE(VersionText(info, L"ProductName") == L"春のショー");
    EXPECT_TRUE(VersionText(info, L"FileDescription") == L"A show of its own");
    EXPECT_TRUE(VersionText(info, L"CompanyName") == L"(none)");  // the launcher's are gone
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);

    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    int icons = 0;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(3), CountName, reinterpret_cast<LONG_PTR>(&icons));
    EXPECT_EQ(icons, 4);  // 256 (PNG), 48, 32 and 16 pixels
    // The group Explorer shows: its image for 256 pixels is the PNG, and
    // Windows makes an icon of its 32-pixel one.
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
    ASSERT_NE(group, nullptr);
    BYTE *directory = static_cast<BYTE *>(LockResource(LoadResource(module, group)));
    ASSERT_NE(directory, nullptr);
    auto iconBytes = [&](int pixels, DWORD *bytes) {
        int id = LookupIconIdFromDirectoryEx(directory, TRUE, pixels, pixels, LR_DEFAULTCOLOR);
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3));
        *bytes = found != nullptr ? SizeofResource(module, found) : 0;
        return found != nullptr ? static_cast<BYTE *>(LockResource(LoadResource(module, found)))
                                : nullptr;
    };
    DWORD size256 = 0;
    BYTE *png = iconBytes(256, &size256);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(memcmp(png, "\x89PNG", 4), 0);
    DWORD size32 = 0;
    BYTE *bitmap = iconBytes(32, &size32);
    ASSERT_NE(bitmap, nullptr);
    HICON made = CreateIconFromResourceEx(bitmap, size32, TRUE, 0x00030000, 32, 32, 0);
    EXPECT_NE(made, nullptr);
    if (made != nullptr) {
        DestroyIcon(made);
    }
    wchar_t text[64] = {};
    EXPECT_GT(LoadStringW(module, 1004, text, 64), 0);  // the launcher's own texts stay
    EXPECT_TRUE(std::wstring(text) == L"このアプリケーションは起動できません。");
    FreeLibrary(module);
}

}  // namespace
