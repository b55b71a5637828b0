#include "model/MediaFilesMapping.h"

#include "model/AppDelegate.h"
#include "model/DatabaseReading.h"
#include "model/ModelServices.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/media/Asset.h"

#include <QFileInfo>

#include <algorithm>

using qv::DatabaseValue;

namespace {

std::string numberedKey(const char* prefix, std::int64_t index)
{
    return QString::asprintf("%s_%02lld", prefix, static_cast<long long>(index)).toStdString();
}

// The number of a "<prefix>_NN" key, or -1.
std::int64_t keyNumber(const std::string& key, std::string_view prefix)
{
    if (key.size() <= prefix.size() + 1 || key.compare(0, prefix.size(), prefix) != 0 || key[prefix.size()] != '_')
        return -1;
    std::int64_t n = 0;
    for (std::size_t i = prefix.size() + 1; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9' || n > 1'000'000)
            return -1;
        n = n * 10 + (key[i] - '0');
    }
    return n;
}

DatabaseValue channelsNode(const QVAudioTrack& track)
{
    std::vector<DatabaseValue::Entry> channels;
    for (std::size_t c = 0; c < track.audioChannels.size(); ++c) {
        const auto& channel = track.audioChannels[c];
        if (!channel)
            continue;
        std::vector<DatabaseValue::Entry> entry{{"enabled", channel->enabled}};
        if (!channel->iXMLName.isNull())
            entry.emplace_back("ixml_name", channel->iXMLName.toStdString());
        channels.emplace_back(channelKey(static_cast<std::int64_t>(c)), DatabaseValue::map(std::move(entry)));
    }
    if (channels.empty())
        channels.emplace_back("channels", 0);
    return DatabaseValue::map(std::move(channels));
}

std::shared_ptr<QVAudioTrack> trackFromNode(const DatabaseValue& node)
{
    auto track = std::make_shared<QVAudioTrack>();
    const auto count = static_cast<std::int64_t>(node.childCount());
    for (std::int64_t c = 0; c < count; ++c) {
        const std::string key = channelKey(c);
        if (!node.hasChild(key))
            continue;
        const DatabaseValue channelNode = node.child(key);
        auto channel = std::make_shared<QVAudioChannel>();
        if (channelNode.hasChild("enabled"))
            channel->enabled = channelNode.child("enabled").toBool();
        readStringChild(channelNode, "ixml_name", channel->iXMLName);
        track->audioChannels.push_back(std::move(channel));
    }
    return track;
}

// Tracks are read from the track_NN keys present, in number order, not only from those below
// the count of children: a track missing from the numbering (an empty track stored before the
// marker existed) then hides none of those after it. Enumerating the keys keeps the work bounded
// by what is stored, whatever numbers a record holds.
std::vector<std::shared_ptr<QVAudioTrack>> tracksFromNode(const DatabaseValue& node)
{
    std::vector<std::pair<std::int64_t, const DatabaseValue*>> numbered;
    for (auto child : node.children()) {
        const std::int64_t number = keyNumber(child.key, "track");
        if (number >= 0 && trackKey(number) == child.key)
            numbered.emplace_back(number, &child.value);
    }
    std::sort(numbered.begin(), numbered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::shared_ptr<QVAudioTrack>> tracks;
    tracks.reserve(numbered.size());
    for (const auto& [number, track] : numbered)
        tracks.push_back(trackFromNode(*track));
    return tracks;
}

void readTime(const DatabaseValue& node, const char* key, qv::MediaTime& field)
{
    if (auto text = stringChild(node, key))
        field = convertTimestringToCMTime(*text);
}

}  // namespace

std::string mediaFileKey(std::int64_t index)
{
    return numberedKey("file", index);
}

std::string trackKey(std::int64_t index)
{
    return numberedKey("track", index);
}

std::string channelKey(std::int64_t index)
{
    return numberedKey("channel", index);
}

DatabaseValue createFirebaseDataFromMediaFiles(const QVMediaFiles& mediaFiles)
{
    std::vector<DatabaseValue::Entry> files;
    for (std::size_t i = 0; i < mediaFiles.size(); ++i) {
        const auto& mediaFile = mediaFiles[i];
        if (!mediaFile)
            continue;
        std::vector<DatabaseValue::Entry> entry{
            {"composite_delay", convertToStringTime(mediaFile->compositeDelay).toStdString()},
            {"duration", convertToStringTime(mediaFile->duration).toStdString()},
            {"source_delay", convertToStringTime(mediaFile->sourceDelay).toStdString()},
            {"source_duration", convertToStringTime(mediaFile->sourceDuration).toStdString()},
            {"has_video", mediaFile->hasVideo},
            {"show_video", mediaFile->showVideo},
        };
        if (!mediaFile->filePath.isNull())
            entry.emplace_back("file_path", mediaFile->filePath.toStdString());
        if (!mediaFile->fcpxMulticamAngleName.isNull())
            entry.emplace_back("fcpx_multicam_angle_name", mediaFile->fcpxMulticamAngleName.toStdString());
        if (!mediaFile->fcpxMulticamAngleUID.isNull())
            entry.emplace_back("fcpx_multicam_angle_uid", mediaFile->fcpxMulticamAngleUID.toStdString());
        std::vector<DatabaseValue::Entry> tracks;
        for (std::size_t t = 0; t < mediaFile->audioTracks.size(); ++t) {
            if (const auto& track = mediaFile->audioTracks[t])
                tracks.emplace_back(trackKey(static_cast<std::int64_t>(t)), channelsNode(*track));
        }
        if (!tracks.empty())
            entry.emplace_back("audio_tracks", DatabaseValue::map(std::move(tracks)));
        files.emplace_back(mediaFileKey(static_cast<std::int64_t>(i)), DatabaseValue::map(std::move(entry)));
    }
    return DatabaseValue::map(std::move(files));
}

QVMediaFiles createMediaFilesFromFirebaseData(const DatabaseValue& node)
{
    QVMediaFiles result;
    const auto count = static_cast<std::int64_t>(node.childCount());
    for (std::int64_t i = 0; i < count; ++i) {
        auto mediaFile = std::make_shared<QVMediaFile>();
        const DatabaseValue entry = node.child(mediaFileKey(i));
        if (entry.hasChild("audio_tracks"))
            mediaFile->audioTracks = tracksFromNode(entry.child("audio_tracks"));
        readTime(entry, "composite_delay", mediaFile->compositeDelay);
        readTime(entry, "duration", mediaFile->duration);
        readStringChild(entry, "fcpx_multicam_angle_name", mediaFile->fcpxMulticamAngleName);
        readStringChild(entry, "fcpx_multicam_angle_uid", mediaFile->fcpxMulticamAngleUID);
        readStringChild(entry, "file_path", mediaFile->filePath);
        if (entry.hasChild("has_video"))
            mediaFile->hasVideo = entry.child("has_video").toBool();
        if (entry.hasChild("show_video"))
            mediaFile->showVideo = entry.child("show_video").toBool();
        readTime(entry, "source_delay", mediaFile->sourceDelay);
        readTime(entry, "source_duration", mediaFile->sourceDuration);
        result.push_back(std::move(mediaFile));
    }
    return result;
}

std::shared_ptr<QVAudioChannel> getAudioChannelFromTrackChannelIndex(std::int64_t index, const QVMediaFile& mediaFile)
{
    if (index < 0)
        return nullptr;
    for (const auto& track : mediaFile.audioTracks) {
        if (!track)
            continue;
        const auto count = static_cast<std::int64_t>(track->audioChannels.size());
        if (index < count)
            return track->audioChannels[static_cast<std::size_t>(index)];
        index -= count;
    }
    return nullptr;
}

QUrl getFirstMediaFileURLFromCurrentFile(const AppDelegate& ad)
{
    if (!ad.currentFile || ad.currentFile->mediaFiles.empty() || !ad.currentFile->mediaFiles.front())
        return {};
    return ad.currentFile->mediaFiles.front()->url;
}

void getMediaFileDataForSimpleFile(QVFile& file)
{
    if (!file.asset)
        return;
    for (const auto& mediaFile : file.mediaFiles) {
        if (!mediaFile || !mediaFile->mediaOnline)
            continue;
        std::size_t j = 0;
        for (const qv::AssetTrack& assetTrack : file.asset->tracks()) {
            if (assetTrack.mediaType != qv::MediaType::Audio)
                continue;
            if (j == mediaFile->audioTracks.size())
                mediaFile->audioTracks.push_back(std::make_shared<QVAudioTrack>());
            const auto track = mediaFile->audioTracks[j++];
            track->assetTrack = assetTrack;
            const int channels = assetTrack.audio ? assetTrack.audio->channelCount : 0;
            if (track->audioChannels.empty() && channels > 0) {
                for (int c = 0; c < channels; ++c)
                    track->audioChannels.push_back(std::make_shared<QVAudioChannel>());
            }
            if (channels > 0 && track->audioChannels.size() == static_cast<std::size_t>(channels)) {
                for (const auto& channel : track->audioChannels)
                    channel->parentAudioTrack = track;
            }
        }
    }
}

void getMediaFilesOnlineStatus(AppDelegate& ad, const QVMediaFiles& mediaFiles)
{
    for (const auto& mediaFile : mediaFiles) {
        if (!mediaFile)
            continue;
        if (ad.modelServices)
            ad.modelServices->checkAccessForMediaFile(*mediaFile);
        if (mediaFile->url.isEmpty())
            continue;
        if (mediaFile->requiresSecurityAccess && !mediaFile->hasAccessToURL)
            continue;
        const QFileInfo info(mediaFile->url.toLocalFile());
        if (info.exists() && info.isReadable())
            mediaFile->mediaOnline = true;
    }
}

bool simpleFileHasVideoForMediaFiles(const QVMediaFiles& mediaFiles)
{
    return !mediaFiles.empty() && mediaFiles.front() && mediaFiles.front()->hasVideo;
}

bool videoIsOnlineForFile(const QVFile& file)
{
    for (const auto& mediaFile : file.mediaFiles) {
        if (mediaFile && mediaFile->showVideo && !mediaFile->mediaOnline)
            return false;
    }
    return true;
}
