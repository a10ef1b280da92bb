// Replacing a launcher image's icon group and version resource, and reading
// them back.
#include "pe_resources.h"

#include <algorithm>

#include "common/byte_order.h"
#include "icon_file.h"
#include "presentation_reader.h"

namespace {

enum {
    GroupHeaderSize = 6,  // GRPICONDIR: reserved, type 1, count
    GroupEntrySize = 14,  // GRPICONDIRENTRY
    LargestIconId = 0xFFFF
};

const uint16_t LanguageNeutral = 0;

struct GroupEntry {
    uint8_t width;
    uint8_t height;
    uint8_t colorCount;
    uint8_t reserved;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t bytes;
    uint16_t id;
};

// The entries of an icon group's data. False when its header is no
// GRPICONDIR or the entries run past the data; the entries that fit are
// filled all the same.
bool ParseIconGroup(const std::vector<uint8_t> &data, std::vector<GroupEntry> *entries) {
    entries->clear();
    if (data.size() < GroupHeaderSize) {
        return false;
    }
    uint32_t count = ReadLittleEndian16(data.data() + 4);
    for (size_t i = 0; i < count && GroupHeaderSize + (i + 1) * GroupEntrySize <= data.size();
         i++) {
        const uint8_t *entry = data.data() + GroupHeaderSize + i * GroupEntrySize;
        entries->push_back({entry[0], entry[1], entry[2], entry[3], ReadLittleEndian16(entry + 4),
                            ReadLittleEndian16(entry + 6), ReadLittleEndian32(entry + 8),
                            ReadLittleEndian16(entry + 12)});
    }
    return ReadLittleEndian16(data.data()) == 0 && ReadLittleEndian16(data.data() + 2) == 1 &&
           entries->size() == count;
}

void AppendWord(std::vector<uint8_t> *bytes, uint16_t value) {
    bytes->push_back(static_cast<uint8_t>(value));
    bytes->push_back(static_cast<uint8_t>(value >> 8));
}

void AppendDword(std::vector<uint8_t> *bytes, uint32_t value) {
    AppendWord(bytes, static_cast<uint16_t>(value));
    AppendWord(bytes, static_cast<uint16_t>(value >> 16));
}

std::vector<uint8_t> MakeIconGroup(const std::vector<IconImage> &images,
                                   const std::vector<uint16_t> &ids) {
    std::vector<uint8_t> group;
    AppendWord(&group, 0);
    AppendWord(&group, 1);
    AppendWord(&group, static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); i++) {
        const IconImage &image = images[i];
        for (uint8_t byte : {image.width, image.height, image.colorCount, image.reserved}) {
            group.push_back(byte);
        }
        AppendWord(&group, image.planes);
        AppendWord(&group, image.bitCount);
        AppendDword(&group, static_cast<uint32_t>(image.data.size()));
        AppendWord(&group, ids[i]);
    }
    return group;
}

