#include "SpeakersFixture.h"

#include "platform/rtdb/ValueJson.h"

#include <algorithm>
#include <functional>

namespace qv::speakers::testing {
namespace {

class SpeakerAssignmentTest : public SpeakersFixture {
protected:
    // One range per speaker letter of `layout` ("ABAC"), 1 s apart, with two words each.
    void ranges(const QString& layout, const QString& color = "red")
    {
        for (QChar letter : layout) {
            const QString name = QString(letter);
            auto found = std::find_if(ad.speakers.begin(), ad.speakers.end(), [&](const auto& s) { return s->name == name; });
            const auto speaker = found != ad.speakers.end() ? *found : addSpeaker("S" + name, name, letter == 'G' ? "gray" : color);
            addRange(QString("R%1").arg(ad.speakerRanges.size()), std::int64_t(ad.speakerRanges.size()) * 2000, speaker);
        }
        std::vector<QString> names;
        for (int i = 0; i < layout.size() * 2; ++i)
            names.push_back(QString("w%1").arg(i));
        addWords(names);
        all_ = ad.speakerRanges.items();
    }
    // The ranges as first laid out, deleted ones included.
    std::shared_ptr<QVSpeakerRange> range(std::size_t i) { return all_.at(i); }
    std::shared_ptr<QVSpeaker> speaker(const QString& name)
    {
        for (const auto* set : {&ad.speakers, &ad.speakersDeleted})
            for (const auto& s : *set)
                if (s->name == name)
                    return s;
        return nullptr;
    }
    QString layout() const
    {
        QString text;
        for (const auto& r : ad.speakerRanges)
            text += r->speaker->name;
        return text;
    }
    std::vector<std::shared_ptr<QVSpeakerRange>> all_;
};

TEST_F(SpeakerAssignmentTest, GivingARangeThePreviousSpeakerMergesItAndUndoSplitsItAgain)
{
    ranges("ABC");
    speakers.assignment().changeSpeakerRange(range(1), nullptr, kChangePreviousSpeaker, false);
    settle();
    EXPECT_EQ(layout(), "AC");
    EXPECT_TRUE(range(1)->deleted);
    EXPECT_EQ(db("speaker_ranges/R1"), DatabaseValue::object({{"deleted", true}, {"speaker", "SA"}}));
    EXPECT_TRUE(speaker("B")->deleted) << "B lost its only range";
    EXPECT_TRUE(db("speakers/SB/deleted").toBool());
    EXPECT_EQ(speaker("A")->rangeCount, 1);
    EXPECT_EQ(ad.undoManager->undoActionName(), "Change Speaker");

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(layout(), "ABC");
    EXPECT_FALSE(range(1)->deleted);
    EXPECT_EQ(db("speaker_ranges/R1"), DatabaseValue::object({{"deleted", false}, {"speaker", "SB"}}));
    EXPECT_FALSE(speaker("B")->deleted);
    EXPECT_EQ(db("speakers/SB/deleted"), DatabaseValue(false));
    EXPECT_EQ(speaker("A")->rangeCount, 1);
    EXPECT_EQ(speaker("B")->rangeCount, 1);
    EXPECT_EQ(view.count("locate 2000"), 1);

    ad.undoManager->redo();
    settle();
    EXPECT_EQ(layout(), "AC");
    EXPECT_TRUE(speaker("B")->deleted);
    EXPECT_EQ(ad.undoManager->undoActionName(), "Change Speaker");
    ad.undoManager->undo();
    settle();
    EXPECT_EQ(layout(), "ABC");
}

TEST_F(SpeakerAssignmentTest, ARunOfThreeCollapsesIntoItsFirstAndUndoRestoresBoth)
{
    ranges("ABAC");
    speakers.assignment().changeSpeakerRange(range(1), speaker("A"), kChangeChosenSpeaker, false);
    settle();
    EXPECT_EQ(layout(), "AC");
    EXPECT_EQ(speaker("A")->rangeCount, 1);
    ad.undoManager->undo();
    settle();
    EXPECT_EQ(layout(), "ABAC");
    EXPECT_EQ(speaker("A")->rangeCount, 2);
    EXPECT_FALSE(range(2)->deleted);
    EXPECT_EQ(db("speaker_ranges/R2/deleted"), DatabaseValue(false));
}

TEST_F(SpeakerAssignmentTest, RangesOfTheGreySpeakerAreNeverMerged)
{
    ranges("GGAG");
    EXPECT_TRUE(speakers.assignment().consolidateSpeakerRangesWithAnimation(false).empty());
    speakers.assignment().changeSpeakerRange(range(2), nullptr, kChangeNextSpeaker, false);
    settle();
    EXPECT_EQ(layout(), "GGGG");
}

TEST_F(SpeakerAssignmentTest, ChoicesDispatchByTypeOnALaterTurn)
{
    ranges("AB");
    auto& assign = speakers.assignment();
    assign.changeSpeakerRange(range(1), nullptr, kChangeChosenSpeaker, false);
    assign.changeSpeakerRange(range(1), nullptr, 7, false);
    assign.changeSpeakerRange(nullptr, speaker("A"), kChangeChosenSpeaker, false);
    settle();
    EXPECT_EQ(layout(), "AB");
    EXPECT_FALSE(ad.undoManager->canUndo());

    assign.changeSpeakerRange(range(1), speaker("A"), kChangeChosenSpeaker, true);
    EXPECT_EQ(layout(), "AB");
    main.advance(0.04);
    EXPECT_EQ(layout(), "AB") << "after an inline edit the choice waits 0.05 s";
    main.advance(0.01);
    EXPECT_EQ(layout(), "A");
}

TEST_F(SpeakerAssignmentTest, PreviousSpeakerForAPendingRangeCancelsTheAdd)
{
    ranges("AB");
    setCurrentWord(1);
    speakers.addSpeakerRangeAutoSelect(false);
    settle();
    ASSERT_TRUE(ad.pendingNewSpeakerRange);
    speakers.assignment().changeSpeakerRange(ad.pendingNewSpeakerRange, nullptr, kChangePreviousSpeaker, false);
    settle();
    EXPECT_FALSE(ad.pendingNewSpeakerRange);
    EXPECT_EQ(layout(), "AB");
    EXPECT_EQ(wordNames()[0], "w0");
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(SpeakerAssignmentTest, ChoosingASpeakerFinishesAPendingAddAsOneUndoStep)
{
    ranges("AB");
    setCurrentWord(1);
    speakers.addSpeakerRangeAutoSelect(false);
    settle();
    const auto added = ad.pendingNewSpeakerRange;
    ASSERT_TRUE(added);
    speakers.assignment().changeSpeakerRange(added, speaker("B"), kChangeChosenSpeaker, false);
    settle();
    EXPECT_EQ(layout(), "AB");
    EXPECT_TRUE(range(1)->deleted) << "B's old range now follows the new range of B";
    EXPECT_FALSE(ad.pendingNewSpeakerRange || ad.pendingOriginalPreviousWord || ad.pendingOriginalCurrentWord);
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Speaker Range");
    EXPECT_EQ(wordNames()[0], "w0.");
    EXPECT_EQ(wordNames()[1], "W1");

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(added->speaker, speaker("A"));
    EXPECT_TRUE(added->deleted) << "merged back into the range it was split from";
    EXPECT_FALSE(range(1)->deleted);
    EXPECT_EQ(speaker("A")->rangeCount, 1);
    EXPECT_EQ(speaker("B")->rangeCount, 1);
    EXPECT_EQ(wordNames()[0], "w0");
    EXPECT_EQ(wordNames()[1], "w1");
    EXPECT_EQ(db("words/W1/name").toString(), "w1");
    ad.undoManager->redo();
    settle();
    EXPECT_EQ(added->speaker, speaker("B"));
    EXPECT_FALSE(added->deleted);
    EXPECT_EQ(layout(), "AB");
    EXPECT_EQ(speaker("A")->rangeCount, 1);
    EXPECT_EQ(speaker("B")->rangeCount, 1);
    EXPECT_EQ(wordNames()[0], "w0.");
    EXPECT_EQ(wordNames()[1], "W1");
}

TEST_F(SpeakerAssignmentTest, NewSpeakerReplacesTheOnlyRangesSpeakerAndUndoSwapsThemBack)
{
    ranges("AB");
    speakers.buildSpeakersList();
    table.reloadData();
    speakers.assignment().changeSpeakerRange(range(1), nullptr, kChangeNewSpeaker, false);
    settle();
    const auto added = range(1)->speaker;
    EXPECT_EQ(added->name, "New Speaker");
    EXPECT_EQ(added->rangeCount, 1);
    EXPECT_TRUE(speaker("B")->deleted);
    EXPECT_EQ(db("speakers/" + added->uuid.toStdString()),
              DatabaseValue::object({{"color", added->color.toStdString()}, {"name", "New Speaker"}}));
    EXPECT_EQ(db("speaker_ranges/R1/speaker").toString(), added->uuid.toStdString());
    EXPECT_TRUE(QStringList({"purple", "blue", "teal", "green", "lime", "yellow", "orange", "fuschia"}).contains(added->color));
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add New Speaker");
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"A", "New Speaker"}));
    const auto row = std::find(table.log.begin(), table.log.end(), "scroll 1");
    EXPECT_NE(row, table.log.end());
    EXPECT_EQ(table.cell(1).editingStarted, 1);

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(range(1)->speaker, speaker("B"));
    EXPECT_FALSE(speaker("B")->deleted);
    EXPECT_TRUE(added->deleted);
    EXPECT_TRUE(db("speakers/" + added->uuid.toStdString() + "/deleted").toBool());
    EXPECT_EQ(db("speakers/SB/deleted"), DatabaseValue(false));
    EXPECT_EQ(table.shownNames(), (std::vector<QString>{"A", "B"}));

