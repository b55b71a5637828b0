// Paragraph breaks inside a speaker range: the flag on the word that begins the new paragraph,
// set and cleared as undo steps that invert each other. Main thread only.
#pragma once

#include <memory>

class EditingEnvironment;
class QVWord;

class ParagraphCommands {
public:
    explicit ParagraphCommands(EditingEnvironment& env) : env_(env) {}

    // Nothing for no word or a word that already begins a paragraph.
    void addNewParagraphForWord(const std::shared_ptr<QVWord>& word);
    // Nothing for no word or a word that begins no paragraph.
    void deleteParagraphForWord(const std::shared_ptr<QVWord>& word);

private:
    EditingEnvironment& env_;
};
