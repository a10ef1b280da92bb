// One compressed entry decoded on a second thread while the payload step
// goes on with the entries after it, on a second core where there is one:
// the thread reads the stream through its own handle on the executable and
// writes the entry's open file; the main thread starts it,
// looks whether it has finished, and collects it (closing the file, and
// deleting it when the entry failed). Only the main thread calls these.
#pragma once

#include <windows.h>

#include "common/path_rules.h"
#include "payload_file.h"

struct BackgroundDecode {
    bool available;  // the executable opened a second time, and nothing failed
    HFILE input;     // that second handle
    HANDLE thread;   // the decoding under way; null when there is none
    HFILE output;
    int32_t offset;
    int32_t size;
    struct DecodeArea *area;  // the thread's own, allocated at its first entry
    bool decoded;
    wchar_t path[PathBufferSize];  // the entry's file
};

// Ready to decode in the background when wanted and the payload file can be
// opened a second time (file->path names it; null: never).
void StartBackgroundDecodes(BackgroundDecode *job, const PayloadFile *file, bool wanted);

// Hands the entry's stream (size bytes at offset) to the thread, which must
// be available and idle, to be decoded into output, the file at path. True
// when the thread took it and owns output from now on; false when it could
// not start: the caller decodes the entry itself.
bool DecodeInBackground(BackgroundDecode *job, int32_t offset, int32_t size, HFILE output,
                        const wchar_t *path);

// Collects the entry in the background if it has finished or, with wait,
// once it has: false when it failed. True while it runs, or when there is
// none.
bool CollectBackgroundDecode(BackgroundDecode *job, bool wait);

// Waits for the entry in the background and collects it: false when it
// failed, its file then deleted.
bool FinishBackgroundDecode(BackgroundDecode *job);

// Finishes the entry under way, frees the blocks and closes the handle;
// false when that entry failed.
bool EndBackgroundDecodes(BackgroundDecode *job);
