// The launch sequence: everything the launcher does between start and exit.
#pragma once

#include <windows.h>

// Runs the whole launch once and returns the process exit code: 1 when the
// player returned 0, 0 in every other case.
int RunLaunchSequence(HINSTANCE instance, HINSTANCE prevInstance, char *cmdLine, int cmdShow);
