// The state behind one text view, testable without painting: the text (UTF-16), its attribute
// runs, the temporary highlight colours, the selection, the locks of an editable window, and the
// hooks through which the owner refuses or reshapes changes. The widget that paints it routes
// keys, input-method commits and pastes through `insertText`. Main thread only.
#pragma once

#include "platform/foundation/RegularExpression.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>

#include <functional>
#include <optional>
#include <vector>

namespace qv {

// Stored attributes of a character; an unset field means the view's default.
struct TextAttributes {
    std::optional<QColor> foreground;
    std::optional<QColor> background;
    std::optional<QFont> font;
    bool operator==(const TextAttributes&) const = default;
};

// A stretch of characters sharing the same stored attributes.
struct AttributeRun {
    TextRange range;
    TextAttributes attributes;
};

// A stretch of characters drawn in one temporary colour.
struct ColorRun {
    TextRange range;
    QColor color;
};

class TextViewModel {
public:
    // Asked before every user change of `range` to `replacement`; false refuses it and nothing
    // changes. Absent: every change is accepted.
    using ShouldChangeText = std::function<bool(TextRange range, const QString& replacement)>;
    // Asked before the selection moves from `from` to `proposed`; answers the range to select.
    using WillChangeSelection = std::function<TextRange(TextRange from, TextRange proposed)>;
    // Told after the selection changed.
    using DidChangeSelection = std::function<void()>;
    // Told after each storage edit (or once at the end of a batch) with the edited range, as it
    // now stands, and the change in length. It may delete characters through
    // `deleteCharactersWhileProcessing`; those deletions call it no further.
    using WillProcessEditing = std::function<void(TextRange editedRange, qsizetype changeInLength)>;

    const QString& string() const { return text_; }
    qsizetype length() const { return text_.size(); }

    bool isEditable() const { return editable_; }
    void setEditable(bool editable) { editable_ = editable; }
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable)
    {
        revision_ += selectable != selectable_;
        selectable_ = selectable;
    }

    // Grows whenever what a view shows of this text may change: its characters, attributes,
    // temporary colours, selection or selectability.
    std::uint64_t revision() const { return revision_; }

    // The editable window: [lower, length - upper). Both -1 when there is none; the upper lock
    // counts from the end so that it survives changes of length.
    qsizetype lowerCharacterLock() const { return lowerLock_; }
    qsizetype upperCharacterLock() const { return upperLock_; }
    void setCharacterLocks(qsizetype lower, qsizetype upper);
    bool hasEditWindow() const { return lowerLock_ >= 0 && upperLock_ >= 0; }
    // The window as a range; location -1 when there is none.
    TextRange editWindow() const;

    // Replaces the whole text without asking; every character gets the typing attributes and
    // the temporary colours are dropped. The selection becomes the empty range at the end.
    void setString(const QString& text);
    // Replaces characters without asking (a programmatic change); the new characters take the
    // attributes of the first replaced one, or of the one before when nothing is replaced.
    // Ranges outside the text are ignored.
    void replaceCharacters(TextRange range, const QString& replacement);
    // Groups storage edits: the processing hook runs once, at the outermost end.
    void beginEditing();
    void endEditing();
    // For the processing hook only: deletes characters of the text being processed.
    void deleteCharactersWhileProcessing(TextRange range);

    // A user change: `replacement` in place of `range`, or of the selection when `range` has
    // location -1. Refused when the view is not editable, the range lies outside the text or the
    // should-change hook says no. Accepted text takes the typing attributes and the caret goes
    // after it. Returns whether the change was made.
    bool insertText(const QString& replacement, TextRange range = {});

    // Stored attributes.
    void setForeground(TextRange range, const std::optional<QColor>& color);
    void setBackground(TextRange range, const std::optional<QColor>& color);
    void setFont(TextRange range, const std::optional<QFont>& font);
    TextAttributes attributesAt(qsizetype index) const;
    // Worked out again only after a change: a long text's view asks at every layout and paint.
    const std::vector<AttributeRun>& attributeRuns() const;
    const TextAttributes& typingAttributes() const { return typingAttributes_; }
    void setTypingAttributes(const TextAttributes& attributes) { typingAttributes_ = attributes; }

    // Temporary foreground colours (the playback highlight): drawn over the stored ones, never
    // part of the text's attributes, dropped by setString.
    void setTemporaryForeground(TextRange range, const QColor& color);
    void removeTemporaryForeground(TextRange range);
    std::optional<QColor> temporaryForegroundAt(qsizetype index) const;
    // The temporary colours in text order, none empty and no two overlapping.
    const std::vector<ColorRun>& temporaryForegroundRuns() const { return temporaryForeground_; }

    // Selection. A proposal passes the will-change hook, is then kept inside the text, and the
    // did-change hook runs when the selection moved.
    TextRange selectedRange() const { return selection_; }
    void setSelectedRange(TextRange proposed);
    // Selects the editable window when there is one, else the whole text.
    void selectAll();

    void setShouldChangeText(ShouldChangeText hook) { shouldChangeText_ = std::move(hook); }
    void setWillChangeSelection(WillChangeSelection hook) { willChangeSelection_ = std::move(hook); }
    void setDidChangeSelection(DidChangeSelection hook) { didChangeSelection_ = std::move(hook); }
    void setWillProcessEditing(WillProcessEditing hook) { willProcessEditing_ = std::move(hook); }

private:
    bool rangeInText(TextRange range) const;
    int attributeIndex(const TextAttributes& attributes);
    void storageReplace(TextRange range, const QString& replacement, int attributeId);
    void noteEdit(TextRange editedRange, qsizetype changeInLength);
    void processEditing();
    template <class Change>
    void changeAttributes(TextRange range, Change change);
    // Takes the characters [from, to) out of the temporary colours, cutting the runs across
    // either end.
    void clearTemporaryForeground(qsizetype from, qsizetype to);

    QString text_;
    // One entry per character: the index of its attributes in `attributeTable_`.
    std::vector<int> characterAttributes_;
    std::vector<TextAttributes> attributeTable_{TextAttributes{}};
    mutable std::vector<AttributeRun> runs_;
    mutable std::optional<std::uint64_t> runsRevision_;
    // Runs, not one entry per character: a long text rarely has more than the highlighted word.
    std::vector<ColorRun> temporaryForeground_;
    TextAttributes typingAttributes_;
    TextRange selection_{0, 0};
    qsizetype lowerLock_ = -1;
    qsizetype upperLock_ = -1;
    bool editable_ = false;
    bool selectable_ = false;
    std::uint64_t revision_ = 0;

    int batchLevel_ = 0;
    bool processing_ = false;
    std::optional<TextRange> pendingEdited_;
    qsizetype pendingChangeInLength_ = 0;

    ShouldChangeText shouldChangeText_;
    WillChangeSelection willChangeSelection_;
    DidChangeSelection didChangeSelection_;
    WillProcessEditing willProcessEditing_;
};

}  // namespace qv
