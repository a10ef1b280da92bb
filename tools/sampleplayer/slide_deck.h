// The sample player's slide deck: the presentation content as UTF-8 text,
// turned into slides of UTF-16 text. Portable: no <windows.h>.
//
// The format:
// - Slides are separated by a line holding only "---".
// - A slide's first line is its title; the lines after it are its body.
// - A line "image: NAME.bmp" puts that bitmap on the slide instead of
//   being shown as text; the bitmap is looked up among the run's files.
// - Lines end in LF or CR LF. A UTF-8 byte order mark at the start is
//   skipped, and the text ends at the first zero byte (the content may be
//   padded with zeros). Bytes that are no UTF-8 show as U+FFFD.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct Slide {
    std::u16string title;
    std::u16string body;   // lines joined with '\n'
    std::u16string image;  // file name of the bitmap, or empty
};

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf16FromUtf8(const uint8_t *text, size_t size);

// The slides of the content; none for empty content or content that holds
// only blanks and separators.
std::vector<Slide> ParseSlideDeck(const uint8_t *content, size_t size);
