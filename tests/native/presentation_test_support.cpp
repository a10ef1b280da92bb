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
    image[PeOffset + 4 + 18] = 0x02;  // an executable image
    uint16_t optionalSize = pe32Plus ? 240 : 224;
    image[PeOffset + 4 + 16] = static_cast<uint8_t>(optionalSize);
    image[PeOffset + 4 + 17] = static_cast<uint8_t>(optionalSize >> 8);
    image[OptionalHeaderOffset] = 0x0B;  // 0x10B or 0x20B
    image[OptionalHeaderOffset + 1] = pe32Plus ? 0x02 : 0x01;
    WriteWord(&image, OptionalHeaderOffset + (pe32Plus ? 108 : 92), 16);
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
