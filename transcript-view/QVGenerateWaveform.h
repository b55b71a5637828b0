// Makes the waveforms of one audio track of a media file: decodes the track to 16-bit PCM,
// reduces it to about 50 loudness values a second per channel, stores them in the track's
// channels, reveals each channel's view and hands the media file to the cache. The decoding
// runs on a thread of the waveform queue (at most 8 at once); the records, the views and the
// alert are touched only on the main thread, where the outcome is handed whole. The track's
// busy flag is cleared there on every way out.
#pragma once

#include "QVWaveformManager.h"

#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"

#include "platform/media/MediaError.h"

#include "platform/foundation/Dispatcher.h"
#include "platform/ui/Alert.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QVGenerateWaveform {
public:
    // What the operation reaches of the application; any member but `main` may be empty.
    struct Services {
        qv::Dispatcher* main = nullptr;
        QVWaveformManager* waveformManager = nullptr;
        qv::AlertPresenter* alerts = nullptr;
        // The pending-files screen: its audio configuration is showing; refresh its busy state.
        std::function<bool()> audioConfigurationIsShowing;
        std::function<void()> refreshBusyErrorStatus;
    };

    // MP3 files are read up to this long before their end. Milliseconds.
    static constexpr std::int64_t kMp3TailSkip = 50;
    // Values a second of composition time given to the part after the track's end.
    static constexpr int kValuesPerSecond = 50;

    QVGenerateWaveform(Services services, std::shared_ptr<QVMediaFile> mFile, std::int64_t trackIndex,
                       bool isPendingFile);

    // Measures on the calling thread, then hands the outcome to the main dispatcher.
    void main();
    // Any thread: stops between two buffers.
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }

    std::shared_ptr<QVMediaFile> mFile() const { return mFile_; }
    std::int64_t trackIndex() const { return trackIndex_; }
    bool isPendingFile() const { return isPendingFile_; }

    // Shown to the user as the informative text of an "Error" alert, half a second later.
    void showWaveformGenerationErrorMessage(const QString& message);

private:
    struct Outcome {
        bool measured = false;   // the channels get `values`, as far as they got
        bool completed = false;  // read to the end, not cancelled
        std::vector<QByteArray> values;
        std::vector<float> maxima;
        std::optional<qv::MediaError> error;
    };

    Outcome measure(const QVAudioTrack& track);
    static void finish(const Services& services, const std::shared_ptr<QVMediaFile>& file, bool pending,
                       QVAudioTrack& track, const Outcome& outcome);
    static void showError(const Services& services, const QString& message);

    Services services_;
    std::shared_ptr<QVMediaFile> mFile_;
    std::int64_t trackIndex_;
    bool isPendingFile_;
    std::atomic<bool> cancelled_{false};
};
