// Writes transcript changes to the open file's database nodes, one update per changed record
// with only the changed keys. A write the database refuses is not left unsaid: the change is
// taken back on screen (the newest undo step is undone, or redone when the refused write was an
// undo) and the user is told. Main thread only.
#pragma once

#include "platform/rtdb/DatabaseReference.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <set>

class AppDelegate;
class QVSpeakerRange;
class QVWord;

namespace qv {
class AlertPresenter;
class Dispatcher;
}  // namespace qv

class TranscriptWriter {
public:
    TranscriptWriter(AppDelegate& ad, qv::Dispatcher& mainQueue, qv::AlertPresenter& alerts);
    TranscriptWriter(const TranscriptWriter&) = delete;
    TranscriptWriter& operator=(const TranscriptWriter&) = delete;

    // transcripts/<file>/words/<uuid> gets `values`.
    void updateWord(const QVWord& word, qv::DatabaseUpdate values);
    // transcripts/<file>/speaker_ranges/<uuid> gets `values`.
    void updateSpeakerRange(const QVSpeakerRange& range, qv::DatabaseUpdate values);
    // The editing trace, whole, under debug_character_editing/<user uid>/<push id>.
    void uploadTrace(const QString& trace);

private:
    enum class Origin { Command, Undo, Redo, Revert };
    struct Batch {
        std::uint64_t id;
        Origin origin;
    };
    Batch currentBatch() const;
    void write(const qv::DatabaseReference& node, qv::DatabaseUpdate values);
    void refused(Batch batch, const QString& message);

    AppDelegate& ad_;
    qv::AlertPresenter& alerts_;
    // Writes of one turn of the main queue form one batch: the writes of one undo step.
    std::shared_ptr<std::uint64_t> turn_ = std::make_shared<std::uint64_t>(0);
    std::uint64_t lastWrittenTurn_ = 0;
    std::set<std::uint64_t> reportedTurns_;
    bool reverting_ = false;
};
