// A literal, slow rendering of the classic LZARI decoder with its linear
// cumulative-frequency tables, used to check the fast decoder bit for bit.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <vector>

// Decodes stream; false when it is too short for its length field. Like the
// real decoder it stops at exactly the declared length.
bool ReferenceLzariDecode(const std::vector<uint8_t> &stream, std::vector<uint8_t> *out);
// The same from one file into another, a byte at a time through stdio, as
// the classic program does it.
bool ReferenceLzariDecode(FILE *in, FILE *out);

// The classic symbol model, for comparing the fast model's sums with.
struct ReferenceSymbolModel {
    int code[315];
    int symbolOf[314];
    uint32_t freq[315];
    uint32_t cum[315];
    ReferenceSymbolModel();
    void Update(int symbol);
};
