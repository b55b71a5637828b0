// A speakers subsystem over an in-process database, with recording fakes of the editing and
// transcript view services, of the header rows and search panel, and of the panel's table.
#pragma once

#include "../../model/tests/ModelFixture.h"

#include "model/EditingServices.h"
#include "model/ViewServices.h"
#include "platform/ui/ScriptedPresenters.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakersController.h"

#include <map>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace qv::speakers::testing {

class FakeEditing : public EditingServices {
public:
    explicit FakeEditing(AppDelegate& ad) : ad_(ad) {}
    std::vector<QString> calls;
    bool editOpen = false;
    bool multipleSelected = false;

    QVOrderedSet<QVWord> getSelectedWords() override { return {}; }
    void clearSelection() override {}
    bool hasMultipleWordsSelected() override { return multipleSelected; }
    bool finishEditingIfNecessary() override
    {
        calls.push_back("finishEditingIfNecessary");
        return std::exchange(editOpen, false);
    }
    void insertStringIntoTextView(const QString&) override {}
    void willEditTextView(const qv::TextViewModel&, qv::TextRange, const QString&) override {}
    void editWordsCancel() override {}
    void editWordsFinishWithResumePlayback(bool) override {}
    void editWords(const QVOrderedSet<QVWord>&, const QString&) override {}
    bool canUppercaseFirstWords(const QVOrderedSet<QVWord>& words) override
    {
        return std::any_of(words.begin(), words.end(), [](const auto& w) { return !w->name().isEmpty() && w->name()[0].isLower(); });
    }
    bool canLowercaseWord(const std::shared_ptr<QVWord>&) override { return false; }
    // Like the real command: writes the name and registers its own inverse.
    bool editWordsToUppercaseFirst(const QVOrderedSet<QVWord>& words, bool) override
    {
        bool changed = false;
        for (const auto& word : words) {
            const QString before = word->name();
            const QString after = before.left(1).toUpper() + before.mid(1);
            if (after == before)
                continue;
            setName(word, after);
            ad_.undoManager->registerUndo([this, word, before] { setName(word, before); });
            changed = true;
        }
        return changed;
    }
    bool editWordsToLowercase(const QVOrderedSet<QVWord>&, bool) override { return false; }
    void configureUI() override {}
    void refreshEditingOptions() override {}

private:
    void setName(const std::shared_ptr<QVWord>& word, const QString& name)
    {
        word->setName(name);
        ad_.wordsMetadataRef.child(word->uuid.toStdString()).updateChildValues({{"name", name.toStdString()}});
    }
    AppDelegate& ad_;
};

class FakeView : public ViewServices {
public:
    explicit FakeView(Dispatcher& main) : main_(main) {}
    std::vector<QString> calls;
    int count(const QString& call) const { return int(std::count(calls.begin(), calls.end(), call)); }

    void reloadRowsForWords(const QVOrderedSet<QVWord>&) override {}
    void reloadRowForWordStartTime(std::int64_t ms) override { calls.push_back(QString("reloadRowForWordStartTime %1").arg(ms)); }
    void reloadRowForTableViewIndex(std::int64_t) override {}
    void reloadTranscriptTable() override { calls.push_back("reloadTranscriptTable"); }
    void updateRowHeightForTextView(QVTextView*) override {}
    void resetCurrentWordTiming() override {}
    void highlightFromWord(const std::shared_ptr<QVWord>&, const std::shared_ptr<QVWord>&, bool) override {}
    void mouseDownOnTextViewAtPoint(const QPointF&, std::int64_t) override {}
    void mouseDraggedOnTextViewAtPoint(const QPointF&, std::int64_t) override {}
    bool pointIsExternal(const QPointF&, std::int64_t) override { return false; }
    double playerRate() override { return 0; }
    void stopPlayback() override {}
    void resumePlayback() override {}
    void playPauseToggleScrollToGrid(bool) override {}
    void playContinue() override {}
    void playSelection() override {}
    void locateMediaFileToWord(const std::shared_ptr<QVWord>&) override {}
    void locateMediaFileToMilliseconds(std::int64_t ms, bool, bool, std::function<void()> callback) override
    {
        calls.push_back(QString("locate %1").arg(ms));
        if (callback)
            main_.async(std::move(callback));
    }
    void seekToMilliseconds(std::int64_t, std::function<void(bool)>) override {}
    void moveToWordWithOffset(std::int64_t) override {}
    void moveToSentenceWithOffset(std::int64_t) override {}
    void moveToSpeakerRangeWithOffset(std::int64_t) override {}
    void playbackRateFaster() override {}
    void playbackRateSlower() override {}
    void rewindByTime(std::int64_t) override {}
    void clearSelectionDurationDisplay() override {}

private:
    Dispatcher& main_;
};

