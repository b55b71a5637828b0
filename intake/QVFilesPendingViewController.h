// The pending list: the left half of the files screen, where imported media waits for
// transcription. Every way of offering media (the open panel, the Import menu item, files
// opened with the program, drops on the list, clips of a dropped library) comes in as one batch
// through addFilesData, which examines each entry and reports what it refused once per batch.
// The list shows a row per pending file, the audio panel of the selected file below it, and an
// action bar with add, remove, the warning button and Transcribe, which prices the files against
// the account's minutes and hands them to the file processor. Rows are renamed while the
// database is connected, dragged into the order they are transcribed in, and removed with the
// remove button or the Delete key. Main thread only.
#pragma once

#include "intake/IntakeHooks.h"
#include "intake/QVFileProcessor.h"
#include "intake/audio/QVAudioConfigurationViewController.h"

#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class AppDelegate;
class QLabel;
class QMimeData;
class QPushButton;
class QToolButton;
class QWidget;
class QVFilePending;
class QVFilesPendingTableView;
class QVTableCellViewFilePending;
class QVXMLElement;
class WaveformGenerationQueue;
namespace qv {
class Dispatcher;
class Preferences;
}

// One offered item: a media file on disk, or a clip of a dropped library.
struct FilesDataEntry {
    QUrl url;
    std::shared_ptr<QVXMLElement> clip;
};
using FilesData = std::vector<FilesDataEntry>;

class QVFilesPendingViewController final : public ProcessingDisplay {
public:
    // What a clip entry becomes; made by the library drop. `refused` and `unsupportedClipName`
    // report a clip that cannot be used, for the batch's alerts.
    struct ClipResult {
        std::shared_ptr<QVFilePending> file;
        bool refused = false;
        QString unsupportedClipName;
    };
    using ClipReader = std::function<ClipResult(const std::shared_ptr<QVXMLElement>& clip)>;

    QVFilesPendingViewController(AppDelegate& ad, qv::Dispatcher& main, qv::Preferences& preferences, IntakeHooks& hooks,
                                 QVAudioConfigurationViewController::Services audio, QString temporaryAudioFolder);
    ~QVFilesPendingViewController() override;
    QVFilesPendingViewController(const QVFilesPendingViewController&) = delete;
    QVFilesPendingViewController& operator=(const QVFilesPendingViewController&) = delete;

    // The screen, to be placed by the owner, who then owns it.
    QWidget* view() const;
    QVFileProcessor& fileProcessor() { return processor_; }
    QVAudioConfigurationViewController& audioConfigurationVC() { return *audioConfigurationVC_; }
    // Clip entries need the library drop's reader; without one they yield nothing.
    void setClipReader(ClipReader reader) { clipReader_ = std::move(reader); }

    // The instructions over the empty list for the account and service status.
    static QString instructionsText(std::int64_t userStatus, std::int64_t externalServiceStatus,
                                    const QString& unverifiedAccountMessage);
    // Files may be added from account status 30 on, with no library drop under way and the
    // service not unavailable.
    static bool importAllowed(std::int64_t userStatus, bool libraryDropInProgress, std::int64_t externalServiceStatus);

    // Intake.
    static FilesData createFileDataFromURLs(const std::vector<QUrl>& urls);
    // Adds the batch at `index` (-1: at the end), keeping its order; refusals are reported
    // once, after the batch.
    void addFilesData(const FilesData& batch, std::int64_t index);
    // The open panel, as a sheet; its files are added at the end.
    void addFilesButtonPressed();
    // Files opened with the program (command line, desktop). Held until the account's status
    // is known; dropped without a word while it cannot import.
    void openFiles(const QStringList& paths);
    void createAllWaveforms();
    void cancelWaveformGeneration();

    // The screen.
    void refreshPendingView();
    void refreshBusyErrorStatus();
    void updateTableViewState();
    void setTableEnabled(bool enabled);
    void transcribeButtonPressed();
    void preflightCheckPendingFiles();
    void processPendingFiles();
    // With `allFiles` (Alt held) asks to remove every file, else the selected ones.
    void removePendingFilesPressed(bool allFiles);
    void removeSelectedPendingFiles();
    // Asks the service to send the account's welcome e-mail again; the button goes off once
    // it has.
    void resendWelcomeEmailPressed();
    // Opens the warning button's popover with the explanation for the state now, or closes it.
    void errorButtonPressed();
    // The popover while it is shown.
    QWidget* errorPopover() const;
    // The warning button's explanation for the state now.
    QString errorPopoverText() const;

