// The baseline of the whole-process comparison: a small file-to-file
// program around the tests' literal reference decoder, reading and writing
// a byte at a time through stdio as the classic program does.
//
//   lzari_reference_decompress IN OUT
#include <stdio.h>

#include "lzari_reference.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: lzari_reference_decompress IN OUT\n");
        return 2;
    }
    FILE *in = fopen(argv[1], "rb");
    if (in == nullptr) {
        fprintf(stderr, "lzari_reference_decompress: cannot open %s\n", argv[1]);
        return 1;
    }
    FILE *out = fopen(argv[2], "wb");
    if (out == nullptr) {
        fprintf(stderr, "lzari_reference_decompress: cannot create %s\n", argv[2]);
        fclose(in);
        return 1;
    }
    bool decoded = ReferenceLzariDecode(in, out);
    bool read = ferror(in) == 0;
    fclose(in);
    if (fclose(out) != 0 || !decoded || !read) {
        fprintf(stderr, "lzari_reference_decompress: %s\n",
                decoded ? "reading or writing failed" : "the stream is too short for its length");
        return 1;
    }
    return 0;
}
