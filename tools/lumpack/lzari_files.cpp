// LZARI stream files, coded and decoded through fixed buffers.
#include "lzari_files.h"

#include <string.h>

#include <memory>
#include <vector>

#include "lzari/lzari_decoder.h"
#include "presentation_reader.h"

namespace {

const size_t BufferSize = 1 << 16;

// The input file, read forwards a buffer at a time.
struct FileSource {
    const InputFile *file;
    uint64_t offset;  // of the buffer's first byte
    uint8_t buffer[BufferSize];
    size_t at;
    size_t end;
    uint64_t overRead;  // reads past the file's end, answered with -1
    std::string error;  // why a read failed; the rest of the file then reads as ended
};

bool Refill(FileSource *source) {
    source->offset += source->end;
    source->at = 0;
    source->end = 0;
    if (!source->error.empty() || source->offset >= source->file->size) {
        return false;
    }
    uint64_t left = source->file->size - source->offset;
    size_t count = left < BufferSize ? static_cast<size_t>(left) : BufferSize;
    if (!ReadInputAt(*source->file, source->offset, source->buffer, count, &source->error)) {
        return false;
    }
    source->end = count;
    return true;
}

int32_t ReadByte(void *context) {
    FileSource *source = static_cast<FileSource *>(context);
    if (source->at == source->end && !Refill(source)) {
        source->overRead++;
        return -1;
    }
    return source->buffer[source->at++];
}

// The output, a buffer at a time; after a failed write the rest is only counted.
struct FileSink {
    OutputFile *out;
    uint8_t buffer[BufferSize];
    size_t used;
    uint64_t written;
    bool failed;
    std::string error;
};

bool FlushSink(FileSink *sink) {
    if (!sink->failed && sink->used > 0 &&
        !sink->out->Write(sink->buffer, sink->used, &sink->error)) {
        sink->failed = true;
    }
    sink->used = 0;
    return !sink->failed;
}

int32_t WriteByte(void *context, int32_t byte) {
    FileSink *sink = static_cast<FileSink *>(context);
    sink->buffer[sink->used++] = static_cast<uint8_t>(byte);
    sink->written++;
    if (sink->used == BufferSize) {
        FlushSink(sink);
    }
    return byte;
}

// A compression's two sides: the input read straight into the coder's
// buffer, the output through the sink.
struct CompressIo {
    FileSource source;
    FileSink sink;
};

size_t ReadChunk(void *context, uint8_t *buffer, size_t size) {
    FileSource *source = &static_cast<CompressIo *>(context)->source;
    uint64_t left = source->file->size - source->offset;
    size_t count = left < size ? static_cast<size_t>(left) : size;
    if (count == 0) {
        source->error = "the file ended early (did it change while being read?)";
        return 0;
    }
    if (!ReadInputAt(*source->file, source->offset, buffer, count, &source->error)) {
        return 0;
    }
    source->offset += count;
    return count;
}

bool WriteChunk(void *context, const uint8_t *data, size_t size) {
    FileSink *sink = &static_cast<CompressIo *>(context)->sink;
    if (!sink->out->Write(data, size, &sink->error)) {
        sink->failed = true;
        return false;
    }
    return true;
}

// Why a stream of size bytes that declares declared bytes is damaged
// before it is decoded, or "".
std::string LengthProblem(uint64_t size, uint32_t declared) {
    uint64_t limit = size * LzariMaxDecodedPerStoredByte;
    if (declared <= limit) {
        return "";
    }
    return "the stream declares " + std::to_string(declared) + " decoded bytes, more than its " +
           std::to_string(size) + " bytes can code (at most " + std::to_string(limit) +
           "): the length field is damaged, or this is no LZARI stream";
}

// Why the decoded stream is damaged, or "". A correct stream is read 1 or 2
// bytes past its end (see presentation_reader.cpp): fewer means bytes after
// it were taken for its own.
std::string EndProblem(const FileSource &source, uint32_t declared) {
    if (source.overRead > LzariMaxOverRead) {
        return "decoding needs " + std::to_string(source.overRead) +
               " bytes past the stream's end (a correct stream at most " +
               std::to_string(LzariMaxOverRead) + "): the stream is cut short or damaged";
    }
    uint64_t unread = source.file->size - (source.offset + source.at);
    if (unread > 0 || (declared > 0 && source.overRead == 0)) {
        return std::to_string(unread > 0 ? unread : 1) +
               " or more bytes follow the coded data: junk was appended, or the length field "
               "is damaged";
    }
    return "";
}

}  // namespace

StreamFault CompressFile(const InputFile &in, OutputFile *out, LzariProgress progress,
                         void *progressContext, std::string *error) {
    std::unique_ptr<CompressIo> files(new CompressIo());
    files->source.file = &in;
    files->sink.out = out;
    LzariStreamIo io = {ReadChunk, WriteChunk, files.get()};
    if (LzariCompressStream(static_cast<uint32_t>(in.size), &io, progress, progressContext)) {
        return StreamFault::None;
    }
    bool input = !files->source.error.empty();
    *error = input ? files->source.error : files->sink.error;
    return input ? StreamFault::Input : StreamFault::Output;
}

StreamFault DecompressFile(const InputFile &in, OutputFile *out, std::string *error) {
    uint8_t field[4];
    if (in.size < sizeof field) {
        *error = "too short for the stream's 4-byte length field (" + std::to_string(in.size) +
                 " bytes)";
        return StreamFault::Input;
    }
    if (!ReadInputAt(in, 0, field, sizeof field, error)) {
        return StreamFault::Input;
    }
    uint32_t declared = static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
                        static_cast<uint32_t>(field[2]) << 16 |
                        static_cast<uint32_t>(field[3]) << 24;
    *error = LengthProblem(in.size, declared);
    if (!error->empty()) {
        return StreamFault::Input;
    }
    std::unique_ptr<FileSource> source(new FileSource());
    source->file = &in;
    std::unique_ptr<FileSink> sink(new FileSink());
    sink->out = out;
    // Aligned for pointers, as the decoder requires.
    std::vector<void *> workArea(LzariWorkAreaSize / sizeof(void *) + 1);
    LzariDecode(workArea.data(), ReadByte, source.get(), WriteByte, sink.get());
    *error = !source->error.empty() ? source->error : EndProblem(*source, declared);
    if (!error->empty()) {
        return StreamFault::Input;
    }
    if (!FlushSink(sink.get())) {
        *error = sink->error;
        return StreamFault::Output;
    }
    return StreamFault::None;
}
