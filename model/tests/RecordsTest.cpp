#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVFile.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/QVOrderedSet.h"
#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(QVWord, SetNameDerivesTheCleanText)
{
    const std::pair<QString, QString> cases[] = {
        {u"\u201CHello,\u201D"_qs, "Hello"},
        {"can't.", "can't"},
        {u"\u2014"_qs, ""},
        {"$5", "$5"},
        {"\nword\n", "\nword\n"},
        {u"\u00A0(yes)\t"_qs, "yes"},
        {"rock-'n'-roll!", "rock-'n'-roll"},
    };
    for (const auto& [name, clean] : cases) {
        QVWord word;
        word.setName(name);
        EXPECT_EQ(word.name(), name);
        EXPECT_EQ(word.nameClean(), clean) << name.toStdString();
    }
    QVWord word;
    word.setName(QString());
    EXPECT_TRUE(word.nameClean().isNull());
}

TEST(QVWord, CopySharesTheRangeAndDropsThePendingParagraphChange)
{
    auto range = std::make_shared<QVSpeakerRange>();
    QVWord word;
    word.uuid = "W1";
    word.start = 100;
    word.end = 250;
    word.characterStart = 4;
    word.characterEnd = 9;
    word.confidence = 3;
    word.favorite = word.deleted = word.lockTiming = word.newParagraph = true;
    word.status = 2;
    word.setName("Hello,");
    word.namePending = "Hi";
    word.newParagraphPendingChange = -1;
    word.speakerRange = range;

    const auto copy = word.copy();
    EXPECT_EQ(copy->uuid, "W1");
    EXPECT_EQ(copy->start, 100);
    EXPECT_EQ(copy->end, 250);
    EXPECT_EQ(copy->characterStart, 4);
    EXPECT_EQ(copy->characterEnd, 9);
    EXPECT_EQ(copy->confidence, 3);
    EXPECT_TRUE(copy->favorite && copy->deleted && copy->lockTiming && copy->newParagraph);
    EXPECT_EQ(copy->status, 2);
    EXPECT_EQ(copy->name(), "Hello,");
    EXPECT_EQ(copy->nameClean(), "Hello");
    EXPECT_EQ(copy->namePending, "Hi");
    EXPECT_EQ(copy->newParagraphPendingChange, 0);
    EXPECT_EQ(copy->speakerRange, range);
}

TEST(Records, InitialValues)
{
    QVFile file;
    EXPECT_EQ(file.fileType, -1);
    EXPECT_TRUE(file.mediaFiles.empty());
    EXPECT_TRUE(file.customWords.isEmpty());
    EXPECT_FALSE(file.timecodeStart.isValid());
    EXPECT_FALSE(file.timecodeFrameDuration.isValid());
    EXPECT_EQ(file.timecodeFrameQuanta, 0u);
    EXPECT_FALSE(file.fileMetadataRef.isValid());

    QVSpeaker speaker;
    EXPECT_EQ(speaker.rangeCount, 0);
    EXPECT_TRUE(speaker.color.isNull());
    EXPECT_TRUE(speaker.name.isNull());
    QVSpeakerRange range;
    EXPECT_EQ(range.start, 0);
    EXPECT_EQ(range.speaker, nullptr);

    QVAudioChannel channel;
    EXPECT_TRUE(channel.enabled);
    EXPECT_EQ(channel.waveformMax, -100.0f);
    EXPECT_FALSE(channel.waveformData.isNull());
    EXPECT_TRUE(channel.waveformData.isEmpty());
    QVAudioTrack track;
    EXPECT_EQ(track.audioLayout, 1);
    EXPECT_TRUE(track.audioChannels.empty());
    QVMediaFile media;
    EXPECT_TRUE(media.requiresSecurityAccess);
    EXPECT_FALSE(media.mediaOnline);
    for (const qv::MediaTime& t : {media.duration, media.compositeDelay, media.sourceDelay, media.sourceDuration}) {
        EXPECT_TRUE(t.isValid());
        EXPECT_EQ(t.value, 0);
    }

    QVFilePending pending;
    EXPECT_FALSE(pending.timecodeStart.isValid());
    EXPECT_FALSE(pending.timecodeFrameDuration.isValid());
    EXPECT_TRUE(pending.lastMediaTimeDisplayed.isValid());
    EXPECT_EQ(pending.lastMediaTimeDisplayed.value, 0);
}

TEST(QVOrderedSet, PositionsFollowInsertsRemovalsAndSorting)
{
    QVOrderedSet<QVWord> set;
    EXPECT_EQ(set.first(), nullptr);
    EXPECT_EQ(set.last(), nullptr);
    EXPECT_EQ(set.at(0), nullptr);
    std::vector<std::shared_ptr<QVWord>> w;
    for (int start : {30, 10, 20, 10}) {
        w.push_back(std::make_shared<QVWord>());
        w.back()->start = start;
        EXPECT_TRUE(set.add(w.back()));
    }
    EXPECT_FALSE(set.add(w[0]));
    EXPECT_FALSE(set.add(nullptr));
    EXPECT_EQ(set.size(), 4u);

    auto extra = std::make_shared<QVWord>();
    EXPECT_TRUE(set.insert(1, extra));
    EXPECT_EQ(set.indexOf(extra), 1u);
    EXPECT_EQ(set.indexOf(w[1]), 2u);
    EXPECT_TRUE(set.remove(w[0]));
    EXPECT_FALSE(set.remove(w[0]));
    EXPECT_FALSE(set.contains(w[0]));
    EXPECT_EQ(set.indexOf(w[3]), 3u);

    set.sort([](const QVWord& a, const QVWord& b) { return a.start < b.start; });
    EXPECT_EQ(set.first(), extra);
    EXPECT_EQ(set.at(1), w[1]);  // equal starts keep their order
    EXPECT_EQ(set.at(2), w[3]);
    EXPECT_EQ(set.last(), w[2]);
    EXPECT_EQ(set.indexOf(w[2]), 3u);
    EXPECT_FALSE(set.insert(99, w[2]));
    EXPECT_TRUE(set.insert(99, w[0]));
    EXPECT_EQ(set.last(), w[0]);
}

