// The audio mix of a file's media files: only the channels the user enabled are heard, at equal
// gain. Each audio track of an online media file gets a QVAudioTapMixer that turns its channels'
// enabled flags into the gains of the media layer's mix stage: 1/k for each of the k enabled
// channels, 0 for the others, every channel onto both outputs, and 0.5 on the track's output.
// The same mix serves playback, the pending preview and the conversion for upload.
#pragma once

#include "model/QVAudioChannel.h"
#include "model/QVMediaFile.h"

#include "platform/media/AudioMix.h"
#include "platform/media/AudioMixStage.h"

#include <memory>
#include <vector>

class QVAudioTapMixer {
public:
    // Gain of the track's sum on each of the two outputs.
    static constexpr float kOutputVolume = 0.5f;

    QVAudioTapMixer(int trackID, std::vector<std::shared_ptr<QVAudioChannel>> channelData);

    int trackID() const { return trackID_; }
    const std::vector<std::shared_ptr<QVAudioChannel>>& channelData() const { return channelData_; }

    // 1 / (number of enabled channels); 0 when none is enabled, so that a track whose channels
    // are all switched off stays silent.
    static float fullChannelVolumeFromChannelData(const std::vector<std::shared_ptr<QVAudioChannel>>& channelData);
    // The track's parameters from the channels' flags as they are now.
    qv::AudioMixInputParameters mixInputParameters() const;

    // Attaches the live stage the track plays through (none detaches).
    void setStage(std::weak_ptr<qv::AudioMixStage> stage) { stage_ = std::move(stage); }
    // Re-levels the live stage after channel `channel` was switched; the caller has already
    // stored the new flag in the channel. Nothing happens before the mix plays.
    void updateInputChannel(int channel, bool enabled);

private:
    int trackID_;
    std::vector<std::shared_ptr<QVAudioChannel>> channelData_;
    std::weak_ptr<qv::AudioMixStage> stage_;
};

class QVAudioMix {
public:
    explicit QVAudioMix(std::vector<std::shared_ptr<QVAudioTapMixer>> mixers);

    const std::vector<std::shared_ptr<QVAudioTapMixer>>& mixers() const { return mixers_; }
    // The mix as the channels' flags stand now (for the conversion's reader).
    qv::AudioMix audioMix() const;
    // The live stage a player item plays through; its gains follow the panel's switches. Made
    // on first use, then the same one each time.
    std::shared_ptr<qv::AudioMixStage> stage();

private:
    std::vector<std::shared_ptr<QVAudioTapMixer>> mixers_;
    std::shared_ptr<qv::AudioMixStage> stage_;
};

// A mixer for every audio track of every online media file, in order, stored in each track's
// audioTapMixer (replacing the one before); offline media files contribute nothing. A track
// whose asset track is not known yet takes no part.
std::shared_ptr<QVAudioMix> createAudioMixForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles);
