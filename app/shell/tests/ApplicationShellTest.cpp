// The program's start-up in its window (offscreen): the display warning, a damaged preferences
// file, a service that cannot be reached and the retry, and the menus following the state.
#include "app/shell/ApplicationShell.h"
#include "services/hub/tests/HubTestSupport.h"
#include "transcript-view/NavigationButtonImages.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

// A loopback port nothing listens on (it was free a moment ago).
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

class ApplicationShellTest : public ::testing::Test {
protected:
    void launch(const QStringList& arguments)
    {
        preferences = std::make_unique<Preferences>(folder.path());
        shell = std::make_unique<ApplicationShell>(queue, *preferences,
                                                   LaunchConfiguration::fromArguments(QStringList{"quorvantelle"} + arguments));
        shell->applicationDidFinishLaunching();
    }

    // Runs the program's queue and Qt's events until `done` holds; false after 20 s.
    bool pump(const std::function<bool()>& done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > 20'000)
                return false;
            queue.drain();
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return true;
    }

    QMessageBox* displayWarning() { return shell->window().findChild<QMessageBox*>("displayWarning"); }

    QTemporaryDir folder;
    ManualDispatcher queue;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ApplicationShell> shell;
};

TEST_F(ApplicationShellTest, SmallDisplayGetsTheWarningHalfASecondLater)
{
    // The offscreen screen is 800 by 600 points.
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())});
    EXPECT_EQ(shell->ad().currentMode, 0);
    EXPECT_EQ(shell->window().tabView()->currentIndex(), 0);
    EXPECT_EQ(displayWarning(), nullptr);
    queue.advance(0.5);
    QMessageBox* box = displayWarning();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Display resolution error");
    EXPECT_TRUE(box->informativeText().startsWith("Quorvantelle requires a minimum display resolution of 1280x800."));
    EXPECT_TRUE(box->isVisible());
    box->accept();
}

TEST_F(ApplicationShellTest, DamagedPreferencesFallBackToTheDefaults)
{
    {
        QFile file(folder.filePath("preferences.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"QVShowEditingControls\": fal");
    }
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())});
    EXPECT_EQ(shell->window().transcriptToolbarHeight(), 150);
    EXPECT_EQ(preferences->integerForKey("QVTextSizeDisplay"), 14);
    EXPECT_EQ(shell->ad().systemID.size(), 32);
    // The damaged copy is kept beside the new file.
    EXPECT_TRUE(QFile::exists(folder.filePath("preferences.json.corrupt")));
}

TEST_F(ApplicationShellTest, UnreachableServiceSaysSoAndRetryReachesItLater)
{
    const quint16 port = closedPort();
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(port)});
    ASSERT_TRUE(pump([&] { return shell->window().retryButton()->isVisible(); }));
    EXPECT_EQ(shell->signIn(), nullptr);
    // The window still answers: its menus validate and the screen is the log-in screen.
    EXPECT_TRUE(shell->validateMenuItem("showPreferences:", 0).enabled);

    hub::HubServer::Options options;
    options.dataFolder = (folder.path() + "/service").toStdString();
    options.port = port;
    options.hashIterations = 1000;
    hub::testing::RunningService service(options);
    shell->window().retryButton()->click();
    ASSERT_TRUE(pump([&] { return shell->signIn() != nullptr; }));
    EXPECT_FALSE(shell->window().retryButton()->isVisible());
    EXPECT_EQ(shell->serviceHttpUrl(), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    shell.reset();
}

TEST_F(ApplicationShellTest, LoggingOutAndInAgainShowsTheFilesFinishedMeanwhile)
{
    hub::HubServer::Options options;
    options.dataFolder = (folder.path() + "/service").toStdString();
    options.hashIterations = 1000;
    hub::testing::RunningService service(options);
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(service.port())});
    ASSERT_TRUE(pump([&] { return shell->auth() != nullptr; }));
    AppDelegate& ad = shell->ad();
    shell->auth()->createUser("ann@example.com", "Secret-password-1", {});
    ASSERT_TRUE(pump([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.userFilesStillToLoad == 0; }));
    const std::string uid = ad.currentUser->uid;
    shell->logOut();
    ASSERT_TRUE(pump([&] { return !ad.isLoggedIn && ad.currentMode == 0; }));

    // Files the service finished while no one was signed in on this computer.
    for (const char* uuid : {"F1", "F2", "F3"}) {
        service.serviceWrite(std::string("files/") + uuid,
                             DatabaseValue::object({{"owner", uid}, {"status", 30}, {"created", 5}, {"name", uuid}}));
        service.serviceWrite("users/" + uid + "/files/" + uuid, DatabaseValue(true));
    }
    shell->auth()->signIn("ann@example.com", "Secret-password-1", {});
    ASSERT_TRUE(pump([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.userFilesStillToLoad == 0; }));
    EXPECT_EQ(ad.files.size(), 3u);
    EXPECT_EQ(shell->filesList().filesSearchResults().size(), 3u);
    shell.reset();
}

