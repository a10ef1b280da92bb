// The adaptive models that LZARI streams are coded with: the symbol model
// (literals and match lengths) and the fixed match-position model. Shared by
// the decoder and the encoder so both sides see the same sums. Portable.
#pragma once

#include <stdint.h>

enum {
    LzariRingSize = 4096,       // sliding window
    LzariMaxMatch = 60,         // longest match
    LzariMatchThreshold = 2,    // matches must be longer than this
    LzariCodeCount = 256 - LzariMatchThreshold + LzariMaxMatch,  // 314 codes
    LzariMaxTotal = 0x7FFF,     // the symbol model is halved at this total
};

// Symbols 1..314 stand for codes in order of non-increasing frequency. The
// cumulative frequencies of the classic model (cum[k] = the sum of the
// frequencies of symbols k+1..314) are kept as a Fenwick tree over the
// frequencies, so lookups and updates cost log n rather than n while every
// sum and every symbol's place stay exactly what the classic model gives.
struct LzariSymbolModel {
    uint32_t total;                        // cum[0]
    uint32_t freq[LzariCodeCount + 1];     // freq[0] is a 0 sentinel
    uint32_t tree[LzariCodeCount + 1];     // Fenwick tree over freq[1..314]
    int16_t codeOf[LzariCodeCount + 1];    // symbol -> code
    int16_t symbolOf[LzariCodeCount];      // code -> symbol
};

// The position model never changes: index p weighs 10000 / (p + 201).
// positionCum[k] is the sum of the weights of indexes k..4095.
struct LzariPositionModel {
    uint32_t cum[LzariRingSize + 1];
};

enum { LzariPositionTotal = 28568 };  // positionCum[0], the same for every stream

void LzariInitSymbolModel(LzariSymbolModel *model);
void LzariInitPositionModel(LzariPositionModel *model);

// The classic cumulative frequency cum[k], 0 <= k <= 314.
uint32_t LzariSymbolCum(const LzariSymbolModel *model, int symbol);

// The symbol s with cum[s] <= x < cum[s - 1], for x < total; *upper gets
// cum[s - 1].
int LzariFindSymbol(const LzariSymbolModel *model, uint32_t x, uint32_t *upper);

// Counts one more occurrence of symbol (halving first at the limit), moving
// its code in front of every symbol of the same frequency.
void LzariUpdateSymbolModel(LzariSymbolModel *model, int symbol);
