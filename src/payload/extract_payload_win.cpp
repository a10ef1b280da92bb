// The payload step: entries appended to the executable written out as files.
#include "extract_payload.h"

#include "background_decode.h"
#include "common/ansi_path.h"
#include "common/path_rules.h"
#include "extract_payload_internal.h"
#include "lzari/lzari_decoder.h"
#include "tempfolder/run_temp_folder.h"

// Each entry's steps once, called from one place: put in line at -Os they
// would come out larger, which the size budget cannot afford.
#define LUMV_OUT_OF_LINE __attribute__((noinline))

PayloadStepResult ExtractPayload(HMODULE moduleHandle, RunState *run) {
    wchar_t path[PathBufferSize];
    PayloadFile file;
    if (!OpenPayloadFile(moduleHandle, path, &file)) {
        return PayloadStepDone;
    }
    PayloadHeader header;
    PayloadStepResult result = PayloadStepDone;
    if (ReadPayloadHeader(&file, &header) && HasPayloadMagic(&header)) {
        // Counts out of range would lead past the fifth entry slot: such a
        // header is a damaged payload, not a missing one.
        bool written = SeekPayloadFile(&file, header.contentOffset) &&
                       PayloadCountsValid(&header) &&
                       ExtractExeFolderEntries(&header, &file, path, run) &&
                       ExtractTempFolderEntries(&header, &file, run);
        result = written ? PayloadStepDone : PayloadStepFailed;
    } else if (PayloadFileHasAppendedData(&file)) {
        // A presentation cut short or with a damaged trailer or header: not
        // an executable without payload, whose player would be looked for.
        result = PayloadStepDamaged;
    }
    ClosePayloadFile(&file);
    return result;
}

bool ExtractExeFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                             const char *executablePath, RunState *run) {
    wchar_t path[PathBufferSize];
    return WideFormOfPath(path, PathBufferSize, executablePath) &&
           ExtractExeFolderEntries(header, payloadFile, path, run);
}

bool ExtractExeFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                             const wchar_t *executablePath, RunState *run) {
    wchar_t folder[PathBufferSize];
    if (!CopyText(folder, PathBufferSize, executablePath)) {
        return false;
    }
    KeepFolderPart(folder);
    HANDLE lock = LockExeFolder(folder);
    bool result = ExtractEntries(header, payloadFile, 0, ExeFolderEntryCount(header), folder, run);
    UnlockExeFolder(lock);
    return result;
}

