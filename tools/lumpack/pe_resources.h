// A launcher image's own icon and version information: putting a
// presentation's icon (from an .ico file) and version texts into the image
// before the payload is appended, and reading them back from a presentation
// for `lumpack list`. Every other resource stays as it was, byte for byte.
// Portable: no <windows.h>.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "resource_tree.h"
#include "version_resource.h"

struct ResourceChanges {
    std::vector<uint8_t> iconFile;              // an .ico file's bytes; empty: keep the icon
    std::vector<VersionString> versionStrings;  // empty: keep the version resource
};

// The image with changes made, in *out. Returns "" on success, else why not
// (a sentence naming the part at fault; *out is then unusable):
// - icon: the first icon group (type 14, the one Explorer shows) is
//   replaced, keeping its name and language, by a group of every image of
//   the .ico, each a new icon (type 3) with the lowest free number from 1
//   and the group's language; icons only the old group used are removed.
//   Without an icon group, group 1 is added, language neutral. Errors about
//   the file start "icon file: " (see ParseIconFile).
// - version: the first version resource (type 16) is replaced whole by one
//   holding exactly the strings given (see BuildVersionResource), keeping its
//   number and language, its translation's language kept for the string
//   table (default 0x0409, code page 1200); other version resources are
//   removed, so that none of the launcher's own texts stays. Without one,
//   version 1 is added, language neutral. Errors about the strings are
//   VersionStringProblem's.
// The resource section is rewritten in place; the base relocation section
// after it moves if needed (any other section after it, data after the last
// section, a signed image, an image without resources or whose resource
// directory does not start a section is refused: messages start "launcher
// image "). Section sizes, SizeOfImage, SizeOfInitializedData, the resource
// and base relocation directories and, where it was set, the checksum are
// updated.
std::string RewriteImageResources(const std::vector<uint8_t> &image, const ResourceChanges &changes,
                                  std::vector<uint8_t> *out);

// One image of an icon group, as the group lists it.
struct ResourceIcon {
    uint32_t id;  // its icon resource's number
    int width;    // pixels (a group's 0 read as 256)
    int height;
    uint16_t bitCount;  // from the group, or from the image where the group gives 0
    bool png;
    std::vector<uint8_t> data;  // the icon resource's bytes
};

struct ImageResources {
    bool hasIconGroup = false;
    ResourceId iconGroupName;
    ResourceId iconGroupLanguage;
    std::vector<ResourceIcon> icons;  // in the group's order
    bool hasVersion = false;
    VersionInfo version;
};

// Reads the first icon group with its icons and the first version resource
// from an image, or a presentation (image and payload) of fileSize bytes.
// An image without resources gives an empty record. False, with *error
// saying what is damaged, when the headers, the tree, the group, an icon it
// names or the version block cannot be read; everything is bounds-checked.
bool ReadImageResources(const PayloadByteReader *reader, uint64_t fileSize, ImageResources *out,
                        std::string *error);
