// The audio mix of a file's media files.
#include "intake/audio/QVAudioMix.h"

#include "model/QVAudioTrack.h"

QVAudioTapMixer::QVAudioTapMixer(int trackID, std::vector<std::shared_ptr<QVAudioChannel>> channelData)
    : trackID_(trackID), channelData_(std::move(channelData))
{
}

float QVAudioTapMixer::fullChannelVolumeFromChannelData(const std::vector<std::shared_ptr<QVAudioChannel>>& channelData)
{
    int enabled = 0;
    for (const auto& channel : channelData)
        if (channel && channel->enabled)
            ++enabled;
    return enabled == 0 ? 0.0f : 1.0f / static_cast<float>(enabled);
}

qv::AudioMixInputParameters QVAudioTapMixer::mixInputParameters() const
{
    qv::AudioMixInputParameters parameters;
    parameters.trackID = trackID_;
    const float full = fullChannelVolumeFromChannelData(channelData_);
    for (const auto& channel : channelData_)
        parameters.channelGains.push_back(channel && channel->enabled ? full : 0.0f);
    // Channels the track has beyond its listed ones are heard at the enabled channels' level;
    // with no channel listed at all, every channel of the track is.
    parameters.defaultChannelGain = channelData_.empty() ? 1.0f : full;
    parameters.outputGain = kOutputVolume;
    return parameters;
}

void QVAudioTapMixer::updateInputChannel(int channel, bool enabled)
{
    const std::shared_ptr<qv::AudioMixStage> stage = stage_.lock();
    if (!stage || !stage->hasTrack(trackID_))
        return;
    const float full = fullChannelVolumeFromChannelData(channelData_);
    stage->setChannelGain(trackID_, channel, enabled ? full : 0.0f);
    for (int i = 0; i < static_cast<int>(channelData_.size()); ++i)
        if (i != channel && stage->channelGain(trackID_, i) > 0.0f)
            stage->setChannelGain(trackID_, i, full);
}

QVAudioMix::QVAudioMix(std::vector<std::shared_ptr<QVAudioTapMixer>> mixers) : mixers_(std::move(mixers)) {}

qv::AudioMix QVAudioMix::audioMix() const
{
    qv::AudioMix mix;
    for (const auto& mixer : mixers_)
        mix.inputParameters.push_back(mixer->mixInputParameters());
    return mix;
}

std::shared_ptr<qv::AudioMixStage> QVAudioMix::stage()
{
    if (!stage_) {
        stage_ = std::make_shared<qv::AudioMixStage>(audioMix());
        for (const auto& mixer : mixers_)
            mixer->setStage(stage_);
    }
    return stage_;
}

std::shared_ptr<QVAudioMix> createAudioMixForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles)
{
    std::vector<std::shared_ptr<QVAudioTapMixer>> mixers;
    for (const auto& mediaFile : mediaFiles) {
        if (!mediaFile || !mediaFile->mediaOnline)
            continue;
        for (const auto& track : mediaFile->audioTracks) {
            if (!track || !track->assetTrack)
                continue;
            track->audioTapMixer = std::make_shared<QVAudioTapMixer>(track->assetTrack->trackID, track->audioChannels);
            mixers.push_back(track->audioTapMixer);
        }
    }
    return std::make_shared<QVAudioMix>(std::move(mixers));
}
