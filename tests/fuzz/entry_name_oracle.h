// What an entry's file name must be for the fuzz targets, written apart
// from the payload rules they check: a name that stays in its folder (no
// drive or stream colon, no leading separator, no component of only dots
// and blanks) and names no device, component by component. Components are
// cut at every '\' and '/' byte, and again at those that a code page's
// double-byte characters leave alone, so both views must hold.
#pragma once

#include <string>
#include <vector>

namespace fuzz_oracle {

// Code page 932's lead bytes.
inline bool IsLeadByte932(unsigned char value) {
    return (value >= 0x81 && value <= 0x9F) || (value >= 0xE0 && value <= 0xFC);
}

inline std::vector<std::string> Components(const std::string &name, bool doubleByte) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < name.size(); i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (doubleByte && IsLeadByte932(c) && i + 1 < name.size()) {
            parts.back() += name.substr(i, 2);
            i++;
        } else if (c == '\\' || c == '/') {
            parts.emplace_back();
        } else {
            parts.back() += name[i];
        }
    }
    return parts;
}

inline bool NamesDevice(const std::string &component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    for (char &c : base) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const char *device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"}) {
        if (base == device) {
            return true;
        }
    }
    if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) {
        return false;
    }
    unsigned char digit = static_cast<unsigned char>(base[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

inline bool StaysInFolder(const std::string &fileName, bool doubleByte) {
    if (fileName.empty() || fileName[0] == '\\' || fileName[0] == '/' ||
        fileName.find(':') != std::string::npos) {
        return false;
    }
    for (const std::string &part : Components(fileName, doubleByte)) {
        if (!part.empty() && part.find_first_not_of(". ") == std::string::npos) {
            return false;
        }
        if (NamesDevice(part)) {
            return false;
        }
    }
    return true;
}

// Safe in both views.
inline bool SafeFileName(const std::string &fileName) {
    return StaysInFolder(fileName, false) && StaysInFolder(fileName, true);
}

}  // namespace fuzz_oracle
