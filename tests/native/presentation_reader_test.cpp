// Reading presentations back: build -> open/verify/extract round trips over
// both groups, stored and compressed, signed and not; the content's extent;
// a corpus of damaged files whose faults verify names without crashing; and
// the stream checks' tolerance and length bound.
#include <gtest/gtest.h>

#include <dirent.h>
#include <string.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "file_io.h"
#include "lzari/lzari_encoder.h"
#include "presentation_reader.h"
#include "presentation_test_support.h"

namespace {

BuildRequest RoundTripRequest() {
    BuildRequest request;
    request.launcherImage = MakePeImage(true, 1000);
    request.content = SampleBytes(777, 9);
    request.reserved[0] = 80;
    request.reserved[1] = 192;
    request.entries.push_back(
        MakeEntry("lumv", "dll", SampleBytes(3 * 32768, 1), true, EntryGroup::TempFolder));
    request.entries.push_back(MakeEntry("readme", "txt", SampleBytes(255, 2), false));
    request.entries.push_back(MakeEntry("big", "dat", SampleBytes(32768, 3), true));
    request.entries.push_back(MakeEntry("empty", "txt", {}, false, EntryGroup::TempFolder));
    request.entries.push_back(
        MakeEntry("blank", "bin", std::vector<uint8_t>(255, 0), true, EntryGroup::TempFolder));
    return request;
}

std::vector<std::string> Faults(const std::vector<uint8_t> &file, bool *ok = nullptr) {
    std::vector<Finding> findings;
    bool verified = VerifyPresentation(file.data(), file.size(), &findings);
    std::vector<std::string> faults;
    for (const Finding &finding : findings) {
        faults.push_back((finding.severity == Severity::Fault ? "fault: " : "warning: ") +
                         finding.message);
    }
    if (ok != nullptr) {
        *ok = verified;
    }
    return faults;
}

std::string Joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) {
        text += line + "\n";
    }
    return text;
}

// The file's entries and then its content, read through a reader over it;
// with mustRead, each must read.
std::vector<std::vector<uint8_t>> ReadAll(const std::vector<uint8_t> &file, const Presentation &p,
                                          bool mustRead = true) {
    MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
    std::vector<std::vector<uint8_t>> all(p.entries.size() + 1);
    std::string error;
    for (size_t i = 0; i < p.entries.size(); i++) {
        EXPECT_TRUE(ReadEntryData(&reader.reader, p, i, &all[i], &error) || !mustRead) << error;
    }
    EXPECT_TRUE(ReadContent(&reader.reader, p, &all.back(), &error) || !mustRead) << error;
    return all;
}

void ExpectSameEntries(const std::vector<uint8_t> &file, const BuildRequest &request,
                       uint32_t payloadEnd) {
    Presentation p;
    std::string error;
    ASSERT_TRUE(OpenPresentation(file.data(), file.size(), &p, &error)) << error;
    std::vector<std::vector<uint8_t>> read = ReadAll(file, p);
    EXPECT_EQ(p.payloadEnd, payloadEnd);
    EXPECT_EQ(p.isSigned, payloadEnd != file.size());
    EXPECT_EQ(p.headerOffset, request.launcherImage.size());
    EXPECT_EQ(p.header.reserved[0], 80);
    EXPECT_EQ(p.header.reserved[1], 192);
    EXPECT_TRUE(read.back() == request.content);
    // Header order: the exe-folder group (request entries 1 and 2), then the
    // temporary group (0, 3 and 4).
    const size_t order[] = {1, 2, 0, 3, 4};
    ASSERT_EQ(p.entries.size(), 5u);
    for (size_t slot = 0; slot < 5; slot++) {
        const BuildEntry &source = request.entries[order[slot]];
        const EntryInfo &entry = p.entries[slot];
        SCOPED_TRACE(EntryLabel(entry));
        EXPECT_EQ(entry.name, source.name);
        EXPECT_EQ(entry.tempGroup, source.group == EntryGroup::TempFolder);
        EXPECT_EQ(entry.stored, !source.compressed && !source.data.empty());
        ASSERT_TRUE(entry.decodedSizeKnown);
        EXPECT_EQ(entry.decodedSize, source.data.size());
        EXPECT_TRUE(read[slot] == source.data);
    }
}

