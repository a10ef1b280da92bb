// The adaptive symbol model and the fixed position model of LZARI streams.
#include "lzari_model.h"

static void SumBlocks(LzariSymbolModel *model) {
    uint32_t total = 0;
    for (int block = 0; block < LzariBlockCount; block++) {
#if defined(LUMV_LZARI_SSE2_LANES)
        model->blockStart[block] = static_cast<int16_t>(total);
#endif
        uint32_t sum = 0;
        for (int i = 0; i < (1 << LzariBlockShift); i++) {
            sum += static_cast<uint32_t>(model->freq[(block << LzariBlockShift) + i + 1]);
#if defined(LUMV_LZARI_SSE2_LANES)
            model->runningSum[block][i] = static_cast<int16_t>(sum);
#endif
        }
#if !defined(LUMV_LZARI_SSE2_LANES)
        model->blockSum[block] = static_cast<int16_t>(sum);
#endif
        total += sum;
    }
    LzariSetTotal(model, total);
}

void LzariInitSymbolModel(LzariSymbolModel *model) {
    for (int i = 0; i <= (LzariBlockCount << LzariBlockShift); i++) {
        model->freq[i] = 0;
    }
    model->codeOf[0] = 0;
    for (int symbol = 1; symbol <= LzariCodeCount; symbol++) {
        model->codeOf[symbol] = static_cast<int16_t>(symbol - 1);
        model->symbolOf[symbol - 1] = static_cast<int16_t>(symbol);
        model->freq[symbol] = 1;
    }
    SumBlocks(model);
}

void LzariInitPositionModel(LzariPositionModel *model) {
    model->cum[LzariRingSize] = 0;
    model->cum[LzariRingSize + 1] = 0;
    model->cum[LzariRingSize + 2] = 0;
    for (uint32_t i = LzariRingSize; i >= 1; i--) {
        model->cum[i - 1] = model->cum[i] + 10000 / (i + 200);
    }
    // Scaled values grow as indexes shrink, so the last value of a bucket
    // gives its smallest index; walk the indexes down while the buckets go up.
    uint32_t index = LzariRingSize - 1;
    for (uint32_t bucket = 0; bucket <= ((LzariPositionTotal - 1) >> LzariPositionBucketShift);
         bucket++) {
        uint32_t lastValue = ((bucket + 1) << LzariPositionBucketShift) - 1;
        while (index > 0 && model->cum[index] <= lastValue) {
            index--;
        }
        model->firstIndex[bucket] = static_cast<uint16_t>(index);
    }
}

void LzariHalveSymbolModel(LzariSymbolModel *model) {
    for (int i = 1; i <= LzariCodeCount; i++) {
        model->freq[i] = static_cast<int16_t>((model->freq[i] + 1) / 2);
    }
    SumBlocks(model);
}

// The lowest-numbered symbol with the same frequency as symbol. Frequencies
// never increase from symbol 1 on, so that is 1 + the number of symbols of
// a higher frequency: the blocks whose last symbol is higher count whole,
// then the higher symbols of the next block. The padding after symbol 314
// is 0, never higher.
int LzariFirstOfEqualFrequency(const LzariSymbolModel *model, int symbol) {
    int16_t frequency = model->freq[symbol];
    int blocks = 0;
    for (int b = 1; b <= LzariBlockCount; b++) {
        blocks += model->freq[b << LzariBlockShift] > frequency ? 1 : 0;
    }
    const int16_t *freq = &model->freq[(blocks << LzariBlockShift) + 1];
    int higher = 0;
    for (int i = 0; i < (1 << LzariBlockShift); i++) {
        higher += freq[i] > frequency ? 1 : 0;
    }
    return (blocks << LzariBlockShift) + higher + 1;
}
