// Exact seeks at, a hair before and a hair after the start of every picture, in streams of
// several time bases: the picture shown must be, byte for byte, the one that a plain decode of
// the file from its first key picture shows at that time. A picture's start in seconds can come
// out a hair after the very time it starts at; these tests catch a picture chosen by such seconds.
#include "platform/media/ImageGenerator.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"
#include "platform/media/VideoFrameReader.h"

#include "TestMedia.h"

#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

// A picture of the reference decode: where it starts on the asset's time line, exactly, and its
// pixels as RGB the way the reader converts them and the way the image generator does.
struct PlainPicture {
    MediaTime start;
    std::vector<std::uint8_t> readerRgb;
    std::vector<std::uint8_t> generatorRgb;
};

std::vector<std::uint8_t> toRgb(const AVFrame& frame, int scaling)
{
    SwsContext* scaler = sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                        frame.width, frame.height, AV_PIX_FMT_RGB24, scaling, nullptr, nullptr, nullptr);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(frame.width) * frame.height * 3);
    std::uint8_t* planes[1] = {rgb.data()};
    int strides[1] = {frame.width * 3};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
    sws_freeContext(scaler);
    return rgb;
}

// `timestamp` of a stream less the file's start (in AV_TIME_BASE units), as an exact fraction
// in its smallest timescale.
MediaTime assetTime(std::int64_t timestamp, AVRational timeBase, std::int64_t fileStart)
{
    std::int64_t numerator = timestamp * timeBase.num * AV_TIME_BASE - fileStart * timeBase.den;
    std::int64_t denominator = static_cast<std::int64_t>(timeBase.den) * AV_TIME_BASE;
    std::int64_t divisor = std::gcd(numerator, denominator);
    EXPECT_LE(denominator / divisor, std::numeric_limits<std::int32_t>::max());
    return MediaTime(numerator / divisor, static_cast<std::int32_t>(denominator / divisor));
}

struct PlainDecode {
    AVRational timeBase{0, 1};
    std::vector<PlainPicture> pictures;  // in the order they show

    // The index of the picture showing at `time`: the last that starts at or before it (the
    // first before them all).
    std::size_t at(const MediaTime& time) const
    {
        std::size_t index = 0;
        while (index + 1 < pictures.size() && pictures[index + 1].start <= time)
            ++index;
        return index;
    }
};

// The video of `path` decoded from its start by the library's plain loop, on one thread.
PlainDecode decodedFromTheStart(const std::string& path)
{
    PlainDecode reference;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return reference;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatOwner(
        format, [](AVFormatContext* f) { avformat_close_input(&f); });
    avformat_find_stream_info(format, nullptr);
    int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        ADD_FAILURE() << "no video in " << path;
        return reference;
    }
    const AVStream& stream = *format->streams[index];
    reference.timeBase = stream.time_base;
    const std::int64_t fileStart = format->start_time == AV_NOPTS_VALUE ? 0 : format->start_time;
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(decoder.get(), stream.codecpar);
    decoder->pkt_timebase = stream.time_base;
    decoder->thread_count = 1;
    avcodec_open2(decoder.get(), codec, nullptr);
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            reference.pictures.push_back({assetTime(frame->best_effort_timestamp, stream.time_base, fileStart),
                                          toRgb(*frame, SWS_BILINEAR), toRgb(*frame, SWS_BICUBIC)});
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(decoder.get(), packet.get());
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return reference;
}

std::string timeText(const MediaTime& time)
{
    return std::to_string(time.value) + "/" + std::to_string(time.timescale) + " s";
}

struct TimeBaseCase {
    const char* medium;
    AVRational timeBase;
    std::size_t picturesInAGroup;  // from one key picture to the next
};

void PrintTo(const TimeBaseCase& c, std::ostream* out) { *out << c.medium; }

class PictureStarts : public ::testing::TestWithParam<TimeBaseCase> {
protected:
    void SetUp() override
    {
        path_ = testMedia(GetParam().medium);
        reference_ = decodedFromTheStart(path_);
        ASSERT_EQ(av_cmp_q(reference_.timeBase, GetParam().timeBase), 0) << "the test medium's time base";
        const auto& pictures = reference_.pictures;
        ASSERT_GE(pictures.size(), 70u);
        for (std::size_t i = 1; i < pictures.size(); ++i) {
            ASSERT_LT(pictures[i - 1].start, pictures[i].start) << "pictures in the order they show, " << i;
            ASSERT_FALSE(pictures[i].readerRgb == pictures[i - 1].readerRgb) << "pictures that all differ, " << i;
        }
        ASSERT_EQ(pictures.front().start, MediaTime::zero());
        // Every picture's start, and a thousandth of its timescale's unit before it and after it
        // (picture i's start is target 3 i + 1).
        for (const auto& picture : pictures) {
            const MediaTime& start = picture.start;
            for (int hair : {-1, 0, 1})
                targets_.push_back(hair == 0 ? start : MediaTime(start.value * 1000 + hair, start.timescale * 1000));
        }
    }

