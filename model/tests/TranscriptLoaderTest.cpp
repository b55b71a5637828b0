#include "ModelFixture.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"

#include "platform/foundation/Log.h"

#include <QFile>

using qv::DatabaseValue;
using qv::PreferenceArray;
using qv::PreferenceDictionary;

namespace {

DatabaseValue word(const char* name, std::int64_t start, std::int64_t end, bool deleted = false)
{
    return DatabaseValue::object({{"name", name}, {"start", start}, {"end", end}, {"deleted", deleted},
                                  {"status", 1}, {"favorite", false}, {"new_paragraph", false}});
}

class Loading : public ModelFixture {
protected:
    std::shared_ptr<QVFile> listedFile(const QString& uuid, std::int64_t type = 0)
    {
        auto file = std::make_shared<QVFile>();
        file->uuid = uuid;
        file->fileType = type;
        file->fileMetadataRef = ad.filesMetadataRef.child(uuid.toStdString());
        return file;
    }

    void writeTranscript(const QString& uuid, const DatabaseValue& transcript)
    {
        otherComputer.reference("transcripts").child(uuid.toStdString()).setValue(transcript);
        main.drain();
    }

    std::vector<QString> wordNames() const
    {
        std::vector<QString> names;
        for (const auto& w : ad.words)
            names.push_back(w->name());
        return names;
    }
};

TEST_F(Loading, ATranscriptWrittenThroughTheDatabaseLoadsSortsAndLinks)
{
    writeTranscript("T", DatabaseValue::object({
        {"words", DatabaseValue::object({
                      {"W3", word("world.", 900, 1300)},
                      {"W1", word("\u201CHello,", 100, 500)},
                      {"W2", word("gone", 500, 800, true)},
                      {"W4", word("", 1400, 1500)},
                      {"W0", word("there", 600, 880)},
                      {"W9", DatabaseValue::object({{"start", 2000}})},
                  })},
        {"speakers", DatabaseValue::object({
                         {"S1", DatabaseValue::object({{"name", "Ann"}, {"color", "purple"}})},
                         {"S2", DatabaseValue::object({{"color", "blue"}})},
                         {"S3", DatabaseValue::object({{"name", "Bo"}})},
                         {"S4", DatabaseValue::object({{"name", "Old"}, {"color", "teal"}, {"deleted", true}})},
                     })},
        {"speaker_ranges", DatabaseValue::object({
                               {"R2", DatabaseValue::object({{"speaker", "S2"}, {"start", 600}})},
                               {"R1", DatabaseValue::object({{"speaker", "S1"}, {"start", 0}})},
                               {"R3", DatabaseValue::object({{"speaker", "S4"}, {"start", 1200}})},
                               {"R4", DatabaseValue::object({{"speaker", "S1"}, {"start", 900}})},
                               {"R5", DatabaseValue::object({{"speaker", "S3"}, {"start", 300}, {"deleted", true}})},
                               {"R6", DatabaseValue::object({{"speaker", "NOPE"}, {"start", 1500}})},
                           })},
    }));
    const auto file = listedFile("T");
    loader.loadFile(file);
    main.drain();

    EXPECT_EQ(ad.currentFile, file);
    EXPECT_TRUE(file->hasTranscript);
    EXPECT_TRUE(file->hasLoadedTranscript);
    EXPECT_EQ(wordNames(), (std::vector<QString>{u"\u201CHello,"_qs, "there", "world."}));
    EXPECT_EQ(ad.words.first()->nameClean(), "Hello");
    EXPECT_EQ(ad.words.first()->uuid, "W1");
    EXPECT_EQ(ad.words.first()->status, 1);
    EXPECT_EQ(ad.wordsDeleted.size(), 1u);
    EXPECT_EQ(ad.wordsDeleted.first()->uuid, "W2");
    EXPECT_EQ(ad.firstWordStartTime, 100);
    EXPECT_EQ(ad.wordsStillToLoad, 0);

    ASSERT_EQ(ad.speakers.size(), 3u);
    ASSERT_EQ(ad.speakersDeleted.size(), 1u);
    std::map<QString, std::shared_ptr<QVSpeaker>> byID;
    for (const auto& s : ad.speakers)
        byID[s->uuid] = s;
    EXPECT_EQ(byID["S2"]->name, "New Speaker");
    EXPECT_EQ(stored("transcripts/T/speakers/S2/name"), DatabaseValue("New Speaker"));
    // S3 had no colour: it gets one no live speaker read before it uses, written back.
    EXPECT_EQ(byID["S3"]->color, "teal");
    EXPECT_EQ(stored("transcripts/T/speakers/S3/color"), DatabaseValue("teal"));
    EXPECT_EQ(ad.speakerColorUsed, (QSet<QString>{"purple", "blue", "teal"}));

    std::vector<QString> ranges;
    for (const auto& r : ad.speakerRanges)
        ranges.push_back(r->uuid);
    EXPECT_EQ(ranges, (std::vector<QString>{"R1", "R2", "R4", "R3", "R6"}));
    EXPECT_EQ(ad.speakerRanges.at(0)->speaker, byID["S1"]);
    EXPECT_EQ(ad.speakerRanges.at(1)->speaker, byID["S2"]);
    // A range naming a deleted or unknown speaker has none and counts for nobody.
    EXPECT_EQ(ad.speakerRanges.at(3)->speaker, nullptr);
    EXPECT_EQ(ad.speakerRanges.at(4)->speaker, nullptr);
    EXPECT_EQ(ad.speakerRangesDeleted.size(), 1u);
    EXPECT_EQ(byID["S1"]->rangeCount, 2);
    EXPECT_EQ(byID["S2"]->rangeCount, 1);
    EXPECT_EQ(byID["S3"]->rangeCount, 0);
    EXPECT_EQ(ad.speakersDeleted.first()->rangeCount, 0);

    EXPECT_EQ(services.count("loadFileAttemptTransition"), 1);
    EXPECT_EQ(services.count("currentFileUserOnlineAdd"), 1);
    EXPECT_EQ(services.count("addFileToSyncedTranscripts:T"), 1);
    EXPECT_EQ(services.count("setUpPlaybackOfAsset"), 1);
    EXPECT_EQ(services.toolbarHeight, kTranscriptToolbarHeightWithoutEditingControls);
    EXPECT_EQ(ad.currentWordIndex, -1);
    EXPECT_TRUE(ad.debugCharacterEditing.contains("in loadFile: self.currentTextView assigned to nil"));
}

TEST_F(Loading, AnOpenTranscriptTakesInChangesMadeElsewhereButNotDuringAnInlineEdit)
{
    writeTranscript("T", DatabaseValue::object({
        {"words", DatabaseValue::object({{"W1", word("will", 100, 500)}, {"W2", word("turn", 600, 900)}})},
        {"speakers", DatabaseValue::object({{"S1", DatabaseValue::object({{"name", "Ann"}, {"color", "purple"}})}})},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"speaker", "S1"}, {"start", 0}})}})},
    }));
    TranscriptLoader following(ad, localFileData, preferences, &main);
    following.loadFile(listedFile("T"));
    main.drain();
    const std::shared_ptr<QVWord> will = ad.words.first();
    ad.currentWord = ad.words.last();

    // This computer's own write comes back equal to the model: the same word objects stay.
    client.reference("transcripts/T/words/W1/name").setValue("will");
    main.drain();
    EXPECT_EQ(ad.words.first(), will);

    // While an inline edit is open here a change waits; it is taken in once the edit ends.
    ad.isEditing = true;
    otherComputer.reference("transcripts/T/words").updateChildValues(
        {{"W1/name", "wheel"}, {"W2", DatabaseValue()}, {"W3", word("again", 1000, 1200)}});
    main.drain();
    EXPECT_EQ(wordNames(), (std::vector<QString>{"will", "turn"}));
    ad.isEditing = false;
    main.advance(1);
    EXPECT_EQ(wordNames(), (std::vector<QString>{"wheel", "again"}));
    EXPECT_EQ(ad.words.first(), will);
    // The current word was removed elsewhere: none is current.
    EXPECT_EQ(ad.currentWord, nullptr);

    // Another opening stops following the first one: its changes fill nothing of the new file.
    following.loadFile(listedFile("OTHER"));
    main.drain();
    otherComputer.reference("transcripts/T/words/W4").setValue(word("more", 1300, 1400));
    main.advance(1);
    EXPECT_TRUE(ad.words.empty());
}

