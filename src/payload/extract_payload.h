// The payload step: writing the entries appended to the executable out as
// files, the exe-folder group beside the executable and the temporary group
// into the run folder. Main thread only, before any library is loaded.
#pragma once

#include <windows.h>

#include "payload_format.h"
#include "run_state.h"

// What the payload step came to.
enum PayloadStepResult {
    // No payload (nothing appended), or every entry written.
    PayloadStepDone = 0,
    // A header was found and an entry failed, or its counts are out of range.
    PayloadStepFailed = 1,
    // Bytes were appended, but no header can be read from them.
    PayloadStepDamaged = 2,
};

// Where a file found under an entry's name waits while the run uses the
// name: the same folder, the entry's file name with this suffix.
#define MovedAsideSuffix L".moved-aside"

// The run folder is created in run only for a temporary group that is not
// empty; every file written is recorded in run.
PayloadStepResult ExtractPayload(HMODULE moduleHandle, RunState *run);

// An entry's output path by its wide form, in dest (PathBufferSize
// characters): folder (ending in '\' or empty) + name + "." +
// outputExtension, the file part read as the ANSI calls read the header's
// bytes. False where ComposeEntryPath fails, or when the path does not fit.
bool ComposeWideEntryPath(wchar_t *dest, const wchar_t *folder, const PayloadEntry *entry);

// The files beside an executable belong to every run of every show in its
// folder: one run at a time unpacks them or puts them back, so that no run
// moves a file aside while another deletes or restores it. Waits for the
// folder's lock (a mutex named after its path, ending in '\') and returns it;
// null when none can be had, and the run goes on without.
HANDLE LockExeFolder(const wchar_t *folder);
void UnlockExeFolder(HANDLE lock);

// The moved-aside path of the file at entryPath, in dest (PathBufferSize
// characters); false when it does not fit.
bool ComposeMovedAsidePath(wchar_t *dest, const wchar_t *entryPath);
