#include "transcript-view/NavigationButtonImages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>

namespace qv::transcript::testing {
namespace {

// Counts the opaque pixels of `image` that are close to `color`.
int pixelsOf(const QImage& image, const QColor& color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.alpha() > 250 && std::abs(c.red() - color.red()) < 8 && std::abs(c.green() - color.green()) < 8
                     && std::abs(c.blue() - color.blue()) < 8;
        }
    }
    return count;
}

// The largest difference in opacity between the pixels of two images of one size.
int largestAlphaDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            largest = std::max(largest, std::abs(a.pixelColor(x, y).alpha() - b.pixelColor(x, y).alpha()));
    }
    return largest;
}

TEST(NavigationButtonImagesTest, EveryButtonHasItsImagesAtRestAndFlashing)
{
    QImage strip(8 * 22 * 2, 2 * 16 * 2 + 8, QImage::Format_ARGB32);
    strip.fill(QColor(160, 160, 160));
    QPainter painter(&strip);
    int column = 0;
    for (const NavigationButton& button : navigationButtons()) {
        const QIcon icon = navigationButtonIcon(button.image);
        ASSERT_FALSE(icon.isNull()) << button.name.toStdString();
        EXPECT_FALSE(button.title.isEmpty());
        const QImage normal = icon.pixmap(kNavigationImageSize, 2.0, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(kNavigationImageSize, 2.0, QIcon::Disabled).toImage();
        EXPECT_NE(normal, disabled) << "a disabled button must look it";

        const QImage off = navigationButtonImage(button.image + "_off").toImage();
        const QImage on = navigationButtonImage(button.image + "_on").toImage();
        ASSERT_EQ(off.size(), kNavigationImageSize * 2);
        EXPECT_GT(pixelsOf(off, QColor(45, 45, 45)), 40) << button.name.toStdString();
        EXPECT_EQ(pixelsOf(off, QColor(255, 65, 20)), 0);
        EXPECT_GT(pixelsOf(on, QColor(255, 65, 20)), 40) << button.name.toStdString();
        painter.drawImage(column * 44, 0, off);
        painter.drawImage(column * 44, 40, on);
        ++column;
    }
    painter.end();
    strip.save(QDir(QCoreApplication::applicationDirPath()).filePath("navigation-buttons.png"));
}

TEST(NavigationButtonImagesTest, ForwardImagesMirrorTheBackwardOnes)
{
    for (const char* step : {"word", "sentence", "range"}) {
        const QImage back = navigationButtonImage(QString("previous_%1_off").arg(step)).toImage();
        const QImage forward = navigationButtonImage(QString("next_%1_off").arg(step)).toImage();
        ASSERT_EQ(back.size(), forward.size());
        // Edges are smoothed on either side alike, to within rounding.
        EXPECT_LE(largestAlphaDifference(back.mirrored(true, false), forward), 8) << step;
        EXPECT_GT(largestAlphaDifference(back, forward), 200) << step;
    }
    // Each step has its own glyph.
    EXPECT_NE(navigationButtonImage("previous_word_off").toImage(), navigationButtonImage("previous_sentence_off").toImage());
    EXPECT_NE(navigationButtonImage("previous_sentence_off").toImage(), navigationButtonImage("previous_range_off").toImage());
}

TEST(NavigationButtonImagesTest, UnknownNamesGiveNoImage)
{
    for (const char* name : {"", "previous_word", "next_word_dim", "back_word_off", "next_line_on", "next_word_on_off"})
        EXPECT_TRUE(navigationButtonImage(name).isNull()) << name;
    EXPECT_TRUE(navigationButtonIcon("previous_line").isNull());
    EXPECT_TRUE(navigationButtonIcon("").isNull());
}

}  // namespace
}  // namespace qv::transcript::testing
