// The account of a service that gives minutes that do not run out, in the program's window: the
// toolbar and the sheet before transcribing say "Unlimited" instead of a century of minutes, and
// once the service counts the account's minutes, the toolbar shows the figure again.
// Screenshots go to QV_SCREENSHOT_DIR.
#include "app/shell/ApplicationShell.h"
#include "app/shell/DisplayCheck.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "intake/QVFilesPendingViewController.h"

#include <QApplication>
#include <QProcess>
#include <QScreen>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

class UnlimitedBalance : public ProgramOnService {};

TEST_F(UnlimitedBalance, TheToolbarAndTheConfirmationSayUnlimitedWhereTheServiceMarksTheAccount)
{
    ApplicationShell& shell = *this->shell;
    shell.window().resize(1200, 760);
    shell.applicationDidFinishLaunching();
    // A screen smaller than the program is laid out for (the headless one) is warned about first.
    if (needsDisplayWarning(shell.window().screen()->geometry().size())) {
        QMessageBox* warning = nullptr;
        ASSERT_TRUE(waitFor([&] { return (warning = shell.window().findChild<QMessageBox*>("displayWarning")) != nullptr; }));
        warning->accept();
    }
    ASSERT_TRUE(waitFor([&] { return shell.auth() != nullptr; }));
    AppDelegate& ad = shell.ad();
    // Signed up with a service that gives every new account its unlimited minutes.
    shell.auth()->createUser("ann.lee@example.com", "Secret-password-1", {});
    ASSERT_TRUE(waitFor([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.currentUser; }));
    const std::string uid = ad.currentUser->uid;
    service->run([&](hub::HubServer& server) {
        server.serviceUpdate("users/" + uid, {{"first_name", "Ann"}, {"last_name", "Lee"}, {"status", 30}});
    });
    QPushButton* account = shell.window().accountButton();
    EXPECT_TRUE(waitFor([&] { return account->text() == QString::fromUtf8("Ann Lee | Unlimited ▼"); }))
        << account->text().toStdString();
    QApplication::processEvents();
    EXPECT_TRUE(shell.window().grab().save(shots + "/unlimited-toolbar.png"));

    // The sheet before transcribing tells what remains in the same words.
    const QString wav = home.path() + "/thirty seconds.wav";
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                           "sine=f=440:r=48000:d=30", wav}),
              0);
    QVFilesPendingViewController& pending = shell.pendingList();
    pending.openFiles({wav});
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 1 && pending.transcribeButton()->isEnabled(); }));
    pending.transcribeButton()->click();
    QMessageBox* confirm = nullptr;
    ASSERT_TRUE(waitFor([&] { return (confirm = openMessageBox(&shell.window())) != nullptr; }));
    EXPECT_EQ(confirm->informativeText().toStdString(), "Total duration is 1m so your remaining time will be unlimited");
    QApplication::processEvents();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/unlimited-confirmation.png"));
    pressButton(confirm, "Cancel");
    ASSERT_TRUE(waitFor([&] { return openMessageBox(&shell.window()) == nullptr; }));

    // Once the service counts the account's minutes, they show as a figure.
    service->run([&](hub::HubServer& server) {
        server.serviceUpdate("users/" + uid, {{"mins_unlimited", DatabaseValue()}, {"mins_bal", 125}});
    });
    EXPECT_TRUE(waitFor([&] { return account->text() == QString::fromUtf8("Ann Lee | 2h 05m ▼"); }))
        << account->text().toStdString();
}

}  // namespace
}  // namespace qv::shell