TEST(PresentationRoundTrip, EveryEntryAndTheContentComeBackUnsignedAndSigned) {
    BuildRequest request = RoundTripRequest();
    std::vector<uint8_t> file = BuildOrFail(request);
    bool ok = false;
    EXPECT_EQ(Joined(Faults(file, &ok)), "");
    EXPECT_TRUE(ok);
    ExpectSameEntries(file, request, static_cast<uint32_t>(file.size()));

    uint32_t unsignedSize = static_cast<uint32_t>(file.size());
    AppendCertificateTable(&file, true, 1500);
    EXPECT_EQ(unsignedSize % 8, 0u);  // signing added no padding before the table
    EXPECT_EQ(Joined(Faults(file, &ok)), "");
    EXPECT_TRUE(ok);
    ExpectSameEntries(file, request, unsignedSize);
}

TEST(PresentationContent, RunsToTheFirstEntryElseToTheTrailerWithTheAlignment) {
    BuildRequest request;
    request.launcherImage.assign(5, 'L');
    request.content = {'a', 'b', 'c'};
    std::vector<uint8_t> bare = BuildOrFail(request);
    Presentation p;
    std::string error;
    ASSERT_TRUE(OpenPresentation(bare.data(), bare.size(), &p, &error)) << error;
    std::vector<uint8_t> content = ReadAll(bare, p).back();
    // No entry marks the end: the zero padding before the trailer comes along.
    EXPECT_EQ(content.size(), bare.size() - 4 - 5 - 284);
    EXPECT_EQ(std::string(content.begin(), content.begin() + 3), "abc");

    request.entries.push_back(MakeEntry("a", "b", {1, 2}, false));
    std::vector<uint8_t> withEntry = BuildOrFail(request);
    ASSERT_TRUE(OpenPresentation(withEntry.data(), withEntry.size(), &p, &error)) << error;
    EXPECT_EQ(ReadAll(withEntry, p).back(), request.content);

    request.content.clear();
    std::vector<uint8_t> noContent = BuildOrFail(request);
    ASSERT_TRUE(OpenPresentation(noContent.data(), noContent.size(), &p, &error)) << error;
    EXPECT_TRUE(ReadAll(noContent, p).back().empty());
}

TEST(PresentationEntries, AStoredSizeOfZeroOrLessRunsToThePayloadEndButOnlyZeroVerifies) {
    BuildRequest request;
    request.launcherImage = MakePeImage(false);
    request.entries.push_back(MakeEntry("last", "bin", {1, 2, 3}, false));
    std::vector<uint8_t> file = BuildOrFail(request);
    uint32_t header = ReadWord(file, file.size() - 4);
    uint32_t dataOffset = ReadWord(file, header + 24);
    for (uint32_t size : {0u, 0xFFFFFFFFu}) {
        WriteWord(&file, header + 24 + 4, size);
        std::vector<uint8_t> signedFile = file;
        AppendCertificateTable(&signedFile, false, 64);
        for (const std::vector<uint8_t> *f : {&file, &signedFile}) {
            Presentation p;
            std::string error;
            ASSERT_TRUE(OpenPresentation(f->data(), f->size(), &p, &error)) << error;
            // The bytes, the padding and the trailer, never the certificate table.
            EXPECT_EQ(ReadAll(*f, p)[0].size(), file.size() - dataOffset);
            EXPECT_EQ(Joined(Faults(*f)),
                      size == 0 ? ""
                                : "fault: entry 1 (last.bin): its stored size is negative (-1); "
                                  "only 0 stands for the bytes up to the payload's end\n");
        }
    }
}

// ---- the damaged corpus ----

struct Damage {
    const char *what;
    void (*apply)(std::vector<uint8_t> *file);
    const char *fault;  // a part of the expected fault
};

uint32_t HeaderAt(const std::vector<uint8_t> &file) {
    return ReadWord(file, file.size() - 4);
}

// Slot 0 is readme.txt (stored), slot 1 big.dat and slot 2 lumv.dll (compressed).
size_t EntryAt(const std::vector<uint8_t> &file, int slot) {
    return HeaderAt(file) + 24 + 52 * static_cast<size_t>(slot);
}

void SetEntryWord(std::vector<uint8_t> *file, int slot, int field, uint32_t value) {
    WriteWord(file, EntryAt(*file, slot) + 4 * field, value);
}

uint32_t EntryWord(const std::vector<uint8_t> &file, int slot, int field) {
    return ReadWord(file, EntryAt(file, slot) + 4 * field);
}

