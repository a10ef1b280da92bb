// The splash screen's bitmap name, palette, window placement and message
// decisions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "code_page_932.h"
#include "common/path_rules.h"
#include "splash/splash_rules.h"

namespace {

std::string BitmapNameFor(const std::string &exePath, LeadByteTest isLeadByte = nullptr) {
    char path[PathBufferSize];
    EXPECT_TRUE(CopyText(path, sizeof path, exePath.c_str()));
    EXPECT_TRUE(ReplaceExtension(path, sizeof path, ".BMP", isLeadByte)) << exePath;
    return path;
}

TEST(ReplaceExtension, ReplacesOnlyTheLastExtensionOfTheFileName) {
    struct Case {
        const char *exe;
        const char *bitmap;
    };
    const Case cases[] = {
        {"C:\\Shows\\Intro.exe", "C:\\Shows\\Intro.BMP"},
        {"C:\\Shows\\Intro.old.exe", "C:\\Shows\\Intro.old.BMP"},
        {"C:\\My.Shows\\Intro", "C:\\My.Shows\\Intro.BMP"},
        {"C:\\Shows\\Intro.html", "C:\\Shows\\Intro.BMP"},
        {"C:\\Shows\\Intro", "C:\\Shows\\Intro.BMP"},
        {"C:\\Shows\\Intro.ex", "C:\\Shows\\Intro.BMP"},
        {"C:\\Shows\\Intro.abcde", "C:\\Shows\\Intro.BMP"},
        {"C:\\Shows\\Intro.", "C:\\Shows\\Intro.BMP"},
        {"C:\\Shows.d\\Intro.x\\run", "C:\\Shows.d\\Intro.x\\run.BMP"},
        {"Intro.exe", "Intro.BMP"},
        // In a single-byte code page every 0x5C separates.
        {"C:\\\x95\\.x\\Intro", "C:\\\x95\\.x\\Intro.BMP"},
        {"C:\\a.\x95\\", "C:\\a.\x95\\.BMP"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.bitmap, BitmapNameFor(c.exe)) << c.exe;
    }
    // In code page 932, 95 5C is one character (表): the dot before it is
    // the extension's, the 0x5C is no separator.
    EXPECT_EQ(BitmapNameFor("C:\\a.\x95\\", IsLeadByte932), "C:\\a.BMP");
    EXPECT_EQ(BitmapNameFor("C:\\\x83\\.\x95\\\x8e\xa6.exe", IsLeadByte932),
              "C:\\\x83\\.\x95\\\x8e\xa6.BMP");
}

TEST(ReplaceExtension, ANameTooLongForTheBufferGivesNoBitmapName) {
    const std::string folder = "C:\\" + std::string(240, 'f') + "\\";
    // 255 bytes without extension: ".BMP" and the terminator need 260.
    std::string fits = folder + std::string(255 - folder.size(), 'n');
    ASSERT_EQ(255u, fits.size());
    EXPECT_EQ(fits + ".BMP", BitmapNameFor(fits));

    for (const std::string &tooLong :
         {folder + std::string(256 - folder.size(), 'n'),         // no extension
          folder + std::string(256 - folder.size(), 'n') + ".x",  // a shorter extension
          std::string(259, 'n')}) {
        char path[PathBufferSize];
        ASSERT_TRUE(CopyText(path, sizeof path, tooLong.c_str()));
        EXPECT_FALSE(ReplaceExtension(path, sizeof path, ".BMP", nullptr)) << tooLong.size();
        EXPECT_EQ(tooLong, std::string(path)) << "unchanged when refused";
    }
    // A longer extension is replaced within the same bytes.
    std::string longer = folder + std::string(254 - folder.size(), 'n') + ".exe";
    ASSERT_EQ(258u, longer.size());
    EXPECT_EQ(folder + std::string(254 - folder.size(), 'n') + ".BMP", BitmapNameFor(longer));
}

TEST(ReplaceExtension, WritesNothingPastTheTerminator) {
    char path[16];
    std::memset(path, '#', sizeof path);
    ASSERT_TRUE(CopyText(path, sizeof path, "a\\b.exe"));
    ASSERT_TRUE(ReplaceExtension(path, 10, ".BMP", nullptr));
    EXPECT_STREQ("a\\b.BMP", path);
    EXPECT_EQ('#', path[8]);
    EXPECT_FALSE(ReplaceExtension(path, 7, ".BMP", nullptr));
}

TEST(SplashPalette, ColourCubeThenTenGreys) {
    SplashPaletteEntry entries[SplashPaletteSize + 1];
    std::memset(entries, 0xAB, sizeof entries);
    FillSplashPalette(entries);
    EXPECT_EQ(0xAB, entries[SplashPaletteSize].red) << "exactly 226 entries written";
    ASSERT_EQ(226, SplashPaletteSize);
    ASSERT_EQ(0x300, SplashPaletteVersion);

    const unsigned levels[] = {0, 51, 102, 153, 204, 255};
    for (unsigned i = 0; i < 6; i++) {
        for (unsigned j = 0; j < 6; j++) {
            for (unsigned k = 0; k < 6; k++) {
                const SplashPaletteEntry &e = entries[36 * i + 6 * j + k];
                EXPECT_EQ(levels[i], e.red);
                EXPECT_EQ(levels[j], e.green);
                EXPECT_EQ(levels[k], e.blue);
                EXPECT_EQ(0, e.flags);
            }
        }
    }
    const unsigned greys[] = {17, 34, 68, 85, 119, 136, 170, 187, 221, 238};
    for (unsigned g = 0; g < 10; g++) {
        const SplashPaletteEntry &e = entries[216 + g];
        EXPECT_EQ(greys[g], e.red) << g;
        EXPECT_EQ(greys[g], e.green) << g;
        EXPECT_EQ(greys[g], e.blue) << g;
        EXPECT_EQ(0, e.flags);
    }
}

TEST(SplashPalette, SpotChecksAtTheEdges) {
    struct Case {
        unsigned index;
        uint8_t red, green, blue;
    };
    const Case cases[] = {
        {0, 0, 0, 0},      {1, 0, 0, 51},        {5, 0, 0, 255},       {6, 0, 51, 0},
        {36, 51, 0, 0},    {215, 255, 255, 255}, {180, 255, 0, 0},     {216, 17, 17, 17},
        {217, 34, 34, 34}, {218, 68, 68, 68},    {225, 238, 238, 238},
    };
    for (const Case &c : cases) {
        SplashPaletteEntry e = SplashPaletteColour(c.index);
        EXPECT_EQ(c.red, e.red) << c.index;
        EXPECT_EQ(c.green, e.green) << c.index;
        EXPECT_EQ(c.blue, e.blue) << c.index;
        EXPECT_EQ(0, e.flags) << c.index;
    }
}

TEST(SplashPlacement, CentresTheFramedBitmapOnTheDesktop) {
    const SplashRect desktop = {0, 0, 1024, 768};
    // A 400 x 300 bitmap with a one-pixel border on every side.
    SplashPlacement p = PlaceSplashWindow(true, {-1, -1, 401, 301}, desktop);
    EXPECT_EQ(402, p.width);
    EXPECT_EQ(302, p.height);
    EXPECT_EQ(311, p.x);
    EXPECT_EQ(233, p.y);
    EXPECT_EQ(p.x, 1024 - (p.x + p.width)) << "as much room left as right";

    // A desktop that does not start at the origin.
    p = PlaceSplashWindow(true, {0, 0, 100, 50}, {-200, 100, 600, 500});
    EXPECT_EQ(150, p.x);
    EXPECT_EQ(275, p.y);
}

TEST(SplashPlacement, TheOddPixelGoesRightAndBelow) {
    SplashPlacement p = PlaceSplashWindow(true, {-1, -1, 100, 200}, {0, 0, 1024, 768});
    ASSERT_EQ(101, p.width);
    ASSERT_EQ(201, p.height);
    EXPECT_EQ(461, p.x);
    EXPECT_EQ(283, p.y);
    EXPECT_EQ(p.x + 1, 1024 - (p.x + p.width));
    EXPECT_EQ(p.y + 1, 768 - (p.y + p.height));
}

TEST(SplashPlacement, AWindowLargerThanTheDesktopTruncatesTowardZero) {
    SplashPlacement p = PlaceSplashWindow(true, {0, 0, 1101, 869}, {0, 0, 1024, 768});
    EXPECT_EQ(-38, p.x);  // -77 / 2
    EXPECT_EQ(-50, p.y);  // -101 / 2
}

TEST(SplashPlacement, UnknownBitmapSizeLeavesItToTheWindowSystem) {
    SplashPlacement p = PlaceSplashWindow(false, {0, 0, 400, 300}, {0, 0, 1024, 768});
    EXPECT_EQ(static_cast<int32_t>(0x80000000u), p.x);
    EXPECT_EQ(0, p.y);
    EXPECT_EQ(static_cast<int32_t>(0x80000000u), p.width);
    EXPECT_EQ(0, p.height);
}

TEST(SplashMessages, EachMessageGetsItsAction) {
    const uintptr_t window = 0x1234;
    EXPECT_EQ(SplashTearDown, DecideSplashMessage(0x0002, 0, window));
    EXPECT_EQ(SplashPaint, DecideSplashMessage(0x000F, 0, window));
    EXPECT_EQ(SplashAnswerZero, DecideSplashMessage(0x0014, 0x99, window));
    EXPECT_EQ(SplashRealizeAndTell, DecideSplashMessage(0x030F, 0, window));
    EXPECT_EQ(SplashRealizeQuietly, DecideSplashMessage(0x0311, 0x5678, window));
    EXPECT_EQ(SplashRealizeQuietly, DecideSplashMessage(0x0311, 0, window));
    for (uint32_t other : {0x0001u, 0x0010u, 0x0012u, 0x0084u, 0x0400u, 0x0401u, 0x0310u}) {
        EXPECT_EQ(SplashPassOn, DecideSplashMessage(other, window, window)) << other;
    }
}

TEST(SplashMessages, APaletteChangeOfItsOwnDoesNothing) {
    const uintptr_t window = 0x1234;
    EXPECT_EQ(SplashAnswerZero, DecideSplashMessage(0x0311, window, window));
}

TEST(SplashMessages, OnlyTheThreadMessageClosesTheSplash) {
    EXPECT_TRUE(IsSplashCloseRequest(0, 0x0400));
    EXPECT_FALSE(IsSplashCloseRequest(0x1234, 0x0400)) << "WM_USER sent to the window";
    EXPECT_FALSE(IsSplashCloseRequest(0, 0x0401));
    EXPECT_FALSE(IsSplashCloseRequest(0, 0x0012));
    EXPECT_FALSE(IsSplashCloseRequest(0, 0x0002));
}

}  // namespace
