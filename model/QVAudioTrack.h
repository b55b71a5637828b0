// One audio track of a media file with its channels.
#pragma once

#include "platform/media/AssetTrack.h"
#include "platform/media/Composition.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QVAudioChannel;
class QVAudioTapMixer;

class QVAudioTrack {
public:
    // The audio track inside the media asset (a composition's track for a component of a
    // complex clip); none until the asset has been read.
    std::optional<qv::AssetTrack> assetTrack;
    // The track's channels, in channel order.
    std::vector<std::shared_ptr<QVAudioChannel>> audioChannels;
    // Channel layout code: 1 mono or any other layout, 2 stereo, 6 for 5.1.
    std::int64_t audioLayout = 1;
    // Playback tap that mixes the enabled channels of the track.
    std::shared_ptr<QVAudioTapMixer> audioTapMixer;
    // Composition holding the used part of the track, read when its waveform is made.
    std::shared_ptr<qv::Composition> composition;
    // Identifier of the track inside `composition`.
    std::int32_t compositeAssetTrackID = 0;
    // A waveform is being made for the track.
    bool isGeneratingWaveform = false;
};
