#include "InlineEditFixture.h"

#include "editing/QVEditingButtonCell.h"
#include "editing/QVEditingImageButton.h"
#include "editing/QVEditingViewController.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QTest>

#include <map>

namespace {

using Panel = QVEditingViewController;

class EditingPanel : public InlineEditFixture {
protected:
    void openFile(const QString& words, const QString& language = "en-US")
    {
        addRange("Ann");
        addWords(words);
        open(language);
        ad.currentFile->hasTranscript = true;
        showRow();
    }
    bool enabled(int tag) const { return panel.button(tag)->isEnabled(); }
    double alpha(int tag) const { return static_cast<QVEditingImageButton*>(panel.button(tag))->alpha(); }
    // The tags of the enabled buttons.
    std::vector<int> enabledTags() const
    {
        std::vector<int> tags;
        for (int tag = 1; tag <= Panel::kButtonCount; ++tag) {
            if (enabled(tag))
                tags.push_back(tag);
        }
        return tags;
    }

    Panel panel{ad, editing};
};

TEST_F(EditingPanel, EnableRulesFollowTheSelectionAndTheWordEnding)
{
    const struct {
        const char* name;
        QString words;
        QString first;
        QString last;
        QString language;
        std::map<int, bool> expected;
    } cases[] = {
        {"a word ending in a comma", "one, two", "W1", "W1", "en-US",
         {{Panel::kTagComma, false}, {Panel::kTagPeriod, true}, {Panel::kTagSemicolon, true},
          {Panel::kTagColon, true}, {Panel::kTagJoin, false}, {Panel::kTagParagraphBreak, true},
          {Panel::kTagDeleteWord, true}, {Panel::kTagDeletePunctuation, true}}},
        {"a word ending in a closing double quote", "\u201Cone\u201D two", "W1", "W1", "en-US",
         {{Panel::kTagSemicolon, false}, {Panel::kTagColon, false}, {Panel::kTagComma, true},
          {Panel::kTagPeriod, true}}},
        {"a word ending in a guillemet", "\u00ABun\u00BB deux", "W1", "W1", "fr",
         {{Panel::kTagSemicolon, false}, {Panel::kTagColon, false}, {Panel::kTagQuestionMark, true}}},
        {"a word ending in an em dash", "wait\u2014 two", "W1", "W1", "en-US",
         {{Panel::kTagHyphen, false}, {Panel::kTagPeriod, true}}},
        {"a word ending in each remaining mark", "one. two\u2026 three? four!", "W1", "W1", "en-US",
         {{Panel::kTagPeriod, false}, {Panel::kTagEllipsis, true}, {Panel::kTagQuestionMark, true}}},
        {"a word ending in an ellipsis", "one. two\u2026 three? four!", "W2", "W2", "en-US",
         {{Panel::kTagEllipsis, false}, {Panel::kTagPeriod, true}}},
        {"a word ending in a question mark", "one. two\u2026 three? four!", "W3", "W3", "en-US",
         {{Panel::kTagQuestionMark, false}, {Panel::kTagExclamationMark, true}}},
        {"a word ending in an exclamation mark", "one. two\u2026 three? four!", "W4", "W4", "en-US",
         {{Panel::kTagExclamationMark, false}, {Panel::kTagQuestionMark, true}}},
        {"two words", "one two three", "W1", "W2", "en-US",
         {{Panel::kTagComma, false}, {Panel::kTagPeriod, false}, {Panel::kTagEllipsis, false},
          {Panel::kTagSemicolon, false}, {Panel::kTagColon, false}, {Panel::kTagHyphen, true},
          {Panel::kTagQuestionMark, false}, {Panel::kTagExclamationMark, false}, {Panel::kTagJoin, true},
          {Panel::kTagParagraphBreak, false}, {Panel::kTagSingleQuotes, true}, {Panel::kTagDoubleQuotes, true},
          {Panel::kTagParentheses, true}, {Panel::kTagSquareBrackets, true}, {Panel::kTagEdit, true}}},
        {"two words in a Spanish file", "uno dos tres", "W1", "W2", "es",
         {{Panel::kTagQuestionMark, true}, {Panel::kTagExclamationMark, true}, {Panel::kTagComma, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        openFile(c.words, c.language);
        select(c.first, c.last);
        panel.refreshEditingOptions();
        for (const auto& [tag, expected] : c.expected)
            EXPECT_EQ(enabled(tag), expected) << "tag " << tag;
        EXPECT_EQ(alpha(Panel::kTagJoin), enabled(Panel::kTagJoin) ? Panel::kEnabledAlpha : Panel::kDisabledAlpha);
    }
}

TEST_F(EditingPanel, UnavailableFilesAndEditsDisableTheButtons)
{
    const struct {
        const char* name;
        std::function<void(AppDelegate&)> state;
        bool editEnabled;
    } cases[] = {
        {"no transcript yet", [](AppDelegate& ad) { ad.currentFile->hasTranscript = false; }, false},
        {"no file", [](AppDelegate& ad) { ad.currentFile = nullptr; }, false},
        {"playhead before the first word", [](AppDelegate& ad) { ad.isBeforeFirstWord = true; }, false},
        {"a view-only file", [](AppDelegate& ad) { ad.isViewingOnly = true; }, false},
        // During an edit Edit stays as it was, so that pressing it finishes the edit.
        {"an inline edit", [](AppDelegate& ad) { ad.isEditing = true; }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        ad.isBeforeFirstWord = ad.isViewingOnly = ad.isEditing = false;
        openFile("one two");
        select("W1", "W1");
        panel.refreshEditingOptions();
        ASSERT_TRUE(enabled(Panel::kTagEdit));
        c.state(ad);
        panel.refreshEditingOptions();
        EXPECT_EQ(enabledTags(), c.editEnabled ? std::vector<int>{Panel::kTagEdit} : std::vector<int>{});
        EXPECT_EQ(alpha(Panel::kTagEdit), c.editEnabled ? Panel::kEnabledAlpha : Panel::kDisabledAlpha);
        EXPECT_EQ(alpha(Panel::kTagDeleteWord), Panel::kDisabledAlpha);
    }
}

TEST_F(EditingPanel, AWordWithoutTextKeepsTheMarkButtonsAsTheyWere)
{
    openFile("one, two");
    select("W1", "W1");
    panel.refreshEditingOptions();
    ASSERT_FALSE(enabled(Panel::kTagComma));
    w("W2")->setName("");
    select("W2", "W2");
    panel.refreshEditingOptions();
    EXPECT_FALSE(enabled(Panel::kTagComma));
    EXPECT_TRUE(enabled(Panel::kTagPeriod));
}

TEST_F(EditingPanel, ParagraphBreakShowsTheWordsBreak)
{
    openFile("one two");
    w("W2")->newParagraph = true;
    QAbstractButton* paragraph = panel.button(Panel::kTagParagraphBreak);
    select("W2", "W2");
    panel.refreshEditingOptions();
    EXPECT_TRUE(paragraph->isChecked());
    EXPECT_EQ(paragraph->toolTip(), "Delete Paragraph Break  (Shift-Delete)");
    select("W1", "W1");
    panel.refreshEditingOptions();
    EXPECT_FALSE(paragraph->isChecked());
    EXPECT_EQ(paragraph->toolTip(), "Add Paragraph Break (Shift-Return/Enter)");
}

TEST_F(EditingPanel, TheEditControllerReachesThePanelForItsLifetime)
{
    openFile("one two");
    select("W1", "W1");
    editing.refreshEditingOptions();
    EXPECT_TRUE(enabled(Panel::kTagComma));
    // Opening and closing an edit refreshes the panel, then tells the window.
    std::vector<bool> editStates;
    editing.setEditStateChanged([&] { editStates.push_back(ad.isEditing); });
    editing.session.editWordsStartWithMode(WordEditingSession::kQVEditWordSelectAll);
    EXPECT_EQ(enabledTags(), std::vector<int>{Panel::kTagEdit});
    editing.session.editWordsCancel();
    EXPECT_EQ(editStates, (std::vector<bool>{true, false}));
    settle();
    select("W1", "W1");
    editing.refreshEditingOptions();
    EXPECT_TRUE(enabled(Panel::kTagComma));
    {
        Panel second(ad, editing);
        EXPECT_EQ(editing.editingViewController(), &second);
    }
    EXPECT_EQ(editing.editingViewController(), nullptr);
    editing.refreshEditingOptions();
}

TEST_F(EditingPanel, ButtonsRunTheirCommands)
{
    const struct {
        int tag;
        QString first;
        QString last;
        QString text;
        bool resumes;
    } cases[] = {
        {Panel::kTagLowercase, "W2", "W2", "one two Three", false},
        {Panel::kTagUppercase, "W1", "W1", "One Two Three", false},
        {Panel::kTagUppercaseAll, "W2", "W2", "one TWO Three", false},
        {Panel::kTagJoin, "W1", "W2", "oneTwo Three", false},
        {Panel::kTagDeleteWord, "W2", "W2", "one Three", false},
        {Panel::kTagSemicolon, "W1", "W1", "one; Two Three", false},
        {Panel::kTagColon, "W1", "W1", "one: Two Three", false},
        {Panel::kTagQuestionMark, "W1", "W1", "one? Two Three", false},
        {Panel::kTagExclamationMark, "W1", "W1", "one! Two Three", false},
        {Panel::kTagComma, "W1", "W1", "one, Two Three", false},
        {Panel::kTagPeriod, "W1", "W1", "one. Two Three", false},
        {Panel::kTagEllipsis, "W1", "W1", "one\u2026 Two Three", false},
        {Panel::kTagHyphen, "W1", "W2", "one-Two Three", false},
        {Panel::kTagSingleQuotes, "W1", "W2", "\u2018one Two\u2019 Three", true},
        {Panel::kTagDoubleQuotes, "W1", "W2", "\u201Cone Two\u201D Three", true},
        {Panel::kTagParentheses, "W1", "W2", "(one Two) Three", true},
        {Panel::kTagSquareBrackets, "W1", "W2", "[one Two] Three", true},
        {99, "W1", "W1", "one Two Three", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        reset();
        openFile("one Two Three");
        select(c.first, c.last);
        view.take();
        panel.buttonPressed(c.tag);
        settle();
        EXPECT_EQ(text(), c.text);
        // The wrapping commands leave resuming playback to the panel.
        if (c.resumes) {
            EXPECT_TRUE(view.calls.contains("resumePlayback"));
        }
    }
}

TEST_F(EditingPanel, DeletePunctuationButtonStripsTheMarks)
{
    openFile("one, two");
    select("W1", "W1");
    panel.button(Panel::kTagDeletePunctuation)->click();
    EXPECT_EQ(text(), "one two");
    EXPECT_TRUE(stored("words/W1/name").toString() == "one");
}

TEST_F(EditingPanel, SpanishMarksWrapSeveralWords)
{
    openFile("uno dos tres", "es");
    select("W1", "W2");
    panel.refreshEditingOptions();
    panel.button(Panel::kTagQuestionMark)->click();
    settle();
    EXPECT_EQ(text(), "\u00BFuno dos? Tres");
    EXPECT_TRUE(view.take().contains("resumePlayback"));
    reset();
    openFile("uno dos tres", "es");
    select("W2", "W3");
    panel.button(Panel::kTagExclamationMark)->click();
    settle();
    EXPECT_EQ(text(), "uno \u00A1dos tres!");
}

TEST_F(EditingPanel, EditStartsAndFinishesTheInlineEdit)
{
    openFile("one two");
    select("W1", "W1");
    panel.refreshEditingOptions();
    panel.button(Panel::kTagEdit)->click();
    ASSERT_TRUE(ad.isEditing);
    EXPECT_EQ(textView.model().editWindow(), (qv::TextRange{0, 3}));
    QTest::keyClicks(&textView, "s");
    view.take();
    panel.button(Panel::kTagEdit)->click();
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(text(), "ones two");
    EXPECT_EQ(describe(stored("words/W1/name")), describe(qv::DatabaseValue("ones")));
    EXPECT_TRUE(view.calls.contains("resumePlayback"));
}

TEST_F(EditingPanel, EditDoesNothingWithoutACurrentWordOrInAViewOnlyFile)
{
    openFile("one two");
    select("W1", "W1");
    ad.currentWord = nullptr;
    panel.buttonPressed(Panel::kTagEdit);
    EXPECT_FALSE(ad.isEditing);
    select("W1", "W1");
    ad.isViewingOnly = true;
    panel.buttonPressed(Panel::kTagEdit);
    EXPECT_FALSE(ad.isEditing);
}

TEST_F(EditingPanel, ParagraphBreakButtonAddsAndRemovesTheBreak)
{
    openFile("one two");
    w("W2")->newParagraph = true;
    QAbstractButton* paragraph = panel.button(Panel::kTagParagraphBreak);
    select("W2", "W2");
    panel.refreshEditingOptions();
    ASSERT_TRUE(paragraph->isChecked());
    paragraph->click();
    EXPECT_FALSE(w("W2")->newParagraph);
    EXPECT_FALSE(stored("words/W2/new_paragraph").toBool());
    EXPECT_FALSE(paragraph->isChecked());
    select("W1", "W1");
    panel.refreshEditingOptions();
    paragraph->click();
    EXPECT_TRUE(w("W1")->newParagraph);
    EXPECT_TRUE(paragraph->isChecked());

    // With no selected words nothing changes.
    ad.currentWord = nullptr;
    ad.selectionWordStart = ad.selectionWordEnd = nullptr;
    const auto before = transcript();
    panel.buttonPressed(Panel::kTagParagraphBreak);
    EXPECT_TRUE(transcript() == before);
}

TEST_F(EditingPanel, LabelsFollowTheFilesLanguage)
{
    const struct {
        QString language;
        QString single;
        QString doubled;
        QString question;
        QString exclamation;
        QPoint hyphen;
    } cases[] = {
        {"en-GB", "\u2018 \u2019", "\u201C \u201D", "?", "!", {295, 49}},
        {"nl", "\u2018 \u2019", "\u201C \u201D", "?", "!", {295, 49}},
        {"fr", "\u2039\u2009\u203A", "\u00AB\u2009\u00BB", "?", "!", {295, 49}},
        {"de", "\u203A\u2009\u2039", "\u00BB\u2009\u00AB", "?", "!", {295, 49}},
        {"es", "\u2018 \u2019", "\u201C \u201D", "\u00BF ?", "\u00A1 !", {261, 15}},
        {"en-US", "\u2018 \u2019", "\u201C \u201D", "?", "!", {295, 49}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language.toStdString());
        reset();
        openFile("one", c.language);
        panel.configureUI();
        EXPECT_EQ(panel.button(Panel::kTagSingleQuotes)->text(), c.single);
        EXPECT_EQ(panel.button(Panel::kTagDoubleQuotes)->text(), c.doubled);
        EXPECT_EQ(panel.button(Panel::kTagQuestionMark)->text(), c.question);
        EXPECT_EQ(panel.button(Panel::kTagExclamationMark)->text(), c.exclamation);
        EXPECT_EQ(panel.button(Panel::kTagHyphen)->pos(), c.hyphen);
    }
    reset();
    openFile("un", "fr");
    panel.configureUI();
    EXPECT_EQ(panel.button(Panel::kTagDoubleQuotes)->toolTip(), "Wrap in Double Guillemets (\u00AB or \u00BB)");
    reset();
    openFile("hitotsu", "ja");
    panel.configureUI();
    EXPECT_EQ(panel.button(Panel::kTagDoubleQuotes)->text(), "\u00AB\u2009\u00BB");
    EXPECT_EQ(panel.button(Panel::kTagSingleQuotes)->toolTip(), "Wrap in Single Guillemets (\u2039 or \u203A)");
    EXPECT_EQ(panel.button(Panel::kTagQuestionMark)->toolTip(), "Add Question Mark (?)");
}

TEST_F(EditingPanel, TitlesAreDrawnByState)
{
    QVEditingButtonCell cell("( )");
    EXPECT_EQ(QVEditingButtonCell::titleNudge("( )"), -1.5);
    EXPECT_EQ(QVEditingButtonCell::titleNudge("[ ]"), -1.5);
    EXPECT_EQ(QVEditingButtonCell::titleNudge(";"), -0.5);
    EXPECT_EQ(cell.titleColor(), QVEditingButtonCell::normalTitleColor());
    cell.setDown(true);
    EXPECT_EQ(cell.titleColor(), QVEditingButtonCell::alternateTitleColor());
    // Disabled, the title is grey whether or not the button is held down.
    cell.setEnabled(false);
    EXPECT_EQ(cell.titleColor(), QVEditingButtonCell::disabledTitleColor());
    cell.setDown(false);
    EXPECT_EQ(cell.titleColor(), QVEditingButtonCell::disabledTitleColor());
}

// Renders the panel for a look at it: a French file with one word selected, and a Spanish file
// with two.
TEST_F(EditingPanel, RendersToImages)
{
    const struct {
        QString language;
        QString words;
        QString last;
        const char* file;
    } cases[] = {{"fr", "un, deux", "W1", "editing-panel.png"}, {"es", "uno dos", "W2", "editing-panel-spanish.png"}};
    for (const auto& c : cases) {
        reset();
        openFile(c.words, c.language);
        select("W1", c.last);
        panel.configureUI();
        panel.refreshEditingOptions();
        const QImage image = panel.grab().toImage();
        EXPECT_EQ(image.size(), panel.size() * panel.devicePixelRatio());
        image.save(QDir(QCoreApplication::applicationDirPath()).filePath(c.file));
    }
}

}  // namespace
