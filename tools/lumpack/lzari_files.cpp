// LZARI stream files, coded and decoded through fixed buffers.
#include "lzari_files.h"

#include "presentation_reader.h"

namespace {

// A compression's two sides: the input read straight into the coder's
// buffer, the output handed to the output file.
struct CompressIo {
    const InputFile *in;
    uint64_t offset;
    std::string readError;
    OutputFile *out;
    std::string writeError;
};

size_t ReadChunk(void *context, uint8_t *buffer, size_t size) {
    CompressIo *io = static_cast<CompressIo *>(context);
    uint64_t left = io->in->size - io->offset;
    size_t count = left < size ? static_cast<size_t>(left) : size;
    if (count == 0) {
        io->readError = "the file ended early (did it change while being read?)";
        return 0;
    }
    if (!ReadInputAt(*io->in, io->offset, buffer, count, &io->readError)) {
        return 0;
    }
    io->offset += count;
    return count;
}

bool WriteChunk(void *context, const uint8_t *data, size_t size) {
    CompressIo *io = static_cast<CompressIo *>(context);
    return io->out->Write(data, size, &io->writeError);
}

// The decoded bytes, handed to the output file; remembers whether it failed.
struct DecodedOutput {
    OutputFile *out;
    bool failed;
};

bool WriteDecoded(void *context, const uint8_t *bytes, size_t size, std::string *error) {
    DecodedOutput *output = static_cast<DecodedOutput *>(context);
    output->failed = !output->out->Write(bytes, size, error);
    return !output->failed;
}

}  // namespace

StreamFault CompressFile(const InputFile &in, OutputFile *out, LzariProgress progress,
                         void *progressContext, std::string *error, LzariParse parse) {
    CompressIo files = {&in, 0, "", out, ""};
    LzariStreamIo io = {ReadChunk, WriteChunk, &files};
    if (LzariCompressStream(static_cast<uint32_t>(in.size), &io, progress, progressContext,
                            parse)) {
        return StreamFault::None;
    }
    bool input = !files.readError.empty();
    *error = input ? files.readError : files.writeError;
    return input ? StreamFault::Input : StreamFault::Output;
}

StreamFault DecompressFile(const InputFile &in, OutputFile *out, std::string *error) {
    if (in.size > LzariMaxStreamLength) {
        *error = "larger than 4 GiB, which no stream can be";
        return StreamFault::Input;
    }
    uint32_t size = static_cast<uint32_t>(in.size);
    FileByteReader reader = MakeFileByteReader(&in);
    DecodedOutput output = {out, false};
    *error = CheckLzariStream(&reader.reader, 0, size, WriteDecoded, &output);
    if (!error->empty()) {
        return output.failed ? StreamFault::Output : StreamFault::Input;
    }
    return StreamFault::None;
}
