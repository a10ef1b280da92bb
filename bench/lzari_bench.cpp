// Throughput of the LZARI codec on three corpora of 8 MiB (English-like
// text, x86-64 machine code, random bytes), with the baseline measured in
// the same run: the literal reference decoder of the tests, built with the
// same compiler and flags. The decoder runs the way the launcher drives it
// (one callback per input byte from memory and one per output byte into a
// buffer allocated up front) and the way lumpack does (block reads and
// writes). At the end the ratios of time per byte are printed, reference
// over ours: of the medians with --benchmark_repetitions, else of the
// fastest run.
//
//   lzari_bench [Google Benchmark flags], best with
//     --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true
//   lzari_bench --write-corpora FOLDER   writes text.bin, x86.bin, random.bin
#include <stdio.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_corpora.h"
#include "lzari/lzari_decoder.h"
#include "lzari/lzari_encoder.h"
#include "lzari_reference.h"

namespace {

struct MemorySource {
    const uint8_t *at;
    const uint8_t *end;
};

int32_t ReadFromMemory(void *sourceData) {
    MemorySource *source = static_cast<MemorySource *>(sourceData);
    return source->at == source->end ? -1 : *source->at++;
}

struct MemorySink {
    uint8_t *at;
    uint8_t *end;
};

int32_t WriteToMemory(void *sinkData, int32_t byte) {
    MemorySink *sink = static_cast<MemorySink *>(sinkData);
    if (sink->at == sink->end) {
        return 0;
    }
    *sink->at++ = static_cast<uint8_t>(byte);
    return 1;
}

// Both ends of a block decoding, in memory.
struct MemoryBlocks {
    MemorySource source;
    MemorySink sink;
};

size_t ReadBlock(void *context, uint8_t *buffer, size_t size) {
    MemorySource *source = &static_cast<MemoryBlocks *>(context)->source;
    size_t count = static_cast<size_t>(source->end - source->at);
    count = count < size ? count : size;
    memcpy(buffer, source->at, count);
    source->at += count;
    return count;
}

bool WriteBlock(void *context, const uint8_t *data, size_t size) {
    MemorySink *sink = &static_cast<MemoryBlocks *>(context)->sink;
    if (static_cast<size_t>(sink->end - sink->at) < size) {
        return false;
    }
    memcpy(sink->at, data, size);
    sink->at += size;
    return true;
}

enum class Decoder { Callbacks, Blocks, Reference };

// One decoding of stream into output (sized to the declared length; the
// reference decoder's vector keeps its capacity from run to run).
void DecodeOnce(Decoder decoder, const std::vector<uint8_t> &stream, void *workArea,
                std::vector<uint8_t> *output) {
    const uint8_t *begin = stream.data();
    if (decoder == Decoder::Reference) {
        ReferenceLzariDecode(stream, output);
    } else if (decoder == Decoder::Callbacks) {
        MemorySource source = {begin, begin + stream.size()};
        MemorySink sink = {output->data(), output->data() + output->size()};
        LzariDecode(workArea, ReadFromMemory, &source, WriteToMemory, &sink);
    } else {
        MemoryBlocks blocks = {{begin, begin + stream.size()},
                               {output->data(), output->data() + output->size()}};
        LzariStreamIo io = {ReadBlock, WriteBlock, &blocks};
        LzariDecodeTally tally;
        LzariDecodeBlocks(workArea, &io, &tally);
    }
}

void BM_Decode(benchmark::State &state, int corpus, Decoder decoder) {
    const std::vector<uint8_t> &data = BenchCorpus(corpus);
    if (data.empty()) {
        state.SkipWithError("not enough machine code on this machine for the x86 corpus");
        return;
    }
    std::vector<uint8_t> stream = LzariCompress(data.data(), data.size());
    std::unique_ptr<void *[]> workArea(new void *[LzariWorkAreaSize / sizeof(void *) + 1]);
    std::vector<uint8_t> output(data.size());
    for (auto _ : state) {
        DecodeOnce(decoder, stream, workArea.get(), &output);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    if (output != data) {
        state.SkipWithError("decoded bytes differ from the input");
        return;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
    state.counters["stream/input"] =
        static_cast<double>(stream.size()) / static_cast<double>(data.size());
}

void BM_Encode(benchmark::State &state, int corpus) {
    const std::vector<uint8_t> &data = BenchCorpus(corpus);
    if (data.empty()) {
        state.SkipWithError("not enough machine code on this machine for the x86 corpus");
        return;
    }
    size_t streamSize = 0;
    for (auto _ : state) {
        std::vector<uint8_t> stream = LzariCompress(data.data(), data.size());
        streamSize = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
    state.counters["stream/input"] =
        static_cast<double>(streamSize) / static_cast<double>(data.size());
}

// The console output, then the ratios of the decoders' times per byte.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.iterations == 0) {
                continue;
            }
            const std::string &name = run.run_name.function_name;
            double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                median_[name] = seconds;
            } else if (run.run_type == Run::RT_Iteration &&
                       (fastest_.count(name) == 0 || seconds < fastest_[name])) {
                fastest_[name] = seconds;
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        printf("\nreference decoder time / our time, per byte (%s):\n",
               median_.empty() ? "fastest run of each" : "medians of the repetitions");
        for (int corpus = 0; corpus < BenchCorpusCount; corpus++) {
            std::string name = BenchCorpusNames[corpus];
            double reference = Fastest("reference_decode/" + name);
            double callbacks = Fastest("decode/" + name);
            double blocks = Fastest("decode_blocks/" + name);
            if (reference > 0 && callbacks > 0 && blocks > 0) {
                printf("  %-7s LzariDecode %.2fx   LzariDecodeBlocks %.2fx\n", name.c_str(),
                       reference / callbacks, reference / blocks);
            }
        }
    }

private:
    double Fastest(const std::string &name) const {
        const std::map<std::string, double> &times = median_.empty() ? fastest_ : median_;
        auto known = times.find(name);
        return known == times.end() ? 0 : known->second;
    }

    std::map<std::string, double> fastest_;
    std::map<std::string, double> median_;
};

int WriteCorpora(const char *folder) {
    for (int corpus = 0; corpus < BenchCorpusCount; corpus++) {
        const std::vector<uint8_t> &data = BenchCorpus(corpus);
        std::string path = std::string(folder) + "/" + BenchCorpusNames[corpus] + ".bin";
        FILE *file = fopen(path.c_str(), "wb");
        bool written = file != nullptr && !data.empty() &&
                       fwrite(data.data(), 1, data.size(), file) == data.size();
        if (file != nullptr && fclose(file) != 0) {
            written = false;
        }
        if (!written) {
            fprintf(stderr, "lzari_bench: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && strcmp(argv[1], "--write-corpora") == 0) {
        return WriteCorpora(argv[2]);
    }
    // Each decoder in turn on a corpus, the reference between ours.
    for (int corpus = 0; corpus < BenchCorpusCount; corpus++) {
        std::string name = BenchCorpusNames[corpus];
        benchmark::RegisterBenchmark(("decode/" + name).c_str(), BM_Decode, corpus,
                                     Decoder::Callbacks)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("reference_decode/" + name).c_str(), BM_Decode, corpus,
                                     Decoder::Reference)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decode_blocks/" + name).c_str(), BM_Decode, corpus,
                                     Decoder::Blocks)
            ->Unit(benchmark::kMillisecond);
    }
    for (int corpus = 0; corpus < BenchCorpusCount; corpus++) {
        benchmark::RegisterBenchmark((std::string("encode/") + BenchCorpusNames[corpus]).c_str(),
                                     BM_Encode, corpus)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
