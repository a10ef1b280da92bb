// Writing LZARI streams: arithmetic coder and LZSS compressor.
#include "lzari_encoder.h"

#include <string.h>

#include <memory>

#include "lzari_decoder.h"

namespace {

// Appends the n (0..24) lowest bits of bits, highest first.
inline void PutBits(LzariCoder *coder, uint32_t bits, uint32_t n) {
    uint32_t buffer = (coder->bitBuffer << n) | bits;
    uint32_t count = coder->bitCount + n;
    while (count >= 8) {
        count -= 8;
        coder->out->push_back(static_cast<uint8_t>(buffer >> count));
    }
    coder->bitBuffer = buffer & 0xFF;
    coder->bitCount = count;
}

// n copies of bit; n has no bound.
void PutRun(LzariCoder *coder, uint32_t bit, uint32_t n) {
    uint32_t ones = bit != 0 ? 0xFFFF : 0;
    for (; n > 16; n -= 16) {
        PutBits(coder, ones, 16);
    }
    PutBits(coder, ones & ((1u << n) - 1), n);
}

// Takes the interval [low, last] (last = high - 1) that a code narrowed it
// to, sends out the bits it settles and widens it again; the mirror of the
// decoder's renormalisation, and like it done on bit patterns instead of
// a bit at a time:
// - The leading bits on which low and last agree are settled and go out;
//   the first of them is followed by the opposite bits owed.
// - Then, while low starts 01 and last 10, their second bit drops out and
//   one more opposite bit is owed for the next settled one.
inline void Renormalise(LzariCoder *coder, uint32_t low, uint32_t last) {
    // The sentinel bit stops the count at 17 when low == last.
    uint32_t settled = LzariLeadingZeros(((low ^ last) << 15) | 0x4000);
    if (settled > 0) {
        uint32_t bits = low >> (17 - settled);
        if (coder->pendingBits == 0) {
            PutBits(coder, bits, settled);
        } else {
            uint32_t first = bits >> (settled - 1);
            PutBits(coder, first, 1);
            PutRun(coder, first ^ 1, coder->pendingBits);
            coder->pendingBits = 0;
            PutBits(coder, bits & ((1u << (settled - 1)) - 1), settled - 1);
        }
        low = (low << settled) & LzariCoderMask;
        last = ((last << settled) | ((1u << settled) - 1)) & LzariCoderMask;
    }
    // Zero where low has a 1 and last a 0, below the top bit; the sentinel
    // stops the count at 16.
    uint32_t notStraddling = ~low | last;
    uint32_t straddling = LzariLeadingZeros((notStraddling << 16) | 0x8000);
    coder->pendingBits += straddling;
    low = (low & LzariCoderHalf) | ((low << straddling) & (LzariCoderHalf - 1));
    last = (last & LzariCoderHalf) | ((last << straddling) & (LzariCoderHalf - 1)) |
           ((1u << straddling) - 1);
    coder->low = low;
    coder->high = last + 1;
}

}  // namespace

void LzariStartStream(LzariCoder *coder, std::vector<uint8_t> *out, uint32_t length) {
    coder->out = out;
    for (int i = 0; i < 4; i++) {
        out->push_back(static_cast<uint8_t>(length >> (8 * i)));
    }
    coder->low = 0;
    coder->high = LzariCoderTop;
    coder->pendingBits = 0;
    coder->bitBuffer = 0;
    coder->bitCount = 0;
    LzariInitSymbolModel(&coder->symbols);
    LzariInitPositionModel(&coder->positions);
}

// Both narrow the interval to [lower, upper) of total as the classic coder
// does: high = low + range * upper / total, low = low + range * lower / total.
void LzariEncodeCode(LzariCoder *coder, int code) {
    LzariSymbolModel *model = &coder->symbols;
    int symbol = model->symbolOf[code];
    uint32_t lower = LzariSymbolCum(model, symbol);
    uint32_t upper = lower + static_cast<uint32_t>(model->freq[symbol]);
    uint32_t range = coder->high - coder->low;
    Renormalise(coder, coder->low + LzariDivideByTotal(model, range * lower),
                coder->low + LzariDivideByTotal(model, range * upper) - 1);
    LzariUpdateSymbolModel(model, symbol);
}

