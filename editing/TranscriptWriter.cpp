#include "editing/TranscriptWriter.h"

#include "model/AppDelegate.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/Alert.h"

TranscriptWriter::TranscriptWriter(AppDelegate& ad, qv::Dispatcher& mainQueue, qv::AlertPresenter& alerts)
    : ad_(ad), alerts_(alerts)
{
    std::weak_ptr<std::uint64_t> turn = turn_;
    mainQueue.addTurnEndObserver([turn] {
        if (auto counter = turn.lock())
            ++*counter;
    });
}

TranscriptWriter::Batch TranscriptWriter::currentBatch() const
{
    Origin origin = Origin::Command;
    if (reverting_)
        origin = Origin::Revert;
    else if (ad_.undoManager && ad_.undoManager->isUndoing())
        origin = Origin::Undo;
    else if (ad_.undoManager && ad_.undoManager->isRedoing())
        origin = Origin::Redo;
    return {*turn_, origin};
}

void TranscriptWriter::updateWord(const QVWord& word, qv::DatabaseUpdate values)
{
    write(ad_.wordsMetadataRef.child(word.uuid.toStdString()), std::move(values));
}

void TranscriptWriter::updateSpeakerRange(const QVSpeakerRange& range, qv::DatabaseUpdate values)
{
    write(ad_.speakerRangesMetadataRef.child(range.uuid.toStdString()), std::move(values));
}

void TranscriptWriter::uploadTrace(const QString& trace)
{
    if (!ad_.currentUser)
        return;
    ad_.fbRef.child("debug_character_editing")
        .child(ad_.currentUser->uid)
        .childByAutoId()
        .setValue(qv::DatabaseValue(trace.toStdString()));
}

void TranscriptWriter::write(const qv::DatabaseReference& node, qv::DatabaseUpdate values)
{
    const Batch batch = currentBatch();
    lastWrittenTurn_ = batch.id;
    std::weak_ptr<std::uint64_t> alive = turn_;
    node.updateChildValues(std::move(values), [this, alive, batch](const qv::DatabaseResult& error) {
        if (error && alive.lock())
            refused(batch, QString::fromStdString(error->message));
    });
}

void TranscriptWriter::refused(Batch batch, const QString& message)
{
    qv::logError(("transcript write refused: " + message).toStdString());
    // A refused revert follows a refusal the user has already been told about.
    if (batch.origin == Origin::Revert || !reportedTurns_.insert(batch.id).second)
        return;
    // Only the newest change can be taken back without undoing later ones on top of it.
    const bool newest = batch.id == lastWrittenTurn_;
    const auto& undo = ad_.undoManager;
    bool reverted = false;
    if (newest && undo) {
        reverting_ = true;
        if ((batch.origin == Origin::Command || batch.origin == Origin::Redo) && undo->canUndo()) {
            undo->undo();
            reverted = true;
        } else if (batch.origin == Origin::Undo && undo->canRedo()) {
            undo->redo();
            reverted = true;
        }
        reverting_ = false;
    }
    qv::Alert alert;
    alert.style = qv::AlertStyle::Critical;
    alert.messageText = qv::localizedString("Word Editing Error");
    alert.informativeText = reverted
        ? qv::localizedString("The change could not be saved and has been taken back.")
        : qv::localizedString("A change could not be saved. Reopen the transcript to see what is stored.");
    alerts_.beginSheet(alert, {});
}
