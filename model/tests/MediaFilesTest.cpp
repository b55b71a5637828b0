#include "ModelFixture.h"

#include "model/MediaFilesMapping.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"

#include <QFile>

using qv::DatabaseValue;
using qv::MediaTime;

namespace {

std::shared_ptr<QVAudioTrack> trackWithChannels(int channels)
{
    auto track = std::make_shared<QVAudioTrack>();
    for (int c = 0; c < channels; ++c)
        track->audioChannels.push_back(std::make_shared<QVAudioChannel>());
    return track;
}

std::shared_ptr<QVMediaFile> mediaWithTracks(std::initializer_list<int> channels)
{
    auto media = std::make_shared<QVMediaFile>();
    for (int n : channels)
        media->audioTracks.push_back(trackWithChannels(n));
    return media;
}

std::vector<std::size_t> channelCounts(const QVMediaFile& media)
{
    std::vector<std::size_t> counts;
    for (const auto& track : media.audioTracks)
        counts.push_back(track->audioChannels.size());
    return counts;
}

class MediaFiles : public ModelFixture {
protected:
    // Stores the node through this computer and reads it back through the other one.
    QVMediaFiles roundTrip(const QVMediaFiles& mediaFiles)
    {
        client.reference("files/R/media_files").setValue(createFirebaseDataFromMediaFiles(mediaFiles));
        main.drain();
        QVMediaFiles read;
        otherComputer.reference("files/R/media_files").observeSingleEvent([&](const qv::DataSnapshot& snapshot) {
            read = createMediaFilesFromFirebaseData(snapshot.value());
        });
        main.drain();
        return read;
    }
};

TEST_F(MediaFiles, WrittenAndReadBackThroughTheDatabase)
{
    auto first = mediaWithTracks({2});
    first->duration = MediaTime(6000, 600);
    first->sourceDelay = MediaTime(1001, 30000);
    first->sourceDuration = MediaTime(1500, 1000);
    first->compositeDelay = MediaTime::zero();
    first->filePath = "/m/a.mov";
    first->hasVideo = true;
    first->showVideo = true;
    first->fcpxMulticamAngleName = "Cam A";
    first->fcpxMulticamAngleUID = "ANGLE";
    first->audioTracks[0]->audioChannels[1]->enabled = false;
    first->audioTracks[0]->audioChannels[0]->iXMLName = "Boom";
    auto second = std::make_shared<QVMediaFile>();

    const DatabaseValue node = createFirebaseDataFromMediaFiles({first, second});
    EXPECT_EQ(node.at(qv::DatabasePath::parse("file_00/duration")), DatabaseValue("10s"));
    EXPECT_EQ(node.at(qv::DatabasePath::parse("file_00/source_delay")), DatabaseValue("1001/30000s"));
    EXPECT_EQ(node.at(qv::DatabasePath::parse("file_00/source_duration")), DatabaseValue("1500/1000s"));
    EXPECT_EQ(node.at(qv::DatabasePath::parse("file_00/composite_delay")), DatabaseValue("0s"));
    EXPECT_FALSE(node.child("file_01").hasChild("audio_tracks"));
    EXPECT_FALSE(node.child("file_01").hasChild("file_path"));
    EXPECT_FALSE(node.child("file_01").hasChild("fcpx_multicam_angle_name"));

    const QVMediaFiles read = roundTrip({first, second});
    ASSERT_EQ(read.size(), 2u);
    EXPECT_TRUE(qv::isIdentical(read[0]->duration, MediaTime(10, 1)));
    EXPECT_TRUE(qv::isIdentical(read[0]->sourceDelay, MediaTime(1001, 30000)));
    EXPECT_TRUE(qv::isIdentical(read[0]->sourceDuration, MediaTime(1500, 1000)));
    EXPECT_EQ(read[0]->filePath, "/m/a.mov");
    EXPECT_TRUE(read[0]->hasVideo && read[0]->showVideo);
    EXPECT_EQ(read[0]->fcpxMulticamAngleName, "Cam A");
    EXPECT_EQ(read[0]->fcpxMulticamAngleUID, "ANGLE");
    EXPECT_EQ(channelCounts(*read[0]), (std::vector<std::size_t>{2}));
    EXPECT_TRUE(read[0]->audioTracks[0]->audioChannels[0]->enabled);
    EXPECT_FALSE(read[0]->audioTracks[0]->audioChannels[1]->enabled);
    EXPECT_EQ(read[0]->audioTracks[0]->audioChannels[0]->iXMLName, "Boom");
    EXPECT_TRUE(read[1]->audioTracks.empty());
    EXPECT_TRUE(read[1]->filePath.isNull());
    EXPECT_TRUE(read[1]->requiresSecurityAccess);
}

TEST_F(MediaFiles, ATrackWithoutChannelsHidesNoTracksAfterIt)
{
    const QVMediaFiles read = roundTrip({mediaWithTracks({2, 0, 6})});
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(channelCounts(*read[0]), (std::vector<std::size_t>{2, 0, 6}));

    // A node stored before empty tracks were marked: track_00 is gone, track_01 still counts.
    const DatabaseValue legacy = DatabaseValue::object({{"file_00", DatabaseValue::object({{"audio_tracks", DatabaseValue::object({{"track_01", DatabaseValue::object({
        {"channel_00", DatabaseValue::object({{"enabled", true}})},
        {"channel_01", DatabaseValue::object({{"enabled", false}})},
    })}})}})}});
    const QVMediaFiles old = createMediaFilesFromFirebaseData(legacy);
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(channelCounts(*old[0]), (std::vector<std::size_t>{2}));

    // Tracks follow their numbers, not the key order, however large a number is; a key that is
    // not written as the numbering writes it is no track.
    const auto channels = [](int n) {
        std::vector<DatabaseValue::Entry> entries;
        for (int c = 0; c < n; ++c)
            entries.emplace_back(channelKey(c), DatabaseValue::object({{"enabled", true}}));
        return DatabaseValue::map(std::move(entries));
    };
    const DatabaseValue far = DatabaseValue::object({{"file_00", DatabaseValue::object({{"audio_tracks", DatabaseValue::object({
        {"track_100", channels(3)}, {"track_11", channels(2)}, {"track_999999", channels(4)}, {"track_3", channels(5)},
    })}})}});
    const QVMediaFiles numbered = createMediaFilesFromFirebaseData(far);
    ASSERT_EQ(numbered.size(), 1u);
    EXPECT_EQ(channelCounts(*numbered[0]), (std::vector<std::size_t>{2, 3, 4}));
}

TEST_F(MediaFiles, GapsInTheNumbering)
{
    const DatabaseValue node = DatabaseValue::object({
        {"file_00", DatabaseValue::object({{"file_path", "/m/0.wav"},
                                            {"audio_tracks", DatabaseValue::object({{"track_00", DatabaseValue::object({
                                                {"channel_00", DatabaseValue::object({{"ixml_name", "L"}})},
                                                {"channel_02", DatabaseValue::object({{"enabled", false}})},
                                            })}})}})},
        {"file_02", DatabaseValue::object({{"file_path", "/m/2.wav"}})},
    });
    const QVMediaFiles read = createMediaFilesFromFirebaseData(node);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0]->filePath, "/m/0.wav");
    EXPECT_TRUE(read[1]->filePath.isNull());
    // Channels are counted as 2, so channel_02 is not read; a channel without "enabled" is on.
    ASSERT_EQ(channelCounts(*read[0]), (std::vector<std::size_t>{1}));
    EXPECT_TRUE(read[0]->audioTracks[0]->audioChannels[0]->enabled);
    EXPECT_TRUE(createMediaFilesFromFirebaseData(DatabaseValue()).empty());
}

