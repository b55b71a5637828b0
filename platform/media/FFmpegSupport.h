// Private to the media layer: owners for FFmpeg objects, opening an input file with errors that
// name it, and time conversions. No public header includes this file.
#pragma once

#include "MediaError.h"
#include "MediaTime.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace qv::ffmpeg {

struct FormatContextDeleter { void operator()(AVFormatContext* c) const { avformat_close_input(&c); } };
struct CodecContextDeleter { void operator()(AVCodecContext* c) const { avcodec_free_context(&c); } };
struct FrameDeleter { void operator()(AVFrame* f) const { av_frame_free(&f); } };
struct PacketDeleter { void operator()(AVPacket* p) const { av_packet_free(&p); } };
struct ResamplerDeleter { void operator()(SwrContext* s) const { swr_free(&s); } };
struct ScalerDeleter { void operator()(SwsContext* s) const { sws_freeContext(s); } };

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

FramePtr makeFrame();
PacketPtr makePacket();

// The reason for an error number to show a user: the system's words for a system error, else
// a sentence a user can act on ("The file is damaged or in a format that cannot be decoded.");
// FFmpeg's own words for it go to the log.
std::string errorText(int error);
// The last path component, as the user knows the file.
std::string displayName(const std::string& path);

// A local path as FFmpeg's URL of that file: absolute, under the file protocol, so that no part
// of a file's name ("concat:", "pipe:", "a|b") is read as a protocol or its arguments.
std::string fileUrl(const std::string& path);

// Opens and probes a media file, through the file protocol only. A missing file gives
// FileNotFound; a folder, a file that cannot be read or anything FFmpeg cannot read as media
// gives CannotOpen, saying which. FFmpeg's own messages go to the log at debug level.
MediaResult<FormatContextPtr> openInput(const std::string& path);

// A decoder opened for one stream; DecodeFailed when none exists for its codec. `threads` 0
// lets the decoder choose by the processor count.
MediaResult<CodecContextPtr> openDecoder(const AVStream& stream, const std::string& path, int threads = 1);

// A stream timestamp as a media time in the stream's own timescale (never reduced). Invalid
// for AV_NOPTS_VALUE or a time base that does not fit.
MediaTime mediaTimeFromStream(int64_t timestamp, AVRational timeBase);
// Where the file's time line starts, in seconds of the file's own clock. The asset's time zero
// stands there: an MP3 whose first samples are the encoder's delay starts a little after 0.
double fileStartSeconds(const AVFormatContext& context);
// Where the file's time line starts, in AV_TIME_BASE units of the file's own clock (0 when the
// file does not say).
int64_t fileStartTimestamp(const AVFormatContext& context);
// Seconds to a stream timestamp, rounded down; times too far off for 64 bits give its ends.
int64_t streamTimestampFromSeconds(double seconds, AVRational timeBase);

// The stream timestamp at which `time` falls, computed exactly: rounded down, it is the latest
// timestamp at or before `time`, so that a picture starting exactly there is the one showing and
// a time a hair before it still shows the picture before; rounded up, the earliest at or after.
// `time` is on a time line where `target` plays `source` of the asset (a time before `target`
// stands for its start); the asset's zero is `fileStart` (AV_TIME_BASE units) of the file.
// Times whose exact fractions outgrow 128 bits are converted through seconds instead.
int64_t streamTimestampAt(const MediaTime& time, const MediaTimeRange& target, const MediaTimeRange& source,
                          int64_t fileStart, AVRational timeBase, bool roundUp = false);
// The same for a time of the asset itself.
int64_t streamTimestampAt(const MediaTime& time, int64_t fileStart, AVRational timeBase, bool roundUp = false);
// How many samples at `rate` lie from `start` (a time of the asset) to stream timestamp
// `timestamp`, rounded half away from zero; negative when the timestamp comes first. Exact like
// streamTimestampAt.
int64_t samplesFromTo(const MediaTime& start, int64_t timestamp, int64_t fileStart, AVRational timeBase, int rate);

}  // namespace qv::ffmpeg
