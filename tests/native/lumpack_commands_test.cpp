// The lumpack commands called in process, as main calls them once the
// command line is read: build a presentation, then verify it.
#include <unistd.h>

#include <string>
#include <vector>

#include "build_command.h"
#include "lumpack_cli_fixture.h"
#include "presentation_commands.h"
#include "presentation_test_support.h"

namespace {

using LumpackCommands = LumpackCliTest;

TEST_F(LumpackCommands, BuildAndVerifyWithoutAProcess) {
    WriteBytes("launcher.exe", MakePeImage(false, 1536));
    WriteBytes("lumv.dll", MakePlayerLibrary(false, "LumivanceMain", 20000));
    const struct {
        const char *out;
        bool compressed;
        bool cutShort;  // the built file loses its last byte before it is verified
        int verifyStatus;
    } cases[] = {
        {"stored.exe", false, false, 0},
        {"compressed.exe", true, false, 0},
        {"cut.exe", true, true, 1},
    };
    for (const auto &c : cases) {
        BuildArguments build;
        build.out = Path(c.out);
        build.launcher = Path("launcher.exe");
        build.entries.push_back({Path("lumv.dll"), "", c.compressed, false, "", true, ""});
        ASSERT_EQ(Build(build, Verbosity::Quiet), 0) << c.out;
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(ReadWholeFile(build.out, &bytes, &error)) << error;
        Presentation presentation;
        ASSERT_TRUE(OpenPresentation(bytes.data(), bytes.size(), &presentation, &error)) << error;
        ASSERT_EQ(presentation.entries.size(), 1u) << c.out;
        EXPECT_EQ(presentation.entries[0].stored, !c.compressed) << c.out;
        EXPECT_TRUE(presentation.entries[0].tempGroup) << c.out;
        if (c.cutShort) {
            ASSERT_EQ(truncate(build.out.c_str(), static_cast<off_t>(bytes.size() - 1)), 0);
        }
        EXPECT_EQ(Verify(build.out, Verbosity::Quiet), c.verifyStatus) << c.out;
    }
    // A refused build leaves no file and says so through its status.
    BuildArguments refused;
    refused.out = Path("refused.exe");
    refused.launcher = Path("lumv.dll");
    EXPECT_EQ(Build(refused, Verbosity::Quiet), 1);
    EXPECT_EQ(Verify(refused.out, Verbosity::Quiet), 1);
}

}  // namespace
