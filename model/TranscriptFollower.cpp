#include "model/TranscriptFollower.h"

#include "model/AppDelegate.h"
#include "model/DatabaseReading.h"
#include "model/SpeakerServices.h"
#include "model/TranscriptLoader.h"
#include "model/ViewServices.h"
#include "platform/rtdb/DatabaseKey.h"


using qv::DatabaseValue;

namespace {

// How long a change waits while an inline edit is open on this computer, seconds.
constexpr double kEditingRetrySeconds = 0.25;

const char* nodeKey(TranscriptFollower::Node node)
{
    switch (node) {
    case TranscriptFollower::Node::Words:
        return "words";
    case TranscriptFollower::Node::Speakers:
        return "speakers";
    case TranscriptFollower::Node::SpeakerRanges:
        return "speaker_ranges";
    }
    return "";
}

// Calls `each(key, was, now)` for every child that differs between the two maps, `was` or `now`
// null for a child that is absent. Only the children in `keys` are looked at when they are
// known; otherwise both maps are walked, which costs one step per child.
template <class Each>
void eachChangedChild(const DatabaseValue& before, const DatabaseValue& after,
                      const std::optional<std::set<std::string>>& keys, Each each)
{
    if (before.sameNode(after))
        return;
    if (keys) {
        for (const std::string& key : *keys) {
            const DatabaseValue* was = before.find(key);
            const DatabaseValue* now = after.find(key);
            if (was && was->isNull())
                was = nullptr;
            if (now && now->isNull())
                now = nullptr;
            if ((!was && !now) || (was && now && (was->sameNode(*now) || *was == *now)))
                continue;
            each(key, was, now);
        }
        return;
    }
    auto a = before.children().begin(), aEnd = before.children().end();
    auto b = after.children().begin(), bEnd = after.children().end();
    while (a != aEnd || b != bEnd) {
        const int order = a == aEnd ? 1 : (b == bEnd ? -1 : qv::compareKeys((*a).key, (*b).key));
        if (order < 0) {
            each((*a).key, &(*a).value, nullptr);
            ++a;
        } else if (order > 0) {
            each((*b).key, nullptr, &(*b).value);
            ++b;
        } else {
            if (!(*a).value.sameNode((*b).value) && !((*a).value == (*b).value))
                each((*b).key, &(*a).value, &(*b).value);
            ++a;
            ++b;
        }
    }
}

// A record is in one set or the other; the deleted set, mostly far the smaller, is searched
// first, so that the echo of a local deletion does not pass over every live record.
template <class T>
std::shared_ptr<T> findByUuid(const QVOrderedSet<T>& live, const QVOrderedSet<T>& deleted, const QString& uuid)
{
    for (const auto* set : {&deleted, &live})
        for (const auto& item : *set)
            if (item->uuid == uuid)
                return item;
    return nullptr;
}

// The live word `uuid` among those starting at `start` (the words are in time order), or none.
std::shared_ptr<QVWord> findWordStartingAt(const QVOrderedSet<QVWord>& words, const QString& uuid, std::int64_t start)
{
    const auto& items = words.items();
    auto it = std::lower_bound(items.begin(), items.end(), start,
                               [](const std::shared_ptr<QVWord>& word, std::int64_t at) { return word && word->start < at; });
    for (; it != items.end() && *it && (*it)->start == start; ++it)
        if ((*it)->uuid == uuid)
            return *it;
    return nullptr;
}

// Moves `item` into the live or the deleted set as its flag says.
template <class T>
void placeByDeleted(QVOrderedSet<T>& live, QVOrderedSet<T>& deleted, const std::shared_ptr<T>& item)
{
    (item->deleted ? live : deleted).remove(item);
    (item->deleted ? deleted : live).add(item);
}

}  // namespace

std::shared_ptr<QVWord> wordFromNode(const DatabaseValue& node)
{
    auto word = std::make_shared<QVWord>();
    const std::string* name = nullptr;
    // One pass over the node's keys: this is the hot path of opening a long transcript.
    for (const auto entry : node.children()) {
        const std::string& key = entry.key;
        if (key == "name")
            name = entry.value.stringIfAny();
        else if (key == "start")
            word->start = entry.value.toInt();
        else if (key == "end")
            word->end = entry.value.toInt();
        else if (key == "status")
            word->status = entry.value.toInt();
        else if (key == "favorite")
            word->favorite = entry.value.toBool();
        else if (key == "deleted")
            word->deleted = entry.value.toBool();
        else if (key == "new_paragraph")
            word->newParagraph = entry.value.toBool();
    }
    if (!name || name->empty())
        return nullptr;
    word->setName(QString::fromStdString(*name));
    return word;
}

