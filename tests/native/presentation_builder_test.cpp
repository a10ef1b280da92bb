// Building presentations: the layout the launcher expects (header after the
// image, content after the header, exe-folder entries first, 8-byte
// alignment before the trailer) and every request the launcher could not
// unpack as meant, refused with the entry named.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "presentation_builder.h"
#include "presentation_reader.h"
#include "presentation_test_support.h"

namespace {

BuildRequest SampleRequest() {
    BuildRequest request;
    request.launcherImage = MakePeImage(false, 700);
    request.content = SampleBytes(333, 1);
    request.entries.push_back(MakeEntry("lumv", "dll",
                                        MakePlayerLibrary(false, "LumivanceMain", 5000), true,
                                        EntryGroup::TempFolder));
    request.entries.push_back(MakeEntry("readme", "txt", SampleBytes(100, 3), false));
    request.entries.push_back(
        MakeEntry("splash", "bmp", SampleBytes(64, 4), false, EntryGroup::TempFolder));
    request.entries.push_back(MakeEntry("notes", "txt", SampleBytes(900, 5), true));
    return request;
}

PayloadHeader HeaderOf(const std::vector<uint8_t> &file) {
    uint32_t offset = ReadWord(file, file.size() - 4);
    PayloadHeader header;
    ParsePayloadHeader(file.data() + offset, &header);
    return header;
}

TEST(BuildPresentation, LaysOutImageHeaderContentEntriesPaddingTrailer) {
    BuildRequest request = SampleRequest();
    request.reserved[0] = 80;
    request.reserved[1] = -192;
    std::vector<uint8_t> file = BuildOrFail(request);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.size() % 8, 0u);
    EXPECT_TRUE(
        std::equal(request.launcherImage.begin(), request.launcherImage.end(), file.begin()));
    EXPECT_EQ(ReadWord(file, file.size() - 4), 700u);

    PayloadHeader header = HeaderOf(file);
    EXPECT_TRUE(HasPayloadMagic(&header));
    EXPECT_EQ(header.contentOffset, 700 + PayloadHeaderSize);
    EXPECT_EQ(header.reserved[0], 80);
    EXPECT_EQ(header.reserved[1], -192);
    EXPECT_EQ(header.entryCount, 4);
    EXPECT_EQ(header.tempEntryCount, 2);
    EXPECT_TRUE(std::equal(request.content.begin(), request.content.end(),
                           file.begin() + header.contentOffset));

    // Exe-folder group first, then the temporary group, each in request order,
    // the entries' bytes back to back right after the content.
    const char *names[] = {"readme", "notes", "lumv", "splash"};
    const char *packed[] = {"txt", "tx_", "dl_", "bmp"};
    uint32_t at = 700 + PayloadHeaderSize + 333;
    for (int i = 0; i < 4; i++) {
        const PayloadEntry &entry = header.entries[i];
        EXPECT_STREQ(entry.name, names[i]);
        EXPECT_STREQ(entry.packedExtension, packed[i]);
        EXPECT_EQ(entry.dataOffset, static_cast<int32_t>(at)) << names[i];
        EXPECT_GT(entry.storedSize, 0);
        at += static_cast<uint32_t>(entry.storedSize);
    }
    EXPECT_EQ(
        memcmp(file.data() + header.entries[0].dataOffset, request.entries[1].data.data(), 100), 0);
    EXPECT_EQ(ReadWord(file, static_cast<size_t>(header.entries[2].dataOffset)), 5000u);
    // Only zero padding, fewer than 8 bytes, between the last entry and the trailer.
    EXPECT_LT(file.size() - 4 - at, 8u);
    for (size_t i = at; i < file.size() - 4; i++) {
        EXPECT_EQ(file[i], 0) << i;
    }
    for (int i = 4; i < PayloadMaxEntries; i++) {
        EXPECT_EQ(header.entries[i].dataOffset, 0);
        EXPECT_EQ(header.entries[i].name[0], '\0');
    }
}

TEST(BuildPresentation, EndsOnAMultipleOfEightWhateverTheSizes) {
    for (size_t image = 0; image < 9; image++) {
        for (size_t content = 0; content < 9; content++) {
            BuildRequest request;
            request.launcherImage.assign(image, 0x90);
            request.content.assign(content, 'c');
            request.entries.push_back(
                MakeEntry("a", "b", std::vector<uint8_t>(image + 1, 'a'), false));
            std::vector<uint8_t> file = BuildOrFail(request);
            EXPECT_EQ(file.size() % 8, 0u) << image << "/" << content;
            EXPECT_EQ(ReadWord(file, file.size() - 4), image);
        }
    }
}

