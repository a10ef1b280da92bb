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

// The run folder is created in run only for a temporary group that is not
// empty; every file written is recorded in run.
PayloadStepResult ExtractPayload(HMODULE moduleHandle, RunState *run);

// An entry's output path by its wide form, in dest (PathBufferSize
// characters): folder (ending in '\' or empty) + name + "." +
// outputExtension, the file part read as the ANSI calls read the header's
// bytes. False where ComposeEntryPath fails, or when the path does not fit.
bool ComposeWideEntryPath(wchar_t *dest, const wchar_t *folder, const PayloadEntry *entry);
