#include "ModelFixture.h"

#include "model/FileTypes.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"

#include <limits>

using qv::DatabaseValue;
using qv::MediaTime;
using qv::PreferenceDictionary;

namespace {

class FileRecord : public ModelFixture {
protected:
    // Writes files/<uuid> as the service would, through the other computer's client.
    void writeRecord(const QString& uuid, const DatabaseValue& record)
    {
        otherComputer.reference("files").child(uuid.toStdString()).setValue(record);
        main.drain();
    }

    void setLocalEntry(const QString& uuid, PreferenceDictionary entry)
    {
        PreferenceDictionary all = localFileData.allEntries();
        all[uuid] = std::move(entry);
        localFileData.setAllEntries(std::move(all));
    }
};

TEST_F(FileRecord, ARecordWrittenByOneComputerIsBuiltByAnother)
{
    writeRecord("F1", DatabaseValue::object({
                          {"completed", 1'600'000'300'000},
                          {"created", 1'600'000'000'000},
                          {"duration", 600'000},
                          {"fcpx_clip_name", "Clip"},
                          {"fcpx_event_name", "Event"},
                          {"fcpx_uid", "UID"},
                          {"language", "en-GB"},
                          {"name", "Interview"},
                          {"owner", "U1"},
                          {"status", 30},
                          {"file_type", 5},
                          {"media_files",
                           DatabaseValue::object({{"file_00", DatabaseValue::object({
                                                                  {"duration", "6000/600s"},
                                                                  {"file_path", "/media/interview.mov"},
                                                                  {"has_video", true},
                                                                  {"show_video", true},
                                                                  {"audio_tracks", DatabaseValue::object({{"track_00", DatabaseValue::object({
                                                                       {"channel_00", DatabaseValue::object({{"enabled", false}, {"ixml_name", "Boom"}})},
                                                                       {"channel_01", DatabaseValue::object({{"enabled", true}})},
                                                                   })}})},
                                                              })}})},
                          {"timecode", DatabaseValue::object({{"start", "36000s"},
                                                              {"frame_duration", "1001/30000s"},
                                                              {"drop_frame", true},
                                                              {"source_name", "A001"}})},
                      }));

    const auto file = buildFile("F1");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->uuid, "F1");
    EXPECT_EQ(file->completed, 1'600'000'300'000);
    EXPECT_EQ(file->created, 1'600'000'000'000);
    EXPECT_EQ(file->duration, 600'000);
    EXPECT_EQ(file->deleted, 0);
    EXPECT_EQ(file->fcpxClipName, "Clip");
    EXPECT_EQ(file->fcpxEventName, "Event");
    EXPECT_EQ(file->fcpxUID, "UID");
    EXPECT_EQ(file->language, "en-GB");
    EXPECT_EQ(file->name, "Interview");
    EXPECT_EQ(file->ownerUUID, "U1");
    EXPECT_EQ(file->status, 30);
    EXPECT_EQ(file->fileType, 5);
    EXPECT_EQ(file->fileMetadataRef, ad.filesMetadataRef.child("F1"));
    ASSERT_EQ(file->mediaFiles.size(), 1u);
    const auto& media = *file->mediaFiles.front();
    EXPECT_TRUE(qv::isIdentical(media.duration, MediaTime(6000, 600)));
    EXPECT_EQ(media.filePath, "/media/interview.mov");
    EXPECT_TRUE(media.hasVideo && media.showVideo);
    EXPECT_FALSE(media.mediaOnline);
    ASSERT_EQ(media.audioTracks.size(), 1u);
    ASSERT_EQ(media.audioTracks.front()->audioChannels.size(), 2u);
    EXPECT_FALSE(media.audioTracks.front()->audioChannels[0]->enabled);
    EXPECT_EQ(media.audioTracks.front()->audioChannels[0]->iXMLName, "Boom");
    EXPECT_TRUE(media.audioTracks.front()->audioChannels[1]->enabled);
    EXPECT_TRUE(qv::isIdentical(file->timecodeStart, MediaTime(36000, 1)));
    EXPECT_TRUE(qv::isIdentical(file->timecodeFrameDuration, MediaTime(1001, 30000)));
    EXPECT_EQ(file->timecodeFrameQuanta, 30u);
    EXPECT_TRUE(file->timecodeIsDropFrame);
    EXPECT_EQ(file->timecodeSourceName, "A001");
    // No local entry on this computer: last opened is the creation time.
    EXPECT_EQ(file->lastOpened, 1'600'000'000'000);
    EXPECT_EQ(file->lastMediaTime, 0);
    // The `updated` observer reported at once: no stamp, so it stays 0 and nothing is synced.
    EXPECT_EQ(file->updated, 0);
}

TEST_F(FileRecord, WithoutTypeOrMediaNothingIsWrittenAndThereIsNoThumbnail)
{
    writeRecord("F2", DatabaseValue::object({{"name", "Bare"}, {"created", 5}}));
    const DatabaseValue before = stored("files/F2");
    const auto file = buildFile("F2");
    EXPECT_EQ(file->fileType, -1);
    EXPECT_TRUE(file->thumbnail.isNull());
    main.drain();
    EXPECT_EQ(stored("files/F2"), before);
}

TEST_F(FileRecord, MissingTypeIsDerivedWrittenBackAndTouchesThatRecord)
{
    struct Case {
        const char* path;
        bool fcpx;
        std::int64_t type;
        bool showVideo;
    };
    const Case cases[] = {
        {"/m/voice.wav", false, 0, false},
        {"/m/scene.mov", false, 1, true},
        {"/m/voice.wav", true, 2, false},
        {"/m/scene.mov", true, 5, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString uuid = QString("T%1").arg(n++);
        std::vector<DatabaseValue::Entry> record{
            {"name", "x"},
            {"media_files", DatabaseValue::object({{"file_00", DatabaseValue::object({{"file_path", c.path}})}})}};
        if (c.fcpx)
            record.emplace_back("fcpx_uid", "FCP");
        writeRecord(uuid, DatabaseValue::map(record));
        const auto file = buildFile(uuid);
        main.drain();
        const std::string path = "files/" + uuid.toStdString();
        EXPECT_EQ(file->fileType, c.type) << c.path;
        EXPECT_EQ(stored(path + "/file_type"), DatabaseValue(c.type));
        EXPECT_EQ(file->mediaFiles.front()->showVideo, c.showVideo);
        EXPECT_EQ(stored(path + "/media_files/file_00/show_video").toBool(), c.showVideo);
        EXPECT_EQ(stored(path + "/updated"), DatabaseValue(kServerNow));
    }
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 0);
}

TEST_F(FileRecord, LegacyFileNameIsMigratedOnTheBuiltRecordNotTheOpenFile)
{
    const std::pair<const char*, bool> cases[] = {{"/Volumes/A/take.wav", false}, {"/Volumes/A/take.MOV", true}};
    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->uuid = "OPEN";
    writeRecord("OPEN", DatabaseValue::object({{"name", "open"}, {"updated", 42}}));
    int n = 0;
    for (auto [name, showVideo] : cases) {
        const QString uuid = QString("L%1").arg(n++);
        writeRecord(uuid, DatabaseValue::object({{"file_name", name}, {"duration", 61'500}}));
        const auto file = buildFile(uuid);
        main.drain();
        const std::string path = "files/" + uuid.toStdString();
        EXPECT_EQ(stored(path + "/media_files/file_00/file_path"), DatabaseValue(name));
        EXPECT_EQ(stored(path + "/media_files/file_00/duration"), DatabaseValue("61500/1000s"));
        EXPECT_EQ(stored(path + "/media_files/file_00/show_video"), DatabaseValue(showVideo));
        EXPECT_TRUE(stored(path + "/file_name").isNull());
        EXPECT_EQ(stored(path + "/updated"), DatabaseValue(kServerNow));
        // Built in the same pass from the old snapshot: no media files yet, so no type.
        EXPECT_TRUE(file->mediaFiles.empty());
        EXPECT_EQ(file->fileType, -1);
    }
    EXPECT_EQ(stored("files/OPEN/updated"), DatabaseValue(42));
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 0);
}

TEST_F(FileRecord, TimecodeFrameQuanta)
{
    const std::pair<const char*, std::uint32_t> cases[] = {
        {nullptr, 0}, {"1001/30000s", 30}, {"1/25s", 25}, {"1001/24000s", 24}, {"1001/60000s", 60}, {"0s", 0},
    };
    int n = 0;
    for (auto [frameDuration, quanta] : cases) {
        const QString uuid = QString("TC%1").arg(n++);
        std::vector<DatabaseValue::Entry> timecode{{"start", "3600s"}};
        if (frameDuration)
            timecode.emplace_back("frame_duration", frameDuration);
        writeRecord(uuid, DatabaseValue::object({{"name", "t"}, {"timecode", DatabaseValue::map(timecode)}}));
        const auto file = buildFile(uuid);
        EXPECT_EQ(file->timecodeFrameQuanta, quanta) << (frameDuration ? frameDuration : "none");
        EXPECT_TRUE(qv::isIdentical(file->timecodeStart, MediaTime(3600, 1)));
        EXPECT_FALSE(file->timecodeIsDropFrame);
    }
}

TEST_F(FileRecord, LocalEntryGivesPositionSnappedAndLastOpened)
{
    writeRecord("P1", DatabaseValue::object({{"name", "p"}, {"created", 777}}));
    setLocalEntry("P1", {{"QVLastMediaTime", std::int64_t{1234}}, {"QVLastOpened", std::int64_t{0}}});
    auto file = buildFile("P1");
    EXPECT_EQ(file->lastMediaTime, 1240);
    EXPECT_EQ(file->lastOpened, 777);
    setLocalEntry("P1", {{"QVLastOpened", std::int64_t{999}}});
    file = buildFile("P1");
    EXPECT_EQ(file->lastOpened, 999);
    EXPECT_EQ(file->lastMediaTime, 0);
    // Numbers stored as doubles are truncated; one past the 64-bit range reads as absent.
    setLocalEntry("P1", {{"QVLastMediaTime", 1e300}, {"QVLastOpened", 2050.9}});
    file = buildFile("P1");
    EXPECT_EQ(file->lastMediaTime, 0);
    EXPECT_EQ(file->lastOpened, 2050);
}

TEST_F(FileRecord, LegacyLocalDataIsMovedIntoTheMediaFilesAndTheRecord)
{
    writeRecord("G1", DatabaseValue::object({{"name", "g"}, {"updated", 5}}));
    QByteArray startBytes(24, '\0');
    const std::int64_t value = 90'000;
    const std::int32_t timescale = 25;
    const std::uint32_t flags = 1;
    std::memcpy(startBytes.data(), &value, 8);
    std::memcpy(startBytes.data() + 8, &timescale, 4);
    std::memcpy(startBytes.data() + 12, &flags, 4);
    setLocalEntry("G1", {
                            {"QVFileBookmark", QByteArray("bookmark:/m/g.mov")},
                            {"QVFilePath", QString("/m/g.mov")},
                            {"QVFileModificationDate", qv::PreferenceDate{1.5e9}},
                            {"QVLastOpened", std::int64_t{10}},
                            {"QVStartTimecode", PreferenceDictionary{{"startTimecode", startBytes},
                                                                     {"sourceName", QString("Reel 7")},
                                                                     {"frameDuration", std::int64_t{1}},
                                                                     {"frameQuanta", std::int64_t{25}},
                                                                     {"isDropFrame", true}}},
                        });
    buildFile("G1");
    main.drain();

    const PreferenceDictionary entry = *localFileData.entryForFileUUID("G1");
    EXPECT_FALSE(entry.count("QVFileBookmark") || entry.count("QVFilePath") || entry.count("QVFileModificationDate")
                 || entry.count("QVStartTimecode"));
    const auto* mediaFiles = entryArray(entry, "QVMediaFiles");
    ASSERT_TRUE(mediaFiles && mediaFiles->size() == 1);
    const auto* first = mediaFiles->front().get<PreferenceDictionary>();
    ASSERT_TRUE(first);
    EXPECT_EQ(*first->at("QVFileBookmark").get<QByteArray>(), "bookmark:/m/g.mov");
    EXPECT_EQ(*first->at("QVFilePath").get<QString>(), "/m/g.mov");
    EXPECT_EQ(entryInteger(entry, "QVLastOpened"), 10);

    EXPECT_EQ(stored("files/G1/timecode/start"), DatabaseValue("3600s"));
    EXPECT_EQ(stored("files/G1/timecode/source_name"), DatabaseValue("Reel 7"));
    EXPECT_EQ(stored("files/G1/timecode/frame_duration"), DatabaseValue("1/25s"));
    EXPECT_EQ(stored("files/G1/timecode/drop_frame"), DatabaseValue(true));
    EXPECT_EQ(stored("files/G1/updated"), DatabaseValue(kServerNow));
}

TEST_F(FileRecord, LegacyTimecodeStaysWhileTheRecordHasATimecode)
{
    writeRecord("G2", DatabaseValue::object({{"name", "g"}, {"timecode", DatabaseValue::object({{"start", "10s"}})}}));
    setLocalEntry("G2", {{"QVStartTimecode", PreferenceDictionary{{"sourceName", QString("R")}}}});
    buildFile("G2");
    main.drain();
    EXPECT_TRUE(localFileData.entryForFileUUID("G2")->count("QVStartTimecode"));
    EXPECT_TRUE(stored("files/G2/timecode/source_name").isNull());
}

TEST_F(FileRecord, UpdatedStampDecidesWhatIsSynced)
{
    writeRecord("U1", DatabaseValue::object({{"name", "u"}, {"updated", kMigrationUpdatedStamp}}));
    auto file = buildFile("U1");
    ad.files.push_back(file);
    EXPECT_EQ(file->updated, kMigrationUpdatedStamp);
    EXPECT_EQ(entryInteger(*localFileData.entryForFileUUID("U1"), "QVUpdated"), kMigrationUpdatedStamp);
    EXPECT_EQ(services.count("addFileToSyncedTranscripts:U1"), 0);

    // A change made on another computer is synced once and recorded a moment later, with the
    // stamps that follow it within that moment.
    otherComputer.reference("files/U1/updated").setValue(kServerNow + 5);
    main.drain();
    EXPECT_EQ(file->updated, kServerNow + 5);
    EXPECT_EQ(services.count("addFileToSyncedTranscripts:U1"), 1);
    EXPECT_FALSE(files.fileHasBeenUpdatedOnServer(*file));
    EXPECT_EQ(entryInteger(*localFileData.entryForFileUUID("U1"), "QVUpdated"), kMigrationUpdatedStamp);
    otherComputer.reference("files/U1/updated").setValue(kServerNow + 6);
    main.drain();
    otherComputer.reference("files/U1/updated").setValue(kServerNow + 5);
    main.drain();
    main.advance(kUpdatedStampSaveDelay);
    EXPECT_EQ(entryInteger(*localFileData.entryForFileUUID("U1"), "QVUpdated"), kServerNow + 5);
    EXPECT_EQ(services.count("addFileToSyncedTranscripts:U1"), 3);
    EXPECT_FALSE(files.fileHasBeenUpdatedOnServer(*file));

    // Built again on a later launch with the same stamp seen: nothing to sync.
    buildFile("U1");
    EXPECT_EQ(services.count("addFileToSyncedTranscripts:U1"), 3);
}

TEST_F(FileRecord, CompletionPostsANotificationAndChecksForAnEmptyTranscript)
{
    struct Case {
        std::int64_t duration;
        std::int64_t created;
        std::int64_t completed;
        QString informative;
    };
    const Case cases[] = {
        {600'000, 1000, 301'000, "Transcribed in 2.0x faster than real-time"},
        {119'000, 1000, 101'000, ""},
        {600'000, 1000, 1000, ""},  // completed at the creation time: no ratio to speak of
        // Stamps further apart than 64 bits hold.
        {600'000, std::numeric_limits<std::int64_t>::min() + 1, std::numeric_limits<std::int64_t>::max(), ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString uuid = QString("C%1").arg(n++);
        writeRecord(uuid, DatabaseValue::object({{"name", "Talk"}, {"created", c.created}, {"duration", c.duration}}));
        ad.files.push_back(buildFile(uuid));
        services.notifications.clear();
        otherComputer.reference("files").child(uuid.toStdString()).updateChildValues(
            {{"completed", c.completed}, {"empty_transcript", true}});
        main.drain();
        ASSERT_EQ(services.notifications.size(), 1u);
        EXPECT_EQ(services.notifications[0].title, "Processing Complete");
        EXPECT_EQ(services.notifications[0].subtitle, "Talk");
        EXPECT_EQ(services.notifications[0].informative, c.informative);
        EXPECT_EQ(ad.files.back()->completed, c.completed);
        EXPECT_EQ(ad.files.back()->status, 0);
        main.advance(kEmptyTranscriptCheckDelay);
        EXPECT_EQ(ad.files.back()->status, 30);
        EXPECT_EQ(services.count("reloadFilesListRowForFile:" + uuid), 1);
        // Later values find the file completed.
        otherComputer.reference("files").child(uuid.toStdString()).child("completed").setValue(5);
        main.drain();
        EXPECT_EQ(services.notifications.size(), 1u);
    }
}

TEST_F(FileRecord, CompletionOfAFileNoLongerListedPostsNothing)
{
    writeRecord("GONE", DatabaseValue::object({{"name", "x"}}));
    buildFile("GONE");
    otherComputer.reference("files/GONE/completed").setValue(5000);
    main.drain();
    main.advance(2);
    EXPECT_TRUE(services.notifications.empty());
}

TEST_F(FileRecord, ThumbnailsForTheFilesList)
{
    const DatabaseValue video = DatabaseValue::object({{"file_00", DatabaseValue::object({{"file_path", "/m/a.mov"}})}});
    writeRecord("A", DatabaseValue::object({{"file_type", 0}}));
    writeRecord("V", DatabaseValue::object({{"file_type", 1}, {"media_files", video}}));
    writeRecord("S", DatabaseValue::object({{"file_type", 1}}));
    writeRecord("M", DatabaseValue::object({{"file_type", 3}, {"media_files", video}}));
    writeRecord("P", DatabaseValue::object({{"file_type", 6}}));
    services.storedThumbnails["S"] = FakeServices::image("stored S");
    auto pending = std::make_shared<QVFilePending>();
    pending->uuid = "P";
    pending->thumbnail = FakeServices::image("pending P");
    ad.filesPending.push_back(pending);

    const std::pair<const char*, const char*> cases[] = {
        {"A", "audio file icon"}, {"V", "files-thumbnail-placeholder"}, {"S", "stored S"},
        {"M", "audio file icon"}, {"P", "pending P"},
    };
    for (auto [uuid, picture] : cases)
        EXPECT_EQ(buildFile(uuid)->thumbnail.text("name"), picture) << uuid;
}

TEST(FileTypes, PredicatesAndNames)
{
    struct Case {
        std::int64_t type;
        bool audio, simple, complex;
        const char* name;
    };
    const Case cases[] = {
        {-1, false, false, false, "Unknown File Type"},
        {0, true, true, false, "Audio File"},
        {1, false, true, false, "Video File"},
        {2, true, true, false, "Audio Clip (Final Cut Pro X)"},
        {3, false, false, true, "Multicam Clip (Final Cut Pro X)"},
        {4, false, false, true, "Synchronized Clip (Final Cut Pro X)"},
        {5, false, true, false, "Video Clip (Final Cut Pro X)"},
        {6, false, false, true, "Compound Clip (Final Cut Pro X)"},
        {7, false, false, false, "Unknown File Type"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isAudioFile(c.type), c.audio) << c.type;
        EXPECT_EQ(isSimpleFile(c.type), c.simple) << c.type;
        EXPECT_EQ(isComplexFile(c.type), c.complex) << c.type;
        EXPECT_EQ(getUIStringForFileType(c.type), QString(c.name));
    }
}

}  // namespace
