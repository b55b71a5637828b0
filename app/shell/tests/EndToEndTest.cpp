// The road a user walks, in the program's own window on an X display: the program starts with
// a temporary home against a service of the test's own, the user signs up, sees the empty files
// list, a transcript arrives as the transcription service delivers one, and it shows up in the
// list; the user opens it, plays it, corrects a word by typing, undoes and redoes the correction
// from the Edit menu, exports SubRip captions, a PDF and fcpxml from the File menu and sends the
// transcript to the partner editor (a recording script standing for it). A second computer of
// the account (this program again, as another process with a home of its own) has the
// transcript open meanwhile: it shows that it may only view it, shows the correction within a
// second and exports it. A screenshot of the window at each step goes to QV_SCREENSHOT_DIR.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "app/shell/LogoView.h"
#include "app/shell/QVApplication.h"
#include "app/shell/ToolbarLayout.h"
#include "intake/audio/QVAudioConfigurationViewController.h"
#include "intake/audio/QVTableCellViewAudioFile.h"
#include "model/ExportShell.h"
#include "model/LocalFileData.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/media/tests/TestMedia.h"
#include "platform/rtdb/PushIdGenerator.h"
#include "platform/ui/tests/NotificationBus.h"
#include "search/QVCustomWordsViewController.h"
#include "search/QVSearchViewController.h"
#include "services/hub/tests/HubTestSupport.h"
#include "services/transcriber/TranscriptRecord.h"
#include "transcript-view/QVTextView.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qv::shell {
namespace {

// Chooses the File menu item of `action`, answers its save dialog with `path` (after a
// screenshot of the dialog when `screenshot` names a file) and waits for the file to appear.
void exportThroughSaveDialog(ApplicationShell& shell, const char* action, const QString& path,
                             const QString& screenshot = {})
{
    QAction* item = shell.window().action(action);
    ASSERT_NE(item, nullptr);
    shell.window().validateAllMenus();
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    QFileDialog* dialog = shell.savePanels().currentDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitFor([&] { return dialog->isVisible(); }));
    if (!screenshot.isEmpty()) {
        QApplication::processEvents();
        EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(screenshot));
    }
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(path); }));
}

// The words of the open transcript, in order.
std::string shownWords(const AppDelegate& ad)
{
    std::string text;
    for (const auto& word : ad.words)
        text += (text.empty() ? "" : " ") + word->name().toStdString();
    return text;
}

// Exports SubRip through the File menu into `path`; true once the file is written.
bool exportSubRip(ApplicationShell& shell, const QString& path)
{
    QAction* subRip = shell.window().action("exportToSubRip:");
    if (!subRip)
        return false;
    shell.window().validateAllMenus();
    if (!subRip->isEnabled())
        return false;
    subRip->trigger();
    QFileDialog* dialog = shell.savePanels().currentDialog();
    if (!dialog || !waitFor([&] { return dialog->isVisible(); }))
        return false;
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
    return waitFor([&] { return QFileInfo::exists(path); });
}

