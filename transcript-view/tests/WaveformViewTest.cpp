#include "transcript-view/QVWaveformView.h"

#include "WaveformFixtures.h"

#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <QImage>

namespace qv {
namespace {

using test::bytesOf;

QVAudioChannel channelWith(const std::vector<float>& values)
{
    QVAudioChannel channel;
    channel.waveformData = bytesOf(values);
    channel.waveformSampleCount = static_cast<std::int64_t>(values.size());
    channel.waveformMax = values.empty() ? -100.0f : *std::max_element(values.begin(), values.end());
    return channel;
}

TEST(QVWaveformView, EachBarIsThePeakOfItsStretchIncludingTheFirstValueOfTheNext)
{
    // 15 000 values over 300 points: bar x covers values 50x to 50x + 50, 51 of them. Value
    // 50 opens the second stretch and closes the first, so both bars are full height.
    std::vector<float> values(15000, -50.0f);
    values[50] = 0.0f;
    values[14999] = -25.0f;
    auto heights = QVWaveformView::barHeights(channelWith(values), 300, 300, 50);
    ASSERT_EQ(heights.size(), 301u);
    EXPECT_EQ(heights[0], 50.0);
    EXPECT_EQ(heights[1], 50.0);
    EXPECT_EQ(heights[2], 0.0);
    // The last columns reach past the values and take the last one.
    EXPECT_EQ(heights[298], 0.0);
    EXPECT_EQ(heights[299], 25.0);
    EXPECT_EQ(heights[300], 25.0);
}

TEST(QVWaveformView, AViewWiderThanTheValuesRepeatsThemAndLevelsMapLinearlyToHeight)
{
    auto heights = QVWaveformView::barHeights(channelWith({-50.0f, -25.0f, 0.0f, -40.0f}), 8, 8, 100);
    // Column x takes values floor(x/2) to floor((x+1)/2), at most index 3.
    EXPECT_EQ(heights, (std::vector<double>{0, 50, 50, 100, 100, 100, 20, 20, 20}));

    EXPECT_TRUE(QVWaveformView::barHeights(channelWith({-50.0f, -50.0f}), 10, 10, 100).empty());
    QVAudioChannel unmeasured = channelWith({-10.0f});
    unmeasured.waveformMax = -100.0f;
    EXPECT_TRUE(QVWaveformView::barHeights(unmeasured, 10, 10, 100).empty());
    EXPECT_TRUE(QVWaveformView::barHeights(QVAudioChannel{}, 10, 10, 100).empty());
    // A count that claims more values than the data holds reads only what is there.
    QVAudioChannel lying = channelWith({-10.0f});
    lying.waveformSampleCount = 1000;
    EXPECT_EQ(QVWaveformView::barHeights(lying, 2, 2, 50), (std::vector<double>{40, 40, 40}));
}

TEST(QVWaveformView, RevealsAtOnceOrByAnimationsThatEndFullyShown)
{
    test::ensureApplication();
    struct Case {
        int type;
        double opacityMidway;  // 0.05 s in
        double scaleMidway;
    };
    for (auto c : {Case{0, 1.0, 1.0}, Case{1, 0.875, 0.488}, Case{2, 0.488, 1.0}}) {
        ManualDispatcher main;
        QVWaveformView view(main);
        EXPECT_EQ(view.waveformOpacity(), 0.0);
        EXPECT_EQ(view.progressBarOpacity(), 1.0);
        view.showWaveformWithAnimationType(c.type);
        EXPECT_TRUE(view.isShowingWaveform());
        main.advance(0.05);
        EXPECT_NEAR(view.waveformOpacity(), c.opacityMidway, 0.01) << c.type;
        EXPECT_NEAR(view.waveformScaleY(), c.scaleMidway, 0.01) << c.type;
        main.advance(0.5);
        EXPECT_EQ(view.waveformOpacity(), 1.0) << c.type;
        EXPECT_EQ(view.waveformScaleY(), 1.0) << c.type;
        EXPECT_EQ(view.progressBarOpacity(), 0.0) << c.type;
        EXPECT_EQ(main.pending(), 0u) << "no redraw timer once still";
    }
    ManualDispatcher main;
    QVWaveformView view(main);
    view.showWaveformWithAnimationType(7);
    EXPECT_TRUE(view.isShowingWaveform());
    EXPECT_EQ(view.waveformOpacity(), 0.0);
}

// The drawing itself: bars rise from the baseline as tall as their level, lighter toward the
// top; the picture is kept in the build folder to be looked at.
TEST(QVWaveformView, DrawsBarsUpFromTheBaseline)
{
    test::ensureApplication();
    ManualDispatcher main;
    QVWaveformView view(main);
    view.resize(400, 60);
    std::vector<float> values;
    for (int i = 0; i < 2000; ++i)
        values.push_back(i < 1000 ? -50.0f + 45.0f * static_cast<float>(i % 250) / 250.0f : -25.0f);
    auto channel = std::make_shared<QVAudioChannel>(channelWith(values));
    view.setAudioChannel(channel);
    // No name: text would load fontconfig, whose process-wide cache the leak checker reports.
    view.setChannelName(QString());
    view.grab().toImage().save("waveform-view-busy.png");
    view.showWaveformWithAnimationType(0);
    QImage image = view.grab().toImage();
    image.save("waveform-view.png");

    const int base = 60 - QVWaveformView::kBaselineHeight;
    auto lit = [&](int x, int y) { return qGray(image.pixel(x, y)) > 40; };
    // Right half: -25 dB, half the drawing height.
    EXPECT_TRUE(lit(300, base - 5));
    EXPECT_TRUE(lit(300, base - 28));
    EXPECT_FALSE(lit(300, base - 34));
    // The baseline is dark grey, not a bar.
    EXPECT_LT(qGray(image.pixel(300, 59)), 40);
}

}  // namespace
}  // namespace qv
