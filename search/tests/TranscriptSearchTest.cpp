#include "search/LikePattern.h"
#include "search/TranscriptSearch.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace qv::search {
namespace {

// A transcript built from a line of text: one word per blank-separated token, 1 s each, all in
// one speaker range unless `rangeStarts` splits them (positions where a new range begins).
struct Transcript {
    QVOrderedSet<QVWord> words;
    QVOrderedSet<QVSpeakerRange> ranges;
    std::vector<std::shared_ptr<QVSpeaker>> speakers;

    explicit Transcript(const QString& text, std::vector<int> rangeStarts = {0})
    {
        const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        std::shared_ptr<QVSpeakerRange> range;
        for (qsizetype i = 0; i < tokens.size(); ++i) {
            if (std::find(rangeStarts.begin(), rangeStarts.end(), int(i)) != rangeStarts.end()) {
                auto speaker = std::make_shared<QVSpeaker>();
                speaker->name = QStringLiteral("Speaker %1").arg(speakers.size() + 1);
                speakers.push_back(speaker);
                range = std::make_shared<QVSpeakerRange>();
                range->speaker = speaker;
                range->start = i * 1000;
                ranges.add(range);
            }
            auto word = std::make_shared<QVWord>();
            word->setName(tokens[i]);
            word->start = i * 1000;
            word->end = i * 1000 + 900;
            word->speakerRange = range;
            words.add(word);
        }
    }
    // `count` filler words "wN" with a full stop after the positions in `stops`.
    static QString fillers(int count, std::vector<int> stops = {})
    {
        QStringList tokens;
        for (int i = 0; i < count; ++i)
            tokens << QStringLiteral("w%1").arg(i)
                          + (std::find(stops.begin(), stops.end(), i) != stops.end() ? QStringLiteral(".") : QString());
        return tokens.join(QLatin1Char(' '));
    }
    void rename(int position, const QString& name) { words.at(position)->setName(name); }

    SearchOutcome search(TranscriptSearch& engine, const QString& text, std::shared_ptr<QVSpeaker> filter = nullptr,
                         bool typing = true)
    {
        return engine.search(text, typing, words, ranges, filter);
    }
};

std::vector<std::pair<std::int64_t, std::int64_t>> windows(const SearchOutcome& outcome)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> found;
    for (const auto& result : outcome.results)
        found.emplace_back(result.startWordIndex, result.endWordIndex);
    return found;
}

