// The road of new media, in the program's own window on an X display, against a service of the
// test's own with its object store and transcription worker: the program is started with a
// spoken WAV file, which waits for the account; the user signs up, adds another through the open
// panel and a third by dropping it on the pending list, sees them pending, presses Transcribe and
// confirms the price, watches the progress, and the files come back transcribed; the one opened plays its own media, its words are the spoken ones within the
// recognizer's error rate, and the account's balance went down by the minutes priced.
// Screenshots go to QV_SCREENSHOT_DIR.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "fcpx/FCPXLibraryDrop.h"
#include "fcpx/PartnerHandOff.h"
#include "fcpx/tests/FCPXFixture.h"
#include "fcpx/tests/LibraryFixture.h"
#include "intake/Preflight.h"
#include "intake/QVFilesPendingTableView.h"
#include "intake/QVTableCellViewFilePending.h"
#include "model/QVFile.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "services/hub/AccountVerification.h"
#include "services/hub/TranscriptionWorker.h"
#include "services/hub/UploadRoutes.h"
#include "services/transcriber/TranscriptRecord.h"
#include "services/transcriber/tests/SpokenMedia.h"

#include <QApplication>
#include <QScreen>
#include <QDir>
#include <QStringEncoder>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

// Minutes a new account is given by the service of this test.
constexpr std::int64_t kGrantedMinutes = 30;

class IntakeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        shots = qEnvironmentVariable("QV_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
        QDir().mkpath(shots);
        hub::HubServer::Options options;
        options.dataFolder = (home.path() + "/service").toStdString();
        options.hashIterations = 1000;
        options.newAccountMinutes = kGrantedMinutes;
        service = std::make_unique<hub::testing::RunningService>(options);
        service->run([&](hub::HubServer& server) {
            worker = new hub::TranscriptionWorker(server, hub::mountUploadRoutes(server, {options.dataFolder}));
        });
        preferences = std::make_unique<Preferences>(home.path() + "/config");
        // Converted audio, waveforms and thumbnails go into the test's home.
        previousDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    }

    void launch(const QString& mediaFile)
    {
        const QString http = QStringLiteral("http://127.0.0.1:%1/").arg(service->port());
        QStringList arguments{"quorvantelle", "--service", http};
        if (!mediaFile.isEmpty())
            arguments << mediaFile;
        shell = std::make_unique<ApplicationShell>(queue, *preferences, LaunchConfiguration::fromArguments(arguments));
    }

    void TearDown() override
    {
        shell.reset();
        service->run([&](hub::HubServer&) { delete worker; });
        service.reset();
        qputenv("XDG_DATA_HOME", previousDataHome);
    }

    void screenshot(const QString& name)
    {
        QApplication::processEvents();
        // The whole screen, so that sheets and panels in windows of their own show too.
        EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/" + name + ".png")) << name.toStdString();
    }

    // Opens the account's verification link, as its owner does from the welcome e-mail. (Writing
    // the status into the tree would not do: a write the program sent before the service signed
    // its first line off goes again on the next line, and may land after it.)
    void followVerificationLink(const std::string& uid)
    {
        const QByteArray key = hub::AccountVerification::key((home.path() + "/service").toStdString(), false);
        ASSERT_FALSE(key.isEmpty());
        QUrlQuery query;
        query.addQueryItem("account", QString::fromStdString(uid));
        query.addQueryItem("code", QString::fromLatin1(hub::AccountVerification::code(key, uid)));
        QUrl url(QStringLiteral("http://127.0.0.1:%1/auth/verify").arg(service->port()));
        url.setQuery(query);
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(url)));
        ASSERT_TRUE(waitFor([&] { return reply->isFinished(); }));
        EXPECT_EQ(reply->error(), QNetworkReply::NoError) << reply->readAll().toStdString();
    }

    // Signs up a new account in the program's window and verifies it through the welcome e-mail's
    // link; the account's uid.
    std::string signUpVerified()
    {
        shell->window().resize(1440, 900);
        shell->applicationDidFinishLaunching();
        EXPECT_TRUE(waitFor([&] { return shell->signIn() != nullptr && shell->window().isVisible(); }));
        AppDelegate& ad = shell->ad();
        QVAuthViewController* signIn = shell->signIn();
        signIn->emailTextField()->setText("mia.kaur@example.com");
        signIn->continueButton()->click();
        EXPECT_TRUE(waitFor([&] { return signIn->mode() == QVAuthViewController::kModeCreateAccount; }));
        signIn->firstNameTextField()->setText("Mia");
        signIn->lastNameTextField()->setText("Kaur");
        signIn->passwordCreateTextField()->setText("Correct-horse-42");
        signIn->passwordConfirmTextField()->setText("Correct-horse-42");
        signIn->legalCheckbox()->setChecked(true);
        signIn->continueButton()->click();
        EXPECT_TRUE(waitFor([&] { return openMessageBox(&shell->window()) != nullptr; }));
        pressButton(openMessageBox(&shell->window()), "Remember");
        EXPECT_TRUE(waitFor([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.userStatus == 10; }));
        if (!ad.currentUser)
            return {};
        const std::string uid = ad.currentUser->uid;
        followVerificationLink(uid);
        EXPECT_TRUE(waitFor([&] { return ad.userStatus == 30 && ad.userBalance == kGrantedMinutes && ad.isConnected; }))
            << "status " << ad.userStatus << ", balance " << ad.userBalance << ", connected " << ad.isConnected;
        return uid;
    }

    // Presses Transcribe, confirms the price and waits until the service has transcribed every
    // file of the account.
    void transcribeAll(std::size_t files)
    {
        QVFilesPendingViewController& pending = shell->pendingList();
        ASSERT_TRUE(waitFor([&] { return pending.transcribeButton()->isEnabled(); }));
        pending.transcribeButton()->click();
        QMessageBox* confirm = nullptr;
        ASSERT_TRUE(waitFor([&] { return (confirm = openMessageBox(&shell->window())) != nullptr; }));
        pressButton(confirm, "Transcribe");
        ASSERT_TRUE(waitFor([&] { return shell->ad().filesPending.empty() && !pending.fileProcessor().isProcessing(); }, 60));
        ASSERT_TRUE(waitFor(
            [&] {
                auto& rows = shell->filesList().filesSearchResults();
                return rows.size() == files && std::all_of(rows.begin(), rows.end(), [](const std::shared_ptr<QVFile>& file) {
                           return file->status == transcriber::kFileStatusTranscribed;
                       });
            },
            120));
    }

    QString handedFolder() const { return home.path() + "/handed"; }

    // Makes the partner editor a script that keeps every document handed to it in
    // handedFolder(), numbered from 0.
    void keepHandedDocuments()
    {
        QDir().mkpath(handedFolder());
        const QString editor = home.path() + "/partner-editor.sh";
        QFile script(editor);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\ncp \"$1\" \"%1/$(ls \"%1\" | wc -l).fcpxml\"\n").arg(handedFolder()).toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        preferences->setObject(kQVPartnerEditorCommand, editor);
    }

    // The `n`th document handed to the partner editor; empty until it is.
    QByteArray handedDocument(int n) const
    {
        QFile document(handedFolder() + QStringLiteral("/%1.fcpxml").arg(n));
        return document.open(QIODevice::ReadOnly) ? document.readAll() : QByteArray();
    }

    // A WAV file of `text` spoken by espeak-ng.
    QString spokenWav(const QString& name, const std::string& text)
    {
        const QString path = home.path() + "/" + name + ".wav";
        const int status = QProcess::execute("espeak-ng", {"-v", "en-us+klatt2", "-s", "140", "-g", "5", "-w", path,
                                                           QString::fromStdString(text)});
        EXPECT_EQ(status, 0) << "espeak-ng could not speak";
        return path;
    }

    QTemporaryDir home;
    QByteArray previousDataHome;
    QString shots;
    QtDispatcher queue;
    std::unique_ptr<hub::testing::RunningService> service;
    hub::TranscriptionWorker* worker = nullptr;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ApplicationShell> shell;
};

