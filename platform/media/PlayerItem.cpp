#include "PlayerItem.h"

namespace qv {

std::shared_ptr<AudioMixStage> PlayerItem::audioMix() const
{
    if (audioMix_)
        return audioMix_;
    AudioMix mix;
    for (const CompositionTrack* track : composition_.tracksWithMediaType(MediaType::Audio)) {
        const AssetTrack* source = track->firstSourceTrack();
        int channels = source && source->audio ? std::max(source->audio->channelCount, 1) : 1;
        mix.inputParameters.push_back({track->trackID(), {}, 1.0f / static_cast<float>(channels), 1.0f});
    }
    return std::make_shared<AudioMixStage>(mix);
}

}  // namespace qv