TEST(QVOrderedSet, BulkRemovalAndInsertionKeepEveryPosition)
{
    QVOrderedSet<QVWord> set;
    std::vector<std::shared_ptr<QVWord>> w;
    for (int i = 0; i < 8; ++i) {
        w.push_back(std::make_shared<QVWord>());
        w.back()->start = i;
        set.add(w.back());
    }
    EXPECT_EQ(set.removeIf([](const auto& word) { return word->start % 3 == 1; }), 3u);  // 1, 4, 7
    EXPECT_FALSE(set.contains(w[4]));
    EXPECT_EQ(set.indexOf(w[5]), 3u);
    EXPECT_EQ(set.indexOf(w[6]), 4u);

    // Present, empty and repeated records are left out; the rest go in, in their order.
    EXPECT_EQ(set.insert(1, {w[4], w[0], nullptr, w[1], w[4]}), 2u);
    const std::vector<std::shared_ptr<QVWord>> expected{w[0], w[4], w[1], w[2], w[3], w[5], w[6]};
    EXPECT_EQ(set.items(), expected);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(set.indexOf(expected[i]), i);
    EXPECT_TRUE(set.remove(w[4]));
    EXPECT_EQ(set.indexOf(w[6]), 5u);
}

// Positions are kept lazily across runs of changes; each change is checked against a plain
// vector, with queries both between changes and only after several, at the ends and in the middle.
TEST(QVOrderedSet, PositionsStayRightAcrossMixedChangesWithOrWithoutQueriesBetween)
{
    for (const bool queryEachStep : {true, false}) {
        SCOPED_TRACE(queryEachStep ? "queried after every change" : "queried after every third change");
        QVOrderedSet<QVWord> set;
        std::vector<std::shared_ptr<QVWord>> model;
        std::vector<std::shared_ptr<QVWord>> out;
        for (int i = 0; i < 40; ++i) {
            model.push_back(std::make_shared<QVWord>());
            set.add(model.back());
        }
        std::uint32_t seed = 7;
        const auto next = [&seed](std::size_t bound) {
            seed = seed * 1664525u + 1013904223u;
            return bound ? (seed >> 8) % bound : 0;
        };
        for (int step = 0; step < 300; ++step) {
            switch (next(5)) {
            case 0: {  // a run of records back in at some place (the ends included)
                const std::size_t at = next(model.size() + 1);
                std::vector<std::shared_ptr<QVWord>> back;
                for (std::size_t k = 1 + next(4); k && !out.empty(); --k) {
                    back.push_back(out.back());
                    out.pop_back();
                }
                if (back.empty())
                    back.push_back(std::make_shared<QVWord>());
                EXPECT_EQ(set.insert(at, back), back.size());
                model.insert(model.begin() + std::ptrdiff_t(at), back.begin(), back.end());
                break;
            }
            case 1: {  // scattered records out by their positions, with a repeat and an absent one
                std::vector<std::shared_ptr<QVWord>> gone;
                for (std::size_t k = 1 + next(4); k && model.size() > 1; --k) {
                    const std::size_t at = k == 1 ? next(2) * (model.size() - 1) : next(model.size());
                    gone.push_back(model[at]);
                    out.push_back(model[at]);
                    model.erase(model.begin() + std::ptrdiff_t(at));
                }
                std::vector<std::shared_ptr<QVWord>> asked = gone;
                if (!gone.empty())
                    asked.push_back(gone.front());
                asked.push_back(std::make_shared<QVWord>());
                EXPECT_EQ(set.removeAll(asked), gone.size());
                break;
            }
            case 2:
                if (!model.empty()) {
                    const std::size_t at = next(model.size());
                    EXPECT_TRUE(set.remove(model[at]));
                    out.push_back(model[at]);
                    model.erase(model.begin() + std::ptrdiff_t(at));
                }
                break;
            case 3:
                model.push_back(out.empty() ? std::make_shared<QVWord>() : out.back());
                if (!out.empty())
                    out.pop_back();
                EXPECT_TRUE(set.add(model.back()));
                break;
            default: {
                const std::size_t at = next(model.size() + 1);
                auto word = std::make_shared<QVWord>();
                EXPECT_TRUE(set.insert(at, word));
                model.insert(model.begin() + std::ptrdiff_t(at), word);
            }
            }
            if (!queryEachStep && step % 3)
                continue;
            ASSERT_EQ(set.items(), model) << "step " << step;
            for (std::size_t i = 0; i < model.size(); ++i)
                ASSERT_EQ(set.indexOf(model[i]), i) << "step " << step;
            for (const auto& word : out)
                ASSERT_FALSE(set.contains(word)) << "step " << step;
        }
    }
}

}  // namespace
