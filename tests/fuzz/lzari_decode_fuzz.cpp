// Fuzz target for LzariDecode: any byte string is a stream, checked against the
// decoder's contract and the reference decoder. Replayed by CTest on host.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "lzari/lzari_decoder.h"
#include "lzari_reference.h"

namespace {

// Streams declaring more than this many bytes are skipped: the decoder's work
// grows with the declared length, not with the input, and instrumented (and
// checked against the slow reference) it makes only a few MB a second, so
// long outputs would slow the fuzzer to a crawl. Everything the decoder does
// shows up well below this: the ring wraps after 4 KB, and the symbol model
// is halved after about 32K codes, which literal-heavy streams reach.
const uint32_t MaxDecodedLength = 1u << 16;

void Fail(const char *what) {
    fprintf(stderr, "lzari_decode_fuzz: %s\n", what);
    abort();
}

struct Source {
    const uint8_t *data;
    size_t size;
    size_t at;
};

// Once the input is used up, every further call reads -1, as the decoder's
// sources are required to do.
int32_t ReadByte(void *sourceData) {
    Source *source = static_cast<Source *>(sourceData);
    if (source->at >= source->size) {
        return -1;
    }
    return source->data[source->at++];
}

// Counts and hashes the output rather than keeping it: a damaged stream may
// declare a length far beyond its input.
struct Sink {
    uint64_t count;
    uint64_t hash;  // FNV-1a over the bytes written
};

void Start(Sink *sink) {
    sink->count = 0;
    sink->hash = 0xCBF29CE484222325ull;
}

void Add(Sink *sink, uint8_t byte) {
    sink->count++;
    sink->hash = (sink->hash ^ byte) * 0x100000001B3ull;
}

int32_t WriteByte(void *sinkData, int32_t byte) {
    if (byte < 0 || byte > 255) {
        Fail("writeByte got a value that is not a byte");
    }
    Add(static_cast<Sink *>(sinkData), static_cast<uint8_t>(byte));
    return 1;
}

LzariResult Decode(void *workArea, const uint8_t *data, size_t size, Sink *sink) {
    Source source = {data, size, 0};
    Start(sink);
    return LzariDecode(workArea, ReadByte, &source, WriteByte, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint32_t length = 0;
    if (size >= 4) {
        length = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                 static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        if (length > MaxDecodedLength) {
            return 0;
        }
    }

    // Exactly the documented size on the heap, so AddressSanitizer reports any
    // access past it. Garbage first: the decoder must not rely on a clean area.
    void *workArea = malloc(LzariWorkAreaSize);
    if (workArea == nullptr) {
        Fail("out of memory");
    }
    memset(workArea, 0xA5, LzariWorkAreaSize);

    Sink first;
    LzariResult result = Decode(workArea, data, size, &first);
    if (result != LzariInputEnded && result != LzariDone) {
        Fail("result is neither LzariInputEnded nor LzariDone, though no write fails");
    }
    if ((result == LzariInputEnded) != (size < 4)) {
        Fail("LzariInputEnded must mean exactly that the input ends inside the length");
    }
    if (result == LzariInputEnded && first.count != 0) {
        Fail("bytes written for a stream too short for its length");
    }
    if (result == LzariDone && first.count != length) {
        Fail("bytes written differ from the declared length");
    }

    // Damaged or not, every stream must decode to what the plain classic
    // decoder makes of it, byte for byte.
    std::vector<uint8_t> expected;
    bool referenceResult = ReferenceLzariDecode(std::vector<uint8_t>(data, data + size), &expected);
    Sink reference;
    Start(&reference);
    for (uint8_t byte : expected) {
        Add(&reference, byte);
    }
    if (referenceResult != (result == LzariDone) || reference.count != first.count ||
        reference.hash != first.hash) {
        Fail("output differs from the reference decoder's");
    }

    // The same area, left dirty by the first call, must give the same output.
    Sink second;
    result = Decode(workArea, data, size, &second);
    if ((result == LzariInputEnded) != (size < 4) || second.count != first.count ||
        second.hash != first.hash) {
        Fail("decoding again in a used work area gave a different result");
    }

    free(workArea);
    return 0;
}
