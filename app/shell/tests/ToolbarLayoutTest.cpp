// The layout numbers of the files screen and the transcript toolbar, and the account title.
#include "app/shell/ToolbarLayout.h"

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

TEST(ToolbarLayout, FilesScreenSplitsBelowAndCentresFrom1660)
{
    FilesLayout narrow = filesLayout(1659, 700);
    EXPECT_EQ(narrow.pending, QRectF(20, 10, 799, 680));
    EXPECT_EQ(narrow.files, QRectF(839, 10, 799, 680));
    FilesLayout wide = filesLayout(1660, 700);
    EXPECT_EQ(wide.pending, QRectF(20, 10, 800, 680));
    EXPECT_EQ(wide.files, QRectF(840, 10, 800, 680));
    FilesLayout wider = filesLayout(2000, 700);
    EXPECT_EQ(wider.pending.right(), 990);
    EXPECT_EQ(wider.files.left(), 1010);
}

TEST(ToolbarLayout, TranscriptToolbarPositions)
{
    ToolbarPositions p = toolbarPositions(1400, 250, 300);
    EXPECT_EQ(p.bottomRightPanelWidth, 301);
    // The middle between the panels is (1400 - 552) / 2 = 424.
    EXPECT_EQ(p.bottomTranscriptOffset, 435);
    EXPECT_EQ(p.currentFileDisplayPosition, -(424 + 284 + 230));
}

TEST(ToolbarLayout, PanelsShownAndHidden)
{
    const struct {
        bool editing, navigation;
        double height, transportBottom;
    } cases[] = {{true, true, 150, 0}, {false, true, 75, 0}, {true, false, 150, -35}, {false, false, 75, -35}};
    for (const auto& c : cases) {
        TranscriptToolbarGeometry g = transcriptToolbarGeometry(c.editing, c.navigation);
        EXPECT_EQ(g.height, c.height);
        EXPECT_EQ(g.transportBottom, c.transportBottom);
        EXPECT_EQ(g.editingAlpha, c.editing ? 1 : 0);
        EXPECT_EQ(g.transportAlpha, c.navigation ? 1 : 0);
    }
}

TEST(ToolbarLayout, AccountButtonTitle)
{
    EXPECT_EQ(accountButtonTitle("Ann", "Lee", 0, false), QString::fromUtf8("Ann Lee | 0m ▼"));
    EXPECT_EQ(accountButtonTitle("Ann", "Lee", 125, false), QString::fromUtf8("Ann Lee | 2h 05m ▼"));
    EXPECT_EQ(accountButtonTitle("Ann", "Lee", 52'560'000, true), QString::fromUtf8("Ann Lee | Unlimited ▼"));
    EXPECT_EQ(accountButtonTitle("Ann", "", 125, false), QString::fromUtf8("Loading… ▼"));
    EXPECT_EQ(accountButtonTitle({}, {}, 0, true), QString::fromUtf8("Loading… ▼"));
    // Once the record is read, what it holds names the account.
    EXPECT_EQ(accountButtonTitle("Ann", "", 125, false, "Ann"), QString::fromUtf8("Ann | 2h 05m ▼"));
    EXPECT_EQ(accountButtonTitle({}, {}, 0, false, "ann@example.com"), QString::fromUtf8("ann@example.com | 0m ▼"));
    EXPECT_EQ(accountButtonTitle({}, {}, 0, true, "ann@example.com"), QString::fromUtf8("ann@example.com | Unlimited ▼"));
    EXPECT_EQ(knownAccountName(" Ann ", {}, "ann@example.com"), "Ann");
    EXPECT_EQ(knownAccountName({}, "Lee", "ann@example.com"), "Lee");
    EXPECT_EQ(knownAccountName({}, " ", "ann@example.com"), "ann@example.com");
}

}  // namespace
}  // namespace qv::shell
