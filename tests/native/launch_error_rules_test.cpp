// The error report's choice of text and buttons, the download address and
// the browser command line cut from a registered open command.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/launch_error_rules.h"

namespace {

TEST(MessageForStatus, OnlyAMissingPlayerOffersTheDownload) {
    struct Case {
        int32_t status;
        uint32_t textId;
        uint32_t style;
        bool offersDownload;
    };
    const Case cases[] = {
        {1, 1004, 0x10, false},  {2, 1002, 0x10, false},          {3, 1003, 0x11, true},
        {4, 1004, 0x10, false},  {5, 1004, 0x10, false},          {6, 1001, 0x10, false},
        {7, 1001, 0x10, false},  {0, 1004, 0x10, false},          {8, 1004, 0x10, false},
        {-1, 1004, 0x10, false}, {0x7FFFFFFF, 1004, 0x10, false},
    };
    for (const Case &c : cases) {
        LaunchErrorMessage message = MessageForStatus(c.status);
        EXPECT_EQ(c.textId, message.textId) << c.status;
        EXPECT_EQ(c.style, message.style) << c.status;
        EXPECT_EQ(c.offersDownload, message.offersDownload) << c.status;
    }
}

TEST(DownloadUrl, LanguageFolderFollowsThePrimaryLanguage) {
    struct Case {
        uint16_t languageId;
        const char *folder;
    };
    // clang-format off
    const Case cases[] = {
        {0x0411, "jp/"}, {0x0407, "de/"}, {0x0807, "de/"}, {0x040C, "fr/"}, {0x0C0C, "fr/"},
        {0x0412, "ko/"}, {0x0409, ""},    {0x0C0A, ""},    {0x0804, ""},    {0x0000, ""},
        {0xFC11, "jp/"},  // only the low 10 bits name the language
    };
    // clang-format on
    for (const Case &c : cases) {
        EXPECT_STREQ(c.folder, LanguageFolderFor(c.languageId)) << std::hex << c.languageId;
        char url[DownloadUrlBufferSize];
        ASSERT_TRUE(ComposeDownloadUrl(url, sizeof url, "https://www.example.test/", c.languageId));
        EXPECT_EQ(std::string("https://www.example.test/") + c.folder +
                      "brisklume/download/?P1_Prod_Version=BLArchive8.5.0",
                  url);
    }
}

TEST(DownloadUrl, TheLongestBaseStillFits) {
    std::string base(MaxDownloadBaseUrlLength - 1, 'a');
    base += "/";
    char url[DownloadUrlBufferSize];
    ASSERT_TRUE(ComposeDownloadUrl(url, sizeof url, base.c_str(), 0x0411));
    EXPECT_EQ(DownloadUrlBufferSize - 1, std::string(url).size());
    std::string tooLong = "a" + base;
    EXPECT_FALSE(ComposeDownloadUrl(url, sizeof url, tooLong.c_str(), 0x0411));
}

TEST(BrowserCommandLine, ProgramPathIsCutOutOfTheRegisteredCommand) {
    const char *url = "https://x.test/p";
    struct Case {
        const char *command;
        const char *commandLine;  // null: nothing is started
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\Web\\web.exe\" -new \"%1\"",
         "\"C:\\Program Files\\Web\\web.exe\" https://x.test/p"},
        {"\"C:\\Web\\web.exe\" -osint -url \"%1\"", "C:\\Web\\web.exe https://x.test/p"},
        {"C:\\Web\\web.exe -nohome", "C:\\Web\\web.exe https://x.test/p"},
        {"  \t C:\\Web\\web.exe %1", "C:\\Web\\web.exe https://x.test/p"},
        {"C:\\Web\tBrowser\\web.exe -x", "C:\\Web\tBrowser\\web.exe https://x.test/p"},
        {"\"C:\\Program Files\\Web\\web.exe",
         "\"C:\\Program Files\\Web\\web.exe\" https://x.test/p"},
        {"C:\\Web\\web.exe", "C:\\Web\\web.exe https://x.test/p"},
        {"", nullptr},
        {" \t  \t", nullptr},
        {"\"\" -x", nullptr},
    };
    // The launcher composes wide; the narrow form follows the same rules.
    auto wide = [](const char *text) { return std::wstring(text, text + strlen(text)); };
    for (const Case &c : cases) {
        char commandLine[BrowserCommandBufferSize] = "untouched";
        wchar_t wideCommandLine[BrowserCommandBufferSize] = L"untouched";
        bool started = ComposeBrowserCommandLine(commandLine, sizeof commandLine, c.command, url);
        bool wideStarted = ComposeBrowserCommandLine(wideCommandLine, BrowserCommandBufferSize,
                                                     wide(c.command).c_str(), wide(url).c_str());
        EXPECT_EQ(started, wideStarted) << c.command;
        if (c.commandLine == nullptr) {
            EXPECT_FALSE(started) << c.command;
        } else {
            ASSERT_TRUE(started) << c.command;
            EXPECT_STREQ(c.commandLine, commandLine);
            EXPECT_EQ(wide(c.commandLine), std::wstring(wideCommandLine));
        }
    }
}

TEST(BrowserCommandLine, ACommandLineThatDoesNotFitStartsNothing) {
    std::string path = "C:\\" + std::string(200, 'w') + "\\web.exe";
    // path, blank, url and terminator fill the buffer exactly
    std::string url(BrowserCommandBufferSize - path.size() - 2, 'u');
    char commandLine[BrowserCommandBufferSize];
    EXPECT_TRUE(
        ComposeBrowserCommandLine(commandLine, sizeof commandLine, path.c_str(), url.c_str()));
    url += "u";
    EXPECT_FALSE(
        ComposeBrowserCommandLine(commandLine, sizeof commandLine, path.c_str(), url.c_str()));
}

}  // namespace
