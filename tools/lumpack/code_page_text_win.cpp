// Reading names in a Windows code page through the system's own tables,
// one character at a time, so that a byte without a character becomes
// U+FFFD and the next is read afresh.
#include <windows.h>

#include "code_page_text.h"

namespace {

const char Replacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool IsLeadByte932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Bytes the code page leaves without a character, which the system's
// tables still map (to C1 controls or private characters) rather than
// refuse.
bool HasNoCharacter(int codePage, unsigned char c) {
    if (codePage == 1252) {
        return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
    }
    return c == 0x80 || c == 0xA0 || c >= 0xFD;
}

// bytes (one character) as UTF-8; false when the code page has none for them.
bool DecodeCharacter(int codePage, const char *bytes, int size, std::string *utf8) {
    wchar_t wide[4];
    int count = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes, size,
                                    wide, 4);
    if (count <= 0) {
        return false;
    }
    char out[16];
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, count, out, sizeof out, nullptr, nullptr);
    if (length <= 0) {
        return false;
    }
    utf8->append(out, static_cast<size_t>(length));
    return true;
}

}  // namespace

DecodedText DecodeCodePage(int codePage, const std::string &text) {
    DecodedText decoded;
    for (size_t at = 0; at < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            decoded.utf8 += static_cast<char>(c);
            at++;
            continue;
        }
        int size = codePage == 932 && IsLeadByte932(c) ? 2 : 1;
        bool ok = IsKnownCodePage(codePage) && at + static_cast<size_t>(size) <= text.size() &&
                  (size == 2 || !HasNoCharacter(codePage, c)) &&
                  DecodeCharacter(codePage, text.data() + at, size, &decoded.utf8);
        if (ok) {
            at += static_cast<size_t>(size);
            continue;
        }
        decoded.utf8 += Replacement;
        decoded.replaced = true;
        at++;
    }
    return decoded;
}
