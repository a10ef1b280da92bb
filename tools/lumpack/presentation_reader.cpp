// Reading, checking and unpacking a presentation executable a span at a time.
#include "presentation_reader.h"

#include <string.h>

#include "common/byte_order.h"
#include "display_text.h"
#include "file_name_rules.h"
#include "lzari/lzari_decoder.h"

namespace {

// The largest file the reader takes: its offsets are 32-bit.
const uint64_t MaxReadableFileSize = 0xFFFFFFFFu;

bool ReadMemoryAt(const PayloadByteReader *reader, uint32_t offset, void *buffer, uint32_t size) {
    const MemoryByteReader *file = reinterpret_cast<const MemoryByteReader *>(reader);
    if (offset > file->size || size > file->size - offset) {
        return false;
    }
    memcpy(buffer, file->data + offset, size);
    return true;
}

std::string FieldText(const char *field, size_t size) {
    size_t length = 0;
    while (length < size && field[length] != '\0') {
        length++;
    }
    return std::string(field, length);
}

std::string Number(int64_t value) {
    return std::to_string(value);
}

std::string ReadFailure(uint32_t offset, uint32_t size) {
    return "could not read " + Number(size) + " bytes at " + Number(offset) +
           " (the file changed while being read, or a read failed)";
}

// Why the trailer leads to no usable header, or "".
std::string LocateHeader(const PayloadByteReader *reader, Presentation *p) {
    uint32_t trailerStart = p->payloadEnd - PayloadTrailerSize;
    uint8_t trailer[PayloadTrailerSize];
    if (!reader->ReadAt(reader, trailerStart, trailer, PayloadTrailerSize)) {
        return ReadFailure(trailerStart, PayloadTrailerSize);
    }
    int32_t offset = static_cast<int32_t>(ReadLittleEndian32(trailer));
    if (offset < 0) {
        return "no presentation payload: the trailer holds a negative header offset (" +
               Number(offset) + ")";
    }
    uint64_t headerEnd = static_cast<uint64_t>(offset) + PayloadHeaderSize;
    if (headerEnd > trailerStart) {
        return "no presentation payload: the trailer points to a header at " + Number(offset) +
               ", but its " + Number(PayloadHeaderSize) + " bytes would run past the trailer at " +
               Number(trailerStart);
    }
    p->headerOffset = static_cast<uint32_t>(offset);
    uint8_t header[PayloadHeaderSize];
    if (!reader->ReadAt(reader, p->headerOffset, header, PayloadHeaderSize)) {
        return ReadFailure(p->headerOffset, PayloadHeaderSize);
    }
    ParsePayloadHeader(header, &p->header);
    if (!HasPayloadMagic(&p->header)) {
        return "no presentation payload: the header at " + Number(offset) + " starts with \"" +
               PrintableText(std::string(p->header.magic, 4)) + "\", not \"10VL\"";
    }
    return "";
}

std::string CountsProblem(const PayloadHeader &header) {
    if (header.entryCount < 0 || header.entryCount > PayloadMaxEntries) {
        return "entry count " + Number(header.entryCount) + " is out of range (0 to " +
               Number(PayloadMaxEntries) + ")";
    }
    if (header.tempEntryCount < 0 || header.tempEntryCount > header.entryCount) {
        return "temporary entry count " + Number(header.tempEntryCount) +
               " is out of range (0 to the entry count, " + Number(header.entryCount) + ")";
    }
    return "";
}

EntryInfo DescribeEntry(const PayloadByteReader *reader, const Presentation &p, int slot) {
    const PayloadEntry &record = p.header.entries[slot];
    EntryInfo entry = EntryInfo();
    entry.slot = slot;
    entry.tempGroup = slot >= ExeFolderEntryCount(&p.header);
    entry.terminated = EntryTextFieldsTerminated(&record);
    entry.stored = IsStoredEntry(&record);
    entry.name = FieldText(record.name, PayloadNameSize);
    entry.packedExtension = FieldText(record.packedExtension, PayloadPackedExtensionSize);
    entry.outputExtension = FieldText(record.outputExtension, PayloadOutputExtensionSize);
    entry.dataOffset = record.dataOffset;
    entry.storedSize = record.storedSize;
    entry.spanInside = PayloadEntrySpan(&record, p.payloadEnd, &entry.spanStart, &entry.spanSize);
    if (!entry.spanInside) {
        return entry;
    }
    if (entry.stored) {
        entry.decodedSizeKnown = true;
        entry.decodedSize = entry.spanSize;
    } else if (entry.spanSize >= 4) {
        uint8_t length[4];
        entry.decodedSizeKnown = reader->ReadAt(reader, entry.spanStart, length, 4);
        entry.decodedSize = entry.decodedSizeKnown ? ReadLittleEndian32(length) : 0;
    }
    return entry;
}

// How much of size bytes the next chunk takes.
uint32_t NextChunk(uint32_t size) {
    return size < static_cast<uint32_t>(PresentationChunkSize)
               ? size
               : static_cast<uint32_t>(PresentationChunkSize);
}

// A stream's span, read through the reader a chunk at a time, and where its
// decoded bytes go.
struct StreamSpan {
    const PayloadByteReader *reader;
    uint32_t next;        // where the next chunk starts
    uint32_t left;        // span bytes not read yet
    uint32_t failedSize;  // not 0: reading that much at next failed
    ByteSink sink;        // null: only count
    void *context;
    uint64_t written;
    bool writeFailed;
    std::string error;
};

size_t ReadSpan(void *context, uint8_t *buffer, size_t size) {
    StreamSpan *span = static_cast<StreamSpan *>(context);
    uint32_t chunk = NextChunk(span->left < size ? span->left : static_cast<uint32_t>(size));
    if (chunk == 0 || span->failedSize > 0) {
        return 0;
    }
    if (!span->reader->ReadAt(span->reader, span->next, buffer, chunk)) {
        span->failedSize = chunk;
        return 0;
    }
    span->next += chunk;
    span->left -= chunk;
    return chunk;
}

bool WriteDecoded(void *context, const uint8_t *data, size_t size) {
    StreamSpan *span = static_cast<StreamSpan *>(context);
    span->written += size;
    if (span->sink != nullptr && !span->sink(span->context, data, size, &span->error)) {
        span->writeFailed = true;
        return false;
    }
    return true;
}

bool AppendTo(void *context, const uint8_t *bytes, size_t size, std::string *) {
    std::vector<uint8_t> *out = static_cast<std::vector<uint8_t> *>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

// Hands size bytes at start to sink, a chunk at a time.
bool CopySpan(const PayloadByteReader *reader, uint32_t start, uint32_t size, ByteSink sink,
              void *context, std::string *error) {
    std::vector<uint8_t> buffer(NextChunk(size));
    while (size > 0) {
        uint32_t chunk = NextChunk(size);
        if (!reader->ReadAt(reader, start, buffer.data(), chunk)) {
            *error = ReadFailure(start, chunk);
            return false;
        }
        if (!sink(context, buffer.data(), chunk, error)) {
            return false;
        }
        start += chunk;
        size -= chunk;
    }
    return true;
}

void Add(std::vector<Finding> *findings, Severity severity, const std::string &message) {
    findings->push_back(Finding{severity, message});
}

std::string UnterminatedFields(const PayloadEntry &record) {
    std::string fields;
    const char *names[] = {"name", "packed extension", "output extension"};
    const char *starts[] = {record.name, record.packedExtension, record.outputExtension};
    const size_t sizes[] = {PayloadNameSize, PayloadPackedExtensionSize,
                            PayloadOutputExtensionSize};
    for (int i = 0; i < 3; i++) {
        if (memchr(starts[i], 0, sizes[i]) == nullptr) {
            fields += std::string(fields.empty() ? "" : ", ") + names[i];
        }
    }
    return fields;
}

// Why the entry's bytes cannot be read as the launcher reads them, or "".
std::string SpanProblem(const Presentation &p, const EntryInfo &entry) {
    if (entry.dataOffset < 0) {
        return "its data offset is negative (" + Number(entry.dataOffset) + ")";
    }
    if (static_cast<uint32_t>(entry.dataOffset) > p.payloadEnd) {
        return "its data offset " + Number(entry.dataOffset) + " lies past the payload's end at " +
               Number(p.payloadEnd);
    }
    if (!entry.stored && entry.storedSize < 4) {
        return "its compressed stream is " + Number(entry.storedSize) +
               " bytes long, too short for the stream's 4-byte length";
    }
    if (!entry.spanInside) {
        return "its " + Number(entry.storedSize) + " bytes at " + Number(entry.dataOffset) +
               " run to " + Number(static_cast<int64_t>(entry.dataOffset) + entry.storedSize) +
               ", past the payload's end at " + Number(p.payloadEnd);
    }
    return "";
}

// The name must keep the file in its folder and be one Windows can create.
void CheckEntryName(const EntryInfo &entry, std::vector<Finding> *findings) {
    std::string fileName = EntryFileName(entry);
    if (NamesADevice(fileName)) {
        Add(findings, Severity::Fault,
            EntryLabel(entry) +
                ": its file name is a Windows device name (CON, NUL, COM1 and the like); the "
                "launcher refuses to write to a device");
    } else if (!EntryFileNameIsSafe(entry.name.c_str(), entry.outputExtension.c_str())) {
        Add(findings, Severity::Fault,
            EntryLabel(entry) +
                ": its file name would leave the destination folder (a leading separator, a "
                "':', or a part made only of dots and blanks)");
    } else if (fileName.find_first_of("\\/") != std::string::npos) {
        Add(findings, Severity::Fault,
            EntryLabel(entry) +
                ": its file name holds a path separator; the launcher makes no sub-folders, so "
                "it cannot create the file");
    }
    char forbidden = ForbiddenFileNameCharacter(fileName);
    if (forbidden != 0) {
        Add(findings, Severity::Fault,
            EntryLabel(entry) + ": its file name holds '" +
                PrintableText(std::string(1, forbidden)) +
                "', which Windows does not allow: the launcher cannot create it");
    }
}

void CheckEntry(const PayloadByteReader *reader, const Presentation &p, const EntryInfo &entry,
                std::vector<Finding> *findings) {
    if (!entry.terminated) {
        Add(findings, Severity::Fault,
            EntryLabel(entry) + ": no terminator in its " +
                UnterminatedFields(p.header.entries[entry.slot]) + " field");
        return;
    }
    CheckEntryName(entry, findings);
    std::string problem = SpanProblem(p, entry);
    if (problem.empty() && entry.stored && entry.storedSize < 0) {
        // The launcher reads any size below 1 as "up to the payload's end",
        // but a builder writes 0 for that; a negative size is a damaged one.
        problem = "its stored size is negative (" + Number(entry.storedSize) +
                  "); only 0 stands for the bytes up to the payload's end";
    }
    if (problem.empty() && !entry.stored) {
        problem = CheckLzariStream(reader, entry.spanStart, entry.spanSize, nullptr, nullptr);
    }
    if (!problem.empty()) {
        Add(findings, Severity::Fault, EntryLabel(entry) + ": " + problem);
    }
}

// The launcher writes both, the later replacing the earlier.
void CheckDuplicates(const Presentation &p, std::vector<Finding> *findings) {
    for (size_t i = 0; i < p.entries.size(); i++) {
        for (size_t j = i + 1; j < p.entries.size(); j++) {
            const EntryInfo &a = p.entries[i];
            const EntryInfo &b = p.entries[j];
            if (a.terminated && b.terminated && a.tempGroup == b.tempGroup &&
                FileNameKey(EntryFileName(a)) == FileNameKey(EntryFileName(b))) {
                Add(findings, Severity::Warning,
                    EntryLabel(b) + " writes the same file as " + EntryLabel(a) +
                        (a.tempGroup ? " in the temporary folder" : " beside the executable") +
                        " and replaces it");
            }
        }
    }
}

bool Overlap(uint32_t aStart, uint32_t aSize, uint32_t bStart, uint32_t bSize) {
    return aSize > 0 && bSize > 0 && aStart < bStart + static_cast<uint64_t>(bSize) &&
           bStart < aStart + static_cast<uint64_t>(aSize);
}

// Shared bytes unpack fine - each entry is read on its own - but no builder
// of ours lays entries out that way, so they are worth a look.
void CheckOverlaps(const Presentation &p, std::vector<Finding> *findings) {
    for (size_t i = 0; i < p.entries.size(); i++) {
        const EntryInfo &a = p.entries[i];
        if (!a.spanInside) {
            continue;
        }
        if (Overlap(a.spanStart, a.spanSize, p.headerOffset, PayloadHeaderSize)) {
            Add(findings, Severity::Warning, EntryLabel(a) + ": its bytes overlap the header");
        }
        for (size_t j = i + 1; j < p.entries.size(); j++) {
            const EntryInfo &b = p.entries[j];
            if (b.spanInside && Overlap(a.spanStart, a.spanSize, b.spanStart, b.spanSize)) {
                Add(findings, Severity::Warning,
                    EntryLabel(a) + " and " + EntryLabel(b) + " share bytes");
            }
        }
    }
}

}  // namespace

MemoryByteReader MakeMemoryByteReader(const uint8_t *data, size_t size) {
    MemoryByteReader reader = {{ReadMemoryAt}, data, size};
    return reader;
}

std::string EntryFileName(const EntryInfo &entry) {
    // The launcher writes "name." for an empty extension, which Windows
    // stores as "name".
    return entry.outputExtension.empty() ? entry.name : entry.name + "." + entry.outputExtension;
}

std::string EntryLabel(const EntryInfo &entry) {
    std::string label = "entry " + Number(entry.slot + 1);
    if (entry.terminated) {
        label += " (" + PrintableText(EntryFileName(entry)) + ")";
    }
    return label;
}

bool OpenPresentation(const PayloadByteReader *reader, uint64_t size, Presentation *out,
                      std::string *error) {
    *out = Presentation();
    out->size = size;
    if (size > MaxReadableFileSize) {
        *error = "is " + Number(static_cast<int64_t>(size)) +
                 " bytes, larger than the 4 GiB - 1 bytes a presentation's 32-bit offsets reach";
        return false;
    }
    uint32_t fileSize = static_cast<uint32_t>(size);
    out->tableStart = fileSize;
    out->isSigned = FindCertificateTable(reader, fileSize, &out->tableStart);
    out->payloadEnd = FindPayloadEnd(reader, fileSize);
    if (out->payloadEnd < PayloadTrailerSize) {
        *error = "no presentation payload: " + Number(out->payloadEnd) + " bytes" +
                 (out->isSigned ? " before the certificate table" : "") +
                 ", too short for the 4-byte trailer";
        return false;
    }
    *error = LocateHeader(reader, out);
    if (error->empty()) {
        *error = CountsProblem(out->header);
    }
    if (!error->empty()) {
        return false;
    }
    for (int slot = 0; slot < out->header.entryCount; slot++) {
        out->entries.push_back(DescribeEntry(reader, *out, slot));
    }
    uint32_t contentStart = 0;  // the header's content offset
    out->contentInside = FindPayloadContent(&out->header, out->headerOffset, out->payloadEnd,
                                            &contentStart, &out->contentSize);
    return true;
}

bool OpenPresentation(const uint8_t *data, size_t size, Presentation *out, std::string *error) {
    MemoryByteReader file = MakeMemoryByteReader(data, size);
    return OpenPresentation(&file.reader, size, out, error);
}

std::string CheckLzariStream(const PayloadByteReader *reader, uint32_t start, uint32_t size,
                             ByteSink sink, void *context) {
    if (size < 4) {
        return "its compressed stream is " + Number(size) +
               " bytes long, too short for the stream's 4-byte length";
    }
    uint8_t length[4];
    if (!reader->ReadAt(reader, start, length, 4)) {
        return ReadFailure(start, 4);
    }
    uint32_t declared = ReadLittleEndian32(length);
    if (!LzariLengthPlausible(declared, size)) {
        uint64_t limit = static_cast<uint64_t>(size) * LzariMaxDecodedPerStoredByte;
        return "its stream declares " + Number(declared) + " decoded bytes, more than " +
               Number(size) + " stored bytes can code (at most " + Number(limit) +
               "): the length field is damaged";
    }
    // Aligned for pointers, as the decoder requires.
    std::vector<void *> workArea(LzariWorkAreaSize / sizeof(void *) + 1);
    StreamSpan span = {reader, start, size, 0, sink, context, 0, false, ""};
    LzariStreamIo io = {ReadSpan, WriteDecoded, &span};
    LzariDecodeTally tally = {0, 0};
    LzariDecodeBlocks(workArea.data(), &io, &tally);
    if (span.writeFailed) {
        return span.error;
    }
    if (span.failedSize > 0) {
        return ReadFailure(span.next, span.failedSize);
    }
    if (tally.readsPastEnd > LzariMaxOverRead) {
        return "decoding its stream reads past its " + Number(size) +
               " stored bytes further than a correct stream does (at most " +
               Number(LzariMaxOverRead) + " bytes): the stream is cut short or damaged";
    }
    if (!LzariStreamEndsRight(size, tally.bytesUsed + tally.readsPastEnd)) {
        uint64_t unread = size - tally.bytesUsed;
        return Number(static_cast<int64_t>(unread > 0 ? unread : 1)) +
               " or more bytes follow the coded data: junk was appended, or the length field "
               "is damaged";
    }
    if (span.written != declared) {
        return "its stream decoded to " + Number(static_cast<int64_t>(span.written)) +
               " bytes, not the declared " + Number(declared);
    }
    return "";
}

std::string CheckLzariStream(const uint8_t *stream, uint32_t size, std::vector<uint8_t> *out) {
    MemoryByteReader memory = MakeMemoryByteReader(stream, size);
    if (out != nullptr) {
        out->clear();
    }
    return CheckLzariStream(&memory.reader, 0, size, out != nullptr ? AppendTo : nullptr, out);
}

const char UncheckedBytesNote[] =
    "stored entries and the content carry no checksum, so a changed byte in them cannot be "
    "detected; compressed streams are only checked to decode to their declared length";

bool VerifyPresentation(const PayloadByteReader *reader, uint64_t size,
                        std::vector<Finding> *findings) {
    findings->clear();
    Presentation p;
    std::string error;
    if (!OpenPresentation(reader, size, &p, &error)) {
        Add(findings, Severity::Fault, error);
        return false;
    }
    if (!p.contentInside) {
        Add(findings, Severity::Fault,
            "the content offset " + Number(p.header.contentOffset) +
                " lies outside the payload (0 to the trailer at " +
                Number(p.payloadEnd - PayloadTrailerSize) + ")");
    } else if (static_cast<uint32_t>(p.header.contentOffset) < p.headerOffset) {
        Add(findings, Severity::Fault,
            "the content offset " + Number(p.header.contentOffset) +
                " lies inside the launcher image, before the payload's header at " +
                Number(p.headerOffset));
    }
    for (const EntryInfo &entry : p.entries) {
        CheckEntry(reader, p, entry, findings);
    }
    CheckDuplicates(p, findings);
    CheckOverlaps(p, findings);
    for (const Finding &finding : *findings) {
        if (finding.severity == Severity::Fault) {
            return false;
        }
    }
    return true;
}

bool VerifyPresentation(const uint8_t *data, size_t size, std::vector<Finding> *findings) {
    MemoryByteReader file = MakeMemoryByteReader(data, size);
    return VerifyPresentation(&file.reader, size, findings);
}

bool CopyEntryData(const PayloadByteReader *reader, const Presentation &presentation, size_t index,
                   ByteSink sink, void *context, std::string *error) {
    const EntryInfo &entry = presentation.entries.at(index);
    std::string problem = SpanProblem(presentation, entry);
    if (problem.empty() && entry.stored) {
        if (CopySpan(reader, entry.spanStart, entry.spanSize, sink, context, &problem)) {
            return true;
        }
    } else if (problem.empty()) {
        problem = CheckLzariStream(reader, entry.spanStart, entry.spanSize, sink, context);
    }
    if (!problem.empty()) {
        *error = EntryLabel(entry) + ": " + problem;
        return false;
    }
    return true;
}

bool CopyContent(const PayloadByteReader *reader, const Presentation &presentation, ByteSink sink,
                 void *context, std::string *error) {
    if (!presentation.contentInside ||
        CopySpan(reader, static_cast<uint32_t>(presentation.header.contentOffset),
                 presentation.contentSize, sink, context, error)) {
        return true;
    }
    *error = "the content: " + *error;
    return false;
}

bool CopyLauncherImage(const PayloadByteReader *reader, const Presentation &presentation,
                       ByteSink sink, void *context, std::string *error) {
    if (CopySpan(reader, 0, presentation.headerOffset, sink, context, error)) {
        return true;
    }
    *error = "the launcher image: " + *error;
    return false;
}

bool ReadEntryData(const PayloadByteReader *reader, const Presentation &presentation, size_t index,
                   std::vector<uint8_t> *out, std::string *error) {
    out->clear();
    if (!CopyEntryData(reader, presentation, index, AppendTo, out, error)) {
        out->clear();
        return false;
    }
    return true;
}

bool ReadContent(const PayloadByteReader *reader, const Presentation &presentation,
                 std::vector<uint8_t> *out, std::string *error) {
    out->clear();
    if (!CopyContent(reader, presentation, AppendTo, out, error)) {
        out->clear();
        return false;
    }
    return true;
}
