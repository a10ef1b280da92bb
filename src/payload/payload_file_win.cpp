// The executable file as the payload's source.
#include "payload_file.h"

#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "pe_image.h"

namespace {

struct HandleReader {
    PayloadByteReader reader;  // first: the reader's address is the object's
    HFILE handle;
};

bool ReadFromHandle(const PayloadByteReader *reader, uint32_t offset, void *buffer, uint32_t size) {
    const HandleReader *self = reinterpret_cast<const HandleReader *>(reader);
    if (offset > 0x7FFFFFFFu ||
        _llseek(self->handle, static_cast<LONG>(offset), FILE_BEGIN) != static_cast<LONG>(offset)) {
        return false;
    }
    return _lread(self->handle, buffer, size) == size;
}

}  // namespace

HFILE OpenPayloadReader(const wchar_t *path) {
    char ansi[PathBufferSize];
    if (AnsiFormOfPath(ansi, sizeof ansi, path)) {
        return _lopen(ansi, OF_READ);
    }
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? HFILE_ERROR : HandleToLong(handle);
}

bool OpenPayloadFile(HMODULE module, wchar_t *path, PayloadFile *file) {
    DWORD length = GetModuleFileNameW(module, path, PathBufferSize);
    if (length == 0 || length >= PathBufferSize) {
        return false;
    }
    file->handle = OpenPayloadReader(path);
    file->path = path;
    if (file->handle == HFILE_ERROR) {
        return false;
    }
    // Positions are signed 32-bit, so a file of 2 GiB or more has no trailer
    // that could be read; such a file counts as carrying no payload.
    LONG size = _llseek(file->handle, 0, FILE_END);
    HandleReader reader = {{ReadFromHandle}, file->handle};
    file->payloadEnd =
        size == HFILE_ERROR ? 0 : FindPayloadEnd(&reader.reader, static_cast<uint32_t>(size));
    return true;
}

bool PayloadFileHasAppendedData(const PayloadFile *file) {
    HandleReader reader = {{ReadFromHandle}, file->handle};
    uint32_t imageEnd;
    return FindPeImageEnd(&reader.reader, &imageEnd) && file->payloadEnd > imageEnd &&
           file->payloadEnd - imageEnd > MaxSigningPadding;
}

void ClosePayloadFile(PayloadFile *file) {
    _lclose(file->handle);
    file->handle = HFILE_ERROR;
}

bool ReadPayloadHeader(PayloadFile *file, PayloadHeader *header) {
    HandleReader reader = {{ReadFromHandle}, file->handle};
    return ReadPayloadHeaderFrom(&reader.reader, file->payloadEnd, header, nullptr);
}

bool SeekPayloadFile(const PayloadFile *file, int32_t offset) {
    return SeekPayloadReader(file->handle, offset);
}

bool SeekPayloadReader(HFILE handle, int32_t offset) {
    // A negative offset would match _llseek's HFILE_ERROR for -1.
    return offset >= 0 && _llseek(handle, offset, FILE_BEGIN) == offset;
}