HANDLE LockExeFolder(const wchar_t *folder) {
    wchar_t name[] = L"Lumivance.ExeFolder.00000000";
    uint32_t hash = 2166136261u;  // FNV-1a over the path, A to Z as a to z
    for (const wchar_t *at = folder; *at != L'\0'; at++) {
        wchar_t c = *at >= L'A' && *at <= L'Z' ? static_cast<wchar_t>(*at + (L'a' - L'A')) : *at;
        hash = (hash ^ c) * 16777619u;
    }
    wchar_t *digit = name + sizeof name / sizeof name[0] - 1;  // at the terminator
    for (int i = 0; i < 8; i++, hash >>= 4) {
        uint32_t value = hash & 15;
        *--digit = static_cast<wchar_t>(value < 10 ? L'0' + value : L'a' + value - 10);
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (mutex != nullptr) {
        // A run that died holding it leaves it abandoned: taken all the same.
        WaitForSingleObject(mutex, INFINITE);
    }
    return mutex;
}

void UnlockExeFolder(HANDLE lock) {
    if (lock != nullptr) {
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
}

bool ExtractTempFolderEntries(const PayloadHeader *header, PayloadFile *payloadFile,
                              RunState *run) {
    if (header->tempEntryCount == 0) {
        return true;
    }
    wchar_t folder[PathBufferSize];
    if (!GetRunTempFolder(&run->tempFolder, folder, true)) {
        return false;
    }
    // Nobody else writes the run folder, and a failed group's files go with
    // it: here an entry may still be decoding while the next is written.
    return ExtractEntries(header, payloadFile, ExeFolderEntryCount(header), header->tempEntryCount,
                          folder, run, true);
}

// The decoder's area of one ExtractEntries call, allocated at its first
// compressed entry and freed at its end. Its size is fixed, so a stream of
// any size decodes in the same memory.
struct DecodeBlocks {
    DecodeArea *area;
};

static bool PrepareDecodeBlocks(DecodeBlocks *blocks) {
    if (blocks->area == nullptr) {
        blocks->area = AllocateDecodeArea();
    }
    return blocks->area != nullptr;
}

static void FreeDecodeBlocks(DecodeBlocks *blocks) {
    if (blocks->area != nullptr) {
        GlobalFree(blocks->area);
    }
}

// Creates or truncates the file with _lcreat, or where only the wide name
// spells the path, as _lcreat does by that name.
static HFILE CreateOutputFile(const wchar_t *path) {
    char ansi[PathBufferSize];
    if (AnsiFormOfPath(ansi, sizeof ansi, path)) {
        return _lcreat(ansi, 0);
    }
    HANDLE file =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? HFILE_ERROR : HandleToLong(file);
}

bool ComposeWideEntryPath(wchar_t *dest, const wchar_t *folder, const PayloadEntry *entry) {
    char filePart[PayloadNameSize + PayloadOutputExtensionSize + 1];
    wchar_t wideFilePart[PayloadNameSize + PayloadOutputExtensionSize + 1];
    return ComposeEntryPath(filePart, sizeof filePart, "", entry, IsAnsiLeadByte) &&
           WideFormOfPath(wideFilePart, sizeof wideFilePart / sizeof wideFilePart[0], filePart) &&
           JoinPath(dest, PathBufferSize, folder, wideFilePart) != nullptr;
}

// Returns the entry's result; outputFile is closed by the caller. The bytes
// are storedSize bytes, or for 0 or less everything up to the payload's end
// (the end of the file unless a signature follows it). An entry of a given
// size must lie wholly inside the payload: one whose size or offset is
// damaged would be written short or with bytes not its own.
LUMV_OUT_OF_LINE static bool WriteStoredEntry(PayloadFile *payloadFile, const PayloadEntry *entry,
                                              HFILE outputFile) {
    uint32_t start;
    uint32_t size;
    if (!PayloadEntrySpan(entry, payloadFile->payloadEnd, &start, &size)) {
        // Up to the end from at or past the end: an empty file.
        return entry->storedSize <= 0 && entry->dataOffset >= 0;
    }
    return size == 0 || (SeekPayloadFile(payloadFile, entry->dataOffset) &&
                         CopyStoredEntry(payloadFile, outputFile, static_cast<int32_t>(size)));
}

static bool WriteCompressedEntry(PayloadFile *payloadFile, const PayloadEntry *entry,
                                 DecodeBlocks *blocks, HFILE outputFile) {
    return entry->storedSize > 0 && PrepareDecodeBlocks(blocks) &&
           DecodeEntryAt(blocks->area, payloadFile->handle, entry->dataOffset, entry->storedSize,
                         outputFile);
}

bool DecodeEntryAt(DecodeArea *area, HFILE inputFile, int32_t offset, int32_t size,
                   HFILE outputFile) {
    return SeekPayloadReader(inputFile, offset) &&
           DecodeEntryToFile(area->workArea, area->output, DecodeOutputBufferSize, inputFile, size,
                             outputFile) == EntryDecoded;
}

bool ComposeMovedAsidePath(wchar_t *dest, const wchar_t *entryPath) {
    size_t length = TextLength(entryPath);
    return CopyText(dest, PathBufferSize, entryPath) &&
           CopyText(dest + length, PathBufferSize - length, MovedAsideSuffix);
}

// True when the two files hold the same bytes. A file that cannot be read,
// or a block that cannot be had, counts as different.
LUMV_OUT_OF_LINE static bool SameFileBytes(const wchar_t *path, const wchar_t *otherPath) {
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileByPath(path, GENERIC_READ, share, OPEN_EXISTING, 0);
    HANDLE other = CreateFileByPath(otherPath, GENERIC_READ, share, OPEN_EXISTING, 0);
    uint8_t *buffer = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, 2 * CompareChunkSize));
    bool same = file != INVALID_HANDLE_VALUE && other != INVALID_HANDLE_VALUE && buffer != nullptr;
    for (UINT got = 1; same && got != 0;) {
        got = _lread(HandleToLong(file), buffer, CompareChunkSize);
        same = got != static_cast<UINT>(HFILE_ERROR) &&
               _lread(HandleToLong(other), buffer + CompareChunkSize, CompareChunkSize) == got;
        for (UINT i = 0; same && i < got; i++) {
            same = buffer[i] == buffer[CompareChunkSize + i];
        }
    }
    if (buffer != nullptr) {
        GlobalFree(buffer);
    }
    if (other != INVALID_HANDLE_VALUE) {
        CloseHandle(other);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return same;
}

// What one entry did to the file of its name.
enum EntryFileChange {
    EntryFileUntouched,  // nothing, or a file that was there is there again, unchanged
    EntryFileCreated,    // the run created it, whether or not the entry succeeded
    EntryFileReplaced    // created where a file was, which waits under its moved-aside name
};

// Writes the entry into the file at path, which does not exist; the file is
// deleted again when the entry fails. *created tells whether it was created.
LUMV_OUT_OF_LINE static bool WriteEntryFile(PayloadFile *payloadFile, const PayloadEntry *entry,
                                            const wchar_t *path, DecodeBlocks *blocks,
                                            bool *created) {
    HFILE outputFile = CreateOutputFile(path);
    *created = outputFile != HFILE_ERROR;
    if (!*created) {
        return false;
    }
    bool result = IsStoredEntry(entry)
                      ? WriteStoredEntry(payloadFile, entry, outputFile)
                      : WriteCompressedEntry(payloadFile, entry, blocks, outputFile);
    _lclose(outputFile);
    if (!result) {
        DeleteFileByPath(path);
    }
    return result;
}

// Creates the compressed entry's file at path, which does not exist, and
// hands its decoding to the thread in the background. False when that is
// not to be had; a file created for it is deleted again.
static bool StartInBackground(BackgroundDecode *background, const PayloadEntry *entry,
                              const wchar_t *path) {
    if (!background->available || background->thread != nullptr || IsStoredEntry(entry) ||
        entry->storedSize <= 0) {
        return false;
    }
    HFILE outputFile = CreateOutputFile(path);
    if (outputFile == HFILE_ERROR) {
        return false;
    }
    if (DecodeInBackground(background, entry->dataOffset, entry->storedSize, outputFile, path)) {
        return true;
    }
    _lclose(outputFile);
    DeleteFileByPath(path);
    return false;
}

// One entry, from its name to its closed file. Nothing is ever written
// through a link or into a folder of the entry's name: the entry fails. A
// file of that name is first moved aside (and a file that a killed run left
// aside is put back before that); the entry is then written, and the file
// goes back at once when the entry fails or holds the same bytes. A file
// that cannot be moved aside stays as it is: a stored entry counts as
// extracted, a compressed one fails.
LUMV_OUT_OF_LINE static bool ExtractEntry(PayloadFile *payloadFile, const PayloadEntry *entry,
                                          const wchar_t *path, DecodeBlocks *blocks,
                                          BackgroundDecode *background, EntryFileChange *change) {
    *change = EntryFileUntouched;
    DWORD attributes = AttributesByPath(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return false;
    }
    wchar_t aside[PathBufferSize];
    bool asideFits = ComposeMovedAsidePath(aside, path);
    if (asideFits && MoveFileExW(aside, path, MOVEFILE_REPLACE_EXISTING)) {
        attributes = FILE_ATTRIBUTE_NORMAL;
    }
    bool taken = attributes != INVALID_FILE_ATTRIBUTES;
    if (taken && (!asideFits || !MoveFileExW(path, aside, 0))) {
        return IsStoredEntry(entry);
    }
    if (!taken && StartInBackground(background, entry, path)) {
        *change = EntryFileCreated;
        return true;
    }
    bool created = false;
    bool result = WriteEntryFile(payloadFile, entry, path, blocks, &created);
    if (!taken) {
        *change = created ? EntryFileCreated : EntryFileUntouched;
        return result;
    }
    *change = EntryFileReplaced;
    if ((!result || SameFileBytes(path, aside)) &&
        MoveFileExW(aside, path, MOVEFILE_REPLACE_EXISTING)) {
        *change = EntryFileUntouched;
    }
    return result;
}

bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const char *folder, RunState *run) {
    // A folder too long for the path buffer fails before anything is attempted.
    wchar_t wideFolder[PathBufferSize];
    return WideFormOfPath(wideFolder, PathBufferSize, folder) &&
           ExtractEntries(header, payloadFile, firstIndex, count, wideFolder, run);
}

