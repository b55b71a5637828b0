#include "editing/ParagraphCommands.h"

#include "editing/EditingEnvironment.h"
#include "platform/foundation/LocalizedString.h"

void ParagraphCommands::addNewParagraphForWord(const std::shared_ptr<QVWord>& word)
{
    // Setting a break that is already there would register an undo that removes it.
    if (!word || word->newParagraph)
        return;
    word->newParagraph = true;
    env_.writer.updateWord(*word, {{"new_paragraph", true}});
    env_.updateCurrentFileTimestamp();
    env_.undoManager().registerUndo([this, word] { deleteParagraphForWord(word); });
    if (!env_.isUndoing() && !env_.isRedoing())
        env_.undoManager().setActionName(qv::localizedString("Add Paragraph Break"));
    QVOrderedSet<QVWord> words;
    words.add(word);
    env_.view().reloadRowsForWords(words);
}

void ParagraphCommands::deleteParagraphForWord(const std::shared_ptr<QVWord>& word)
{
    if (!word || !word->newParagraph)
        return;
    word->newParagraph = false;
    env_.writer.updateWord(*word, {{"new_paragraph", false}});
    env_.updateCurrentFileTimestamp();
    env_.undoManager().registerUndo([this, word] { addNewParagraphForWord(word); });
    ViewServices* view = &env_.view();
    auto reloadWordRow = [view, start = word->start] { view->reloadRowForWordStartTime(start); };
    if (!env_.isUndoing() && !env_.isRedoing()) {
        env_.undoManager().setActionName(qv::localizedString("Delete Paragraph Break"));
        reloadWordRow();
        return;
    }
    const AppDelegate& ad = env_.ad;
    if (!(ad.currentWord && ad.currentWord->speakerRange == word->speakerRange))
        view->reloadRowForWordStartTime(env_.playerMilliseconds());
    view->locateMediaFileToMilliseconds(word->start, false, false, reloadWordRow);
}
