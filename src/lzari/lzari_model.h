// The adaptive models that LZARI streams are coded with: the symbol model
// (literals and match lengths) and the fixed match-position model. Shared by
// the decoder and the encoder so both sides see the same sums. Portable.
#pragma once

#include <stdint.h>

enum {
    LzariRingSize = 4096,                                        // sliding window
    LzariMaxMatch = 60,                                          // longest match
    LzariMatchThreshold = 2,                                     // matches must be longer than this
    LzariCodeCount = 256 - LzariMatchThreshold + LzariMaxMatch,  // 314 codes
    LzariMaxTotal = 0x7FFF,  // the symbol model is halved at this total
    LzariBlockShift = 4,     // the symbol model sums blocks of 16 symbols
    LzariBlockCount = (LzariCodeCount + (1 << LzariBlockShift) - 1) >> LzariBlockShift,
};

// Symbols 1..314 stand for codes in order of non-increasing frequency. The
// cumulative frequencies of the classic model (cum[k] = the sum of the
// frequencies of symbols k+1..314) are not stored; the model keeps the sum
// of each block of 16 symbols instead. A lookup walks at most 20 block sums
// and 16 frequencies, and usually far fewer, as the frequent symbols come
// first; an update touches one frequency and one block sum instead of every
// cum[k] before the symbol. Every sum and every symbol's place stay exactly
// what the classic model gives.
struct LzariSymbolModel {
    uint32_t total;  // cum[0]
    // freq[0] is a 0 sentinel; so are the entries after symbol 314, which
    // fill the last block.
    uint32_t freq[(LzariBlockCount << LzariBlockShift) + 1];
    uint32_t blockSum[LzariBlockCount];  // block b: symbols 16b+1..16b+16
    int16_t codeOf[LzariCodeCount + 1];  // symbol -> code
    int16_t symbolOf[LzariCodeCount];    // code -> symbol
};

enum {
    LzariPositionTotal = 28568,  // positionCum[0], the same for every stream
    LzariPositionBucketShift = 3,
};

// The position model never changes: index p weighs 10000 / (p + 201).
// positionCum[k] is the sum of the weights of indexes k..4095.
struct LzariPositionModel {
    // cum[4096] is 0, and so are the two after it (see LzariFindPosition).
    uint32_t cum[LzariRingSize + 3];
    // Scaled values x are grouped in buckets of 8 (x >> 3); firstIndex holds
    // the smallest index that any x of a bucket maps to. The answer for any
    // x of the bucket lies at most 3 indexes on from there (every index
    // weighs at least 2), instead of somewhere among all 4096.
    uint16_t firstIndex[((LzariPositionTotal - 1) >> LzariPositionBucketShift) + 1];
};

// The arithmetic coder's interval and value are 17-bit numbers; both sides
// of the coder work on these.
const uint32_t LzariCoderQuarter = 0x8000;
const uint32_t LzariCoderHalf = 0x10000;
const uint32_t LzariCoderTop = 0x20000;
const uint32_t LzariCoderMask = LzariCoderTop - 1;

// Leading zero bits of a nonzero number: how far an interval can be
// renormalised in one step.
inline uint32_t LzariLeadingZeros(uint32_t x) {
#if defined(__GNUC__)
    return static_cast<uint32_t>(__builtin_clz(x));
#else
    uint32_t count = 0;
    for (; (x & 0x80000000u) == 0; x <<= 1) {
        count++;
    }
    return count;
#endif
}

void LzariInitSymbolModel(LzariSymbolModel *model);
void LzariInitPositionModel(LzariPositionModel *model);

// The classic cumulative frequency cum[k], 0 <= k <= 314. Inline, being the
// encoder's inner loop.
inline uint32_t LzariSymbolCum(const LzariSymbolModel *model, int symbol) {
    // total minus the sums of the blocks before symbol's block and of its
    // symbols up to symbol. Both loops run a fixed number of times and
    // mask instead of stopping early: branches on the symbol would be
    // mispredicted most of the time, and the compiler can vectorise these.
    int block = symbol >> LzariBlockShift;
    int inBlock = symbol & ((1 << LzariBlockShift) - 1);
    uint32_t prefix = 0;
    for (int b = 0; b < LzariBlockCount; b++) {
        prefix += model->blockSum[b] & (0u - static_cast<uint32_t>(b < block));
    }
    const uint32_t *freq = &model->freq[(block << LzariBlockShift) + 1];
    for (int i = 0; i < (1 << LzariBlockShift); i++) {
        prefix += freq[i] & (0u - static_cast<uint32_t>(i < inBlock));
    }
    return model->total - prefix;
}

