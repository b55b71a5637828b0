#include "CustomWordsFixture.h"
#include "model/EditingServices.h"
#include "platform/foundation/Preferences.h"
#include "platform/ui/ScriptedPresenters.h"
#include "search/QVCustomWordsLeftFlowLayout.h"
#include "search/QVCustomWordsViewController.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

namespace qv::search {
namespace {

// Records what the panel asks of transcript editing; the selection is the test's.
class RecordingEditing final : public EditingServices {
public:
    QVOrderedSet<QVWord> selection;
    QStringList calls;

    QVOrderedSet<QVWord> getSelectedWords() override { return selection; }
    void clearSelection() override {}
    bool hasMultipleWordsSelected() override { return selection.size() > 1; }
    bool finishEditingIfNecessary() override { return false; }
    void willEditTextView(const TextViewModel&, TextRange, const QString&) override {}
    void editWordsCancel() override {}
    void editWordsFinishWithResumePlayback(bool) override {}
    void insertStringIntoTextView(const QString& text) override { calls << "insert:" + text; }
    void editWords(const QVOrderedSet<QVWord>& words, const QString& text) override
    {
        calls << QString("edit:%1:%2").arg(words.size()).arg(text);
    }
    bool canUppercaseFirstWords(const QVOrderedSet<QVWord>&) override { return false; }
    bool canLowercaseWord(const std::shared_ptr<QVWord>&) override { return false; }
    bool editWordsToUppercaseFirst(const QVOrderedSet<QVWord>&, bool) override { return false; }
    bool editWordsToLowercase(const QVOrderedSet<QVWord>&, bool) override { return false; }
    void configureUI() override {}
    void refreshEditingOptions() override {}

    void select(const QStringList& names)
    {
        selection = {};
        for (const QString& name : names) {
            auto word = std::make_shared<QVWord>();
            word->setName(name);
            selection.add(word);
        }
    }
};

class CustomWordsPanelTest : public CustomWordsFixture {
protected:
    CustomWordsPanelTest() : preferences(folder.path())
    {
        preferences.registerDefaults({{"QVCustomWordsViewFile", true},
                                      {"QVCustomWordsViewAccount", false},
                                      {"QVCustomWordsAddFile", true},
                                      {"QVCustomWordsAddAccount", false}});
        ad.editingServices = &editing;
        QVCustomWordsViewController::Services services;
        services.resetFocus = [this] { ++resetFocusCount; };
        services.showMessage = [this](QWidget* anchor, const QString& text) {
            messages << anchor->objectName() + ": " + text;
            return new QLabel(text);
        };
        panel = std::make_unique<QVCustomWordsViewController>(ad, queue, preferences, alerts, services);
        panel->view()->resize(300, 400);
        panel->view()->show();
        // The account observers refresh the panel after each reported change, animated.
        changed = [this] { panel->refreshCustomWordsDisplayWithAnimation(true); };
    }

