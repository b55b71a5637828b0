#include "InlineEditFixture.h"

#include "editing/QVKeyHandler.h"
#include "model/CustomWordsServices.h"

#include <QInputMethodEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

using qv::KeyPress;

KeyPress press(int code, std::uint32_t modifiers = 0, const QString& characters = {}, bool repeat = false)
{
    return KeyPress{code, modifiers, repeat, characters};
}

class KeyHandler : public InlineEditFixture {
protected:
    void openTranscript(const QString& words = "alpha bravo charlie", const QString& language = "en-US")
    {
        addRange("Ann");
        addWords(words);
        open(language);
        showRow();
        select("W2", "W2");
        ad.currentMode = 2;
    }
    void releaseGuard() { main.advance(QVKeyHandler::kReturnGuardSeconds); }

    QVKeyHandler handler{editing};
};

TEST_F(KeyHandler, QtKeyEventsMapToKeyCodes)
{
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int code;
        std::uint32_t flags;
    } cases[] = {
        {Qt::Key_Backspace, Qt::NoModifier, qv::kKeyDelete, 0},
        {Qt::Key_Delete, Qt::NoModifier, qv::kKeyForwardDelete, 0},
        {Qt::Key_Enter, Qt::KeypadModifier, qv::kKeyEnter, 0},
        {Qt::Key_J, Qt::ControlModifier, qv::kKeyJ, qv::kModifierCommand},
        {Qt::Key_R, Qt::AltModifier | Qt::ShiftModifier, qv::kKeyR, qv::kModifierOption | qv::kModifierShift},
        {Qt::Key_Up, Qt::MetaModifier, qv::kKeyUp, qv::kModifierControl},
        {Qt::Key_A, Qt::NoModifier, qv::kKeyOther, 0},
    };
    for (const auto& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
        const KeyPress key = qv::keyPressFromEvent(event);
        EXPECT_EQ(key.keyCode, c.code) << c.key;
        EXPECT_EQ(key.modifiers, c.flags) << c.key;
    }
}

TEST_F(KeyHandler, ReturnStartsOneEditAndIsGuarded)
{
    openTranscript();
    handler.keyDown(press(qv::kKeyReturn, 0, {}, true));
    EXPECT_FALSE(ad.isEditing);
    handler.keyDown(press(qv::kKeyReturn));
    EXPECT_TRUE(ad.isEditing);
    editing.editWordsCancel();
    // A second press inside the guard is swallowed, one after it is not.
    handler.keyDown(press(qv::kKeyEnter));
    EXPECT_FALSE(ad.isEditing);
    releaseGuard();
    select("W2", "W2");
    handler.keyDown(press(qv::kKeyEnter));
    EXPECT_TRUE(ad.isEditing);
}

TEST_F(KeyHandler, EditingKeysFollowTheirRulesAndChains)
{
    const struct {
        const char* name;
        KeyPress key;
        const char* text;  // the transcript afterwards
        const char* editingText;  // of the edit that opened; nullptr: none opened
    } cases[] = {
        {"Command-J joins", press(qv::kKeyJ, qv::kModifierCommand), "alpha bravocharlie", nullptr},
        {"Command-F joins like Command-J", press(qv::kKeyF, qv::kModifierCommand), "alpha bravocharlie", nullptr},
        {"plain F starts an edit with the letter", press(qv::kKeyF, 0, "f"), "alpha bravo charlie", "f"},
        {"Delete starts by removing the last character", press(qv::kKeyDelete), "alpha bravo charlie", "brav"},
        {"Forward Delete removes the first", press(qv::kKeyForwardDelete), "alpha bravo charlie", "ravo"},
        {"Command-Delete deletes the words", press(qv::kKeyDelete, qv::kModifierCommand), "alpha charlie", nullptr},
        {"Shift-Option-Up upper-cases", press(qv::kKeyUp, qv::kModifierShift | qv::kModifierOption), "alpha BRAVO charlie",
         nullptr},
        {"Shift-Up capitalises", press(qv::kKeyUp, qv::kModifierShift), "alpha Bravo charlie", nullptr},
        {"Shift-Option-Down does nothing", press(qv::kKeyDown, qv::kModifierShift | qv::kModifierOption),
         "alpha bravo charlie", nullptr},
        {"a typed comma punctuates", press(qv::kKeyOther, 0, ","), "alpha bravo, charlie", nullptr},
        {"a typed letter starts an edit", press(qv::kKeyOther, 0, "q"), "alpha bravo charlie", "q"},
        {"Control keys pass on", press(qv::kKeyDelete, qv::kModifierControl), "alpha bravo charlie", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        openTranscript();
        if (std::string(c.name).find("join") != std::string::npos)
            select("W2", "W3");
        handler.keyDown(c.key);
        settle();
        EXPECT_EQ(text(), QString::fromUtf8(c.text));
        EXPECT_EQ(ad.isEditing, c.editingText != nullptr);
        if (c.editingText) {
            EXPECT_EQ(ad.editingText, QString::fromUtf8(c.editingText));
        }
        if (ad.isEditing)
            editing.editWordsCancel();
        releaseGuard();
    }
}

// Delete belongs to the custom words panel while it is in edit mode, and only plain Delete.
TEST_F(KeyHandler, DeleteDeletesTheSelectedCustomWordsWhileThePanelIsInEditMode)
{
    struct Panel final : CustomWordsServices {
        bool editing = true;
        int deletions = 0;
        bool isEditingCustomWords() const override { return editing; }
        void deleteSelectedCustomWords() override { ++deletions; }
    } panel;
    ad.customWordsServices = &panel;
    openTranscript();
    handler.keyDown(press(qv::kKeyDelete));
    handler.keyDown(press(qv::kKeyDelete, 0, {}, true));
    EXPECT_EQ(panel.deletions, 1);
    EXPECT_FALSE(ad.isEditing);
    panel.editing = false;
    handler.keyDown(press(qv::kKeyDelete));
    EXPECT_EQ(panel.deletions, 1);
    EXPECT_TRUE(ad.isEditing);
    editing.editWordsCancel();
    releaseGuard();
    panel.editing = true;
    handler.keyDown(press(qv::kKeyDelete, qv::kModifierCommand));
    settle();
    EXPECT_EQ(panel.deletions, 1);
    EXPECT_EQ(text(), "alpha charlie");
    ad.customWordsServices = nullptr;
}

TEST_F(KeyHandler, SpanishQuestionMarkWraps)
{
    openTranscript("uno dos tres", "es");
    handler.insertText("?");
    settle();
    EXPECT_EQ(text(), "uno \u00BFdos? Tres");
    EXPECT_TRUE(view.calls.contains("resumePlayback"));
}

TEST_F(KeyHandler, PageKeysScrollTheTranscriptAPage)
{
    openTranscript();
    QScrollArea transcript;
    transcript.resize(300, 200);
    auto* content = new QWidget;
    content->resize(280, 2000);
    transcript.setWidget(content);
    handler.setPageKeysTarget(&transcript);
    QScrollBar* bar = transcript.verticalScrollBar();
    QTest::keyClick(&handler, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), bar->pageStep());
    QTest::keyClick(&handler, Qt::Key_PageDown);
    QTest::keyClick(&handler, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), bar->pageStep());
    EXPECT_FALSE(ad.isEditing);
}

