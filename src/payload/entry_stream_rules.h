// The rules by which the payload step takes or refuses a compressed entry's
// decoding: the length field looked at before anything is decoded, and the
// verdict on what the decoder and the reads came to. Portable: the launcher
// applies them to the bytes it reads, the fuzz targets to any bytes.
#pragma once

#include <stdint.h>

#include "common/byte_order.h"
#include "lzari/lzari_decoder.h"

// What decoding one entry into its file came to.
enum EntryDecodeResult {
    EntryDecoded = 0,         // every declared byte is in the file
    EntryStreamTooShort = 1,  // too short to hold its 4-byte length
    EntryStreamDamaged = 2,   // a length its size cannot code, or read too far past its end
    EntryWriteFailed = 3      // a write came up short; decoding stopped there
};

// The stream's first bytes (at least its 4-byte length field) declare no
// more than a stream of size stored bytes can code.
inline bool EntryLengthAccepted(const uint8_t *firstBytes, uint32_t size) {
    return LzariLengthPlausible(ReadLittleEndian32(firstBytes), size);
}

// The verdict on a stream of size stored bytes, from the decoder's result
// and tally; inputRefused when a read came up short or the length field was
// refused. A stream that ends before its stored bytes do, or is read too
// far past them, is damaged whatever it wrote.
inline EntryDecodeResult JudgeEntryDecoding(LzariResult result, const LzariDecodeTally *tally,
                                            uint32_t size, bool inputRefused) {
    if (inputRefused || result == LzariInputEnded || result == LzariReadTooFar ||
        (result == LzariDone &&
         !LzariStreamEndsRight(size, tally->bytesUsed + tally->readsPastEnd))) {
        return EntryStreamDamaged;
    }
    return result == LzariDone ? EntryDecoded : EntryWriteFailed;
}
