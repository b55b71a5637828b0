// The road a user walks, in the program's own window on an X display: the program starts with
// a temporary home against a service of the test's own, the user signs up, sees the empty files
// list, a transcript arrives as the transcription service delivers one, and it shows up in the
// list; the user opens it, plays it, corrects a word by typing, undoes and redoes the correction
// from the Edit menu and exports SubRip captions from the File menu. A screenshot of the window
// at each step goes to QV_SCREENSHOT_DIR.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "app/shell/LogoView.h"
#include "app/shell/QVApplication.h"
#include "app/shell/ToolbarLayout.h"
#include "export/ExportShell.h"
#include "model/LocalFileData.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/media/tests/TestMedia.h"
#include "platform/rtdb/PushIdGenerator.h"
#include "services/hub/tests/HubTestSupport.h"
#include "services/transcriber/TranscriptRecord.h"
#include "transcript-view/QVTextView.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QScreen>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace qv::shell {
namespace {

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        shots = qEnvironmentVariable("QV_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
        QDir().mkpath(shots);
        hub::HubServer::Options options;
        options.dataFolder = (home.path() + "/service").toStdString();
        options.hashIterations = 1000;
        service = std::make_unique<hub::testing::RunningService>(options);
        preferences = std::make_unique<Preferences>(home.path() + "/config");
        const QString http = QStringLiteral("http://127.0.0.1:%1/").arg(service->port());
        shell = std::make_unique<ApplicationShell>(
            queue, *preferences, LaunchConfiguration::fromArguments({"quorvantelle", "--service", http}));
    }

    void TearDown() override
    {
        shell.reset();
        service.reset();
    }

    void screenshot(const QString& name)
    {
        QApplication::processEvents();
        EXPECT_TRUE(shell->window().grab().save(shots + "/" + name + ".png")) << name.toStdString();
    }

    QTemporaryDir home;
    QString shots;
    QtDispatcher queue;
    std::unique_ptr<hub::testing::RunningService> service;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ApplicationShell> shell;
};