TEST_F(IntakeEndToEnd, AddedFilesAreTranscribedAndPlayTheirOwnMedia)
{
    const std::string firstText = transcriber::test::openingSentences();
    const std::string secondText = "Thank you for listening to the whole story.";
    const QString first = spokenWav("interview", firstText);
    const QString second = spokenWav("closing words", secondText);
    const QString aside = spokenWav("aside", "Good morning to you all.");

    launch(aside);
    const std::string uid = signUpVerified();
    ASSERT_FALSE(uid.empty());
    AppDelegate& ad = shell->ad();
    // The file given on the command line waited for the account, and comes in now.
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 1; }));
    EXPECT_EQ(ad.filesPending[0]->name, "aside");
    EXPECT_TRUE(ad.droppedFilesBeforeLaunch.empty());

    QVFilesPendingViewController& pending = shell->pendingList();
    ASSERT_TRUE(waitFor([&] { return pending.addFilesButton()->isEnabled(); }));
    screenshot("intake-01-held-file-added");

    // The first file through the open panel.
    pending.addFilesButton()->click();
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shell->window().findChild<QFileDialog*>("addFilesPanel")) && panel->isVisible(); }));
    screenshot("intake-02-open-panel");
    // Typed into the panel's name field, as a user may.
    auto* fileName = panel->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(fileName, nullptr);
    fileName->setText(first);
    QTest::keyClick(fileName, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 2; }))
        << (openMessageBox(&shell->window()) ? openMessageBox(&shell->window())->text().toStdString() : "no alert");

    // The second by a drop at the end of the list, which says what it would import.
    QVFilesPendingTableView* table = pending.tableView();
    QMimeData dragged;
    dragged.setUrls({QUrl::fromLocalFile(second)});
    const QPoint below(table->viewport()->width() / 2, table->viewport()->height() - 10);
    QDragEnterEvent enter(below, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(pending.droppedFilesCount()->text(), "Import 1 file");
    screenshot("intake-03-dragging");
    QDropEvent drop(below, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &drop);
    ASSERT_EQ(ad.filesPending.size(), 3u);
    EXPECT_EQ(ad.filesPending[0]->name, "aside");
    EXPECT_EQ(ad.filesPending[1]->name, "interview");
    EXPECT_EQ(ad.filesPending[2]->name, "closing words");
    EXPECT_FALSE(pending.droppedFilesCount()->isVisible());

    // Both are listed with their durations once their waveforms are made, and may be transcribed.
    ASSERT_TRUE(waitFor([&] { return pending.transcribeButton()->isEnabled(); }));
    for (const auto& file : ad.filesPending) {
        QVTableCellViewFilePending* cell = pending.cellForFile(*file);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->durationDisplay()->text(), timeAsHMSTextFromMilliseconds(file->duration));
        EXPECT_GT(file->duration, 1000);
    }
    table->item(1)->setSelected(true);
    waitFor([] { return false; }, 0.5);
    screenshot("intake-04-pending-with-panel");
    table->clearSelection();

    // A silent broadcast wave file an hour after midnight: its row shows its own timecode and the
    // red mark, Transcribe waits; removed with the mouse, the window has the keyboard again.
    const QString silent = home.path() + "/silent take.wav";
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=48000:cl=mono",
                                           "-t", "2", "-write_bext", "1", "-metadata", "time_reference=172800000", silent}),
              0);
    pending.openFiles({silent});
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 4 && ad.filesPending[3]->audioError; }));
    QVTableCellViewFilePending* silentRow = pending.cellForFile(*ad.filesPending[3]);
    ASSERT_NE(silentRow, nullptr);
    EXPECT_EQ(silentRow->timeAndProcessingStatus()->text(), "01:00:00");
    EXPECT_FALSE(pending.transcribeButton()->isEnabled());
    EXPECT_FALSE(pending.removeFilesButton()->isEnabled());
    screenshot("intake-04b-silent-broadcast-wave");
    table->item(3)->setSelected(true);
    pending.removeFilesButton()->click();
    QMessageBox* removal = nullptr;
    ASSERT_TRUE(waitFor([&] { return (removal = openMessageBox(&shell->window())) != nullptr; }));
    for (QAbstractButton* button : removal->buttons())
        if (button->text() == "Remove Selected")
            QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 3; }));
    EXPECT_TRUE(waitFor([&] { return shell->window().isActiveWindow(); }));

    const std::int64_t priced = totalMinutes(ad.filesPending);
    const QString firstUuid = ad.filesPending[1]->uuid;
    const QString secondUuid = ad.filesPending[2]->uuid;
    pending.transcribeButton()->click();
    QMessageBox* confirm = nullptr;
    ASSERT_TRUE(waitFor([&] { return (confirm = openMessageBox(&shell->window())) != nullptr; }));
    EXPECT_EQ(confirm->text(), "Transcribe 3 files?");
    EXPECT_EQ(confirm->informativeText(), QStringLiteral("Total duration is %1m so your remaining time will be %2m")
                                              .arg(priced)
                                              .arg(kGrantedMinutes - priced));
    screenshot("intake-05-confirmation");
    pressButton(confirm, "Transcribe");

    // The first row shows what is done to its file, with its progress, while the rest wait.
    ASSERT_TRUE(waitFor([&] { return pending.fileProcessor().isProcessing(); }));
    EXPECT_EQ(pending.transcribeButton()->text(), "Cancel");
    QVTableCellViewFilePending* row = nullptr;
    ASSERT_TRUE(waitFor([&] {
        row = ad.filesPending.empty() ? nullptr : pending.cellForFile(*ad.filesPending.front());
        return row && row->processingProgressBar()->isVisible();
    }));
    screenshot("intake-06-progress");

    // All go, and the service transcribes them.
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.empty() && !pending.fileProcessor().isProcessing(); }, 60));
    EXPECT_TRUE(pending.tableViewInstructions()->isVisible());
    ASSERT_TRUE(waitFor(
        [&] {
            auto& rows = shell->filesList().filesSearchResults();
            return rows.size() == 3 && std::all_of(rows.begin(), rows.end(), [](const std::shared_ptr<QVFile>& file) {
                       return file->status == transcriber::kFileStatusTranscribed;
                   });
        },
        120));
    EXPECT_FALSE(QFileInfo::exists(QDir(pending.fileProcessor().outputFolder()).filePath(firstUuid + ".m4a")));
    EXPECT_EQ(service->value("files/" + firstUuid.toStdString() + "/name").toString(), "interview");
    EXPECT_EQ(service->value("files/" + secondUuid.toStdString() + "/owner").toString(), uid);
    EXPECT_TRUE(service->value("files_new/" + firstUuid.toStdString()).isNull());
    const auto reference = transcriber::test::plainWords(firstText);
    const auto heard = transcriber::test::plainWords(storedTranscript(*service, firstUuid.toStdString()));
    EXPECT_LT(transcriber::test::wordErrorRate(reference, heard), transcriber::test::kMaxWordErrorRate)
        << storedTranscript(*service, firstUuid.toStdString());
    ASSERT_TRUE(waitFor([&] { return ad.userBalance == kGrantedMinutes - priced; }));
    EXPECT_EQ(service->value("users/" + uid + "/mins_bal").toInt(), kGrantedMinutes - priced);
    screenshot("intake-07-transcribed");

    // Opened, the file plays the user's own media, not the missing-media stand-in.
    auto& rows = shell->filesList().filesSearchResults();
    const auto interview = std::find_if(rows.begin(), rows.end(), [&](const auto& file) { return file->uuid == firstUuid; });
    ASSERT_NE(interview, rows.end());
    shell->filesList().selectRow(interview - rows.begin());
    shell->openSelectedFile();
    ASSERT_TRUE(waitFor([&] { return ad.currentMode == 2 && !shell->window().isCoverShown(); }));
    ASSERT_TRUE(ad.currentFile);
    EXPECT_FALSE(ad.currentFile->hasMissingMediaFiles);
    ASSERT_FALSE(ad.currentFile->mediaFiles.empty());
    EXPECT_EQ(ad.currentFile->mediaFiles.front()->url.toLocalFile(), first);
    EXPECT_FALSE(ad.words.empty());
    TranscriptScreen& transcript = shell->transcriptScreen();
    transcript.view().playPauseToggleScrollToGrid(false);
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().currentMilliseconds() > 600; }));
    transcript.view().stopPlayback();
    screenshot("intake-08-opened");
}

