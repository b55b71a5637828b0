// The audio configuration panel.
#include "intake/audio/QVAudioConfigurationViewController.h"

#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/QVAudioMix.h"
#include "intake/audio/QVCheckBox.h"
#include "intake/audio/QVMediaRelinker.h"
#include "intake/audio/QVTableCellViewAudioFile.h"
#include "intake/audio/QVTableCellViewAudioTracks.h"

#include "model/FileTypes.h"
#include "model/MediaFilesMapping.h"
#include "model/OpenFileQueries.h"
#include "model/QVAudioTrack.h"
#include "model/QVFile.h"

#include "platform/media/Asset.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"
#include "platform/media/VideoView.h"
#include "transcript-view/QVGenerateWaveform.h"
#include "transcript-view/QVScrubBar.h"
#include "transcript-view/QVWaveformManager.h"
#include "transcript-view/QVWaveformView.h"
#include "transcript-view/ScrubTarget.h"
#include "transcript-view/WaveformGenerationQueue.h"

#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Height of the preview's transport bar under the rows, and of the panel without rows.
constexpr double kTransportHeight = 40;
// What the pending list keeps above the panel inside the files container: margins, the action
// bar, two rows' room and the list's header.
constexpr double kPendingListReserve = 20 + 44 + 94 + 94 + 47;
constexpr double kDisabledAlpha = 0.3;
constexpr int kFadeMilliseconds = 200;

int channelCount(const QVMediaFile& mediaFile)
{
    int channels = 0;
    for (const auto& track : mediaFile.audioTracks)
        channels += track ? static_cast<int>(track->audioChannels.size()) : 0;
    return channels;
}

bool showsTracks(const QVMediaFile& mediaFile) { return mediaFile.mediaOnline && !mediaFile.audioTracks.empty(); }

void setWaveformAlpha(QVWaveformView* view, double alpha, bool animated)
{
    if (!view)
        return;
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(view);
        view->setGraphicsEffect(effect);
    }
    if (!animated) {
        effect->setOpacity(alpha);
        return;
    }
    auto* fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setObjectName(QStringLiteral("fadeWaveform"));
    fade->setDuration(kFadeMilliseconds);
    fade->setStartValue(alpha >= 1.0 ? kDisabledAlpha : 1.0);
    fade->setEndValue(alpha);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace

struct QVAudioConfigurationViewController::Impl final : qv::transcript::ScrubTarget {
    QVAudioConfigurationViewController* owner = nullptr;
    Services services;
    PendingListHooks hooks;

    QWidget* view = nullptr;
    QScrollArea* scrollView = nullptr;
    QWidget* rowsWidget = nullptr;
    QVBoxLayout* rowsLayout = nullptr;
    QWidget* transportBar = nullptr;
    QPushButton* playPauseButton = nullptr;
    qv::transcript::QVScrubBar* scrubBar = nullptr;
    std::vector<QVTableCellViewAudioFile*> fileRows;
    std::vector<QVTableCellViewAudioTracks*> trackRows;

    std::unique_ptr<qv::Player> player;
    qv::VideoView* videoView = nullptr;
    std::optional<qv::Player::ObserverToken> timeObserverToken;
    qv::MediaTime playbackStartTime = qv::MediaTime::zero();
    bool isChangingAudioStatusProgrammatically = false;
    bool isSeekingToScrubBarPosition = false;
    bool isScrubbingMedia = false;
    bool wasPlaying = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    // ScrubTarget
    void setIsScrubbingMedia(bool scrubbing) override { isScrubbingMedia = scrubbing; }
    bool scrubPlayerIsPlaying() const override { return player->rate() != 0; }
    void pauseForScrub() override { owner->playPause(false); }
    void positionMediaFileAsProportion(double proportion) override { owner->positionMediaFileAsProportion(proportion); }
    void resumeAfterScrub() override { owner->playPause(true); }
    bool scrubPlayerHasItem() const override { return player->currentItem() != nullptr; }
};

