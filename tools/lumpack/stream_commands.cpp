// `lumpack compress` and `lumpack decompress`: the files opened and checked,
// the coding done by lzari_files, the output committed.
#include "stream_commands.h"

#include "file_io.h"
#include "lzari/lzari_stream_io.h"
#include "lzari_files.h"

namespace {

// Opens IN and starts OUT for compress and decompress; 0 when both are
// ready, else the exit status.
int OpenStreamFiles(const StreamArguments &files, InputFile *in, OutputFile *out) {
    std::string error;
    if (!OpenInputFile(files.in, in, &error)) {
        return Fail(files.in, error);
    }
    if (files.out != "-" && SameFile(files.in, files.out)) {
        return Fail(files.out, "is the input file; choose another output file");
    }
    if (!out->Begin(files.out, files.force, true, &error)) {
        return Fail(files.out, error);
    }
    return 0;
}

}  // namespace

int Compress(const StreamArguments &files, Verbosity verbosity) {
    std::string error;
    InputFile in;
    OutputFile out;
    int status = OpenStreamFiles(files, &in, &out);
    if (status != 0) {
        return status;
    }
    if (in.size > LzariMaxStreamLength) {
        return Fail(files.in, "too large for a stream (at most 4 GiB - 1 bytes)");
    }
    bool showProgress = WorthShowingProgress(static_cast<size_t>(in.size));
    StreamFault fault = CompressFile(in, &out, showProgress ? ShowProgress : nullptr,
                                     const_cast<char *>("compressing"), &error);
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

int Decompress(const StreamArguments &files, Verbosity verbosity) {
    std::string error;
    InputFile in;
    OutputFile out;
    int status = OpenStreamFiles(files, &in, &out);
    if (status != 0) {
        return status;
    }
    StreamFault fault = DecompressFile(in, &out, &error);
    CloseInputFile(&in);
    if (fault != StreamFault::None) {
        return Fail(fault == StreamFault::Input ? files.in : files.out,
                    error + "; nothing written");
    }
    if (!out.Commit(&error)) {
        return Fail(files.out, error);
    }
    TellWritten(verbosity, files.out, out.size());
    return 0;
}
