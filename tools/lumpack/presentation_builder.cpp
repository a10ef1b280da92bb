// Building a presentation executable in memory: checking each entry against
// what the launcher can unpack, compressing, and laying out header, content,
// entries, padding and trailer.
#include "presentation_builder.h"

#include <string.h>

#include "common/byte_order.h"
#include "display_text.h"
#include "file_name_rules.h"
#include "lzari/lzari_encoder.h"
#include "payload/pe_image.h"
#include "presentation_reader.h"

namespace {

// Every offset in the header is a signed 32-bit file position, so the whole
// file, the trailer's end included, has to stay within that range.

// Signing tools pad the file to this before the certificate table; ending
// the payload on such a boundary keeps the trailer the last thing before it.
const uint64_t PresentationAlignment = 8;

std::string OutputName(const BuildEntry &entry) {
    return entry.name + "." + entry.outputExtension;
}

// As lumpack list shows it: no trailing dot without an extension.
std::string DisplayName(const BuildEntry &entry) {
    return PrintableText(BuildEntryFileName(entry));
}

// The entry's number in the file, from 1: the exe-folder group first, then
// the temporary group, each in request order (see LayOutEntries).
size_t FileNumber(const std::vector<BuildEntry> &entries, size_t index) {
    size_t before = 0;
    for (size_t i = 0; i < entries.size(); i++) {
        bool sameGroup = entries[i].group == entries[index].group;
        bool earlierGroup = entries[i].group == EntryGroup::ExeFolder &&
                            entries[index].group == EntryGroup::TempFolder;
        if ((sameGroup && i < index) || earlierGroup) {
            before++;
        }
    }
    return before + 1;
}

// "entry 2 (lumv.dll)", numbered as in the file, or as the request names it.
std::string EntryName(const BuildRequest &request, size_t index) {
    if (index < request.entryLabels.size()) {
        return request.entryLabels[index] + " (" + DisplayName(request.entries[index]) + ")";
    }
    return "entry " + std::to_string(FileNumber(request.entries, index)) + " (" +
           DisplayName(request.entries[index]) + ")";
}

// Why text cannot be part of an entry's file name, or "" when it can. The
// launcher writes names as single-byte text in the system's code page, so
// only ASCII means the same file on every machine.
std::string TextProblem(const std::string &text, const char *what) {
    for (unsigned char c : text) {
        if (c == 0) {
            return std::string(what) + " holds a NUL byte";
        }
        if (c >= 0x80) {
            return std::string(what) + " holds the non-ASCII byte " +
                   PrintableText(std::string(1, static_cast<char>(c))) +
                   "; names are single-byte text in the system's code page, so only ASCII is "
                   "portable";
        }
    }
    char forbidden = ForbiddenFileNameCharacter(text);
    if (forbidden != 0) {
        return std::string(what) + " holds '" + PrintableText(std::string(1, forbidden)) +
               "', which Windows does not allow in file names";
    }
    return "";
}

// Why the entry's output file name is unusable, or "".
std::string NameProblem(const BuildEntry &entry) {
    if (entry.name.size() > PayloadNameSize - 1) {
        return "name is " + std::to_string(entry.name.size()) + " characters long, at most " +
               std::to_string(PayloadNameSize - 1) + " fit";
    }
    if (entry.outputExtension.size() > PayloadOutputExtensionSize - 1) {
        return "extension is " + std::to_string(entry.outputExtension.size()) +
               " characters long, at most " + std::to_string(PayloadOutputExtensionSize - 1) +
               " fit";
    }
    std::string problem = TextProblem(entry.name, "name");
    if (problem.empty()) {
        problem = TextProblem(entry.outputExtension, "extension");
    }
    if (!problem.empty()) {
        return problem;
    }
    if (NamesADevice(OutputName(entry))) {
        return "the name is a Windows device name (CON, NUL, COM1 and the like)";
    }
    if (!EntryFileNameIsSafe(entry.name.c_str(), entry.outputExtension.c_str())) {
        return "the file would be written outside its folder (a leading separator, a ':', or a "
               "part made only of dots and blanks such as \"..\")";
    }
    if (OutputName(entry).find_first_of("\\/") != std::string::npos) {
        return "the file name holds a path separator; the launcher writes every entry straight "
               "into its folder and makes no sub-folders, so it could not create the file: give "
               "a plain file name (--as NAME.EXT)";
    }
    return "";
}

// The packed extension a compressed entry gets, or why it cannot have one.
std::string PackedExtensionProblem(const BuildEntry &entry, std::string *packed) {
    if (!entry.compressed) {
        *packed = entry.outputExtension;
        if (!entry.packedExtension.empty() && entry.packedExtension != entry.outputExtension) {
            return "a packed extension is only for compressed entries";
        }
        // A stored entry's extension doubles as its packed one, whose field
        // holds 3 characters: the launcher refuses the longer, unterminated.
        return entry.outputExtension.size() > PayloadPackedExtensionSize - 1 && EntrySize(entry) > 0
                   ? "extension \"" + PrintableText(entry.outputExtension) +
                         "\" is too long for a stored entry: its packed extension, which holds "
                         "at most 3 characters, must equal it, so the launcher could not unpack "
                         "it; compress the entry (--compress) or give it an extension of at "
                         "most 3 characters"
                   : "";
    }
    *packed = entry.packedExtension.empty() ? PackedExtensionFor(entry.outputExtension)
                                            : entry.packedExtension;
    if (packed->size() > PayloadPackedExtensionSize - 1) {
        return "packed extension \"" + PrintableText(*packed) + "\" is longer than " +
               std::to_string(PayloadPackedExtensionSize - 1) + " characters";
    }
    std::string problem = TextProblem(*packed, "packed extension");
    if (problem.empty() && packed->find_first_of("\\/.") != std::string::npos) {
        problem = "packed extension holds a '.' or a path separator";
    }
    if (!problem.empty()) {
        return problem;
    }
    if (*packed == entry.outputExtension) {
        return "packed extension \"" + PrintableText(*packed) +
               "\" equals the output extension, which marks an entry as stored";
    }
    return "";
}

// The launcher would write both into one folder, the later replacing the
// earlier; Windows tells names apart without regard to case or trailing dots
// and blanks.
std::string DuplicateProblem(const BuildRequest &request, size_t index) {
    const std::vector<BuildEntry> &entries = request.entries;
    for (size_t other = 0; other < index; other++) {
        if (entries[other].group == entries[index].group &&
            FileNameKey(OutputName(entries[other])) == FileNameKey(OutputName(entries[index]))) {
            return "writes the same file as " + EntryName(request, other) + " in the same folder";
        }
    }
    return "";
}

// Why image is no complete PE executable, or "".
std::string PeProblem(const std::vector<uint8_t> &image) {
    MemoryByteReader file = MakeMemoryByteReader(image.data(), image.size());
    PeLayout layout;
    switch (ReadPeLayout(&file.reader, &layout)) {
    case PeNotMz:
        return "is not a Windows executable (it does not start with \"MZ\")";
    case PeNoPeSignature:
        return "is not a PE image (no \"PE\" signature where its DOS header points)";
    case PeLayoutFound:
        break;
    }
    if ((layout.characteristics & PeCharacteristicsDll) != 0) {
        return "is a DLL, not an executable";
    }
    if ((layout.characteristics & PeCharacteristicsExecutable) == 0) {
        return "is not marked as an executable image (an object file?)";
    }
    uint64_t table = static_cast<uint64_t>(layout.optionalOffset) + layout.optionalSize;
    uint64_t headersEnd = table + static_cast<uint64_t>(layout.sectionCount) * PeSectionHeaderSize;
    uint32_t sizeOfHeaders = 0;
    if (headersEnd > image.size() ||
        (ReadPeOptionalWord(&file.reader, &layout, PeOptionalSizeOfHeaders, &sizeOfHeaders) &&
         sizeOfHeaders > image.size())) {
        return "is cut short inside its headers";
    }
    for (uint64_t i = 0; i < layout.sectionCount; i++) {
        const uint8_t *header = image.data() + table + i * PeSectionHeaderSize;
        uint64_t size = ReadLittleEndian32(header + PeSectionRawSize);
        uint64_t end = ReadLittleEndian32(header + PeSectionRawSize + 4) + size;
        if (size > 0 && end > image.size()) {
            return "is cut short: section " + std::to_string(i + 1) + " needs " +
                   std::to_string(end) + " bytes, the file has " + std::to_string(image.size());
        }
    }
    return "";
}

// A launcher image must be bare: a payload already appended would end up
// nested and ignored, and data appended after a signature voids it.
std::string BareImageProblem(const std::vector<uint8_t> &image) {
    if (image.size() > MaxPresentationSize) {
        return "is larger than 2 GiB";
    }
    MemoryByteReader file = MakeMemoryByteReader(image.data(), image.size());
    uint32_t size = static_cast<uint32_t>(image.size());
    uint32_t tableStart = 0;
    if (FindCertificateTable(&file.reader, size, &tableStart)) {
        return "is signed (it ends with a certificate table); build from the unsigned image and "
               "sign the presentation instead";
    }
    PayloadHeader header;
    int32_t headerOffset = 0;
    if (ReadPayloadHeaderFrom(&file.reader, size, &header, &headerOffset) &&
        HasPayloadMagic(&header)) {
        return "already carries a presentation payload (header at " + std::to_string(headerOffset) +
               "); build from the bare launcher";
    }
    return "";
}

}  // namespace

