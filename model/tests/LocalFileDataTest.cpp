#include "ModelFixture.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "platform/foundation/Log.h"

using qv::PreferenceArray;
using qv::PreferenceDictionary;

namespace {

std::shared_ptr<QVMediaFile> media(const QString& path, std::vector<bool> enables = {})
{
    auto file = std::make_shared<QVMediaFile>();
    if (!path.isEmpty())
        file->url = QUrl::fromLocalFile(path);
    if (!enables.empty()) {
        auto track = std::make_shared<QVAudioTrack>();
        for (bool on : enables) {
            track->audioChannels.push_back(std::make_shared<QVAudioChannel>());
            track->audioChannels.back()->enabled = on;
        }
        file->audioTracks.push_back(track);
    }
    return file;
}

class LocalData : public ModelFixture {
protected:
    PreferenceDictionary entry(const QString& uuid) { return localFileData.entryForFileUUID(uuid).value_or(PreferenceDictionary{}); }
    PreferenceArray elements(const QString& uuid)
    {
        const PreferenceDictionary e = entry(uuid);
        const PreferenceArray* array = entryArray(e, "QVMediaFiles");
        return array ? *array : PreferenceArray{};
    }
    static QString stringAt(const qv::PreferenceValue& element, const QString& key)
    {
        const auto& dictionary = *element.get<PreferenceDictionary>();
        auto found = dictionary.find(key);
        if (found == dictionary.end())
            return "absent";
        if (const auto* text = found->second.get<QString>())
            return *text;
        return QString::fromUtf8(*found->second.get<QByteArray>());
    }
};

TEST_F(LocalData, FirstSaveOfAnUpdatedStamp)
{
    localFileData.saveLocalDataForFileUUID("F", false, false, -1, -1, {}, 1234);
    const PreferenceDictionary saved = entry("F");
    EXPECT_EQ(saved.size(), 2u);
    EXPECT_TRUE(elements("F").empty());
    EXPECT_EQ(entryInteger(saved, "QVUpdated"), 1234);
}

TEST_F(LocalData, NegativeNumbersKeepWhatIsStored)
{
    localFileData.saveLocalDataForFileUUID("F", false, false, 5000, 77, {}, 9);
    localFileData.saveLocalDataForFileUUID("F", false, false, -1, -1, {}, -1);
    EXPECT_EQ(entryInteger(entry("F"), "QVLastMediaTime"), 5000);
    EXPECT_EQ(entryInteger(entry("F"), "QVLastOpened"), 77);
    EXPECT_EQ(entryInteger(entry("F"), "QVUpdated"), 9);
    localFileData.saveLocalDataForFileUUID("F", false, false, 0, -1, {}, -1);
    EXPECT_EQ(entryInteger(entry("F"), "QVLastMediaTime"), 0);
}

TEST_F(LocalData, MediaFileElementsAreUpdatedInPlaceOrAppended)
{
    localFileData.saveLocalDataForFileUUID("F", true, true, -1, -1, {media("/a", {true}), media("/b", {true})}, -1);
    localFileData.saveLocalDataForFileUUID("F", true, true, -1, -1,
                                           {media("/a2", {false, true}), media(""), media("/c", {true})}, -1);
    PreferenceArray saved = elements("F");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(stringAt(saved[0], "QVFilePath"), "/a2");
    EXPECT_EQ(stringAt(saved[0], "QVFileBookmark"), "bookmark:/a2");
    // Without a URL the stored location stays.
    EXPECT_EQ(stringAt(saved[1], "QVFilePath"), "/b");
    EXPECT_EQ(stringAt(saved[1], "QVFileBookmark"), "bookmark:/b");
    EXPECT_EQ(stringAt(saved[2], "QVFilePath"), "/c");
    const auto& tracks = *saved[0].get<PreferenceDictionary>()->at("QVAudioTracks").get<PreferenceArray>();
    EXPECT_EQ(tracks, (PreferenceArray{qv::PreferenceValue(PreferenceArray{false, true})}));
    // A media file without tracks leaves its stored enables.
    EXPECT_TRUE(saved[1].get<PreferenceDictionary>()->count("QVAudioTracks"));

    localFileData.saveLocalDataForFileUUID("F", false, true, -1, -1, {media("/z")}, -1);
    saved = elements("F");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(stringAt(saved[0], "QVFilePath"), "/z");
    EXPECT_EQ(stringAt(saved[1], "QVFilePath"), "/b");
    EXPECT_EQ(stringAt(saved[2], "QVFilePath"), "/c");
}

TEST_F(LocalData, ABookmarkThatCannotBeMadeIsLoggedAndTheOldOneKept)
{
    localFileData.saveLocalDataForFileUUID("F", false, true, -1, -1, {media("/a")}, -1);
    services.failingBookmarks = {"/b"};
    std::vector<std::string> lines;
    const auto previous = qv::setLogSink([&](qv::LogLevel, std::string_view line) { lines.emplace_back(line); });
    localFileData.saveLocalDataForFileUUID("F", false, true, -1, -1, {media("/b")}, -1);
    qv::setLogSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "oops couldn't create bookmarkData volume gone");
    const PreferenceArray saved = elements("F");
    EXPECT_EQ(stringAt(saved[0], "QVFileBookmark"), "bookmark:/a");
    EXPECT_EQ(stringAt(saved[0], "QVFilePath"), "/b");
}

TEST_F(LocalData, QuittingSavesOnce)
{
    localFileData.saveLocalDataAndThumbnailBeforeQuit();
    EXPECT_FALSE(ad.isSavingLocalDataBeforeQuitting);

    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->uuid = "Q";
    ad.currentFile->hasVideo = true;
    ad.currentFile->mediaFiles.push_back(media("/v.mov", {true, false}));
    ad.currentFile->mediaFiles.front()->showVideo = true;
    ad.currentFile->mediaFiles.front()->mediaOnline = true;
    services.player = true;
    services.playerTime = qv::MediaTime(12345, 1000);
    localFileData.saveLocalDataAndThumbnailBeforeQuit();
    services.playerTime = qv::MediaTime(99, 1);
    localFileData.saveLocalDataAndThumbnailBeforeQuit();

    EXPECT_EQ(services.count("createImageForSimpleFile"), 1);
    EXPECT_EQ(entryInteger(entry("Q"), "QVLastMediaTime"), 12345);
    EXPECT_EQ(ad.currentFile->lastMediaTime, 12345);
    const PreferenceArray saved = elements("Q");
    const auto& tracks = *saved[0].get<PreferenceDictionary>()->at("QVAudioTracks").get<PreferenceArray>();
    EXPECT_EQ(tracks, (PreferenceArray{qv::PreferenceValue(PreferenceArray{true, false})}));
    EXPECT_EQ(stringAt(saved[0], "QVFilePath"), "absent");
}

}  // namespace