    ad.undoManager->redo();
    settle();
    EXPECT_EQ(range(1)->speaker, added);
    EXPECT_FALSE(added->deleted);
    EXPECT_TRUE(speaker("B")->deleted);
}

// Two new speakers share the name "New Speaker"; undoing the rename of one gives that name back
// without the duplicate-name alert, and the step can be redone.
TEST_F(SpeakerAssignmentTest, UndoingARenameGivesBackANameAnotherSpeakerShares)
{
    ranges("AB");
    speakers.buildSpeakersList();
    table.reloadData();
    speakers.assignment().changeSpeakerRange(range(0), nullptr, kChangeNewSpeaker, false);
    settle();
    speakers.assignment().changeSpeakerRange(range(1), nullptr, kChangeNewSpeaker, false);
    settle();
    const auto first = range(0)->speaker;
    ASSERT_EQ(first->name, "New Speaker");
    ASSERT_EQ(range(1)->speaker->name, "New Speaker");
    speakers.records().editSpeakerNameFinish(first, "Ann");
    settle();
    ASSERT_EQ(first->name, "Ann");

    ad.undoManager->undo();
    settle();
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_EQ(first->name, "New Speaker");
    EXPECT_EQ(db("speakers/" + first->uuid.toStdString() + "/name").toString(), "New Speaker");
    EXPECT_EQ(ad.undoManager->redoActionName(), "Speaker Name");
    ad.undoManager->redo();
    settle();
    EXPECT_EQ(first->name, "Ann");
    EXPECT_EQ(db("speakers/" + first->uuid.toStdString() + "/name").toString(), "Ann");
}

