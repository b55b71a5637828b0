#include "AssetInspector.h"

#include "FFmpegSupport.h"
#include "QuickTimeBoxes.h"
#include "TrackEnd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <map>
#include <vector>

namespace qv {

using namespace ffmpeg;

namespace {

int audioLayoutOf(const AVChannelLayout& layout)
{
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVChannelLayout back51 = AV_CHANNEL_LAYOUT_5POINT1_BACK;
    AVChannelLayout side51 = AV_CHANNEL_LAYOUT_5POINT1;
    if (av_channel_layout_compare(&layout, &stereo) == 0)
        return 2;
    if (av_channel_layout_compare(&layout, &back51) == 0 || av_channel_layout_compare(&layout, &side51) == 0)
        return 6;
    return 1;
}

AudioTrackFormat audioFormatOf(const AVCodecParameters& parameters)
{
    AudioTrackFormat format;
    format.sampleRate = parameters.sample_rate;
    format.channelCount = parameters.ch_layout.nb_channels;
    char description[128] = {};
    if (av_channel_layout_describe(&parameters.ch_layout, description, sizeof description) > 0)
        format.channelLayoutDescription = description;
    format.audioLayout = audioLayoutOf(parameters.ch_layout);
    format.codecName = avcodec_get_name(parameters.codec_id);
    return format;
}

VideoTrackFormat videoFormatOf(const AVStream& stream)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    VideoTrackFormat format;
    format.encodedWidth = parameters.width;
    format.encodedHeight = parameters.height;
    AVRational aspect = parameters.sample_aspect_ratio.num > 0 ? parameters.sample_aspect_ratio
                                                               : stream.sample_aspect_ratio;
    double widthScale = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    format.naturalWidth = static_cast<int>(std::lround(parameters.width * widthScale));
    format.naturalHeight = parameters.height;
    AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    format.nominalFrameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    bool interlaced = parameters.field_order != AV_FIELD_UNKNOWN && parameters.field_order != AV_FIELD_PROGRESSIVE;
    format.fieldCount = interlaced ? 2 : 1;
    format.codecName = avcodec_get_name(parameters.codec_id);
    return format;
}

bool isTimecodeStream(const AVStream& stream)
{
    uint32_t tag = stream.codecpar->codec_tag;
    return stream.codecpar->codec_type == AVMEDIA_TYPE_DATA
        && (tag == MKTAG('t', 'm', 'c', 'd') || tag == MKTAG('t', 'c', '6', '4'));
}

// FFmpeg keeps the sample description of a 'tmcd' track, after its format code, as the
// stream's extra data; that of a 'tc64' track only stands in the file's movie box.
TimecodeTrack timecodeTrackOf(const AVStream& stream, const std::string& path,
                              std::optional<std::vector<uint8_t>>& movieBox)
{
    uint32_t subtype = stream.codecpar->codec_tag == MKTAG('t', 'c', '6', '4') ? TimecodeFormat::kTimecode64
                                                                               : TimecodeFormat::kTimecode32;
    std::span<const uint8_t> description;
    if (stream.codecpar->extradata && stream.codecpar->extradata_size > 0) {
        description = {stream.codecpar->extradata, static_cast<size_t>(stream.codecpar->extradata_size)};
    } else {
        if (!movieBox)
            movieBox = quicktime::readMovieBox(path).value_or(std::vector<uint8_t>{});
        if (auto found = quicktime::sampleDescriptionOfTrack(*movieBox, static_cast<uint32_t>(stream.id)))
            description = *found;
    }
    TimecodeTrack track;
    track.format.subtype = subtype;
    if (auto format = TimecodeFormat::fromDescription(subtype, description))
        track.format = *format;
    if (track.format.sourceName.empty()) {
        if (const AVDictionaryEntry* reel = av_dict_get(stream.metadata, "reel_name", nullptr, 0))
            track.format.sourceName = reel->value;
    }
    return track;
}

// Reads the first sample of each timecode stream, skipping every other stream's data.
void readFirstTimecodeSamples(AVFormatContext& context, std::vector<AssetTrack>& tracks)
{
    std::map<int, TimecodeTrack*> waiting;
    for (auto& track : tracks)
        if (track.timecode)
            waiting[track.streamIndex] = &*track.timecode;
    if (waiting.empty())
        return;
    for (unsigned i = 0; i < context.nb_streams; ++i)
        context.streams[i]->discard = waiting.count(static_cast<int>(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    if (av_seek_frame(&context, -1, 0, AVSEEK_FLAG_BACKWARD) < 0)
        return;
    PacketPtr packet = makePacket();
    while (!waiting.empty() && av_read_frame(&context, packet.get()) >= 0) {
        auto found = waiting.find(packet->stream_index);
        if (found != waiting.end()) {
            found->second->firstSample.assign(packet->data, packet->data + packet->size);
            waiting.erase(found);
        }
        av_packet_unref(packet.get());
    }
}

// On the asset's time line, which starts where the file's earliest stream does.
MediaTimeRange timeRangeOf(const AVFormatContext& context, const AVStream& stream)
{
    int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    if (context.start_time != AV_NOPTS_VALUE && stream.start_time != AV_NOPTS_VALUE)
        start -= av_rescale_q(context.start_time, AV_TIME_BASE_Q, stream.time_base);
    return {mediaTimeFromStream(start, stream.time_base), mediaTimeFromStream(stream.duration, stream.time_base)};
}

struct NativeKey {
    const char* generic;
    const char* id3;
    const char* itunes;
    const char* common;
};

// FFmpeg names every container's tags by one generic vocabulary; this gives the names each key
// space itself uses, and the common key the item answers to.
constexpr NativeKey kNativeKeys[] = {
    {"title", "TIT2", "©nam", MetadataCommonKey::Title},
    {"artist", "TPE1", "©ART", MetadataCommonKey::Artist},
    {"album", "TALB", "©alb", MetadataCommonKey::AlbumName},
    {"album_artist", "TPE2", "aART", nullptr},
    {"composer", "TCOM", "©wrt", MetadataCommonKey::Creator},
    {"date", "TDRC", "©day", MetadataCommonKey::CreationDate},
    {"creation_time", "TDRC", "©day", MetadataCommonKey::CreationDate},
    {"genre", "TCON", "©gen", nullptr},
    {"track", "TRCK", "trkn", nullptr},
    {"disc", "TPOS", "disk", nullptr},
    {"comment", "COMM", "©cmt", nullptr},
    {"copyright", "TCOP", "cprt", MetadataCommonKey::Copyrights},
    {"encoder", "TSSE", "©too", MetadataCommonKey::Software},
    {"publisher", "TPUB", "©pub", MetadataCommonKey::Publisher},
    {"description", "TIT3", "desc", MetadataCommonKey::Description},
};

constexpr const char* kQuickTimePrefix = "com.apple.quicktime.";

constexpr std::pair<const char*, const char*> kQuickTimeCommonKeys[] = {
    {"title", MetadataCommonKey::Title},         {"artist", MetadataCommonKey::Artist},
    {"album", MetadataCommonKey::AlbumName},     {"author", MetadataCommonKey::Creator},
    {"creationdate", MetadataCommonKey::CreationDate}, {"copyright", MetadataCommonKey::Copyrights},
    {"software", MetadataCommonKey::Software},   {"publisher", MetadataCommonKey::Publisher},
    {"description", MetadataCommonKey::Description}, {"make", MetadataCommonKey::Make},
    {"model", MetadataCommonKey::Model},
};

MetadataItem metadataItemOf(const std::string& formatName, const char* key, const char* value)
{
    MetadataItem item;
    item.key = key;
    item.stringValue = value;
    bool isQuickTimeFile = formatName.find("mov") != std::string::npos || formatName.find("mp4") != std::string::npos;
    bool isId3File = formatName == "mp3" || formatName == "aiff";
    if (isQuickTimeFile && std::strncmp(key, kQuickTimePrefix, std::strlen(kQuickTimePrefix)) == 0) {
        item.keySpace = MetadataKeySpace::QuickTime;
        std::string_view name(key + std::strlen(kQuickTimePrefix));
        for (const auto& [quickTimeName, common] : kQuickTimeCommonKeys)
            if (name == quickTimeName)
                item.commonKey = common;
        return item;
    }
    const NativeKey* native = nullptr;
    for (const auto& candidate : kNativeKeys)
        if (std::strcmp(candidate.generic, key) == 0)
            native = &candidate;
    if (isQuickTimeFile) {
        item.keySpace = MetadataKeySpace::iTunes;
        if (native)
            item.key = native->itunes;
    } else if (isId3File) {
        item.keySpace = MetadataKeySpace::ID3;
        if (native)
            item.key = native->id3;
    }
    if (native && native->common && item.keySpace != MetadataKeySpace::Other)
        item.commonKey = native->common;
    return item;
}

// A length the demuxer guessed from the bit rate (a raw AAC or MP3 stream without a header that
// states it) is short or long by as much as the rate varies: the packets are read through to
// their end instead, which costs no decoding, and each stream ends where its last packet does.
void measureEstimatedDurations(AVFormatContext& context)
{
    if (context.duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
        return;
    std::vector<int64_t> ends(context.nb_streams, AV_NOPTS_VALUE);
    PacketPtr packet = makePacket();
    while (av_read_frame(&context, packet.get()) >= 0) {
        auto index = static_cast<std::size_t>(packet->stream_index);
        int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (index < ends.size() && time != AV_NOPTS_VALUE)
            ends[index] = std::max(ends[index] == AV_NOPTS_VALUE ? time : ends[index], time + packet->duration);
        av_packet_unref(packet.get());
    }
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        AVStream& stream = *context.streams[i];
        if (ends[i] == AV_NOPTS_VALUE)
            continue;
        stream.duration = ends[i] - (stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time);
    }
}

// Opening a decoder checks what the header claims (a channel count no decoder takes, say):
// a track the decoder refuses makes the file refused here, before anything is sized from it.
std::optional<MediaError> refusedAudioTrack(const AVFormatContext& context, const std::string& path)
{
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream& stream = *context.streams[i];
        if (stream.codecpar->codec_type != AVMEDIA_TYPE_AUDIO || !avcodec_find_decoder(stream.codecpar->codec_id))
            continue;
        auto decoder = openDecoder(stream, path);
        if (!decoder)
            return decoder.error();
    }
    return std::nullopt;
}

// For a file that ends before the audio it states: where the longest audio present ends, on the
// asset's time line; invalid for a whole file.
MediaTime truncatedAt(AVFormatContext& context, const std::string& path, const std::vector<AssetTrack>& tracks)
{
    MediaTime soundEnd;
    bool cut = false;
    for (const auto& track : tracks) {
        if (track.mediaType != MediaType::Audio)
            continue;
        const AVStream& stream = *context.streams[track.streamIndex];
        MediaTime end = track.timeRange.end();
        if (auto present = trackend::cutShortEnd(context, track.streamIndex, path)) {
            cut = true;
            int64_t start = context.start_time == AV_NOPTS_VALUE
                              ? 0
                              : av_rescale_q(context.start_time, AV_TIME_BASE_Q, stream.time_base);
            end = mediaTimeFromStream(*present - start, stream.time_base);
        }
        if (end.isValid() && (!soundEnd.isValid() || end > soundEnd))
            soundEnd = end;
    }
    return cut ? soundEnd : MediaTime::invalid();
}

std::vector<MetadataItem> metadataOf(const AVFormatContext& context)
{
    std::vector<MetadataItem> items;
    std::string formatName = context.iformat ? context.iformat->name : "";
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(context.metadata, "", entry, AV_DICT_IGNORE_SUFFIX)))
        items.push_back(metadataItemOf(formatName, entry->key, entry->value));
    return items;
}

}  // namespace

