// Clean-up after the run: the files this run wrote beside the executable,
// the run's lock, and every run folder under the temporary path whose lock
// nobody holds any more. Silent: failures are ignored and whatever cannot be
// deleted stays. Main thread only.
#pragma once

#include <windows.h>

#include "payload/run_state.h"

// Runs the whole clean-up once, with what run recorded: deletes the files
// it wrote beside the executable, releases its folder (the player's path to
// it is gone from then on) and sweeps the temporary path, its own folder
// included.
void CleanUpAfterRun(HINSTANCE instance, RunState *run);
