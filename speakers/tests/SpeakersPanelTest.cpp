#include "SpeakersFixture.h"

namespace qv::speakers::testing {
namespace {

class SpeakersPanelTest : public SpeakersFixture {
protected:
    // Four speakers shown in the panel, each with one range.
    void fourSpeakers()
    {
        for (const char* name : {"Ann", "Bo", "Cy", "Di"}) {
            const auto s = addSpeaker(QString("S") + name, name, "red");
            addRange(QString("R") + name, std::int64_t(ad.speakerRanges.size()) * 1000, s);
        }
        speakers.buildSpeakersList();
        table.reloadData();
        table.log.clear();
    }
    std::shared_ptr<QVSpeaker> named(const QString& name)
    {
        for (const auto& s : ad.speakers)
            if (s->name == name)
                return s;
        return nullptr;
    }
};

TEST_F(SpeakersPanelTest, ListIsSortedAsAFileBrowserSortsNames)
{
    for (const char* name : {"speaker 10", "Speaker 2", "ann", "Bo"})
        addSpeaker(name, name, "red");
    speakers.buildSpeakersList();
    std::vector<QString> names;
    for (const auto& s : speakers.speakersList())
        names.push_back(s->name);
    EXPECT_EQ(names, (std::vector<QString>{"ann", "Bo", "Speaker 2", "speaker 10"}));
}

TEST_F(SpeakersPanelTest, RangeCountTypeShrinksAboveNinetyNine)
{
    EXPECT_EQ(rangeCountStyle(0), (RangeCountStyle{13, -1}));
    EXPECT_EQ(rangeCountStyle(99), (RangeCountStyle{13, -1}));
    EXPECT_EQ(rangeCountStyle(100), (RangeCountStyle{11, -3}));
    const auto many = addSpeaker("S1", "Many", "teal");
    many->rangeCount = 100;
    speakers.buildSpeakersList();
    table.reloadData();
    EXPECT_EQ(table.cell(0).count, 100);
    EXPECT_EQ(table.cell(0).style, (RangeCountStyle{11, -3}));
    EXPECT_EQ(table.cell(0).color, QColor(80, 191, 164));
    EXPECT_TRUE(table.cell(0).editable);

    many->color = "mauve";
    table.reloadData();
    EXPECT_EQ(table.cell(0).color, QColor(128, 128, 128)) << "an unknown colour name";
}

TEST_F(SpeakersPanelTest, RenamingTheFirstToSortLastMovesOnlyThatRow)
{
    fourSpeakers();
    named("Ann")->name = "Zoe";
    speakers.refreshSpeakersWithAnimation();
    EXPECT_EQ(table.log, std::vector<QString>{"move 0 3"});
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"Bo", "Cy", "Di", "Zoe"}));
    EXPECT_EQ(host.count("buildSpeakerMenu"), 1);
}

TEST_F(SpeakersPanelTest, SwappingTwoNeighboursMovesOneRowByOnePlace)
{
    fourSpeakers();
    named("Bo")->name = "Cz";
    speakers.refreshSpeakersWithAnimation();
    EXPECT_EQ(table.log, std::vector<QString>{"move 2 1"});
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"Ann", "Cy", "Cz", "Di"}));
}

TEST_F(SpeakersPanelTest, DeletedRowsSlideUpAndNewRowsSlideDownWithTheirNameReadyToType)
{
    fourSpeakers();
    speakers.records().deleteSpeaker(named("Bo"));
    speakers.refreshSpeakersWithAnimation();
    EXPECT_EQ(table.log, std::vector<QString>{"remove 1"});
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"Ann", "Cy", "Di"}));

    table.log.clear();
    const auto added = addSpeaker("SN", "Carl", "blue");
    speakers.panel().setPendingNewSpeaker(added);
    speakers.refreshSpeakersWithAnimation();
    EXPECT_EQ(table.log, std::vector<QString>{"insert 1"});
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"Ann", "Carl", "Cy", "Di"}));
    settle();
    EXPECT_EQ(table.log.back(), "scroll 1");
    EXPECT_EQ(table.cell(1).editingStarted, 1);
}