const Damage Corpus[] = {
    {"empty file", [](std::vector<uint8_t> *f) { f->clear(); }, "too short for the 4-byte trailer"},
    {"three bytes", [](std::vector<uint8_t> *f) { f->resize(3); },
     "too short for the 4-byte trailer"},
    {"cut in the middle", [](std::vector<uint8_t> *f) { f->resize(f->size() / 2); },
     "no presentation payload"},
    {"cut before the trailer", [](std::vector<uint8_t> *f) { f->resize(f->size() - 4); },
     "no presentation payload"},
    {"trailer past the end",
     [](std::vector<uint8_t> *f) { WriteWord(f, f->size() - 4, 0x7FFFFF00); },
     "would run past the trailer"},
    {"trailer into itself",
     [](std::vector<uint8_t> *f) { WriteWord(f, f->size() - 4, uint32_t(f->size() - 100)); },
     "would run past the trailer"},
    {"negative trailer", [](std::vector<uint8_t> *f) { WriteWord(f, f->size() - 4, 0xFFFFFFFE); },
     "negative header offset (-2)"},
    {"bad magic", [](std::vector<uint8_t> *f) { (*f)[HeaderAt(*f) + 3] = 'X'; },
     "starts with \"10VX\", not \"10VL\""},
    {"six entries", [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 16, 6); },
     "entry count 6 is out of range"},
    {"negative entries",
     [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 16, 0xFFFFFFFF); },
     "entry count -1 is out of range"},
    {"more temp than entries", [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 20, 6); },
     "temporary entry count 6 is out of range"},
    {"negative temp", [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 20, 0x80000000); },
     "temporary entry count -2147483648 is out of range"},
    {"negative content",
     [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 4, 0xFFFFFFFF); },
     "content offset -1 lies outside the payload"},
    {"content past the end",
     [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 4, uint32_t(f->size())); },
     "lies outside the payload"},
    {"negative data offset", [](std::vector<uint8_t> *f) { SetEntryWord(f, 0, 0, 0xFFFFFFF0); },
     "entry 1 (readme.txt): its data offset is negative (-16)"},
    {"data offset past the end", [](std::vector<uint8_t> *f) { SetEntryWord(f, 1, 0, 0x7FFFFFFF); },
     "entry 2 (big.dat): its data offset 2147483647 lies past the payload's end"},
    {"stored span past the end",
     [](std::vector<uint8_t> *f) { SetEntryWord(f, 0, 1, uint32_t(f->size())); },
     "entry 1 (readme.txt): its "},
    {"stored span overflowing", [](std::vector<uint8_t> *f) { SetEntryWord(f, 0, 1, 0x7FFFFFFF); },
     "past the payload's end"},
    {"negative stored size", [](std::vector<uint8_t> *f) { SetEntryWord(f, 0, 1, 0xFFFFFFF0); },
     "entry 1 (readme.txt): its stored size is negative (-16)"},
    {"most negative stored size",
     [](std::vector<uint8_t> *f) { SetEntryWord(f, 0, 1, 0x80000000); },
     "its stored size is negative (-2147483648)"},
    {"content in the launcher image",
     [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 4, 0); },
     "the content offset 0 lies inside the launcher image, before the payload's header at"},
    {"content just before the header",
     [](std::vector<uint8_t> *f) { WriteWord(f, HeaderAt(*f) + 4, HeaderAt(*f) - 1); },
     "lies inside the launcher image"},
    {"compressed span past the end",
     [](std::vector<uint8_t> *f) { SetEntryWord(f, 2, 1, uint32_t(f->size())); },
     "entry 3 (lumv.dll): its "},
    {"stream too short", [](std::vector<uint8_t> *f) { SetEntryWord(f, 2, 1, 3); },
     "entry 3 (lumv.dll): its compressed stream is 3 bytes long, too short"},
    {"negative stream size", [](std::vector<uint8_t> *f) { SetEntryWord(f, 1, 1, 0xFFFFFFFF); },
     "entry 2 (big.dat): its compressed stream is -1 bytes long"},
    {"stream cut short",
     [](std::vector<uint8_t> *f) { SetEntryWord(f, 2, 1, EntryWord(*f, 2, 1) - 64); },
     "entry 3 (lumv.dll): decoding its stream reads"},
    {"stream cut to its length", [](std::vector<uint8_t> *f) { SetEntryWord(f, 2, 1, 4); },
     "the length field is damaged"},
    {"absurd length",
     [](std::vector<uint8_t> *f) { WriteWord(f, EntryWord(*f, 1, 0), 0xFFFFFFF0); },
     "entry 2 (big.dat): its stream declares 4294967280 decoded bytes"},
    {"length a little too long",
     [](std::vector<uint8_t> *f) { WriteWord(f, EntryWord(*f, 1, 0), 32768 + 4096); },
     "entry 2 (big.dat): decoding its stream reads"},
    {"unterminated name",
     [](std::vector<uint8_t> *f) { memset(&(*f)[EntryAt(*f, 1) + 8], 'n', 33); },
     "entry 2: no terminator in its name field"},
    {"unterminated extensions",
     [](std::vector<uint8_t> *f) { memset(&(*f)[EntryAt(*f, 1) + 41], 'e', 11); },
     "entry 2: no terminator in its packed extension, output extension field"},
    {"escaping name",
     [](std::vector<uint8_t> *f) { memcpy(&(*f)[EntryAt(*f, 0) + 8], "..\\x", 5); },
     "entry 1 (..\\x.txt): its file name would leave the destination folder"},
    {"drive name", [](std::vector<uint8_t> *f) { memcpy(&(*f)[EntryAt(*f, 0) + 8], "C:x", 4); },
     "would leave the destination folder"},
    {"name Windows cannot create",
     [](std::vector<uint8_t> *f) { memcpy(&(*f)[EntryAt(*f, 0) + 8], "a|b", 4); },
     "entry 1 (a|b.txt): its file name holds '|', which Windows does not allow"},
    {"control character",
     [](std::vector<uint8_t> *f) { memcpy(&(*f)[EntryAt(*f, 1) + 45], "d\ta", 4); },
     "entry 2 (big.d\\x09a): its file name holds '\\x09'"},
};

