// The adaptive symbol model and the fixed position model of LZARI streams.
#include "lzari_model.h"

static void SumBlocks(LzariSymbolModel *model) {
    uint32_t total = 0;
    for (int block = 0; block < LzariBlockCount; block++) {
        model->blockSum[block] = 0;
    }
    for (int i = 1; i <= LzariCodeCount; i++) {
        model->blockSum[(i - 1) >> LzariBlockShift] += model->freq[i];
        total += model->freq[i];
    }
    model->total = total;
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
        model->freq[i] = (model->freq[i] + 1) / 2;
    }
    SumBlocks(model);
}

// The lowest-numbered symbol with the same frequency as symbol, which is
// known to have the same frequency as symbol - 1: step back in doubling
// strides until past the start of the run, then halve the last stride.
int LzariFirstOfEqualFrequency(const LzariSymbolModel *model, int symbol) {
    uint32_t frequency = model->freq[symbol];
    int inRun = symbol - 1;  // always has the frequency
    int stride = 1;
    while (inRun - stride >= 1 && model->freq[inRun - stride] == frequency) {
        inRun -= stride;
        stride *= 2;
    }
    // The run starts after inRun - stride (or at 1) and at or before inRun.
    int lo = inRun - stride + 1 > 1 ? inRun - stride + 1 : 1;
    int hi = inRun;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (model->freq[mid] > frequency) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}
