#include "model/FileRecordController.h"

#include "model/AppDelegate.h"
#include "model/DatabaseReading.h"
#include "model/FileTypes.h"
#include "model/LocalFileData.h"
#include "platform/foundation/LocalizedString.h"
#include "model/MediaFilesMapping.h"
#include "model/ModelServices.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

using qv::DatabaseValue;
using qv::DataSnapshot;
using qv::MediaTime;
using qv::PreferenceDictionary;
namespace Key = LocalFileDataKey;

namespace {

std::optional<QString> snapshotString(const DataSnapshot& snapshot, std::string_view key)
{
    return stringChild(snapshot.value(), key);
}

QString pathExtension(const QString& path)
{
    return QFileInfo(path).suffix();
}

// A media time stored by an older version as its raw 24 bytes (value 64-bit, timescale 32-bit,
// flags 32-bit, epoch 64-bit, little-endian). Bytes past the end read as 0.
MediaTime mediaTimeFromLegacyBytes(const QByteArray& bytes)
{
    unsigned char raw[24] = {};
    std::memcpy(raw, bytes.constData(), static_cast<std::size_t>(std::min<qsizetype>(bytes.size(), sizeof raw)));
    auto read = [&](std::size_t offset, std::size_t size) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < size; ++i)
            v |= static_cast<std::uint64_t>(raw[offset + i]) << (8 * i);
        return v;
    };
    MediaTime time;
    time.value = static_cast<std::int64_t>(read(0, 8));
    time.timescale = static_cast<std::int32_t>(read(8, 4));
    time.flags = static_cast<std::uint32_t>(read(12, 4));
    time.epoch = static_cast<std::int64_t>(read(16, 8));
    return time;
}

// Marks a record as changed after a migration wrote to it. The migrated record is the one
// touched, not the file that happens to be open.
void touchUpdated(const qv::DatabaseReference& ref)
{
    ref.child("updated").setValue(DatabaseValue::serverTimestamp());
}

const qv::PreferenceValue* find(const PreferenceDictionary& dictionary, const QString& key)
{
    auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : &found->second;
}

}  // namespace