TEST(PresentationVerify, NamesEveryFaultOfTheDamagedCorpus) {
    std::vector<uint8_t> good = BuildOrFail(RoundTripRequest());
    for (const Damage &damage : Corpus) {
        std::vector<uint8_t> file = good;
        damage.apply(&file);
        bool ok = true;
        std::string faults = Joined(Faults(file, &ok));
        EXPECT_FALSE(ok) << damage.what;
        EXPECT_NE(faults.find(damage.fault), std::string::npos) << damage.what << ":\n" << faults;
        // Whatever can still be opened must read without crashing.
        Presentation p;
        std::string error;
        if (OpenPresentation(file.data(), file.size(), &p, &error)) {
            ReadAll(file, p, false);
        }
    }
}

TEST(PresentationVerify, SharedBytesAndTwiceWrittenFilesAreWarningsOnly) {
    std::vector<uint8_t> file = BuildOrFail(RoundTripRequest());
    SetEntryWord(&file, 1, 0, EntryWord(file, 0, 0));  // big.dat starts inside readme.txt
    SetEntryWord(&file, 1, 1, EntryWord(file, 0, 1));
    memcpy(&file[EntryAt(file, 1) + 41], "txt\0txt", 8);  // now a stored readme.txt too
    memcpy(&file[EntryAt(file, 1) + 8], "README", 7);
    bool ok = false;
    std::string findings = Joined(Faults(file, &ok));
    EXPECT_TRUE(ok) << findings;
    EXPECT_NE(findings.find("warning: entry 2 (README.txt) writes the same file as entry 1 "
                            "(readme.txt) beside the executable"),
              std::string::npos)
        << findings;
    EXPECT_NE(findings.find("warning: entry 1 (readme.txt) and entry 2 (README.txt) share bytes"),
              std::string::npos)
        << findings;

    memcpy(&file[EntryAt(file, 0) + 8], "nul", 4);  // the launcher refuses a device
    findings = Joined(Faults(file, &ok));
    EXPECT_FALSE(ok) << findings;
    EXPECT_NE(findings.find("entry 1 (nul.txt): its file name is a Windows device name"),
              std::string::npos)
        << findings;

    memcpy(&file[EntryAt(file, 0) + 8], "COM\xB9", 5);  // only a builder of ours refuses it
    findings = Joined(Faults(file, &ok));
    EXPECT_FALSE(ok) << findings;
    EXPECT_NE(findings.find("its file name is a Windows device name"), std::string::npos)
        << findings;
}

