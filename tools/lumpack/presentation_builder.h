// Building a presentation executable in memory: the launcher image, the
// payload header right after it, the content right after the header, then
// the entries' bytes, padding to a multiple of 8 bytes (so that signing adds
// none) and the trailer. Portable; shared by `lumpack build` and the tests.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "lzari/lzari_encoder.h"
#include "payload/payload_format.h"

enum class EntryGroup { ExeFolder, TempFolder };

// The largest presentation its signed 32-bit offsets can describe.
const uint64_t MaxPresentationSize = 0x7FFFFFFF;

struct BuildEntry {
    std::string name;             // file name without extension, at most 32 characters
    std::string outputExtension;  // at most 6 characters
    bool compressed = false;
    // Only for compressed entries; empty: derived from outputExtension (see
    // PackedExtensionFor). Must differ from outputExtension.
    std::string packedExtension;
    EntryGroup group = EntryGroup::ExeFolder;
    std::vector<uint8_t> data;  // the file's own bytes
    // Compressed even where the stream would not be 1% smaller than the
    // file (see StreamIsWorthIt); otherwise such an entry is stored.
    bool keepStream = false;
    // For a presentation written a piece at a time (lumpack build): the file
    // the bytes come from instead, and its size; data stays empty.
    std::string sourcePath{};
    uint64_t sourceSize = 0;
};

// The file the launcher writes for the entry: name and extension joined by
// '.', the name alone without an extension.
std::string BuildEntryFileName(const BuildEntry &entry);

// The entry's size, from data or from its source file.
uint64_t EntrySize(const BuildEntry &entry);

struct BuildRequest {
    std::vector<uint8_t> launcherImage;
    std::vector<uint8_t> content;
    std::string contentPath{};  // as BuildEntry::sourcePath: the content from a file
    uint64_t contentSize = 0;
    std::vector<BuildEntry> entries;  // in any group order; see BuildPresentation
    int32_t reserved[2] = {0, 0};
    // How messages name each entry, in request order ("entries[0]"), and
    // what a message that starts with one names first ("show.json"); empty:
    // "entry N", numbered as in the file.
    std::vector<std::string> entryLabels;
    std::string entryLabelSource;
    LzariParse parse = LzariParse::Optimal;  // how compressed entries are coded
};

// Why image cannot serve as a presentation's launcher, or "": it must be a
// complete PE executable image (no DLL, no section cut short), unsigned, and
// carry no payload yet. The text follows the image's name ("is a DLL, ...").
std::string LauncherImageProblem(const std::vector<uint8_t> &image);

// The least a presentation's parts add to its size, whatever compression
// achieves: the launcher image, the header, the content and the trailer,
// and per entry its bytes, or for a compressed one (and an empty stored one,
// written as an empty stream) just the stream's length field. This bounds
// a build before anything is read or compressed.
uint64_t SmallestPresentationSize(uint64_t launcherSize, uint64_t contentSize);
uint64_t SmallestEntrySize(bool compressed, uint64_t size);

// The classic packed extension: the output extension's first two characters
// and '_' ("dll" gives "dl_", "x" gives "x_", "" gives "_"). When that would
// equal the output extension ("dl_"), the first character and "__" is tried,
// then "___" and "__": the first that differs is used.
std::string PackedExtensionFor(const std::string &outputExtension);

// A stream of streamSize bytes for a file of fileSize is worth its decoding
// at every start: at least 1% smaller than the file.
inline bool StreamIsWorthIt(uint64_t streamSize, uint64_t fileSize) {
    return streamSize * 100 <= fileSize * 99;
}

// A compressed entry may be stored instead: it has bytes, and an extension
// that fits the packed extension's field (a stored entry's two extensions
// are equal).
bool EntryCanBeStored(const BuildEntry &entry);

// Progress of the compression of one entry: entry index, bytes done, total.
typedef void (*BuildProgress)(void *context, size_t entryIndex, size_t done, size_t total);

// Lays out the presentation. Entries of the exe-folder group come first in
// the header and the temporary group last, each group in request order. An
// empty file asked to be stored is written as an empty compressed stream:
// a stored size of 0 would mean "everything up to the payload's end".
// False, with *error saying what and which entry (numbered from 1 in request
// order), for anything the launcher could not unpack as meant: more than five
// entries; a name over 32 or an extension over 6 characters; a NUL, a
// non-ASCII byte or a character Windows forbids in a name or extension; a
// name that would leave its folder or names a device; a packed extension
// over 3 characters, equal to the output extension, or given for a stored
// entry; two entries writing the same file (ASCII case ignored) in the same
// group; a launcher image that is signed or already carries a payload; or a
// file that would not fit the 32-bit signed offsets. (Whether the image is
// an executable at all is LauncherImageProblem's to say.)
// The content's size, from content or from contentPath.
uint64_t ContentSize(const BuildRequest &request);

// BuildPresentation's refusal of request without compressing anything, or
// "" when it gets as far as compressing.
std::string BuildRequestProblem(const BuildRequest &request);

// One entry as the file lays it out, in header order.
struct LaidOutEntry {
    size_t requestIndex;
    std::string packedExtension;
    bool stored;                      // its bytes as they are, else a stream
    uint64_t size;                    // the bytes it takes in the file
    std::vector<uint8_t> compressed;  // BuildPresentation's stream, for compressed entries
};

// The pieces BuildPresentation is made of, for a writer that streams the
// entries from their files: the checks and the entries in header order
// (stored ones with their sizes; a compressed one's size and a stream that
// did not pay are the writer's to settle, as CompressEntries does), the
// header once every size is known (*dataEnd: where the last entry ends),
// the zero bytes before the trailer, and why a file of size bytes is too
// large ("" when it is not).
bool PlanPresentation(const BuildRequest &request, std::vector<LaidOutEntry> *entries,
                      std::string *error);
PayloadHeader MakePayloadHeader(const BuildRequest &request,
                                const std::vector<LaidOutEntry> &entries, uint64_t *dataEnd);
uint64_t TrailerPadding(uint64_t dataEnd);
std::string PresentationTooLarge(uint64_t size);

//
// A compressed entry whose stream is not worth it (StreamIsWorthIt) is
// stored instead when it can be (EntryCanBeStored) and keepStream is not
// set; *storedInstead, when given, gets the request indices of those.
bool BuildPresentation(const BuildRequest &request, std::vector<uint8_t> *output,
                       std::string *error, BuildProgress progress = nullptr,
                       void *progressContext = nullptr,
                       std::vector<size_t> *storedInstead = nullptr);
