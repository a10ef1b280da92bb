// The appended payload's layout and the rules read from it.
#include "payload_format.h"

#include "common/byte_order.h"
#include "common/path_rules.h"
#include "pe_image.h"

static const char PayloadMagic[4] = {'1', '0', 'V', 'L'};

static int32_t SignedWordAt(const uint8_t *bytes) {
    return static_cast<int32_t>(ReadLittleEndian32(bytes));
}

static void PutWord(uint8_t *bytes, int32_t value) {
    WriteLittleEndian32(bytes, static_cast<uint32_t>(value));
}

static void CopyField(void *dest, const void *source, size_t size) {
    const uint8_t *from = static_cast<const uint8_t *>(source);
    uint8_t *to = static_cast<uint8_t *>(dest);
    for (size_t i = 0; i < size; i++) {
        to[i] = from[i];
    }
}

void ParsePayloadHeader(const uint8_t *bytes, PayloadHeader *header) {
    CopyField(header->magic, bytes, 4);
    header->contentOffset = SignedWordAt(bytes + 4);
    header->reserved[0] = SignedWordAt(bytes + 8);
    header->reserved[1] = SignedWordAt(bytes + 12);
    header->entryCount = SignedWordAt(bytes + 16);
    header->tempEntryCount = SignedWordAt(bytes + 20);
    for (int i = 0; i < PayloadMaxEntries; i++) {
        const uint8_t *at = bytes + 24 + static_cast<size_t>(i) * PayloadEntrySize;
        PayloadEntry *entry = &header->entries[i];
        entry->dataOffset = SignedWordAt(at);
        entry->storedSize = SignedWordAt(at + 4);
        CopyField(entry->name, at + 8, PayloadNameSize);
        CopyField(entry->packedExtension, at + 41, PayloadPackedExtensionSize);
        CopyField(entry->outputExtension, at + 45, PayloadOutputExtensionSize);
    }
}

void StorePayloadHeader(const PayloadHeader *header, uint8_t *bytes) {
    CopyField(bytes, header->magic, 4);
    PutWord(bytes + 4, header->contentOffset);
    PutWord(bytes + 8, header->reserved[0]);
    PutWord(bytes + 12, header->reserved[1]);
    PutWord(bytes + 16, header->entryCount);
    PutWord(bytes + 20, header->tempEntryCount);
    for (int i = 0; i < PayloadMaxEntries; i++) {
        uint8_t *at = bytes + 24 + static_cast<size_t>(i) * PayloadEntrySize;
        const PayloadEntry *entry = &header->entries[i];
        PutWord(at, entry->dataOffset);
        PutWord(at + 4, entry->storedSize);
        CopyField(at + 8, entry->name, PayloadNameSize);
        CopyField(at + 41, entry->packedExtension, PayloadPackedExtensionSize);
        CopyField(at + 45, entry->outputExtension, PayloadOutputExtensionSize);
    }
}

bool HasPayloadMagic(const PayloadHeader *header) {
    for (int i = 0; i < 4; i++) {
        if (header->magic[i] != PayloadMagic[i]) {
            return false;
        }
    }
    return true;
}

bool PayloadCountsValid(const PayloadHeader *header) {
    return header->entryCount >= 0 && header->entryCount <= PayloadMaxEntries &&
           header->tempEntryCount >= 0 && header->tempEntryCount <= header->entryCount;
}

int32_t ExeFolderEntryCount(const PayloadHeader *header) {
    return header->entryCount - header->tempEntryCount;
}

static bool FieldTerminated(const char *field, size_t size) {
    for (size_t i = 0; i < size; i++) {
        if (field[i] == '\0') {
            return true;
        }
    }
    return false;
}

bool EntryTextFieldsTerminated(const PayloadEntry *entry) {
    return FieldTerminated(entry->name, PayloadNameSize) &&
           FieldTerminated(entry->packedExtension, PayloadPackedExtensionSize) &&
           FieldTerminated(entry->outputExtension, PayloadOutputExtensionSize);
}

bool IsStoredEntry(const PayloadEntry *entry) {
    // Both fields are compared within the shorter one's bounds; the byte at
    // which the packed extension's field ends counts as a terminator.
    for (int i = 0; i < PayloadPackedExtensionSize; i++) {
        if (entry->packedExtension[i] != entry->outputExtension[i]) {
            return false;
        }
        if (entry->packedExtension[i] == '\0') {
            return true;
        }
    }
    return entry->outputExtension[PayloadPackedExtensionSize] == '\0';
}

