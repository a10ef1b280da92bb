// In-process tests of the payload step's pieces over payload files made by
// hand: the decoder's byte source and sink, the decode into a file, the
// stored copy, and ExtractEntries - what lands where, the writes and blocks
// it uses, how a failing entry ends its group, and the record of what it wrote.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/ansi_path.h"
#include "lzari/lzari_decoder.h"
#include "lzari/lzari_encoder.h"
#include "payload/extract_payload_internal.h"
#include "presentation_reader.h"
#include "test_support.h"

namespace {

using lumvtest::DeleteTree;
using lumvtest::FileBytes;
using lumvtest::FileExists;
using lumvtest::FolderEntries;
using lumvtest::FolderExists;
using lumvtest::ImportHook;
using lumvtest::MakeFolder;
using lumvtest::MakeFolderOfLength;
using lumvtest::SampleBytes;
using lumvtest::ScopedEnvironmentVariable;
using lumvtest::ScratchFolder;
using lumvtest::WriteBytesFile;
using lumvtest::WriteTextFile;

typedef std::vector<uint8_t> Bytes;

// What the launcher's code asked of the system while recording: the byte
// count of every _lwrite, the error mode in force at the first one, and the
// size of every fixed and every movable block. Movable blocks above
// movableLimit are refused, as a system short of memory would.
struct CallLog {
    bool recording = false;
    DWORD thread = GetCurrentThreadId();  // whose calls are recorded: the test's
    std::vector<UINT> writes;
    UINT errorModeWhileWriting = 0xFFFF;
    std::vector<SIZE_T> fixedBlocks;
    std::vector<SIZE_T> movableBlocks;
    SIZE_T movableLimit = SIZE_MAX;
};

CallLog calls;
void *realLwrite = nullptr;
void *realGlobalAlloc = nullptr;

UINT WINAPI RecordingLwrite(HFILE file, LPCCH buffer, UINT count) {
    if (calls.recording && GetCurrentThreadId() == calls.thread) {
        if (calls.writes.empty()) {
            calls.errorModeWhileWriting = GetErrorMode();
        }
        calls.writes.push_back(count);
    }
    return reinterpret_cast<UINT(WINAPI *)(HFILE, LPCCH, UINT)>(realLwrite)(file, buffer, count);
}

HGLOBAL WINAPI RecordingGlobalAlloc(UINT flags, SIZE_T bytes) {
    if (calls.recording) {
        bool movable = (flags & GMEM_MOVEABLE) != 0;
        (movable ? calls.movableBlocks : calls.fixedBlocks).push_back(bytes);
        if (movable && bytes > calls.movableLimit) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    return reinterpret_cast<HGLOBAL(WINAPI *)(UINT, SIZE_T)>(realGlobalAlloc)(flags, bytes);
}

Bytes Compressed(const Bytes &data) {
    return LzariCompress(data.data(), data.size());
}

// The writes a decode of size bytes must make: full buffers, then the rest.
std::vector<UINT> FullBufferWrites(size_t size) {
    std::vector<UINT> writes(size / DecodeOutputBufferSize, DecodeOutputBufferSize);
    if (size % DecodeOutputBufferSize != 0) {
        writes.push_back(static_cast<UINT>(size % DecodeOutputBufferSize));
    }
    return writes;
}

// Copies text into a field of size bytes, filling it when text is that long.
void PutField(char *field, size_t size, const char *text) {
    memcpy(field, text, std::min(size, strlen(text) + 1));
}

void SetName(PayloadEntry *entry, const char *name) {
    PutField(entry->name, sizeof entry->name, name);
}

PayloadEntry MakeEntry(const char *name, const char *packedExtension, const char *outputExtension,
                       int32_t dataOffset, int32_t storedSize) {
    PayloadEntry entry;
    memset(&entry, 0, sizeof entry);
    entry.dataOffset = dataOffset;
    entry.storedSize = storedSize;
    PutField(entry.name, sizeof entry.name, name);
    PutField(entry.packedExtension, sizeof entry.packedExtension, packedExtension);
    PutField(entry.outputExtension, sizeof entry.outputExtension, outputExtension);
    return entry;
}

// A payload file made by hand: entry bytes appended at known offsets, and a
// header filled to match that tests may damage before extracting. A header
// is followed by one more entry record, as a file's next bytes would follow
// it, so that reading past the fifth slot would show.
class CraftedPayload {
public:
    CraftedPayload() : bytes_(16, 'P') {
        memset(&slots_, 0, sizeof slots_);
        memcpy(slots_.header.magic, "10VL", 4);
    }

    int32_t Append(const Bytes &data) {
        int32_t offset = static_cast<int32_t>(bytes_.size());
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return offset;
    }
    void SetStored(int slot, const char *name, const char *extension, const Bytes &data) {
        int32_t offset = Append(data);
        entry(slot) =
            MakeEntry(name, extension, extension, offset, static_cast<int32_t>(data.size()));
    }
    void SetCompressed(int slot, const char *name, const char *extension, const Bytes &data) {
        Bytes stream = Compressed(data);
        int32_t offset = Append(stream);
        entry(slot) =
            MakeEntry(name, "zz_", extension, offset, static_cast<int32_t>(stream.size()));
    }

    PayloadHeader &header() { return slots_.header; }
    PayloadEntry &entry(int slot) {
        return slot < PayloadMaxEntries ? slots_.header.entries[slot] : slots_.sixth;
    }
    const Bytes &bytes() const { return bytes_; }

private:
    Bytes bytes_;
    struct {
        PayloadHeader header;
        PayloadEntry sixth;
    } slots_;
};

// The crafted file on disk, open for reading as the payload step opens the
// executable.
class OpenPayload {
public:
    OpenPayload(const std::string &path, const Bytes &bytes) {
        file_.handle = HFILE_ERROR;
        file_.payloadEnd = static_cast<uint32_t>(bytes.size());
        file_.path = nullptr;
        wide_ = std::wstring(path.begin(), path.end());
        if (WriteBytesFile(path, bytes)) {
            file_.handle = _lopen(path.c_str(), OF_READ);
        }
    }
    ~OpenPayload() {
        if (file_.handle != HFILE_ERROR) {
            _lclose(file_.handle);
        }
    }
    OpenPayload(const OpenPayload &) = delete;
    OpenPayload &operator=(const OpenPayload &) = delete;
    bool ok() const { return file_.handle != HFILE_ERROR; }
    PayloadFile *file() { return &file_; }
    // Lets the payload step open the file a second time (an ASCII path).
    void NameFile() { file_.path = wide_.c_str(); }

private:
    PayloadFile file_;
    std::wstring wide_;
};

// A file created (or opened) for writing, or opened read-only so that every
// write to it comes up short.
class OutputFile {
public:
    OutputFile(const std::string &path, bool readOnly) {
        if (readOnly) {
            WriteTextFile(path, "");
            handle_ = _lopen(path.c_str(), OF_READ);
        } else {
            handle_ = _lcreat(path.c_str(), 0);
        }
    }
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    HFILE handle() const { return handle_; }
    void Close() {
        if (handle_ != HFILE_ERROR) {
            _lclose(handle_);
            handle_ = HFILE_ERROR;
        }
    }

private:
    HFILE handle_ = HFILE_ERROR;
};

// Every test works in an empty scratch folder with the temporary path inside
// it, an error mode of its own to see it restored, the launcher's writes and
// blocks recorded, and neither a run folder nor a record of written entries.
class ExtractTest : public ::testing::Test {
protected:
    static constexpr UINT OwnErrorMode = SEM_NOGPFAULTERRORBOX;

    void SetUp() override {
        ASSERT_TRUE(lwriteHook_.installed());
        ASSERT_TRUE(globalAllocHook_.installed());
        realLwrite = lwriteHook_.original();
        realGlobalAlloc = globalAllocHook_.original();
        calls = CallLog();
        StartRunState(&run_);
        previousErrorMode_ = SetErrorMode(OwnErrorMode);
        ASSERT_TRUE(MakeFolder(out_));
    }
    void TearDown() override {
        calls.recording = false;
        SetErrorMode(previousErrorMode_);
        ReleaseRunTempFolder(&run_.tempFolder);
    }

    // ExtractEntries over the crafted payload into folder, recorded, with the
    // error mode checked on the way out.
    bool Extract(CraftedPayload &payload, int32_t firstIndex, int32_t count,
                 const std::string &folder, bool twoAtATime = false) {
        OpenPayload file(scratch_.Child("payload.bin"), payload.bytes());
        EXPECT_TRUE(file.ok());
        if (twoAtATime) {
            file.NameFile();
        }
        wchar_t wideFolder[PathBufferSize];
        EXPECT_TRUE(WideFormOfPath(wideFolder, PathBufferSize, folder.c_str()));
        calls.recording = true;
        bool result = ExtractEntries(&payload.header(), file.file(), firstIndex, count, wideFolder,
                                     &run_, twoAtATime);
        calls.recording = false;
        EXPECT_EQ(GetErrorMode(), OwnErrorMode) << "the error mode was not restored";
        return result;
    }

    std::string Out(const std::string &name) const { return out_ + name; }

    // DecodeEntryToFile over the first size bytes of stream, read from a file.
    EntryDecodeResult DecodeStream(const Bytes &stream, int32_t size, HFILE output) {
        std::vector<uint64_t> workArea(LzariWorkAreaSize / 8 + 1);
        Bytes outputBuffer(DecodeOutputBufferSize);
        std::string path = Out("stream.in");
        EXPECT_TRUE(WriteBytesFile(path, stream));
        HFILE input = _lopen(path.c_str(), OF_READ);
        EXPECT_NE(input, HFILE_ERROR);
        EntryDecodeResult result = DecodeEntryToFile(workArea.data(), outputBuffer.data(),
                                                     DecodeOutputBufferSize, input, size, output);
        _lclose(input);
        return result;
    }

    ScratchFolder scratch_{"extract"};
    std::string out_ = scratch_.Child("out") + "\\";
    std::string temp_ = scratch_.Child("temp");
    ScopedEnvironmentVariable tmp_{"TMP", temp_};
    ImportHook lwriteHook_{"_lwrite", reinterpret_cast<void *>(RecordingLwrite)};
    ImportHook globalAllocHook_{"GlobalAlloc", reinterpret_cast<void *>(RecordingGlobalAlloc)};
    UINT previousErrorMode_ = 0;
    RunState run_;
};

// ---- The decoder's reads and writes ----

// The stream comes at most its size, whatever the decoder asks for; a read
// that comes up short ends it and marks it failed, and the first read
// refuses a length field the stream's size cannot code.
TEST_F(ExtractTest, StreamReadsStopAtTheStreamsEndAtAShortReadAndAtABadLength) {
    std::string path = Out("stream.bin");
    // A length of 5000: more than 4 stored bytes can code (4 * 1024).
    ASSERT_TRUE(WriteBytesFile(path, Bytes{0x88, 0x13, 0, 0, 5, 6, 7, 8, 9, 10}));
    struct Case {
        int32_t size;  // of the stream, against the 10 bytes in the file
        std::vector<size_t> got;
        bool readFailed;
        bool lengthRefused;
    };
    const Case cases[] = {
        {10, {4, 4, 2, 0, 0}, false, false},
        {14, {4, 4, 0, 0, 0}, true, false},  // 4 bytes more than the file holds
        {4, {0, 0, 0, 0, 0}, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("stream of " + std::to_string(c.size) + " bytes");
        HFILE file = _lopen(path.c_str(), OF_READ);
        ASSERT_NE(file, HFILE_ERROR);
        EntryStream stream = {file,        c.size,  c.size, false, false,
                              HFILE_ERROR, nullptr, 0,      0,     false};
        uint8_t buffer[4];
        std::vector<size_t> got;
        for (size_t i = 0; i < c.got.size(); i++) {
            got.push_back(ReadEntryStream(&stream, buffer, sizeof buffer));
        }
        _lclose(file);
        EXPECT_EQ(got, c.got);
        EXPECT_EQ(stream.readFailed, c.readFailed);
        EXPECT_EQ(stream.lengthRefused, c.lengthRefused);
    }
}

TEST_F(ExtractTest, StreamWritesFillTheWholeBufferBeforeWritingIt) {
    OutputFile output(Out("sink.bin"), false);
    ASSERT_NE(output.handle(), HFILE_ERROR);
    uint8_t buffer[4];
    EntryStream stream = {HFILE_ERROR, 0, 0, false, false, output.handle(), buffer, 0, 4, false};
    calls.recording = true;
    const uint8_t first[] = {1, 2, 0xFF};
    EXPECT_TRUE(WriteEntryStream(&stream, first, 3));
    EXPECT_TRUE(calls.writes.empty()) << "a write before the buffer is full";
    const uint8_t more[] = {4, 5, 6, 7, 8, 9};
    EXPECT_TRUE(WriteEntryStream(&stream, more, 6));
    EXPECT_EQ(calls.writes, (std::vector<UINT>{4, 4}));
    EXPECT_EQ(stream.position, 1u);
    calls.recording = false;
    output.Close();
    EXPECT_EQ(FileBytes(Out("sink.bin")), (Bytes{1, 2, 0xFF, 4, 5, 6, 7, 8}));

    // A short write fails the call that filled the buffer.
    OutputFile readOnly(Out("readonly.bin"), true);
    ASSERT_NE(readOnly.handle(), HFILE_ERROR);
    EntryStream failing = {HFILE_ERROR, 0, 0, false, false, readOnly.handle(), buffer, 0, 2, false};
    EXPECT_TRUE(WriteEntryStream(&failing, first, 1));
    EXPECT_FALSE(WriteEntryStream(&failing, first, 1));
    EXPECT_TRUE(failing.writeFailed);
}

// ---- Decoding one stream into a file ----

TEST_F(ExtractTest, DecodedBytesReachTheFileInFullBufferWrites) {
    // 255: a length with a byte of 255; the multiples of 32,768 end without
    // a last write.
    const size_t sizes[] = {0, 1, 255, 32767, 32768, 32769, 65536, 98304, 100000};
    for (size_t size : sizes) {
        SCOPED_TRACE("decoded size " + std::to_string(size));
        Bytes data = SampleBytes(size, static_cast<uint32_t>(size));
        Bytes stream = Compressed(data);
        std::string path = Out("decoded" + std::to_string(size) + ".bin");
        OutputFile output(path, false);
        ASSERT_NE(output.handle(), HFILE_ERROR);
        calls = CallLog();
        calls.recording = true;
        EntryDecodeResult result =
            DecodeStream(stream, static_cast<int32_t>(stream.size()), output.handle());
        calls.recording = false;
        output.Close();
        EXPECT_EQ(result, EntryDecoded);
        EXPECT_EQ(calls.writes, FullBufferWrites(size));
        EXPECT_TRUE(FileBytes(path) == data) << "the file differs from the decoded bytes";
    }
}

TEST_F(ExtractTest, DecodeFailsForAStreamShorterThanItsLengthAndForAShortWrite) {
    Bytes fragment = Compressed(SampleBytes(1000, 1));
    for (int32_t size = 0; size < 4; size++) {
        SCOPED_TRACE("stream of " + std::to_string(size) + " bytes");
        std::string path = Out("short" + std::to_string(size) + ".bin");
        OutputFile output(path, false);
        calls = CallLog();
        calls.recording = true;
        EXPECT_EQ(DecodeStream(fragment, size, output.handle()), EntryStreamTooShort);
        calls.recording = false;
        EXPECT_TRUE(calls.writes.empty());
    }

    // The last partial write and a full-buffer write with no last write
    // after it: either one coming up short fails the decode.
    for (size_t size : {size_t(100), size_t(DecodeOutputBufferSize)}) {
        SCOPED_TRACE("short write, decoded size " + std::to_string(size));
        Bytes stream = Compressed(SampleBytes(size, 2));
        OutputFile readOnly(Out("readonly" + std::to_string(size) + ".bin"), true);
        ASSERT_NE(readOnly.handle(), HFILE_ERROR);
        EXPECT_EQ(DecodeStream(stream, static_cast<int32_t>(stream.size()), readOnly.handle()),
                  EntryWriteFailed);
    }
}

// The stream checks lumpack verify makes, made while decoding: a length the
// stream cannot code is refused before a byte is written, and a stream read
// past its end further than a correct one stops within a code or two.
TEST_F(ExtractTest, DamagedStreamsAreRefusedAsVerifyRefusesThem) {
    const Bytes good = Compressed(SampleBytes(200000, 60));
    auto withLength = [](Bytes stream, uint32_t length) {
        for (int i = 0; i < 4; i++) {
            stream[i] = static_cast<uint8_t>(length >> (8 * i));
        }
        return stream;
    };
    const uint32_t bound = static_cast<uint32_t>(good.size()) * LzariMaxDecodedPerStoredByte;
    struct Case {
        const char *name;
        Bytes stream;
        EntryDecodeResult expected;
        size_t mostWritten;  // bytes that may reach the file
    };
    const Case cases[] = {
        {"a correct stream", good, EntryDecoded, 200000},
        {"cut short by 8 bytes", Bytes(good.begin(), good.end() - 8), EntryStreamDamaged, 200000},
        {"length 1 GiB", withLength(good, 1u << 30), EntryStreamDamaged, 0},
        {"length one above the bound", withLength(good, bound + 1), EntryStreamDamaged, 0},
        {"length at the bound: decoded until read past the end", withLength(good, bound),
         EntryStreamDamaged, 2 * 200000 + 2 * DecodeOutputBufferSize},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t size = static_cast<uint32_t>(c.stream.size());
        EXPECT_EQ(CheckLzariStream(c.stream.data(), size, nullptr).empty(),
                  c.expected == EntryDecoded);
        std::string path = Out("damaged.bin");
        OutputFile output(path, false);
        calls = CallLog();
        calls.recording = true;
        EXPECT_EQ(DecodeStream(c.stream, static_cast<int32_t>(size), output.handle()), c.expected);
        calls.recording = false;
        size_t written = 0;
        for (UINT count : calls.writes) {
            written += count;
        }
        EXPECT_LE(written, c.mostWritten);
    }
}

// ---- The stored copy ----

TEST_F(ExtractTest, StoredCopyTakesSizeBytesOrEverythingToTheEnd) {
    const Bytes file = SampleBytes(100000, 3);
    const int32_t start = 10;
    const size_t toEnd = file.size() - start;
    struct Case {
        int32_t size;
        size_t expectedBytes;
        std::vector<UINT> expectedWrites;
    };
    const Case cases[] = {
        {100, 100, {100}},
        {70000, 70000, {32768, 32768, 4464}},
        {0, toEnd, {32768, 32768, 32768, 1686}},
        {-5, toEnd, {32768, 32768, 32768, 1686}},
        {INT32_MIN, toEnd, {32768, 32768, 32768, 1686}},
        {200000, toEnd, {32768, 32768, 32768, 1686}},  // the file ends first: still a success
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        OpenPayload payload(scratch_.Child("stored.bin"), file);
        ASSERT_TRUE(payload.ok());
        ASSERT_TRUE(SeekPayloadFile(payload.file(), start));
        std::string path = Out("copy.bin");
        OutputFile output(path, false);
        calls = CallLog();
        calls.recording = true;
        EXPECT_TRUE(CopyStoredEntry(payload.file(), output.handle(), c.size));
        calls.recording = false;
        output.Close();
        EXPECT_EQ(calls.writes, c.expectedWrites);
        EXPECT_TRUE(FileBytes(path) ==
                    Bytes(file.begin() + start, file.begin() + start + c.expectedBytes));
    }
}

TEST_F(ExtractTest, StoredCopyHalvesItsBufferUntilOneCanBeHad) {
    const Bytes file = SampleBytes(10000, 4);
    struct Case {
        SIZE_T movableLimit;
        bool expectedResult;
        size_t expectedAttempts;
        std::vector<UINT> expectedWrites;
    };
    const Case cases[] = {
        {SIZE_MAX, true, 1, {10000}},
        {4096, true, 4, {4096, 4096, 1808}},
        {1, true, 16, std::vector<UINT>(10000, 1)},
        {0, false, 16, {}},  // not even one byte: 32,768 down to 1 tried
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("movable blocks up to " + std::to_string(c.movableLimit));
        OpenPayload payload(scratch_.Child("stored.bin"), file);
        ASSERT_TRUE(SeekPayloadFile(payload.file(), 0));
        std::string path = Out("copy.bin");
        OutputFile output(path, false);
        calls = CallLog();
        calls.movableLimit = c.movableLimit;
        calls.recording = true;
        EXPECT_EQ(CopyStoredEntry(payload.file(), output.handle(), 10000), c.expectedResult);
        calls.recording = false;
        output.Close();
        EXPECT_EQ(calls.movableBlocks.size(), c.expectedAttempts);
        EXPECT_TRUE(calls.writes == c.expectedWrites) << calls.writes.size() << " writes";
        if (c.expectedResult) {
            EXPECT_TRUE(FileBytes(path) == file);
        }
    }
}

TEST_F(ExtractTest, StoredCopyFailsOnAShortWrite) {
    OpenPayload payload(scratch_.Child("stored.bin"), SampleBytes(5000, 5));
    ASSERT_TRUE(SeekPayloadFile(payload.file(), 0));
    OutputFile readOnly(Out("readonly.bin"), true);
    ASSERT_NE(readOnly.handle(), HFILE_ERROR);
    for (int32_t size : {5000, 0}) {
        ASSERT_TRUE(SeekPayloadFile(payload.file(), 0));
        EXPECT_FALSE(CopyStoredEntry(payload.file(), readOnly.handle(), size)) << size;
    }
}

// ---- ExtractEntries ----

TEST_F(ExtractTest, EntriesLandInTheFolderWithTheirBytes) {
    ASSERT_TRUE(MakeFolder(Out("sub")));
    CraftedPayload payload;
    const Bytes data[] = {SampleBytes(255, 10), SampleBytes(65536, 11), SampleBytes(1, 12),
                          SampleBytes(255, 13), SampleBytes(40000, 14)};
    payload.SetStored(0, "stored", "txt", data[0]);
    payload.SetCompressed(1, "twice32k", "bin", data[1]);
    payload.SetStored(2, "sub\\inner", "dat", data[2]);  // into an existing subfolder
    payload.SetCompressed(3, "len255", "x", data[3]);
    payload.SetCompressed(4, "ThirtyTwoCharacterNameOfAnEntry_", "abcdef", data[4]);
    const char *const files[] = {"stored.txt", "twice32k.bin", "sub\\inner.dat", "len255.x",
                                 "ThirtyTwoCharacterNameOfAnEntry_.abcdef"};

    EXPECT_TRUE(Extract(payload, 0, 5, out_));

    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE(files[i]);
        EXPECT_TRUE(FileBytes(Out(files[i])) == data[i]);
        EXPECT_TRUE(EntryWrittenThisRun(&run_, i));
    }
    EXPECT_EQ(FolderEntries(out_),
              (std::vector<std::string>{"ThirtyTwoCharacterNameOfAnEntry_.abcdef", "len255.x",
                                        "stored.txt", "sub", "twice32k.bin"}));
    EXPECT_EQ(calls.errorModeWhileWriting, static_cast<UINT>(SEM_FAILCRITICALERRORS));
}

TEST_F(ExtractTest, CountZeroTouchesNothing) {
    CraftedPayload payload;
    payload.SetStored(0, "never", "txt", SampleBytes(10, 1));
    std::string missing = scratch_.Child("missing") + "\\";
    for (int32_t first : {0, 3, 5}) {
        SCOPED_TRACE("first index " + std::to_string(first));
        EXPECT_TRUE(Extract(payload, first, 0, missing));
        EXPECT_FALSE(FolderExists(missing));
        EXPECT_TRUE(calls.writes.empty());
        EXPECT_TRUE(calls.fixedBlocks.empty() && calls.movableBlocks.empty())
            << "a block was allocated";
    }
    EXPECT_FALSE(EntryWrittenThisRun(&run_, 0));
}

TEST_F(ExtractTest, NoEntryPastTheFifthSlotIsRead) {
    CraftedPayload payload;
    for (int slot = 0; slot <= PayloadMaxEntries; slot++) {
        std::string name = "slot" + std::to_string(slot);
        payload.SetStored(slot, name.c_str(), "txt", SampleBytes(10, slot));
    }
    struct Case {
        int32_t first;
        int32_t count;
    };
    const Case cases[] = {{3, 3}, {5, 1}, {0, 6}, {-1, 2}, {0, -1}, {6, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ", " + std::to_string(c.count));
        EXPECT_FALSE(Extract(payload, c.first, c.count, out_));
        EXPECT_FALSE(FileExists(Out("slot5.txt")));
    }
}

// Entries of every size decode in the same block: the decoder's work area
// (its input buffer inside) and the output buffer, whatever the stream's
// size.
TEST_F(ExtractTest, EveryEntryDecodesInTheSameBlock) {
    CraftedPayload payload;
    const Bytes data[] = {SampleBytes(3000, 20), SampleBytes(400000, 21), SampleBytes(2000, 22)};
    for (int i = 0; i < 3; i++) {
        std::string name = "c" + std::to_string(i);
        payload.SetCompressed(i, name.c_str(), "bin", data[i]);
    }
    ASSERT_GT(payload.entry(1).storedSize, 2 * LzariDecodeInputSize);

    EXPECT_TRUE(Extract(payload, 0, 3, out_));

    EXPECT_EQ(calls.fixedBlocks, std::vector<SIZE_T>{sizeof(DecodeArea)});
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(FileBytes(Out("c" + std::to_string(i) + ".bin")) == data[i]) << i;
    }
}

// Two at a time (the run folder's way), a compressed entry decodes on a
// second thread in a block of its own while the next ones are written; when
// it fails, the group fails and its file is gone, whatever came after it.
TEST_F(ExtractTest, TwoAtATimeGivesTheSameFilesAndFailsWithTheEntryInTheBackground) {
    struct Case {
        const char *label;
        int32_t cut;  // bytes cut off the first entry's stream
    };
    const Case cases[] = {{"every entry correct", 0}, {"the first entry cut short", 16}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        DeleteTree(out_);
        ASSERT_TRUE(MakeFolder(out_));
        CraftedPayload payload;
        const Bytes data[] = {SampleBytes(600000, 40), SampleBytes(300000, 41),
                              SampleBytes(300, 42), SampleBytes(200000, 43)};
        for (int i = 0; i < 4; i++) {
            std::string name = "c" + std::to_string(i);
            if (i == 2) {
                payload.SetStored(i, name.c_str(), "bin", data[i]);
            } else {
                payload.SetCompressed(i, name.c_str(), "bin", data[i]);
            }
        }
        payload.entry(0).storedSize -= c.cut;
        calls.fixedBlocks.clear();

        EXPECT_EQ(Extract(payload, 0, 4, out_, true), c.cut == 0);

        EXPECT_EQ(calls.fixedBlocks, (std::vector<SIZE_T>{sizeof(DecodeArea), sizeof(DecodeArea)}))
            << "the second entry was not decoded while the first was";
        if (c.cut != 0) {
            EXPECT_FALSE(FileExists(Out("c0.bin")));
            continue;
        }
        for (int i = 0; i < 4; i++) {
            EXPECT_TRUE(FileBytes(Out("c" + std::to_string(i) + ".bin")) == data[i]) << i;
        }
    }
}

// A group of three whose second entry fails in one of the ways an entry can:
// the first file stays, the second is gone, the third is never attempted (a
// user's file in its place keeps its bytes) and nothing lands elsewhere.
TEST_F(ExtractTest, AFailingSecondEntryEndsTheGroup) {
    struct Case {
        const char *label;
        void (*damage)(PayloadEntry *second, int32_t fileSize);
        bool created;  // the second entry's file is made before it fails
    };
    typedef PayloadEntry E;
    const Case cases[] = {
        {"stream shorter than its length field", [](E *e, int32_t) { e->storedSize = 3; }, true},
        {"compressed bytes past the end of the file",
         [](E *e, int32_t size) { e->dataOffset = size - 10; }, true},
        {"compressed entry with stored size 0", [](E *e, int32_t) { e->storedSize = 0; }, true},
        {"negative data offset", [](E *e, int32_t) { e->dataOffset = -1; }, true},
        {"unterminated name", [](E *e, int32_t) { memset(e->name, 'n', PayloadNameSize); }, false},
        {"unterminated packed extension",
         [](E *e, int32_t) { memset(e->packedExtension, 'p', PayloadPackedExtensionSize); }, false},
        {"unterminated output extension",
         [](E *e, int32_t) { memset(e->outputExtension, 'o', PayloadOutputExtensionSize); }, false},
        {"name climbing out", [](E *e, int32_t) { SetName(e, "..\\escaped"); }, false},
        {"name climbing out with /", [](E *e, int32_t) { SetName(e, "sub/../../escaped"); }, false},
        {"name from the root", [](E *e, int32_t) { SetName(e, "\\escaped"); }, false},
        {"name with a drive", [](E *e, int32_t) { SetName(e, "Z:escaped"); }, false},
        {"dots and blanks", [](E *e, int32_t) { SetName(e, ". .\\escaped"); }, false},
        {"subfolder that does not exist", [](E *e, int32_t) { SetName(e, "nowhere\\second"); },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        run_.writtenEntries = 0;
        DeleteTree(out_);
        ASSERT_TRUE(MakeFolder(out_));
        ASSERT_TRUE(WriteTextFile(Out("third.txt"), "the user's own"));
        CraftedPayload payload;
        Bytes first = SampleBytes(300, 30);
        payload.SetStored(0, "first", "txt", first);
        payload.SetCompressed(1, "second", "bin", SampleBytes(5000, 31));
        payload.SetStored(2, "third", "txt", SampleBytes(300, 32));
        c.damage(&payload.entry(1), static_cast<int32_t>(payload.bytes().size()));

        EXPECT_FALSE(Extract(payload, 0, 3, out_));

        EXPECT_TRUE(FileBytes(Out("first.txt")) == first);
        EXPECT_EQ(FolderEntries(out_), (std::vector<std::string>{"first.txt", "third.txt"}));
        std::string third;
        EXPECT_TRUE(lumvtest::ReadTextFile(Out("third.txt"), &third));
        EXPECT_EQ(third, "the user's own");
        EXPECT_EQ(FolderEntries(scratch_.path()), (std::vector<std::string>{"out", "payload.bin"}));
        // The second entry's file, where it was created, counts as the
        // run's even though it is deleted at once: the clean-up takes it
        // should that deletion fail.
        EXPECT_TRUE(EntryWrittenThisRun(&run_, 0));
        EXPECT_EQ(EntryWrittenThisRun(&run_, 1), c.created);
        EXPECT_FALSE(EntryWrittenThisRun(&run_, 2));
    }
}

// The output path is built in a 260-byte buffer: 259 characters fit, one
// more fails the entry before anything is created.
TEST_F(ExtractTest, APathLongerThanTheBufferFailsTheEntry) {
    // folder + '\' + "n.t": 255 + 1 + 3 = 259 characters.
    std::string fits = MakeFolderOfLength(scratch_.Child("fits"), 255);
    std::string tooLong = MakeFolderOfLength(scratch_.Child("long"), 256);
    ASSERT_EQ(fits.size(), 255u);
    ASSERT_EQ(tooLong.size(), 256u);
    CraftedPayload payload;
    payload.SetStored(0, "n", "t", SampleBytes(20, 40));

    EXPECT_TRUE(Extract(payload, 0, 1, fits + "\\"));
    EXPECT_TRUE(FileExists(fits + "\\n.t"));

    run_.writtenEntries = 0;
    EXPECT_FALSE(Extract(payload, 0, 1, tooLong + "\\"));
    EXPECT_TRUE(FolderEntries(tooLong).empty());
    EXPECT_FALSE(EntryWrittenThisRun(&run_, 0));
}

// Reports the entry file of the test below as a link (symbolic links made in
// Wine are not links to Windows programs).
const char *linkPath = nullptr;
void *realGetFileAttributesA = nullptr;

DWORD WINAPI AttributesWithLink(LPCSTR path) {
    DWORD attributes =
        reinterpret_cast<decltype(&GetFileAttributesA)>(realGetFileAttributesA)(path);
    if (linkPath != nullptr && lstrcmpiA(path, linkPath) == 0 &&
        attributes != INVALID_FILE_ATTRIBUTES) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return attributes;
}

// What is already under an entry's name. Another file is moved aside, the
// entry written, and both are recorded for the clean-up; a file with the
// entry's bytes stays and is not recorded; a killed run's moved-aside file
// is put back before that. A file nobody may open cannot be moved: a stored
// entry still succeeds, a compressed one fails. A folder or a link is never
// written through: the entry fails.
TEST_F(ExtractTest, WhatIsAlreadyThereIsMovedAsideKeptOrRefused) {
    enum Existing { OtherFile, SameBytes, LockedFile, Folder, Link, KilledRunsAside };
    struct Case {
        const char *name;
        Existing existing;
        bool compressed;
        bool expectedResult;
        bool expectedMovedAside;
    };
    const Case cases[] = {
        {"another file, stored entry", OtherFile, false, true, true},
        {"another file, compressed entry", OtherFile, true, true, true},
        {"the same bytes, stored entry", SameBytes, false, true, false},
        {"the same bytes, compressed entry", SameBytes, true, true, false},
        {"locked file, stored entry", LockedFile, false, true, false},
        {"locked file, compressed entry", LockedFile, true, false, false},
        {"folder, stored entry", Folder, false, false, false},
        {"link, stored entry", Link, false, false, false},
        {"a killed run's moved-aside file", KilledRunsAside, true, true, true},
    };
    const std::string kept = "already there";
    ImportHook attributesHook("GetFileAttributesA", reinterpret_cast<void *>(AttributesWithLink));
    ASSERT_TRUE(attributesHook.installed());
    realGetFileAttributesA = attributesHook.original();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StartRunState(&run_);
        DeleteTree(out_);
        ASSERT_TRUE(MakeFolder(out_));
        std::string target = Out("entry.dat");
        std::string aside = target + ".moved-aside";
        CraftedPayload payload;
        Bytes data = SampleBytes(2000, 50);
        if (c.compressed) {
            payload.SetCompressed(0, "entry", "dat", data);
        } else {
            payload.SetStored(0, "entry", "dat", data);
        }
        payload.SetStored(1, "next", "dat", SampleBytes(100, 51));
        if (c.existing == Folder) {
            ASSERT_TRUE(MakeFolder(target));
        } else if (c.existing == SameBytes) {
            ASSERT_TRUE(WriteBytesFile(target, data));
        } else if (c.existing == KilledRunsAside) {
            ASSERT_TRUE(WriteTextFile(aside, kept));
            ASSERT_TRUE(WriteBytesFile(target, SampleBytes(700, 52)));
        } else {
            ASSERT_TRUE(WriteTextFile(target, kept));
        }
        linkPath = c.existing == Link ? target.c_str() : nullptr;
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.existing == LockedFile) {
            lock = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }

        EXPECT_EQ(Extract(payload, 0, 2, out_), c.expectedResult);
        linkPath = nullptr;
        if (lock != INVALID_HANDLE_VALUE) {
            CloseHandle(lock);
        }

        EXPECT_EQ(EntryWrittenThisRun(&run_, 0), c.expectedMovedAside);
        EXPECT_EQ(EntryMovedAsideThisRun(&run_, 0), c.expectedMovedAside);
        if (c.existing == Folder) {
            EXPECT_TRUE(FolderExists(target));
        } else if (c.existing == SameBytes || c.expectedMovedAside) {
            EXPECT_TRUE(FileBytes(target) == data);
        } else {
            EXPECT_TRUE(FileBytes(target) == Bytes(kept.begin(), kept.end()));
        }
        EXPECT_EQ(FileExists(aside), c.expectedMovedAside);
        if (c.expectedMovedAside) {
            EXPECT_TRUE(FileBytes(aside) == Bytes(kept.begin(), kept.end()));
        }
        EXPECT_EQ(FileExists(Out("next.dat")), c.expectedResult);
    }
}

