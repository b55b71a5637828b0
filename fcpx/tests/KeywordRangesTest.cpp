// Cutting a transcript into keyword ranges and favourite ratings in the three keyword types,
// and the same cut from a transcript as the database stores it.
#include "fcpx/KeywordRanges.h"
#include "fcpx/StoredTranscriptKeywords.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct W {
    const char* name;
    std::int64_t start;
    std::int64_t end;
    bool favorite = false;
    bool newParagraph = false;
};

std::vector<std::shared_ptr<QVWord>> makeWords(std::initializer_list<W> list)
{
    std::vector<std::shared_ptr<QVWord>> words;
    for (const W& w : list) {
        auto word = std::make_shared<QVWord>();
        word->setName(QString::fromUtf8(w.name));
        word->start = w.start;
        word->end = w.end;
        word->favorite = w.favorite;
        word->newParagraph = w.newParagraph;
        words.push_back(word);
    }
    return words;
}

// "start+duration keyword: note" of each range.
std::vector<std::string> describe(const std::vector<QVExportFCPXRange>& ranges)
{
    std::vector<std::string> out;
    for (const auto& r : ranges)
        out.push_back((convertToStringTime(r.start) + "+" + convertToStringTime(r.duration) + " " + r.keyword + ": " +
                       r.note)
                          .toStdString());
    return out;
}

std::vector<std::string> notes(const std::vector<QVExportFCPXRange>& ranges)
{
    std::vector<std::string> out;
    for (const auto& r : ranges)
        out.push_back(r.note.toStdString());
    return out;
}

using Strings = std::vector<std::string>;

TEST(KeywordRanges, AutoCutsAtPausesLongerThanASecond)
{
    const auto words = makeWords({{"one", 0, 500}, {"two", 1500, 2000}, {"three", 3200, 3500}});
    const KeywordRanges cut = cutKeywordRanges({{0, INT64_MAX, "Ann"}}, words, qv::MediaTime::zero(), "auto");
    // 1000 ms between "one" and "two" is no cut; 1200 ms before "three" is.
    EXPECT_EQ(describe(cut.keywordRanges),
              (Strings{"0s+2s Ann: one two", "3200/1000s+300/1000s Ann: three"}));
    // The other types do not cut at pauses.
    EXPECT_EQ(cutKeywordRanges({{0, INT64_MAX, "Ann"}}, words, qv::MediaTime::zero(), "sentence").keywordRanges.size(), 1u);
}

