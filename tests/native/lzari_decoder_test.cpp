// The LZARI decoder: its calling contract, the start of a stream, the
// initial ring, matches, the model's halving, damaged and truncated input,
// and bit-for-bit agreement with the classic decoder.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "lzari/lzari_decoder.h"
#include "lzari/lzari_encoder.h"
#include "lzari/lzari_model.h"
#include "lzari_reference.h"

namespace {

struct Decoded {
    LzariResult result = LzariResult(-1);
    std::vector<uint8_t> out;
    size_t reads = 0;
    size_t readsBeforeFirstWrite = 0;
    size_t failingWrite = SIZE_MAX;  // this write and those after it fail
};

struct CountingSource {
    const std::vector<uint8_t> *stream;
    Decoded *decoded;
};

int32_t ReadCounting(void *data) {
    CountingSource *source = static_cast<CountingSource *>(data);
    size_t at = source->decoded->reads++;
    return at < source->stream->size() ? (*source->stream)[at] : -1;
}

int32_t WriteCounting(void *data, int32_t byte) {
    Decoded *decoded = static_cast<Decoded *>(data);
    if (decoded->out.empty()) {
        decoded->readsBeforeFirstWrite = decoded->reads;
    }
    EXPECT_GE(byte, 0);
    EXPECT_LE(byte, 255);
    decoded->out.push_back(static_cast<uint8_t>(byte));
    return decoded->out.size() >= decoded->failingWrite ? -1 : 0;
}

// Decodes in a heap block of exactly the work area's size, so the
// sanitizers catch any access outside it.
Decoded Decode(const std::vector<uint8_t> &stream, size_t failingWrite = SIZE_MAX) {
    Decoded decoded;
    decoded.failingWrite = failingWrite;
    std::unique_ptr<uint8_t[]> workArea(new uint8_t[LzariWorkAreaSize]);
    CountingSource source = {&stream, &decoded};
    decoded.result = LzariDecode(workArea.get(), ReadCounting, &source, WriteCounting, &decoded);
    return decoded;
}

std::vector<uint8_t> LengthOnly(uint32_t length) {
    return {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
}

// A stream written code by code: {code} for a literal, {code, position} for
// a match of length code - 253 starting position + 1 bytes back.
struct Step {
    int code;
    int position = 0;
};

std::vector<uint8_t> Build(uint32_t length, const std::vector<Step> &steps) {
    std::vector<uint8_t> stream;
    std::unique_ptr<LzariCoder> coder(new LzariCoder);
    LzariStartStream(coder.get(), &stream, length);
    for (const Step &step : steps) {
        LzariEncodeCode(coder.get(), step.code);
        if (step.code >= 256) {
            LzariEncodePosition(coder.get(), uint32_t(step.position));
        }
    }
    LzariFinishStream(coder.get());
    return stream;
}

int Match(int length) {
    return length + 253;
}

std::vector<uint8_t> Bytes(const char *text) {
    return std::vector<uint8_t>(text, text + strlen(text));
}

TEST(LzariDecoderContract, StreamShorterThanItsLengthFieldFailsWithoutWriting) {
    for (size_t size = 0; size < 4; size++) {
        Decoded decoded = Decode(std::vector<uint8_t>(size, 0x01));
        EXPECT_EQ(decoded.result, LzariInputEnded) << size;
        EXPECT_TRUE(decoded.out.empty()) << size;
    }
}

TEST(LzariDecoderContract, ZeroLengthReadsExactlyFourBytesAndWritesNothing) {
    std::vector<uint8_t> stream = {0, 0, 0, 0, 0xAB, 0xCD};
    Decoded decoded = Decode(stream);
    EXPECT_EQ(decoded.result, LzariDone);
    EXPECT_EQ(decoded.reads, 4u);
    EXPECT_TRUE(decoded.out.empty());
}

TEST(LzariDecoderContract, LengthBytesOf0xFFAreBytesNotEndOfInput) {
    EXPECT_EQ(Decode(LengthOnly(255)).out.size(), 255u);
    EXPECT_EQ(Decode(LengthOnly(0xFFFF)).out.size(), 0xFFFFu);
    EXPECT_EQ(Decode(LengthOnly(0x01FF00)).out.size(), 0x01FF00u);
}

TEST(LzariDecoderContract, LengthOnlyStreamGivesThatManyZeroBytes) {
    Decoded decoded = Decode(LengthOnly(5000));
    EXPECT_EQ(decoded.result, LzariDone);
    EXPECT_EQ(decoded.out, std::vector<uint8_t>(5000, 0));
}

TEST(LzariDecoderContract, StartUpReadsSeventeenBitsFromTheFifthByteOn) {
    // 17 bits are two whole bytes and the top bit of a third; the first
    // code cannot be decided before all three have been read.
    Decoded decoded = Decode(Build(1, {{'Q'}}));
    EXPECT_EQ(decoded.out, Bytes("Q"));
    EXPECT_GE(decoded.readsBeforeFirstWrite, 7u);
    // Flipping the top bit of the fifth byte changes what is decoded.
    std::vector<uint8_t> flipped = Build(1, {{'Q'}});
    flipped[4] ^= 0x80;
    EXPECT_NE(Decode(flipped).out, Bytes("Q"));
}

TEST(LzariDecoderMatches, EarlyMatchesSeeSpacesAndTheZerosAtTheBackOfTheRing) {
    // The ring starts as spaces at 0..4035 and zeros at 4036..4095, and the
    // first byte is written at 4036; index p starts p + 1 bytes back.
    const uint8_t Z = 0;
    struct Case {
        int position;
        std::vector<uint8_t> expected;
    } cases[] = {
        {0, {' ', ' ', ' ', ' '}},     // the space just behind
        {4035, {' ', ' ', ' ', ' '}},  // ring position 0
        {4036, {Z, ' ', ' ', ' '}},    // 4095, then round to the spaces
        {4037, {Z, Z, ' ', ' '}},     {4040, {Z, Z, Z, Z}},
        {4095, {Z, Z, Z, Z}},  // the very bytes being written over
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Decode(Build(4, {{Match(4), c.position}})).out, c.expected) << c.position;
    }
}

TEST(LzariDecoderMatches, OverlappingMatchesRepeatTheirSource) {
    EXPECT_EQ(Decode(Build(6, {{'x'}, {Match(5), 0}})).out, Bytes("xxxxxx"));
    EXPECT_EQ(Decode(Build(8, {{'a'}, {'b'}, {Match(6), 1}})).out, Bytes("abababab"));
    EXPECT_EQ(Decode(Build(63, {{'1'}, {'2'}, {'3'}, {Match(60), 2}})).out.size(), 63u);
    Decoded longest = Decode(Build(63, {{'1'}, {'2'}, {'3'}, {Match(60), 2}}));
    for (size_t i = 0; i < longest.out.size(); i++) {
        EXPECT_EQ(longest.out[i], "123"[i % 3]) << i;
    }
}

TEST(LzariDecoderMatches, RingWrapsAndKeepsMatchBytes) {
    // 100 literals take the write position from 4036 past 4095 to 40; a
    // match then reaches back across the wrap to bytes it wrote itself.
    std::vector<Step> steps;
    std::vector<uint8_t> expected;
    for (int i = 0; i < 100; i++) {
        steps.push_back({'A' + i % 26});
        expected.push_back(uint8_t('A' + i % 26));
    }
    steps.push_back({Match(10), 99});  // the first ten literals, written at 4036..4045
    expected.insert(expected.end(), expected.begin(), expected.begin() + 10);
    steps.push_back({Match(5), 9});  // the match's own bytes
    expected.insert(expected.end(), expected.end() - 10, expected.end() - 5);
    Decoded decoded = Decode(Build(uint32_t(expected.size()), steps));
    EXPECT_EQ(decoded.out, expected);
}

TEST(LzariDecoderMatches, MatchRunningPastTheLengthIsCutThere) {
    Decoded decoded = Decode(Build(5, {{'a'}, {Match(60), 0}}));
    EXPECT_EQ(decoded.result, LzariDone);
    EXPECT_EQ(decoded.out, Bytes("aaaaa"));
}

TEST(LzariDecoderDamage, TruncatedStreamStillGivesExactlyItsLength) {
    std::vector<uint8_t> text;
    for (int i = 0; i < 20000; i++) {
        text.push_back(uint8_t("the quick brown fox jumps "[i % 26] + (i / 997) % 3));
    }
    std::vector<uint8_t> stream = LzariCompress(text.data(), text.size());
    for (size_t keep : {size_t(4), size_t(5), size_t(7), stream.size() / 3, stream.size() - 1}) {
        std::vector<uint8_t> cut(stream.begin(), stream.begin() + long(keep));
        Decoded decoded = Decode(cut);
        EXPECT_EQ(decoded.result, LzariDone) << keep;
        EXPECT_EQ(decoded.out.size(), text.size()) << keep;
    }
}

TEST(LzariDecoderDamage, AgreesWithTheClassicDecoderOnArbitraryBits) {
    // Random bits after a length decode to something; both decoders must
    // produce the same bytes. Long streams pass the model's halving (a total
    // of 32,767 after 32,453 codes) several times and wrap the ring often.
    std::mt19937 random(20261209);
    for (uint32_t length : {1u, 17u, 4096u, 40000u, 120000u}) {
        for (int round = 0; round < 3; round++) {
            std::vector<uint8_t> stream = LengthOnly(length);
            size_t codedBytes = random() % (length + 64);
            for (size_t i = 0; i < codedBytes; i++) {
                stream.push_back(uint8_t(random()));
            }
            std::vector<uint8_t> expected;
            ASSERT_TRUE(ReferenceLzariDecode(stream, &expected));
            Decoded decoded = Decode(stream);
            EXPECT_EQ(decoded.out.size(), length);
            EXPECT_TRUE(decoded.out == expected) << "length " << length << " round " << round;
        }
    }
}

TEST(LzariDecoderDamage, ReadsStayWithinTheBoundForItsLength) {
    std::mt19937 random(20261210);
    for (uint32_t length : {1u, 2u, 60u, 5000u, 70000u}) {
        for (size_t codedBytes : {size_t(0), size_t(3), size_t(length / 2), size_t(length * 6)}) {
            std::vector<uint8_t> stream = LengthOnly(length);
            for (size_t i = 0; i < codedBytes; i++) {
                stream.push_back(uint8_t(random()));
            }
            Decoded decoded = Decode(stream);
            EXPECT_EQ(decoded.out.size(), length);
            EXPECT_LE(decoded.reads, 4 + 3 + 5 * size_t(length)) << length << " " << codedBytes;
        }
    }
}

TEST(LzariDecoderContract, AFailedWriteStopsWithinTheCodeBeingWritten) {
    std::vector<uint8_t> text(30000);
    for (size_t i = 0; i < text.size(); i++) {
        text[i] = uint8_t("match me, match me again "[i % 25] + i / 4000);
    }
    std::vector<uint8_t> stream = LzariCompress(text.data(), text.size());
    for (size_t failingWrite : {size_t(1), size_t(2), size_t(777), text.size()}) {
        Decoded decoded = Decode(stream, failingWrite);
        EXPECT_EQ(decoded.result, LzariWriteFailed) << failingWrite;
        EXPECT_GE(decoded.out.size(), failingWrite);
        EXPECT_LE(decoded.out.size(), failingWrite + LzariMaxMatch - 1) << failingWrite;
    }
}

// LzariDecodeBlocks over a stream in memory, handing out at most `chunk`
// bytes per read and failing the write at `failingWrite` (0: none).
struct BlockRun {
    const std::vector<uint8_t> *stream = nullptr;
    size_t chunk = 0;
    size_t at = 0;
    int writes = 0;
    int failingWrite = 0;
    int writesAfterFailure = 0;
    std::vector<uint8_t> out;
};

size_t ReadChunk(void *context, uint8_t *buffer, size_t size) {
    BlockRun *run = static_cast<BlockRun *>(context);
    size_t count = std::min({size, run->chunk, run->stream->size() - run->at});
    if (count > 0) {
        memcpy(buffer, run->stream->data() + run->at, count);
    }
    run->at += count;
    return count;
}

bool WriteChunk(void *context, const uint8_t *data, size_t size) {
    BlockRun *run = static_cast<BlockRun *>(context);
    EXPECT_GT(size, 0u);
    EXPECT_LE(size, size_t(LzariRingSize));
    if (run->failingWrite > 0 && run->writes >= run->failingWrite) {
        run->writesAfterFailure++;
    }
    if (++run->writes == run->failingWrite) {
        return false;
    }
    run->out.insert(run->out.end(), data, data + size);
    return true;
}

LzariResult DecodeBlocks(BlockRun *run, LzariDecodeTally *tally) {
    std::unique_ptr<uint8_t[]> workArea(new uint8_t[LzariWorkAreaSize]);
    LzariStreamIo io = {ReadChunk, WriteChunk, run};
    return LzariDecodeBlocks(workArea.get(), &io, tally);
}

TEST(LzariDecodeBlocks, DecodesAndUsesTheInputExactlyAsTheByteCallbacksDo) {
    std::vector<uint8_t> text;
    for (int i = 0; i < 70000; i++) {
        text.push_back(uint8_t("a stream of some length, "[i % 25] + (i / 1013) % 5));
    }
    std::vector<uint8_t> stream = LzariCompress(text.data(), text.size());
    std::mt19937 random(15);
    std::vector<uint8_t> noise = LengthOnly(50000);
    for (int i = 0; i < 30000; i++) {
        noise.push_back(uint8_t(random()));
    }
    struct Case {
        const char *name;
        std::vector<uint8_t> stream;
    };
    const Case cases[] = {
        {"empty", {}},
        {"cut inside the length", {7, 0}},
        {"zero length with junk", {0, 0, 0, 0, 9, 9}},
        {"length only", LengthOnly(4100)},
        {"a literal", Build(1, {{'Q'}})},
        {"text", stream},
        {"text cut short", std::vector<uint8_t>(stream.begin(), stream.begin() + 900)},
        {"text and junk",
         [&] {
             std::vector<uint8_t> junk = stream;
             junk.insert(junk.end(), 5, 0x5A);
             return junk;
         }()},
        {"random bits", noise},
    };
    for (const Case &c : cases) {
        Decoded expected = Decode(c.stream);
        uint64_t used = std::min(expected.reads, c.stream.size());
        for (size_t chunk : {size_t(1), size_t(3), size_t(LzariDecodeInputSize)}) {
            BlockRun run;
            run.stream = &c.stream;
            run.chunk = chunk;
            LzariDecodeTally tally = {99, 99};
            LzariResult result = DecodeBlocks(&run, &tally);
            EXPECT_EQ(tally.bytesUsed, used) << c.name << " " << chunk;
            if (expected.reads - used <= LzariMaxOverRead) {
                EXPECT_EQ(result, expected.result) << c.name << " " << chunk;
                EXPECT_TRUE(run.out == expected.out) << c.name << " " << chunk;
                EXPECT_EQ(tally.readsPastEnd, expected.reads - used) << c.name << " " << chunk;
                continue;
            }
            // Read further past the end than a correct stream is: stopped
            // within the code that went too far, its output so far written.
            EXPECT_EQ(result, LzariReadTooFar) << c.name << " " << chunk;
            EXPECT_GT(tally.readsPastEnd, uint64_t(LzariMaxOverRead)) << c.name << " " << chunk;
            EXPECT_LE(tally.readsPastEnd, uint64_t(LzariMaxOverRead + 5)) << c.name << " " << chunk;
            EXPECT_TRUE(std::equal(run.out.begin(), run.out.end(), expected.out.begin()) &&
                        run.out.size() < expected.out.size())
                << c.name << " " << chunk;
        }
    }
}

TEST(LzariDecodeBlocks, AFailedWriteStopsTheDecoding) {
    std::vector<uint8_t> zeros(100000);
    std::vector<uint8_t> stream = LzariCompress(zeros.data(), zeros.size());
    BlockRun run;
    run.stream = &stream;
    run.chunk = 64;
    run.failingWrite = 3;
    LzariDecodeTally tally;
    EXPECT_EQ(DecodeBlocks(&run, &tally), LzariWriteFailed);
    EXPECT_EQ(run.writes, 3);
    EXPECT_EQ(run.writesAfterFailure, 0);
    // The first write takes the window's last 60 bytes, the second a whole
    // window.
    EXPECT_EQ(run.out.size(), size_t(LzariMaxMatch + LzariRingSize));
}

TEST(LzariSymbolModel, KeepsTheClassicSumsAndOrderThroughHalvings) {
    LzariSymbolModel fast;
    LzariInitSymbolModel(&fast);
    ReferenceSymbolModel classic;
    std::mt19937 random(7);
    std::geometric_distribution<int> skewed(0.05);
    for (int update = 0; update < 100000; update++) {
        int symbol = 1 + (update % 3 == 0 ? int(random() % 314) : std::min(313, skewed(random)));
        LzariUpdateSymbolModel(&fast, symbol);
        classic.Update(symbol);
        if (update % 997 == 0 || classic.cum[0] == 32767 || update < 400) {
            for (int k = 0; k <= 314; k++) {
                ASSERT_EQ(LzariSymbolCum(&fast, k), classic.cum[k]) << update << " " << k;
            }
            for (int s = 1; s <= 314; s++) {
                ASSERT_EQ(fast.codeOf[s], classic.code[s]) << update << " " << s;
                ASSERT_EQ(fast.freq[s], classic.freq[s]) << update << " " << s;
            }
        }
    }
}

TEST(LzariSymbolModel, FindsTheSymbolWhoseRangeHoldsX) {
    LzariSymbolModel model;
    LzariInitSymbolModel(&model);
    ReferenceSymbolModel classic;
    for (int i = 0; i < 5000; i++) {
        int symbol = 1 + (i * 7919) % 40;
        LzariUpdateSymbolModel(&model, symbol);
        classic.Update(symbol);
    }
    for (uint32_t x = 0; x < classic.cum[0]; x++) {
        uint32_t upper = 0;
        int s = LzariFindSymbol(&model, x, &upper);
        ASSERT_LE(classic.cum[s], x);
        ASSERT_LT(x, classic.cum[s - 1]);
        ASSERT_EQ(upper, classic.cum[s - 1]);
    }
}

TEST(LzariPositionModel, WeighsNearPositionsMost) {
    LzariPositionModel model;
    LzariInitPositionModel(&model);
    EXPECT_EQ(model.cum[0], uint32_t(LzariPositionTotal));
    EXPECT_EQ(model.cum[0] - model.cum[1], 49u);       // index 0
    EXPECT_EQ(model.cum[4095] - model.cum[4096], 2u);  // index 4095
    EXPECT_EQ(model.cum[4096], 0u);
}

}  // namespace