void TranscriptFollower::follow(const qv::DatabaseReference& transcript)
{
    stop();
    transcript_ = transcript;
    std::weak_ptr<bool> alive = alive_;
    for (Node node : {Node::Words, Node::Speakers, Node::SpeakerRanges})
        handles_[node] = transcript.child(nodeKey(node)).observe(
            qv::DatabaseEvent::Value, [this, alive, node](const qv::DataSnapshot& snapshot) {
                if (!alive.expired())
                    reported(node, snapshot);
            });
}

void TranscriptFollower::setLoaded(Node node, const DatabaseValue& value)
{
    loaded_[node] = value;
    // Keys reported from now on are measured from an earlier value than this one.
    changedKeys_[node] = std::nullopt;
}

void TranscriptFollower::stop()
{
    for (const auto& [node, handle] : handles_)
        transcript_.removeObserver(handle);
    handles_.clear();
    reported_.clear();
    changedKeys_.clear();
    transcript_ = {};
    // Reports and applications already queued belong to the transcript left.
    alive_ = std::make_shared<bool>(true);
    scheduled_ = false;
}

void TranscriptFollower::reported(Node node, const qv::DataSnapshot& snapshot)
{
    reported_[node] = snapshot.value();
    const auto& keys = snapshot.changedChildren();
    const auto known = changedKeys_.find(node);
    if (!keys)
        changedKeys_[node] = std::nullopt;
    else if (known == changedKeys_.end())
        changedKeys_[node] = std::set<std::string>(keys->begin(), keys->end());
    else if (known->second)
        known->second->insert(keys->begin(), keys->end());
    if (!queue_)
        return apply();
    if (scheduled_)
        return;
    scheduled_ = true;
    queue_->async([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        scheduled_ = false;
        apply();
    });
}

void TranscriptFollower::apply()
{
    if (reported_.empty())
        return;
    // An inline edit in progress keeps its row; the change waits until it ends.
    if (ad_.isEditing && queue_) {
        scheduled_ = true;
        queue_->after(kEditingRetrySeconds, [this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.expired())
                return;
            scheduled_ = false;
            apply();
        });
        return;
    }
    const std::map<Node, DatabaseValue> reported = std::exchange(reported_, {});
    bool layout = false;
    bool speakersChanged = false;
    QVOrderedSet<QVWord> changedWords;
    for (const auto& [node, value] : reported) {
        const DatabaseValue before = loaded_[node];
        loaded_[node] = value;
        std::optional<std::set<std::string>> keys;
        if (const auto known = changedKeys_.find(node); known != changedKeys_.end()) {
            keys = std::move(known->second);
            changedKeys_.erase(known);
        }
        eachChangedChild(before, value, keys,
                         [&](const std::string& key, const DatabaseValue* was, const DatabaseValue* now) {
            if (node == Node::Words) {
                changedWords.add(applyWord(key, was, now, layout));
            } else if (node == Node::Speakers ? applySpeaker(key, now) : applySpeakerRange(key, now)) {
                speakersChanged = true;
            }
        });
    }
    if (speakersChanged) {
        for (const auto& speaker : ad_.speakers)
            speaker->rangeCount = 0;
        for (const auto& range : ad_.speakerRanges)
            if (range->speaker)
                ++range->speaker->rangeCount;
        ad_.speakerRanges.sort([](const QVSpeakerRange& a, const QVSpeakerRange& b) { return a.start < b.start; });
        if (ad_.speakerServices)
            ad_.speakerServices->refreshSpeakersWithAnimation();
    }
    if (layout)
        ad_.words.sort([](const QVWord& a, const QVWord& b) { return a.start < b.start; });
    ad_.firstWordStartTime = ad_.words.empty() ? 0 : ad_.words.first()->start;
    if (!ad_.viewServices)
        return;
    if (layout || speakersChanged)
        ad_.viewServices->reloadTranscriptTable();
    else if (!changedWords.empty())
        ad_.viewServices->reloadRowsForWords(changedWords);
}

