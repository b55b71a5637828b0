#include "QVGenerateWaveform.h"

#include "QVWaveformView.h"
#include "WaveformLevels.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"

#include "platform/media/AudioReader.h"
#include "platform/media/CompositionAudioReader.h"

#include <QFileInfo>

#include <cmath>

QVGenerateWaveform::QVGenerateWaveform(Services services, std::shared_ptr<QVMediaFile> mFile,
                                       std::int64_t trackIndex, bool isPendingFile)
    : services_(std::move(services)), mFile_(std::move(mFile)), trackIndex_(trackIndex), isPendingFile_(isPendingFile)
{
}

void QVGenerateWaveform::showWaveformGenerationErrorMessage(const QString& message)
{
    showError(services_, message);
}

void QVGenerateWaveform::showError(const Services& services, const QString& message)
{
    qv::AlertPresenter* alerts = services.alerts;
    if (!alerts || !services.main)
        return;
    services.main->after(0.5, [alerts, message] {
        alerts->beginSheet({"Error", message, qv::AlertStyle::Critical, {}}, [](int) {});
    });
}

void QVGenerateWaveform::main()
{
    if (!mFile_ || !services_.main || trackIndex_ < 0
        || trackIndex_ >= static_cast<std::int64_t>(mFile_->audioTracks.size()))
        return;
    std::shared_ptr<QVAudioTrack> track = mFile_->audioTracks[static_cast<std::size_t>(trackIndex_)];
    if (!track)
        return;
    // The records belong to the main thread: the outcome is handed there whole, and however
    // the operation ends the track stops being busy there, since the pending list waits on it.
    Outcome outcome = measure(*track);
    // By value: the operation may be gone by the time the main thread gets to it.
    services_.main->async([services = services_, file = mFile_, pending = isPendingFile_, track,
                           outcome = std::move(outcome)] { finish(services, file, pending, *track, outcome); });
}

QVGenerateWaveform::Outcome QVGenerateWaveform::measure(const QVAudioTrack& track)
{
    Outcome outcome;
    if (isCancelled())
        return outcome;
    const std::string fileName = QFileInfo(mFile_->filePath).fileName().toStdString();
    auto failed = [&](qv::MediaError error) {
        outcome.error = std::move(error);
        return std::move(outcome);
    };

    // The track's format (rate and channels) and a reader of its audio as 16-bit PCM.
    const qv::AssetTrack* described = track.assetTrack ? &*track.assetTrack : nullptr;
    double tail = 0;
    std::unique_ptr<qv::AudioSampleSource> reader;
    if (track.composition) {
        qv::Composition alone = *track.composition;
        qv::MediaTime before = alone.duration();
        std::vector<int> others;
        for (const auto& t : alone.tracks())
            if (t.trackID() != track.compositeAssetTrackID)
                others.push_back(t.trackID());
        for (auto it = others.rbegin(); it != others.rend(); ++it)
            alone.removeTrack(*it);
        qv::MediaTime after = alone.duration();
        if (after < before)
            tail = (before - after).seconds();
        const qv::CompositionTrack* read = alone.trackWithID(track.compositeAssetTrackID);
        if (!read)
            return outcome;
        if (!described || !described->audio)
            described = read->firstSourceTrack();
        int rate = described && described->audio ? described->audio->sampleRate : 0;
        auto opened = qv::CompositionAudioReader::forTrack(alone, read->trackID(), {qv::PcmFormat::Int16, rate});
        if (!opened)
            return failed(opened.error());
        reader = std::move(opened.value());
    } else {
        if (!mFile_->asset || !described)
            return outcome;
        qv::MediaTimeRange range;
        if (mFile_->isMP3)
            range = {qv::MediaTime::zero(), mFile_->asset->duration() - qv::MediaTime(kMp3TailSkip, 1000)};
        int rate = described->audio ? described->audio->sampleRate : 0;
        auto opened = qv::AudioReader::forTrack(*mFile_->asset, described->trackID, {qv::PcmFormat::Int16, rate}, range);
        if (!opened)
            return failed(opened.error());
        reader = std::move(opened.value());
    }

    const int sampleRate = described && described->audio ? described->audio->sampleRate : 0;
    const int channels = described && described->audio ? described->audio->channelCount : 0;
    // A track that says nothing of its audio cannot be measured: no values rather than a
    // division by a zero frame size.
    if (sampleRate <= 0 || channels <= 0)
        return failed(qv::makeMediaError(qv::MediaErrorCode::DecodeFailed,
                                         "The audio format of “" + fileName + "” is not known.",
                                         "The track gives no sample rate or channel count."));

    WaveformLevels levels(channels, sampleRate);
    while (!isCancelled()) {
        auto buffer = reader->copyNextSampleBuffer();
        if (!buffer)
            break;
        if (buffer->channelCount == channels)
            levels.add(buffer->int16.data(), buffer->frameCount);
    }
    if (isCancelled())
        reader->cancelReading();

    outcome.measured = true;
    auto extra = static_cast<std::size_t>(std::max<std::int64_t>(0, static_cast<std::int64_t>(tail * kValuesPerSecond)));
    for (int c = 0; c < channels; ++c) {
        std::vector<float> values = levels.values(c);
        values.resize(values.size() + extra, WaveformLevels::kFloor);
        outcome.values.emplace_back(reinterpret_cast<const char*>(values.data()),
                                    static_cast<qsizetype>(values.size() * sizeof(float)));
        outcome.maxima.push_back(levels.maximum(c));
    }
    auto status = reader->status();
    if (status == qv::AudioReader::Status::Failed) {
        const auto& error = reader->error();
        return failed(error ? *error : qv::makeMediaError(qv::MediaErrorCode::ReadFailed, "Reading “" + fileName + "” failed."));
    }
    outcome.completed = status == qv::AudioReader::Status::Completed && !isCancelled();
    return outcome;
}

