// The tracks row of the audio configuration panel: for every channel of every audio track of a
// media file, a check box ("Tk1 Ch2") and the channel's waveform, with the preview's playhead
// drawn over the waveforms. Black while the media file is online, striped while it is missing.
#pragma once

#include "intake/audio/QVCheckBox.h"

#include "model/QVMediaFile.h"
#include "transcript-view/QVScrubWaveforms.h"
#include "transcript-view/QVWaveformView.h"

#include <QWidget>

#include <memory>
#include <vector>

class QVTableCellViewAudioTracks : public QWidget {
public:
    // Height of one channel's line, and the margin above and below the lines.
    static constexpr int kChannelHeight = 40;
    static constexpr int kInset = 5;
    // Where the waveforms begin, right of the check boxes.
    static constexpr int kWaveformLeft = 102;

    explicit QVTableCellViewAudioTracks(QWidget* parent = nullptr);
    // Lets go of the channels' boxes and views, which go with the row.
    ~QVTableCellViewAudioTracks() override;

    // The height of the row of a media file: one line per channel, or 1 when there is nothing
    // to show (offline, or no tracks).
    static int rowHeightFor(const QVMediaFile& mediaFile);

    qv::transcript::QVScrubWaveforms* scrubWaveforms() const { return scrubWaveforms_; }
    // A channel's line: its box and view belong to the row.
    void addChannel(const std::shared_ptr<QVAudioChannel>& channel, QVCheckBox* box, QVWaveformView* view);
    const std::vector<std::shared_ptr<QVAudioChannel>>& channels() const { return channels_; }
    // Removes every channel line.
    void removeChannels();

    std::shared_ptr<QVMediaFile> mediaFile;
    bool mediaOnline = true;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutLines();

    qv::transcript::QVScrubWaveforms* scrubWaveforms_;
    std::vector<std::shared_ptr<QVAudioChannel>> channels_;
    std::vector<QWidget*> lines_;
};