std::string LauncherImageProblem(const std::vector<uint8_t> &image) {
    std::string problem = PeProblem(image);
    return problem.empty() ? BareImageProblem(image) : problem;
}

namespace {

// Checks everything that does not need compression and fills the packed
// extensions. False with *error naming the entry.
bool CheckRequest(const BuildRequest &request, std::vector<std::string> *packed,
                  std::string *error) {
    if (request.entries.size() > PayloadMaxEntries) {
        *error = std::to_string(request.entries.size()) + " entries given, at most " +
                 std::to_string(PayloadMaxEntries) + " fit in the header";
        return false;
    }
    std::string problem = BareImageProblem(request.launcherImage);
    if (!problem.empty()) {
        *error = "launcher image " + problem;
        return false;
    }
    packed->resize(request.entries.size());
    for (size_t i = 0; i < request.entries.size(); i++) {
        const BuildEntry &entry = request.entries[i];
        problem = NameProblem(entry);
        if (problem.empty()) {
            problem = PackedExtensionProblem(entry, &(*packed)[i]);
        }
        if (problem.empty()) {
            problem = DuplicateProblem(request, i);
        }
        if (problem.empty() && entry.compressed && EntrySize(entry) > LzariMaxStreamLength) {
            problem = "larger than the 4 GiB - 1 bytes a compressed stream can describe";
        }
        if (!problem.empty()) {
            bool labelled = i < request.entryLabels.size() && !request.entryLabelSource.empty();
            *error = (labelled ? request.entryLabelSource + ": " : "") + EntryName(request, i) +
                     ": " + problem;
            return false;
        }
    }
    return true;
}

// The size the file would at least have, checked before the (possibly
// long) compression.
uint64_t SmallestFileSize(const BuildRequest &request) {
    uint64_t size = SmallestPresentationSize(request.launcherImage.size(), ContentSize(request));
    for (const BuildEntry &entry : request.entries) {
        size += SmallestEntrySize(entry.compressed, EntrySize(entry));
    }
    return size;
}

std::string TooLargeMessage(uint64_t size, const char *bound) {
    return std::string("the presentation would be ") + bound + std::to_string(size) +
           " bytes; its offsets are signed 32-bit numbers, so at most " +
           std::to_string(MaxPresentationSize) + " bytes are possible";
}

struct ProgressRelay {
    BuildProgress progress;
    void *context;
    size_t entryIndex;
};

void RelayProgress(void *context, size_t done, size_t total) {
    ProgressRelay *relay = static_cast<ProgressRelay *>(context);
    relay->progress(relay->context, relay->entryIndex, done, total);
}

// Compresses the planned entries that are not stored; one whose stream does
// not pay is stored instead where it can be.
void CompressEntries(const BuildRequest &request, std::vector<LaidOutEntry> *entries,
                     BuildProgress progress, void *progressContext,
                     std::vector<size_t> *storedInstead) {
    for (LaidOutEntry &out : *entries) {
        const BuildEntry &entry = request.entries[out.requestIndex];
        if (out.stored) {
            continue;
        }
        ProgressRelay relay = {progress, progressContext, out.requestIndex};
        out.compressed =
            LzariCompress(entry.data.data(), entry.data.size(),
                          progress != nullptr ? RelayProgress : nullptr, &relay, request.parse);
        out.size = out.compressed.size();
        if (!entry.keepStream && EntryCanBeStored(entry) &&
            !StreamIsWorthIt(out.compressed.size(), entry.data.size())) {
            out.compressed.clear();
            out.stored = true;
            out.size = entry.data.size();
            out.packedExtension = entry.outputExtension;
            if (storedInstead != nullptr) {
                storedInstead->push_back(out.requestIndex);
            }
        }
    }
}

void Append(std::vector<uint8_t> *output, const std::vector<uint8_t> &bytes) {
    output->insert(output->end(), bytes.begin(), bytes.end());
}

// Image, header, content, entries, padding, trailer.
void Assemble(const BuildRequest &request, const std::vector<LaidOutEntry> &entries,
              const PayloadHeader &header, uint64_t padding, std::vector<uint8_t> *output) {
    uint32_t headerOffset = static_cast<uint32_t>(request.launcherImage.size());
    output->clear();
    Append(output, request.launcherImage);
    output->resize(output->size() + PayloadHeaderSize);
    StorePayloadHeader(&header, output->data() + headerOffset);
    Append(output, request.content);
    for (const LaidOutEntry &entry : entries) {
        Append(output, entry.stored ? request.entries[entry.requestIndex].data : entry.compressed);
    }
    output->resize(output->size() + padding + PayloadTrailerSize, 0);
    WriteLittleEndian32(output->data() + output->size() - PayloadTrailerSize, headerOffset);
}

}  // namespace

