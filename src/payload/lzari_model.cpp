// The adaptive symbol model and the fixed position model of LZARI streams.
#include "lzari_model.h"

static void RebuildTree(LzariSymbolModel *model) {
    uint32_t total = 0;
    for (int i = 1; i <= LzariCodeCount; i++) {
        model->tree[i] = model->freq[i];
        total += model->freq[i];
    }
    for (int i = 1; i <= LzariCodeCount; i++) {
        int parent = i + (i & -i);
        if (parent <= LzariCodeCount) {
            model->tree[parent] += model->tree[i];
        }
    }
    model->total = total;
}

void LzariInitSymbolModel(LzariSymbolModel *model) {
    model->freq[0] = 0;
    model->tree[0] = 0;
    model->codeOf[0] = 0;
    for (int symbol = 1; symbol <= LzariCodeCount; symbol++) {
        model->codeOf[symbol] = static_cast<int16_t>(symbol - 1);
        model->symbolOf[symbol - 1] = static_cast<int16_t>(symbol);
        model->freq[symbol] = 1;
    }
    RebuildTree(model);
}

void LzariInitPositionModel(LzariPositionModel *model) {
    model->cum[LzariRingSize] = 0;
    for (uint32_t i = LzariRingSize; i >= 1; i--) {
        model->cum[i - 1] = model->cum[i] + 10000 / (i + 200);
    }
}

// Sum of the frequencies of symbols 1..symbol.
static uint32_t PrefixSum(const LzariSymbolModel *model, int symbol) {
    uint32_t sum = 0;
    for (int i = symbol; i > 0; i -= i & -i) {
        sum += model->tree[i];
    }
    return sum;
}

uint32_t LzariSymbolCum(const LzariSymbolModel *model, int symbol) {
    return model->total - PrefixSum(model, symbol);
}

int LzariFindSymbol(const LzariSymbolModel *model, uint32_t x, uint32_t *upper) {
    // cum[s] <= x < cum[s-1]  <=>  prefix(s-1) < total - x <= prefix(s):
    // descend to the largest index whose prefix sum stays below total - x.
    uint32_t target = model->total - x;
    int index = 0;
    uint32_t below = 0;
    for (int step = 256; step > 0; step >>= 1) {
        int next = index + step;
        if (next <= LzariCodeCount && below + model->tree[next] < target) {
            index = next;
            below += model->tree[next];
        }
    }
    *upper = model->total - below;
    return index + 1;
}

// The lowest-numbered symbol with the same frequency as symbol; frequencies
// never increase from symbol 1 on, so a binary search finds it.
static int FirstOfEqualFrequency(const LzariSymbolModel *model, int symbol) {
    uint32_t frequency = model->freq[symbol];
    int lo = 1;
    int hi = symbol;
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

void LzariUpdateSymbolModel(LzariSymbolModel *model, int symbol) {
    if (model->total >= LzariMaxTotal) {
        for (int i = 1; i <= LzariCodeCount; i++) {
            model->freq[i] = (model->freq[i] + 1) / 2;
        }
        RebuildTree(model);
    }
    int first = FirstOfEqualFrequency(model, symbol);
    if (first < symbol) {
        int16_t firstCode = model->codeOf[first];
        int16_t symbolCode = model->codeOf[symbol];
        model->codeOf[first] = symbolCode;
        model->codeOf[symbol] = firstCode;
        model->symbolOf[symbolCode] = static_cast<int16_t>(first);
        model->symbolOf[firstCode] = static_cast<int16_t>(symbol);
    }
    model->freq[first]++;
    for (int i = first; i <= LzariCodeCount; i += i & -i) {
        model->tree[i]++;
    }
    model->total++;
}
