#include "model/EditingTrace.h"
#include "model/TranscriptLoader.h"

#include "model/AppDelegate.h"
#include "model/DatabaseReading.h"
#include "model/FileTypes.h"
#include "model/LocalFileData.h"
#include "model/MediaFilesMapping.h"
#include "model/ModelServices.h"
#include "model/TranscriptFollower.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UndoManager.h"

#include <QHash>

using qv::DataSnapshot;
using qv::PreferenceDictionary;
namespace Key = LocalFileDataKey;

namespace {

// Children of a node are counted down as they are read; the next node is read once the count
// reaches 0, which happens after the last child, or at once for a node without children.
template <class Each>
void readChildren(const DataSnapshot& node, std::int64_t& stillToLoad, Each each)
{
    stillToLoad = static_cast<std::int64_t>(node.childrenCount());
    for (const DataSnapshot child : node.children()) {
        --stillToLoad;
        each(child);
    }
}

bool startsBefore(const auto& a, const auto& b)
{
    return a.start < b.start;
}

}  // namespace

void TranscriptLoader::loadFile(const std::shared_ptr<QVFile>& file)
{
    if (!file)
        return;
    const Opening opening{file, ++generation_};
    follower_.stop();
    if (ad_->modelServices)
        ad_->modelServices->startFilesListProgressIndicator();
    ad_->transcriptsMetadataRef.child(file->uuid.toStdString()).observeSingleEvent([this, opening](const DataSnapshot& transcript) {
        if (isCurrent(opening))
            setUp(opening, transcript);
    });
}

void TranscriptLoader::setUp(const Opening& opening, const DataSnapshot& transcript)
{
    QVFile& file = *opening.file;
    ModelServices* services = ad_->modelServices;

    leavePreviousFile();
    resetOpenTranscript();

    ad_->currentFile = opening.file;
    if (services)
        services->addFileToSyncedTranscripts(opening.file);
    file.hasTranscript = transcript.exists();
    file.hasLoadedTimecode = true;
    if (services) {
        services->currentFileUserOnlineAdd();
        services->setTranscriptToolbarHeight(preferences_->boolForKey(QStringLiteral("QVShowEditingControls"))
                                                 ? kTranscriptToolbarHeightWithEditingControls
                                                 : kTranscriptToolbarHeightWithoutEditingControls);
        services->setupCustomWordsObserverForFile(opening.file);
    }

    const std::optional<PreferenceDictionary> entry = localFileData_->entryForFileUUID(file.uuid);
    // Every open file has at least one media file; an empty slot in front counts as none.
    if (file.mediaFiles.empty())
        file.mediaFiles.push_back(std::make_shared<QVMediaFile>());
    else if (!file.mediaFiles.front())
        file.mediaFiles.front() = std::make_shared<QVMediaFile>();
    locateMedia(opening, entry);
    getMediaFilesOnlineStatus(*ad_, file.mediaFiles);
    if (!file.asset)
        makeAsset(file);

    if (file.fileType == QVFileTypeVideoFile || file.fileType == QVFileTypeFCPXVideoClip) {
        file.mediaFiles.front()->hasVideo = true;
        file.hasVideo = simpleFileHasVideoForMediaFiles(file.mediaFiles);
    } else if (isComplexFile(file.fileType) && services) {
        file.hasVideo = services->complexFileHasVideoForMediaFiles(file.mediaFiles);
    }

    applyStoredChannelEnables(file, entry);
    readAudioFileTimecode(file);

    if (file.asset && services) {
        const auto asset = file.asset;
        services->loadValuesAsynchronouslyForKeys(asset, kPlaybackAssetKeys, [this, opening, asset] {
            ModelServices* services = ad_->modelServices;
            if (!isCurrent(opening) || !services)
                return;
            services->resetAudioTrackCellStackView();
            services->setAudioConfigurationMediaFiles(opening.file->mediaFiles);
            services->checkForMissingMediaFiles();
            services->refreshAudioConfigurationDisplay();
            services->setUpPlaybackOfAsset(asset, kPlaybackAssetKeys);
        });
    }

    if (file.hasTranscript) {
        ad_->wordsMetadataRef = ad_->transcriptsMetadataRef.child(file.uuid.toStdString()).child("words");
        ad_->wordsMetadataRef.observeSingleEvent([this, opening](const DataSnapshot& words) {
            if (isCurrent(opening))
                readWords(opening, words);
        });
    } else {
        file.hasLoadedTranscript = true;
        ad_->hasPreloadedRowsToLastMediaTime = true;
        if (services)
            services->loadFileAttemptTransition();
    }
}

