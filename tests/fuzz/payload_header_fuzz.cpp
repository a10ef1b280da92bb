// Fuzz target for the payload rules the launcher reads an executable's tail
// with: any byte string is a whole file, read through the same portable
// functions the payload step calls (the signed-file rules, the trailer, the
// header, its counts, each entry's span and name). Nothing may be read
// outside the file, and whatever is taken must lie inside the payload with
// a name that stays in its folder. Replayed by CTest on host.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "entry_name_oracle.h"
#include "payload/payload_format.h"
#include "presentation_reader.h"

namespace {

void Fail(const char *what) {
    fprintf(stderr, "payload_header_fuzz: %s\n", what);
    abort();
}

bool IsLeadByte932(unsigned char value) {
    return fuzz_oracle::IsLeadByte932(value);
}

void CheckEntry(const PayloadHeader &header, int32_t index, uint32_t payloadEnd) {
    const PayloadEntry *entry = &header.entries[index];
    uint32_t start = 0;
    uint32_t size = 0;
    if (PayloadEntrySpan(entry, payloadEnd, &start, &size)) {
        if (static_cast<uint64_t>(start) + size > payloadEnd ||
            start != static_cast<uint32_t>(entry->dataOffset)) {
            Fail("an entry's span does not lie inside the payload");
        }
        if (IsStoredEntry(entry) && entry->storedSize > 0 &&
            size != static_cast<uint32_t>(entry->storedSize)) {
            Fail("a stored entry's span is not its stored size");
        }
    }
    // The two ways the launcher composes names: in the run folder's ANSI
    // path and on its own (the file part of the wide path).
    for (LeadByteTest isLeadByte : {static_cast<LeadByteTest>(nullptr), IsLeadByte932}) {
        char path[PathBufferSize];
        for (const char *folder : {"", "C:\\Show\\"}) {
            if (!ComposeEntryPath(path, sizeof path, folder, entry, isLeadByte)) {
                continue;
            }
            std::string fileName(path + strlen(folder));
            if (!EntryTextFieldsTerminated(entry) || !fuzz_oracle::SafeFileName(fileName) ||
                strncmp(path, folder, strlen(folder)) != 0) {
                Fail("an entry's name was taken that leaves its folder or names a device");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFFFFFFu) {
        return 0;
    }
    // Reads reaching past the file's end are refused.
    MemoryByteReader file = MakeMemoryByteReader(data, size);
    uint32_t fileSize = static_cast<uint32_t>(size);

    uint32_t tableStart = 0;
    bool isSigned = FindCertificateTable(&file.reader, fileSize, &tableStart);
    if (isSigned && tableStart > fileSize) {
        Fail("a certificate table that starts past the file's end");
    }
    uint32_t payloadEnd = FindPayloadEnd(&file.reader, fileSize);
    if (payloadEnd > fileSize || (isSigned && payloadEnd > tableStart) ||
        (isSigned && tableStart - payloadEnd > MaxSigningPadding && payloadEnd != tableStart) ||
        (!isSigned && payloadEnd != fileSize)) {
        Fail("the payload's end is not the file's end or just before its signature");
    }
    for (uint32_t at = payloadEnd; isSigned && at < tableStart; at++) {
        if (data[at] != 0) {
            Fail("the payload ends before signing padding that is not zeros");
        }
    }

    PayloadHeader header;
    int32_t headerOffset = -1;
    if (!ReadPayloadHeaderFrom(&file.reader, payloadEnd, &header, &headerOffset)) {
        return 0;
    }
    if (headerOffset < 0 || static_cast<uint64_t>(headerOffset) + PayloadHeaderSize > fileSize) {
        Fail("a header was read from outside the file");
    }
    if (!HasPayloadMagic(&header) || !PayloadCountsValid(&header)) {
        return 0;
    }
    if (header.entryCount < 0 || header.entryCount > PayloadMaxEntries ||
        header.tempEntryCount < 0 || header.tempEntryCount > header.entryCount ||
        ExeFolderEntryCount(&header) + header.tempEntryCount != header.entryCount) {
        Fail("counts out of range taken as valid");
    }
    for (int32_t i = 0; i < header.entryCount; i++) {
        CheckEntry(header, i, payloadEnd);
    }
    uint32_t contentStart = 0;
    uint32_t contentSize = 0;
    if (FindPayloadContent(&header, static_cast<uint32_t>(headerOffset), payloadEnd, &contentStart,
                           &contentSize) &&
        static_cast<uint64_t>(contentStart) + contentSize + PayloadTrailerSize > payloadEnd) {
        Fail("the content does not lie inside the payload");
    }
    return 0;
}
