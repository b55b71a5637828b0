#include "platform/media/tests/TestMedia.h"
#include "transcript-view/QVVideoThumbnailManager.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>

namespace qv::transcript {
namespace {

class ThumbnailTest : public ::testing::Test {
protected:
    QImage placeholder() const
    {
        QImage image(32, 18, QImage::Format_RGB888);
        image.fill(Qt::magenta);
        return image;
    }
    QTemporaryDir folder;
    QVVideoThumbnailManager manager{folder.filePath("Thumbnails"), placeholder()};
};

TEST_F(ThumbnailTest, FramesFitTheThumbnailSizeAndAreCached)
{
    const QString video = QString::fromStdString(test::testMedia("video.mov"));
    const QImage frame = manager.createImageForURL(video, MediaTime(1, 1));
    ASSERT_FALSE(frame.isNull());
    EXPECT_LE(frame.width(), 320);
    EXPECT_LE(frame.height(), 184);
    EXPECT_EQ(frame.width(), 320);  // the 853 x 480 display size, scaled down

    EXPECT_TRUE(manager.getThumbnailForFileUUID("file-1").isNull());
    const QImage saved = manager.createImageForSimpleFile(test::inspected(video.toStdString()), MediaTime(1, 2), "file-1");
    EXPECT_EQ(saved.size(), frame.size());
    EXPECT_EQ(manager.getThumbnailForFileUUID("file-1").size(), frame.size());
    EXPECT_FALSE(manager.saveThumbnail(saved, "../escape"));
    EXPECT_TRUE(manager.getThumbnailForFileUUID("../file-1").isNull());
}

TEST_F(ThumbnailTest, UndecodableVideoGivesNothingOtherFailuresThePlaceholder)
{
    auto bytes = test::readFile(test::testMedia("video.mov"));
    const std::string code = "apco";
    const auto at = std::search(bytes.begin(), bytes.end(), code.begin(), code.end());
    ASSERT_NE(at, bytes.end());
    std::copy_n("qvzz", 4, at);
    const QString undecodable = QString::fromStdString(test::writeScratchFile("thumbnail-undecodable.mov", bytes));
    EXPECT_TRUE(manager.createImageForURL(undecodable, MediaTime(1, 1)).isNull());

    const QString audioOnly = QString::fromStdString(test::testMedia("tone.wav"));
    EXPECT_EQ(manager.createImageForURL(audioOnly, MediaTime(1, 1)), placeholder());
    EXPECT_EQ(manager.createImageForURL(folder.filePath("missing.mov"), MediaTime(1, 1)), placeholder());
    // The open file's frame falls back to the placeholder, and that is what gets cached.
    EXPECT_EQ(manager.createImageForSimpleFile(test::inspected(audioOnly.toStdString()), MediaTime(1, 1), "f2"),
              placeholder());
    EXPECT_EQ(manager.getThumbnailForFileUUID("f2").size(), placeholder().size());
}

}  // namespace
}  // namespace qv::transcript