std::shared_ptr<QVFile> FileRecordController::createFileFromSnapshot(const DataSnapshot& snapshot, const QString& uuid,
                                                                     const qv::DatabaseReference& ref)
{
    PreferenceDictionary allLocal = localFileData_->allEntries();
    std::optional<PreferenceDictionary> entry;
    if (const PreferenceDictionary* stored = entryDictionary(allLocal, uuid))
        entry = *stored;

    auto file = std::make_shared<QVFile>();
    file->uuid = uuid;
    file->completed = snapshot.childInt("completed");
    file->created = snapshot.childInt("created");
    if (snapshot.hasChild("deleted"))
        file->deleted = snapshot.childInt("deleted");
    file->duration = snapshot.childInt("duration");
    const DatabaseValue& record = snapshot.value();
    readStringChild(record, "fcpx_clip_name", file->fcpxClipName);
    readStringChild(record, "fcpx_event_name", file->fcpxEventName);
    readStringChild(record, "fcpx_uid", file->fcpxUID);
    readStringChild(record, "failure_reason", file->failureReason);
    readStringChild(record, "language", file->language);
    readStringChild(record, "name", file->name);
    readStringChild(record, "owner", file->ownerUUID);
    file->status = snapshot.childInt("status");
    file->fileMetadataRef = ref;

    file->updatedMetadataRef = ref.child("updated");
    std::weak_ptr<QVFile> weakFile = file;
    file->updatedMetadataRef.observe(qv::DatabaseEvent::Value, [this, weakFile](const DataSnapshot& value) {
        if (auto observed = weakFile.lock())
            updatedChanged(observed, value);
    });

    if (snapshot.hasChild("file_name"))
        migrateLegacyFileName(*file, snapshot, ref);

    if (entry && (entry->count(Key::kFileBookmark) || entry->count(Key::kFilePath) || entry->count(Key::kFileModificationDate))) {
        qv::PreferenceArray mediaFiles;
        if (const auto* stored = entryArray(*entry, Key::kMediaFiles))
            mediaFiles = *stored;
        PreferenceDictionary first;
        if (!mediaFiles.empty()) {
            if (const auto* stored = mediaFiles.front().get<PreferenceDictionary>())
                first = *stored;
        }
        for (const QString& key : {Key::kFileBookmark, Key::kFilePath}) {
            if (const auto* value = find(*entry, key)) {
                first[key] = *value;
                entry->erase(key);
            }
        }
        if (mediaFiles.empty())
            mediaFiles.emplace_back(std::move(first));
        else
            mediaFiles.front() = std::move(first);
        (*entry)[Key::kMediaFiles] = std::move(mediaFiles);
        if (const auto* date = find(*entry, Key::kFileModificationDate)) {
            if (const auto* timecode = entryDictionary(*entry, Key::kStartTimecode)) {
                PreferenceDictionary updatedTimecode = *timecode;
                updatedTimecode[QStringLiteral("fileModificationDate")] = *date;
                (*entry)[Key::kStartTimecode] = std::move(updatedTimecode);
            }
            entry->erase(Key::kFileModificationDate);
        }
        allLocal[uuid] = *entry;
        localFileData_->setAllEntries(allLocal);
    }

    if (entry && !snapshot.hasChild("timecode")) {
        if (const PreferenceDictionary* legacy = entryDictionary(*entry, Key::kStartTimecode)) {
            const qv::DatabaseReference timecodeRef = ref.child("timecode");
            if (const auto* value = find(*legacy, QStringLiteral("startTimecode")); value && value->get<QByteArray>())
                timecodeRef.child("start").setValue(
                    convertToStringTime(mediaTimeFromLegacyBytes(*value->get<QByteArray>())).toStdString());
            if (const auto* value = find(*legacy, QStringLiteral("sourceName")); value && value->get<QString>())
                timecodeRef.child("source_name").setValue(value->get<QString>()->toStdString());
            const auto frameDuration = entryInteger(*legacy, QStringLiteral("frameDuration"));
            const auto frameQuanta = entryInteger(*legacy, QStringLiteral("frameQuanta"));
            if (frameDuration && frameQuanta)
                timecodeRef.child("frame_duration")
                    .setValue(convertToStringTime(MediaTime(*frameDuration, static_cast<std::int32_t>(*frameQuanta)))
                                  .toStdString());
            if (const auto* value = find(*legacy, QStringLiteral("isDropFrame")); value && value->get<bool>() && *value->get<bool>())
                timecodeRef.child("drop_frame").setValue(true);
            entry->erase(Key::kStartTimecode);
            allLocal[uuid] = *entry;
            localFileData_->setAllEntries(allLocal);
            touchUpdated(ref);
        }
    }

    if (snapshot.hasChild("media_files"))
        file->mediaFiles = createMediaFilesFromFirebaseData(snapshot.child("media_files").value());

    if (snapshot.hasChild("file_type"))
        file->fileType = snapshot.childInt("file_type");
    else
        deriveFileType(*file, ref);

    if (snapshot.hasChild("timecode"))
        readTimecode(*file, snapshot.child("timecode"));

    if (file->completed == 0) {
        const qv::DatabaseReference completedRef = ref.child("completed");
        completedRef.observe(qv::DatabaseEvent::Value, [this, uuid, ref](const DataSnapshot& value) {
            completedChanged(uuid, ref, value);
        });
    }

    if (entry) {
        file->lastMediaTime = snapMillisecondsToGrid(entryInteger(*entry, Key::kLastMediaTime).value_or(0));
        const std::int64_t lastOpened = entryInteger(*entry, Key::kLastOpened).value_or(0);
        file->lastOpened = lastOpened < 1 ? file->created : lastOpened;
    } else {
        file->lastOpened = file->created;
        file->lastMediaTime = 0;
    }

    chooseThumbnail(*file);
    return file;
}

