#include "SpeakersFixture.h"

#include "speakers/SpeakerPalette.h"

namespace qv::speakers::testing {
namespace {

class SpeakerRecordsTest : public SpeakersFixture {};

TEST_F(SpeakerRecordsTest, PaletteHoldsNineSRGBColoursAndGrayIsTheUnknownSpeaker)
{
    const struct {
        const char* name;
        int r, g, b;
    } expected[] = {{"purple", 115, 67, 191}, {"blue", 57, 118, 204}, {"teal", 80, 191, 164},
                    {"green", 60, 175, 98},   {"lime", 155, 186, 21}, {"yellow", 222, 171, 40},
                    {"orange", 247, 124, 33}, {"red", 214, 76, 76},   {"fuschia", 170, 50, 120},
                    {"gray", 128, 128, 128}};
    for (const auto& e : expected) {
        const QColor color = speakers.colorForColorName(e.name);
        EXPECT_EQ(color, QColor::fromRgb(e.r, e.g, e.b)) << e.name;
        EXPECT_EQ(color.spec(), QColor::Rgb) << e.name;
    }
    for (const char* unknown : {"", "fuchsia", "Purple", "grey", "black"})
        EXPECT_FALSE(speakers.colorForColorName(unknown).isValid()) << unknown;
}

TEST_F(SpeakerRecordsTest, RandomColourAvoidsColoursInUseUntilAllNineAre)
{
    ad.speakerColorUsed = {"purple", "blue", "teal", "green"};
    QSet<QString> drawn;
    for (int i = 0; i < 200; ++i) {
        ad.speakerColorUsed = {"purple", "blue", "teal", "green"};
        drawn.insert(speakers.records().chooseRandomColorName());
    }
    EXPECT_EQ(drawn, (QSet<QString>{"lime", "yellow", "orange", "red", "fuschia"}));
    EXPECT_EQ(ad.speakerColorUsed.size(), 5);

    drawn.clear();
    const QStringList all = paletteColorNames();
    for (int i = 0; i < 400; ++i) {
        ad.speakerColorUsed = QSet<QString>(all.begin(), all.end());
        drawn.insert(speakers.records().chooseRandomColorName());
    }
    EXPECT_EQ(drawn.size(), 9);
}

TEST_F(SpeakerRecordsTest, ColourChangeFreesTheFormerColourOnlyWhenNoLiveSpeakerHasIt)
{
    const auto ann = addSpeaker("S1", "Ann", "red");
    const auto bo = addSpeaker("S2", "Bo", "red");
    const auto cy = addSpeaker("S3", "Cy", "blue");
    speakers.records().changeSpeakerToColorName(ann, "blue");
    settle();
    EXPECT_TRUE(ad.speakerColorUsed.contains("red"));
    speakers.records().changeSpeakerToColorName(bo, "green");
    settle();
    EXPECT_FALSE(ad.speakerColorUsed.contains("red"));
    EXPECT_EQ(ad.speakerColorUsed, (QSet<QString>{"blue", "green"}));
    EXPECT_EQ(db("speakers/S2/color").toString(), "green");
    EXPECT_EQ(ad.undoManager->undoActionName(), "Speaker Color");
    EXPECT_GE(services.count("updateCurrentFileTimestamp"), 2);

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(bo->color, "red");
    EXPECT_EQ(db("speakers/S2/color").toString(), "red");
    EXPECT_TRUE(ad.speakerColorUsed.contains("red"));
    EXPECT_EQ(ad.undoManager->redoActionName(), "Speaker Color");
    ad.undoManager->redo();
    settle();
    EXPECT_EQ(bo->color, "green");
    EXPECT_EQ(cy->color, "blue");

    speakers.records().changeSpeakerToColorName(cy, "blue");
    EXPECT_EQ(db("speakers/S3/color").isNull(), true) << "an unchanged colour writes nothing";
}

TEST_F(SpeakerRecordsTest, RenameIsUndoableAndComparesNamesExactly)
{
    const auto ann = addSpeaker("S1", "Ann", "red");
    addSpeaker("S2", "Bo", "blue");
    const auto gone = std::make_shared<QVSpeaker>();
    gone->uuid = "S9", gone->name = "Zed", gone->deleted = true;
    ad.speakersDeleted.add(gone);

    speakers.records().editSpeakerNameFinish(ann, "bo");
    settle();
    EXPECT_EQ(ann->name, "bo") << "a name differing only in case is another name";
    speakers.records().editSpeakerNameFinish(ann, "Zed");
    settle();
    EXPECT_EQ(ann->name, "Zed") << "a deleted speaker's name is free";
    EXPECT_EQ(db("speakers/S1/name").toString(), "Zed");
    EXPECT_EQ(ad.undoManager->undoActionName(), "Speaker Name");
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_GE(host.count("buildSpeakerMenu"), 2);
    EXPECT_GE(host.count("searchForString:"), 2);

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(ann->name, "bo");
    EXPECT_EQ(db("speakers/S1/name").toString(), "bo");
    ad.undoManager->redo();
    settle();
    EXPECT_EQ(db("speakers/S1/name").toString(), "Zed");
}

TEST_F(SpeakerRecordsTest, ChangesTheDatabaseRefusesAreReportedOnce)
{
    // A key the database refuses stands for any refused write.
    const auto ann = addSpeaker("bad.key", "Ann", "red");
    speakers.records().editSpeakerNameFinish(ann, "Anna");
    speakers.records().changeSpeakerToColorName(ann, "teal");
    settle();
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].style, AlertStyle::Critical);
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText,
              "A change could not be saved. Reopen the transcript to see what is stored.");
    speakers.records().editSpeakerNameFinish(ann, "Annie");
    settle();
    EXPECT_EQ(alerts.shownAlerts().size(), 2u) << "a later refusal is reported again";
}

