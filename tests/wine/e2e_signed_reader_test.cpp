// lumpack's reader on the presentations that signed_presentation_test.sh
// signed with a real signing tool: it finds the payload that the launcher
// finds, whatever zero padding the tool put before the certificate table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presentation_reader.h"
#include "test_support.h"

namespace {

TEST(SignedPresentation, LumpackReadsWhatTheToolSigned) {
    std::string folder = lumvtest::EnvironmentValue("LUMV_SIGNED_DIR");
    ASSERT_FALSE(folder.empty()) << "LUMV_SIGNED_DIR is not set (run signed_presentation_test.sh)";
    folder = lumvtest::WindowsPathFromUnix(folder);
    std::vector<std::string> pairs = {"unsigned", "signed"};
    for (int residue = 0; residue < 8; residue++) {
        pairs.push_back("unaligned" + std::to_string(residue));
        pairs.push_back("unaligned" + std::to_string(residue) + "-signed");
    }
    for (size_t i = 0; i < pairs.size(); i += 2) {
        SCOPED_TRACE(pairs[i + 1]);
        std::vector<unsigned char> plain = lumvtest::FileBytes(folder + "\\" + pairs[i] + ".exe");
        std::vector<unsigned char> file =
            lumvtest::FileBytes(folder + "\\" + pairs[i + 1] + ".exe");
        ASSERT_GT(file.size(), plain.size());
        Presentation p;
        std::string error;
        ASSERT_TRUE(OpenPresentation(file.data(), file.size(), &p, &error)) << error;
        EXPECT_TRUE(p.isSigned);
        EXPECT_EQ(p.payloadEnd, plain.size());
        EXPECT_EQ(p.tableStart, (plain.size() + 7) / 8 * 8);
        std::vector<Finding> findings;
        EXPECT_TRUE(VerifyPresentation(file.data(), file.size(), &findings));
        for (const Finding &finding : findings) {
            // The entry that runs to the end shares the player's bytes: a warning.
            EXPECT_EQ(finding.severity, Severity::Warning) << finding.message;
        }
        // The entry that runs to the payload's end: the unsigned file's tail.
        std::vector<uint8_t> data;
        MemoryByteReader reader = MakeMemoryByteReader(file.data(), file.size());
        ASSERT_TRUE(ReadEntryData(&reader.reader, p, 1, &data, &error)) << error;
        EXPECT_TRUE(data ==
                    std::vector<uint8_t>(plain.begin() + p.entries[1].spanStart, plain.end()));
    }
}

}  // namespace