TEST(BuildPresentation, AnEmptyFileToStoreIsWrittenAsAnEmptyStream) {
    BuildRequest request;
    request.launcherImage = MakePeImage(true);
    request.entries.push_back(MakeEntry("empty", "txt", {}, false));
    std::vector<uint8_t> file = BuildOrFail(request);
    PayloadHeader header = HeaderOf(file);
    // A stored size of 0 would mean "up to the payload's end".
    EXPECT_FALSE(IsStoredEntry(&header.entries[0]));
    EXPECT_STREQ(header.entries[0].packedExtension, "tx_");
    EXPECT_EQ(header.entries[0].storedSize, 4);
    EXPECT_EQ(ReadWord(file, static_cast<size_t>(header.entries[0].dataOffset)), 0u);
}

TEST(PackedExtensionFor, TakesTwoCharactersAndAnUnderscoreButNeverTheOutputExtension) {
    const char *const cases[][2] = {
        {"dll", "dl_"}, {"DLL", "DL_"}, {"x", "x_"},   {"", "_"},   {"bitmap", "bi_"},
        {"dl_", "d__"}, {"d__", "___"}, {"___", "__"}, {"_", "__"}, {"__", "___"}};
    for (const auto &c : cases) {
        EXPECT_EQ(PackedExtensionFor(c[0]), c[1]) << c[0];
        EXPECT_NE(PackedExtensionFor(c[0]), c[0]);
    }
}

struct Refusal {
    const char *what;
    void (*change)(BuildRequest *request);
    const char *message;  // a part of the expected error
};

void Expect(const Refusal &refusal) {
    BuildRequest request = SampleRequest();
    refusal.change(&request);
    std::string error = BuildError(request);
    EXPECT_NE(error.find(refusal.message), std::string::npos)
        << refusal.what << ": got \"" << error << "\"";
}

TEST(BuildPresentation, RefusesWhatTheLauncherCouldNotUnpackAndNamesTheEntry) {
    const Refusal refusals[] = {
        {"six entries",
         [](BuildRequest *r) {
             r->entries.push_back(MakeEntry("a", "b", {1}, false));
             r->entries.push_back(MakeEntry("c", "d", {1}, false));
         },
         "6 entries given, at most 5"},
        {"long name", [](BuildRequest *r) { r->entries[1].name = std::string(33, 'n'); },
         "entry 1 ("},
        {"long name says why", [](BuildRequest *r) { r->entries[1].name = std::string(33, 'n'); },
         "name is 33 characters long, at most 32"},
        {"long extension", [](BuildRequest *r) { r->entries[0].outputExtension = "abcdefg"; },
         "entry 3 (lumv.abcdefg): extension is 7 characters long, at most 6"},
        {"long packed", [](BuildRequest *r) { r->entries[0].packedExtension = "dl__"; },
         "entry 3 (lumv.dll): packed extension \"dl__\" is longer than 3"},
        {"packed equals output", [](BuildRequest *r) { r->entries[0].packedExtension = "dll"; },
         "entry 3 (lumv.dll): packed extension \"dll\" equals the output extension"},
        {"packed for stored", [](BuildRequest *r) { r->entries[1].packedExtension = "tx_"; },
         "entry 1 (readme.txt): a packed extension is only for compressed entries"},
        {"parent folder", [](BuildRequest *r) { r->entries[1].name = "..\\readme"; },
         "entry 1 (..\\readme.txt): the file would be written outside its folder"},
        {"rooted", [](BuildRequest *r) { r->entries[1].name = "/etc/readme"; },
         "outside its folder"},
        {"drive", [](BuildRequest *r) { r->entries[1].name = "C:readme"; }, "outside its folder"},
        {"dots and blanks", [](BuildRequest *r) { r->entries[1].name = "sub\\. .\\x"; },
         "outside its folder"},
        {"NUL", [](BuildRequest *r) { r->entries[1].name = std::string("read\0me", 7); },
         "entry 1 (read\\x00me.txt): name holds a NUL byte"},
        {"NUL in extension",
         [](BuildRequest *r) { r->entries[1].outputExtension = std::string("t\0t", 3); },
         "extension holds a NUL byte"},
        {"non-ASCII", [](BuildRequest *r) { r->entries[1].name = "caf\xC3\xA9"; },
         "non-ASCII byte \\xC3"},
        {"forbidden character", [](BuildRequest *r) { r->entries[1].name = "what?"; },
         "holds '?', which Windows does not allow"},
        {"separator in extension", [](BuildRequest *r) { r->entries[1].outputExtension = "t\\x"; },
         "holds a path separator"},
        {"device", [](BuildRequest *r) { r->entries[1].name = "sub\\Con "; }, "device name"},
        {"device with digit", [](BuildRequest *r) { r->entries[1].name = "lpt1"; }, "device name"},
        {"same file",
         [](BuildRequest *r) {
             r->entries[3].name = "README";
             r->entries[3].outputExtension = "TXT";
         },
         "entry 2 (README.TXT): writes the same file as entry 1 (readme.txt)"},
        {"same file but a trailing dot",
         [](BuildRequest *r) {
             r->entries[3].name = "readme";
             r->entries[3].outputExtension = "txt.";
         },
         "entry 2 (readme.txt.): writes the same file as entry 1 (readme.txt)"},
        {"same file but trailing blanks and case",
         [](BuildRequest *r) {
             r->entries[3].name = "README";
             r->entries[3].outputExtension = "Txt  ";
         },
         "writes the same file as entry 1"},
        {"sub-folder", [](BuildRequest *r) { r->entries[1].name = "sub/a"; },
         "entry 1 (sub/a.txt): the file name holds a path separator"},
        {"sub-folder, other separator", [](BuildRequest *r) { r->entries[3].name = "sub\\a"; },
         "entry 2 (sub\\a.txt): the file name holds a path separator"},
        {"image with a payload",
         [](BuildRequest *r) { r->launcherImage = BuildOrFail(SampleRequest()); },
         "already carries a presentation payload (header at 700)"},
        {"signed image",
         [](BuildRequest *r) { AppendCertificateTable(&r->launcherImage, false, 256); },
         "launcher image is signed"},
    };
    for (const Refusal &refusal : refusals) {
        Expect(refusal);
    }
}

