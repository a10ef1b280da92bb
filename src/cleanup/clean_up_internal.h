// The clean-up's sweep and folder deletion on their own, for the tests that
// drive them over folders made by hand. Main thread only.
#pragma once

#include "clean_up.h"

// Deletes every "TempFolder.*" folder under the run folders' roots (the
// temporary path, and the Windows folder's "Temp") whose "Vantorelle.lok"
// opens without sharing, holding that lock while it does and deleting it
// last, so that a folder which cannot be emptied keeps its lock and is tried
// again by a later sweep. Under the temporary path a folder without a lock
// is taken too. Non-zero when at least one is gone completely (another run
// sweeping at the same moment may have taken some of it).
int SweepRunTempFolders();

// Deletes folder (a PathBufferSize buffer; a trailing '\' may be appended)
// and everything in it, depth first, stopping at the first item that cannot
// be deleted; an item that is already gone (another run deleted it first)
// counts as deleted. Junctions and symbolic links are removed themselves,
// never followed. Non-zero when the folder is gone.
int DeleteFolderTree(char *folder);
// The same by the folder's wide path (PathBufferSize characters).
int DeleteFolderTree(wchar_t *folder);