    QStringList tiles() const
    {
        QStringList words;
        for (const QVCustomWordsItem* item : panel->collectionView()->items())
            words << item->word();
        return words;
    }
    QVCustomWordsItem* tile(const QString& word) const
    {
        for (QVCustomWordsItem* item : panel->collectionView()->items())
            if (item->word() == word)
                return item;
        return nullptr;
    }
    void click(const QString& word)
    {
        const auto& items = panel->collectionView()->items();
        const auto at = std::find(items.begin(), items.end(), tile(word));
        ASSERT_NE(at, items.end()) << word.toStdString();
        panel->collectionView()->clickItem(int(at - items.begin()));
    }
    // A drop on `button` of text offered with `actions`; answers whether the drop was taken.
    bool drop(QWidget* button, Qt::DropActions actions)
    {
        QMimeData data;
        data.setText("whatever");
        QDragEnterEvent enter(QPoint(2, 2), actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(button, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(2, 2), actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(button, &dropped);
        return dropped.isAccepted();
    }

    QTemporaryDir folder;
    Preferences preferences;
    ScriptedAlertPresenter alerts;
    RecordingEditing editing;
    std::unique_ptr<QVCustomWordsViewController> panel;
    QStringList messages;
    int resetFocusCount = 0;
};

TEST_F(CustomWordsPanelTest, TilesFollowEveryChangeOfTheShownListsAndTheMessageShowsWhenThereAreNone)
{
    EXPECT_TRUE(panel->noCustomWordsMessage()->isVisible());
    storeElsewhere("files/F1/custom_words", "+a", "Quorum");
    storeElsewhere("files/F1/custom_words", "+b", "lumen");
    storeElsewhere("users/U1/custom_words", "+c", "Vell");
    EXPECT_EQ(tiles(), (QStringList{"lumen", "Quorum"}));
    EXPECT_FALSE(panel->noCustomWordsMessage()->isVisible());

    // The steps the panel meets: one word added or removed, a list shown or hidden, and a
    // change that adds and removes at once (two words arriving in one turn).
    panel->viewAccountCustomWordsButton()->click();
    EXPECT_EQ(tiles(), (QStringList{"lumen", "Quorum", "Vell"}));
    EXPECT_TRUE(preferences.boolForKey("QVCustomWordsViewAccount"));
    storeElsewhere("users/U1/custom_words", "+d", "Quorum");
    EXPECT_EQ(tiles(), (QStringList{"lumen", "Quorum", "Vell"}));
    ad.currentFile->customWords.remove("+b");
    ad.currentFile->customWords.insert("+e", "Aster");
    panel->refreshCustomWordsDisplayWithAnimation(true);
    EXPECT_EQ(tiles(), (QStringList{"Aster", "Quorum", "Vell"}));
    storeElsewhere("files/F1/custom_words", "+a", nullptr);
    EXPECT_EQ(tiles(), (QStringList{"Aster", "Quorum", "Vell"}));
    storeElsewhere("users/U1/custom_words", "+d", nullptr);
    EXPECT_EQ(tiles(), (QStringList{"Aster", "Vell"}));
    panel->viewFileCustomWordsButton()->click();
    EXPECT_EQ(tiles(), QStringList{"Vell"});
    EXPECT_FALSE(preferences.boolForKey("QVCustomWordsViewFile"));
    EXPECT_EQ(tiles(), panel->allWords());

    // Both lists hidden: no tiles, and the message keeps what it showed.
    panel->viewAccountCustomWordsButton()->click();
    EXPECT_TRUE(tiles().isEmpty());
    EXPECT_FALSE(panel->noCustomWordsMessage()->isVisible());
    storeElsewhere("users/U1/custom_words", "+c", nullptr);
    panel->viewAccountCustomWordsButton()->click();
    EXPECT_TRUE(panel->noCustomWordsMessage()->isVisible());
}

TEST_F(CustomWordsPanelTest, TooltipsNameTheListsOnlyWhileBothAreShown)
{
    storeElsewhere("files/F1/custom_words", "+a", "Quorum");
    storeElsewhere("users/U1/custom_words", "+b", "Quorum");
    storeElsewhere("users/U1/custom_words", "+c", "Vell");
    auto hover = [this](const QString& word) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(tile(word), &enter);
        return tile(word)->toolTip();
    };
    EXPECT_EQ(hover("Quorum"), QString());
    panel->viewAccountCustomWordsButton()->click();
    EXPECT_EQ(hover("Quorum"), "Exists in File & Account");
    EXPECT_EQ(hover("Vell"), "Exists in Account");
    panel->viewFileCustomWordsButton()->click();
    EXPECT_EQ(hover("Vell"), QString());
}

TEST_F(CustomWordsPanelTest, ThePopoverAddsTheLinesThatCountToTheChosenListsAccountFirst)
{
    QVCustomWordsAddViewController& popover = panel->popoverViewController();
    panel->addWordsButton()->pressed();
    ASSERT_TRUE(popover.popover()->isVisible());
    popover.addToFile()->setChecked(false);
    popover.textView()->setPlainText("Quorum");
    EXPECT_FALSE(popover.addWordsButton()->isEnabled());
    popover.addToAccount()->setChecked(true);
    EXPECT_TRUE(popover.addWordsButton()->isEnabled());
    popover.addToFile()->setChecked(true);
    popover.textView()->setPlainText("Quorum,\n\none two three four five six\nAnn\tLee\n  Vell.  \nQuorum");
    popover.addWordsButton()->click();
    EXPECT_FALSE(popover.popover()->isVisible());
    EXPECT_EQ(accountWords(), (QStringList{"Quorum", "Ann Lee", "Vell"}));
    EXPECT_EQ(fileWords(), (QStringList{"Quorum", "Ann Lee", "Vell"}));
    // Each word went to the account before the file: push keys sort in the order written.
    const DatabaseValue account = backend.value("users/U1/custom_words");
    const DatabaseValue file = backend.value("files/F1/custom_words");
    EXPECT_LT(account.children().begin().operator*().key, file.children().begin().operator*().key);
    // The check boxes start as they were left.
    EXPECT_TRUE(preferences.boolForKey("QVCustomWordsAddAccount"));

    // Shown again, it is empty; with no list chosen nothing is added, and it closes anyway.
    panel->selectedAddNewWordsMenu();
    EXPECT_TRUE(popover.textView()->toPlainText().isEmpty());
    popover.textView()->setPlainText("Lumen");
    popover.addToFile()->setChecked(false);
    popover.addToAccount()->setChecked(false);
    popover.addEnteredWords();
    EXPECT_FALSE(popover.popover()->isVisible());
    EXPECT_EQ(accountWords().size(), 3);
}

TEST_F(CustomWordsPanelTest, TheAddButtonOffersTheSelectionOfOneToFiveWords)
{
    const struct {
        QStringList selection;
        bool menu;
    } cases[] = {
        {{}, false},
        {{"Ann", "Lee,"}, true},
        {{"one", "two", "three", "four", "five"}, true},
        {{"one", "two", "three", "four", "five", "six"}, false},
    };
    for (const auto& c : cases) {
        editing.select(c.selection);
        panel->popoverViewController().close();
        panel->addWordsButton()->pressed();
        EXPECT_EQ(panel->addWordsMenu()->actions().size(), c.menu ? 3 : 0) << c.selection.join(' ').toStdString();
        EXPECT_EQ(panel->popoverViewController().popover()->isVisible(), !c.menu);
        panel->addWordsMenu()->hide();
    }
    editing.select({"Ann", "Lee,"});
    panel->addWordsButton()->pressed();
    const QList<QAction*> items = panel->addWordsMenu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "Add \u201CAnn Lee\u201D to File");
    EXPECT_EQ(items[1]->text(), "Add \u201CAnn Lee\u201D to Account");
    EXPECT_EQ(items[2]->text(), "Add New Words");
    items[0]->trigger();
    queue.drain();
    items[0]->trigger();
    EXPECT_EQ(fileWords(), QStringList{"Ann Lee"});
    EXPECT_TRUE(accountWords().isEmpty());
    items[1]->trigger();
    EXPECT_EQ(accountWords(), QStringList{"Ann Lee"});
    panel->addWordsMenu()->hide();
}

TEST_F(CustomWordsPanelTest, AClickedTileReplacesTheSelectionOrGoesIntoTheEditExceptWhenViewOnly)
{
    storeElsewhere("files/F1/custom_words", "+a", "Quorum");
    editing.select({"core", "rum"});
    click("Quorum");
    EXPECT_EQ(editing.calls, QStringList{"edit:2:Quorum"});
    EXPECT_EQ(resetFocusCount, 1);
    EXPECT_TRUE(panel->collectionView()->selectionIndexes().empty());

    ad.isEditing = true;
    click("Quorum");
    EXPECT_EQ(editing.calls.last(), "insert:Quorum");

    ad.isEditing = false;
    ad.isViewingOnly = true;
    click("Quorum");
    EXPECT_EQ(editing.calls.size(), 2);
}

TEST_F(CustomWordsPanelTest, EditModeDeletesTheSelectedWordsFromTheShownListsOnlyAllTheirCopies)
{
    for (const char* key : {"+a", "+b", "+c"})
        storeElsewhere("files/F1/custom_words", key, key == std::string("+b") ? "Lumen" : "Quorum");
    storeElsewhere("files/F1/custom_words", "+d", "Vell");
    storeElsewhere("users/U1/custom_words", "+e", "Quorum");
    panel->editButton()->click();
    EXPECT_TRUE(panel->isEditing());
    EXPECT_TRUE(ad.debugCharacterEditing.endsWith("\nself.isEditing set to 1 in pressedEditButton:\n"));
    EXPECT_EQ(panel->collectionView()->backgroundColor(), QColor(139, 139, 139));
    EXPECT_TRUE(panel->deleteSelectedWordsButton()->isVisible());
    EXPECT_FALSE(panel->deleteSelectedWordsButton()->isEnabled());
    EXPECT_EQ(panel->deleteSelectedWordsButton()->toolTip(), "Delete Selected Custom Word(s)");

    click("Quorum");
    click("Vell");
    click("Vell");
    click("Lumen");
    EXPECT_TRUE(panel->deleteSelectedWordsButton()->isEnabled());
    EXPECT_TRUE(editing.calls.isEmpty());

    alerts.script(kAlertFirstButtonReturn + 1);
    panel->deleteSelectedWordsButton()->click();
    EXPECT_EQ(fileWords().size(), 4);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts().front().messageText, "Are you sure you want to delete the selected custom words?");
    EXPECT_EQ(alerts.shownAlerts().front().buttons, (QStringList{"OK", "Cancel"}));