// A speaker the transcript lists without a range is not the new speaker's business: it stays,
// through the add, its undo and a speaker change that gives it a range and takes it back.
TEST_F(SpeakerAssignmentTest, SpeakersWithoutRangesOutliveNewSpeakersAndTheirUndo)
{
    ranges("AB");
    const auto idle = addSpeaker("SZ", "Zoe", "green");
    speakers.buildSpeakersList();
    table.reloadData();
    speakers.assignment().changeSpeakerRange(range(1), nullptr, kChangeNewSpeaker, false);
    settle();
    EXPECT_TRUE(speaker("B")->deleted);
    EXPECT_FALSE(idle->deleted);
    EXPECT_TRUE(ad.speakers.contains(idle));
    EXPECT_TRUE(db("speakers/SZ/deleted").isNull());

    ad.undoManager->undo();
    settle();
    EXPECT_FALSE(speaker("B")->deleted);
    EXPECT_FALSE(idle->deleted);
    EXPECT_TRUE(ad.speakers.contains(idle));

    speakers.assignment().changeSpeaker(idle, range(1), {}, false, nullptr, nullptr);
    settle();
    EXPECT_EQ(layout(), "AZoe");
    ad.undoManager->undo();
    settle();
    EXPECT_EQ(layout(), "AB");
    EXPECT_FALSE(idle->deleted);
    EXPECT_TRUE(ad.speakers.contains(idle));
}