MediaResult<Asset> AssetInspector::inspect(const std::string& path)
{
    auto opened = openInput(path);
    if (!opened)
        return opened.error();
    AVFormatContext& context = *opened.value();
    if (auto refused = refusedAudioTrack(context, path))
        return *refused;
    measureEstimatedDurations(context);

    Asset asset;
    asset.path_ = path;
    bool isQuickTime = context.iformat && std::strstr(context.iformat->name, "mov") != nullptr;
    std::optional<std::vector<uint8_t>> movieBox;  // read once, when a track needs it
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream& stream = *context.streams[i];
        AssetTrack track;
        track.streamIndex = static_cast<int>(i);
        track.trackID = isQuickTime && stream.id > 0 ? stream.id : static_cast<int>(i) + 1;
        track.timeRange = timeRangeOf(context, stream);
        AVMediaType type = stream.codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO && stream.codecpar->ch_layout.nb_channels > 0) {
            track.mediaType = MediaType::Audio;
            track.audio = audioFormatOf(*stream.codecpar);
        } else if (type == AVMEDIA_TYPE_VIDEO && !(stream.disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            track.mediaType = MediaType::Video;
            track.video = videoFormatOf(stream);
        } else if (isTimecodeStream(stream)) {
            track.mediaType = MediaType::Timecode;
            track.timecode = timecodeTrackOf(stream, path, movieBox);
        } else {
            continue;
        }
        if ((track.audio || track.video) && avcodec_find_decoder(stream.codecpar->codec_id))
            asset.playable_ = true;
        asset.tracks_.push_back(std::move(track));
    }

    for (const auto& track : asset.tracks_) {
        if (track.mediaType == MediaType::Timecode || !track.timeRange.isValid())
            continue;
        MediaTime end = track.timeRange.end();
        if (!asset.duration_.isValid() || end > asset.duration_)
            asset.duration_ = end;
    }
    if (!asset.duration_.isValid() && context.duration != AV_NOPTS_VALUE && context.duration > 0)
        asset.duration_ = MediaTime(context.duration, AV_TIME_BASE);

    bool hasMedia = false;
    for (const auto& track : asset.tracks_)
        hasMedia = hasMedia || track.mediaType != MediaType::Timecode;
    if (!hasMedia)
        return makeMediaError(MediaErrorCode::CannotOpen,
                              "The file “" + displayName(path) + "” holds no audio or video.");

    asset.truncatedAt_ = truncatedAt(context, path, asset.tracks_);
    asset.metadata_ = metadataOf(context);
    readFirstTimecodeSamples(context, asset.tracks_);
    return asset;
}

}  // namespace qv
