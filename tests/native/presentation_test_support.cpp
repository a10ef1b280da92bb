// Minimal PE images, signing, and building presentations for the tests.
#include "presentation_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const size_t PeOffset = 0x80;
const size_t OptionalHeaderOffset = PeOffset + 4 + 20;

size_t SecurityEntryOffset(bool pe32Plus) {
    return OptionalHeaderOffset + (pe32Plus ? 112 : 96) + 4 * 8;
}

}  // namespace

uint32_t ReadWord(const std::vector<uint8_t> &bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void WriteWord(std::vector<uint8_t> *bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; i++) {
        (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<uint8_t> MakePeImage(bool pe32Plus, size_t size) {
    std::vector<uint8_t> image(size, 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteWord(&image, 0x3C, PeOffset);
    image[PeOffset] = 'P';
    image[PeOffset + 1] = 'E';
    uint16_t machine = pe32Plus ? 0x8664 : 0x14C;  // x86_64 or i386
    image[PeOffset + 4] = static_cast<uint8_t>(machine);
    image[PeOffset + 5] = static_cast<uint8_t>(machine >> 8);
    image[PeOffset + 4 + 18] = 0x02;  // an executable image
    uint16_t optionalSize = pe32Plus ? 240 : 224;
    image[PeOffset + 4 + 16] = static_cast<uint8_t>(optionalSize);
    image[PeOffset + 4 + 17] = static_cast<uint8_t>(optionalSize >> 8);
    image[OptionalHeaderOffset] = 0x0B;  // 0x10B or 0x20B
    image[OptionalHeaderOffset + 1] = pe32Plus ? 0x02 : 0x01;
    WriteWord(&image, OptionalHeaderOffset + (pe32Plus ? 108 : 92), 16);
    return image;
}

std::vector<uint8_t> MakePlayerLibrary(bool pe32Plus, const std::string &exportName, size_t size) {
    const size_t section = 0x200;  // one section, at RVA 0x1000, holding the export directory
    const uint32_t rva = 0x1000;
    std::vector<uint8_t> image = MakePeImage(pe32Plus, 2 * section);
    image[PeOffset + 4 + 2] = 1;                           // one section
    WriteWord(&image, OptionalHeaderOffset + 32, 0x1000);  // SectionAlignment, FileAlignment
    WriteWord(&image, OptionalHeaderOffset + 36, 0x200);
    image[PeOffset + 4 + 19] |= 0x20;  // a DLL
    size_t table = OptionalHeaderOffset + (pe32Plus ? 240 : 224);
    // VirtualSize ends right after the name, as linkers write it; then
    // VirtualAddress, and the raw size and start.
    WriteWord(&image, table + 8, static_cast<uint32_t>(0x50 + exportName.size() + 1));
    WriteWord(&image, table + 12, rva);
    WriteWord(&image, table + 16, section);
    WriteWord(&image, table + 20, section);
    WriteWord(&image, OptionalHeaderOffset + (pe32Plus ? 112 : 96), rva);  // the export directory
    WriteWord(&image, OptionalHeaderOffset + (pe32Plus ? 116 : 100), 0x100);
    WriteWord(&image, section + 24, exportName.empty() ? 0 : 1);  // one name
    WriteWord(&image, section + 32, rva + 0x40);                  // its RVA at 0x40
    WriteWord(&image, section + 0x40, rva + 0x50);                // the name at 0x50
    std::copy(exportName.begin(), exportName.end(), image.begin() + section + 0x50);
    if (size > image.size()) {  // the rest as data after the image, like a player's resources
        std::vector<uint8_t> rest = SampleBytes(size - image.size(), 7);
        image.insert(image.end(), rest.begin(), rest.end());
    }
    return image;
}

void SetSecurityDirectory(std::vector<uint8_t> *image, bool pe32Plus, uint32_t offset,
                          uint32_t size) {
    WriteWord(image, SecurityEntryOffset(pe32Plus), offset);
    WriteWord(image, SecurityEntryOffset(pe32Plus) + 4, size);
}

void AppendCertificateTable(std::vector<uint8_t> *file, bool pe32Plus, uint32_t tableSize) {
    file->resize((file->size() + 7) / 8 * 8, 0);
    uint32_t offset = static_cast<uint32_t>(file->size());
    file->resize(file->size() + tableSize, 0x30);
    WriteWord(file, offset, tableSize);       // dwLength
    WriteWord(file, offset + 4, 0x00020200);  // revision 2.0, PKCS#7 signed data
    SetSecurityDirectory(file, pe32Plus, offset, tableSize);
}

std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed) {
    static const char Words[][8] = {"slide ", "title ", "fade ", "next ", "image ", "\n"};
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        if (random() % 8 == 0) {
            bytes.push_back(static_cast<uint8_t>(random()));
            continue;
        }
        for (const char *c = Words[random() % 6]; *c != '\0' && bytes.size() < size; c++) {
            bytes.push_back(static_cast<uint8_t>(*c));
        }
    }
    return bytes;
}

std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t &byte : bytes) {
        byte = static_cast<uint8_t>(random() >> 24);
    }
    return bytes;
}

