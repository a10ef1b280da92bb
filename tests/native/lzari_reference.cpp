// The classic LZARI decoder, step by step and without shortcuts.
#include "lzari_reference.h"

#include <stddef.h>
#include <stdio.h>

ReferenceSymbolModel::ReferenceSymbolModel() {
    cum[314] = 0;
    for (int s = 314; s >= 1; s--) {
        code[s] = s - 1;
        symbolOf[s - 1] = s;
        freq[s] = 1;
        cum[s - 1] = cum[s] + 1;
    }
    freq[0] = 0;
    code[0] = 0;
}

void ReferenceSymbolModel::Update(int symbol) {
    if (cum[0] >= 32767) {
        uint32_t c = 0;
        for (int i = 314; i > 0; i--) {
            cum[i] = c;
            freq[i] = (freq[i] + 1) / 2;
            c += freq[i];
        }
        cum[0] = c;
    }
    int i = symbol;
    while (freq[i] == freq[i - 1]) {
        i--;
    }
    if (i < symbol) {
        int a = code[i];
        int b = code[symbol];
        code[i] = b;
        code[symbol] = a;
        symbolOf[b] = i;
        symbolOf[a] = symbol;
    }
    freq[i]++;
    while (--i >= 0) {
        cum[i]++;
    }
}

namespace {

// The input a byte at a time, and the output, as the classic decoder has
// them: from and into memory, or through stdio's byte macros.
struct MemoryIo {
    const std::vector<uint8_t> &stream;
    size_t at;
    std::vector<uint8_t> *out;
    int Byte() { return at < stream.size() ? stream[at++] : -1; }
    void Put(uint8_t byte) { out->push_back(byte); }
};

struct FileIo {
    FILE *in;
    FILE *out;
    int Byte() { return getc_unlocked(in); }
    void Put(uint8_t byte) { putc_unlocked(byte, out); }
};

template <class Io>
struct Reader {
    Io &io;
    int buffer = 0;
    int mask = 0;
    int Byte() { return io.Byte(); }
    uint32_t Bit() {
        mask >>= 1;
        if (mask == 0) {
            buffer = Byte();
            mask = 0x80;
        }
        return (buffer & mask) ? 1 : 0;
    }
};

template <class Io>
struct Coder {
    Reader<Io> &reader;
    uint32_t low = 0, high = 0x20000, value = 0;
    void Narrow(uint32_t upper, uint32_t lower, uint32_t total) {
        uint32_t range = high - low;
        high = low + range * upper / total;
        low = low + range * lower / total;
        for (;;) {
            if (low >= 0x10000) {
                value -= 0x10000, low -= 0x10000, high -= 0x10000;
            } else if (low >= 0x8000 && high <= 0x18000) {
                value -= 0x8000, low -= 0x8000, high -= 0x8000;
            } else if (high > 0x10000) {
                return;
            }
            low += low;
            high += high;
            value = 2 * value + reader.Bit();
        }
    }
    uint32_t Scaled(uint32_t total) const { return ((value - low + 1) * total - 1) / (high - low); }
};

template <class Io>
bool Decode(Io &io) {
    Reader<Io> reader{io};
    uint32_t length = 0;
    for (int i = 0; i < 4; i++) {
        int b = reader.Byte();
        if (b < 0) {
            return false;
        }
        length |= uint32_t(b) << (8 * i);
    }
    if (length == 0) {
        return true;
    }
    Coder<Io> coder{reader};
    for (int i = 0; i < 17; i++) {
        coder.value = 2 * coder.value + reader.Bit();
    }
    ReferenceSymbolModel model;
    uint32_t positionCum[4097];
    positionCum[4096] = 0;
    for (uint32_t i = 4096; i >= 1; i--) {
        positionCum[i - 1] = positionCum[i] + 10000 / (i + 200);
    }
    uint8_t ring[4096] = {};
    for (int i = 0; i < 4036; i++) {
        ring[i] = ' ';
    }
    uint32_t r = 4036;
    uint32_t written = 0;
    while (written < length) {
        uint32_t x = coder.Scaled(model.cum[0]);
        int lo = 1, hi = 314;
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            if (model.cum[mid] > x) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        coder.Narrow(model.cum[lo - 1], model.cum[lo], model.cum[0]);
        int c = model.code[lo];
        model.Update(lo);
        if (c < 256) {
            io.Put(uint8_t(c));
            written++;
            ring[r] = uint8_t(c);
            r = (r + 1) & 4095;
            continue;
        }
        uint32_t px = coder.Scaled(positionCum[0]);
        uint32_t plo = 1, phi = 4096;
        while (plo < phi) {
            uint32_t mid = (plo + phi) / 2;
            if (positionCum[mid] > px) {
                plo = mid + 1;
            } else {
                phi = mid;
            }
        }
        uint32_t p = plo - 1;
        coder.Narrow(positionCum[p], positionCum[p + 1], positionCum[0]);
        uint32_t s = (r - p - 1) & 4095;
        for (int k = 0; k < c - 253 && written < length; k++) {
            uint8_t byte = ring[(s + k) & 4095];
            io.Put(byte);
            written++;
            ring[r] = byte;
            r = (r + 1) & 4095;
        }
    }
    return true;
}

}  // namespace

bool ReferenceLzariDecode(const std::vector<uint8_t> &stream, std::vector<uint8_t> *out) {
    out->clear();
    MemoryIo io{stream, 0, out};
    return Decode(io);
}

bool ReferenceLzariDecode(FILE *in, FILE *out) {
    FileIo io{in, out};
    return Decode(io);
}
