// Reading a Windows icon file (.ico): its directory and its images, each
// checked to be a PNG or a device-independent bitmap, ready to become an
// executable's icon resources. Portable; every input is untrusted.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// One image of an icon, with its directory entry as an icon group lists it.
struct IconImage {
    uint8_t width;  // in pixels; 0 means 256
    uint8_t height;
    uint8_t colorCount;  // palette size, 0 for 256 colours or more
    uint8_t reserved;
    uint16_t planes;  // taken from the image where the file gives 0
    uint16_t bitCount;
    bool png;  // a PNG stream, else a bitmap (BITMAPINFOHEADER, pixels, mask)
    std::vector<uint8_t> data;
};

// The width or height a directory entry gives, in pixels (0 means 256).
int IconPixelSize(uint8_t field);

// What an image's own header says about its colour depth: a bitmap's
// biPlanes and biBitCount, or for a PNG 1 plane and the bits of a pixel
// after its colour type and bit depth. False, with *error saying why, when
// the bytes are neither a PNG with its IHDR chunk nor a bitmap whose
// BITMAPINFOHEADER takes at least 40 bytes.
bool ReadIconImageDepth(const uint8_t *data, size_t size, bool *png, uint16_t *planes,
                        uint16_t *bitCount, std::string *error);

// Reads every image of an .ico file in directory order. Returns "" on success
// or why the file is no usable icon, to follow its name and a colon, naming
// the entry (counted from 1) where one is at fault ("entry 3's image runs
// past the end of the file (offset ...)"): too short for its directory; a
// first word not 0; a
// cursor (type 2) or any type but 1; no images; an image that is empty,
// runs past the end of the file, or is neither PNG nor bitmap. Entries whose
// planes and bit count are 0 get them from their image.
std::string ParseIconFile(const std::vector<uint8_t> &file, std::vector<IconImage> *images);
