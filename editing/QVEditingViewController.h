// The editing-controls panel: twenty buttons beside the transcript with which the user edits the
// selected words by mouse (start or finish an inline edit, case, join, delete punctuation or
// words, eight marks, quotes and brackets, paragraph breaks). It relabels the quote and
// question/exclamation buttons for the open file's language, enables each button from the
// selection and the edit state, and turns a press into one editing command. It keeps no state
// beyond its buttons. Main thread only.
//
// Hosting: the window creates the panel once, with its parent widget, the state record and the
// editing controller, and places it beside the transcript (its size is fixed). The panel
// registers itself with the controller for its lifetime, so the controller's `configureUI`
// (when a file's transcript is shown) and `refreshEditingOptions` (selection, current word,
// edit state, view-only or connection changed) reach it. The window also gives the controller
// the focused row's text view, `setCurrentTextViewModel([&ad] { return ad.currentTextView ?
// &ad.currentTextView->model() : nullptr; })`, and keeps a `QVKeyHandler` as the keyboard focus
// of the transcript whenever no text view or field holds it. During an inline edit the row's
// `QVTextView` has the focus and takes typing, Return, Enter and Escape itself: the window moves
// the focus there and back from the controller's `setEditStateChanged` callback (`ad.isEditing`
// tells which way).
#pragma once

#include <QWidget>

#include <array>

class AppDelegate;
class EditingController;
class QAbstractButton;
class QVEditingButtonCell;
class QVEditingImageButton;

class QVEditingViewController : public QWidget {
public:
    // The buttons' tags, which select their operation.
    enum Tag : int {
        kTagEdit = 1,
        kTagLowercase,
        kTagUppercase,
        kTagUppercaseAll,
        kTagJoin,
        kTagDeletePunctuation,
        kTagDeleteWord,
        kTagSemicolon,
        kTagColon,
        kTagQuestionMark,
        kTagExclamationMark,
        kTagComma,
        kTagPeriod,
        kTagEllipsis,
        kTagHyphen,
        kTagSingleQuotes,
        kTagDoubleQuotes,
        kTagParentheses,
        kTagSquareBrackets,
        kTagParagraphBreak,
    };
    static constexpr int kButtonCount = 20;
    // Opacity of an image button when enabled and when disabled.
    static constexpr double kEnabledAlpha = 1.0;
    static constexpr double kDisabledAlpha = 0.23;

    QVEditingViewController(AppDelegate& ad, EditingController& editing, QWidget* parent = nullptr);
    ~QVEditingViewController() override;
    QVEditingViewController(const QVEditingViewController&) = delete;
    QVEditingViewController& operator=(const QVEditingViewController&) = delete;

    // Relabels the quote buttons and the question and exclamation buttons (titles, tooltips,
    // places) for the open file's language; other languages keep the quote labels they had.
    void configureUI();
    // Enables each button from the file, the playhead, the edit state and the selected words.
    void refreshEditingOptions();
    // Enables or disables an image button, showing it at full opacity or at 0.23 of it.
    static void refreshImageButton(QVEditingImageButton* button, bool enabled);
    // Runs the operation of the button with `tag`; nothing for an unknown tag.
    void buttonPressed(int tag);

    // The button with `tag`; none for an unknown tag.
    QAbstractButton* button(int tag) const;

private:
    QVEditingButtonCell* textButton(int tag) const;
    QVEditingImageButton* imageButton(int tag) const;
    // Places a button at a frame given bottom-up, as the panel's layout is drawn.
    void place(int tag, int x, int y);
    void setMarkButtonsForWordEnding(QChar last);
    void resumePlayback();

    AppDelegate& ad_;
    EditingController& editing_;
    std::array<QAbstractButton*, kButtonCount> buttons_{};
};
