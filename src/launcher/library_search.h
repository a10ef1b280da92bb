// Finding and loading the runtime library and the player library, in a fixed
// order of folders, with the current directory saved and restored.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "tempfolder/run_temp_folder.h"

// Status 0 with the handle of msvcrt.dll; 2 when found nowhere, 5 when the
// current directory cannot be read. The handle is null unless the status is 0.
// The run's folder, when it has one, is tried right after the system's own
// search.
int32_t LoadRuntimeLibrary(const RunTempFolder *runFolder, HMODULE *module);

// Status 0 with the handle of lumv.dll and its PlayerLocation; 3 when found
// nowhere, 5 when the current directory cannot be read, 6 when the run has
// a folder and loading from it fails (no other folder is tried then).
int32_t LoadPlayerLibrary(const RunTempFolder *runFolder, HMODULE *module, int32_t *location);
