// Writing an extracted presentation's build manifest.
#include "extract_manifest.h"

#include <nlohmann/json.hpp>

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

}  // namespace

std::string ExtractManifestText(const Presentation &presentation, const std::string &folder) {
    Json manifest;
    manifest["launcher"] = folder + ExtractLauncherFileName;
    manifest["content"] = folder + ExtractContentFileName;
    manifest["reserved"] = {presentation.header.reserved[0], presentation.header.reserved[1]};
    manifest["entries"] = Json::array();
    for (const EntryInfo &entry : presentation.entries) {
        manifest["entries"].push_back(EntryObject(entry, folder));
    }
    // Names outside UTF-8 (another builder's code page) cannot be spelt in
    // JSON; they become U+FFFD, and build then names the missing file.
    return manifest.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
