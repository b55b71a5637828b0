// Times the word commands on a transcript of 30,000 words, 40 speakers and 2,000 speaker
// ranges held in the in-process database: each command with its database write and undo
// registration, its undo and its redo (targets: 2 ms median each), and a copy of 5,000
// selected words (target: 20 ms).

#include "model/AppDelegate.h"
#include "editing/EditingController.h"
#include "model/ModelServices.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/UndoManager.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string_view>
#include <vector>

namespace {

constexpr int kWords = 30'000;
constexpr int kSpeakers = 40;
constexpr int kRanges = 2'000;
constexpr int kRuns = 101;
constexpr double kCommandTargetMs = 2;
constexpr double kCopyTargetMs = 20;
constexpr int kCopiedWords = 5'000;

class QuietView : public ViewServices {
public:
    void reloadRowsForWords(const QVOrderedSet<QVWord>&) override {}
    void reloadRowForWordStartTime(std::int64_t) override {}
    void reloadRowForTableViewIndex(std::int64_t) override {}
    void reloadTranscriptTable() override {}
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
    void locateMediaFileToMilliseconds(std::int64_t, bool, bool, std::function<void()>) override {}
    void seekToMilliseconds(std::int64_t, std::function<void(bool)>) override {}
    void moveToWordWithOffset(std::int64_t) override {}
    void moveToSentenceWithOffset(std::int64_t) override {}
    void moveToSpeakerRangeWithOffset(std::int64_t) override {}
    void playbackRateFaster() override {}
    void playbackRateSlower() override {}
    void rewindByTime(std::int64_t) override {}
    void clearSelectionDurationDisplay() override {}
};

class QuietSpeakers : public SpeakerServices {
public:
    std::int64_t getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                           const QVOrderedSet<QVSpeakerRange>& ranges) override
    {
        const auto index = ranges.indexOf(range);
        return index && *index + 1 < ranges.size() ? ranges.at(*index + 1)->start : INT64_MAX;
    }
    void addSpeakerRangeAutoSelect(bool) override {}
    void changeSpeakerRangeStartToCurrentWord() override {}
    void changeNextSpeakerRangeStartToCurrentWord() override {}
    void showSpeakerMenuForCurrentRange() override {}
    void refreshSpeakerRangeChangesAllowed() override {}
    void consolidateSpeakersWithAnimation(bool) override {}
    void restoreSpeaker(const std::shared_ptr<QVSpeaker>&) override {}
    QColor colorForColorName(const QString&) override { return {}; }
    void buildSpeakersList() override {}
    void refreshSpeakersWithAnimation() override {}
    void allowEditing(bool) override {}
    std::vector<std::shared_ptr<QVSpeaker>> speakersList() override { return {}; }
};

class QuietShell : public ModelServices {
public:
    bool hasPlayer() const override { return false; }
    void createPlayer() override {}
    qv::MediaTime playerCurrentTime() const override { return qv::MediaTime::zero(); }
    void transcriptRowCountChanged() override {}
    void preloadRowsToLastMediaTime() override {}
    void setUpPlaybackOfAsset(const std::shared_ptr<qv::Asset>&, const QStringList&) override {}
    void checkForMissingMediaFiles() override {}
    bool complexFileHasVideoForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>&) override { return false; }
    std::shared_ptr<qv::Asset> createMissingMediaAssetForSimpleFile(QVFile&) override { return nullptr; }
    std::shared_ptr<qv::Asset> createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>&,
                                                         const qv::MediaTime&) override
    {
        return nullptr;
    }
    std::shared_ptr<qv::Asset> createURLAsset(const QUrl&) override { return nullptr; }
    void loadValuesAsynchronouslyForKeys(const std::shared_ptr<qv::Asset>&, const QStringList&, std::function<void()>) override {}
    void checkAccessForMediaFile(QVMediaFile&) override {}
    void stopAccessingURL(const QUrl&) override {}
    std::optional<QByteArray> createBookmarkData(const QUrl&, QString*) override { return std::nullopt; }
    std::optional<QUrl> resolveBookmarkData(const QByteArray&) override { return std::nullopt; }
    QImage getThumbnailForFileUUID(const QString&) override { return {}; }
    QImage createImageForURL(const QUrl&, const qv::MediaTime&) override { return {}; }
    void createImageForSimpleFile() override {}
    QImage namedImage(const QString&) override { return {}; }
    bool fileExtensionIsAudio(const QString&) override { return false; }
    bool fileURLIsAudio(const QUrl&) override { return false; }
    std::optional<QDateTime> getModificationDateForMediaFile(QVMediaFile&) override { return std::nullopt; }
    void getBWFMP3TimecodeForFilePending(const std::shared_ptr<QVFilePending>&, QVFile&) override {}
    void resetAudioTrackCellStackView() override {}
    void setAudioConfigurationMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>&) override {}
    void refreshAudioConfigurationDisplay() override {}
    QString chooseRandomColorName() override { return "blue"; }
    void updateCurrentFileTimestamp() override {}
    void addFileToSyncedTranscripts(const std::shared_ptr<QVFile>&) override {}
    void currentFileUserOnlineAdd() override {}
    void currentFileUserOnlineRemove() override {}
    void setupCustomWordsObserverForFile(const std::shared_ptr<QVFile>&) override {}
    void loadFileAttemptTransition() override {}
    void startFilesListProgressIndicator() override {}
    void reloadFilesListRowForFile(const std::shared_ptr<QVFile>&) override {}
    void setTranscriptToolbarHeight(double) override {}
    void postUserNotification(const QString&, const QString&, const QString&) override {}
};

