// Unpacking a presentation into a folder for `lumpack extract`: the files
// the launcher would write, and the content, all or nothing. Host only.
#pragma once

#include <string>
#include <vector>

#include "presentation_reader.h"

// The exe-folder group goes straight into the folder, the temporary group
// into its TempFolder subfolder (the launcher's run folder has a random
// name), the content into a file named content and, when every entry is
// extracted, the launcher image into one named launcher and the build
// manifest into manifest.json (or where the request says). An entry whose
// file would land on one of these fails the extraction.
extern const char ExtractTempFolderName[];
extern const char ExtractContentFileName[];
extern const char ExtractLauncherFileName[];
extern const char ExtractManifestFileName[];

struct ExtractRequest {
    std::string sourcePath;  // the presentation itself: never overwritten
    std::string folder;      // created, parents included, when missing
    bool force = false;      // replace existing files
    // Only the entries whose file names (NAME.EXT, as lumpack list shows
    // them; ASCII case ignored, as on Windows) are given; none: every entry
    // and the content. A name that matches no entry fails the extraction.
    std::vector<std::string> names;
    // With every entry: where the build manifest goes, and whether it names
    // the files relative to its own folder (it lies in the folder) or by
    // their absolute paths. Empty: no manifest.
    std::string manifest;
    bool manifestRelative = true;
};

// The entry whose file name is name (see ExtractRequest::names). False, with
// *error, when none is, or when entries of both groups are.
bool FindEntryNamed(const Presentation &presentation, const std::string &name, size_t *index,
                    std::string *error);

// Writes all files beside their final names, streaming each entry's bytes
// (decoded a chunk at a time) and the content through the reader, then
// renames them into place. Refuses, before writing anything, an unsafe or
// unterminated name, two entries landing on one file, an existing file
// (unless force), anything in the way that is a folder or a link, and the
// presentation itself as a target. Entries are read only while written, so
// callers verify the presentation first; a damaged entry or a failed read
// or write still fails the whole extraction. On failure everything it
// created is removed again. *written gets the paths written, in order.
bool ExtractPresentation(const PayloadByteReader *reader, const Presentation &presentation,
                         const ExtractRequest &request, std::vector<std::string> *written,
                         std::string *error);
