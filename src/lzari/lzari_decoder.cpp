// Decoding one LZARI stream, from a byte source into a byte sink or through
// block reads and writes. One decoding loop serves both: it is written once
// over an I/O type whose calls the compiler puts in line.
#include "lzari_decoder.h"

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
    uint32_t bits;  // input bits not used yet: the lowest `count` of them
    uint32_t count;
    Io *io;
};

// The next n (0..17) input bits, first bit highest. Bytes are fetched only
// when their bits are needed, exactly when bit-at-a-time reading would
// fetch them; -1 (no input left) reads as eight 1 bits.
template <class Io>
LUMV_LZARI_INLINE uint32_t TakeBits(Decoder<Io> &d, uint32_t n) {
    while (d.count < n) {
        uint32_t byte = static_cast<uint32_t>(d.io->ReadByte()) & 0xFF;
        d.bits = (d.bits << 8) | byte;
        d.count += 8;
    }
    d.count -= n;
    return (d.bits >> d.count) & ((1u << n) - 1);
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
    for (int i = 0; i < 4; i++) {
        int32_t byte = io.ReadLengthByte();
        if (byte < 0) {
            // A stream too short for its own length is reported to the
            // caller, which cleans up and tells the user; it must not end
            // the process behind the caller's back.
            return LzariInputEnded;
        }
        length |= static_cast<uint32_t>(byte & 0xFF) << (8 * i);
    }
    if (length == 0) {
        return LzariDone;
    }
    Decoder<Io> d = {0, LzariCoderMask, 0, 0, 0, &io};
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

    int32_t ReadByte() { return readByte(sourceData); }
    int32_t ReadLengthByte() { return readByte(sourceData); }
    void WriteByte(int32_t byte) { writeFailed |= writeByte(sinkData, byte) < 0; }
    void WindowFull(const uint8_t *) {}
    void Finish(const uint8_t *, uint32_t) {}
    bool Stopped() const { return writeFailed; }
    LzariResult Result() const { return writeFailed ? LzariWriteFailed : LzariDone; }
};

// Block reads into the input buffer of the work area; the decoded bytes are
// written straight from the window, whenever it is full and at the end.
// Once the input has ended the buffer holds 1 bits (bytes of 0xFF), as
// many as PastEndFill at a time, so that a read is a compare and a load
// whether the input has ended or not.
struct BlockIo {
    static const uint32_t PastEndFill = 16;

    const LzariStreamIo *io;
    uint8_t *input;
    uint32_t at;
    uint32_t filled;
    uint64_t fetched;  // bytes read from io
    uint32_t pastEnd;  // bytes of 1 bits put into the buffer since the input ended
    bool ended;
    bool writeFailed;
    uint32_t windowStart;  // the first window byte not written yet

    int32_t ReadByte() {
        if (at == filled) {
            Refill();
        }
        return input[at++];
    }
    int32_t ReadLengthByte() {
        int32_t byte = ReadByte();
        return ReadsPastEnd() > 0 ? -1 : byte;
    }
    // Once per block: out of line.
    __attribute__((noinline)) void Refill() {
        size_t got = ended ? 0 : io->read(io->context, input, LzariDecodeInputSize);
        fetched += got;
        if (got == 0) {
            ended = true;
            for (uint32_t i = 0; i < PastEndFill; i++) {
                input[i] = 0xFF;
            }
            got = PastEndFill;
            pastEnd += PastEndFill;
        }
        at = 0;
        filled = static_cast<uint32_t>(got);
    }
    // What a byte source would have counted as reads after its end.
    uint32_t ReadsPastEnd() const { return ended ? pastEnd - (filled - at) : 0; }
    uint64_t BytesUsed() const { return ended ? fetched : fetched - (filled - at); }
    void WriteByte(int32_t) {}
    void Write(const uint8_t *window, uint32_t end) {
        if (!writeFailed && end > windowStart &&
            !io->write(io->context, window + windowStart, end - windowStart)) {
            writeFailed = true;
        }
        windowStart = 0;
    }
    void WindowFull(const uint8_t *window) { Write(window, LzariRingSize); }
    void Finish(const uint8_t *window, uint32_t end) { Write(window, end); }
    bool ReadTooFar() const { return ReadsPastEnd() > LzariMaxOverRead; }
    bool Stopped() const { return writeFailed || ReadTooFar(); }
    LzariResult Result() const {
        return writeFailed ? LzariWriteFailed : ReadTooFar() ? LzariReadTooFar : LzariDone;
    }
};

}  // namespace

LzariResult LzariDecode(void *workArea, LzariReadByte readByte, void *sourceData,
                        LzariWriteByte writeByte, void *sinkData) {
    CallbackIo io = {readByte, sourceData, writeByte, sinkData, false};
    return DecodeStream(static_cast<LzariState *>(workArea), io);
}

LzariResult LzariDecodeBlocks(void *workArea, const LzariStreamIo *io, LzariDecodeTally *tally) {
    LzariState *state = static_cast<LzariState *>(workArea);
    BlockIo blocks = {io, state->input, 0, 0, 0, 0, false, false, LzariRingSize - LzariMaxMatch};
    LzariResult result = DecodeStream(state, blocks);
    tally->bytesUsed = blocks.BytesUsed();
    tally->readsPastEnd = blocks.ReadsPastEnd();
    return result;
}