// Builds the transcript in memory and writes it to the database as a loaded file would be.
void buildTranscript(AppDelegate& ad, qv::DatabaseBackend& backend)
{
    std::mt19937 random(7);
    const char* vocabulary[] = {"the", "interview", "\u201CWell,", "said", "camera", "rolling.", "we", "can't",
                                "(laughs)", "okay?", "$5,000", "Yes!", "and", "then", "so", "right"};
    std::vector<qv::DatabaseValue::Entry> speakerValues;
    for (int i = 0; i < kSpeakers; ++i) {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->uuid = QString("S%1").arg(i);
        speaker->name = QString("Speaker %1").arg(i + 1);
        speaker->color = "blue";
        ad.speakers.add(speaker);
        speakerValues.emplace_back(speaker->uuid.toStdString(),
                                   qv::DatabaseValue::object({{"name", speaker->name.toStdString()}, {"color", "blue"}}));
    }
    std::vector<qv::DatabaseValue::Entry> rangeValues;
    constexpr int wordsPerRange = kWords / kRanges;
    for (int i = 0; i < kRanges; ++i) {
        auto range = std::make_shared<QVSpeakerRange>();
        range->uuid = QString("R%1").arg(i);
        range->speaker = ad.speakers.at(random() % kSpeakers);
        ++range->speaker->rangeCount;
        range->start = std::int64_t{i} * wordsPerRange * 400;
        ad.speakerRanges.add(range);
        rangeValues.emplace_back(range->uuid.toStdString(),
                                 qv::DatabaseValue::object({{"speaker", range->speaker->uuid.toStdString()}, {"start", range->start}}));
    }
    std::vector<qv::DatabaseValue::Entry> wordValues;
    wordValues.reserve(kWords);
    ad.words.reserve(kWords);
    for (int i = 0; i < kWords; ++i) {
        auto word = std::make_shared<QVWord>();
        word->uuid = QString("W%1").arg(i);
        word->setName(vocabulary[random() % std::size(vocabulary)]);
        word->start = std::int64_t{i} * 400;
        word->end = word->start + 300;
        word->status = 1;
        word->speakerRange = ad.speakerRanges.at(static_cast<std::size_t>(i / wordsPerRange));
        ad.words.add(word);
        wordValues.emplace_back(word->uuid.toStdString(), qv::DatabaseValue::object({{"name", word->name().toStdString()},
                                                                                     {"start", word->start},
                                                                                     {"end", word->end},
                                                                                     {"status", 1}}));
    }
    backend.setValue("transcripts/BENCH", qv::DatabaseValue::object({{"words", qv::DatabaseValue::map(std::move(wordValues))},
                                                                     {"speakers", qv::DatabaseValue::map(std::move(speakerValues))},
                                                                     {"speaker_ranges", qv::DatabaseValue::map(std::move(rangeValues))}}));
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

template <class Work>
double timed(qv::ManualDispatcher& main, Work work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    main.drain();  // the writes reach the local database and the undo step closes
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client(backend, main);
    AppDelegate ad;
    QuietView view;
    QuietSpeakers speakers;
    QuietShell shell;
    qv::ScriptedAlertPresenter alerts;
    qv::ClipboardPasteboard pasteboard;
    ad.viewServices = &view;
    ad.speakerServices = &speakers;
    ad.modelServices = &shell;
    ad.undoManager = std::make_shared<qv::UndoManager>(main);
    ad.wordsMetadataRef = client.reference("transcripts/BENCH/words");
    ad.speakerRangesMetadataRef = client.reference("transcripts/BENCH/speaker_ranges");
    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->uuid = "BENCH";
    ad.currentFile->language = "en-US";
    ad.currentFile->duration = std::int64_t{kWords} * 400 + 1000;
    buildTranscript(ad, backend);
    client.reference("transcripts/BENCH").observe(qv::DatabaseEvent::Value, [](const qv::DataSnapshot&) {});
    main.drain();
    EditingController editing(ad, main, alerts, pasteboard);
    ad.editingServices = &editing;

    // A word in the middle of a range, at run `i`, away from the words earlier runs touched.
    auto wordAt = [&](int i) { return ad.words.at(static_cast<std::size_t>(200 + i * 140)); };
    auto wordsFrom = [&](const std::shared_ptr<QVWord>& first, int count) {
        QVOrderedSet<QVWord> words;
        auto index = *ad.words.indexOf(first);
        for (int k = 0; k < count; ++k)
            words.add(ad.words.at(index + static_cast<std::size_t>(k)));
        return words;
    };
    auto single = [](const std::shared_ptr<QVWord>& word) {
        QVOrderedSet<QVWord> words;
        words.add(word);
        return words;
    };

    struct Command {
        const char* name;
        std::function<void(int)> run;
    };
    const Command commands[] = {
        {"edit one word", [&](int i) {
             ad.currentSpeakerRangeIndex = static_cast<std::int64_t>(*ad.speakerRanges.indexOf(wordAt(i)->speakerRange));
             editing.editWords(single(wordAt(i)), "replaced");
         }},
        {"delete ten words", [&](int i) { editing.deleteJoin.deleteWords(wordsFrom(wordAt(i), 10)); }},
        {"join", [&](int i) { editing.deleteJoin.joinWords(wordsFrom(wordAt(i), 3), ""); }},
        {"case", [&](int i) { editing.caseCommands.editWordsToUppercaseAll(wordsFrom(wordAt(i), 3), true); }},
        {"punctuation", [&](int i) { editing.punctuation.editWordsWithPunctuation(single(wordAt(i)), ";"); }},
        {"wrap", [&](int i) { editing.wrap.wrapWords(WrapCommands::Kind::DoubleQuotes, wordsFrom(wordAt(i), 4)); }},
        {"paragraph break", [&](int i) { editing.paragraphs.addNewParagraphForWord(wordAt(i)); }},
    };

    std::printf("editing commands: %d words, %d speakers, %d speaker ranges (%s build%s)\n", kWords, kSpeakers, kRanges,
                QV_BUILD_TYPE, std::string_view(QV_BUILD_TYPE) == "Release" ? "" : "; the targets are for a Release build");
    bool met = true;
    auto report = [&](const char* name, const char* phase, const std::vector<double>& samples, double target) {
        const double m = median(samples);
        met = met && m <= target;
        std::printf("  %-18s %-8s median %6.3f ms  (max %6.3f)  target %.0f ms: %s\n", name, phase, m,
                    *std::max_element(samples.begin(), samples.end()), target, m <= target ? "met" : "MISSED");
    };
    for (const Command& command : commands) {
        std::vector<double> doing;
        std::vector<double> undoing;
        std::vector<double> redoing;
        for (int i = 0; i < kRuns; ++i) {
            doing.push_back(timed(main, [&] { command.run(i); }));
            if (!ad.undoManager->canUndo()) {
                std::fprintf(stderr, "editing_bench: \"%s\" changed nothing\n", command.name);
                return 1;
            }
            undoing.push_back(timed(main, [&] { ad.undoManager->undo(); }));
            redoing.push_back(timed(main, [&] { ad.undoManager->redo(); }));
            ad.undoManager->undo();
            main.drain();
        }
        ad.undoManager->removeAllActions();
        report(command.name, "command", doing, kCommandTargetMs);
        report(command.name, "undo", undoing, kCommandTargetMs);
        report(command.name, "redo", redoing, kCommandTargetMs);
    }

    std::vector<double> copying;
    for (int i = 0; i < 21; ++i) {
        ad.selectionWordStart = ad.words.at(static_cast<std::size_t>(i * 100));
        ad.selectionWordEnd = ad.words.at(static_cast<std::size_t>(i * 100 + kCopiedWords - 1));
        copying.push_back(timed(main, [&] { editing.selection.copy(); }));
    }
    report("copy 5,000 words", "copy", copying, kCopyTargetMs);
    return met ? 0 : 2;
}
