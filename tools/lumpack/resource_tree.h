// A PE image's resource tree - type, then name or number, then language,
// then the data - read from untrusted bytes into a flat list, and written
// back in the standard layout. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "pe_sections.h"

enum {
    ResourceTypeIcon = 3,
    ResourceTypeString = 6,
    ResourceTypeGroupIcon = 14,
    ResourceTypeVersion = 16,
    ResourceTypeManifest = 24
};

// A type, a name or a language: a number or a UTF-16 name.
struct ResourceId {
    bool named = false;
    uint32_t number = 0;
    std::u16string name;
};

ResourceId ResourceNumber(uint32_t number);
bool SameResourceId(const ResourceId &a, const ResourceId &b);
bool IsResourceNumber(const ResourceId &id, uint32_t number);
// "14", or the name in quotes, for messages.
std::string ResourceIdText(const ResourceId &id);

struct ResourceItem {
    ResourceId type;
    ResourceId name;
    ResourceId language;
    uint32_t codePage = 0;  // as the data entry gives it
    uint32_t dataRva = 0;   // where the data were found
    uint32_t dataSize = 0;
    std::vector<uint8_t> data;  // filled when read with the data, and for writing
};

struct ResourceTree {
    // The root directory's, given to every table written.
    uint32_t characteristics = 0;
    uint32_t timeDateStamp = 0;
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
    std::vector<ResourceItem> items;  // in the order of the tree
};

// Bounds against hostile trees whose directories share subdirectories.
enum { MaxResourceEntries = 65536 };

// Reads the tree whose root lies at directoryRva, all of whose tables and
// strings lie in the same section's raw data, three levels deep, each
// language entry a data entry. With withData, each item's data are read too
// (they must lie in some section's raw data, and add up to no more than the
// file). False, with *error saying where, for anything else, and for more
// than MaxResourceEntries entries in all.
bool ReadResourceTree(const PayloadByteReader *reader, uint64_t fileSize, const PeImageView &view,
                      uint32_t directoryRva, bool withData, ResourceTree *tree, std::string *error);

// The item's data from wherever the tree points (see ReadResourceTree).
bool ReadResourceData(const PayloadByteReader *reader, const PeImageView &view,
                      const ResourceItem &item, std::vector<uint8_t> *data, std::string *error);

// "type 14, name 1, language 0", for messages.
std::string ResourceItemText(const ResourceItem &item);

// The tree as a resource section's bytes for directoryRva: the directory
// tables (each its named entries first, by name, then its numbered ones in
// ascending order), the names, the data entries (RVAs absolute), then the
// data, each on an 8-byte boundary. Returns "" or why not: two items with the
// same type, name and language, or more than 2 GiB.
std::string SerializeResourceTree(const ResourceTree &tree, uint32_t directoryRva,
                                  std::vector<uint8_t> *bytes);
