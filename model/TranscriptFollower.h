// Keeps the open transcript in step with the service once it is loaded: the words, speakers and
// speaker ranges are observed, and what another computer or the service changes there is applied
// to the model and shown. Changes this computer made itself come back equal to the model and
// cost nothing. Main thread only.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DatabaseReference.h"

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class AppDelegate;
class QVWord;

// A word from its stored node; none when the node has no name or an empty one.
std::shared_ptr<QVWord> wordFromNode(const qv::DatabaseValue& node);

class TranscriptFollower {
public:
    // The transcript nodes, in the order they are read.
    enum class Node { Words, Speakers, SpeakerRanges };

    // Without a queue each report is applied as it comes; with one, the reports of one turn are
    // applied together.
    TranscriptFollower(AppDelegate& ad, qv::Dispatcher* queue) : ad_(ad), queue_(queue) {}
    ~TranscriptFollower() { stop(); }
    TranscriptFollower(const TranscriptFollower&) = delete;
    TranscriptFollower& operator=(const TranscriptFollower&) = delete;

    // The node as it was read into the model, the starting point of what changes afterwards.
    void setLoaded(Node node, const qv::DatabaseValue& value);
    // Starts observing the transcript at `transcript` (transcripts/<uuid>).
    void follow(const qv::DatabaseReference& transcript);
    // Stops observing; reports still on their way change nothing.
    void stop();

private:
    void reported(Node node, const qv::DataSnapshot& snapshot);
    void apply();
    // The word of `key` changed from `was` to `now` (null: absent). Answers the word when its
    // shown text changed in place; `layout` is set when rows must be rebuilt.
    std::shared_ptr<QVWord> applyWord(const std::string& key, const qv::DatabaseValue* was, const qv::DatabaseValue* now,
                                      bool& layout);
    // Each returns true when it changed the model.
    bool applySpeaker(const std::string& key, const qv::DatabaseValue* node);
    bool applySpeakerRange(const std::string& key, const qv::DatabaseValue* node);

    AppDelegate& ad_;
    qv::Dispatcher* queue_;
    qv::DatabaseReference transcript_;
    std::map<Node, qv::ObserverHandle> handles_;
    std::map<Node, qv::DatabaseValue> loaded_;
    // The latest reported value of each node, applied on the next turn.
    std::map<Node, qv::DatabaseValue> reported_;
    // The children of each reported node that may differ from `loaded_`; none when any may.
    std::map<Node, std::optional<std::set<std::string>>> changedKeys_;
    bool scheduled_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
