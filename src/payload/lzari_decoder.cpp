// Decoding one LZARI stream from a byte source into a byte sink.
#include "lzari_decoder.h"

namespace {

const uint32_t Quarter = 0x8000;
const uint32_t Half = 0x10000;
const uint32_t ThreeQuarters = 0x18000;
const uint32_t Top = 0x20000;

void ClearBytes(void *area, unsigned long size) {
    unsigned char *bytes = static_cast<unsigned char *>(area);
    for (unsigned long i = 0; i < size; i++) {
        bytes[i] = 0;
    }
}

uint32_t NextBit(LzariState *state) {
    state->bitMask >>= 1;
    if (state->bitMask == 0) {
        state->bitBuffer = state->readByte(state->sourceData);
        state->bitMask = 0x80;
    }
    return (state->bitBuffer & state->bitMask) != 0 ? 1 : 0;
}

// Where value falls in the current interval, scaled to a model's total.
uint32_t ScaledValue(const LzariState *state, uint32_t total) {
    uint32_t range = state->high - state->low;
    return ((state->value - state->low + 1) * total - 1) / range;
}

// Narrows the interval to [lower, upper) of total and renormalises.
void Narrow(LzariState *state, uint32_t upper, uint32_t lower, uint32_t total) {
    uint32_t range = state->high - state->low;
    state->high = state->low + range * upper / total;
    state->low = state->low + range * lower / total;
    for (;;) {
        if (state->low >= Half) {
            state->value -= Half;
            state->low -= Half;
            state->high -= Half;
        } else if (state->low >= Quarter && state->high <= ThreeQuarters) {
            state->value -= Quarter;
            state->low -= Quarter;
            state->high -= Quarter;
        } else if (state->high > Half) {
            return;
        }
        state->low += state->low;
        state->high += state->high;
        state->value = 2 * state->value + NextBit(state);
    }
}

int DecodeCode(LzariState *state) {
    LzariSymbolModel *model = &state->symbols;
    uint32_t total = model->total;
    uint32_t upper = 0;
    int symbol = LzariFindSymbol(model, ScaledValue(state, total), &upper);
    Narrow(state, upper, upper - model->freq[symbol], total);
    int code = model->codeOf[symbol];
    LzariUpdateSymbolModel(model, symbol);
    return code;
}

uint32_t DecodeMatchPosition(LzariState *state) {
    const uint32_t *cum = state->positions.cum;
    uint32_t x = ScaledValue(state, LzariPositionTotal);
    uint32_t lo = 1;
    uint32_t hi = LzariRingSize;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (cum[mid] > x) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    uint32_t position = lo - 1;
    Narrow(state, cum[position], cum[position + 1], LzariPositionTotal);
    return position;
}

void PutByte(LzariState *state, uint32_t *at, uint8_t byte) {
    state->writeByte(state->sinkData, byte);
    state->ring[*at] = byte;
    *at = (*at + 1) & (LzariRingSize - 1);
}

}  // namespace

int32_t LzariDecode(void *workArea, LzariReadByte readByte, void *sourceData,
                    LzariWriteByte writeByte, void *sinkData) {
    LzariState *state = static_cast<LzariState *>(workArea);
    ClearBytes(state, LzariWorkAreaSize);
    state->readByte = readByte;
    state->sourceData = sourceData;
    state->writeByte = writeByte;
    state->sinkData = sinkData;
    state->high = Top;

    uint32_t length = 0;
    for (int i = 0; i < 4; i++) {
        int32_t byte = readByte(sourceData);
        if (byte < 0) {
            // A stream too short for its own length is reported to the
            // caller, which cleans up and tells the user; it must not end
            // the process behind the caller's back.
            return 0;
        }
        length |= static_cast<uint32_t>(byte & 0xFF) << (8 * i);
    }
    if (length == 0) {
        return 1;
    }
    for (int i = 0; i < 17; i++) {
        state->value = 2 * state->value + NextBit(state);
    }
    LzariInitSymbolModel(&state->symbols);
    LzariInitPositionModel(&state->positions);
    for (int i = 0; i < LzariRingSize - LzariMaxMatch; i++) {
        state->ring[i] = ' ';
    }

    uint32_t at = LzariRingSize - LzariMaxMatch;
    uint32_t produced = 0;
    while (produced < length) {
        int code = DecodeCode(state);
        if (code < 256) {
            PutByte(state, &at, static_cast<uint8_t>(code));
            produced++;
            continue;
        }
        uint32_t position = DecodeMatchPosition(state);
        uint32_t matchLength = static_cast<uint32_t>(code) - (255 - LzariMatchThreshold);
        uint32_t from = (at - position - 1) & (LzariRingSize - 1);
        // A match running past the declared length is cut there, so the
        // output always has exactly the length the stream declares, even
        // when the stream is damaged.
        if (matchLength > length - produced) {
            matchLength = length - produced;
        }
        for (uint32_t k = 0; k < matchLength; k++) {
            PutByte(state, &at, state->ring[(from + k) & (LzariRingSize - 1)]);
        }
        produced += matchLength;
    }
    return 1;
}
