// Clips of a dropped library as media files.
#include "fcpx/ClipMediaFiles.h"

#include "model/MediaFilesMapping.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"
#include "model/QVTimecodeFields.h"
#include "model/TimeUtilities.h"
#include "platform/media/Asset.h"

#include <algorithm>
#include <cmath>

using qv::MediaTime;

namespace {

// Enabled complex clips in a spine or one level below it.
const char* const kEnabledComplexInSpine =
    "mc-clip[not(@enabled) or @enabled = 1] | ref-clip[not(@enabled) or @enabled = 1] | "
    "sync-clip[not(@enabled) or @enabled = 1] | */mc-clip[not(@enabled) or @enabled = 1] | "
    "*/ref-clip[not(@enabled) or @enabled = 1] | */sync-clip[not(@enabled) or @enabled = 1]";

int laneOf(const QVXMLElement& clip) { return clip.attributeText("lane").trimmed().toInt(); }

// Larger lanes first; clips of one lane keep their document order.
std::vector<std::shared_ptr<QVXMLElement>> sortedByLane(std::vector<std::shared_ptr<QVXMLElement>> clips)
{
    std::stable_sort(clips.begin(), clips.end(), [](const auto& a, const auto& b) { return laneOf(*a) > laneOf(*b); });
    return clips;
}

// A connected clip directly under a synchronized clip is placed by its lane, not again as part of
// the storyline.
std::vector<std::shared_ptr<QVXMLElement>> withoutLane(std::vector<std::shared_ptr<QVXMLElement>> clips)
{
    std::erase_if(clips, [](const auto& clip) { return clip->hasAttribute("lane"); });
    return clips;
}

bool isNegative(const MediaTime& time) { return MediaTime::compare(time, MediaTime::zero()) < 0; }

QStringList channelNumbers(const QString& srcCh) { return srcCh.split(QStringLiteral(", ")); }

void disableAllChannels(QVMediaFile& mediaFile)
{
    for (const auto& track : mediaFile.audioTracks)
        for (const auto& channel : track->audioChannels)
            channel->enabled = false;
}

}  // namespace

MediaTime timeOrZero(const QString& text)
{
    const MediaTime time = convertTimestringToCMTime(text);
    return time.isNumeric() ? time : MediaTime::zero();
}

MediaTime timeAttribute(const QVXMLElement& element, const char* name)
{
    std::optional<QString> text = element.attribute(name);
    return text ? timeOrZero(*text) : MediaTime::zero();
}

ClipMediaFiles::ClipMediaFiles(const FCPXLibrary& library, Services services)
    : library_(library), services_(std::move(services))
{
}

std::shared_ptr<qv::Asset> ClipMediaFiles::assetOf(const QUrl& url) const
{
    if (auto found = assets_.find(url); found != assets_.end())
        return found->second;
    std::shared_ptr<qv::Asset> asset = services_.openAsset ? services_.openAsset(url) : nullptr;
    assets_.emplace(url, asset);
    return asset;
}

