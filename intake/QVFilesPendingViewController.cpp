#include "intake/QVFilesPendingViewController.h"

#include "intake/PendingFileFactory.h"
#include "intake/Preflight.h"
#include "intake/QVFilesPendingTableView.h"
#include "intake/QVTableCellViewFilePending.h"
#include "intake/WarningTriangle.h"
#include "intake/audio/QVAudioConfigurationViewController.h"
#include "intake/audio/QVAudioMix.h"
#include "intake/audio/QVMetadataTimecode.h"
#include "model/AppDelegate.h"
#include "model/FileTypes.h"
#include "model/OpenFileQueries.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Preferences.h"
#include "platform/media/Asset.h"
#include "platform/ui/Alert.h"
#include "transcript-view/QVTimecodeReader.h"
#include "transcript-view/WaveformGenerationQueue.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QToolButton>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <algorithm>

using qv::localizedString;

namespace {

// Account statuses from this one on are verified and may import and transcribe.
constexpr std::int64_t kVerifiedUserStatus = 30;
constexpr std::int64_t kServiceUnavailable = -1;
constexpr std::int64_t kServiceDelayed = 0;
// Height of the audio panel area with rows but no single selection, and of the action bar.
constexpr double kNoSelectionPanelHeight = 40.0;
constexpr int kActionBarHeight = 40;
// The drag type of rows dragged within the list: the rows, ascending, separated by commas.
const QString kFileURLType = QStringLiteral("application/x-qv-file-url");
// Silence, in dB: a channel whose loudest level is no higher is not heard.
constexpr float kSilenceLevel = -50.0f;
// The processor starts this long after the hand-over, once the screen has settled.
constexpr double kProcessingStartDelay = 0.3;

bool optionKeyHeld() { return QApplication::queryKeyboardModifiers() & Qt::AltModifier; }

bool isGenerating(const QVFilePending& file)
{
    for (const auto& mediaFile : file.mediaFiles)
        for (const auto& track : mediaFile->audioTracks)
            if (track->isGeneratingWaveform)
                return true;
    return false;
}

bool isAudible(const QVFilePending& file)
{
    for (const auto& mediaFile : file.mediaFiles)
        for (const auto& track : mediaFile->audioTracks)
            for (const auto& channel : track->audioChannels)
                if (channel->enabled && channel->waveformMax > kSilenceLevel)
                    return true;
    return false;
}

// The file ends before the audio it states: reading it, to upload it, fails where its bytes end.
bool isTruncated(const QVFilePending& file) { return file.asset && file.asset->isTruncated(); }

// Why the row of `file` bears the red mark, for its tooltip.
QString audioErrorText(const QVFilePending& file)
{
    if (!isTruncated(file))
        return localizedString(QStringLiteral("No audible channel is enabled"));
    return localizedString(QStringLiteral("The file is truncated: its sound stops after %1, before the end the file states"))
        .arg(timeAsHMSTextFromMilliseconds(file.duration));
}

void showAudioError(QVTableCellViewFilePending& cell, const QVFilePending& file)
{
    cell.audioErrorDisplay()->setVisible(file.audioError);
    cell.audioErrorDisplay()->setToolTip(audioErrorText(file));
}

}  // namespace

