// The appended payload's layout - trailer, header and entry records - and the
// rules read from them: groups, stored or compressed, safe output names, and
// where the payload ends in a signed file. Portable: no <windows.h>.
//
// A presentation executable ends with a 4-byte little-endian trailer holding
// the header's offset. Every number is a 32-bit little-endian word, every
// offset absolute from the start of the file and used as a signed position.
//
// Signed files: Authenticode signing appends the certificate table after the
// trailer, first padding the file with zeros to a multiple of 8. When the
// file is a PE image whose security directory describes a table that ends
// exactly at the end of the file, the payload ends where that table starts,
// or up to 7 zero bytes before it; otherwise it ends at the end of the file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/path_rules.h"

enum {
    PayloadTrailerSize = 4,
    PayloadHeaderSize = 284,
    PayloadEntrySize = 52,
    PayloadMaxEntries = 5,
    PayloadNameSize = 33,            // 32 characters and the terminator
    PayloadPackedExtensionSize = 4,  // 3 characters and the terminator
    PayloadOutputExtensionSize = 7   // 6 characters and the terminator
};

struct PayloadEntry {
    int32_t dataOffset;
    int32_t storedSize;  // 0 or less for a stored entry: up to the payload's end
    char name[PayloadNameSize];
    char packedExtension[PayloadPackedExtensionSize];
    char outputExtension[PayloadOutputExtensionSize];
};

struct PayloadHeader {
    char magic[4];  // "10VL"
    int32_t contentOffset;
    int32_t reserved[2];  // the player's; never used here
    int32_t entryCount;
    int32_t tempEntryCount;  // the last tempEntryCount entries go to the run folder
    PayloadEntry entries[PayloadMaxEntries];
};

static_assert(sizeof(PayloadEntry) == PayloadEntrySize, "entry record size");
static_assert(sizeof(PayloadHeader) == PayloadHeaderSize, "header record size");

// Decodes a header from its 284 file bytes, word by word (little-endian).
void ParsePayloadHeader(const uint8_t *bytes, PayloadHeader *header);

// Encodes a header into its 284 file bytes.
void StorePayloadHeader(const PayloadHeader *header, uint8_t *bytes);

// "10VL" in the magic field.
bool HasPayloadMagic(const PayloadHeader *header);

// 0 <= entryCount <= 5 and 0 <= tempEntryCount <= entryCount. A header with
// counts out of range is never used to read entries.
bool PayloadCountsValid(const PayloadHeader *header);

// Number of entries written beside the executable: entryCount - tempEntryCount.
// Only meaningful for valid counts.
int32_t ExeFolderEntryCount(const PayloadHeader *header);

// Stored when both extensions are equal byte for byte up to their terminator.
bool IsStoredEntry(const PayloadEntry *entry);

// Where an entry's data lie: storedSize bytes from dataOffset, or for a
// stored entry with storedSize 0 or less everything up to payloadEnd. False
// when they do not lie inside [0, payloadEnd).
bool PayloadEntrySpan(const PayloadEntry *entry, uint32_t payloadEnd, uint32_t *start,
                      uint32_t *size);

// Where the content lies, for a header with valid counts at headerOffset:
// from contentOffset to the nearest entry data (see PayloadEntrySpan) or
// header that starts at or after it, else to the trailer. The format keeps
// no content size, so with nothing after it the content takes the padding
// before the trailer along. False when contentOffset lies outside
// [0, the trailer's start].
bool FindPayloadContent(const PayloadHeader *header, uint32_t headerOffset, uint32_t payloadEnd,
                        uint32_t *start, uint32_t *size);

// All three text fields end with a terminator inside their field.
bool EntryTextFieldsTerminated(const PayloadEntry *entry);

// The file part "name.outputExtension" stays inside the destination folder:
// it does not start with a separator, holds no ':' (drives and streams), and
// has no component made only of dots and blanks ("..", and what Windows reads
// as such), and no component that names a device (CON, NUL, COM1, COM with
// a superscript digit, CONIN$, CLOCK$ and the like, whatever the extension),
// which would be opened instead of a file.
// '\' and '/' both count as separators; a '\' naming a subfolder is allowed.
bool EntryFileNameIsSafe(const char *name, const char *extension);

// Some component of fileName is a device name (see EntryFileNameIsSafe).
bool FileNameNamesDevice(const char *fileName);

// Writes folder + name + "." + outputExtension into dest (destSize bytes).
// folder ends with '\' or is empty; isLeadByte tells its code page's
// double-byte characters (see the path rules). False, with dest unusable,
// when a text field is unterminated, the name is unsafe or the result does
// not fit.
bool ComposeEntryPath(char *dest, size_t destSize, const char *folder, const PayloadEntry *entry,
                      LeadByteTest isLeadByte);

// Reading the file behind the payload, one call per span: fills size bytes
// at offset and returns true, or returns false when fewer bytes are there.
struct PayloadByteReader {
    bool (*ReadAt)(const PayloadByteReader *reader, uint32_t offset, void *buffer, uint32_t size);
};

// Signing tools pad a file with at most this many zero bytes before they
// append the certificate table.
enum { MaxSigningPadding = 7 };

// The start of an Authenticode certificate table that ends exactly at
// fileSize; false when the file is no PE image with such a table.
bool FindCertificateTable(const PayloadByteReader *reader, uint32_t fileSize, uint32_t *tableStart);

// Where the payload's data ends. Unsigned: fileSize. Signed: the trailer lies
// directly before the certificate table or before 1 to 7 zero bytes in front
// of it; of those ends, nearest the table first, the first whose trailer
// leads to a header with the magic wins, and with none the table's start.
uint32_t FindPayloadEnd(const PayloadByteReader *reader, uint32_t fileSize);

// Reads the trailer from the 4 bytes before payloadEnd and the header it
// points to. False when payloadEnd < 4, the offset is negative or fewer than
// 284 bytes follow it. Nothing is checked beyond that; callers check the
// magic and the counts. *headerOffset gets the trailer's value when not null.
bool ReadPayloadHeaderFrom(const PayloadByteReader *reader, uint32_t payloadEnd,
                           PayloadHeader *header, int32_t *headerOffset);
