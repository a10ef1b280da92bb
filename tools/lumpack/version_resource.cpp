// Building and reading VS_VERSIONINFO blocks.
#include "version_resource.h"

#include "common/byte_order.h"
#include "utf16_text.h"

namespace {

enum {
    NodeHeaderSize = 6,  // wLength, wValueLength, wType
    NodeTypeBinary = 0,
    NodeTypeText = 1,
    FixedFileInfoSize = 52,
    LargestNode = 0xFFFF
};

const uint32_t FixedFileInfoSignature = 0xFEEF04BD;
const uint32_t FixedFileInfoStructVersion = 0x00010000;
const uint32_t FileFlagsMask = 0x3F;
const uint32_t FileOsNtWindows32 = 0x00040004;
const uint32_t FileTypeApp = 1;

const char *const KnownKeys[] = {
    "Comments",     "CompanyName",    "FileDescription", "FileVersion",
    "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
    "PrivateBuild", "ProductName",    "ProductVersion",  "SpecialBuild",
};

bool IsKnownKey(const std::string &key) {
    for (const char *known : KnownKeys) {
        if (key == known) {
            return true;
        }
    }
    return false;
}

std::string KnownKeysText() {
    std::string text;
    for (const char *known : KnownKeys) {
        text += (text.empty() ? "" : ", ") + std::string(known);
    }
    return text;
}

// The value given for key, or null.
const std::string *FindValue(const std::vector<VersionString> &strings, const char *key) {
    for (const VersionString &string : strings) {
        if (string.key == key) {
            return &string.value;
        }
    }
    return nullptr;
}

// Reading the leading numbers: no digit at the start, a part over 65535, or
// a version read.
enum class DottedVersion { None, TooLarge, Read };

DottedVersion ReadDottedVersion(const std::string &text, uint16_t parts[4]) {
    for (int i = 0; i < 4; i++) {
        parts[i] = 0;
    }
    size_t at = 0;
    for (int part = 0; part < 4; part++) {
        if (at >= text.size() || text[at] < '0' || text[at] > '9') {
            return part == 0 ? DottedVersion::None : DottedVersion::Read;
        }
        uint32_t number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            number = number * 10 + static_cast<uint32_t>(text[at] - '0');
            if (number > 0xFFFF) {
                return DottedVersion::TooLarge;
            }
            at++;
        }
        parts[part] = static_cast<uint16_t>(number);
        if (at >= text.size() || text[at] != '.') {
            break;
        }
        at++;
    }
    return DottedVersion::Read;
}

void AppendWord(std::vector<uint8_t> *block, uint16_t value) {
    block->push_back(static_cast<uint8_t>(value));
    block->push_back(static_cast<uint8_t>(value >> 8));
}

void AppendDword(std::vector<uint8_t> *block, uint32_t value) {
    AppendWord(block, static_cast<uint16_t>(value));
    AppendWord(block, static_cast<uint16_t>(value >> 16));
}

void AppendText(std::vector<uint8_t> *block, const std::u16string &text) {
    for (char16_t unit : text) {
        AppendWord(block, unit);
    }
    AppendWord(block, 0);
}

void PadToDword(std::vector<uint8_t> *block) {
    while (block->size() % 4 != 0) {
        block->push_back(0);
    }
}

// Starts a node on the next 32-bit boundary: its header (wLength filled in by
// EndNode), its key and the padding before the value. Returns where it starts.
size_t BeginNode(std::vector<uint8_t> *block, const char *key, uint16_t valueLength,
                 uint16_t type) {
    PadToDword(block);
    size_t start = block->size();
    AppendWord(block, 0);
    AppendWord(block, valueLength);
    AppendWord(block, type);
    std::u16string units;
    Utf8ToUtf16(key, &units);  // the keys here are ASCII
    AppendText(block, units);
    PadToDword(block);
    return start;
}

// Sets the node's wLength to everything from its start; false when that is
// more than a node can describe.
bool EndNode(std::vector<uint8_t> *block, size_t start) {
    size_t length = block->size() - start;
    if (length > LargestNode) {
        return false;
    }
    (*block)[start] = static_cast<uint8_t>(length);
    (*block)[start + 1] = static_cast<uint8_t>(length >> 8);
    return true;
}

void AppendFixedFileInfo(std::vector<uint8_t> *block, const uint16_t file[4],
                         const uint16_t product[4]) {
    AppendDword(block, FixedFileInfoSignature);
    AppendDword(block, FixedFileInfoStructVersion);
    for (const uint16_t *version : {file, product}) {
        AppendDword(block, static_cast<uint32_t>(version[0]) << 16 | version[1]);
        AppendDword(block, static_cast<uint32_t>(version[2]) << 16 | version[3]);
    }
    AppendDword(block, FileFlagsMask);
    AppendDword(block, 0);  // FileFlags
    AppendDword(block, FileOsNtWindows32);
    AppendDword(block, FileTypeApp);
    AppendDword(block, 0);  // FileSubtype
    AppendDword(block, 0);  // FileDateMS
    AppendDword(block, 0);  // FileDateLS
}

