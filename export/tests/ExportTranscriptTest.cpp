#include "export/ExportTranscript.h"

#include "export/tests/ExportFixture.h"
#include "export/tests/QStringPrinting.h"

namespace qv {
namespace {

TEST(ExportTranscriptTest, WordsGoToTheRangeTheirStartLiesIn) {
    struct Case {
        const char* name;
        std::vector<int64_t> rangeStarts;
        std::vector<int64_t> wordStarts;
        std::vector<int64_t> expected;
    };
    const std::vector<Case> cases = {
        {"ranges in order", {0, 1000, 5000}, {0, 999, 1000, 4999, 5000, 900000}, {0, 0, 1, 1, 2, 2}},
        {"a word before the first range belongs to none", {500}, {100, 500}, {-1, 0}},
        {"a range starting where the next starts is empty", {0, 1000, 1000}, {999, 1000}, {0, 2}},
        {"no ranges", {}, {10}, {-1}},
        {"ranges out of order: the first holding the word", {0, 1000, 500}, {700, 1200}, {0, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rangeIndexesOfWords(c.rangeStarts, c.wordStarts), c.expected);
    }
}

class ExportTranscriptFromModelTest : public test::ExportFixture {};

TEST_F(ExportTranscriptFromModelTest, ReadsRangesWordsStartWordsAndDuration) {
    ad.startWords["en-US"] = QStringList{"the"};
    addRange("Ann", 1000, "red");
    addRange("Bob", 5000);
    addWord("early", 0, 500);
    addWord("Hello", 1000, 1500)->favorite = true;
    addWord("there.", 1600, 2000);
    addWord("Yes", 5000, 5400)->newParagraph = true;

    const ExportTranscript transcript = exportTranscriptFromModel(ad);
    EXPECT_EQ(transcript.startWords, QStringList{"the"});
    EXPECT_EQ(transcript.duration, 10000);
    ASSERT_EQ(transcript.ranges.size(), 2u);
    EXPECT_EQ(transcript.ranges[0].speakerName, "Ann");
    EXPECT_EQ(transcript.ranges[0].speakerColor, "red");
    ASSERT_EQ(transcript.ranges[0].words.size(), 2u);
    EXPECT_EQ(transcript.ranges[0].words[0].name, "Hello");
    EXPECT_TRUE(transcript.ranges[0].words[0].favorite);
    ASSERT_EQ(transcript.ranges[1].words.size(), 1u);
    EXPECT_TRUE(transcript.ranges[1].words[0].newParagraph);

    ad.currentFile->language = "xx";
    EXPECT_TRUE(exportTranscriptFromModel(ad).startWords.isEmpty());
}

}  // namespace
}  // namespace qv