QVFilesPendingViewController::QVFilesPendingViewController(AppDelegate& ad, qv::Dispatcher& main,
                                                           qv::Preferences& preferences, IntakeHooks& hooks,
                                                           QVAudioConfigurationViewController::Services audio,
                                                           QString temporaryAudioFolder)
    : ad_(ad), main_(main), preferences_(preferences), hooks_(hooks),
      processor_(ad, main, hooks, std::move(temporaryAudioFolder)), waveformGenerationQueue_(audio.waveformGenerationQueue)
{
    processor_.setDisplay(this);
    auto* view = new QWidget;
    view_ = view;
    view->setObjectName(QStringLiteral("pendingFilesView"));
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    view->setPalette(palette);

    tableView_ = new QVFilesPendingTableView(view);
    tableView_->setCallbacks({
        [this](const QMimeData& data, int row) { return validateDrop(data, row); },
        [this](const QMimeData& data, int row) { acceptDrop(data, row); },
        [this] {
            showActionButtons();
            reloadData();
        },
        [this] {
            if (!processor_.isProcessing())
                removeSelectedPendingFiles();
        },
        [this](const QList<int>& rows) { return beginRowDrag(rows); },
        [this] { endRowDrag(); },
    });
    QObject::connect(tableView_, &QListWidget::itemSelectionChanged, context_.get(), [this] { tableViewSelectionDidChange(); });

    tableViewInstructions_ = new QLabel(tableView_->viewport());
    tableViewInstructions_->setObjectName(QStringLiteral("tableViewInstructions"));
    tableViewInstructions_->setAlignment(Qt::AlignCenter);
    tableViewInstructions_->setWordWrap(true);
    tableViewInstructions_->setStyleSheet(QStringLiteral("color: rgb(200,200,200); font-size: 15pt;"));
    tableViewInstructions_->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Over the table, not in it: the table is off while the account is not verified.
    resendWelcomeEmailButton_ = new QPushButton(localizedString(QStringLiteral("Resend Welcome E-mail")), view);
    resendWelcomeEmailButton_->setObjectName(QStringLiteral("resendWelcomeEmailButton"));
    resendWelcomeEmailButton_->adjustSize();
    resendWelcomeEmailButton_->hide();
    QObject::connect(resendWelcomeEmailButton_, &QPushButton::clicked, context_.get(),
                     [this] { resendWelcomeEmailPressed(); });

    audioPanelContainer_ = new QWidget(view);
    audioPanelContainer_->setObjectName(QStringLiteral("audioPanelContainer"));
    auto* panelLayout = new QVBoxLayout(audioPanelContainer_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    noFilesSelectedLabel_ = new QLabel(localizedString(QStringLiteral("No file selected")), audioPanelContainer_);
    noFilesSelectedLabel_->setObjectName(QStringLiteral("noFilesSelectedLabel"));
    noFilesSelectedLabel_->setAlignment(Qt::AlignCenter);
    noFilesSelectedLabel_->setStyleSheet(QStringLiteral("color: rgb(200,200,200);"));
    panelLayout->addWidget(noFilesSelectedLabel_);

    if (!audio.alerts)
        audio.alerts = hooks_.sheetAlerts;
    audioConfigurationVC_ = std::make_unique<QVAudioConfigurationViewController>(ad_, main_, std::move(audio), true);
    QVAudioConfigurationViewController::PendingListHooks panelHooks;
    panelHooks.refreshBusyErrorStatus = [this] { refreshBusyErrorStatus(); };
    panelHooks.rowThumbnailView = [this](const QVFilePending& file) -> QWidget* {
        QVTableCellViewFilePending* cell = cellForFile(file);
        return cell ? cell->imageView() : nullptr;
    };
    panelHooks.setRowThumbnail = [this](const QVFilePending& file, const QImage& image) {
        if (QVTableCellViewFilePending* cell = cellForFile(file))
            cell->imageView()->setPixmap(QPixmap::fromImage(image).scaled(cell->imageView()->size(), Qt::KeepAspectRatio,
                                                                         Qt::SmoothTransformation));
    };
    panelHooks.setRowTimeText = [this](const QVFilePending& file, const QString& text) {
        if (QVTableCellViewFilePending* cell = cellForFile(file); cell && !processor_.isProcessing())
            cell->timeAndProcessingStatus()->setText(text);
    };
    panelHooks.containerFilesHeight = [this] { return view_ ? static_cast<double>(view_->height()) : 0.0; };
    panelHooks.audioPanelHeight = [this] { return audioPanelHeight_; };
    panelHooks.setAudioPanelHeight = [this](double height) { setAudioPanelHeight(height); };
    audioConfigurationVC_->setPendingListHooks(std::move(panelHooks));
    QWidget* panel = audioConfigurationVC_->view();
    panel->hide();
    panelLayout->addWidget(panel);

    auto* actionBar = new QWidget(view);
    actionBar->setObjectName(QStringLiteral("actionBar"));
    actionBar->setFixedHeight(kActionBarHeight);
    actionBar->setAutoFillBackground(true);
    QPalette barPalette = actionBar->palette();
    barPalette.setColor(QPalette::Window, QColor::fromRgbF(0.22f, 0.22f, 0.22f));
    actionBar->setPalette(barPalette);
    addFilesButton_ = new QPushButton(QStringLiteral("+"), actionBar);
    addFilesButton_->setObjectName(QStringLiteral("addFilesButton"));
    addFilesButton_->setAccessibleName(localizedString(QStringLiteral("Import Media")));
    removeFilesButton_ = new QPushButton(QStringLiteral("−"), actionBar);
    removeFilesButton_->setObjectName(QStringLiteral("removeFilesButton"));
    removeFilesButton_->setAccessibleName(localizedString(QStringLiteral("Remove")));
    for (QPushButton* button : {addFilesButton_, removeFilesButton_}) {
        button->setFixedSize(32, 28);
        button->setFlat(true);
        // Dimmed while disabled, as the other buttons of the bar are.
        button->setStyleSheet(QStringLiteral("QPushButton { color: white; font-size: 18pt; }"
                                             " QPushButton:disabled { color: rgba(255, 255, 255, 64); }"));
    }
    errorButton_ = new QToolButton(actionBar);
    errorButton_->setObjectName(QStringLiteral("errorButton"));
    errorButton_->setIcon(warningTriangleIcon(WarningColour::Red));
    errorButton_->setAutoRaise(true);
    errorButton_->hide();
    auto* busy = new QProgressBar(actionBar);
    busy->setObjectName(QStringLiteral("generatingWaveformsIndicator"));
    busy->setRange(0, 0);
    busy->setFixedSize(40, 8);
    busy->setTextVisible(false);
    busy->hide();
    generatingWaveformsIndicator_ = busy;
    droppedFilesCount_ = new QLabel(actionBar);
    droppedFilesCount_->setObjectName(QStringLiteral("droppedFilesCount"));
    droppedFilesCount_->setStyleSheet(QStringLiteral("color: white;"));
    droppedFilesCount_->hide();
    transcribeButton_ = new QPushButton(localizedString(QStringLiteral("Transcribe")), actionBar);
    transcribeButton_->setObjectName(QStringLiteral("transcribeButton"));
    transcribeButton_->setEnabled(false);
    auto* bar = new QHBoxLayout(actionBar);
    bar->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(addFilesButton_);
    bar->addWidget(removeFilesButton_);
    bar->addWidget(errorButton_);
    bar->addWidget(busy);
    bar->addWidget(droppedFilesCount_);
    bar->addStretch(1);
    bar->addWidget(transcribeButton_);

    QObject::connect(addFilesButton_, &QPushButton::clicked, context_.get(), [this] { addFilesButtonPressed(); });
    QObject::connect(removeFilesButton_, &QPushButton::clicked, context_.get(), [this] { removePendingFilesPressed(optionKeyHeld()); });
    QObject::connect(transcribeButton_, &QPushButton::clicked, context_.get(), [this] { transcribeButtonPressed(); });
    QObject::connect(errorButton_, &QToolButton::clicked, context_.get(), [this] { errorButtonPressed(); });

    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(tableView_, 1);
    column->addWidget(audioPanelContainer_);
    column->addWidget(actionBar);
    setAudioPanelHeight(0);
    refreshPendingView();
}

QVFilesPendingViewController::~QVFilesPendingViewController()
{
    processor_.setDisplay(nullptr);
    if (tableView_)
        tableView_->setCallbacks({});
    delete errorPopover_;
}

QWidget* QVFilesPendingViewController::view() const { return view_; }

QString QVFilesPendingViewController::instructionsText(std::int64_t userStatus, std::int64_t externalServiceStatus,
                                                       const QString& unverifiedAccountMessage)
{
    if (userStatus >= 1 && userStatus < kVerifiedUserStatus)
        return unverifiedAccountMessage;
    if (externalServiceStatus == kServiceUnavailable)
        return localizedString(QStringLiteral("Transcription is not available\nplease try again later"));
    return localizedString(QStringLiteral("Import files\nby clicking the + button\nor dropping here"));
}

bool QVFilesPendingViewController::importAllowed(std::int64_t userStatus, bool libraryDropInProgress,
                                                 std::int64_t externalServiceStatus)
{
    return userStatus >= kVerifiedUserStatus && !libraryDropInProgress && externalServiceStatus != kServiceUnavailable;
}

FilesData QVFilesPendingViewController::createFileDataFromURLs(const std::vector<QUrl>& urls)
{
    FilesData data;
    for (const QUrl& url : urls)
        data.push_back({url, nullptr});
    return data;
}

void QVFilesPendingViewController::addFilesData(const FilesData& batch, std::int64_t index)
{
    if (batch.empty()) {
        refreshPendingView();
        return;
    }
    bool refused = false;
    QStringList unsupportedClipNames;
    const PendingFileDefaults defaults{preferences_.integerForKey(QStringLiteral("QVDefaultDiarization")) == 1,
                                       preferences_.stringForKey(QStringLiteral("QVDefaultLanguage")).value_or(QString())};
    for (const FilesDataEntry& entry : batch) {
        std::shared_ptr<QVFilePending> file;
        if (!entry.url.isEmpty()) {
            file = createPendingFileFromURL(entry.url, defaults);
            if (!file) {
                refused = true;
                continue;
            }
            if (!getBWFMP3TimecodeForFilePending(file.get(), nullptr)) {
                auto reader = QVTimecodeReader::initWithFilePending(ad_, main_, file);
                ad_.timecodeReaders.add(reader);
                reader->readTimecodeSamples();
                // The row is drawn again in the file's own timecode once the reader has run.
                main_.async([this, alive = std::weak_ptr<bool>(alive_), read = std::weak_ptr<QVFilePending>(file)] {
                    const auto pending = read.lock();
                    QVTableCellViewFilePending* cell = alive.expired() || !pending ? nullptr : cellForFile(*pending);
                    if (cell && !processor_.isProcessing() && !failures_.contains(pending->uuid))
                        cell->timeAndProcessingStatus()->setText(
                            timeAsHMSTextFromCMTimeForFilePending(pending, pending->lastMediaTimeDisplayed));
                });
            }
        } else if (entry.clip && clipReader_) {
            ClipResult result = clipReader_(entry.clip);
            refused = refused || result.refused;
            if (!result.unsupportedClipName.isEmpty())
                unsupportedClipNames.append(result.unsupportedClipName);
            file = result.file;
        }
        if (!file)
            continue;

        // Refusals below can leave the index past the end: the rest of the batch then goes last.
        std::int64_t position = index < 0 ? static_cast<std::int64_t>(ad_.filesPending.size())
                                          : std::min<std::int64_t>(index, static_cast<std::int64_t>(ad_.filesPending.size()));
        ad_.filesPending.insert(ad_.filesPending.begin() + position, file);
        if (index >= 0)
            ++index;

        file->audioMix = createAudioMixForMediaFiles(file->mediaFiles);
        if (restoreWaveforms(*file)) {
            file->isGeneratingWaveforms = true;
            refreshBusyErrorStatus();
        }
        if (file->fileType == 0 || file->fileType == 2) {
            if (hooks_.namedImage)
                file->thumbnail = hooks_.namedImage(QStringLiteral("audio file icon"));
        } else if (file->fileType == 1 || file->fileType == 5) {
            if (hooks_.videoThumbnail && !file->mediaFiles.empty())
                file->thumbnail = hooks_.videoThumbnail(file->mediaFiles.front()->url);
            if (file->thumbnail.isNull()) {
                ad_.filesPending.erase(std::find(ad_.filesPending.begin(), ad_.filesPending.end(), file));
                refused = true;
            }
        } else if (hooks_.namedImage) {
            file->thumbnail = hooks_.namedImage(QStringLiteral("audio file icon"));
            for (const auto& mediaFile : file->mediaFiles)
                if (mediaFile->showVideo) {
                    QImage frame = hooks_.videoThumbnail ? hooks_.videoThumbnail(mediaFile->url) : QImage();
                    file->thumbnail = frame.isNull() ? hooks_.namedImage(QStringLiteral("files-thumbnail-placeholder")) : frame;
                    break;
                }
        }
    }
    tableView_->clearSelection();
    refreshPendingView();
    showBatchAlerts(refused, unsupportedClipNames);
}

void QVFilesPendingViewController::showBatchAlerts(bool refused, const QStringList& unsupportedClipNames)
{
    if (!hooks_.modalAlerts)
        return;
    auto clipAlert = [this, unsupportedClipNames] {
        if (unsupportedClipNames.isEmpty())
            return;
        const bool one = unsupportedClipNames.size() == 1;
        QString names;
        for (const QString& name : unsupportedClipNames)
            names += QStringLiteral("\n• ") + name;
        hooks_.modalAlerts->beginSheet(
            {one ? localizedString(QStringLiteral(
                       "The following clip could not be imported as the XML data is either invalid or it contains enabled "
                       "compound, multicam or sync clips which are not currently supported."))
                 : localizedString(QStringLiteral(
                       "The following clips could not be imported as the XML data is either invalid or they contain "
                       "enabled compound, multicam or sync clips which are not currently supported.")),
             (one ? localizedString(QStringLiteral(
                        "Where possible, disable the unsupported clip types within this clip and reimport.\n%1"))
                  : localizedString(QStringLiteral(
                        "Where possible, disable the unsupported clip types within these clips and reimport.\n%1")))
                 .arg(names),
             qv::AlertStyle::Critical,
             {}},
            {});
    };
    if (!refused) {
        clipAlert();
        return;
    }
    hooks_.modalAlerts->beginSheet(
        {localizedString(QStringLiteral("One or more files are not supported audio or video files or did not contain an "
                                        "audio track so could not be imported.")),
         localizedString(QStringLiteral("MXF support requires macOS 10.12 Sierra (or later) and Apple Pro Formats Codecs.")),
         qv::AlertStyle::Informational,
         {}},
        [clipAlert](int) { clipAlert(); });
}

bool QVFilesPendingViewController::restoreWaveforms(QVFilePending& file)
{
    bool generating = false;
    for (const auto& mediaFile : file.mediaFiles)
        if (!audioConfigurationVC_->restoreWaveformsForMediaFile(mediaFile))
            generating = true;
    return generating;
}

void QVFilesPendingViewController::addFilesButtonPressed()
{
    if (!hooks_.chooseMediaFiles)
        return;
    std::weak_ptr<bool> alive = alive_;
    hooks_.chooseMediaFiles([this, alive](const std::vector<QUrl>& urls) {
        if (!alive.expired() && !urls.empty())
            addFilesData(createFileDataFromURLs(urls), -1);
    });
}

void QVFilesPendingViewController::openFiles(const QStringList& paths)
{
    if (ad_.hasCheckedAuthOnLaunch && ad_.userStatus < kVerifiedUserStatus)
        return;
    if (ad_.droppedXMLDoc || ad_.externalServiceStatus == kServiceUnavailable)
        return;
    std::vector<QUrl> urls;
    for (const QString& path : paths)
        urls.push_back(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    if (ad_.userStatus >= kVerifiedUserStatus)
        addFilesData(createFileDataFromURLs(urls), -1);
    else
        ad_.droppedFilesBeforeLaunch.insert(ad_.droppedFilesBeforeLaunch.end(), urls.begin(), urls.end());
    if (QWidget* window = view_ ? view_->window() : nullptr) {
        window->raise();
        window->activateWindow();
    }
}

void QVFilesPendingViewController::createAllWaveforms()
{
    for (const auto& file : ad_.filesPending)
        if (!file->mediaFiles.empty() && restoreWaveforms(*file))
            file->isGeneratingWaveforms = true;
    reloadData();
    if (!ad_.filesPending.empty())
        refreshBusyErrorStatus();
}

void QVFilesPendingViewController::cancelWaveformGeneration()
{
    if (waveformGenerationQueue_)
        waveformGenerationQueue_->cancelAllOperations();
    for (const auto& file : ad_.filesPending) {
        for (const auto& mediaFile : file->mediaFiles)
            for (const auto& track : mediaFile->audioTracks)
                track->isGeneratingWaveform = false;
        file->isGeneratingWaveforms = false;
    }
    refreshBusyErrorStatus();
}

void QVFilesPendingViewController::reloadData()
{
    const auto selected = selectedFiles();
    const QSignalBlocker block(tableView_);
    tableView_->clear();
    for (const auto& file : ad_.filesPending) {
        auto* item = new QListWidgetItem(tableView_);
        item->setSizeHint(QSize(0, QVTableCellViewFilePending::kRowHeight));
        auto* cell = new QVTableCellViewFilePending;
        fillCell(*cell, file);
        tableView_->setItemWidget(item, cell);
        if (std::find(selected.begin(), selected.end(), file) != selected.end()) {
            item->setSelected(true);
            cell->updateTextFieldAppearance(1);
        }
    }
}

void QVFilesPendingViewController::fillCell(QVTableCellViewFilePending& cell, const std::shared_ptr<QVFilePending>& file)
{
    cell.filePending = file;
    showAudioError(cell, *file);
    if (!file->thumbnail.isNull())
        cell.imageView()->setPixmap(QPixmap::fromImage(file->thumbnail)
                                        .scaled(cell.imageView()->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    cell.textField()->setText(file->name);
    cell.textField()->setToolTip(file->name);
    cell.durationDisplay()->setText(timeAsHMSTextFromMilliseconds(file->duration));
    cell.detailsDisplay()->setText(getUIStringForFileType(file->fileType));
    if (isComplexFile(file->fileType)) {
        if (!file->fcpxEventName.isEmpty() && !file->fcpxClipName.isEmpty())
            cell.detailsDisplay()->setToolTip(QStringLiteral("%1 > %2").arg(file->fcpxEventName, file->fcpxClipName));
    } else if (!file->mediaFiles.empty()) {
        cell.detailsDisplay()->setToolTip(file->mediaFiles.front()->url.toLocalFile());
    }
    cell.makingWaveformIndicator()->setVisible(file->isGeneratingWaveforms);
    cell.diarizationPopup()->setCurrentIndex(file->diarisation ? 1 : 0);
    cell.languagePopup()->clear();
    for (int i = 0; i < ad_.availableLanguagesCodes.size(); ++i)
        cell.languagePopup()->addItem(i < ad_.availableLanguagesLabels.size() ? ad_.availableLanguagesLabels[i]
                                                                              : ad_.availableLanguagesCodes[i]);
    cell.languagePopup()->setCurrentIndex(static_cast<int>(ad_.availableLanguagesCodes.indexOf(file->language)));

    const bool processing = processor_.isProcessing();
    cell.diarizationPopup()->setEnabled(!processing);
    cell.languagePopup()->setEnabled(!processing);
    cell.textField()->setReadOnly(!nameEditable(*file));
    if (processing)
        cell.timeAndProcessingStatus()->setText(localizedString(QStringLiteral("Pending")));
    else
        cell.timeAndProcessingStatus()->setText(timeAsHMSTextFromCMTimeForFilePending(file, file->lastMediaTimeDisplayed));
    if (const auto failure = failures_.constFind(file->uuid); failure != failures_.constEnd()) {
        cell.timeAndProcessingStatus()->setText(localizedString(QStringLiteral("Not submitted")));
        cell.timeAndProcessingStatus()->setToolTip(*failure);
        cell.timeAndProcessingStatus()->setStyleSheet(QStringLiteral("color: rgb(200,30,30);"));
    }
    if (processing && file == processor_.fileCurrent())
        cell.showProcessing(localizedString(QStringLiteral("Converting")), 0.0);

    std::weak_ptr<QVFilePending> weak = file;
    QObject::connect(cell.diarizationPopup(), &QComboBox::activated, context_.get(), [this, weak](int item) {
        auto target = weak.lock();
        if (!target)
            return;
        if (optionKeyHeld()) {
            for (const auto& each : ad_.filesPending)
                each->diarisation = item == 1;
            main_.async([this, alive = std::weak_ptr<bool>(alive_)] {
                if (!alive.expired())
                    reloadData();
            });
        } else {
            target->diarisation = item == 1;
        }
    });
    QObject::connect(cell.languagePopup(), &QComboBox::activated, context_.get(), [this, weak](int item) {
        auto target = weak.lock();
        if (!target || item < 0 || item >= ad_.availableLanguagesCodes.size())
            return;
        const QString code = ad_.availableLanguagesCodes[item];
        if (optionKeyHeld()) {
            for (const auto& each : ad_.filesPending)
                each->language = code;
            main_.async([this, alive = std::weak_ptr<bool>(alive_)] {
                if (!alive.expired())
                    reloadData();
            });
        } else {
            target->language = code;
        }
    });
    QLineEdit* name = cell.textField();
    QObject::connect(name, &QLineEdit::editingFinished, context_.get(), [name, weak] {
        if (auto target = weak.lock(); target && !name->isReadOnly())
            target->name = name->text();
    });
}

bool QVFilesPendingViewController::nameEditable(const QVFilePending& file) const
{
    // Clips keep the names they have in the library they came from.
    return ad_.isConnected && !processor_.isProcessing() && file.fileType < 2;
}

QVTableCellViewFilePending* QVFilesPendingViewController::cellForFile(const QVFilePending& file) const
{
    for (int row = 0; row < tableView_->count(); ++row) {
        auto* cell = static_cast<QVTableCellViewFilePending*>(tableView_->itemWidget(tableView_->item(row)));
        if (cell && cell->filePending.get() == &file)
            return cell;
    }
    return nullptr;
}

std::int64_t QVFilesPendingViewController::rowOfFile(const QVFilePending& file) const
{
    for (std::size_t row = 0; row < ad_.filesPending.size(); ++row)
        if (ad_.filesPending[row].get() == &file)
            return static_cast<std::int64_t>(row);
    return -1;
}

std::vector<std::shared_ptr<QVFilePending>> QVFilesPendingViewController::selectedFiles() const
{
    std::vector<std::shared_ptr<QVFilePending>> files;
    for (int row = 0; row < tableView_->count(); ++row)
        if (tableView_->item(row)->isSelected())
            if (auto* cell = static_cast<QVTableCellViewFilePending*>(tableView_->itemWidget(tableView_->item(row))))
                files.push_back(cell->filePending);
    return files;
}

void QVFilesPendingViewController::setAudioPanelHeight(double height)
{
    audioPanelHeight_ = height;
    audioPanelContainer_->setFixedHeight(static_cast<int>(height));
}

void QVFilesPendingViewController::refreshPendingView()
{
    reloadData();
    removeFilesButton_->setEnabled(false);
    refreshBusyErrorStatus();
    if (!ad_.filesPending.empty()) {
        tableViewInstructions_->hide();
        resendWelcomeEmailButton_->hide();
        if (audioPanelHeight_ < kNoSelectionPanelHeight)
            setAudioPanelHeight(kNoSelectionPanelHeight);
        tableView_->setStyleSheet(QStringLiteral("QListWidget { background: rgb(240,240,240); }"
                                                 "QListWidget::item { border-bottom: 1px solid rgb(200,200,200); }"
                                                 "QListWidget::item:selected { background: rgb(60,110,200); }"));
    } else {
        if (ad_.droppedFilesAwaitingProcessing.isEmpty())
            ad_.droppedXMLDoc.reset();
        tableViewInstructions_->setText(
            instructionsText(ad_.userStatus, ad_.externalServiceStatus, ad_.unverifiedAccountMessage));
        tableViewInstructions_->resize(tableView_->viewport()->size());
        tableViewInstructions_->show();
        // Below the unverified account's message, which fills the middle of the list.
        const QRect area = tableView_->geometry();
        resendWelcomeEmailButton_->move(area.x() + (area.width() - resendWelcomeEmailButton_->width()) / 2,
                                        area.y() + area.height() / 2 + tableViewInstructions_->sizeHint().height() / 2 + 16);
        resendWelcomeEmailButton_->setVisible(ad_.userStatus != 0 && ad_.userStatus < kVerifiedUserStatus);
        resendWelcomeEmailButton_->raise();
        tableView_->setStyleSheet(QStringLiteral("QListWidget { background: rgb(77,77,77); border: none; }"));
        setAudioPanelHeight(0);
    }
    addFilesButton_->setEnabled(importAllowed(ad_.userStatus, ad_.droppedXMLDoc != nullptr, ad_.externalServiceStatus)
                                && !processor_.isProcessing());
}

void QVFilesPendingViewController::refreshBusyErrorStatus()
{
    // Waveform generation reports from its own threads.
    if (QThread::currentThread() != qApp->thread()) {
        main_.async([this, alive = std::weak_ptr<bool>(alive_)] {
            if (!alive.expired())
                refreshBusyErrorStatus();
        });
        return;
    }
    bool busy = false;
    bool erroneous = false;
    for (const auto& file : ad_.filesPending) {
        if (isGenerating(*file))
            busy = true;
        else
            file->isGeneratingWaveforms = false;
        file->audioError = isTruncated(*file) || (!file->isGeneratingWaveforms && !isAudible(*file));
        erroneous = erroneous || file->audioError;
        if (QVTableCellViewFilePending* cell = cellForFile(*file)) {
            cell->makingWaveformIndicator()->setVisible(file->isGeneratingWaveforms && !processor_.isProcessing());
            showAudioError(*cell, *file);
            // The connection decides whether an edit may start; one under way is finished.
            if (!cell->textField()->hasFocus())
                cell->textField()->setReadOnly(!nameEditable(*file));
        }
    }
    if (busy != isShowingWaveformsIndicator_) {
        isShowingWaveformsIndicator_ = busy;
        generatingWaveformsIndicator_->setVisible(busy);
        generatingWaveformsIndicator_->setToolTip(busy ? localizedString(QStringLiteral("Analyzing audio")) : QString());
    }
    const bool rows = !ad_.filesPending.empty();
    const bool warn = erroneous || (rows && (!ad_.isConnected || ad_.externalServiceStatus == kServiceUnavailable
                                             || ad_.externalServiceStatus == kServiceDelayed));
    errorButton_->setVisible(warn && droppedFilesCount_->isHidden());
    const bool yellow = !erroneous && ad_.isConnected && ad_.externalServiceStatus == kServiceDelayed;
    errorButton_->setIcon(warningTriangleIcon(yellow ? WarningColour::Yellow : WarningColour::Red));
    transcribeButton_->setEnabled(processor_.isProcessing()
                                  || (!isShowingWaveformsIndicator_ && !erroneous && ad_.userStatus >= kVerifiedUserStatus
                                      && ad_.externalServiceStatus != kServiceUnavailable && rows && ad_.isConnected));
}

void QVFilesPendingViewController::resendWelcomeEmailPressed()
{
    if (!ad_.currentUser || ad_.currentUser->uid.empty() || !hooks_.webApplicationURL || !hooks_.linkToken)
        return;
    QUrl address = hooks_.webApplicationURL(QStringLiteral("resend-welcome-email"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("token"), hooks_.linkToken(QString::fromStdString(ad_.currentUser->uid)));
    address.setQuery(query);
    QNetworkReply* reply = network_.get(QNetworkRequest(address));
    QPointer<QPushButton> button = resendWelcomeEmailButton_;
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, button] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            qv::logWarning("Error: " + reply->errorString().toStdString());
            return;
        }
        if (button)
            button->setEnabled(false);
    });
}

void QVFilesPendingViewController::errorButtonPressed()
{
    // A popover closed by a click elsewhere only hid itself: it goes now as well.
    const bool open = errorPopover_ && errorPopover_->isVisible();
    if (errorPopover_)
        errorPopover_->deleteLater();
    errorPopover_.clear();
    if (open || !hooks_.showPopover)
        return;
    errorPopover_ = hooks_.showPopover(errorButton_, errorPopoverText());
}

QWidget* QVFilesPendingViewController::errorPopover() const
{
    return errorPopover_ && errorPopover_->isVisible() ? errorPopover_.data() : nullptr;
}

QString QVFilesPendingViewController::errorPopoverText() const
{
    if (!ad_.isConnected)
        return localizedString(QStringLiteral("File(s) cannot be transcribed\nbecause there is no internet connection"));
    if (ad_.externalServiceStatus == kServiceDelayed)
        return localizedString(QStringLiteral("Files may take longer\nthan usual to process"));
    if (ad_.externalServiceStatus == kServiceUnavailable)
        return localizedString(QStringLiteral("Transcription is not available\nplease try again later"));
    const bool truncated = std::any_of(ad_.filesPending.begin(), ad_.filesPending.end(),
                                       [](const auto& file) { return isTruncated(*file); });
    const bool inaudible = std::any_of(ad_.filesPending.begin(), ad_.filesPending.end(),
                                       [](const auto& file) { return file->audioError && !isTruncated(*file); });
    QStringList reasons;
    if (truncated)
        reasons << localizedString(QStringLiteral("One or more files are truncated:\ntheir sound ends before the file says"));
    if (inaudible || !truncated)
        reasons << localizedString(QStringLiteral("One or more files do not have\na valid audio channel enabled"));
    return reasons.join(QStringLiteral("\n\n"));
}

void QVFilesPendingViewController::updateTableViewState()
{
    const bool processing = processor_.isProcessing();
    tableView_->setEnabled(tableEnabled_ && !processing);
    if (processing) {
        addFilesButton_->setEnabled(false);
        removeFilesButton_->setEnabled(false);
        transcribeButton_->setText(localizedString(QStringLiteral("Cancel")));
        transcribeButton_->setEnabled(true);
    } else {
        addFilesButton_->setEnabled(importAllowed(ad_.userStatus, ad_.droppedXMLDoc != nullptr, ad_.externalServiceStatus));
        removeFilesButton_->setEnabled(!tableView_->selectedItems().isEmpty());
        transcribeButton_->setText(localizedString(QStringLiteral("Transcribe")));
    }
}

void QVFilesPendingViewController::setTableEnabled(bool enabled)
{
    tableEnabled_ = enabled;
    tableView_->setEnabled(enabled && !processor_.isProcessing());
}

void QVFilesPendingViewController::tableViewSelectionDidChange()
{
    const auto selected = selectedFiles();
    removeFilesButton_->setEnabled(!selected.empty() && !processor_.isProcessing());
    for (int row = 0; row < tableView_->count(); ++row)
        if (auto* cell = static_cast<QVTableCellViewFilePending*>(tableView_->itemWidget(tableView_->item(row))))
            cell->updateTextFieldAppearance(tableView_->item(row)->isSelected() ? 1 : 2);
    QWidget* panel = audioConfigurationVC_->view();
    if (selected.size() == 1) {
        noFilesSelectedLabel_->hide();
        panel->show();
        audioConfigurationVC_->setMediaFiles(selected.front()->mediaFiles);
        audioConfigurationVC_->loadPendingFile(selected.front());
        audioConfigurationVC_->refreshDisplay();
        audioConfigurationVC_->setIsShowing(true);
        audioConfigurationVC_->updatePanelHeight();
        setAudioPanelHeight(std::max(kNoSelectionPanelHeight, audioConfigurationVC_->calculatePanelHeight()));
    } else {
        panel->hide();
        audioConfigurationVC_->setMediaFiles({});
        audioConfigurationVC_->loadPendingFile(nullptr);
        audioConfigurationVC_->setIsShowing(false);
        noFilesSelectedLabel_->show();
        setAudioPanelHeight(ad_.filesPending.empty() ? 0.0 : kNoSelectionPanelHeight);
    }
}

void QVFilesPendingViewController::transcribeButtonPressed()
{
    if (processor_.isProcessing())
        processor_.stopProcessingWithAlert();
    else
        preflightCheckPendingFiles();
}

void QVFilesPendingViewController::preflightCheckPendingFiles()
{
    if (!ad_.droppedClipsToImport.empty()) {
        std::vector<std::shared_ptr<QVXMLElement>> gone;
        for (const auto& clip : ad_.droppedClipsToImport)
            if (std::none_of(ad_.filesPending.begin(), ad_.filesPending.end(),
                             [&](const std::shared_ptr<QVFilePending>& file) { return file->clip == clip; }))
                gone.push_back(clip);
        for (const auto& clip : gone)
            ad_.droppedClipsToImport.remove(clip);
    }
    const std::int64_t total = totalMinutes(ad_.filesPending);
    const qv::Alert alert = preflightAlert(ad_.filesPending.size(), total, ad_.userBalance, ad_.userBalanceUnlimited,
                                           ad_.droppedXMLDoc != nullptr);
    if (!hooks_.sheetAlerts)
        return;
    if (preflightRefuses(total, ad_.userBalance)) {
        hooks_.sheetAlerts->beginSheet(alert, {});
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    hooks_.sheetAlerts->beginSheet(alert, [this, alive](int code) {
        if (alive.expired() || code != qv::kAlertFirstButtonReturn)
            return;
        if (hooks_.filesListShowsNoFiles && hooks_.filesListShowsNoFiles() && hooks_.showFilesTable)
            main_.async([this, alive] {
                if (!alive.expired())
                    hooks_.showFilesTable();
            });
        processPendingFiles();
        if (hooks_.trackEvent)
            hooks_.trackEvent(QStringLiteral("Transcribe file(s)"));
    });
}

void QVFilesPendingViewController::processPendingFiles()
{
    if (hooks_.scrollFilesListToTop)
        hooks_.scrollFilesListToTop();
    ad_.filesToProcess = ad_.filesPending;
    if (ad_.droppedXMLDoc)
        for (const auto& file : ad_.filesPending)
            ad_.droppedFilesAwaitingProcessing.append(file->uuid);
    if (!tableView_->selectedItems().isEmpty()) {
        audioConfigurationVC_->loadPendingFile(nullptr);
        audioConfigurationVC_->view()->hide();
        setAudioPanelHeight(kNoSelectionPanelHeight);
        tableView_->clearSelection();
    }
    noFilesSelectedLabel_->hide();
    if (hooks_.resetFilesSearch)
        hooks_.resetFilesSearch();
    if (hooks_.enableFilesSearch)
        hooks_.enableFilesSearch(false);
    for (const auto& file : ad_.filesPending)
        failures_.remove(file->uuid);
    std::weak_ptr<bool> alive = alive_;
    main_.after(kProcessingStartDelay, [this, alive] {
        if (!alive.expired())
            processor_.startProcessing();
    });
}

void QVFilesPendingViewController::removePendingFilesPressed(bool allFiles)
{
    if (!hooks_.sheetAlerts)
        return;
    std::weak_ptr<bool> alive = alive_;
    if (!allFiles) {
        removeSelectedPendingFiles();
        return;
    }
    hooks_.sheetAlerts->beginSheet({localizedString(QStringLiteral("Remove all imported files?")),
                                    localizedString(QStringLiteral("You cannot undo this action.")),
                                    qv::AlertStyle::Critical,
                                    {localizedString(QStringLiteral("Remove All")), localizedString(QStringLiteral("Cancel"))}},
                                   [this, alive](int code) {
                                       if (alive.expired() || code != qv::kAlertFirstButtonReturn || processor_.isProcessing())
                                           return;
                                       cancelWaveformGeneration();
                                       ad_.filesPending.clear();
                                       failures_.clear();
                                       tableView_->clearSelection();
                                       refreshPendingView();
                                   });
}

void QVFilesPendingViewController::removeSelectedPendingFiles()
{
    if (!hooks_.sheetAlerts || tableView_->selectedItems().isEmpty())
        return;
    std::weak_ptr<bool> alive = alive_;
    hooks_.sheetAlerts->beginSheet(
        {localizedString(QStringLiteral("Remove selected imported files?")),
         localizedString(QStringLiteral("You cannot undo this action.")),
         qv::AlertStyle::Critical,
         {localizedString(QStringLiteral("Remove Selected")), localizedString(QStringLiteral("Cancel"))}},
        [this, alive](int code) {
            if (alive.expired() || code != qv::kAlertFirstButtonReturn || processor_.isProcessing())
                return;
            cancelWaveformGeneration();
            for (const auto& file : selectedFiles()) {
                failures_.remove(file->uuid);
                ad_.filesPending.erase(std::remove(ad_.filesPending.begin(), ad_.filesPending.end(), file),
                                       ad_.filesPending.end());
            }
            tableView_->clearSelection();
            refreshPendingView();
            createAllWaveforms();
        });
}

std::vector<QUrl> QVFilesPendingViewController::mediaURLs(const QMimeData& data) const
{
    std::vector<QUrl> urls;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile() && mediaConformanceOfFile(url.toLocalFile()) != MediaConformance::Neither)
            urls.push_back(url);
    return urls;
}

QMimeData* QVFilesPendingViewController::beginRowDrag(const QList<int>& rows)
{
    if (rows.isEmpty() || processor_.isProcessing())
        return nullptr;
    internalDraggedRange_ = {rows.front(), rows.back() - rows.front() + 1};
    currentlyDraggedObjects_.clear();
    QStringList text;
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(ad_.filesPending.size()))
            currentlyDraggedObjects_.push_back(ad_.filesPending[static_cast<std::size_t>(row)]);
        text << QString::number(row);
    }
    auto* data = new QMimeData;
    data->setData(kFileURLType, text.join(',').toLatin1());
    return data;
}

