// The adaptive models that LZARI streams are coded with: the symbol model
// (literals and match lengths) and the fixed match-position model. Shared by
// the decoder and the encoder so both sides see the same sums. Portable.
#pragma once

#include <stdint.h>

#include "lzari_lanes.h"

enum {
    LzariRingSize = 4096,                                        // sliding window
    LzariMaxMatch = 60,                                          // longest match
    LzariMatchThreshold = 2,                                     // matches must be longer than this
    LzariCodeCount = 256 - LzariMatchThreshold + LzariMaxMatch,  // 314 codes
    LzariMaxTotal = 0x7FFF,  // the symbol model is halved at this total
    LzariBlockShift = 4,     // the symbol model sums blocks of 16 symbols
    // 20 blocks hold the codes; 4 empty ones after them make the count a
    // multiple of 8, so that loops over the blocks fill whole vectors.
    LzariBlockCount = (((LzariCodeCount + (1 << LzariBlockShift) - 1) >> LzariBlockShift) + 7) & ~7,
};

// Symbols 1..314 stand for codes in order of non-increasing frequency. The
// cumulative frequencies of the classic model (cum[k] = the sum of the
// frequencies of symbols k+1..314) are not stored: an update would touch
// every cum[k] before the symbol. The model keeps blocks of 16 symbols
// instead, and what it keeps of them depends on the target:
// - With SSE2: the running sums prefix(s) = freq[1] + ... + freq[s] in two
//   levels, where each block starts and the running sum inside each block.
//   A lookup walks the block starts from the front and counts the block's
//   sums at or below the value sought; an update adds 1 to the later ones.
//   The counting and the adding are a few vector instructions each, without
//   a branch (lzari_lanes.h).
// - Without: the sum of each block. A lookup walks the block sums and then
//   the frequencies from the front, and ends early on most data, as the
//   frequent symbols come first; an update adds 1 to one block sum.
// Every sum and every symbol's place stay exactly what the classic model
// gives.
struct LzariSymbolModel {
    uint32_t total;  // cum[0] = prefix(314)
    // Every sum fits 16 bits (total <= 0x7FFF), and signed 16-bit numbers
    // are what vector compares handle best. freq[0] is a 0 sentinel; so are
    // the entries after symbol 314, which fill the last blocks.
    int16_t freq[(LzariBlockCount << LzariBlockShift) + 1];
#if defined(LUMV_LZARI_SSE2_LANES)
    // blockStart[b] = prefix(16b): the sum of the blocks before block b.
    int16_t blockStart[LzariBlockCount];
    // runningSum[b][i] = prefix(16b + i + 1) - blockStart[b].
    int16_t runningSum[LzariBlockCount][1 << LzariBlockShift];
#else
    int16_t blockSum[LzariBlockCount];  // block b: symbols 16b+1..16b+16
#endif
    int16_t codeOf[LzariCodeCount + 1];  // symbol -> code
    int16_t symbolOf[LzariCodeCount];    // code -> symbol
#if defined(__SIZEOF_INT128__)
    // ceil(2^64 / total): n / total is the high half of n * reciprocal for
    // every 32-bit n, and a multiplication is far quicker than a division.
    uint64_t reciprocal;
#endif
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

// Sets total, and where 128-bit products exist its reciprocal.
inline void LzariSetTotal(LzariSymbolModel *model, uint32_t total) {
    model->total = total;
#if defined(__SIZEOF_INT128__)
    model->reciprocal = ~static_cast<uint64_t>(0) / total + 1;
#endif
}

// n / total, rounded down.
LUMV_LZARI_INLINE uint32_t LzariDivideByTotal(const LzariSymbolModel *model, uint32_t n) {
#if defined(__SIZEOF_INT128__)
    return static_cast<uint32_t>((static_cast<unsigned __int128>(model->reciprocal) * n) >> 64);
#else
    return n / model->total;
#endif
}

// prefix(s), 0 <= s <= 314.
inline uint32_t LzariSymbolPrefix(const LzariSymbolModel *model, int symbol) {
#if defined(LUMV_LZARI_SSE2_LANES)
    int i = symbol > 0 ? symbol - 1 : 0;
    uint32_t sum = static_cast<uint32_t>(
        model->blockStart[i >> LzariBlockShift] +
        model->runningSum[i >> LzariBlockShift][i & ((1 << LzariBlockShift) - 1)]);
    return symbol > 0 ? sum : 0;
#else
    // The blocks before symbol's block, then its symbols up to symbol. Both
    // loops run a fixed number of times and mask instead of stopping early:
    // a branch on the symbol would be mispredicted most of the time.
    int block = symbol >> LzariBlockShift;
    int inBlock = symbol & ((1 << LzariBlockShift) - 1);
    int32_t sum = 0;
    for (int b = 0; b < LzariBlockCount; b++) {
        sum += model->blockSum[b] & -static_cast<int32_t>(b < block);
    }
    const int16_t *freq = &model->freq[(block << LzariBlockShift) + 1];
    for (int i = 0; i < (1 << LzariBlockShift); i++) {
        sum += freq[i] & -static_cast<int32_t>(i < inBlock);
    }
    return static_cast<uint32_t>(sum);
#endif
}

// The classic cumulative frequency cum[k], 0 <= k <= 314.
inline uint32_t LzariSymbolCum(const LzariSymbolModel *model, int symbol) {
    return model->total - LzariSymbolPrefix(model, symbol);
}

// The first symbol s with prefix(s) * scale > limit; *prefix gets prefix(s).
// limit must be below total * scale, which must fit 32 bits. Inline, being
// the decoder's inner loop.
LUMV_LZARI_INLINE int LzariFindScaledSymbol(const LzariSymbolModel *model, uint32_t limit,
                                            uint32_t scale, uint32_t *prefix) {
#if defined(LUMV_LZARI_SSE2_LANES)
    // prefix(s) * scale > limit exactly when prefix(s) > limit / scale,
    // rounded down. The blocks are walked from the front, as the frequent
    // symbols come first; the blocks after the last symbol start at total,
    // above the quotient, so the walk ends at the symbol's block. Within it
    // the running sums are counted without a branch.
    int16_t below = static_cast<int16_t>(limit / scale);
    int block = 0;
    while (model->blockStart[block + 1] <= below) {
        block++;
    }
    int16_t start = model->blockStart[block];
    const int16_t *sums = model->runningSum[block];
    int before = LzariCountAtMost(sums, 1 << LzariBlockShift, static_cast<int16_t>(below - start));
    *prefix = static_cast<uint32_t>(start + sums[before]);
    return (block << LzariBlockShift) + before + 1;
#else
    // No division: the walk multiplies instead.
    uint32_t sum = 0;
    int block = 0;
    while ((sum + static_cast<uint32_t>(model->blockSum[block])) * scale <= limit) {
        sum += static_cast<uint32_t>(model->blockSum[block]);
        block++;
    }
    int symbol = (block << LzariBlockShift) + 1;
    while ((sum + static_cast<uint32_t>(model->freq[symbol])) * scale <= limit) {
        sum += static_cast<uint32_t>(model->freq[symbol]);
        symbol++;
    }
    *prefix = sum + static_cast<uint32_t>(model->freq[symbol]);
    return symbol;
#endif
}

// The symbol s with cum[s] <= x < cum[s - 1], for x < total; *upper gets
// cum[s - 1].
inline int LzariFindSymbol(const LzariSymbolModel *model, uint32_t x, uint32_t *upper) {
    // cum[s] <= x  <=>  total - prefix(s) <= x  <=>  prefix(s) > total - 1 - x.
    uint32_t prefix = 0;
    int symbol = LzariFindScaledSymbol(model, model->total - 1 - x, 1, &prefix);
    *upper = model->total - prefix + static_cast<uint32_t>(model->freq[symbol]);
    return symbol;
}

// The index p with cum[p + 1] <= x < cum[p], for x < LzariPositionTotal.
LUMV_LZARI_INLINE uint32_t LzariFindPosition(const LzariPositionModel *model, uint32_t x) {
    // cum falls strictly down to cum[4096] = 0, so the indexes to step over
    // are exactly those of the next three whose cum is still above x. Adding
    // up the three comparisons costs no branch, which a loop stopping after
    // 0 to 3 steps would mispredict often.
    uint32_t index = model->firstIndex[x >> LzariPositionBucketShift];
    const uint32_t *next = &model->cum[index + 1];
    return index + (next[0] > x ? 1 : 0) + (next[1] > x ? 1 : 0) + (next[2] > x ? 1 : 0);
}

// The rare parts of an update, out of line: the halving, and the start of
// a run of equal frequencies that reaches back from symbol's block into
// the one before.
void LzariHalveSymbolModel(LzariSymbolModel *model);
int LzariFirstOfEqualFrequency(const LzariSymbolModel *model, int symbol);

// Counts one more occurrence of symbol (halving first at the limit), moving
// its code in front of every symbol of the same frequency.
LUMV_LZARI_INLINE void LzariUpdateSymbolModel(LzariSymbolModel *model, int symbol) {
    if (model->total >= LzariMaxTotal) {
        LzariHalveSymbolModel(model);
    }
    // The symbols of the same frequency form one run ending at symbol, as
    // frequencies never increase from symbol 1 on. So the run's first
    // symbol in symbol's block comes after the block's higher frequencies.
    // Only a run reaching back into the block before takes the longer way.
    int16_t frequency = model->freq[symbol];
    int blockFirst = ((symbol - 1) & ~((1 << LzariBlockShift) - 1)) + 1;
#if defined(LUMV_LZARI_SSE2_LANES)
    int higher = LzariCountAbove(&model->freq[blockFirst], 1 << LzariBlockShift, frequency);
#else
    int higher = 0;
    while (model->freq[blockFirst + higher] > frequency) {
        higher++;
    }
#endif
    int first = blockFirst + higher;
    if (higher == 0 && model->freq[blockFirst - 1] == frequency) {
        first = LzariFirstOfEqualFrequency(model, symbol);
    }
    // Swapping a symbol with itself changes nothing.
    int16_t firstCode = model->codeOf[first];
    int16_t symbolCode = model->codeOf[symbol];
    model->codeOf[first] = symbolCode;
    model->codeOf[symbol] = firstCode;
    model->symbolOf[symbolCode] = static_cast<int16_t>(first);
    model->symbolOf[firstCode] = static_cast<int16_t>(symbol);
    model->freq[first]++;
    LzariSetTotal(model, model->total + 1);
#if defined(LUMV_LZARI_SSE2_LANES)
    // The sums from first on grow by 1: the rest of its block's running
    // sums and the starts of the blocks after it.
    int block = (first - 1) >> LzariBlockShift;
    LzariAddFrom(model->runningSum[block], 1 << LzariBlockShift,
                 (first - 1) & ((1 << LzariBlockShift) - 1));
    LzariAddFrom(model->blockStart, LzariBlockCount, block + 1);
#else
    model->blockSum[(first - 1) >> LzariBlockShift]++;
#endif
}