TEST(BuildPresentation, AcceptsTheLimitsThemselves) {
    BuildRequest request = SampleRequest();
    request.entries.push_back(MakeEntry(std::string(32, 'n'), "abcdef", {1, 2, 3}, true));
    request.entries[2].name = "notes";  // the same file as entry 4, other group
    request.entries[2].outputExtension = "txt";
    request.entries[3].packedExtension = "zz";
    request.entries[0].name = "console";  // starts like a device, is none
    EXPECT_EQ(BuildError(request), "");
}

// --compress pays only where the stream is at least 1% smaller: otherwise
// the entry is stored, unless asked to keep its stream or it cannot be
// stored (no bytes, or an extension too long for a stored entry).
TEST(BuildPresentation, StoresACompressedEntryWhoseStreamDoesNotPay) {
    const std::vector<uint8_t> noise = NoiseBytes(20000, 1);
    const struct {
        const char *what;
        std::vector<uint8_t> data;
        const char *extension;
        bool keepStream;
        bool stored;
    } cases[] = {
        {"text", SampleBytes(20000, 8), "txt", false, false},
        {"noise", noise, "bin", false, true},
        {"noise, stream kept", noise, "bin", true, false},
        {"noise, extension too long to store", noise, "json", false, false},
        {"empty", {}, "txt", false, false},
    };
    for (const auto &c : cases) {
        BuildRequest request;
        request.launcherImage = MakePeImage(false, 700);
        request.entries.push_back(MakeEntry("e", c.extension, c.data, true));
        request.entries[0].keepStream = c.keepStream;
        std::vector<uint8_t> file;
        std::string error;
        std::vector<size_t> storedInstead;
        ASSERT_TRUE(BuildPresentation(request, &file, &error, nullptr, nullptr, &storedInstead))
            << c.what << ": " << error;
        Presentation p;
        ASSERT_TRUE(OpenPresentation(file.data(), file.size(), &p, &error)) << c.what;
        EXPECT_EQ(p.entries[0].stored, c.stored) << c.what;
        EXPECT_EQ(storedInstead, c.stored ? std::vector<size_t>{0} : std::vector<size_t>{})
            << c.what;
        std::vector<uint8_t> written;
        MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
        ASSERT_TRUE(ReadEntryData(&reader.reader, p, 0, &written, &error)) << c.what;
        EXPECT_TRUE(written == c.data) << c.what;
    }
}

}  // namespace
