#include "editing/EditingEnvironment.h"

#include "model/OpenFileQueries.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"

#include <algorithm>

std::shared_ptr<QVWord> EditingEnvironment::wordBefore(const std::shared_ptr<QVWord>& word) const
{
    const auto index = ad.words.indexOf(word);
    return index && *index > 0 ? ad.words.at(*index - 1) : nullptr;
}

std::shared_ptr<QVWord> EditingEnvironment::wordAfter(const std::shared_ptr<QVWord>& word) const
{
    const auto index = ad.words.indexOf(word);
    return index ? ad.words.at(*index + 1) : nullptr;
}

std::shared_ptr<QVWord> EditingEnvironment::nextWordInSameRange(const std::shared_ptr<QVWord>& word) const
{
    auto next = wordAfter(word);
    return next && next->speakerRange == word->speakerRange ? next : nullptr;
}

void EditingEnvironment::setWordsDeleted(const std::vector<std::shared_ptr<QVWord>>& words, bool deleted)
{
    for (const auto& word : words) {
        word->deleted = deleted;
        if (deleted)
            ad.wordsDeleted.add(word);
        else
            ad.wordsDeleted.remove(word);
        writer.updateWord(*word, {{"deleted", deleted}});
    }
    if (deleted)
        ad.words.removeAll(words);
    else
        insertLiveWordsInOrder(words);
}

void EditingEnvironment::removeDeletedFromLiveWords()
{
    ad.words.removeIf([](const std::shared_ptr<QVWord>& word) { return word->deleted; });
}

void EditingEnvironment::insertLiveWordsInOrder(std::vector<std::shared_ptr<QVWord>> words)
{
    std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a->start < b->start; });
    // Words that fall between the same two live words go in together, the last place first so
    // that the places found stay right.
    std::vector<std::pair<std::size_t, std::vector<std::shared_ptr<QVWord>>>> groups;
    const auto& items = ad.words.items();
    for (const auto& word : words) {
        const auto at = std::upper_bound(items.begin(), items.end(), word->start,
                                         [](std::int64_t start, const std::shared_ptr<QVWord>& w) { return start < w->start; });
        const auto position = static_cast<std::size_t>(at - items.begin());
        if (groups.empty() || groups.back().first != position)
            groups.emplace_back(position, std::vector<std::shared_ptr<QVWord>>{});
        groups.back().second.push_back(word);
    }
    for (auto group = groups.rbegin(); group != groups.rend(); ++group)
        ad.words.insert(group->first, group->second);
}

void EditingEnvironment::sortWordsByStart()
{
    ad.words.sort([](const QVWord& a, const QVWord& b) { return a.start < b.start; });
}

bool EditingEnvironment::fileIsEnglish() const
{
    if (!ad.currentFile)
        return false;
    const QString& language = ad.currentFile->language;
    return language == "en-AU" || language == "en-GB" || language == "en-US";
}

bool EditingEnvironment::languageIs(const QString& code) const
{
    return ::languageIs(ad, code);
}

std::int64_t EditingEnvironment::playerMilliseconds() const
{
    if (!ad.modelServices || !ad.modelServices->hasPlayer())
        return 0;
    return convertCMTimeToMilliseconds(ad.modelServices->playerCurrentTime());
}

void EditingEnvironment::dropCurrentTextView(const QString& method)
{
    ad.currentTextView = nullptr;
    appendTrace(QString("*****\nin %1 self.currentTextView assigned to nil\n").arg(method));
}

void EditingEnvironment::showWordEditingError(const QString& informativeText) const
{
    qv::Alert alert;
    alert.style = qv::AlertStyle::Critical;
    alert.messageText = qv::localizedString("Word Editing Error");
    alert.informativeText = informativeText;
    alerts.beginSheet(alert, {});
}
