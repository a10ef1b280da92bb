// The payload format's records and rules: the header's byte layout, magic
// and counts, stored or compressed, terminated fields, safe names, paths
// that must fit, and where a signed file's payload ends.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/path_rules.h"
#include "payload/payload_format.h"
#include "presentation_reader.h"
#include "presentation_test_support.h"

namespace {

PayloadHeader SampleHeader() {
    PayloadHeader header;
    memset(&header, 0, sizeof header);
    memcpy(header.magic, "10VL", 4);
    header.contentOffset = 0x01020304;
    header.reserved[0] = -1;
    header.reserved[1] = INT32_MIN;
    header.entryCount = 2;
    header.tempEntryCount = 1;
    header.entries[0].dataOffset = 0x7FFFFFFF;
    header.entries[0].storedSize = -2;
    strcpy(header.entries[0].name, "readme");
    strcpy(header.entries[0].packedExtension, "txt");
    strcpy(header.entries[0].outputExtension, "txt");
    memset(header.entries[4].name, 'n', PayloadNameSize);  // fields are copied whole
    strcpy(header.entries[4].outputExtension, "abcdef");
    return header;
}

TEST(PayloadHeader, StoresLittleEndianWordsAtTheirOffsetsAndParsesBack) {
    PayloadHeader header = SampleHeader();
    std::vector<uint8_t> bytes(PayloadHeaderSize, 0xEE);
    StorePayloadHeader(&header, bytes.data());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "10VL");
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4, bytes.begin() + 8),
              (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(ReadWord(bytes, 8), 0xFFFFFFFFu);
    EXPECT_EQ(ReadWord(bytes, 12), 0x80000000u);
    EXPECT_EQ(ReadWord(bytes, 16), 2u);
    EXPECT_EQ(ReadWord(bytes, 20), 1u);
    EXPECT_EQ(ReadWord(bytes, 24), 0x7FFFFFFFu);
    EXPECT_EQ(ReadWord(bytes, 28), 0xFFFFFFFEu);
    EXPECT_STREQ(reinterpret_cast<const char *>(&bytes[24 + 8]), "readme");
    EXPECT_STREQ(reinterpret_cast<const char *>(&bytes[24 + 41]), "txt");
    EXPECT_STREQ(reinterpret_cast<const char *>(&bytes[24 + 45]), "txt");
    EXPECT_EQ(bytes[24 + 4 * 52 + 8 + 32], 'n');
    EXPECT_STREQ(reinterpret_cast<const char *>(&bytes[24 + 4 * 52 + 45]), "abcdef");

    PayloadHeader parsed;
    ParsePayloadHeader(bytes.data(), &parsed);
    EXPECT_EQ(memcmp(&parsed, &header, sizeof header), 0);
    EXPECT_EQ(parsed.reserved[1], INT32_MIN);
    EXPECT_EQ(parsed.entries[0].storedSize, -2);
}

TEST(PayloadHeader, MagicIsExactlyTheFourBytes) {
    PayloadHeader header = SampleHeader();
    EXPECT_TRUE(HasPayloadMagic(&header));
    for (const char *other : {"10vl", "LV01", "10V\0", "00VL"}) {
        memcpy(header.magic, other, 4);
        EXPECT_FALSE(HasPayloadMagic(&header)) << other;
    }
}

TEST(PayloadHeader, CountsAreValidOnlyWithinTheirRanges) {
    struct Case {
        int32_t entries;
        int32_t temp;
        bool valid;
    };
    const Case cases[] = {{0, 0, true},
                          {5, 0, true},
                          {5, 5, true},
                          {3, 3, true},
                          {6, 0, false},
                          {-1, 0, false},
                          {2, 3, false},
                          {2, -1, false},
                          {0, 1, false},
                          {INT32_MAX, 0, false},
                          {INT32_MIN, INT32_MIN, false}};
    for (const Case &c : cases) {
        PayloadHeader header = SampleHeader();
        header.entryCount = c.entries;
        header.tempEntryCount = c.temp;
        EXPECT_EQ(PayloadCountsValid(&header), c.valid) << c.entries << "/" << c.temp;
        if (c.valid) {
            EXPECT_EQ(ExeFolderEntryCount(&header), c.entries - c.temp);
        }
    }
}

