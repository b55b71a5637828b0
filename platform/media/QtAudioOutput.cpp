// The audio output through Qt Multimedia's sink: the sink pulls from a small device that asks
// the player's pipeline for frames and plays silence where none are ready.
#include "AudioOutput.h"
#include "SilentAudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

class PullDevice final : public QIODevice {
public:
    PullDevice(AudioOutput::Pull pull, int channels) : pull_(std::move(pull)), channels_(channels) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 20; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 frameBytes = static_cast<qint64>(sizeof(float)) * channels_;
        auto frames = static_cast<int>(maxSize / frameBytes);
        int filled = pull_(reinterpret_cast<float*>(data), frames);
        std::memset(data + filled * frameBytes, 0, static_cast<std::size_t>((frames - filled) * frameBytes));
        return frames * frameBytes;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    AudioOutput::Pull pull_;
    int channels_;
};

class QtAudioOutput final : public AudioOutput {
public:
    explicit QtAudioOutput(QAudioDevice device) : device_(std::move(device)) {}
    ~QtAudioOutput() override { stop(); }

    void start(int sampleRate, int channels, Pull pull) override
    {
        stop();
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Float);
        bytesPerSecond_ = static_cast<double>(sampleRate) * channels * sizeof(float);
        source_ = std::make_unique<PullDevice>(std::move(pull), channels);
        source_->open(QIODevice::ReadOnly);
        sink_ = std::make_unique<QAudioSink>(device_, format);
        // About 100 ms in the device: little enough that a pause or seek is heard at once.
        sink_->setBufferSize(static_cast<qsizetype>(bytesPerSecond_ / 10));
        sink_->start(source_.get());
    }

    void stop() override
    {
        if (!sink_)
            return;
        sink_->stop();
        sink_.reset();
        source_.reset();
    }

    double playedSeconds() override
    {
        if (!sink_)
            return 0;
        double processed = static_cast<double>(sink_->processedUSecs()) / 1e6;
        double buffered = static_cast<double>(sink_->bufferSize() - sink_->bytesFree()) / bytesPerSecond_;
        return std::max(0.0, processed - buffered);
    }

private:
    QAudioDevice device_;
    std::unique_ptr<PullDevice> source_;
    std::unique_ptr<QAudioSink> sink_;
    double bytesPerSecond_ = 1;
};

}  // namespace

std::unique_ptr<AudioOutput> makeDefaultAudioOutput(Dispatcher& main)
{
    QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return std::make_unique<SilentAudioOutput>(main);
    return std::make_unique<QtAudioOutput>(device);
}

}  // namespace qv