void QVGenerateWaveform::finish(const Services& services, const std::shared_ptr<QVMediaFile>& file, bool pending,
                                QVAudioTrack& track, const Outcome& outcome)
{
    track.isGeneratingWaveform = false;
    if (outcome.measured)
        for (std::size_t c = 0; c < track.audioChannels.size(); ++c) {
            if (!track.audioChannels[c])
                continue;
            QVAudioChannel& channel = *track.audioChannels[c];
            channel.waveformData = c < outcome.values.size() ? outcome.values[c] : QByteArray("");
            channel.waveformMax = c < outcome.maxima.size() ? outcome.maxima[c] : WaveformLevels::kFloor;
            channel.waveformSampleCount = 0;
        }
    // The pending list waits on the track however its reading ended.
    if (pending && services.refreshBusyErrorStatus)
        services.refreshBusyErrorStatus();
    if (outcome.error) {
        std::string name = file->asset ? file->asset->path() : file->filePath.toStdString();
        showError(services, QString("Waveform generation failed for file:\n%1\n\n%2\n\n%3")
                                               .arg(QFileInfo(QString::fromStdString(name)).fileName(),
                                                    QString::fromStdString(outcome.error->failureReason),
                                                    QString::fromStdString(outcome.error->description)));
        return;
    }
    if (!outcome.completed)
        return;
    for (const auto& channel : track.audioChannels)
        if (channel)
            channel->waveformSampleCount = channel->waveformData.size() / 4;
    auto showing = services.audioConfigurationIsShowing;
    std::vector<std::shared_ptr<QVAudioChannel>> channels = track.audioChannels;
    services.main->after(pending ? 0.3 : 0.0, [pending, showing, channels] {
        int type = !pending || (showing && showing()) ? 1 : 0;
        for (const auto& channel : channels)
            if (channel && channel->waveformView)
                channel->waveformView->showWaveformWithAnimationType(type);
    });
    if (services.waveformManager)
        services.waveformManager->saveWaveformsForMediaFile(file);
}
