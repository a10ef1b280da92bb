// The lumpack command line: compress and decompress files, help, and errors
// that name the file, exit non-zero and leave no half-written output.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "lumpack_cli_fixture.h"
#include "presentation_test_support.h"

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
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_EQ(bare.err, "lumpack: a command is required (see lumpack --help)\n");
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

// Streams decompress must refuse and outputs no command may write: each
// fails with exit 1, names the file it is about and leaves every file as it
// was, with no temporary file behind.
TEST_F(LumpackCli, RefusesBadStreamsAndUnsafeOutputs) {
    std::string text;
    for (int i = 0; text.size() < 20000; i++) {
        text += "line " + std::to_string(i * 37 % 1009) + " of the show\n";
    }
    Write("in.txt", text);
    ASSERT_EQ(Run("compress '" + Path("in.txt") + "' '" + Path("good.lz") + "'").exitCode, 0);
    std::string good = ReadText(Path("good.lz"));
    Write("huge.lz", "\xff\xff\xff\xff");
    Write("text.lz", "a plain text file\n");
    Write("cut.lz", good.substr(0, good.size() / 2));
    Write("junk.lz", good + "junk after the stream");
    Write("old.txt", "kept");
    ASSERT_EQ(symlink(Path("elsewhere").c_str(), Path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    struct Case {
        const char *command;
        const char *in;
        const char *out;
        const char *named;  // the file the message is about
        const char *message;
    } cases[] = {
        {"decompress", "huge.lz", "out", "huge.lz", "more than 4 stored bytes can code"},
        {"decompress", "text.lz", "out", "text.lz", "the length field is damaged"},
        {"decompress", "cut.lz", "out", "cut.lz", "cut short or damaged"},
        {"decompress", "junk.lz", "out", "junk.lz", "follow the coded data"},
        {"decompress", "good.lz", "good.lz", "good.lz", "is the input file"},
        {"compress", "in.txt", "old.txt", "old.txt", "exists; give --force"},
        {"compress", "in.txt", "link", "link", "is a symbolic link"},
        {"compress", "in.txt", "fifo", "fifo", "is not a regular file"},
        {"compress", "fifo", "out", "fifo", "is not a regular file"},
    };
    std::vector<std::string> before = Files();
    for (const Case &c : cases) {
        Result result = Run(std::string(c.command) + " '" + Path(c.in) + "' '" + Path(c.out) + "'");
        EXPECT_EQ(result.exitCode, 1) << c.command << " " << c.in;
        EXPECT_NE(result.err.find(Path(c.named) + ": "), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(Files(), before) << c.command << " " << c.in;
    }
    EXPECT_EQ(ReadText(Path("old.txt")), "kept");
    EXPECT_EQ(ReadText(Path("good.lz")), good);
}

// "-" is standard output; a run ended by SIGTERM leaves no partial file.
TEST_F(LumpackCli, WritesToStandardOutputAndCleansUpWhenStopped) {
    Write("in.txt", std::string(3000, 'x'));
    ASSERT_EQ(Run("compress '" + Path("in.txt") + "' '" + Path("in.lz") + "'").exitCode, 0);
    Result piped = Run("decompress '" + Path("in.lz") + "' -");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, std::string(3000, 'x'));
    // A write to standard output that fails is no success.
    std::string full = "'" + std::string(LUMV_LUMPACK_PATH) + "' decompress '" + Path("in.lz") +
                       "' - >/dev/full 2>/dev/null";
    EXPECT_NE(WEXITSTATUS(system(full.c_str())), 0);

    std::string big;
    for (int i = 0; big.size() < (40u << 20); i++) {
        big += std::to_string(static_cast<long long>(i) * 2654435761u % 1000003) + ",";
    }
    Write("big.txt", big);
    std::string command = "'" + std::string(LUMV_LUMPACK_PATH) + "' compress '" + Path("big.txt") +
                          "' '" + Path("big.lz") +
                          "' & sleep 0.5; kill -TERM $!; wait $! 2>/dev/null";
    int status = system(command.c_str());
    EXPECT_NE(WEXITSTATUS(status), 0) << "compressing 40 MB ended within half a second";
    EXPECT_EQ(Files(), (std::vector<std::string>{"big.txt", "in.lz", "in.txt"}));
}

TEST_F(LumpackCli, CompletionQuotesFilesAndOffersValuesAndEntries) {
    // What the completion offers for the words typed, one per line: bash run
    // in the scratch folder with the tool on its path.
    auto complete = [this](const std::string &words, int current) {
        std::string tool = LUMV_LUMPACK_PATH;
        std::string script = "cd '" + Path("") + "' && PATH='" + tool.substr(0, tool.rfind('/')) +
                             "':$PATH && source '" + LUMV_LUMPACK_SOURCE +
                             "/lumpack.bash-completion' && COMP_WORDS=(" + words +
                             ") && COMP_CWORD=" + std::to_string(current) +
                             " && _lumpack && printf '%s\\n' \"${COMPREPLY[@]}\" > .complete";
        std::string command = "bash -c '";
        for (char c : script) {
            command += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        EXPECT_EQ(system((command + "'").c_str()), 0) << script;
        return ReadText(Path(".complete"));
    };
    Write("My Show.exe", "");
    Write("other.txt", "");
    WriteBytes("launcher.exe", MakePeImage(false, 1536));
    Write("readme.txt", "hello");
    ASSERT_EQ(
        Run("build '" + Path("show.exe") + "' --launcher '" + Path("launcher.exe") + "' --file '" +
            Path("readme.txt") + "' --file '" + Path("readme.txt") + "' --as notes.txt")
            .exitCode,
        0);
    const struct {
        std::string words;
        int current;
        std::string offered;
    } cases[] = {
        {"lumpack list My", 2, "My Show.exe\n"},
        {"lumpack list --codepage = ''", 4, "1252\n932\n"},
        {"lumpack list --codepage ''", 3, "1252\n932\n"},
        {"lumpack extract show.exe --stdout ''", 4, "readme.txt\nnotes.txt\n"},
        {"lumpack extract show.exe out n", 4, "notes.txt\n"},
        {"lumpack build x.exe --version-info Prod", 4, "ProductName=\nProductVersion=\n"},
        {"lumpack -v ver", 2, "verify\n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(complete(c.words, c.current), c.offered) << c.words;
    }
}

// The manual page and the bash completion know every option the help shows,
// so that neither falls behind the tool.
TEST_F(LumpackCli, ManualAndCompletionNameEveryOptionOfTheHelp) {
    std::string manual = ReadText(std::string(LUMV_LUMPACK_SOURCE) + "/lumpack.1");
    std::string completion =
        ReadText(std::string(LUMV_LUMPACK_SOURCE) + "/lumpack.bash-completion");
    ASSERT_FALSE(manual.empty() || completion.empty());
    for (const char *command : {"build", "list", "extract", "verify", "compress", "decompress"}) {
        std::string help = Run(std::string(command) + " --help").out;
        EXPECT_NE(manual.find(std::string(".B lumpack ") + command), std::string::npos) << command;
        EXPECT_NE(completion.find(command), std::string::npos) << command;
        for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
            size_t end = help.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 2);
            std::string option = help.substr(at, end - at);
            if (option.size() <= 2 || option == "--help") {
                continue;
            }
            std::string escaped;  // as roff writes a dash
            for (char c : option) {
                escaped += c == '-' ? std::string("\\-") : std::string(1, c);
            }
            EXPECT_NE(manual.find(escaped), std::string::npos) << command << " " << option;
            EXPECT_NE(completion.find(option), std::string::npos) << command << " " << option;
        }
    }
}

}  // namespace
