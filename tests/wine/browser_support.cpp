// The fake browser, the ".htm" association and the expected download address.
#include "browser_support.h"

#include <cstdio>
#include <cstdlib>

namespace lumvtest {

namespace {

// The names of the fake browser's copies; their processes are found by them.
const char FakeBrowserExeName[] = "browser.exe";
const char DecoyExeName[] = "Fake.exe";
const char PlainFolder[] = "C:\\LumvFakeBrowser";
const char TestClassName[] = "LumvTestHtml";

void ReplaceAll(std::string *text, const std::string &token, const std::string &value) {
    for (size_t at = text->find(token); at != std::string::npos;
         at = text->find(token, at + value.size())) {
        text->replace(at, token.size(), value);
    }
}

bool BrowserRuns() {
    return ProcessNamedIsRunning(FakeBrowserExeName) || ProcessNamedIsRunning(DecoyExeName);
}

const char UserChoicePath[] =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";
const char ChoiceClassPrefix[] = "LumvTestChoice-";

// value is UTF-8 and written wide, so that it may name any path.
bool SetStringValue(HKEY root, const std::string &keyPath, const char *name,
                    const std::string &value, DWORD type = REG_SZ) {
    HKEY key;
    if (RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::wstring wideName = name != nullptr ? WideFromUtf8(name) : std::wstring();
    std::wstring wideValue = WideFromUtf8(value);
    LONG result = RegSetValueExW(key, name != nullptr ? wideName.c_str() : nullptr, 0, type,
                                 reinterpret_cast<const BYTE *>(wideValue.c_str()),
                                 static_cast<DWORD>((wideValue.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool CreateKey(const std::string &keyPath) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

FakeBrowsers::FakeBrowsers()
    : scratch_("browser"),
      spacedPath_(scratch_.Child("Fake Browser") + "\\" + FakeBrowserExeName),
      plainPath_(std::string(PlainFolder) + "\\" + FakeBrowserExeName),
      log_(scratch_.Child("starts.log")) {
    std::string program = WindowsPathFromUnix(EnvironmentValue("LUMV_FAKE_BROWSER_EXE"));
    DeleteTree(PlainFolder);
    // The decoy "...\Fake.exe" is what an unquoted "...\Fake Browser\browser.exe"
    // starts first, as "C:\Program.exe" would be for "C:\Program Files\...".
    installed_ = MakeFolder(scratch_.Child("Fake Browser")) && MakeFolder(PlainFolder) &&
                 CopyFileTo(program, spacedPath_) && CopyFileTo(program, plainPath_) &&
                 CopyFileTo(program, scratch_.Child(DecoyExeName));
}

FakeBrowsers::~FakeBrowsers() {
    WaitUntilNoBrowserRuns(0, 10000);
    DeleteTree(PlainFolder);
}

std::vector<std::string> FakeBrowsers::Starts() const {
    std::vector<std::string> lines;
    std::string text;
    if (!ReadTextFile(log_, &text)) {
        return lines;
    }
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string FakeBrowsers::Expand(const std::string &text) const {
    std::string result = text;
    ReplaceAll(&result, "<spaced>", spacedPath_);
    ReplaceAll(&result, "<plain>", plainPath_);
    return result;
}

bool WaitUntilNoBrowserRuns(DWORD settleMs, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    DWORD quietSince = start;
    for (;;) {
        DWORD now = GetTickCount();
        if (BrowserRuns()) {
            quietSince = now;
        } else if (now - quietSince >= settleMs) {
            return true;
        }
        if (now - start >= timeoutMs) {
            return false;
        }
        Sleep(100);
    }
}

void ClearHtmlAssociation() {
    for (std::string name : {".htm", TestClassName}) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, name.c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Classes\\" + name).c_str());
    }
    for (std::string scheme : {"https", "http"}) {
        RegDeleteTreeA(HKEY_CURRENT_USER, (UserChoicePath + scheme).c_str());
        RegDeleteTreeA(HKEY_CLASSES_ROOT, (ChoiceClassPrefix + scheme).c_str());
    }
}

bool RegisterBrowserChoice(const BrowserChoice &choice) {
    std::string className = ChoiceClassPrefix + std::string(choice.scheme);
    if (!SetStringValue(HKEY_CURRENT_USER,
                        UserChoicePath + std::string(choice.scheme) + "\\UserChoice", "ProgId",
                        className)) {
        return false;
    }
    return choice.command.empty() ||
           SetStringValue(HKEY_CLASSES_ROOT, className + "\\shell\\open\\command", nullptr,
                          choice.command, choice.commandType);
}

bool RegisterHtmlAssociation(const HtmlAssociation &association) {
    ClearHtmlAssociation();
    if (association.htmKey &&
        !SetStringValue(HKEY_CLASSES_ROOT, ".htm", nullptr, association.className)) {
        return false;
    }
    if (!association.commandKey) {
        return true;
    }
    std::string commandKey = std::string(TestClassName) + "\\shell\\open\\command";
    return association.commandValue ? SetStringValue(HKEY_CLASSES_ROOT, commandKey, nullptr,
                                                     association.command, association.commandType)
                                    : CreateKey(commandKey);
}

namespace {

RegistrationCase Case(const char *name, const std::string &command, const std::string &commandLine,
                      bool startsBrowser, bool endToEnd) {
    RegistrationCase c = {name, HtmlAssociation(), commandLine, startsBrowser, endToEnd};
    c.association.command = command;
    return c;
}

RegistrationCase SilentCase(const char *name, const HtmlAssociation &association, bool endToEnd) {
    return {name, association, std::string(), false, endToEnd};
}

HtmlAssociation Without(bool HtmlAssociation::*part) {
    HtmlAssociation association;
    association.*part = false;
    return association;
}

HtmlAssociation WithClass(const std::string &className) {
    HtmlAssociation association;
    association.className = className;
    return association;
}

}  // namespace

std::vector<RegistrationCase> RegistrationCases() {
    const std::string tooLong(600, 'a');
    return {
        Case("a quoted path with a blank, and arguments", "\"<spaced>\" -new \"%1\"",
             "\"<spaced>\" <url>", true, true),
        Case("a quoted path without a blank", "\"<plain>\" -new \"%1\"", "<plain> <url>", true,
             false),
        Case("leading blanks and tabs", " \t \"<spaced>\" -new", "\"<spaced>\" <url>", true, false),
        Case("an unquoted path, cut at its first blank", "<plain> -x \"%1\"", "<plain> <url>", true,
             true),
        // Windows takes no tab in a file name, so the tab comes between the
        // program and an argument: a path cut at the tab would lose "-x".
        Case("a tab inside an unquoted path", "<plain>\t-x \"%1\"", "<plain>\t-x <url>", true,
             true),
        Case("a quote without its closing quote", "\"<spaced>", "\"<spaced>\" <url>", true, true),
        Case("an unclosed quote running over the arguments", "\"<spaced> -new %1",
             "\"<spaced> -new %1\" <url>", false, false),
        SilentCase("no .htm key", Without(&HtmlAssociation::htmKey), true),
        SilentCase("no class key", Without(&HtmlAssociation::commandKey), true),
        SilentCase("a command key without a value", Without(&HtmlAssociation::commandValue), false),
        Case("an empty command", "", "", false, true),
        Case("a command of blanks and tabs only", " \t  \t ", "", false, true),
        Case("an empty quoted path", "\"\" \"<spaced>\"", "", false, false),
        SilentCase("an empty class name", WithClass(""), false),
        SilentCase("a class name longer than the buffer", WithClass(tooLong), false),
        SilentCase("a class name leaving no room for the key path",
                   WithClass(std::string(510, 'c')), false),
        Case("a command longer than the buffer", "\"<spaced>\" " + tooLong, "", false, false),
        Case("a path leaving no room for the address",
             "\"C:\\" + std::string(490, 'p') + "\\browser.exe\" -new", "", false, false),
    };
}

std::string ExpectedDownloadUrl() {
    return EnvironmentValue("LUMV_DOWNLOAD_BASE_URL") +
           EnvironmentValue("LUMV_EXPECTED_LANGUAGE_FOLDER") +
           "brisklume/download/?P1_Prod_Version=BLArchive8.5.0";
}

::testing::AssertionResult SystemLanguageIsTheExpectedOne() {
    std::string expected = EnvironmentValue("LUMV_EXPECTED_LANGID");
    if (expected.empty() || EnvironmentValue("LUMV_DOWNLOAD_BASE_URL").empty()) {
        return ::testing::AssertionFailure()
               << "LUMV_EXPECTED_LANGID or LUMV_DOWNLOAD_BASE_URL is not set (run through CTest)";
    }
    LANGID actual = GetSystemDefaultLangID();
    if (actual != strtoul(expected.c_str(), nullptr, 16)) {
        char text[16];
        snprintf(text, sizeof text, "0x%04x", actual);
        return ::testing::AssertionFailure()
               << "the system language is " << text << ", not " << expected
               << " (is the locale generated and LOCPATH set?)";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace lumvtest
