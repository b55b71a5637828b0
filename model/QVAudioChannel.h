// One channel of an audio track: whether it is heard and sent for transcription, its names and
// its waveform.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class QVAudioTrack;
class QVWaveformView;
class QVCheckBox;

class QVAudioChannel {
public:
    // The channel's enable check box in the audio configuration panel; owned by the panel.
    QVCheckBox* enableButton = nullptr;
    // Heard in playback and included in the audio submitted for transcription.
    bool enabled = true;
    // Final Cut Pro X audio role of the channel.
    QString fcpxRole;
    // Channel (track) name from the media file's iXML metadata.
    QString iXMLName;
    // The track that owns the channel; never owns it.
    std::weak_ptr<QVAudioTrack> parentAudioTrack;
    // Waveform levels, one 32-bit float per point, in decibels.
    QByteArray waveformData{""};
    // Loudest level in `waveformData`, dB; -100.0 until measured.
    float waveformMax = -100.0f;
    // Number of levels in `waveformData`.
    std::int64_t waveformSampleCount = 0;
    // The view that draws the channel's waveform; owned by the panel.
    QVWaveformView* waveformView = nullptr;
};