TEST_F(ExtractTest, AnEmptyFolderMeansTheCurrentDirectory) {
    char previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(sizeof previous, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(out_.c_str()));
    CraftedPayload payload;
    Bytes data = SampleBytes(50, 60);
    payload.SetStored(0, "here", "txt", data);

    bool result = Extract(payload, 0, 1, "");
    SetCurrentDirectoryA(previous);

    EXPECT_TRUE(result);
    EXPECT_TRUE(FileBytes(Out("here.txt")) == data);
}

// ---- The two groups ----

TEST_F(ExtractTest, GroupsGoBesideTheExecutableAndIntoTheRunFolder) {
    CraftedPayload payload;
    const Bytes data[] = {SampleBytes(70, 70), SampleBytes(7000, 71), SampleBytes(700, 72)};
    payload.SetStored(0, "beside", "txt", data[0]);
    payload.SetCompressed(1, "player", "dll", data[1]);
    payload.SetStored(2, "more", "dat", data[2]);
    payload.header().entryCount = 3;
    payload.header().tempEntryCount = 2;
    OpenPayload file(scratch_.Child("payload.bin"), payload.bytes());
    ASSERT_TRUE(file.ok());

    EXPECT_TRUE(
        ExtractExeFolderEntries(&payload.header(), file.file(), Out("show.exe").c_str(), &run_));
    EXPECT_EQ(FolderEntries(out_), std::vector<std::string>{"beside.txt"});
    EXPECT_FALSE(FolderExists(temp_)) << "the exe-folder group created the temporary path";
    ASSERT_TRUE(MakeFolder(temp_));

    EXPECT_TRUE(ExtractTempFolderEntries(&payload.header(), file.file(), &run_));
    std::string runFolder = temp_ + "\\TempFolder.aaa\\";
    ASSERT_NE(run_.tempFolder.RunTempFolderPath, nullptr);
    EXPECT_EQ(std::string(run_.tempFolder.RunTempFolderPath), runFolder);
    EXPECT_EQ(FolderEntries(runFolder),
              (std::vector<std::string>{"Vantorelle.lok", "more.dat", "player.dll"}));
    EXPECT_TRUE(FileBytes(runFolder + "player.dll") == data[1]);
    EXPECT_TRUE(FileBytes(runFolder + "more.dat") == data[2]);
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(EntryWrittenThisRun(&run_, i)) << i;
    }
}

TEST_F(ExtractTest, TheRunFolderIsMadeOnlyForATemporaryGroup) {
    ASSERT_TRUE(MakeFolder(temp_));
    CraftedPayload payload;
    payload.SetStored(0, "beside", "txt", SampleBytes(10, 80));
    payload.header().entryCount = 1;
    OpenPayload file(scratch_.Child("payload.bin"), payload.bytes());

    EXPECT_TRUE(ExtractTempFolderEntries(&payload.header(), file.file(), &run_));
    EXPECT_TRUE(FolderEntries(temp_).empty());
    EXPECT_EQ(run_.tempFolder.RunTempFolderPath, nullptr);

    // No run folder to be had (the temporary path is a file): the group
    // fails before any of its entries.
    payload.header().tempEntryCount = 1;
    std::string notAFolder = scratch_.Child("plainfile");
    ASSERT_TRUE(WriteTextFile(notAFolder, ""));
    ScopedEnvironmentVariable tmp("TMP", notAFolder);
    EXPECT_FALSE(ExtractTempFolderEntries(&payload.header(), file.file(), &run_));
    EXPECT_FALSE(EntryWrittenThisRun(&run_, 0));
}

}  // namespace
