#include <gtest/gtest.h>

#include "text/text.h"

namespace {

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    const Text text = FromCodePage(bytes);
    ASSERT_EQ(text.size(), 256u);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(text[b], static_cast<char16_t>(b)) << b;
    EXPECT_EQ(ToCodePage(text), bytes);
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarksOneForOne) {
    const Text text = u"a\u20AC\u0100\uFFFF\xD83D\xDE00z";
    EXPECT_EQ(ToCodePage(text), "a?????z");
}

TEST(CodePage, BufferVariantsReplaceTheWholeContents) {
    std::string bytes = "previous contents, longer";
    ToCodePage(u"\xE9t\xE9", bytes);
    EXPECT_EQ(bytes, "\xE9t\xE9");
    Text text = u"0123456789";
    FromCodePage(std::string_view("ab\0c", 4), text);
    EXPECT_EQ(text, Text(u"ab\0c", 4));
    ToCodePage(u"", bytes);
    EXPECT_TRUE(bytes.empty());
}

TEST(Utf8, ConvertsBothWaysIncludingSurrogatePairs) {
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    const Text text = FromUtf8(utf8);
    EXPECT_EQ(text, Text(u"A\u00E9\u20AC\xD83D\xDE00"));
    EXPECT_EQ(ToUtf8(text), utf8);
}

TEST(Utf8, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              Text(u"a\uFFFDb"));
    EXPECT_EQ(FromUtf8("\xE2\x82"), Text(u"\uFFFD\uFFFD"));
    EXPECT_EQ(ToUtf8(Text(u"x\xD800y")), "x\xEF\xBF\xBDy");
}

}  // namespace
