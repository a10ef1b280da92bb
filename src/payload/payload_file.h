// The executable file as the payload's source: opening it by module, finding
// where its payload ends (before a signature's certificate table, if any)
// and reading the trailer and header. Main thread only.
#pragma once

#include <windows.h>

#include "payload_format.h"

// An open executable file and the end of its payload data.
struct PayloadFile {
    HFILE handle;
    uint32_t payloadEnd;  // the file size, or where a certificate table starts
    const wchar_t *path;  // its name, for a second reader; null: none
};

// Gets the module's file name into path (PathBufferSize characters, wide) and
// opens the file read-only. False when no complete path can be had or the
// file does not open; nothing is left open then. The file keeps path.
bool OpenPayloadFile(HMODULE module, wchar_t *path, PayloadFile *file);

// Opens the file at path read-only as OpenPayloadFile does: with _lopen by
// its ANSI name, or where only the wide name spells it, read-only and shared
// as _lopen opens a file, by that name. HFILE_ERROR when it does not open.
HFILE OpenPayloadReader(const wchar_t *path);

void ClosePayloadFile(PayloadFile *file);

// Bytes lie between the image and the payload's end that no signing tool
// puts there (it pads with at most MaxSigningPadding): something was
// appended, whether or not it still reads as a payload. Reads the image's
// headers; false when they cannot be read.
bool PayloadFileHasAppendedData(const PayloadFile *file);

// Reads the trailer and the header it points to. No field is checked; false
// on a failed positioning or a short read.
bool ReadPayloadHeader(PayloadFile *file, PayloadHeader *header);

// Positions the file at offset from its start; false for a negative offset.
bool SeekPayloadFile(const PayloadFile *file, int32_t offset);
// The same for any handle on it (a second reader's).
bool SeekPayloadReader(HFILE handle, int32_t offset);
