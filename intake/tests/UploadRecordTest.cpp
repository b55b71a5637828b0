#include "intake/UploadRecord.h"

#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::set<std::string> keysOf(const qv::DatabaseUpdate& update)
{
    std::set<std::string> keys;
    for (const auto& entry : update)
        keys.insert(entry.first);
    return keys;
}

const qv::DatabaseValue& valueOf(const qv::DatabaseUpdate& update, const std::string& key)
{
    for (const auto& entry : update)
        if (entry.first == key)
            return entry.second;
    static const qv::DatabaseValue none;
    return none;
}

QVFilePending plainFile()
{
    QVFilePending file;
    file.uuid = "0123456789ABCDEF0123456789ABCDEF";
    file.name = "Interview";
    file.duration = 61'000;
    file.diarisation = true;
    file.language = "en-US";
    file.remotePath = "http://127.0.0.1:7450/objects/0123456789ABCDEF0123456789ABCDEF.m4a";
    auto media = std::make_shared<QVMediaFile>();
    media->url = QUrl::fromLocalFile("/home/mia/interview.wav");
    media->filePath = "/home/mia/interview.wav";
    file.mediaFiles = {media};
    return file;
}

TEST(UploadRecordTest, APlainFileHasExactlyTheElevenKeys)
{
    const qv::DatabaseUpdate record = newFileRecord(plainFile(), "UID1");
    EXPECT_EQ(keysOf(record), (std::set<std::string>{"created", "diarisation", "duration", "file_type", "language",
                                                     "media_files", "name", "owner", "status", "updated", "url"}));
    EXPECT_TRUE(valueOf(record, "created").isServerTimestamp());
    EXPECT_EQ(valueOf(record, "status").toInt(), 10);
    EXPECT_EQ(valueOf(record, "owner").toString(), "UID1");
    EXPECT_EQ(valueOf(record, "duration").toInt(), 61'000);
    EXPECT_TRUE(valueOf(record, "diarisation").toBool());
    EXPECT_EQ(valueOf(record, "url").toString(), "http://127.0.0.1:7450/objects/0123456789ABCDEF0123456789ABCDEF.m4a");
    EXPECT_FALSE(valueOf(record, "media_files").isNull());
}

TEST(UploadRecordTest, TimecodeAndClipNamesAppearOnlyWhenSet)
{
    QVFilePending file = plainFile();
    file.fcpxClipName = "Clip";
    file.fcpxUID = "UID-9";
    file.timecodeStart = qv::MediaTime(3600, 1);
    file.timecodeSourceName = "REEL1";
    qv::DatabaseUpdate record = newFileRecord(file, "UID1");
    EXPECT_EQ(valueOf(record, "fcpx_clip_name").toString(), "Clip");
    EXPECT_EQ(valueOf(record, "fcpx_uid").toString(), "UID-9");
    EXPECT_TRUE(valueOf(record, "fcpx_event_name").isNull());
    // Without a frame duration: the start (and the reel) only; a non-drop timecode says nothing of it.
    const qv::DatabaseValue timecode = valueOf(record, "timecode");
    EXPECT_EQ(timecode.child("start").toString(), "3600s");
    EXPECT_EQ(timecode.child("source_name").toString(), "REEL1");
    EXPECT_TRUE(timecode.child("frame_duration").isNull());
    EXPECT_TRUE(timecode.child("drop_frame").isNull());

    file.timecodeFrameDuration = qv::MediaTime(1001, 30000);
    file.timecodeIsDropFrame = true;
    record = newFileRecord(file, "UID1");
    EXPECT_EQ(valueOf(record, "timecode").child("frame_duration").toString(), "1001/30000s");
    EXPECT_TRUE(valueOf(record, "timecode").child("drop_frame").toBool());
}

TEST(UploadRecordTest, TheEtagMustQuoteTheLowerCaseDigestExactly)
{
    const QString md5 = "0cc175b9c0f1b6a831c399e269772661";
    const struct {
        const char* etag;
        bool verifies;
    } cases[] = {
        {"\"0cc175b9c0f1b6a831c399e269772661\"", true},
        {"\"0cc175b9c0f1b6a831c399e269772661", true},   // 33 characters are enough
        {"\"0CC175B9C0F1B6A831C399E269772661\"", false},  // upper case is another text
        {"0cc175b9c0f1b6a831c399e269772661", false},      // no opening quote: shifted by one
        {"\"0cc175b9c0f1b6a831c399e26977266\"", false},   // one digit short
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(etagVerifies(QString::fromLatin1(c.etag), md5), c.verifies) << c.etag;
}

TEST(UploadRecordTest, TheRemotePathIsTheSignedAddressWithoutItsSignature)
{
    EXPECT_EQ(remotePathFromSignedRequest(QUrl("http://127.0.0.1:7450/objects/AB.m4a?expires=99&signature=f00")),
              "http://127.0.0.1:7450/objects/AB.m4a");
}

}  // namespace
