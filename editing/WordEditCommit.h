// Commits a word edit: fits the new words into the time of the replaced ones (widening over
// neighbours when they do not fit), re-times them, marks removed words deleted, moves a speaker
// range that began with the edited words, writes every change and registers "Edit Words" with
// the undo manager. With an edit record it applies that record instead (the redo). Main thread.
#pragma once

#include "editing/EditRecord.h"
#include "model/QVOrderedSet.h"
#include "model/QVWord.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class EditingEnvironment;

class WordEditCommit {
public:
    explicit WordEditCommit(EditingEnvironment& env) : env_(env) {}

    // Cancels the open inline edit; called only while one is open.
    void setEditWordsCancel(std::function<void()> cancel) { editWordsCancel_ = std::move(cancel); }

    // The status a caller gave a word before handing it over, with the status it had before.
    using StatusesBeforeEdit = std::vector<std::pair<std::shared_ptr<QVWord>, std::int64_t>>;

    // Replaces `selection` by `newWords` (their texts in `namePending`; kept words are the same
    // objects as in the selection). Returns the time in ms the player should continue from, or
    // -1 for none (also when nothing was committed). Words whose status the caller already set
    // are listed in `statusesBeforeEdit`: undo restores those statuses, and so does an edit
    // that commits nothing.
    std::int64_t editWords(QVOrderedSet<QVWord> selection, QVOrderedSet<QVWord> newWords, bool extended,
                           const std::optional<EditRecord>& originalData = std::nullopt,
                           const StatusesBeforeEdit& statusesBeforeEdit = {});
    // Applies `record` to `words` as the undo of an edit; registers the redo when asked.
    void undoEditWords(const QVOrderedSet<QVWord>& words, bool extended, const std::optional<EditRecord>& record,
                       bool createRedo);

    static std::int64_t getWordDuration(const QVWord& word) { return word.end - word.start; }
    // `total` shared among `strings` in proportion to their letters; the last takes the rest.
    static std::vector<std::int64_t> getWordDurations(const QStringList& strings, std::int64_t total);

    // Default time per character, in ms, when the speaker range has too few unedited words.
    static constexpr std::int64_t kDefaultTimePerCharacter = 54;

private:
    struct Applied {
        QVOrderedSet<QVWord> working;
        EditRecord opposite;
        std::int64_t seekTarget = -1;
    };
    Applied applyRecord(const QVOrderedSet<QVWord>& words, const EditRecord& record);
    std::int64_t redoEditWords(const QVOrderedSet<QVWord>& words, bool extended, const EditRecord& record);
    std::int64_t timePerCharacter(const std::shared_ptr<QVWord>& firstWord) const;
    void cancelIfEditing(const QString& reason);
    void writeWordValues(const QVWord& word, bool isNew);

    EditingEnvironment& env_;
    std::function<void()> editWordsCancel_;
};