// The step buttons show drawn images (a glyph may be missing from every font the machine has),
// say what they do and are enabled by their own states; the files screen's left half holds the pending list's instructions.
TEST_F(ApplicationShellTest, StepButtonsShowImagesAndTheFilesScreenHoldsThePendingList)
{
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())});
    for (const transcript::NavigationButton& step : transcript::navigationButtons()) {
        auto* button = shell->window().findChild<QToolButton*>(step.name + "Button");
        ASSERT_NE(button, nullptr) << step.name.toStdString();
        EXPECT_FALSE(button->icon().isNull()) << step.name.toStdString();
        EXPECT_TRUE(button->text().isEmpty());
        EXPECT_EQ(button->accessibleName(), step.title);
    }
    // Each button follows its own state, and all are off for a file without a transcript.
    MainWindow& window = shell->window();
    window.setNavigationButtonStates({false, true, false, true, true, false});
    std::vector<bool> enabled;
    for (const transcript::NavigationButton& step : transcript::navigationButtons())
        enabled.push_back(window.findChild<QToolButton*>(step.name + "Button")->isEnabled());
    EXPECT_EQ(enabled, (std::vector<bool>{false, true, false, true, true, false}));
    window.enableNavigationButtons(false);
    EXPECT_FALSE(window.findChild<QToolButton*>("nextWordButton")->isEnabled());
    window.enableNavigationButtons(true);
    EXPECT_TRUE(window.findChild<QToolButton*>("nextWordButton")->isEnabled());
    EXPECT_FALSE(window.findChild<QToolButton*>("previousWordButton")->isEnabled());
    auto* pending = shell->window().findChild<QWidget*>("pendingFilesView");
    ASSERT_NE(pending, nullptr);
    auto* instructions = pending->findChild<QLabel*>("tableViewInstructions");
    ASSERT_NE(instructions, nullptr);
    EXPECT_FALSE(instructions->text().isEmpty());
}

TEST_F(ApplicationShellTest, MenusFollowTheScreenAndThePanelToggles)
{
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())});
    MainWindow& window = shell->window();
    window.validateAllMenus();
    EXPECT_FALSE(window.action("exportToSubRip:")->isEnabled());
    EXPECT_FALSE(window.action("showFiles:")->isEnabled());
    EXPECT_TRUE(window.action("performFindPanelAction:", 1)->isEnabled());
    EXPECT_FALSE(window.action("performFindPanelAction:", 2)->isEnabled());

    shell->ad().currentMode = 2;
    window.validateAllMenus();
    EXPECT_TRUE(window.action("toggleEditingControls:")->isEnabled());
    EXPECT_EQ(window.action("toggleEditingControls:")->text(), "Hide Editing Controls");
    window.action("toggleEditingControls:")->trigger();
    EXPECT_FALSE(preferences->boolForKey("QVShowEditingControls"));
    EXPECT_EQ(window.transcriptToolbarHeight(), 75);
    window.validateAllMenus();
    EXPECT_EQ(window.action("toggleEditingControls:")->text(), "Show Editing Controls");

    // A shortcut of a disabled item does nothing: the files list is not left for the log-in.
    shell->ad().currentMode = 0;
    window.action("showFiles:")->trigger();
    queue.drain();
    EXPECT_EQ(shell->ad().currentMode, 0);
}

// The Edit menu's Undo and Redo follow the transcript's undo manager: off with nothing to do,
// and named after the step they would undo or redo.
TEST_F(ApplicationShellTest, UndoAndRedoItemsNameTheStepAndAreOffWithNothingToDo)
{
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())});
    MainWindow& window = shell->window();
    AppDelegate& ad = shell->ad();
    ad.currentMode = 2;
    window.validateAllMenus();
    EXPECT_FALSE(window.action("undo:")->isEnabled());
    EXPECT_FALSE(window.action("redo:")->isEnabled());
    EXPECT_EQ(window.action("undo:")->text(), "Undo");

    // A command and its inverse, each registering the other as commands do.
    int value = 0;
    std::function<void()> setOne;
    std::function<void()> setZero = [&] {
        value = 0;
        ad.undoManager->registerUndo(setOne);
    };
    setOne = [&] {
        value = 1;
        ad.undoManager->registerUndo(setZero);
    };
    setOne();
    ad.undoManager->setActionName("Edit Words");
    queue.drain();
    window.validateAllMenus();
    EXPECT_TRUE(window.action("undo:")->isEnabled());
    EXPECT_EQ(window.action("undo:")->text(), "Undo Edit Words");
    EXPECT_FALSE(window.action("redo:")->isEnabled());

    window.action("undo:")->trigger();
    queue.drain();
    EXPECT_EQ(value, 0);
    window.validateAllMenus();
    EXPECT_FALSE(window.action("undo:")->isEnabled());
    EXPECT_EQ(window.action("undo:")->text(), "Undo");
    EXPECT_TRUE(window.action("redo:")->isEnabled());
    EXPECT_EQ(window.action("redo:")->text(), "Redo Edit Words");
}

TEST_F(ApplicationShellTest, TheTranscriptScreensKeysGoToTheKeyHandler)
{
    launch({"--service", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort())});
    MainWindow& window = shell->window();
    QWidget* handler = shell->editingControls().keyHandler();
    window.selectTab(2);
    EXPECT_EQ(window.focusWidget(), handler);
    window.selectTab(1);
    window.resetFocus();
    EXPECT_NE(window.focusWidget(), handler);
    // A click in the transcript focuses its table, which hands the keys on.
    window.selectTab(2);
    window.centralWidget()->setFocus();
    shell->transcriptScreen().tableWidget()->setFocus();
    EXPECT_EQ(window.focusWidget(), handler);
}

class ThrowingObject : public QObject {
public:
    bool event(QEvent*) override { throw std::runtime_error("handler failed"); }
};

TEST(QVApplication, ExceptionOutOfAnEventHandlerStopsAtTheApplication)
{
    ThrowingObject object;
    QEvent event(QEvent::User);
    // Handed to the crash service (which forwards only when asked to) instead of unwinding
    // through the event loop.
    EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
}

}  // namespace
}  // namespace qv::shell
