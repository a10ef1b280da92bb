// The state one run carries from step to step: its temporary folder with the
// lock, which entries' files the payload step wrote, and which files of
// those names it moved aside. The launch sequence
// owns it on its stack and hands it down by pointer; no step keeps state of
// its own between calls, and a test starts a fresh one. Main thread only.
#pragma once

#include <stdint.h>

#include "payload_format.h"
#include "tempfolder/run_temp_folder.h"

struct RunState {
    RunTempFolder tempFolder;
    // Bit i: the file of the entry with header index i was created or
    // replaced by this run. The clean-up deletes only those files beside
    // the executable, never a file that was there and untouched.
    uint32_t writtenEntries;
    // Bit i: a file that was there under entry i's name was moved aside
    // before the entry was written, and is to be put back after the run.
    uint32_t movedAsideEntries;
};

// No folder, nothing written.
inline void StartRunState(RunState *run) {
    StartRunTempFolder(&run->tempFolder);
    run->writtenEntries = 0;
    run->movedAsideEntries = 0;
}

inline bool EntryWrittenThisRun(const RunState *run, int32_t index) {
    return index >= 0 && index < PayloadMaxEntries && (run->writtenEntries >> index & 1) != 0;
}

inline bool EntryMovedAsideThisRun(const RunState *run, int32_t index) {
    return index >= 0 && index < PayloadMaxEntries && (run->movedAsideEntries >> index & 1) != 0;
}