void LzariEncodePosition(LzariCoder *coder, uint32_t position) {
    const uint32_t *cum = coder->positions.cum;
    uint32_t range = coder->high - coder->low;
    // A constant total: the compiler multiplies instead of dividing.
    Renormalise(coder, coder->low + range * cum[position + 1] / LzariPositionTotal,
                coder->low + range * cum[position] / LzariPositionTotal - 1);
}

void LzariFinishStream(LzariCoder *coder) {
    uint32_t bit = coder->low < LzariCoderQuarter ? 0 : 1;
    PutBits(coder, bit, 1);
    PutRun(coder, bit ^ 1, coder->pendingBits + 1);
    coder->pendingBits = 0;
    if (coder->bitCount > 0) {
        PutBits(coder, 0, 8 - coder->bitCount);
    }
}

namespace {

// Compares two strings whose first `known` bytes agree, up to `limit`
// bytes. Returns how many leading bytes agree (at most limit) and, when
// that is below limit, sets *firstGreater to whether a sorts after b. Eight
// bytes at a time where the compiler offers the bit scans and the byte
// swap on a little-endian machine; reads up to 7 bytes past limit then.
inline int CompareStrings(const uint8_t *a, const uint8_t *b, int known, int limit,
                          int *firstGreater) {
    int i = known;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; i < limit; i += 8) {
        uint64_t wordA;
        uint64_t wordB;
        memcpy(&wordA, a + i, 8);
        memcpy(&wordB, b + i, 8);
        if (wordA != wordB) {
            // The lowest differing byte of the little-endian words is the
            // first in memory order; swapped to big-endian, the words
            // compare like their bytes do.
            i += __builtin_ctzll(wordA ^ wordB) >> 3;
            *firstGreater = __builtin_bswap64(wordA) > __builtin_bswap64(wordB);
            break;
        }
    }
    return i < limit ? i : limit;
#else
    while (i < limit && a[i] == b[i]) {
        i++;
    }
    if (i < limit) {
        *firstGreater = a[i] > b[i];
    }
    return i;
#endif
}

// Longest-match search over the window with a binary search tree of the
// strings that start at each ring position (keyed by their next 60 bytes).
// It finds the longest match, and among equally long ones the nearest it
// meets on the way, which the position model codes in the fewest bits.
class MatchFinder {
public:
    MatchFinder() {
        for (int i = RootBase; i < RootBase + 256; i++) {
            children_[i] = NoChildren;
        }
        for (int i = 0; i < N; i++) {
            parent_[i] = None;
        }
        // Bytes past the input are compared too (matches are cut to the
        // input afterwards); zeros make that the same on every run.
        memset(text_, 0, sizeof text_);
    }

    uint8_t *text() { return text_; }

    // Adds the string at r and returns the best match for it (length 0
    // when none is longer than the threshold).
    void Insert(int r, int *matchLength, int *matchPosition) {
        const uint8_t *key = &text_[r];
        int p = RootBase + key[0];
        int side = Right;
        // How far the key agrees with the nearest smaller and the nearest
        // larger string passed on the way down. Every string below lies
        // between those two, so it agrees with the key at least as far as
        // the shorter of the two: the comparison can start there. All the
        // strings under one root share their first byte.
        int smallerLength = 1;
        int largerLength = 1;
        // The best match so far as length * N + (N - 1 - distance): the
        // longest, and the nearest of the longest, is the largest. Keeping
        // it as one number spares a hard-to-predict branch per node.
        int best = 0;
        children_[r] = NoChildren;
        int next = Child(p, Right);
        while (next != None) {
            p = next;
            // The way down is a chain of dependent loads. Both children
            // are fetched while the strings are compared, and the side is
            // picked by a shift rather than a branch the processor would
            // mispredict half the time.
            uint32_t children = children_[p];
            int known = smallerLength < largerLength ? smallerLength : largerLength;
            int keyGreater = 0;
            int i = CompareStrings(key, &text_[p], known, F, &keyGreater);
            int distance = (r - p) & (N - 1);
            int score = (i * N + (N - 1 - distance)) & -static_cast<int>(i > LzariMatchThreshold);
            best = score > best ? score : best;
            if (i >= F) {
                // A full-length match: nothing is longer, and the new string
                // takes the old one's place in the tree.
                parent_[r] = parent_[p];
                children_[r] = children_[p];
                parent_[Child(p, Left)] = static_cast<Node>(r);
                parent_[Child(p, Right)] = static_cast<Node>(r);
                ReplaceChild(p, r);
                parent_[p] = None;
                Report(best, matchLength, matchPosition);
                return;
            }
            side = keyGreater;
            next = (children >> (16 * side)) & 0xFFFF;
            smallerLength = keyGreater ? i : smallerLength;
            largerLength = keyGreater ? largerLength : i;
        }
        SetChild(p, side, r);
        parent_[r] = static_cast<Node>(p);
        Report(best, matchLength, matchPosition);
    }