bool ExtractEntries(const PayloadHeader *header, PayloadFile *payloadFile, int32_t firstIndex,
                    int32_t count, const wchar_t *folder, RunState *run, bool twoAtATime) {
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    wchar_t path[PathBufferSize];
    bool result = firstIndex >= 0 && count >= 0 && count <= PayloadMaxEntries - firstIndex &&
                  CopyText(path, PathBufferSize, folder);
    DecodeBlocks blocks = {nullptr};
    BackgroundDecode background;
    StartBackgroundDecodes(&background, payloadFile, twoAtATime);
    for (int32_t i = 0; result && i < count; i++) {
        int32_t index = firstIndex + i;
        const PayloadEntry *entry = &header->entries[index];
        // An entry in the background that failed ends the group there. One
        // whose stream is under a quarter of this entry's is waited for, so
        // that this one goes to the background and the next can be written
        // here meanwhile: the larger streams get decoded side by side.
        bool wait = !IsStoredEntry(entry) && background.thread != nullptr &&
                    background.size < entry->storedSize / 4;
        if (!CollectBackgroundDecode(&background, wait)) {
            result = false;
            break;
        }
        // Unterminated fields, a name leaving the folder or a path that does
        // not fit fail the entry before anything is created.
        EntryFileChange change = EntryFileUntouched;
        result = ComposeWideEntryPath(path, folder, entry) &&
                 ExtractEntry(payloadFile, entry, path, &blocks, &background, &change);
        if (change != EntryFileUntouched) {
            run->writtenEntries |= 1u << index;
        }
        if (change == EntryFileReplaced) {
            run->movedAsideEntries |= 1u << index;
        }
    }
    result = EndBackgroundDecodes(&background) && result;
    FreeDecodeBlocks(&blocks);
    SetErrorMode(previousMode);
    return result;
}

