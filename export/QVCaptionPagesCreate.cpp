#include "export/QVCaptionPagesCreate.h"

#include "export/CaptionPageTiming.h"
#include "platform/foundation/WritableText.h"
#include "model/StringPunctuation.h"

#include <QStringList>

#include <algorithm>

namespace qv {
namespace {

// A pause this long (ms) ends a fragment; between fragments it also starts a new page.
constexpr int64_t kFragmentPauseMs = 2000;
// A fragment closed by a pause is given at least this long (ms).
constexpr int64_t kFragmentMinimumDurationMs = 1000;

bool startsWithUppercaseLetter(const QString& text) {
    if (text.isEmpty()) return false;
    const auto category = text.front().category();
    return category == QChar::Letter_Uppercase || category == QChar::Letter_Titlecase;
}

void extendShortFragment(QVCaptionFragment& fragment) {
    if (fragment.end - fragment.start < kFragmentMinimumDurationMs) {
        fragment.end = fragment.start + kFragmentMinimumDurationMs;
    }
}

void appendWord(QVCaptionFragment& fragment, const ExportWord& word) {
    if (fragment.words.empty()) {
        fragment.start = word.start;
    } else {
        fragment.length += 1;
        fragment.assembledWords += QLatin1Char(' ');
    }
    fragment.length += word.name.size();
    fragment.assembledWords += word.name;
    fragment.end = word.end;

    QVCaptionWord captionWord;
    captionWord.name = word.name;
    captionWord.start = word.start;
    captionWord.end = word.end;
    const int64_t previousTotal = fragment.words.empty() ? 0 : fragment.words.back().totalLength;
    captionWord.totalLength = previousTotal + word.name.size() + 1;
    fragment.words.push_back(std::move(captionWord));
}

// Walking back from the last word, each capitalised word followed by a capitalised word counts
// the group that follows it.
void fillGroupWithNext(QVCaptionFragment& fragment) {
    auto& words = fragment.words;
    for (size_t k = words.size(); k-- > 1;) {
        auto& word = words[k - 1];
        const auto& next = words[k];
        if (word.hasUppercaseFirstCharacter && next.hasUppercaseFirstCharacter) {
            word.groupWithNext = next.groupWithNext + 1;
        }
    }
}

// The range as the layout sees it: each word's text as a caption line shows it, and no word
// whose text is then empty, since it would take room (or a whole line) and show nothing. A
// paragraph that such a word starts starts at the next word instead.
ExportRange rangeForLayout(const ExportRange& range) {
    ExportRange shown = range;
    shown.words.clear();
    bool paragraphPending = false;
    for (const auto& word : range.words) {
        ExportWord shownWord = word;
        shownWord.name = captionLineText(word.name).trimmed();
        if (shownWord.name.isEmpty()) {
            paragraphPending = paragraphPending || word.newParagraph;
            continue;
        }
        shownWord.newParagraph = word.newParagraph || paragraphPending;
        paragraphPending = false;
        shown.words.push_back(std::move(shownWord));
    }
    return shown;
}

// Length of words from…to joined by single spaces.
int64_t joinedLength(const QVCaptionFragment& fragment, int64_t from, int64_t to) {
    int64_t length = 0;
    for (int64_t k = from; k <= to; ++k) length += fragment.words[k].name.size() + (k > from ? 1 : 0);
    return length;
}

}  // namespace

QVCaptionPagesCreate::QVCaptionPagesCreate(const ExportTranscript& transcript) : transcript_(transcript) {
    for (const auto& word : transcript.startWords) startWords_.insert(word.toCaseFolded());
}

bool QVCaptionPagesCreate::stringIsStartWord(const QString& text) const {
    return !startWords_.isEmpty() && startWords_.contains(text.toCaseFolded());
}

std::vector<QVCaptionPage> QVCaptionPagesCreate::createCaptionPagesWithOptions(const CaptionPageOptions& options,
                                                                               int64_t maxCharsPerLine,
                                                                               int64_t /*maxLinesPerPage*/) {
    // The layout divides by the line length: a line holds at least one character.
    maxCharsPerLine_ = std::max<int64_t>(maxCharsPerLine, 1);
    optionPageMode_ = options.pageMode;
    optionSpeakerMode_ = options.speakerMode;
    captionPages_.clear();
    resetCaptionPageAndCurrentLine();
    const bool autoMode = optionPageMode_ == QLatin1String("auto");

    for (const auto& transcriptRange : transcript_.ranges) {
        const ExportRange range = rangeForLayout(transcriptRange);
        auto fragments = autoMode ? fragmentsOfRange(range) : sentenceFragmentsOfRange(range);
        // Every range starts on a fresh line.
        if (!currentCaptionLine().isEmpty()) saveCaptionPage();
        std::optional<QString> label = speakerLabel(range.speakerName);
        for (auto& fragment : fragments) {
            captionPageFragmentStart_.reset();
            if (autoMode) {
                layoutFragment(fragment, 0, label);
            } else {
                layoutSentence(fragment, label);
            }
            label.reset();
        }
    }

    // The last page is always added, also when closing it merged its two lines.
    if (!currentCaptionPage_.line1.isEmpty() || !currentCaptionPage_.line2.isEmpty()) {
        saveCaptionPage();
        if (!currentCaptionPage_.line1.isEmpty()) saveCaptionPage();
    }
    timeCaptionPages(captionPages_, transcript_.duration);
    return std::move(captionPages_);
}

std::vector<QVCaptionFragment> QVCaptionPagesCreate::fragmentsOfRange(const ExportRange& range) const {
    std::vector<QVCaptionFragment> closed;
    QVCaptionFragment fragment;
    bool holdsGroup = false;
    const auto close = [&] {
        if (holdsGroup) fillGroupWithNext(fragment);
        closed.push_back(std::move(fragment));
        fragment = QVCaptionFragment();
        holdsGroup = false;
    };

    for (const auto& word : range.words) {
        if (fragment.words.empty()) {
            if (!closed.empty() && word.start - closed.back().end >= kFragmentPauseMs) {
                fragment.startNewPage = true;
                extendShortFragment(closed.back());
            }
        } else if (word.start - fragment.end >= kFragmentPauseMs || word.newParagraph) {
            if (word.start - fragment.end >= kFragmentPauseMs) extendShortFragment(fragment);
            close();
            fragment.startNewPage = word.newParagraph;
        }

        const bool hadPrevious = !fragment.words.empty();
        appendWord(fragment, word);
        auto& captionWord = fragment.words.back();
        captionWord.isStartWord = stringIsStartWord(word.name);
        captionWord.hasUppercaseFirstCharacter = startsWithUppercaseLetter(word.name);
        if (captionWord.hasUppercaseFirstCharacter && hadPrevious) {
            const auto& previous = fragment.words[fragment.words.size() - 2];
            if (previous.hasUppercaseFirstCharacter) {
                captionWord.groupWithPrevious = previous.groupWithPrevious + 1;
                holdsGroup = true;
            }
        }
        if (::hasPausingOrStoppingPunctuation(word.name)) close();
    }
    if (!fragment.words.empty()) close();
    return closed;
}

std::vector<QVCaptionFragment> QVCaptionPagesCreate::sentenceFragmentsOfRange(const ExportRange& range) const {
    std::vector<QVCaptionFragment> closed;
    QVCaptionFragment fragment;
    for (const auto& word : range.words) {
        appendWord(fragment, word);
        if (::hasStoppingPunctuation(word.name)) {
            closed.push_back(std::move(fragment));
            fragment = QVCaptionFragment();
        }
    }
    if (!fragment.words.empty()) closed.push_back(std::move(fragment));
    return closed;
}

std::optional<QString> QVCaptionPagesCreate::speakerLabel(const QString& speakerName) const {
    if (optionSpeakerMode_ == QLatin1String("none")) return std::nullopt;
    const QString name = captionLineText(speakerName);
    if (optionSpeakerMode_ == QLatin1String("name")) return name + QStringLiteral(": ");
    return QStringLiteral(">> ") + name.toUpper() + QStringLiteral(": ");
}

void QVCaptionPagesCreate::layoutSentence(const QVCaptionFragment& fragment, const std::optional<QString>& label) {
    QString& line = currentCaptionLine();
    if (label) line += *label;
    line += fragment.assembledWords;
    currentCaptionPage_.transcriptWordsCount += static_cast<int64_t>(fragment.words.size());
    currentCaptionPage_.start = fragment.start;
    currentCaptionPage_.end = fragment.end;
    saveCaptionPage();
}

void QVCaptionPagesCreate::layoutFragment(QVCaptionFragment& fragment, int64_t fromIndex,
                                          std::optional<QString> label) {
    const auto count = static_cast<int64_t>(fragment.words.size());
    if (fromIndex == 0 && !captionPageFragmentStart_) {
        captionPageFragmentStart_ = FragmentStart{captionPages_.size(), currentCaptionPage_, currentLineIsLine2_, label};
    }
    const int64_t maxChars = maxCharsPerLine_;
    int64_t i = fromIndex;
    while (i < count) {
        const int64_t labelLength = label ? label->size() : 0;
        const int64_t needed = labelLength + (i == 0 ? fragment.length : joinedLength(fragment, i, count - 1));
        int64_t room = maxChars - currentCaptionLine().size() - (currentCaptionLine().isEmpty() ? 0 : 1);

        // Where the text starts. A fragment that must begin a page closes any page holding
        // text, on each of its lines: such a fragment never shares a page with other text, and
        // its own lines go one to a page.
        auto& page = currentCaptionPage_;
        if (fragment.startNewPage && !page.line1.isEmpty()) {
            saveCaptionPage();
            room = maxChars;
        } else if (needed <= room) {
            if (!currentCaptionLine().isEmpty()) currentCaptionLine() += QLatin1Char(' ');
        } else if (currentLineIsLine2_) {
            saveCaptionPage();
            room = maxChars;
        } else if (i > 0 || needed <= maxChars) {
            switchToLine2();
            room = maxChars;
        } else if (page.transcriptWordsCount == 1) {
            // A fragment longer than a line after a lone word: keep it beside that word when
            // the word is short, else start it on line 2.
            if (page.line1.size() < maxChars / 2) {
                page.line1 += QLatin1Char(' ');
            } else {
                switchToLine2();
                room = maxChars;
            }
        } else if (!page.line1.isEmpty() || !page.line2.isEmpty()) {
            saveCaptionPage();
            room = maxChars;
        }

        if (currentCaptionLine().isEmpty() && !currentLineIsLine2_) currentCaptionPage_.start = fragment.words[i].start;

        if (needed <= room) {
            addWordsFromFragment(fragment, i, count - 1, label, maxChars);
            return;
        }

        // Share the words out over lines of balanced length.
        const int64_t lines = (needed + maxChars - 1) / maxChars;
        const int64_t target = fragment.fillLinesToMaxChars ? maxChars : needed / lines;
        int64_t budget = label ? maxChars - labelLength : target - currentCaptionLine().size();
        int64_t used = labelLength;
        int64_t last = i;
        int64_t k = i;
        while (k < count) {
            const auto& word = fragment.words[k];
            const int64_t length = word.name.size() + (k > i ? 1 : 0);
            if (length > budget) break;
            if (word.groupWithNext > 0) {
                const int64_t groupLast = std::min(k + word.groupWithNext, count - 1);
                const int64_t groupLength = length + joinedLength(fragment, k, groupLast) - word.name.size();
                if (groupLength > maxChars - used) break;
                last = groupLast;
                used += groupLength;
                budget -= groupLength;
                k = groupLast + 1;
                continue;
            }
            if (word.isStartWord && k != count - 1) {
                // A start word stays with what follows it, up to the first plain word.
                int64_t unitLast = k + 1;
                while (unitLast < count - 1 &&
                       (fragment.words[unitLast].isStartWord || fragment.words[unitLast].groupWithNext >= 1)) {
                    ++unitLast;
                }
                const int64_t unitLength = length + joinedLength(fragment, k, unitLast) - word.name.size();
                if (unitLength <= budget || (unitLength <= maxChars - used && lines == 2)) {
                    last = unitLast;
                    used += unitLength;
                    budget -= unitLength;
                    k = unitLast + 1;
                    continue;
                }
                break;
            }
            last = k;
            used += length;
            budget -= length;
            ++k;
        }

        const int64_t placed = addWordsFromFragment(fragment, i, last, label, target);
        int64_t next = placed == last ? k : placed + 1;
        // A single word too long for the line still takes a line of its own.
        if (next == last && next == i) next = i + 1;
        i = next;
        label.reset();
    }
}

int64_t QVCaptionPagesCreate::addWordsFromFragment(QVCaptionFragment& fragment, int64_t fromIndex, int64_t toIndex,
                                                   const std::optional<QString>& label, int64_t targetCharsPerLine) {
    const auto count = static_cast<int64_t>(fragment.words.size());
    int64_t last = toIndex;
    if (count >= 2 && toIndex == count - 2) {
        // Exactly one word would be left for a line of its own.
        if (!fragment.fillLinesToMaxChars && targetCharsPerLine < maxCharsPerLine_ && captionPageFragmentStart_) {
            // Lay the whole fragment out again filling its lines, from where it began.
            const FragmentStart start = *captionPageFragmentStart_;
            captionPages_.resize(start.pageCount);
            currentCaptionPage_ = start.page;
            currentLineIsLine2_ = start.onLine2;
            fragment.fillLinesToMaxChars = true;
            layoutFragment(fragment, 0, start.label);
            return count - 1;
        }
        if (fragment.fillLinesToMaxChars && fromIndex < toIndex) {
            // End the line early so that enough words go down to keep the last one company.
            last = toIndex - 1;
            if (fromIndex < toIndex - 1) {
                int64_t moved = fragment.words[count - 1].name.size();
                while (moved < maxCharsPerLine_ / 2) {
                    moved += fragment.words[last].name.size() + 1;
                    --last;
                    if (last == fromIndex) break;
                }
            }
        }
    }

    QString& line = currentCaptionLine();
    if (label) line += *label;
    for (int64_t k = fromIndex; k <= last; ++k) {
        if (k > fromIndex) line += QLatin1Char(' ');
        line += fragment.words[k].name;
        currentCaptionPage_.transcriptWordsCount += 1;
        currentCaptionPage_.end = fragment.words[k].end;
    }
    return last;
}

void QVCaptionPagesCreate::saveCaptionPage() {
    auto& page = currentCaptionPage_;
    const int64_t length1 = page.line1.size();
    const int64_t length2 = page.line2.size();
    if (!page.line2.isEmpty() && length1 + 1 + length2 <= maxCharsPerLine_) {
        // Two short lines become one; the page stays open on its now empty line 2.
        page.line1 += QLatin1Char(' ') + page.line2;
        page.line2.clear();
        currentLineIsLine2_ = true;
        return;
    }
    const float ratio = (length1 != 0 && length2 != 0) ? float(length1) / float(length2) : 1.0f;
    if (ratio < 0.8f) balanceLines();

    const int64_t pieces = page.wordCount();
    if (page.end - page.start > 0 && pieces > 0) page.wpm = pieces * (60000 / (page.end - page.start));
    captionPages_.push_back(std::move(page));
    resetCaptionPageAndCurrentLine();
}

// Moves words from the start of line 2 to the end of line 1 while line 1 is much the shorter.
void QVCaptionPagesCreate::balanceLines() {
    auto& page = currentCaptionPage_;
    const QStringList pieces = page.line2.split(QLatin1Char(' '));
    const auto count = static_cast<int64_t>(pieces.size());

    const auto movePieces = [&](bool keepTwo) {
        int64_t moved = 0;
        int64_t length1 = page.line1.size();
        while (moved < count) {
            const int64_t pieceLength = pieces[moved].size();
            if (keepTwo && count - (moved + 1) < 2) break;
            if (length1 + 1 + pieceLength > maxCharsPerLine_) break;
            if (stringIsStartWord(pieces[moved])) {
                // A start word moves only with the piece after it.
                const int64_t remaining = count - moved;
                if (moved + 1 >= count || remaining == 2 || remaining == 3) break;
                const int64_t pairLength = pieceLength + 1 + pieces[moved + 1].size();
                if (length1 + 1 + pairLength > maxCharsPerLine_) break;
                length1 += 1 + pairLength;
                moved += 2;
                continue;
            }
            length1 += 1 + pieceLength;
            moved += 1;
        }
        return moved;
    };

    int64_t moved = movePieces(true);
    if (moved == 0 && !page.line1.contains(QLatin1Char(' ')) && page.line1.size() < maxCharsPerLine_ / 2 &&
        count > 1) {
        moved = movePieces(false);
    }
    if (moved == 0) return;
    for (int64_t p = 0; p < moved; ++p) page.line1 += QLatin1Char(' ') + pieces[p];
    page.line2 = pieces.mid(moved).join(QLatin1Char(' '));
}

void QVCaptionPagesCreate::resetCaptionPageAndCurrentLine() {
    currentCaptionPage_ = QVCaptionPage();
    currentLineIsLine2_ = false;
}

void QVCaptionPagesCreate::switchToLine2() {
    currentLineIsLine2_ = true;
}

QString& QVCaptionPagesCreate::currentCaptionLine() {
    return currentLineIsLine2_ ? currentCaptionPage_.line2 : currentCaptionPage_.line1;
}

}  // namespace qv
