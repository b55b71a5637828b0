// The tracks row of the audio configuration panel.
#include "intake/audio/QVTableCellViewAudioTracks.h"

#include "intake/audio/QVTableCellViewAudioFile.h"

#include "model/QVAudioTrack.h"

#include <QPainter>

QVTableCellViewAudioTracks::QVTableCellViewAudioTracks(QWidget* parent)
    : QWidget(parent), scrubWaveforms_(new qv::transcript::QVScrubWaveforms(this))
{
    scrubWaveforms_->hide();
}

QVTableCellViewAudioTracks::~QVTableCellViewAudioTracks() { removeChannels(); }

int QVTableCellViewAudioTracks::rowHeightFor(const QVMediaFile& mediaFile)
{
    if (!mediaFile.mediaOnline || mediaFile.audioTracks.empty())
        return 1;
    int channels = 0;
    for (const auto& track : mediaFile.audioTracks)
        channels += track ? static_cast<int>(track->audioChannels.size()) : 0;
    return kChannelHeight * channels + 2 * kInset;
}

void QVTableCellViewAudioTracks::addChannel(const std::shared_ptr<QVAudioChannel>& channel, QVCheckBox* box,
                                            QVWaveformView* view)
{
    auto* line = new QWidget(this);
    box->setParent(line);
    box->setGeometry(16, 4, 80, 32);
    view->setParent(line);
    channel->enableButton = box;
    channel->waveformView = view;
    channels_.push_back(channel);
    lines_.push_back(line);
    line->show();
    scrubWaveforms_->raise();
    layoutLines();
}

void QVTableCellViewAudioTracks::removeChannels()
{
    for (const auto& channel : channels_) {
        channel->enableButton = nullptr;
        channel->waveformView = nullptr;
    }
    channels_.clear();
    for (QWidget* line : lines_)
        delete line;
    lines_.clear();
}

void QVTableCellViewAudioTracks::layoutLines()
{
    int y = kInset;
    for (std::size_t i = 0; i < lines_.size(); ++i, y += kChannelHeight) {
        lines_[i]->setGeometry(0, y, width(), kChannelHeight);
        if (QVWaveformView* view = channels_[i]->waveformView)
            view->setGeometry(kWaveformLeft, 5, std::max(0, width() - kWaveformLeft), kChannelHeight - 10);
    }
    scrubWaveforms_->setGeometry(kWaveformLeft, 0, std::max(0, width() - kWaveformLeft), height());
}

void QVTableCellViewAudioTracks::resizeEvent(QResizeEvent*) { layoutLines(); }

void QVTableCellViewAudioTracks::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), mediaOnline ? QBrush(Qt::black) : missingMediaStripes(false));
}
