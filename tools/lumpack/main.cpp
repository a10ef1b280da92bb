// lumpack: the command-line tool around presentation executables. This file
// only parses arguments and prints; the work is done by the library.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "file_io.h"
#include "lzari_encoder.h"

namespace {

const char Usage[] =
    "usage: lumpack COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  compress IN OUT     compress IN into the LZARI stream OUT\n"
    "  decompress IN OUT   decode the LZARI stream IN into OUT\n"
    "\n"
    "lumpack COMMAND --help shows the help of one command.\n";

const char CompressHelp[] =
    "usage: lumpack compress IN OUT\n"
    "Compresses the file IN into OUT as an LZARI stream: its length as 4 bytes,\n"
    "least significant first, then the coded data. OUT is written whole or not\n"
    "at all.\n";

const char DecompressHelp[] =
    "usage: lumpack decompress IN OUT\n"
    "Decodes the LZARI stream IN into OUT, which gets exactly the length the\n"
    "stream declares. OUT is written whole or not at all.\n";

bool IsHelp(const char *argument) {
    return strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0;
}

int Fail(const std::string &path, const std::string &why) {
    fprintf(stderr, "lumpack: %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

void ShowProgress(void *context, size_t done, size_t total) {
    const char *verb = static_cast<const char *>(context);
    fprintf(stderr, "\r%s: %3u%%", verb,
            static_cast<unsigned>(total == 0 ? 100 : done * 100 / total));
    if (done == total) {
        fprintf(stderr, "\n");
    }
}

int Compress(const std::string &in, const std::string &out) {
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(in, &data, &error)) {
        return Fail(in, error);
    }
    if (data.size() > 0xFFFFFFFFu) {
        return Fail(in, "too large for a stream (at most 4 GiB - 1 bytes)");
    }
    // Progress only where someone watches, and only when it takes a while.
    bool showProgress = isatty(STDERR_FILENO) && data.size() >= (4u << 20);
    std::vector<uint8_t> stream =
        LzariCompress(data.data(), data.size(), showProgress ? ShowProgress : nullptr,
                      const_cast<char *>("compressing"));
    if (!WriteWholeFile(out, stream, &error)) {
        return Fail(out, error);
    }
    return 0;
}

int Decompress(const std::string &in, const std::string &out) {
    std::vector<uint8_t> stream;
    std::string error;
    if (!ReadWholeFile(in, &stream, &error)) {
        return Fail(in, error);
    }
    std::vector<uint8_t> data;
    if (!LzariDecompress(stream.data(), stream.size(), &data)) {
        return Fail(in, "stream too short for its 4-byte length field");
    }
    if (!WriteWholeFile(out, data, &error)) {
        return Fail(out, error);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2 || IsHelp(argv[1])) {
        fputs(Usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    const char *help = command == "compress"     ? CompressHelp
                       : command == "decompress" ? DecompressHelp
                                                 : nullptr;
    if (help == nullptr) {
        fprintf(stderr, "lumpack: unknown command '%s'\n%s", command.c_str(), Usage);
        return 2;
    }
    if (argc >= 3 && IsHelp(argv[2])) {
        fputs(help, stdout);
        return 0;
    }
    if (argc != 4) {
        fprintf(stderr, "lumpack %s: expected IN and OUT\n%s", command.c_str(), help);
        return 2;
    }
    return command == "compress" ? Compress(argv[2], argv[3]) : Decompress(argv[2], argv[3]);
}
