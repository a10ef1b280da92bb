// Decoding one LZARI stream (4-byte little-endian length, then arithmetic-
// coded LZSS codes) from a byte source into a byte sink, or for the tools
// through block reads and writes (LzariDecodeBlocks). Portable.
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
// - writeByte gets every decoded byte in order and returns a negative value
//   when it could not take it; decoding then stops within the code being
//   written (a match writes up to 60 bytes), so writeByte may be called a
//   few more times after a failure and must stay harmless.
//
// On any input, damaged or not:
// - Never more than L bytes are written, L being the stream's length field,
//   and exactly L unless a write fails.
// - The decoder reads its input only through readByte and calls it at most
//   4 + 3 + 5 * L times: the length, the coder's first 17 bits, and at most
//   34 bits per decoded code, each of which writes at least one byte. A
//   correct stream is read to its end and then 1 or 2 calls past it.
#pragma once

#include <stdint.h>

#include "lzari_model.h"
#include "lzari_stream_io.h"

typedef int32_t (*LzariReadByte)(void *sourceData);
typedef int32_t (*LzariWriteByte)(void *sinkData, int32_t byte);

enum {
    LzariWorkAreaSize = 75824,
    LzariDecodeInputSize = 16384,  // LzariDecodeBlocks reads this much at a time
};

// The tables. The arithmetic decoder's few registers and the bit reader are
// locals of the decoding loop, where the compiler can keep them in registers.
struct LzariState {
    uint8_t ring[LzariRingSize];
    LzariSymbolModel symbols;
    LzariPositionModel positions;
    uint8_t input[LzariDecodeInputSize + 4];  // LzariDecodeBlocks only
};

static_assert(sizeof(LzariState) <= LzariWorkAreaSize, "the decoder state fits the work area");

// The checks that tell a damaged stream from a correct one, for every
// reader of streams (the launcher as well as lumpack verify): a length
// field above LzariMaxDecodedPerStoredByte times the stream's stored size,
// a read past LzariMaxOverRead, or a stream that ends before its stored
// bytes do (LzariStreamEndsRight) means it is cut short or damaged.
//
// How far a correct stream is read past its end. The decoder's value
// register runs 17 bits ahead of the bits its interval has used, and the
// coder ends a stream with two bits after the last one the interval settled
// (the classic coder's way, and ours), so the decoder fetches 15 bits the
// coder never wrote: 1 byte past the end when the coder's last bit opens a
// byte, 2 otherwise. Measured: 2 for every reference vector, 1 or 2 for 4000
// streams of our encoder (random, zero, text and run data up to 64 KiB). A
// stream cut by one byte is read 2 to 9 bytes past its new end, so 7 in 8
// such cuts are caught; longer cuts practically always.
enum { LzariMaxOverRead = 2 };

// How many bytes a stream can code per stored byte. Our encoder reaches
// 52.2 on long runs of zeros: it codes them as 60-byte matches, and every
// match costs at least the 9.2 bits of the position model's likeliest index
// (49 / 28568). Literals can do better in a stream no compressor of ours
// makes: one byte value repeated as literals reaches 415 (measured on
// 16 MiB), and the ceiling of any stream is a literal holding the largest
// share the symbol model allows (32454 / 32767, since the model is halved
// at 32767 and the other 313 codes keep a count of 1): 0.0139 bits, or 577
// bytes per stored byte. 1024 stays clear of that ceiling with room to
// spare, so no correct stream is ever refused, and still caps the work a
// damaged length field can cause at about 1024 times the stored size
// (decoding garbage runs at about 40 MB/s) instead of up to 4 GiB.
enum { LzariMaxDecodedPerStoredByte = 1024 };

// A correct stream of storedSize bytes is read to its last byte and, unless
// it holds nothing but its length field, 1 to LzariMaxOverRead calls past
// it; reads counts every call of readByte. Fewer mean that bytes follow the
// coded data (appended junk, or a stream damaged so that it ends early).
inline bool LzariStreamEndsRight(uint64_t storedSize, uint64_t reads) {
    uint64_t least = storedSize > LzariLengthFieldSize ? storedSize + 1 : storedSize;
    return reads >= least && reads <= storedSize + LzariMaxOverRead;
}

// The length field declared can be correct for a stream of storedSize bytes.
inline bool LzariLengthPlausible(uint32_t declared, uint32_t storedSize) {
    return declared <= static_cast<uint64_t>(storedSize) * LzariMaxDecodedPerStoredByte;
}

// What a decoding came to.
enum LzariResult {
    LzariDone = 0,         // all L bytes written
    LzariInputEnded = 1,   // the input ended inside the 4-byte length; nothing written
    LzariWriteFailed = 2,  // a write failed; decoding stopped there
    // LzariDecodeBlocks only: the input was read further past its end than
    // a correct stream is (LzariMaxOverRead), so the stream is cut short or
    // damaged; decoding stopped there instead of going on to its length.
    LzariReadTooFar = 3,
};

// Decodes one whole stream through the byte callbacks.
LzariResult LzariDecode(void *workArea, LzariReadByte readByte, void *sourceData,
                        LzariWriteByte writeByte, void *sinkData);

// How LzariDecodeBlocks used its input. A correct stream ends with the
// bytes it needs, and its last bits are read 1 or 2 bytes past its end.
struct LzariDecodeTally {
    uint64_t bytesUsed;     // input bytes whose bits were needed, the length included
    uint64_t readsPastEnd;  // bytes asked for after the input ended (read as 1 bits)
};

// The same decoding for the tools, through blocks: io's read fills the work
// area's input buffer, asked for up to LzariDecodeInputSize bytes at a time
// (it may give fewer), and the decoded bytes reach io's write straight from
// the window, up to 4,096 at a time. io's read gives at most 4 GiB - 1
// bytes in all, as no stored stream is larger; the tally is only right
// within that.
// Bytes are still used exactly as LzariDecode uses them, so the tally says
// what LzariDecode's byte source would have seen, and the same bounds hold.
// A failed write stops the decoding at once: io's write is not called again.
// Reading past the input's end further than LzariMaxOverRead stops it within
// the code being decoded (LzariReadTooFar), after the bytes decoded so far
// have been written.
LzariResult LzariDecodeBlocks(void *workArea, const LzariStreamIo *io, LzariDecodeTally *tally);
