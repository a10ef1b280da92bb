// End-to-end, in a Wine prefix of its own: a player result of 1 or 2 makes the
// launcher log the user off, seen through a windowed witness process ending,
// without a message box; a result of 0 is reported in one.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "test_support.h"

using namespace lumvtest;

namespace {

// How long a logoff may take to reach the witness, and how long a witness
// that is not meant to be ended must survive.
const DWORD LogoffReachesWitnessMs = 20000;
const DWORD WitnessSurvivesMs = 5000;

bool OwnsVisibleWindow(DWORD processId) {
    auto visible = [](HWND window) { return IsWindowVisible(window) != FALSE; };
    return FindProcessWindow(processId, visible) != nullptr;
}

// A logoff is carried out by a helper process that the system starts; it
// must be gone before the next case, or it could end that case's witness.
bool WaitUntilNoProcessNamed(const char *exeName, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 250) {
        if (!ProcessNamedIsRunning(exeName)) {
            return true;
        }
        Sleep(250);
    }
    return !ProcessNamedIsRunning(exeName);
}

// A process of the session that owns a visible window, which a logoff ends;
// ended by the test itself when it outlives the case.
class Witness {
public:
    Witness() {
        started_ = StartProgram("notepad.exe", std::string(), {}, StartOptions(), &process_);
        if (!started_) {
            return;
        }
        WaitForInputIdle(process_.hProcess, 30000);
        for (int tries = 0; tries < 120 && !hasWindow_; tries++) {
            hasWindow_ = OwnsVisibleWindow(process_.dwProcessId);
            if (!hasWindow_) {
                Sleep(250);
            }
        }
    }
    ~Witness() {
        if (!started_) {
            return;
        }
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 0);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Witness(const Witness &) = delete;
    Witness &operator=(const Witness &) = delete;

    bool ready() const { return started_ && hasWindow_; }
    // True when the witness ended within timeoutMs.
    bool EndsWithin(DWORD timeoutMs) const {
        return WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
    bool hasWindow_ = false;
};

TEST(Logoff, FollowsThePlayerResult) {
    struct Case {
        int playerResult;
        bool logsOff;
        DWORD expectedExitCode;
    };
    const Case cases[] = {{3, false, 0}, {1, true, 0}, {2, true, 0}, {0, false, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE("player result " + std::to_string(c.playerResult));
        Presentation show("logoff");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        Witness witness;
        // Wine needs a display for windows: DISPLAY must name an X server
        // when the prefix's services start.
        ASSERT_TRUE(witness.ready()) << "the witness shows no window; is DISPLAY set?";

        RunResult run = show.Run(c.playerResult);

        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished);
        // Under Wine, ExitWindowsEx hands the logoff to a process of its own
        // and returns; the launcher owns no window, so it ends normally.
        EXPECT_EQ(c.expectedExitCode, run.exitCode);
        EXPECT_EQ(std::to_string(c.playerResult), show.Report()["result"]);
        if (c.playerResult == 0) {
            EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1004));
        } else {
            EXPECT_TRUE(run.boxes.empty()) << "a message box for result " << c.playerResult;
        }
        if (c.logsOff) {
            EXPECT_TRUE(witness.EndsWithin(LogoffReachesWitnessMs)) << "no logoff";
            EXPECT_TRUE(WaitUntilNoProcessNamed("wineboot.exe", LogoffReachesWitnessMs));
        } else {
            EXPECT_FALSE(witness.EndsWithin(WitnessSurvivesMs)) << "an unexpected logoff";
        }
    }
}

}  // namespace
