// Decoding one LZARI stream, from a byte source into a byte sink or through
// block reads and writes. One decoding loop serves both: it is written once
// over an I/O type, which supplies the input bits and takes the output, and
// whose calls the compiler puts in line.
#include "lzari_decoder.h"

#include "common/byte_order.h"

namespace {

void ClearBytes(void *area, unsigned long size) {
    unsigned char *bytes = static_cast<unsigned char *>(area);
    for (unsigned long i = 0; i < size; i++) {
        bytes[i] = 0;
    }
}

// The arithmetic decoder. The interval is [low, last] (last = high - 1).
// Each narrowing picks the symbol whose share of the interval holds value,
// so value stays inside the interval for any input, damaged or not; the
// renormalisation below relies on that.
template <class Io>
struct Decoder {
    uint32_t low;
    uint32_t last;
    uint32_t value;
    Io *io;
};

// The next n (0..17) input bits, first bit highest; the I/O type reads them.
template <class Io>
LUMV_LZARI_INLINE uint32_t TakeBits(Decoder<Io> &d, uint32_t n) {
    return d.io->TakeBits(n);
}

// Doubles the interval until it is wider than a quarter again, reading one
// input bit per doubling. Done a bit at a time this takes a hard-to-predict
// branch per bit; looked at as bit patterns it is two shifts:
// - While low and last agree in their top bit, the top bit is settled and
//   drops out: a 0 comes in below low, a 1 below last.
// - Then low starts with 0 and last with 1 and stay so. While low starts
//   01 and last 10 (the interval straddles the middle within a quarter on
//   each side), subtracting a quarter and doubling just drops the second
//   bit. value lies between them, so the same holds for it.
// Both counts follow from low and last alone, so value takes all its new
// bits in one go. There are at most 17, as the interval ends up no wider
// than it started.
template <class Io>
LUMV_LZARI_INLINE void Renormalise(Decoder<Io> &d) {
    // The sentinel bit stops the count at 17 when low == last.
    uint32_t settled = LzariLeadingZeros(((d.low ^ d.last) << 15) | 0x4000);
    d.low = (d.low << settled) & LzariCoderMask;
    d.last = ((d.last << settled) | ((1u << settled) - 1)) & LzariCoderMask;

    // Zero where low has a 1 and last a 0, below the top bit; the sentinel
    // stops the count at 16.
    uint32_t notStraddling = ~d.low | d.last;
    uint32_t straddling = LzariLeadingZeros((notStraddling << 16) | 0x8000);
    d.low = (d.low & LzariCoderHalf) | ((d.low << straddling) & (LzariCoderHalf - 1));
    d.last = (d.last & LzariCoderHalf) | ((d.last << straddling) & (LzariCoderHalf - 1)) |
             ((1u << straddling) - 1);

    // value's top bit after the first step, then the rest shifted by both.
    uint32_t shift = settled + straddling;
    uint32_t bits = TakeBits(d, shift);
    uint32_t top = ((d.value << settled) | (bits >> straddling)) & LzariCoderHalf;
    d.value = top | (((d.value << shift) | bits) & (LzariCoderHalf - 1));
}

// The classic coder narrows the interval to [lower, upper) of total as
//   high = low + range * upper / total,  low = low + range * lower / total.
template <class Io>
LUMV_LZARI_INLINE int DecodeCode(Decoder<Io> &d, LzariSymbolModel *model) {
    uint32_t total = model->total;
    uint32_t range = d.last - d.low + 1;
    // The classic decoder scales value to x = ((value - low + 1) * total - 1)
    // / range and looks for cum[s] <= x. Now x >= c exactly when
    // (value - low + 1) * total > c * range, and with c = cum[s] = total -
    // prefix(s) that reads prefix(s) * range > total * (last - value). The
    // product stays below 2^32 (total < 2^15, range <= 2^17).
    uint32_t prefix = 0;
    int symbol = LzariFindScaledSymbol(model, total * (d.last - d.value), range, &prefix);
    uint32_t lower = total - prefix;
    uint32_t upper = lower + static_cast<uint32_t>(model->freq[symbol]);
    d.last = d.low + LzariDivideByTotal(model, range * upper) - 1;
    d.low = d.low + LzariDivideByTotal(model, range * lower);
    Renormalise(d);
    int code = model->codeOf[symbol];
    LzariUpdateSymbolModel(model, symbol);
    return code;
}

template <class Io>
LUMV_LZARI_INLINE uint32_t DecodeMatchPosition(Decoder<Io> &d, const LzariPositionModel *model) {
    uint32_t range = d.last - d.low + 1;
    uint32_t x = ((d.value - d.low + 1) * LzariPositionTotal - 1) / range;
    uint32_t position = LzariFindPosition(model, x);
    // A constant total: the compiler multiplies instead of dividing.
    d.last = d.low + range * model->cum[position] / LzariPositionTotal - 1;
    d.low = d.low + range * model->cum[position + 1] / LzariPositionTotal;
    Renormalise(d);
    return position;
}

// Decodes one whole stream through io. Every decoded byte goes to
// io.WriteByte and into the window; io.WindowFull follows each time the
// window's last byte was written. io.Stopped() says that a write failed.
template <class Io>
LzariResult DecodeStream(LzariState *state, Io &io) {
    ClearBytes(state, LzariWorkAreaSize);

    uint32_t length = 0;
    if (!io.ReadLength(&length)) {
        // A stream too short for its own length is reported to the caller,
        // which cleans up and tells the user; it must not end the process
        // behind the caller's back.
        return LzariInputEnded;
    }
    if (length == 0) {
        return LzariDone;
    }
    Decoder<Io> d = {0, LzariCoderMask, 0, &io};
    d.value = TakeBits(d, 17);
    LzariInitSymbolModel(&state->symbols);
    LzariInitPositionModel(&state->positions);
    uint8_t *ring = state->ring;
    for (int i = 0; i < LzariRingSize - LzariMaxMatch; i++) {
        ring[i] = ' ';
    }

    uint32_t at = LzariRingSize - LzariMaxMatch;
    uint32_t remaining = length;
    while (remaining > 0 && !io.Stopped()) {
        int code = DecodeCode(d, &state->symbols);
        if (code < 256) {
            io.WriteByte(code);
            ring[at] = static_cast<uint8_t>(code);
            at = (at + 1) & (LzariRingSize - 1);
            if (at == 0) {
                io.WindowFull(ring);
            }
            remaining--;
            continue;
        }
        uint32_t position = DecodeMatchPosition(d, &state->positions);
        uint32_t matchLength = static_cast<uint32_t>(code) - (255 - LzariMatchThreshold);
        uint32_t from = (at - position - 1) & (LzariRingSize - 1);
        // A match running past the declared length is cut there, so the
        // output always has exactly the length the stream declares, even
        // when the stream is damaged.
        if (matchLength > remaining) {
            matchLength = remaining;
        }
        remaining -= matchLength;
        // Up to the window's end at a time. The copy goes a byte at a time
        // as a match may repeat bytes it has just written itself.
        while (matchLength > 0) {
            uint32_t run = LzariRingSize - at < matchLength ? LzariRingSize - at : matchLength;
            matchLength -= run;
            for (uint8_t *to = ring + at, *end = to + run; to != end; to++) {
                uint8_t byte = ring[from];
                io.WriteByte(byte);
                *to = byte;
                from = (from + 1) & (LzariRingSize - 1);
            }
            at = (at + run) & (LzariRingSize - 1);
            if (at == 0) {
                io.WindowFull(ring);
            }
        }
    }
    io.Finish(ring, at);
    return io.Result();
}

// The byte callbacks of LzariDecode. A failed write is noted without a
// branch; the decoding loop looks at it once per code.
struct CallbackIo {
    LzariReadByte readByte;
    void *sourceData;
    LzariWriteByte writeByte;
    void *sinkData;
    bool writeFailed;
    uint32_t bits;  // input bits not used yet: the lowest `count` of them
    uint32_t count;

