#include "app/widgets/PendingFilesEmptyView.h"

#include "WidgetsTestSupport.h"
#include "model/AppDelegate.h"

#include <QLabel>
#include <QPushButton>

namespace {

const QString kImport = QStringLiteral("Import files\nby clicking the + button\nor dropping here");
const QString kUnavailable = QStringLiteral("Transcription is not available\nplease try again later");

TEST(PendingFilesEmptyViewTest, InstructionsSayWhyImportingCannotStart)
{
    const struct {
        std::int64_t userStatus, serviceStatus;
        QString expected;
    } cases[] = {
        {30, 1, kImport},
        {30, 0, kImport},
        {0, 1, kImport},  // status not known yet
        {30, -1, kUnavailable},
        {1, 1, "Please verify your e-mail address"},
        {29, -1, "Please verify your e-mail address"},  // the account comes first
        {50, 1, kImport},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PendingFilesEmptyView::instructionsText(c.userStatus, c.serviceStatus,
                                                          "Please verify your e-mail address"),
                  c.expected)
            << c.userStatus << " " << c.serviceStatus;
    }
}

TEST(PendingFilesEmptyViewTest, ImportIsAllowedForAVerifiedAccountWithTheServiceUp)
{
    EXPECT_TRUE(PendingFilesEmptyView::importAllowed(30, false, 1));
    EXPECT_TRUE(PendingFilesEmptyView::importAllowed(30, false, 0));
    EXPECT_FALSE(PendingFilesEmptyView::importAllowed(29, false, 1));
    EXPECT_FALSE(PendingFilesEmptyView::importAllowed(30, true, 1));
    EXPECT_FALSE(PendingFilesEmptyView::importAllowed(30, false, -1));
}

TEST(PendingFilesEmptyViewTest, ViewFollowsTheAccountAndTheAddButtonNeedsSomewhereToSendFiles)
{
    testApplication();
    AppDelegate ad;
    ad.userStatus = 30;
    ad.externalServiceStatus = 1;
    PendingFilesEmptyView view(ad);
    view.resize(680, 800);
    EXPECT_EQ(view.instructions()->text(), kImport);
    EXPECT_FALSE(view.addFilesButton()->isEnabled()) << "a button that could take no files";

    int pressed = 0;
    view.setAddFilesAction([&] { ++pressed; });
    EXPECT_TRUE(view.addFilesButton()->isEnabled());
    view.addFilesButton()->click();
    EXPECT_EQ(pressed, 1);
    saveScreenshot(view, "pending-files-empty");

    ad.userStatus = 10;
    ad.unverifiedAccountMessage = "Check your inbox";
    view.refreshPendingView();
    EXPECT_EQ(view.instructions()->text(), "Check your inbox");
    EXPECT_FALSE(view.addFilesButton()->isEnabled());
    saveScreenshot(view, "pending-files-unverified");
}

}  // namespace
