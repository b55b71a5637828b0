#include "intake/QVProgressBarAnimation.h"

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace {

// The animations' clock, moved by the test instead of by time passing.
class ManualAnimationDriver final : public QAnimationDriver {
public:
    void advanceBy(qint64 ms)
    {
        // Animations started since the last step join at the next turn of the event loop.
        QCoreApplication::processEvents();
        now_ += ms;
        advance();
    }
    qint64 elapsed() const override { return now_; }

private:
    qint64 now_ = 0;
};

class ProgressBarAnimationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver.install();
        for (QProgressBar* bar : {&first, &second}) {
            bar->setRange(0, 1000);
            bar->setValue(0);
        }
    }
    void TearDown() override { driver.uninstall(); }

    ManualAnimationDriver driver;
    QProgressBar first;
    QProgressBar second;
};

TEST_F(ProgressBarAnimationTest, ABarMovesLinearlyOverAFifteenthOfASecondAndANewMoveFinishesTheLast)
{
    animateToDoubleValue(&first, 0.5);
    driver.advanceBy(0);
    EXPECT_EQ(first.value(), 0);
    driver.advanceBy(75);
    EXPECT_NEAR(first.value(), 250, 1);

    // Started part way: the bar jumps to where it was heading, then moves on from there.
    animateToDoubleValue(&first, 0.8);
    EXPECT_EQ(first.value(), 500);
    driver.advanceBy(0);
    driver.advanceBy(75);
    EXPECT_NEAR(first.value(), 650, 1);
    driver.advanceBy(75);
    EXPECT_EQ(first.value(), 800);
    driver.advanceBy(100);
    EXPECT_EQ(first.value(), 800);

    // One movement in the program at a time: another bar's finishes the first bar's at its target.
    animateToDoubleValue(&first, 1.0);
    driver.advanceBy(0);
    driver.advanceBy(30);
    animateToDoubleValue(&second, 0.15);
    EXPECT_EQ(first.value(), 1000);
    EXPECT_EQ(second.value(), 0);
    driver.advanceBy(0);
    driver.advanceBy(150);
    EXPECT_EQ(second.value(), 150);
}

}  // namespace
