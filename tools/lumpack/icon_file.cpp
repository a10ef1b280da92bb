// Reading icon files: the ICONDIR header, the 16-byte ICONDIRENTRY records
// and a look into each image's own header.
#include "icon_file.h"

#include <string.h>

#include "common/byte_order.h"

namespace {

enum {
    IconDirSize = 6,
    IconDirEntrySize = 16,
    IconTypeIcon = 1,
    IconTypeCursor = 2,
    BitmapInfoHeaderSize = 40,
    PngSignatureSize = 8,
    PngIhdrEnd = PngSignatureSize + 8 + 13  // signature, chunk length and type, IHDR data
};

const uint8_t PngSignature[PngSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t ReadBigEndian32(const uint8_t *bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

// Bits per pixel of a PNG colour type at a bit depth, or 0 for a combination
// PNG does not allow.
uint16_t PngPixelBits(uint8_t colorType, uint8_t bitDepth) {
    struct PngForm {
        uint8_t colorType;
        uint8_t channels;
        uint8_t depths;  // bit n set: depth 2^n allowed
    };
    static const PngForm forms[] = {
        {0, 1, 0x1F},  // greyscale: 1, 2, 4, 8, 16
        {2, 3, 0x18},  // RGB: 8, 16
        {3, 1, 0x0F},  // palette: 1, 2, 4, 8
        {4, 2, 0x18},  // greyscale and alpha: 8, 16
        {6, 4, 0x18},  // RGBA: 8, 16
    };
    for (const PngForm &form : forms) {
        if (form.colorType != colorType) {
            continue;
        }
        for (int power = 0; power <= 4; power++) {
            if (bitDepth == 1 << power && (form.depths & 1 << power) != 0) {
                return static_cast<uint16_t>(form.channels * bitDepth);
            }
        }
    }
    return 0;
}

}  // namespace

int IconPixelSize(uint8_t field) {
    return field == 0 ? 256 : field;
}

bool ReadIconImageDepth(const uint8_t *data, size_t size, bool *png, uint16_t *planes,
                        uint16_t *bitCount, std::string *error) {
    if (size >= PngSignatureSize && memcmp(data, PngSignature, PngSignatureSize) == 0) {
        *png = true;
        if (size < PngIhdrEnd || ReadBigEndian32(data + PngSignatureSize) != 13 ||
            memcmp(data + PngSignatureSize + 4, "IHDR", 4) != 0) {
            *error = "is a PNG without its IHDR chunk";
            return false;
        }
        const uint8_t *ihdr = data + PngSignatureSize + 8;
        *planes = 1;
        *bitCount = PngPixelBits(ihdr[9], ihdr[8]);
        if (*bitCount == 0) {
            *error = "is a PNG with colour type " + std::to_string(ihdr[9]) + " at bit depth " +
                     std::to_string(ihdr[8]) + ", which PNG does not allow";
            return false;
        }
        return true;
    }
    *png = false;
    if (size < 4) {
        *error = "is neither a PNG nor a bitmap (" + std::to_string(size) + " bytes)";
        return false;
    }
    uint32_t headerSize = ReadLittleEndian32(data);
    if (headerSize < BitmapInfoHeaderSize) {
        *error =
            "is neither a PNG nor a bitmap (it does not start with the PNG signature, "
            "and a BITMAPINFOHEADER would give its size as at least 40, not " +
            std::to_string(headerSize) + ")";
        return false;
    }
    if (headerSize > size) {
        *error = "is a bitmap whose " + std::to_string(headerSize) +
                 "-byte header does not fit its " + std::to_string(size) + " bytes";
        return false;
    }
    *planes = ReadLittleEndian16(data + 12);
    *bitCount = ReadLittleEndian16(data + 14);
    return true;
}

std::string ParseIconFile(const std::vector<uint8_t> &file, std::vector<IconImage> *images) {
    images->clear();
    if (file.size() < IconDirSize) {
        return "too short for an icon directory (" + std::to_string(file.size()) +
               " bytes, 6 needed)";
    }
    const uint8_t *bytes = file.data();
    uint16_t reserved = ReadLittleEndian16(bytes);
    uint16_t type = ReadLittleEndian16(bytes + 2);
    uint16_t count = ReadLittleEndian16(bytes + 4);
    if (reserved != 0) {
        return "not an icon file (its first word is " + std::to_string(reserved) + ", not 0)";
    }
    if (type == IconTypeCursor) {
        return "a cursor file (type 2), not an icon";
    }
    if (type != IconTypeIcon) {
        return "not an icon file (type " + std::to_string(type) + "; icons have type 1)";
    }
    if (count == 0) {
        return "the icon holds no images";
    }
    uint64_t directoryEnd = IconDirSize + static_cast<uint64_t>(count) * IconDirEntrySize;
    if (directoryEnd > file.size()) {
        return "the directory of " + std::to_string(count) +
               " entries runs past the end of the file (it needs " + std::to_string(directoryEnd) +
               " bytes, the file has " + std::to_string(file.size()) + ")";
    }
    for (size_t i = 0; i < count; i++) {
        const uint8_t *entry = bytes + IconDirSize + i * IconDirEntrySize;
        std::string which = "entry " + std::to_string(i + 1) + "'s image ";
        uint32_t size = ReadLittleEndian32(entry + 8);
        uint32_t offset = ReadLittleEndian32(entry + 12);
        if (size == 0) {
            return which + "is empty (0 bytes)";
        }
        if (static_cast<uint64_t>(offset) + size > file.size()) {
            return which + "runs past the end of the file (offset " + std::to_string(offset) +
                   ", " + std::to_string(size) + " bytes, the file has " +
                   std::to_string(file.size()) + ")";
        }
        IconImage image;
        image.width = entry[0];
        image.height = entry[1];
        image.colorCount = entry[2];
        image.reserved = entry[3];
        image.planes = ReadLittleEndian16(entry + 4);
        image.bitCount = ReadLittleEndian16(entry + 6);
        uint16_t planes = 0;
        uint16_t bitCount = 0;
        std::string problem;
        if (!ReadIconImageDepth(bytes + offset, size, &image.png, &planes, &bitCount, &problem)) {
            return which + problem;
        }
        if (image.planes == 0 && image.bitCount == 0) {
            image.planes = planes;
            image.bitCount = bitCount;
        }
        image.data.assign(bytes + offset, bytes + offset + size);
        images->push_back(std::move(image));
    }
    return "";
}