void TranscriptLoader::leavePreviousFile()
{
    ModelServices* services = ad_->modelServices;
    const std::shared_ptr<QVFile> previous = ad_->currentFile;
    if (previous) {
        for (const auto& mediaFile : previous->mediaFiles) {
            if (!mediaFile || !mediaFile->hasAccessToURL)
                continue;
            if (services)
                services->stopAccessingURL(mediaFile->url);
            mediaFile->hasAccessToURL = false;
        }
    }
    if (!services)
        return;
    if (!services->hasPlayer()) {
        services->createPlayer();
        return;
    }
    if (!previous)
        return;
    previous->lastMediaTime = convertCMTimeToMilliseconds(services->playerCurrentTime());
    localFileData_->saveLocalDataForFileUUID(previous->uuid, true, false, previous->lastMediaTime, -1,
                                             previous->mediaFiles, -1);
    services->currentFileUserOnlineRemove();
    if (previous->customWordsRef.isValid())
        previous->customWordsRef.removeAllObservers();
}

void TranscriptLoader::resetOpenTranscript()
{
    if (ad_->undoManager)
        ad_->undoManager->removeAllActions();
    if (ad_->currentFile) {
        ad_->currentFile->hasLoadedTranscript = false;
        ad_->currentFile->hasLocatedToLastMediaTime = false;
    }
    ad_->currentWord = nullptr;
    ad_->currentWordIndex = -1;
    ad_->currentTextView = nullptr;
    qv::appendToEditingTrace(ad_->debugCharacterEditing,
                             QStringLiteral("*****\nin %1 self.currentTextView assigned to nil\n").arg("loadFile:"));
    ad_->hasPreloadedRowsToLastMediaTime = false;
    ad_->isReadyToPlay = false;
    ad_->loadFileDoTransitionInProgress = false;
    ad_->speakerColorUsed.clear();
    ad_->speakers.clear();
    ad_->speakerRanges.clear();
    ad_->words.clear();
    ad_->wordsDeleted.clear();
    ad_->speakersDeleted.clear();
    ad_->speakerRangesDeleted.clear();
    ad_->rowHeights.clear();
    if (ad_->modelServices)
        ad_->modelServices->transcriptRowCountChanged();
}

void TranscriptLoader::locateMedia(const Opening& opening, const std::optional<PreferenceDictionary>& entry)
{
    ModelServices* services = ad_->modelServices;
    const qv::PreferenceArray* elements = entry ? entryArray(*entry, Key::kMediaFiles) : nullptr;
    if (!elements || !services)
        return;
    QVFile& file = *opening.file;
    for (std::size_t i = 0; i < elements->size() && i < file.mediaFiles.size(); ++i) {
        const auto* element = (*elements)[i].get<PreferenceDictionary>();
        const auto& mediaFile = file.mediaFiles[i];
        if (!element || !mediaFile)
            continue;
        auto bookmark = element->find(Key::kFileBookmark);
        if (bookmark == element->end() || !bookmark->second.get<QByteArray>())
            continue;
        const std::optional<QUrl> url = services->resolveBookmarkData(*bookmark->second.get<QByteArray>());
        if (!url)
            continue;
        mediaFile->url = *url;
        if (mediaFile->filePath.isEmpty() || !mediaFile->filePath.contains(u'/')) {
            file.fileMetadataRef.child("media_files").child(mediaFileKey(static_cast<std::int64_t>(i))).child("file_path")
                .setValue(url->toLocalFile().toStdString());
            services->updateCurrentFileTimestamp();
        }
        if (auto date = services->getModificationDateForMediaFile(*mediaFile))
            mediaFile->modificationDate = *date;
    }
}

