// The Windows test programs' view of message boxes: finding the box a
// process shows, reading its caption, text, buttons, icon and style through
// the window API, and pressing one of its buttons - as a user would, from
// outside the program that shows it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumvtest {

// What a message box showed, read from its window while it was up.
struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;         // the static control with id 0xFFFF
    std::vector<int> buttons;  // ids of the visible buttons, ascending (IDOK 1, IDCANCEL 2)
    bool hasIcon = false;      // a visible static control showing an icon
    HICON icon = nullptr;      // its icon: a handle of the showing process
    bool topmost = false;      // WS_EX_TOPMOST (never set by Wine for MB_TOPMOST)
    bool owned = false;        // has an owner window
};

// A visible top-level dialog (class "#32770") of processId that is not in
// skip; null when there is none right now.
HWND FindMessageBox(DWORD processId, const std::vector<HWND> &skip = {});

// Reads box; false when its window went away before everything was read.
bool ReadMessageBox(HWND box, MessageBoxView *view);

// Presses the button with id buttonId, or, when box has no such button, the
// first button it has. False when the box has no button or is gone.
bool PressMessageBoxButton(HWND box, int buttonId);

// Watches this process for message boxes on a thread of its own, from
// construction to Stop(): every box is read, recorded and answered with
// buttonId (see PressMessageBoxButton). For calls that show a box on the
// calling thread and return only once it is closed.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(int buttonId);
    ~MessageBoxWatcher() { Stop(); }
    MessageBoxWatcher(const MessageBoxWatcher &) = delete;
    MessageBoxWatcher &operator=(const MessageBoxWatcher &) = delete;
    bool running() const { return thread_ != nullptr; }
    // Ends the watch and returns every box seen, in order.
    const std::vector<MessageBoxView> &Stop();

private:
    static DWORD WINAPI Watch(void *self);
    int buttonId_;
    HANDLE stop_;
    HANDLE thread_;
    std::vector<MessageBoxView> boxes_;
};

// The launcher's texts as the user must read them (string ids 1000 to 1004);
// null for any other id.
const wchar_t *LauncherText(int textId);

// boxes holds exactly one box, the launcher's error report with text textId:
// caption 1000, an icon, no owner, and OK alone - or OK and Cancel for text
// 1003, the one box that offers the download. Not its topmost style: Wine's
// message box ignores MB_TOPMOST (only MB_SYSTEMMODAL makes it topmost), so
// the style the box is asked for is checked in process, at MessageBoxW.
::testing::AssertionResult IsLaunchErrorBox(const std::vector<MessageBoxView> &boxes, int textId);

// A wide text as UTF-8, for failure messages.
std::string Utf8(const std::wstring &text);

}  // namespace lumvtest
