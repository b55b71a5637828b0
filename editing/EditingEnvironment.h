// What every editing command works with: the state record, the main queue, the alert presenter,
// the database writer, and the small steps the commands share (neighbouring words, the editing
// trace, the file's `updated` stamp). Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "model/EditingTrace.h"
#include "editing/TranscriptWriter.h"
#include "model/ModelServices.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/Alert.h"
#include "platform/ui/TextViewModel.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class EditingEnvironment {
public:
    EditingEnvironment(AppDelegate& ad, qv::Dispatcher& mainQueue, qv::AlertPresenter& alerts)
        : ad(ad), mainQueue(mainQueue), alerts(alerts), writer(ad, mainQueue, alerts)
    {
    }
    EditingEnvironment(const EditingEnvironment&) = delete;
    EditingEnvironment& operator=(const EditingEnvironment&) = delete;

    AppDelegate& ad;
    qv::Dispatcher& mainQueue;
    qv::AlertPresenter& alerts;
    TranscriptWriter writer;

    qv::UndoManager& undoManager() const { return *ad.undoManager; }
    bool isUndoing() const { return ad.undoManager->isUndoing(); }
    bool isRedoing() const { return ad.undoManager->isRedoing(); }
    ViewServices& view() const { return *ad.viewServices; }
    SpeakerServices& speakers() const { return *ad.speakerServices; }
    void updateCurrentFileTimestamp() const { ad.modelServices->updateCurrentFileTimestamp(); }
    void beep() const { alerts.beep(); }

    // The word before or after `word` in the open transcript; none at either end or when the
    // word is not there.
    std::shared_ptr<QVWord> wordBefore(const std::shared_ptr<QVWord>& word) const;
    std::shared_ptr<QVWord> wordAfter(const std::shared_ptr<QVWord>& word) const;
    // The word after `word` when it lies in the same speaker range; none otherwise.
    std::shared_ptr<QVWord> nextWordInSameRange(const std::shared_ptr<QVWord>& word) const;
    void sortWordsByStart();

    // The open file's language is English ("en-AU", "en-GB" or "en-US").
    bool fileIsEnglish() const;
    bool languageIs(const QString& code) const;
    // The player's position in ms; 0 without a player.
    std::int64_t playerMilliseconds() const;

    // Flags the words deleted (they leave the live words by their positions, so the order of the
    // rest is kept) or brings them back in start order, and writes the flag of each.
    void setWordsDeleted(const std::vector<std::shared_ptr<QVWord>>& words, bool deleted);
    // Takes the words flagged deleted out of the live words.
    void removeDeletedFromLiveWords();
    // Puts the words among the live words at their places by start (after words of the same
    // start).
    void insertLiveWordsInOrder(std::vector<std::shared_ptr<QVWord>> words);
    // Writes the word's text alone.
    void writeName(const QVWord& word) { writer.updateWord(word, {{"name", word.name().toStdString()}}); }

    // What typed text looks like during an inline edit.
    qv::TextAttributes editingTextAttributes() const { return {ad.editingTextColor, std::nullopt, std::nullopt}; }

    void appendTrace(const QString& text) { qv::appendToEditingTrace(ad.debugCharacterEditing, text); }
    // Drops the row text view that held the current word, saying so in the editing trace.
    void dropCurrentTextView(const QString& method);
    // Shows the application-modal "Word Editing Error" alert with `informativeText`.
    void showWordEditingError(const QString& informativeText) const;
};
