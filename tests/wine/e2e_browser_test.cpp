// End-to-end, each in a Wine prefix of its own (the ".htm" association is the
// prefix's, the system language is its wineserver's): the real launcher
// without a player offers the download in its one box; OK starts the user's
// browser (registered for ".htm", or chosen for https) - a fake one that
// records its command line - exactly once with the download page's address,
// Cancel starts nothing, and a broken registration starts nothing either,
// silently. DownloadLanguage runs once per system language.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "browser_support.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

// Runs show (which has no player) and answers its box; then waits until the
// browser the launcher may have started has finished. The launcher starts
// the browser before it ends, so by then such a browser runs or has logged.
RunResult RunOffer(const Presentation &show, const FakeBrowsers &browsers, int answer) {
    std::vector<std::string> environment = show.Environment(0);
    environment.push_back(browsers.LogEnvironment());
    StartOptions options;
    options.boxAnswer = answer;
    RunResult run = RunProgramWith(show.QuotedExePath(), show.workFolder(), environment, options);
    EXPECT_TRUE(WaitUntilNoBrowserRuns(1000, 20000)) << "a browser does not end";
    return run;
}

::testing::AssertionResult OfferedTheDownload(const RunResult &run) {
    if (!run.started || !run.finished) {
        return ::testing::AssertionFailure() << "the launcher did not start or did not end";
    }
    if (run.exitCode != 0) {
        return ::testing::AssertionFailure() << "exit code " << run.exitCode;
    }
    return IsLaunchErrorBox(run.boxes, 1003);
}

// The association of every case points at the fake browsers; those that
// start one must start it exactly once, with the address appended.
TEST(BrowserRedirect, OkStartsWhatTheRegisteredOpenCommandNames) {
    ASSERT_TRUE(SystemLanguageIsTheExpectedOne());
    for (const RegistrationCase &c : RegistrationCases()) {
        if (!c.endToEnd) {
            continue;
        }
        SCOPED_TRACE(c.name);
        FakeBrowsers browsers;
        ASSERT_TRUE(browsers.installed());
        HtmlAssociation association = c.association;
        association.command = browsers.Expand(association.command);
        ASSERT_TRUE(RegisterHtmlAssociation(association));
        Presentation show("offer");

        RunResult run = RunOffer(show, browsers, IDOK);

        EXPECT_TRUE(OfferedTheDownload(run));
        std::vector<std::string> expected;
        if (c.startsBrowser) {
            std::string commandLine = browsers.Expand(c.commandLine);
            commandLine.replace(commandLine.find("<url>"), 5, ExpectedDownloadUrl());
            expected.push_back(commandLine);
        }
        EXPECT_EQ(expected, browsers.Starts());
    }
    ClearHtmlAssociation();
}

// The user's choice of browser for https names the plain fake browser; the
// ".htm" class, as systems keep it, names another.
TEST(BrowserRedirect, OkStartsTheUsersChoiceOfBrowser) {
    FakeBrowsers browsers;
    ASSERT_TRUE(browsers.installed());
    HtmlAssociation association;
    association.command = browsers.Expand("\"<spaced>\" -new \"%1\"");
    ASSERT_TRUE(RegisterHtmlAssociation(association));
    ASSERT_TRUE(RegisterBrowserChoice({"https", browsers.Expand("\"<plain>\" -- \"%1\"")}));
    Presentation show("choice");

    RunResult run = RunOffer(show, browsers, IDOK);

    EXPECT_TRUE(OfferedTheDownload(run));
    std::vector<std::string> expected = {browsers.Expand("<plain> ") + ExpectedDownloadUrl()};
    EXPECT_EQ(expected, browsers.Starts());
    ClearHtmlAssociation();
}

// A browser installed under a profile whose name the system's code page
// cannot spell (a Japanese user name on a Western system): it is read, and
// started, by its wide name.
TEST(BrowserRedirect, ABrowserWhosePathTheCodePageCannotSpellStarts) {
    FakeBrowsers browsers;
    ASSERT_TRUE(browsers.installed());
    ScratchFolder profile("browser-wide");
    std::string folder = profile.Child("\xe7\x94\xb0\xe4\xb8\xad \xce\xa9");  // "田中 Ω"
    std::string browser = folder + "\\browser.exe";
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(WideFromUtf8(browsers.plainPath()).c_str(), WideFromUtf8(browser).c_str(),
                          FALSE));
    ASSERT_TRUE(RegisterBrowserChoice({"https", "\"" + browser + "\" \"%1\""}));
    Presentation show("widechoice");

    RunResult run = RunOffer(show, browsers, IDOK);

    EXPECT_TRUE(OfferedTheDownload(run));
    std::vector<std::string> expected = {"\"" + browser + "\" " + ExpectedDownloadUrl()};
    EXPECT_EQ(expected, browsers.Starts());
    ClearHtmlAssociation();
    // The scratch folder's clean-up goes by ANSI names, which miss this one.
    DeleteFileW(WideFromUtf8(browser).c_str());
    RemoveDirectoryW(WideFromUtf8(folder).c_str());
}

TEST(BrowserRedirect, CancelStartsNothing) {
    FakeBrowsers browsers;
    ASSERT_TRUE(browsers.installed());
    HtmlAssociation association;
    association.command = browsers.Expand("\"<spaced>\" -new \"%1\"");
    ASSERT_TRUE(RegisterHtmlAssociation(association));
    Presentation show("cancel");

    RunResult run = RunOffer(show, browsers, IDCANCEL);

    EXPECT_TRUE(OfferedTheDownload(run));
    EXPECT_TRUE(browsers.Starts().empty()) << browsers.Starts().front();
    ClearHtmlAssociation();
}

// Run with LANG naming a locale generated for the test, so that Wine takes
// it as the system's default language. The box reads the same everywhere.
TEST(DownloadLanguage, TheAddressHoldsTheSystemLanguagesFolder) {
    ASSERT_TRUE(SystemLanguageIsTheExpectedOne());
    SCOPED_TRACE("code page " + std::to_string(GetACP()));
    FakeBrowsers browsers;
    ASSERT_TRUE(browsers.installed());
    HtmlAssociation association;
    association.command = browsers.Expand("\"<spaced>\" -new \"%1\"");
    ASSERT_TRUE(RegisterHtmlAssociation(association));
    Presentation show("language");

    RunResult run = RunOffer(show, browsers, IDOK);

    EXPECT_TRUE(OfferedTheDownload(run));
    EXPECT_EQ(std::vector<std::string>{browsers.Expand("\"<spaced>\" ") + ExpectedDownloadUrl()},
              browsers.Starts());
    ClearHtmlAssociation();
}

}  // namespace