TEST_F(SpeakersPanelTest, ARefreshWithoutChangesReloadsOnceAndCountsFollow)
{
    fourSpeakers();
    named("Cy")->rangeCount = 7;
    speakers.refreshSpeakersWithAnimation();
    EXPECT_EQ(table.log, std::vector<QString>{"reload"});
    EXPECT_EQ(table.cell(2).count, 7);
}

TEST_F(SpeakersPanelTest, ATableOutOfStepWithTheListIsReloadedWhole)
{
    fourSpeakers();
    table.cells.pop_back();
    addSpeaker("SE", "Eve", "red");
    speakers.refreshSpeakersWithAnimation();
    EXPECT_EQ(table.log, std::vector<QString>{"reload"});
    EXPECT_EQ(table.shownNames().size(), 5u);
    EXPECT_EQ(host.count("buildSpeakerMenu"), 0);
}

// A transcript stored by another computer after it replaced "Speaker 1" with New Speaker and
// renamed it: "Speaker 1" is deleted, the range is Dr Stone's.
DatabaseValue replacedSpeakerTranscript()
{
    return DatabaseValue::object({
        {"words", DatabaseValue::object({{"W1", DatabaseValue::object({{"name", "harvest"}, {"start", 0}, {"end", 400}})}})},
        {"speakers", DatabaseValue::object({
                         {"S1", DatabaseValue::object({{"name", "Speaker 1"}, {"color", "blue"}, {"deleted", 1}})},
                         {"N1", DatabaseValue::object({{"name", "Dr Stone"}, {"color", "red"}})},
                     })},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"start", 0}, {"speaker", "N1"}})}})},
    });
}

// Opening a transcript after another one: whether the other computer's next change or the
// screen's own rebuild reaches the panel first, it lists the live speakers of this transcript
// alone, never those of the transcript before or the deleted one.
TEST_F(SpeakersPanelTest, AnOpenedTranscriptListsItsLiveSpeakersWhicheverRefreshComesFirst)
{
    otherComputer.reference("transcripts/G").setValue(DatabaseValue::object({
        {"words", DatabaseValue::object({{"W1", DatabaseValue::object({{"name", "one"}, {"start", 0}, {"end", 400}})}})},
        {"speakers", DatabaseValue::object({{"S1", DatabaseValue::object({{"name", "Speaker 1"}, {"color", "blue"}})}})},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"start", 0}, {"speaker", "S1"}})}})},
    }));
    otherComputer.reference("transcripts/F").setValue(replacedSpeakerTranscript());
    main.drain();
    const auto open = [&](const char* uuid) {
        auto file = std::make_shared<QVFile>();
        file->uuid = uuid;
        file->fileMetadataRef = ad.filesMetadataRef.child(uuid);
        loader.loadFile(file);
        main.drain();
        ASSERT_TRUE(file->hasLoadedTranscript);
    };
    const auto shown = [&] {
        std::vector<QString> rows;
        for (const auto& cell : table.cells)
            rows.push_back(QString("%1 | %2").arg(cell->name).arg(cell->count));
        return rows;
    };
    // What the transcript screen does once a transcript is loaded.
    const auto transition = [&] {
        speakers.buildSpeakersList();
        speakers.refreshSpeakersWithAnimation();
    };

    open("G");
    transition();
    ASSERT_EQ(shown(), std::vector<QString>{"Speaker 1 | 1"});

    // The other computer changes a speaker before the screen has rebuilt its list.
    open("F");
    otherComputer.reference("transcripts/F/speakers/N1/color").setValue("teal");
    main.drain();
    EXPECT_EQ(shown(), std::vector<QString>{"Dr Stone | 1"});
    transition();
    EXPECT_EQ(shown(), std::vector<QString>{"Dr Stone | 1"});

    // And the other way round.
    open("G");
    transition();
    open("F");
    transition();
    otherComputer.reference("transcripts/F/speakers/N1/color").setValue("green");
    main.drain();
    EXPECT_EQ(shown(), std::vector<QString>{"Dr Stone | 1"});
}