    // Drops on the list. `row` is the row a drop goes above, -1 the end of the list.
    bool validateDrop(const QMimeData& data, int row);
    void acceptDrop(const QMimeData& data, int row);
    // A drag of the table's rows `rows` (ascending) begins: what it carries; and ends.
    QMimeData* beginRowDrag(const QList<int>& rows);
    void endRowDrag();
    void showActionCount(int fileCount);
    void showActionButtons();

    // ProcessingDisplay
    void showProcessingStatus(const QVFilePending& file, const QString& status, double progress) override;
    void showProcessingProgress(const QVFilePending& file, double progress) override;
    void showProcessingFailure(const QVFilePending& file, const QString& reason) override;
    void removeSubmittedFile(const std::shared_ptr<QVFilePending>& file, std::function<void()> done) override;
    void processingStateChanged() override;

    // The widgets, for the program's tests.
    QVFilesPendingTableView* tableView() const { return tableView_; }
    QLabel* tableViewInstructions() const { return tableViewInstructions_; }
    QPushButton* addFilesButton() const { return addFilesButton_; }
    QPushButton* removeFilesButton() const { return removeFilesButton_; }
    QToolButton* errorButton() const { return errorButton_; }
    QPushButton* transcribeButton() const { return transcribeButton_; }
    QLabel* droppedFilesCount() const { return droppedFilesCount_; }
    QPushButton* resendWelcomeEmailButton() const { return resendWelcomeEmailButton_; }
    QVTableCellViewFilePending* cellForFile(const QVFilePending& file) const;

private:
    void reloadData();
    void fillCell(QVTableCellViewFilePending& cell, const std::shared_ptr<QVFilePending>& file);
    void tableViewSelectionDidChange();
    // A name may be edited while the database is connected and nothing is processed.
    bool nameEditable(const QVFilePending& file) const;
    // Waveforms of the file from the cache or queued; true when some are being made.
    bool restoreWaveforms(QVFilePending& file);
    void showBatchAlerts(bool refused, const QStringList& unsupportedClipNames);
    std::vector<QUrl> mediaURLs(const QMimeData& data) const;
    std::int64_t rowOfFile(const QVFilePending& file) const;
    std::vector<std::shared_ptr<QVFilePending>> selectedFiles() const;
    void setAudioPanelHeight(double height);

    AppDelegate& ad_;
    qv::Dispatcher& main_;
    qv::Preferences& preferences_;
    IntakeHooks& hooks_;
    QVFileProcessor processor_;
    QNetworkAccessManager network_;
    ClipReader clipReader_;
    WaveformGenerationQueue* waveformGenerationQueue_;
    std::unique_ptr<QVAudioConfigurationViewController> audioConfigurationVC_;
    QPointer<QWidget> view_;
    QVFilesPendingTableView* tableView_ = nullptr;
    QLabel* tableViewInstructions_ = nullptr;
    QPushButton* resendWelcomeEmailButton_ = nullptr;
    QWidget* audioPanelContainer_ = nullptr;
    QLabel* noFilesSelectedLabel_ = nullptr;
    QPushButton* addFilesButton_ = nullptr;
    QPushButton* removeFilesButton_ = nullptr;
    QToolButton* errorButton_ = nullptr;
    QPushButton* transcribeButton_ = nullptr;
    QLabel* droppedFilesCount_ = nullptr;
    QWidget* generatingWaveformsIndicator_ = nullptr;
    bool isShowingWaveformsIndicator_ = false;
    QPointer<QWidget> errorPopover_;
    // The rows of a drag from this table: the first and the span to the last; empty when none.
    struct DraggedRange {
        int location = 0;
        int length = 0;
    } internalDraggedRange_;
    std::vector<std::shared_ptr<QVFilePending>> currentlyDraggedObjects_;
    bool tableEnabled_ = true;
    double audioPanelHeight_ = 0;
    // Why a file of the list was not submitted, by uuid; shown on its row until it is tried again.
    QHash<QString, QString> failures_;
    // The receiver of every connection the controller makes, so none outlives it.
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
    // Work queued on the main queue is dropped once the controller is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