// A cut MP3 dropped on the pending list is listed with the length of the sound it holds, marked,
// and cannot be sent for transcription.
TEST_F(IntakeEndToEnd, ACutMp3IsListedWithTheLengthOfItsSoundAndCannotBeTranscribed)
{
    // A minute of sound, and a copy of it that kept its first 4.5 s: the copy's header still
    // states the whole minute.
    const QString minute = home.path() + "/minute.mp3";
    const QString sine = home.path() + "/sine.wav";
    for (const auto& [path, seconds] : {std::pair{minute, "60"}, std::pair{sine, "3"}})
        ASSERT_EQ(QProcess::execute("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                               QStringLiteral("sine=f=440:r=44100:d=%1").arg(seconds), "-b:a", "128k",
                                               path}),
                  0);
    QFile whole(minute);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QString cutPath = home.path() + "/cut take.mp3";
    QFile cut(cutPath);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.read(1000 + 128000 / 8 * 9 / 2));
    cut.close();

    launch(QString());
    ASSERT_FALSE(signUpVerified().empty());
    AppDelegate& ad = shell->ad();
    QVFilesPendingViewController& pending = shell->pendingList();
    pending.openFiles({sine});
    ASSERT_TRUE(waitFor([&] { return pending.transcribeButton()->isEnabled(); }));

    pending.openFiles({cutPath});
    ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 2; }));
    const QVFilePending& file = *ad.filesPending[1];
    EXPECT_EQ(file.name, "cut take");
    // Reading its sound for the waveform stops where the bytes do, and says so.
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = openMessageBox(&shell->window())) != nullptr; }));
    EXPECT_TRUE(alert->informativeText().contains("truncated")) << alert->informativeText().toStdString();
    pressButton(alert, "OK");
    // The list stops waiting on it once its reading ended.
    ASSERT_TRUE(waitFor([&] { return openMessageBox(&shell->window()) == nullptr && !file.isGeneratingWaveforms; }));

    QVTableCellViewFilePending* row = pending.cellForFile(file);
    ASSERT_NE(row, nullptr);
    EXPECT_NEAR(file.duration, 4500, 100);
    EXPECT_EQ(row->durationDisplay()->text(), "4s");
    EXPECT_TRUE(row->audioErrorDisplay()->isVisible());
    EXPECT_EQ(row->audioErrorDisplay()->toolTip(),
              "The file is truncated: its sound stops after 4s, before the end the file states");
    EXPECT_FALSE(pending.transcribeButton()->isEnabled());
    EXPECT_TRUE(pending.errorButton()->isVisible());
    screenshot("intake-cut-mp3-row");
    pending.errorButton()->click();
    ASSERT_TRUE(waitFor([&] { return pending.errorPopover() != nullptr; }));
    screenshot("intake-cut-mp3-reason");
}