void FileRecordController::migrateLegacyFileName(QVFile& file, const DataSnapshot& snapshot, const qv::DatabaseReference& ref)
{
    const QString name = snapshotString(snapshot, "file_name").value_or(QString());
    if (snapshot.hasChild("media_files/file_00"))
        ref.child("media_files/file_00").updateChildValues({{"file_path", name.toStdString()}});
    else
        ref.child("media_files/file_00/file_path").setValue(name.toStdString());
    ref.child("media_files/file_00/duration").setValue(convertToStringTime(MediaTime(file.duration, 1000)).toStdString());
    const bool audio = ad_->modelServices && ad_->modelServices->fileExtensionIsAudio(pathExtension(name));
    ref.child("media_files/file_00/show_video").setValue(!audio);
    ref.child("file_name").removeValue();
    touchUpdated(ref);
}

void FileRecordController::deriveFileType(QVFile& file, const qv::DatabaseReference& ref)
{
    ModelServices* services = ad_->modelServices;
    if (!services || file.mediaFiles.empty() || !file.mediaFiles.front())
        return;
    QVMediaFile& first = *file.mediaFiles.front();
    bool audio = false;
    if (!first.url.isEmpty())
        audio = services->fileURLIsAudio(first.url);
    else if (!first.filePath.isEmpty())
        audio = services->fileExtensionIsAudio(pathExtension(first.filePath));
    else
        return;
    if (!file.fcpxUID.isNull())
        file.fileType = audio ? QVFileTypeFCPXAudioClip : QVFileTypeFCPXVideoClip;
    else
        file.fileType = audio ? QVFileTypeAudioFile : QVFileTypeVideoFile;
    ref.child("file_type").setValue(file.fileType);
    if (!audio) {
        first.showVideo = true;
        ref.child("media_files/file_00/show_video").setValue(true);
    }
    touchUpdated(ref);
}

void FileRecordController::readTimecode(QVFile& file, const DataSnapshot& timecode)
{
    if (auto text = snapshotString(timecode, "frame_duration"))
        file.timecodeFrameDuration = convertTimestringToCMTime(*text);
    file.timecodeFrameQuanta = frameQuantaFromFrameDuration(file.timecodeFrameDuration);
    if (timecode.hasChild("drop_frame"))
        file.timecodeIsDropFrame = timecode.childBool("drop_frame");
    readStringChild(timecode.value(), "source_name", file.timecodeSourceName);
    if (auto text = snapshotString(timecode, "start"))
        file.timecodeStart = convertTimestringToCMTime(*text);
}

void FileRecordController::chooseThumbnail(QVFile& file)
{
    ModelServices* services = ad_->modelServices;
    if (!services)
        return;
    const QString audioIcon = QStringLiteral("audio file icon");
    const QString placeholder = QStringLiteral("files-thumbnail-placeholder");
    switch (file.fileType) {
    case QVFileTypeAudioFile:
    case QVFileTypeFCPXAudioClip:
        file.thumbnail = services->namedImage(audioIcon);
        return;
    case QVFileTypeVideoFile:
    case QVFileTypeFCPXVideoClip: {
        file.thumbnail = services->getThumbnailForFileUUID(file.uuid);
        if (!file.thumbnail.isNull())
            return;
        file.thumbnail = services->namedImage(placeholder);
        const auto first = file.mediaFiles.empty() ? nullptr : file.mediaFiles.front();
        if (first && !first->url.isEmpty()) {
            const QImage frame = services->createImageForURL(first->url, MediaTime(file.lastMediaTime, 1000));
            if (!frame.isNull())
                file.thumbnail = frame;
        }
        return;
    }
    case QVFileTypeFCPXMulticamClip:
    case QVFileTypeFCPXSynchronizedClip:
    case QVFileTypeFCPXCompoundClip: {
        const auto pending = std::find_if(ad_->filesPending.begin(), ad_->filesPending.end(),
                                          [&](const auto& p) { return p && p->uuid == file.uuid; });
        file.thumbnail = pending != ad_->filesPending.end() ? (*pending)->thumbnail : services->getThumbnailForFileUUID(file.uuid);
        if (!file.thumbnail.isNull())
            return;
        if (!file.hasVideo) {
            file.thumbnail = services->namedImage(audioIcon);
            return;
        }
        file.thumbnail = services->namedImage(placeholder);
        for (const auto& mediaFile : file.mediaFiles) {
            if (!mediaFile || !mediaFile->showVideo || !mediaFile->mediaOnline)
                continue;
            const MediaTime lower = mediaFile->sourceDelay;
            const MediaTime upper = mediaFile->sourceDelay + mediaFile->sourceDuration;
            MediaTime time = MediaTime(file.lastMediaTime, 1000) - mediaFile->compositeDelay + mediaFile->sourceDelay;
            time = std::clamp(time, lower, std::max(lower, upper));
            services->checkAccessForMediaFile(*mediaFile);
            if (mediaFile->url.isEmpty())
                continue;
            const QImage frame = services->createImageForURL(mediaFile->url, time);
            if (!frame.isNull())
                file.thumbnail = frame;
            return;
        }
        return;
    }
    default:
        return;
    }
}

