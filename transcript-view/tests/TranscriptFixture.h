// An open transcript in a shown transcript table (the test process's application is made by
// its environment): three speakers, ranges and words made from a
// short script, a player on a clock the test moves, the speakers subsystem for the header rows
// and a hand-driven main queue.
#pragma once

#include "platform/foundation/ManualDispatcher.h"
#include "platform/ui/ScriptedPresenters.h"
#include "speakers/SpeakersController.h"
#include "transcript-view/TranscriptTable.h"
#include "transcript-view/WordHighlighter.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>
#include <vector>

namespace qv::transcript::testing {

class FakePlayer : public TranscriptPlayer {
public:
    double rate() const override { return playing; }
    std::int64_t currentMilliseconds() const override { return milliseconds; }
    explicit FakePlayer(Dispatcher& main) : main(main) {}
    void pause() override
    {
        playing = 0;
        ++pauses;
    }
    void setRate(double rate) override { playing = rate; }
    bool hasItem() const override { return item; }
    double durationSeconds() const override { return duration; }
    // Like the player: the time moves at once, the seek completes on a later turn.
    void seek(std::int64_t to, bool exact, std::function<void(bool)> done) override
    {
        seeks.push_back({to, exact});
        milliseconds = to;
        main.async([done = std::move(done)] {
            if (done)
                done(true);
        });
    }
    Dispatcher& main;
    double playing = 0;
    std::int64_t milliseconds = 0;
    double duration = 60;
    bool item = true;
    int pauses = 0;
    std::vector<std::pair<std::int64_t, bool>> seeks;
};

// One word of a script: its text, times, and whether it opens a range (with a speaker index)
// or a paragraph.
struct ScriptWord {
    const char* name;
    std::int64_t start;
    std::int64_t end;
    int newRangeSpeaker = -1;
    bool newParagraph = false;
};

// A state record with an open file whose transcript is loaded and ready to play, shown in
// the transcript view (mode 2).
inline void prepareOpenFile(AppDelegate& ad)
{
    ad.brandColor = QColor(255, 65, 20);
    ad.defaultTextColor = QColor(30, 30, 30);
    ad.dimmedTextColor = QColor(150, 150, 150);
    ad.editingTextColor = QColor(0, 0, 200);
    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->hasLoadedTranscript = true;
    ad.currentFile->hasTranscript = true;
    ad.currentFile->hasLoadedTimecode = true;
    ad.currentFile->hasLocatedToLastMediaTime = true;
    ad.isReadyToPlay = true;
    ad.currentMode = 2;
    ad.hasPreloadedRowsToLastMediaTime = true;
}

// Loads `script` as the open transcript of three speakers and shows it in `table`.
inline void loadScript(AppDelegate& ad, ViewTable& table, ManualDispatcher& main, const std::vector<ScriptWord>& script)
{
    const char* names[] = {"Ann", "Ben", "Cleo"};
    const char* colors[] = {"red", "blue", "green"};
    for (int i = 0; i < 3; ++i) {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->name = names[i];
        speaker->color = colors[i];
        speaker->uuid = QString("speaker%1").arg(i);
        ad.speakers.add(speaker);
    }
    int index = 0;
    for (const ScriptWord& s : script) {
        if (s.newRangeSpeaker >= 0) {
            auto range = std::make_shared<QVSpeakerRange>();
            range->start = s.start;
            range->speaker = ad.speakers.at(static_cast<std::size_t>(s.newRangeSpeaker));
            range->uuid = QString("range%1").arg(ad.speakerRanges.size());
            ad.speakerRanges.add(range);
        }
        auto word = std::make_shared<QVWord>();
        word->setName(s.name);
        word->start = s.start;
        word->end = s.end;
        word->newParagraph = s.newParagraph;
        word->uuid = QString("word%1").arg(index++);
        ad.words.add(word);
    }
    if (!ad.words.empty())
        ad.firstWordStartTime = ad.words.first()->start;
    table.reloadData();
    main.drain();
}

class TranscriptFixture : public ::testing::Test {
protected:
    TranscriptFixture()
    {
        prepareOpenFile(ad);
        ad.speakerServices = &speakers;
        table.setSpeakersController(&speakers);
        table.setHighlighter(&highlighter);
        table.tableView().resize(600, 500);
        table.tableView().show();
    }

    // Loads `script` as the open transcript and shows it.
    void load(const std::vector<ScriptWord>& script) { loadScript(ad, table.tableView(), main, script); }

    std::shared_ptr<QVWord> word(std::size_t index) const { return ad.words.at(index); }
    QVTextView* rowView(std::int64_t rangeIndex)
    {
        TranscriptWordsCell* cell = table.wordsCell(2 * rangeIndex + 1, true);
        return cell ? cell->textView() : nullptr;
    }
    // Centre of a word's glyphs in its row's text view.
    QPointF pointOf(const std::shared_ptr<QVWord>& w)
    {
        return w->speakerRange->textView->boundingRectForRange({w->characterStart, w->name().size()}).center();
    }
    void tick(std::int64_t milliseconds)
    {
        player.milliseconds = milliseconds;
        highlighter.highlightWordAtTime(milliseconds, false, false, true);
    }

    AppDelegate ad;
    ManualDispatcher main;
    ScriptedAlertPresenter alerts;
    FakePlayer player{main};
    TranscriptTable table{ad, main, player};
    speakers::SpeakersController speakers{ad, main, alerts, table};
    WordHighlighter highlighter{ad, main, player, table};
};

// `count` words "word", one every 400 ms and `length` ms long, a new range of the next speaker
// every `perRange` words.
inline std::vector<ScriptWord> evenScript(int count, int perRange, std::int64_t length = 300)
{
    std::vector<ScriptWord> script;
    for (int i = 0; i < count; ++i)
        script.push_back({"word", i * 400, i * 400 + length, i % perRange == 0 ? i / perRange % 3 : -1});
    return script;
}

// Three ranges: Ann 1000-2400 (a paragraph break before "Third"), Ben 3000-3900, Cleo 5000-.
inline std::vector<ScriptWord> shortScript()
{
    return {
        {"Hello", 1000, 1400, 0}, {"there,", 1500, 1900}, {"Third", 2000, 2400, -1, true},
        {"Ben", 3000, 3300, 1},   {"speaks", 3400, 3900},  {"Cleo", 5000, 5500, 2},
        {"ends.", 5600, 6000},
    };
}

}  // namespace qv::transcript::testing