    void Delete(int p) {
        if (parent_[p] == None) {
            return;
        }
        int q;
        if (Child(p, Right) == None) {
            q = Child(p, Left);
        } else if (Child(p, Left) == None) {
            q = Child(p, Right);
        } else {
            q = Child(p, Left);
            if (Child(q, Right) != None) {
                do {
                    q = Child(q, Right);
                } while (Child(q, Right) != None);
                SetChild(parent_[q], Right, Child(q, Left));
                parent_[Child(q, Left)] = parent_[q];
                SetChild(q, Left, Child(p, Left));
                parent_[Child(p, Left)] = static_cast<Node>(q);
            }
            SetChild(q, Right, Child(p, Right));
            parent_[Child(p, Right)] = static_cast<Node>(q);
        }
        parent_[q] = parent_[p];
        ReplaceChild(p, q);
        parent_[p] = None;
    }

    static const int N = LzariRingSize;
    static const int F = LzariMaxMatch;

private:
    // Node numbers fit 16 bits, which keeps the tree in the first-level
    // cache together with the text.
    typedef uint16_t Node;
    static const int None = N;          // "no node"; its slots absorb writes
    static const int RootBase = N + 1;  // one tree root per first byte
    static const int Left = 0;
    static const int Right = 1;
    static const uint32_t NoChildren = static_cast<uint32_t>(None) * 0x10001u;

    // children_[p] holds p's left child in its low and its right child in
    // its high 16 bits.
    int Child(int p, int side) const { return (children_[p] >> (16 * side)) & 0xFFFF; }

    void SetChild(int p, int side, int child) {
        int shift = 16 * side;
        children_[p] =
            (children_[p] & ~(0xFFFFu << shift)) | (static_cast<uint32_t>(child) << shift);
    }

    void ReplaceChild(int old, int with) {
        int up = parent_[old];
        SetChild(up, Child(up, Right) == old ? Right : Left, with);
    }

    static void Report(int best, int *matchLength, int *matchPosition) {
        *matchLength = best / N;
        if (best != 0) {
            *matchPosition = N - 1 - best % N;
        }
    }

    // The ring, its first F - 1 bytes mirrored after it so comparisons run
    // past the end, and 8 bytes for the word-wise comparison to overrun.
    uint8_t text_[N + F - 1 + 8];
    uint32_t children_[N + 257];
    Node parent_[N + 1];
};

}  // namespace

namespace {

const size_t WindowSize = 1 << 16;

// The input, a buffer at a time.
class InputWindow {
public:
    explicit InputWindow(const LzariStreamIo *io) : io_(io) {}

    // The next byte; 0 once the input has failed (see failed()).
    uint8_t Next() {
        if (at_ == end_ && !Refill()) {
            return 0;
        }
        return buffer_[at_++];
    }

    bool failed() const { return failed_; }

private:
    bool Refill() {
        size_t got = failed_ ? 0 : io_->read(io_->context, buffer_, sizeof buffer_);
        if (got == 0 || got > sizeof buffer_) {
            failed_ = true;
            return false;
        }
        at_ = 0;
        end_ = got;
        return true;
    }

    const LzariStreamIo *io_;
    size_t at_ = 0;
    size_t end_ = 0;
    bool failed_ = false;
    uint8_t buffer_[WindowSize];
};

// Hands what the coder has written so far to the output once there is at
// least atLeast of it.
bool Drain(std::vector<uint8_t> *out, const LzariStreamIo *io, size_t atLeast) {
    if (out->empty() || out->size() < atLeast) {
        return true;
    }
    bool ok = io->write(io->context, out->data(), out->size());
    out->clear();
    return ok;
}

}  // namespace

// Matches this long are taken at once: one byte on there is little to gain.
const int LazyMatchLimit = 60;