TEST(PresentationVerify, RandomDamageNeverCrashesAndWhatPassesExtracts) {
    std::vector<uint8_t> good = BuildOrFail(RoundTripRequest());
    uint32_t header = HeaderAt(good);
    std::mt19937 random(2024);
    int passed = 0;
    for (int round = 0; round < 400; round++) {
        std::vector<uint8_t> file = good;
        for (int flips = 1 + random() % 3; flips > 0; flips--) {
            // Mostly the header and the trailer, sometimes anywhere.
            size_t at = random() % 4 == 0   ? random() % file.size()
                        : random() % 2 == 0 ? file.size() - 1 - random() % 4
                                            : header + random() % PayloadHeaderSize;
            file[at] = static_cast<uint8_t>(random() % 3 == 0 ? random()
                                                              : file[at] ^ (1u << (random() % 8)));
        }
        std::vector<Finding> findings;
        if (!VerifyPresentation(file.data(), file.size(), &findings)) {
            EXPECT_FALSE(findings.empty());
            continue;
        }
        passed++;
        Presentation p;
        std::string error;
        ASSERT_TRUE(OpenPresentation(file.data(), file.size(), &p, &error)) << error;
        std::vector<std::vector<uint8_t>> read = ReadAll(file, p);
        for (size_t i = 0; i < p.entries.size(); i++) {
            EXPECT_EQ(read[i].size(), p.entries[i].decodedSize);
        }
    }
    EXPECT_GT(passed, 0);  // flips in reserved words and padding change nothing
}

// ---- the stream checks ----

std::vector<std::vector<uint8_t>> SampleStreams() {
    std::vector<std::vector<uint8_t>> streams;
    std::mt19937 random(5);
    for (int i = 0; i < 150; i++) {
        size_t size = 1000 + random() % 20000;
        std::vector<uint8_t> data = i % 3 == 0   ? SampleBytes(size, i)
                                    : i % 3 == 1 ? std::vector<uint8_t>(size, 0)
                                                 : std::vector<uint8_t>(size);
        if (i % 3 == 2) {
            for (uint8_t &byte : data) {
                byte = static_cast<uint8_t>(random());
            }
        }
        streams.push_back(LzariCompress(data.data(), data.size()));
    }
    return streams;
}

TEST(LzariStreamCheck, CorrectStreamsPassAndCutOnesAreCaught) {
    DIR *folder = opendir(LUMV_LZARI_VECTORS);
    ASSERT_NE(folder, nullptr) << "reference vectors missing in " LUMV_LZARI_VECTORS;
    int vectors = 0;
    while (dirent *entry = readdir(folder)) {
        std::string name = entry->d_name;
        if (name.size() < 6 || name.compare(name.size() - 6, 6, ".lzari") != 0) {
            continue;
        }
        std::vector<uint8_t> stream;
        std::string error;
        ASSERT_TRUE(ReadWholeFile(std::string(LUMV_LZARI_VECTORS) + "/" + name, &stream, &error));
        EXPECT_EQ(CheckLzariStream(stream.data(), uint32_t(stream.size()), nullptr), "") << name;
        vectors++;
    }
    closedir(folder);
    EXPECT_GE(vectors, 5);

    int cutByOneCaught = 0;
    std::vector<std::vector<uint8_t>> streams = SampleStreams();
    for (const std::vector<uint8_t> &stream : streams) {
        uint32_t size = static_cast<uint32_t>(stream.size());
        EXPECT_EQ(CheckLzariStream(stream.data(), size, nullptr), "");
        EXPECT_NE(CheckLzariStream(stream.data(), size - 8, nullptr), "");
        cutByOneCaught += CheckLzariStream(stream.data(), size - 1, nullptr).empty() ? 0 : 1;
    }
    // A one-byte cut may still end within the 2 bytes a correct stream is read past.
    EXPECT_GT(cutByOneCaught * 4, static_cast<int>(streams.size()) * 3);
}

TEST(LzariStreamCheck, ADamagedLengthIsRefusedWithoutDecodingGigabytes) {
    std::vector<uint8_t> zeros(1 << 20, 0);
    std::vector<uint8_t> stream = LzariCompress(zeros.data(), zeros.size());
    uint32_t size = static_cast<uint32_t>(stream.size());
    // Our best ratio is far inside the bound.
    EXPECT_LT(zeros.size(), uint64_t(size) * LzariMaxDecodedPerStoredByte / 16);
    std::vector<uint8_t> decoded;
    EXPECT_EQ(CheckLzariStream(stream.data(), size, &decoded), "");
    EXPECT_TRUE(decoded == zeros);

    auto start = std::chrono::steady_clock::now();
    WriteWord(&stream, 0, 0xFFFFFFFFu);
    EXPECT_NE(CheckLzariStream(stream.data(), size, &decoded).find("the length field is damaged"),
              std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