// The follower looks only at the words a change names; changes of one turn are taken in
// together, a word is found again wherever its start moved, and a write of the whole node is
// compared whole.
TEST_F(Loading, ChangesElsewhereReachTheWordsTheyNameWhereverTheyMoved)
{
    writeTranscript("T", DatabaseValue::object({
        {"words", DatabaseValue::object({{"W1", word("one", 100, 200)}, {"W2", word("two", 300, 400)},
                                         {"W3", word("three", 500, 600)}})},
        {"speakers", DatabaseValue::object({{"S1", DatabaseValue::object({{"name", "Ann"}, {"color", "purple"}})}})},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"speaker", "S1"}, {"start", 0}})}})},
    }));
    TranscriptLoader following(ad, localFileData, preferences, &main);
    following.loadFile(listedFile("T"));
    main.drain();
    const std::shared_ptr<QVWord> two = ad.words.at(1);
    auto words = otherComputer.reference("transcripts/T/words");

    // Two writes before this computer's turn: both are taken in.
    words.child("W1/name").setValue("won");
    words.child("W3/name").setValue("tree");
    main.drain();
    EXPECT_EQ(wordNames(), (std::vector<QString>{"won", "two", "tree"}));

    // A word moved to the front, then renamed in a later write of the same turn.
    words.child("W2/start").setValue(50);
    words.child("W2/name").setValue("to");
    main.drain();
    EXPECT_EQ(wordNames(), (std::vector<QString>{"to", "won", "tree"}));
    EXPECT_EQ(ad.words.first(), two);

    // The whole node replaced: every word is compared.
    words.setValue(DatabaseValue::object({{"W1", word("won", 100, 200)}, {"W4", word("four", 700, 800)}}));
    main.drain();
    EXPECT_EQ(wordNames(), (std::vector<QString>{"won", "four"}));
}

