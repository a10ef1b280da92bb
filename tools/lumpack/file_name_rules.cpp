// Windows' own rules for file names.
#include "file_name_rules.h"

#include <string.h>

#include "payload/payload_format.h"

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Drops the trailing dots and blanks of the part that starts at partStart.
void TrimPart(std::string *key, size_t partStart) {
    while (key->size() > partStart && (key->back() == '.' || key->back() == ' ')) {
        key->pop_back();
    }
}

}  // namespace

char ForbiddenFileNameCharacter(const std::string &text) {
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte != 0 && (byte < 0x20 || byte == 0x7F || strchr("<>\"|?*", c) != nullptr)) {
            return c;
        }
    }
    return 0;
}

bool NamesADevice(const std::string &fileName) {
    return FileNameNamesDevice(fileName.c_str());
}

std::string FileNameKey(const std::string &fileName) {
    std::string key;
    size_t partStart = 0;
    for (char c : fileName) {
        if (c == '\\' || c == '/') {
            TrimPart(&key, partStart);
            key += '\\';
            partStart = key.size();
        } else {
            key += AsciiLower(c);
        }
    }
    TrimPart(&key, partStart);
    return key;
}
