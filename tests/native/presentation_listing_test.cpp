// lumpack list's names and hashes: names read in a Windows code page with
// their bytes beside them, JSON that parses, and SHA-256 values that match
// the files that went in.
#include <openssl/evp.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "code_page_text.h"
#include "lumpack_cli_fixture.h"
#include "presentation_test_support.h"

namespace {

const char FFFD[] = "\xEF\xBF\xBD";

TEST(CodePageText, DecodesNamesAndMarksWhatHasNoCharacter) {
    struct Case {
        int codePage;
        std::string bytes;
        std::string utf8;
        std::string hex;
        bool replaced;
    } cases[] = {
        {1252, "r\xE9", "r\xC3\xA9", "72e9", false},
        {1252, "r\xC3\xA9", "r\xC3\x83\xC2\xA9", "72c3a9", false},  // UTF-8 read as 1252
        {1252, "\x80\x9F", "\xE2\x82\xAC\xC5\xB8", "809f", false},  // euro sign, Y diaeresis
        {1252, "a\x81z", std::string("a") + FFFD + "z", "61817a", true},
        {932, "\x95\x5C\x8E\xA6", "\xE8\xA1\xA8\xE7\xA4\xBA", "955c8ea6", false},  // the 0x5C trail
        {932, "\xB1", "\xEF\xBD\xB1", "b1", false},             // half-width katakana
        {932, "a\x95", std::string("a") + FFFD, "6195", true},  // lead byte cut short
        {932, "\x80x\xA0", std::string(FFFD) + "x" + FFFD, "8078a0", true},
        {932, "", "", "", false},
    };
    for (const Case &c : cases) {
        DecodedText decoded = DecodeCodePage(c.codePage, c.bytes);
        EXPECT_EQ(decoded.utf8, c.utf8) << c.codePage << " " << c.hex;
        EXPECT_EQ(decoded.replaced, c.replaced) << c.codePage << " " << c.hex;
        EXPECT_EQ(HexBytes(c.bytes), c.hex);
    }
}

TEST(CodePageText, KnowsOnlyItsCodePages) {
    struct Case {
        const char *text;
        int codePage;  // 0: refused
    } cases[] = {{"1252", 1252}, {"932", 932}, {"65001", 0}, {"1251", 0},
                 {"", 0},        {"cp932", 0}, {"-932", 0},  {"99999999999999", 0}};
    for (const Case &c : cases) {
        int codePage = -1;
        std::string error;
        EXPECT_EQ(ParseCodePage(c.text, &codePage, &error), c.codePage != 0) << c.text;
        if (c.codePage != 0) {
            EXPECT_EQ(codePage, c.codePage);
        } else {
            EXPECT_NE(error.find("unknown code page"), std::string::npos) << error;
        }
    }
}

std::string Sha256Of(const std::vector<uint8_t> &bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr), 1);
    return HexBytes(std::string(reinterpret_cast<char *>(digest), size));
}

class ListingCli : public LumpackCliTest {
protected:
    // Two entries beside the executable, one compressed and one stored; the
    // first entry's name becomes name (written straight into the header, so
    // any bytes go).
    void WriteShow(const std::string &name) {
        BuildRequest request;
        request.launcherImage = MakePeImage(false, 1024);
        request.content = content_;
        request.entries.push_back(MakeEntry("AAAA", "dll", library_, true));
        request.entries.push_back(MakeEntry("readme", "txt", readme_, false));
        std::vector<uint8_t> file = BuildOrFail(request);
        size_t nameAt = ReadWord(file, file.size() - 4) + 24 + 8;
        ASSERT_EQ(std::string(file.begin() + nameAt, file.begin() + nameAt + 5),
                  std::string("AAAA", 5));
        std::copy(name.begin(), name.end() + 1, file.begin() + nameAt);
        WriteBytes("show.exe", file);
    }

    nlohmann::json ListJson(const std::string &options) {
        CliResult list = Run("list --json " + options + " '" + Path("show.exe") + "'");
        EXPECT_EQ(list.exitCode, 0) << list.err;
        nlohmann::json json = nlohmann::json::parse(list.out, nullptr, false);
        EXPECT_FALSE(json.is_discarded()) << list.out;
        return json;
    }

