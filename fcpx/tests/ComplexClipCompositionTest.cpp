// The composition of a complex clip: pictures, placeholders, black and filler sound up to the
// clip's duration, and the audio tracks linked to their composition tracks.
#include "fcpx/QVCreateAssetFromComplexClip.h"
#include "fcpx/tests/LibraryFixture.h"
#include "platform/media/Composition.h"

#include <gtest/gtest.h>

using namespace fcpx_test;
using qv::MediaTime;
using qv::MediaType;

class ComplexClipCompositionTest : public ::testing::Test {
public:
    ComplexClipCompositionTest()
    {
        services.checkAccessForMediaFile = [this](QVMediaFile& file) { accessed.push_back(file.filePath); };
        services.openAsset = [this](const QUrl& url) -> std::shared_ptr<qv::Asset> {
            if (url.toLocalFile().endsWith("empty.mov"))
                return std::make_shared<qv::Asset>();
            if (url.toLocalFile().endsWith("unreadable.mov"))
                return nullptr;
            return inspectingServices().openAsset(url);
        };
        services.createImageForAsset = [this](const qv::Asset& asset, const MediaTime&) {
            return asset.path() == undecodable ? QImage() : QImage(4, 4, QImage::Format_RGB32);
        };
        // Test media stand for the program's placeholder movies.
        services.placeholderMovie = [](const QString& name) -> std::optional<std::string> {
            if (name == kMissingMediaMovie)
                return qv::test::testMedia("video.mov");
            if (name == kUnsupportedCodecMovie)
                return qv::test::testMedia("sine2.mov");
            if (name == kBlackMovie)
                return qv::test::testMedia("groups.mov");
            return std::nullopt;
        };
    }

    // A component of `name` (a test medium) with one audio track per track of the medium, or
    // `tracks` of them.
    std::shared_ptr<QVMediaFile> component(const QString& path, MediaTime sourceDelay, MediaTime sourceDuration,
                                           MediaTime compositeDelay, bool showVideo, bool online = true, int tracks = -1)
    {
        auto file = std::make_shared<QVMediaFile>();
        file->url = QUrl::fromLocalFile(path);
        file->filePath = path;
        file->mediaOnline = online;
        file->showVideo = showVideo;
        file->sourceDelay = sourceDelay;
        file->sourceDuration = sourceDuration;
        file->compositeDelay = compositeDelay;
        if (tracks < 0) {
            auto inspected = qv::Asset::inspect(path.toStdString());
            tracks = inspected ? static_cast<int>(inspected->tracksWithMediaType(MediaType::Audio).size()) : 0;
        }
        for (int i = 0; i < tracks; ++i) {
            auto track = std::make_shared<QVAudioTrack>();
            track->audioChannels.push_back(std::make_shared<QVAudioChannel>());
            file->audioTracks.push_back(track);
        }
        return file;
    }

    std::shared_ptr<qv::Asset> compose(const std::vector<std::shared_ptr<QVMediaFile>>& files, MediaTime duration)
    {
        return QVCreateAssetFromComplexClip(services).createAssetWithMediaFiles(files, duration);
    }

    static const qv::CompositionTrack* videoTrack(const qv::Asset& asset)
    {
        auto tracks = asset.composition()->tracksWithMediaType(MediaType::Video);
        return tracks.empty() ? nullptr : tracks.front();
    }

    // (source file, target start, target duration) of each segment.
    static std::vector<std::tuple<std::string, MediaTime, MediaTime>> segments(const qv::CompositionTrack& track)
    {
        std::vector<std::tuple<std::string, MediaTime, MediaTime>> result;
        for (const auto& segment : track.segments())
            result.emplace_back(segment.asset->path(), segment.targetRange.start, segment.targetRange.duration);
        return result;
    }

    static bool same(const MediaTime& a, const MediaTime& b) { return MediaTime::compare(a, b) == 0; }

    QVCreateAssetFromComplexClip::Services services;
    std::vector<QString> accessed;
    std::string undecodable;
    const QString video = mediaPath("video.mov");
    const QString tone = mediaPath("tone.wav");
};

TEST_F(ComplexClipCompositionTest, PictureThenBlackUpToTheDurationAndLinkedSound)
{
    auto camera = component(video, MediaTime::zero(), MediaTime(1, 1), MediaTime::zero(), true);
    auto sound = component(tone, MediaTime(1, 2), MediaTime(1, 1), MediaTime(1, 2), false);
    std::shared_ptr<qv::Asset> asset = compose({camera, sound}, MediaTime(3, 1));
    ASSERT_TRUE(asset && asset->composition());
    EXPECT_EQ(accessed, (std::vector<QString>{video, tone}));
    const qv::CompositionTrack* picture = videoTrack(*asset);
    ASSERT_TRUE(picture);
    auto pieces = segments(*picture);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(std::get<0>(pieces[1]), qv::test::testMedia("groups.mov"));
    EXPECT_TRUE(same(std::get<1>(pieces[1]), MediaTime(1, 1)));
    EXPECT_TRUE(same(picture->duration(), MediaTime(3, 1)));

    EXPECT_EQ(asset->composition()->tracksWithMediaType(MediaType::Audio).size(), 3u);
    for (const auto& file : {camera, sound})
        for (const auto& track : file->audioTracks) {
            ASSERT_TRUE(track->composition);
            const qv::CompositionTrack* linked = track->composition->trackWithID(track->compositeAssetTrackID);
            ASSERT_TRUE(linked);
            EXPECT_EQ(linked->mediaType(), MediaType::Audio);
            ASSERT_TRUE(track->assetTrack);
            EXPECT_EQ(track->assetTrack->trackID, track->compositeAssetTrackID);
            EXPECT_EQ(track->audioChannels[0]->parentAudioTrack.lock(), track);
        }
    const qv::CompositionTrack* toneTrack =
        asset->composition()->trackWithID(sound->audioTracks[0]->compositeAssetTrackID);
    ASSERT_EQ(toneTrack->segments().size(), 1u);
    EXPECT_TRUE(same(toneTrack->segments()[0].targetRange.start, MediaTime(1, 2)));
    EXPECT_TRUE(same(toneTrack->segments()[0].sourceRange.start, MediaTime(1, 2)));
}

