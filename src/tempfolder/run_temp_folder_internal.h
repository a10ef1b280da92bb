// Pieces of the run folder that only the tests call on their own: the ANSI
// query the player's side of the folder is checked with. Main thread only.
#pragma once

#include "run_temp_folder.h"

// GetRunTempFolder with the folder's ANSI path (PathBufferSize bytes). The
// ANSI path is copied only when the folder has one: without it, false
// although the folder exists.
bool GetRunTempFolder(RunTempFolder *folder, char *buffer, bool create);
