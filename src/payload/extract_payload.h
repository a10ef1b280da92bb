// The payload step: writing the entries appended to the executable out as
// files, the exe-folder group beside the executable and the temporary group
// into the run folder. Main thread only, before any library is loaded.
#pragma once

#include <windows.h>

#include "payload_file.h"

enum {
    DecodeOutputBufferSize = 32768,  // decoded bytes reach the file in writes of this size
    StoredCopyBufferSize = 32768     // halved until an allocation succeeds
};

// The decoder's byte source over one compressed entry held in memory.
struct MemoryByteSource {
    const uint8_t *data;
    int32_t position;
    int32_t size;
};

// The decoder's byte sink: a buffer flushed to the file whenever it is full.
struct FileByteSink {
    uint8_t *buffer;
    uint32_t position;
    uint32_t capacity;
    HFILE file;
    bool writeFailed;  // a write came up short; later flushes are skipped
};

// True when the launch goes on: no payload, or every entry written. False
// when a header was found and a group failed, or its counts are out of range.
bool ExtractPayload(HMODULE moduleHandle);

bool ExtractExeFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                             const char *executablePath);
// The same for the executable's wide path, which names it in any folder.
bool ExtractExeFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                             const wchar_t *executablePath);

// Creates the run folder only when the temporary group is not empty.
bool ExtractTempFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile);

// Writes count entries from firstIndex on into folder (ending in '\' or
// empty), stopping at the first that fails, whose partial file is deleted.
// Never reads past the fifth entry slot.
bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const char *folder);
// The same into a folder given by its wide path (PathBufferSize characters
// at most); the entries' names are read as the ANSI calls read them.
bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const wchar_t *folder);

// An entry's output path by its wide form, in dest (PathBufferSize
// characters): folder (ending in '\' or empty) + name + "." +
// outputExtension, the file part read as the ANSI calls read the header's
// bytes. False where ComposeEntryPath fails, or when the path does not fit.
bool ComposeWideEntryPath(wchar_t *dest, const wchar_t *folder, const PayloadEntry *entry);

// Copies size bytes (0 or less: up to the end of the file) from the payload
// file's position into outputFile. Running out of input early still succeeds.
bool CopyStoredEntry(PayloadFile *payloadFile, HFILE outputFile, int32_t size);

// Decodes one stream held in memory into outputFile; false when the stream is
// too short to hold its length or a write came up short.
bool DecodeEntryToFile(void *workArea, uint8_t *outputBuffer, uint32_t outputCapacity,
                       const uint8_t *compressedBytes, int32_t compressedSize, HFILE outputFile);

int32_t NextByte(void *source);              // over a MemoryByteSource
int32_t PutByte(void *sink, int32_t value);  // over a FileByteSink

// Whether this run's extraction created or replaced the file of the entry
// with this header index. The clean-up deletes only those files beside the
// executable, never a file that was there and untouched.
bool EntryWrittenThisRun(int32_t index);

// Forgets the record; for a process that extracts more than once (tests).
void ForgetWrittenEntries();
