#include "intake/PendingFileFactory.h"

#include "model/QVAudioTrack.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "platform/media/tests/TestMedia.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using qv::test::testMedia;

class PendingFileFactoryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // The bytes of a test file with every `from` replaced by `to`.
    QByteArray patched(const std::string& media, const QByteArray& from, const QByteArray& to)
    {
        QFile file(QString::fromStdString(testMedia(media)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().replace(from, to);
    }

    std::shared_ptr<QVFilePending> make(const QString& path)
    {
        return createPendingFileFromURL(QUrl::fromLocalFile(path), {true, "fr-FR"});
    }

    QTemporaryDir folder;
};

TEST_F(PendingFileFactoryTest, FilesThatCannotBeTranscribedAreRefused)
{
    const QString fragmented = folder.filePath("fragmented.mp4");
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=d=1 -c:a aac -movflags "
                                "frag_keyframe+empty_moov \"" + fragmented.toStdString() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const struct {
        const char* what;
        QString path;
    } cases[] = {
        {"a folder", folder.path()},
        {"a file that is not there", folder.filePath("gone.wav")},
        {"an empty file", write("empty.wav", {})},
        {"a text file named .wav", write("notes.wav", "These are my notes, not a recording.\n")},
        {"a document", write("notes.txt", "These are my notes.\n")},
        {"a video without audio", QString::fromStdString(testMedia("groups.mov"))},
        {"a movie in fragments", fragmented},
        {"encrypted audio", write("protected.m4a", patched("long.m4a", "mp4a", "enca"))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(make(c.path), nullptr) << c.what;
}

TEST_F(PendingFileFactoryTest, AnAudioFileBecomesAPendingFileWithItsTracksAndChannels)
{
    // Only the last extension goes from the name.
    const QString path = folder.filePath("Interview.take 2.wav");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testMedia("tone.wav")), path));
    auto file = make(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->uuid.size(), 32);
    EXPECT_EQ(file->name, "Interview.take 2");
    EXPECT_EQ(file->duration, 3000);
    EXPECT_EQ(file->fileType, 0);
    EXPECT_FALSE(file->hasVideo);
    EXPECT_TRUE(file->diarisation);
    EXPECT_EQ(file->language, "fr-FR");
    ASSERT_EQ(file->mediaFiles.size(), 1u);
    const auto& media = file->mediaFiles.front();
    EXPECT_FALSE(media->isMP3);
    EXPECT_TRUE(media->mediaOnline);
    EXPECT_FALSE(media->requiresSecurityAccess);
    EXPECT_TRUE(media->modificationDate.isValid());
    ASSERT_EQ(media->audioTracks.size(), 1u);
    EXPECT_EQ(media->audioTracks.front()->audioChannels.size(), 2u);

    auto mp3 = make(QString::fromStdString(testMedia("sine10.mp3")));
    ASSERT_NE(mp3, nullptr);
    EXPECT_EQ(mp3->fileType, 0);
    EXPECT_TRUE(mp3->mediaFiles.front()->isMP3);
}

TEST_F(PendingFileFactoryTest, AMovieIsAVideoFileWithEachAudioTrack)
{
    auto file = make(QString::fromStdString(testMedia("video.mov")));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->fileType, 1);
    EXPECT_TRUE(file->hasVideo);
    EXPECT_EQ(file->mediaFiles.front()->audioTracks.size(), 2u);
    EXPECT_FALSE(file->mediaFiles.front()->isMP3);
}

TEST(MediaConformanceTest, TheSystemsTypeDecidesAudioOrMovie)
{
    EXPECT_EQ(mediaConformanceOfFile(QString::fromStdString(testMedia("tone.wav"))), MediaConformance::Audio);
    EXPECT_EQ(mediaConformanceOfFile(QString::fromStdString(testMedia("video.mov"))), MediaConformance::Movie);
    EXPECT_EQ(mediaConformanceOfFile(QDir::tempPath()), MediaConformance::Neither);
}

}  // namespace
