#include "editing/FavoriteCommands.h"

#include "editing/EditingEnvironment.h"
#include "editing/SelectionCommands.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/LocalizedString.h"

void FavoriteCommands::toggleFavoriteForSelectedWords(const QVOrderedSet<QVWord>& words, std::int64_t status,
                                                      const std::optional<std::vector<bool>>& originalWords)
{
    if (words.empty())
        return;
    bool newValue = status != 0;
    if (status == -1)
        newValue = !std::all_of(words.begin(), words.end(), [](const auto& w) { return w->favorite; });
    std::vector<bool> previous;
    for (const auto& word : words)
        previous.push_back(word->favorite);
    const bool replaying = env_.isUndoing() || env_.isRedoing();
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto& word = words.at(i);
        word->favorite = replaying && originalWords && i < originalWords->size() ? (*originalWords)[i] : newValue;
        env_.writer.updateWord(*word, {{"favorite", word->favorite}});
    }
    env_.undoManager().registerUndo([this, words, inverse = newValue ? 0 : 1, previous] {
        toggleFavoriteForSelectedWords(words, inverse, previous);
    });
    if (status == -1)
        env_.undoManager().setActionName(qv::localizedString(newValue ? "Add Favorite Range" : "Remove Favorite Range"));
    env_.view().reloadRowsForWords(words);
    env_.view().locateMediaFileToWord(words.first());
    env_.updateCurrentFileTimestamp();
}

void FavoriteCommands::buttonPressedToggleFavorite()
{
    if (env_.ad.isViewingOnly) {
        env_.beep();
        return;
    }
    toggleFavoriteForSelectedWords(SelectionCommands::getSelectedWords(env_.ad), -1);
}

void FavoriteCommands::confirmCleanUp(const QString& message, std::function<void()> work)
{
    if (env_.ad.isViewingOnly) {
        env_.beep();
        return;
    }
    qv::Alert alert;
    alert.style = qv::AlertStyle::Warning;
    alert.messageText = message;
    alert.informativeText = qv::localizedString("You cannot undo this action.");
    alert.buttons = {qv::localizedString("Remove"), qv::localizedString("Cancel")};
    env_.alerts.beginSheet(alert, [this, work = std::move(work)](int returnCode) {
        if (returnCode != qv::kAlertFirstButtonReturn)
            return;
        // The edit right may have gone to another computer while the sheet was open.
        if (env_.ad.isViewingOnly) {
            env_.beep();
            return;
        }
        work();
        // Older steps would act on records this change rewrote without a way back.
        env_.undoManager().removeAllActions();
    });
}

void FavoriteCommands::refreshTableAfterCleanUp(const QString& method)
{
    env_.mainQueue.async([this, method] {
        env_.ad.rowHeights.clear();
        env_.dropCurrentTextView(method);
        env_.view().reloadTranscriptTable();
    });
}

void FavoriteCommands::removeFavoriteRanges()
{
    confirmCleanUp(qv::localizedString("Are you sure you want to remove all favorite ranges on this file?"), [this] {
        for (const auto& word : env_.ad.words) {
            if (!word->favorite)
                continue;
            word->favorite = false;
            env_.writer.updateWord(*word, {{"favorite", false}});
        }
        env_.updateCurrentFileTimestamp();
        refreshTableAfterCleanUp("removeFavoriteRanges:");
    });
}

void FavoriteCommands::removePunctuation()
{
    confirmCleanUp(qv::localizedString("Are you sure you want to remove all punctuation on this file?"), [this] {
        const auto& words = env_.ad.words;
        const bool english = env_.fileIsEnglish();
        for (std::size_t i = 0; i < words.size(); ++i) {
            const auto& word = words.at(i);
            if (word->name().isEmpty() || !word->name().endsWith('.'))
                continue;
            word->setName(word->name().chopped(1));
            env_.writeName(*word);
            // Only a sentence that lost its stop runs into the next word.
            const auto next = words.at(i + 1);
            if (!next || !english)
                continue;
            const QString& name = next->name();
            if (name != "I" && name.size() > 1 && qv::CharacterSet::uppercaseLetters().contains(name[0]) &&
                qv::CharacterSet::lowercaseLetters().contains(name[1])) {
                next->setName(name.left(1).toLower() + name.mid(1));
                env_.writeName(*next);
            }
        }
        env_.updateCurrentFileTimestamp();
        refreshTableAfterCleanUp("removePunctuation:");
    });
}
