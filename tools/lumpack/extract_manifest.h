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
// "fast" is set when the streams are the greedy parse's (build --fast), as
// BuiltWithGreedyParse tells, so that a rebuild codes them alike.
std::string ExtractManifestText(const PayloadByteReader *reader, const Presentation &presentation,
                                const std::string &folder);

// Whether the presentation's compressed entries were coded with the greedy
// parse: the first entry whose coding can be told (its first MiB coded
// again both ways, compared with its stream short of the last 4 KiB, where
// coding a part and coding the whole differ) decides; false when none can.
bool BuiltWithGreedyParse(const PayloadByteReader *reader, const Presentation &presentation);
