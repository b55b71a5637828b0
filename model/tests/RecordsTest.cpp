#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVFile.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"

#include <gtest/gtest.h>

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

}  // namespace
