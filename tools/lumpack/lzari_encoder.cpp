// Writing LZARI streams: arithmetic coder and LZSS compressor.
#include "lzari_encoder.h"

#include <string.h>

#include <memory>

#include "payload/lzari_decoder.h"

namespace {

const uint32_t Quarter = 0x8000;
const uint32_t Half = 0x10000;
const uint32_t ThreeQuarters = 0x18000;
const uint32_t Top = 0x20000;

void PutBit(LzariCoder *coder, uint32_t bit) {
    if (bit != 0) {
        coder->bitBuffer |= coder->bitMask;
    }
    coder->bitMask >>= 1;
    if (coder->bitMask == 0) {
        coder->out->push_back(static_cast<uint8_t>(coder->bitBuffer));
        coder->bitBuffer = 0;
        coder->bitMask = 0x80;
    }
}

void Output(LzariCoder *coder, uint32_t bit) {
    PutBit(coder, bit);
    for (; coder->pendingBits > 0; coder->pendingBits--) {
        PutBit(coder, !bit);
    }
}

// Narrows the interval to [lower, upper) of total and sends out every bit
// that is decided; the mirror of the decoder's renormalisation.
void Narrow(LzariCoder *coder, uint32_t upper, uint32_t lower, uint32_t total) {
    uint32_t range = coder->high - coder->low;
    coder->high = coder->low + range * upper / total;
    coder->low = coder->low + range * lower / total;
    for (;;) {
        if (coder->high <= Half) {
            Output(coder, 0);
        } else if (coder->low >= Half) {
            Output(coder, 1);
            coder->low -= Half;
            coder->high -= Half;
        } else if (coder->low >= Quarter && coder->high <= ThreeQuarters) {
            coder->pendingBits++;
            coder->low -= Quarter;
            coder->high -= Quarter;
        } else {
            return;
        }
        coder->low += coder->low;
        coder->high += coder->high;
    }
}

}  // namespace

void LzariStartStream(LzariCoder *coder, std::vector<uint8_t> *out, uint32_t length) {
    coder->out = out;
    for (int i = 0; i < 4; i++) {
        out->push_back(static_cast<uint8_t>(length >> (8 * i)));
    }
    coder->low = 0;
    coder->high = Top;
    coder->pendingBits = 0;
    coder->bitBuffer = 0;
    coder->bitMask = 0x80;
    LzariInitSymbolModel(&coder->symbols);
    LzariInitPositionModel(&coder->positions);
}

void LzariEncodeCode(LzariCoder *coder, int code) {
    LzariSymbolModel *model = &coder->symbols;
    int symbol = model->symbolOf[code];
    uint32_t upper = LzariSymbolCum(model, symbol - 1);
    Narrow(coder, upper, upper - model->freq[symbol], model->total);
    LzariUpdateSymbolModel(model, symbol);
}

void LzariEncodePosition(LzariCoder *coder, uint32_t position) {
    const uint32_t *cum = coder->positions.cum;
    Narrow(coder, cum[position], cum[position + 1], LzariPositionTotal);
}

void LzariFinishStream(LzariCoder *coder) {
    coder->pendingBits++;
    Output(coder, coder->low < Quarter ? 0 : 1);
    if (coder->bitMask != 0x80) {
        coder->out->push_back(static_cast<uint8_t>(coder->bitBuffer));
    }
}

namespace {

// Longest-match search over the window with a binary search tree of the
// strings that start at each ring position (keyed by their next 60 bytes).
// It finds the longest match, and among equally long ones the nearest it
// meets on the way, which the position model codes in the fewest bits.
class MatchFinder {
public:
    MatchFinder() {
        for (int i = RootBase; i < RootBase + 256; i++) {
            right_[i] = None;
        }
        for (int i = 0; i < N; i++) {
            parent_[i] = None;
        }
    }

    uint8_t *text() { return text_; }

    // Adds the string at r and returns the best match for it (length 0
    // when none is longer than the threshold).
    void Insert(int r, int *matchLength, int *matchPosition) {
        const uint8_t *key = &text_[r];
        int p = RootBase + key[0];
        int cmp = 1;
        left_[r] = right_[r] = None;
        *matchLength = 0;
        for (;;) {
            if (cmp >= 0) {
                if (right_[p] == None) {
                    right_[p] = r;
                    parent_[r] = p;
                    return;
                }
                p = right_[p];
            } else {
                if (left_[p] == None) {
                    left_[p] = r;
                    parent_[r] = p;
                    return;
                }
                p = left_[p];
            }
            int i = 1;
            for (; i < F; i++) {
                cmp = key[i] - text_[p + i];
                if (cmp != 0) {
                    break;
                }
            }
            if (i > LzariMatchThreshold) {
                int distance = (r - p) & (N - 1);
                if (i > *matchLength) {
                    *matchPosition = distance;
                    *matchLength = i;
                    if (i >= F) {
                        break;
                    }
                } else if (i == *matchLength && distance < *matchPosition) {
                    *matchPosition = distance;
                }
            }
        }
        // A full-length match: the new string takes the old one's place.
        parent_[r] = parent_[p];
        left_[r] = left_[p];
        right_[r] = right_[p];
        parent_[left_[p]] = r;
        parent_[right_[p]] = r;
        ReplaceChild(p, r);
        parent_[p] = None;
    }

