#include "transcript-view/QVWaveformManager.h"

#include "WaveformFixtures.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::bytesOf;
using test::valuesOf;

const QDateTime kMediaDate = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);

struct CacheRig {
    ManualDispatcher main;
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    QDateTime diskDate = kMediaDate;
    QVWaveformManager manager{main, preferences, fs::path(folder.path().toStdString()) / "Waveforms",
                              [this](QVMediaFile&) { return std::optional<QDateTime>(diskDate); }};

    fs::path pathOf(const QVMediaFile& file) { return manager.waveformCacheFolder() / manager.makeWaveformCacheFileNameForMediaFile(file)->toStdString(); }
    void save(const std::shared_ptr<QVMediaFile>& file)
    {
        manager.saveWaveformsForMediaFile(file);
        main.drain();
        manager.waitForWrites();
    }
    std::vector<QString> recent()
    {
        std::vector<QString> list;
        for (const auto& value : preferences.arrayForKey(QVWaveformManager::kRecentFilesKey).value_or(PreferenceArray{}))
            list.push_back(*value.get<QString>());
        return list;
    }
};

// A media file with `channels[t]` channels in track t, each holding a short waveform.
std::shared_ptr<QVMediaFile> measuredFile(const QString& path, const std::vector<int>& channels)
{
    auto file = std::make_shared<QVMediaFile>();
    file->filePath = path;
    file->mediaOnline = true;
    file->modificationDate = kMediaDate;
    for (std::size_t t = 0; t < channels.size(); ++t) {
        auto track = std::make_shared<QVAudioTrack>();
        for (int c = 0; c < channels[t]; ++c) {
            auto channel = std::make_shared<QVAudioChannel>();
            std::vector<float> values = {-50.0f, -10.0f - static_cast<float>(t), -3.0f - static_cast<float>(c)};
            channel->waveformData = bytesOf(values);
            channel->waveformMax = values.back();
            channel->waveformSampleCount = 3;
            track->audioChannels.push_back(channel);
        }
        file->audioTracks.push_back(track);
    }
    return file;
}

TEST(QVWaveformManager, NamesKeepOnlyTheAlphanumericsOfThePathAndTheUsedPart)
{
    CacheRig rig;
    struct Case {
        QString path;
        std::int64_t delay, duration, offset;  // ms
        QString name;
    };
    const Case cases[] = {
        {"/a/b-c.wav", 0, 0, 0, "abcwav.waveform"},
        {"/Volumes/Media/Film 1.mov", 0, 0, 0, "VolumesMediaFilm1mov.waveform"},
        {"/Volumes/Media/Film 1.mov", 1000, 5000, 0, "VolumesMediaFilm1mov-1000-5000-0.waveform"},
        {"/x/a b.wav", 0, 0, 0, "xabwav.waveform"},
        {"/x/ab.wav", 0, 0, 0, "xabwav.waveform"},
        {QString::fromUtf8("/Musik/Grüße é.wav"), 0, 0, 0, QString::fromUtf8("MusikGrüßeéwav.waveform")},
        // Letters and digits outside the Basic Multilingual Plane are kept like any other.
        {QString::fromUtf8("/m/𠀀.wav"), 0, 0, 0, QString::fromUtf8("m𠀀wav.waveform")},
        {QString::fromUtf8("/m/𝟙𝟚 𐐀.wav"), 0, 0, 0, QString::fromUtf8("m𝟙𝟚𐐀wav.waveform")},
        {QString::fromUtf8("/m/🎬.wav"), 0, 0, 0, QString::fromUtf8("mwav.waveform")},
    };
    for (const auto& c : cases) {
        QVMediaFile file;
        file.filePath = c.path;
        file.sourceDelay = MediaTime(c.delay, 1000);
        file.sourceDuration = MediaTime(c.duration, 1000);
        file.compositeDelay = MediaTime(c.offset, 1000);
        EXPECT_EQ(rig.manager.makeWaveformCacheFileNameForMediaFile(file), c.name) << c.path.toStdString();
    }
    EXPECT_FALSE(rig.manager.makeWaveformCacheFileNameForMediaFile(QVMediaFile{}));
}

TEST(QVWaveformManager, SavedWaveformsComeBackWhileTheMediaDateIsWithinFiveSeconds)
{
    CacheRig rig;
    auto file = measuredFile("/m/take.wav", {2, 1});
    rig.save(file);
    auto document = readFile(rig.pathOf(*file));
    ASSERT_TRUE(document);
    for (const char* part : {"<key>tracksData</key>", "<key>fileModifiedDate</key>", "<date>2023-11-14T22:13:20Z</date>",
                             "<key>waveformData</key>", "<data>", "<key>waveformMax</key>", "<real>",
                             "<key>waveformSampleCount</key>", "<integer>3</integer>"})
        EXPECT_NE(document->find(part), std::string::npos) << part;
    EXPECT_EQ(rig.recent(), std::vector<QString>{QString::fromStdString(rig.pathOf(*file).string())});

    struct Case {
        double offsetSeconds;
        bool online;
        bool used;
    };
    for (auto c : {Case{4.9, true, true}, Case{-4.9, true, true}, Case{5.0, true, false}, Case{60, false, true}}) {
        auto fresh = measuredFile("/m/take.wav", {2, 1});
        for (auto& track : fresh->audioTracks)
            for (auto& channel : track->audioChannels)
                *channel = QVAudioChannel{};
        fresh->modificationDate = kMediaDate.addMSecs(static_cast<qint64>(c.offsetSeconds * 1000));
        fresh->mediaOnline = c.online;
        EXPECT_EQ(rig.manager.restoreWaveformsForMediaFile(*fresh), c.used) << c.offsetSeconds;
        const QVAudioChannel& restored = *fresh->audioTracks[1]->audioChannels[0];
        if (c.used) {
            EXPECT_EQ(valuesOf(restored), (std::vector<float>{-50.0f, -11.0f, -3.0f}));
            EXPECT_EQ(restored.waveformMax, -3.0f);
            EXPECT_EQ(restored.waveformSampleCount, 3);
        } else {
            EXPECT_EQ(restored.waveformSampleCount, 0);
        }
    }
}