void QVFilesPendingViewController::endRowDrag()
{
    internalDraggedRange_ = {};
    currentlyDraggedObjects_.clear();
}

bool QVFilesPendingViewController::validateDrop(const QMimeData& data, int row)
{
    if (data.hasFormat(kFileURLType) && internalDraggedRange_.length > 0) {
        // Dropped inside the dragged span the rows would not move: no drop there.
        const int target = row < 0 ? static_cast<int>(ad_.filesPending.size()) : row;
        if (target < internalDraggedRange_.location
            || target > internalDraggedRange_.location + internalDraggedRange_.length)
            return true;
    }
    if (!data.hasUrls() || ad_.droppedXMLDoc || ad_.userStatus < kVerifiedUserStatus || ad_.externalServiceStatus < 0
        || processor_.isProcessing())
        return false;
    const auto urls = mediaURLs(data);
    if (urls.empty())
        return false;
    showActionCount(static_cast<int>(urls.size()));
    return true;
}

void QVFilesPendingViewController::acceptDrop(const QMimeData& data, int row)
{
    if (data.hasFormat(kFileURLType)) {
        // The dragged rows end up, in their old order, just above the drop row.
        const int target = row < 0 ? static_cast<int>(ad_.filesPending.size()) : row;
        auto& files = ad_.filesPending;
        int moved = 0;
        for (const QByteArray& entry : data.data(kFileURLType).split(',')) {
            bool ok = false;
            const int index = entry.toInt(&ok);
            if (!ok)
                continue;
            const int from = index < target ? index - moved : index;
            const int to = index < target ? target - 1 : target + moved;
            const int count = static_cast<int>(files.size());
            if (from < 0 || from >= count || to < 0 || to >= count)
                continue;
            auto file = files[static_cast<std::size_t>(from)];
            files.erase(files.begin() + from);
            files.insert(files.begin() + to, file);
            ++moved;
        }
        reloadData();
        return;
    }
    if (data.hasUrls() && !ad_.droppedXMLDoc && !processor_.isProcessing())
        addFilesData(createFileDataFromURLs(mediaURLs(data)), row);
    showActionButtons();
}