std::shared_ptr<QVMediaFile> ClipMediaFiles::createMediaFileFromClip(const QVXMLElement& clip, const QVXMLElement* parent,
                                                                     const QVXMLElement& topLevelClip) const
{
    const std::optional<QString> assetID = library_.getAssetRefFromClip(clip);
    const std::optional<FCPXAssetData> data = assetID ? library_.getDataFromAssetRef(*assetID) : std::nullopt;
    if (!data)
        return nullptr;

    auto mediaFile = std::make_shared<QVMediaFile>();
    if (!data->duration.isEmpty())
        mediaFile->duration = convertTimestringToCMTime(data->duration);
    mediaFile->url = data->url;
    mediaFile->filePath = data->url.toLocalFile();
    mediaFile->requiresSecurityAccess = true;
    mediaFile->hasVideo = data->hasVideo;

    mediaFile->sourceDelay = timeAttribute(clip, "start") - timeOrZero(data->start);
    mediaFile->sourceDuration = timeAttribute(clip, "duration");
    const MediaTime parentStart = parent ? timeAttribute(*parent, "start") : MediaTime::zero();
    const MediaTime offset = timeAttribute(clip, "offset");
    const QString topName = topLevelClip.name();
    if (clip.hasAttribute("lane") && (topName == QLatin1String("ref-clip") || topName == QLatin1String("sync-clip"))) {
        const MediaTime topStart = timeAttribute(topLevelClip, "start");
        const MediaTime parentOffset = parent ? timeAttribute(*parent, "offset") : MediaTime::zero();
        mediaFile->compositeDelay = (parentOffset - topStart) + (offset - parentStart);
        if (isNegative(mediaFile->compositeDelay)) {
            // The part before the complex clip's start is cut off.
            mediaFile->sourceDelay = mediaFile->sourceDelay - mediaFile->compositeDelay;
            mediaFile->sourceDuration = mediaFile->sourceDuration + mediaFile->compositeDelay;
            mediaFile->compositeDelay = MediaTime::zero();
        }
    } else {
        mediaFile->compositeDelay = offset - parentStart;
    }
    if (isNegative(mediaFile->sourceDelay))
        return nullptr;

    const std::optional<QStringList> iXMLNames = services_.iXMLTrackNames ? services_.iXMLTrackNames(data->url) : std::nullopt;
    if (clip.name() == QLatin1String("asset-clip"))
        if (std::optional<QString> role = clip.attribute("audioRole"))
            mediaFile->fcpxAudioRole = *role;
    const std::optional<QMap<QString, QString>> roles = getMultichannelSourceRoleMappingFromClip(clip, *assetID);

    mediaFile->asset = assetOf(data->url);
    if (mediaFile->asset) {
        for (const qv::AssetTrack& assetTrack : mediaFile->asset->tracksWithMediaType(qv::MediaType::Audio)) {
            auto track = std::make_shared<QVAudioTrack>();
            track->assetTrack = assetTrack;
            if (assetTrack.audio) {
                track->audioLayout = assetTrack.audio->audioLayout;
                for (int j = 0; j < assetTrack.audio->channelCount; ++j) {
                    auto channel = std::make_shared<QVAudioChannel>();
                    channel->enabled = true;
                    if (iXMLNames && j < iXMLNames->size())
                        channel->iXMLName = iXMLNames->at(j);
                    if (roles)
                        channel->fcpxRole = roles->value(QString::number(j + 1));
                    channel->parentAudioTrack = track;
                    track->audioChannels.push_back(std::move(channel));
                }
            }
            mediaFile->audioTracks.push_back(std::move(track));
        }
    }

    for (const auto& source : clip.elementsForXPath("./audio-channel-source")) {
        const QString role = source->attributeText("role");
        const bool inactive = source->attributeText("active") == QLatin1String("0");
        for (const QString& number : channelNumbers(source->attributeText("srcCh"))) {
            bool isNumber = false;
            const std::int64_t c = number.toLongLong(&isNumber);
            if (!isNumber)
                continue;
            if (std::shared_ptr<QVAudioChannel> channel = getAudioChannelFromTrackChannelIndex(c - 1, *mediaFile)) {
                channel->fcpxRole = role;
                if (inactive)
                    channel->enabled = false;
            }
        }
    }
    if (topName == QLatin1String("sync-clip"))
        applySyncRoles(*mediaFile, clip, topLevelClip);
    return mediaFile;
}

