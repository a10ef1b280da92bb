// Describing a presentation for `lumpack list`.
#include "presentation_listing.h"

#include <math.h>
#include <stdio.h>

#include <nlohmann/json.hpp>

#include "code_page_text.h"
#include "display_text.h"
#include "presentation_builder.h"

namespace {

// Keeps the fields in the order they are added, as the README lists them.
using Json = nlohmann::ordered_json;

std::string Number(uint64_t value) {
    return std::to_string(value);
}

std::string GroupName(const EntryInfo &entry) {
    return entry.tempGroup ? "temp" : "exe";
}

// Bytes the entry takes in the file, when they lie inside the payload.
std::string StoredText(const EntryInfo &entry) {
    return entry.spanInside ? Number(entry.spanSize) : "?";
}

bool AnyDamage(const Presentation &p) {
    for (const EntryInfo &entry : p.entries) {
        if (!entry.terminated || !entry.spanInside || !entry.decodedSizeKnown) {
            return true;
        }
    }
    return false;
}

// A compressed entry whose stream is not 1% smaller than its file: every
// start decodes it for (next to) nothing.
bool KnownRatio(const EntryInfo &entry) {
    return !entry.stored && entry.spanInside && entry.decodedSizeKnown && entry.decodedSize > 0;
}

bool StreamNotWorthIt(const EntryInfo &entry) {
    return KnownRatio(entry) && !StreamIsWorthIt(entry.spanSize, entry.decodedSize);
}

std::string NotWorthItText(const Presentation &p) {
    std::string numbers;
    int count = 0;
    for (const EntryInfo &entry : p.entries) {
        if (StreamNotWorthIt(entry)) {
            numbers += (numbers.empty() ? "" : ", ") + Number(entry.slot + 1);
            count++;
        }
    }
    if (count == 0) {
        return "";
    }
    return std::string("\nNot 1% smaller than ") + (count == 1 ? "its file" : "their files") +
           ", the stream" + (count == 1 ? " of entry " : "s of entries ") + numbers +
           (count == 1 ? " costs" : " cost") +
           " a decoding at every start for nothing; stored, it would start faster (build "
           "--compress stores such entries unless --compress=always).\n";
}

std::string RatioText(const EntryInfo &entry) {
    if (entry.stored || !entry.spanInside || !entry.decodedSizeKnown || entry.decodedSize == 0) {
        return "-";
    }
    char text[32];
    (void)snprintf(text, sizeof text, "%.1f%%", 100.0 * entry.spanSize / entry.decodedSize);
    return text;
}

std::string KindText(const EntryInfo &entry) {
    return entry.stored ? "stored" : "compressed ." + PrintableText(entry.packedExtension);
}

std::string Pad(const std::string &text, size_t width, bool right) {
    if (text.size() >= width) {
        return text;
    }
    std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

std::string EntryRow(const EntryInfo &entry) {
    return "  " + Pad(Number(entry.slot + 1), 2, true) + "  " + Pad(GroupName(entry), 5, false) +
           " " + Pad(PrintableText(EntryFileName(entry)), 40, false) + " " +
           Pad(KindText(entry), 16, false) + " " + Pad(StoredText(entry), 11, true) + " " +
           Pad(entry.decodedSizeKnown ? Number(entry.decodedSize) : "?", 11, true) + " " +
           Pad(RatioText(entry), 7, true) + "\n";
}

std::string ContentText(const Presentation &p) {
    std::string offset = std::to_string(p.header.contentOffset);
    return p.contentInside ? "at " + offset + ", " + Number(p.contentSize) + " bytes"
                           : "offset " + offset + ", outside the payload";
}

// A name field read in the code page, with its bytes as hex.
void AddText(Json *object, const char *key, const std::string &bytes, int codePage,
             bool *replaced) {
    DecodedText decoded = DecodeCodePage(codePage, bytes);
    (*object)[key] = decoded.utf8;
    (*object)[std::string(key) + "Hex"] = HexBytes(bytes);
    *replaced = *replaced || decoded.replaced;
}

Json NumberOrNull(bool known, uint64_t value) {
    return known ? Json(value) : Json(nullptr);
}

// Stored bytes per decoded byte, to four places.
Json JsonRatio(const EntryInfo &entry) {
    if (RatioText(entry) == "-") {
        return nullptr;
    }
    return std::round(10000.0 * entry.spanSize / entry.decodedSize) / 10000.0;
}

void AddHash(Json *object, const char *key, const ItemHash &hash) {
    (*object)[key] = hash.known ? Json(hash.hex) : Json(nullptr);
    if (!hash.known) {
        (*object)[std::string(key) + "Error"] = hash.error;
    }
}

Json JsonEntry(const EntryInfo &entry, int codePage, const ItemHash *hash) {
    Json object = Json::object();
    bool replaced = false;
    object["number"] = entry.slot + 1;
    object["group"] = GroupName(entry);
    AddText(&object, "name", entry.name, codePage, &replaced);
    AddText(&object, "extension", entry.outputExtension, codePage, &replaced);
    object["file"] = DecodeCodePage(codePage, EntryFileName(entry)).utf8;
    object["stored"] = entry.stored;
    AddText(&object, "packedExtension", entry.packedExtension, codePage, &replaced);
    object["textReplaced"] = replaced;
    object["terminated"] = entry.terminated;
    object["dataOffset"] = entry.dataOffset;
    object["storedSize"] = entry.storedSize;
    object["spanInside"] = entry.spanInside;
    object["bytes"] = NumberOrNull(entry.spanInside, entry.spanSize);
    object["decodedSize"] = NumberOrNull(entry.decodedSizeKnown, entry.decodedSize);
    object["ratio"] = JsonRatio(entry);
    object["worthCompressing"] = KnownRatio(entry) ? Json(!StreamNotWorthIt(entry)) : Json(nullptr);
    if (hash != nullptr) {
        AddHash(&object, "sha256", *hash);
    }
    return object;
}

std::string HashLine(const std::string &label, const ItemHash &hash, const std::string &what) {
    std::string line = "  " + Pad(label, 2, true) + "  " + (hash.known ? hash.hex : "?") + "  " +
                       PrintableText(what);
    return line + (hash.known ? "" : " (" + hash.error + ")") + "\n";
}

std::string HashesText(const Presentation &p, const PresentationHashes &hashes) {
    std::string text = "\nSHA-256 of the files the launcher writes:\n";
    for (size_t i = 0; i < p.entries.size() && i < hashes.entries.size(); i++) {
        text +=
            HashLine(Number(p.entries[i].slot + 1), hashes.entries[i], EntryFileName(p.entries[i]));
    }
    return text + HashLine("", hashes.content, "(content)");
}

std::string VersionText(const uint16_t parts[4]) {
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

// "32x32 8-bit" or "256x256 PNG".
std::string IconText(const ResourceIcon &icon) {
    return std::to_string(icon.width) + "x" + std::to_string(icon.height) + " " +
           (icon.png ? std::string("PNG") : std::to_string(icon.bitCount) + "-bit");
}

std::string ResourcesText(const LauncherResources &resources) {
    if (!resources.known) {
        return "  resources: damaged (" + PrintableText(resources.error) + ")\n";
    }
    const ImageResources &r = resources.resources;
    std::string icons;
    for (const ResourceIcon &icon : r.icons) {
        icons += (icons.empty() ? "" : ", ") + IconText(icon);
    }
    std::string text = "  icon:      " + (r.hasIconGroup ? icons : std::string("none")) + "\n";
    if (!r.hasVersion) {
        return text + "  version:   none\n";
    }
    text += "  version:   " + VersionText(r.version.fileVersion) + " (product " +
            VersionText(r.version.productVersion) + ")\n";
    for (const VersionString &string : r.version.strings) {
        // The texts are UTF-8, shown as they are; only control characters are escaped.
        std::string value;
        for (char c : string.value) {
            value += static_cast<unsigned char>(c) < 0x20 ? PrintableText(std::string(1, c))
                                                          : std::string(1, c);
        }
        text += "             " + PrintableText(string.key) + ": " + value + "\n";
    }
    return text;
}

void AddResources(Json *json, const LauncherResources &resources) {
    const ImageResources &r = resources.resources;
    if (!resources.known) {
        (*json)["icons"] = nullptr;
        (*json)["versionInfo"] = nullptr;
        (*json)["resourcesError"] = resources.error;
        return;
    }
    (*json)["icons"] = Json::array();
    for (const ResourceIcon &icon : r.icons) {
        (*json)["icons"].push_back({{"width", icon.width},
                                    {"height", icon.height},
                                    {"bitCount", icon.bitCount},
                                    {"png", icon.png},
                                    {"bytes", icon.data.size()}});
    }
    if (!r.hasVersion) {
        (*json)["versionInfo"] = nullptr;
        return;
    }
    Json strings = Json::object();
    for (const VersionString &string : r.version.strings) {
        strings[string.key] = string.value;
    }
    (*json)["versionInfo"] = {{"fileVersion", VersionText(r.version.fileVersion)},
                              {"productVersion", VersionText(r.version.productVersion)},
                              {"strings", strings}};
}

}  // namespace

bool ListPresentation(const PayloadByteReader *reader, const std::string &path,
                      const Presentation &presentation, const ListingOptions &options,
                      std::string *out, std::string *error) {
    if (!IsKnownCodePage(options.codePage)) {
        *error = "unknown code page " + std::to_string(options.codePage) +
                 " (known: " + KnownCodePagesText() + ")";
        return false;
    }
    PresentationHashes hashes;
    if (options.hashes && !HashPresentation(reader, presentation, &hashes, error, options.progress,
                                            options.progressContext)) {
        return false;
    }
    const PresentationHashes *given = options.hashes ? &hashes : nullptr;
    LauncherResources resources;
    resources.known =
        ReadImageResources(reader, presentation.size, &resources.resources, &resources.error);
    *out = options.json ? ListingJson(path, presentation, options.codePage, given, &resources)
                        : ListingText(path, presentation, given, &resources);
    return true;
}

std::string ListingText(const std::string &path, const Presentation &p,
                        const PresentationHashes *hashes, const LauncherResources *resources) {
    const PayloadHeader &h = p.header;
    std::string text = path + ": " + Number(p.size) + " bytes, ";
    if (!p.isSigned) {
        text += "not signed\n";
    } else if (p.payloadEnd == p.tableStart) {
        text += "signed (certificate table from " + Number(p.tableStart) + ")\n";
    } else {
        text += "signed (certificate table from " + Number(p.tableStart) + ", padded with " +
                Number(p.tableStart - p.payloadEnd) + " zero bytes before it)\n";
    }
    text += "  header:    at " + Number(p.headerOffset) + ", trailer at " +
            Number(p.payloadEnd - PayloadTrailerSize) + "\n";
    text += "  content:   " + ContentText(p) + "\n";
    text += "  reserved:  " + std::to_string(h.reserved[0]) + ", " + std::to_string(h.reserved[1]) +
            "\n";
    text += "  entries:   " + std::to_string(h.entryCount) + " (" +
            std::to_string(ExeFolderEntryCount(&h)) + " beside the executable, " +
            std::to_string(h.tempEntryCount) + " in the temporary folder)\n";
    if (resources != nullptr) {
        text += ResourcesText(*resources);
    }
    if (p.entries.empty()) {
        return hashes != nullptr ? text + HashesText(p, *hashes) : text;
    }
    text += "\n   #  group " + Pad("file", 40, false) + " " + Pad("kind", 16, false) + " " +
            Pad("stored", 11, true) + " " + Pad("decoded", 11, true) + " " + Pad("ratio", 7, true) +
            "\n";
    for (const EntryInfo &entry : p.entries) {
        text += EntryRow(entry);
    }
    text += NotWorthItText(p);
    if (AnyDamage(p)) {
        text += "\nSome entries are damaged (\"?\"); lumpack verify says why.\n";
    }
    return hashes != nullptr ? text + HashesText(p, *hashes) : text;
}

std::string ListingJson(const std::string &path, const Presentation &p, int codePage,
                        const PresentationHashes *hashes, const LauncherResources *resources) {
    const PayloadHeader &h = p.header;
    Json json = Json::object();
    json["schemaVersion"] = ListingSchemaVersion;
    json["file"] = path;
    json["codePage"] = codePage;
    json["size"] = p.size;
    json["signed"] = p.isSigned;
    json["payloadEnd"] = p.payloadEnd;
    json["headerOffset"] = p.headerOffset;
    json["contentOffset"] = h.contentOffset;
    json["contentSize"] = NumberOrNull(p.contentInside, p.contentSize);
    if (hashes != nullptr) {
        AddHash(&json, "contentSha256", hashes->content);
    }
    json["reserved"] = {h.reserved[0], h.reserved[1]};
    json["entryCount"] = h.entryCount;
    json["tempEntryCount"] = h.tempEntryCount;
    if (resources != nullptr) {
        AddResources(&json, *resources);
    }
    json["entries"] = Json::array();
    for (size_t i = 0; i < p.entries.size(); i++) {
        bool hashed = hashes != nullptr && i < hashes->entries.size();
        json["entries"].push_back(
            JsonEntry(p.entries[i], codePage, hashed ? &hashes->entries[i] : nullptr));
    }
    // A path that is not UTF-8 gets U+FFFD where it breaks; everything else
    // is UTF-8 already.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
