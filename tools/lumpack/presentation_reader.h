// Reading a presentation executable through a PayloadByteReader, a span at a
// time: where its payload ends (signed or not), its header and entries, every
// check `lumpack verify` makes, and the bytes of each entry and of the
// content, handed on in chunks so no whole entry is ever held. Each call that
// takes a file in memory wraps the reader version. Portable; shared by the
// tool, the tests and the fuzz target. Nothing here trusts the file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "lzari/lzari_decoder.h"
#include "payload/payload_format.h"

// A PayloadByteReader over bytes in memory.
struct MemoryByteReader {
    PayloadByteReader reader;  // first, so the callback can get back to the bytes
    const uint8_t *data;
    size_t size;
};

MemoryByteReader MakeMemoryByteReader(const uint8_t *data, size_t size);

// One entry of the header as found, whatever its state.
struct EntryInfo {
    int slot;         // position in the header, from 0
    bool tempGroup;   // goes to the run's temporary folder, not beside the exe
    bool terminated;  // all three text fields end inside their fields
    bool stored;
    std::string name;  // up to the terminator, or the whole field
    std::string packedExtension;
    std::string outputExtension;
    int32_t dataOffset;
    int32_t storedSize;
    // Where the entry's bytes lie, when that is inside the payload: a stored
    // entry with storedSize <= 0 runs to the payload's end.
    bool spanInside;
    uint32_t spanStart;
    uint32_t spanSize;
    // Stored: the span's size; compressed: the stream's length field, when
    // the span holds one.
    bool decodedSizeKnown;
    uint64_t decodedSize;
};

// The bytes are read in chunks of this size.
enum { PresentationChunkSize = 1 << 16 };

struct Presentation {
    uint64_t size;  // the file's
    // Where the trailer ends: the file's end, or when signed the certificate
    // table's start or up to 7 zero bytes before it (the signing tool's
    // padding of a file whose size was no multiple of 8).
    uint32_t payloadEnd;
    bool isSigned;
    uint32_t tableStart;  // the certificate table's start when signed, else the size
    uint32_t headerOffset;
    PayloadHeader header;
    // The content's span from contentOffset, as FindPayloadContent finds it:
    // the format does not record the content's size.
    bool contentInside;  // contentOffset lies within the payload
    uint32_t contentSize;
    std::vector<EntryInfo> entries;  // the first entryCount slots
};

// "entry 2 (lumv.dll)", numbered from 1, the name only when it is readable.
std::string EntryLabel(const EntryInfo &entry);

// name + "." + outputExtension, as the file the launcher writes is named:
// without the dot when the extension is empty.
std::string EntryFileName(const EntryInfo &entry);

// Finds the payload and reads the header and its entries. False, with
// *error saying why, when the file carries no header that can be read: too
// short or too large (checked before anything is read), a trailer that
// points outside the payload, no "10VL" magic, counts out of range, or a
// read that fails. Reads only the trailer, the header, the streams' length
// fields and, for a signed file, its PE headers.
bool OpenPresentation(const PayloadByteReader *reader, uint64_t size, Presentation *out,
                      std::string *error);
bool OpenPresentation(const uint8_t *data, size_t size, Presentation *out, std::string *error);

enum class Severity { Fault, Warning };

struct Finding {
    Severity severity;
    std::string message;  // names the entry it is about
};

// Every check, in order: trailer and header readable and inside the payload,
// magic, content offset (inside the payload, after the launcher image),
// counts; per entry its text fields, a safe name, a stored size that is not
// negative, its span inside the payload and, when compressed, a stream that
// decodes to its declared length without running past its stored bytes.
// Entries sharing bytes, and two entries writing the same file, are
// warnings: the launcher unpacks such files, though a builder would not make
// them. True when no fault was found. Streams are decoded a chunk at a time
// and their bytes only counted.
bool VerifyPresentation(const PayloadByteReader *reader, uint64_t size,
                        std::vector<Finding> *findings);
bool VerifyPresentation(const uint8_t *data, size_t size, std::vector<Finding> *findings);

// What stored bytes and streams cannot tell verify: nothing in the format
// sums them up.
extern const char UncheckedBytesNote[];

// Takes the bytes of an entry or the content in order, a chunk at a time.
// False (with *error) stops the copy.
typedef bool (*ByteSink)(void *context, const uint8_t *bytes, size_t size, std::string *error);

// Decodes the stream of size bytes at start through the reader, handing the
// decoded bytes to sink (null: only counted). Returns why the stream is
// damaged or could not be read, or "" when it decodes cleanly: a length it
// cannot code, a read too far past its end, or bytes left after the coded
// data all count as damage (see lzari_decoder.h). When the sink fails, its
// error is returned and the rest of the stream is not handed on.
std::string CheckLzariStream(const PayloadByteReader *reader, uint32_t start, uint32_t size,
                             ByteSink sink, void *context);

// The same over a stream in memory; its decoded bytes go to *out when out
// is not null.
std::string CheckLzariStream(const uint8_t *stream, uint32_t size, std::vector<uint8_t> *out);

// Hands the bytes the launcher would write for an entry to sink. False, with
// *error naming the entry, when its span lies outside the payload, its
// stream is damaged, a read fails or the sink fails.
bool CopyEntryData(const PayloadByteReader *reader, const Presentation &presentation, size_t index,
                   ByteSink sink, void *context, std::string *error);

// Hands the content's bytes to sink (none when contentOffset lies outside
// the payload).
bool CopyContent(const PayloadByteReader *reader, const Presentation &presentation, ByteSink sink,
                 void *context, std::string *error);

// Hands the launcher image, everything before the payload's header, to sink.
bool CopyLauncherImage(const PayloadByteReader *reader, const Presentation &presentation,
                       ByteSink sink, void *context, std::string *error);

// CopyEntryData and CopyContent into memory, for small files and the tests.
bool ReadEntryData(const PayloadByteReader *reader, const Presentation &presentation, size_t index,
                   std::vector<uint8_t> *out, std::string *error);
bool ReadContent(const PayloadByteReader *reader, const Presentation &presentation,
                 std::vector<uint8_t> *out, std::string *error);