bool FileRecordController::fileHasBeenUpdatedOnServer(const QVFile& file) const
{
    if (const auto unsaved = unsavedStamps_.find(file.uuid); unsaved != unsavedStamps_.end())
        return unsaved->second != file.updated;
    std::int64_t stored = 0;
    if (const auto entry = localFileData_->entryForFileUUID(file.uuid))
        stored = entryInteger(*entry, Key::kUpdated).value_or(0);
    return stored != file.updated;
}

void FileRecordController::updatedChanged(const std::shared_ptr<QVFile>& file, const DataSnapshot& snapshot)
{
    if (!snapshot.exists())
        return;
    file->updated = snapshot.intValue();
    if (file->updated == kMigrationUpdatedStamp) {
        localFileData_->saveLocalDataForFileUUID(file->uuid, false, false, -1, -1, {}, file->updated);
        return;
    }
    if (fileHasBeenUpdatedOnServer(*file)) {
        if (unsavedStamps_.empty())
            mainQueue_->after(kUpdatedStampSaveDelay, [this] { saveUpdatedStamps(); });
        unsavedStamps_[file->uuid] = file->updated;
        if (ad_->modelServices)
            ad_->modelServices->addFileToSyncedTranscripts(file);
    }
}

void FileRecordController::saveUpdatedStamps()
{
    for (const auto& [uuid, stamp] : std::exchange(unsavedStamps_, {}))
        localFileData_->saveLocalDataForFileUUID(uuid, false, false, -1, -1, {}, stamp);
}

void FileRecordController::completedChanged(const QString& uuid, const qv::DatabaseReference& ref,
                                            const DataSnapshot& snapshot)
{
    if (!snapshot.exists())
        return;
    const auto listed = std::find_if(ad_->files.begin(), ad_->files.end(), [&](const auto& f) { return f && f->uuid == uuid; });
    if (listed == ad_->files.end() || (*listed)->completed != 0)
        return;
    const std::shared_ptr<QVFile> file = *listed;
    file->completed = snapshot.intValue();

    QString informative;
    // In double precision: stamps from the record may be far apart enough to overflow 64 bits.
    const double elapsed = static_cast<double>(file->completed) - static_cast<double>(file->created);
    if (elapsed > 0) {
        const double ratio = static_cast<double>(file->duration) / elapsed;
        if (std::isfinite(ratio) && ratio >= kFastTranscriptionRatio)
            informative = qv::localizedString("Transcribed in %.1fx faster than real-time").replace(
                QStringLiteral("%.1f"), QString::number(ratio, 'f', 1));
    }
    if (ad_->modelServices)
        ad_->modelServices->postUserNotification(qv::localizedString("Processing Complete"), file->name, informative);

    std::weak_ptr<QVFile> weakFile = file;
    mainQueue_->after(kEmptyTranscriptCheckDelay, [this, ref, weakFile] {
        ref.child("empty_transcript").observeSingleEvent([this, weakFile](const DataSnapshot& empty) {
            auto emptyFile = weakFile.lock();
            if (!emptyFile || !empty.exists() || !empty.boolValue())
                return;
            emptyFile->status = 30;
            if (ad_->modelServices)
                ad_->modelServices->reloadFilesListRowForFile(emptyFile);
        });
    });
}
