// In-process tests of the error report and the download offer, with the
// launcher's own string table (its executable loaded as a data file): the box
// ShowLaunchError asks MessageBoxW for and the box that appears, for every
// status, including those no end-to-end run can reach (2 and 5); and the
// command line OpenUrlInBrowser starts for each way the ".htm" association
// can be registered. CreateProcessW is intercepted, so nothing starts.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "browser_support.h"
#include "launcher/launch_error.h"
#include "test_support.h"

namespace {

using lumvtest::ClearHtmlAssociation;
using lumvtest::ExpectedDownloadUrl;
using lumvtest::FakeBrowsers;
using lumvtest::HtmlAssociation;
using lumvtest::ImportHook;
using lumvtest::IsLaunchErrorBox;
using lumvtest::LauncherExePath;
using lumvtest::LauncherText;
using lumvtest::MessageBoxView;
using lumvtest::MessageBoxWatcher;
using lumvtest::RegisterBrowserChoice;
using lumvtest::RegisterHtmlAssociation;
using lumvtest::RegistrationCase;
using lumvtest::RegistrationCases;
using lumvtest::ScopedEnvironmentVariable;
using lumvtest::SystemLanguageIsTheExpectedOne;
using lumvtest::Utf8;

struct BoxRequest {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};

struct ExecRequest {
    std::string commandLine;
    UINT show;
};

std::vector<BoxRequest> boxRequests;
std::vector<ExecRequest> execRequests;
void *realMessageBoxW = nullptr;

// The box is still shown: the watcher reads and answers the real one.
int WINAPI RecordingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    boxRequests.push_back({owner, text != nullptr ? text : L"(null)",
                           caption != nullptr ? caption : L"(null)", style});
    return reinterpret_cast<int(WINAPI *)(HWND, LPCWSTR, LPCWSTR, UINT)>(realMessageBoxW)(
        owner, text, caption, style);
}

// Records the start and hands back two fresh handles, which the launcher
// must close (startedHandles keeps them to check that).
std::vector<HANDLE> startedHandles;

BOOL WINAPI RecordingCreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                    LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
    UINT show = (startup->dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup->wShowWindow : ~0u;
    execRequests.push_back({application != nullptr
                                ? "(application named)"
                                : (commandLine != nullptr ? Utf8(commandLine) : "(null)"),
                            show});
    process->hProcess = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    process->hThread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    process->dwProcessId = 0;
    process->dwThreadId = 0;
    startedHandles.push_back(process->hProcess);
    startedHandles.push_back(process->hThread);
    return TRUE;
}

// Every handle a recorded start handed out has been closed.
bool StartedHandlesClosed() {
    DWORD flags = 0;
    for (HANDLE handle : startedHandles) {
        if (GetHandleInformation(handle, &flags)) {
            return false;
        }
    }
    return true;
}

std::string ReplaceUrl(std::string text, const std::string &url) {
    size_t at = text.find("<url>");
    if (at != std::string::npos) {
        text.replace(at, 5, url);
    }
    return text;
}

