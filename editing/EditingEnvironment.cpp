#include "editing/EditingEnvironment.h"

#include "model/OpenFileQueries.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"

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

void EditingEnvironment::setWordDeleted(const std::shared_ptr<QVWord>& word, bool deleted)
{
    word->deleted = deleted;
    if (deleted) {
        ad.words.remove(word);
        ad.wordsDeleted.add(word);
    } else {
        ad.words.add(word);
        ad.wordsDeleted.remove(word);
    }
    writer.updateWord(*word, {{"deleted", deleted}});
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
