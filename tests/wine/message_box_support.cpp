// Finding, reading and answering message boxes of a process.
#include "message_box_support.h"

#include <algorithm>

#include "test_support.h"

namespace lumvtest {

namespace {

// Messages to another process's windows never wait longer than this.
const UINT MessageTimeoutMs = 5000;
const DWORD PollMs = 100;

std::wstring ClassOf(HWND window) {
    wchar_t name[64];
    int length = GetClassNameW(window, name, 64);
    return std::wstring(name, length > 0 ? length : 0);
}

// WM_GETTEXT of a window that may belong to another process.
bool WindowText(HWND window, std::wstring *text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs,
                             &length)) {
        return false;
    }
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             MessageTimeoutMs, &copied)) {
        return false;
    }
    text->assign(buffer.data(), std::min<size_t>(copied, length));
    return true;
}

struct ChildSurvey {
    std::vector<int> buttons;
    HICON icon;
};

BOOL CALLBACK NoteChild(HWND child, LPARAM data) {
    ChildSurvey *survey = reinterpret_cast<ChildSurvey *>(data);
    if (!IsWindowVisible(child)) {
        return TRUE;
    }
    std::wstring name = ClassOf(child);
    if (_wcsicmp(name.c_str(), L"Button") == 0) {
        survey->buttons.push_back(GetDlgCtrlID(child));
    } else if (_wcsicmp(name.c_str(), L"Static") == 0 &&
               (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        DWORD_PTR icon = 0;
        SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &icon);
        if (icon != 0) {
            survey->icon = reinterpret_cast<HICON>(icon);
        }
    }
    return TRUE;
}

}  // namespace

HWND FindMessageBox(DWORD processId, const std::vector<HWND> &skip) {
    return FindProcessWindow(processId, [&skip](HWND window) {
        return IsWindowVisible(window) && ClassOf(window) == L"#32770" &&
               std::find(skip.begin(), skip.end(), window) == skip.end();
    });
}

bool ReadMessageBox(HWND box, MessageBoxView *view) {
    *view = MessageBoxView();
    view->window = box;
    HWND textControl = GetDlgItem(box, 0xFFFF);
    if (textControl == nullptr || !WindowText(box, &view->caption) ||
        !WindowText(textControl, &view->text)) {
        return false;
    }
    ChildSurvey survey = {{}, nullptr};
    EnumChildWindows(box, NoteChild, reinterpret_cast<LPARAM>(&survey));
    std::sort(survey.buttons.begin(), survey.buttons.end());
    view->buttons = survey.buttons;
    view->hasIcon = survey.icon != nullptr;
    view->icon = survey.icon;
    view->topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    view->owned = GetWindow(box, GW_OWNER) != nullptr;
    return IsWindow(box) != FALSE;
}

bool PressMessageBoxButton(HWND box, int buttonId) {
    ChildSurvey survey = {{}, nullptr};
    EnumChildWindows(box, NoteChild, reinterpret_cast<LPARAM>(&survey));
    if (survey.buttons.empty()) {
        return false;
    }
    std::sort(survey.buttons.begin(), survey.buttons.end());
    int id =
        std::find(survey.buttons.begin(), survey.buttons.end(), buttonId) != survey.buttons.end()
            ? buttonId
            : survey.buttons.front();
    // The click as the dialog sees it: a command from that button.
    return PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(box, id))) != FALSE;
}

MessageBoxWatcher::MessageBoxWatcher(int buttonId)
    : buttonId_(buttonId), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread_(nullptr) {
    if (stop_ != nullptr) {
        thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
}

DWORD WINAPI MessageBoxWatcher::Watch(void *self) {
    MessageBoxWatcher *watcher = static_cast<MessageBoxWatcher *>(self);
    std::vector<HWND> seen;
    while (WaitForSingleObject(watcher->stop_, PollMs) == WAIT_TIMEOUT) {
        HWND box = FindMessageBox(GetCurrentProcessId(), seen);
        if (box == nullptr) {
            continue;
        }
        MessageBoxView view;
        ReadMessageBox(box, &view);
        watcher->boxes_.push_back(view);
        seen.push_back(box);
        PressMessageBoxButton(box, watcher->buttonId_);
    }
    return 0;
}

const std::vector<MessageBoxView> &MessageBoxWatcher::Stop() {
    if (thread_ != nullptr) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (stop_ != nullptr) {
        CloseHandle(stop_);
        stop_ = nullptr;
    }
    return boxes_;
}

const wchar_t *LauncherText(int textId) {
    switch (textId) {
    case 1000:
        return L"アプリケーションエラー";
    case 1001:
        return L"必要なファイルを作成できないため、アプリケーションを起動することができません。"
               L"ディスクに空きスペースがない可能性があります。";
    case 1002:
        return L"共有ライブラリMSVCRT.DLLが見つからないため、このアプリケーションを起動できません。";
    case 1003:
        return L"このアプリケーションに必要な Brisklume Player 8.5 がインストールされていません。"
               L"[OK] をクリックしてダウンロードしてください。";
    case 1004:
        return L"このアプリケーションは起動できません。";
    default:
        return nullptr;
    }
}

std::string Utf8(const std::wstring &text) {
    if (text.empty()) {
        return std::string();
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size,
                        nullptr, nullptr);
    return result;
}

::testing::AssertionResult IsLaunchErrorBox(const std::vector<MessageBoxView> &boxes, int textId) {
    if (boxes.size() != 1) {
        return ::testing::AssertionFailure() << boxes.size() << " message boxes, not one";
    }
    const MessageBoxView &box = boxes.front();
    if (box.caption != LauncherText(1000)) {
        return ::testing::AssertionFailure() << "caption [" << Utf8(box.caption) << "]";
    }
    if (box.text != LauncherText(textId)) {
        return ::testing::AssertionFailure()
               << "text [" << Utf8(box.text) << "], not text " << textId;
    }
    std::vector<int> buttons = {IDOK};
    if (textId == 1003) {
        buttons.push_back(IDCANCEL);
    }
    if (box.buttons != buttons) {
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "buttons";
        for (int id : box.buttons) {
            failure << " " << id;
        }
        return failure;
    }
    if (!box.hasIcon) {
        return ::testing::AssertionFailure() << "no icon";
    }
    if (box.owned) {
        return ::testing::AssertionFailure() << "the box has an owner window";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace lumvtest