TEST(KeywordRanges, AutoCutsAfterPunctuationOnlyOnceTheNoteIsLongerThan20)
{
    const struct {
        std::initializer_list<W> words;
        Strings notes;
    } cases[] = {
        // 20 characters with a comma: kept open.
        {{{"abcdefghij", 0, 100}, {"abcdefgh,", 100, 200}, {"z", 200, 300}}, {"abcdefghij abcdefgh, z"}},
        // 21 characters: closed after the comma.
        {{{"abcdefghij", 0, 100}, {"abcdefghi,", 100, 200}, {"z", 200, 300}}, {"abcdefghij abcdefghi,", "z"}},
        // Every pausing or stopping mark closes it; a short sentence does not.
        {{{"Yes.", 0, 100}, {"abcdefghijklmnopqr", 100, 200}, {"x—", 200, 300}, {"abcdefghijklmnopqrstu;", 300, 400},
          {"z", 400, 500}},
         {"Yes. abcdefghijklmnopqr x—", "abcdefghijklmnopqrstu;", "z"}},
        {{{"abcdefghijklmnopqrstu", 0, 100}, {"ok", 100, 200}}, {"abcdefghijklmnopqrstu ok"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(notes(cutKeywordRanges({{0, INT64_MAX, "Ann"}}, makeWords(c.words), qv::MediaTime::zero(), "auto")
                            .keywordRanges),
                  c.notes);
}

TEST(KeywordRanges, SentenceCutsAfterStoppingPunctuationOnly)
{
    const auto words = makeWords({{"Hi.", 0, 100}, {"Well,", 100, 200}, {"really?", 200, 300}, {"Yes!", 300, 400},
                                  {"and", 400, 500}, {"so…", 500, 600}, {"on", 600, 700}});
    EXPECT_EQ(notes(cutKeywordRanges({{0, INT64_MAX, "Ann"}}, words, qv::MediaTime::zero(), "sentence").keywordRanges),
              (Strings{"Hi.", "Well, really?", "Yes!", "and so… on"}));
}

TEST(KeywordRanges, SpeakerRangeCutsAtRangesAndParagraphsOnly)
{
    const auto words = makeWords({{"One.", 0, 100}, {"Two,", 5000, 5100}, {"three.", 5200, 5300, false, true},
                                  {"Four.", 6000, 6100}, {"five", 7000, 7100}});
    const std::vector<KeywordSpeakerRange> ranges = {{0, 6000, "Ann"}, {6000, INT64_MAX, "Bob"}};
    for (const char* type : {"speakerRange", "anything else"}) {
        const KeywordRanges cut = cutKeywordRanges(ranges, words, qv::MediaTime::zero(), type);
        EXPECT_EQ(describe(cut.keywordRanges),
                  (Strings{"0s+5100/1000s Ann: One. Two,", "5200/1000s+100/1000s Ann: three.",
                           "6s+1100/1000s Bob: Four. five"}))
            << type;
    }
    // A paragraph mark on a range's first word cuts nothing.
    const auto first = makeWords({{"Hello", 0, 100, false, true}});
    EXPECT_EQ(cutKeywordRanges({{0, INT64_MAX, "Ann"}}, first, qv::MediaTime::zero(), "auto").keywordRanges.size(), 1u);
}

TEST(KeywordRanges, FavouriteRunsBecomeRatingsClosedAtTheRangesLastWord)
{
    const auto words = makeWords({{"a", 0, 100, true}, {"b", 100, 200, true}, {"c", 200, 300, true},
                                  {"d", 300, 400, true}, {"e", 400, 500, true}, {"f", 500, 600},
                                  {"g", 600, 700, true}, {"h", 700, 800}});
    const KeywordRanges cut =
        cutKeywordRanges({{0, 300, "Ann"}, {300, INT64_MAX, "Bob"}}, words, qv::MediaTime::zero(), "speakerRange");
    EXPECT_EQ(describe(cut.favoriteRanges),
              (Strings{"0s+300/1000s : a b c", "300/1000s+200/1000s : d e", "600/1000s+100/1000s : g"}));
}

TEST(KeywordRanges, RangesWithoutWordsStillNameTheirSpeaker)
{
    const auto words = makeWords({{"hello", 5000, 5500}});
    const KeywordRanges cut = cutKeywordRanges({{0, 1000, "Ann"}, {1000, 5000, "Bob"}, {5000, INT64_MAX, "Ann"}}, words,
                                               qv::MediaTime::zero(), "auto");
    EXPECT_EQ(cut.speakerNames, (QStringList{"Ann", "Bob", "Ann"}));
    EXPECT_EQ(describe(cut.keywordRanges), (Strings{"5s+500/1000s Ann: hello"}));
}

TEST(KeywordRanges, TimesCountFromTheStartTimecodeUnreduced)
{
    const auto words = makeWords({{"hello", 1500, 2250}});
    // 01:00:00:00 at 25 frames per second.
    const qv::MediaTime hour(90000, 25);
    EXPECT_EQ(describe(cutKeywordRanges({{0, INT64_MAX, "Ann"}}, words, keywordTimeOrigin(hour), "auto").keywordRanges),
              (Strings{"3601500/1000s+750/1000s Ann: hello"}));
    // An invalid timecode counts from zero.
    EXPECT_EQ(keywordTimeOrigin(qv::MediaTime::invalid()), qv::MediaTime::zero());
    EXPECT_EQ(keywordTimeOrigin(qv::MediaTime::positiveInfinity()), qv::MediaTime::zero());
}

class StoredTranscriptKeywords : public ::testing::Test {
protected:
    StoredTranscriptKeywords()
        : backend(qv::DatabaseBackend::Options{}), client(backend, main, {}), preferences(folder.path())
    {
        preferences.registerDefaults({{kQVExportFCPXKeywordType, kKeywordTypeAuto}});
    }

    std::optional<std::optional<KeywordRanges>> read(const qv::MediaTime& timecodeStart = qv::MediaTime::invalid())
    {
        std::optional<std::optional<KeywordRanges>> result;
        int calls = 0;
        readStoredTranscriptKeywords(client.reference("transcripts/F1"), timecodeStart, preferences,
                                     [&](std::optional<KeywordRanges> ranges) {
                                         ++calls;
                                         result = std::move(ranges);
                                     });
        main.drain();
        EXPECT_LE(calls, 1);
        return result;
    }

    void store(const qv::DatabaseValue& transcript)
    {
        client.reference("transcripts/F1").setValue(transcript);
        main.drain();
    }

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    QTemporaryDir folder;
    qv::Preferences preferences;
};

TEST_F(StoredTranscriptKeywords, LeavesOutWhatIsDeletedNamelessOrWithoutASpeaker)
{
    using V = qv::DatabaseValue;
    store(V::object({
        {"words", V::object({
                      {"w3", V::object({{"name", "world."}, {"start", 600}, {"end", 900}, {"favorite", true}})},
                      {"w1", V::object({{"name", "Hello"}, {"start", 100}, {"end", 500}})},
                      {"w2", V::object({{"name", "cruel"}, {"start", 500}, {"end", 600}, {"deleted", true}})},
                      {"w4", V::object({{"start", 950}, {"end", 990}})},
                      {"w5", V::object({{"name", "Lost"}, {"start", 2000}, {"end", 2100}})},
                      {"w6", V::object({{"name", "Again"}, {"start", 3000}, {"end", 3100}})},
                  })},
        {"speakers", V::object({
                         {"s1", V::object({{"color", "blue"}})},
                         {"s2", V::object({{"name", "Gone"}, {"deleted", true}})},
                     })},
        {"speaker_ranges", V::object({
                               {"r3", V::object({{"speaker", "s1"}, {"start", 3000}})},
                               {"r1", V::object({{"speaker", "s1"}, {"start", 0}})},
                               {"r2", V::object({{"speaker", "s2"}, {"start", 2000}})},
                               {"r4", V::object({{"speaker", "s1"}, {"start", 2500}, {"deleted", true}})},
                           })},
    }));
    const auto result = read(qv::MediaTime(3600, 1));
    ASSERT_TRUE(result && *result);
    const KeywordRanges& cut = **result;
    // The range of the deleted speaker says nothing, and the unnamed speaker is "Unknown".
    EXPECT_EQ(describe(cut.keywordRanges),
              (Strings{"3600100/1000s+800/1000s Unknown: Hello world.", "3603s+100/1000s Unknown: Again"}));
    EXPECT_EQ(describe(cut.favoriteRanges), (Strings{"3600600/1000s+300/1000s : world."}));
    EXPECT_EQ(cut.speakerNames, (QStringList{"Unknown", "Unknown"}));
}

TEST_F(StoredTranscriptKeywords, EmptyNodesAndMissingTranscriptsStillComplete)
{
    const auto missing = read();
    ASSERT_TRUE(missing);
    EXPECT_FALSE(*missing);

    store(qv::DatabaseValue::object({{"language", "en-US"}}));
    const auto empty = read();
    ASSERT_TRUE(empty && *empty);
    EXPECT_TRUE((*empty)->keywordRanges.empty());
    EXPECT_TRUE((*empty)->speakerNames.isEmpty());
}

TEST_F(StoredTranscriptKeywords, ReadsTheKeywordTypeFromThePreferences)
{
    using V = qv::DatabaseValue;
    store(V::object({
        {"words", V::object({{"a", V::object({{"name", "Hi."}, {"start", 0}, {"end", 100}})},
                             {"b", V::object({{"name", "there"}, {"start", 200}, {"end", 300}})}})},
        {"speakers", V::object({{"s", V::object({{"name", "Ann"}})}})},
        {"speaker_ranges", V::object({{"r", V::object({{"speaker", "s"}, {"start", 0}})}})},
    }));
    preferences.setObject(kQVExportFCPXKeywordType, kKeywordTypeSentence);
    const auto result = read();
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(notes((*result)->keywordRanges), (Strings{"Hi.", "there"}));
}

}  // namespace