// Speakers without a range that another computer adds while the transcript is open here are
// kept, like those the transcript opened with, through Add New Speaker and its undo.
TEST_F(SpeakerAssignmentTest, SpeakersWithoutRangesFromAnotherComputerOutliveANewSpeakerAndItsUndo)
{
    const auto node = [](const char* name, const char* color) {
        return DatabaseValue::object({{"name", name}, {"color", color}});
    };
    const auto rangeNode = [](const char* speaker, std::int64_t start) {
        return DatabaseValue::object({{"speaker", speaker}, {"start", start}});
    };
    otherComputer.reference("transcripts/T").setValue(DatabaseValue::object({
        {"words", DatabaseValue::object({{"W0", DatabaseValue::object({{"name", "one"}, {"start", 0}, {"end", 500}})},
                                         {"W1", DatabaseValue::object({{"name", "two"}, {"start", 1000}, {"end", 1500}})},
                                         {"W2", DatabaseValue::object({{"name", "three"}, {"start", 2000}, {"end", 2500}})}})},
        {"speakers", DatabaseValue::object({{"SA", node("Ann", "red")}, {"SB", node("Bo", "blue")}, {"SC", node("Cy", "teal")}})},
        {"speaker_ranges", DatabaseValue::object({{"R0", rangeNode("SA", 0)}, {"R1", rangeNode("SB", 1000)},
                                                  {"R2", rangeNode("SC", 2000)}})},
    }));
    main.drain();
    auto file = std::make_shared<QVFile>();
    file->uuid = "T";
    file->fileMetadataRef = ad.filesMetadataRef.child("T");
    loader.loadFile(file);
    main.drain();
    ASSERT_TRUE(file->hasLoadedTranscript);
    // What opening the transcript screen does.
    speakers.buildSpeakersList();
    speakers.refreshSpeakersWithAnimation();
    main.drain();
    linkWords();

    otherComputer.reference("transcripts/T/speakers").updateChildValues(
        {{"SD", node("Dee", "green")}, {"SE", node("Eve", "lime")}});
    main.drain();
    ASSERT_EQ(ad.speakers.size(), 5u);

    speakers.assignment().changeSpeakerRange(ad.speakerRanges.at(2), nullptr, kChangeNewSpeaker, false);
    settle();
    EXPECT_EQ(ad.speakers.size(), 5u) << "Cy goes, New Speaker comes; Dee and Eve stay";
    EXPECT_TRUE(db("speakers/SD/deleted").isNull());
    ad.undoManager->undo();
    settle();
    std::vector<QString> live;
    for (const auto& speaker : ad.speakers)
        live.push_back(speaker->name);
    std::sort(live.begin(), live.end());
    EXPECT_EQ(live, (std::vector<QString>{"Ann", "Bo", "Cy", "Dee", "Eve"}));
    for (const char* uuid : {"SA", "SB", "SC", "SD", "SE"})
        EXPECT_FALSE(db(std::string("speakers/") + uuid + "/deleted").toBool()) << uuid;
    EXPECT_EQ(table.numberOfRows(), 5);
}

