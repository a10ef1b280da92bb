// Writing LZARI streams: the arithmetic coder that mirrors the decoder's
// models, and the LZSS compressor that feeds it. Tools only; the launcher
// links just the decoder.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "lzari_model.h"
#include "lzari_stream_io.h"

// Codes one stream's bits. Start it, emit codes (0..255 literal, 256..313 a
// match of length code - 253) and, after each match code, its position
// index (0..4095: the match starts index + 1 bytes back), then finish it.
// Any sequence of codes can be written, which is what tests use to build
// streams a compressor would never make.
struct LzariCoder {
    std::vector<uint8_t> *out;
    uint32_t low;
    uint32_t high;
    uint32_t pendingBits;  // opposite bits owed after the next decided bit
    uint32_t bitBuffer;    // bits not yet written: the lowest bitCount of them
    uint32_t bitCount;     // 0..7 between calls
    LzariSymbolModel symbols;
    LzariPositionModel positions;
};

// Appends the 4-byte length to out and readies the coder.
void LzariStartStream(LzariCoder *coder, std::vector<uint8_t> *out, uint32_t length);
void LzariEncodeCode(LzariCoder *coder, int code);
void LzariEncodePosition(LzariCoder *coder, uint32_t position);
// Writes the bits that settle the last interval and pads the last byte.
void LzariFinishStream(LzariCoder *coder);

// Called now and then with the number of input bytes coded so far.
typedef void (*LzariProgress)(void *context, size_t done, size_t total);

// How the compressor chooses its codes; every parse's streams decode the
// same way, with the classic decoder too.
// - Greedy takes the longest match at every position, as the classic coder
//   does, and writes its very streams.
// - Lazy first looks one byte on and writes a literal where a longer match
//   starts there.
// - Optimal chooses the codes of 2,048 positions at a time as the cheapest
//   path through every literal and match there (the nearest distance for
//   each length), priced in bits by the symbol model as the block begins and
//   the fixed position model: the smallest streams, at about half the speed.
enum class LzariParse { Optimal, Lazy, Greedy };

// Compresses exactly length input bytes into a complete stream (length field
// included), reading and writing through fixed buffers of 64 KiB. False as
// soon as io's read or write fails; what was written so far is then no
// complete stream.
bool LzariCompressStream(uint32_t length, const LzariStreamIo *io, LzariProgress progress = nullptr,
                         void *progressContext = nullptr, LzariParse parse = LzariParse::Optimal);

// Compresses data into a complete stream (length field included). Inputs
// longer than LzariMaxStreamLength bytes cannot be described by the length
// field; the caller must refuse them.
std::vector<uint8_t> LzariCompress(const uint8_t *data, size_t size,
                                   LzariProgress progress = nullptr,
                                   void *progressContext = nullptr,
                                   LzariParse parse = LzariParse::Optimal);

// Decodes a complete stream held in memory. False when it is too short for
// its length field.
bool LzariDecompress(const uint8_t *data, size_t size, std::vector<uint8_t> *out);
