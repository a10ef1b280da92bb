// The sample player's slide deck format and where it finds the content.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "presentation_builder.h"
#include "presentation_content.h"
#include "presentation_reader.h"
#include "presentation_test_support.h"
#include "slide_deck.h"

namespace {

std::vector<Slide> Parse(const std::string &text) {
    return ParseSlideDeck(reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

struct DeckCase {
    const char *name;
    std::string content;
    std::vector<Slide> slides;
};

TEST(SlideDeck, SplitsTitlesBodiesAndImages) {
    const DeckCase cases[] = {
        {"empty", "", {}},
        {"only separators and blanks", "\n---\n  \n---\n", {}},
        {"one slide", "Hello\nworld", {{u"Hello", u"world", u""}}},
        {"CR LF and a byte order mark",
         "\xEF\xBB\xBFTitle\r\nline 1\r\nline 2\r\n---\r\nNext\r\n",
         {{u"Title", u"line 1\nline 2", u""}, {u"Next", u"", u""}}},
        {"image line", "Pic\nimage: photo.bmp\nbelow", {{u"Pic", u"below", u"photo.bmp"}}},
        {"blank lines around the body", "\n\nT\n\nbody\n\n", {{u"T", u"body", u""}}},
        {"Japanese", "\xE8\xA1\xA8\xE7\xA4\xBA\n\xE3\x81\x82", {{u"\u8868\u793A", u"\u3042", u""}}},
        {"bytes that are no UTF-8",
         "A\xFF"
         "B\xC3",
         {{u"A\uFFFDB\uFFFD", u"", u""}}},
        {"a dash line that is not a separator", "T\n----\n- - -", {{u"T", u"----\n- - -", u""}}},
        {"zeros after the text", std::string("T\nbody\n\0\0\0", 10), {{u"T", u"body", u""}}},
        {"beyond the basic plane", "\xF0\x9F\x98\x80", {{u"\U0001F600", u"", u""}}},
    };
    for (const DeckCase &c : cases) {
        std::vector<Slide> slides = Parse(c.content);
        ASSERT_EQ(slides.size(), c.slides.size()) << c.name;
        for (size_t i = 0; i < slides.size(); i++) {
            EXPECT_TRUE(slides[i].title == c.slides[i].title) << c.name << " " << i;
            EXPECT_TRUE(slides[i].body == c.slides[i].body) << c.name << " " << i;
            EXPECT_TRUE(slides[i].image == c.slides[i].image) << c.name << " " << i;
        }
    }
}

// The content the builder stored, found again as a player finds it, with
// or without entries after it, signed or not; the builder may pad it with
// a few zeros.
TEST(SamplePlayerContent, RunsToTheNextEntryOrTheTrailer) {
    std::vector<uint8_t> content = SampleBytes(700, 3);
    for (int entries = 0; entries <= 2; entries++) {
        for (bool sign : {false, true}) {
            BuildRequest request;
            request.launcherImage = MakePeImage(false, 1024);
            request.content = content;
            for (int i = 0; i < entries; i++) {
                request.entries.push_back(
                    MakeEntry("e" + std::to_string(i), "bin", SampleBytes(300, i), i == 1,
                              i == 0 ? EntryGroup::ExeFolder : EntryGroup::TempFolder));
            }
            std::vector<uint8_t> file = BuildOrFail(request);
            if (sign) {
                AppendCertificateTable(&file, false, 256);
            }
            MemoryByteReader memory = MakeMemoryByteReader(file.data(), file.size());
            ContentSpan span;
            ASSERT_TRUE(FindPresentationContent(&memory.reader, uint32_t(file.size()), &span))
                << entries << " " << sign;
            ASSERT_GE(span.size, content.size()) << entries << " " << sign;
            ASSERT_LT(span.size, content.size() + 8) << entries << " " << sign;
            EXPECT_TRUE(std::equal(content.begin(), content.end(), file.begin() + span.start));
            EXPECT_TRUE(std::all_of(file.begin() + span.start + long(content.size()),
                                    file.begin() + span.start + span.size,
                                    [](uint8_t byte) { return byte == 0; }));
        }
    }
    std::vector<uint8_t> plain = MakePeImage(false, 1024);
    MemoryByteReader memory = MakeMemoryByteReader(plain.data(), plain.size());
    ContentSpan span;
    EXPECT_FALSE(FindPresentationContent(&memory.reader, uint32_t(plain.size()), &span));
}

}  // namespace