    // Bytes are fetched only when their bits are needed; -1 (no input
    // left) reads as eight 1 bits.
    uint32_t TakeBits(uint32_t n) {
        while (count < n) {
            bits = (bits << 8) | (static_cast<uint32_t>(readByte(sourceData)) & 0xFF);
            count += 8;
        }
        count -= n;
        return (bits >> count) & ((1u << n) - 1);
    }
    // The 4-byte length field; false when the input ends inside it.
    bool ReadLength(uint32_t *length) {
        for (int i = 0; i < 4; i++) {
            int32_t byte = readByte(sourceData);
            if (byte < 0) {
                return false;
            }
            *length |= static_cast<uint32_t>(byte & 0xFF) << (8 * i);
        }
        return true;
    }
    void WriteByte(int32_t byte) { writeFailed |= writeByte(sinkData, byte) < 0; }
    void WindowFull(const uint8_t *) {}
    void Finish(const uint8_t *, uint32_t) {}
    bool Stopped() const { return writeFailed; }
    LzariResult Result() const { return writeFailed ? LzariWriteFailed : LzariDone; }
};

// The input of LzariDecodeBlocks, looked at once per block: io's reads go
// into the work area's input buffer, and once the input has ended the
// buffer gets 1 bits (bytes of 0xFF), 4 at a time.
struct BlockInput {
    const LzariStreamIo *io;
    uint8_t *buffer;
    uint32_t filled;
    bool ended;
    uint32_t fetched;  // bytes read from io
    // How many of them lie from buffer[0] on. Once the input has ended this
    // turns negative as the fill is used, but only by a few bytes, as the
    // decoding stops soon after the end.
    int32_t ahead;
};

// Where the bit reader stands in the buffer, in bits from buffer[0].
struct BitPlace {
    uint32_t pos;       // the next bit to use
    uint32_t refillAt;  // the first pos with fewer than 4 bytes from its byte on
    int32_t inputEnd;   // the bit after the input's last byte read so far
};

// Copies 4 bytes; from and to may overlap.
inline void Copy4(uint8_t *to, const uint8_t *from) {
    uint32_t word;
    __builtin_memcpy(&word, from, 4);
    __builtin_memcpy(to, &word, 4);
}

// Moves the (at most 3) bytes from bit pos's byte on to the front of the
// buffer and reads behind them, or once the input has ended puts 4 bytes of
// fill there. The reader calls it again while fewer than 4 bytes follow
// pos's byte (after a short read).
__attribute__((noinline)) BitPlace Refill(BlockInput *in, uint32_t pos) {
    uint32_t from = pos >> 3;
    // The buffer has 4 bytes to spare after its end, so a whole word moves.
    Copy4(in->buffer, in->buffer + from);
    in->ahead -= static_cast<int32_t>(from);
    in->filled -= from;
    size_t got = in->ended ? 0
                           : in->io->read(in->io->context, in->buffer + in->filled,
                                          LzariDecodeInputSize - in->filled);
    in->fetched += got;
    in->ahead += static_cast<int32_t>(got);
    if (got == 0) {
        static const uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        in->ended = true;
        Copy4(in->buffer + in->filled, ones);
        got = 4;
    }
    in->filled += static_cast<uint32_t>(got);
    BitPlace place = {pos & 7, in->filled < 4 ? 0 : (in->filled - 3) * 8, in->ahead * 8};
    return place;
}

// The first 4 bytes from at on, the first one highest.
inline uint32_t Word(const uint8_t *at) {
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t word;
    __builtin_memcpy(&word, at, 4);
    return __builtin_bswap32(word);
#else
    return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
           (static_cast<uint32_t>(at[2]) << 8) | at[3];
#endif
}

// Bits are taken from the buffer by their position, four bytes at a time,
// with no branch but the one that refills it. The tally still counts what a
// byte source would have seen: a byte is needed once one of its bits is.
// The decoded bytes are written straight from the window, whenever it is
// full and at the end.
struct BlockIo {
    BlockInput *in;
    const uint8_t *buffer;
    BitPlace place;
    bool writeFailed;
    uint32_t windowStart;  // the first window byte not written yet

