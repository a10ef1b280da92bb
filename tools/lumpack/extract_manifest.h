// The build manifest `lumpack extract` writes beside what it extracted, so
// that `lumpack build OUT --manifest FILE` makes the presentation again:
// the launcher image, the content, the reserved words and every entry with
// its options, in the file's order. Host and Windows tool only.
#pragma once

#include <string>

#include "presentation_reader.h"

// The manifest's JSON text for presentation extracted into a folder whose
// files the manifest names as folder + "launcher", folder + "content" and so
// on: folder is "" when the manifest lies in that folder itself (its paths
// then relative), else the folder's absolute path ending with '/'.
std::string ExtractManifestText(const Presentation &presentation, const std::string &folder);
