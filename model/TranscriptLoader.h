// Opens a file: leaves the previously open one (saving its position and channel enables),
// resets the open-transcript model, locates the media on this computer and makes the playback
// asset, then reads the transcript in a fixed chain: words, speakers, speaker ranges. The
// transcript screen is shown by the shell once the transcript is loaded, the rows up to the last
// position are built and the player is ready; from then on the transcript follows the service's
// changes. Main thread only; the reads it starts call back into it, so it lives as long as the
// database client.
#pragma once

#include "model/TranscriptFollower.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/DataSnapshot.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class AppDelegate;
class LocalFileData;
class QVFile;

// Height of the transcript toolbar with and without the editing controls, points.
inline constexpr double kTranscriptToolbarHeightWithEditingControls = 150;
inline constexpr double kTranscriptToolbarHeightWithoutEditingControls = 75;
// The asset keys loaded before playback is set up.
inline const QStringList kPlaybackAssetKeys = {"availableMetadataFormats", "playable", "hasProtectedContent", "tracks"};
// Name given to a speaker stored without one.
inline const QString kDefaultSpeakerName = QStringLiteral("New Speaker");

class TranscriptLoader {
public:
    // With `queue`, the changes the service reports for the open transcript in one turn are
    // shown together.
    TranscriptLoader(AppDelegate& ad, LocalFileData& localFileData, qv::Preferences& preferences,
                     qv::Dispatcher* queue = nullptr)
        : ad_(&ad), localFileData_(&localFileData), preferences_(&preferences), follower_(ad, queue)
    {
    }
    TranscriptLoader(const TranscriptLoader&) = delete;
    TranscriptLoader& operator=(const TranscriptLoader&) = delete;

    // Opens `file`; returns at once and continues as the database and the asset answer. An
    // opening overtaken by the opening of another file stops where it stands: its reads fill
    // nothing of the newer file.
    void loadFile(const std::shared_ptr<QVFile>& file);

private:
    // One opening: the file, and the number that tells whether a newer opening overtook it.
    struct Opening {
        std::shared_ptr<QVFile> file;
        std::uint64_t generation = 0;
    };

    bool isCurrent(const Opening& opening) const { return opening.generation == generation_; }
    void setUp(const Opening& opening, const qv::DataSnapshot& transcript);
    void leavePreviousFile();
    void resetOpenTranscript();
    void locateMedia(const Opening& opening, const std::optional<qv::PreferenceDictionary>& entry);
    void makeAsset(QVFile& file);
    void applyStoredChannelEnables(QVFile& file, const std::optional<qv::PreferenceDictionary>& entry);
    void readAudioFileTimecode(QVFile& file);
    void readWords(const Opening& opening, const qv::DataSnapshot& words);
    void readSpeakers(const Opening& opening, const qv::DataSnapshot& speakers);
    void readSpeakerRanges(const Opening& opening, const qv::DataSnapshot& ranges);

    AppDelegate* ad_;
    LocalFileData* localFileData_;
    qv::Preferences* preferences_;
    std::uint64_t generation_ = 0;
    TranscriptFollower follower_;
};
