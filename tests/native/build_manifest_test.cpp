// Build manifests: every kind of bad manifest named by file and place, paths
// taken from the manifest's folder, and a build from a manifest giving the
// very bytes the same build from flags gives.
#include "build_manifest.h"

#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "lumpack_cli_fixture.h"
#include "presentation_test_support.h"

namespace {

// Stands for the manifest's folder in the expected messages.
#define PATH_IN "<in>/"

class BuildManifestTest : public LumpackCliTest {
protected:
    std::string Q(const std::string &name) const { return "'" + Path(name) + "'"; }
};

TEST_F(BuildManifestTest, BadManifestsNameTheFileAndThePlace) {
    const std::string entry = R"({"launcher": "l.exe", "entries": [{"file": "a"}, )";
    struct Case {
        std::string text;
        std::string message;  // what follows "NAME: "; the message starts with it
    } cases[] = {
        {"", "line 1, column 1: not valid JSON: syntax error"},
        {"{\n  \"launcher\": \"l.exe\",\n}", "line 3, column 1: not valid JSON: syntax error"},
        {"{\"launcher\": \"\xff\"}", "line 1, column 15: not valid JSON: syntax error"},
        {"[\"l.exe\"]", "expected a JSON object with \"launcher\" and the entries (got an array)"},
        {"{}", "missing \"launcher\""},
        {R"({"launcher": 5})", "launcher: expected a string (got a number)"},
        {R"({"launcher": ""})", "launcher: expected a non-empty string"},
        {R"({"launcher": "l.exe\u0000.txt"})", "launcher: holds a NUL character"},
        {R"({"launcher": "l.exe", "contents": "s"})", "contents: unknown key (known here: "},
        {R"({"launcher": "l.exe", "launcher": "m.exe"})", "launcher: given twice"},
        {R"({"launcher": "l.exe", "reserved": "80,192"})", "reserved: expected two numbers"},
        {R"({"launcher": "l.exe", "reserved": [80]})", "reserved: expected two numbers"},
        {R"({"launcher": "l.exe", "reserved": [0, 4294967296]})", "reserved[1]: expected a 32-bit"},
        {R"({"launcher": "l.exe", "reserved": [-2147483649, 0]})",
         "reserved[0]: expected a 32-bit"},
        {R"({"launcher": "l.exe", "reserved": [18446744073709551615, 0]})",
         "reserved[0]: expected"},
        {R"({"launcher": "l.exe", "reserved": [1.5, 0]})", "reserved[0]: expected a 32-bit"},
        {R"({"launcher": "l.exe", "reserved": ["80", 0]})", "reserved[0]: expected a 32-bit"},
        {R"({"launcher": "l.exe", "entries": {"file": "a"}})", "entries: expected an array"},
        {entry + R"("b.dll"]})", "entries[1]: expected an object like"},
        {entry + R"({"as": "b.txt"}]})", "entries[1]: missing \"file\""},
        {entry + R"({"file": "b"}, {"file": "c", "compress": "yes"}]})",
         "entries[2].compress: expected true, false or \"always\" (got \"yes\")"},
        {entry + R"({"file": "b", "temp": null}]})",
         "entries[1].temp: expected true or false (got null)"},
        {entry + R"({"file": "b", "compres": true}]})", "entries[1].compres: unknown key"},
        {entry + R"({"file": "b", "as": "x", "as": "y"}]})", "entries[1].as: given twice"},
        {entry + R"({"file": "b", "packed": 3}]})", "entries[1].packed: expected a string"},
        {entry + R"({"file": "b", "\u0001": 3}]})", "entries[1].\\x01: unknown key"},
    };
    for (const Case &c : cases) {
        Write("show.json", c.text);
        BuildArguments arguments;
        arguments.launcher = "untouched";
        std::string error;
        EXPECT_FALSE(ReadBuildManifest(Path("show.json"), &arguments, &error)) << c.text;
        std::string expected = Path("show.json") + ": " + c.message;
        EXPECT_EQ(error.substr(0, expected.size()), expected) << c.text;
        EXPECT_EQ(arguments.launcher, "untouched") << c.text;
        EXPECT_TRUE(arguments.entries.empty()) << c.text;
    }
}

TEST_F(BuildManifestTest, PathsAreTakenFromTheManifestsFolder) {
    ASSERT_EQ(mkdir(Path("conf").c_str(), 0777), 0);
    Write("conf/show.json",
          R"({"launcher": "bin/l.exe", "content": "/abs/show.lvc", "reserved": [-1, 4294967295],
              "entries": [{"file": "../x.dat", "compress": true, "packed": "xd_", "temp": true},
                          {"file": "r.txt", "as": "readme.txt", "compress": false}]})");
    BuildArguments arguments;
    std::string error;
    ASSERT_TRUE(ReadBuildManifest(Path("conf/show.json"), &arguments, &error)) << error;
    EXPECT_EQ(arguments.launcher, Path("conf/bin/l.exe"));
    EXPECT_EQ(arguments.content, "/abs/show.lvc");
    EXPECT_EQ(arguments.reserved[0], -1);
    EXPECT_EQ(arguments.reserved[1], -1);
    ASSERT_EQ(arguments.entries.size(), 2u);
    const EntryArgument &x = arguments.entries[0];
    EXPECT_EQ(x.source, Path("conf/../x.dat"));
    EXPECT_TRUE(x.compressed && x.temp && x.packed == "xd_" && x.as.empty());
    const EntryArgument &r = arguments.entries[1];
    EXPECT_TRUE(r.source == Path("conf/r.txt") && r.as == "readme.txt" && !r.compressed);
}

