#include "fcpx/StoredTranscriptKeywords.h"

#include "model/QVSpeaker.h"
#include "platform/foundation/Preferences.h"

#include <QHash>

#include <algorithm>

namespace {

QString text(const qv::DataSnapshot& node, std::string_view key)
{
    return QString::fromStdString(node.childString(key));
}

}  // namespace

KeywordRanges keywordRangesOfStoredTranscript(const qv::DataSnapshot& transcript, const qv::MediaTime& origin,
                                              const QString& keywordType)
{
    std::vector<std::shared_ptr<QVWord>> words;
    for (const qv::DataSnapshot entry : transcript.child("words").children()) {
        const QString name = text(entry, "name");
        // A word without text has nothing to say; one deleted is no longer in the transcript.
        if (name.isEmpty() || entry.childBool("deleted"))
            continue;
        auto word = std::make_shared<QVWord>();
        word->setName(name);
        word->start = entry.childInt("start");
        word->end = entry.childInt("end");
        word->favorite = entry.childBool("favorite");
        word->newParagraph = entry.childBool("new_paragraph");
        word->status = entry.childInt("status");
        word->uuid = QString::fromStdString(entry.key());
        words.push_back(std::move(word));
    }
    std::stable_sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a->start < b->start; });

    QHash<QString, QString> speakerNames;
    for (const qv::DataSnapshot entry : transcript.child("speakers").children()) {
        if (entry.childBool("deleted"))
            continue;
        const QString name = text(entry, "name");
        speakerNames.insert(QString::fromStdString(entry.key()), name.isEmpty() ? kUnknownSpeakerName : name);
    }

    // A range without a live speaker says nothing, but still ends the range before it.
    struct StoredRange {
        std::int64_t start;
        std::optional<QString> speakerName;
    };
    std::vector<StoredRange> stored;
    for (const qv::DataSnapshot entry : transcript.child("speaker_ranges").children()) {
        if (entry.childBool("deleted"))
            continue;
        const auto speaker = speakerNames.constFind(text(entry, "speaker"));
        stored.push_back({entry.childInt("start"),
                          speaker == speakerNames.constEnd() ? std::nullopt : std::optional(*speaker)});
    }
    std::stable_sort(stored.begin(), stored.end(), [](const auto& a, const auto& b) { return a.start < b.start; });
    std::vector<KeywordSpeakerRange> ranges;
    for (std::size_t i = 0; i < stored.size(); ++i)
        if (stored[i].speakerName)
            ranges.push_back({stored[i].start, i + 1 < stored.size() ? stored[i + 1].start : INT64_MAX,
                              *stored[i].speakerName});

    return cutKeywordRanges(ranges, words, origin, keywordType);
}

void readStoredTranscriptKeywords(const qv::DatabaseReference& transcript, const qv::MediaTime& timecodeStart,
                                  const qv::Preferences& preferences,
                                  std::function<void(std::optional<KeywordRanges>)> completion)
{
    const qv::MediaTime origin = keywordTimeOrigin(timecodeStart);
    transcript.observeSingleEvent([&preferences, origin, completion = std::move(completion)](const qv::DataSnapshot& snapshot) {
        if (!snapshot.exists()) {
            completion(std::nullopt);
            return;
        }
        const QString keywordType = preferences.stringForKey(kQVExportFCPXKeywordType).value_or(kKeywordTypeAuto);
        completion(keywordRangesOfStoredTranscript(snapshot, origin, keywordType));
    });
}
