#include "platform/ui/PopupPlacement.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// A 1600-wide screen with a window 1000 wide at its right edge, its left edge at `windowLeft`.
TEST(PopupPlacement, APopupIsMovedInsideTheWindowAndTheScreen)
{
    const QRect screen(0, 0, 1600, 1000);
    struct Case {
        int left, width;
        QRect window;
        int expected;
    };
    for (const Case& c : {
             Case{1450, 300, QRect(600, 0, 1000, 900), 1300},   // past the window's and screen's right edge
             Case{1450, 300, QRect(300, 0, 1000, 900), 1000},   // past the window's right edge alone
             Case{250, 300, QRect(300, 0, 1000, 900), 300},     // past the window's left edge
             Case{700, 300, QRect(300, 0, 1000, 900), 700},     // inside: stays
             Case{1500, 300, QRect(1400, 0, 1000, 900), 1300},  // window partly off the screen
             Case{1450, 300, QRect(1350, 0, 200, 900), 1300},   // wider than the window: on the screen
         })
        EXPECT_EQ(popupLeftInside(c.left, c.width, c.window, screen), c.expected)
            << c.left << " in " << c.window.left() << "+" << c.window.width();
}

}  // namespace
}  // namespace qv