// A library of the partner editor with two clips marked for import is dropped on the pending
// list: both become pending files and are transcribed; the library goes back marked as
// processing; once their transcripts are verified, the library opened from the File menu's
// road goes back again with their words as keywords. The partner editor is a script that keeps
// every document handed to it.
TEST_F(IntakeEndToEnd, LibraryClipsAreTranscribedAndSentBackWithTheirKeywords)
{
    const QString first = spokenWav("take one", "Good morning to you all.");
    const QString second = spokenWav("take two", "Thank you very much.");
    keepHandedDocuments();

    launch(QString());
    ASSERT_FALSE(signUpVerified().empty());
    AppDelegate& ad = shell->ad();
    QVFilesPendingViewController& pending = shell->pendingList();

    const QString library = fcpx_test::libraryXML(
        fcpx_test::assetXML("a1", first, "uid=\"UID-TAKE-1\" duration=\"2s\"") +
            fcpx_test::assetXML("a2", second, "uid=\"UID-TAKE-2\" duration=\"2s\""),
        "<asset-clip name=\"Take one\" ref=\"a1\" duration=\"2s\"><keyword start=\"0s\" value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"Take two\" ref=\"a2\" duration=\"2s\"><keyword start=\"0s\" value=\"QV Pending, b-roll\"/></asset-clip>"
        "<asset-clip name=\"Unmarked\" ref=\"a2\"/>");
    QMimeData dragged;
    dragged.setData(kFCPXPasteboardType, library.toUtf8());
    QWidget* viewport = pending.tableView()->viewport();
    const QPoint inside(viewport->width() / 2, viewport->height() / 2);
    QDragEnterEvent enter(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    ASSERT_EQ(ad.filesPending.size(), 2u);
    EXPECT_EQ(ad.filesPending[0]->name, "Take one");
    EXPECT_EQ(ad.filesPending[0]->fileType, 2);
    EXPECT_EQ(ad.filesPending[1]->fcpxUID, "UID-TAKE-2");
    EXPECT_TRUE(ad.droppedXMLDoc);
    screenshot("library-01-clips-pending");

    transcribeAll(2);
    ASSERT_TRUE(waitFor([&] { return !handedDocument(0).isEmpty(); }))
        << "drop in progress: " << (ad.droppedXMLDoc != nullptr) << ", awaiting: "
        << ad.droppedFilesAwaitingProcessing.join(",").toStdString() << ", temporary document: "
        << QFileInfo::exists(home.path() + "/data/FCPX Temp Files/Quorvantelle.fcpxml");
    const QString marked = QString::fromUtf8(handedDocument(0));
    EXPECT_TRUE(marked.contains("value=\"QV Processing, b-roll\"")) << marked.toStdString();
    EXPECT_FALSE(marked.contains("Unmarked"));
    EXPECT_FALSE(ad.droppedXMLDoc);

    // Verified, the transcripts go back onto the clips the editor sends again.
    for (const auto& file : shell->filesList().filesSearchResults())
        service->serviceWrite("files/" + file->uuid.toStdString() + "/status", 40);
    ASSERT_TRUE(waitFor([&] {
        auto& rows = shell->filesList().filesSearchResults();
        return std::all_of(rows.begin(), rows.end(), [](const auto& file) { return file->status == 40; });
    }));
    shell->openLibraryFile(handedFolder() + "/0.fcpxml");
    QMessageBox* sheet = nullptr;
    ASSERT_TRUE(waitFor([&] { return (sheet = openMessageBox(&shell->window())) != nullptr; }));
    EXPECT_EQ(sheet->informativeText(), "2 clips are verified and can be exported:\n• Take one\n• Take two");
    screenshot("library-02-export-sheet");
    pressButton(sheet, "Export");
    ASSERT_TRUE(waitFor([&] { return !handedDocument(1).isEmpty(); }));
    const QString sent = QString::fromUtf8(handedDocument(1));
    EXPECT_FALSE(sent.contains("QV Processing")) << sent.toStdString();
    EXPECT_TRUE(sent.contains("value=\"b-roll\""));
    // One keyword range of heard words on each clip (the recogniser's words, not always the spoken ones).
    EXPECT_EQ(sent.count(QRegularExpression("<asset-clip name=\"Take (one|two)\" ref=\"a[12]\" duration=\"2s\">\\s*(<keyword start=\"0s\" value=\"b-roll\"/>\\s*)?"
                                            "<keyword start=\"[^\"]+\" duration=\"[^\"]+\" value=\"[^\"]+\" note=\"[^\"]*you[^\"]*\"/>")),
              2)
        << sent.toStdString();
    EXPECT_EQ(sent.count("<import-options>"), 1);
    ASSERT_TRUE(waitFor([&] {
        auto& rows = shell->filesList().filesSearchResults();
        return std::all_of(rows.begin(), rows.end(), [](const auto& file) { return file->status == 50; });
    }));
}

// Library files opened as the command line and the File menu open them: one that is not
// well-formed gets the alert of a library that cannot be imported and nothing of it is kept;
// one written in ISO-8859-1, then one in UTF-16, are read in their own encoding, their clips
// transcribed, and each goes back to the editor as well-formed UTF-8 with its clip marked.
TEST_F(IntakeEndToEnd, LibraryFilesAreReadInTheirEncodingAndMalformedOnesRefused)
{
    keepHandedDocuments();
    launch(QString());
    ASSERT_FALSE(signUpVerified().empty());
    AppDelegate& ad = shell->ad();
    // The library of one clip named `clip`, of a new spoken media file, declared in `encoding`.
    const auto library = [&](const QString& clip, const QString& encoding) {
        const QString media = spokenWav(clip, "Good morning to you all.");
        return fcpx_test::libraryXML(fcpx_test::assetXML("a1", media, "uid=\"UID-" + clip + "\" duration=\"2s\""),
                                     "<asset-clip name=\"" + clip +
                                         "\" ref=\"a1\" duration=\"2s\"><keyword start=\"0s\" value=\"QV Pending\"/></asset-clip>")
            .replace("encoding=\"UTF-8\"", "encoding=\"" + encoding + "\"");
    };
    const auto open = [&](const QString& name, const QByteArray& bytes) {
        shell->openLibraryFile(fcpx_test::writtenFile(home.path() + "/" + name, bytes));
    };

    open("broken.fcpxml", library("Broken", "UTF-8").toUtf8() + "<!DOCTYPE fcpxml>");
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = openMessageBox(&shell->window())) != nullptr; }));
    EXPECT_EQ(alert->text(), "Library Import Error");
    EXPECT_TRUE(alert->informativeText().startsWith("Final Cut Pro X library could not be imported."));
    pressButton(alert, "OK");
    EXPECT_TRUE(ad.filesPending.empty());
    EXPECT_FALSE(ad.droppedXMLDoc);

    // Dragged, a library in ISO-8859-1 that declares UTF-8 is refused too, its plain-text copy
    // as much as its own form: neither is read with its letters replaced.
    {
        const QByteArray misdeclared = library("Caf\u00e9 au lait", "UTF-8").toLatin1();
        QMimeData dragged;
        dragged.setData(kFCPXPasteboardType, misdeclared);
        dragged.setData(kStringPasteboardType, misdeclared);
        QWidget* viewport = shell->pendingList().tableView()->viewport();
        const QPoint inside(viewport->width() / 2, viewport->height() / 2);
        QDragEnterEvent enter(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(inside, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        ASSERT_TRUE(waitFor([&] { return (alert = openMessageBox(&shell->window())) != nullptr; }));
        EXPECT_EQ(alert->text(), "Library Import Error");
        pressButton(alert, "OK");
        EXPECT_TRUE(ad.filesPending.empty());
        EXPECT_FALSE(ad.droppedXMLDoc);
    }

    QStringEncoder utf16(QStringConverter::Utf16BE, QStringEncoder::Flag::WriteBom);
    const QString omega = QString::fromUtf8("Ωmega 𝄞");
    const struct {
        QString clip;
        QByteArray bytes;
    } libraries[] = {
        {"Café", library("Café", "ISO-8859-1").toLatin1()},
        {omega, utf16(library(omega, "UTF-16"))},
    };
    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE(libraries[n].clip.toStdString());
        open(QStringLiteral("library %1.fcpxml").arg(n), libraries[n].bytes);
        ASSERT_TRUE(waitFor([&] { return ad.filesPending.size() == 1; }));
        EXPECT_EQ(ad.filesPending[0]->name, libraries[n].clip);
        transcribeAll(n + 1);
        ASSERT_TRUE(waitFor([&] { return !handedDocument(n).isEmpty(); }));
        const QByteArray sent = handedDocument(n);
        EXPECT_EQ(fcpx_test::wellFormednessProblems(sent), "");
        EXPECT_TRUE(sent.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"")) << sent.left(100).toStdString();
        EXPECT_TRUE(sent.contains("<asset-clip name=\"" + libraries[n].clip.toUtf8() + "\"")) << sent.toStdString();
        EXPECT_TRUE(sent.contains("value=\"QV Processing\""));
    }
}

}  // namespace
}  // namespace qv::shell
