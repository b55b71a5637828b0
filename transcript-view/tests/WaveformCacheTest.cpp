#include "transcript-view/QVWaveformManager.h"
#include "transcript-view/WaveformCacheFile.h"

#include "WaveformFixtures.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
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

// `count` values running over the whole range.
WaveformCacheChannel channelOf(int count, float step)
{
    std::vector<float> values;
    for (int i = 0; i < count; ++i)
        values.push_back(-50.0f + std::fmod(static_cast<float>(i) * step, 50.0f));
    return {bytesOf(values), values.empty() ? -50.0f : *std::max_element(values.begin(), values.end()),
            static_cast<std::int64_t>(count)};
}

void expectChannelsEqual(const WaveformCacheContents& read, const std::vector<std::vector<WaveformCacheChannel>>& expected,
                         const std::string& what)
{
    ASSERT_EQ(read.tracks.size(), expected.size()) << what;
    for (std::size_t t = 0; t < expected.size(); ++t) {
        ASSERT_EQ(read.tracks[t].size(), expected[t].size()) << what << " track " << t;
        for (std::size_t c = 0; c < expected[t].size(); ++c) {
            EXPECT_EQ(read.tracks[t][c].data, expected[t][c].data) << what << " " << t << "/" << c;
            EXPECT_EQ(read.tracks[t][c].maximum, expected[t][c].maximum) << what << " " << t << "/" << c;
            EXPECT_EQ(read.tracks[t][c].count, expected[t][c].count) << what << " " << t << "/" << c;
        }
    }
}

std::vector<std::size_t> channelCountsOf(const std::vector<std::vector<WaveformCacheChannel>>& tracks)
{
    std::vector<std::size_t> counts;
    for (const auto& track : tracks)
        counts.push_back(track.size());
    return counts;
}

// Whatever the writer makes, the quick reader reads exactly as the property-list library does:
// every length of the last base64 group, lines of any length, empty tracks, dates before the
// reference date and long after it, fewer or more channels asked for than there are.
TEST(WaveformCacheFile, TheQuickReaderReadsWhatTheWriterWroteAsThePropertyListLibraryDoes)
{
    struct Case {
        const char* what;
        std::vector<std::vector<WaveformCacheChannel>> tracks;
        QDateTime date;
        std::vector<std::size_t> asked;  // empty: every channel
    };
    const QDateTime date = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const Case cases[] = {
        {"one value, two pad characters", {{channelOf(1, 3)}}, date, {}},
        {"two values, one pad character", {{channelOf(2, 3)}}, date, {}},
        {"three values, no padding", {{channelOf(3, 3)}}, date, {}},
        {"many lines", {{channelOf(5000, 0.37f), channelOf(4999, 1.1f)}, {channelOf(17, 7)}}, date, {}},
        {"a track without channels", {{}, {channelOf(4, 2)}}, date, {}},
        {"no tracks", {}, date, {}},
        {"before 2001", {{channelOf(3, 3)}}, QDateTime::fromSecsSinceEpoch(946684799, Qt::UTC), {}},
        {"in 2060", {{channelOf(3, 3)}}, QDateTime(QDate(2060, 2, 29), QTime(12, 0, 1), Qt::UTC), {}},
        {"fewer channels asked for", {{channelOf(3, 3), channelOf(6, 1)}, {channelOf(2, 5)}}, date, {1}},
        {"more channels asked for", {{channelOf(3, 3)}}, date, {4, 2}},
    };
    for (const Case& c : cases) {
        const std::string document = writeWaveformCache(c.tracks, c.date);
        ASSERT_FALSE(document.empty()) << c.what;
        const std::vector<std::size_t> asked = c.asked.empty() ? channelCountsOf(c.tracks) : c.asked;
        const auto quick = readWaveformCacheQuickly(document, asked);
        const auto library = readWaveformCacheAsPropertyList(document, asked);
        ASSERT_TRUE(quick) << c.what;
        ASSERT_TRUE(library) << c.what;
        EXPECT_EQ(quick->fileModifiedDate, static_cast<double>(c.date.toSecsSinceEpoch())) << c.what;
        EXPECT_EQ(library->fileModifiedDate, quick->fileModifiedDate) << c.what;
        std::vector<std::vector<WaveformCacheChannel>> expected;
        for (std::size_t t = 0; t < std::min(asked.size(), c.tracks.size()); ++t)
            expected.emplace_back(c.tracks[t].begin(), c.tracks[t].begin() + static_cast<std::ptrdiff_t>(std::min(asked[t], c.tracks[t].size())));
        expectChannelsEqual(*quick, expected, c.what);
        expectChannelsEqual(*library, expected, c.what);
    }
}

// A property list with the same content laid out otherwise is still a cache file: what the quick
// reader does not recognise goes to the property-list library.
TEST(WaveformCacheFile, AnotherLayoutOfTheSameContentStillReads)
{
    const std::vector<std::vector<WaveformCacheChannel>> tracks = {{channelOf(40, 3), channelOf(7, 2)}};
    const std::string written = writeWaveformCache(tracks, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    auto replaced = [&](std::string document, const std::string& from, const std::string& to) {
        for (std::size_t at = document.find(from); at != std::string::npos; at = document.find(from, at + to.size()))
            document.replace(at, from.size(), to);
        return document;
    };
    auto withoutDeclarations = written.substr(written.find("<plist"));
    const std::string dateEntry = "\t<key>fileModifiedDate</key>\n\t<date>2023-11-14T22:13:20Z</date>\n";
    std::string dateFirst = written;
    dateFirst.erase(dateFirst.find(dateEntry), dateEntry.size());
    dateFirst.insert(dateFirst.find("<dict>\n") + 7, dateEntry);
    const std::pair<const char*, std::string> cases[] = {
        {"lines ending in CR LF", replaced(written, "\n", "\r\n")},
        {"no declaration or document type", withoutDeclarations},
        {"a comment", replaced(written, "<dict>", "<dict><!-- made elsewhere -->")},
        {"the date first", dateFirst},
        {"a key spelt with an entity", replaced(written, "<key>waveformMax</key>", "<key>waveform&#77;ax</key>")},
    };
    for (const auto& [what, document] : cases) {
        ASSERT_NE(document, written) << what;
        const auto read = readWaveformCache(document, {2});
        ASSERT_TRUE(read) << what;
        EXPECT_EQ(read->fileModifiedDate, 1700000000.0) << what;
        expectChannelsEqual(*read, tracks, what);
    }
}

// A cache file cut short anywhere within its content is refused, never read as a shorter
// waveform; one whose content is whole reads whole even when its closing plist tag was lost.
TEST(WaveformCacheFile, ACacheCutShortIsRefused)
{
    const std::vector<std::vector<WaveformCacheChannel>> tracks = {{channelOf(30, 3)}, {channelOf(2, 9)}};
    const std::string written = writeWaveformCache(tracks, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    const std::size_t content = written.rfind("</dict>") + std::string("</dict>").size();
    for (std::size_t length = 0; length < written.size(); ++length) {
        const auto read = readWaveformCache(std::string_view(written.data(), length), {1, 1});
        if (length < content) {
            EXPECT_FALSE(read) << "cut at " << length << " of " << written.size();
        } else {
            ASSERT_TRUE(read) << "cut at " << length;
            expectChannelsEqual(*read, tracks, "cut after the content");
        }
    }
}

}  // namespace
}  // namespace qv
