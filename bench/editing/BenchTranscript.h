// The open transcript the editing benchmarks work on: 30,000 words, 40 speakers and 2,000
// speaker ranges held in the in-process database as a loaded file, quiet stand-ins for the
// transcript view, the speakers subsystem and the shell, and the editing subsystem over them.
#pragma once

#include "editing/EditingController.h"
#include "model/AppDelegate.h"
#include "model/ModelServices.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScriptedPresenters.h"

#include <chrono>
#include <memory>
#include <vector>

namespace bench {

constexpr int kWords = 30'000;
constexpr int kSpeakers = 40;
constexpr int kRanges = 2'000;

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

// Needs a running Qt application (the clipboard).
struct BenchTranscript {
    BenchTranscript();
    BenchTranscript(const BenchTranscript&) = delete;
    BenchTranscript& operator=(const BenchTranscript&) = delete;

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client{backend, main};
    AppDelegate ad;
    QuietView view;
    QuietSpeakers speakers;
    QuietShell shell;
    qv::ScriptedAlertPresenter alerts;
    qv::ClipboardPasteboard pasteboard;
    std::unique_ptr<EditingController> editing;
};

double median(std::vector<double> samples);

// Processor time this thread has used, in milliseconds.
double threadCpuMilliseconds();

// Milliseconds that `work` takes, with what it queued on the main queue (the writes reach the
// local database and the undo step closes). `cpuMs`, when given, receives the processor time
// the work used, which a busy machine inflates far less than the time on the clock.
template <class Work>
double timed(qv::ManualDispatcher& main, Work work, double* cpuMs = nullptr)
{
    const double cpuStart = threadCpuMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    main.drain();
    const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (cpuMs)
        *cpuMs = threadCpuMilliseconds() - cpuStart;
    return elapsed;
}

}  // namespace bench
