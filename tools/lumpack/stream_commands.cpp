// `lumpack compress` and `lumpack decompress`: the files opened and checked,
// the coding done by lzari_files, the output committed.
#include "stream_commands.h"

#include "file_io.h"
#include "lzari/lzari_stream_io.h"
#include "lzari_files.h"

namespace {

// What a command does between opening its files and committing OUT:
// StreamFault::None, or the file at fault with *error saying why.
using StreamStep = StreamFault (*)(const InputFile &in, OutputFile *out, std::string *error);

StreamFault CompressWith(LzariParse parse, const InputFile &in, OutputFile *out,
                         std::string *error) {
    if (in.size > LzariMaxStreamLength) {
        *error = "too large for a stream (at most 4 GiB - 1 bytes)";
        return StreamFault::Input;
    }
    bool showProgress = WorthShowingProgress(static_cast<size_t>(in.size));
    return CompressFile(in, out, showProgress ? ShowProgress : nullptr,
                        const_cast<char *>("compressing"), error, parse);
}

StreamFault CompressStep(const InputFile &in, OutputFile *out, std::string *error) {
    return CompressWith(LzariParse::Optimal, in, out, error);
}

StreamFault CompressFastStep(const InputFile &in, OutputFile *out, std::string *error) {
    return CompressWith(LzariParse::Greedy, in, out, error);
}

StreamFault DecompressStep(const InputFile &in, OutputFile *out, std::string *error) {
    StreamFault fault = DecompressFile(in, out, error);
    if (fault != StreamFault::None) {
        *error += "; nothing written";
    }
    return fault;
}

// Opens IN, starts OUT, runs step and commits OUT; returns the exit status.
int RunStreamCommand(const StreamArguments &files, Verbosity verbosity, StreamStep step) {
    std::string error;
    InputFile in;
    if (!OpenInputFile(files.in, &in, &error)) {
        return Fail(files.in, error);
    }
    if (files.out != "-" && SameFile(files.in, files.out)) {
        return Fail(files.out, "is the input file; choose another output file");
    }
    OutputFile out;
    if (!out.Begin(files.out, files.force, true, &error)) {
        return Fail(files.out, error);
    }
    StreamFault fault = step(in, &out, &error);
    CloseInputFile(&in);
    if (fault != StreamFault::None) {
        return Fail(fault == StreamFault::Input ? files.in : files.out, error);
    }
    if (!out.Commit(&error)) {
        return Fail(files.out, error);
    }
    TellWritten(verbosity, files.out, out.size());
    return 0;
}

}  // namespace

int Compress(const StreamArguments &files, Verbosity verbosity) {
    return RunStreamCommand(files, verbosity, files.fast ? CompressFastStep : CompressStep);
}

int Decompress(const StreamArguments &files, Verbosity verbosity) {
    return RunStreamCommand(files, verbosity, DecompressStep);
}
