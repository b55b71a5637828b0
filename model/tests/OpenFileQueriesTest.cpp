#include "model/AppDelegate.h"
#include "model/OpenFileQueries.h"

#include <gtest/gtest.h>

using qv::MediaTime;

namespace {

TEST(OpenFile, LanguageTests)
{
    AppDelegate ad;
    EXPECT_FALSE(languageIs(ad, "fr"));
    EXPECT_TRUE(languageIsNot(ad, "fr"));
    ad.currentFile = std::make_shared<QVFile>();
    ad.currentFile->language = "en-GB";
    EXPECT_TRUE(languageIs(ad, "en-GB"));
    EXPECT_FALSE(languageIs(ad, "en-gb"));
    EXPECT_TRUE(languageIsNot(ad, "en-US"));
}

TEST(OpenFile, TimeTextsFollowTheOpenFilesTimecode)
{
    AppDelegate ad;
    const MediaTime oneSecond(1, 1);
    EXPECT_EQ(getTimeAsHMSText(ad, MediaTime(3723, 1)), u"01:02:03");
    EXPECT_EQ(timeAsHMSTextFromCMTimeUseTimecode(ad, MediaTime::invalid(), false), u"--:--:--");
    // Timecode asked for with no file open: no frame quanta.
    EXPECT_EQ(timeAsHMSTextFromCMTimeUseTimecode(ad, oneSecond, true), u"--:--:--");
    EXPECT_EQ(timecodeFromCMTime(ad, oneSecond), u"--:--:--:--");

    ad.currentFile = std::make_shared<QVFile>();
    QVFile& file = *ad.currentFile;
    file.timecodeStart = MediaTime(36000, 1);
    file.timecodeFrameDuration = MediaTime(1, 25);
    file.timecodeFrameQuanta = 25;
    EXPECT_EQ(timecodeFromCMTime(ad, oneSecond), u"10:00:01:00");
    EXPECT_EQ(getTimeAsHMSText(ad, oneSecond), u"10:00:01");

    file.timecodeStart = MediaTime::zero();
    file.timecodeFrameDuration = MediaTime(1001, 30000);
    file.timecodeFrameQuanta = 30;
    file.timecodeIsDropFrame = true;
    EXPECT_EQ(timecodeFromCMTime(ad, MediaTime(6006, 100)), u"00:01:00;02");

    file.timecodeFrameQuanta = 0;
    EXPECT_EQ(timecodeFromCMTime(ad, oneSecond), u"--:--:--;--");
    EXPECT_EQ(getTimeAsHMSText(ad, oneSecond), u"--:--:--");
    file.timecodeIsDropFrame = false;
    EXPECT_EQ(timecodeFromCMTime(ad, oneSecond), u"--:--:--:--");
}

TEST(OpenFile, PendingFileTimeText)
{
    auto pending = std::make_shared<QVFilePending>();
    EXPECT_EQ(timeAsHMSTextFromCMTimeForFilePending(nullptr, MediaTime(65, 1)), u"00:01:05");
    EXPECT_EQ(timeAsHMSTextFromCMTimeForFilePending(pending, MediaTime(65, 1)), u"00:01:05");
    pending->timecodeStart = MediaTime(3600, 1);
    EXPECT_EQ(timeAsHMSTextFromCMTimeForFilePending(pending, MediaTime(65, 1)), u"--:--:--");
    pending->timecodeFrameDuration = MediaTime(1, 24);
    pending->timecodeFrameQuanta = 24;
    EXPECT_EQ(timeAsHMSTextFromCMTimeForFilePending(pending, MediaTime(65, 1)), u"01:01:05");
}

}  // namespace