class FakeHeaderCell : public SpeakerRangeHeaderCell {
public:
    std::shared_ptr<QVSpeakerRange> range;
    SpeakerMenu menu;
    int redraws = 0;
    int opened = 0;
    std::shared_ptr<QVSpeakerRange> speakerRange() const override { return range; }
    void setMenu(SpeakerMenu m) override { menu = std::move(m); }
    void setNeedsDisplay() override { ++redraws; }
    void openMenu() override { ++opened; }
    std::vector<QString> titles() const
    {
        std::vector<QString> list;
        for (const auto& item : menu.items)
            list.push_back(item.separator ? QString("---") : QString("%1 [%2]").arg(item.title).arg(item.tag));
        return list;
    }
};

class FakeHost : public SpeakerHost {
public:
    std::vector<QString> calls;
    int count(const QString& call) const { return int(std::count(calls.begin(), calls.end(), call)); }
    std::map<std::int64_t, FakeHeaderCell> cells;  // header rows the table has made
    std::int64_t rows = 0;
    bool optionDown = false;

    std::int64_t numberOfTranscriptRows() override { return rows; }
    SpeakerRangeHeaderCell* existingHeaderCell(std::int64_t row) override
    {
        auto found = cells.find(row);
        return found == cells.end() ? nullptr : &found->second;
    }
    void beginTableUpdates() override { calls.push_back("beginTableUpdates"); }
    void endTableUpdates() override { calls.push_back("endTableUpdates"); }
    void buildSpeakerMenu() override { calls.push_back("buildSpeakerMenu"); }
    void searchForString(const QString& text) override { calls.push_back("searchForString:" + text); }
    void resetFocus() override { calls.push_back("resetFocus"); }
    bool isOptionKeyDown() override { return optionDown; }
};

class FakePanelCell : public SpeakerPanelCell {
public:
    std::shared_ptr<QVSpeaker> shown;
    QString name;
    std::int64_t count = -1;
    RangeCountStyle style;
    QColor color;
    bool editable = false;
    int editingStarted = 0;
    std::shared_ptr<QVSpeaker> speaker() const override { return shown; }
    void setSpeaker(std::shared_ptr<QVSpeaker> s) override { shown = std::move(s); }
    QString nameText() const override { return name; }
    void setNameText(const QString& text) override { name = text; }
    void setRangeCount(std::int64_t c, const RangeCountStyle& s) override { count = c, style = s; }
    void setColor(const QColor& c) override { color = c; }
    void setEditable(bool e) override { editable = e; }
    void beginEditingName() override { ++editingStarted; }
};

// A table whose every row has a cell; it logs its updates ("insert 2", "remove 1", "move 0 3",
// "reload").
class FakeSpeakersTable : public SpeakersTableView {
public:
    explicit FakeSpeakersTable(SpeakersPanel& panel) : panel_(panel) {}
    std::vector<QString> log;
    std::vector<std::unique_ptr<FakePanelCell>> cells;
    int popoverRow = -1;

    FakePanelCell& cell(int row) { return *cells.at(std::size_t(row)); }
    std::vector<QString> shownNames() const
    {
        std::vector<QString> names;
        for (const auto& c : cells)
            names.push_back(c->name);
        return names;
    }