bool LzariCompressStream(uint32_t length, const LzariStreamIo *io, LzariProgress progress,
                         void *progressContext, LzariParse parse) {
    const size_t size = length;
    std::vector<uint8_t> out;
    out.reserve(2 * WindowSize);
    std::unique_ptr<LzariCoder> coder(new LzariCoder);
    LzariStartStream(coder.get(), &out, length);
    if (size == 0) {
        return Drain(&out, io, 0);
    }
    std::unique_ptr<InputWindow> input(new InputWindow(io));
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
    for (; len < F && read < size; len++, read++) {
        text[r + len] = input->Next();
    }
    int matchLength = 0;
    int matchPosition = 0;
    for (int i = 1; i <= F; i++) {
        finder->Insert(r - i, &matchLength, &matchPosition);
    }
    finder->Insert(r, &matchLength, &matchPosition);
    // One position on: the oldest string leaves the tree, the next input
    // byte (if any) enters the ring, and the string at the new r is
    // inserted, which gives its match.
    auto advance = [&]() {
        finder->Delete(s);
        if (read < size) {
            uint8_t c = input->Next();
            read++;
            text[s] = c;
            if (s < F - 1) {
                text[s + N] = c;  // mirror, so comparisons run past the end
            }
            s = (s + 1) & (N - 1);
            r = (r + 1) & (N - 1);
            finder->Insert(r, &matchLength, &matchPosition);
            return;
        }
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len > 0) {
            finder->Insert(r, &matchLength, &matchPosition);
        }
    };
    size_t nextReport = 1 << 20;
    do {
        if (matchLength > len) {
            matchLength = len;
        }
        if (matchLength <= LzariMatchThreshold) {
            LzariEncodeCode(coder.get(), text[r]);
            advance();
        } else {
            int taken = matchLength;
            int position = matchPosition;
            int advanced = 0;
            // Lazy: a longer match one byte on is worth a literal first.
            if (parse == LzariParse::Lazy && taken < LazyMatchLimit && len > taken) {
                uint8_t literal = text[r];
                advance();
                advanced = 1;
                if ((matchLength > len ? len : matchLength) > taken) {
                    LzariEncodeCode(coder.get(), literal);
                    taken = 0;
                }
            }
            if (taken > 0) {
                LzariEncodeCode(coder.get(), 255 - LzariMatchThreshold + taken);
                LzariEncodePosition(coder.get(), static_cast<uint32_t>(position - 1));
                for (; advanced < taken; advanced++) {
                    advance();
                }
            }
        }
        if (input->failed() || !Drain(&out, io, WindowSize)) {
            return false;
        }
        if (progress != nullptr && read >= nextReport) {
            progress(progressContext, read, size);
            nextReport = read + (1 << 20);
        }
    } while (len > 0);
    LzariFinishStream(coder.get());
    if (input->failed() || !Drain(&out, io, 0)) {
        return false;
    }
    if (progress != nullptr) {
        progress(progressContext, size, size);
    }
    return true;
}

namespace {

// A compression from memory into a vector: neither side can fail.
struct MemoryIo {
    const uint8_t *data;
    size_t size;
    size_t at;
    std::vector<uint8_t> *out;
};

size_t ReadMemory(void *context, uint8_t *buffer, size_t size) {
    MemoryIo *io = static_cast<MemoryIo *>(context);
    size_t count = io->size - io->at < size ? io->size - io->at : size;
    memcpy(buffer, io->data + io->at, count);
    io->at += count;
    return count;
}

bool AppendMemory(void *context, const uint8_t *data, size_t size) {
    std::vector<uint8_t> *out = static_cast<MemoryIo *>(context)->out;
    out->insert(out->end(), data, data + size);
    return true;
}

}  // namespace

std::vector<uint8_t> LzariCompress(const uint8_t *data, size_t size, LzariProgress progress,
                                   void *progressContext, LzariParse parse) {
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 64);
    MemoryIo memory = {data, size, 0, &out};
    LzariStreamIo io = {ReadMemory, AppendMemory, &memory};
    LzariCompressStream(static_cast<uint32_t>(size), &io, progress, progressContext, parse);
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
    return LzariDecode(workArea.get(), ReadFromMemory, &source, AppendToVector, out) == LzariDone;
}