TEST_F(BuildManifestTest, TheSameInputsGiveTheSameBytesFromFlagsOrManifest) {
    ASSERT_EQ(mkdir(Path("in").c_str(), 0777), 0);
    WriteBytes("in/launcher.exe", MakePeImage(false, 1536));
    WriteBytes("in/lumv.dll", MakePlayerLibrary(false, "LumivanceMain", 100000));
    WriteBytes("in/readme.txt", SampleBytes(300, 2));
    WriteBytes("in/show.lvc", SampleBytes(2000, 3));
    std::string flags = " --launcher " + Q("in/launcher.exe") + " --content " + Q("in/show.lvc") +
                        " --reserved 80,192 --file " + Q("in/lumv.dll") +
                        " --compress --temp --file " + Q("in/readme.txt") + " --as notes.txt";
    ASSERT_EQ(Run("build " + Q("one.exe") + flags).exitCode, 0);
    ASSERT_EQ(Run("build " + Q("two.exe") + flags).exitCode, 0);
    Write("in/show.json", R"({"launcher": "launcher.exe", "content": "show.lvc",
        "reserved": [80, 192], "entries": [{"file": "lumv.dll", "compress": true, "temp": true},
        {"file": "readme.txt", "as": "notes.txt"}]})");
    CliResult fromManifest = Run("build " + Q("three.exe") + " --manifest " + Q("in/show.json"));
    ASSERT_EQ(fromManifest.exitCode, 0) << fromManifest.err;
    std::string one = ReadText(Path("one.exe"));
    EXPECT_GT(one.size(), 1536u + 2000u + 300u);
    EXPECT_EQ(ReadText(Path("two.exe")), one);
    EXPECT_EQ(ReadText(Path("three.exe")), one);

    // A manifest names all the inputs; it is never the output.
    CliResult both = Run("build " + Q("four.exe") + " --manifest " + Q("in/show.json") +
                         " --file " + Q("in/lumv.dll"));
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_NE(both.err.find("--file cannot be combined with --manifest"), std::string::npos);
    std::string manifest = ReadText(Path("in/show.json"));
    CliResult over = Run("build --force " + Q("in/show.json") + " --manifest " + Q("in/show.json"));
    EXPECT_EQ(over.exitCode, 1);
    EXPECT_EQ(ReadText(Path("in/show.json")), manifest);

    Write("in/bad.json",
          R"({"launcher": "launcher.exe", "entries": [{"file": "lumv.dll", "temp": 1}]})");
    CliResult bad = Run("build " + Q("five.exe") + " --manifest " + Q("in/bad.json"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "lumpack: " + Path("in/bad.json") +
                           ": entries[0].temp: expected true or false (got a number)\n");
    // A fault of an entry names the manifest and the entry as it counts them.
    const struct {
        const char *entries;
        const char *error;
    } faults[] = {
        {R"([{"file": "gone.dat"}])", ": entries[0].file: " PATH_IN "gone.dat: No such file"},
        {R"([{"file": "lumv.dll"}, {"file": "lumv.dll", "as": "nul.txt"}])",
         ": entries[1] (nul.txt): the name is a Windows device name"},
        {R"([{"file": "lumv.dll", "as": "a.dll"}, {"file": "lumv.dll", "as": "A.DLL"}])",
         ": entries[1] (A.DLL): writes the same file as entries[0] (a.dll)"},
    };
    for (const auto &fault : faults) {
        Write("in/bad.json",
              std::string(R"({"launcher": "launcher.exe", "entries": )") + fault.entries + "}");
        CliResult refused = Run("build " + Q("five.exe") + " --manifest " + Q("in/bad.json"));
        EXPECT_EQ(refused.exitCode, 1);
        std::string expected = "lumpack: " + Path("in/bad.json") + fault.error;
        size_t in = expected.find(PATH_IN);
        if (in != std::string::npos) {
            expected.replace(in, strlen(PATH_IN), Path("in/"));
        }
        EXPECT_EQ(refused.err.substr(0, expected.size()), expected) << refused.err;
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"in", "one.exe", "three.exe", "two.exe"}));
}

