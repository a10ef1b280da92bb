// Decoding one LZARI stream (4-byte little-endian length, then arithmetic-
// coded LZSS codes) from a byte source into a byte sink. Portable.
//
// Contract:
// - The caller owns the work area, LzariWorkAreaSize bytes, suitably aligned
//   for pointers. The decoder keeps its whole state there (bar a few
//   counters, locals of the call), clears it at the start of every call,
//   allocates nothing and keeps no globals, so one area serves any number
//   of streams in turn.
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

// The tables. The arithmetic decoder's few registers and the bit reader are
// locals of LzariDecode, where the compiler can keep them in registers.
struct LzariState {
    uint8_t ring[LzariRingSize];
    LzariSymbolModel symbols;
    LzariPositionModel positions;
};

static_assert(sizeof(LzariState) <= LzariWorkAreaSize, "the decoder state fits the work area");

// Decodes one whole stream. Returns 1 once all L bytes are written, and 0
// when the input ends inside the 4-byte length (nothing is written then).
int32_t LzariDecode(void *workArea, LzariReadByte readByte, void *sourceData,
                    LzariWriteByte writeByte, void *sinkData);
