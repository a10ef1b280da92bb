// Showing names in messages.
#include "display_text.h"

std::string PrintableText(const std::string &text) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