// The symbol s with prefix(s - 1) * scale <= limit < prefix(s) * scale,
// prefix(k) being the sum of the frequencies of symbols 1..k; *upper gets
// cum[s - 1]. limit must be below total * scale, and total * scale must fit
// 32 bits. Inline, being the decoder's inner loop.
inline int LzariFindScaledSymbol(const LzariSymbolModel *model, uint32_t limit, uint32_t scale,
                                 uint32_t *upper) {
    uint32_t below = 0;
    int block = 0;
    while ((below + model->blockSum[block]) * scale <= limit) {
        below += model->blockSum[block];
        block++;
    }
    int symbol = (block << LzariBlockShift) + 1;
    while ((below + model->freq[symbol]) * scale <= limit) {
        below += model->freq[symbol];
        symbol++;
    }
    *upper = model->total - below;
    return symbol;
}

// The symbol s with cum[s] <= x < cum[s - 1], for x < total; *upper gets
// cum[s - 1].
inline int LzariFindSymbol(const LzariSymbolModel *model, uint32_t x, uint32_t *upper) {
    // cum[s] <= x  <=>  total - prefix(s) <= x  <=>  prefix(s) > total - 1 - x.
    return LzariFindScaledSymbol(model, model->total - 1 - x, 1, upper);
}

// The index p with cum[p + 1] <= x < cum[p], for x < LzariPositionTotal.
inline uint32_t LzariFindPosition(const LzariPositionModel *model, uint32_t x) {
    // cum falls strictly down to cum[4096] = 0, so the indexes to step over
    // are exactly those of the next three whose cum is still above x. Adding
    // up the three comparisons costs no branch, which a loop stopping after
    // 0 to 3 steps would mispredict often.
    uint32_t index = model->firstIndex[x >> LzariPositionBucketShift];
    const uint32_t *next = &model->cum[index + 1];
    return index + (next[0] > x ? 1 : 0) + (next[1] > x ? 1 : 0) + (next[2] > x ? 1 : 0);
}

// The rare parts of an update, out of line: the halving, and the start of
// a run of equal frequencies that reaches back from symbol (which has the
// same frequency as symbol - 1).
void LzariHalveSymbolModel(LzariSymbolModel *model);
int LzariFirstOfEqualFrequency(const LzariSymbolModel *model, int symbol);

// Counts one more occurrence of symbol (halving first at the limit), moving
// its code in front of every symbol of the same frequency.
inline void LzariUpdateSymbolModel(LzariSymbolModel *model, int symbol) {
    if (model->total >= LzariMaxTotal) {
        LzariHalveSymbolModel(model);
    }
    // The symbols of the same frequency form one run ending at symbol, as
    // frequencies never increase from symbol 1 on. Runs are mostly short:
    // count the equal ones among the 8 symbols before without a branch per
    // symbol (whether there is a tie at all is a coin toss on some data).
    // Indexes below 1 read the 0 sentinel, which equals no frequency.
    uint32_t frequency = model->freq[symbol];
    int equal = 0;
    for (int k = 1; k <= 8; k++) {
        int i = symbol > k ? symbol - k : 0;
        equal += model->freq[i] == frequency ? 1 : 0;
    }
    int first = equal < 8 ? symbol - equal : LzariFirstOfEqualFrequency(model, symbol - 7);
    // Swapping a symbol with itself changes nothing.
    int16_t firstCode = model->codeOf[first];
    int16_t symbolCode = model->codeOf[symbol];
    model->codeOf[first] = symbolCode;
    model->codeOf[symbol] = firstCode;
    model->symbolOf[symbolCode] = static_cast<int16_t>(first);
    model->symbolOf[firstCode] = static_cast<int16_t>(symbol);
    model->freq[first]++;
    model->blockSum[(first - 1) >> LzariBlockShift]++;
    model->total++;
}