TEST(LikePatternTest, MatchesWholeWordsIgnoringCaseAndDiacritics)
{
    struct Case {
        const char* pattern;
        const char* word;
        bool matches;
    };
    const Case cases[] = {
        {"Cat", "cat", true},       {"Cat", "CAT", true},      {"Cat", "Çat", true},      {"cat", "cats", false},
        {"c*t", "cart", true},      {"c*t", "ct", true},       {"c*t", "cartoon", false}, {"c?t", "cut", true},
        {"c?t", "ct", false},       {"*", "", true},           {"", "", true},            {"", "a", false},
        {"a\\b", "a\\b", true},     {"a\\b", "ab", false},     {"100%", "100%", true},    {"100%", "1000", false},
        {"a_b", "a_b", true},       {"a_b", "axb", false},     {"[ab]", "a", false},      {"a.c", "abc", false},
        {"e\u0301", "É", true},     {"שלום", "שלום", true},    {"?", "\U0001F600", true}, {"*ing", "singing", true},
        {"s*g*g", "singing", true}, {"**x", "x", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LikePattern(QString::fromUtf8(c.pattern)).matches(foldForMatching(QString::fromUtf8(c.word))), c.matches)
            << c.pattern << " against " << c.word;
}

TEST(TranscriptSearchTest, ShortTextsShowTheirMessages)
{
    Transcript t("cat dog");
    TranscriptSearch engine;
    struct Case {
        const char* text;
        bool typing;
        const char* message;
        std::optional<bool> visible;
        bool resetFocus;
    };
    const Case cases[] = {
        {"c", true, kMinimumCharsMessage, true, false},
        {"", true, kNoSearchResultsMessage, true, false},
        {"c", false, kNoSearchResultsMessage, std::nullopt, true},
        {"", false, kNoSearchResultsMessage, std::nullopt, true},
        {"zebra", true, kNoSearchResultsMessage, true, false},
    };
    for (const Case& c : cases) {
        const SearchOutcome outcome = t.search(engine, QString::fromUtf8(c.text), nullptr, c.typing);
        EXPECT_TRUE(outcome.results.empty()) << c.text;
        EXPECT_EQ(outcome.message, QString::fromLatin1(c.message)) << c.text;
        EXPECT_EQ(outcome.noResultsVisible, c.visible) << c.text;
        EXPECT_EQ(outcome.resetFocus, c.resetFocus) << c.text;
    }
    const SearchOutcome hit = t.search(engine, "cat");
    EXPECT_EQ(hit.noResultsVisible, false);
    EXPECT_EQ(hit.results.size(), 1u);
}

TEST(TranscriptSearchTest, FirstTermIsAPatternLaterTermsAreExact)
{
    Transcript t("cat, CAT Çat cart c*t dog c*t cut");
    TranscriptSearch engine;
    // Each result's found words, by their names.
    auto found = [&](const QString& text) {
        QStringList names;
        for (const auto& result : t.search(engine, text).results)
            for (const auto& word : result.foundWords)
                names << word->name();
        return names;
    };
    EXPECT_EQ(found("Cat"), (QStringList{"cat,", "CAT", "Çat"}));
    EXPECT_EQ(found("c*t"), (QStringList{"cat,", "CAT", "Çat", "cart", "c*t", "c*t", "cut"}));
    // After a word, the star is an ordinary character.
    EXPECT_EQ(found("dog c*t"), (QStringList{"dog", "c*t"}));
    EXPECT_TRUE(found("dog c?t").isEmpty());
    // Later terms are compared without folding diacritics.
    EXPECT_TRUE(found("CAT cät").isEmpty());
    EXPECT_EQ(found("cat çat"), (QStringList{"CAT", "Çat", "Çat"}));
    EXPECT_EQ(found("  ").size(), 0) << "two blanks trim to an empty term that only an empty word matches";
}

TEST(TranscriptSearchTest, OddTextsFindOnlyWhatTheyShould)
{
    Transcript t("a\\b then 100% a_b (xy) 'quoted' .* a\\b");
    TranscriptSearch engine;
    struct Case {
        QString text;
        std::size_t results;
    };
    const Case cases[] = {
        {"a\\b", 2},  // a typed backslash matches a backslash
        {"then 100%", 0},  {"100", 1}, {"%", 0},  {"_", 0},      {"a_b", 1}, {"xy", 1}, {"quoted", 1}, {"'quoted'", 0},
        {".*", 0},        {"\\", 0}, {"a\\b then", 1}, {"then a\\b", 0},
        {QString(10000, QLatin1Char('x')), 0},
        {QStringLiteral("שלום עולם"), 0},
        {QStringLiteral("e\u0301\u0301"), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(t.search(engine, c.text).results.size(), c.results) << c.text.left(20).toStdString();
}

TEST(TranscriptSearchTest, BackslashInALaterTermIsComparedAsTyped)
{
    Transcript t("path a\\b here");
    TranscriptSearch engine;
    EXPECT_EQ(t.search(engine, "path a\\b").results.size(), 1u);
}

TEST(TranscriptSearchTest, WindowsFollowSentenceAndRangeBoundaries)
{
    struct Case {
        const char* what;
        QString text;
        std::vector<int> rangeStarts;
        int match;
        std::pair<std::int64_t, std::int64_t> window;
    };
    const Case cases[] = {
        {"one word", "hit", {0}, 0, {0, 0}},
        {"start scan reaches word 0", Transcript::fillers(20), {0}, 10, {10, 14}},
        {"first sentence of five", Transcript::fillers(8, {4}), {0}, 0, {0, 4}},
        {"near the sentence end", Transcript::fillers(20, {4, 14}), {0}, 12, {10, 14}},
        {"centred in a long sentence", Transcript::fillers(40, {4, 30}), {0}, 12, {10, 14}},
        {"last full stop not examined", Transcript::fillers(16, {4, 15}), {0}, 12, {8, 12}},
        {"match ends its sentence", Transcript::fillers(20, {4, 12}), {0}, 12, {8, 12}},
        {"range change after the start", Transcript::fillers(20, {4}), {0, 7}, 5, {5, 9}},
        {"range start bounds the sentence", Transcript::fillers(20, {2, 17}), {0, 6}, 12, {10, 14}},
        {"no end found before the last word", Transcript::fillers(20, {2}), {0, 6}, 12, {8, 12}},
        {"window cut at the end", Transcript::fillers(4, {}), {0}, 3, {3, 3}},
    };
    for (const Case& c : cases) {
        Transcript t(c.text, c.rangeStarts);
        t.rename(c.match, QStringLiteral("needle") + (t.words.at(c.match)->name().endsWith('.') ? "." : ""));
        TranscriptSearch engine;
        EXPECT_EQ(windows(t.search(engine, "needle")), (std::vector<std::pair<std::int64_t, std::int64_t>>{c.window})) << c.what;
    }
}

TEST(TranscriptSearchTest, PhraseNeedsItsWordsBeforeTheEnd)
{
    Transcript t("one two three four");
    TranscriptSearch engine;
    EXPECT_EQ(t.search(engine, "three four").results.size(), 1u);
    EXPECT_TRUE(t.search(engine, "four five").results.empty());
    const SearchOutcome phrase = t.search(engine, "two three");
    ASSERT_EQ(phrase.results.size(), 1u);
    EXPECT_EQ(phrase.results[0].boldRanges, (std::vector<QVSearchRange>{{0, 3}, {4, 5}}));
}

TEST(TranscriptSearchTest, MatchesInsideAWindowAreMergedAndBold)
{
    Transcript t("cat sat on the cat mat. cat again");
    TranscriptSearch engine;
    const SearchOutcome outcome = t.search(engine, "cat");
    ASSERT_EQ(outcome.results.size(), 2u);
    const QVSearchResult& first = outcome.results[0];
    EXPECT_EQ(first.abstract, "cat sat on the cat");
    EXPECT_EQ(first.foundWords.size(), 2u);
    EXPECT_EQ(first.boldRanges, (std::vector<QVSearchRange>{{0, 3}, {15, 3}}));
    EXPECT_EQ(first.wordRanges.size(), 5u);
    EXPECT_EQ(first.startTime, 0);
    EXPECT_EQ(first.endTime, 4900);
    EXPECT_EQ(first.speaker, t.speakers[0]);
    // A merged match is not phrase-tested: "cat mat." inside the first window is bold as well.
    const SearchOutcome phrase = t.search(engine, "cat sat");
    ASSERT_EQ(phrase.results.size(), 1u);
    EXPECT_EQ(phrase.results[0].foundWords.size(), 3u);
}

TEST(TranscriptSearchTest, RangesAreCountedInUtf16Units)
{
    Transcript t("Hi. \U0001F600x naïve cat");
    TranscriptSearch engine;
    const SearchOutcome outcome = t.search(engine, "cat");
    ASSERT_EQ(outcome.results.size(), 1u);
    EXPECT_EQ(outcome.results[0].boldRanges, (std::vector<QVSearchRange>{{10, 3}}));
}

TEST(TranscriptSearchTest, SpeakerFilterAndResultSpeakers)
{
    Transcript t("cat one. cat two. well cat three.", {0, 4});
    TranscriptSearch engine;
    EXPECT_EQ(t.search(engine, "cat").results.size(), 2u);
    const SearchOutcome second = t.search(engine, "cat", t.speakers[1]);
    ASSERT_EQ(second.results.size(), 1u);
    EXPECT_EQ(second.results[0].speaker, t.speakers[1]);
    EXPECT_EQ(second.results[0].startWordIndex, 4);
    const SearchOutcome first = t.search(engine, "cat", t.speakers[0]);
    ASSERT_EQ(first.results.size(), 1u);
    EXPECT_EQ(first.results[0].foundWords.size(), 2u);

    // Words without a range take the range in force at their start; before every range, the first.
    auto early = std::make_shared<QVSpeakerRange>(), late = std::make_shared<QVSpeakerRange>();
    early->speaker = t.speakers[0];
    early->start = 1000;
    late->speaker = t.speakers[1];
    late->start = 5000;
    QVOrderedSet<QVSpeakerRange> ranges;
    ranges.add(early);
    ranges.add(late);
    QVWord loose;
    EXPECT_EQ(TranscriptSearch::speakerForWord(loose, 0, ranges), t.speakers[0]);
    EXPECT_EQ(TranscriptSearch::speakerForWord(loose, 3000, ranges), t.speakers[0]);
    EXPECT_EQ(TranscriptSearch::speakerForWord(loose, 9000, ranges), t.speakers[1]);
    EXPECT_EQ(TranscriptSearch::speakerForWord(loose, 0, {}), nullptr);
}

TEST(TranscriptSearchTest, EmptyTranscriptAndEditedWords)
{
    Transcript empty("");
    TranscriptSearch engine;
    EXPECT_TRUE(empty.search(engine, "cat").results.empty());

    Transcript t("cat dog");
    EXPECT_EQ(t.search(engine, "dog").results.size(), 1u);
    t.rename(1, "cow");
    EXPECT_TRUE(t.search(engine, "dog").results.empty()) << "an edited word is folded again";
    t.words.remove(t.words.at(0));
    EXPECT_EQ(t.search(engine, "cow").results.size(), 1u);
}

}  // namespace
}  // namespace qv::search
