#include "model/StringPunctuation.h"
#include "model/TextUtilities.h"

#include <gtest/gtest.h>


namespace {

TEST(ContainsCharacters, BracketExpressionCaseInsensitive)
{
    struct Case {
        QString receiver;
        QString characters;
        bool expected;
    };
    const Case cases[] = {
        {"well, yes", ",.?", true},
        {"well yes", ",.?", false},
        {"abc", "B", true},
        {"m", "a-z", true},   // a range, as the characters go in verbatim
        {"-", "a-z", false},
        {"abc", "", false},
        {"abc", "[", false},  // does not compile
        {"x]", "]", true},    // a bracket first in the set is a member
        {"", ",", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(containsCharacters(c.receiver, c.characters), c.expected)
            << c.receiver.toStdString() << " / " << c.characters.toStdString();
    EXPECT_TRUE(containsPunctuationCharacters("a-b", "-"));
    EXPECT_FALSE(containsPunctuationCharacters("m", "a-z"));
    EXPECT_FALSE(containsPunctuationCharacters("abc", ""));
}

TEST(CharacterClasses, OnlyTests)
{
    EXPECT_TRUE(containsOnlyPunctuationOrSymbols(u"\u2014"_qs));
    EXPECT_TRUE(containsOnlyPunctuationOrSymbols("$"));
    EXPECT_FALSE(containsOnlyPunctuationOrSymbols("a."));
    EXPECT_FALSE(containsOnlyPunctuationOrSymbols(""));
    EXPECT_TRUE(containsOnlyWhitespace(u" \t\u00A0"_qs));
    EXPECT_FALSE(containsOnlyWhitespace("\n"));
    EXPECT_FALSE(containsOnlyWhitespace(""));
    EXPECT_TRUE(containsOnlyPunctuationSymbolsOrWhitespace(" $. "));
    EXPECT_FALSE(containsOnlyPunctuationSymbolsOrWhitespace(" $.\n"));
}

TEST(CharacterClasses, OpeningAndClosingMarks)
{
    EXPECT_TRUE(hasOpeningPunctuation(u"\u201CHello"_qs));
    EXPECT_TRUE(hasOpeningPunctuation("(a"));
    EXPECT_FALSE(hasOpeningPunctuation("a("));
    EXPECT_FALSE(hasOpeningPunctuation(""));
    EXPECT_TRUE(hasClosingPunctuation(u"end\u201D"_qs));
    EXPECT_TRUE(hasClosingPunctuation("end]"));
    EXPECT_FALSE(hasClosingPunctuation(u"end\u201C"_qs));
    EXPECT_FALSE(hasClosingPunctuation(""));
}

TEST(TrailingPunctuation, Classes)
{
    struct Case {
        QString word;
        bool pausing;
        bool pausingOrStopping;
        bool stopping;
    };
    const Case cases[] = {
        {"yes,", true, true, false},
        {"end.)", false, true, true},
        {"U.S.A", false, false, false},
        {"Mr.", false, true, true},
        {u"wait\u2014"_qs, true, true, false},
        {"why?\u201D ", false, true, true},
        {"I.", false, true, true},  // a one-letter word ends a sentence too
        {"a,", true, true, false},
        {"$5.", false, true, true},
        {"...", false, false, false},
        {"", false, false, false},
        {"word", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hasPausingPunctuation(c.word), c.pausing) << c.word.toStdString();
        EXPECT_EQ(hasPausingOrStoppingPunctuation(c.word), c.pausingOrStopping) << c.word.toStdString();
        EXPECT_EQ(hasStoppingPunctuation(c.word), c.stopping) << c.word.toStdString();
    }
}

TEST(PunctuationRuns, ExtractAndStrip)
{
    EXPECT_EQ(extractLeadingPunctuation(u"\u201CHello"_qs), u"\u201C"_qs);
    EXPECT_EQ(extractLeadingPunctuation("("), u"");
    EXPECT_FALSE(extractLeadingPunctuation("(").isNull());
    EXPECT_EQ(extractLeadingPunctuation("..."), u"...");
    EXPECT_EQ(extractLeadingPunctuation("word"), u"");
    EXPECT_EQ(extractTrailingPunctuation(u"Stop!\u201D"_qs), u"!\u201D"_qs);
    EXPECT_EQ(extractTrailingPunctuation("a"), u"");
    EXPECT_EQ(stripWhitespace(u"\t a b \u00A0"_qs), u"a b");
    EXPECT_EQ(stripWhitespace("\na\n"), u"\na\n");
    EXPECT_EQ(stripPunctuationSymbolsAndWhitespace(u" \u201C$1,000,\u201D "_qs), u"1,000");
}

TEST(Ranges, InsideText)
{
    struct Case {
        std::uint64_t location;
        std::uint64_t length;
        bool valid;
    };
    const Case cases[] = {
        {3, 0, true}, {2, 2, false}, {0, 3, true}, {2, 1, true}, {4, 0, false}, {3, 1, false},
        {UINT64_MAX, 2, false}, {1, UINT64_MAX, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rangeIsValid(c.location, c.length, "abc"), c.valid) << c.location << "," << c.length;
    EXPECT_TRUE(rangeIsValid(0, 0, ""));
    EXPECT_FALSE(rangeIsValid(0, 1, ""));
}

TEST(Median, Table)
{
    EXPECT_EQ(median(std::vector<std::int64_t>{}), 0);
    EXPECT_EQ(median(std::vector<std::int64_t>{7}), 7);
    EXPECT_EQ(median(std::vector<std::int64_t>{1, 3, 2}), 2);
    EXPECT_EQ(median(std::vector<std::int64_t>{1, 2, 3, 4}), 2);
    EXPECT_EQ(median(std::vector<std::int64_t>{-1, -2}), -1);
    EXPECT_EQ(median(std::vector<std::int64_t>{INT64_MAX, INT64_MAX}), INT64_MAX);
    EXPECT_EQ(median(std::vector<double>{2.5, 0.5}), 1);
}

TEST(SmallUtilities, Colour)
{
    const QColor brand = colorWith255sRGBRed(255, 65, 20, 0.5);
    EXPECT_EQ(brand.red(), 255);
    EXPECT_EQ(brand.green(), 65);
    EXPECT_EQ(brand.blue(), 20);
    EXPECT_NEAR(brand.alphaF(), 0.5, 0.01);
}

}  // namespace
