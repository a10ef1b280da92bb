// Describing a presentation for `lumpack list`: a table for people and JSON
// for scripts. Formatting only; the reading is presentation_reader's.
#pragma once

#include <string>

#include "pe_resources.h"
#include "presentation_hashes.h"
#include "presentation_reader.h"

// The version of the JSON document's layout, raised when a field changes
// name or meaning (new fields do not raise it).
enum { ListingSchemaVersion = 1 };

struct ListingOptions {
    bool json = false;
    int codePage = 1252;              // what names are read in for JSON (see code_page_text.h)
    bool hashes = false;              // SHA-256 of every entry and of the content
    HashProgress progress = nullptr;  // while hashing
    void *progressContext = nullptr;
};

// The launcher image's icon and version texts, as read for the listing.
struct LauncherResources {
    bool known = false;  // read; when not, error says why
    std::string error;
    ImageResources resources;
};

// The listing options asks for, read through reader: the text or the JSON,
// with the hashes when asked. False, with *error, when options.codePage is
// not known or no hash can be computed at all.
bool ListPresentation(const PayloadByteReader *reader, const std::string &path,
                      const Presentation &presentation, const ListingOptions &options,
                      std::string *out, std::string *error);

// Header facts (offsets, signed or not, content, reserved words, counts,
// with resources the image's icon sizes and version texts), then one line
// per entry: number, group, file name, stored or compressed with its packed
// extension, stored size, decoded size, ratio. With hashes, a SHA-256 line
// per entry and one for the content follow.
std::string ListingText(const std::string &path, const Presentation &presentation,
                        const PresentationHashes *hashes = nullptr,
                        const LauncherResources *resources = nullptr);

// The same as one JSON document (UTF-8). Names and extensions are read in
// codePage, a known one; their bytes come along as hex. The fields are
// described in the README.
std::string ListingJson(const std::string &path, const Presentation &presentation,
                        int codePage = 1252, const PresentationHashes *hashes = nullptr,
                        const LauncherResources *resources = nullptr);