// Roles the synchronized clip turned off, for the storyline or for connected clips. A role no
// channel carries exactly names a component by its sub-role's number (dialogue.dialogue-2 is
// the second), counted in the track layout's channel groups.
void ClipMediaFiles::applySyncRoles(QVMediaFile& mediaFile, const QVXMLElement& clip, const QVXMLElement& topLevelClip) const
{
    const bool connected = clip.hasAttribute("lane");
    for (const auto& roleSource : topLevelClip.elementsForXPath("./sync-source/audio-role-source")) {
        const std::shared_ptr<QVXMLElement> syncSource = roleSource->parent();
        const QString sourceID = syncSource ? syncSource->attributeText("sourceID") : QString();
        const bool applies = (sourceID == QLatin1String("connected") && connected) ||
                             (sourceID == QLatin1String("storyline") && !connected);
        if (!applies || roleSource->attributeText("active") != QLatin1String("0"))
            continue;
        const QString role = roleSource->attributeText("role");
        bool matched = false;
        for (const auto& track : mediaFile.audioTracks)
            for (const auto& channel : track->audioChannels)
                if (channel->fcpxRole == role) {
                    channel->enabled = false;
                    matched = true;
                }
        if (matched || !role.contains(QLatin1Char('.')))
            continue;
        const QString subRole = role.mid(role.lastIndexOf(QLatin1Char('.')) + 1);
        const std::int64_t n = subRole.mid(subRole.lastIndexOf(QLatin1Char('-')) + 1).toLongLong();
        if (n < 1)
            continue;
        const std::int64_t k = n - 1;
        if (services_.fileURLIsAudio && services_.fileURLIsAudio(mediaFile.url)) {
            if (mediaFile.audioTracks.empty())
                continue;
            const QVAudioTrack& first = *mediaFile.audioTracks.front();
            const std::int64_t width = first.audioLayout;
            for (std::int64_t c = width * k; c < width * n && c < static_cast<std::int64_t>(first.audioChannels.size()); ++c)
                first.audioChannels[static_cast<std::size_t>(c)]->enabled = false;
            continue;
        }
        std::int64_t before = 0;
        for (const auto& track : mediaFile.audioTracks) {
            const std::int64_t width = std::max<std::int64_t>(track->audioLayout, 1);
            const std::int64_t count = static_cast<std::int64_t>(track->audioChannels.size());
            const std::int64_t firstChannel = width * (k - before);
            if (firstChannel >= 0 && firstChannel + width <= count) {
                for (std::int64_t c = firstChannel; c < firstChannel + width; ++c)
                    track->audioChannels[static_cast<std::size_t>(c)]->enabled = false;
                break;
            }
            before += count / width;
        }
    }
}

bool ClipMediaFiles::appendComponents(QVMediaFileList& list, const std::vector<std::shared_ptr<QVXMLElement>>& clips,
                                      const QVXMLElement* fixedParent, const QVXMLElement& topLevel, bool spine) const
{
    for (const auto& clip : clips) {
        std::shared_ptr<QVXMLElement> parent = fixedParent ? nullptr : clip->parent();
        std::shared_ptr<QVMediaFile> mediaFile =
            createMediaFileFromClip(*clip, fixedParent ? fixedParent : parent.get(), topLevel);
        if (!mediaFile)
            return false;
        mediaFile->showVideo = spine && mediaFile->hasVideo;
        list.push_back(std::move(mediaFile));
    }
    return true;
}

std::optional<QVMediaFileList> ClipMediaFiles::createMediaFilesFromFCPXCompoundClip(const QVXMLElement& refClip,
                                                                                     const QVXMLElement& media) const
{
    std::shared_ptr<QVXMLElement> spine = library_.getSpineElementFromMediaElement(media);
    if (spine && !spine->elementsForXPath(kEnabledComplexInSpine).empty())
        return std::nullopt;
    QVMediaFileList list;
    if (!appendComponents(list, sortedByLane(media.elementsForXPath(".//asset-clip[@lane > 0] | .//clip[@lane > 0]")),
                          nullptr, refClip, false) ||
        !appendComponents(list, media.elementsForXPath("./sequence/spine/asset-clip | ./sequence/spine/clip"), &refClip,
                          refClip, true) ||
        !appendComponents(list, sortedByLane(media.elementsForXPath(".//asset-clip[@lane < 0] | .//clip[@lane < 0]")),
                          nullptr, refClip, false))
        return std::nullopt;
    return list;
}

