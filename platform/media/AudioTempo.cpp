#include "AudioTempo.h"

#include "FFmpegSupport.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
}

#include <cstring>
#include <string>

namespace qv {

namespace {

struct GraphDeleter { void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); } };

MediaError tempoError(int code)
{
    return makeMediaError(MediaErrorCode::DecodeFailed, "The audio cannot be played at this rate.",
                          ffmpeg::errorText(code));
}

}  // namespace

struct AudioTempo::Impl {
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph;
    AVFilterContext* source = nullptr;  // owned by the graph
    AVFilterContext* sink = nullptr;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t framesIn = 0;
    ffmpeg::FramePtr frame = ffmpeg::makeFrame();
};

AudioTempo::AudioTempo(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AudioTempo::~AudioTempo() = default;

MediaResult<std::unique_ptr<AudioTempo>> AudioTempo::make(double rate, int sampleRate, int channels)
{
    if (!(rate >= 0.5 && rate <= 100) || sampleRate <= 0 || channels <= 0)
        return makeMediaError(MediaErrorCode::InvalidArgument, "The audio cannot be played at this rate.");
    auto impl = std::make_unique<Impl>();
    impl->sampleRate = sampleRate;
    impl->channels = channels;
    impl->graph.reset(avfilter_graph_alloc());
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    char layoutName[64] = {};
    av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
    av_channel_layout_uninit(&layout);
    std::string sourceArgs = "time_base=1/" + std::to_string(sampleRate) + ":sample_rate=" + std::to_string(sampleRate)
                           + ":sample_fmt=flt:channel_layout=" + layoutName;
    std::string tempoArgs = "tempo=" + std::to_string(rate);
    AVFilterContext* tempo = nullptr;
    AVFilterContext* format = nullptr;
    std::string formatArgs = "sample_fmts=flt:sample_rates=" + std::to_string(sampleRate) + ":channel_layouts=" + layoutName;
    int result = avfilter_graph_create_filter(&impl->source, avfilter_get_by_name("abuffer"), "in",
                                              sourceArgs.c_str(), nullptr, impl->graph.get());
    if (result >= 0)
        result = avfilter_graph_create_filter(&tempo, avfilter_get_by_name("atempo"), "tempo", tempoArgs.c_str(),
                                              nullptr, impl->graph.get());
    if (result >= 0)
        result = avfilter_graph_create_filter(&format, avfilter_get_by_name("aformat"), "format",
                                              formatArgs.c_str(), nullptr, impl->graph.get());
    if (result >= 0)
        result = avfilter_graph_create_filter(&impl->sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                              nullptr, impl->graph.get());
    if (result >= 0)
        result = avfilter_link(impl->source, 0, tempo, 0);
    if (result >= 0)
        result = avfilter_link(tempo, 0, format, 0);
    if (result >= 0)
        result = avfilter_link(format, 0, impl->sink, 0);
    if (result >= 0)
        result = avfilter_graph_config(impl->graph.get(), nullptr);
    if (result < 0)
        return tempoError(result);
    return std::unique_ptr<AudioTempo>(new AudioTempo(std::move(impl)));
}

std::optional<MediaError> AudioTempo::drain(std::vector<float>& out)
{
    Impl& d = *impl_;
    for (;;) {
        int result = av_buffersink_get_frame(d.sink, d.frame.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return std::nullopt;
        if (result < 0)
            return tempoError(result);
        const auto* samples = reinterpret_cast<const float*>(d.frame->data[0]);
        out.insert(out.end(), samples, samples + static_cast<std::ptrdiff_t>(d.frame->nb_samples) * d.channels);
        av_frame_unref(d.frame.get());
    }
}

std::optional<MediaError> AudioTempo::process(const float* in, int frames, std::vector<float>& out)
{
    Impl& d = *impl_;
    if (frames <= 0)
        return std::nullopt;
    AVFrame* frame = d.frame.get();
    frame->format = AV_SAMPLE_FMT_FLT;
    frame->sample_rate = d.sampleRate;
    av_channel_layout_default(&frame->ch_layout, d.channels);
    frame->nb_samples = frames;
    frame->pts = d.framesIn;
    int result = av_frame_get_buffer(frame, 0);
    if (result < 0)
        return tempoError(result);
    std::memcpy(frame->data[0], in, static_cast<std::size_t>(frames) * d.channels * sizeof(float));
    d.framesIn += frames;
    result = av_buffersrc_add_frame(d.source, frame);
    av_frame_unref(frame);
    if (result < 0)
        return tempoError(result);
    return drain(out);
}

std::optional<MediaError> AudioTempo::flush(std::vector<float>& out)
{
    int result = av_buffersrc_add_frame(impl_->source, nullptr);
    if (result < 0 && result != AVERROR_EOF)
        return tempoError(result);
    return drain(out);
}

}  // namespace qv