void QVFilesPendingViewController::showActionCount(int fileCount)
{
    for (QWidget* hidden : std::initializer_list<QWidget*>{addFilesButton_, removeFilesButton_, transcribeButton_, errorButton_,
                                                           generatingWaveformsIndicator_, tableViewInstructions_})
        hidden->hide();
    droppedFilesCount_->setText(fileCount == 1 ? localizedString(QStringLiteral("Import 1 file"))
                                               : localizedString(QStringLiteral("Import %1 files")).arg(fileCount));
    droppedFilesCount_->show();
}

void QVFilesPendingViewController::showActionButtons()
{
    for (QWidget* shown : std::initializer_list<QWidget*>{addFilesButton_, removeFilesButton_, transcribeButton_})
        shown->show();
    droppedFilesCount_->hide();
    generatingWaveformsIndicator_->setVisible(isShowingWaveformsIndicator_);
    refreshBusyErrorStatus();
    if (ad_.filesPending.empty())
        tableViewInstructions_->show();
}

void QVFilesPendingViewController::showProcessingStatus(const QVFilePending& file, const QString& status, double progress)
{
    failures_.remove(file.uuid);
    if (QVTableCellViewFilePending* cell = cellForFile(file)) {
        cell->timeAndProcessingStatus()->setStyleSheet({});
        cell->updateTextFieldAppearance(2);
        cell->showProcessing(status, progress);
    }
}

void QVFilesPendingViewController::showProcessingProgress(const QVFilePending& file, double progress)
{
    if (QVTableCellViewFilePending* cell = cellForFile(file))
        cell->setProgress(progress);
}

void QVFilesPendingViewController::showProcessingFailure(const QVFilePending& file, const QString& reason)
{
    failures_.insert(file.uuid, reason);
    reloadData();
}

void QVFilesPendingViewController::removeSubmittedFile(const std::shared_ptr<QVFilePending>& file,
                                                       std::function<void()> done)
{
    const std::int64_t row = rowOfFile(*file);
    if (row >= 0) {
        ad_.filesPending.erase(ad_.filesPending.begin() + row);
        delete tableView_->takeItem(static_cast<int>(row));
    }
    if (ad_.filesPending.empty())
        refreshPendingView();
    if (done)
        done();
}

void QVFilesPendingViewController::processingStateChanged()
{
    if (!processor_.isProcessing()) {
        noFilesSelectedLabel_->show();
        if (hooks_.enableFilesSearch)
            hooks_.enableFilesSearch(true);
    }
    refreshPendingView();
    updateTableViewState();
}
