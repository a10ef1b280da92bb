// Run folder names: the first candidate under the temporary path, the
// odometer from aaa to zzz, and the room kept for the lock file.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "code_page_932.h"
#include "common/path_rules.h"
#include "tempfolder/run_folder_name.h"

namespace {

std::string Start(const std::string &tempPath, size_t size = PathBufferSize,
                  LeadByteTest isLeadByte = nullptr) {
    char path[PathBufferSize];
    if (!CopyText(path, sizeof path, tempPath.c_str()) ||
        !StartRunFolderName(path, size, isLeadByte)) {
        return "(no room)";
    }
    return path;
}

TEST(StartRunFolderName, AddsOneSeparatorBeforeTheFirstCandidate) {
    EXPECT_EQ(Start("C:\\Temp\\"), "C:\\Temp\\TempFolder.aaa");
    EXPECT_EQ(Start("C:\\Temp"), "C:\\Temp\\TempFolder.aaa");
    // A temporary path ending in 表 (95 5C) under code page 932.
    EXPECT_EQ(Start("C:\\\x95\\", PathBufferSize, IsLeadByte932), "C:\\\x95\\\\TempFolder.aaa");
}

TEST(StartRunFolderName, KeepsRoomForTheSeparatorAndTheLockFile) {
    // temp + "TempFolder.aaa" + "\" + "Vantorelle.lok" + NUL must fit.
    size_t longest = PathBufferSize - 1 - 14 - 1 - 14;
    std::string fits = std::string(longest - 1, 't') + "\\";
    std::string joined = Start(fits);
    ASSERT_NE(joined, "(no room)");
    EXPECT_EQ(joined.size() + 1 + 14 + 1, size_t(PathBufferSize));
    EXPECT_EQ(Start(std::string(longest, 't') + "\\"), "(no room)");
    EXPECT_EQ(Start("C:\\Temp\\", 10), "(no room)");
}

TEST(AdvanceRunFolderSuffix, CountsLikeAnOdometer) {
    struct Case {
        const char *before;
        const char *after;
    } cases[] = {
        {"x.aaa", "x.aab"}, {"x.aay", "x.aaz"}, {"x.aaz", "x.aba"},
        {"x.azz", "x.baa"}, {"x.yzz", "x.zaa"}, {"x.zzy", "x.zzz"},
    };
    for (const Case &c : cases) {
        char path[16];
        ASSERT_TRUE(CopyText(path, sizeof path, c.before));
        EXPECT_TRUE(AdvanceRunFolderSuffix(path)) << c.before;
        EXPECT_STREQ(path, c.after) << c.before;
    }
}

TEST(AdvanceRunFolderSuffix, VisitsEveryNameOnceInOrderAndGivesUpAfterZzz) {
    char path[] = "C:\\T\\TempFolder.aaa";
    std::set<std::string> seen;
    std::string previous;
    int names = 1;
    seen.insert(path);
    previous = path;
    while (AdvanceRunFolderSuffix(path)) {
        ASSERT_LT(previous, std::string(path));
        ASSERT_TRUE(seen.insert(path).second);
        previous = path;
        names++;
    }
    EXPECT_EQ(names, 26 * 26 * 26);
    EXPECT_STREQ(path, "C:\\T\\TempFolder.zzz");  // unchanged by the refusal
}

// A wide temporary path: the same name and the same room kept, in characters.
TEST(RunFolderNameWide, StartsAndAdvancesLikeTheByteForm) {
    wchar_t path[40] = L"\uc0ac\uc6a9";  // 2 + '\' + 14 + '\' + 14 + NUL = 33
    EXPECT_FALSE(StartRunFolderName(path, 32));
    ASSERT_TRUE(StartRunFolderName(path, 33));
    EXPECT_TRUE(AdvanceRunFolderSuffix(path));
    EXPECT_STREQ(path, L"\uc0ac\uc6a9\\TempFolder.aab");
}

}  // namespace