    // The targets a check gets wrong, with the picture shown and the one expected, for the message.
    template <typename Shown>
    std::string wrongAt(const std::vector<std::size_t>& order, Shown shown)
    {
        std::string wrong;
        for (std::size_t k : order) {
            const MediaTime& target = targets_[k];
            std::size_t expected = reference_.at(std::max(target, MediaTime::zero()));
            std::string mismatch = shown(target, expected);
            if (!mismatch.empty())
                wrong += "\n  at " + timeText(target) + " (picture " + std::to_string(expected) + "): " + mismatch;
        }
        return wrong;
    }

    std::vector<std::size_t> forward() const
    {
        std::vector<std::size_t> order(targets_.size());
        std::iota(order.begin(), order.end(), 0);
        return order;
    }

    std::string path_;
    PlainDecode reference_;
    std::vector<MediaTime> targets_;
};

TEST_P(PictureStarts, AReaderMadeAtEachShowsThePictureThatStartsThere)
{
    // A reader made for each costs a decoder of many threads: the starts of the second group of
    // pictures, from its key picture on.
    Composition composition = Composition::fromAsset(inspected(path_));
    const int trackID = composition.tracksWithMediaType(MediaType::Video).front()->trackID();
    const std::size_t group = GetParam().picturesInAGroup;
    std::vector<std::size_t> starts;
    for (std::size_t picture = group; picture < 2 * group; ++picture)
        starts.push_back(3 * picture + 1);
    std::string wrong = wrongAt(starts, [&](const MediaTime& target, std::size_t expected) -> std::string {
        auto reader = VideoFrameReader::make(composition, trackID, target);
        auto picture = reader ? reader.value()->next() : std::nullopt;
        if (!picture)
            return "no picture";
        return picture->image.rgb == reference_.pictures[expected].readerRgb ? "" : "another picture";
    });
    EXPECT_TRUE(wrong.empty()) << GetParam().medium << wrong;
}

TEST_P(PictureStarts, AReaderMovedAboutShowsThePictureThatStartsThereAloneOrNot)
{
    // Forward (decoding on, and the picture just given out kept), back (from the pictures kept,
    // or sought again) and by jumps across key pictures; every other seek as a paused player's.
    Composition composition = Composition::fromAsset(inspected(path_));
    const int trackID = composition.tracksWithMediaType(MediaType::Video).front()->trackID();
    auto reader = VideoFrameReader::make(composition, trackID, MediaTime::zero());
    ASSERT_TRUE(reader);
    std::vector<std::size_t> order = forward();
    const std::vector<std::size_t> backward(order.rbegin(), order.rend());
    order.insert(order.end(), backward.begin(), backward.end());
    for (std::size_t k = 0; k < targets_.size(); ++k)
        order.push_back(k * 37 % targets_.size());
    bool alone = false;
    std::string wrong = wrongAt(order, [&](const MediaTime& target, std::size_t expected) -> std::string {
        alone = !alone;
        reader.value()->seek(target, 0, 0, alone);
        auto picture = reader.value()->next();
        if (!picture)
            return "no picture";
        return picture->image.rgb == reference_.pictures[expected].readerRgb ? "" : "another picture";
    });
    EXPECT_TRUE(wrong.empty()) << GetParam().medium << wrong;
}

TEST_P(PictureStarts, TheImageGeneratorTakesThePictureThatStartsThere)
{
    ImageGenerator generator(inspected(path_));
    generator.setMaximumSize(0, 0);
    std::string wrong = wrongAt(forward(), [&](const MediaTime& target, std::size_t expected) -> std::string {
        auto image = generator.copyImage(target);
        if (!image)
            return image.error().description;
        return image.value().rgb == reference_.pictures[expected].generatorRgb ? "" : "another picture";
    });
    EXPECT_TRUE(wrong.empty()) << GetParam().medium << wrong;
}

TEST_P(PictureStarts, APausedPlayerSeekingExactlyShowsThePictureThatStartsThere)
{
    ManualDispatcher main;
    Player player(main, std::make_unique<SilentAudioOutput>(main));
    player.replaceCurrentItem(PlayerItem(inspected(path_)));
    std::string wrong = wrongAt(forward(), [&](const MediaTime& target, std::size_t expected) -> std::string {
        std::optional<bool> finished;
        player.seek(target, MediaTime::zero(), MediaTime::zero(), [&](bool done) { finished = done; });
        if (!main.runUntil([&] { return finished.has_value(); }) || !*finished)
            return "the seek did not finish";
        auto picture = player.videoSurface()->frameAt(player.currentTime().seconds());
        if (!picture)
            return "no picture";
        return picture->image.rgb == reference_.pictures[expected].readerRgb ? "" : "another picture";
    });
    EXPECT_TRUE(wrong.empty()) << GetParam().medium << wrong;
}

INSTANTIATE_TEST_SUITE_P(TimeBases, PictureStarts,
                         ::testing::Values(TimeBaseCase{"starts-12800.mp4", {1, 12800}, 25},
                                           TimeBaseCase{"starts-90000.mp4", {1, 90000}, 25},
                                           TimeBaseCase{"starts-30000.mov", {1, 30000}, 30},
                                           TimeBaseCase{"starts-1000.mkv", {1, 1000}, 30}),
                         [](const ::testing::TestParamInfo<TimeBaseCase>& info) {
                             return "TimeBase" + std::to_string(info.param.timeBase.den);
                         });

}  // namespace
}  // namespace qv
