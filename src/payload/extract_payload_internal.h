// The payload step's pieces below ExtractPayload, for the tests that drive
// each of them on payload files made by hand. Main thread only.
#pragma once

#include <windows.h>

#include "entry_stream_rules.h"
#include "extract_payload.h"
#include "lzari/lzari_decoder.h"
#include "payload_file.h"

enum {
    DecodeOutputBufferSize = 32768,  // decoded bytes reach the file in writes of this size
    StoredCopyBufferSize = 32768,    // halved until an allocation succeeds
    CompareChunkSize = 16384         // a taken name's file is compared in reads of this size
};

// One compressed entry on its way through the decoder's block reads and
// writes: the stream, size bytes from inputFile's position on (read up to
// LzariDecodeInputSize bytes at a time into the decoder's work area), and
// the buffer that is written to outputFile whenever it is full.
struct EntryStream {
    HFILE inputFile;
    int32_t size;
    int32_t left;        // stream bytes not read yet
    bool readFailed;     // a read came up short: the entry fails
    bool lengthRefused;  // the length field declares more than size bytes can code
    HFILE outputFile;
    uint8_t *buffer;
    uint32_t position;  // bytes in buffer
    uint32_t capacity;
    bool writeFailed;  // a write came up short; later flushes are skipped
};

// The decoder's read: the next at most size bytes of the stream, 0 at its
// end or when a read came up short. The first read checks the length field.
size_t ReadEntryStream(void *stream, uint8_t *buffer, size_t size);
// The decoder's write: into the buffer, written out each time it is full;
// false once a write has come up short.
bool WriteEntryStream(void *stream, const uint8_t *data, size_t size);

// The memory one entry decodes in, one block: the decoder's work area
// (which holds its input buffer) and the output buffer.
struct DecodeArea {
    uint64_t workArea[LzariWorkAreaSize / 8];
    uint8_t output[DecodeOutputBufferSize];
};

static_assert(LzariWorkAreaSize % 8 == 0, "the output buffer follows the work area directly");

// A fixed block for it, or null.
DecodeArea *AllocateDecodeArea();

// Decodes the stream of size bytes at offset in inputFile (the executable)
// into outputFile, in area; false when the entry fails.
bool DecodeEntryAt(DecodeArea *area, HFILE inputFile, int32_t offset, int32_t size,
                   HFILE outputFile);

bool ExtractExeFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                             const wchar_t *executablePath, RunState *run);
// The same for an ANSI path.
bool ExtractExeFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                             const char *executablePath, RunState *run);

// Creates the run folder only when the temporary group is not empty.
bool ExtractTempFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile, RunState *run);

// Writes count entries from firstIndex on into folder (ending in '\' or
// empty, PathBufferSize characters at most), stopping at the first that
// fails, whose partial file is deleted. A file already under an entry's
// name is moved aside (MovedAsideSuffix) for the run, or kept when it holds
// the entry's bytes; a folder or a link there fails the entry. Never reads
// past the fifth entry slot. The entries' names are read as the ANSI calls
// read them.
// With twoAtATime, and where BackgroundDecode is to be had, a compressed
// entry of a name no file has is decoded on a second thread while the next
// ones are written; the group then fails when it fails, whichever entries
// came after it, and only in the run folder is that sound.
bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const wchar_t *folder, RunState *run, bool twoAtATime = false);
// The same into a folder given by its ANSI path.
bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const char *folder, RunState *run);

// Copies size bytes (0 or less: up to the end of the file) from the payload
// file's position into outputFile. Running out of input early still succeeds.
bool CopyStoredEntry(PayloadFile *payloadFile, HFILE outputFile, int32_t size);

// Decodes the stream of size bytes at inputFile's position into
// outputFile, with the checks that refuse a damaged stream: its length is
// checked before anything is written, and decoding stops at the first failed
// write and as soon as the stream is read too far past its end. A read that
// comes up short fails it as damaged.
EntryDecodeResult DecodeEntryToFile(void *workArea, uint8_t *outputBuffer, uint32_t outputCapacity,
                                    HFILE inputFile, int32_t size, HFILE outputFile);
