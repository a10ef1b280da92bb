// A launcher image's icon and version information: rewritten in real MinGW
// images (i686 and x86_64, linked with the launcher's own resources), read
// back through lumpack's reader and through wrestool, the image checked to
// stay a consistent PE file; and every bad .ico, version text and image
// refused with its reason.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "common/byte_order.h"
#include "icon_file.h"
#include "pe_resources.h"
#include "presentation_reader.h"
#include "presentation_test_support.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return bytes;
    }
    int c;
    while ((c = fgetc(file)) != EOF) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    fclose(file);
    return bytes;
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    EXPECT_EQ(fclose(file), 0);
}

// wrestool's standard output for arguments on path.
std::vector<uint8_t> Wrestool(const std::string &arguments, const std::string &path) {
    std::string command = std::string(LUMV_WRESTOOL) + " " + arguments + " '" + path + "'";
    std::vector<uint8_t> output;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << command;
        return output;
    }
    int c;
    while ((c = fgetc(pipe)) != EOF) {
        output.push_back(static_cast<uint8_t>(c));
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
}

void Put32(std::vector<uint8_t> *bytes, size_t at, uint32_t value) {
    WriteLittleEndian32(bytes->data() + at, value);
}

const std::vector<VersionString> SampleStrings = {
    {"CompanyName", "Example Shows"},
    {"FileDescription", "春のプレゼンテーション 🌸"},
    {"FileVersion", "2.1 beta"},
    {"LegalCopyright", "(c) 2024"},
};

// Headers read independently of the code under test.
struct Headers {
    uint32_t optional, sections, count, fileAlignment, sectionAlignment, sizeOfImage, checksum;
    uint32_t directories;
};

Headers ReadHeaders(const std::vector<uint8_t> &image) {
    Headers h;
    uint32_t coff = ReadLittleEndian32(image.data() + 0x3C) + 4;
    h.count = ReadLittleEndian16(image.data() + coff + 2);
    h.optional = coff + 20;
    h.sections = h.optional + ReadLittleEndian16(image.data() + coff + 16);
    h.sectionAlignment = ReadLittleEndian32(image.data() + h.optional + 32);
    h.fileAlignment = ReadLittleEndian32(image.data() + h.optional + 36);
    h.sizeOfImage = ReadLittleEndian32(image.data() + h.optional + 56);
    h.checksum = ReadLittleEndian32(image.data() + h.optional + 64);
    bool plus = ReadLittleEndian16(image.data() + h.optional) == 0x20B;
    h.directories = h.optional + (plus ? 112 : 96);
    return h;
}

uint32_t Field(const std::vector<uint8_t> &image, uint32_t at) {
    return ReadLittleEndian32(image.data() + at);
}

// Raw spans inside the file, back to back without overlap, memory ascending
// and aligned, SizeOfImage covering the last section, the resource and base
// relocation directories on .rsrc and .reloc, and no data after the last
// section. Returns the .reloc section's bytes.
std::vector<uint8_t> CheckLayout(const std::vector<uint8_t> &image) {
    Headers h = ReadHeaders(image);
    uint32_t rawEnd = 0;
    uint32_t virtualEnd = 0;
    std::vector<uint8_t> relocations;
    for (uint32_t i = 0; i < h.count; i++) {
        uint32_t at = h.sections + 40 * i;
        std::string name(reinterpret_cast<const char *>(image.data() + at), 6);
        uint32_t virtualSize = Field(image, at + 8), address = Field(image, at + 12);
        uint32_t rawSize = Field(image, at + 16), rawPointer = Field(image, at + 20);
        EXPECT_GE(address, virtualEnd) << name;
        EXPECT_EQ(address % h.sectionAlignment, 0u) << name;
        EXPECT_EQ(rawSize % h.fileAlignment, 0u) << name;
        virtualEnd = (address + virtualSize + h.sectionAlignment - 1) & ~(h.sectionAlignment - 1);
        if (rawSize != 0) {
            EXPECT_GE(rawPointer, rawEnd) << name;
            EXPECT_LE(rawPointer + static_cast<uint64_t>(rawSize), image.size()) << name;
            rawEnd = rawPointer + rawSize;
        }
        if (name.compare(0, 5, ".rsrc") == 0) {
            EXPECT_EQ(Field(image, h.directories + 16), address);
            EXPECT_EQ(Field(image, h.directories + 20), virtualSize);
        }
        if (name.compare(0, 6, ".reloc") == 0) {
            EXPECT_EQ(Field(image, h.directories + 40), address);
            relocations.assign(image.begin() + rawPointer,
                               image.begin() + rawPointer + Field(image, h.directories + 44));
        }
    }
    EXPECT_EQ(h.sizeOfImage, virtualEnd);
    EXPECT_EQ(rawEnd, image.size());
    EXPECT_FALSE(relocations.empty());
    return relocations;
}

