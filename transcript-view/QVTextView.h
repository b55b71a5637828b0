// The text view of one speaker range's words row: read-only while the user listens, the edit
// surface of an inline word edit, confined then to the window between its two character locks.
// It carries the playback highlight range, refuses changes that would break the words
// (doubled blanks, line breaks, too many words), takes the blanks off the ends of longer typed
// text, keeps French typing from doubling a blank, gives typed text the attributes the edit
// chooses, and guards against a repeated Return.
#pragma once

#include "model/AppDelegate.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/ui/TextView.h"

#include <QString>

#include <memory>

class QVTextView : public qv::TextView {
public:
    // How long a Return or Enter keeps further ones out, in seconds.
    static constexpr double kReturnGuardSeconds = 0.3;
    // Most words one typed or pasted change may hold.
    static constexpr int kMaxWordsPerChange = 5;

    enum class Refusal { None, Silent, Beep, PasteLimit };

    // Why a change of `range` in `text` to `replacement` is refused, for a view with the given
    // locks (-1: no window) that is or is not the view of the running edit.
    static Refusal refusalForChange(const QString& text, qsizetype lower, qsizetype upper, bool isCurrentTextView,
                                    qv::TextRange range, const QString& replacement);
    // `proposed` kept inside the edit window [lower, length - upper); unchanged without one.
    static qv::TextRange clampSelection(qsizetype length, qsizetype lower, qsizetype upper, qv::TextRange proposed);

    QVTextView(AppDelegate& ad, qv::Dispatcher& main, QWidget* parent = nullptr);

    // Whether the characters (location, length) lie inside the window of the running edit,
    // in this view.
    bool singleCharRangeisWithinEditingText(qsizetype location, qsizetype length) const;

    qsizetype lowerCharacterLock() const { return model().lowerCharacterLock(); }
    qsizetype upperCharacterLock() const { return model().upperCharacterLock(); }
    void setCharacterLocks(qsizetype lower, qsizetype upper);

    // The range carrying the playback highlight; (0, 0) for none.
    qv::TextRange highlightedRange() const { return highlightedRange_; }
    void setHighlightedRange(qv::TextRange range) { highlightedRange_ = range; }
    // Colours `range` as the playback highlight and remembers it.
    void highlight(qv::TextRange range, const QColor& color);
    void removeHighlight();

    // Told when a change was refused with a beep; and for more words than one change may hold.
    void setBeepHandler(std::function<void()> beep) { beep_ = std::move(beep); }
    void setPasteLimitHandler(std::function<void()> handler) { pasteLimit_ = std::move(handler); }
    // Return or Enter that got past the guard; by default it finishes an open edit, resuming playback.
    void setReturnHandler(std::function<void()> handler) { return_ = std::move(handler); }

private:
    bool shouldChangeText(qv::TextRange range, const QString& replacement);
    // In a French file, an edit that puts a blank next to a blank of the window loses its own.
    void removeDoubledFrenchBlank(qv::TextRange edited, qsizetype changeInLength);
    bool handleKey(QKeyEvent* event);
    // While an edit runs, each change of the text has the row measured again once the change is
    // done (at most once a turn), so that a line the text gains or loses shows in the row.
    void queueRowHeightUpdate();

    AppDelegate& ad_;
    qv::Dispatcher& main_;
    qv::TextRange highlightedRange_{0, 0};
    std::function<void()> beep_;
    std::function<void()> pasteLimit_;
    std::function<void()> return_;
    bool rowHeightUpdateQueued_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
