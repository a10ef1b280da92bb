// What the player gets as its command line: the process command line
// without the executable's own name and the blanks that follow it.
#include <gtest/gtest.h>

#include "launcher/command_line.h"

namespace {

TEST(SkipProgramName, DropsTheFirstWordAndTheBlanksAfterIt) {
    struct Case {
        const char *commandLine;
        const char *rest;
    } cases[] = {
        {"show.exe", ""},
        {"show.exe a b", "a b"},
        {"C:\\Show\\show.exe   -x  \"y z\" ", "-x  \"y z\" "},
        {"\"C:\\My Shows\\show.exe\" --x \"y z\"", "--x \"y z\""},
        {"\"C:\\My Shows\\show.exe\"--x", "--x"},
        {"show.exe\t\targ", "arg"},
        {"show.exe\x01\x1f\x20"
         "arg",
         "arg"},
        {"\"unclosed quote", ""},
        {"\"\" rest", "rest"},
        {"", ""},
        {"   leading", "leading"},
    };
    for (const Case &c : cases) {
        EXPECT_STREQ(SkipProgramName(c.commandLine), c.rest) << c.commandLine;
    }
}

TEST(SkipProgramName, QuoteInsideAnUnquotedWordDoesNotGroup) {
    EXPECT_STREQ(SkipProgramName("a\"b c\"d e"), "c\"d e");
}

TEST(SkipProgramName, HighBytesAreNotBlanks) {
    EXPECT_STREQ(SkipProgramName("sh\x81\xa0w.exe \xa0x"), "\xa0x");
}

TEST(SkipProgramName, ReturnsAPointerIntoTheCommandLine) {
    const char *commandLine = "show.exe arg";
    EXPECT_EQ(SkipProgramName(commandLine), commandLine + 9);
}

}  // namespace
