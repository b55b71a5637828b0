// Relinking a media file of the open transcript to another file on disk: the chosen file must
// match the media file's duration (within a second), its audio layout (unless that is not known
// yet) and its video; then every media file of the transcript with the same path is repointed,
// the locations are saved on this computer, and the file's asset and playback are set up again.
#pragma once

#include "model/AppDelegate.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"

#include "platform/foundation/Preferences.h"
#include "platform/media/Asset.h"
#include "platform/ui/Alert.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class QVMediaRelinker {
public:
    enum class Check { Accepted, DurationMismatch, TracksMismatch };

    // The chosen file's duration may differ from the media file's by this much, either way.
    static constexpr std::int64_t kDurationToleranceMilliseconds = 1000;

    // Whether `chosen` (null when it could not be read: counted as zero long) may replace media
    // file `index` of `file`; `samePath` gets every media file of `file` with that media file's path.
    static Check check(const QVFile& file, std::size_t index, const qv::Asset* chosen,
                       std::vector<std::shared_ptr<QVMediaFile>>* samePath = nullptr);

    QVMediaRelinker(AppDelegate& ad, qv::Preferences* preferences, qv::AlertPresenter* alerts);

    // Checks `chosen` (the file at `url`) against media file `index` of the open file and, when
    // it passes, relinks; otherwise shows the refusal. `reloaded` runs once playback is set up
    // again. Returns whether it relinked.
    bool relink(std::size_t index, const QUrl& url, const qv::Asset* chosen, std::function<void()> reloaded);

    // The open panel's message for media file `mediaFile`.
    static QString panelMessage(const QVMediaFile& mediaFile);

private:
    void refuse(Check check);

    AppDelegate& ad_;
    qv::Preferences* preferences_;
    qv::AlertPresenter* alerts_;
};
