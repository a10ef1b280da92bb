// Writing an extracted presentation's build manifest.
#include "extract_manifest.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "lzari/lzari_encoder.h"
#include "presentation_builder.h"
#include "presentation_extract.h"

namespace {

using Json = nlohmann::ordered_json;

// Build splits a file name at its last dot; a name with a dot of its own
// and no extension needs "as" with a trailing dot to stay whole.
bool NeedsAs(const EntryInfo &entry) {
    return entry.outputExtension.empty() && entry.name.find('.') != std::string::npos;
}

Json EntryObject(const EntryInfo &entry, const std::string &folder) {
    Json object;
    object["file"] = folder + (entry.tempGroup ? std::string(ExtractTempFolderName) + "/" : "") +
                     EntryFileName(entry);
    if (NeedsAs(entry)) {
        object["as"] = entry.name + ".";
    }
    if (!entry.stored) {
        // A stream that does not pay is kept only on request: say so again.
        bool kept = !StreamIsWorthIt(entry.spanSize, entry.decodedSize) && entry.decodedSize > 0;
        object["compress"] = kept ? Json("always") : Json(true);
        if (entry.packedExtension != PackedExtensionFor(entry.outputExtension)) {
            object["packed"] = entry.packedExtension;
        }
    }
    if (entry.tempGroup) {
        object["temp"] = true;
    }
    return object;
}

// How much of an entry is coded again to tell its parse, and how much of
// the stream's end is left out of the comparison.
const size_t ProbeSize = 1 << 20;
const size_t ProbeMargin = 4096;

struct Probe {
    std::vector<uint8_t> bytes;
    size_t limit;
};

bool CollectProbe(void *context, const uint8_t *bytes, size_t size, std::string *error) {
    Probe *probe = static_cast<Probe *>(context);
    size_t take = probe->limit - probe->bytes.size();
    probe->bytes.insert(probe->bytes.end(), bytes, bytes + (size < take ? size : take));
    if (probe->bytes.size() < probe->limit) {
        return true;
    }
    *error = "enough";  // stops the decoding
    return false;
}

enum class Coding { Unknown, Optimal, Greedy };

// Whether stream (the entry's, of size bytes at start) begins as coded would.
bool Begins(const PayloadByteReader *reader, const EntryInfo &entry, bool whole,
            const std::vector<uint8_t> &coded) {
    size_t compared = whole ? coded.size() : coded.size() - ProbeMargin;
    if ((whole && coded.size() != entry.spanSize) || compared > entry.spanSize) {
        return false;
    }
    std::vector<uint8_t> stored(compared);
    return reader->ReadAt(reader, entry.spanStart, stored.data(),
                          static_cast<uint32_t>(compared)) &&
           std::equal(stored.begin() + LzariLengthFieldSize, stored.end(),
                      coded.begin() + LzariLengthFieldSize);
}

Coding TellCoding(const PayloadByteReader *reader, const Presentation &p, size_t index) {
    const EntryInfo &entry = p.entries[index];
    if (entry.stored || !entry.spanInside || !entry.decodedSizeKnown || entry.decodedSize == 0) {
        return Coding::Unknown;
    }
    Probe probe;
    probe.limit =
        static_cast<size_t>(entry.decodedSize < ProbeSize ? entry.decodedSize : ProbeSize);
    std::string error;
    CopyEntryData(reader, p, index, CollectProbe, &probe, &error);
    if (probe.bytes.size() != probe.limit) {
        return Coding::Unknown;
    }
    bool whole = probe.limit == entry.decodedSize;
    for (LzariParse parse : {LzariParse::Optimal, LzariParse::Greedy}) {
        std::vector<uint8_t> coded =
            LzariCompress(probe.bytes.data(), probe.bytes.size(), nullptr, nullptr, parse);
        if (!whole && coded.size() <= ProbeMargin + LzariLengthFieldSize) {
            return Coding::Unknown;
        }
        if (Begins(reader, entry, whole, coded)) {
            return parse == LzariParse::Optimal ? Coding::Optimal : Coding::Greedy;
        }
    }
    return Coding::Unknown;
}

}  // namespace

bool BuiltWithGreedyParse(const PayloadByteReader *reader, const Presentation &presentation) {
    for (size_t i = 0; i < presentation.entries.size(); i++) {
        Coding coding = TellCoding(reader, presentation, i);
        if (coding != Coding::Unknown) {
            return coding == Coding::Greedy;
        }
    }
    return false;
}

std::string ExtractManifestText(const PayloadByteReader *reader, const Presentation &presentation,
                                const std::string &folder) {
    Json manifest;
    manifest["launcher"] = folder + ExtractLauncherFileName;
    manifest["content"] = folder + ExtractContentFileName;
    manifest["reserved"] = {presentation.header.reserved[0], presentation.header.reserved[1]};
    if (BuiltWithGreedyParse(reader, presentation)) {
        manifest["fast"] = true;
    }
    manifest["entries"] = Json::array();
    for (const EntryInfo &entry : presentation.entries) {
        manifest["entries"].push_back(EntryObject(entry, folder));
    }
    // Names outside UTF-8 (another builder's code page) cannot be spelt in
    // JSON; they become U+FFFD, and build then names the missing file.
    return manifest.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