TEST_F(SpeakerAssignmentTest, RemovingSpeakerRangesAsksFirstAndCannotBeUndone)
{
    ranges("ABAC");
    speakers.assignment().changeSpeakerRange(range(3), nullptr, kChangePreviousSpeaker, false);
    settle();
    ASSERT_TRUE(ad.undoManager->canUndo());

    alerts.script(kAlertFirstButtonReturn + 1);
    speakers.assignment().removeSpeakerRanges();
    settle();
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    const Alert& sheet = alerts.shownAlerts()[0];
    EXPECT_EQ(sheet.messageText, "Are you sure you want to remove all speaker ranges on this file?");
    EXPECT_EQ(sheet.informativeText, "You cannot undo this action.");
    EXPECT_EQ(sheet.buttons, (QStringList{"Remove", "Cancel"}));
    EXPECT_EQ(layout(), "ABA");

    alerts.script(kAlertFirstButtonReturn);
    speakers.assignment().removeSpeakerRanges();
    settle();
    EXPECT_EQ(layout(), "A");
    EXPECT_EQ(speaker("A")->rangeCount, 1);
    EXPECT_TRUE(speaker("B")->deleted);
    EXPECT_EQ(db("speaker_ranges/R1"), DatabaseValue::object({{"deleted", true}, {"speaker", "SA"}}));
    EXPECT_FALSE(ad.undoManager->canUndo()) << "older steps would act on the merged ranges";
}

TEST_F(SpeakerAssignmentTest, RemovingSpeakerRangesUnderTheGreySpeakerMergesNone)
{
    ranges("GAB");
    speakers.assignment().removeSpeakerRanges();
    settle();
    EXPECT_EQ(layout(), "GGG");
    EXPECT_EQ(speaker("G")->rangeCount, 3);
    EXPECT_TRUE(speaker("A")->deleted);
}

TEST_F(SpeakerAssignmentTest, LongChainsOfUndoAndRedoGiveBackEveryStateInMemoryAndStored)
{
    ranges("ABAC");
    for (const auto& word : ad.words)
        ad.wordsMetadataRef.child(word->uuid.toStdString()).setValue(DatabaseValue::object({{"name", word->name().toStdString()}, {"new_paragraph", false}}));
    for (const auto& r : ad.speakerRanges) {
        ad.speakerRangesMetadataRef.child(r->uuid.toStdString())
            .setValue(DatabaseValue::object({{"speaker", r->speaker->uuid.toStdString()}, {"start", r->start}}));
    }
    for (const auto& s : ad.speakers) {
        ad.speakersMetadataRef.child(s->uuid.toStdString())
            .setValue(DatabaseValue::object({{"color", s->color.toStdString()}, {"name", s->name.toStdString()}}));
    }
    settle();
    // The ranges with their speakers, each speaker's range count beside the live ranges that
    // name it, and the words.
    const auto model = [this] {
        QStringList parts;
        for (const auto& r : ad.speakerRanges)
            parts << QString("%1@%2").arg(r->speaker->name).arg(r->start);
        QStringList speakerParts;  // the order of the speakers set means nothing
        for (const auto& s : ad.speakers) {
            const auto live = std::count_if(ad.speakerRanges.begin(), ad.speakerRanges.end(),
                                            [&](const auto& r) { return r->speaker == s; });
            speakerParts << QString("%1 %2 %3/%4").arg(s->name, s->color).arg(s->rangeCount).arg(live);
        }
        speakerParts.sort();
        parts << speakerParts;
        for (const auto& w : ad.words)
            parts << w->name();
        return parts.join(' ');
    };
    const auto live = [this] {
        DatabaseValue transcript = db("");
        for (const char* kind : {"words", "speaker_ranges", "speakers"}) {
            std::vector<DatabaseValue::Entry> kept;
            for (const DatabaseValue list = transcript.child(kind); const auto& child : list.children()) {
                if (!child.value.child("deleted").toBool())
                    kept.emplace_back(child.key, child.value.withChild("deleted", false));
            }
            transcript = transcript.withChild(kind, DatabaseValue::map(kept));
        }
        return transcript;
    };
    const auto rangeAt = [this](std::size_t i) { return ad.speakerRanges.at(i); };
    const std::function<void()> steps[] = {
        [&] {
            setCurrentWord(1);
            speakers.addSpeakerRangeAutoSelect(false);
            settle();
            speakers.assignment().changeSpeakerRange(ad.pendingNewSpeakerRange, speaker("C"), kChangeChosenSpeaker, false);
        },
        [&] { speakers.assignment().changeSpeakerRange(rangeAt(2), nullptr, kChangeNewSpeaker, false); },
        [&] { speakers.records().editSpeakerNameFinish(rangeAt(2)->speaker, "Dee"); },
        [&] { speakers.records().changeSpeakerToColorName(rangeAt(2)->speaker, "red"); },
        [&] { speakers.assignment().changeSpeakerRange(rangeAt(3), nullptr, kChangePreviousSpeaker, false); },
        [&] {
            linkWords();
            setCurrentWord(3);
            speakers.changeNextSpeakerRangeStartToCurrentWord();
        },
    };
    std::vector<QString> models{model()};
    std::vector<DatabaseValue> stored{live()};
    for (const auto& step : steps) {
        step();
        settle();
        models.push_back(model());
        stored.push_back(live());
    }
    const std::size_t count = std::size(steps);
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = count; i-- > 0;) {
            ad.undoManager->undo();
            settle();
            EXPECT_EQ(model(), models[i]) << "undone to step " << i << ", round " << round;
            EXPECT_EQ(encodeValue(live()), encodeValue(stored[i])) << "undone to step " << i << ", round " << round;
        }
        EXPECT_FALSE(ad.undoManager->canUndo());
        for (std::size_t i = 1; i <= count; ++i) {
            ad.undoManager->redo();
            settle();
            EXPECT_EQ(model(), models[i]) << "redone to step " << i << ", round " << round;
            EXPECT_EQ(encodeValue(live()), encodeValue(stored[i])) << "redone to step " << i << ", round " << round;
        }
    }
}