TEST_F(EndToEnd, SignUpOpenAnArrivedTranscriptPlayCorrectAndExportIt)
{
    shell->window().resize(1440, 900);
    shell->applicationDidFinishLaunching();
    ASSERT_TRUE(waitFor([&] { return shell->signIn() != nullptr && shell->window().isVisible(); }));
    AppDelegate& ad = shell->ad();
    EXPECT_EQ(ad.currentMode, 0);
    EXPECT_EQ(shell->window().tabView()->currentIndex(), 0);
    // No display warning on a screen this size; by now the logo has played to its last frame.
    EXPECT_FALSE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }, 1.3));
    EXPECT_EQ(shell->window().logo()->frame(), kLogoFrames - 1);
    screenshot("01-sign-in");

    QVAuthViewController* signIn = shell->signIn();
    signIn->emailTextField()->setText("ann.lee@example.com");
    signIn->continueButton()->click();
    ASSERT_TRUE(waitFor([&] { return signIn->mode() == QVAuthViewController::kModeCreateAccount; }));
    signIn->firstNameTextField()->setText("Ann");
    signIn->lastNameTextField()->setText("Lee");
    signIn->passwordCreateTextField()->setText("Correct-horse-42");
    signIn->passwordConfirmTextField()->setText("Correct-horse-42");
    signIn->legalCheckbox()->setChecked(true);
    waitFor([] { return false; }, 0.5);
    screenshot("02-sign-up-form");
    signIn->continueButton()->click();
    ASSERT_TRUE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }));
    pressButton(openMessageBox(&shell->window()), "Remember");

    ASSERT_TRUE(waitFor([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.userFilesStillToLoad == 0; }));
    ASSERT_TRUE(waitFor([&] { return shell->window().tabView()->currentIndex() == 1; }));
    ASSERT_TRUE(ad.currentUser);
    EXPECT_TRUE(shell->filesList().filesSearchResults().empty());
    ASSERT_TRUE(waitFor([&] { return shell->window().accountButton()->text().startsWith("Ann Lee"); }));
    waitFor([] { return false; }, 0.5);
    screenshot("03-files-empty");

    // The transcription service finishes a file of this account.
    const std::string uid = ad.currentUser->uid;
    const std::string uuid = "E2EFILE0000000000000000000000001";
    // The media as the intake found it on this computer: a 3 s tone, located by its bookmark.
    const QString media = QString::fromStdString(test::testMedia("tone.wav"));
    service->serviceWrite("files/" + uuid, DatabaseValue::object({{"owner", uid},
                                                                  {"name", "Interview with Ann"},
                                                                  {"status", 20},
                                                                  {"created", 1'765'000'000'000},
                                                                  {"file_type", 0},
                                                                  {"language", "en-US"},
                                                                  {"media_files", DatabaseValue::object({{"file_00", DatabaseValue::object({
                                                                      {"file_path", media.toStdString()},
                                                                      {"has_video", false}})}})}}));
    service->serviceWrite("users/" + uid + "/files/" + uuid, DatabaseValue(true));
    PushIdGenerator ids;
    std::vector<transcriber::TranscribedWord> words = {
        {"hello", 500, 900}, {"and", 1000, 1200}, {"welcome", 1300, 1800}, {"to", 1900, 2000}, {"the", 2100, 2200},
        {"show", 2300, 2800}};
    service->serviceWrite("transcripts/" + uuid, transcriber::transcriptValue(words, ids, 1'765'000'100'000));
    service->run([&](hub::HubServer& server) {
        server.serviceUpdate("files/" + uuid, transcriber::transcribedFileUpdate(3000, false));
    });

    ASSERT_TRUE(waitFor([&] {
        auto& rows = shell->filesList().filesSearchResults();
        return rows.size() == 1 && rows.front()->status == transcriber::kFileStatusTranscribed;
    }));
    EXPECT_EQ(shell->filesList().filesSearchResults().front()->name, "Interview with Ann");
    EXPECT_FALSE(shell->filesList().noFilesContainer()->isVisible());
    shell->filesList().selectRow(0);
    EXPECT_EQ(shell->filesList().selectedFile(), shell->filesList().filesSearchResults().front());
    waitFor([] { return false; }, 0.5);
    screenshot("04-file-arrived");

    // The account button opens the account popover.
    shell->window().accountButton()->click();
    QWidget* popover = shell->window().findChild<QWidget*>("accountPopover");
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(waitFor([&] { return popover->isVisible(); }));
    QApplication::processEvents();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/05-account-popover.png"));
    popover->hide();

    // The menus follow the screen: on the files list exports are off and the transcript can be
    // asked for with a row selected.
    EXPECT_FALSE(shell->validateMenuItem("exportToSubRip:", 0).enabled);
    EXPECT_TRUE(shell->validateMenuItem("showTranscript:", 0).enabled);
    EXPECT_TRUE(shell->validateMenuItem("showFiles:", 0).enabled);

    // Opening the file shows its transcript in the window.
    auto located = std::make_shared<QVMediaFile>();
    located->url = QUrl::fromLocalFile(media);
    LocalFileData(ad, *preferences).saveLocalDataForFileUUID(QString::fromStdString(uuid), false, true, -1, -1, {located}, -1);
    shell->openSelectedFile();
    ASSERT_TRUE(waitFor([&] { return ad.currentMode == 2 && shell->window().tabView()->currentIndex() == 2; }));
    ASSERT_TRUE(waitFor([&] { return !shell->window().isCoverShown(); }));
    ASSERT_EQ(ad.words.size(), words.size());
    EXPECT_EQ(ad.words.first()->name(), "hello");
    waitFor([] { return false; }, 0.5);
    screenshot("06-transcript");

    // The editing controls sit in the transcript toolbar, which is no taller than they need.
    QWidget* editingControls = shell->editingControls().panel();
    EXPECT_TRUE(editingControls->isVisible());
    QWidget* toolbar = shell->window().findChild<QWidget*>("toolbarTranscript");
    ASSERT_NE(toolbar, nullptr);
    const QRect panelInToolbar(editingControls->mapTo(toolbar, QPoint(0, 0)), editingControls->size());
    EXPECT_TRUE(toolbar->rect().contains(panelInToolbar));
    EXPECT_LE(toolbar->height() - panelInToolbar.height() - kTransportRowHeight, 25);

    // It plays (on the silent output when there is no sound device); the time moves on, in the
    // window's time display too.
    TranscriptScreen& transcript = shell->transcriptScreen();
    QLabel* time = shell->window().timeDisplay();
    EXPECT_EQ(time->text(), "00:00:00");
    transcript.view().playPauseToggleScrollToGrid(false);
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().currentMilliseconds() > 1100; }));
    // On a busy machine playing may be past the next second by the time the display is read.
    EXPECT_TRUE(waitFor([&] { return time->text().startsWith("00:00:0") && time->text() != "00:00:00"; }))
        << time->text().toStdString();
    screenshot("07-playing");
    transcript.view().stopPlayback();
    EXPECT_TRUE(waitFor([&] { return transcript.mainPlayer().rate() == 0; }));

    // A click on the last word makes it current and leaves the keys with the key handler; typing
    // there replaces the word, Return ends the edit and the correction is stored.
    const std::shared_ptr<QVWord> show = ad.words.last();
    ASSERT_EQ(show->name(), "show");
    const DatabaseValue updatedBeforeEditing = service->value("files/" + uuid + "/updated");
    QVTextView* row = show->speakerRange ? show->speakerRange->textView : nullptr;
    ASSERT_NE(row, nullptr);
    const QRectF glyphs = row->boundingRectForRange({show->characterStart, show->name().size()});
    QTest::mouseClick(row, Qt::LeftButton, {}, glyphs.center().toPoint());
    ASSERT_TRUE(waitFor([&] { return ad.currentWord == show; }));
    EXPECT_EQ(shell->window().focusWidget(), shell->editingControls().keyHandler());
    QTest::keyClicks(shell->window().focusWidget(), "p");
    ASSERT_TRUE(waitFor([&] { return ad.isEditing && shell->window().focusWidget() == row; }));
    QTest::keyClicks(shell->window().focusWidget(), "odcast");
    screenshot("08-correcting");
    QTest::keyClick(shell->window().focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !ad.isEditing && ad.words.last()->name() == "podcast"; }));
    EXPECT_EQ(shell->window().focusWidget(), shell->editingControls().keyHandler());
    ASSERT_TRUE(waitFor([&] { return storedTranscript(*service, uuid) == "hello and welcome to the podcast"; }));
    // The file's "updated" moves on, which is how other computers learn of the change.
    EXPECT_TRUE(waitFor([&] { return service->value("files/" + uuid + "/updated") != updatedBeforeEditing; }));
    waitFor([] { return false; }, 0.3);
    screenshot("09-corrected");

    // The Edit menu's Undo and Redo go through the window's undo manager, each to the service.
    QAction* undo = shell->window().action("undo:");
    QAction* redo = shell->window().action("redo:");
    ASSERT_TRUE(undo && redo);
    undo->trigger();
    ASSERT_TRUE(waitFor([&] { return storedTranscript(*service, uuid) == "hello and welcome to the show"; }));
    EXPECT_EQ(ad.words.last()->name(), "show");
    waitFor([] { return false; }, 0.3);
    screenshot("10-undone");
    redo->trigger();
    ASSERT_TRUE(waitFor([&] { return storedTranscript(*service, uuid) == "hello and welcome to the podcast"; }));
    EXPECT_EQ(ad.words.last()->name(), "podcast");
    waitFor([] { return false; }, 0.3);
    screenshot("11-redone");

    // The navigation buttons step through the words.
    auto* previousWord = shell->window().findChild<QToolButton*>("previousWordButton");
    ASSERT_NE(previousWord, nullptr);
    previousWord->click();
    EXPECT_TRUE(waitFor([&] { return ad.currentWord && ad.currentWord->name() == "the"; }));

    // File > Export > SubRip: the save dialog, answered with a path in the test's folder, and
    // the file holds the corrected caption at the words' times.
    QAction* subRip = shell->window().action("exportToSubRip:");
    ASSERT_NE(subRip, nullptr);
    shell->window().validateAllMenus();
    ASSERT_TRUE(subRip->isEnabled());
    subRip->trigger();
    QFileDialog* dialog = shell->savePanels().currentDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitFor([&] { return dialog->isVisible(); }));
    QApplication::processEvents();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/12-export-dialog.png"));
    const QString exported = home.filePath("Interview with Ann.srt");
    dialog->selectFile(exported);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(exported); }));
    // One caption page from the first word's start to the corrected word's end, which the edit
    // estimated from the transcript's speaking pace.
    ASSERT_EQ(ad.words.last()->start, 2300);
    ASSERT_EQ(ad.words.last()->end, 2678);
    QFile srt(exported);
    ASSERT_TRUE(srt.open(QIODevice::ReadOnly));
    EXPECT_EQ(srt.readAll().toStdString(),
              "1\n00:00:00,500 --> 00:00:02,678\n>> SPEAKER 1: hello and welcome\nto the podcast\n");
    EXPECT_TRUE(waitFor([&] { return service->value("files/" + uuid + "/status") == DatabaseValue(kFileStatusExported); }));
}

}  // namespace
}  // namespace qv::shell

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // A home of its own: the sign-in state and the program's data stay out of the user's.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    int result = 0;
    {
        qv::shell::QVApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