uint64_t SmallestPresentationSize(uint64_t launcherSize, uint64_t contentSize) {
    return launcherSize + PayloadHeaderSize + contentSize + PayloadTrailerSize;
}

uint64_t SmallestEntrySize(bool compressed, uint64_t size) {
    return compressed || size == 0 ? LzariLengthFieldSize : size;
}

std::string BuildEntryFileName(const BuildEntry &entry) {
    return entry.outputExtension.empty() ? entry.name : OutputName(entry);
}

uint64_t EntrySize(const BuildEntry &entry) {
    return entry.sourcePath.empty() ? entry.data.size() : entry.sourceSize;
}

uint64_t ContentSize(const BuildRequest &request) {
    return request.contentPath.empty() ? request.content.size() : request.contentSize;
}

bool EntryCanBeStored(const BuildEntry &entry) {
    return EntrySize(entry) > 0 && entry.outputExtension.size() < PayloadPackedExtensionSize;
}

std::string PackedExtensionFor(const std::string &outputExtension) {
    std::string firstTwo = outputExtension.substr(0, 2);
    std::string firstOne = outputExtension.substr(0, 1);
    for (const std::string &candidate :
         {firstTwo + "_", firstOne + "__", std::string("___"), std::string("__")}) {
        if (candidate != outputExtension) {
            return candidate;
        }
    }
    return "_";  // not reached: "___" and "__" cannot both equal it
}