DecodeArea *AllocateDecodeArea() {
    return static_cast<DecodeArea *>(GlobalAlloc(GMEM_FIXED, sizeof(DecodeArea)));
}

bool CopyStoredEntry(PayloadFile *payloadFile, HFILE outputFile, int32_t size) {
    UINT bufferSize = StoredCopyBufferSize;
    HGLOBAL block = nullptr;
    while (bufferSize > 0 &&
           (block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bufferSize)) == nullptr) {
        bufferSize /= 2;
    }
    if (block == nullptr) {
        return false;
    }
    void *buffer = GlobalLock(block);
    bool result = buffer != nullptr;
    int32_t remaining = size;
    while (result) {
        UINT chunk = remaining > 0 && static_cast<UINT>(remaining) < bufferSize
                         ? static_cast<UINT>(remaining)
                         : bufferSize;
        UINT got = _lread(payloadFile->handle, buffer, chunk);
        if (got == static_cast<UINT>(HFILE_ERROR)) {
            result = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (_lwrite(outputFile, static_cast<LPCCH>(buffer), got) != got) {
            result = false;
            break;
        }
        if (remaining > 0) {
            remaining -= static_cast<int32_t>(got);
            if (remaining <= 0) {
                break;
            }
        }
    }
    if (buffer != nullptr) {
        GlobalUnlock(block);
    }
    GlobalFree(block);
    return result;
}

size_t ReadEntryStream(void *stream, uint8_t *buffer, size_t size) {
    EntryStream *self = static_cast<EntryStream *>(stream);
    UINT chunk = static_cast<UINT>(static_cast<size_t>(self->left) < size ? self->left : size);
    if (chunk == 0 || self->readFailed) {
        return 0;
    }
    bool first = self->left == self->size;
    if (_lread(self->inputFile, buffer, chunk) != chunk) {
        self->readFailed = true;
        return 0;
    }
    self->left -= static_cast<int32_t>(chunk);
    // Checked before a byte is decoded: a damaged length cannot make the
    // entry fill the disk. The first read holds the whole field, as a
    // stream of fewer than 4 bytes is never decoded.
    if (first && !EntryLengthAccepted(buffer, static_cast<uint32_t>(self->size))) {
        self->lengthRefused = true;
        return 0;
    }
    return chunk;
}

static bool FlushEntryStream(EntryStream *self) {
    if (!self->writeFailed && self->position > 0 &&
        _lwrite(self->outputFile, reinterpret_cast<LPCCH>(self->buffer), self->position) !=
            self->position) {
        self->writeFailed = true;
    }
    self->position = 0;
    return !self->writeFailed;
}

bool WriteEntryStream(void *stream, const uint8_t *data, size_t size) {
    EntryStream *self = static_cast<EntryStream *>(stream);
    for (size_t i = 0; i < size; i++) {
        self->buffer[self->position++] = data[i];
        if (self->position == self->capacity && !FlushEntryStream(self)) {
            return false;
        }
    }
    return true;
}

EntryDecodeResult DecodeEntryToFile(void *workArea, uint8_t *outputBuffer, uint32_t outputCapacity,
                                    HFILE inputFile, int32_t size, HFILE outputFile) {
    if (size < static_cast<int32_t>(LzariLengthFieldSize)) {
        return EntryStreamTooShort;
    }
    EntryStream stream = {inputFile,  size,         size, false,          false,
                          outputFile, outputBuffer, 0,    outputCapacity, false};
    LzariStreamIo io = {ReadEntryStream, WriteEntryStream, &stream};
    LzariDecodeTally tally;
    LzariResult result = LzariDecodeBlocks(workArea, &io, &tally);
    EntryDecodeResult verdict = JudgeEntryDecoding(result, &tally, static_cast<uint32_t>(size),
                                                   stream.readFailed || stream.lengthRefused);
    return verdict == EntryDecoded && !FlushEntryStream(&stream) ? EntryWriteFailed : verdict;
}