TEST_F(Loading, AFileWithoutTranscriptOpensEmpty)
{
    const auto file = listedFile("NONE");
    loader.loadFile(file);
    main.drain();
    EXPECT_FALSE(file->hasTranscript);
    EXPECT_TRUE(file->hasLoadedTranscript);
    EXPECT_TRUE(ad.hasPreloadedRowsToLastMediaTime);
    EXPECT_TRUE(ad.words.empty() && ad.speakers.empty() && ad.speakerRanges.empty());
    EXPECT_EQ(services.count("loadFileAttemptTransition"), 1);
    // Every open file has at least one media file.
    EXPECT_EQ(file->mediaFiles.size(), 1u);
    EXPECT_EQ(services.count("createMissingMediaAssetForSimpleFile"), 1);

    // An empty slot where the first media file belongs counts as none.
    const auto video = listedFile("HOLE", 1);
    video->mediaFiles.push_back(nullptr);
    loader.loadFile(video);
    main.drain();
    ASSERT_EQ(video->mediaFiles.size(), 1u);
    ASSERT_TRUE(video->mediaFiles.front());
    EXPECT_TRUE(video->mediaFiles.front()->hasVideo && video->hasVideo);
    EXPECT_TRUE(video->hasLoadedTranscript);
}

TEST_F(Loading, EmptyNodesLeadOnToTheNextRead)
{
    writeTranscript("E", DatabaseValue::object({
        {"words", DatabaseValue::object({{"W1", word("", 0, 10)}, {"W2", DatabaseValue::object({{"start", 5}})}})},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"speaker", "S1"}, {"start", 0}})}})},
    }));
    const auto file = listedFile("E");
    loader.loadFile(file);
    main.drain();
    EXPECT_TRUE(ad.words.empty());
    EXPECT_EQ(ad.firstWordStartTime, 0);
    EXPECT_TRUE(ad.speakers.empty());
    ASSERT_EQ(ad.speakerRanges.size(), 1u);
    EXPECT_EQ(ad.speakerRanges.first()->speaker, nullptr);
    EXPECT_TRUE(file->hasLoadedTranscript);
}

TEST_F(Loading, WronglyTypedFieldsReadAsDefaultsAndSkippedWordsAreLogged)
{
    writeTranscript("K", DatabaseValue::object({
        {"words", DatabaseValue::object({
                      {"W1", DatabaseValue::object({{"name", "odd"}, {"start", "12"}, {"end", 2.9}, {"favorite", "yes"},
                                                    {"deleted", 0}, {"status", true}, {"new_paragraph", 1}})},
                      {"W2", DatabaseValue::object({{"name", 5}, {"start", 1}})},
                      {"W3", DatabaseValue::object({{"name", DatabaseValue::object({{"x", 1}})}})},
                  })},
        {"speakers", DatabaseValue::object({{"S1", DatabaseValue::object({{"name", "Ann"}, {"color", 3}})}})},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"speaker", 7}, {"start", "x"}})}})},
    }));
    std::vector<std::string> lines;
    const auto previous = qv::setLogSink([&](qv::LogLevel, std::string_view line) { lines.emplace_back(line); });
    loader.loadFile(listedFile("K"));
    main.drain();
    qv::setLogSink(previous);

    ASSERT_EQ(ad.words.size(), 1u);
    const auto& w = *ad.words.first();
    EXPECT_EQ(w.start, 0);
    EXPECT_EQ(w.end, 2);
    EXPECT_FALSE(w.favorite);
    EXPECT_FALSE(w.deleted);
    EXPECT_EQ(w.status, 1);
    EXPECT_TRUE(w.newParagraph);
    ASSERT_EQ(ad.speakers.size(), 1u);
    EXPECT_EQ(ad.speakers.first()->color, "purple");
    ASSERT_EQ(ad.speakerRanges.size(), 1u);
    EXPECT_EQ(ad.speakerRanges.first()->speaker, nullptr);
    EXPECT_EQ(ad.speakerRanges.first()->start, 0);
    EXPECT_TRUE(ad.currentFile->hasLoadedTranscript);
    const auto logged = [&](const char* text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(logged("2 word(s) without a name were not loaded"));
    EXPECT_TRUE(logged("speaker range R1 names no live speaker"));
}

