// Fuzz target for the payload step's stream checks: any byte string is a
// compressed entry's stream, decoded through the decoder's block reads with
// the reads, the length check and the verdict the launcher applies. Whatever
// the checks take must be what the reference decoder makes of the stream;
// they must refuse exactly what lumpack verify refuses; and the tally must
// count the reads that byte-at-a-time decoding makes. The first input byte
// picks how the reads and writes go. Replayed by CTest on host.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "lzari/lzari_decoder.h"
#include "lzari_reference.h"
#include "payload/entry_stream_rules.h"
#include "presentation_reader.h"

namespace {

// Longer outputs are skipped, as in lzari_decode_fuzz: the work grows with
// the declared length. Lengths the check refuses are never decoded, so any
// of those is tried.
const uint32_t MaxDecodedLength = 1u << 16;

void Fail(const char *what) {
    fprintf(stderr, "entry_stream_fuzz: %s\n", what);
    abort();
}

// The entry's reads as the launcher makes them: up to what the decoder asks
// for (or less, in chunks of `chunk`), the first one checking the length.
struct EntryReads {
    const uint8_t *stream;
    uint32_t size;
    uint32_t at;
    size_t chunk;
    bool refused;
    std::vector<uint8_t> out;
    int writesLeft;  // the write after the last of these fails; -1: none fails
    bool writeFailed;
};

size_t ReadEntry(void *context, uint8_t *buffer, size_t size) {
    EntryReads *reads = static_cast<EntryReads *>(context);
    size_t count = reads->size - reads->at;
    count = count < size ? count : size;
    count = count < reads->chunk ? count : reads->chunk;
    if (count == 0 || reads->refused) {
        return 0;
    }
    bool fieldDone = reads->at < 4 && reads->at + count >= 4;
    memcpy(buffer, reads->stream + reads->at, count);
    reads->at += static_cast<uint32_t>(count);
    // The launcher's first read holds the whole field; shorter reads check
    // it with the one that completes it.
    if (fieldDone && !EntryLengthAccepted(reads->stream, reads->size)) {
        reads->refused = true;
        return 0;
    }
    return count;
}

bool WriteEntry(void *context, const uint8_t *data, size_t size) {
    EntryReads *reads = static_cast<EntryReads *>(context);
    if (reads->writesLeft == 0) {
        reads->writeFailed = true;
        return false;
    }
    reads->writesLeft--;
    reads->out.insert(reads->out.end(), data, data + size);
    return true;
}

struct Source {
    const uint8_t *data;
    size_t size;
    size_t reads;
};

int32_t ReadByte(void *context) {
    Source *source = static_cast<Source *>(context);
    return source->reads < source->size ? source->data[source->reads++] : (source->reads++, -1);
}

int32_t DropByte(void *, int32_t) {
    return 1;
}

// Every call the byte-callback decoder makes of its source, past the end
// included.
size_t BytewiseReads(void *workArea, const uint8_t *stream, size_t size) {
    Source source = {stream, size, 0};
    LzariDecode(workArea, ReadByte, &source, DropByte, nullptr);
    return source.reads;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // Mode byte: bits 0-2 a chunk size for short reads (0: whole reads, as
    // the launcher's), bit 3 a failing write, bits 4-6 after how many.
    uint8_t mode = data[0];
    const uint8_t *stream = data + 1;
    uint32_t streamSize = static_cast<uint32_t>(size - 1);
    if (streamSize < LzariLengthFieldSize) {
        return 0;  // the launcher fails such an entry before decoding (EntryStreamTooShort)
    }
    uint32_t declared = ReadLittleEndian32(stream);
    bool plausible = LzariLengthPlausible(declared, streamSize);
    if (plausible && declared > MaxDecodedLength) {
        return 0;
    }

    std::vector<uint64_t> workArea(LzariWorkAreaSize / 8);
    EntryReads reads = {stream,
                        streamSize,
                        0,
                        (mode & 7) == 0 ? SIZE_MAX : (mode & 7u),
                        false,
                        {},
                        (mode & 8) != 0 ? (mode >> 4) & 7 : -1,
                        false};
    LzariStreamIo io = {ReadEntry, WriteEntry, &reads};
    LzariDecodeTally tally = {0, 0};
    LzariResult result = LzariDecodeBlocks(workArea.data(), &io, &tally);
    EntryDecodeResult verdict = JudgeEntryDecoding(result, &tally, streamSize, reads.refused);

    if (reads.out.size() > declared) {
        Fail("more bytes written than the stream declares");
    }
    if (reads.writeFailed) {
        if (verdict == EntryDecoded) {
            Fail("a failed write taken for a decoded entry");
        }
        return 0;
    }
    if (verdict == EntryWriteFailed) {
        Fail("a write failure where no write failed");
    }

    // What the checks should make of it, from the byte-at-a-time decoding
    // (which runs to the declared length, so only a plausible one).
    size_t bytewise = plausible ? BytewiseReads(workArea.data(), stream, streamSize) : 0;
    bool expected = plausible && LzariStreamEndsRight(streamSize, bytewise);
    if ((verdict == EntryDecoded) != expected) {
        Fail("the verdict disagrees with the reads of byte-at-a-time decoding");
    }
    if (plausible && bytewise <= streamSize + LzariMaxOverRead &&
        tally.bytesUsed + tally.readsPastEnd != bytewise) {
        Fail("the tally disagrees with the reads of byte-at-a-time decoding");
    }
    std::string verify = CheckLzariStream(stream, streamSize, nullptr);
    if (verify.empty() != (verdict == EntryDecoded)) {
        Fail("the verdict disagrees with lumpack verify's");
    }
    if (verdict != EntryDecoded) {
        return 0;
    }
    std::vector<uint8_t> reference;
    if (!ReferenceLzariDecode(std::vector<uint8_t>(stream, stream + streamSize), &reference) ||
        reference != reads.out) {
        Fail("a stream the checks take decodes to other bytes than the reference decoder's");
    }
    return 0;
}