// The launcher's executable mapped as a data file: its resources, no code.
class LauncherResources {
public:
    LauncherResources()
        : module_(LoadLibraryExA(LauncherExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~LauncherResources() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    LauncherResources(const LauncherResources &) = delete;
    LauncherResources &operator=(const LauncherResources &) = delete;
    HINSTANCE instance() const { return module_; }

private:
    HMODULE module_;
};

// Every status shows one box with its text, the hand icon and the topmost
// style; only status 3 offers the download, and only OK there takes it.
// The association points at the fake browser, so an offer that is taken
// starts the browser with the address for this system's language.
TEST(LaunchError, EachStatusShowsItsBoxAndOnlyOkOnTheOfferOpensTheBrowser) {
    struct Case {
        int32_t status;
        int textId;
        UINT style;
        int answer;
        bool opensBrowser;
    };
    const Case cases[] = {
        {2, 1002, MB_ICONHAND, IDOK, false},
        {3, 1003, MB_ICONHAND | MB_OKCANCEL, IDOK, true},
        {3, 1003, MB_ICONHAND | MB_OKCANCEL, IDCANCEL, false},
        {4, 1004, MB_ICONHAND, IDOK, false},
        {5, 1004, MB_ICONHAND, IDOK, false},
        {6, 1001, MB_ICONHAND, IDOK, false},
        {7, 1001, MB_ICONHAND, IDOK, false},
        {1, 1004, MB_ICONHAND, IDOK, false},  // the player returned 0
        {0, 1004, MB_ICONHAND, IDOK, false},
        {8, 1004, MB_ICONHAND, IDOK, false},
        {-1, 1004, MB_ICONHAND, IDOK, false},
    };
    ASSERT_TRUE(SystemLanguageIsTheExpectedOne());
    LauncherResources launcher;
    ASSERT_NE(nullptr, launcher.instance()) << "cannot map " << LauncherExePath();
    FakeBrowsers browsers;
    HtmlAssociation association;
    association.command = browsers.Expand("\"<spaced>\" -new \"%1\"");
    ASSERT_TRUE(RegisterHtmlAssociation(association));
    ImportHook boxHook("MessageBoxW", reinterpret_cast<void *>(RecordingMessageBoxW));
    ImportHook execHook("CreateProcessW", reinterpret_cast<void *>(RecordingCreateProcessW));
    ASSERT_TRUE(boxHook.installed() && execHook.installed());
    realMessageBoxW = boxHook.original();
    // The icon Wine's message box shows for MB_ICONHAND, as this process holds it.
    HICON handIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32513));  // IDI_HAND

    for (const Case &c : cases) {
        SCOPED_TRACE("status " + std::to_string(c.status) +
                     (c.answer == IDOK ? ", OK" : ", Cancel"));
        boxRequests.clear();
        execRequests.clear();
        MessageBoxWatcher watcher(c.answer);
        ASSERT_TRUE(watcher.running());

        ShowLaunchError(launcher.instance(), c.status);

        std::vector<MessageBoxView> boxes = watcher.Stop();
        ASSERT_EQ(1u, boxRequests.size());
        const BoxRequest &request = boxRequests.front();
        EXPECT_EQ(nullptr, request.owner);
        EXPECT_EQ(static_cast<UINT>(c.style | MB_TOPMOST), request.style);
        EXPECT_TRUE(request.caption == LauncherText(1000)) << Utf8(request.caption);
        EXPECT_TRUE(request.text == LauncherText(c.textId)) << Utf8(request.text);
        EXPECT_TRUE(IsLaunchErrorBox(boxes, c.textId));
        if (boxes.size() == 1) {
            EXPECT_EQ(handIcon, boxes.front().icon);
        }
        if (c.opensBrowser) {
            ASSERT_EQ(1u, execRequests.size());
            EXPECT_EQ(browsers.Expand("\"<spaced>\" ") + ExpectedDownloadUrl(),
                      execRequests.front().commandLine);
            EXPECT_EQ(static_cast<UINT>(SW_SHOWNORMAL), execRequests.front().show);
        } else {
            EXPECT_TRUE(execRequests.empty()) << execRequests.front().commandLine;
        }
    }
    ClearHtmlAssociation();
}