// The fixed version for key: its own text's, else the other's, else 0.
void FixedVersion(const std::vector<VersionString> &strings, const char *key, const char *other,
                  uint16_t parts[4]) {
    for (const char *name : {key, other}) {
        const std::string *value = FindValue(strings, name);
        if (value != nullptr && ReadDottedVersion(*value, parts) == DottedVersion::Read) {
            return;
        }
    }
    ReadDottedVersion("", parts);
}

std::string HexWord(uint16_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) {
        text.push_back(digits[value >> shift & 0xF]);
    }
    return text;
}

// A node read from a block: where it lies, its header and key, and where its
// value and its children start.
struct VersionNode {
    size_t start;
    size_t end;  // start + wLength
    uint16_t valueLength;
    uint16_t type;
    std::u16string key;
    size_t valueStart;
    size_t childrenStart;
};

size_t AlignDword(size_t offset) {
    return (offset + 3) & ~static_cast<size_t>(3);
}

// Reads the node at start, which must end by limit.
bool ReadNode(const uint8_t *data, size_t start, size_t limit, VersionNode *node,
              std::string *error) {
    if (start > limit || limit - start < NodeHeaderSize) {
        *error = "a node at offset " + std::to_string(start) + " is cut short";
        return false;
    }
    uint16_t length = ReadLittleEndian16(data + start);
    if (length < NodeHeaderSize || length > limit - start) {
        *error = "the node at offset " + std::to_string(start) + " gives its length as " +
                 std::to_string(length) + ", " + std::to_string(limit - start) + " bytes are left";
        return false;
    }
    node->start = start;
    node->end = start + length;
    node->valueLength = ReadLittleEndian16(data + start + 2);
    node->type = ReadLittleEndian16(data + start + 4);
    node->key.clear();
    size_t at = start + NodeHeaderSize;
    for (;; at += 2) {
        if (node->end - at < 2) {
            *error =
                "the key of the node at offset " + std::to_string(start) + " has no terminator";
            return false;
        }
        uint16_t unit = ReadLittleEndian16(data + at);
        if (unit == 0) {
            break;
        }
        node->key.push_back(static_cast<char16_t>(unit));
    }
    node->valueStart = AlignDword(at + 2);
    size_t valueBytes = node->type == NodeTypeText ? 2u * node->valueLength : node->valueLength;
    node->childrenStart = AlignDword(node->valueStart + valueBytes);
    if (node->valueStart > node->end) {
        node->valueStart = node->end;
    }
    if (node->childrenStart > node->end) {
        node->childrenStart = node->end;
    }
    return true;
}

// Calls visit(child) for each child of parent, in order.
template <typename Visit>
bool ForEachChild(const uint8_t *data, const VersionNode &parent, std::string *error, Visit visit) {
    size_t at = parent.childrenStart;
    while (at < parent.end) {
        VersionNode child;
        if (!ReadNode(data, at, parent.end, &child, error)) {
            return false;
        }
        if (!visit(child)) {
            return false;
        }
        at = AlignDword(child.end);
    }
    return true;
}

// The text value of a string node: up to its terminator or its node's end.
std::string TextValue(const uint8_t *data, const VersionNode &node) {
    std::u16string units;
    for (size_t at = node.valueStart; node.end - at >= 2; at += 2) {
        uint16_t unit = ReadLittleEndian16(data + at);
        if (unit == 0) {
            break;
        }
        units.push_back(static_cast<char16_t>(unit));
    }
    return Utf16ToUtf8(units);
}

void ReadFixedFileInfo(const uint8_t *data, const VersionNode &root, VersionInfo *info) {
    if (root.valueLength < FixedFileInfoSize || root.end - root.valueStart < FixedFileInfoSize) {
        return;
    }
    const uint8_t *fixed = data + root.valueStart;
    if (ReadLittleEndian32(fixed) != FixedFileInfoSignature) {
        return;
    }
    info->hasFixedInfo = true;
    uint16_t *versions[] = {info->fileVersion, info->productVersion};
    for (size_t v = 0; v < 2; v++) {
        uint32_t high = ReadLittleEndian32(fixed + 8 + 8 * v);
        uint32_t low = ReadLittleEndian32(fixed + 12 + 8 * v);
        versions[v][0] = static_cast<uint16_t>(high >> 16);
        versions[v][1] = static_cast<uint16_t>(high);
        versions[v][2] = static_cast<uint16_t>(low >> 16);
        versions[v][3] = static_cast<uint16_t>(low);
    }
}

}  // namespace

bool ParseDottedVersion(const std::string &text, uint16_t parts[4]) {
    return ReadDottedVersion(text, parts) == DottedVersion::Read;
}

