// Runs a fuzz target once over every file of the corpus directories given on
// the command line, so the corpora double as regression tests without libFuzzer.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s CORPUS_DIR...\n", argv[0]);
        return 2;
    }
    size_t replayed = 0;
    for (int i = 1; i < argc; i++) {
        std::vector<std::filesystem::path> files;
        std::error_code error;
        for (std::filesystem::directory_iterator it(argv[i], error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file()) {
                files.push_back(it->path());
            }
        }
        if (error) {
            fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path &file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
            if (in.bad()) {
                fprintf(stderr, "%s: cannot read\n", file.c_str());
                return 1;
            }
            // Named first, so a crash shows which input caused it.
            fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
            // An empty vector's data() may be null; give the target a valid pointer.
            static const uint8_t none = 0;
            LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
            replayed++;
        }
    }
    // A corpus that went missing must not pass as an empty success.
    if (replayed == 0) {
        fprintf(stderr, "no inputs found\n");
        return 1;
    }
    printf("%zu inputs replayed\n", replayed);
    return 0;
}