std::string BuildRequestProblem(const BuildRequest &request) {
    std::vector<LaidOutEntry> entries;
    std::string error;
    return PlanPresentation(request, &entries, &error) ? "" : error;
}

bool PlanPresentation(const BuildRequest &request, std::vector<LaidOutEntry> *entries,
                      std::string *error) {
    std::vector<std::string> packed;
    if (!CheckRequest(request, &packed, error)) {
        return false;
    }
    uint64_t smallest = SmallestFileSize(request);
    if (smallest > MaxPresentationSize) {
        *error = TooLargeMessage(smallest, "at least ");
        return false;
    }
    // Header order: the exe-folder group, then the temporary group, each in
    // request order. An empty stored file is written as an empty stream,
    // since a stored size of 0 would mean "everything up to the payload's end".
    entries->clear();
    for (EntryGroup group : {EntryGroup::ExeFolder, EntryGroup::TempFolder}) {
        for (size_t i = 0; i < request.entries.size(); i++) {
            const BuildEntry &entry = request.entries[i];
            if (entry.group != group) {
                continue;
            }
            LaidOutEntry out;
            out.requestIndex = i;
            out.stored = !entry.compressed && EntrySize(entry) > 0;
            out.packedExtension = out.stored || entry.compressed
                                      ? packed[i]
                                      : PackedExtensionFor(entry.outputExtension);
            out.size = out.stored ? EntrySize(entry) : 0;
            entries->push_back(std::move(out));
        }
    }
    return true;
}