// Signs in on a computer of the account and opens its only file with the media at `media`;
// 0 once it is open, else a code saying which step failed.
int signInAndOpenTheFile(ApplicationShell& shell, Preferences& preferences, const QString& email, const QString& password,
                         const QString& uuid, const QString& media)
{
    shell.window().resize(1440, 900);
    shell.applicationDidFinishLaunching();
    if (!waitFor([&] { return shell.auth() != nullptr; }))
        return 3;
    AppDelegate& ad = shell.ad();
    shell.auth()->signIn(email.toStdString(), password.toStdString(), {});
    if (!waitFor([&] { return ad.isLoggedIn && ad.currentMode == 1 && shell.filesList().filesSearchResults().size() == 1; }))
        return 4;
    auto located = std::make_shared<QVMediaFile>();
    located->url = QUrl::fromLocalFile(media);
    LocalFileData(ad, preferences).saveLocalDataForFileUUID(uuid, false, true, -1, -1, {located}, -1);
    shell.filesList().selectRow(0);
    shell.openSelectedFile();
    if (!waitFor([&] { return ad.currentMode == 2 && !shell.window().isCoverShown() && !ad.words.empty(); }))
        return 5;
    return 0;
}

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The second computer, run as its own process:
//   qv_shell_e2e --second-computer <service url> <e-mail> <password> <file uuid> <media> <srt> <shots>
// signs in, opens the account's only file with its media located, and prints, line by line:
// "view-only" once the view-only button is shown, "words <text>" whenever the transcript
// changes; once the last word reads "podcast" it exports SubRip to <srt>, prints "exported"
// and ends.
int followTheCorrection(ApplicationShell& shell, const QStringList& arguments)
{
    AppDelegate& ad = shell.ad();
    QToolButton* viewOnly = shell.window().viewingOnlyButton();
    if (!waitFor([&] { return ad.isViewingOnly && viewOnly->isVisibleTo(&shell.window()); }))
        return 6;
    // The button tells why.
    viewOnly->click();
    QWidget* reason = shell.window().findChild<QWidget*>("viewingOnlyPopover");
    if (!reason || !waitFor([&] { return reason->isVisible(); }))
        return 7;
    waitFor([] { return false; }, 0.3);
    QGuiApplication::primaryScreen()->grabWindow(0).save(arguments[7] + "/13-second-computer-view-only.png");
    viewOnly->click();
    say("view-only");
    std::string said;
    while (!ad.words.empty() && ad.words.last()->name() != "podcast") {
        if (!waitFor([&] { return shownWords(ad) != said; }, 60))
            return 8;
        said = shownWords(ad);
        say("words " + said);
    }
    shell.window().grab().save(arguments[7] + "/14-second-computer-follows.png");
    if (!exportSubRip(shell, arguments[6]))
        return 9;
    say("exported");
    return 0;
}

// A computer of the account that works with custom words, run as its own process:
//   qv_shell_e2e --words-computer <service url> <e-mail> <password> <file uuid> <media> <shots>
// signs in and opens the file; once its custom words panel shows "Quorvantelle" it prints
// "shown Quorvantelle", adds "Lumenbridge" to the file and the account through its add popover,
// prints "added" once its panel shows the new word, and ends.
int addCustomWords(ApplicationShell& shell, const QStringList& arguments)
{
    shell.performAction("selectRightPanelTab:", 0);
    search::QVCustomWordsViewController& words = shell.customWords();
    if (!waitFor([&] { return words.allWords().contains("Quorvantelle"); }, 60))
        return 6;
    say("shown Quorvantelle");
    shell.ad().editingServices->clearSelection();
    words.selectedAddNewWordsMenu();
    search::QVCustomWordsAddViewController& popover = words.popoverViewController();
    popover.addToAccount()->setChecked(true);
    popover.addToFile()->setChecked(true);
    QTest::keyClicks(popover.textView(), "Lumenbridge");
    popover.addWordsButton()->click();
    if (!waitFor([&] { return words.allWords().contains("Lumenbridge"); }))
        return 7;
    shell.window().grab().save(arguments[6] + "/29-custom-words-second-computer.png");
    say("added");
    return 0;
}

// Another computer of the account, as its own process: the first argument says which of the two
// above it is.
int runAnotherComputer(const QStringList& arguments)
{
    const bool words = arguments.value(0) == "--words-computer";
    if (arguments.size() != (words ? 7 : 8))
        return 2;
    QTemporaryDir home;
    QtDispatcher queue;
    Preferences preferences(home.path() + "/config");
    ApplicationShell shell(queue, preferences, LaunchConfiguration::fromArguments({"quorvantelle", "--service", arguments[1]}));
    if (const int failed = signInAndOpenTheFile(shell, preferences, arguments[2], arguments[3], arguments[4], arguments[5]))
        return failed;
    return words ? addCustomWords(shell, arguments) : followTheCorrection(shell, arguments);
}

// The desktop's notifications, on a session bus of the test's own; set up in main().
testing::NotificationBus* notifications = nullptr;

// The second computer's process, read line by line.
class SecondComputer {
public:
    explicit SecondComputer(const QStringList& arguments, const QString& mode = QStringLiteral("--second-computer"))
    {
        process_.setProgram(QCoreApplication::applicationFilePath());
        process_.setArguments(QStringList{mode} + arguments);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
    }
    ~SecondComputer()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    // Waits for the line `expected`, skipping others; false after `seconds` or the end.
    bool waitForLine(const std::string& expected, double seconds)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < seconds * 1000) {
            while (process_.canReadLine())
                if (process_.readLine().trimmed().toStdString() == expected)
                    return true;
            if (process_.state() == QProcess::NotRunning && !process_.canReadLine())
                return false;
            // The first computer's window goes on meanwhile.
            waitFor([&] { return process_.canReadLine(); }, 0.05);
        }
        return false;
    }
    int exitCode()
    {
        process_.waitForFinished(int(kStepDeadline * 1000));
        return process_.exitCode();
    }