TEST_F(KeyHandler, EscapeOnKeyUpCancels)
{
    openTranscript();
    handler.keyDown(press(qv::kKeyOther, 0, "z"));
    ASSERT_TRUE(ad.isEditing);
    handler.keyDown(press(qv::kKeyEscape));
    EXPECT_TRUE(ad.isEditing);
    QTest::keyRelease(&handler, Qt::Key_Escape);
    EXPECT_FALSE(ad.isEditing);
    EXPECT_TRUE(ad.debugCharacterEditing.contains("because user pressed Escape key"));
    EXPECT_EQ(text(), "alpha bravo charlie");
}

TEST_F(KeyHandler, ViewOnlyRefusesEveryEditBeforeItStartsAndSaysWhy)
{
    openTranscript();
    ad.isViewingOnly = true;
    ad.isConnected = true;
    alerts.setHoldUnscripted(true);
    handler.keyDown(press(qv::kKeyDelete));
    handler.keyDown(press(qv::kKeyUp, qv::kModifierShift));
    handler.insertText("x");
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_FALSE(alerts.hasOpenAlert());

    // Plain R, and F and J that fall through to it, would open an edit that could never be
    // saved: each is refused at once, with the real reason.
    for (const auto& [code, character] : {std::pair{qv::kKeyR, "r"}, {qv::kKeyF, "f"}, {qv::kKeyJ, "j"}}) {
        handler.keyDown(press(code, 0, character));
        EXPECT_FALSE(ad.isEditing) << character;
        ASSERT_TRUE(alerts.hasOpenAlert()) << character;
        EXPECT_EQ(alerts.shownAlerts().back().messageText, "Another user is editing this file.");
        alerts.answerOpenAlert(qv::kAlertFirstButtonReturn);
    }
    ad.isConnected = false;
    handler.keyDown(press(qv::kKeyR, 0, "r"));
    ASSERT_TRUE(alerts.hasOpenAlert());
    EXPECT_EQ(alerts.shownAlerts().back().messageText, "No internet connection was found.");
    alerts.answerOpenAlert(qv::kAlertFirstButtonReturn);
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(text(), "alpha bravo charlie");
}

TEST_F(KeyHandler, CompositionTypesOnlyItsCommittedText)
{
    openTranscript();
    QInputMethodEvent preedit(QStringLiteral("\u00B4"), {});
    QApplication::sendEvent(&handler, &preedit);
    EXPECT_TRUE(handler.hasMarkedText());
    EXPECT_FALSE(ad.isEditing);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("\u00E9"));
    QApplication::sendEvent(&handler, &commit);
    EXPECT_FALSE(handler.hasMarkedText());
    ASSERT_TRUE(ad.isEditing);
    EXPECT_EQ(ad.editingText, "\u00E9");
}

}  // namespace