TEST(MediaLookups, FlatChannelIndex)
{
    const auto media = mediaWithTracks({2, 6});
    const std::pair<std::int64_t, std::pair<int, int>> cases[] = {
        {0, {0, 0}}, {1, {0, 1}}, {2, {1, 0}}, {7, {1, 5}},
    };
    for (auto [index, at] : cases)
        EXPECT_EQ(getAudioChannelFromTrackChannelIndex(index, *media),
                  media->audioTracks[static_cast<std::size_t>(at.first)]->audioChannels[static_cast<std::size_t>(at.second)])
            << index;
    EXPECT_EQ(getAudioChannelFromTrackChannelIndex(8, *media), nullptr);
    EXPECT_EQ(getAudioChannelFromTrackChannelIndex(-1, *media), nullptr);
}

TEST_F(MediaFiles, VideoAndURLLookups)
{
    QVFile file;
    EXPECT_TRUE(videoIsOnlineForFile(file));
    auto audio = std::make_shared<QVMediaFile>();
    file.mediaFiles.push_back(audio);
    EXPECT_TRUE(videoIsOnlineForFile(file));
    audio->showVideo = true;
    EXPECT_FALSE(videoIsOnlineForFile(file));
    audio->mediaOnline = true;
    EXPECT_TRUE(videoIsOnlineForFile(file));
    EXPECT_FALSE(simpleFileHasVideoForMediaFiles({}));

    EXPECT_TRUE(getFirstMediaFileURLFromCurrentFile(ad).isEmpty());
    ad.currentFile = std::make_shared<QVFile>();
    EXPECT_TRUE(getFirstMediaFileURLFromCurrentFile(ad).isEmpty());
    audio->url = QUrl::fromLocalFile("/m/a.mov");
    ad.currentFile->mediaFiles.push_back(audio);
    EXPECT_EQ(getFirstMediaFileURLFromCurrentFile(ad), audio->url);
}