    void Delete(int p) {
        if (parent_[p] == None) {
            return;
        }
        int q;
        if (right_[p] == None) {
            q = left_[p];
        } else if (left_[p] == None) {
            q = right_[p];
        } else {
            q = left_[p];
            if (right_[q] != None) {
                do {
                    q = right_[q];
                } while (right_[q] != None);
                right_[parent_[q]] = left_[q];
                parent_[left_[q]] = parent_[q];
                left_[q] = left_[p];
                parent_[left_[p]] = q;
            }
            right_[q] = right_[p];
            parent_[right_[p]] = q;
        }
        parent_[q] = parent_[p];
        ReplaceChild(p, q);
        parent_[p] = None;
    }

    static const int N = LzariRingSize;
    static const int F = LzariMaxMatch;

private:
    static const int None = N;          // "no node"; its slots absorb writes
    static const int RootBase = N + 1;  // one tree root per first byte

    void ReplaceChild(int old, int with) {
        int up = parent_[old];
        if (right_[up] == old) {
            right_[up] = with;
        } else {
            left_[up] = with;
        }
    }

    uint8_t text_[N + F - 1];
    int left_[N + 1];
    int right_[N + 257];
    int parent_[N + 1];
};

}  // namespace

std::vector<uint8_t> LzariCompress(const uint8_t *data, size_t size, LzariProgress progress,
                                   void *progressContext) {
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 64);
    std::unique_ptr<LzariCoder> coder(new LzariCoder);
    LzariStartStream(coder.get(), &out, static_cast<uint32_t>(size));
    if (size == 0) {
        return out;
    }
    std::unique_ptr<MatchFinder> finder(new MatchFinder);
    const int N = MatchFinder::N;
    const int F = MatchFinder::F;
    uint8_t *text = finder->text();

    // The decoder's ring starts as spaces, with the look-ahead at N - F.
    int s = 0;
    int r = N - F;
    memset(text, ' ', r);
    size_t read = 0;
    int len = 0;
    for (; len < F && read < size; len++) {
        text[r + len] = data[read++];
    }
    int matchLength = 0;
    int matchPosition = 0;
    for (int i = 1; i <= F; i++) {
        finder->Insert(r - i, &matchLength, &matchPosition);
    }
    finder->Insert(r, &matchLength, &matchPosition);
    size_t nextReport = 1 << 20;
    do {
        if (matchLength > len) {
            matchLength = len;
        }
        if (matchLength <= LzariMatchThreshold) {
            matchLength = 1;
            LzariEncodeCode(coder.get(), text[r]);
        } else {
            LzariEncodeCode(coder.get(), 255 - LzariMatchThreshold + matchLength);
            LzariEncodePosition(coder.get(), static_cast<uint32_t>(matchPosition - 1));
        }
        int lastMatchLength = matchLength;
        int i = 0;
        for (; i < lastMatchLength && read < size; i++) {
            finder->Delete(s);
            uint8_t c = data[read++];
            text[s] = c;
            if (s < F - 1) {
                text[s + N] = c;  // mirror, so comparisons run past the end
            }
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            finder->Insert(r, &matchLength, &matchPosition);
        }
        for (; i < lastMatchLength; i++) {
            finder->Delete(s);
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            if (--len > 0) {
                finder->Insert(r, &matchLength, &matchPosition);
            }
        }
        if (progress != nullptr && read >= nextReport) {
            progress(progressContext, read, size);
            nextReport = read + (1 << 20);
        }
    } while (len > 0);
    LzariFinishStream(coder.get());
    if (progress != nullptr) {
        progress(progressContext, size, size);
    }
    return out;
}

namespace {

struct MemorySource {
    const uint8_t *data;
    size_t size;
    size_t at;
};

int32_t ReadFromMemory(void *sourceData) {
    MemorySource *source = static_cast<MemorySource *>(sourceData);
    if (source->at >= source->size) {
        return -1;
    }
    return source->data[source->at++];
}

int32_t AppendToVector(void *sinkData, int32_t byte) {
    static_cast<std::vector<uint8_t> *>(sinkData)->push_back(static_cast<uint8_t>(byte));
    return 1;
}

}  // namespace

bool LzariDecompress(const uint8_t *data, size_t size, std::vector<uint8_t> *out) {
    std::unique_ptr<void *[]> workArea(new void *[LzariWorkAreaSize / sizeof(void *) + 1]);
    MemorySource source = {data, size, 0};
    out->clear();
    return LzariDecode(workArea.get(), ReadFromMemory, &source, AppendToVector, out) != 0;
}
