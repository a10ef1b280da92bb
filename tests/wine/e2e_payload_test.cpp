// End-to-end: presentations built around the real launcher, with the test
// player as one of their entries or beside them, started as processes of
// their own - what is unpacked where, what the player is handed, how a broken
// payload ends the run, and what the clean-up leaves behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "payload/payload_format.h"
#include "presentation_builder.h"
#include "test_support.h"

using namespace lumvtest;

namespace {

typedef std::vector<unsigned char> Bytes;

const char kLockFileName[] = "Vantorelle.lok";
const char kUserText[] = "the user's own file";

BuildEntry Entry(const std::string &name, const std::string &extension, bool compressed,
                 EntryGroup group, const Bytes &data) {
    BuildEntry entry;
    entry.name = name;
    entry.outputExtension = extension;
    entry.compressed = compressed;
    entry.group = group;
    entry.data = data;
    return entry;
}

BuildEntry CompressedPlayer() {
    return Entry("lumv", "dll", true, EntryGroup::TempFolder, FileBytes(TestPlayerDllPath()));
}

// The presentation file: the launcher image with request's payload.
Bytes BuildBytes(BuildRequest request) {
    request.launcherImage = FileBytes(LauncherExePath());
    Bytes output;
    std::string error;
    EXPECT_FALSE(request.launcherImage.empty()) << "no launcher image";
    EXPECT_TRUE(BuildPresentation(request, &output, &error)) << error;
    return output;
}

Bytes BuildBytes(const std::vector<BuildEntry> &entries) {
    BuildRequest request;
    request.entries = entries;
    return BuildBytes(request);
}

uint32_t HeaderOffset(const Bytes &file) {
    return static_cast<uint32_t>(LittleEndianAt(file, file.size() - PayloadTrailerSize, 4));
}

PayloadHeader HeaderOf(const Bytes &file) {
    PayloadHeader header;
    ParsePayloadHeader(file.data() + HeaderOffset(file), &header);
    return header;
}

void StoreHeader(Bytes *file, const PayloadHeader &header) {
    StorePayloadHeader(&header, file->data() + HeaderOffset(*file));
}

// The bytes the launcher must write for a stored entry of file: storedSize
// bytes, or everything from its offset to the end of the file.
Bytes StoredEntryBytes(const Bytes &file, const PayloadEntry &entry) {
    size_t start = static_cast<size_t>(entry.dataOffset);
    size_t end = entry.storedSize > 0 ? start + static_cast<size_t>(entry.storedSize) : file.size();
    return Bytes(file.begin() + start, file.begin() + end);
}

std::string UserText(const std::string &path) {
    std::string text;
    return ReadTextFile(path, &text) ? text : std::string("(missing)");
}

std::vector<std::string> Split(const std::string &list) {
    std::vector<std::string> items;
    size_t start = 0;
    while (!list.empty()) {
        size_t end = list.find('|', start);
        items.push_back(list.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    std::sort(items.begin(), items.end());
    return items;
}

// The run's outcome when the player ran from the run folder: location 2, the
// run folder handed over and holding what the temporary group put there.
::testing::AssertionResult PlayerRanFromRunFolder(const Presentation &show, const RunResult &run,
                                                  const std::vector<std::string> &runFolderFiles) {
    if (!run.started || !run.finished) {
        return ::testing::AssertionFailure() << "the launcher did not start or did not end";
    }
    auto report = show.Report();
    if (report.empty()) {
        return ::testing::AssertionFailure()
               << "the player was not called (exit code " << run.exitCode << ")";
    }
    std::string runFolder = show.tempFolder() + "\\TempFolder.aaa\\";
    if (report["playerLocation"] != "2") {
        return ::testing::AssertionFailure() << "playerLocation " << report["playerLocation"];
    }
    if (!SamePath(report["tempFolderPath"], runFolder)) {
        return ::testing::AssertionFailure() << "tempFolderPath " << report["tempFolderPath"];
    }
    if (!SamePath(report["modulePath"], runFolder + "lumv.dll")) {
        return ::testing::AssertionFailure() << "player loaded from " << report["modulePath"];
    }
    if (Split(report["tempFolderFiles"]) != runFolderFiles) {
        return ::testing::AssertionFailure() << "run folder held " << report["tempFolderFiles"];
    }
    if (!run.boxes.empty()) {
        return ::testing::AssertionFailure()
               << "a message box: [" << Utf8(run.boxes[0].text) << "]";
    }
    return ::testing::AssertionSuccess();
}

// A run whose payload step failed: the player was not called, the failure
// was reported in one box (text 1001), and the exit code is 0.
::testing::AssertionResult PayloadStepFailed(const Presentation &show, const RunResult &run) {
    if (!run.started || !run.finished) {
        return ::testing::AssertionFailure() << "the launcher did not start or did not end";
    }
    if (run.exitCode != 0) {
        return ::testing::AssertionFailure() << "exit code " << run.exitCode;
    }
    if (FileExists(show.reportPath())) {
        return ::testing::AssertionFailure() << "the player was called";
    }
    return IsLaunchErrorBox(run.boxes, 1001);
}

// After the run, only these are left beside the executable (sorted), and no
// run folder is left in the temporary path.
void ExpectLeftBehind(const Presentation &show, const std::vector<std::string> &exeFolder,
                      const std::vector<std::string> &tempFolder = {}) {
    EXPECT_EQ(FolderEntries(show.exeFolder()), exeFolder) << "beside the executable";
    EXPECT_EQ(FolderEntries(show.tempFolder()), tempFolder) << "in the temporary path";
}

// A run folder as a killed run leaves it: nested folders, files, and a lock
// file nobody holds (or none at all).
void MakeLeftover(const std::string &folder, bool withLock = true) {
    ASSERT_TRUE(MakeFolder(folder + "\\a\\b\\c"));
    ASSERT_TRUE(WriteTextFile(folder + "\\lumv.dll", "old player"));
    ASSERT_TRUE(WriteTextFile(folder + "\\a\\b\\c\\deep.txt", "deep"));
    ASSERT_TRUE(WriteTextFile(folder + "\\a\\top.txt", "top"));
    if (withLock) {
        ASSERT_TRUE(WriteTextFile(folder + "\\" + kLockFileName, ""));
    }
}

// ---- What lands where ----

// Stored and compressed entries beside the executable (decoded sizes of 255
// and 32,768 x 2, the second stream larger than the first), the player
// compressed and a stored file in the run folder. The player copies what it
// finds beside the executable; the clean-up removes it, run after run.
TEST(Payload, EntriesLandBesideTheExecutableAndInTheRunFolder) {
    Presentation show("payload");
    const Bytes readme = SampleBytes(1000, 1);
    const Bytes notes = SampleBytes(255, 2);
    const Bytes slides = SampleBytes(65536, 3);
    Bytes file =
        BuildBytes({Entry("readme", "txt", false, EntryGroup::ExeFolder, readme),
                    Entry("notes", "txt", true, EntryGroup::ExeFolder, notes),
                    Entry("slides", "bin", true, EntryGroup::ExeFolder, slides), CompressedPlayer(),
                    Entry("cue", "txt", false, EntryGroup::TempFolder, notes)});
    PayloadHeader header = HeaderOf(file);
    ASSERT_LT(header.entries[1].storedSize, header.entries[2].storedSize);
    ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
    const std::vector<std::string> runFolderFiles = {kLockFileName, "cue.txt", "lumv.dll"};
    const std::pair<const char *, const Bytes *> besideExe[] = {
        {"readme.txt", &readme}, {"notes.txt", &notes}, {"slides.bin", &slides}};

    RunResult run = show.Run(3);
    EXPECT_TRUE(PlayerRanFromRunFolder(show, run, runFolderFiles));
    EXPECT_EQ(run.exitCode, 0u);
    for (const auto &entry : besideExe) {
        EXPECT_TRUE(FileBytes(show.SeenFile(entry.first)) == *entry.second)
            << entry.first << " did not hold the entry's bytes while the player ran";
    }
    ExpectLeftBehind(show, {"show.exe"});

    DeleteFileA(show.reportPath().c_str());
    EXPECT_TRUE(PlayerRanFromRunFolder(show, show.Run(3), runFolderFiles));
    ExpectLeftBehind(show, {"show.exe"});
}

// A compressed entry is read a block at a time: a 40 MB stream costs the
// run no more memory than a show without it, give or take the decoder's
// blocks (the player reports the process's peak working set; the old way,
// the stream read whole, added 40 MB to it).
TEST(Payload, ALargeCompressedEntryDecodesInBoundedMemory) {
    Bytes noise(40u << 20);
    uint32_t state = 12345;
    for (uint8_t &byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    long long peaks[2] = {0, 0};
    for (int large = 0; large < 2; large++) {
        Presentation show(large != 0 ? "bounded-large" : "bounded-small");
        std::vector<BuildEntry> entries = {CompressedPlayer()};
        if (large != 0) {
            entries.push_back(Entry("noise", "bin", true, EntryGroup::TempFolder, noise));
        }
        ASSERT_TRUE(WriteBytesFile(show.exePath(), BuildBytes(entries)));
        RunResult run = show.Run(3, std::string(), StartOptions(), 180000);
        ASSERT_TRUE(run.finished && run.exitCode == 0 && run.boxes.empty());
        std::map<std::string, std::string> report = show.Report();
        ASSERT_NE(report.find("peakWorkingSetBytes"), report.end());
        peaks[large] = std::atoll(report["peakWorkingSetBytes"].c_str());
        ASSERT_GT(peaks[large], 0);
        if (large != 0) {
            EXPECT_NE(report["tempFolderFiles"].find("noise.bin"), std::string::npos);
        }
    }
    EXPECT_LT(peaks[1] - peaks[0], 16ll << 20)
        << "without the entry " << peaks[0] << " bytes, with it " << peaks[1];
}

// The bare launcher and a payload without entries: the launcher extracts
// nothing, makes no run folder, and starts the player beside the executable.
// A user's file beside it shows that nothing was written over it.
TEST(Payload, WithoutAPayloadNothingIsExtracted) {
    struct Case {
        const char *name;
        bool packed;
    };
    const Case cases[] = {
        {"the bare launcher", false},
        {"a payload without entries", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("nopayload");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        ASSERT_TRUE(WriteTextFile(show.exeFolder() + "\\notes.txt", kUserText));
        if (c.packed) {
            BuildRequest request;
            request.reserved[0] = 80;
            request.reserved[1] = 192;
            request.content = SampleBytes(5000, 9);
            Bytes file = BuildBytes(request);
            // The format's own example: the header right after the image,
            // the content right after the header, no entries.
            size_t imageSize = FileBytes(LauncherExePath()).size();
            ASSERT_EQ(HeaderOffset(file), imageSize);
            PayloadHeader header = HeaderOf(file);
            EXPECT_EQ(static_cast<size_t>(header.contentOffset), imageSize + PayloadHeaderSize);
            EXPECT_EQ(header.reserved[0], 80);
            EXPECT_EQ(header.reserved[1], 192);
            EXPECT_EQ(header.entryCount, 0);
            EXPECT_EQ(header.tempEntryCount, 0);
            EXPECT_TRUE(std::equal(request.content.begin(), request.content.end(),
                                   file.begin() + header.contentOffset));
            ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        }

        RunResult run = show.Run(3);

        ASSERT_TRUE(run.started && run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.boxes.empty());
        auto report = show.Report();
        EXPECT_EQ(report["playerLocation"], "1");
        EXPECT_EQ(report["tempFolderPath"], "(null)") << "a run folder was made";
        EXPECT_EQ(UserText(show.exeFolder() + "\\notes.txt"), kUserText);
        ExpectLeftBehind(show, {"lumv.dll", "notes.txt", "show.exe"});
    }
}

// ---- A payload that cannot be unpacked ----

// Bytes after the image that are no payload: a download cut short, a damaged
// trailer or header. That is no executable without payload, so no player is
// looked for (not even the one beside it) and the box says the application
// cannot be started, instead of offering to download the player.
TEST(Payload, ADamagedPresentationIsNotTakenForOneWithoutPayload) {
    struct Case {
        const char *name;
        void (*damage)(Bytes *file);
    };
    const Case cases[] = {
        {"a header without its magic", [](Bytes *f) { (*f)[HeaderOffset(*f)] = 'X'; }},
        {"a trailer pointing past the end", [](Bytes *f) { f->back() = 0x7F; }},
        {"cut short in its content",
         [](Bytes *f) { f->resize(FileBytes(LauncherExePath()).size() + 3000); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("damagedshow");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        BuildRequest request;
        request.content = SampleBytes(5000, 9);
        request.entries = {Entry("notes", "txt", false, EntryGroup::ExeFolder, SampleBytes(9, 9))};
        Bytes file = BuildBytes(request);
        c.damage(&file);
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        ASSERT_TRUE(WriteTextFile(show.exeFolder() + "\\notes.txt", kUserText));

        RunResult run = show.Run(3);

        ASSERT_TRUE(run.started && run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_FALSE(FileExists(show.reportPath())) << "the player was called";
        EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1004));
        EXPECT_EQ(UserText(show.exeFolder() + "\\notes.txt"), kUserText);
        ExpectLeftBehind(show, {"lumv.dll", "notes.txt", "show.exe"});
    }
}

// The second entry fails: the first file (written) and the second are gone
// after the run, the third is never written, so a user's file of its name
// keeps its bytes. The player is not called, and the
// clean-up still runs: a killed run's leftover folder is swept.
TEST(Payload, AFailureAtTheSecondEntryEndsTheRun) {
    struct Case {
        const char *name;
        void (*damage)(PayloadEntry *second);
    };
    const Case cases[] = {
        {"a stream too short for its length", [](PayloadEntry *e) { e->storedSize = 3; }},
        {"a name climbing out of the folder", [](PayloadEntry *e) { strcpy(e->name, "..\\out"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("secondfails");
        const Bytes first = SampleBytes(4000, 20);
        Bytes file =
            BuildBytes({Entry("first", "txt", false, EntryGroup::ExeFolder, first),
                        Entry("second", "bin", true, EntryGroup::ExeFolder, SampleBytes(4000, 21)),
                        Entry("third", "txt", false, EntryGroup::ExeFolder, SampleBytes(4000, 22)),
                        CompressedPlayer()});
        PayloadHeader header = HeaderOf(file);
        c.damage(&header.entries[1]);
        StoreHeader(&file, header);
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        ASSERT_TRUE(WriteTextFile(show.exeFolder() + "\\third.txt", kUserText));
        MakeLeftover(show.tempFolder() + "\\TempFolder.xyz");
        RunResult run = show.Run(3);

        EXPECT_TRUE(PayloadStepFailed(show, run));
        EXPECT_EQ(UserText(show.exeFolder() + "\\third.txt"), kUserText);
        ExpectLeftBehind(show, {"show.exe", "third.txt"});
        EXPECT_FALSE(FileExists(show.exeFolder() + "\\..\\out.bin"));
    }
}

// Counts out of range: the payload is damaged, so nothing is unpacked, the
// player beside the executable is not called, and the clean-up deletes
// nothing beside the executable - the user's files of the entries' names
// keep their bytes.
TEST(Payload, CountsOutOfRangeUnpackNothingAndDeleteNothing) {
    struct Case {
        int32_t entryCount;
        int32_t tempEntryCount;
    };
    const Case cases[] = {{6, 0}, {-1, 0}, {2, -1}, {2, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.entryCount) + " entries, " +
                     std::to_string(c.tempEntryCount) + " temporary");
        Presentation show("counts");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        Bytes file =
            BuildBytes({Entry("notes", "txt", false, EntryGroup::ExeFolder, SampleBytes(99, 1)),
                        Entry("slides", "bin", true, EntryGroup::ExeFolder, SampleBytes(999, 2))});
        PayloadHeader header = HeaderOf(file);
        header.entryCount = c.entryCount;
        header.tempEntryCount = c.tempEntryCount;
        StoreHeader(&file, header);
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        for (const char *name : {"notes.txt", "slides.bin"}) {
            ASSERT_TRUE(WriteTextFile(show.exeFolder() + "\\" + name, kUserText));
        }

        RunResult run = show.Run(3);

        EXPECT_TRUE(PayloadStepFailed(show, run));
        for (const char *name : {"notes.txt", "slides.bin"}) {
            EXPECT_EQ(UserText(show.exeFolder() + "\\" + name), kUserText) << name;
        }
        ExpectLeftBehind(show, {"lumv.dll", "notes.txt", "show.exe", "slides.bin"});
    }
}

// ---- A player in the run folder that does not load ----

// The temporary group unpacks a lumv.dll that is no loadable library: the
// search ends there (the player beside the executable is not reached), one
// box says a needed file could not be made (text 1001), the exit code is 0,
// and the run folder is cleaned up.
TEST(Payload, ARunFolderPlayerThatDoesNotLoadIsReported) {
    struct Case {
        const char *name;
        Bytes player;
    };
    Bytes truncated = FileBytes(TestPlayerDllPath());
    ASSERT_GT(truncated.size(), 4096u);
    truncated.resize(1024);  // the headers, without the sections they describe
    const Case cases[] = {
        {"bytes that are no library", SampleBytes(5000, 60)},
        {"a library cut after its headers", truncated},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("badplayer");
        ASSERT_TRUE(show.PutPlayer(show.exeFolder()));
        ASSERT_TRUE(WriteBytesFile(
            show.exePath(),
            BuildBytes({Entry("lumv", "dll", true, EntryGroup::TempFolder, c.player)})));

        RunResult run = show.Run(3);

        ASSERT_TRUE(run.started && run.finished);
        EXPECT_TRUE(IsLaunchErrorBox(run.boxes, 1001));
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_FALSE(FileExists(show.reportPath())) << "a player was called";
        ExpectLeftBehind(show, {"lumv.dll", "show.exe"});
    }
}

// ---- Files already there ----

// A user's file under an entry's name is never lost: the player finds the
// entry's bytes under the name, and after the run the user's file is back,
// byte for byte, with nothing of the run's beside it. One with the entry's
// bytes simply stays. A killed run's moved-aside file is put back first. A
// file held open without sharing cannot be moved aside and stays as it is:
// a stored entry counts as unpacked, a compressed one fails the run.
TEST(Payload, AUsersFileUnderAnEntrysNameSurvivesTheRun) {
    enum Existing { UsersFile, SameBytes, LockedFile, KilledRunsLeftover };
    struct Case {
        const char *name;
        Existing existing;
        bool compressed;
        bool expectPlayer;
    };
    const Case cases[] = {
        {"user's file, stored entry", UsersFile, false, true},
        {"user's file, compressed entry", UsersFile, true, true},
        {"the entry's own bytes, compressed entry", SameBytes, true, true},
        {"locked, stored entry", LockedFile, false, true},
        {"locked, compressed entry", LockedFile, true, false},
        {"a killed run's moved-aside file", KilledRunsLeftover, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("existing");
        const Bytes data = SampleBytes(3000, 30);
        Bytes file = BuildBytes(
            {Entry("notes", "txt", c.compressed, EntryGroup::ExeFolder, data), CompressedPlayer()});
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        std::string target = show.exeFolder() + "\\notes.txt";
        std::string aside = target + ".moved-aside";
        if (c.existing == SameBytes) {
            ASSERT_TRUE(WriteBytesFile(target, data));
        } else if (c.existing == KilledRunsLeftover) {
            ASSERT_TRUE(WriteTextFile(aside, kUserText));
            ASSERT_TRUE(WriteBytesFile(target, SampleBytes(1000, 31)));
        } else {
            ASSERT_TRUE(WriteTextFile(target, kUserText));
        }
        RunResult run;
        {
            HeldFile held(target);
            if (c.existing != LockedFile) {
                held.Release();
            }
            run = show.Run(3);
        }

        if (c.expectPlayer) {
            EXPECT_TRUE(PlayerRanFromRunFolder(show, run, {kLockFileName, "lumv.dll"}));
        } else {
            EXPECT_TRUE(PayloadStepFailed(show, run));
        }
        if (c.existing == LockedFile) {
            // Held without sharing: the player cannot copy it either.
            EXPECT_FALSE(FileExists(show.SeenFile("notes.txt")));
        } else {
            EXPECT_TRUE(FileBytes(show.SeenFile("notes.txt")) == data)
                << "the player did not find the entry's bytes";
        }
        if (c.existing == SameBytes) {
            EXPECT_TRUE(FileBytes(target) == data);
        } else {
            EXPECT_EQ(UserText(target), kUserText);
        }
        ExpectLeftBehind(show, {"notes.txt", "show.exe"});
    }
}

// Two entries of one name (a header no builder of ours writes): the second
// finds the first one's file and moves it aside. Whatever the order of the
// moves, the clean-up leaves the user's file, or nothing, under the name.
TEST(Payload, TwoEntriesOfOneNameLeaveOnlyWhatWasThere) {
    for (bool usersFile : {false, true}) {
        SCOPED_TRACE(usersFile ? "with a user's file" : "without a user's file");
        Presentation show("samename");
        Bytes file =
            BuildBytes({Entry("notes", "txt", true, EntryGroup::ExeFolder, SampleBytes(3000, 33)),
                        Entry("other", "txt", false, EntryGroup::ExeFolder, SampleBytes(500, 34)),
                        CompressedPlayer()});
        PayloadHeader header = HeaderOf(file);
        strcpy(header.entries[1].name, "notes");
        StoreHeader(&file, header);
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        std::string target = show.exeFolder() + "\\notes.txt";
        if (usersFile) {
            ASSERT_TRUE(WriteTextFile(target, kUserText));
        }

        EXPECT_TRUE(PlayerRanFromRunFolder(show, show.Run(3), {kLockFileName, "lumv.dll"}));
        EXPECT_TRUE(FileBytes(show.SeenFile("notes.txt")) == SampleBytes(500, 34));
        if (usersFile) {
            EXPECT_EQ(UserText(target), kUserText);
            ExpectLeftBehind(show, {"notes.txt", "show.exe"});
        } else {
            ExpectLeftBehind(show, {"show.exe"});
        }
    }
}

// A stored entry whose size is 0 or less takes everything from its offset
// to the end of the file: the entries after it, the padding and the trailer.
TEST(Payload, StoredSizeZeroOrLessCopiesToTheEndOfTheData) {
    for (int32_t storedSize : {0, -1}) {
        SCOPED_TRACE("stored size " + std::to_string(storedSize));
        Presentation show("tailcopy");
        Bytes file =
            BuildBytes({Entry("tail", "dat", false, EntryGroup::ExeFolder, SampleBytes(700, 40)),
                        CompressedPlayer()});
        PayloadHeader header = HeaderOf(file);
        header.entries[0].storedSize = storedSize;
        StoreHeader(&file, header);
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        RunResult run = show.Run(3);

        EXPECT_TRUE(PlayerRanFromRunFolder(show, run, {kLockFileName, "lumv.dll"}));
        EXPECT_TRUE(FileBytes(show.SeenFile("tail.dat")) ==
                    StoredEntryBytes(file, header.entries[0]));
        ExpectLeftBehind(show, {"show.exe"});
    }
}

// Damage a correct builder never makes: a stream with flipped bytes, a length
// field far beyond what the stream can code, a stored size past the end of
// the file. Each fails the payload step in one box; nothing is run, and
// nothing the run wrote is left.
TEST(Payload, DamagedEntriesAreRefusedNotRun) {
    struct Case {
        const char *name;
        int slot;  // 0: readme.txt beside the executable, 1: the player (verify refuses both)
        bool compressedReadme;
        void (*damage)(Bytes *file, const PayloadEntry &entry);
    };
    const Case cases[] = {
        {"16 flipped bytes in the player's stream", 1, true,
         [](Bytes *file, const PayloadEntry &entry) {
             uint32_t state = 22;
             for (int i = 0; i < 16; i++) {
                 state = state * 1103515245u + 12345u;
                 size_t at = 4 + state % (static_cast<uint32_t>(entry.storedSize) - 8);
                 (*file)[static_cast<size_t>(entry.dataOffset) + at] ^= 0x5A;
             }
         }},
        {"a stream declaring 1 GiB", 0, true,
         [](Bytes *file, const PayloadEntry &entry) {
             (*file)[static_cast<size_t>(entry.dataOffset) + 3] = 0x40;
         }},
        {"a stored size past the end of the file", 0, false,
         [](Bytes *file, const PayloadEntry &entry) {
             PayloadHeader header = HeaderOf(*file);
             header.entries[0].storedSize =
                 static_cast<int32_t>(file->size()) - entry.dataOffset + 22000;
             StoreHeader(file, header);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Presentation show("damaged");
        Bytes file = BuildBytes(
            {Entry("readme", "txt", c.compressedReadme, EntryGroup::ExeFolder, SampleBytes(76, 50)),
             CompressedPlayer()});
        const PayloadEntry entry = HeaderOf(file).entries[c.slot];
        c.damage(&file, entry);
        ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
        RunResult run = show.Run(3);

        EXPECT_TRUE(PayloadStepFailed(show, run));
        ExpectLeftBehind(show, {"show.exe"});
    }
}

// ---- The sweep of run folders ----

// Leftovers under the temporary path: a killed run's folders go (nested ones
// depth first), also one without a lock file and one holding a read-only
// file; only a folder whose lock a live process holds stays.
TEST(Sweep, RemovesKilledRunsFoldersAndNothingInUse) {
    Presentation show("sweep");
    ASSERT_TRUE(WriteBytesFile(show.exePath(), BuildBytes({CompressedPlayer()})));
    std::string temp = show.tempFolder();
    MakeLeftover(temp + "\\TempFolder.xyz");
    MakeLeftover(temp + "\\TempFolder.abc");
    MakeLeftover(temp + "\\TempFolder.nol", false);
    MakeLeftover(temp + "\\TempFolder.ro");
    MakeLeftover(temp + "\\TempFolder.zzz");
    std::string readOnly = temp + "\\TempFolder.ro\\a\\b\\kept.txt";
    ASSERT_TRUE(WriteTextFile(readOnly, "kept"));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    RunResult run;
    {
        HeldFile lock(temp + "\\TempFolder.abc\\" + kLockFileName);
        ASSERT_TRUE(lock.held());
        run = show.Run(3);
    }

    EXPECT_TRUE(PlayerRanFromRunFolder(show, run, {kLockFileName, "lumv.dll"}));
    ExpectLeftBehind(show, {"show.exe"}, {"TempFolder.abc"});
    EXPECT_EQ(UserText(temp + "\\TempFolder.abc\\a\\b\\c\\deep.txt"), "deep");
}

// ---- A full temporary disk ----

// The temporary path on a 64 KiB volume (small_volume.sh mounts it): an entry
// of 4 MiB cannot be written there. The payload step fails at the first
// failed write with one box, the player is not called, and the volume is
// left as empty as it was.
TEST(FullDisk, AnEntryThatDoesNotFitFailsTheRunAndLeavesNothing) {
    std::string volume = EnvironmentValue("LUMV_SMALL_VOLUME");
    ASSERT_FALSE(volume.empty()) << "LUMV_SMALL_VOLUME is not set (run through CTest)";
    std::string temp = WindowsPathFromUnix(volume);
    if (!FolderExists(temp)) {
        GTEST_SKIP() << "no small volume was mounted (not root)";
    }
    // Small files fit: the run can make its folder and lock there.
    ASSERT_TRUE(WriteTextFile(temp + "\\probe.txt", "fits"));
    ASSERT_TRUE(DeleteFileA((temp + "\\probe.txt").c_str()));
    Presentation show("fulldisk");
    Bytes large(4 << 20, 0x20);
    ASSERT_TRUE(WriteBytesFile(
        show.exePath(), BuildBytes({Entry("slides", "bin", true, EntryGroup::TempFolder, large),
                                    CompressedPlayer()})));

    RunResult run = RunProgram(show.QuotedExePath(), show.workFolder(),
                               {"LUMV_TEST_REPORT=" + show.reportPath(), "TMP=" + temp});

    EXPECT_TRUE(PayloadStepFailed(show, run));
    EXPECT_TRUE(FolderEntries(temp).empty()) << "the run left files on the full volume";
    EXPECT_EQ(FolderEntries(show.exeFolder()), std::vector<std::string>{"show.exe"});
}

// The show itself on the full volume, beside it a user's readme.txt and an
// entry of that name too large for the volume: the payload step fails, and
// the user's file is there afterwards byte for byte, with nothing else.
TEST(FullDisk, AUsersFileBesideTheShowSurvivesAnEntryThatDoesNotFit) {
    std::string volume = EnvironmentValue("LUMV_SMALL_VOLUME");
    ASSERT_FALSE(volume.empty()) << "LUMV_SMALL_VOLUME is not set (run through CTest)";
    std::string folder = WindowsPathFromUnix(volume);
    if (!FolderExists(folder)) {
        GTEST_SKIP() << "no small volume was mounted (not root)";
    }
    Presentation show("fullshow");
    std::string exePath = folder + "\\show.exe";
    std::string readme = folder + "\\readme.txt";
    ASSERT_TRUE(WriteBytesFile(
        exePath,
        BuildBytes({Entry("readme", "txt", true, EntryGroup::ExeFolder, Bytes(1 << 19, 0x20))})));
    ASSERT_TRUE(WriteTextFile(readme, kUserText));

    RunResult run =
        RunProgram("\"" + exePath + "\"", show.workFolder(),
                   {"LUMV_TEST_REPORT=" + show.reportPath(), "TMP=" + show.tempFolder()});

    EXPECT_TRUE(PayloadStepFailed(show, run));
    EXPECT_EQ(UserText(readme), kUserText);
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"readme.txt", "show.exe"}));
    DeleteFileA(readme.c_str());
    DeleteFileA(exePath.c_str());
}

// Links made from the Linux side (make_links.sh): a link inside a killed
// run's folder is removed, if at all, as a link, and a "run folder" that is
// itself a link is not swept; what they point to stays whole.
TEST(Sweep, NeverFollowsALink) {
    std::string root = EnvironmentValue("LUMV_LINK_ROOT");
    ASSERT_FALSE(root.empty()) << "LUMV_LINK_ROOT is not set (run through CTest)";
    std::string layout = WindowsPathFromUnix(root) + "\\e2e";
    DWORD attributes = GetFileAttributesA((layout + "\\temp\\TempFolder.lnk\\link").c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "the link layout is missing";
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "not seen as a link: " << attributes;
    Presentation show("links");
    ASSERT_TRUE(WriteBytesFile(show.exePath(), BuildBytes({CompressedPlayer()})));

    RunResult run =
        RunProgram(show.QuotedExePath(), show.workFolder(),
                   {"LUMV_TEST_REPORT=" + show.reportPath(), "TMP=" + layout + "\\temp"});

    ASSERT_TRUE(run.started && run.finished);
    auto report = show.Report();
    EXPECT_EQ(report["playerLocation"], "2");
    EXPECT_TRUE(SamePath(report["tempFolderPath"], layout + "\\temp\\TempFolder.aaa\\"))
        << report["tempFolderPath"];
    EXPECT_FALSE(FolderExists(layout + "\\temp\\TempFolder.aaa")) << "the run folder is left";
    EXPECT_EQ(UserText(layout + "\\target\\keep.txt"), "keep");
    EXPECT_EQ(UserText(layout + "\\target\\sub\\deep.txt"), "deep");
    EXPECT_EQ(UserText(layout + "\\victim\\keep.txt"), "keep");
    EXPECT_TRUE(FileExists(layout + "\\victim\\" + kLockFileName));
}

// ---- Signed presentations (driven by signed_presentation_test.sh) ----

// LUMV_SIGNED_DIR, where the script and these tests exchange files.
std::string SignedFolder() {
    std::string folder = EnvironmentValue("LUMV_SIGNED_DIR");
    return folder.empty() ? std::string() : WindowsPathFromUnix(folder);
}

// Writes unsigned.exe for the script to sign: the player compressed in the
// temporary group, beside the executable a stored file of exact size and one
// whose size 0 takes everything up to the end of the payload.
TEST(SignedPresentation, Build) {
    std::string folder = SignedFolder();
    ASSERT_FALSE(folder.empty()) << "LUMV_SIGNED_DIR is not set (run signed_presentation_test.sh)";
    Bytes file =
        BuildBytes({Entry("notes", "txt", false, EntryGroup::ExeFolder, SampleBytes(5000, 50)),
                    Entry("rest", "dat", false, EntryGroup::ExeFolder, SampleBytes(500, 51)),
                    CompressedPlayer()});
    PayloadHeader header = HeaderOf(file);
    header.entries[1].storedSize = 0;
    StoreHeader(&file, header);
    EXPECT_EQ(file.size() % 8, 0u) << "signing would pad the file";
    ASSERT_TRUE(WriteBytesFile(folder + "\\unsigned.exe", file));

    // As a builder that does not align writes them: the trailer right after
    // the last entry, so signing pads each with 8 - residue zero bytes.
    bool written[8] = {};
    for (size_t extra = 0; extra < 8; extra++) {
        Bytes unaligned = BuildBytes(
            {Entry("notes", "txt", false, EntryGroup::ExeFolder, SampleBytes(5000 + extra, 50)),
             Entry("rest", "dat", false, EntryGroup::ExeFolder, SampleBytes(500, 51)),
             CompressedPlayer()});
        header = HeaderOf(unaligned);
        const PayloadEntry &last = header.entries[2];  // the player's stream ends the data
        unaligned.erase(unaligned.begin() + last.dataOffset + last.storedSize,
                        unaligned.end() - PayloadTrailerSize);
        header.entries[1].storedSize = 0;
        StoreHeader(&unaligned, header);
        size_t residue = unaligned.size() % 8;
        written[residue] = true;
        ASSERT_TRUE(
            WriteBytesFile(folder + "\\unaligned" + std::to_string(residue) + ".exe", unaligned));
    }
    for (int residue = 0; residue < 8; residue++) {
        EXPECT_TRUE(written[residue]) << "no unaligned file of residue " << residue;
    }
}

// Launches file, which holds unsignedFile's payload, and expects the
// player to run and the two stored entries to be unsignedFile's bytes.
void ExpectSignedLaunch(const Bytes &file, const Bytes &unsignedFile) {
    const char *const names[] = {"notes.txt", "rest.dat"};
    PayloadHeader header = HeaderOf(unsignedFile);
    Presentation show("signed");
    ASSERT_TRUE(WriteBytesFile(show.exePath(), file));
    RunResult run = show.Run(3);

    EXPECT_TRUE(PlayerRanFromRunFolder(show, run, {kLockFileName, "lumv.dll"}));
    for (int i = 0; i < 2; i++) {
        EXPECT_TRUE(FileBytes(show.SeenFile(names[i])) ==
                    StoredEntryBytes(unsignedFile, header.entries[i]))
            << names[i] << " differs from the unsigned file's entry";
    }
    ExpectLeftBehind(show, {"show.exe"});
}

// The signed file and the unsigned one unpack the same bytes, which are the
// unsigned file's: the signature's certificate table is never part of them.
TEST(SignedPresentation, LaunchUnpacksWhatTheUnsignedOneDoes) {
    std::string folder = SignedFolder();
    ASSERT_FALSE(folder.empty()) << "LUMV_SIGNED_DIR is not set (run signed_presentation_test.sh)";
    Bytes unsignedFile = FileBytes(folder + "\\unsigned.exe");
    Bytes signedFile = FileBytes(folder + "\\signed.exe");
    ASSERT_FALSE(unsignedFile.empty());
    ASSERT_GT(signedFile.size(), unsignedFile.size()) << "signed.exe carries no signature";
    for (const Bytes *file : {&unsignedFile, &signedFile}) {
        SCOPED_TRACE(file == &signedFile ? "signed" : "unsigned");
        ExpectSignedLaunch(*file, unsignedFile);
    }
}

// Signed after a builder that does not align: the signing tool's zero
// padding lies between the trailer and the table, and the entry that runs
// to the payload's end stops before it.
TEST(SignedPresentation, LaunchFindsThePayloadBeforeTheSigningPadding) {
    std::string folder = SignedFolder();
    ASSERT_FALSE(folder.empty()) << "LUMV_SIGNED_DIR is not set (run signed_presentation_test.sh)";
    for (int residue = 0; residue < 8; residue++) {
        SCOPED_TRACE("unsigned size " + std::to_string(residue) + " past a multiple of 8");
        Bytes unsignedFile = FileBytes(folder + "\\unaligned" + std::to_string(residue) + ".exe");
        Bytes signedFile =
            FileBytes(folder + "\\unaligned" + std::to_string(residue) + "-signed.exe");
        ASSERT_EQ(unsignedFile.size() % 8, static_cast<size_t>(residue));
        ASSERT_GT(signedFile.size(), unsignedFile.size()) << "no signature";
        size_t padding = (8 - residue) % 8;
        EXPECT_TRUE(std::all_of(signedFile.begin() + unsignedFile.size(),
                                signedFile.begin() + unsignedFile.size() + padding,
                                [](unsigned char b) { return b == 0; }))
            << "the signing tool did not pad with zeros";
        ExpectSignedLaunch(signedFile, unsignedFile);
    }
}

}  // namespace