// The record is zeroed beforehand and every text checked to leave room for
// its terminator, so the zero after the text is already in place.
static void CopyField(char *field, const std::string &text) {
    memcpy(field, text.data(), text.size());  // NOLINT(bugprone-not-null-terminated-result)
}

PayloadHeader MakePayloadHeader(const BuildRequest &request,
                                const std::vector<LaidOutEntry> &entries, uint64_t *dataEnd) {
    uint64_t headerOffset = request.launcherImage.size();
    uint64_t at = headerOffset + PayloadHeaderSize + ContentSize(request);
    PayloadHeader header;
    memset(&header, 0, sizeof header);
    memcpy(header.magic, "10VL", 4);
    header.contentOffset = static_cast<int32_t>(headerOffset + PayloadHeaderSize);
    header.reserved[0] = request.reserved[0];
    header.reserved[1] = request.reserved[1];
    header.entryCount = static_cast<int32_t>(entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        const BuildEntry &entry = request.entries[entries[i].requestIndex];
        uint64_t size = entries[i].size;
        if (entry.group == EntryGroup::TempFolder) {
            header.tempEntryCount++;
        }
        PayloadEntry *record = &header.entries[i];
        record->dataOffset = static_cast<int32_t>(at < MaxPresentationSize ? at : 0);
        record->storedSize = static_cast<int32_t>(size < MaxPresentationSize ? size : 0);
        CopyField(record->name, entry.name);
        CopyField(record->packedExtension, entries[i].packedExtension);
        CopyField(record->outputExtension, entry.outputExtension);
        at += size;
    }
    *dataEnd = at;
    return header;
}

uint64_t TrailerPadding(uint64_t dataEnd) {
    uint64_t unaligned = (dataEnd + PayloadTrailerSize) % PresentationAlignment;
    return (PresentationAlignment - unaligned) % PresentationAlignment;
}

std::string PresentationTooLarge(uint64_t size) {
    return size > MaxPresentationSize ? TooLargeMessage(size, "") : "";
}

bool BuildPresentation(const BuildRequest &request, std::vector<uint8_t> *output,
                       std::string *error, BuildProgress progress, void *progressContext,
                       std::vector<size_t> *storedInstead) {
    std::vector<LaidOutEntry> entries;
    if (!PlanPresentation(request, &entries, error)) {
        return false;
    }
    CompressEntries(request, &entries, progress, progressContext, storedInstead);
    uint64_t dataEnd = 0;
    PayloadHeader header = MakePayloadHeader(request, entries, &dataEnd);
    uint64_t padding = TrailerPadding(dataEnd);
    *error = PresentationTooLarge(dataEnd + padding + PayloadTrailerSize);
    if (!error->empty()) {
        return false;
    }
    Assemble(request, entries, header, padding, output);
    return true;
}