TEST(QVWaveformManager, RestoresOnlyTheTracksAndChannelsBothSidesHave)
{
    CacheRig rig;
    rig.save(measuredFile("/m/multi.wav", {2, 2}));
    auto other = measuredFile("/m/multi.wav", {3});
    auto untouched = other->audioTracks[0]->audioChannels[2]->waveformData;
    ASSERT_TRUE(rig.manager.restoreWaveformsForMediaFile(*other));
    EXPECT_EQ(valuesOf(*other->audioTracks[0]->audioChannels[1]), (std::vector<float>{-50.0f, -10.0f, -4.0f}));
    EXPECT_EQ(other->audioTracks[0]->audioChannels[2]->waveformData, untouched);
}

TEST(QVWaveformManager, NothingIsWrittenWhenAChannelHasNoValuesOrTheMediaNoDate)
{
    CacheRig rig;
    auto missing = measuredFile("/m/missing.wav", {2});
    missing->audioTracks[0]->audioChannels[1]->waveformData = QByteArray();
    auto empty = measuredFile("/m/empty.wav", {2});
    empty->audioTracks[0]->audioChannels[0]->waveformSampleCount = 0;
    auto undated = measuredFile("/m/undated.wav", {1});
    rig.save(missing);
    rig.save(empty);
    QVWaveformManager noDates(rig.main, rig.preferences, rig.manager.waveformCacheFolder(),
                              [](QVMediaFile&) { return std::optional<QDateTime>(); });
    noDates.saveWaveformsForMediaFile(undated);
    rig.main.drain();
    noDates.waitForWrites();
    for (const auto& file : {missing, empty, undated})
        EXPECT_FALSE(fs::exists(rig.pathOf(*file))) << file->filePath.toStdString();
}

TEST(QVWaveformManager, KeepsTheHundredMostRecentAndPrunesOnlyCacheFiles)
{
    CacheRig rig;
    fs::path folder = rig.manager.waveformCacheFolder();
    std::ofstream(folder / "notes.txt") << "not ours";
    std::vector<fs::path> paths;
    for (int i = 0; i < 101; ++i) {
        paths.push_back(folder / ("f" + std::to_string(i) + ".waveform"));
        std::ofstream(paths.back()) << "x";
        rig.manager.addCacheFileToRecentlyUsed(paths.back());
    }
    auto list = rig.recent();
    ASSERT_EQ(list.size(), 100u);
    EXPECT_EQ(list.front(), QString::fromStdString(paths[100].string()));
    EXPECT_FALSE(fs::exists(paths[0]));
    EXPECT_TRUE(fs::exists(paths[1]));
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));

    rig.manager.addCacheFileToRecentlyUsed(paths[50]);
    list = rig.recent();
    EXPECT_EQ(list.size(), 100u);
    EXPECT_EQ(list.front(), QString::fromStdString(paths[50].string()));
    EXPECT_EQ(std::count(list.begin(), list.end(), QString::fromStdString(paths[50].string())), 1);
}

// A cache file that is damaged, foreign or lies about its values is never used, and the
// channels keep what they had.
TEST(QVWaveformManager, ADamagedOrForeignCacheFileIsNotTrusted)
{
    CacheRig rig;
    auto file = measuredFile("/m/damaged.wav", {1});
    rig.save(file);
    std::string good = *readFile(rig.pathOf(*file));
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = good;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"garbage", "\x01\x02 not a property list"},
        {"cut short", good.substr(0, good.size() / 2)},
        {"an array at the root", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"},
        {"no date", replaced("<key>fileModifiedDate</key>", "<key>somethingElse</key>")},
        {"a count that does not match", replaced("<integer>3</integer>", "<integer>7</integer>")},
        {"a maximum out of range", replaced("<key>waveformMax</key>\n\t\t\t\t<real>", "<key>waveformMax</key>\n\t\t\t\t<real>9")},
        {"data that is not values", replaced("<data>", "<data>AAAA")},
    };
    for (const auto& [what, content] : cases) {
        std::ofstream(rig.pathOf(*file), std::ios::binary | std::ios::trunc) << content;
        auto fresh = measuredFile("/m/damaged.wav", {1});
        auto before = fresh->audioTracks[0]->audioChannels[0]->waveformData;
        fresh->audioTracks[0]->audioChannels[0]->waveformData = QByteArray("keep");
        EXPECT_FALSE(rig.manager.restoreWaveformsForMediaFile(*fresh)) << what;
        EXPECT_EQ(fresh->audioTracks[0]->audioChannels[0]->waveformData, QByteArray("keep")) << what;
    }
}

}  // namespace
}  // namespace qv