std::optional<QVMediaFileList> ClipMediaFiles::createMediaFilesFromFCPXMulticamClip(const QVXMLElement& mcClip,
                                                                                     const QVXMLElement& media) const
{
    if (!media.elementsForXPath("./multicam/mc-angle/ref-clip[not(@enabled) or @enabled = 1] | "
                                "./multicam/mc-angle/sync-clip[not(@enabled) or @enabled = 1]")
             .empty())
        return std::nullopt;
    std::optional<QString> videoAngle;
    QStringList audioAngles;
    for (const auto& source : mcClip.elementsForXPath("./mc-source")) {
        const QString angleID = source->attributeText("angleID");
        const QString enable = source->attributeText("srcEnable");
        if (enable == QLatin1String("all") || enable == QLatin1String("audio"))
            audioAngles.append(angleID);
        if (enable == QLatin1String("all") || enable == QLatin1String("video"))
            videoAngle = angleID;
    }
    std::shared_ptr<QVXMLElement> multicam = media.firstElementForXPath("./multicam");
    if (!multicam)
        return std::nullopt;
    QStringList wanted = audioAngles;
    if (videoAngle)
        wanted.append(*videoAngle);
    for (const QString& angleID : wanted)
        if (!multicam->firstElementForXPath("./mc-angle[@angleID=$id]", {{"id", angleID}}))
            return std::nullopt;

    QVMediaFileList list;
    for (const auto& angle : multicam->elementsForXPath("./mc-angle")) {
        const QString angleID = angle->attributeText("angleID");
        for (const auto& clip : angle->elementsForXPath("./asset-clip | ./clip")) {
            std::shared_ptr<QVMediaFile> mediaFile = createMediaFileFromClip(*clip, nullptr, mcClip);
            if (!mediaFile)
                return std::nullopt;
            if (std::optional<QString> name = angle->attribute("name"))
                mediaFile->fcpxMulticamAngleName = *name;
            mediaFile->fcpxMulticamAngleUID = angleID;
            mediaFile->showVideo = mediaFile->hasVideo && videoAngle && *videoAngle == angleID;
            if (!audioAngles.contains(angleID))
                disableAllChannels(*mediaFile);
            list.push_back(std::move(mediaFile));
        }
    }
    return list;
}

std::optional<QVMediaFileList> ClipMediaFiles::createMediaFilesFromFCPXSyncClip(const QVXMLElement& syncClip) const
{
    if (!syncClip.elementsForXPath(".//mc-clip[not(@enabled) or @enabled = 1] | .//ref-clip[not(@enabled) or @enabled = 1] | "
                                   ".//sync-clip[not(@enabled) or @enabled = 1]")
             .empty())
        return std::nullopt;
    QVMediaFileList list;
    if (!appendComponents(list, sortedByLane(syncClip.elementsForXPath(".//asset-clip[@lane > 0] | .//clip[@lane > 0]")),
                          nullptr, syncClip, false) ||
        !appendComponents(list, withoutLane(syncClip.elementsForXPath("./spine/asset-clip | ./spine/clip | ./asset-clip | ./clip")),
                          &syncClip, syncClip, true) ||
        !appendComponents(list, sortedByLane(syncClip.elementsForXPath(".//asset-clip[@lane < 0] | .//clip[@lane < 0]")),
                          nullptr, syncClip, false))
        return std::nullopt;
    return list;
}

std::optional<QMap<QString, QString>> ClipMediaFiles::getMultichannelSourceRoleMappingFromClip(const QVXMLElement& clip,
                                                                                               const QString& assetID) const
{
    const auto nodes = clip.elementsForXPath(".//audio[@ref=$id and @role and @srcCh]", {{"id", assetID}});
    if (nodes.empty())
        return std::nullopt;
    QMap<QString, QString> roles;
    for (const auto& node : nodes)
        for (const QString& number : channelNumbers(node->attributeText("srcCh")))
            roles.insert(number, node->attributeText("role"));
    return roles;
}

void ClipMediaFiles::createTimecodeDataFromClip(const QVXMLElement& element, QVTimecodeFields& file) const
{
    if (element.hasAttribute("start"))
        file.timecodeStart = timeAttribute(element, "start");
    else if (element.hasAttribute("tcStart"))
        file.timecodeStart = timeAttribute(element, "tcStart");
    if (element.attributeText("tcFormat") == QLatin1String("DF"))
        file.timecodeIsDropFrame = true;
    const std::optional<QString> formatID = element.attribute("format");
    if (!formatID)
        return;
    std::shared_ptr<QVXMLElement> format = library_.getFormatElement(*formatID);
    if (!format || !format->hasAttribute("frameDuration"))
        return;
    const MediaTime frameDuration = convertTimestringToCMTime(format->attributeText("frameDuration"));
    // A frame duration of zero or less, or no number at all, gives no usable rate.
    if (!frameDuration.isNumeric() || frameDuration.value <= 0 || frameDuration.timescale <= 0)
        return;
    file.timecodeFrameDuration = frameDuration;
    const float quanta = static_cast<float>(frameDuration.timescale) / static_cast<float>(frameDuration.value);
    file.timecodeFrameQuanta = static_cast<std::uint32_t>(std::lround(quanta));
}