TEST_F(Loading, AnOpeningOvertakenByAnotherFillsNothingOfTheNewerFile)
{
    writeTranscript("A", DatabaseValue::object({{"words", DatabaseValue::object({{"A1", word("alpha", 0, 100)}})},
                                                {"speakers", DatabaseValue::object({{"SA", DatabaseValue::object({{"name", "Ann"}, {"color", "red"}})}})}}));
    writeTranscript("B", DatabaseValue::object({{"words", DatabaseValue::object({{"B1", word("beta", 0, 100)}})},
                                                {"speakers", DatabaseValue::object({{"SB", DatabaseValue::object({{"name", "Bo"}, {"color", "lime"}})}})}}));
    const auto a = listedFile("A");
    const auto b = listedFile("B");

    // B is opened while A's transcript node is still being read.
    loader.loadFile(a);
    loader.loadFile(b);
    main.drain();
    EXPECT_EQ(ad.currentFile, b);
    EXPECT_EQ(wordNames(), (std::vector<QString>{"beta"}));
    EXPECT_FALSE(a->hasLoadedTranscript);

    // B is opened during A's set-up, before A's words have been read.
    services.onUserOnlineAdd = [&] {
        services.onUserOnlineAdd = nullptr;
        loader.loadFile(b);
    };
    loader.loadFile(a);
    main.drain();
    EXPECT_EQ(ad.currentFile, b);
    EXPECT_EQ(wordNames(), (std::vector<QString>{"beta"}));
    ASSERT_EQ(ad.speakers.size(), 1u);
    EXPECT_EQ(ad.speakers.first()->uuid, "SB");
    EXPECT_EQ(ad.speakerColorUsed, (QSet<QString>{"lime"}));
    EXPECT_EQ(services.count("loadFileAttemptTransition"), 2);
}

