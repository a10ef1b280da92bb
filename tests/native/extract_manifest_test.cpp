// A show extracted and built again from the manifest extract wrote is the
// same file, byte for byte, for every layout build makes.
#include <gtest/gtest.h>

#include <string>

#include "lumpack_cli_fixture.h"
#include "presentation_test_support.h"

namespace {

class ExtractManifest : public LumpackCliTest {
protected:
    void SetUp() override {
        LumpackCliTest::SetUp();
        WriteBytes("launcher.exe", MakePeImage(false, 1536));
        WriteBytes("lumv.dll", MakePlayerLibrary(false, "LumivanceMain", 30000));
        WriteBytes("readme.txt", SampleBytes(300, 2));
        WriteBytes("empty.txt", {});
        WriteBytes("show.lvc", SampleBytes(2001, 3));
        WriteBytes("noise.bin", NoiseBytes(5000, 7));
        WriteBytes("big.txt", SampleBytes(1500000, 4));
    }

    std::string Q(const std::string &name) const { return "'" + Path(name) + "'"; }

    // Builds OUT from flags, extracts it into DIR (with manifestOption, if
    // any), builds it again from the manifest and compares the files.
    void ExpectRoundTrip(const std::string &flags, const std::string &manifestOption,
                         const std::string &manifest) {
        CliResult first = Run("build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + flags);
        ASSERT_EQ(first.exitCode, 0) << flags << "\n" << first.err;
        CliResult extract = Run("extract " + Q("a.exe") + " " + Q("x") + manifestOption);
        ASSERT_EQ(extract.exitCode, 0) << flags << "\n" << extract.err;
        CliResult second = Run("build " + Q("b.exe") + " --manifest " + Q(manifest));
        ASSERT_EQ(second.exitCode, 0) << flags << "\n" << second.err;
        EXPECT_TRUE(ReadText(Path("a.exe")) == ReadText(Path("b.exe"))) << flags << "\n"
                                                                        << ReadText(Path(manifest));
        ASSERT_EQ(system(("rm -rf " + Q("x") + " " + Q("a.exe") + " " + Q("b.exe")).c_str()), 0);
    }
};

TEST_F(ExtractManifest, AShowBuiltAgainFromItsManifestIsTheSameFile) {
    const std::string readme = " --file " + Q("readme.txt");
    const std::string player = " --file " + Q("lumv.dll") + " --compress --temp";
    ExpectRoundTrip("", "", "x/manifest.json");
    ExpectRoundTrip(" --content " + Q("show.lvc"), "", "x/manifest.json");
    ExpectRoundTrip(" --reserved -5,0xFFFFFFFF --content " + Q("show.lvc") + readme + player, "",
                    "x/manifest.json");
    ExpectRoundTrip(readme + " --compress --packed zz" + readme + " --as 'v1.2.'" + player, "",
                    "x/manifest.json");
    ExpectRoundTrip(" --file " + Q("empty.txt") + readme + " --as notes --temp" + player, "",
                    "x/manifest.json");
    // A stream that does not pay is stored, or kept on request.
    ExpectRoundTrip(" --file " + Q("noise.bin") + " --compress --file " + Q("noise.bin") +
                        " --as kept.bin --compress=always",
                    "", "x/manifest.json");
    // The parse the streams were coded with comes back too, told from an
    // entry's first MiB where it is larger.
    for (const char *parse : {"", " --fast"}) {
        ExpectRoundTrip(std::string(parse) + readme + " --compress" + player, "",
                        "x/manifest.json");
        ExpectRoundTrip(std::string(parse) + " --file " + Q("big.txt") + " --compress", "",
                        "x/manifest.json");
    }
    // Elsewhere, the manifest names the files by their absolute paths.
    ExpectRoundTrip(readme + player, " --manifest " + Q("kept.json"), "kept.json");
}

TEST_F(ExtractManifest, AnEntryNamedLikeTheManifestNeedsTheManifestElsewhere) {
    ASSERT_EQ(Run("build " + Q("a.exe") + " --launcher " + Q("launcher.exe") + " --file " +
                  Q("readme.txt") + " --as manifest.json --compress")
                  .exitCode,
              0);
    CliResult clash = Run("extract " + Q("a.exe") + " " + Q("x"));
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_NE(clash.err.find("entry 1 (manifest.json) and the build manifest would both be "
                             "written to manifest.json"),
              std::string::npos)
        << clash.err;
    EXPECT_EQ(Run("extract " + Q("a.exe") + " " + Q("x") + " --manifest " + Q("m.json")).exitCode,
              0);
}

}  // namespace
