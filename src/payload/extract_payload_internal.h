// The payload step's pieces below ExtractPayload, for the tests that drive
// each of them on payload files made by hand. Main thread only.
#pragma once

#include <windows.h>

#include "extract_payload.h"
#include "lzari/lzari_decoder.h"
#include "payload_file.h"

enum {
    DecodeOutputBufferSize = 32768,  // decoded bytes reach the file in writes of this size
    DecodeInputBufferSize = 65536,   // a stream is read in reads of this size
    StoredCopyBufferSize = 32768,    // halved until an allocation succeeds
    CompareChunkSize = 16384         // a taken name's file is compared in reads of this size
};

// The decoder's byte source over one compressed entry of size bytes, read
// from file capacity bytes at a time into buffer, or held whole in it
// (filled == size, no file). position goes on counting past size, so that
// it tells how far the decoder read past the stream's end.
struct EntryByteSource {
    HFILE file;
    uint8_t *buffer;
    int32_t capacity;
    int32_t filled;    // bytes in buffer
    int32_t next;      // the next of them to hand out
    int32_t position;  // bytes asked for, those past size included
    int32_t size;
    bool readFailed;  // a read came up short: the entry fails
};

// A source over a stream held whole in memory.
EntryByteSource MemoryEntrySource(const uint8_t *bytes, int32_t size);

// The decoder's byte sink: a buffer flushed to the file whenever it is full.
// It also ends the decoding as soon as source has been read further past
// its end than a correct stream is (source may be null: no such check).
struct FileByteSink {
    uint8_t *buffer;
    uint32_t position;
    uint32_t capacity;
    HFILE file;
    bool writeFailed;  // a write came up short; later flushes are skipped
    const EntryByteSource *source;
};

// What decoding one entry into its file came to.
enum EntryDecodeResult {
    EntryDecoded = 0,         // every declared byte is in the file
    EntryStreamTooShort = 1,  // too short to hold its 4-byte length
    EntryStreamDamaged = 2,   // a length its size cannot code, or read too far past its end
    EntryWriteFailed = 3      // a write came up short; decoding stopped there
};

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
bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const wchar_t *folder, RunState *run);
// The same into a folder given by its ANSI path.
bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const char *folder, RunState *run);

// Copies size bytes (0 or less: up to the end of the file) from the payload
// file's position into outputFile. Running out of input early still succeeds.
bool CopyStoredEntry(PayloadFile *payloadFile, HFILE outputFile, int32_t size);

// Decodes one stream into outputFile, with the checks that refuse a
// damaged stream: its length is checked before anything is written, and
// decoding stops at the first failed write and as soon as the stream is
// read too far past its end. A read that comes up short fails it as damaged.
EntryDecodeResult DecodeEntryToFile(void *workArea, uint8_t *outputBuffer, uint32_t outputCapacity,
                                    EntryByteSource *source, HFILE outputFile);
// The same for a stream held in memory.
EntryDecodeResult DecodeEntryToFile(void *workArea, uint8_t *outputBuffer, uint32_t outputCapacity,
                                    const uint8_t *compressedBytes, int32_t compressedSize,
                                    HFILE outputFile);

int32_t NextByte(void *source);  // over an EntryByteSource
// Over a FileByteSink: value, or -1 when the buffer was full and its write
// failed now or earlier, or the source was read too far past its end.
int32_t PutByte(void *sink, int32_t value);