void TranscriptLoader::makeAsset(QVFile& file)
{
    ModelServices* services = ad_->modelServices;
    if (!services)
        return;
    if (isSimpleFile(file.fileType) || file.fileType == QVFileTypeUnknown) {
        QVMediaFile& first = *file.mediaFiles.front();
        services->checkAccessForMediaFile(first);
        file.asset = first.mediaOnline ? services->createURLAsset(first.url) : services->createMissingMediaAssetForSimpleFile(file);
        getMediaFileDataForSimpleFile(file);
    } else if (isComplexFile(file.fileType)) {
        file.asset = services->createAssetWithMediaFiles(file.mediaFiles, qv::MediaTime(file.duration, 1000));
    }
}

void TranscriptLoader::applyStoredChannelEnables(QVFile& file, const std::optional<PreferenceDictionary>& entry)
{
    const qv::PreferenceArray* elements = entry ? entryArray(*entry, Key::kMediaFiles) : nullptr;
    if (!elements)
        return;
    for (std::size_t i = 0; i < elements->size() && i < file.mediaFiles.size(); ++i) {
        const auto* element = (*elements)[i].get<PreferenceDictionary>();
        const auto& mediaFile = file.mediaFiles[i];
        const qv::PreferenceArray* tracks = element ? entryArray(*element, Key::kAudioTracks) : nullptr;
        if (!mediaFile || !tracks || tracks->empty() || tracks->size() != mediaFile->audioTracks.size())
            continue;
        for (std::size_t t = 0; t < tracks->size(); ++t) {
            const auto* enables = (*tracks)[t].get<qv::PreferenceArray>();
            const auto& track = mediaFile->audioTracks[t];
            if (!enables || !track || enables->empty() || enables->size() != track->audioChannels.size())
                continue;
            for (std::size_t c = 0; c < enables->size(); ++c) {
                const bool* enabled = (*enables)[c].get<bool>();
                if (enabled && track->audioChannels[c])
                    track->audioChannels[c]->enabled = *enabled;
            }
        }
    }
}

void TranscriptLoader::readAudioFileTimecode(QVFile& file)
{
    ModelServices* services = ad_->modelServices;
    if (!services || !isAudioFile(file.fileType) || !file.timecodeStart.isValid() || file.timecodeFrameDuration.isValid())
        return;
    services->getBWFMP3TimecodeForFilePending(nullptr, file);
    if (!file.timecodeFrameDuration.isValid())
        return;
    const qv::DatabaseReference timecode = file.fileMetadataRef.child("timecode");
    timecode.child("frame_duration").setValue(convertToStringTime(file.timecodeFrameDuration).toStdString());
    file.timecodeFrameQuanta = frameQuantaFromFrameDuration(file.timecodeFrameDuration);
    if (file.timecodeIsDropFrame)
        timecode.child("drop_frame").setValue(true);
}

void TranscriptLoader::readWords(const Opening& opening, const DataSnapshot& node)
{
    follower_.setLoaded(TranscriptFollower::Node::Words, node.value());
    ad_->words.clear();
    ad_->wordsDeleted.clear();
    ad_->words.reserve(node.childrenCount());
    std::size_t skipped = 0;
    readChildren(node, ad_->wordsStillToLoad, [&](const DataSnapshot& child) {
        auto word = wordFromNode(child.value());
        if (!word) {
            ++skipped;
            return;
        }
        word->uuid = QString::fromStdString(child.key());
        (word->deleted ? ad_->wordsDeleted : ad_->words).add(std::move(word));
    });
    if (skipped > 0)
        qv::logWarning(QStringLiteral("transcript %1: %2 word(s) without a name were not loaded")
                           .arg(opening.file->uuid)
                           .arg(skipped)
                           .toStdString());
    ad_->words.sort(startsBefore<QVWord, QVWord>);
    ad_->firstWordStartTime = ad_->words.empty() ? 0 : ad_->words.first()->start;
    ad_->speakersMetadataRef = ad_->transcriptsMetadataRef.child(opening.file->uuid.toStdString()).child("speakers");
    ad_->speakersMetadataRef.observeSingleEvent([this, opening](const DataSnapshot& speakers) {
        if (isCurrent(opening))
            readSpeakers(opening, speakers);
    });
}

