// What a Player plays: a composition (an asset plays as the composition of its tracks) and
// the mix its audio goes through. The mix stage is shared with whoever re-levels it, so that a
// channel switched in the audio configuration is heard at once.
#pragma once

#include "Asset.h"
#include "AudioMixStage.h"
#include "Composition.h"

#include <memory>

namespace qv {

class PlayerItem {
public:
    explicit PlayerItem(const Asset& asset) : PlayerItem(Composition::fromAsset(asset)) {}
    explicit PlayerItem(Composition composition) : composition_(std::move(composition)) {}

    const Composition& composition() const { return composition_; }
    MediaTime duration() const { return composition_.duration(); }

    // Without a mix of its own, every audio track is heard with its channels at equal gain
    // (1/k of k channels) on both outputs.
    void setAudioMix(std::shared_ptr<AudioMixStage> mix) { audioMix_ = std::move(mix); }
    std::shared_ptr<AudioMixStage> audioMix() const;

private:
    Composition composition_;
    std::shared_ptr<AudioMixStage> audioMix_;
};

}  // namespace qv
