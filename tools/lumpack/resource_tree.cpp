// Reading and writing resource trees: IMAGE_RESOURCE_DIRECTORY tables of
// 8-byte entries, length-prefixed UTF-16 names, 16-byte data entries.
#include "resource_tree.h"

#include <algorithm>

#include "common/byte_order.h"
#include "utf16_text.h"

namespace {

enum {
    TableHeaderSize = 16,
    TableEntrySize = 8,
    DataEntrySize = 16,
    TreeLevels = 3,  // type, name, language
    DataAlignment = 8
};

const uint32_t HighBit = 0x80000000u;
const uint32_t LargestTree = 0x7FFFFFFF;

const char *const LevelNames[TreeLevels] = {"type", "name", "language"};

struct TreeReader {
    const PayloadByteReader *reader;
    uint32_t base;   // the root's file offset
    uint32_t limit;  // how many bytes from there belong to its section's raw data
    bool withData;
    uint64_t fileSize;
    uint64_t dataRead;
    size_t entriesRead;
    const PeImageView *view;
};

bool ReadTreeBytes(const TreeReader &tree, uint32_t offset, uint32_t size, void *buffer,
                   const char *what, std::string *error) {
    if (offset > tree.limit || size > tree.limit - offset ||
        (size != 0 && !tree.reader->ReadAt(tree.reader, tree.base + offset, buffer, size))) {
        *error = std::string("the resource tree's ") + what + " at offset " +
                 std::to_string(offset) + " lies outside its section";
        return false;
    }
    return true;
}

bool ReadName(const TreeReader &tree, uint32_t offset, std::u16string *name, std::string *error) {
    uint8_t length[2];
    if (!ReadTreeBytes(tree, offset, 2, length, "name", error)) {
        return false;
    }
    std::vector<uint8_t> units(static_cast<size_t>(2) * ReadLittleEndian16(length));
    if (!ReadTreeBytes(tree, offset + 2, static_cast<uint32_t>(units.size()), units.data(), "name",
                       error)) {
        return false;
    }
    name->clear();
    for (size_t i = 0; i < units.size(); i += 2) {
        name->push_back(static_cast<char16_t>(ReadLittleEndian16(units.data() + i)));
    }
    return true;
}

bool ReadDataEntry(TreeReader *tree, uint32_t offset, ResourceItem *item, std::string *error) {
    uint8_t entry[DataEntrySize];
    if (!ReadTreeBytes(*tree, offset, sizeof entry, entry, "data entry", error)) {
        return false;
    }
    item->dataRva = ReadLittleEndian32(entry);
    item->dataSize = ReadLittleEndian32(entry + 4);
    item->codePage = ReadLittleEndian32(entry + 8);
    return true;
}

// Reads the table at offset on level (0: types) with the ids above it in
// path, appending the items below it.
bool ReadTable(TreeReader *tree, uint32_t offset, int level, ResourceItem *path, ResourceTree *out,
               std::string *error) {
    uint8_t header[TableHeaderSize];
    if (!ReadTreeBytes(*tree, offset, sizeof header, header, "directory table", error)) {
        return false;
    }
    if (level == 0) {
        out->characteristics = ReadLittleEndian32(header);
        out->timeDateStamp = ReadLittleEndian32(header + 4);
        out->majorVersion = ReadLittleEndian16(header + 8);
        out->minorVersion = ReadLittleEndian16(header + 10);
    }
    uint32_t count =
        static_cast<uint32_t>(ReadLittleEndian16(header + 12)) + ReadLittleEndian16(header + 14);
    tree->entriesRead += count;
    if (tree->entriesRead > MaxResourceEntries) {
        *error =
            "the resource tree has more than " + std::to_string(MaxResourceEntries) + " entries";
        return false;
    }
    std::vector<uint8_t> entries(static_cast<size_t>(count) * TableEntrySize);
    if (!ReadTreeBytes(*tree, offset + TableHeaderSize, static_cast<uint32_t>(entries.size()),
                       entries.data(), "directory table", error)) {
        return false;
    }
    ResourceId *ids[TreeLevels] = {&path->type, &path->name, &path->language};
    for (size_t i = 0; i < count; i++) {
        uint32_t nameField = ReadLittleEndian32(entries.data() + i * TableEntrySize);
        uint32_t target = ReadLittleEndian32(entries.data() + i * TableEntrySize + 4);
        ResourceId *id = ids[level];
        id->named = (nameField & HighBit) != 0;
        id->number = id->named ? 0 : nameField;
        id->name.clear();
        if (id->named && !ReadName(*tree, nameField & ~HighBit, &id->name, error)) {
            return false;
        }
        bool subdirectory = (target & HighBit) != 0;
        if (subdirectory != (level < TreeLevels - 1)) {
            *error = std::string("the resource tree has a ") +
                     (subdirectory ? "directory" : "data entry") + " where a " + LevelNames[level] +
                     (subdirectory ? " should lead to data" : " table belongs");
            return false;
        }
        if (subdirectory) {
            if (!ReadTable(tree, target & ~HighBit, level + 1, path, out, error)) {
                return false;
            }
            continue;
        }
        ResourceItem item = *path;
        if (!ReadDataEntry(tree, target, &item, error)) {
            return false;
        }
        tree->dataRead += item.dataSize;
        if (tree->withData &&
            (tree->dataRead > tree->fileSize ||
             !ReadResourceData(tree->reader, *tree->view, item, &item.data, error))) {
            if (tree->dataRead > tree->fileSize) {
                *error = "the resources' data add up to more than the file";
            }
            return false;
        }
        out->items.push_back(std::move(item));
    }
    return true;
}

// Sorting: named before numbered, names by their UTF-16 units, numbers
// ascending.
int CompareIds(const ResourceId &a, const ResourceId &b) {
    if (a.named != b.named) {
        return a.named ? -1 : 1;
    }
    if (a.named) {
        return a.name < b.name ? -1 : (a.name == b.name ? 0 : 1);
    }
    return a.number < b.number ? -1 : (a.number == b.number ? 0 : 1);
}

int CompareItems(const ResourceItem &a, const ResourceItem &b) {
    int order = CompareIds(a.type, b.type);
    if (order == 0) {
        order = CompareIds(a.name, b.name);
    }
    return order != 0 ? order : CompareIds(a.language, b.language);
}

// One table of the tree being written: its entries' ids and what each leads
// to (a table index, or for the language level an item index).
struct TableLayout {
    uint32_t offset = 0;
    std::vector<const ResourceId *> ids;
    std::vector<size_t> targets;
    std::vector<uint32_t> nameOffsets;
};

void Put32(std::vector<uint8_t> *bytes, size_t offset, uint32_t value) {
    WriteLittleEndian32(bytes->data() + offset, value);
}

void Put16(std::vector<uint8_t> *bytes, size_t offset, uint16_t value) {
    (*bytes)[offset] = static_cast<uint8_t>(value);
    (*bytes)[offset + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

ResourceId ResourceNumber(uint32_t number) {
    ResourceId id;
    id.number = number;
    return id;
}

bool SameResourceId(const ResourceId &a, const ResourceId &b) {
    return CompareIds(a, b) == 0;
}

bool IsResourceNumber(const ResourceId &id, uint32_t number) {
    return !id.named && id.number == number;
}

std::string ResourceIdText(const ResourceId &id) {
    return id.named ? "\"" + Utf16ToUtf8(id.name) + "\"" : std::to_string(id.number);
}

std::string ResourceItemText(const ResourceItem &item) {
    return "type " + ResourceIdText(item.type) + ", name " + ResourceIdText(item.name) +
           ", language " + ResourceIdText(item.language);
}

bool ReadResourceData(const PayloadByteReader *reader, const PeImageView &view,
                      const ResourceItem &item, std::vector<uint8_t> *data, std::string *error) {
    uint32_t offset = 0;
    if (!PeRvaToFileOffset(view, item.dataRva, item.dataSize, &offset)) {
        *error = "the data of resource " + ResourceItemText(item) + " (RVA " +
                 std::to_string(item.dataRva) + ", " + std::to_string(item.dataSize) +
                 " bytes) do not lie inside a section";
        return false;
    }
    data->resize(item.dataSize);
    if (item.dataSize != 0 && !reader->ReadAt(reader, offset, data->data(), item.dataSize)) {
        *error = "the data of resource " + ResourceItemText(item) + " cannot be read";
        return false;
    }
    return true;
}

bool ReadResourceTree(const PayloadByteReader *reader, uint64_t fileSize, const PeImageView &view,
                      uint32_t directoryRva, bool withData, ResourceTree *tree,
                      std::string *error) {
    *tree = ResourceTree();
    TreeReader state = {reader, 0, 0, withData, fileSize, 0, 0, &view};
    bool found = false;
    for (const PeSection &section : view.sections) {
        uint32_t span = PeSectionSpan(section);
        uint32_t inFile = section.rawSize < span ? section.rawSize : span;
        if (directoryRva >= section.virtualAddress &&
            directoryRva - section.virtualAddress < inFile) {
            state.base = section.rawPointer + (directoryRva - section.virtualAddress);
            state.limit = inFile - (directoryRva - section.virtualAddress);
            found = true;
            break;
        }
    }
    if (!found) {
        *error = "the resource directory does not lie inside a section's data";
        return false;
    }
    ResourceItem path;
    return ReadTable(&state, 0, 0, &path, tree, error);
}

std::string SerializeResourceTree(const ResourceTree &tree, uint32_t directoryRva,
                                  std::vector<uint8_t> *bytes) {
    std::vector<size_t> order(tree.items.size());
    for (size_t i = 0; i < order.size(); i++) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return CompareItems(tree.items[a], tree.items[b]) < 0;
    });
    for (size_t i = 1; i < order.size(); i++) {
        if (CompareItems(tree.items[order[i - 1]], tree.items[order[i]]) == 0) {
            return "two resources have " + ResourceItemText(tree.items[order[i]]);
        }
    }

    // The tables level by level: the root, the types' tables, the names'.
    std::vector<TableLayout> tables(1);
    std::vector<TableLayout> nameTables;
    for (size_t k = 0; k < order.size(); k++) {
        const ResourceItem &item = tree.items[order[k]];
        const ResourceItem *previous = k > 0 ? &tree.items[order[k - 1]] : nullptr;
        bool newType = previous == nullptr || !SameResourceId(previous->type, item.type);
        if (newType) {
            tables[0].ids.push_back(&item.type);
            tables[0].targets.push_back(tables.size());
            tables.emplace_back();
        }
        if (newType || !SameResourceId(previous->name, item.name)) {
            tables.back().ids.push_back(&item.name);
            tables.back().targets.push_back(nameTables.size());
            nameTables.emplace_back();
        }
        nameTables.back().ids.push_back(&item.language);
        nameTables.back().targets.push_back(order[k]);
    }
    size_t typeTables = tables.size();
    tables.insert(tables.end(), nameTables.begin(), nameTables.end());

    uint64_t at = 0;
    for (TableLayout &table : tables) {
        table.offset = static_cast<uint32_t>(at);
        at += TableHeaderSize + TableEntrySize * table.ids.size();
    }
    for (TableLayout &table : tables) {
        for (const ResourceId *id : table.ids) {
            table.nameOffsets.push_back(static_cast<uint32_t>(at));
            if (id->named && id->name.size() > 0xFFFF) {
                return "a resource name is longer than 65535 characters";
            }
            if (id->named) {
                at += 2 + 2 * static_cast<uint64_t>(id->name.size());
            }
        }
    }
    at = (at + 3) & ~static_cast<uint64_t>(3);
    uint64_t dataEntries = at;
    at += DataEntrySize * static_cast<uint64_t>(tree.items.size());
    std::vector<uint64_t> dataOffsets(tree.items.size());
    for (size_t index : order) {
        at = (at + DataAlignment - 1) / DataAlignment * DataAlignment;
        dataOffsets[index] = at;
        at += tree.items[index].data.size();
    }
    if (at > LargestTree || directoryRva + at > 0xFFFFFFFFu) {
        return "the resources would take more than 2 GiB";
    }

    bytes->assign(at, 0);
    std::vector<uint32_t> entryOffsets(tree.items.size());
    for (size_t k = 0; k < order.size(); k++) {
        entryOffsets[order[k]] = static_cast<uint32_t>(dataEntries + DataEntrySize * k);
    }
    for (size_t t = 0; t < tables.size(); t++) {
        const TableLayout &table = tables[t];
        Put32(bytes, table.offset, tree.characteristics);
        Put32(bytes, table.offset + 4, tree.timeDateStamp);
        Put16(bytes, table.offset + 8, tree.majorVersion);
        Put16(bytes, table.offset + 10, tree.minorVersion);
        uint16_t named = 0;
        for (const ResourceId *id : table.ids) {
            named = static_cast<uint16_t>(named + (id->named ? 1 : 0));
        }
        Put16(bytes, table.offset + 12, named);
        Put16(bytes, table.offset + 14, static_cast<uint16_t>(table.ids.size() - named));
        for (size_t e = 0; e < table.ids.size(); e++) {
            const ResourceId &id = *table.ids[e];
            size_t entry = table.offset + TableHeaderSize + TableEntrySize * e;
            if (id.named) {
                Put32(bytes, entry, HighBit | table.nameOffsets[e]);
                Put16(bytes, table.nameOffsets[e], static_cast<uint16_t>(id.name.size()));
                for (size_t u = 0; u < id.name.size(); u++) {
                    Put16(bytes, table.nameOffsets[e] + 2 + 2 * u, id.name[u]);
                }
            } else {
                Put32(bytes, entry, id.number);
            }
            uint32_t target;
            if (t == 0) {
                target = HighBit | tables[table.targets[e]].offset;
            } else if (t < typeTables) {
                target = HighBit | tables[typeTables + table.targets[e]].offset;
            } else {
                target = entryOffsets[table.targets[e]];
            }
            Put32(bytes, entry + 4, target);
        }
    }
    for (size_t i = 0; i < tree.items.size(); i++) {
        const ResourceItem &item = tree.items[i];
        Put32(bytes, entryOffsets[i], static_cast<uint32_t>(directoryRva + dataOffsets[i]));
        Put32(bytes, entryOffsets[i] + 4, static_cast<uint32_t>(item.data.size()));
        Put32(bytes, entryOffsets[i] + 8, item.codePage);
        std::copy(item.data.begin(), item.data.end(), bytes->begin() + dataOffsets[i]);
    }
    return "";
}
