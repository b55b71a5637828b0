#include "CustomWordsFixture.h"
#include "search/CustomWords.h"

namespace qv::search {
namespace {

TEST(CustomWordText, EntriesAreTrimmedAndTheirTabsBecomeBlanks)
{
    const struct {
        const char* entry;
        const char* stored;
    } cases[] = {
        {"  Quorum, ", "Quorum"},
        {"Smith, Jones", "Smith, Jones"},
        {"\"Ann Lee\".", "Ann Lee"},
        {"Ann\tLee", "Ann Lee"},
        {"\tAnn\t\tLee\t", "Ann Lee"},
        {"Ann\t \tLee", "Ann  Lee"},
        {" Ann \t Lee ", "Ann Lee"},
        {"...", ""},
        {" \t ", ""},
        {"¿Qué?", "Qué"},
        {"e\u0301cole", "e\u0301cole"},
        {"\u05E9\u05DC\u05D5\u05DD!", "\u05E9\u05DC\u05D5\u05DD"},
        {"C++", "C++"},
        {"(#1)", "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(customWordToStore(QString::fromUtf8(c.entry)), QString::fromUtf8(c.stored)) << c.entry;
}

TEST(CustomWordText, LinesOfTheEntryCountWhenNotEmptyAndOfAtMostFiveWords)
{
    const QString text = QStringLiteral("Quorum\n\n   \none two three four five\none two three four five six\n"
                                        "  Lumen.  \n,,,\nAnn\tLee\tand\tthe\tothers\there");
    EXPECT_EQ(enteredCustomWords(text),
              (QStringList{"Quorum", "one two three four five", "  Lumen.  ", "Ann\tLee\tand\tthe\tothers\there"}));
    EXPECT_TRUE(enteredCustomWords(QString()).isEmpty());
}

class CustomWordWrites : public CustomWordsFixture {};

TEST_F(CustomWordWrites, EachDestinationGetsTheWordsItDoesNotHoldOnce)
{
    storeElsewhere("users/U1/custom_words", "+a", "Quorum");
    storeElsewhere("files/F1/custom_words", "+b", "Lumen");
    addNewWords(ad, {"Quorum", " Lumen,", "Vell", "Vell", "vell", "...", "Ann\tLee"}, {kCustomWordsAccount, kCustomWordsFile});
    EXPECT_EQ(accountWords(), (QStringList{"Quorum", "Lumen", "Vell", "vell", "Ann Lee"}));
    EXPECT_EQ(fileWords(), (QStringList{"Lumen", "Quorum", "Vell", "vell", "Ann Lee"}));

    // Once the mirrors hold them, nothing is written again.
    addNewWords(ad, {"Vell", "Ann Lee"}, {kCustomWordsAccount, kCustomWordsFile});
    EXPECT_EQ(accountWords().size(), 5);
    EXPECT_EQ(fileWords().size(), 5);
}

TEST_F(CustomWordWrites, OnlyTheChosenDestinationAndNothingWithoutAnOpenFile)
{
    addNewWords(ad, {"Quorum"}, {kCustomWordsFile});
    EXPECT_EQ(fileWords(), QStringList{"Quorum"});
    EXPECT_TRUE(accountWords().isEmpty());

    ad.currentFile = nullptr;
    addNewWords(ad, {"Lumen"}, {kCustomWordsFile, kCustomWordsAccount});
    EXPECT_EQ(accountWords(), QStringList{"Lumen"});
    EXPECT_EQ(stored("files/F1/custom_words"), QStringList{"Quorum"});
}

TEST_F(CustomWordWrites, ALongWordIsStoredWhole)
{
    const QString word(5000, QChar('x'));
    addNewWords(ad, {word}, {kCustomWordsAccount});
    EXPECT_EQ(accountWords(), QStringList{word});
}

TEST_F(CustomWordWrites, RemovingAWordRemovesEveryKeyThatHoldsIt)
{
    storeElsewhere("files/F1/custom_words", "+a", "Quorum");
    storeElsewhere("files/F1/custom_words", "+b", "Lumen");
    storeElsewhere("files/F1/custom_words", "+c", "Quorum");
    removeCustomWord(ad.currentFile->customWords, ad.currentFile->customWordsRef, "Quorum");
    EXPECT_EQ(fileWords(), QStringList{"Lumen"});
}

TEST_F(CustomWordWrites, ShownWordsAreTheUnionOnceEachSortedWithoutCaseAndTheTooltipNamesTheLists)
{
    storeElsewhere("files/F1/custom_words", "+a", "zeta");
    storeElsewhere("files/F1/custom_words", "+b", "Alpha");
    storeElsewhere("files/F1/custom_words", "+c", "beta");
    storeElsewhere("files/F1/custom_words", "+d", "zeta");
    storeElsewhere("users/U1/custom_words", "+e", "Beta");
    storeElsewhere("users/U1/custom_words", "+f", "zeta");
    EXPECT_EQ(shownCustomWords(ad, true, true), (QStringList{"Alpha", "beta", "Beta", "zeta"}));
    EXPECT_EQ(shownCustomWords(ad, false, true), (QStringList{"Beta", "zeta"}));
    EXPECT_EQ(shownCustomWords(ad, true, false), (QStringList{"Alpha", "beta", "zeta"}));
    EXPECT_TRUE(shownCustomWords(ad, false, false).isEmpty());

    EXPECT_EQ(tooltipForCustomWord(ad, "zeta"), "Exists in File & Account");
    EXPECT_EQ(tooltipForCustomWord(ad, "beta"), "Exists in File");
    EXPECT_EQ(tooltipForCustomWord(ad, "Beta"), "Exists in Account");
    EXPECT_EQ(tooltipForCustomWord(ad, "gamma"), QString());
}

}  // namespace
}  // namespace qv::search
