// The pending list in the running program, against a service of the test's own: what the user
// does to the rows before pressing Transcribe (removing them with the Delete key, renaming them,
// dragging them into another order) and the welcome e-mail of an account not yet verified.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "app/widgets/QVStringPopover.h"
#include "intake/QVFilesPendingTableView.h"
#include "intake/QVTableCellViewFilePending.h"
#include "model/QVFilePending.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/foundation/tests/LogCapture.h"
#include "platform/media/tests/TestMedia.h"

#include <QApplication>
#include <QScreen>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

QString media(const std::string& name) { return QString::fromStdString(test::testMedia(name)); }

class PendingListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        // Waveforms of the added files go into the test's home.
        previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
        hub::HubServer::Options options;
        options.dataFolder = (home.path() + "/service").toStdString();
        options.hashIterations = 1000;
        service = std::make_unique<hub::testing::RunningService>(options);
        preferences = std::make_unique<Preferences>(home.path() + "/config");
        shell = std::make_unique<ApplicationShell>(
            queue, *preferences,
            LaunchConfiguration::fromArguments(
                {"quorvantelle", "--service", QStringLiteral("http://127.0.0.1:%1/").arg(service->port())}));
        shell->applicationDidFinishLaunching();
        ASSERT_TRUE(waitFor([&] { return shell->auth() != nullptr; }));
        shell->auth()->createUser("ann@example.com", "Secret-password-1", {});
        ASSERT_TRUE(waitFor([&] { return ad().isLoggedIn && ad().currentMode == 1 && ad().isConnected; }));
    }

    void TearDown() override
    {
        shell.reset();
        service.reset();
        qputenv("XDG_DATA_HOME", previousDataHome);
    }

    AppDelegate& ad() { return shell->ad(); }
    QVFilesPendingViewController& pending() { return shell->pendingList(); }

    // The account is verified (as its welcome e-mail's link does) and `paths` are opened with
    // the program.
    void verifyAndOpen(const QStringList& paths)
    {
        service->serviceWrite("users/" + ad().currentUser->uid + "/status", 30);
        ASSERT_TRUE(waitFor([&] { return ad().userStatus == 30; }));
        shell->openFiles(paths);
        ASSERT_TRUE(waitFor([&] { return ad().filesPending.size() == static_cast<std::size_t>(paths.size()); }));
    }

    // The visible message box saying `text` (a small display has its own warning beside it).
    QMessageBox* sheetSaying(const QString& text)
    {
        for (QMessageBox* box : shell->window().findChildren<QMessageBox*>())
            if (box->isVisible() && box->text() == text)
                return box;
        return nullptr;
    }

    // The names of the pending files, without the digest that the test media's names carry.
    QStringList pendingNames()
    {
        QStringList names;
        for (const auto& file : ad().filesPending)
            names << file->name.section('-', 0, 0);
        return names;
    }

    QTemporaryDir home;
    QByteArray previousDataHome;
    QtDispatcher queue;
    std::unique_ptr<hub::testing::RunningService> service;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ApplicationShell> shell;
};

TEST_F(PendingListTest, TheDeleteKeyAsksBeforeRemovingTheSelectedRows)
{
    verifyAndOpen({media("tone.wav"), media("sine10.mp3"), media("levels.wav")});
    QVFilesPendingTableView* table = pending().tableView();
    table->item(0)->setSelected(true);
    table->item(2)->setSelected(true);

    QTest::keyClick(table, Qt::Key_Delete);
    const QString question = "Remove selected imported files?";
    QMessageBox* sheet = nullptr;
    ASSERT_TRUE(waitFor([&] { return (sheet = sheetSaying(question)) != nullptr; }));
    EXPECT_EQ(sheet->informativeText(), "You cannot undo this action.");
    pressButton(sheet, "Cancel");
    ASSERT_TRUE(waitFor([&] { return sheetSaying(question) == nullptr; }));
    EXPECT_EQ(pendingNames(), QStringList({"tone", "sine10", "levels"}));

    QTest::keyClick(table, Qt::Key_Backspace);
    ASSERT_TRUE(waitFor([&] { return (sheet = sheetSaying(question)) != nullptr; }));
    pressButton(sheet, "Remove Selected");
    ASSERT_TRUE(waitFor([&] { return ad().filesPending.size() == 1; }));
    EXPECT_EQ(pendingNames(), QStringList({"sine10"}));

    // In a name being edited the key edits the name, with the row selected all the same.
    table->item(0)->setSelected(true);
    QLineEdit* name = pending().cellForFile(*ad().filesPending[0])->textField();
    const QString before = name->text();
    name->setFocus();
    name->end(false);
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(name->text(), before.chopped(1));
    waitFor([] { return false; }, 0.2);
    EXPECT_EQ(sheetSaying(question), nullptr);
    EXPECT_EQ(ad().filesPending.size(), 1u);
}

