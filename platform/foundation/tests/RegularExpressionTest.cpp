#include "platform/foundation/RegularExpression.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Whether `text` contains any of `characters`, with the characters put into a bracket
// expression as they are: the way the punctuation tests build their patterns.
bool containsAnyOf(const QString& text, const QString& characters)
{
    RegularExpression expression("[" + characters + "]",
                                 RegularExpression::Option::CaseInsensitive);
    return expression.matchesAnywhere(text);
}

TEST(RegularExpressionTest, BracketPatternBuiltFromRawCharacters)
{
    const struct {
        const char16_t* text;
        const char16_t* characters;
        bool matches;
    } cases[] = {
        {u"yes, no", u",.?", true},
        {u"yes no", u",.?", false},
        {u"abc", u"B", true},             // case-insensitive
        {u"xbz", u"a-c", true},           // a range
        {u"x-z", u"a-c", false},          // the dash is not itself a member
        {u"a", u"[ab]", true},            // a nested set: [[ab]] is {a, b}
        {u"[", u"[ab]", false},
        {u"hello", u",.\u2026?!;:-\u2013\u2014", true},  // ":-\u2013" is a range over letters
        {u"end\u2014", u"\u2013\u2014", true},
    };
    for (const auto& c : cases) {
        QString text = QString::fromUtf16(c.text);
        QString characters = QString::fromUtf16(c.characters);
        EXPECT_EQ(containsAnyOf(text, characters), c.matches)
            << text.toStdString() << " / " << characters.toStdString();
    }
}

TEST(RegularExpressionTest, InvalidPatternAnswersNoMatchAndLogs)
{
    for (QString characters : {"[", "\\", "z-a"}) {
        LogCapture log;
        RegularExpression expression("[" + characters + "]");
        EXPECT_FALSE(expression.isValid()) << characters.toStdString();
        EXPECT_FALSE(expression.matchesAnywhere("[\\za"));
        EXPECT_FALSE(expression.matchesWhole("["));
        EXPECT_TRUE(expression.allMatches("[[[").empty());
        EXPECT_EQ(expression.replaceAll("a[b", "x"), "a[b");
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find("does not compile"), std::string::npos);
    }
    LogCapture log;
    EXPECT_FALSE(RegularExpression("").matchesAnywhere("a"));
}

TEST(RegularExpressionTest, WholeMatchUsesUnicodeWhitespace)
{
    RegularExpression blanks("\\s+");
    EXPECT_TRUE(blanks.matchesWhole(u" \u00A0\t"_qs));
    EXPECT_FALSE(blanks.matchesWhole(" a "));
    EXPECT_TRUE(blanks.matchesAnywhere(" a "));
    EXPECT_TRUE(RegularExpression("\\n+").matchesWhole("\n\n"));
}

TEST(RegularExpressionTest, RangesAreInUtf16CodeUnits)
{
    auto matches = RegularExpression("(\\d)(x)?").allMatches(u"\U0001F600a1b2x"_qs);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].range(), (TextRange{3, 1}));
    EXPECT_EQ(matches[0].range(2), TextRange{});  // group 2 took no part
    EXPECT_EQ(matches[1].range(), (TextRange{5, 2}));
    EXPECT_EQ(matches[1].range(2), (TextRange{6, 1}));
    EXPECT_EQ(matches[1].range(9), TextRange{});

    auto first = RegularExpression(u"^[-\u2013\u2014](\\S)"_qs).firstMatch(u"\u2014so"_qs);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->range(1), (TextRange{1, 1}));
    EXPECT_FALSE(RegularExpression("q").firstMatch("abc"));
}

TEST(RegularExpressionTest, ReplaceWithTemplates)
{
    RegularExpression trailingDash(u"(\\S)[-\u2013\u2014]$"_qs);
    EXPECT_EQ(trailingDash.replaceAll(u"word\u2014"_qs, "$1"), "word");
    EXPECT_EQ(trailingDash.replaceAll("no dash", "$1"), "no dash");
    EXPECT_EQ(RegularExpression("(\\w+)@(\\w+)").replaceAll("a@b c@d", "$2 at $1"),
              "b at a d at c");
    EXPECT_EQ(RegularExpression("\\d").replaceAll("a1b2", "\\$"), "a$b$");
    EXPECT_EQ(RegularExpression("x").replaceAll("xxx", ""), "");
    EXPECT_EQ(RegularExpression("\\s+").replaceAll(u"a \u00A0 b"_qs, " "), "a b");
}

}  // namespace
}  // namespace qv
