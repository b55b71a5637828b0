#include "editing/SelectionCommands.h"

#include "editing/EditedTextTokenizer.h"
#include "editing/EditingEnvironment.h"
#include "model/EditingServices.h"
#include "model/OpenFileQueries.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/TextViewModel.h"

#include <algorithm>

namespace {

// The private pasteboard type of words copied between transcripts.
const QString kCopyPasteWordsType = QStringLiteral("application/x-qv-copy-paste-words");

// Text that holds control characters (other than tabs and line ends) or undecodable bytes is
// binary data, not words.
bool looksLikeBinary(const QString& text)
{
    for (QChar c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter)
            return true;
    }
    return false;
}

}  // namespace

QVOrderedSet<QVWord> SelectionCommands::getSelectedWords(const AppDelegate& ad)
{
    QVOrderedSet<QVWord> selected;
    if (hasMultipleWordsSelected(ad)) {
        const std::int64_t start = ad.selectionWordStart->start;
        const std::int64_t end = ad.selectionWordEnd->end;
        // The live words are in start order: only those from the selection's start on, up to
        // its end, can lie inside it.
        const auto& words = ad.words.items();
        auto word = std::lower_bound(words.begin(), words.end(), start,
                                     [](const std::shared_ptr<QVWord>& w, std::int64_t s) { return w->start < s; });
        for (; word != words.end() && (*word)->start <= end; ++word) {
            if ((*word)->end <= end)
                selected.add(*word);
        }
    } else if (ad.currentWord) {
        selected.add(ad.currentWord);
    }
    return selected;
}

bool SelectionCommands::hasMultipleWordsSelected(const AppDelegate& ad)
{
    return ad.selectionWordStart && ad.selectionWordEnd && ad.selectionWordStart != ad.selectionWordEnd;
}

void SelectionCommands::clearSelection()
{
    env_.ad.selectionWordStart = nullptr;
    env_.ad.selectionWordEnd = nullptr;
    env_.mainQueue.async([this] { env_.view().clearSelectionDurationDisplay(); });
}

void SelectionCommands::changeSelectionStartWordWithOffset(std::int64_t offset)
{
    moveSelectionEnd(env_.ad.selectionWordStart, offset);
}

void SelectionCommands::changeSelectionEndWordWithOffset(std::int64_t offset)
{
    moveSelectionEnd(env_.ad.selectionWordEnd, offset);
}

void SelectionCommands::moveSelectionEnd(std::shared_ptr<QVWord>& moved, std::int64_t offset)
{
    AppDelegate& ad = env_.ad;
    if (!ad.selectionWordStart || !ad.selectionWordEnd) {
        ad.selectionWordStart = ad.currentWord;
        ad.selectionWordEnd = ad.currentWord;
    }
    if (!moved)
        return;
    const auto index = ad.words.indexOf(moved);
    if (!index)
        return;
    const std::int64_t target = static_cast<std::int64_t>(*index) + offset;
    if (target < 0 || target >= static_cast<std::int64_t>(ad.words.size()))
        return;
    const auto word = ad.words.at(static_cast<std::size_t>(target));
    // A keyboard selection never crosses into another speaker range.
    if (word->speakerRange != moved->speakerRange)
        return;
    moved = word;
    env_.view().highlightFromWord(ad.selectionWordStart, ad.selectionWordEnd, true);
    if (ad.editingServices)
        ad.editingServices->refreshEditingOptions();
    env_.speakers().refreshSpeakerRangeChangesAllowed();
}

QString SelectionCommands::selectedWordsText(const QVOrderedSet<QVWord>& words) const
{
    if (words.size() == 1)
        return env_.ad.currentWord ? env_.ad.currentWord->name() : words.first()->name();
    QStringList names;
    for (const auto& word : words)
        names.push_back(word->name());
    return names.join(' ');
}

void SelectionCommands::copy()
{
    pasteboard_.setString(selectedWordsText(getSelectedWords(env_.ad)), qv::Pasteboard::kPlainTextType);
}

void SelectionCommands::copyWithMetadata()
{
    AppDelegate& ad = env_.ad;
    pasteboard_.clearContents();
    const auto reference = hasMultipleWordsSelected(ad) ? ad.selectionWordStart : ad.currentWord;
    if (!reference)
        return;
    const std::int64_t time = reference->start;
    std::shared_ptr<QVSpeakerRange> range;
    for (const auto& candidate : ad.speakerRanges) {
        if (candidate->start > time)
            break;
        range = candidate;
    }
    if (!range)
        return;
    const QString name = range->speaker ? range->speaker->name : QString();
    const QString text = name + " [" + getTimeAsHMSText(ad, qv::MediaTime(time, 1000)) + "]\n" +
                         selectedWordsText(getSelectedWords(ad));
    pasteboard_.setString(text, qv::Pasteboard::kPlainTextType);
}

void SelectionCommands::paste()
{
    AppDelegate& ad = env_.ad;
    if (ad.isViewingOnly) {
        env_.beep();
        return;
    }
    if (const auto words = pasteboard_.string(kCopyPasteWordsType)) {
        tokenizer_.editWords(getSelectedWords(ad), *words);
    } else if (pasteboard_.hasType(qv::Pasteboard::kPlainTextType)) {
        const auto text = pasteboard_.string(qv::Pasteboard::kPlainTextType);
        if (!text || text->isEmpty())
            return;
        if (looksLikeBinary(*text)) {
            env_.beep();
            return;
        }
        static const qv::RegularExpression whitespaceRuns("\\s+", qv::RegularExpression::Option::CaseInsensitive);
        const QString cleaned = whitespaceRuns.replaceAll(*text, " ").trimmed();
        if (cleaned.split(' ').size() > kPasteWordLimit) {
            env_.beep();
            showPasteLimitErrorMessage();
            return;
        }
        tokenizer_.editWords(getSelectedWords(ad), cleaned);
    }
    env_.view().resumePlayback();
}

void SelectionCommands::showPasteLimitErrorMessage()
{
    env_.mainQueue.async([this] {
        qv::Alert alert;
        alert.style = qv::AlertStyle::Informational;
        alert.messageText = qv::localizedString("Paste limit exceeded");
        alert.informativeText = qv::localizedString("A maximum of 5 words can be pasted into a transcript.");
        env_.alerts.beginSheet(alert, {});
    });
}

void SelectionCommands::insertStringIntoTextView(const QString& text)
{
    qv::TextViewModel* view = currentTextViewModel_ ? currentTextViewModel_() : nullptr;
    if (!env_.ad.isEditing || !view)
        return;
    view->insertText(text);
}

std::shared_ptr<qv::UndoManager> SelectionCommands::windowWillReturnUndoManager() const
{
    const AppDelegate& ad = env_.ad;
    return ad.currentMode == 2 && !ad.isEditing ? ad.undoManager : ad.undoManagerEmpty;
}
