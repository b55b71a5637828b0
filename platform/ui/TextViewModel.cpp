#include "platform/ui/TextViewModel.h"

#include <algorithm>

namespace qv {

void TextViewModel::setCharacterLocks(qsizetype lower, qsizetype upper)
{
    lowerLock_ = lower < 0 ? -1 : lower;
    upperLock_ = upper < 0 ? -1 : upper;
}

TextRange TextViewModel::editWindow() const
{
    if (!hasEditWindow())
        return {};
    const qsizetype end = std::max(lowerLock_, length() - upperLock_);
    return {lowerLock_, end - lowerLock_};
}

bool TextViewModel::rangeInText(TextRange range) const
{
    return range.location >= 0 && range.length >= 0 && range.location + range.length <= length();
}

int TextViewModel::attributeIndex(const TextAttributes& attributes)
{
    const auto found = std::find(attributeTable_.begin(), attributeTable_.end(), attributes);
    if (found != attributeTable_.end())
        return static_cast<int>(found - attributeTable_.begin());
    attributeTable_.push_back(attributes);
    return static_cast<int>(attributeTable_.size() - 1);
}

void TextViewModel::setString(const QString& text)
{
    ++revision_;
    text_ = text;
    characterAttributes_.assign(static_cast<std::size_t>(text.size()), attributeIndex(typingAttributes_));
    temporaryForeground_.clear();
    selection_ = {length(), 0};
    noteEdit({0, length()}, 0);
}

void TextViewModel::storageReplace(TextRange range, const QString& replacement, int attributeId)
{
    ++revision_;
    const auto at = characterAttributes_.begin() + range.location;
    characterAttributes_.erase(at, at + range.length);
    characterAttributes_.insert(characterAttributes_.begin() + range.location, static_cast<std::size_t>(replacement.size()),
                                attributeId);
    text_.replace(range.location, range.length, replacement);

    // The new characters have no temporary colour, and those after them keep theirs.
    const qsizetype delta = replacement.size() - range.length;
    const qsizetype changeEnd = range.location + range.length;
    clearTemporaryForeground(range.location, changeEnd);
    for (ColorRun& run : temporaryForeground_) {
        if (run.range.location >= changeEnd)
            run.range.location += delta;
    }

    // The selection keeps its place relative to the text around the change.
    if (selection_.location >= changeEnd)
        selection_.location += delta;
    else if (selection_.location + selection_.length > range.location)
        selection_ = {std::min(selection_.location, range.location + replacement.size()), 0};
    selection_.location = std::clamp<qsizetype>(selection_.location, 0, length());
    selection_.length = std::clamp<qsizetype>(selection_.length, 0, length() - selection_.location);
    noteEdit({range.location, replacement.size()}, delta);
}

void TextViewModel::replaceCharacters(TextRange range, const QString& replacement)
{
    if (!rangeInText(range))
        return;
    int attributeId = 0;
    if (range.length > 0)
        attributeId = characterAttributes_[static_cast<std::size_t>(range.location)];
    else if (range.location > 0)
        attributeId = characterAttributes_[static_cast<std::size_t>(range.location - 1)];
    else if (!characterAttributes_.empty())
        attributeId = characterAttributes_.front();
    else
        attributeId = attributeIndex(typingAttributes_);
    storageReplace(range, replacement, attributeId);
}

void TextViewModel::noteEdit(TextRange editedRange, qsizetype changeInLength)
{
    if (processing_)
        return;
    if (pendingEdited_) {
        // Merge with the earlier edits of the batch, whose end moved with this change.
        qsizetype pendingEnd = pendingEdited_->location + pendingEdited_->length;
        if (editedRange.location <= pendingEnd)
            pendingEnd += changeInLength;
        const qsizetype start = std::min(pendingEdited_->location, editedRange.location);
        const qsizetype end = std::max(pendingEnd, editedRange.location + editedRange.length);
        pendingEdited_ = TextRange{start, std::max<qsizetype>(end - start, 0)};
    } else {
        pendingEdited_ = editedRange;
    }
    pendingChangeInLength_ += changeInLength;
    if (batchLevel_ == 0)
        processEditing();
}

void TextViewModel::processEditing()
{
    if (!pendingEdited_)
        return;
    const TextRange edited = *pendingEdited_;
    const qsizetype change = pendingChangeInLength_;
    pendingEdited_.reset();
    pendingChangeInLength_ = 0;
    if (!willProcessEditing_)
        return;
    processing_ = true;
    willProcessEditing_(edited, change);
    processing_ = false;
}

void TextViewModel::beginEditing()
{
    ++batchLevel_;
}

void TextViewModel::endEditing()
{
    if (batchLevel_ == 0)
        return;
    if (--batchLevel_ == 0)
        processEditing();
}

void TextViewModel::deleteCharactersWhileProcessing(TextRange range)
{
    if (!processing_ || !rangeInText(range))
        return;
    storageReplace(range, QString(), 0);
}

bool TextViewModel::insertText(const QString& replacement, TextRange range)
{
    if (range.location < 0)
        range = selection_;
    if (!editable_ || !rangeInText(range))
        return false;
    if (shouldChangeText_ && !shouldChangeText_(range, replacement))
        return false;
    // The hook may have changed the text; the range must still lie inside it.
    if (!rangeInText(range))
        return false;
    const qsizetype lengthBefore = length();
    storageReplace(range, replacement, attributeIndex(typingAttributes_));
    // The processing hook may have removed characters: the caret goes after what remains.
    const qsizetype inserted = replacement.size() + (length() - lengthBefore - (replacement.size() - range.length));
    setSelectedRange({std::clamp<qsizetype>(range.location + inserted, 0, length()), 0});
    return true;
}

template <class Change>
void TextViewModel::changeAttributes(TextRange range, Change change)
{
    if (!rangeInText(range))
        return;
    ++revision_;
    // Neighbouring characters mostly share their attributes: the change is worked out once a run.
    int from = -1;
    int to = -1;
    for (qsizetype i = range.location; i < range.location + range.length; ++i) {
        int& id = characterAttributes_[static_cast<std::size_t>(i)];
        if (id != from) {
            TextAttributes attributes = attributeTable_[static_cast<std::size_t>(id)];
            change(attributes);
            from = id;
            to = attributeIndex(attributes);
        }
        id = to;
    }
}

void TextViewModel::setForeground(TextRange range, const std::optional<QColor>& color)
{
    changeAttributes(range, [&](TextAttributes& a) { a.foreground = color; });
}

void TextViewModel::setBackground(TextRange range, const std::optional<QColor>& color)
{
    changeAttributes(range, [&](TextAttributes& a) { a.background = color; });
}

void TextViewModel::setFont(TextRange range, const std::optional<QFont>& font)
{
    changeAttributes(range, [&](TextAttributes& a) { a.font = font; });
}

TextAttributes TextViewModel::attributesAt(qsizetype index) const
{
    if (index < 0 || index >= length())
        return {};
    return attributeTable_[static_cast<std::size_t>(characterAttributes_[static_cast<std::size_t>(index)])];
}

const std::vector<AttributeRun>& TextViewModel::attributeRuns() const
{
    if (runsRevision_ == revision_)
        return runs_;
    runsRevision_ = revision_;
    // The table holds each set of attributes once: equal attributes have equal indexes.
    std::vector<AttributeRun>& runs = runs_;
    runs.clear();
    int last = -1;
    for (qsizetype i = 0; i < length(); ++i) {
        const int id = characterAttributes_[static_cast<std::size_t>(i)];
        if (id == last)
            ++runs.back().range.length;
        else
            runs.push_back({{i, 1}, attributeTable_[static_cast<std::size_t>(id)]});
        last = id;
    }
    return runs;
}

void TextViewModel::clearTemporaryForeground(qsizetype from, qsizetype to)
{
    std::vector<ColorRun> kept;
    kept.reserve(temporaryForeground_.size() + 1);
    for (const ColorRun& run : temporaryForeground_) {
        const qsizetype start = run.range.location;
        const qsizetype end = start + run.range.length;
        if (end <= from || start >= to) {
            kept.push_back(run);
            continue;
        }
        if (start < from)
            kept.push_back({{start, from - start}, run.color});
        if (end > to)
            kept.push_back({{to, end - to}, run.color});
    }
    temporaryForeground_ = std::move(kept);
}

void TextViewModel::setTemporaryForeground(TextRange range, const QColor& color)
{
    if (!rangeInText(range))
        return;
    ++revision_;
    clearTemporaryForeground(range.location, range.location + range.length);
    if (range.length == 0)
        return;
    const auto after = std::upper_bound(temporaryForeground_.begin(), temporaryForeground_.end(), range.location,
                                        [](qsizetype at, const ColorRun& run) { return at < run.range.location; });
    auto run = temporaryForeground_.insert(after, {range, color});
    // A run of the same colour that it touches becomes one with it, as the colour is drawn.
    auto touches = [](const ColorRun& first, const ColorRun& second) {
        return first.color == second.color && first.range.location + first.range.length == second.range.location;
    };
    if (run + 1 != temporaryForeground_.end() && touches(*run, *(run + 1))) {
        run->range.length += (run + 1)->range.length;
        temporaryForeground_.erase(run + 1);
    }
    if (run != temporaryForeground_.begin() && touches(*(run - 1), *run)) {
        (run - 1)->range.length += run->range.length;
        temporaryForeground_.erase(run);
    }
}

void TextViewModel::removeTemporaryForeground(TextRange range)
{
    if (!rangeInText(range))
        return;
    ++revision_;
    clearTemporaryForeground(range.location, range.location + range.length);
}

std::optional<QColor> TextViewModel::temporaryForegroundAt(qsizetype index) const
{
    if (index < 0 || index >= length())
        return std::nullopt;
    const auto after = std::upper_bound(temporaryForeground_.begin(), temporaryForeground_.end(), index,
                                        [](qsizetype at, const ColorRun& run) { return at < run.range.location; });
    if (after == temporaryForeground_.begin())
        return std::nullopt;
    const ColorRun& run = *(after - 1);
    if (index >= run.range.location + run.range.length)
        return std::nullopt;
    return run.color;
}

void TextViewModel::setSelectedRange(TextRange proposed)
{
    TextRange chosen = willChangeSelection_ ? willChangeSelection_(selection_, proposed) : proposed;
    chosen.location = std::clamp<qsizetype>(chosen.location, 0, length());
    chosen.length = std::clamp<qsizetype>(chosen.length, 0, length() - chosen.location);
    if (chosen == selection_)
        return;
    ++revision_;
    selection_ = chosen;
    if (didChangeSelection_)
        didChangeSelection_();
}

void TextViewModel::selectAll()
{
    setSelectedRange(hasEditWindow() ? editWindow() : TextRange{0, length()});
}

}  // namespace qv