TEST_F(SpeakerRecordsTest, DuplicateOrBlankNamesAreRefusedAndTheOldNameKept)
{
    const auto ann = addSpeaker("S1", "Ann", "red");
    addSpeaker("S2", "Bo", "blue");
    speakers.buildSpeakersList();
    table.reloadData();

    speakers.records().editSpeakerNameFinish(ann, "Bo");
    settle();
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "Duplicate speaker name");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText, "This speaker name already exists");
    EXPECT_EQ(alerts.shownAlerts()[0].style, AlertStyle::Warning);
    EXPECT_EQ(ann->name, "Ann");
    EXPECT_TRUE(db("speakers/S1").isNull());
    EXPECT_FALSE(ad.undoManager->canUndo());
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"Ann", "Bo"}));

    for (const QString& blank : {QString(""), QString("  \t"), QString("\n\n")}) {
        speakers.records().editSpeakerNameFinish(ann, blank);
        settle();
        EXPECT_EQ(ann->name, "Ann");
    }
    EXPECT_EQ(alerts.beepCount(), 3);
    EXPECT_TRUE(db("speakers/S1").isNull());
}

TEST_F(SpeakerRecordsTest, NumberedNameTakesTheFirstFreeNumber)
{
    EXPECT_EQ(speakers.records().generateNewSpeakerName(), "Speaker 1");
    addSpeaker("S1", "Speaker 1", "red");
    addSpeaker("S3", "Speaker 3", "blue");
    EXPECT_EQ(speakers.records().generateNewSpeakerName(), "Speaker 2");
    addSpeaker("S2", "Speaker 2", "teal");
    EXPECT_EQ(speakers.records().generateNewSpeakerName(), "Speaker 4");
}

TEST_F(SpeakerRecordsTest, CleanUpDeletesSpeakersWithoutRangesAndRestoreBringsThemBack)
{
    const auto ann = addSpeaker("S1", "Ann", "red");
    const auto bo = addSpeaker("S2", "Bo", "blue");
    addRange("R1", 0, ann);
    speakers.consolidateSpeakersWithAnimation(false);
    settle();
    EXPECT_TRUE(bo->deleted);
    EXPECT_TRUE(ad.speakersDeleted.contains(bo));
    EXPECT_FALSE(ad.speakers.contains(bo));
    EXPECT_TRUE(db("speakers/S2/deleted").toBool());
    EXPECT_FALSE(ad.speakerColorUsed.contains("blue"));
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 1);
    EXPECT_EQ(speakers.speakersList().size(), 1u);

    speakers.restoreSpeaker(bo);
    EXPECT_FALSE(bo->deleted);
    EXPECT_TRUE(ad.speakers.contains(bo));
    EXPECT_TRUE(ad.speakerColorUsed.contains("blue"));
    settle();
    EXPECT_EQ(db("speakers/S2/deleted"), DatabaseValue(false));
}

}  // namespace
}  // namespace qv::speakers::testing
