#include "SpeakersFixture.h"

#include "speakers/SpeakerRangeVisibility.h"

namespace qv::speakers::testing {
namespace {

class SpeakerHeaderRowsTest : public SpeakersFixture {
protected:
    void SetUp() override
    {
        ann = addSpeaker("SA", "Ann", "red");
        bo = addSpeaker("SB", "Bo", "blue");
        grey = addSpeaker("SG", "Unknown", "gray");
        addRange("R0", 0, ann);
        addRange("R1", 2000, bo);
        addRange("R2", 4000, grey);
        addRange("R3", 6000, ann);
        addWords({"a", "b", "c", "d", "e", "f", "g", "h"});
        speakers.buildSpeakersList();
        host.rows = 8;
        for (std::size_t i = 0; i < 4; ++i)
            host.cells[std::int64_t(i) * 2].range = ad.speakerRanges.at(i);
    }
    FakeHeaderCell& cell(std::size_t rangeIndex) { return host.cells[std::int64_t(rangeIndex) * 2]; }
    std::shared_ptr<QVSpeaker> ann, bo, grey;
};

TEST_F(SpeakerHeaderRowsTest, MenuOffersNewSpeakerColouredNeighboursAndEverySpeaker)
{
    const struct {
        std::int64_t range;
        std::vector<QString> titles;
        QString selected;
    } cases[] = {
        {0, {"New Speaker [0]", "---", "Next Speaker (Bo) [2]", "---", "Ann [-1]", "Bo [-1]", "Unknown [-1]"}, "Ann"},
        {1, {"New Speaker [0]", "---", "Previous Speaker (Ann) [1]", "---", "Ann [-1]", "Bo [-1]", "Unknown [-1]"}, "Bo"},
        {2, {"New Speaker [0]", "---", "Previous Speaker (Bo) [1]", "Next Speaker (Ann) [2]", "---", "Ann [-1]",
             "Bo [-1]", "Unknown [-1]"},
         "Unknown"},
        {3, {"New Speaker [0]", "---", "Ann [-1]", "Bo [-1]", "Unknown [-1]"}, "Ann"},
    };
    for (const auto& c : cases) {
        speakers.headerRows().buildSpeakerRangePopup(c.range, &cell(std::size_t(c.range)), false);
        settle();
        EXPECT_EQ(cell(std::size_t(c.range)).titles(), c.titles) << c.range;
        EXPECT_EQ(cell(std::size_t(c.range)).menu.selectedTitle(), c.selected) << c.range;
        EXPECT_EQ(cell(std::size_t(c.range)).redraws, 1);
        EXPECT_EQ(cell(std::size_t(c.range)).opened, 0);
    }
    EXPECT_TRUE(speakers.headerRows().menuForRange(4).items.empty());
}

TEST_F(SpeakerHeaderRowsTest, ItemTagsMapToChangeTypes)
{
    const auto menu = speakers.headerRows().menuForRange(2);
    std::vector<int> types;
    for (const auto& item : menu.items)
        if (!item.separator)
            types.push_back(choiceForItem(item).changeType);
    EXPECT_EQ(types, (std::vector<int>{1, 2, 3, -1, -1, -1}));
    EXPECT_EQ(choiceForItem(menu.items.back()).speaker, grey);
    const auto odd = choiceForItem({"x", 9, bo, false});
    EXPECT_EQ(odd.changeType, -1);
    EXPECT_FALSE(odd.speaker);
}

TEST_F(SpeakerHeaderRowsTest, ARangeNamingADeletedSpeakerShowsNoneSelected)
{
    bo->deleted = true;
    ad.speakers.remove(bo);
    ad.speakersDeleted.add(bo);
    speakers.buildSpeakersList();
    speakers.headerRows().buildSpeakerRangePopup(1, &cell(1), false);
    settle();
    EXPECT_EQ(cell(1).menu.selectedIndex, -1);
    EXPECT_EQ(cell(1).menu.selectedTitle(), "");
    EXPECT_EQ(cell(1).titles().back(), "Unknown [-1]");
}

TEST_F(SpeakerHeaderRowsTest, BuildOpensTheMenuOneTurnLaterAndIgnoresRowsThatAreGone)
{
    speakers.headerRows().buildSpeakerRangePopup(1, &cell(1), true);
    EXPECT_TRUE(cell(1).menu.items.empty()) << "built on a later turn";
    settle();
    EXPECT_EQ(cell(1).opened, 1);

    FakeHeaderCell stray;
    speakers.headerRows().buildSpeakerRangePopup(9, &stray, true);
    speakers.headerRows().buildSpeakerRangePopup(1, &stray, true);
    settle();
    EXPECT_TRUE(stray.menu.items.empty());
    EXPECT_EQ(stray.opened, 0);
}

TEST_F(SpeakerHeaderRowsTest, RebuildsReachOnlyTheRowsAsked)
{
    speakers.headerRows().reloadRowsSpeakerNamesForSpeaker(ann);
    settle();
    EXPECT_EQ(cell(0).redraws + cell(3).redraws, 2);
    EXPECT_EQ(cell(1).redraws + cell(2).redraws, 0);
    speakers.headerRows().reloadRowsAllSpeakerNames();
    settle();
    EXPECT_EQ(cell(1).redraws, 1);
    EXPECT_EQ(cell(2).redraws, 1);

    setCurrentWord(3);
    speakers.showSpeakerMenuForCurrentRange();
    settle();
    EXPECT_EQ(cell(1).opened, 1);
}

TEST_F(SpeakerHeaderRowsTest, ClosingAPendingRangesMenuWithoutAChoiceCancelsTheAdd)
{
    setCurrentWord(3);
    speakers.addSpeakerRangeAutoSelect(false);
    settle();
    ASSERT_TRUE(ad.pendingNewSpeakerRange);
    speakers.headerRows().menuDidClose();
    main.advance(0.19);
    EXPECT_TRUE(ad.pendingNewSpeakerRange);
    main.advance(0.01);
    EXPECT_FALSE(ad.pendingNewSpeakerRange);
    EXPECT_EQ(ad.speakerRanges.size(), 4u);
    EXPECT_EQ(wordNames()[2], "c");
}

TEST_F(SpeakerHeaderRowsTest, AChoiceMadeAsTheMenuClosesIsNotCancelled)
{
    setCurrentWord(3);
    speakers.addSpeakerRangeAutoSelect(false);
    settle();
    const auto pending = ad.pendingNewSpeakerRange;
    FakeHeaderCell pendingCell;
    pendingCell.range = pending;
    editing.editOpen = true;
    const auto menu = speakers.headerRows().menuForRange(2);
    speakers.headerRows().changedSpeakerPopup(&pendingCell, menu.items.back());
    speakers.headerRows().menuDidClose();
    main.advance(0.3);
    EXPECT_FALSE(pending->deleted);
    EXPECT_EQ(pending->speaker, grey);
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Speaker Range");
    EXPECT_EQ(editing.calls.back(), "finishEditingIfNecessary");
}

TEST_F(SpeakerHeaderRowsTest, AViewOnlyFileRefusesAChoice)
{
    ad.isViewingOnly = true;
    const auto menu = speakers.headerRows().menuForRange(1);
    speakers.headerRows().changedSpeakerPopup(&cell(1), menu.items[2]);
    main.advance(0.1);
    EXPECT_EQ(ad.speakerRanges.at(1)->speaker, bo);
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_TRUE(db("").isNull());
}

class RangeButtonsTest : public SpeakersFixture {};

TEST_F(RangeButtonsTest, ButtonsShowOnlyWhereTheirChangeApplies)
{
    const auto ann = addSpeaker("SA", "Ann", "red");
    const auto bo = addSpeaker("SB", "Bo", "blue");
    addRange("R0", 0, ann);
    addRange("R1", 3000, bo);
    addWords({"a", "b", "c", "d", "e", "f"});
    using H = SpeakerRangeButtonsHidden;
    const struct {
        const char* what;
        std::size_t word;
        std::function<void()> state;
        H hidden;
    } cases[] = {
        {"middle of the first range", 1, [] {}, {true, false, false}},
        {"middle of the last range", 4, [] {}, {false, false, true}},
        {"first word of the second range", 3, [] {}, {true, true, true}},
        {"first word of the transcript", 0, [] {}, {true, true, true}},
        {"several words selected", 1, [this] { editing.multipleSelected = true; }, {true, true, true}},
        {"inline edit", 1, [this] { ad.isEditing = true; }, {true, true, true}},
        {"view only", 1, [this] { ad.isViewingOnly = true; }, {true, true, true}},
        {"before the first word", 1, [this] { ad.isBeforeFirstWord = true; }, {true, true, true}},
        {"no current word", 1, [this] { ad.currentWord = nullptr; }, {true, true, true}},
    };
    std::vector<H> seen;
    speakers.setRangeButtonsObserver([&](const H& h) { seen.push_back(h); });
    for (const auto& c : cases) {
        editing.multipleSelected = ad.isEditing = ad.isViewingOnly = ad.isBeforeFirstWord = false;
        setCurrentWord(c.word);
        c.state();
        speakers.refreshSpeakerRangeChangesAllowed();
        EXPECT_EQ(speakers.rangeButtonsHidden(), c.hidden) << c.what;
        EXPECT_EQ(seen.back(), c.hidden) << c.what;
    }

    ad.speakerRanges.remove(ad.speakerRanges.at(1));
    linkWords();
    setCurrentWord(4);
    speakers.refreshSpeakerRangeChangesAllowed();
    EXPECT_EQ(speakers.rangeButtonsHidden(), (H{true, false, true})) << "only range: only add";
}

}  // namespace
}  // namespace qv::speakers::testing
