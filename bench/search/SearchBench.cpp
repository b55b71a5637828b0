// Searching a transcript of 30,000 words as the user types: each query is typed a character at
// a time and searched after every keystroke, as the search field does. The same first-term
// matching runs through SQLite (LIKE over an in-memory table of the words, statement prepared
// once) as the anchor. Prints the per-keystroke p50 and p99 of both and their ratio.
#include "search/TranscriptSearch.h"

#include <sqlite3.h>

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWords = 30000;
constexpr int kRanges = 2000;
constexpr int kRounds = 20;

struct Transcript {
    QVOrderedSet<QVWord> words;
    QVOrderedSet<QVSpeakerRange> ranges;
};

// Words from a vocabulary of 2,000 made-up words plus common ones, some capitalised, some with
// accents, one in twelve ending a sentence; 2,000 ranges over 40 speakers.
Transcript makeTranscript()
{
    std::mt19937 random(7);
    QStringList vocabulary{"the", "and", "quick", "brown", "fox", "transcript", "sentence", "recording", "editing", "café", "naïve"};
    const QString letters = QStringLiteral("abcdefghiklmnoprstuvwy");
    while (vocabulary.size() < 2000) {
        QString word;
        const int length = 3 + int(random() % 8);
        for (int i = 0; i < length; ++i)
            word += letters[int(random() % letters.size())];
        vocabulary << word;
    }
    std::vector<std::shared_ptr<QVSpeaker>> speakers;
    for (int i = 0; i < 40; ++i) {
        speakers.push_back(std::make_shared<QVSpeaker>());
        speakers.back()->name = QStringLiteral("Speaker %1").arg(i);
    }
    Transcript t;
    std::shared_ptr<QVSpeakerRange> range;
    for (int i = 0; i < kWords; ++i) {
        if (i % (kWords / kRanges) == 0) {
            range = std::make_shared<QVSpeakerRange>();
            range->speaker = speakers[std::size_t(random() % speakers.size())];
            range->start = i * 400;
            t.ranges.add(range);
        }
        QString name = vocabulary[int(random() % 60 == 0 ? random() % 11 : random() % vocabulary.size())];
        if (random() % 10 == 0)
            name[0] = name[0].toUpper();
        if (random() % 12 == 0)
            name += QLatin1Char('.');
        else if (random() % 15 == 0)
            name += QLatin1Char(',');
        auto word = std::make_shared<QVWord>();
        word->setName(name);
        word->start = i * 400;
        word->end = i * 400 + 350;
        word->speakerRange = range;
        t.words.add(word);
    }
    return t;
}

// The first term as a LIKE pattern: stars and question marks become SQLite's wildcards, and
// SQLite's own wildcards are escaped.
QByteArray likePattern(const QString& text)
{
    const QString first = text.trimmed().split(QLatin1Char(' ')).front();
    QString pattern;
    for (QChar c : first) {
        if (c == QLatin1Char('*'))
            pattern += QLatin1Char('%');
        else if (c == QLatin1Char('?'))
            pattern += QLatin1Char('_');
        else if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\') + c;
        else
            pattern += c;
    }
    return pattern.toUtf8();
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(std::min<double>(values.size() - 1, std::ceil(p * double(values.size())) - 1));
    return values[index];
}

}  // namespace

int main()
{
    const Transcript t = makeTranscript();
    const QStringList queries{"transcript", "quick brown", "rec*ing", "Café", "s?ntence", "zzzz"};

    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE words (position INTEGER PRIMARY KEY, name TEXT)", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO words (position, name) VALUES (?, ?)", -1, &insert, nullptr);
    for (std::size_t i = 0; i < t.words.size(); ++i) {
        const QByteArray name = t.words.at(i)->nameClean().toUtf8();
        sqlite3_bind_int64(insert, 1, sqlite3_int64(i));
        sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT position FROM words WHERE name LIKE ? ESCAPE '\\'", -1, &select, nullptr);

    qv::search::TranscriptSearch search;
    std::vector<double> ours, anchor;
    std::size_t hits = 0, rows = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (const QString& query : queries) {
            for (qsizetype typed = 1; typed <= query.size(); ++typed) {
                const QString text = query.left(typed);
                auto begin = Clock::now();
                hits += search.search(text, true, t.words, t.ranges, nullptr).results.size();
                ours.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());

                begin = Clock::now();
                if (text.size() >= 2) {
                    const QByteArray pattern = likePattern(text);
                    sqlite3_bind_text(select, 1, pattern.constData(), int(pattern.size()), SQLITE_TRANSIENT);
                    while (sqlite3_step(select) == SQLITE_ROW)
                        ++rows;
                    sqlite3_reset(select);
                }
                anchor.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
            }
        }
    }
    sqlite3_finalize(select);
    sqlite3_close(db);

    const double p99 = percentile(ours, 0.99), anchorP99 = percentile(anchor, 0.99);
    std::printf("search_bench (%s): %d words, %zu keystrokes (%d rounds of %lld queries)\n", QV_BUILD_TYPE, kWords,
                ours.size(), kRounds, static_cast<long long>(queries.size()));
    std::printf("  ours:   p50 %.3f ms  p99 %.3f ms  (target p99 <= 5 ms)  results %zu\n", percentile(ours, 0.5), p99, hits);
    std::printf("  ours:   slowest %.3f ms (the first search folds every word)\n", percentile(ours, 1.0));
    std::printf("  SQLite: p50 %.3f ms  p99 %.3f ms  rows %zu\n", percentile(anchor, 0.5), anchorP99, rows);
    std::printf("  ours / SQLite at p99: %.2f x (target <= 1.0 x)\n", p99 / anchorP99);
    return 0;
}