void TranscriptLoader::readSpeakers(const Opening& opening, const DataSnapshot& node)
{
    ModelServices* services = ad_->modelServices;
    follower_.setLoaded(TranscriptFollower::Node::Speakers, node.value());
    ad_->speakers.clear();
    ad_->speakersDeleted.clear();
    readChildren(node, ad_->speakersStillToLoad, [&](const DataSnapshot& child) {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->uuid = QString::fromStdString(child.key());
        const qv::DatabaseReference speakerRef = ad_->speakersMetadataRef.child(child.key());
        const qv::DatabaseValue& value = child.value();
        if (auto color = stringChild(value, "color")) {
            speaker->color = *color;
        } else if (services) {
            speaker->color = services->chooseRandomColorName();
            speakerRef.child("color").setValue(speaker->color.toStdString());
        }
        speaker->deleted = boolChild(value, "deleted");
        if (auto name = stringChild(value, "name")) {
            speaker->name = *name;
        } else {
            speaker->name = kDefaultSpeakerName;
            speakerRef.child("name").setValue(kDefaultSpeakerName.toStdString());
        }
        speaker->rangeCount = 0;
        if (speaker->deleted) {
            ad_->speakersDeleted.add(std::move(speaker));
        } else {
            ad_->speakerColorUsed.insert(speaker->color);
            ad_->speakers.add(std::move(speaker));
        }
    });
    ad_->speakerRangesMetadataRef = ad_->transcriptsMetadataRef.child(opening.file->uuid.toStdString()).child("speaker_ranges");
    ad_->speakerRangesMetadataRef.observeSingleEvent([this, opening](const DataSnapshot& ranges) {
        if (isCurrent(opening))
            readSpeakerRanges(opening, ranges);
    });
}

void TranscriptLoader::readSpeakerRanges(const Opening& opening, const DataSnapshot& node)
{
    follower_.setLoaded(TranscriptFollower::Node::SpeakerRanges, node.value());
    QHash<QString, std::shared_ptr<QVSpeaker>> speakersByID;
    for (const auto& speaker : ad_->speakers)
        speakersByID.insert(speaker->uuid, speaker);
    ad_->speakerRanges.clear();
    ad_->speakerRangesDeleted.clear();
    readChildren(node, ad_->speakerRangesStillToLoad, [&](const DataSnapshot& child) {
        auto range = std::make_shared<QVSpeakerRange>();
        const qv::DatabaseValue& value = child.value();
        range->deleted = boolChild(value, "deleted");
        const QString speakerID = stringChild(value, "speaker").value_or(QString());
        range->speaker = speakersByID.value(speakerID);
        range->start = intChild(value, "start");
        range->uuid = QString::fromStdString(child.key());
        if (!range->speaker && !range->deleted)
            qv::logWarning(QStringLiteral("speaker range %1 names no live speaker (%2); it is shown without one")
                               .arg(range->uuid, speakerID)
                               .toStdString());
        if (range->deleted) {
            ad_->speakerRangesDeleted.add(std::move(range));
        } else {
            if (range->speaker)
                ++range->speaker->rangeCount;
            ad_->speakerRanges.add(std::move(range));
        }
    });
    ad_->speakerRanges.sort(startsBefore<QVSpeakerRange, QVSpeakerRange>);

    ModelServices* services = ad_->modelServices;
    if (services)
        services->transcriptRowCountChanged();
    opening.file->hasLoadedTranscript = true;
    // From here on what the service changes in the transcript shows here as it happens.
    follower_.follow(ad_->transcriptsMetadataRef.child(opening.file->uuid.toStdString()));
    if (services && !ad_->hasPreloadedRowsToLastMediaTime && opening.file->hasLocatedToLastMediaTime)
        services->preloadRowsToLastMediaTime();
    if (services)
        services->loadFileAttemptTransition();
}