TEST_F(PendingListTest, ANameIsEditedOnlyWhileTheDatabaseIsConnected)
{
    verifyAndOpen({media("tone.wav")});
    auto nameField = [&] { return pending().cellForFile(*ad().filesPending[0])->textField(); };
    ASSERT_FALSE(nameField()->isReadOnly());
    nameField()->setFocus();
    nameField()->selectAll();
    QTest::keyClicks(nameField(), "Harbour: walk");
    QTest::keyClick(nameField(), Qt::Key_Return);
    // The colon cannot be typed into a name.
    EXPECT_EQ(ad().filesPending[0]->name, "Harbour walk");
    // Escape gives up an edit, and leaving the field afterwards stores nothing.
    nameField()->setFocus();
    QTest::keyClicks(nameField(), " at dusk");
    QTest::keyClick(nameField(), Qt::Key_Escape);
    EXPECT_EQ(nameField()->text(), "Harbour walk");

    shell->window().setFocus();
    EXPECT_EQ(ad().filesPending[0]->name, "Harbour walk");
    service.reset();
    ASSERT_TRUE(waitFor([&] { return !ad().isConnected; }));
    ASSERT_TRUE(waitFor([&] { return nameField()->isReadOnly(); }));
    nameField()->setFocus();
    QTest::keyClicks(nameField(), "x");
    QTest::keyClick(nameField(), Qt::Key_Return);
    EXPECT_EQ(ad().filesPending[0]->name, "Harbour walk");
}

TEST_F(PendingListTest, TheWarningButtonExplainsInAPopoverThatASecondPressCloses)
{
    verifyAndOpen({media("tone.wav")});
    service.reset();
    QToolButton* warning = pending().errorButton();
    ASSERT_TRUE(waitFor([&] { return !ad().isConnected && warning->isVisible(); }));
    EXPECT_FALSE(pending().transcribeButton()->isEnabled());
    warning->click();
    auto* popover = dynamic_cast<QVStringPopover*>(pending().errorPopover());
    ASSERT_NE(popover, nullptr);
    EXPECT_EQ(popover->text(), "File(s) cannot be transcribed\nbecause there is no internet connection");
    // It stands above the button, whole on the screen although the button is near its edge.
    EXPECT_LE(popover->geometry().bottom(), warning->mapToGlobal(QPoint(0, 0)).y());
    EXPECT_TRUE(warning->screen()->availableGeometry().contains(popover->geometry()));
    warning->click();
    EXPECT_EQ(pending().errorPopover(), nullptr);
    warning->click();
    EXPECT_NE(pending().errorPopover(), nullptr);
}

TEST_F(PendingListTest, RowsDraggedWithinTheListChangeTheOrderOfTranscription)
{
    verifyAndOpen({media("tone.wav"), media("sine10.mp3"), media("levels.wav")});
    QVFilesPendingTableView* table = pending().tableView();
    // The first row, dragged below the last.
    std::unique_ptr<QMimeData> dragged(pending().beginRowDrag({0}));
    ASSERT_NE(dragged, nullptr);
    const QPoint below(table->viewport()->width() / 2, table->viewport()->height() - 5);
    QDragEnterEvent enter(below, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(below, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &drop);
    pending().endRowDrag();
    EXPECT_EQ(pendingNames(), QStringList({"sine10", "levels", "tone"}));
    EXPECT_EQ(pending().cellForFile(*ad().filesPending[2]),
              static_cast<QVTableCellViewFilePending*>(table->itemWidget(table->item(2))));
}

TEST_F(PendingListTest, AnUnverifiedAccountCanHaveItsWelcomeEmailSentAgain)
{
    // The account's own record, as the sign-up screen writes it.
    service->serviceWrite("users/" + ad().currentUser->uid + "/status", 10);
    QPushButton* resend = pending().resendWelcomeEmailButton();
    ASSERT_TRUE(waitFor([&] { return ad().userStatus == 10 && resend->isVisible(); }));
    EXPECT_TRUE(pending().tableViewInstructions()->text().startsWith("Please verify your e-mail address."));
    ASSERT_TRUE(resend->isEnabled());
    LogCapture log;
    resend->click();
    ASSERT_TRUE(waitFor([&] { return !resend->isEnabled(); }));
    // The service stands in for the mail with the verification link in its log.
    std::string link;
    for (const std::string& line : log.lines())
        if (const auto at = line.find("verify ann@example.com at http://"); at != std::string::npos)
            link = line.substr(line.find("http://", at));
    ASSERT_FALSE(link.empty());

    // Following it verifies the account, and the list invites files instead.
    QNetworkAccessManager browser;
    QNetworkReply* opened = browser.get(QNetworkRequest(QUrl(QString::fromStdString(link))));
    ASSERT_TRUE(waitFor([&] { return opened->isFinished(); }));
    EXPECT_EQ(opened->error(), QNetworkReply::NoError);
    delete opened;
    ASSERT_TRUE(waitFor([&] { return ad().userStatus == 30; }));
    ASSERT_TRUE(waitFor([&] { return !resend->isVisible(); }));
    EXPECT_EQ(pending().tableViewInstructions()->text(), "Import files\nby clicking the + button\nor dropping here");
}

}  // namespace
}  // namespace qv::shell
