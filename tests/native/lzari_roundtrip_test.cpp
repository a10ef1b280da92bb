// The LZARI encoder against the classic coder's reference streams, and
// round trips through encoder and decoder at the sizes where windows,
// look-ahead and model limits turn over.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "file_io.h"
#include "lzari/lzari_encoder.h"
#include "lzari_reference.h"

namespace {

std::vector<std::string> VectorNames() {
    std::vector<std::string> names;
    DIR *folder = opendir(LUMV_LZARI_VECTORS);
    if (folder == nullptr) {
        return names;
    }
    while (dirent *entry = readdir(folder)) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0) {
            names.push_back(name.substr(0, name.size() - 4));
        }
    }
    closedir(folder);
    return names;
}

std::vector<uint8_t> ReadVector(const std::string &file) {
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_TRUE(ReadWholeFile(std::string(LUMV_LZARI_VECTORS) + "/" + file, &data, &error))
        << file << ": " << error;
    return data;
}

TEST(LzariVectors, ClassicStreamsDecodeAndOursAreTheSame) {
    std::vector<std::string> names = VectorNames();
    ASSERT_GE(names.size(), 5u) << "reference vectors missing in " LUMV_LZARI_VECTORS;
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> original = ReadVector(name + ".bin");
        std::vector<uint8_t> classic = ReadVector(name + ".lzari");
        std::vector<uint8_t> decoded;
        ASSERT_TRUE(LzariDecompress(classic.data(), classic.size(), &decoded));
        EXPECT_TRUE(decoded == original);

        // The encoder makes the classic coder's stream, byte for byte.
        std::vector<uint8_t> ours =
            LzariCompress(original.data(), original.size(), nullptr, nullptr, LzariParse::Greedy);
        EXPECT_TRUE(ours == classic) << "ours " << ours.size() << ", classic " << classic.size();
    }
}

// Every parse decodes to the data, with our decoder and the classic one.
// Returns the streams' sizes, by parse.
struct ParseSizes {
    size_t optimal, lazy, greedy;
};

ParseSizes ExpectRoundTrip(const std::vector<uint8_t> &data) {
    ParseSizes sizes = {0, 0, 0};
    const struct {
        LzariParse parse;
        const char *name;
        size_t *size;
    } parses[] = {{LzariParse::Optimal, "optimal", &sizes.optimal},
                  {LzariParse::Lazy, "lazy", &sizes.lazy},
                  {LzariParse::Greedy, "greedy", &sizes.greedy}};
    for (const auto &p : parses) {
        std::vector<uint8_t> stream =
            LzariCompress(data.data(), data.size(), nullptr, nullptr, p.parse);
        EXPECT_GE(stream.size(), 4u);
        if (stream.size() < 4) {
            return sizes;
        }
        uint32_t length = stream[0] | stream[1] << 8 | stream[2] << 16 | uint32_t(stream[3]) << 24;
        EXPECT_EQ(length, data.size());
        std::vector<uint8_t> back;
        std::vector<uint8_t> classic;
        EXPECT_TRUE(LzariDecompress(stream.data(), stream.size(), &back));
        EXPECT_TRUE(ReferenceLzariDecode(stream, &classic));
        EXPECT_TRUE(back == data && classic == data) << "size " << data.size() << ", " << p.name;
        *p.size = stream.size();
    }
    return sizes;
}

std::vector<uint8_t> Mixed(size_t size, std::mt19937 *random) {
    // Stretches of text-like, repetitive and random bytes, so matches of
    // every length and distance and plenty of literals all occur.
    std::vector<uint8_t> data;
    const char *words[] = {"slide ", "show ", "player ", "the ", "a ", "\n", "frame "};
    while (data.size() < size) {
        switch ((*random)() % 4) {
        case 0:
            for (int i = 0; i < 40; i++) {
                const char *word = words[(*random)() % 7];
                data.insert(data.end(), word, word + strlen(word));
            }
            break;
        case 1:
            data.insert(data.end(), 1 + (*random)() % 200, uint8_t((*random)()));
            break;
        case 2:
            if (data.size() > 10) {
                size_t from =
                    data.size() - 1 - (*random)() % std::min<size_t>(data.size() - 1, 5000);
                for (size_t i = 0, n = 3 + (*random)() % 80; i < n; i++) {
                    data.push_back(data[from + i]);
                }
            }
            break;
        default:
            for (int i = 0, n = 1 + int((*random)() % 300); i < n; i++) {
                data.push_back(uint8_t((*random)()));
            }
        }
    }
    data.resize(size);
    return data;
}

TEST(LzariRoundTrip, SizesAroundTheLimits) {
    std::mt19937 random(42);
    for (size_t size : {0, 1, 2, 3, 59, 60, 61, 4095, 4096, 4097, 32767, 32768, 32769}) {
        ExpectRoundTrip(Mixed(size, &random));
        std::vector<uint8_t> noise(size);
        for (uint8_t &byte : noise) {
            byte = uint8_t(random());
        }
        ExpectRoundTrip(noise);
        ExpectRoundTrip(std::vector<uint8_t>(size, ' '));  // all matches against the initial ring
        ExpectRoundTrip(std::vector<uint8_t>(size, 0));
    }
}

TEST(LzariRoundTrip, SeveralMegabytes) {
    std::mt19937 random(9);
    // Looking one byte on pays, and the cheapest path through a block pays
    // more: each parse is smaller than the one before.
    ParseSizes sizes = ExpectRoundTrip(Mixed(3 << 20, &random));
    EXPECT_LT(sizes.lazy, sizes.greedy);
    EXPECT_LT(sizes.optimal, sizes.lazy);
}

TEST(LzariRoundTrip, ProgressIsReportedUpToTheWholeSize) {
    std::mt19937 random(5);
    std::vector<uint8_t> data = Mixed(3 << 20, &random);
    std::vector<size_t> reports;
    LzariCompress(
        data.data(), data.size(),
        [](void *context, size_t done, size_t total) {
            EXPECT_EQ(total, 3u << 20);
            static_cast<std::vector<size_t> *>(context)->push_back(done);
        },
        &reports);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.back(), data.size());
}

}  // namespace