TEST_F(MediaFiles, TracksAndChannelsOfASimpleFileComeFromItsAsset)
{
    const QString path = folder.filePath("six.wav");
    writeSilentWav(path, 6);
    QVFile file;
    file.fileType = 0;
    auto inspected = qv::Asset::inspect(path.toStdString());
    ASSERT_TRUE(inspected.ok());
    file.asset = std::make_shared<qv::Asset>(std::move(inspected.value()));

    // The database listed two channels for the track: they are kept, without a parent track.
    auto listed = mediaWithTracks({2});
    listed->audioTracks[0]->audioChannels[1]->enabled = false;
    auto empty = std::make_shared<QVMediaFile>();
    auto offline = std::make_shared<QVMediaFile>();
    listed->mediaOnline = empty->mediaOnline = true;
    file.mediaFiles = {listed, empty, offline};
    getMediaFileDataForSimpleFile(file);

    ASSERT_EQ(channelCounts(*listed), (std::vector<std::size_t>{2}));
    EXPECT_FALSE(listed->audioTracks[0]->audioChannels[1]->enabled);
    EXPECT_TRUE(listed->audioTracks[0]->audioChannels[0]->parentAudioTrack.expired());
    ASSERT_TRUE(listed->audioTracks[0]->assetTrack.has_value());
    EXPECT_EQ(listed->audioTracks[0]->assetTrack->audio->channelCount, 6);
    ASSERT_EQ(channelCounts(*empty), (std::vector<std::size_t>{6}));
    EXPECT_EQ(empty->audioTracks[0]->audioChannels[5]->parentAudioTrack.lock(), empty->audioTracks[0]);
    EXPECT_TRUE(empty->audioTracks[0]->audioChannels[5]->enabled);
    EXPECT_TRUE(offline->audioTracks.empty());
}

TEST_F(MediaFiles, OnlineStatusIsOnlyEverSet)
{
    const QString path = folder.filePath("here.wav");
    QFile(path).open(QIODevice::WriteOnly);
    auto present = std::make_shared<QVMediaFile>();
    present->url = QUrl::fromLocalFile(path);
    auto noAccessNeeded = std::make_shared<QVMediaFile>();
    noAccessNeeded->url = QUrl::fromLocalFile(path);
    noAccessNeeded->requiresSecurityAccess = false;
    auto missing = std::make_shared<QVMediaFile>();
    missing->url = QUrl::fromLocalFile(folder.filePath("gone.wav"));
    missing->mediaOnline = true;
    auto withoutURL = std::make_shared<QVMediaFile>();

    getMediaFilesOnlineStatus(ad, {present, noAccessNeeded, missing, withoutURL});
    EXPECT_TRUE(present->mediaOnline);
    EXPECT_TRUE(present->hasAccessToURL);
    EXPECT_TRUE(noAccessNeeded->mediaOnline);
    EXPECT_TRUE(missing->mediaOnline);
    EXPECT_FALSE(withoutURL->mediaOnline);
}

}  // namespace