private:
    QProcess process_;
};

class EndToEnd : public ProgramOnService {
protected:
    // Signs Ann Lee up through the sign-in screen and waits for her (empty) files list;
    // `filledIn` runs once the form is filled in.
    void signUp(const std::function<void()>& filledIn = {})
    {
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
        if (filledIn)
            filledIn();
        signIn->continueButton()->click();
        ASSERT_TRUE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }));
        pressButton(openMessageBox(&shell->window()), "Remember");

        ASSERT_TRUE(waitFor([&] { return shell->ad().isLoggedIn && shell->ad().currentMode == 1 && shell->ad().userFilesStillToLoad == 0; }));
        ASSERT_TRUE(waitFor([&] { return shell->window().tabView()->currentIndex() == 1; }));
        ASSERT_TRUE(shell->ad().currentUser);
        EXPECT_TRUE(shell->filesList().filesSearchResults().empty());
        ASSERT_TRUE(waitFor([&] { return shell->window().accountButton()->text().startsWith("Ann Lee"); }));
        waitFor([] { return false; }, 0.5);
    }

    void screenshot(const QString& name)
    {
        QApplication::processEvents();
        EXPECT_TRUE(shell->window().grab().save(shots + "/" + name + ".png")) << name.toStdString();
    }
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

    signUp([this] { screenshot("02-sign-up-form"); });
    ASSERT_FALSE(HasFatalFailure());
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
    // Listed while it is transcribed, with no duration yet.
    ASSERT_TRUE(waitFor([&] { return shell->filesList().filesSearchResults().size() == 1; }));
    EXPECT_EQ(shell->filesList().filesSearchResults().front()->duration, 0);
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
    EXPECT_TRUE(waitFor([&] { return shell->filesList().filesSearchResults().front()->duration == 3000; }));
    EXPECT_EQ(shell->filesList().filesSearchResults().front()->name, "Interview with Ann");
    // The finished transcription is told on the desktop.
    if (notifications) {
        ASSERT_TRUE(waitFor([&] { return !notifications->calls.empty(); }));
        const QList<QVariant> notified = notifications->calls.front().arguments();
        ASSERT_EQ(notified.size(), 8);
        EXPECT_EQ(notified[3].toString(), "Processing Complete");
        EXPECT_TRUE(notified[4].toString().startsWith("Interview with Ann")) << notified[4].toString().toStdString();
    }
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

    // The same account opens the file on a second computer, which may only view it while this
    // one edits it, and says so.
    const QString secondExport = home.filePath("On the second computer.srt");
    SecondComputer second({QStringLiteral("http://127.0.0.1:%1/").arg(service->port()), "ann.lee@example.com", "Correct-horse-42",
                           QString::fromStdString(uuid), media, secondExport, shots});
    ASSERT_TRUE(second.waitForLine("view-only", kStepDeadline));
    ASSERT_TRUE(second.waitForLine("words hello and welcome to the show", kStepDeadline));
    EXPECT_FALSE(ad.isViewingOnly);
    EXPECT_FALSE(shell->window().viewingOnlyButton()->isVisibleTo(&shell->window()));

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
    // The second computer shows the correction within a second, and exports it.
    EXPECT_TRUE(second.waitForLine("words hello and welcome to the podcast", 1.0));
    ASSERT_TRUE(second.waitForLine("exported", kStepDeadline));
    EXPECT_EQ(second.exitCode(), 0);
    QFile secondSrt(secondExport);
    ASSERT_TRUE(secondSrt.open(QIODevice::ReadOnly));
    EXPECT_TRUE(secondSrt.readAll().contains("to the podcast"));
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
    const QString exported = home.filePath("Interview with Ann.srt");
    exportThroughSaveDialog(*shell, "exportToSubRip:", exported, shots + "/12-export-dialog.png");
    ASSERT_TRUE(QFileInfo::exists(exported));
    // One caption page from the first word's start to the corrected word's end, which the edit
    // estimated from the transcript's speaking pace.
    ASSERT_EQ(ad.words.last()->start, 2300);
    ASSERT_EQ(ad.words.last()->end, 2678);
    QFile srt(exported);
    ASSERT_TRUE(srt.open(QIODevice::ReadOnly));
    EXPECT_EQ(srt.readAll().toStdString(),
              "1\n00:00:00,500 --> 00:00:02,678\n>> SPEAKER 1: hello and welcome\nto the podcast\n");
    EXPECT_TRUE(waitFor([&] { return service->value("files/" + uuid + "/status") == DatabaseValue(kFileStatusExported); }));

    // File > Export > PDF…: the pages hold the corrected word as text.
    const QString pdfPath = home.filePath("Interview with Ann.pdf");
    exportThroughSaveDialog(*shell, "exportToPDF:", pdfPath);
    ASSERT_TRUE(QFileInfo::exists(pdfPath));
    QProcess pdfText;
    pdfText.start("pdftotext", {pdfPath, "-"});
    ASSERT_TRUE(pdfText.waitForFinished(30000));
    EXPECT_TRUE(QString::fromUtf8(pdfText.readAllStandardOutput()).simplified().contains("hello and welcome to the podcast"));

    // File > Export > Final Cut Pro X XML…: the document's keyword note holds the corrected word.
    const QString document = home.filePath("Interview with Ann.fcpxml");
    exportThroughSaveDialog(*shell, "exportToFinalCutProXXML:", document, shots + "/13-fcpxml-dialog.png");
    ASSERT_TRUE(QFileInfo::exists(document));
    QFile fcpxmlFile(document);
    ASSERT_TRUE(fcpxmlFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(fcpxmlFile.readAll().contains(
        "<keyword start=\"500/1000s\" duration=\"2178/1000s\" value=\"Speaker 1\" note=\"hello and welcome to the podcast\"/>"));
    EXPECT_TRUE(waitFor([&] { return service->value("files/" + uuid + "/export_count/fcpx_xml") == DatabaseValue(1); }));

    // Send to Final Cut Pro X: the configured editor command gets the temporary document's path.
    const QString editor = home.filePath("editor.sh");
    QFile script(editor);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"%1\"\n").arg(home.filePath("handed-off")).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    preferences->setObject("QVPartnerEditorCommand", editor);
    QAction* send = shell->window().action("sendToFinalCutProX:");
    ASSERT_NE(send, nullptr);
    shell->window().validateAllMenus();
    ASSERT_TRUE(send->isEnabled());
    send->trigger();
    const QString temporary = qEnvironmentVariable("XDG_DATA_HOME") + "/FCPX Temp Files/Quorvantelle.fcpxml";
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(home.filePath("handed-off")); }));
    QFile handedOff(home.filePath("handed-off"));
    ASSERT_TRUE(handedOff.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(handedOff.readAll()), temporary + "\n");
    QFile sent(temporary);
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sent.readAll().contains("note=\"hello and welcome to the podcast\""));
    EXPECT_EQ(openMessageBox(&shell->window()), nullptr);
    EXPECT_TRUE(waitFor([&] { return service->value("files/" + uuid + "/export_count/fcpx_xml") == DatabaseValue(2); }));
}


