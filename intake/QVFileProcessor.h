// Works through the files handed over by Transcribe, one at a time, in list order: converts the
// enabled audio of each to the mono AAC upload file (on a worker thread), uploads it to the
// object store at the address the service signs for it, checks the store's "Etag" against the
// file's MD5, then writes the file's record and marks it new for the transcription service.
// The file's row shows each step and its progress and goes once its record is written. A file
// whose conversion or record write fails stays listed with its reason while the run goes on; an
// upload failure ends the run. A stop at any point drops whatever the run had under way: no
// record is written without its object, and nothing that belonged to a stopped run is acted on.
// Main thread, except the conversion itself.
#pragma once

#include "intake/IntakeHooks.h"

#include "platform/foundation/WorkQueue.h"
#include "platform/media/AudioMix.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class AppDelegate;
class QNetworkReply;
class QVFilePending;
namespace qv {
class Dispatcher;
class UploadEncoder;
struct MediaError;
}

// What the processor shows on the pending list; the pending list provides it.
class ProcessingDisplay {
public:
    virtual ~ProcessingDisplay() = default;
    // The file's row shows `status` ("Converting", "Uploading") and its progress bar in place of
    // its pop-ups; the bar starts from `progress`.
    virtual void showProcessingStatus(const QVFilePending& file, const QString& status, double progress) = 0;
    // Moves the file's progress bar to `progress` (0 to 1).
    virtual void showProcessingProgress(const QVFilePending& file, double progress) = 0;
    // The file stays listed, its row saying why it was not submitted.
    virtual void showProcessingFailure(const QVFilePending& file, const QString& reason) = 0;
    // Takes the submitted file off the list; `done` runs once its row has gone.
    virtual void removeSubmittedFile(const std::shared_ptr<QVFilePending>& file, std::function<void()> done) = 0;
    // The list follows the processor's state (table enabled, button titles, row looks).
    virtual void processingStateChanged() = 0;
};

class QVFileProcessor {
public:
    // Share of the row's progress bar that the conversion fills; the upload fills the rest.
    static constexpr double kConversionShare = 0.15;
    // The bar moves on once the conversion has gone this much further.
    static constexpr double kProgressStep = 0.01;

    // Converted files go to `outputFolder`, made when missing. What a killed program left there
    // and no pending file owns is removed (see removeLeftovers).
    QVFileProcessor(AppDelegate& ad, qv::Dispatcher& main, IntakeHooks& hooks, QString outputFolder);
    ~QVFileProcessor();
    QVFileProcessor(const QVFileProcessor&) = delete;
    QVFileProcessor& operator=(const QVFileProcessor&) = delete;

    // "Temporary Audio Files" in the application's data folder.
    static QString defaultOutputFolder();
    // Name of the file in the output folder that every running processor holds a shared lock on.
    static constexpr const char* kFolderLockName = ".in-use";

    void setDisplay(ProcessingDisplay* display) { display_ = display; }
    const QString& outputFolder() const { return outputFolder_; }
    bool isProcessing() const { return isProcessing_; }
    const std::shared_ptr<QVFilePending>& fileCurrent() const { return fileCurrent_; }

    // Starts a run over ad.filesToProcess.
    void startProcessing();
    // Asks the user whether to stop; "Stop" stops.
    void stopProcessingWithAlert();
    // Ends the run at once: the conversion or transfer under way is dropped with its converted
    // file, and every file not yet submitted stays listed.
    void stopProcessing();

    // The mix the upload is made of: the enabled channels of every audio track at equal gain.
    static qv::AudioMix uploadMixForFile(QVFilePending& file);

private:
    void processNextFile();
    void conversionFinished(const std::shared_ptr<QVFilePending>& file, const std::optional<qv::MediaError>& error);
    void requestUploadAddress(const std::shared_ptr<QVFilePending>& file);
    void transfer(const std::shared_ptr<QVFilePending>& file, const QUrl& signedRequest);
    void transferFinished(const std::shared_ptr<QVFilePending>& file, QNetworkReply* reply);
    void createNewFileWithPendingFile(const std::shared_ptr<QVFilePending>& file);
    // The upload failed: the alert, then the run stops. `detail` says what the store answered.
    void uploadErrorHappened(const QString& detail);
    // A file could not be submitted: its row says why, the alert names it, and the run goes on
    // with the next file once the alert is dismissed.
    void fileFailed(const std::shared_ptr<QVFilePending>& file, const QString& message, const QString& informative);
    void deleteConvertedFile(const QVFilePending& file);
    // Removes the converted files of a killed program that no pending file owns: partial ones
    // whose writer is gone, and complete ones (a file whose upload address was awaited) when no
    // other program uses the folder, since a running one may be about to upload its own.
    void removeLeftovers();
    // True while the work of run `run` may still act.
    bool current(std::uint64_t run) const { return isProcessing_ && run == run_; }

    AppDelegate& ad_;
    qv::Dispatcher& main_;
    IntakeHooks& hooks_;
    QString outputFolder_;
    // Holds a shared lock on the folder's lock file while the processor lives.
    int folderLock_ = -1;
    ProcessingDisplay* display_ = nullptr;
    QNetworkAccessManager network_;
    bool isProcessing_ = false;
    // Counts runs; work that finishes for an earlier run is ignored.
    std::uint64_t run_ = 0;
    std::shared_ptr<QVFilePending> fileCurrent_;
    double lastProgressValue_ = 0;
    std::shared_ptr<qv::UploadEncoder> encoder_;
    QPointer<QNetworkReply> uploadRequest_;
    QPointer<QNetworkReply> dataTaskUpload_;
    // Work queued on the main queue is dropped once the processor is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: its thread goes first, while what the conversion reports to is still there.
    qv::WorkQueue conversionQueue_{"conversion", 1};
};