    // A word arrives from another computer while the question is open: the selection stays on
    // the words chosen.
    alerts.setHoldUnscripted(true);
    panel->deleteSelectedWordsButton()->click();
    storeElsewhere("files/F1/custom_words", "+f", "Aster");
    alerts.answerOpenAlert(kAlertFirstButtonReturn);
    EXPECT_EQ(fileWords(), (QStringList{"Vell", "Aster"}));
    EXPECT_EQ(accountWords(), QStringList{"Quorum"});
    EXPECT_TRUE(panel->collectionView()->selectionIndexes().empty());

    panel->editButton()->click();
    EXPECT_EQ(panel->collectionView()->backgroundColor(), QColor(60, 60, 60));
    EXPECT_FALSE(panel->deleteSelectedWordsButton()->isVisible());
    EXPECT_TRUE(panel->deleteSelectedWordsButton()->toolTip().isEmpty());
}

TEST_F(CustomWordsPanelTest, TilesDroppedOnAListButtonAreCopiedIntoItAndTheMessageCloses)
{
    storeElsewhere("users/U1/custom_words", "+a", "Aster");
    storeElsewhere("users/U1/custom_words", "+b", "Lumen");
    storeElsewhere("users/U1/custom_words", "+c", "Quorum");
    storeElsewhere("files/F1/custom_words", "+d", "Lumen");
    panel->viewAccountCustomWordsButton()->click();
    ASSERT_EQ(tiles(), (QStringList{"Aster", "Lumen", "Quorum"}));

    panel->draggingSessionWillBegin({0, 1, 2});
    EXPECT_TRUE(drop(panel->viewFileCustomWordsButton(), Qt::CopyAction));
    panel->draggingSessionEnded();
    EXPECT_EQ(fileWords(), (QStringList{"Lumen", "Aster", "Quorum"}));
    EXPECT_EQ(messages, QStringList{"viewFileCustomWordsButton: Copied 3 words to File"});
    ASSERT_TRUE(panel->popoverCopyConfirmation());
    queue.advance(2.9);
    EXPECT_TRUE(panel->popoverCopyConfirmation());
    queue.advance(0.2);
    EXPECT_FALSE(panel->popoverCopyConfirmation());

    // Text dragged from elsewhere copies nothing; a drag that offers no copy is refused.
    EXPECT_TRUE(drop(panel->viewAccountCustomWordsButton(), Qt::CopyAction));
    EXPECT_EQ(messages.last(), "viewAccountCustomWordsButton: Copied 0 words to Account");
    EXPECT_EQ(accountWords().size(), 3);
    EXPECT_FALSE(drop(panel->viewAccountCustomWordsButton(), Qt::MoveAction));
    EXPECT_EQ(messages.size(), 2);
}

TEST(QVCustomWordsLeftFlowLayout, LinesStartAtTheLeftInsetWithTheMinimumSpacing)
{
    // 100 points wide: 84 for tiles between the insets.
    const std::vector<QSize> sizes{{30, 16}, {20, 16}, {40, 16}, {84, 16}, {90, 16}, {10, 16}};
    const std::vector<QRect> flow = QVCustomWordsLeftFlowLayout::flowFrames(sizes, 100);
    const std::vector<QRect> left = QVCustomWordsLeftFlowLayout::layoutAttributesForElements(flow);
    const std::vector<QPoint> expected{{8, 8}, {43, 8}, {8, 29}, {8, 50}, {8, 71}, {8, 92}};
    ASSERT_EQ(left.size(), expected.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        EXPECT_EQ(left[i].topLeft(), expected[i]) << i;
        EXPECT_EQ(left[i].size(), sizes[i]) << i;
    }
    // The plain flow spread the first line over the width; the last tile of it ends at the inset.
    EXPECT_EQ(flow[1].right() + 1, 92);
    EXPECT_EQ(QVCustomWordsLeftFlowLayout::contentHeight(left), 116);
    EXPECT_TRUE(QVCustomWordsLeftFlowLayout::layoutAttributesForElements({}).empty());
}

TEST(QVCustomWordsItem, TheTileIsTheWordsWidthPlusTenBySixteen)
{
    for (const QString& word : {QStringLiteral("Quorum"), QStringLiteral("i"), QString(5000, QChar('x'))}) {
        const QSize size = QVCustomWordsItem::sizeForWord(word);
        EXPECT_EQ(size.height(), 16);
        EXPECT_EQ(size.width(), int(std::ceil(QFontMetricsF(QVCustomWordsItem::tileFont()).horizontalAdvance(word))) + 10);
    }
}

}  // namespace
}  // namespace qv::search
