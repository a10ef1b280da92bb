// Path joining and cutting: separators never doubled, the drive-root case,
// double-byte characters whose second byte is 0x5C, and buffers filled
// exactly to their limit or one byte past it.
#include <gtest/gtest.h>

#include <string>

#include "code_page_932.h"
#include "common/path_rules.h"

namespace {

std::string Join(const char *folder, const char *name, size_t size = PathBufferSize,
                 LeadByteTest isLeadByte = nullptr) {
    char dest[PathBufferSize + 8];
    if (JoinPath(dest, size, folder, name, isLeadByte) == nullptr) {
        return "(too long)";
    }
    return dest;
}

TEST(JoinPath, InsertsOneSeparatorOnlyWhenTheFolderLacksOne) {
    EXPECT_EQ(Join("C:\\Show", "lumv.dll"), "C:\\Show\\lumv.dll");
    EXPECT_EQ(Join("C:\\Temp\\TempFolder.aaa\\", "lumv.dll"), "C:\\Temp\\TempFolder.aaa\\lumv.dll");
    EXPECT_EQ(Join("C:", "lumv.dll"), "C:\\lumv.dll");
    EXPECT_EQ(Join("C:\\Windows\\system32", "Vantorel\\Brisklume 8"),
              "C:\\Windows\\system32\\Vantorel\\Brisklume 8");
}

TEST(JoinPath, EmptyFolderGivesTheBareName) {
    EXPECT_EQ(Join("", "lumv.dll"), "lumv.dll");
}

// In a single-byte code page (1252: 0x95 is a bullet) every 0x5C is a
// separator; in 932 the rules step over each double-byte character, whose
// second byte may be 0x5C or a lead byte itself. 表 is 95 5C, 示 8E A6,
// ソフト is 83 5C 83 74 83 67.
TEST(PathRules, StepOverDoubleByteCharacters) {
    struct Case {
        const char *path;
        LeadByteTest isLeadByte;
        const char *joined;  // path joined with "x"
        const char *cut;     // CutToFolder
        const char *kept;    // KeepFolderPart
    } cases[] = {
        {"C:\\\x95\\", nullptr, "C:\\\x95\\x", "C:\\\x95", "C:\\\x95\\"},
        {"C:\\\x95\\", IsLeadByte932, "C:\\\x95\\\\x", "C:", "C:\\"},
        {"C:\\\x83\\\x83\x74\x83\x67\x95\\", IsLeadByte932, "C:\\\x83\\\x83\x74\x83\x67\x95\\\\x",
         "C:", "C:\\"},
        {"C:\\S\\\x95\\\x8e\xa6.exe", IsLeadByte932, "C:\\S\\\x95\\\x8e\xa6.exe\\x", "C:\\S",
         "C:\\S\\"},
        // A second byte that is also a lead byte: the 0x5C after it separates.
        {"C:\\\x95\x95\\", IsLeadByte932, "C:\\\x95\x95\\x", "C:\\\x95\x95", "C:\\\x95\x95\\"},
        // A lead byte cut off by the terminator stands alone.
        {"C:\\a\x95", IsLeadByte932, "C:\\a\x95\\x", "C:", "C:\\"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Join(c.path, "x", PathBufferSize, c.isLeadByte), c.joined);
        char path[PathBufferSize];
        ASSERT_TRUE(CopyText(path, sizeof path, c.path));
        EXPECT_TRUE(CutToFolder(path, c.isLeadByte));
        EXPECT_STREQ(path, c.cut);
        ASSERT_TRUE(CopyText(path, sizeof path, c.path));
        KeepFolderPart(path, c.isLeadByte);
        EXPECT_STREQ(path, c.kept);
    }
}

TEST(JoinPath, WorksInPlace) {
    char path[PathBufferSize] = "C:\\Show";
    EXPECT_EQ(JoinPath(path, sizeof path, path, "Kivox", nullptr), path);
    EXPECT_STREQ(path, "C:\\Show\\Kivox");
}

TEST(JoinPath, FillsTheBufferExactlyButNeverPastIt) {
    std::string folder(PathBufferSize - 1 - 1 - 8, 'f');  // room for '\', "lumv.dll", NUL
    EXPECT_EQ(Join(folder.c_str(), "lumv.dll").size(), PathBufferSize - 1u);
    folder += 'f';
    EXPECT_EQ(Join(folder.c_str(), "lumv.dll"), "(too long)");
}

TEST(JoinPath, LeavesTheDestinationUntouchedWhenItDoesNotFit) {
    char dest[16] = "unchanged";
    EXPECT_EQ(JoinPath(dest, sizeof dest, "C:\\a\\long\\folder", "name.dll", nullptr), nullptr);
    EXPECT_STREQ(dest, "unchanged");
    char self[16] = "C:\\Show";
    EXPECT_FALSE(AppendToPath(self, sizeof self, "Kivox\\x.dll", nullptr));
    EXPECT_STREQ(self, "C:\\Show");
}

TEST(AppendToPath, AppendsWithOneSeparator) {
    char path[PathBufferSize] = "C:\\Show";
    EXPECT_TRUE(AppendToPath(path, sizeof path, "Kivox", nullptr));
    EXPECT_STREQ(path, "C:\\Show\\Kivox");
    char rooted[PathBufferSize] = "C:\\";
    EXPECT_TRUE(AppendToPath(rooted, sizeof rooted, "x", nullptr));
    EXPECT_STREQ(rooted, "C:\\x");
}

TEST(CutToFolder, EndsThePathAtItsLastSeparator) {
    struct Case {
        const char *path;
        const char *folder;
    } cases[] = {
        {"C:\\Show\\start.exe", "C:\\Show"},
        {"C:\\start.exe", "C:"},
        {"start.exe", ""},
        {"C:\\Show\\", "C:\\Show"},
        {"\\\\server\\share\\show.exe", "\\\\server\\share"},
        {"", ""},
    };
    for (const Case &c : cases) {
        char path[PathBufferSize];
        ASSERT_TRUE(CopyText(path, sizeof path, c.path));
        EXPECT_TRUE(CutToFolder(path, nullptr));
        EXPECT_STREQ(path, c.folder) << c.path;
    }
}

TEST(CutToFolder, DriveRootJoinsBackWithOneSeparator) {
    char path[PathBufferSize] = "C:\\start.exe";
    CutToFolder(path, nullptr);
    EXPECT_TRUE(AppendToPath(path, sizeof path, "lumv.dll", nullptr));
    EXPECT_STREQ(path, "C:\\lumv.dll");
}

TEST(KeepFolderPart, KeepsEverythingUpToAndWithTheLastSeparator) {
    struct Case {
        const char *path;
        const char *folder;
    } cases[] = {
        {"C:\\Show\\start.exe", "C:\\Show\\"},
        {"C:\\start.exe", "C:\\"},
        {"\\start.exe", "\\"},
        {"start.exe", ""},
        {"C:\\Show\\", "C:\\Show\\"},
        {"", ""},
    };
    for (const Case &c : cases) {
        char path[PathBufferSize];
        ASSERT_TRUE(CopyText(path, sizeof path, c.path));
        KeepFolderPart(path, nullptr);
        EXPECT_STREQ(path, c.folder) << c.path;
    }
}

// Wide paths: sizes count characters, and only the character '\\' separates
// (U+FF5C, whose low byte is 0x5C, does not).
TEST(WidePath, FollowsTheSameRulesCountingCharacters) {
    wchar_t path[PathBufferSize];
    EXPECT_EQ(JoinPath(path, 4, L"\u65e5", L"\u672c"), path);
    EXPECT_STREQ(path, L"\u65e5\\\u672c");
    EXPECT_EQ(JoinPath(path, 4, L"\u65e5", L"\u672c\u672c"), nullptr);
    EXPECT_STREQ(path, L"\u65e5\\\u672c");
    ASSERT_TRUE(CopyText(path, PathBufferSize, L"C:\\\u65e5\\\uff5c.exe"));
    KeepFolderPart(path);
    EXPECT_STREQ(path, L"C:\\\u65e5\\");
    EXPECT_TRUE(CutToFolder(path));
    EXPECT_TRUE(AppendToPath(path, PathBufferSize, L"Kivox"));
    EXPECT_STREQ(path, L"C:\\\u65e5\\Kivox");
    EXPECT_FALSE(CopyText(path, TextLength(path), L"C:\\\u65e5\\Kivox"));
}

TEST(CopyText, CopiesOnlyWhatFitsWithItsTerminator) {
    char dest[4] = "xyz";
    EXPECT_TRUE(CopyText(dest, sizeof dest, "abc"));
    EXPECT_STREQ(dest, "abc");
    EXPECT_FALSE(CopyText(dest, sizeof dest, "abcd"));
    EXPECT_STREQ(dest, "abc");
}

}  // namespace

// Only ASCII letters are equal without case: the same answer in every
// locale, as a path on disk compares.
TEST(PathStartsWith, ComparesOrdinallyFoldingOnlyAsciiCase) {
    struct Case {
        const wchar_t *path;
        const wchar_t *folder;
        bool expected;
    };
    const Case cases[] = {
        {L"C:\\Temp\\TempFolder.abc\\sub\\", L"c:\\temp\\tempfolder.ABC\\", true},
        {L"C:\\Temp\\TempFolder.abc\\", L"C:\\Temp\\TempFolder.abc\\", true},
        {L"C:\\Temp\\TempFolder.ab\\", L"C:\\Temp\\TempFolder.abc\\", false},
        {L"C:\\Temp\\", L"C:\\Temp\\TempFolder.abc\\", false},
        {L"C:\\T\u00c9mp\\", L"C:\\T\u00e9mp\\", false},  // not ASCII: compared as it is
        {L"C:\\I\\", L"C:\\\u0131\\", false},             // no Turkish dotless i
        {L"anything", L"", true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(PathStartsWith(c.path, c.folder), c.expected);
    }
}
