#include "EditingFixture.h"

#include "platform/ui/TextViewModel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

class Selection : public EditingFixture {
protected:
    Selection()
    {
        addRange("Ann");
        addWords("one two three");
        addRange("Bo");
        addWords("four five");
        open();
        ad.currentSpeakerRangeIndex = 0;
    }
    void putText(const QString& text) { pasteboard.setString(text, qv::Pasteboard::kPlainTextType); }
};

TEST_F(Selection, SelectedWordsComeFromTheSelectionOrTheCurrentWord)
{
    EXPECT_TRUE(editing.getSelectedWords().empty());
    ad.currentWord = w("W2");
    ad.selectionWordStart = ad.selectionWordEnd = w("W3");
    EXPECT_EQ(editing.getSelectedWords().items(), set({"W2"}).items());
    ad.selectionWordStart = w("W3");
    ad.selectionWordEnd = w("W1");
    EXPECT_TRUE(editing.getSelectedWords().empty());  // the start passed the end
    ad.selectionWordStart = w("W1");
    ad.selectionWordEnd = w("W3");
    EXPECT_EQ(editing.getSelectedWords().items(), set({"W1", "W2", "W3"}).items());
    editing.clearSelection();
    EXPECT_FALSE(editing.hasMultipleWordsSelected());
    settle();
    EXPECT_TRUE(view.calls.contains("clearSelectionDurationDisplay"));
}

TEST_F(Selection, TheKeyboardSelectionStaysInsideItsRange)
{
    ad.currentWord = w("W3");
    editing.selection.changeSelectionEndWordWithOffset(1);  // W4 lies in the next range
    EXPECT_EQ(ad.selectionWordEnd, w("W3"));
    EXPECT_TRUE(view.calls.isEmpty());
    editing.selection.changeSelectionStartWordWithOffset(-1);
    EXPECT_EQ(ad.selectionWordStart, w("W2"));
    EXPECT_EQ(view.take(), QStringList{"highlightFromWord:two:three"});
    EXPECT_TRUE(speakers.calls.contains("refreshSpeakerRangeChangesAllowed"));
    ad.selectionWordStart = ad.selectionWordEnd = w("W1");
    editing.selection.changeSelectionStartWordWithOffset(-1);  // the first word of the transcript
    EXPECT_EQ(ad.selectionWordStart, w("W1"));
}

TEST_F(Selection, CopyWritesTheNamesAndCopyWithMetadataTheSpeakerAndTime)
{
    ad.currentWord = w("W2");
    editing.selection.copy();
    EXPECT_EQ(pasteboard.string(qv::Pasteboard::kPlainTextType), "two");
    ad.selectionWordStart = w("W1");
    ad.selectionWordEnd = w("W3");
    editing.selection.copy();
    EXPECT_EQ(pasteboard.string(qv::Pasteboard::kPlainTextType), "one two three");
    ad.selectionWordStart = w("W4");
    ad.selectionWordEnd = w("W5");
    editing.selection.copyWithMetadata();
    EXPECT_EQ(pasteboard.string(qv::Pasteboard::kPlainTextType), "Bo [00:00:02]\nfour five");
}

TEST_F(Selection, PasteAcceptsFiveWordsHoweverSpaced)
{
    ad.currentWord = w("W2");
    putText("  uno\tdos\n\ntres  cuatro cinco \n");
    const auto before = transcript();
    editing.selection.paste();
    EXPECT_EQ(text(), "one uno dos tres cuatro cinco three four five");
    EXPECT_TRUE(view.calls.contains("resumePlayback"));
    expectUndoRedoRoundTrip(before, "one two three four five");
}

TEST_F(Selection, PasteRefusesWhatIsNotAFewWordsAndChangesNothing)
{
    ad.currentWord = w("W2");
    const auto before = transcript();
    struct Row {
        QString text;
        int beeps;
        int alerts;
    };
    const Row rows[] = {
        {"one two three four five six", 1, 1},
        {QString("word ").repeated(20'000), 1, 1},  // 100 KB of text
        {" \t\n  ", 0, 0},                          // only blanks: nothing to put in
        {QString("ab") + QChar(0) + QChar(1) + "cd", 1, 0},  // binary bytes
    };
    int beeps = 0;
    int shown = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.left(20).toStdString());
        putText(row.text);
        editing.selection.paste();
        settle();
        beeps += row.beeps;
        shown += row.alerts;
        EXPECT_EQ(alerts.beepCount(), beeps);
        EXPECT_EQ(static_cast<int>(alerts.shownAlerts().size()), shown);
        EXPECT_TRUE(transcript() == before);
        EXPECT_FALSE(ad.undoManager->canUndo());
    }
    EXPECT_EQ(alerts.shownAlerts().front().messageText, "Paste limit exceeded");
    EXPECT_EQ(alerts.shownAlerts().front().informativeText, "A maximum of 5 words can be pasted into a transcript.");

    // Something that is not text at all is not pasted.
    auto* data = new QMimeData;
    data->setData("image/png", QByteArray(64, '\x89'));
    QGuiApplication::clipboard()->setMimeData(data);
    editing.selection.paste();
    settle();
    EXPECT_TRUE(transcript() == before);
}

TEST_F(Selection, ThePrivateTypeHasNoWordLimit)
{
    ad.currentWord = w("W2");
    pasteboard.setString("a b c d e f g", "application/x-qv-copy-paste-words");
    editing.selection.paste();
    EXPECT_EQ(text(), "one a b c d e f g three four five");
}

TEST_F(Selection, TheEditMenuUndoesTranscriptStepsOnlyOnTheTranscriptOutsideAnEdit)
{
    ad.currentMode = 2;
    EXPECT_EQ(editing.selection.windowWillReturnUndoManager(), ad.undoManager);
    ad.isEditing = true;
    EXPECT_EQ(editing.selection.windowWillReturnUndoManager(), ad.undoManagerEmpty);
    ad.isEditing = false;
    ad.currentMode = 1;
    EXPECT_EQ(editing.selection.windowWillReturnUndoManager(), ad.undoManagerEmpty);
}

TEST_F(Selection, AStringGoesIntoTheOpenEditOnly)
{
    qv::TextViewModel model;
    model.setString("one two");
    model.setEditable(true);
    model.setSelectedRange({4, 3});
    editing.selection.setCurrentTextViewModel([&] { return &model; });
    editing.insertStringIntoTextView("TWO");
    EXPECT_EQ(model.string(), "one two");
    ad.isEditing = true;
    editing.insertStringIntoTextView("TWO");
    EXPECT_EQ(model.string(), "one TWO");
}

}  // namespace
