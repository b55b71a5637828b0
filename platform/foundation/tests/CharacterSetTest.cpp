#include "platform/foundation/CharacterSet.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

struct ClassCase {
    char16_t unit;
    bool whitespace, punctuation, symbol, upper, lower;
};

TEST(CharacterSetTest, ClassesFollowTheUnicodeCategoriesPerCodeUnit)
{
    const ClassCase cases[] = {
        {u' ', true, false, false, false, false},
        {u'\t', true, false, false, false, false},
        {u'\u00A0', true, false, false, false, false},  // no-break space is Zs
        {u'\u2009', true, false, false, false, false},  // thin space
        {u'\n', false, false, false, false, false},     // line breaks are not whitespace
        {u'\r', false, false, false, false, false},
        {u'\u0085', false, false, false, false, false},
        {u'\u2028', false, false, false, false, false},
        {u'\u000B', false, false, false, false, false},
        {u'.', false, true, false, false, false},
        {u'_', false, true, false, false, false},       // connector
        {u'\u2014', false, true, false, false, false},  // em dash
        {u'\u201C', false, true, false, false, false},  // initial quote
        {u'\u00BB', false, true, false, false, false},  // final quote
        {u'(', false, true, false, false, false},
        {u'$', false, false, true, false, false},
        {u'+', false, false, true, false, false},
        {u'^', false, false, true, false, false},       // modifier symbol
        {u'\u00A9', false, false, true, false, false},  // other symbol
        {u'A', false, false, false, true, false},
        {u'\u01C5', false, false, false, true, false},  // title case Dz
        {u'a', false, false, false, false, true},
        {u'\u00DF', false, false, false, false, true},
        {u'7', false, false, false, false, false},
        {u'\xD83D', false, false, false, false, false},  // high surrogate
        {u'\xDE00', false, false, false, false, false},  // low surrogate
    };
    for (const auto& c : cases) {
        QChar unit(c.unit);
        SCOPED_TRACE(static_cast<int>(c.unit));
        EXPECT_EQ(CharacterSet::whitespace().contains(unit), c.whitespace);
        EXPECT_EQ(CharacterSet::punctuation().contains(unit), c.punctuation);
        EXPECT_EQ(CharacterSet::symbols().contains(unit), c.symbol);
        EXPECT_EQ(CharacterSet::uppercaseLetters().contains(unit), c.upper);
        EXPECT_EQ(CharacterSet::lowercaseLetters().contains(unit), c.lower);
    }
}

TEST(CharacterSetTest, UnionAndExplicitCharacters)
{
    auto set = CharacterSet::whitespace() | CharacterSet::fromCharacters("xy");
    EXPECT_TRUE(set.contains(u' '));
    EXPECT_TRUE(set.contains(u'y'));
    EXPECT_FALSE(set.contains(u'z'));
    EXPECT_FALSE(CharacterSet::fromCharacters("").contains(u'a'));
}

TEST(CharacterSetTest, TrimmingRemovesOnlyTheEnds)
{
    auto all = CharacterSet::punctuation() | CharacterSet::symbols() | CharacterSet::whitespace();
    EXPECT_EQ(trimmed(u" \u201C$1,000,\u201D "_qs, all), "1,000");
    EXPECT_EQ(trimmed(" \t a b\t", CharacterSet::whitespace()), "a b");
    EXPECT_EQ(trimmed("\nword\n", CharacterSet::whitespace()), "\nword\n");
    EXPECT_EQ(trimmed("...", all), "");
    EXPECT_EQ(trimmed("", all), "");
}

TEST(CharacterSetTest, SplittingKeepsEmptyPieces)
{
    EXPECT_EQ(splitByString("a  b ", " "), (QStringList{"a", "", "b", ""}));
    EXPECT_EQ(splitByString("", " "), (QStringList{""}));
    EXPECT_EQ(splitByString("a--b", "--"), (QStringList{"a", "b"}));
    EXPECT_EQ(splitByString("ab", ""), (QStringList{"ab"}));

    EXPECT_EQ(splitByCharacters(u"a \u00A0b\tc\nd"_qs, CharacterSet::whitespace()),
              (QStringList{"a", "", "b", "c\nd"}));
    EXPECT_EQ(splitByCharacters(" ", CharacterSet::whitespace()), (QStringList{"", ""}));
    EXPECT_EQ(splitByCharacters("", CharacterSet::whitespace()), (QStringList{""}));
}

}  // namespace
}  // namespace qv
