#include "editing/CaseCommands.h"

#include "editing/EditingEnvironment.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/LocalizedString.h"

namespace {

bool containsAny(const QString& text, const qv::CharacterSet& set)
{
    return std::any_of(text.begin(), text.end(), [&](QChar c) { return set.contains(c); });
}

const qv::CharacterSet& whitespaceAndPunctuation()
{
    static const qv::CharacterSet set = qv::CharacterSet::whitespace() | qv::CharacterSet::punctuation();
    return set;
}

}  // namespace

std::optional<QString> CaseCommands::uppercaseFirst(const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    qsizetype leadIn = 0;
    while (leadIn < name.size() && whitespaceAndPunctuation().contains(name[leadIn]))
        ++leadIn;
    if (leadIn == name.size())
        return std::nullopt;
    const QString rest = name.mid(leadIn);
    const bool changes = qv::CharacterSet::lowercaseLetters().contains(rest.front()) ||
                         (rest.size() > 1 && containsAny(rest.mid(1), qv::CharacterSet::uppercaseLetters()));
    if (!changes)
        return std::nullopt;
    if (name.size() == 1)
        return name.toUpper();
    return name.left(leadIn) + rest.left(1).toUpper() + rest.mid(1).toLower();
}

std::optional<QString> CaseCommands::changedText(Kind kind, const QString& name) const
{
    if (name.isEmpty())
        return std::nullopt;
    switch (kind) {
    case Kind::Lowercase:
        if (!containsAny(name, qv::CharacterSet::uppercaseLetters()) || (name == "I" && env_.fileIsEnglish()))
            return std::nullopt;
        return name.toLower();
    case Kind::UppercaseFirst:
        return uppercaseFirst(name);
    case Kind::UppercaseAll:
        return name.toUpper();
    }
    return std::nullopt;
}

bool CaseCommands::canLowercaseWords(const QVOrderedSet<QVWord>& words) const
{
    return std::any_of(words.begin(), words.end(),
                       [](const auto& w) { return containsAny(w->name(), qv::CharacterSet::uppercaseLetters()); });
}

bool CaseCommands::canUppercaseFirstWords(const QVOrderedSet<QVWord>& words) const
{
    return std::any_of(words.begin(), words.end(), [](const auto& w) {
        const QString text = qv::trimmed(w->name(), whitespaceAndPunctuation());
        if (text.isEmpty())
            return false;
        return qv::CharacterSet::lowercaseLetters().contains(text.front()) ||
               containsAny(text.mid(1), qv::CharacterSet::uppercaseLetters());
    });
}

bool CaseCommands::canUppercaseAllWords(const QVOrderedSet<QVWord>& words) const
{
    return std::any_of(words.begin(), words.end(),
                       [](const auto& w) { return containsAny(w->name(), qv::CharacterSet::lowercaseLetters()); });
}

bool CaseCommands::canDeletePunctuation(const QVOrderedSet<QVWord>& words) const
{
    return std::any_of(words.begin(), words.end(), [](const auto& w) {
        return !w->name().isEmpty() && qv::trimmed(w->name(), qv::CharacterSet::punctuation()) != w->name();
    });
}

bool CaseCommands::canLowercaseWord(const std::shared_ptr<QVWord>& word) const
{
    if (!word || word->name().isEmpty())
        return false;
    const QString& name = word->name();
    if (name.size() == 1)
        return !(env_.fileIsEnglish() && name == "I");
    return !qv::CharacterSet::uppercaseLetters().contains(name[1]);
}

bool CaseCommands::editWordsToLowercase(const QVOrderedSet<QVWord>& words, bool shouldReloadRow)
{
    return run(Kind::Lowercase, words, shouldReloadRow);
}

bool CaseCommands::editWordsToUppercaseFirst(const QVOrderedSet<QVWord>& words, bool shouldReloadRow)
{
    return run(Kind::UppercaseFirst, words, shouldReloadRow);
}

void CaseCommands::editWordsToUppercaseAll(const QVOrderedSet<QVWord>& words, bool shouldReloadRow)
{
    run(Kind::UppercaseAll, words, shouldReloadRow);
}

bool CaseCommands::run(Kind kind, const QVOrderedSet<QVWord>& words, bool shouldReloadRow)
{
    PreviousTexts previous;
    bool changed = false;
    for (const auto& word : words) {
        const auto text = changedText(kind, word->name());
        if (!text) {
            previous.emplace_back();
            continue;
        }
        previous.emplace_back(word->name());
        word->setName(*text);
        env_.writeName(*word);
        changed = true;
    }
    if (!changed && kind != Kind::UppercaseAll)
        return false;
    if (shouldReloadRow) {
        env_.view().reloadRowsForWords(words);
        if (!env_.isRedoing())
            env_.view().resumePlayback();
    }
    env_.undoManager().registerUndo([this, kind, words, previous, shouldReloadRow] { undo(kind, words, previous, shouldReloadRow); });
    static const QString names[] = {"Lowercase All", "Uppercase First Character(s)", "Uppercase All"};
    env_.undoManager().setActionName(qv::localizedString(names[static_cast<int>(kind)]));
    env_.updateCurrentFileTimestamp();
    return changed;
}

void CaseCommands::undo(Kind kind, const QVOrderedSet<QVWord>& words, const PreviousTexts& previous, bool shouldReloadRow)
{
    for (std::size_t i = 0; i < words.size() && i < previous.size(); ++i) {
        if (!previous[i])
            continue;
        words.at(i)->setName(*previous[i]);
        env_.writeName(*words.at(i));
    }
    env_.undoManager().registerUndo([this, kind, words, shouldReloadRow] { run(kind, words, shouldReloadRow); });
    if (shouldReloadRow) {
        env_.view().reloadRowsForWords(words);
        // Uppercase All registers a step even for no words; there is then no word to show.
        if (!words.empty())
            env_.view().locateMediaFileToWord(words.first());
    }
    env_.updateCurrentFileTimestamp();
}
