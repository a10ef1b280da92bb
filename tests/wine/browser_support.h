// The download offer's surroundings for the Windows test programs: the fake
// browser installed where a case needs it, the ".htm" association in the
// prefix's registry, and the download address a launcher must build.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace lumvtest {

// The fake browser (LUMV_FAKE_BROWSER_EXE) installed for the object's
// lifetime: in a folder whose name holds a blank ("...\Fake Browser"), in
// C:\LumvFakeBrowser, a path without any blank, and as the decoy "...\Fake.exe"
// that an unquoted command line naming the first would start instead. Every
// start appends its command line to a log.
class FakeBrowsers {
public:
    FakeBrowsers();
    ~FakeBrowsers();
    FakeBrowsers(const FakeBrowsers &) = delete;
    FakeBrowsers &operator=(const FakeBrowsers &) = delete;
    bool installed() const { return installed_; }
    const std::string &spacedPath() const { return spacedPath_; }
    const std::string &plainPath() const { return plainPath_; }
    // LUMV_BROWSER_LOG for a program whose children are to log their starts.
    std::string LogEnvironment() const { return "LUMV_BROWSER_LOG=" + log_; }
    // The command lines recorded so far, one per start.
    std::vector<std::string> Starts() const;
    // "<spaced>" and "<plain>" in text replaced by the two paths.
    std::string Expand(const std::string &text) const;

private:
    ScratchFolder scratch_;
    std::string spacedPath_;
    std::string plainPath_;
    std::string log_;
    bool installed_ = false;
};

// True once no fake browser process has been running for settleMs; false
// when one still runs after timeoutMs.
bool WaitUntilNoBrowserRuns(DWORD settleMs, DWORD timeoutMs);

// The ".htm" file type as a case registers it under HKEY_CLASSES_ROOT.
struct HtmlAssociation {
    bool htmKey = true;                      // the ".htm" key exists
    std::string className = "LumvTestHtml";  // its default value
    bool commandKey = true;                  // LumvTestHtml\shell\open\command exists
    bool commandValue = true;                // ... with a default value
    std::string command;                     // that value
    DWORD commandType = REG_SZ;              // stored as REG_SZ or REG_EXPAND_SZ
};

// Removes every ".htm" association, then writes association. False when the
// registry refused a write.
bool RegisterHtmlAssociation(const HtmlAssociation &association);
// Removes the ".htm" key, the users' browser choices and the test classes,
// machine-wide and per user.
void ClearHtmlAssociation();

// The user's default browser for scheme ("https" or "http"), as Windows 8
// and later record it: the UserChoice key's ProgId names a class of its own
// for the scheme, whose open command is command (none when empty).
struct BrowserChoice {
    const char *scheme;
    std::string command;
    DWORD commandType = REG_SZ;
};

// Writes choice beside whatever is registered. False when the registry
// refused a write.
bool RegisterBrowserChoice(const BrowserChoice &choice);

// A way the ".htm" association can be registered, and what the download
// offer must start from it.
struct RegistrationCase {
    const char *name;
    HtmlAssociation association;  // "<spaced>" and "<plain>" stand for the fake browsers
    std::string commandLine;      // started, "<url>" for the address; empty: nothing
    bool startsBrowser;           // that command line starts a fake browser
    bool endToEnd;                // run through the real launcher as well
};
std::vector<RegistrationCase> RegistrationCases();

// The download page's address the launcher must build on this system: the
// build's base address (LUMV_DOWNLOAD_BASE_URL), the language folder the
// test run expects (LUMV_EXPECTED_LANGUAGE_FOLDER, empty for none), the page
// and the version.
std::string ExpectedDownloadUrl();

// The system's default language is the one the test run was set up with
// (LUMV_EXPECTED_LANGID, e.g. 0x0411): a locale Wine did not take would
// otherwise pass for a language without a folder.
::testing::AssertionResult SystemLanguageIsTheExpectedOne();

}  // namespace lumvtest