TEST_F(SpeakersPanelTest, NameFieldRefusesBlankNamesAndEscapeRestoresTheName)
{
    fourSpeakers();
    auto& field = table.cell(0);
    for (const QString& blank : {QString(""), QString("   "), QString("\t \n")}) {
        field.name = blank;
        speakers.panel().nameEditEnded(field, blank);
        EXPECT_EQ(field.name, "Ann");
    }
    EXPECT_EQ(alerts.beepCount(), 3);
    EXPECT_EQ(host.count("resetFocus"), 3);

    field.name = "Typed";
    speakers.panel().nameEditCancelled(field);
    EXPECT_EQ(field.name, "Ann");
    EXPECT_EQ(alerts.beepCount(), 3);
    settle();
    EXPECT_EQ(host.count("buildSpeakerMenu"), 1) << "an abandoned rename rebuilds the lists";
    EXPECT_EQ(table.log, std::vector<QString>{"reload"});

    speakers.panel().nameEditEnded(table.cell(0), "  Anna \t");
    settle();
    EXPECT_EQ(named("Anna")->uuid, "SAnn");
    EXPECT_EQ(db("speakers/SAnn/name").toString(), "Anna");
}

TEST_F(SpeakersPanelTest, LongAndMultiLineNamesAreKeptAsTyped)
{
    fourSpeakers();
    const QString longName(10000, QChar('x'));
    speakers.panel().nameEditEnded(table.cell(0), longName);
    settle();
    EXPECT_EQ(named(longName)->uuid, "SAnn");
    speakers.panel().nameEditEnded(table.cell(0), "Two\nLines");
    settle();
    EXPECT_TRUE(named("Two\nLines"));
    EXPECT_EQ(table.shownNames().size(), 4u);
}

TEST_F(SpeakersPanelTest, TheGreySpeakerGetsNeitherANewNameNorAColour)
{
    const auto grey = addSpeaker("SG", "Unknown", "gray");
    addSpeaker("SB", "Bo", "blue");
    speakers.buildSpeakersList();
    table.reloadData();
    auto& row = table.cell(1);
    ASSERT_EQ(row.shown, grey);
    EXPECT_FALSE(row.editable);
    EXPECT_EQ(row.color, QColor(128, 128, 128));
    speakers.allowEditing(false);
    EXPECT_FALSE(table.cell(0).editable);
    speakers.allowEditing(true);
    EXPECT_TRUE(table.cell(0).editable);
    EXPECT_FALSE(row.editable);

    speakers.panel().nameEditEnded(row, "Someone");
    speakers.panel().showColorPopoverForSpeaker(grey);
    speakers.panel().changePopoverSpeakerToColorName("red");
    settle();
    EXPECT_EQ(grey->name, "Unknown");
    EXPECT_EQ(grey->color, "gray");
    EXPECT_TRUE(db("speakers/SG").isNull());
}

TEST_F(SpeakersPanelTest, ColourChooserSetsThePickedPaletteColour)
{
    EXPECT_EQ(colorNameForTag(0), "purple");
    EXPECT_EQ(colorNameForTag(8), "fuschia");
    EXPECT_EQ(colorNameForTag(9), "");
    EXPECT_EQ(colorNameForTag(-1), "");
    fourSpeakers();
    speakers.panel().editSpeakerColor(table.cell(2));
    EXPECT_EQ(table.popoverRow, 2);
    speakers.panel().changePopoverSpeakerToColorName(colorNameForTag(8));
    settle();
    EXPECT_EQ(table.popoverRow, -1);
    EXPECT_EQ(named("Cy")->color, "fuschia");
    EXPECT_EQ(db("speakers/SCy/color").toString(), "fuschia");
    EXPECT_EQ(table.cell(2).color, QColor(170, 50, 120));

    speakers.panel().showColorPopoverForSpeaker(named("Cy"));
    speakers.panel().changePopoverSpeakerToColorName(colorNameForTag(12));
    settle();
    EXPECT_EQ(named("Cy")->color, "fuschia") << "a tag outside the palette sets no colour";
    EXPECT_EQ(alerts.beepCount(), 1);
}

}  // namespace
}  // namespace qv::speakers::testing
