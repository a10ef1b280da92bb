// The process entry point: builds WinMain's arguments the way the C runtime
// start-up would, runs the launch and ends the process with its result.
// The launcher links no C runtime start-up code of its own, which keeps it
// small and its command-line rule exactly its own.
#include <windows.h>

#include "command_line.h"
#include "launch_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR cmdLine, int cmdShow) {
    return RunLaunchSequence(instance, prevInstance, cmdLine, cmdShow);
}

static int StartupShowCommand() {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    if ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0) {
        return startup.wShowWindow;
    }
    return SW_SHOWDEFAULT;
}

// The entry point is entered with whatever stack alignment the loader gives.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void LauncherStartup() {
    char *cmdLine = const_cast<char *>(SkipProgramName(GetCommandLineA()));
    int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, cmdLine, StartupShowCommand());
    ExitProcess(exitCode);
}