PayloadEntry EntryWith(const char *packed, const char *output) {
    PayloadEntry entry;
    memset(&entry, 0, sizeof entry);
    strcpy(entry.name, "x");
    strncpy(entry.packedExtension, packed, PayloadPackedExtensionSize);
    strncpy(entry.outputExtension, output, PayloadOutputExtensionSize);
    return entry;
}

TEST(PayloadEntry, StoredOnlyWhenBothExtensionsMatchByteForByte) {
    PayloadEntry same = EntryWith("dll", "dll");
    PayloadEntry empty = EntryWith("", "");
    PayloadEntry upper = EntryWith("DLL", "dll");
    PayloadEntry packed = EntryWith("dl_", "dll");
    PayloadEntry longer = EntryWith("bmp", "bmpx");
    PayloadEntry shorter = EntryWith("bm", "bmp");
    EXPECT_TRUE(IsStoredEntry(&same));
    EXPECT_TRUE(IsStoredEntry(&empty));
    EXPECT_FALSE(IsStoredEntry(&upper));
    EXPECT_FALSE(IsStoredEntry(&packed));
    EXPECT_FALSE(IsStoredEntry(&longer));
    EXPECT_FALSE(IsStoredEntry(&shorter));
}

TEST(PayloadEntry, EveryTextFieldMustEndInsideItself) {
    PayloadEntry entry = EntryWith("dl_", "dll");
    EXPECT_TRUE(EntryTextFieldsTerminated(&entry));
    PayloadEntry name = entry;
    memset(name.name, 'a', PayloadNameSize);
    PayloadEntry packed = entry;
    memset(packed.packedExtension, 'p', PayloadPackedExtensionSize);
    PayloadEntry output = entry;
    memset(output.outputExtension, 'o', PayloadOutputExtensionSize);
    for (const PayloadEntry *broken : {&name, &packed, &output}) {
        EXPECT_FALSE(EntryTextFieldsTerminated(broken));
        char path[PathBufferSize];
        EXPECT_FALSE(ComposeEntryPath(path, sizeof path, "C:\\Show\\", broken, nullptr));
    }
    name.name[PayloadNameSize - 1] = '\0';  // 32 characters fill the field exactly
    EXPECT_TRUE(EntryTextFieldsTerminated(&name));
}