    int numberOfRows() override { return int(cells.size()); }
    SpeakerPanelCell* cellForRow(int row, bool) override
    {
        return row >= 0 && row < int(cells.size()) ? cells[std::size_t(row)].get() : nullptr;
    }
    void reloadData() override
    {
        log.push_back("reload");
        cells.clear();
        for (int row = 0; row < int(panel_.speakersList().size()); ++row)
            cells.push_back(made(row));
    }
    void beginUpdates() override {}
    void endUpdates() override {}
    void insertRow(int row) override
    {
        log.push_back(QString("insert %1").arg(row));
        cells.insert(cells.begin() + row, made(row));
    }
    void removeRow(int row) override
    {
        log.push_back(QString("remove %1").arg(row));
        cells.erase(cells.begin() + row);
    }
    void moveRow(int from, int to) override
    {
        log.push_back(QString("move %1 %2").arg(from).arg(to));
        auto moved = std::move(cells[std::size_t(from)]);
        cells.erase(cells.begin() + from);
        cells.insert(cells.begin() + to, std::move(moved));
    }
    void scrollRowToVisible(int row) override { log.push_back(QString("scroll %1").arg(row)); }
    void showColorPopover(int row) override { popoverRow = row; }
    void closeColorPopover() override { popoverRow = -1; }

private:
    std::unique_ptr<FakePanelCell> made(int row)
    {
        auto c = std::make_unique<FakePanelCell>();
        panel_.fillCell(*c, row);
        return c;
    }
    SpeakersPanel& panel_;
};

class SpeakersFixture : public ModelFixture {
protected:
    SpeakersFixture()
    {
        ad.currentFile = std::make_shared<QVFile>();
        ad.currentFile->uuid = "T";
        const auto transcript = ad.transcriptsMetadataRef.child("T");
        ad.wordsMetadataRef = transcript.child("words");
        ad.speakersMetadataRef = transcript.child("speakers");
        ad.speakerRangesMetadataRef = transcript.child("speaker_ranges");
        ad.editingServices = &editing;
        ad.viewServices = &view;
        ad.speakerServices = &speakers;
        speakers.panel().setTable(&table);
    }

    std::shared_ptr<QVSpeaker> addSpeaker(const QString& uuid, const QString& name, const QString& color)
    {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->uuid = uuid, speaker->name = name, speaker->color = color;
        ad.speakers.add(speaker);
        ad.speakerColorUsed.insert(color);
        return speaker;
    }
    std::shared_ptr<QVSpeakerRange> addRange(const QString& uuid, std::int64_t start, const std::shared_ptr<QVSpeaker>& speaker)
    {
        auto range = std::make_shared<QVSpeakerRange>();
        range->uuid = uuid, range->start = start, range->speaker = speaker;
        speaker->rangeCount += 1;
        ad.speakerRanges.add(range);
        return range;
    }
    // Words named by `names`, 1 s apart from 0, linked to their ranges by the end rule.
    void addWords(const std::vector<QString>& names)
    {
        for (std::size_t i = 0; i < names.size(); ++i) {
            auto word = std::make_shared<QVWord>();
            word->uuid = QString("W%1").arg(i);
            word->setName(names[i]);
            word->start = std::int64_t(i) * 1000;
            word->end = word->start + 900;
            ad.words.add(word);
        }
        linkWords();
    }
    // What building the rows does: each word joins the range whose span holds it.
    void linkWords()
    {
        for (const auto& range : ad.speakerRanges) {
            const auto end = speakers.getEndTimeForSpeakerRange(range, ad.speakerRanges);
            for (const auto& word : ad.words) {
                if (range->start <= word->start && word->start < end)
                    word->speakerRange = range;
            }
        }
    }
    void setCurrentWord(std::size_t index)
    {
        ad.currentWord = ad.words.at(index);
        ad.currentWordIndex = std::int64_t(index);
    }
    // Runs the queued work and closes the undo step, as returning to the event loop does.
    void settle() { main.drain(); }
    DatabaseValue db(const std::string& path) const { return stored("transcripts/T/" + path); }
    std::vector<QString> rangeStarts() const
    {
        std::vector<QString> list;
        for (const auto& r : ad.speakerRanges)
            list.push_back(QString("%1:%2").arg(r->start).arg(r->speaker ? r->speaker->name : "-"));
        return list;
    }
    std::vector<QString> wordNames() const
    {
        std::vector<QString> names;
        for (const auto& w : ad.words)
            names.push_back(w->name());
        return names;
    }

    ScriptedAlertPresenter alerts;
    FakeHost host;
    FakeEditing editing{ad};
    FakeView view{main};
    SpeakersController speakers{ad, main, alerts, host};
    FakeSpeakersTable table{speakers.panel()};
};

}  // namespace qv::speakers::testing