    uint32_t TakeBits(uint32_t n) {
        while (place.pos >= place.refillAt) {
            place = Refill(in, place.pos);
        }
        // At most 7 + 17 bits of the word matter. Shifting in two steps
        // gives 0 for n = 0 without a shift by 32.
        uint32_t bits = ((Word(buffer + (place.pos >> 3)) << (place.pos & 7)) >> 1) >> (31 - n);
        place.pos += n;
        return bits;
    }
    // Past the input's end by more than `bytes` bytes: bits after them are
    // needed.
    bool PastEnd(uint32_t bytes) const {
        return static_cast<int32_t>(place.pos) > place.inputEnd + static_cast<int32_t>(bytes * 8);
    }
    // The length field, from the first 4 bytes that the first refill
    // brings. When the input ends inside it, a byte source would have been
    // asked for the first missing byte and no further.
    bool ReadLength(uint32_t *length) {
        do {
            place = Refill(in, 0);
        } while (place.refillAt == 0);
        *length = ReadLittleEndian32(buffer);
        bool whole = place.inputEnd >= 32;
        place.pos = whole ? 32 : place.inputEnd + 8;
        return whole;
    }
    // The bytes from buffer[0] on that a byte source would have been asked
    // for so far, less those it had.
    int32_t PastEndBy() const { return static_cast<int32_t>((place.pos + 7) >> 3) - in->ahead; }
    uint64_t ReadsPastEnd() const { return PastEndBy() > 0 ? PastEndBy() : 0; }
    uint64_t BytesUsed() const { return PastEndBy() < 0 ? in->fetched + PastEndBy() : in->fetched; }
    void WriteByte(int32_t) {}
    void Write(const uint8_t *window, uint32_t end) {
        const LzariStreamIo *io = in->io;
        if (!writeFailed && end > windowStart &&
            !io->write(io->context, window + windowStart, end - windowStart)) {
            writeFailed = true;
        }
        windowStart = 0;
    }
    void WindowFull(const uint8_t *window) { Write(window, LzariRingSize); }
    void Finish(const uint8_t *window, uint32_t end) { Write(window, end); }
    bool ReadTooFar() const { return PastEnd(LzariMaxOverRead); }
    // Until the input has ended this is two branches that always go the
    // same way; the place check would keep one more register busy.
    bool Stopped() const { return writeFailed || (in->ended && ReadTooFar()); }
    LzariResult Result() const {
        return writeFailed ? LzariWriteFailed : ReadTooFar() ? LzariReadTooFar : LzariDone;
    }
};

}  // namespace

LzariResult LzariDecode(void *workArea, LzariReadByte readByte, void *sourceData,
                        LzariWriteByte writeByte, void *sinkData) {
    CallbackIo io = {readByte, sourceData, writeByte, sinkData, false, 0, 0};
    return DecodeStream(static_cast<LzariState *>(workArea), io);
}

LzariResult LzariDecodeBlocks(void *workArea, const LzariStreamIo *io, LzariDecodeTally *tally) {
    LzariState *state = static_cast<LzariState *>(workArea);
    BlockInput input = {io, state->input, 0, false, 0, 0};
    BlockIo blocks = {&input, state->input, {0, 0, 0}, false, LzariRingSize - LzariMaxMatch};
    LzariResult result = DecodeStream(state, blocks);
    tally->bytesUsed = blocks.BytesUsed();
    tally->readsPastEnd = blocks.ReadsPastEnd();
    return result;
}