TEST(EntryFileName, StaysInsideItsFolder) {
    struct Case {
        const char *name;
        const char *extension;
        bool safe;
    };
    const Case cases[] = {
        {"lumv", "dll", true},
        {"sub\\lumv", "dll", true},
        {"sub/lumv", "dll", true},
        {"...x", "txt", true},
        {"readme", "", true},
        {"a b", "c d", true},
        {"..", "", false},
        {".", "", false},
        {"", "", false},
        {"a\\..\\b", "txt", false},
        {"a/../b", "txt", false},
        {"a\\. .\\b", "txt", false},
        {"a\\...\\b", "txt", false},
        {"..\\evil", "dll", false},
        {"\\evil", "dll", false},
        {"/evil", "dll", false},
        {"C:x", "dll", false},
        {"x", "dll:s", false},
        {"sub\\", "", false},
        {". ", "", false},
        // Device names, whatever their case, extension or trailing blanks.
        {"con", "txt", false},
        {"sub\\Nul ", "x", false},
        {"LPT1", "", false},
        {"com9\\x", "txt", false},
        {"console", "txt", true},
        {"com0", "txt", true},
        {"lpt", "txt", true},
        {"auxiliary", "txt", true},
        // Superscript 1, 2 and 3 count as digits; the console and clock devices.
        {"COM\xB9", "txt", false},
        {"lpt\xB3", "", false},
        {"sub\\com\xB2 ", "x", false},
        {"CONIN$", "txt", false},
        {"conout$ ", "", false},
        {"sub\\Clock$", "dat", false},
        {"com\xB4", "txt", true},
        {"lpt\xB9\xB9", "txt", true},
        {"conin", "txt", true},
        {"conout$x", "txt", true},
        {"clock", "txt", true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(EntryFileNameIsSafe(c.name, c.extension), c.safe)
            << "\"" << c.name << "\" . \"" << c.extension << "\"";
    }
}

TEST(EntryFileName, ComposedPathMustFitThePathBuffer) {
    PayloadEntry entry = EntryWith("dl_", "dll");
    strcpy(entry.name, "lumv");  // "lumv.dll": 8 characters
    std::string folder(PathBufferSize - 1 - 8 - 1, 'f');
    folder += '\\';  // now exactly 259 characters with the file name
    std::vector<char> path(PathBufferSize + 16, '#');
    ASSERT_TRUE(ComposeEntryPath(path.data(), PathBufferSize, folder.c_str(), &entry, nullptr));
    EXPECT_EQ(std::string(path.data()), folder + "lumv.dll");
    folder.insert(0, "f");
    std::fill(path.begin(), path.end(), '#');
    EXPECT_FALSE(ComposeEntryPath(path.data(), PathBufferSize, folder.c_str(), &entry, nullptr));
    EXPECT_EQ(path[PathBufferSize], '#');  // nothing written past the buffer
    strcpy(entry.name, "..\\lumv");
    EXPECT_FALSE(ComposeEntryPath(path.data(), PathBufferSize, "C:\\", &entry, nullptr));
}

uint32_t PayloadEndOf(const std::vector<uint8_t> &file) {
    MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
    return FindPayloadEnd(&reader.reader, static_cast<uint32_t>(file.size()));
}

TEST(FindPayloadEnd, StopsAtACertificateTableEndingTheFile) {
    for (bool pe32Plus : {false, true}) {
        SCOPED_TRACE(pe32Plus ? "PE32+" : "PE32");
        std::vector<uint8_t> file = MakePeImage(pe32Plus, 1003);
        AppendCertificateTable(&file, pe32Plus, 600);
        EXPECT_EQ(PayloadEndOf(file), 1008u);

        std::vector<uint8_t> longer = file;  // something after the table
        longer.push_back(0);
        EXPECT_EQ(PayloadEndOf(longer), longer.size());

        std::vector<uint8_t> empty = MakePeImage(pe32Plus, 1000);
        SetSecurityDirectory(&empty, pe32Plus, 1000, 0);
        EXPECT_EQ(PayloadEndOf(empty), 1000u);

        std::vector<uint8_t> beyond = MakePeImage(pe32Plus, 1000);
        SetSecurityDirectory(&beyond, pe32Plus, 900, 200);
        EXPECT_EQ(PayloadEndOf(beyond), 1000u);
    }
}

// A PE image of imageSize bytes, a header with the magic right after it,
// filler bytes and the trailer: what a builder that does not align writes.
std::vector<uint8_t> UnalignedPresentation(bool pe32Plus, size_t imageSize, size_t filler) {
    std::vector<uint8_t> file = MakePeImage(pe32Plus, imageSize);
    file.resize(imageSize + PayloadHeaderSize + filler, 0x11);
    memcpy(&file[imageSize], "10VL", 4);
    file.resize(file.size() + 4);
    WriteWord(&file, file.size() - 4, static_cast<uint32_t>(imageSize));
    return file;
}

TEST(FindPayloadEnd, FindsTheTrailerBeforeTheSigningToolsZeroPadding) {
    for (bool pe32Plus : {false, true}) {
        for (size_t filler = 0; filler < 8; filler++) {
            std::vector<uint8_t> file = UnalignedPresentation(pe32Plus, 1000, filler);
            size_t unsignedSize = file.size();
            SCOPED_TRACE(std::to_string(unsignedSize % 8) + " bytes past a multiple of 8");
            AppendCertificateTable(&file, pe32Plus, 600);
            uint32_t tableStart = static_cast<uint32_t>((unsignedSize + 7) / 8 * 8);
            EXPECT_EQ(PayloadEndOf(file), unsignedSize);

            // Where no trailer leads to the magic, the table's start, as before.
            std::vector<uint8_t> noMagic = file;
            noMagic[1000] = 'X';
            EXPECT_EQ(PayloadEndOf(noMagic), tableStart);
            // Only zero bytes are stepped over, and at most 7 of them.
            std::vector<uint8_t> marked = UnalignedPresentation(pe32Plus, 1000, filler);
            marked.push_back(1);
            std::vector<uint8_t> farBack = UnalignedPresentation(pe32Plus, 1000, filler);
            farBack.resize(farBack.size() + 8, 0);
            for (std::vector<uint8_t> *other : {&marked, &farBack}) {
                size_t size = other->size();
                AppendCertificateTable(other, pe32Plus, 600);
                EXPECT_EQ(PayloadEndOf(*other), (size + 7) / 8 * 8);
            }
        }
    }
}

TEST(FindPayloadEnd, IgnoresWhatIsNotAPeImageWithASecurityDirectory) {
    std::vector<uint8_t> signedFile = MakePeImage(false, 1000);
    AppendCertificateTable(&signedFile, false, 64);
    ASSERT_EQ(PayloadEndOf(signedFile), 1000u);

    std::vector<uint8_t> noMz = signedFile;
    noMz[0] = 'N';
    std::vector<uint8_t> noPe = signedFile;
    noPe[0x80] = 'X';
    std::vector<uint8_t> romImage = signedFile;
    romImage[0x80 + 24 + 1] = 0x01;
    romImage[0x80 + 24] = 0x07;  // magic 0x107
    std::vector<uint8_t> fewDirectories = signedFile;
    WriteWord(&fewDirectories, 0x80 + 24 + 92, 4);  // the security directory is the fifth
    std::vector<uint8_t> shortOptional = signedFile;
    shortOptional[0x80 + 4 + 16] = 128;  // ends before the security directory
    std::vector<uint8_t> farPe = signedFile;
    WriteWord(&farPe, 0x3C, 0xFFFFFFF0u);
    for (const std::vector<uint8_t> *file :
         {&noMz, &noPe, &romImage, &fewDirectories, &shortOptional, &farPe}) {
        EXPECT_EQ(PayloadEndOf(*file), file->size());
    }
    std::vector<uint8_t> nothing;
    EXPECT_EQ(PayloadEndOf(nothing), 0u);
    std::vector<uint8_t> tiny = {'M', 'Z', 0, 0};
    EXPECT_EQ(PayloadEndOf(tiny), 4u);
}

TEST(ReadPayloadHeaderFrom, FailsWithoutATrailerOrAWholeHeader) {
    std::vector<uint8_t> file(400, 0);
    memcpy(&file[10], "10VL", 4);
    WriteWord(&file, 396, 10);
    MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
    PayloadHeader header;
    int32_t offset = 0;
    EXPECT_TRUE(ReadPayloadHeaderFrom(&reader.reader, 400, &header, &offset));
    EXPECT_EQ(offset, 10);
    EXPECT_TRUE(HasPayloadMagic(&header));
    EXPECT_FALSE(ReadPayloadHeaderFrom(&reader.reader, 3, &header, &offset));
    WriteWord(&file, 396, 0xFFFFFFFFu);
    EXPECT_FALSE(ReadPayloadHeaderFrom(&reader.reader, 400, &header, &offset));
    EXPECT_EQ(offset, -1);
    WriteWord(&file, 396, 400 - 283);  // one byte short
    EXPECT_FALSE(ReadPayloadHeaderFrom(&reader.reader, 400, &header, &offset));
}

}  // namespace
