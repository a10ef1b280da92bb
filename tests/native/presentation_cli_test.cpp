// The lumpack commands around presentations: build, list, extract and
// verify through the real tool - round trips, signed files, refusals with
// clear messages and exit codes, and nothing half-written or overwritten.
#include <fcntl.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "lumpack_cli_fixture.h"
#include "presentation_extract.h"
#include "presentation_test_support.h"

namespace {

class PresentationCli : public LumpackCliTest {
protected:
    void SetUp() override {
        LumpackCliTest::SetUp();
        WriteBytes("launcher.exe", MakePeImage(false, 1536));
        WriteBytes("lumv.dll", MakePlayerLibrary(false, "LumivanceMain", 100000));
        WriteBytes("readme.txt", SampleBytes(300, 2));
        WriteBytes("show.lvc", SampleBytes(2000, 3));
    }

    std::string Q(const std::string &name) const { return "'" + Path(name) + "'"; }

    // The example the tool exists for: a compressed player library for the
    // temporary folder and a readme stored beside the executable.
    CliResult BuildShow(const std::string &extra = "") const {
        return Run("build " + Q("show.exe") + " --launcher " + Q("launcher.exe") + " --content " +
                   Q("show.lvc") + " --reserved 80,0xC0 --file " + Q("lumv.dll") +
                   " --compress --temp --file " + Q("readme.txt") + extra);
    }
};

TEST_F(PresentationCli, BuildListVerifyExtractRoundTrip) {
    CliResult built = BuildShow();
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_EQ(built.err, "");

    CliResult list = Run("list " + Q("show.exe"));
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("not signed"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("header:    at 1536"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("content:   at 1820, 2000 bytes"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("reserved:  80, 192"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("2 (1 beside the executable, 1 in the temporary folder)"),
              std::string::npos);
    EXPECT_NE(list.out.find("1  exe   readme.txt"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("2  temp  lumv.dll"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("compressed .dl_"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("100000"), std::string::npos) << list.out;

    CliResult listed = Run("list --json " + Q("show.exe"));
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    nlohmann::json json = nlohmann::json::parse(listed.out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << listed.out;
    EXPECT_EQ(json["signed"], false);
    EXPECT_EQ(json["headerOffset"], 1536);
    EXPECT_EQ(json["reserved"], nlohmann::json({80, 192}));
    EXPECT_EQ(json["tempEntryCount"], 1);
    const nlohmann::json &lumv = json["entries"][1];
    EXPECT_EQ(lumv["group"], "temp");
    EXPECT_EQ(lumv["name"], "lumv");
    EXPECT_EQ(lumv["stored"], false);
    EXPECT_EQ(lumv["packedExtension"], "dl_");
    EXPECT_EQ(lumv["decodedSize"], 100000);
    EXPECT_EQ(json["entries"][0]["file"], "readme.txt");
    EXPECT_EQ(json["entries"][0]["stored"], true);

    CliResult verify = Run("verify " + Q("show.exe"));
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_EQ(verify.out.substr(0, verify.out.find('\n') + 1),
              Path("show.exe") + ": OK, 2 entries, 2000 content bytes\n");
    EXPECT_NE(verify.out.find("\nnote: stored entries and the content carry no checksum"),
              std::string::npos)
        << verify.out;

    CliResult extract = Run("extract " + Q("show.exe") + " " + Q("out/new"));
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(Lines(extract.out), 5u);
    EXPECT_EQ(Files("out/new"), (std::vector<std::string>{"TempFolder", "content", "launcher",
                                                          "manifest.json", "readme.txt"}));
    EXPECT_EQ(ReadText(Path("out/new/launcher")), ReadText(Path("launcher.exe")));
    EXPECT_EQ(ReadText(Path("out/new/TempFolder/lumv.dll")), ReadText(Path("lumv.dll")));
    EXPECT_EQ(ReadText(Path("out/new/readme.txt")), ReadText(Path("readme.txt")));
    EXPECT_EQ(ReadText(Path("out/new/content")), ReadText(Path("show.lvc")));
}

TEST_F(PresentationCli, ExtractNeverOverwritesWithoutForce) {
    ASSERT_EQ(BuildShow().exitCode, 0);
    ASSERT_EQ(mkdir(Path("out").c_str(), 0777), 0);
    Write("out/readme.txt", "mine");
    CliResult refused = Run("extract " + Q("show.exe") + " " + Q("out"));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(Lines(refused.err), 1u) << refused.err;
    EXPECT_NE(refused.err.find(Path("out/readme.txt") + ": exists (--force replaces it)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(Files("out"), std::vector<std::string>{"readme.txt"});
    EXPECT_EQ(ReadText(Path("out/readme.txt")), "mine");

    CliResult forced = Run("extract --force " + Q("show.exe") + " " + Q("out"));
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(ReadText(Path("out/readme.txt")), ReadText(Path("readme.txt")));

    // Never the presentation itself, not even with --force.
    ASSERT_EQ(
        Run("build --force " + Q("out/content") + " --launcher " + Q("launcher.exe")).exitCode, 0);
    std::string before = ReadText(Path("out/content"));
    CliResult self = Run("extract --force " + Q("out/content") + " " + Q("out"));
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_NE(self.err.find("is the presentation being extracted"), std::string::npos) << self.err;
    EXPECT_EQ(ReadText(Path("out/content")), before);
}

TEST_F(PresentationCli, AFailedExtractionLeavesNothingBehind) {
    // The player needs the subfolder TempFolder, where a file stands.
    ASSERT_EQ(BuildShow().exitCode, 0);
    ASSERT_EQ(mkdir(Path("out").c_str(), 0777), 0);
    Write("out/TempFolder", "in the way");
    CliResult result = Run("extract " + Q("show.exe") + " " + Q("out"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("exists and is not a folder"), std::string::npos) << result.err;
    EXPECT_EQ(Files("out"), std::vector<std::string>{"TempFolder"});

    // A damaged file is refused before DIR is even made.
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(Path("show.exe"), &file, &error));
    WriteWord(&file, ReadWord(file, file.size() - 4) + 16, 9);
    WriteBytes("damaged.exe", file);
    CliResult damaged = Run("extract " + Q("damaged.exe") + " " + Q("fresh"));
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.err.find("entry count 9 is out of range"), std::string::npos) << damaged.err;
    EXPECT_EQ(access(Path("fresh").c_str(), F_OK), -1);
}

TEST_F(PresentationCli, VerifyAndListReadSignedFilesAndNameFaults) {
    ASSERT_EQ(BuildShow().exitCode, 0);
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(Path("show.exe"), &file, &error));
    size_t unsignedSize = file.size();
    AppendCertificateTable(&file, false, 2048);
    WriteBytes("signed.exe", file);
    CliResult verify = Run("verify " + Q("signed.exe"));
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_NE(verify.out.find("OK, 2 entries, 2000 content bytes, signed"), std::string::npos);
    CliResult list = Run("list " + Q("signed.exe"));
    EXPECT_NE(list.out.find("signed (certificate table from " + std::to_string(unsignedSize) + ")"),
              std::string::npos)
        << list.out;

    // Signed after another builder: the table follows the trailer only after
    // the signing tool's zero padding.
    std::vector<uint8_t> unaligned(file.begin(), file.begin() + unsignedSize - 4);
    unaligned.resize(unsignedSize + 1);  // one byte more before the trailer
    WriteWord(&unaligned, unsignedSize - 3, ReadWord(file, unsignedSize - 4));
    AppendCertificateTable(&unaligned, false, 512);
    WriteBytes("padded.exe", unaligned);
    verify = Run("verify " + Q("padded.exe"));
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    list = Run("list " + Q("padded.exe"));
    EXPECT_NE(list.out.find("signed (certificate table from " + std::to_string(unsignedSize + 8) +
                            ", padded with 7 zero bytes before it)"),
              std::string::npos)
        << list.out;

    // The stream of lumv.dll (slot 2) cut short by 100 bytes.
    size_t record = ReadWord(file, unsignedSize - 4) + 24 + 52;
    WriteWord(&file, record + 4, ReadWord(file, record + 4) - 100);
    WriteBytes("cut.exe", file);
    CliResult cut = Run("verify " + Q("cut.exe"));
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_EQ(cut.out, "");
    EXPECT_NE(cut.err.find(Path("cut.exe") + ": entry 2 (lumv.dll): decoding its stream reads"),
              std::string::npos)
        << cut.err;

    // list still describes a damaged file, and points to verify.
    WriteWord(&file, record, 0xFFFFFFFFu);
    WriteBytes("damaged.exe", file);
    CliResult damaged = Run("list " + Q("damaged.exe"));
    EXPECT_EQ(damaged.exitCode, 0) << damaged.err;
    EXPECT_NE(damaged.out.find("lumpack verify says why"), std::string::npos) << damaged.out;

    for (const char *command : {"verify", "list"}) {
        CliResult bare = Run(std::string(command) + " " + Q("launcher.exe"));
        EXPECT_EQ(bare.exitCode, 1) << command;
        EXPECT_NE(bare.err.find("no presentation payload"), std::string::npos) << bare.err;
        CliResult missing = Run(std::string(command) + " " + Q("absent.exe"));
        EXPECT_EQ(missing.exitCode, 1);
        EXPECT_NE(missing.err.find(Path("absent.exe")), std::string::npos) << missing.err;
    }
}

TEST_F(PresentationCli, EntriesLargerThanAChunkExtractWhole) {
    ASSERT_EQ(Run("build " + Q("stored.exe") + " --launcher " + Q("launcher.exe") + " --content " +
                  Q("lumv.dll") + " --file " + Q("lumv.dll") + " --as big.bin --file " +
                  Q("lumv.dll") + " --compress --temp")
                  .exitCode,
              0);
    ASSERT_EQ(Run("extract " + Q("stored.exe") + " " + Q("out")).exitCode, 0);
    for (const char *name : {"out/big.bin", "out/TempFolder/lumv.dll", "out/content"}) {
        EXPECT_EQ(ReadText(Path(name)), ReadText(Path("lumv.dll"))) << name;
    }
}

TEST_F(PresentationCli, ListVerifyAndExtractRefuseWhatTheyCannotRead) {
    ASSERT_EQ(BuildShow().exitCode, 0);
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(Path("show.exe"), &file, &error));
    size_t header = ReadWord(file, file.size() - 4);
    std::vector<uint8_t> damaged = file;
    WriteWord(&damaged, header + 24 + 4, 0xFFFFFFF0u);  // readme.txt, stored
    WriteBytes("negative.exe", damaged);
    damaged = file;
    WriteWord(&damaged, header + 4, 100);
    WriteBytes("inside.exe", damaged);
    ASSERT_EQ(mkdir(Path("folder.exe").c_str(), 0777), 0);
    int fd = open(Path("huge.exe").c_str(), O_CREAT | O_WRONLY, 0666);  // sparse: no disk used
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(1) << 32), 0);
    close(fd);

    struct Case {
        const char *file;
        bool lists;
        const char *message;
    };
    const Case cases[] = {
        {"folder.exe", false, "is a folder"},
        {"huge.exe", false, "is 4294967296 bytes, larger than the 4 GiB - 1 bytes"},
        {"negative.exe", true, "entry 1 (readme.txt): its stored size is negative (-16)"},
        {"inside.exe", true, "the content offset 100 lies inside the launcher image"},
    };
    for (const Case &c : cases) {
        CliResult list = Run("list " + Q(c.file));
        EXPECT_EQ(list.exitCode, c.lists ? 0 : 1) << c.file << "\n" << list.err;
        for (const char *command : {"verify ", "extract "}) {
            CliResult result = Run(command + Q(c.file) + " " + (*command == 'e' ? Q("fresh") : ""));
            EXPECT_EQ(result.exitCode, 1) << command << c.file;
            EXPECT_NE(result.err.find(Path(c.file) + ": "), std::string::npos) << result.err;
            EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        }
        EXPECT_EQ(access(Path("fresh").c_str(), F_OK), -1) << c.file;
    }
}

// Entries are decoded while written: a stream that breaks half-way takes back
// every file and folder made before it.
TEST_F(PresentationCli, ADecodeFailureDuringExtractionRollsBack) {
    ASSERT_EQ(BuildShow().exitCode, 0);
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(ReadWholeFile(Path("show.exe"), &file, &error));
    size_t record = ReadWord(file, file.size() - 4) + 24 + 52;  // lumv.dll comes last
    WriteWord(&file, record + 4, ReadWord(file, record + 4) - 100);
    MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
    Presentation p;
    ASSERT_TRUE(OpenPresentation(&reader.reader, file.size(), &p, &error)) << error;
    ExtractRequest request;
    request.sourcePath = Path("show.exe");
    request.folder = Path("out/new");
    std::vector<std::string> written;
    EXPECT_FALSE(ExtractPresentation(&reader.reader, p, request, &written, &error));
    EXPECT_NE(error.find("entry 2 (lumv.dll): decoding its stream reads"), std::string::npos)
        << error;
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(access(Path("out").c_str(), F_OK), -1);
}

TEST_F(PresentationCli, BuildRefusesBadArgumentsAndNeverReplacesAnInput) {
    struct Case {
        std::string arguments;
        int exitCode;
        const char *message;
    };
    const Case cases[] = {
        {"build " + Q("a.exe"), 2, "--launcher is required"},
        {"build --launcher " + Q("launcher.exe"), 2, "OUT is required"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --temp", 2,
         "--temp describes an entry: put it after --file SOURCE"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --reserved 80", 2,
         "--reserved expects two 32-bit numbers"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --reserved 1,0x100000000",
         2, "--reserved expects two 32-bit numbers"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --zip", 2,
         "unexpected argument '--zip'"},
        {"build " + Q("a.exe") + " " + Q("b.exe") + " --launcher " + Q("launcher.exe"), 2,
         "unexpected argument"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --file", 2,
         "--file needs a value"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --file " + Q("absent"), 1,
         "absent: No such file"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --file " + Q("readme.txt") +
             " --as 'a-name-that-is-much-too-long-to-fit.txt'",
         1, "entry 1 (a-name-that-is-much-too-long-to-fit.txt): name is 35 characters long"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --file " + Q("readme.txt") +
             " --file " + Q("readme.txt"),
         1, "entry 2 (readme.txt): writes the same file as entry 1"},
        {"build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --file " + Q("readme.txt") +
             " --as ../up.txt",
         1, "outside its folder"},
    };
    for (const Case &c : cases) {
        CliResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments << "\n" << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.arguments << "\n"
                                                                 << result.err;
        EXPECT_EQ(access(Path("a.exe").c_str(), F_OK), -1) << c.arguments;
    }

    std::string launcher = ReadText(Path("launcher.exe"));
    for (const char *input : {"launcher.exe", "readme.txt", "show.lvc"}) {
        CliResult result = Run("build " + Q(input) + " --launcher " + Q("launcher.exe") +
                               " --content " + Q("show.lvc") + " --file " + Q("readme.txt"));
        EXPECT_EQ(result.exitCode, 1) << input;
        EXPECT_NE(result.err.find("is also an input"), std::string::npos) << result.err;
    }
    EXPECT_EQ(ReadText(Path("launcher.exe")), launcher);
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"launcher.exe", "lumv.dll", "readme.txt", "show.lvc"}));

    // A presentation is no launcher image to build from.
    ASSERT_EQ(BuildShow().exitCode, 0);
    CliResult nested = Run("build " + Q("twice.exe") + " --launcher " + Q("show.exe"));
    EXPECT_EQ(nested.exitCode, 1);
    EXPECT_NE(nested.err.find("already carries a presentation payload"), std::string::npos);
}

// Only a complete, bare Windows executable serves as the launcher; every
// refusal names the launcher file and writes nothing.
TEST_F(PresentationCli, BuildTakesOnlyABareExecutableAsLauncher) {
    const size_t pe = 0x80;  // where MakePeImage puts the "PE" signature
    std::vector<uint8_t> dll = MakePeImage(false, 1536);
    dll[pe + 4 + 19] |= 0x20;  // the DLL flag, high byte of the characteristics
    std::vector<uint8_t> cut = MakePeImage(false, 1536);
    cut[pe + 4 + 2] = 1;  // one section, whose raw data runs past the file's end
    WriteWord(&cut, pe + 24 + 224 + 16, 0x1000);
    WriteWord(&cut, pe + 24 + 224 + 20, 0x400);
    std::vector<uint8_t> noPe = MakePeImage(false, 1536);
    WriteWord(&noPe, 0x3C, 0x10000);
    std::vector<uint8_t> isSigned = MakePeImage(false, 1536);
    AppendCertificateTable(&isSigned, false, 256);
    ASSERT_EQ(BuildShow().exitCode, 0);
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;  // empty: keep the file as it is
        const char *message;
    } cases[] = {
        {"notes.txt", {'s', 'l', 'i', 'd', 'e', 's', '\n'}, "does not start with \"MZ\""},
        {"empty.exe", {}, "does not start with \"MZ\""},
        {"tool.elf", {0x7F, 'E', 'L', 'F', 2, 1, 1, 0}, "does not start with \"MZ\""},
        {"no-pe.exe", noPe, "no \"PE\" signature"},
        {"lib.dll", dll, "is a DLL"},
        {"cut.exe", cut, "is cut short: section 1 needs 5120 bytes, the file has 1536"},
        {"signed.exe", isSigned, "is signed"},
        {"show.exe", {}, "already carries a presentation payload"},
    };
    for (const Case &c : cases) {
        if (std::string(c.name) != "show.exe") {
            WriteBytes(c.name, c.bytes);
        }
        std::vector<std::string> before = Files();
        CliResult result = Run("build " + Q("a.exe") + " --launcher " + Q(c.name));
        EXPECT_EQ(result.exitCode, 1) << c.name;
        EXPECT_NE(result.err.find(Path(c.name) + ": not usable as the launcher"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(Files(), before) << c.name;
    }
}

// Build, like every command that writes, replaces an existing file only with
// --force, and keeps its permissions.
TEST_F(PresentationCli, BuildReplacesAnExistingFileOnlyWithForce) {
    Write("show.exe", "an older build");
    chmod(Path("show.exe").c_str(), 0750);
    CliResult refused = BuildShow();
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find(Path("show.exe") + ": exists; give --force"), std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadText(Path("show.exe")), "an older build");
    ASSERT_EQ(BuildShow(" --force").exitCode, 0);
    struct stat status;
    ASSERT_EQ(stat(Path("show.exe").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0750u);
    EXPECT_EQ(Run("verify " + Q("show.exe")).exitCode, 0);
}

// The conventions of the command line: --opt=value, "--", decimal numbers,
// -q and -v, one-line usage errors, and entries numbered as list shows them.
TEST_F(PresentationCli, CommandLineConventions) {
    EXPECT_EQ(Run("--version").out.rfind("lumpack ", 0), 0u);
    CliResult built = Run("build -v --launcher=" + Q("launcher.exe") + " --reserved=010,1 -- " +
                          Q("show.exe") + " --file " + Q("lumv.dll") +
                          " --temp --compress --file " + Q("readme.txt") + " --as readme");
    // "--" ends the options: what follows it is OUT and more positionals.
    EXPECT_EQ(built.exitCode, 2) << built.err;
    built = Run("build -v --launcher=" + Q("launcher.exe") + " --reserved=010,1 " + Q("show.exe") +
                " --file " + Q("lumv.dll") + " --temp --compress --file " + Q("readme.txt") +
                " --as readme");
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_NE(built.err.find("wrote " + Path("show.exe")), std::string::npos) << built.err;
    CliResult list = Run("list " + Q("show.exe"));
    EXPECT_NE(list.out.find("reserved:  10, 1"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("1  exe   readme "), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("2  temp  lumv.dll"), std::string::npos) << list.out;
    // The listing is list's output, also with -q; what every command takes
    // may come before the command too, and is then the command's.
    EXPECT_EQ(Run("-q list " + Q("show.exe")).out, list.out);
    EXPECT_EQ(Run("list -q " + Q("show.exe")).out, list.out);
    EXPECT_EQ(Run("-v list " + Q("show.exe")).err,
              "lumpack list: unexpected argument '-v' (see lumpack list --help)\n");
    EXPECT_EQ(Run("--quiet verify " + Q("show.exe")).out, "");

    struct Case {
        std::string arguments;
        std::string error;  // all of stderr
    } cases[] = {
        {"verify a b", "lumpack verify: unexpected argument 'b' (see lumpack verify --help)\n"},
        {"build x.exe",
         "lumpack build: --launcher is required (or --manifest FILE) (see lumpack build --help)\n"},
        {"squeeze", "lumpack: unknown command 'squeeze' (see lumpack --help)\n"},
        {"build x.exe --launcher=l.exe --force=banana",
         "lumpack build: --force takes no value like 'banana' (write --force alone) (see lumpack "
         "build --help)\n"},
    };
    for (const Case &c : cases) {
        CliResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments;
        EXPECT_EQ(result.err, c.error);
    }
    // A refused entry is numbered as in the file: beside the executable first.
    CliResult packed =
        Run("build " + Q("x.exe") + " --launcher " + Q("launcher.exe") + " --file " +
            Q("lumv.dll") + " --temp --compress --packed 'd?' --file " + Q("readme.txt"));
    EXPECT_NE(packed.err.find("entry 2 (lumv.dll): packed extension holds '?'"), std::string::npos)
        << packed.err;

    // Only the named entries; one entry to standard output.
    CliResult some = Run("extract " + Q("show.exe") + " " + Q("out") + " README");
    EXPECT_EQ(some.exitCode, 0) << some.err;
    EXPECT_EQ(Files("out"), std::vector<std::string>{"readme"});
    CliResult one = Run("extract " + Q("show.exe") + " --stdout lumv.dll");
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(one.out, ReadText(Path("lumv.dll")));
    CliResult none = Run("extract " + Q("show.exe") + " " + Q("out2") + " absent.txt");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no entry is named absent.txt"), std::string::npos) << none.err;
}

TEST_F(PresentationCli, EveryCommandHasHelpAndRejectsStrayArguments) {
    for (const char *command : {"build", "list", "extract", "verify"}) {
        CliResult help = Run(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.out.find(std::string("usage: lumpack ") + command), std::string::npos)
            << help.out;
    }
    EXPECT_NE(Run("--help").out.find("extract"), std::string::npos);
    EXPECT_EQ(Run("list").exitCode, 2);
    EXPECT_EQ(Run("list a b").exitCode, 2);
    EXPECT_EQ(Run("list --yaml a").exitCode, 2);
    EXPECT_EQ(Run("verify").exitCode, 2);
    EXPECT_EQ(Run("verify a b").exitCode, 2);
    EXPECT_EQ(Run("extract a").exitCode, 2);
    EXPECT_EQ(Run("extract a b --stdout c").exitCode, 2);
    EXPECT_EQ(Run("extract --overwrite a b").exitCode, 2);
}

TEST_F(PresentationCli, LargeCompressionShowsProgressOnlyOnATerminal) {
    WriteBytes("big.dll", SampleBytes(5u << 20, 7));
    std::string arguments = "build --force " + Q("big.exe") + " --launcher " + Q("launcher.exe") +
                            " --file " + Q("big.dll") + " --compress";
    EXPECT_EQ(Run(arguments).err, "");
    std::string command = std::string("script -qec \"'") + LUMV_LUMPACK_PATH + "' " + arguments +
                          "\" /dev/null >'" + Path("screen") + "' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0);
    std::string screen = ReadText(Path("screen"));
    EXPECT_NE(screen.find("compressing big.dll: 100%"), std::string::npos) << screen;
}

// build writes the presentation a piece at a time, straight from the
// files: the same bytes as the builder in memory lays out, a stream that
// does not pay taken back and stored, and one asked for kept.
TEST_F(PresentationCli, BuildWritesWhatTheBuilderInMemoryLaysOut) {
    const std::vector<uint8_t> noise = NoiseBytes(70000, 3);
    WriteBytes("noise.bin", noise);
    WriteBytes("empty.txt", {});
    ASSERT_EQ(BuildShow(" --file " + Q("noise.bin") + " --compress --file " + Q("noise.bin") +
                        " --as kept.bin --compress=always --file " + Q("empty.txt") + " --temp")
                  .exitCode,
              0);
    BuildRequest request;
    request.launcherImage = MakePeImage(false, 1536);
    request.content = SampleBytes(2000, 3);
    request.reserved[0] = 80;
    request.reserved[1] = 0xC0;
    request.entries = {MakeEntry("lumv", "dll", MakePlayerLibrary(false, "LumivanceMain", 100000),
                                 true, EntryGroup::TempFolder),
                       MakeEntry("readme", "txt", SampleBytes(300, 2), false),
                       MakeEntry("noise", "bin", noise, true),
                       MakeEntry("kept", "bin", noise, true),
                       MakeEntry("empty", "txt", {}, false, EntryGroup::TempFolder)};
    request.entries[3].keepStream = true;
    std::vector<uint8_t> expected = BuildOrFail(request);
    std::string built = ReadText(Path("show.exe"));
    EXPECT_TRUE(built == std::string(expected.begin(), expected.end()))
        << built.size() << " bytes against " << expected.size();
}

}  // namespace