std::string VersionStringProblem(const std::vector<VersionString> &strings) {
    for (size_t i = 0; i < strings.size(); i++) {
        const VersionString &string = strings[i];
        if (!IsKnownKey(string.key)) {
            return "unknown version key \"" + string.key + "\"; the keys are " + KnownKeysText() +
                   " (written so)";
        }
        for (size_t other = 0; other < i; other++) {
            if (strings[other].key == string.key) {
                return "version key " + string.key + " is given twice";
            }
        }
        std::u16string units;
        if (string.value.empty()) {
            return "version key " + string.key + " has an empty value";
        }
        if (string.value.find('\0') != std::string::npos) {
            return "the value of version key " + string.key + " holds a NUL character";
        }
        if (!Utf8ToUtf16(string.value, &units)) {
            return "the value of version key " + string.key + " is not valid UTF-8";
        }
        uint16_t parts[4];
        if ((string.key == "FileVersion" || string.key == "ProductVersion") &&
            ReadDottedVersion(string.value, parts) == DottedVersion::TooLarge) {
            return "version key " + string.key + " \"" + string.value +
                   "\" has a number over 65535, the largest a version part can be";
        }
    }
    return "";
}

std::string BuildVersionResource(const std::vector<VersionString> &strings, uint16_t language,
                                 std::vector<uint8_t> *block) {
    std::string problem = VersionStringProblem(strings);
    if (!problem.empty()) {
        return problem;
    }
    uint16_t fileVersion[4];
    uint16_t productVersion[4];
    FixedVersion(strings, "FileVersion", "ProductVersion", fileVersion);
    FixedVersion(strings, "ProductVersion", "FileVersion", productVersion);

    block->clear();
    size_t root = BeginNode(block, "VS_VERSION_INFO", FixedFileInfoSize, NodeTypeBinary);
    AppendFixedFileInfo(block, fileVersion, productVersion);
    size_t stringFileInfo = BeginNode(block, "StringFileInfo", 0, NodeTypeText);
    std::string tableKey = HexWord(language) + HexWord(VersionUnicodeCodePage);
    size_t table = BeginNode(block, tableKey.c_str(), 0, NodeTypeText);
    bool fits = true;
    for (const VersionString &string : strings) {
        std::u16string value;
        Utf8ToUtf16(string.value, &value);  // checked above
        size_t valueLength = value.size() + 1;
        if (valueLength > LargestNode) {
            fits = false;
            break;
        }
        size_t node =
            BeginNode(block, string.key.c_str(), static_cast<uint16_t>(valueLength), NodeTypeText);
        AppendText(block, value);
        fits = fits && EndNode(block, node);
    }
    fits = fits && EndNode(block, table) && EndNode(block, stringFileInfo);
    size_t varFileInfo = BeginNode(block, "VarFileInfo", 0, NodeTypeText);
    size_t translation = BeginNode(block, "Translation", 4, NodeTypeBinary);
    AppendWord(block, language);
    AppendWord(block, VersionUnicodeCodePage);
    fits =
        fits && EndNode(block, translation) && EndNode(block, varFileInfo) && EndNode(block, root);
    if (!fits) {
        block->clear();
        return "the version texts take more than the 65535 bytes a version resource can hold";
    }
    return "";
}

bool ParseVersionResource(const uint8_t *data, size_t size, VersionInfo *info, std::string *error) {
    *info = VersionInfo();
    VersionNode root;
    if (!ReadNode(data, 0, size, &root, error)) {
        return false;
    }
    if (Utf16ToUtf8(root.key) != "VS_VERSION_INFO") {
        *error = "the block is not VS_VERSION_INFO (its key is \"" + Utf16ToUtf8(root.key) + "\")";
        return false;
    }
    ReadFixedFileInfo(data, root, info);
    bool tableRead = false;
    return ForEachChild(data, root, error, [&](const VersionNode &child) {
        std::string key = Utf16ToUtf8(child.key);
        if (key == "StringFileInfo") {
            return ForEachChild(data, child, error, [&](const VersionNode &table) {
                if (tableRead) {
                    return true;
                }
                tableRead = true;
                info->tableKey = Utf16ToUtf8(table.key);
                return ForEachChild(data, table, error, [&](const VersionNode &string) {
                    info->strings.push_back({Utf16ToUtf8(string.key), TextValue(data, string)});
                    return true;
                });
            });
        }
        if (key == "VarFileInfo") {
            return ForEachChild(data, child, error, [&](const VersionNode &var) {
                if (!info->hasTranslation && Utf16ToUtf8(var.key) == "Translation" &&
                    var.end - var.valueStart >= 4) {
                    info->hasTranslation = true;
                    info->language = ReadLittleEndian16(data + var.valueStart);
                    info->codePage = ReadLittleEndian16(data + var.valueStart + 2);
                }
                return true;
            });
        }
        return true;
    });
}
