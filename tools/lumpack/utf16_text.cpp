// Converting text between UTF-8 and UTF-16.
#include "utf16_text.h"

#include <stdint.h>

namespace {

const uint32_t ReplacementCharacter = 0xFFFD;

bool IsSurrogate(uint32_t code) {
    return code >= 0xD800 && code <= 0xDFFF;
}

void AppendUtf8(std::string *out, uint32_t code) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | code >> 6));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | code >> 12));
        out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | code >> 18));
        out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// How many bytes a sequence with this lead byte takes, its lead's payload
// bits and the smallest code point that length may carry (anything less is
// an overlong form); 0 for a byte that starts no sequence.
size_t SequenceStart(uint32_t lead, uint32_t *bits, uint32_t *smallest) {
    static const struct {
        uint32_t mask;
        uint32_t value;
        uint32_t smallest;
    } forms[] = {{0x80, 0x00, 0}, {0xE0, 0xC0, 0x80}, {0xF0, 0xE0, 0x800}, {0xF8, 0xF0, 0x10000}};
    for (size_t length = 1; length <= 4; length++) {
        if ((lead & forms[length - 1].mask) == forms[length - 1].value) {
            *bits = lead & ~forms[length - 1].mask & 0xFF;
            *smallest = forms[length - 1].smallest;
            return length;
        }
    }
    return 0;
}

}  // namespace

bool Utf8ToUtf16(const std::string &text, std::u16string *out) {
    out->clear();
    size_t i = 0;
    while (i < text.size()) {
        uint32_t code = 0;
        uint32_t smallest = 0;
        size_t length = SequenceStart(static_cast<unsigned char>(text[i]), &code, &smallest);
        if (length == 0) {
            return false;
        }
        if (length > text.size() - i) {
            return false;
        }
        for (size_t k = 1; k < length; k++) {
            uint32_t next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = code << 6 | (next & 0x3F);
        }
        if (code < smallest || code > 0x10FFFF || IsSurrogate(code)) {
            return false;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 | code >> 10));
            out->push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return true;
}

std::string Utf16ToUtf8(const std::u16string &units) {
    std::string out;
    for (size_t i = 0; i < units.size(); i++) {
        uint32_t code = units[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10 | (units[i + 1] - 0xDC00u));
            i++;
        } else if (IsSurrogate(code)) {
            code = ReplacementCharacter;
        }
        AppendUtf8(&out, code);
    }
    return out;
}
