#include "app/widgets/QVAccountPopoverViewController.h"
#include "app/widgets/QVKeyboardShortcutsWC.h"
#include "app/widgets/QVPreferencesWC.h"

#include "RecordingHost.h"
#include "WidgetsTestSupport.h"
#include "model/AppDelegate.h"
#include "platform/foundation/Preferences.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

TEST(AccountPopoverTest, ButtonsDoWhatTheApplicationsActionsDo)
{
    testApplication();
    RecordingHost host;
    QVAccountPopoverViewController popover(host);
    popover.buyMinutesButton()->click();
    popover.logOutButton()->click();
    EXPECT_EQ(host.calls, (QStringList{"showBuyMinutes", "logOut"}));
    popover.view()->adjustSize();
    saveScreenshot(*popover.view(), "account-popover");
}

class PreferencesWindowTest : public ::testing::Test {
protected:
    PreferencesWindowTest() : preferences(folder.path()), controller(ad, host, preferences, &alerts)
    {
        ad.availableLanguagesCodes = {"nl", "en-AU", "en-GB", "en-US", "fr", "de", "it", "pt", "es"};
        ad.availableLanguagesLabels = {"Dutch",  "English (Australia)", "English (UK)", "English (US)", "French",
                                       "German", "Italian",             "Portuguese",   "Spanish"};
        ad.exportFCPXKeywordTypeCodes = {"auto", "sentence", "speakerRange"};
        ad.exportFCPXKeywordTypeLabels = {"Auto", "Sentence", "Speaker Range"};
        preferences.registerDefaults({{"QVDefaultLanguage", "en-US"}, {"QVExportFCPXKeywordType", "auto"}});
    }

    QApplication& application = testApplication();
    QTemporaryDir folder;
    qv::Preferences preferences;
    AppDelegate ad;
    RecordingHost host;
    qv::ScriptedAlertPresenter alerts;
    QVPreferencesWC controller;
};

TEST_F(PreferencesWindowTest, MenusShowTheStoredChoicesAndStoreNewOnes)
{
    preferences.setObject("QVExportFCPXKeywordType", "sentence");
    controller.window();
    EXPECT_EQ(controller.defaultLanguageMenu()->count(), 9);
    EXPECT_EQ(controller.defaultLanguageMenu()->currentText(), "English (US)");
    EXPECT_EQ(controller.exportFCPXKeywordTypeMenu()->currentText(), "Sentence");

    controller.defaultLanguageMenu()->setCurrentIndex(4);
    controller.changeDefaultLanguage();
    controller.exportFCPXKeywordTypeMenu()->setCurrentIndex(2);
    controller.changeExportFCPXKeywordType();
    EXPECT_EQ(preferences.stringForKey("QVDefaultLanguage"), "fr");
    EXPECT_EQ(preferences.stringForKey("QVExportFCPXKeywordType"), "speakerRange");
    saveScreenshot(*controller.window(), "preferences");
}

TEST_F(PreferencesWindowTest, AStoredLanguageThatIsNotOfferedSelectsNothing)
{
    preferences.setObject("QVDefaultLanguage", "ja");
    controller.window();
    EXPECT_EQ(controller.defaultLanguageMenu()->currentIndex(), -1);
}

// Keys typed where the user types them, in the focused menu: Close Window and Escape hide the
// window, W alone does nothing.
TEST_F(PreferencesWindowTest, CloseWindowAndEscapeHideTheWindowFromItsMenu)
{
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool hides;
    } cases[] = {{Qt::Key_W, Qt::NoModifier, false}, {Qt::Key_W, Qt::ControlModifier, true}, {Qt::Key_Escape, Qt::NoModifier, true}};
    for (const auto& c : cases) {
        controller.showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window()));
        controller.defaultLanguageMenu()->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(controller.defaultLanguageMenu(), c.key, c.modifiers);
        EXPECT_EQ(controller.window()->isVisible(), !c.hides) << c.key << " " << c.modifiers;
        controller.closeWindow();
    }
}

TEST_F(PreferencesWindowTest, ClosingTheAccountLogsOutThenOpensItsPageAndCancelDoesNothing)
{
    alerts.script(qv::kAlertFirstButtonReturn + 1);
    controller.closeAccount();
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "Close your Quorvantelle account?");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText,
              "You will be logged out of this app and redirected to the Quorvantelle website.");
    EXPECT_EQ(alerts.shownAlerts()[0].buttons, (QStringList{"Continue", "Cancel"}));
    EXPECT_TRUE(host.calls.isEmpty());
    EXPECT_TRUE(host.openedURLs.empty());

    alerts.script(qv::kAlertFirstButtonReturn);
    controller.closeAccount();
    EXPECT_EQ(host.calls, QStringList{"logOut"});
    EXPECT_EQ(host.openedURLs, std::vector<QUrl>{QUrl("https://app.example.test/close-account")});
}

TEST(KeyboardShortcutsWindowTest, ShowsTheShippedPageInAFloatingWindowThatHides)
{
    testApplication();
    QVKeyboardShortcutsWC controller;
    QWidget* window = controller.window();
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(controller.webView()->source(), QVKeyboardShortcutsWC::kPageUrl);
    EXPECT_TRUE(controller.webView()->toPlainText().contains("Keyboard Shortcuts"));
    EXPECT_TRUE(controller.webView()->toPlainText().contains("Play or pause"));
    controller.showWindow();
    EXPECT_TRUE(window->isVisible());
    saveScreenshot(*window, "keyboard-shortcuts");
    controller.closeWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(controller.window(), window) << "kept, not made again";
}

}  // namespace