QVAudioConfigurationViewController::QVAudioConfigurationViewController(AppDelegate& ad, qv::Dispatcher& main,
                                                                       Services services, bool isForPendingFiles)
    : impl_(std::make_unique<Impl>()), ad_(ad), main_(main), isForPendingFiles_(isForPendingFiles)
{
    Impl& d = *impl_;
    d.owner = this;
    d.services = std::move(services);
    d.player = std::make_unique<qv::Player>(main, d.services.makeAudioOutput ? d.services.makeAudioOutput()
                                                                             : std::make_unique<qv::SilentAudioOutput>(main));

    d.view = new QWidget;
    d.view->setObjectName(isForPendingFiles ? QStringLiteral("pendingAudioConfiguration")
                                            : QStringLiteral("mediaAudioConfiguration"));
    auto* layout = new QVBoxLayout(d.view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    d.scrollView = new QScrollArea(d.view);
    d.scrollView->setFrameShape(QFrame::NoFrame);
    d.scrollView->setWidgetResizable(true);
    d.scrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    d.rowsWidget = new QWidget;
    d.rowsWidget->setAutoFillBackground(true);
    QPalette palette = d.rowsWidget->palette();
    palette.setColor(QPalette::Window, isForPendingFiles ? QColor::fromRgbF(0.12, 0.12, 0.12) : QColor(46, 46, 46));
    d.rowsWidget->setPalette(palette);
    d.rowsLayout = new QVBoxLayout(d.rowsWidget);
    d.rowsLayout->setContentsMargins(0, 0, 0, 0);
    d.rowsLayout->setSpacing(0);
    d.rowsLayout->addStretch(1);
    d.scrollView->setWidget(d.rowsWidget);
    layout->addWidget(d.scrollView, 1);

    d.transportBar = new QWidget(d.view);
    d.transportBar->setFixedHeight(static_cast<int>(kTransportHeight));
    auto* transport = new QHBoxLayout(d.transportBar);
    transport->setContentsMargins(8, 4, 8, 4);
    d.playPauseButton = new QPushButton(QStringLiteral("▶"), d.transportBar);
    d.playPauseButton->setObjectName(QStringLiteral("previewPlayPauseButton"));
    d.playPauseButton->setCheckable(true);
    d.playPauseButton->setFixedSize(32, 28);
    d.playPauseButton->setEnabled(false);
    QObject::connect(d.playPauseButton, &QPushButton::clicked, d.view, [this] { pressedPlayPauseButton(); });
    d.scrubBar = new qv::transcript::QVScrubBar(d.transportBar);
    d.scrubBar->setIsForPendingFiles(true);
    d.scrubBar->setTarget(&d);
    transport->addWidget(d.playPauseButton);
    transport->addWidget(d.scrubBar, 1);
    layout->addWidget(d.transportBar);
    // Only the pending files are previewed here; an open transcript plays in the main player.
    d.transportBar->setVisible(isForPendingFiles);

    d.player->setStatusObserver([this, alive = std::weak_ptr<bool>(d.alive)](qv::Player::Status status) {
        if (alive.lock())
            statusChanged(static_cast<int>(status));
    });
    d.player->setEndObserver([this, alive = std::weak_ptr<bool>(d.alive)] {
        if (!alive.lock())
            return;
        updateScrubWaveformsToActive(false);
        impl_->player->pause();
        impl_->playPauseButton->setChecked(false);
    });
}

QVAudioConfigurationViewController::~QVAudioConfigurationViewController()
{
    Impl& d = *impl_;
    *d.alive = false;
    if (d.timeObserverToken)
        d.player->removeTimeObserver(*d.timeObserverToken);
    d.player->setStatusObserver({});
    d.player->setEndObserver({});
    clearRows();
    if (d.videoView)
        delete d.videoView;
    d.player->replaceCurrentItem(std::nullopt);
    // The view is its owner's once placed; a view never placed goes with the controller.
    if (!d.view->parent())
        delete d.view;
}

QWidget* QVAudioConfigurationViewController::view() const { return impl_->view; }
qv::Player& QVAudioConfigurationViewController::player() { return *impl_->player; }

QVCheckBox* QVAudioConfigurationViewController::fileEnableButton(std::size_t k) const
{
    return k < impl_->fileRows.size() ? impl_->fileRows[k]->enableButton() : nullptr;
}
QWidget* QVAudioConfigurationViewController::fileRow(std::size_t k) const
{
    return k < impl_->fileRows.size() ? impl_->fileRows[k] : nullptr;
}
QWidget* QVAudioConfigurationViewController::tracksRow(std::size_t k) const
{
    return k < impl_->trackRows.size() ? impl_->trackRows[k] : nullptr;
}

void QVAudioConfigurationViewController::setPendingListHooks(PendingListHooks hooks) { impl_->hooks = std::move(hooks); }

void QVAudioConfigurationViewController::setMediaFiles(std::vector<std::shared_ptr<QVMediaFile>> mediaFiles)
{
    mediaFiles_ = std::move(mediaFiles);
}

// Rows -----------------------------------------------------------------------------------------

void QVAudioConfigurationViewController::clearRows()
{
    Impl& d = *impl_;
    for (QVTableCellViewAudioFile* row : d.fileRows) {
        if (row->mediaFile)
            row->mediaFile->enableButton = nullptr;
        delete row;
    }
    for (QVTableCellViewAudioTracks* row : d.trackRows)
        delete row;
    d.fileRows.clear();
    d.trackRows.clear();
}

void QVAudioConfigurationViewController::refreshDisplay()
{
    main_.async([this, alive = std::weak_ptr<bool>(impl_->alive)] {
        if (alive.lock())
            reloadData();
    });
}

void QVAudioConfigurationViewController::reloadData()
{
    Impl& d = *impl_;
    clearRows();
    for (std::size_t k = 0; k < mediaFiles_.size(); ++k) {
        auto* fileRow = new QVTableCellViewAudioFile(d.rowsWidget);
        auto* tracksRow = new QVTableCellViewAudioTracks(d.rowsWidget);
        d.fileRows.push_back(fileRow);
        d.trackRows.push_back(tracksRow);
        d.rowsLayout->insertWidget(d.rowsLayout->count() - 1, fileRow);
        d.rowsLayout->insertWidget(d.rowsLayout->count() - 1, tracksRow);
        buildFileRow(k);
        buildTracksRow(k);
    }
    if (isForPendingFiles_)
        updatePanelHeight();
    else
        d.scrollView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void QVAudioConfigurationViewController::buildFileRow(std::size_t k)
{
    Impl& d = *impl_;
    QVTableCellViewAudioFile* cell = d.fileRows[k];
    const std::shared_ptr<QVMediaFile> m = mediaFiles_[k];
    QVCheckBox* box = cell->enableButton();
    if (!m) {
        box->hide();
        cell->relinkButton()->hide();
        return;
    }
    m->enableButton = box;
    cell->mediaFile = m;
    cell->mediaOnline = m->mediaOnline;
    box->setText(QStringLiteral("File %1").arg(k + 1));
    box->setVisible(mediaFiles_.size() != 1);
    box->setEnabled(m->mediaOnline && !m->audioTracks.empty());
    const int status = channelStatusForMediaFile(*m);
    box->setAllowsMixedState(status == kMixedChannels);
    box->setState(status);
    box->setTag(static_cast<int>(k));
    box->setToolTip(m->fcpxMulticamAngleName.isEmpty() ? QString()
                                                        : QStringLiteral("Multicam Angle: %1").arg(m->fcpxMulticamAngleName));
    QObject::connect(box, &QCheckBox::clicked, box, [this, k] { changeFileEnabled(k); });
    cell->relinkButton()->setVisible(!isForPendingFiles_);
    QObject::connect(cell->relinkButton(), &QPushButton::clicked, cell, [this, k] { pressedRelinkButton(static_cast<int>(k)); });
    cell->nameLabel()->setText(QVTableCellViewAudioFile::displayName(*m));
    cell->nameLabel()->setToolTip(QVTableCellViewAudioFile::toolTip(*m));
    cell->update();
}

void QVAudioConfigurationViewController::buildTracksRow(std::size_t k)
{
    Impl& d = *impl_;
    QVTableCellViewAudioTracks* cell = d.trackRows[k];
    const std::shared_ptr<QVMediaFile> m = mediaFiles_[k];
    cell->mediaFile = m;
    cell->mediaOnline = !m || m->mediaOnline;
    cell->setFixedHeight(m ? QVTableCellViewAudioTracks::rowHeightFor(*m) : 1);
    if (!m || !showsTracks(*m)) {
        cell->scrubWaveforms()->hide();
        cell->update();
        return;
    }
    if (!isForPendingFiles_) {
        if (ad_.currentFile && isSimpleFile(ad_.currentFile->fileType))
            m->asset = ad_.currentFile->asset;
        bool hasWaveforms = true;
        for (const auto& track : m->audioTracks)
            for (const auto& channel : track->audioChannels)
                hasWaveforms = hasWaveforms && channel && channel->waveformSampleCount > 0;
        // Waveforms already made for this file are not read from the cache again.
        if (!hasWaveforms)
            restoreWaveformsForMediaFile(m);
    }
    cell->scrubWaveforms()->setIsForPendingFiles(isForPendingFiles_);
    cell->scrubWaveforms()->setTarget(isForPendingFiles_ ? &d : nullptr);
    cell->scrubWaveforms()->show();

    const bool switchable = m->mediaOnline && hasMultipleChannels();
    int flat = 0;
    long trackNumber = 0;
    for (const auto& track : m->audioTracks) {
        ++trackNumber;
        long channelNumber = 0;
        for (const auto& channel : track->audioChannels) {
            ++channelNumber;
            auto* box = new QVCheckBox(QStringLiteral("Tk%1 Ch%2").arg(trackNumber).arg(channelNumber));
            QFont font = box->font();
            font.setPixelSize(12);
            box->setFont(font);
            box->setState(channel->enabled ? 1 : 0);
            box->setTag(flat++);
            box->setEnabled(switchable);
            QObject::connect(box, &QCheckBox::clicked, box, [this, k, box] { changeChannelEnabled(k, box->tag(), box->state() == 1); });
            auto* waveform = new QVWaveformView(main_);
            waveform->setAudioChannel(channel);
            waveform->setChannelName(channel->iXMLName);
            setWaveformAlpha(waveform, channel->enabled ? 1.0 : kDisabledAlpha, false);
            cell->addChannel(channel, box, waveform);
            if (!track->isGeneratingWaveform && channel->waveformSampleCount > 0) {
                const int type = isShowing_ ? 2 : 0;
                main_.async([waveform, type, alive = std::weak_ptr<bool>(d.alive), channel] {
                    if (alive.lock() && channel->waveformView == waveform)
                        waveform->showWaveformWithAnimationType(type);
                });
            }
        }
    }
    if (currentFilePending_ && d.player->rate() == 0 && currentFilePending_->duration > 0)
        cell->scrubWaveforms()->setProportionValue(
            static_cast<float>(static_cast<double>(currentFilePending_->lastMediaTime) / currentFilePending_->duration));
    cell->update();
}

void QVAudioConfigurationViewController::resetAudioTrackCellStackView()
{
    for (QVTableCellViewAudioTracks* row : impl_->trackRows)
        row->removeChannels();
}

double QVAudioConfigurationViewController::contentHeight() const
{
    double height = kTransportHeight;
    for (const auto& m : mediaFiles_) {
        height += QVTableCellViewAudioFile::kRowHeight;
        height += m ? QVTableCellViewAudioTracks::rowHeightFor(*m) : 1;
    }
    return height;
}

double QVAudioConfigurationViewController::calculatePanelHeight() const
{
    const double content = contentHeight();
    if (!isForPendingFiles_)
        return content;
    const double container =
        impl_->hooks.containerFilesHeight ? impl_->hooks.containerFilesHeight() : 0;
    const double limit = container - kPendingListReserve;
    if (content <= limit)
        return content;
    // Too tall for the list: whole rows only, and the rows scroll.
    double height = kTransportHeight;
    for (const auto& m : mediaFiles_) {
        if (limit < height + 31 + 40)
            break;
        height += 31;
        const int channels = m && showsTracks(*m) ? channelCount(*m) : 0;
        for (int c = 0; c < channels && height + 40 <= limit; ++c)
            height += 40;
        if (limit >= height + 71)
            height += 5;
    }
    return height - 20;
}

void QVAudioConfigurationViewController::updatePanelHeight()
{
    Impl& d = *impl_;
    const double height = calculatePanelHeight();
    d.scrollView->setVerticalScrollBarPolicy(height < contentHeight() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (!d.hooks.setAudioPanelHeight)
        return;
    if (d.hooks.audioPanelHeight && d.hooks.audioPanelHeight() == height)
        return;
    d.scrollView->setFixedHeight(static_cast<int>(std::max(0.0, height - kTransportHeight)));
    d.hooks.setAudioPanelHeight(height);
}

bool QVAudioConfigurationViewController::hasMultipleChannels() const
{
    if (mediaFiles_.empty())
        return false;
    if (mediaFiles_.size() > 1)
        return true;
    const auto& first = mediaFiles_.front();
    if (!first || first->audioTracks.empty())
        return false;
    if (first->audioTracks.size() > 1)
        return true;
    return first->audioTracks.front() && first->audioTracks.front()->audioChannels.size() > 1;
}

int QVAudioConfigurationViewController::channelStatusForMediaFile(const QVMediaFile& mediaFile)
{
    if (mediaFile.audioTracks.empty())
        return kAllChannelsEnabled;
    int enabled = 0;
    int total = 0;
    for (const auto& track : mediaFile.audioTracks)
        for (const auto& channel : track ? track->audioChannels : decltype(track->audioChannels){}) {
            ++total;
            enabled += channel && channel->enabled ? 1 : 0;
        }
    if (total == 0)
        return kMixedChannels;
    if (enabled == total)
        return kAllChannelsEnabled;
    return enabled == 0 ? kNoChannelEnabled : kMixedChannels;
}

// Switching channels ---------------------------------------------------------------------------

void QVAudioConfigurationViewController::updateAudioChannel(const std::shared_ptr<QVAudioChannel>& channel, bool isEnabled)
{
    if (!channel)
        return;
    const bool changed = channel->enabled != isEnabled;
    channel->enabled = isEnabled;
    if (const std::shared_ptr<QVAudioTrack> track = channel->parentAudioTrack.lock()) {
        const auto& channels = track->audioChannels;
        const auto found = std::find(channels.begin(), channels.end(), channel);
        if (found != channels.end() && track->audioTapMixer)
            track->audioTapMixer->updateInputChannel(static_cast<int>(found - channels.begin()), isEnabled);
    }
    setWaveformAlpha(channel->waveformView, isEnabled ? 1.0 : kDisabledAlpha, changed);
}

void QVAudioConfigurationViewController::changeChannelEnabled(std::size_t k, int flatIndex, bool enabled)
{
    Impl& d = *impl_;
    if (d.isChangingAudioStatusProgrammatically || k >= mediaFiles_.size() || !mediaFiles_[k])
        return;
    const std::shared_ptr<QVMediaFile> m = mediaFiles_[k];
    updateAudioChannel(getAudioChannelFromTrackChannelIndex(flatIndex, *m), enabled);
    if (isForPendingFiles_ && d.hooks.refreshBusyErrorStatus)
        d.hooks.refreshBusyErrorStatus();
    QVCheckBox* fileBox = k < d.fileRows.size() ? d.fileRows[k]->enableButton() : nullptr;
    if (fileBox && channelStatusForMediaFile(*m) != fileBox->state())
        main_.async([this, k, alive = std::weak_ptr<bool>(d.alive)] {
            if (alive.lock() && k < impl_->fileRows.size() && k < mediaFiles_.size())
                buildFileRow(k);
        });
}

void QVAudioConfigurationViewController::changeFileEnabled(std::size_t k)
{
    Impl& d = *impl_;
    if (k >= d.fileRows.size() || k >= mediaFiles_.size() || !mediaFiles_[k])
        return;
    QVCheckBox* box = d.fileRows[k]->enableButton();
    if (box->state() == 0)
        box->setAllowsMixedState(false);
    const bool enabled = box->state() == 1;
    const std::shared_ptr<QVMediaFile> m = mediaFiles_[k];
    main_.async([this, m, enabled, alive = std::weak_ptr<bool>(d.alive)] {
        if (!alive.lock())
            return;
        impl_->isChangingAudioStatusProgrammatically = true;
        for (const auto& track : m->audioTracks)
            for (const auto& channel : track->audioChannels) {
                updateAudioChannel(channel, enabled);
                if (channel->enableButton && channel->enableButton->state() != (enabled ? 1 : 0))
                    channel->enableButton->setState(enabled ? 1 : 0);
            }
        impl_->isChangingAudioStatusProgrammatically = false;
        if (isForPendingFiles_ && impl_->hooks.refreshBusyErrorStatus)
            impl_->hooks.refreshBusyErrorStatus();
    });
}

// Waveforms ------------------------------------------------------------------------------------

bool QVAudioConfigurationViewController::restoreWaveformsForMediaFile(const std::shared_ptr<QVMediaFile>& mediaFile)
{
    Impl& d = *impl_;
    if (!mediaFile)
        return true;
    if (d.services.waveformManager && d.services.waveformManager->restoreWaveformsForMediaFile(*mediaFile)) {
        for (const auto& track : mediaFile->audioTracks)
            for (const auto& channel : track->audioChannels)
                if (channel && channel->waveformSampleCount > 0)
                    return true;
    }
    std::shared_ptr<qv::Asset> asset = mediaFile->asset;
    if (!asset && mediaFile->mediaOnline) {
        qv::MediaResult<qv::Asset> inspected = qv::Asset::inspect(mediaFile->url.toLocalFile().toStdString());
        if (inspected)
            asset = std::make_shared<qv::Asset>(std::move(inspected.value()));
    }
    if (!asset || !mediaFile->mediaOnline || !d.services.waveformGenerationQueue ||
        createAudioLayoutTypeFromMediaFile(*mediaFile) != createAudioLayoutTypeFromAsset(*asset)) {
        std::vector<std::shared_ptr<QVAudioChannel>> channels;
        for (const auto& track : mediaFile->audioTracks)
            channels.insert(channels.end(), track->audioChannels.begin(), track->audioChannels.end());
        main_.async([channels] {
            for (const auto& channel : channels)
                if (channel && channel->waveformView)
                    channel->waveformView->showWaveformWithAnimationType(0);
        });
        return true;
    }
    QVGenerateWaveform::Services generate;
    generate.main = &main_;
    generate.waveformManager = d.services.waveformManager;
    generate.alerts = d.services.alerts;
    generate.audioConfigurationIsShowing = [this, alive = std::weak_ptr<bool>(d.alive)] { return alive.lock() && isShowing_; };
    generate.refreshBusyErrorStatus = d.hooks.refreshBusyErrorStatus;
    for (std::size_t t = 0; t < mediaFile->audioTracks.size(); ++t) {
        QVAudioTrack& track = *mediaFile->audioTracks[t];
        if (track.isGeneratingWaveform)
            continue;
        track.isGeneratingWaveform = true;
        d.services.waveformGenerationQueue->addOperation(
            std::make_shared<QVGenerateWaveform>(generate, mediaFile, static_cast<std::int64_t>(t), isForPendingFiles_));
    }
    return false;
}

// Preview --------------------------------------------------------------------------------------

void QVAudioConfigurationViewController::loadPendingFile(const std::shared_ptr<QVFilePending>& file)
{
    Impl& d = *impl_;
    if (const std::shared_ptr<QVFilePending> old = currentFilePending_) {
        if (d.timeObserverToken) {
            d.player->removeTimeObserver(*d.timeObserverToken);
            d.timeObserverToken.reset();
        }
        if (d.player->rate() != 0)
            playPause(false);
        const qv::MediaTime now = d.player->currentTime();
        if (old->hasVideo) {
            const bool listed = std::find(ad_.filesPending.begin(), ad_.filesPending.end(), old) != ad_.filesPending.end();
            if (listed && old->asset) {
                const QImage image = d.services.createImageForAsset ? d.services.createImageForAsset(*old->asset, now) : QImage();
                if (!image.isNull())
                    old->thumbnail = image;
                if (d.hooks.setRowThumbnail)
                    d.hooks.setRowThumbnail(*old, old->thumbnail);
            }
        }
        if (d.videoView) {
            d.videoView->hide();
            d.videoView->setParent(nullptr);
        }
        old->lastMediaTime = now.isNumeric() ? now.convertScale(1000).value : old->lastMediaTime;
    }
    currentFilePending_ = file;
    if (file && file->asset)
        loadAsset(file->asset);
    else {
        d.player->replaceCurrentItem(std::nullopt);
        d.playPauseButton->setEnabled(false);
    }
}

void QVAudioConfigurationViewController::loadAsset(const std::shared_ptr<qv::Asset>& asset)
{
    Impl& d = *impl_;
    qv::PlayerItem item(*asset);
    if (currentFilePending_) {
        if (!currentFilePending_->audioMix)
            currentFilePending_->audioMix = createAudioMixForMediaFiles(currentFilePending_->mediaFiles);
        item.setAudioMix(currentFilePending_->audioMix->stage());
    }
    d.player->replaceCurrentItem(std::move(item));
    d.timeObserverToken = d.player->addPeriodicTimeObserver(1.0 / 50, [this, alive = std::weak_ptr<bool>(d.alive)](
                                                                          const qv::MediaTime& time) {
        if (alive.lock())
            updateScrubBarAtTime(time);
    });
}

void QVAudioConfigurationViewController::statusChanged(int status)
{
    Impl& d = *impl_;
    if (static_cast<qv::Player::Status>(status) != qv::Player::Status::ReadyToPlay || !currentFilePending_) {
        d.playPauseButton->setEnabled(false);
        return;
    }
    const std::shared_ptr<QVFilePending> file = currentFilePending_;
    const bool showsVideo = file->fileType == 1 || file->fileType == 5 ||
                            ((file->fileType == 3 || file->fileType == 4 || file->fileType == 6) && file->hasVideo);
    const bool listed = std::find(ad_.filesPending.begin(), ad_.filesPending.end(), file) != ad_.filesPending.end();
    if (showsVideo && listed && file->asset && file->asset->isPlayable() && d.hooks.rowThumbnailView) {
        if (QWidget* thumbnail = d.hooks.rowThumbnailView(*file)) {
            if (!d.videoView)
                d.videoView = new qv::VideoView;
            d.videoView->setParent(thumbnail);
            d.videoView->setGeometry(thumbnail->rect());
            d.videoView->setPlayer(d.player.get());
            d.videoView->show();
            if (d.hooks.setRowThumbnail)
                d.hooks.setRowThumbnail(*file, QImage());
        }
    }
    const qv::MediaTime position(file->lastMediaTime, 1000);
    d.player->seek(position, qv::MediaTime::zero(), qv::MediaTime::zero(),
                   [this, position, alive = std::weak_ptr<bool>(d.alive)](bool) {
                       if (alive.lock())
                           updateScrubBarAtTime(position);
                   });
    d.playPauseButton->setEnabled(true);
}

void QVAudioConfigurationViewController::playPause(bool play)
{
    Impl& d = *impl_;
    if (play) {
        const qv::MediaTime now = d.player->currentTime();
        const qv::PlayerItem* item = d.player->currentItem();
        if (item && qv::MediaTime::compare(now, item->duration()) < 0)
            d.playbackStartTime = now;
        else {
            d.player->seek(qv::MediaTime::zero());
            d.playbackStartTime = qv::MediaTime::zero();
        }
        d.player->play();
    } else {
        d.player->pause();
    }
    updateScrubWaveformsToActive(play);
    d.playPauseButton->setChecked(play);
    d.playPauseButton->setText(play ? QStringLiteral("❚❚") : QStringLiteral("▶"));
}

void QVAudioConfigurationViewController::pressedPlayPauseButton() { playPause(impl_->player->rate() == 0); }

void QVAudioConfigurationViewController::updateScrubBarAtTime(const qv::MediaTime& time)
{
    Impl& d = *impl_;
    if (mediaFiles_.empty())
        return;
    if (d.player->rate() != 0 && qv::MediaTime::compare(time, d.playbackStartTime) < 0)
        return;
    const double seconds = time.seconds();
    const double duration = durationSeconds();
    // Without a known length there is no proportion to show.
    if (duration > 0) {
        d.scrubBar->setProportionValue(static_cast<float>(seconds / duration));
    }
    if (!currentFilePending_)
        return;
    if (currentFilePending_->duration > 0)
        updateScrubWaveformsToProportion(seconds / (currentFilePending_->duration / 1000.0));
    const QString text = timeAsHMSTextFromCMTimeForFilePending(currentFilePending_, time);
    if (d.hooks.setRowTimeText)
        d.hooks.setRowTimeText(*currentFilePending_, text);
    currentFilePending_->lastMediaTimeDisplayed = time;
}

void QVAudioConfigurationViewController::positionMediaFileAsProportion(double proportion)
{
    Impl& d = *impl_;
    if (d.isSeekingToScrubBarPosition)
        return;
    d.isSeekingToScrubBarPosition = true;
    const qv::PlayerItem* item = d.player->currentItem();
    const double duration = item ? item->duration().seconds() : 0;
    const qv::MediaTime target(static_cast<std::int64_t>(std::llround(duration * proportion * 1000)), 1000);
    d.player->seek(target, [this, alive = std::weak_ptr<bool>(d.alive)](bool) {
        if (alive.lock())
            impl_->isSeekingToScrubBarPosition = false;
    });
}

double QVAudioConfigurationViewController::currentTimeSeconds() const { return impl_->player->currentTime().seconds(); }

void QVAudioConfigurationViewController::setCurrentTimeSeconds(double seconds)
{
    impl_->player->seek(qv::MediaTime(static_cast<std::int64_t>(seconds), 1), qv::MediaTime::zero(), qv::MediaTime::zero());
}

double QVAudioConfigurationViewController::durationSeconds() const
{
    const qv::PlayerItem* item = impl_->player->currentItem();
    if (!item || impl_->player->status() != qv::Player::Status::ReadyToPlay)
        return 0;
    const double seconds = item->duration().seconds();
    return std::isfinite(seconds) ? seconds : 0;
}

void QVAudioConfigurationViewController::updateScrubWaveformsToActive(bool active)
{
    for (QVTableCellViewAudioTracks* row : impl_->trackRows)
        row->scrubWaveforms()->setIsActive(active);
}

void QVAudioConfigurationViewController::updateScrubWaveformsToProportion(double proportion)
{
    if (!std::isfinite(proportion))
        return;
    for (QVTableCellViewAudioTracks* row : impl_->trackRows)
        row->scrubWaveforms()->setProportionValue(static_cast<float>(proportion));
}

// Relinking ------------------------------------------------------------------------------------

void QVAudioConfigurationViewController::pressedRelinkButton(int index)
{
    Impl& d = *impl_;
    const std::shared_ptr<QVFile> file = ad_.currentFile;
    if (!file || index < 0 || static_cast<std::size_t>(index) >= file->mediaFiles.size() || !d.services.chooseMediaFile)
        return;
    const std::shared_ptr<QVMediaFile> mediaFile = file->mediaFiles[static_cast<std::size_t>(index)];
    if (!mediaFile)
        return;
    d.services.chooseMediaFile(
        QStringLiteral("Choose File"), QVMediaRelinker::panelMessage(*mediaFile), mediaFile->filePath,
        [this, index, file, alive = std::weak_ptr<bool>(d.alive)](std::optional<QUrl> chosen) {
            if (!alive.lock() || !chosen || ad_.currentFile != file)
                return;
            // A file that cannot be read (gone since it was chosen) counts as zero long.
            qv::MediaResult<qv::Asset> inspected = qv::Asset::inspect(chosen->toLocalFile().toStdString());
            const qv::Asset* asset = inspected ? &inspected.value() : nullptr;
            QVMediaRelinker relinker(ad_, impl_->services.preferences, impl_->services.alerts);
            relinker.relink(static_cast<std::size_t>(index), *chosen, asset, [this, alive] {
                if (alive.lock())
                    reloadData();
            });
        });
}