TEST_F(Loading, LeavingAFileSavesItsPositionAndReopeningStartsAccessAgain)
{
    const QString pathA = folder.filePath("a.wav");
    const QString pathB = folder.filePath("b.wav");
    writeSilentWav(pathA, 2);
    writeSilentWav(pathB, 1);
    const auto a = listedFile("A");
    const auto b = listedFile("B");
    localFileData.saveLocalDataForFileUUID("A", false, false, -1, -1, {}, -1);
    PreferenceDictionary all = localFileData.allEntries();
    all["A"] = PreferenceDictionary{{"QVMediaFiles", PreferenceArray{PreferenceDictionary{{"QVFileBookmark", ("bookmark:" + pathA).toUtf8()}}}}};
    all["B"] = PreferenceDictionary{{"QVMediaFiles", PreferenceArray{PreferenceDictionary{{"QVFileBookmark", ("bookmark:" + pathB).toUtf8()}}}}};
    localFileData.setAllEntries(all);

    loader.loadFile(a);
    main.drain();
    EXPECT_EQ(services.count("createPlayer"), 1);
    ASSERT_EQ(a->mediaFiles.size(), 1u);
    EXPECT_TRUE(a->mediaFiles[0]->mediaOnline);
    EXPECT_TRUE(a->mediaFiles[0]->hasAccessToURL);
    // The asset's track gave the media file its channels.
    ASSERT_EQ(a->mediaFiles[0]->audioTracks.size(), 1u);
    EXPECT_EQ(a->mediaFiles[0]->audioTracks[0]->audioChannels.size(), 2u);
    EXPECT_EQ(a->mediaFiles[0]->audioTracks[0]->audioChannels[0]->parentAudioTrack.lock(), a->mediaFiles[0]->audioTracks[0]);
    // A bare or missing stored path is replaced by the resolved location.
    EXPECT_EQ(stored("files/A/media_files/file_00/file_path"), DatabaseValue(pathA.toStdString()));
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 1);

    services.playerTime = qv::MediaTime(4321, 1000);
    a->mediaFiles[0]->audioTracks[0]->audioChannels[1]->enabled = false;
    b->mediaFiles.push_back(std::make_shared<QVMediaFile>());
    b->mediaFiles[0]->filePath = "b.wav";  // a bare name from an older record
    loader.loadFile(b);
    main.drain();
    EXPECT_EQ(stored("files/B/media_files/file_00/file_path"), DatabaseValue(pathB.toStdString()));
    EXPECT_EQ(a->lastMediaTime, 4321);
    EXPECT_EQ(entryInteger(*localFileData.entryForFileUUID("A"), "QVLastMediaTime"), 4321);
    EXPECT_EQ(services.count("currentFileUserOnlineRemove"), 1);
    EXPECT_FALSE(a->mediaFiles[0]->hasAccessToURL);
    EXPECT_EQ(services.accessStopped, (std::vector<QUrl>{QUrl::fromLocalFile(pathA)}));

    a->mediaFiles[0]->audioTracks[0]->audioChannels[1]->enabled = true;
    loader.loadFile(a);
    main.drain();
    EXPECT_TRUE(a->mediaFiles[0]->hasAccessToURL);
    EXPECT_EQ(std::count(services.accessStarted.begin(), services.accessStarted.end(), QUrl::fromLocalFile(pathA)), 2);
    // The channel enables saved when A was left are applied again.
    EXPECT_FALSE(a->mediaFiles[0]->audioTracks[0]->audioChannels[1]->enabled);
    EXPECT_EQ(services.count("createPlayer"), 1);

    // A full stored path is left as it is.
    b->mediaFiles[0]->filePath = "/elsewhere/b.wav";
    otherComputer.reference("files/B/media_files/file_00/file_path").setValue("/elsewhere/b.wav");
    loader.loadFile(b);
    main.drain();
    EXPECT_EQ(stored("files/B/media_files/file_00/file_path"), DatabaseValue("/elsewhere/b.wav"));
}

TEST_F(Loading, StoredChannelEnablesAreAppliedOnlyWhenTheirShapeFits)
{
    struct Case {
        PreferenceArray stored;
        std::vector<bool> expected;
    };
    const Case cases[] = {
        {PreferenceArray{PreferenceArray{false, true}, PreferenceArray{false}}, {false, true, false}},
        {PreferenceArray{qv::PreferenceValue(PreferenceArray{false, false})}, {true, true, true}},          // one track of two
        {PreferenceArray{PreferenceArray{false}, PreferenceArray{false}}, {true, true, false}},  // track 0 misfits
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString uuid = QString("C%1").arg(n++);
        otherComputer.reference("files").child(uuid.toStdString()).setValue(DatabaseValue::object({{"name", "c"}}));
        auto file = listedFile(uuid, 3);
        auto mediaFile = std::make_shared<QVMediaFile>();
        for (int channels : {2, 1}) {
            auto track = std::make_shared<QVAudioTrack>();
            for (int i = 0; i < channels; ++i)
                track->audioChannels.push_back(std::make_shared<QVAudioChannel>());
            mediaFile->audioTracks.push_back(track);
        }
        file->mediaFiles.push_back(mediaFile);
        PreferenceDictionary all = localFileData.allEntries();
        all[uuid] = PreferenceDictionary{{"QVMediaFiles", PreferenceArray{PreferenceDictionary{{"QVAudioTracks", c.stored}}}}};
        localFileData.setAllEntries(all);
        loader.loadFile(file);
        main.drain();
        std::vector<bool> enabled;
        for (const auto& track : mediaFile->audioTracks)
            for (const auto& channel : track->audioChannels)
                enabled.push_back(channel->enabled);
        EXPECT_EQ(enabled, c.expected) << n;
        EXPECT_EQ(services.count("createAssetWithMediaFiles"), n);
    }
}

TEST_F(Loading, AudioFileTimecodeReadFromTheMediaIsStored)
{
    const auto file = listedFile("TC", 0);
    file->timecodeStart = qv::MediaTime(3600, 1);
    loader.loadFile(file);
    main.drain();
    EXPECT_EQ(services.count("getBWFMP3TimecodeForFilePending"), 1);
    EXPECT_EQ(file->timecodeFrameQuanta, 30u);
    EXPECT_EQ(stored("files/TC/timecode/frame_duration"), DatabaseValue("1001/30000s"));
    EXPECT_EQ(stored("files/TC/timecode/drop_frame"), DatabaseValue(true));
}

}  // namespace
