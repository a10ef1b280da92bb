// What input and output files do the same way on every system: reading a
// file as a payload or whole, and an output's buffering. The rest is in
// file_io_posix.cpp and file_io_win.cpp.
#include "file_io.h"

#include <new>

namespace {

enum { OutputBufferSize = 1 << 16 };

bool ReadFileAt(const PayloadByteReader *reader, uint32_t offset, void *buffer, uint32_t size) {
    const FileByteReader *self = reinterpret_cast<const FileByteReader *>(reader);
    std::string ignored;
    return ReadInputAt(*self->file, offset, buffer, size, &ignored);
}

}  // namespace

FileByteReader MakeFileByteReader(const InputFile *file) {
    FileByteReader reader;
    reader.reader.ReadAt = ReadFileAt;
    reader.file = file;
    return reader;
}

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *data, std::string *error) {
    InputFile file;
    if (!OpenInputFile(path, &file, error)) {
        return false;
    }
    bool ok = true;
    try {
        data->resize(static_cast<size_t>(file.size));
    } catch (const std::bad_alloc &) {
        *error = "not enough memory to read it";
        ok = false;
    }
    ok = ok && ReadInputAt(file, 0, data->data(), data->size(), error);
    CloseInputFile(&file);
    return ok;
}

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Flush(std::string *error) {
    bool ok = WriteOut(buffer_.data(), buffer_.size(), error);
    buffer_.clear();
    return ok;
}

bool OutputFile::Write(const void *data, size_t size, std::string *error) {
    if (!IsOpen()) {
        *error = "not open";
        return false;
    }
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    size_ += size;
    if (buffer_.size() + size > OutputBufferSize) {
        if (!Flush(error)) {
            Discard();
            return false;
        }
        if (size >= OutputBufferSize) {
            if (!WriteOut(bytes, size, error)) {
                Discard();
                return false;
            }
            return true;
        }
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    return true;
}

bool OutputFile::Rewind(uint64_t size, std::string *error) {
    if (!IsOpen() || toStdout_ || size > size_) {
        *error = "cannot be rewound";
        return false;
    }
    if (!Flush(error) || !TruncateOut(size, error)) {
        Discard();
        return false;
    }
    size_ = size;
    return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void *data, size_t size, std::string *error) {
    if (!IsOpen() || toStdout_ || offset > size_ || size > size_ - offset) {
        *error = "cannot be written there";
        return false;
    }
    if (!Flush(error) || !WriteOutAt(offset, static_cast<const uint8_t *>(data), size, error)) {
        Discard();
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data, bool force,
                    std::string *error) {
    OutputFile file;
    return file.Begin(path, force, false, error) && file.Write(data.data(), data.size(), error) &&
           file.Commit(error);
}