    std::vector<uint8_t> content_ = SampleBytes(3000, 4);
    std::vector<uint8_t> library_ = SampleBytes(200000, 5);
    std::vector<uint8_t> readme_ = SampleBytes(400, 6);
};

TEST_F(ListingCli, JsonNamesAreReadInTheCodePageGiven) {
    struct Case {
        const char *options;
        std::string name;
        int codePage;
        std::string utf8;
        std::string hex;
        bool replaced;
    } cases[] = {
        {"", "r\xE9", 1252, "r\xC3\xA9", "72e9", false},
        {"--codepage 932", "\x95\x5C\x8E\xA6", 932, "\xE8\xA1\xA8\xE7\xA4\xBA", "955c8ea6", false},
        {"--codepage 1252",
         "\x8D"
         "a",
         1252, std::string(FFFD) + "a", "8d61", true},
    };
    for (const Case &c : cases) {
        WriteShow(c.name);
        nlohmann::json json = ListJson(c.options);
        ASSERT_TRUE(json.is_object()) << c.hex;
        EXPECT_EQ(json["schemaVersion"], 1);
        EXPECT_EQ(json["codePage"], c.codePage);
        const nlohmann::json &entry = json["entries"][0];
        EXPECT_EQ(entry["name"], c.utf8);
        EXPECT_EQ(entry["nameHex"], c.hex);
        EXPECT_EQ(entry["file"], c.utf8 + ".dll");
        EXPECT_EQ(entry["extensionHex"], "646c6c");
        EXPECT_EQ(entry["packedExtension"], "dl_");
        EXPECT_EQ(entry["textReplaced"], c.replaced);
        EXPECT_FALSE(entry.contains("sha256"));
        EXPECT_EQ(json["entries"][1]["textReplaced"], false);
    }
}

TEST_F(ListingCli, UnknownCodePagesAreRefused) {
    WriteShow("show");
    for (const char *options : {"--codepage 65001", "--codepage", "--codepage 437"}) {
        CliResult list = Run(std::string("list --json '") + Path("show.exe") + "' " + options);
        EXPECT_EQ(list.exitCode, 2) << options;
        EXPECT_EQ(list.out, "");
        EXPECT_NE(list.err.find("--codepage"), std::string::npos) << list.err;
    }
}

TEST_F(ListingCli, HashesAreThoseOfTheFilesThatWentIn) {
    WriteShow("lumv");
    nlohmann::json json = ListJson("--hashes");
    EXPECT_EQ(json["contentSha256"], Sha256Of(content_));
    EXPECT_EQ(json["entries"][0]["sha256"], Sha256Of(library_));
    EXPECT_EQ(json["entries"][1]["sha256"], Sha256Of(readme_));

    CliResult text = Run("list --hashes '" + Path("show.exe") + "'");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    for (const std::string &line : {"   1  " + Sha256Of(library_) + "  lumv.dll\n",
                                    "   2  " + Sha256Of(readme_) + "  readme.txt\n",
                                    "      " + Sha256Of(content_) + "  (content)\n"}) {
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;
    }
}

TEST_F(ListingCli, ADamagedEntryHasNoHashButTheOthersDo) {
    WriteShow("lumv");
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(Path("show.exe"), &file, &error));
    size_t entryAt = ReadWord(file, file.size() - 4) + 24;
    WriteWord(&file, entryAt + 4, 10);  // the stream cut short
    WriteBytes("show.exe", file);
    nlohmann::json json = ListJson("--hashes");
    EXPECT_TRUE(json["entries"][0]["sha256"].is_null()) << json.dump();
    EXPECT_NE(json["entries"][0]["sha256Error"].get<std::string>().find("entry 1"),
              std::string::npos);
    EXPECT_EQ(json["entries"][1]["sha256"], Sha256Of(readme_));
    EXPECT_EQ(json["contentSha256"], Sha256Of(content_));
}

}  // namespace
