// Fuzz target for the LZARI round trip: LzariCompress, then LzariDecompress.
// Owns the encoder-side checks; replayed by CTest on host.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "lzari/lzari_decoder.h"
#include "lzari/lzari_encoder.h"
#include "lzari_reference.h"

namespace {

void Fail(const char *what) {
    fprintf(stderr, "lzari_roundtrip_fuzz: %s\n", what);
    abort();
}

// Counts every read, past the end too, as the launcher's checks count them.
struct CountingSource {
    const uint8_t *data;
    size_t size;
    size_t reads;
};

int32_t ReadCounting(void *sourceData) {
    CountingSource *source = static_cast<CountingSource *>(sourceData);
    size_t at = source->reads++;
    return at < source->size ? source->data[at] : -1;
}

int32_t Discard(void *, int32_t byte) {
    return byte;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Every parse; the first byte chooses, the rest is the input.
    const LzariParse parses[] = {LzariParse::Optimal, LzariParse::Lazy, LzariParse::Greedy};
    LzariParse parse = parses[size > 0 ? data[0] % 3 : 0];
    std::vector<uint8_t> stream = LzariCompress(data, size, nullptr, nullptr, parse);
    if (stream.size() < 4) {
        Fail("stream shorter than its length field");
    }
    uint32_t length = static_cast<uint32_t>(stream[0]) | static_cast<uint32_t>(stream[1]) << 8 |
                      static_cast<uint32_t>(stream[2]) << 16 |
                      static_cast<uint32_t>(stream[3]) << 24;
    if (length != size) {
        Fail("length field differs from the input size");
    }
    // No code costs more than about 17 bits and a match stands for at least
    // three bytes, so even incompressible input stays far below this.
    if (stream.size() > 4 + 3 * size + 16) {
        Fail("stream far larger than any input can need");
    }

    std::vector<uint8_t> out;
    if (!LzariDecompress(stream.data(), stream.size(), &out)) {
        Fail("decompress refused a stream the compressor made");
    }
    if (out.size() != size || (size != 0 && memcmp(out.data(), data, size) != 0)) {
        Fail("round trip changed the data");
    }
    std::vector<uint8_t> classic;
    if (!ReferenceLzariDecode(stream, &classic) || classic != out) {
        Fail("the classic decoder reads the stream otherwise");
    }

    // What the compressor makes passes the checks that refuse damaged streams.
    if (!LzariLengthPlausible(length, static_cast<uint32_t>(stream.size()))) {
        Fail("the length looks damaged to the stream checks");
    }
    std::vector<void *> workArea(LzariWorkAreaSize / sizeof(void *) + 1);
    CountingSource source = {stream.data(), stream.size(), 0};
    LzariDecode(workArea.data(), ReadCounting, &source, Discard, nullptr);
    if (!LzariStreamEndsRight(stream.size(), source.reads)) {
        Fail("the stream's end looks damaged to the stream checks");
    }
    return 0;
}
