// Writing LZARI streams: arithmetic coder and LZSS compressor.
#include "lzari_encoder.h"

#include <string.h>

#include <cmath>

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

// Notes a match of length bytes at distance in nearest (indexed by length,
// 0: none yet) where it is nearer than the one noted.
inline void KeepNearer(uint16_t *nearest, int length, uint32_t distance) {
    if (nearest[length] == 0 || distance < nearest[length]) {
        nearest[length] = static_cast<uint16_t>(distance);
    }
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
    // when none is longer than the threshold). With nearest (F + 1 entries,
    // zero), nearest[i] also gets the nearest distance met with a match of
    // exactly i bytes (0 where none was met); see NearestFromHere.
    void Insert(int r, int *matchLength, int *matchPosition, uint16_t *nearest = nullptr) {
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
            if (nearest != nullptr && i > LzariMatchThreshold) {
                KeepNearer(nearest, i, static_cast<uint32_t>(distance));
            }
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

namespace {

// The ring, the match finder over it and the input behind it, one position
// at a time: r is the position being coded, len the input bytes from r on
// that are in the ring (up to F), and matchLength / matchPosition the best
// match for the string at r.
struct Slider {
    static const int N = MatchFinder::N;
    static const int F = MatchFinder::F;

    InputWindow *input;
    MatchFinder *finder;
    uint8_t *text;
    size_t size;
    size_t read;
    int s;
    int r;
    int len;
    int matchLength;
    int matchPosition;

    // The decoder's ring starts as spaces, with the look-ahead at N - F.
    void Start(uint16_t *nearest) {
        s = 0;
        r = N - F;
        memset(text, ' ', r);
        read = 0;
        for (len = 0; len < F && read < size; len++, read++) {
            text[r + len] = input->Next();
        }
        matchLength = 0;
        matchPosition = 0;
        for (int i = 1; i <= F; i++) {
            finder->Insert(r - i, &matchLength, &matchPosition);
        }
        finder->Insert(r, &matchLength, &matchPosition, nearest);
    }

    // One position on: the oldest string leaves the tree, the next input
    // byte (if any) enters the ring, and the string at the new r is
    // inserted, which gives its match (and its nearest distances, when
    // nearest is given).
    void Advance(uint16_t *nearest = nullptr) {
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
            finder->Insert(r, &matchLength, &matchPosition, nearest);
            return;
        }
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len > 0) {
            finder->Insert(r, &matchLength, &matchPosition, nearest);
        }
    }

    // The best match at r, cut to the input.
    int Length() const { return matchLength > len ? len : matchLength; }
};

// Where the compressor reports how far it has come, about every MiB.
struct ProgressReport {
    LzariProgress progress;
    void *context;
    size_t next;
};

// Hands the coded bytes on once there are enough of them and reports the
// progress; false when the input or the output failed.
bool Drained(const Slider *w, std::vector<uint8_t> *out, const LzariStreamIo *io,
             ProgressReport *report) {
    if (w->input->failed() || !Drain(out, io, WindowSize)) {
        return false;
    }
    if (report->progress != nullptr && w->read >= report->next) {
        report->progress(report->context, w->read, w->size);
        report->next = w->read + (1 << 20);
    }
    return true;
}

// Matches this long are taken at once: one byte on there is little to gain.
const int LazyMatchLimit = 60;

void EncodeMatch(LzariCoder *coder, int length, int position) {
    LzariEncodeCode(coder, 255 - LzariMatchThreshold + length);
    LzariEncodePosition(coder, static_cast<uint32_t>(position - 1));
}

// The greedy and the lazy parse, a code at a time.
bool CompressByMatches(Slider *w, LzariCoder *coder, std::vector<uint8_t> *out,
                       const LzariStreamIo *io, ProgressReport progress, LzariParse parse) {
    w->Start(nullptr);
    do {
        int matchLength = w->Length();
        if (matchLength <= LzariMatchThreshold) {
            LzariEncodeCode(coder, w->text[w->r]);
            w->Advance();
        } else {
            int taken = matchLength;
            int position = w->matchPosition;
            int advanced = 0;
            // Lazy: a longer match one byte on is worth a literal first.
            if (parse == LzariParse::Lazy && taken < LazyMatchLimit && w->len > taken) {
                uint8_t literal = w->text[w->r];
                w->Advance();
                advanced = 1;
                if (w->Length() > taken) {
                    LzariEncodeCode(coder, literal);
                    taken = 0;
                }
            }
            if (taken > 0) {
                EncodeMatch(coder, taken, position);
                for (; advanced < taken; advanced++) {
                    w->Advance();
                }
            }
        }
        if (!Drained(w, out, io, &progress)) {
            return false;
        }
    } while (w->len > 0);
    return true;
}

// The optimal parse works on blocks of this many positions: their codes
// are chosen together, priced by the symbol model as the block begins.
const int OptimalBlock = 2048;

// Prices in 1/64 bits.
const int PriceShift = 6;

uint32_t Price(double share) {
    return static_cast<uint32_t>(std::lround(-std::log2(share) * (1 << PriceShift)));
}

// What a block's parse needs of every position: its byte, the longest
// match there (cut to the input) and the nearest distance for each length.
struct OptimalBlockState {
    uint8_t literal[OptimalBlock];
    uint8_t longest[OptimalBlock];
    // One row more: the next block's first position is noted before this
    // block is coded.
    uint16_t nearest[OptimalBlock + 1][LzariMaxMatch + 1];
    uint32_t price[OptimalBlock + 1];
    uint16_t step[OptimalBlock + 1];      // the length of the code that reaches here; 1: a literal
    uint16_t distance[OptimalBlock + 1];  // its match's distance
    uint32_t positionPrice[LzariRingSize];
    uint32_t codePrice[LzariCodeCount];
};

// nearest[i] held the nearest distance met with exactly i bytes in common;
// a match of i bytes can start wherever more are in common too, so each
// length takes the nearest of itself and every longer one.
void NearestFromHere(uint16_t *nearest, int longest) {
    uint16_t best = 0;
    for (int i = LzariMaxMatch; i > LzariMatchThreshold; i--) {
        if (nearest[i] != 0 && (best == 0 || nearest[i] < best)) {
            best = nearest[i];
        }
        nearest[i] = i <= longest ? best : 0;
    }
}

void SetCodePrices(uint32_t *prices, const LzariSymbolModel *model) {
    for (int code = 0; code < LzariCodeCount; code++) {
        int symbol = model->symbolOf[code];
        prices[code] = Price(static_cast<double>(model->freq[symbol]) / model->total);
    }
}

// The cheapest path through the block's count positions by codePrice; it
// ends in step and distance at count, and leads back from there. Returns
// its number of steps, whose starts price[0..steps - 1] then holds, last
// first.
int FindCheapestPath(OptimalBlockState *b, int count) {
    b->price[0] = 0;
    for (int i = 1; i <= count; i++) {
        b->price[i] = UINT32_MAX;
    }
    for (int i = 0; i < count; i++) {
        uint32_t here = b->price[i];
        uint32_t literal = here + b->codePrice[b->literal[i]];
        if (literal < b->price[i + 1]) {
            b->price[i + 1] = literal;
            b->step[i + 1] = 1;
        }
        int longest = b->longest[i] < count - i ? b->longest[i] : count - i;
        for (int length = LzariMatchThreshold + 1; length <= longest; length++) {
            uint16_t distance = b->nearest[i][length];
            uint32_t match = here + b->codePrice[255 - LzariMatchThreshold + length] +
                             b->positionPrice[distance - 1];
            if (match < b->price[i + length]) {
                b->price[i + length] = match;
                b->step[i + length] = static_cast<uint16_t>(length);
                b->distance[i + length] = distance;
            }
        }
    }
    // Where each step starts, from the end back (the prices are done with).
    int steps = 0;
    for (int at = count; at > 0; at -= b->step[at]) {
        b->price[steps++] = static_cast<uint32_t>(at);
    }
    return steps;
}

// The cheapest codes for the block's count positions, priced by the model
// as the block begins, written through coder.
void EncodeOptimalBlock(OptimalBlockState *b, int count, LzariCoder *coder) {
    SetCodePrices(b->codePrice, &coder->symbols);
    for (int i = FindCheapestPath(b, count); i > 0; i--) {
        int at = static_cast<int>(b->price[i - 1]);
        if (b->step[at] == 1) {
            LzariEncodeCode(coder, b->literal[at - 1]);
        } else {
            EncodeMatch(coder, b->step[at], b->distance[at]);
        }
    }
}

// The latest position of each string of some short lengths, by a hash of
// its bytes: the nearest match of at least that length, which the match
// finder's tree may not pass on its way down.
struct RecentStrings {
    static const int Lengths = 4;
    static const int HashBits = 15;
    uint32_t latest[Lengths][1 << HashBits];  // input position + 1; 0: none
};

const int RecentLengths[RecentStrings::Lengths] = {3, 4, 6, 8};

void NoteRecentStrings(const Slider *w, RecentStrings *recent, uint16_t *nearest) {
    const int N = Slider::N;
    const uint8_t *key = w->text + w->r;
    uint32_t at = static_cast<uint32_t>(w->read - static_cast<size_t>(w->len));
    uint32_t hash = 0;
    int hashed = 0;
    for (int k = 0; k < RecentStrings::Lengths && RecentLengths[k] <= w->len; k++) {
        for (; hashed < RecentLengths[k]; hashed++) {
            hash = (hash ^ key[hashed]) * 0x9E3779B1u;
        }
        uint32_t *slot = &recent->latest[k][hash >> (32 - RecentStrings::HashBits)];
        uint32_t before = *slot;
        *slot = at + 1;
        if (before == 0) {
            continue;
        }
        uint32_t distance = at - (before - 1);
        if (distance == 0 || distance > static_cast<uint32_t>(N - Slider::F)) {
            continue;
        }
        int length = 0;
        while (length < w->len && key[length] == w->text[(w->r - distance + length) & (N - 1)]) {
            length++;
        }
        if (length > LzariMatchThreshold) {
            KeepNearer(nearest, length, distance);
        }
    }
}

// The optimal parse, a block at a time: the match finder goes through the
// block first and notes every position's matches, then the block's codes
// are chosen and written.
bool CompressOptimally(Slider *w, LzariCoder *coder, std::vector<uint8_t> *out,
                       const LzariStreamIo *io, ProgressReport progress) {
    std::unique_ptr<OptimalBlockState> b(new OptimalBlockState);
    const LzariPositionModel *positions = &coder->positions;
    for (int p = 0; p < LzariRingSize; p++) {
        b->positionPrice[p] = Price(static_cast<double>(positions->cum[p] - positions->cum[p + 1]) /
                                    LzariPositionTotal);
    }
    std::unique_ptr<RecentStrings> recent(new RecentStrings());
    memset(b->nearest[0], 0, sizeof b->nearest[0]);
    w->Start(b->nearest[0]);
    while (w->len > 0) {
        int count = 0;
        for (; count < OptimalBlock && w->len > 0; count++) {
            b->literal[count] = w->text[w->r];
            int longest = w->Length();
            b->longest[count] = static_cast<uint8_t>(longest > LzariMatchThreshold ? longest : 0);
            NearestFromHere(b->nearest[count], b->longest[count]);
            uint16_t *next = b->nearest[count + 1];
            memset(next, 0, sizeof b->nearest[0]);
            w->Advance(next);
            NoteRecentStrings(w, recent.get(), next);
            // A match here goes on one byte on at the same distance, one
            // byte shorter: often nearer than what the tree meets there.
            const uint16_t *here = b->nearest[count];
            for (int length = LzariMatchThreshold + 2; length <= LzariMaxMatch; length++) {
                if (here[length] != 0) {
                    KeepNearer(next, length - 1, here[length]);
                }
            }
        }
        EncodeOptimalBlock(b.get(), count, coder);
        memcpy(b->nearest[0], b->nearest[count], sizeof b->nearest[0]);
        if (!Drained(w, out, io, &progress)) {
            return false;
        }
    }
    return true;
}

}  // namespace

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
    Slider w = {input.get(), finder.get(), finder->text(), size, 0, 0, 0, 0, 0, 0};
    ProgressReport report = {progress, progressContext, 1 << 20};
    bool coded = parse == LzariParse::Optimal
                     ? CompressOptimally(&w, coder.get(), &out, io, report)
                     : CompressByMatches(&w, coder.get(), &out, io, report, parse);
    if (!coded) {
        return false;
    }
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