bool PayloadEntrySpan(const PayloadEntry *entry, uint32_t payloadEnd, uint32_t *start,
                      uint32_t *size) {
    bool toEnd = entry->storedSize <= 0 && IsStoredEntry(entry);
    int64_t end = toEnd ? payloadEnd : static_cast<int64_t>(entry->dataOffset) + entry->storedSize;
    if (entry->dataOffset < 0 || entry->dataOffset > end || end > payloadEnd) {
        return false;
    }
    *start = static_cast<uint32_t>(entry->dataOffset);
    *size = static_cast<uint32_t>(end - entry->dataOffset);
    return true;
}

bool FindPayloadContent(const PayloadHeader *header, uint32_t headerOffset, uint32_t payloadEnd,
                        uint32_t *start, uint32_t *size) {
    uint32_t trailerStart = payloadEnd - PayloadTrailerSize;
    if (payloadEnd < PayloadTrailerSize || header->contentOffset < 0 ||
        static_cast<uint32_t>(header->contentOffset) > trailerStart) {
        return false;
    }
    uint32_t from = static_cast<uint32_t>(header->contentOffset);
    uint32_t end = trailerStart;
    if (headerOffset >= from && headerOffset < end) {
        end = headerOffset;
    }
    for (int32_t i = 0; i < header->entryCount; i++) {
        uint32_t data = 0;
        uint32_t dataSize = 0;
        if (PayloadEntrySpan(&header->entries[i], payloadEnd, &data, &dataSize) && data >= from &&
            data < end) {
            end = data;
        }
    }
    *start = from;
    *size = end - from;
    return true;
}

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A component of dots and blanks only: Windows drops trailing dots and
// blanks, so ". ." or "..." can end up meaning "." or "..".
static bool IsDotComponent(const char *start, const char *end) {
    if (start == end) {
        return false;
    }
    for (const char *at = start; at != end; at++) {
        if (*at != '.' && *at != ' ') {
            return false;
        }
    }
    return true;
}

