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
    temporaryForeground_.assign(static_cast<std::size_t>(text.size()), std::nullopt);
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
    const auto temporary = temporaryForeground_.begin() + range.location;
    temporaryForeground_.erase(temporary, temporary + range.length);
    temporaryForeground_.insert(temporaryForeground_.begin() + range.location, static_cast<std::size_t>(replacement.size()),
                                std::nullopt);
    text_.replace(range.location, range.length, replacement);

    // The selection keeps its place relative to the text around the change.
    const qsizetype delta = replacement.size() - range.length;
    const qsizetype changeEnd = range.location + range.length;
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
    for (qsizetype i = range.location; i < range.location + range.length; ++i) {
        TextAttributes attributes = attributeTable_[static_cast<std::size_t>(characterAttributes_[static_cast<std::size_t>(i)])];
        change(attributes);
        characterAttributes_[static_cast<std::size_t>(i)] = attributeIndex(attributes);
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

std::vector<AttributeRun> TextViewModel::attributeRuns() const
{
    std::vector<AttributeRun> runs;
    for (qsizetype i = 0; i < length(); ++i) {
        const int id = characterAttributes_[static_cast<std::size_t>(i)];
        if (!runs.empty() && runs.back().attributes == attributeTable_[static_cast<std::size_t>(id)])
            ++runs.back().range.length;
        else
            runs.push_back({{i, 1}, attributeTable_[static_cast<std::size_t>(id)]});
    }
    return runs;
}

void TextViewModel::setTemporaryForeground(TextRange range, const QColor& color)
{
    if (!rangeInText(range))
        return;
    ++revision_;
    std::fill_n(temporaryForeground_.begin() + range.location, range.length, color);
}

void TextViewModel::removeTemporaryForeground(TextRange range)
{
    if (!rangeInText(range))
        return;
    ++revision_;
    std::fill_n(temporaryForeground_.begin() + range.location, range.length, std::nullopt);
}

std::optional<QColor> TextViewModel::temporaryForegroundAt(qsizetype index) const
{
    if (index < 0 || index >= length())
        return std::nullopt;
    return temporaryForeground_[static_cast<std::size_t>(index)];
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