std::shared_ptr<QVWord> TranscriptFollower::applyWord(const std::string& key, const DatabaseValue* was,
                                                      const DatabaseValue* node, bool& layout)
{
    const QString uuid = QString::fromStdString(key);
    const std::shared_ptr<QVWord> stored = node ? wordFromNode(*node) : nullptr;
    // The word is looked for where it starts now or started before; a word that moved further
    // or was deleted is searched for among all.
    std::shared_ptr<QVWord> current;
    for (const DatabaseValue* hint : {was, node}) {
        if (!current && hint)
            current = findWordStartingAt(ad_.words, uuid, intChild(*hint, "start"));
    }
    if (!current)
        current = findByUuid(ad_.words, ad_.wordsDeleted, uuid);
    if (!stored) {
        // Gone, or left without a name, which is not shown either.
        if (!current)
            return nullptr;
        ad_.words.remove(current);
        ad_.wordsDeleted.remove(current);
        if (ad_.currentWord == current) {
            ad_.currentWord = nullptr;
            ad_.currentWordIndex = -1;
        }
        layout = true;
        return nullptr;
    }
    if (!current) {
        stored->uuid = uuid;
        (stored->deleted ? ad_.wordsDeleted : ad_.words).add(stored);
        layout = true;
        return nullptr;
    }
    bool changed = false;
    if (current->name() != stored->name()) {
        current->setName(stored->name());
        changed = true;
    }
    if (current->status != stored->status || current->favorite != stored->favorite) {
        current->status = stored->status;
        current->favorite = stored->favorite;
        changed = true;
    }
    if (current->start != stored->start || current->end != stored->end || current->newParagraph != stored->newParagraph
        || current->deleted != stored->deleted) {
        current->start = stored->start;
        current->end = stored->end;
        current->newParagraph = stored->newParagraph;
        current->deleted = stored->deleted;
        placeByDeleted(ad_.words, ad_.wordsDeleted, current);
        layout = true;
    }
    return changed ? current : nullptr;
}

bool TranscriptFollower::applySpeaker(const std::string& key, const DatabaseValue* node)
{
    const QString uuid = QString::fromStdString(key);
    std::shared_ptr<QVSpeaker> speaker = findByUuid(ad_.speakers, ad_.speakersDeleted, uuid);
    if (!node) {
        if (!speaker)
            return false;
        ad_.speakers.remove(speaker);
        ad_.speakersDeleted.remove(speaker);
        return true;
    }
    if (!speaker) {
        speaker = std::make_shared<QVSpeaker>();
        speaker->uuid = uuid;
    }
    const QString name = stringChild(*node, "name").value_or(kDefaultSpeakerName);
    const QString color = stringChild(*node, "color").value_or(speaker->color);
    const bool deleted = boolChild(*node, "deleted");
    const bool listed = ad_.speakers.contains(speaker) || ad_.speakersDeleted.contains(speaker);
    if (listed && speaker->name == name && speaker->color == color && speaker->deleted == deleted)
        return false;
    speaker->name = name;
    speaker->color = color;
    speaker->deleted = deleted;
    placeByDeleted(ad_.speakers, ad_.speakersDeleted, speaker);
    if (!deleted)
        ad_.speakerColorUsed.insert(color);
    return true;
}

bool TranscriptFollower::applySpeakerRange(const std::string& key, const DatabaseValue* node)
{
    const QString uuid = QString::fromStdString(key);
    std::shared_ptr<QVSpeakerRange> range = findByUuid(ad_.speakerRanges, ad_.speakerRangesDeleted, uuid);
    if (!node) {
        if (!range)
            return false;
        ad_.speakerRanges.remove(range);
        ad_.speakerRangesDeleted.remove(range);
        return true;
    }
    if (!range) {
        range = std::make_shared<QVSpeakerRange>();
        range->uuid = uuid;
    }
    const QString speakerID = stringChild(*node, "speaker").value_or(QString());
    std::shared_ptr<QVSpeaker> speaker;
    for (const auto& candidate : ad_.speakers)
        if (candidate->uuid == speakerID)
            speaker = candidate;
    const std::int64_t start = intChild(*node, "start");
    const bool deleted = boolChild(*node, "deleted");
    const bool listed = ad_.speakerRanges.contains(range) || ad_.speakerRangesDeleted.contains(range);
    if (listed && range->speaker == speaker && range->start == start && range->deleted == deleted)
        return false;
    range->speaker = speaker;
    range->start = start;
    range->deleted = deleted;
    placeByDeleted(ad_.speakerRanges, ad_.speakerRangesDeleted, range);
    return true;
}