BuildEntry MakeEntry(const std::string &name, const std::string &extension,
                     std::vector<uint8_t> data, bool compressed, EntryGroup group) {
    BuildEntry entry;
    entry.name = name;
    entry.outputExtension = extension;
    entry.compressed = compressed;
    entry.group = group;
    entry.data = std::move(data);
    return entry;
}

std::vector<uint8_t> BuildOrFail(const BuildRequest &request) {
    std::vector<uint8_t> output;
    std::string error;
    EXPECT_TRUE(BuildPresentation(request, &output, &error)) << error;
    return output;
}

std::string BuildError(const BuildRequest &request) {
    std::vector<uint8_t> output;
    std::string error;
    return BuildPresentation(request, &output, &error) ? "" : error;
}

// A bitmap icon image: BITMAPINFOHEADER (height doubled for the mask), pixels, mask.
std::vector<uint8_t> MakeDib(uint32_t size, uint16_t bits, uint8_t fill) {
    uint32_t pixels = size * ((size * bits + 31) / 32 * 4) + size * ((size + 31) / 32 * 4);
    std::vector<uint8_t> dib(40 + (bits <= 8 ? 4u << bits : 0) + pixels, fill);
    WriteWord(&dib, 0, 40);
    WriteWord(&dib, 4, size);
    WriteWord(&dib, 8, 2 * size);
    WriteWord(&dib, 12, 1u | static_cast<uint32_t>(bits) << 16);  // planes, bit count
    std::fill(dib.begin() + 16, dib.begin() + 40, 0);             // BI_RGB, no sizes, full palette
    return dib;
}

// A PNG's signature and IHDR chunk (RGBA, 8 bits), then filler standing in
// for its compressed data.
std::vector<uint8_t> MakePng(uint32_t size) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0,
                                13,   'I', 'H', 'D', 'R',  0,    0,    0,    0, 0, 0,
                                0,    0,   8,   6,   0,    0,    0,    1,    2, 3, 4};
    for (int i = 0; i < 4; i++) {
        png[16 + i] = png[20 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    }
    png.resize(3000, 0x5A);
    return png;
}

std::vector<uint8_t> MakeIco(const std::vector<IcoImage> &images) {
    std::vector<uint8_t> ico = {0, 0, 1, 0, static_cast<uint8_t>(images.size()), 0};
    uint32_t at = static_cast<uint32_t>(6 + 16 * images.size());
    for (const IcoImage &image : images) {
        std::vector<uint8_t> entry(16, 0);
        entry[0] = entry[1] = image.width;
        entry[4] = image.bitCount != 0 ? 1 : 0;
        entry[6] = static_cast<uint8_t>(image.bitCount);
        WriteWord(&entry, 8, static_cast<uint32_t>(image.data.size()));
        WriteWord(&entry, 12, at);
        ico.insert(ico.end(), entry.begin(), entry.end());
        at += static_cast<uint32_t>(image.data.size());
    }
    for (const IcoImage &image : images) {
        ico.insert(ico.end(), image.data.begin(), image.data.end());
    }
    return ico;
}

std::vector<IcoImage> SampleIcoImages() {
    return {{16, 8, MakeDib(16, 8, 0x11)}, {32, 32, MakeDib(32, 32, 0x22)}, {0, 0, MakePng(256)}};
}
