// The slide deck format of the sample player.
#include "slide_deck.h"

#include <string.h>

namespace {

// The code point of one UTF-8 sequence at text[*at], moving *at past it;
// U+FFFD and one byte for anything malformed (overlong, surrogate, cut).
char32_t NextCodePoint(const uint8_t *text, size_t size, size_t *at) {
    uint8_t lead = text[*at];
    int length = lead < 0x80                   ? 1
                 : lead >= 0xC2 && lead < 0xE0 ? 2
                 : lead >= 0xE0 && lead < 0xF0 ? 3
                 : lead >= 0xF0 && lead < 0xF5 ? 4
                                               : 0;
    if (length == 0 || *at + length > size) {
        (*at)++;
        return 0xFFFD;
    }
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; i++) {
        uint8_t next = text[*at + i];
        if ((next & 0xC0) != 0x80) {
            (*at)++;
            return 0xFFFD;
        }
        point = (point << 6) | (next & 0x3F);
    }
    static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < smallest[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) {
        (*at)++;
        return 0xFFFD;
    }
    *at += length;
    return point;
}

void Append(std::u16string *out, char32_t point) {
    if (point < 0x10000) {
        out->push_back(static_cast<char16_t>(point));
        return;
    }
    point -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
}

std::u16string Trimmed(const std::u16string &line) {
    size_t start = line.find_first_not_of(u" \t");
    if (start == std::u16string::npos) {
        return std::u16string();
    }
    size_t end = line.find_last_not_of(u" \t");
    return line.substr(start, end - start + 1);
}

// The bitmap's name when line is "image: NAME", else empty.
std::u16string ImageName(const std::u16string &line) {
    const std::u16string prefix = u"image:";
    std::u16string trimmed = Trimmed(line);
    if (trimmed.compare(0, prefix.size(), prefix) != 0) {
        return std::u16string();
    }
    return Trimmed(trimmed.substr(prefix.size()));
}

// Adds the slide made of lines, if it holds anything.
void AddSlide(const std::vector<std::u16string> &lines, std::vector<Slide> *slides) {
    size_t first = 0;
    while (first < lines.size() && Trimmed(lines[first]).empty()) {
        first++;
    }
    if (first == lines.size()) {
        return;
    }
    Slide slide;
    slide.title = Trimmed(lines[first]);
    std::vector<std::u16string> body;
    for (size_t i = first + 1; i < lines.size(); i++) {
        std::u16string image = ImageName(lines[i]);
        if (!image.empty()) {
            slide.image = image;
        } else {
            body.push_back(lines[i]);
        }
    }
    while (!body.empty() && Trimmed(body.back()).empty()) {
        body.pop_back();
    }
    size_t start = 0;
    while (start < body.size() && Trimmed(body[start]).empty()) {
        start++;
    }
    for (size_t i = start; i < body.size(); i++) {
        slide.body += (i > start ? u"\n" : u"") + body[i];
    }
    slides->push_back(slide);
}

}  // namespace

std::u16string Utf16FromUtf8(const uint8_t *text, size_t size) {
    std::u16string out;
    size_t at = 0;
    while (at < size) {
        Append(&out, NextCodePoint(text, size, &at));
    }
    return out;
}

std::vector<Slide> ParseSlideDeck(const uint8_t *content, size_t size) {
    if (size == 0) {
        return std::vector<Slide>();
    }
    if (size >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF) {
        content += 3;
        size -= 3;
    }
    // The text ends at the first zero byte: the content may be padded.
    const void *zero = memchr(content, 0, size);
    if (zero != nullptr) {
        size = static_cast<size_t>(static_cast<const uint8_t *>(zero) - content);
    }
    std::u16string text = Utf16FromUtf8(content, size);
    std::vector<Slide> slides;
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        end = end == std::u16string::npos ? text.size() : end;
        std::u16string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') {
            line.pop_back();
        }
        if (Trimmed(line) == u"---") {
            AddSlide(lines, &slides);
            lines.clear();
        } else {
            lines.push_back(line);
        }
        start = end + 1;
    }
    AddSlide(lines, &slides);
    return slides;
}