static char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The base name, case ignored, equals the device name, whose '#' stands for
// a digit 1-9 or a superscript 1, 2 or 3 (bytes 0xB9, 0xB2, 0xB3).
static bool BaseNamesDevice(const char *start, const char *end, const char *device) {
    for (const char *at = start; at != end; at++, device++) {
        if (*device == '#') {
            unsigned char digit = static_cast<unsigned char>(*at);
            if ((digit < '1' || digit > '9') && digit != 0xB9 && digit != 0xB2 && digit != 0xB3) {
                return false;
            }
        } else if (AsciiLower(*at) != *device) {
            return false;
        }
    }
    return *device == '\0';
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (also with a superscript digit),
// CONIN$, CONOUT$ or CLOCK$, case ignored, with any extension or trailing
// blanks: Windows opens the device, not a file.
static bool IsDeviceComponent(const char *start, const char *end) {
    static const char Devices[][8] = {"con",  "prn",    "aux",     "nul",   "com#",
                                      "lpt#", "conin$", "conout$", "clock$"};
    const char *baseEnd = start;
    while (baseEnd != end && *baseEnd != '.') {
        baseEnd++;
    }
    while (baseEnd != start && baseEnd[-1] == ' ') {
        baseEnd--;
    }
    for (const char *device : Devices) {
        if (BaseNamesDevice(start, baseEnd, device)) {
            return true;
        }
    }
    return false;
}

// True when test holds for some component (text between separators).
static bool AnyComponent(const char *fileName, bool (*test)(const char *, const char *)) {
    const char *componentStart = fileName;
    for (const char *at = fileName;; at++) {
        if (*at == '\0' || IsSeparator(*at)) {
            if (test(componentStart, at)) {
                return true;
            }
            if (*at == '\0') {
                return false;
            }
            componentStart = at + 1;
        }
    }
}

bool FileNameNamesDevice(const char *fileName) {
    return AnyComponent(fileName, IsDeviceComponent);
}

static bool FileNameIsSafe(const char *fileName) {
    if (fileName[0] == '\0' || IsSeparator(fileName[0])) {
        return false;
    }
    for (const char *at = fileName; *at != '\0'; at++) {
        if (*at == ':') {
            return false;
        }
    }
    return !AnyComponent(fileName, IsDotComponent);
}

// name + "." + extension into dest; false when it does not fit.
static bool ComposeFileName(char *dest, size_t destSize, const char *name, const char *extension) {
    size_t nameLength = TextLength(name);
    size_t extensionLength = TextLength(extension);
    if (nameLength + 1 + extensionLength + 1 > destSize) {
        return false;
    }
    CopyField(dest, name, nameLength);
    dest[nameLength] = '.';
    CopyField(dest + nameLength + 1, extension, extensionLength + 1);
    return true;
}

bool EntryFileNameIsSafe(const char *name, const char *extension) {
    char fileName[PayloadNameSize + PayloadOutputExtensionSize + 1];
    if (!ComposeFileName(fileName, sizeof fileName, name, extension)) {
        return false;
    }
    return FileNameIsSafe(fileName) && !FileNameNamesDevice(fileName);
}

bool ComposeEntryPath(char *dest, size_t destSize, const char *folder, const PayloadEntry *entry,
                      LeadByteTest isLeadByte) {
    if (!EntryTextFieldsTerminated(entry) ||
        !EntryFileNameIsSafe(entry->name, entry->outputExtension)) {
        return false;
    }
    char fileName[PayloadNameSize + PayloadOutputExtensionSize + 1];
    if (!ComposeFileName(fileName, sizeof fileName, entry->name, entry->outputExtension)) {
        return false;
    }
    // The folder is empty or ends with '\', so JoinPath adds no separator.
    return JoinPath(dest, destSize, folder, fileName, isLeadByte) != nullptr;
}

bool FindCertificateTable(const PayloadByteReader *reader, uint32_t fileSize,
                          uint32_t *tableStart) {
    uint32_t tableOffset;
    uint32_t tableSize;
    if (!ReadPeSecurityDirectory(reader, &tableOffset, &tableSize) || tableSize == 0 ||
        tableOffset > fileSize || fileSize - tableOffset != tableSize) {
        return false;
    }
    *tableStart = tableOffset;
    return true;
}

// A trailer ending at end leads to a header with the magic.
static bool TrailerEndsAt(const PayloadByteReader *reader, uint32_t end) {
    PayloadHeader header;
    return ReadPayloadHeaderFrom(reader, end, &header, nullptr) && HasPayloadMagic(&header);
}

uint32_t FindPayloadEnd(const PayloadByteReader *reader, uint32_t fileSize) {
    uint32_t tableStart;
    if (!FindCertificateTable(reader, fileSize, &tableStart)) {
        return fileSize;
    }
    // Signing tools pad the file with zeros to a multiple of 8 before they
    // append the table, so a builder that does not align its output leaves
    // 1 to 7 zero bytes between its trailer and the table.
    uint8_t before[MaxSigningPadding];
    uint32_t available = sizeof before;
    if (tableStart < available) {
        available = tableStart;
    }
    if (!reader->ReadAt(reader, tableStart - available, before, available)) {
        available = 0;
    }
    for (uint32_t back = 0; back <= available; back++) {
        if (back > 0 && before[available - back] != 0) {
            break;
        }
        if (TrailerEndsAt(reader, tableStart - back)) {
            return tableStart - back;
        }
    }
    return tableStart;
}

bool ReadPayloadHeaderFrom(const PayloadByteReader *reader, uint32_t payloadEnd,
                           PayloadHeader *header, int32_t *headerOffset) {
    uint8_t trailer[PayloadTrailerSize];
    if (payloadEnd < PayloadTrailerSize ||
        !reader->ReadAt(reader, payloadEnd - PayloadTrailerSize, trailer, sizeof trailer)) {
        return false;
    }
    int32_t offset = SignedWordAt(trailer);
    if (headerOffset != nullptr) {
        *headerOffset = offset;
    }
    uint8_t bytes[PayloadHeaderSize];
    if (offset < 0 || !reader->ReadAt(reader, static_cast<uint32_t>(offset), bytes, sizeof bytes)) {
        return false;
    }
    ParsePayloadHeader(bytes, header);
    return true;
}
