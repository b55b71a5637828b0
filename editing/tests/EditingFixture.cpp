#include "EditingFixture.h"

#include "platform/rtdb/ValueJson.h"

namespace {

// A missing "deleted" reads as false, as every reader of the transcript takes it.
qv::DatabaseValue withDeletedRead(const qv::DatabaseValue& transcript)
{
    qv::DatabaseValue result = transcript;
    for (const char* kind : {"words", "speaker_ranges", "speakers"}) {
        qv::DatabaseValue records = transcript.child(kind);
        for (const qv::DatabaseValue list = transcript.child(kind); const auto& child : list.children()) {
            if (!child.value.hasChild("deleted"))
                records = records.withChild(child.key, child.value.withChild("deleted", false));
        }
        result = result.withChild(kind, records);
    }
    return result;
}

}  // namespace

std::string describe(const qv::DatabaseValue& value)
{
    return qv::encodeValue(value);
}

void FakeView::reloadRowsForWords(const QVOrderedSet<QVWord>& words)
{
    QStringList names;
    for (const auto& word : words)
        names << word->uuid;
    calls << "reloadRowsForWords:" + names.join(',');
}

std::int64_t FakeSpeakers::getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                                     const QVOrderedSet<QVSpeakerRange>& ranges)
{
    const auto index = ranges.indexOf(range);
    if (!index || *index + 1 >= ranges.size())
        return INT64_MAX;
    return ranges.at(*index + 1)->start;
}

EditingFixture::EditingFixture()
{
    ad.viewServices = &view;
    ad.speakerServices = &speakers;
    ad.editingServices = &editing;
    ad.undoManagerEmpty = std::make_shared<qv::UndoManager>(main);
    ad.currentUser = qv::User{"U1", "u1@example.com", true};
    ad.wordsMetadataRef = client.reference("transcripts/T/words");
    ad.speakerRangesMetadataRef = client.reference("transcripts/T/speaker_ranges");
    ad.speakersMetadataRef = client.reference("transcripts/T/speakers");
}

void EditingFixture::reset()
{
    ad.words.clear();
    ad.wordsDeleted.clear();
    ad.speakerRanges.clear();
    ad.speakerRangesDeleted.clear();
    ad.speakers.clear();
    ad.undoManager->removeAllActions();
    nextStart_ = 1000;
    wordCount_ = 0;
}

void EditingFixture::addRange(const QString& speakerName)
{
    const QString n = QString::number(ad.speakerRanges.size() + 1);
    auto speaker = std::make_shared<QVSpeaker>();
    speaker->uuid = "S" + n;
    speaker->name = speakerName;
    speaker->color = "blue";
    speaker->rangeCount = 1;
    ad.speakers.add(speaker);
    auto range = std::make_shared<QVSpeakerRange>();
    range->uuid = "R" + n;
    range->speaker = speaker;
    range->start = nextStart_;
    ad.speakerRanges.add(range);
}

void EditingFixture::addWords(const QString& text, std::int64_t duration, std::int64_t step)
{
    for (const QString& name : text.split(' ', Qt::SkipEmptyParts)) {
        auto word = std::make_shared<QVWord>();
        word->uuid = "W" + QString::number(++wordCount_);
        word->setName(QString(name).replace('~', ' '));
        word->start = nextStart_;
        word->end = nextStart_ + duration;
        word->status = 1;
        word->speakerRange = ad.speakerRanges.last();
        ad.words.add(word);
        nextStart_ += step;
    }
}

void EditingFixture::open(const QString& language, std::int64_t fileDuration)
{
    auto file = std::make_shared<QVFile>();
    file->uuid = "T";
    file->language = language;
    file->duration = fileDuration;
    ad.currentFile = file;
    std::vector<qv::DatabaseValue::Entry> words;
    for (const auto& word : ad.words) {
        words.emplace_back(word->uuid.toStdString(),
                           qv::DatabaseValue::object({{"name", word->name().toStdString()},
                                                      {"start", word->start},
                                                      {"end", word->end},
                                                      {"status", word->status},
                                                      {"favorite", word->favorite},
                                                      {"new_paragraph", word->newParagraph},
                                                      {"deleted", false}}));
    }
    std::vector<qv::DatabaseValue::Entry> ranges;
    for (const auto& range : ad.speakerRanges) {
        ranges.emplace_back(range->uuid.toStdString(),
                            qv::DatabaseValue::object({{"speaker", range->speaker->uuid.toStdString()}, {"start", range->start}}));
    }
    std::vector<qv::DatabaseValue::Entry> speakerValues;
    for (const auto& speaker : ad.speakers) {
        speakerValues.emplace_back(speaker->uuid.toStdString(),
                                   qv::DatabaseValue::object({{"name", speaker->name.toStdString()}, {"color", "blue"}}));
    }
    client.reference("transcripts/T")
        .setValue(qv::DatabaseValue::object({{"words", qv::DatabaseValue::map(words)},
                                             {"speaker_ranges", qv::DatabaseValue::map(ranges)},
                                             {"speakers", qv::DatabaseValue::map(speakerValues)}}));
    settle();
}

std::shared_ptr<QVWord> EditingFixture::w(const QString& uuid) const
{
    for (const auto& set : {&ad.words, &ad.wordsDeleted}) {
        for (const auto& word : *set) {
            if (word->uuid == uuid)
                return word;
        }
    }
    return nullptr;
}

QVOrderedSet<QVWord> EditingFixture::set(const QStringList& uuids) const
{
    QVOrderedSet<QVWord> words;
    for (const QString& uuid : uuids)
        words.add(w(uuid));
    return words;
}

QString EditingFixture::text() const
{
    QStringList names;
    for (const auto& word : ad.words)
        names << word->name();
    return names.join(' ');
}

qv::DatabaseValue EditingFixture::stored(const QString& path) const
{
    return backend.value(("transcripts/T/" + path).toStdString());
}

void EditingFixture::undo()
{
    ad.undoManager->undo();
    settle();
}

void EditingFixture::redo()
{
    ad.undoManager->redo();
    settle();
}

void EditingFixture::expectUndoRedoRoundTrip(const qv::DatabaseValue& before, const QString& textBefore)
{
    settle();
    const qv::DatabaseValue after = transcript();
    const QString textAfter = text();
    undo();
    EXPECT_EQ(text(), textBefore);
    // Every record that was there before holds its old values again; a word the command added
    // stays stored, flagged deleted.
    const qv::DatabaseValue now = withDeletedRead(transcript());
    for (const char* kind : {"words", "speaker_ranges", "speakers"}) {
        for (const qv::DatabaseValue list = now.child(kind); const auto& child : list.children()) {
            const qv::DatabaseValue old = withDeletedRead(before).child(kind).child(child.key);
            if (old.isNull())
                EXPECT_TRUE(child.value.child("deleted").toBool()) << kind << "/" << child.key << " " << describe(child.value);
            else
                EXPECT_TRUE(child.value == old) << kind << "/" << child.key << " " << describe(child.value) << " expected "
                                                << describe(old);
        }
    }
    redo();
    EXPECT_EQ(text(), textAfter);
    EXPECT_TRUE(withDeletedRead(transcript()) == withDeletedRead(after)) << describe(transcript()) << "\nexpected\n"
                                                                       << describe(after);
}