TEST_F(SpeakerAssignmentTest, AViewOnlyFileRefusesEverySpeakerWrite)
{
    ranges("AB");
    speakers.buildSpeakersList();
    table.reloadData();
    setCurrentWord(1);
    ad.isViewingOnly = true;
    const std::function<void()> commands[] = {
        [&] { speakers.addSpeakerRangeAutoSelect(false); },
        [&] { speakers.addSpeakerRangeAutoSelect(true); },
        [&] { speakers.changeSpeakerRangeStartToCurrentWord(); },
        [&] { speakers.changeNextSpeakerRangeStartToCurrentWord(); },
        [&] { speakers.panel().nameEditEnded(table.cell(0), "Other"); },
        [&] {
            speakers.panel().showColorPopoverForSpeaker(speaker("A"));
            speakers.panel().changePopoverSpeakerToColorName("teal");
        },
        [&] { speakers.assignment().removeSpeakerRanges(); },
    };
    for (const auto& command : commands) {
        command();
        settle();
    }
    EXPECT_EQ(alerts.beepCount(), 7);
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_TRUE(db("").isNull());
    EXPECT_EQ(table.cell(0).name, "A");
    EXPECT_EQ(layout(), "AB");
}

TEST_F(SpeakerAssignmentTest, RemovingRangesConfirmedAfterTheEditRightWentElsewhereWritesNothing)
{
    ranges("AB");
    alerts.setHoldUnscripted(true);
    speakers.assignment().removeSpeakerRanges();
    settle();
    ASSERT_TRUE(alerts.hasOpenAlert());
    // Another computer takes the edit right while the sheet is open.
    ad.isViewingOnly = true;
    alerts.answerOpenAlert(kAlertFirstButtonReturn);
    settle();
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_TRUE(db("").isNull());
    EXPECT_EQ(layout(), "AB");
}

}  // namespace
}  // namespace qv::speakers::testing
