// Decoding one LZARI stream (4-byte little-endian length, then arithmetic-
// coded LZSS codes) from a byte source into a byte sink. Portable.
//
// Contract:
// - The caller owns the work area, LzariWorkAreaSize bytes, suitably aligned
//   for pointers. The decoder keeps its whole state there, clears it at the
//   start of every call, allocates nothing and keeps no globals, so one area
//   serves any number of streams in turn.
// - readByte returns the next input byte as 0..255, or -1 once no byte is
//   left (and on every call after that). After the length, -1 reads as eight
//   1 bits, which is how a correct stream ends.
// - writeByte gets every decoded byte in order; its result is ignored.
// - Exactly L bytes are written, L being the stream's length field.
#pragma once

#include <stdint.h>

#include "lzari_model.h"

typedef int32_t (*LzariReadByte)(void *sourceData);
typedef int32_t (*LzariWriteByte)(void *sinkData, int32_t byte);

enum { LzariWorkAreaSize = 75824 };

struct LzariState {
    void *sourceData;
    LzariReadByte readByte;
    void *sinkData;
    LzariWriteByte writeByte;
    uint8_t ring[LzariRingSize];
    uint32_t low;
    uint32_t high;
    uint32_t value;     // the coded bits read so far, aligned with low and high
    int32_t bitBuffer;  // the last byte read, -1 included
    int32_t bitMask;    // the next bit of bitBuffer; 0: fetch a byte first
    LzariSymbolModel symbols;
    LzariPositionModel positions;
};

static_assert(sizeof(LzariState) <= LzariWorkAreaSize, "the decoder state fits the work area");

// Decodes one whole stream. Returns 1 once all L bytes are written, and 0
// when the input ends inside the 4-byte length (nothing is written then).
int32_t LzariDecode(void *workArea, LzariReadByte readByte, void *sourceData,
                    LzariWriteByte writeByte, void *sinkData);