TEST_F(ComplexClipCompositionTest, PlaceholdersStandInForMediaThatCannotBeShown)
{
    struct Case {
        const char* what;
        std::string undecodable;
        std::shared_ptr<QVMediaFile> file;
        std::string picture;
        bool soundIn;
    };
    const Case cases[] = {
        {"offline", "", component("/gone/take.mov", MediaTime(5, 1), MediaTime(4, 1), MediaTime(1, 1), true, false, 1),
         qv::test::testMedia("video.mov"), false},
        {"zero duration", "", component(qv::test::scratchFolder().c_str() + QString("/empty.mov"), MediaTime::zero(),
                                    MediaTime(4, 1), MediaTime(1, 1), true, true, 0),
         qv::test::testMedia("sine2.mov"), false},
        {"undecodable picture", qv::test::testMedia("video.mov"), component(video, MediaTime::zero(), MediaTime(1, 1), MediaTime(1, 1), true),
         qv::test::testMedia("sine2.mov"), true},
        {"more tracks listed than the asset has", "", component(video, MediaTime::zero(), MediaTime(1, 1), MediaTime(1, 1), false, true, 3),
         "", false},
    };
    for (const Case& c : cases) {
        undecodable = c.undecodable;
        std::shared_ptr<qv::Asset> asset = compose({c.file}, MediaTime(5, 1));
        ASSERT_TRUE(asset) << c.what;
        const qv::CompositionTrack* picture = videoTrack(*asset);
        if (c.picture.empty()) {
            EXPECT_FALSE(picture) << c.what;
        } else {
            ASSERT_TRUE(picture) << c.what;
            auto pieces = segments(*picture);
            ASSERT_FALSE(pieces.empty()) << c.what;
            EXPECT_EQ(std::get<0>(pieces[0]), c.picture) << c.what;
            EXPECT_TRUE(same(std::get<1>(pieces[0]), MediaTime(1, 1))) << c.what;
            // A placeholder shorter than the media it stands for is stretched to its length.
            if (c.picture != qv::test::testMedia("sine2.mov") || !c.soundIn) {
                EXPECT_TRUE(same(std::get<2>(pieces[0]), c.file->sourceDuration)) << c.what;
            }
        }
        const bool linked = !c.file->audioTracks.empty() && c.file->audioTracks[0]->composition;
        EXPECT_EQ(linked, c.soundIn) << c.what;
        if (!c.soundIn) {
            for (const auto& track : c.file->audioTracks)
                EXPECT_FALSE(track->assetTrack) << c.what;
        }
    }
}

TEST_F(ComplexClipCompositionTest, TheLastPictureInTheListSetsWhereBlackBegins)
{
    auto later = component(video, MediaTime::zero(), MediaTime(2, 1), MediaTime(2, 1), true);
    auto earlier = component(video, MediaTime::zero(), MediaTime(1, 1), MediaTime::zero(), true);
    std::shared_ptr<qv::Asset> asset = compose({later, earlier}, MediaTime(6, 1));
    ASSERT_TRUE(asset);
    auto pieces = segments(*videoTrack(*asset));
    ASSERT_FALSE(pieces.empty());
    // Black goes in at the end of the last one listed (1 s), pushing later pictures on.
    EXPECT_TRUE(std::any_of(pieces.begin(), pieces.end(), [&](const auto& piece) {
        return std::get<0>(piece) == qv::test::testMedia("groups.mov") && same(std::get<1>(piece), MediaTime(1, 1)) &&
               same(std::get<2>(piece), MediaTime(5, 1));
    }));
}

TEST_F(ComplexClipCompositionTest, SoundOnlyClipsLastTheWholeDuration)
{
    for (const auto& files : {std::vector<std::shared_ptr<QVMediaFile>>{},
                              {component(tone, MediaTime::zero(), MediaTime(1, 1), MediaTime::zero(), false)}}) {
        std::shared_ptr<qv::Asset> asset = compose(files, MediaTime(7, 1));
        ASSERT_TRUE(asset);
        EXPECT_FALSE(videoTrack(*asset));
        EXPECT_TRUE(same(asset->composition()->duration(), MediaTime(7, 1)));
    }
    EXPECT_FALSE(compose({component("/x/unreadable.mov", MediaTime::zero(), MediaTime(1, 1), MediaTime::zero(), false, true, 0)},
                         MediaTime(1, 1)));
}
