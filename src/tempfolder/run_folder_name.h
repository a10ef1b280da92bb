// Names of the per-run folders under the temporary path: "TempFolder.aaa" to
// "TempFolder.zzz" and the lock file inside them. Portable: no <windows.h>.
#pragma once

#include <stddef.h>

#include "common/path_rules.h"

extern const char RunLockFileName[];      // "Vantorelle.lok"
extern const wchar_t RunLockFileNameW[];  // the same, wide

// Turns the temporary path held in path (pathSize bytes) into the first
// candidate run folder: a '\' if the temporary path lacks one, then
// "TempFolder.aaa". Fails, leaving path unusable, when the candidate plus its
// trailing '\' and the lock file's name would not fit in pathSize bytes, so a
// folder is never created whose lock file could not be.
// isLeadByte tells the double-byte characters of path's code page (see
// the path rules).
bool StartRunFolderName(char *path, size_t pathSize, LeadByteTest isLeadByte);

// Advances the three-letter suffix at the end of path like an odometer:
// aaa, aab ... aaz, aba ... zzz. Returns false, changing nothing, after zzz.
bool AdvanceRunFolderSuffix(char *path);

// The same for a wide path; pathSize counts characters.
bool StartRunFolderName(wchar_t *path, size_t pathSize);
bool AdvanceRunFolderSuffix(wchar_t *path);
