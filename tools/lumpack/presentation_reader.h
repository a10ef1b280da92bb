// Reading a presentation executable held in memory: where its payload ends
// (signed or not), its header and entries, every check `lumpack verify`
// makes, and the bytes of each entry and of the content. Portable; shared by
// the tool, the tests and the fuzz target. Nothing here trusts the file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"

// A correct LZARI stream leaves the decoder at most this many bytes past its
// end (see presentation_reader.cpp for the measurement); one read further
// means the stream was cut short or damaged.
enum { LzariMaxOverRead = 2 };

// No stream can code more than this many bytes per stored byte (see
// presentation_reader.cpp); a length field claiming more is damaged.
enum { LzariMaxDecodedPerStoredByte = 1024 };

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

struct Presentation {
    const uint8_t *data;  // the whole file; not owned
    size_t size;
    // Where the trailer ends: the file's end, or when signed the certificate
    // table's start or up to 7 zero bytes before it (the signing tool's
    // padding of a file whose size was no multiple of 8).
    uint32_t payloadEnd;
    bool isSigned;
    uint32_t tableStart;  // the certificate table's start when signed, else the size
    uint32_t headerOffset;
    PayloadHeader header;
    // The content runs from contentOffset to the nearest entry data (or the
    // header) that starts at or after it, else to the trailer. With no
    // entries after it, the up-to-7 alignment bytes before the trailer come
    // along: the format does not record the content's size.
    bool contentInside;  // contentOffset lies within the payload
    uint32_t contentSize;
    std::vector<EntryInfo> entries;  // the first entryCount slots
};

// "entry 2 (lumv.dll)", numbered from 1, the name only when it is readable.
std::string EntryLabel(const EntryInfo &entry);

// name + "." + outputExtension, as the launcher writes it.
std::string EntryFileName(const EntryInfo &entry);

// Finds the payload and reads the header and its entries. False, with
// *error saying why, when the file carries no header that can be read: too
// short or too large, a trailer that points outside the payload, no "10VL"
// magic, counts out of range.
bool OpenPresentation(const uint8_t *data, size_t size, Presentation *out, std::string *error);

enum class Severity { Fault, Warning };

struct Finding {
    Severity severity;
    std::string message;  // names the entry it is about
};

// Every check, in order: trailer and header readable and inside the payload,
// magic, content offset, counts; per entry its text fields, a safe name, its
// span inside the payload and, when compressed, a stream that decodes to its
// declared length without running past its stored bytes. Entries sharing
// bytes, and two entries writing the same file, are warnings: the launcher
// unpacks such files, though a builder would not make them. True when no
// fault was found.
bool VerifyPresentation(const uint8_t *data, size_t size, std::vector<Finding> *findings);

// Why the compressed stream is damaged, or "" when it decodes cleanly; its
// decoded bytes go to *out when out is not null.
std::string CheckLzariStream(const uint8_t *stream, uint32_t size, std::vector<uint8_t> *out);

// The bytes the launcher would write for an entry. False, with *error, when
// its span lies outside the payload or its stream is damaged.
bool ReadEntryData(const Presentation &presentation, size_t index, std::vector<uint8_t> *out,
                   std::string *error);

// The content's bytes (empty when contentOffset lies outside the payload).
std::vector<uint8_t> ReadContent(const Presentation &presentation);
