// The audio configuration panel.
#include "intake/audio/QVAudioConfigurationViewController.h"

#include <QWidget>

struct QVAudioConfigurationViewController::Impl {
    Services services;
    PendingListHooks hooks;
    QWidget* view = nullptr;
};

QVAudioConfigurationViewController::QVAudioConfigurationViewController(AppDelegate& ad, qv::Dispatcher& main,
                                                                       Services services, bool isForPendingFiles)
    : impl_(std::make_unique<Impl>()), ad_(ad), main_(main), isForPendingFiles_(isForPendingFiles)
{
    impl_->services = std::move(services);
    impl_->view = new QWidget;
}

QVAudioConfigurationViewController::~QVAudioConfigurationViewController() = default;

QWidget* QVAudioConfigurationViewController::view() const { return impl_->view; }

void QVAudioConfigurationViewController::setPendingListHooks(PendingListHooks hooks) { impl_->hooks = std::move(hooks); }

void QVAudioConfigurationViewController::setMediaFiles(std::vector<std::shared_ptr<QVMediaFile>> mediaFiles)
{
    mediaFiles_ = std::move(mediaFiles);
}

void QVAudioConfigurationViewController::loadPendingFile(const std::shared_ptr<QVFilePending>& file)
{
    currentFilePending_ = file;
}

void QVAudioConfigurationViewController::refreshDisplay() {}
void QVAudioConfigurationViewController::resetAudioTrackCellStackView() {}
void QVAudioConfigurationViewController::updatePanelHeight() {}
double QVAudioConfigurationViewController::calculatePanelHeight() const { return 0; }
bool QVAudioConfigurationViewController::hasMultipleChannels() const { return false; }
int QVAudioConfigurationViewController::channelStatusForMediaFile(const QVMediaFile&) { return kAllChannelsEnabled; }
bool QVAudioConfigurationViewController::restoreWaveformsForMediaFile(const std::shared_ptr<QVMediaFile>&) { return true; }
void QVAudioConfigurationViewController::updateAudioChannel(const std::shared_ptr<QVAudioChannel>& channel, bool isEnabled)
{
    channel->enabled = isEnabled;
}
void QVAudioConfigurationViewController::playPause(bool) {}
void QVAudioConfigurationViewController::pressedPlayPauseButton() {}
void QVAudioConfigurationViewController::positionMediaFileAsProportion(double) {}
double QVAudioConfigurationViewController::currentTimeSeconds() const { return 0; }
void QVAudioConfigurationViewController::setCurrentTimeSeconds(double) {}
double QVAudioConfigurationViewController::durationSeconds() const { return 0; }
void QVAudioConfigurationViewController::updateScrubWaveformsToActive(bool) {}
void QVAudioConfigurationViewController::updateScrubWaveformsToProportion(double) {}
void QVAudioConfigurationViewController::pressedRelinkButton(int) {}
