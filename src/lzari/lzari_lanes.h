// The three operations the symbol model's sums need where the target has
// SSE2, on rows of signed 16-bit numbers whose length is a multiple of 8:
// counting a sorted row's entries at or below a limit, or above one, and
// adding 1 from an index on; each 8 entries take one instruction, and none
// takes a branch. Targets without SSE2 (i686) keep the model's plain walk.
// Portable: elsewhere this header defines LUMV_LZARI_INLINE only.
#pragma once

#include <stdint.h>

// The decoder's inner loop is made of these and the model's small
// functions; the compiler must put them in line whatever its size budget.
#if defined(__GNUC__)
#define LUMV_LZARI_INLINE inline __attribute__((always_inline))
#else
#define LUMV_LZARI_INLINE inline
#endif

#if defined(__SSE2__) && defined(__GNUC__) && !defined(LUMV_LZARI_PLAIN_LANES)
#include <emmintrin.h>
#define LUMV_LZARI_SSE2_LANES 1
#endif

#if defined(LUMV_LZARI_SSE2_LANES)

// One bit per entry of row (length at most 32), entry i in bit i: set where
// the entry is above limit (Above) or below it (!Above).
template <bool Above>
LUMV_LZARI_INLINE uint32_t LzariCompareRow(const int16_t *row, int length, int16_t limit) {
    __m128i bound = _mm_set1_epi16(limit);
    uint32_t mask = 0;
    for (int i = 0; i < length; i += 16) {
        __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i));
        __m128i high =
            i + 8 < length ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i + 8)) : low;
        low = Above ? _mm_cmpgt_epi16(low, bound) : _mm_cmpgt_epi16(bound, low);
        high = Above ? _mm_cmpgt_epi16(high, bound) : _mm_cmpgt_epi16(bound, high);
        uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        mask |= (i + 8 < length ? bits : bits & 0xFF) << i;
    }
    return mask;
}

// In a non-decreasing row of at most 31 entries: how many are <= limit.
LUMV_LZARI_INLINE int LzariCountAtMost(const int16_t *row, int length, int16_t limit) {
    // The entries above limit come last: count up to the first of them.
    uint32_t above = LzariCompareRow<true>(row, length, limit) | (1u << length);
    return __builtin_ctz(above);
}

// In a non-increasing row of at most 31 entries: how many are > limit.
LUMV_LZARI_INLINE int LzariCountAbove(const int16_t *row, int length, int16_t limit) {
    // The entries above limit come first: count up to the first one below
    // limit + 1.
    uint32_t notAbove =
        LzariCompareRow<false>(row, length, static_cast<int16_t>(limit + 1)) | (1u << length);
    return __builtin_ctz(notAbove);
}

// row[i] += 1 for every i >= from (from may lie past the row).
LUMV_LZARI_INLINE void LzariAddFrom(int16_t *row, int length, int from) {
    __m128i index = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    __m128i before = _mm_set1_epi16(static_cast<int16_t>(from - 1));
    for (int i = 0; i < length; i += 8) {
        // The compare gives -1 where index >= from.
        __m128i add = _mm_cmpgt_epi16(index, before);
        __m128i *at = reinterpret_cast<__m128i *>(row + i);
        _mm_storeu_si128(at, _mm_sub_epi16(_mm_loadu_si128(at), add));
        index = _mm_add_epi16(index, _mm_set1_epi16(8));
    }
}

#endif
