// Which code pages names can be read in; the reading itself is the
// system's (code_page_text_iconv.cpp, code_page_text_win.cpp).
#include "code_page_text.h"

#include <stdlib.h>

bool IsKnownCodePage(int codePage) {
    return codePage == 1252 || codePage == 932;
}

const char *KnownCodePagesText() {
    return "1252, 932";
}

bool ParseCodePage(const std::string &text, int *codePage, std::string *error) {
    bool digits = !text.empty() && text.size() <= 9;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
    }
    int number = digits ? atoi(text.c_str()) : 0;
    if (!IsKnownCodePage(number)) {
        *error = "unknown code page '" + text + "' (known: " + KnownCodePagesText() + ")";
        return false;
    }
    *codePage = number;
    return true;
}

std::string HexBytes(const std::string &bytes) {
    static const char Hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += Hex[c >> 4];
        out += Hex[c & 15];
    }
    return out;
}