class ImageResourcesTest : public testing::TestWithParam<const char *> {
protected:
    void SetUp() override { launcher = ReadBytes(GetParam()); }

    std::vector<uint8_t> Rewrite(const ResourceChanges &changes) {
        std::vector<uint8_t> out;
        std::string error = RewriteImageResources(launcher, changes, &out);
        EXPECT_EQ(error, "");
        return out;
    }

    std::string SavedAs(const std::vector<uint8_t> &image, const char *name) {
        std::string path = testing::TempDir() + name + std::string(".exe");
        WriteBytes(path, image);
        return path;
    }

    std::vector<uint8_t> launcher;
};

TEST_P(ImageResourcesTest, NewIconAndVersionReadBackAndOtherResourcesKept) {
    ResourceChanges changes = {MakeIco(SampleIcoImages()), SampleStrings};
    std::vector<uint8_t> image = Rewrite(changes);
    ASSERT_FALSE(image.empty());
    std::vector<uint8_t> relocations = CheckLayout(image);
    EXPECT_EQ(relocations, CheckLayout(launcher));
    // The linker set the checksum; it is recomputed by the standard rule.
    uint32_t oldChecksum = ReadHeaders(launcher).checksum;
    ASSERT_NE(oldChecksum, 0u);
    MemoryByteReader file = MakeMemoryByteReader(launcher.data(), launcher.size());
    PeImageView view;
    std::string error;
    ASSERT_TRUE(ReadPeImageView(&file.reader, launcher.size(), &view, &error));
    EXPECT_EQ(PeChecksum(launcher, view), oldChecksum);
    EXPECT_EQ(ReadHeaders(image).checksum, PeChecksum(image, view));

    // Read back through the reader, with a payload after the image.
    std::vector<uint8_t> presentation = image;
    presentation.resize(image.size() + 777, 0xEE);
    file = MakeMemoryByteReader(presentation.data(), presentation.size());
    ImageResources read;
    ASSERT_TRUE(ReadImageResources(&file.reader, presentation.size(), &read, &error)) << error;
    std::vector<IcoImage> ico = SampleIcoImages();
    ASSERT_EQ(read.icons.size(), ico.size());
    const int sizes[] = {16, 32, 256};
    const uint16_t bits[] = {8, 32, 32};
    for (size_t i = 0; i < ico.size(); i++) {
        EXPECT_EQ(read.icons[i].id, i + 1);
        EXPECT_EQ(read.icons[i].width, sizes[i]);
        EXPECT_EQ(read.icons[i].bitCount, bits[i]);
        EXPECT_EQ(read.icons[i].png, i == 2);
        EXPECT_EQ(read.icons[i].data, ico[i].data);
    }
    ASSERT_TRUE(read.hasVersion);
    EXPECT_EQ(read.version.tableKey, "040904B0");
    EXPECT_EQ(read.version.language, 0x0409);
    EXPECT_EQ(read.version.codePage, 1200);
    ASSERT_EQ(read.version.strings.size(), SampleStrings.size());
    for (size_t i = 0; i < SampleStrings.size(); i++) {
        EXPECT_EQ(read.version.strings[i].key, SampleStrings[i].key);
        EXPECT_EQ(read.version.strings[i].value, SampleStrings[i].value);
    }
    const uint16_t version[4] = {2, 1, 0, 0};  // ProductVersion missing: FileVersion's
    EXPECT_TRUE(std::equal(version, version + 4, read.version.fileVersion));
    EXPECT_TRUE(std::equal(version, version + 4, read.version.productVersion));

    // wrestool sees the same: three icons, their group as the .ico's images,
    // the string table and manifest unchanged.
    std::string before = SavedAs(launcher, "resources-before");
    std::string after = SavedAs(image, "resources-after");
    std::string listing;
    for (uint8_t c : Wrestool("-l", after)) {
        listing.push_back(static_cast<char>(c));
    }
    EXPECT_NE(listing.find("--type=3 --name=3 --language=0"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("--type=3 --name=4"), std::string::npos) << listing;
    std::vector<IconImage> extracted;
    EXPECT_EQ(ParseIconFile(Wrestool("-x -t14", after), &extracted), "");
    ASSERT_EQ(extracted.size(), ico.size());
    for (size_t i = 0; i < ico.size(); i++) {
        EXPECT_EQ(extracted[i].data, ico[i].data);
        EXPECT_EQ(Wrestool("-x --raw -t3 -n" + std::to_string(i + 1), after), ico[i].data);
    }
    for (const char *type : {"-t6", "-t24"}) {
        std::vector<uint8_t> old = Wrestool(std::string("-x --raw ") + type, before);
        EXPECT_FALSE(old.empty());
        EXPECT_EQ(Wrestool(std::string("-x --raw ") + type, after), old) << type;
    }
    std::vector<uint8_t> block = Wrestool("-x --raw -t16", after);
    VersionInfo info;
    ASSERT_TRUE(ParseVersionResource(block.data(), block.size(), &info, &error)) << error;
    EXPECT_EQ(info.strings.size(), SampleStrings.size());

    // A second rewrite replaces the icons instead of adding to them, and a
    // smaller one shrinks the section with the image staying consistent.
    ResourceChanges small = {MakeIco({{16, 4, MakeDib(16, 4, 0x33)}}), {{"ProductName", "x"}}};
    launcher = image;
    std::vector<uint8_t> again = Rewrite(changes);
    EXPECT_EQ(again, image);
    std::vector<uint8_t> smaller = Rewrite(small);
    EXPECT_LT(smaller.size(), image.size());
    EXPECT_EQ(CheckLayout(smaller), relocations);
    file = MakeMemoryByteReader(smaller.data(), smaller.size());
    ASSERT_TRUE(ReadImageResources(&file.reader, smaller.size(), &read, &error)) << error;
    ASSERT_EQ(read.icons.size(), 1u);
    EXPECT_EQ(read.version.strings.size(), 1u);
}

// Images the rewrite refuses, each made from the real one.
TEST_P(ImageResourcesTest, RefusesImagesItCannotRewriteSafely) {
    Headers h = ReadHeaders(launcher);
    struct Case {
        const char *what;
        void (*damage)(std::vector<uint8_t> *image, const Headers &h);
        const char *reason;
    } cases[] = {
        {"no resources",
         [](std::vector<uint8_t> *i, const Headers &hd) { Put32(i, hd.directories + 16, 0); },
         "launcher image has no resource section"},
        {"appended data",
         [](std::vector<uint8_t> *i, const Headers &) { i->resize(i->size() + 16, 1); },
         "16 bytes after its last section"},
        {".reloc not the relocations",
         [](std::vector<uint8_t> *i, const Headers &hd) { Put32(i, hd.directories + 40, 0); },
         "(.reloc) follows section"},
        {"signed",
         [](std::vector<uint8_t> *i, const Headers &hd) { Put32(i, hd.directories + 36, 8); },
         "launcher image is signed"},
        {"directory past its section",
         [](std::vector<uint8_t> *i, const Headers &hd) {
             Put32(i, hd.directories + 20, 0x100000);
         },
         "does not lie inside one section"},
        {"tree looping to its root",
         [](std::vector<uint8_t> *i, const Headers &hd) {
             uint32_t rsrc = Field(*i, hd.directories + 16);
             for (uint32_t s = 0; s < hd.count; s++) {
                 if (Field(*i, hd.sections + 40 * s + 12) == rsrc) {
                     Put32(i, Field(*i, hd.sections + 40 * s + 20) + 20, 0x80000000u);
                 }
             }
         },
         "directory where a language should lead to data"},
    };
    ResourceChanges changes = {MakeIco(SampleIcoImages()), SampleStrings};
    for (const Case &c : cases) {
        std::vector<uint8_t> image = launcher;
        c.damage(&image, h);
        std::vector<uint8_t> out;
        std::string error = RewriteImageResources(image, changes, &out);
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(out.empty()) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(MinGW, ImageResourcesTest,
                         testing::Values(LUMV_RESOURCE_IMAGE_I686, LUMV_RESOURCE_IMAGE_X86_64));

TEST(IconFile, RefusesBrokenFilesWithTheReason) {
    std::vector<uint8_t> good = MakeIco(SampleIcoImages());
    size_t png = good.size() - 3000;
    struct Case {
        size_t at;  // where value goes (as a 16-bit word), or SIZE_MAX to cut the file there
        size_t value;
        std::string reason;
    } cases[] = {
        {SIZE_MAX, 5, "too short for an icon directory (5 bytes, 6 needed)"},
        {0, 1, "not an icon file (its first word is 1, not 0)"},
        {2, 2, "a cursor file (type 2), not an icon"},
        {4, 0, "the icon holds no images"},
        {4, 1000, "the directory of 1000 entries runs past the end of the file"},
        {SIZE_MAX, 40, "the directory of 3 entries runs past the end of the file (it needs 54"},
        {6 + 16 * 2 + 8, 0, "entry 3's image is empty"},
        {SIZE_MAX, good.size() - 1,
         "entry 3's image runs past the end of the file (offset " + std::to_string(png) +
             ", 3000 bytes, the file has " + std::to_string(good.size() - 1) + ")"},
        {6 + 16 + 12, 6 + 16 * 3 + 4, "entry 2's image is neither a PNG nor a bitmap"},
        {6 + 16 + 12, 6 + 16 * 3 + 1, "entry 2's image is a bitmap whose 268435456-byte header"},
        {png + 25, 7, "entry 3's image is a PNG with colour type 7"},
        {png + 12, 0, "entry 3's image is a PNG without its IHDR chunk"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> file = good;
        if (c.at == SIZE_MAX) {
            file.resize(c.value);
        } else {
            file[c.at] = static_cast<uint8_t>(c.value);
            file[c.at + 1] = static_cast<uint8_t>(c.value >> 8);
        }
        std::vector<IconImage> images;
        std::string error = ParseIconFile(file, &images);
        EXPECT_EQ(error.compare(0, c.reason.size(), c.reason), 0)
            << c.reason << "\n got: " << error;
    }
    std::vector<IconImage> images;
    ASSERT_EQ(ParseIconFile(good, &images), "");
    EXPECT_EQ(images[2].planes, 1);  // from the PNG's IHDR: RGBA, 8 bits
    EXPECT_EQ(images[2].bitCount, 32);
}

TEST(VersionResource, RefusesBadStringsNamingTheKey) {
    struct Case {
        std::vector<VersionString> strings;
        const char *reason;
    } cases[] = {
        {{{"Version", "1"}}, "unknown version key \"Version\"; the keys are Comments, CompanyName"},
        {{{"companyname", "x"}}, "unknown version key \"companyname\""},
        {{{"Comments", "a"}, {"Comments", "b"}}, "version key Comments is given twice"},
        {{{"ProductName", ""}}, "version key ProductName has an empty value"},
        {{{"ProductName", std::string("a\0b", 3)}},
         "the value of version key ProductName holds a NUL"},
        {{{"InternalName", "\xC3\x28"}},
         "the value of version key InternalName is not valid UTF-8"},
        {{{"InternalName", "\xED\xA0\x80"}}, "the value of version key InternalName is not valid"},
        {{{"FileVersion", "1.70000"}},
         "version key FileVersion \"1.70000\" has a number over 65535"},
        {{{"Comments", std::string(40000, 'x')}}, "the version texts take more than the 65535"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> block;
        std::string error = BuildVersionResource(c.strings, 0x0409, &block);
        EXPECT_EQ(error.compare(0, strlen(c.reason), c.reason), 0)
            << c.reason << "\n got: " << error;
    }
}

TEST(VersionResource, FixedVersionsFromTheTexts) {
    struct Case {
        std::vector<VersionString> strings;
        uint16_t file[4];
        uint16_t product[4];
    } cases[] = {
        {{{"FileVersion", "1.2.3.4"}, {"ProductVersion", "5.6"}}, {1, 2, 3, 4}, {5, 6, 0, 0}},
        {{{"ProductVersion", "7 final"}}, {7, 0, 0, 0}, {7, 0, 0, 0}},
        {{{"FileVersion", "beta"}, {"ProductVersion", "3.1.4.1.5"}}, {3, 1, 4, 1}, {3, 1, 4, 1}},
        {{{"ProductName", "x"}}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> block;
        ASSERT_EQ(BuildVersionResource(c.strings, 0x0411, &block), "");
        EXPECT_EQ(block.size() % 4, 0u);
        VersionInfo info;
        std::string error;
        ASSERT_TRUE(ParseVersionResource(block.data(), block.size(), &info, &error)) << error;
        EXPECT_TRUE(std::equal(c.file, c.file + 4, info.fileVersion)) << c.strings[0].value;
        EXPECT_TRUE(std::equal(c.product, c.product + 4, info.productVersion));
        EXPECT_EQ(info.tableKey, "041104B0");
        // Cut anywhere, the block is refused or read without reading past it.
        for (size_t cut = 0; cut < block.size(); cut++) {
            std::vector<uint8_t> part(block.begin(), block.begin() + cut);
            VersionInfo partial;
            if (ParseVersionResource(part.data(), part.size(), &partial, &error)) {
                EXPECT_LE(partial.strings.size(), c.strings.size());
            }
        }
    }
}

}  // namespace