// The index of the first item of a type, in the tree's order, or -1.
int FindFirst(const ResourceTree &tree, uint32_t type) {
    for (size_t i = 0; i < tree.items.size(); i++) {
        if (IsResourceNumber(tree.items[i].type, type)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

ResourceItem MakeItem(uint32_t type, const ResourceId &name, const ResourceId &language,
                      uint32_t codePage, std::vector<uint8_t> data) {
    ResourceItem item;
    item.type = ResourceNumber(type);
    item.name = name;
    item.language = language;
    item.codePage = codePage;
    item.data = std::move(data);
    return item;
}

// The first icon group replaced by one of images, its icons added.
std::string ReplaceIcon(ResourceTree *tree, const std::vector<IconImage> &images) {
    ResourceId name = ResourceNumber(1);
    ResourceId language = ResourceNumber(LanguageNeutral);
    uint32_t codePage = 0;
    std::vector<GroupEntry> oldEntries;
    int group = FindFirst(*tree, ResourceTypeGroupIcon);
    if (group >= 0) {
        const ResourceItem &item = tree->items[group];
        name = item.name;
        language = item.language;
        codePage = item.codePage;
        ParseIconGroup(item.data, &oldEntries);
        tree->items.erase(tree->items.begin() + group);
    }
    std::vector<bool> stillUsed(LargestIconId + 1, false);
    for (const ResourceItem &item : tree->items) {
        std::vector<GroupEntry> entries;
        if (IsResourceNumber(item.type, ResourceTypeGroupIcon)) {
            ParseIconGroup(item.data, &entries);
        }
        for (const GroupEntry &entry : entries) {
            stillUsed[entry.id] = true;
        }
    }
    std::vector<bool> dropped(LargestIconId + 1, false);
    for (const GroupEntry &entry : oldEntries) {
        dropped[entry.id] = !stillUsed[entry.id];
    }
    std::vector<bool> taken(LargestIconId + 1, false);
    taken[0] = true;
    std::vector<ResourceItem> kept;
    for (ResourceItem &item : tree->items) {
        bool icon = IsResourceNumber(item.type, ResourceTypeIcon) && !item.name.named;
        if (icon && item.name.number <= LargestIconId && dropped[item.name.number]) {
            continue;
        }
        if (icon && item.name.number <= LargestIconId) {
            taken[item.name.number] = true;
        }
        kept.push_back(std::move(item));
    }
    tree->items = std::move(kept);

    std::vector<uint16_t> ids;
    uint32_t next = 1;
    for (const IconImage &image : images) {
        while (next <= LargestIconId && taken[next]) {
            next++;
        }
        if (next > LargestIconId) {
            return "has no free icon numbers left for " + std::to_string(images.size()) + " images";
        }
        taken[next] = true;
        ids.push_back(static_cast<uint16_t>(next));
        tree->items.push_back(
            MakeItem(ResourceTypeIcon, ResourceNumber(next), language, 0, image.data));
    }
    tree->items.push_back(
        MakeItem(ResourceTypeGroupIcon, name, language, codePage, MakeIconGroup(images, ids)));
    return "";
}

// Every version resource replaced by one of strings, at the first one's
// place and with its translation's language.
std::string ReplaceVersion(ResourceTree *tree, const std::vector<VersionString> &strings) {
    ResourceId name = ResourceNumber(1);
    ResourceId language = ResourceNumber(LanguageNeutral);
    uint32_t codePage = 0;
    uint16_t tableLanguage = VersionDefaultLanguage;
    int first = FindFirst(*tree, ResourceTypeVersion);
    if (first >= 0) {
        const ResourceItem &item = tree->items[first];
        name = item.name;
        language = item.language;
        codePage = item.codePage;
        VersionInfo info;
        std::string ignored;
        if (ParseVersionResource(item.data.data(), item.data.size(), &info, &ignored) &&
            info.hasTranslation) {
            tableLanguage = info.language;
        }
    }
    std::vector<uint8_t> block;
    std::string problem = BuildVersionResource(strings, tableLanguage, &block);
    if (!problem.empty()) {
        return problem;
    }
    tree->items.erase(std::remove_if(tree->items.begin(), tree->items.end(),
                                     [](const ResourceItem &item) {
                                         return IsResourceNumber(item.type, ResourceTypeVersion);
                                     }),
                      tree->items.end());
    tree->items.push_back(
        MakeItem(ResourceTypeVersion, name, language, codePage, std::move(block)));
    return "";
}

}  // namespace

std::string RewriteImageResources(const std::vector<uint8_t> &image, const ResourceChanges &changes,
                                  std::vector<uint8_t> *out) {
    out->clear();
    std::vector<IconImage> icons;
    if (!changes.iconFile.empty()) {
        std::string problem = ParseIconFile(changes.iconFile, &icons);
        if (!problem.empty()) {
            return "icon file: " + problem;
        }
    }
    std::string problem = VersionStringProblem(changes.versionStrings);
    if (!problem.empty()) {
        return problem;
    }
    if (icons.empty() && changes.versionStrings.empty()) {
        *out = image;
        return "";
    }
    if (image.size() > 0xFFFFFFFFu) {
        return "launcher image is larger than 4 GiB";
    }
    MemoryByteReader file = MakeMemoryByteReader(image.data(), image.size());
    PeImageView view;
    std::string error;
    if (!ReadPeImageView(&file.reader, image.size(), &view, &error)) {
        return "launcher image " + error;
    }
    uint32_t rva = 0;
    uint32_t size = 0;
    if (ReadPeDataDirectory(&file.reader, view, PeDirectorySecurity, &rva, &size) && size != 0) {
        return "launcher image is signed; change its resources before signing";
    }
    if (!ReadPeDataDirectory(&file.reader, view, PeDirectoryResource, &rva, &size) || rva == 0 ||
        size == 0) {
        return "launcher image has no resource section";
    }
    int section = FindPeSection(view, rva, size);
    if (section < 0) {
        return "launcher image's resource directory does not lie inside one section";
    }
    if (view.sections[section].virtualAddress != rva) {
        return "launcher image's resource directory does not start its section (" +
               view.sections[section].name + "), which may hold other data";
    }
    ResourceTree tree;
    if (!ReadResourceTree(&file.reader, image.size(), view, rva, true, &tree, &error)) {
        return "launcher image: " + error;
    }
    if (!icons.empty()) {
        problem = ReplaceIcon(&tree, icons);
        if (!problem.empty()) {
            return "launcher image " + problem;
        }
    }
    if (!changes.versionStrings.empty()) {
        problem = ReplaceVersion(&tree, changes.versionStrings);
        if (!problem.empty()) {
            return problem;
        }
    }
    std::vector<uint8_t> contents;
    problem = SerializeResourceTree(tree, rva, &contents);
    if (problem.empty()) {
        problem = ReplacePeSection(image, view, static_cast<size_t>(section), contents,
                                   PeDirectoryResource, out);
    }
    if (!problem.empty()) {
        out->clear();
        return "launcher image: " + problem;
    }
    WritePeDataDirectory(out, view, PeDirectoryResource, rva,
                         static_cast<uint32_t>(contents.size()));
    if (view.checksum != 0) {
        WritePeChecksum(out, view, PeChecksum(*out, view));
    }
    return "";
}

namespace {

// The icons of the group item, each from the icon resource it names
// (preferring the group's language).
bool ReadIconGroup(const PayloadByteReader *reader, uint64_t fileSize, const PeImageView &view,
                   const ResourceTree &tree, const ResourceItem &groupItem, ImageResources *out,
                   std::string *error) {
    std::vector<uint8_t> data;
    std::vector<GroupEntry> entries;
    if (!ReadResourceData(reader, view, groupItem, &data, error)) {
        return false;
    }
    if (!ParseIconGroup(data, &entries)) {
        *error = "the icon group (" + ResourceItemText(groupItem) +
                 ") is damaged: it is no icon directory or its entries run past its " +
                 std::to_string(data.size()) + " bytes";
        return false;
    }
    uint64_t total = 0;
    for (const GroupEntry &entry : entries) {
        const ResourceItem *icon = nullptr;
        for (const ResourceItem &item : tree.items) {
            if (IsResourceNumber(item.type, ResourceTypeIcon) &&
                IsResourceNumber(item.name, entry.id) &&
                (icon == nullptr || SameResourceId(item.language, groupItem.language))) {
                icon = &item;
            }
        }
        if (icon == nullptr) {
            *error = "the icon group names icon " + std::to_string(entry.id) +
                     ", which the image does not hold";
            return false;
        }
        total += icon->dataSize;
        if (total > fileSize) {
            *error = "the icon group's images add up to more than the file";
            return false;
        }
        ResourceIcon result;
        result.id = entry.id;
        result.width = IconPixelSize(entry.width);
        result.height = IconPixelSize(entry.height);
        if (!ReadResourceData(reader, view, *icon, &result.data, error)) {
            return false;
        }
        uint16_t planes = 0;
        uint16_t bitCount = 0;
        std::string ignored;
        bool known = ReadIconImageDepth(result.data.data(), result.data.size(), &result.png,
                                        &planes, &bitCount, &ignored);
        result.bitCount = entry.bitCount != 0 || !known ? entry.bitCount : bitCount;
        out->icons.push_back(std::move(result));
    }
    return true;
}

}  // namespace

bool ReadImageResources(const PayloadByteReader *reader, uint64_t fileSize, ImageResources *out,
                        std::string *error) {
    *out = ImageResources();
    PeImageView view;
    if (!ReadPeImageView(reader, fileSize, &view, error)) {
        *error = "the image " + *error;
        return false;
    }
    uint32_t rva = 0;
    uint32_t size = 0;
    if (!ReadPeDataDirectory(reader, view, PeDirectoryResource, &rva, &size) || rva == 0 ||
        size == 0) {
        return true;
    }
    ResourceTree tree;
    if (!ReadResourceTree(reader, fileSize, view, rva, false, &tree, error)) {
        return false;
    }
    int group = FindFirst(tree, ResourceTypeGroupIcon);
    if (group >= 0) {
        const ResourceItem &item = tree.items[group];
        out->hasIconGroup = true;
        out->iconGroupName = item.name;
        out->iconGroupLanguage = item.language;
        if (!ReadIconGroup(reader, fileSize, view, tree, item, out, error)) {
            return false;
        }
    }
    int version = FindFirst(tree, ResourceTypeVersion);
    if (version >= 0) {
        std::vector<uint8_t> data;
        if (!ReadResourceData(reader, view, tree.items[version], &data, error)) {
            return false;
        }
        if (!ParseVersionResource(data.data(), data.size(), &out->version, error)) {
            *error = "the version resource is damaged: " + *error;
            return false;
        }
        out->hasVersion = true;
    }
    return true;
}