// A 6 s mono sine at 48 kHz, 16-bit, written at `path`.
void writeSine(const QString& path, double seconds)
{
    const int frames = static_cast<int>(48000 * seconds);
    QByteArray bytes;
    const auto le = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.append(static_cast<char>(value >> (8 * i)));
    };
    bytes.append("RIFF");
    le(36 + frames * 2, 4);
    bytes.append("WAVEfmt ");
    le(16, 4), le(1, 2), le(1, 2), le(48000, 4), le(96000, 4), le(2, 2), le(16, 2);
    bytes.append("data");
    le(frames * 2, 4);
    for (int n = 0; n < frames; ++n)
        le(static_cast<std::uint16_t>(static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * n / 48000.0))), 2);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST_F(EndToEnd, RelinkAMissingMediaFileThroughTheMediaPanelAndFindItAfterARestart)
{
    shell->window().resize(1440, 900);
    shell->applicationDidFinishLaunching();
    ASSERT_TRUE(waitFor([&] { return shell->signIn() != nullptr && shell->window().isVisible(); }));
    signUp();
    ASSERT_FALSE(HasFatalFailure());

    // A transcript whose media were recorded elsewhere: the stored path is not on this computer.
    const std::string uid = shell->ad().currentUser->uid;
    const std::string uuid = "E2EFILE0000000000000000000000002";
    const QString media = home.filePath("Field recording.wav");
    writeSine(media, 6);
    service->serviceWrite("files/" + uuid,
                          DatabaseValue::object({{"owner", uid},
                                                 {"name", "Field recording"},
                                                 {"status", 20},
                                                 {"created", 1'765'000'000'000},
                                                 {"file_type", 0},
                                                 {"language", "en-US"},
                                                 {"media_files", DatabaseValue::object({{"file_00", DatabaseValue::object({
                                                     {"file_path", "/Volumes/Card/Field recording.wav"},
                                                     {"duration", "6000/1000s"},
                                                     {"has_video", false}})}})}}));
    service->serviceWrite("users/" + uid + "/files/" + uuid, DatabaseValue(true));
    PushIdGenerator ids;
    const std::vector<transcriber::TranscribedWord> words = {{"one", 500, 900},   {"two", 1500, 1900},
                                                             {"three", 2500, 2900}, {"four", 3500, 3900},
                                                             {"five", 4500, 4900},  {"six", 5500, 5900}};
    service->serviceWrite("transcripts/" + uuid, transcriber::transcriptValue(words, ids, 1'765'000'100'000));
    service->run([&](hub::HubServer& server) { server.serviceUpdate("files/" + uuid, transcriber::transcribedFileUpdate(6000, false)); });
    ASSERT_TRUE(waitFor([&] {
        auto& rows = shell->filesList().filesSearchResults();
        return rows.size() == 1 && rows.front()->status == transcriber::kFileStatusTranscribed;
    }));

    // Opening it warns of the missing media, which the Media tab shows striped.
    shell->filesList().selectRow(0);
    shell->openSelectedFile();
    AppDelegate& ad = shell->ad();
    ASSERT_TRUE(waitFor([&] { return ad.currentMode == 2 && !shell->window().isCoverShown(); }));
    ASSERT_TRUE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }));
    EXPECT_EQ(openMessageBox(&shell->window())->text(), "One or more media files are missing.");
    openMessageBox(&shell->window())->accept();
    ASSERT_TRUE(ad.currentFile && ad.currentFile->hasMissingMediaFiles);
    shell->performAction("selectRightPanelTab:", 2);
    QVAudioConfigurationViewController& panel = shell->transcriptScreen().audioConfiguration();
    ASSERT_TRUE(waitFor([&] { return panel.fileRow(0) != nullptr; }));
    waitFor([] { return false; }, 0.3);
    EXPECT_FALSE(dynamic_cast<QVTableCellViewAudioFile*>(panel.fileRow(0))->mediaOnline);
    screenshot("20-media-missing");

    // Relink: the panel's button opens the file panel, which is answered with the real file.
    auto* relink = panel.fileRow(0)->findChild<QPushButton*>("relinkButton");
    ASSERT_NE(relink, nullptr);
    EXPECT_TRUE(relink->isVisible());
    relink->click();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] {
        dialog = shell->window().findChild<QFileDialog*>("relinkPanel");
        return dialog && dialog->isVisible();
    }));
    dialog->selectFile(media);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitFor([&] { return !ad.currentFile->hasMissingMediaFiles && ad.currentFile->mediaFiles[0]->mediaOnline; }));
    EXPECT_EQ(ad.currentFile->mediaFiles[0]->url.toLocalFile(), media);
    ASSERT_TRUE(ad.currentFile->asset);
    EXPECT_EQ(QString::fromStdString(ad.currentFile->asset->path()), media);
    EXPECT_TRUE(waitFor([&] { return !shell->window().missingMediaButton()->isVisible(); }));
    // The Media tab's row of the file is no longer striped.
    EXPECT_TRUE(waitFor([&] {
        auto* row = dynamic_cast<QVTableCellViewAudioFile*>(panel.fileRow(0));
        return row && row->mediaOnline;
    }));

    // It plays the real audio, past the length of the placeholder, and the words follow.
    TranscriptScreen& transcript = shell->transcriptScreen();
    ASSERT_TRUE(waitFor([&] { return ad.isReadyToPlay; }));
    transcript.view().playPauseToggleScrollToGrid(false);
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().currentMilliseconds() > 3600; }));
    EXPECT_TRUE(waitFor([&] { return ad.currentWord && ad.currentWord->name() == "four"; }, 3));
    waitFor([] { return false; }, 0.3);
    screenshot("21-media-relinked");
    transcript.view().stopPlayback();
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().rate() == 0; }));

    // Find opens the search tab; a word typed there is found, and a click on its result plays
    // the transcript from the start of the result's window.
    shell->performAction("performFindPanelAction:", 1);
    EXPECT_EQ(shell->window().selectedRightPanelTab(), 1);
    search::QVSearchViewController& search = transcript.search();
    search.searchField()->setFocus();
    QTest::keyClicks(search.searchField(), "Five");
    ASSERT_TRUE(waitFor([&] { return search.tableView()->isVisible() && search.tableView()->model()->rowCount() == 1; }));
    EXPECT_EQ(search.searchResults().front().abstract, "five six");
    waitFor([] { return false; }, 0.3);
    screenshot("22-search-results");
    const QRect result = search.tableView()->visualRect(search.tableView()->model()->index(0, 1));
    QTest::mouseClick(search.tableView()->viewport(), Qt::LeftButton, {}, result.center());
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().rate() > 0; }));
    EXPECT_EQ(ad.playbackStartTime, MediaTime(4500, 1000));
    EXPECT_GE(transcript.mainPlayer().currentMilliseconds(), 4500);
    EXPECT_TRUE(waitFor([&] { return ad.currentWord && ad.currentWord->name() == "five"; }, 3));
    screenshot("23-search-result-playing");
    // With its only result chosen, Find Next and Find Previous have nowhere to go.
    EXPECT_FALSE(shell->validateMenuItem("performFindPanelAction:", kFindNextTag).enabled);
    EXPECT_FALSE(shell->validateMenuItem("performFindPanelAction:", kFindPreviousTag).enabled);
    transcript.view().stopPlayback();
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().rate() == 0; }));

    // The Words tab: with the word "five" current, its add button offers it; new words typed in
    // the add popover go to the file and to the account in the service, and show as tiles.
    shell->performAction("selectRightPanelTab:", 0);
    EXPECT_EQ(shell->window().selectedRightPanelTab(), 0);
    search::QVCustomWordsViewController& customWords = shell->customWords();
    EXPECT_TRUE(customWords.noCustomWordsMessage()->isVisible());
    QTest::mousePress(customWords.addWordsButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return customWords.addWordsMenu()->isVisible(); }));
    ASSERT_EQ(customWords.addWordsMenu()->actions().size(), 3);
    EXPECT_EQ(customWords.addWordsMenu()->actions()[0]->text(), "Add \u201Cfive\u201D to File");
    // The menu and the popover are windows of their own: the screen shows them.
    QApplication::processEvents();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/24-custom-words-menu.png"));
    customWords.addWordsMenu()->actions()[2]->trigger();
    customWords.addWordsMenu()->hide();
    QTest::mouseRelease(customWords.addWordsButton(), Qt::LeftButton);
    search::QVCustomWordsAddViewController& popover = customWords.popoverViewController();
    ASSERT_TRUE(waitFor([&] { return popover.popover()->isVisible(); }));
    popover.addToAccount()->setChecked(true);
    QTest::keyClicks(popover.textView(), "Quorvantelle");
    QTest::keyClick(popover.textView(), Qt::Key_Return);
    QTest::keyClicks(popover.textView(), "Ann Lee,");
    EXPECT_TRUE(popover.addToFile()->isChecked());
    QApplication::processEvents();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/25-custom-words-popover.png"));
    popover.addWordsButton()->click();
    const auto storedWords = [&](const std::string& path) {
        QStringList words;
        for (const DatabaseValue value = service->value(path); const auto entry : value.children())
            words << QString::fromStdString(entry.value.toString());
        words.sort();
        return words;
    };
    const QStringList added{"Ann Lee", "Quorvantelle"};
    EXPECT_TRUE(waitFor([&] { return storedWords("files/" + uuid + "/custom_words") == added; }));
    EXPECT_TRUE(waitFor([&] { return storedWords("users/" + uid + "/custom_words") == added; }));
    ASSERT_TRUE(waitFor([&] { return customWords.allWords() == added; }));
    EXPECT_FALSE(customWords.noCustomWordsMessage()->isVisible());
    waitFor([] { return false; }, 0.3);
    screenshot("26-custom-words");

    // Another computer of the account sees the words at once, and a word it adds shows here.
    SecondComputer other({QStringLiteral("http://127.0.0.1:%1/").arg(service->port()), "ann.lee@example.com",
                          "Correct-horse-42", QString::fromStdString(uuid), media, shots},
                         QStringLiteral("--words-computer"));
    ASSERT_TRUE(other.waitForLine("shown Quorvantelle", kStepDeadline * 2));
    ASSERT_TRUE(other.waitForLine("added", kStepDeadline));
    EXPECT_EQ(other.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return customWords.allWords().contains("Lumenbridge"); }));
    EXPECT_EQ(storedWords("users/" + uid + "/custom_words"), (QStringList{"Ann Lee", "Lumenbridge", "Quorvantelle"}));
    screenshot("27-custom-words-from-the-other-computer");

    // In edit mode a clicked tile is selected; deleting it asks first, then removes it from the
    // file's list, the one shown, and leaves the account's.
    customWords.editButton()->click();
    search::QVCustomWordsItem* annLee = customWords.collectionView()->items().front();
    ASSERT_EQ(annLee->word(), "Ann Lee");
    QTest::mouseClick(annLee, Qt::LeftButton, {}, annLee->rect().center());
    EXPECT_TRUE(annLee->isSelected());
    EXPECT_TRUE(customWords.deleteSelectedWordsButton()->isEnabled());
    screenshot("28-custom-words-edit-mode");
    customWords.deleteSelectedWordsButton()->click();
    ASSERT_TRUE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }));
    EXPECT_EQ(openMessageBox(&shell->window())->text(), "Are you sure you want to delete the selected custom words?");
    pressButton(openMessageBox(&shell->window()), "OK");
    const QStringList kept{"Lumenbridge", "Quorvantelle"};
    EXPECT_TRUE(waitFor([&] { return storedWords("files/" + uuid + "/custom_words") == kept; }));
    EXPECT_TRUE(waitFor([&] { return customWords.allWords() == kept; }));
    EXPECT_EQ(storedWords("users/" + uid + "/custom_words"), (QStringList{"Ann Lee", "Lumenbridge", "Quorvantelle"}));
    customWords.editButton()->click();

    // Quit and start again: the file opens on its media, with no warning.
    shell.reset();
    const QString http = QStringLiteral("http://127.0.0.1:%1/").arg(service->port());
    shell = std::make_unique<ApplicationShell>(queue, *preferences,
                                               LaunchConfiguration::fromArguments({"quorvantelle", "--service", http}));
    shell->window().resize(1440, 900);
    shell->applicationDidFinishLaunching();
    ASSERT_TRUE(waitFor([&] { return shell->ad().isLoggedIn && shell->ad().currentMode == 1; }));
    ASSERT_TRUE(waitFor([&] { return shell->filesList().filesSearchResults().size() == 1; }));
    shell->filesList().selectRow(0);
    shell->openSelectedFile();
    AppDelegate& again = shell->ad();
    ASSERT_TRUE(waitFor([&] { return again.currentMode == 2 && !shell->window().isCoverShown(); }));
    EXPECT_FALSE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }, 1.3));
    ASSERT_TRUE(again.currentFile);
    EXPECT_FALSE(again.currentFile->hasMissingMediaFiles);
    EXPECT_EQ(again.currentFile->mediaFiles[0]->url.toLocalFile(), media);
}

}  // namespace
}  // namespace qv::shell

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // A home of its own: the sign-in state and the program's data stay out of the user's, and
    // out of the other computer's.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    // The desktop's notification service, on a session bus of the test's own where dbus-daemon
    // is installed: it must be known before the application object, which may reach the session
    // bus as it starts. The second computer finds the same bus.
    qv::testing::NotificationBus bus;
    if (!bus.address().isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    int result = 0;
    {
        qv::shell::QVApplication application(argc, argv);
        const QStringList arguments = QCoreApplication::arguments().mid(1);
        if (!arguments.isEmpty() && (arguments.front() == "--second-computer" || arguments.front() == "--words-computer"))
            result = qv::shell::runAnotherComputer(arguments);
        else {
            if (bus.serveNotifications())
                qv::shell::notifications = &bus;
            result = RUN_ALL_TESTS();
            qv::shell::notifications = nullptr;
        }
    }
    return result;
}
