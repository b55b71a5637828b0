// The composition of a complex clip's media files.
#include "fcpx/QVCreateAssetFromComplexClip.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/Log.h"
#include "platform/media/Composition.h"

using qv::Asset;
using qv::AssetTrack;
using qv::Composition;
using qv::CompositionTrack;
using qv::MediaTime;
using qv::MediaTimeRange;
using qv::MediaType;

namespace {

void logInsertionError(const qv::MediaError& error) { qv::logError("Error - " + error.description); }

bool before(const MediaTime& a, const MediaTime& b) { return MediaTime::compare(a, b) < 0; }

std::optional<AssetTrack> firstTrack(const Asset& asset, MediaType type)
{
    std::vector<AssetTrack> tracks = asset.tracksWithMediaType(type);
    return tracks.empty() ? std::nullopt : std::optional<AssetTrack>(tracks.front());
}

}  // namespace

QVCreateAssetFromComplexClip::QVCreateAssetFromComplexClip(Services services) : services_(std::move(services)) {}

std::shared_ptr<const Asset> QVCreateAssetFromComplexClip::placeholder(const QString& name)
{
    std::optional<std::string> path = services_.placeholderMovie ? services_.placeholderMovie(name) : std::nullopt;
    if (!path)
        return nullptr;
    qv::MediaResult<Asset> movie = Asset::inspect(*path);
    return movie ? std::make_shared<const Asset>(std::move(movie.value())) : nullptr;
}

std::shared_ptr<Asset> QVCreateAssetFromComplexClip::createAssetWithMediaFiles(
    const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles, const MediaTime& duration)
{
    Composition composition;
    MediaTime shownVideoEnd = MediaTime::invalid();
    int videoTrackID = 0;
    bool picture = false;
    // Links made once the composition is final: (audio track, composition track id).
    std::vector<std::pair<std::shared_ptr<QVAudioTrack>, int>> links;

    for (const auto& file : mediaFiles) {
        if (!file)
            return nullptr;
        if (services_.checkAccessForMediaFile)
            services_.checkAccessForMediaFile(*file);
        std::shared_ptr<const Asset> asset;
        bool replaced = false;
        if (file->mediaOnline) {
            // The asset made with the media file when there is one; it was inspected then.
            asset = file->asset ? file->asset : services_.openAsset ? services_.openAsset(file->url) : nullptr;
            if (asset && !(asset->duration().isNumeric() && MediaTime::compare(asset->duration(), MediaTime::zero()) > 0)) {
                asset = placeholder(kUnsupportedCodecMovie);
                replaced = true;
            }
        } else {
            asset = placeholder(kMissingMediaMovie);
        }
        if (!asset)
            return nullptr;

        MediaTimeRange range{file->sourceDelay, file->sourceDuration};
        if (std::optional<AssetTrack> video = file->showVideo ? firstTrack(*asset, MediaType::Video) : std::nullopt) {
            std::shared_ptr<const Asset> videoAsset = asset;
            const bool hasDuration = MediaTime::compare(asset->duration(), MediaTime::zero()) > 0;
            const MediaTime testTime = hasDuration ? MediaTime(asset->duration().value / 2, asset->duration().timescale)
                                                   : MediaTime::zero();
            const QImage frame = services_.createImageForAsset ? services_.createImageForAsset(*asset, testTime) : QImage();
            if (frame.isNull()) {
                videoAsset = placeholder(kUnsupportedCodecMovie);
                video = videoAsset ? firstTrack(*videoAsset, MediaType::Video) : std::nullopt;
                if (!video)
                    return nullptr;
                replaced = true;
            }
            CompositionTrack* track = composition.mutableTrackCompatibleWithTrack(*video);
            if (!track)
                track = &composition.addMutableTrack(MediaType::Video);
            videoTrackID = track->trackID();
            const bool substitute = !file->mediaOnline || replaced;
            if (substitute)
                range = video->timeRange;
            if (std::optional<qv::MediaError> error =
                    track->insertTimeRange(range, videoAsset, video->trackID, file->compositeDelay)) {
                logInsertionError(*error);
            } else if (substitute && before(range.duration, file->sourceDuration)) {
                // The placeholder's picture lasts as long as the media it stands for.
                track->scaleTimeRange({file->compositeDelay, range.duration}, file->sourceDuration);
            }
            shownVideoEnd = file->compositeDelay + file->sourceDuration;
            picture = true;
            range = {file->sourceDelay, file->sourceDuration};
        }

        const std::vector<AssetTrack> sound = asset->tracksWithMediaType(MediaType::Audio);
        if (file->mediaOnline && !sound.empty() && sound.size() == file->audioTracks.size()) {
            for (std::size_t i = 0; i < sound.size(); ++i) {
                CompositionTrack& track = composition.addMutableTrack(MediaType::Audio);
                if (std::optional<qv::MediaError> error =
                        track.insertTimeRange(range, asset, sound[i].trackID, file->compositeDelay)) {
                    logInsertionError(*error);
                    continue;
                }
                if (file->audioTracks[i])
                    links.emplace_back(file->audioTracks[i], track.trackID());
            }
        }
    }

    if (picture && before(shownVideoEnd, duration)) {
        std::shared_ptr<const Asset> black = placeholder(kBlackMovie);
        std::optional<AssetTrack> blackVideo = black ? firstTrack(*black, MediaType::Video) : std::nullopt;
        CompositionTrack* track = composition.trackWithID(videoTrackID);
        if (!blackVideo || !track)
            return nullptr;
        if (std::optional<qv::MediaError> error = track->insertTimeRange(blackVideo->timeRange, black, blackVideo->trackID,
                                                                         shownVideoEnd))
            logInsertionError(*error);
        else
            track->scaleTimeRange({shownVideoEnd, blackVideo->timeRange.duration}, duration - shownVideoEnd);
    }
    if (!picture && before(composition.duration(), duration)) {
        std::shared_ptr<const Asset> missing = placeholder(kMissingMediaMovie);
        std::optional<AssetTrack> filler = missing ? firstTrack(*missing, MediaType::Audio) : std::nullopt;
        if (!filler)
            return nullptr;
        CompositionTrack& track = composition.addMutableTrack(MediaType::Audio);
        if (std::optional<qv::MediaError> error =
                track.insertTimeRange(filler->timeRange, missing, filler->trackID, MediaTime::zero()))
            logInsertionError(*error);
        else
            track.scaleTimeRange({MediaTime::zero(), filler->timeRange.duration}, duration);
    }

    auto shared = std::make_shared<Composition>(composition);
    auto result = std::make_shared<Asset>(Asset::fromComposition(std::move(composition)));
    for (const auto& [audioTrack, trackID] : links) {
        for (const AssetTrack& track : result->tracks())
            if (track.trackID == trackID)
                audioTrack->assetTrack = track;
        audioTrack->compositeAssetTrackID = trackID;
        audioTrack->composition = shared;
        for (const auto& channel : audioTrack->audioChannels)
            if (channel)
                channel->parentAudioTrack = audioTrack;
    }
    return result;
}
