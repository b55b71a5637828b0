// Times the transcript view on a long transcript and prints each figure beside its target.
#include "platform/foundation/ManualDispatcher.h"
#include "platform/ui/ScriptedPresenters.h"
#include "speakers/SpeakersController.h"
#include "transcript-view/TranscriptTable.h"
#include "transcript-view/WordHighlighter.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWords = 30000;
constexpr int kWordsPerRange = 30;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

double residentMegabytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

class BenchPlayer : public qv::transcript::TranscriptPlayer {
public:
    double rate() const override { return playing; }
    std::int64_t currentMilliseconds() const override { return milliseconds; }
    void pause() override { playing = 0; }
    void setRate(double rate) override { playing = rate; }
    bool hasItem() const override { return true; }
    double durationSeconds() const override { return kWords * 0.4; }
    void seek(std::int64_t to, bool, std::function<void(bool)> done) override
    {
        milliseconds = to;
        if (done)
            done(true);
    }
    double playing = 0;
    std::int64_t milliseconds = 0;
};

void report(const char* name, double value, const char* unit, double target)
{
    std::printf("%-44s %9.3f %s (target %s %.1f)\n", name, value, unit, value <= target ? "met, <=" : "MISSED, <=", target);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const double baseline = residentMegabytes();

    AppDelegate ad;
    ad.brandColor = QColor(255, 65, 20);
    ad.defaultTextColor = QColor(30, 30, 30);
    ad.dimmedTextColor = QColor(150, 150, 150);
    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->hasLoadedTranscript = ad.currentFile->hasTranscript = ad.currentFile->hasLoadedTimecode = true;
    ad.currentFile->hasLocatedToLastMediaTime = true;
    ad.isReadyToPlay = true;
    ad.currentMode = 2;
    qv::ManualDispatcher main;
    qv::ScriptedAlertPresenter alerts;
    BenchPlayer player;
    qv::transcript::TranscriptTable table(ad, main, player);
    qv::speakers::SpeakersController speakers(ad, main, alerts, table);
    qv::transcript::WordHighlighter highlighter(ad, main, player, table);
    ad.speakerServices = &speakers;
    table.setSpeakersController(&speakers);
    table.setHighlighter(&highlighter);

    const char* names[] = {"Ann", "Ben", "Cleo"};
    for (int i = 0; i < 3; ++i) {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->name = names[i];
        speaker->uuid = QString("speaker%1").arg(i);
        ad.speakers.add(speaker);
    }
    const QStringList vocabulary = QString("so the first thing we did was look at the footage again and then "
                                           "decided that interview should open film which surprised everyone.")
                                       .split(' ');
    for (int i = 0; i < kWords; ++i) {
        if (i % kWordsPerRange == 0) {
            auto range = std::make_shared<QVSpeakerRange>();
            range->start = i * 400;
            range->speaker = ad.speakers.at(static_cast<std::size_t>(i / kWordsPerRange % 3));
            range->uuid = QString("range%1").arg(i / kWordsPerRange);
            ad.speakerRanges.add(range);
        }
        auto word = std::make_shared<QVWord>();
        word->setName(vocabulary.at(i % vocabulary.size()));
        word->start = i * 400;
        word->end = i * 400 + 350;
        word->uuid = QString("word%1").arg(i);
        ad.words.add(word);
    }

    qv::ViewTable& view = table.tableView();
    view.resize(700, 800);
    view.show();
    // The table queues a reload of its own when made with a file open; opening starts after it,
    // with the reload an opened file asks for (row heights measured afresh).
    main.drain();
    Clock::time_point start = Clock::now();
    table.reloadTranscriptTable(QStringLiteral("open"));
    main.drain();
    (void)view.grab();
    report("open to the first painted screen", msSince(start), "ms", 300);
    // "--open-only" stops here, so that a profiler sees the opening alone.
    if (argc > 1 && QByteArray(argv[1]) == "--open-only")
        return 0;

    std::vector<double> frames;
    for (double y = 0; y < view.documentHeight(); y += view.viewport()->height()) {
        start = Clock::now();
        view.scrollToPoint({0, y});
        (void)view.grab();
        frames.push_back(msSince(start));
    }
    report("page-by-page frame time p99", percentile(frames, 0.99), "ms", 16);
    report("open view resident memory", residentMegabytes() - baseline, "MB", 150);

    view.scrollToPoint({0, 0});
    highlighter.highlightWordAtTime(0, true, false, true);
    main.drain();
    player.playing = 1;
    // A tick is the highlighter's call plus the queued work it leaves for the main queue (the
    // scroll steps), painting aside. Most ticks find the playhead still in the shown word; the
    // ticks that move to the next word are reported on their own as well.
    std::vector<double> ticks;
    std::vector<double> wordTicks;
    std::vector<double> scrollingTicks;
    for (std::int64_t t = 0; t < 3000 * 400; t += 20) {
        player.milliseconds = t;
        const double before = view.verticalScrollBar()->value();
        const auto word = ad.currentWord;
        start = Clock::now();
        highlighter.highlightWordAtTime(t, false, false, true);
        main.advance(0.02);
        const double elapsed = msSince(start);
        if (view.verticalScrollBar()->value() != before)
            scrollingTicks.push_back(elapsed);
        else
            ticks.push_back(elapsed);
        if (ad.currentWord != word)
            wordTicks.push_back(elapsed);
    }
    report("highlight tick median", percentile(ticks, 0.5), "ms", 0.5);
    report("highlight tick median, moving to the next word", percentile(wordTicks, 0.5), "ms", 0.5);
    if (!scrollingTicks.empty())
        report("highlight tick median while following", percentile(scrollingTicks, 0.5), "ms", 2);
    return 0;
}