// OpenUrlInBrowser with each registration: the command line it starts, or
// no call at all, and never a box - every failure of the offer is silent.
TEST(BrowserCommand, FollowsTheRegisteredOpenCommand) {
    const std::string url =
        "https://downloads.example/jp/brisklume/download/?P1_Prod_Version=BLArchive8.5.0";
    FakeBrowsers browsers;
    ImportHook execHook("CreateProcessW", reinterpret_cast<void *>(RecordingCreateProcessW));
    ASSERT_TRUE(execHook.installed());

    for (const RegistrationCase &c : RegistrationCases()) {
        SCOPED_TRACE(c.name);
        HtmlAssociation association = c.association;
        association.command = browsers.Expand(association.command);
        ASSERT_TRUE(RegisterHtmlAssociation(association));
        execRequests.clear();
        MessageBoxWatcher watcher(IDOK);

        OpenUrlInBrowser(url.c_str());

        EXPECT_TRUE(watcher.Stop().empty()) << "a message box";
        if (c.commandLine.empty()) {
            EXPECT_TRUE(execRequests.empty()) << "started " << execRequests.front().commandLine;
            continue;
        }
        ASSERT_EQ(1u, execRequests.size());
        EXPECT_EQ(ReplaceUrl(browsers.Expand(c.commandLine), url),
                  execRequests.front().commandLine);
        EXPECT_EQ(static_cast<UINT>(SW_SHOWNORMAL), execRequests.front().show);
        EXPECT_TRUE(StartedHandlesClosed()) << "the process's handles were left open";
    }
    ClearHtmlAssociation();
}

// The user's choice for https, then for http, comes before ".htm"; a command
// stored as REG_EXPAND_SZ is expanded. Each program name says whose it is.
TEST(BrowserCommand, TakesTheUsersChoiceFirst) {
    const std::string url = "https://downloads.example/brisklume/download/";
    ScopedEnvironmentVariable folder("LUMV_BROWSERS", "C:\\Browsers");
    ScopedEnvironmentVariable longFolder("LUMV_LONG", "C:\\" + std::string(300, 'x'));
    ImportHook execHook("CreateProcessW", reinterpret_cast<void *>(RecordingCreateProcessW));
    ASSERT_TRUE(execHook.installed());
    const char *none = nullptr;
    const char *noCommand = "";
    struct Case {
        const char *name;
        const char *https;  // the chosen class's command; none: no choice
        const char *http;
        const char *htm;  // none: no ".htm" key
        DWORD type;       // how every command is stored
        const char *commandLine;
    } cases[] = {
        {"https first", "C:\\https.exe -new \"%1\"", "C:\\http.exe", "C:\\htm.exe", REG_SZ,
         "C:\\https.exe"},
        {"http alone", none, "C:\\http.exe %1", "C:\\htm.exe", REG_SZ, "C:\\http.exe"},
        {"a chosen class without a command", noCommand, "C:\\http.exe", "C:\\htm.exe", REG_SZ,
         "C:\\http.exe"},
        {"no usable choice", noCommand, noCommand, "C:\\htm.exe", REG_SZ, "C:\\htm.exe"},
        {"no choice", none, none, "C:\\htm.exe", REG_SZ, "C:\\htm.exe"},
        {"an expanded choice", "\"%LUMV_BROWSERS%\\https.exe\" \"%1\"", none, none, REG_EXPAND_SZ,
         "C:\\Browsers\\https.exe"},
        {"an expanded .htm command", none, none, "%LUMV_BROWSERS%\\htm.exe", REG_EXPAND_SZ,
         "C:\\Browsers\\htm.exe"},
        {"an expansion longer than the buffer", none, none, "%LUMV_LONG%\\%LUMV_LONG%\\htm.exe",
         REG_EXPAND_SZ, none},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HtmlAssociation association;
        association.htmKey = c.htm != nullptr;
        association.command = c.htm != nullptr ? c.htm : "";
        association.commandType = c.type;
        ASSERT_TRUE(RegisterHtmlAssociation(association));
        if (c.https != nullptr) {
            ASSERT_TRUE(RegisterBrowserChoice({"https", c.https, c.type}));
        }
        if (c.http != nullptr) {
            ASSERT_TRUE(RegisterBrowserChoice({"http", c.http, c.type}));
        }
        execRequests.clear();

        OpenUrlInBrowser(url.c_str());

        if (c.commandLine == nullptr) {
            EXPECT_TRUE(execRequests.empty()) << execRequests.front().commandLine;
            continue;
        }
        ASSERT_EQ(1u, execRequests.size());
        EXPECT_EQ(std::string(c.commandLine) + " " + url, execRequests.front().commandLine);
    }
    ClearHtmlAssociation();
}

}  // namespace
