// The lumpack command line: compress and decompress files, help, and errors
// that name the file, exit non-zero and leave no half-written output.
#include <unistd.h>

#include <string>
#include <vector>

#include "lumpack_cli_fixture.h"

namespace {

using LumpackCli = LumpackCliTest;
using Result = CliResult;

TEST_F(LumpackCli, CompressThenDecompressGivesTheFileBack) {
    std::string text;
    for (int i = 0; i < 3000; i++) {
        text += "slide " + std::to_string(i % 37) + " of the show\n";
    }
    Write("in.txt", text);
    Result compressed = Run("compress '" + Path("in.txt") + "' '" + Path("in.lz") + "'");
    EXPECT_EQ(compressed.exitCode, 0) << compressed.err;
    EXPECT_EQ(compressed.err, "");  // no progress when nobody watches
    Result decompressed = Run("decompress '" + Path("in.lz") + "' '" + Path("out.txt") + "'");
    EXPECT_EQ(decompressed.exitCode, 0) << decompressed.err;
    EXPECT_EQ(ReadText(Path("out.txt")), text);
    EXPECT_LT(ReadText(Path("in.lz")).size(), text.size() / 4);
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.lz", "in.txt", "out.txt"}));
}

TEST_F(LumpackCli, LargeInputShowsProgressOnlyOnATerminal) {
    std::string data;
    for (int i = 0; data.size() < (5u << 20); i++) {
        data += "frame " + std::to_string(static_cast<long long>(i) * 7919 % 100003) + " ";
    }
    Write("big.bin", data);
    std::string arguments = "compress --force '" + Path("big.bin") + "' '" + Path("big.lz") + "'";
    EXPECT_EQ(Run(arguments).err, "");
    // script(1) gives the tool a terminal and copies what it shows.
    std::string command = std::string("script -qec \"'") + LUMV_LUMPACK_PATH + "' " + arguments +
                          "\" /dev/null >'" + Path("screen") + "' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0);
    std::string screen = ReadText(Path("screen"));
    unlink(Path("screen").c_str());
    EXPECT_NE(screen.find("100%"), std::string::npos) << screen;
}

TEST_F(LumpackCli, EveryCommandHasHelp) {
    for (const char *arguments : {"--help", "compress --help", "decompress --help"}) {
        Result result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments;
        EXPECT_NE(result.out.find("usage: lumpack"), std::string::npos) << arguments;
    }
    Result bare = Run("");
    EXPECT_NE(bare.exitCode, 0);
    EXPECT_NE(bare.err.find("usage"), std::string::npos);
    Result unknown = Run("squeeze a b");
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_NE(unknown.err.find("squeeze"), std::string::npos);
    EXPECT_NE(Run("compress only-one").exitCode, 0);
}

TEST_F(LumpackCli, MissingInputIsNamedAndNothingIsWritten) {
    for (const char *command : {"compress", "decompress"}) {
        Result result =
            Run(std::string(command) + " '" + Path("absent") + "' '" + Path("out") + "'");
        EXPECT_NE(result.exitCode, 0) << command;
        EXPECT_EQ(Lines(result.err), 1u) << result.err;
        EXPECT_NE(result.err.find(Path("absent")), std::string::npos) << result.err;
        EXPECT_TRUE(Files().empty()) << command;
    }
}

TEST_F(LumpackCli, UnwritableOutputIsNamedAndLeavesNoPartialFile) {
    Write("in.txt", "some bytes to compress");
    std::string target = Path("no-such-folder/out.lz");
    Result result = Run("compress '" + Path("in.txt") + "' '" + target + "'");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find(target), std::string::npos) << result.err;
    EXPECT_EQ(Files(), std::vector<std::string>{"in.txt"});
}

TEST_F(LumpackCli, StreamTooShortForItsLengthFails) {
    Write("short.lz", std::string("\x05\x00", 2));
    Write("out.bin", "an earlier file that must survive");
    Result result = Run("decompress --force '" + Path("short.lz") + "' '" + Path("out.bin") + "'");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find(Path("short.lz")), std::string::npos) << result.err;
    EXPECT_EQ(ReadText(Path("out.bin")), "an earlier file that must survive");
    EXPECT_EQ(Files(), (std::vector<std::string>{"out.bin", "short.lz"}));
}

}  // namespace
