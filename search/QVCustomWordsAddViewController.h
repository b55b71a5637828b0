// The popover in which new custom words are typed, one per line, with the choice of the file's
// list, the account's or both. Its check boxes start as last left (preferences
// QVCustomWordsAddFile and QVCustomWordsAddAccount).
#pragma once

#include "platform/foundation/Preferences.h"

#include <QStringList>

#include <functional>

class QCheckBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace qv::search {

class QVCustomWordsAddViewController {
public:
    // `add` gets the lines that count and the destinations ("account" before "file").
    using AddWords = std::function<void(const QStringList& entries, const QStringList& destinations)>;

    QVCustomWordsAddViewController(Preferences& preferences, AddWords add);
    ~QVCustomWordsAddViewController();
    QVCustomWordsAddViewController(const QVCustomWordsAddViewController&) = delete;
    QVCustomWordsAddViewController& operator=(const QVCustomWordsAddViewController&) = delete;

    // The popover: transient, it closes on a click outside it.
    QFrame* popover() const { return popover_; }
    QPlainTextEdit* textView() const { return textView_; }
    QCheckBox* addToFile() const { return addToFile_; }
    QCheckBox* addToAccount() const { return addToAccount_; }
    QPushButton* addWordsButton() const { return addWordsButton_; }

    // Empties the text and shows the popover to the left of `anchor`.
    void showRelativeTo(QWidget* anchor);
    void close();
    // The add button is on with text typed and at least one list chosen.
    void updateAddWordsButton();
    // The add button's action: the lines that count go to the chosen lists; the popover closes.
    void addEnteredWords();

private:
    Preferences& preferences_;
    AddWords add_;
    QFrame* popover_;
    QPlainTextEdit* textView_;
    QCheckBox* addToFile_;
    QCheckBox* addToAccount_;
    QPushButton* addWordsButton_;
};

}  // namespace qv::search
