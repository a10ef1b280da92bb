// The corpora of the codec benchmarks, made in memory on first use.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

enum { BenchCorpusCount = 3 };
const size_t BenchCorpusSize = 8u << 20;

extern const char *const BenchCorpusNames[BenchCorpusCount];  // text, x86, random

// The corpus; empty when the machine has too little machine code for it.
const std::vector<uint8_t> &BenchCorpus(int which);