// The show's icon and version texts, from flags or a manifest alike, go
// into the image and list reads them back; a bad icon or key is refused.
TEST_F(BuildManifestTest, TheShowsIconAndVersionTextsListBack) {
    ASSERT_EQ(mkdir(Path("in").c_str(), 0777), 0);
    ASSERT_EQ(system(("cp " + std::string(LUMV_RESOURCE_IMAGE_I686) + " '" + Path("in/l.exe") + "'")
                         .c_str()),
              0);
    WriteBytes("in/show.ico", MakeIco(SampleIcoImages()));
    Write("in/bad.ico", "not an icon");
    Write("in/icon.json", R"({"launcher": "l.exe", "icon": "show.ico",
        "versionInfo": {"ProductName": "春のショー", "FileVersion": "2.1"}})");
    std::string flags = " --launcher " + Q("in/l.exe") + " --icon " + Q("in/show.ico") +
                        " --version-info FileVersion=2.1 --version-info 'ProductName=春のショー'";
    ASSERT_EQ(Run("build " + Q("a.exe") + flags).exitCode, 0);
    ASSERT_EQ(Run("build " + Q("b.exe") + " --manifest " + Q("in/icon.json")).exitCode, 0);
    EXPECT_TRUE(ReadText(Path("a.exe")) == ReadText(Path("b.exe")));

    nlohmann::json listed = nlohmann::json::parse(Run("list --json " + Q("a.exe")).out);
    ASSERT_EQ(listed["icons"].size(), 3u);
    EXPECT_EQ(listed["icons"][2], nlohmann::json::parse(
                                      R"({"width": 256, "height": 256, "bitCount": 32,
                                          "png": true, "bytes": 3000})"));
    EXPECT_EQ(listed["versionInfo"]["fileVersion"], "2.1.0.0");
    EXPECT_EQ(listed["versionInfo"]["strings"],
              nlohmann::json::parse(R"({"FileVersion": "2.1", "ProductName": "春のショー"})"));
    EXPECT_NE(Run("list " + Q("a.exe"))
                  .out.find("  icon:      16x16 8-bit, 32x32 32-bit, 256x256 "
                            "PNG\n"),
              std::string::npos);

    CliResult bad =
        Run("build " + Q("c.exe") + " --launcher " + Q("in/l.exe") + " --icon " + Q("in/bad.ico"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "lumpack: " + Path("in/bad.ico") +
                           ": not an icon file (its first word is 28526, not 0)\n");
    CliResult unknown =
        Run("build " + Q("c.exe") + " --launcher " + Q("in/l.exe") + " --version-info Title=x");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown version key \"Title\""), std::string::npos) << unknown.err;
    Write("in/icon.json", R"({"launcher": "l.exe", "versionInfo": {"Title": "x"}})");
    CliResult manifest = Run("build " + Q("c.exe") + " --manifest " + Q("in/icon.json"));
    EXPECT_NE(manifest.err.find("icon.json: versionInfo.Title: unknown version key"),
              std::string::npos)
        << manifest.err;
}

}  // namespace
