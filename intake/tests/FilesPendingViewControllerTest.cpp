#include "intake/QVFilesPendingViewController.h"

#include "intake/QVFilesPendingTableView.h"
#include "intake/QVTableCellViewFilePending.h"
#include "intake/tests/IntakeTestSupport.h"
#include "model/AppDelegate.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <optional>

namespace {

using qv::test::testMedia;

QUrl media(const std::string& name) { return QUrl::fromLocalFile(QString::fromStdString(testMedia(name))); }

class FilesPendingViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        preferences = std::make_unique<qv::Preferences>(home.path() + "/config");
        hooks.sheetAlerts = &sheets;
        hooks.modalAlerts = &modal;
        hooks.namedImage = [](const QString&) {
            QImage icon(16, 9, QImage::Format_RGB32);
            icon.fill(Qt::black);
            return icon;
        };
        // Frames of every video but the one whose pictures cannot be decoded.
        hooks.videoThumbnail = [this](const QUrl& url) {
            return url == undecodable ? QImage() : hooks.namedImage({});
        };
        ad.userStatus = 30;
        ad.isConnected = true;
        ad.externalServiceStatus = 1;
        controller = std::make_unique<QVFilesPendingViewController>(ad, queue, *preferences, hooks,
                                                                    QVAudioConfigurationViewController::Services{},
                                                                    home.path() + "/converted");
        undecodable = media("video.mov");
    }

    // The names of the pending files, in list order.
    QStringList names() const
    {
        QStringList list;
        for (const auto& file : ad.filesPending)
            list << file->name;
        return list;
    }

    // The names the table's rows show, top to bottom.
    QStringList rowNames() const
    {
        QStringList list;
        QVFilesPendingTableView* table = controller->tableView();
        for (int row = 0; row < table->count(); ++row)
            list << static_cast<QVTableCellViewFilePending*>(table->itemWidget(table->item(row)))->filePending->name;
        return list;
    }

    // A copy of a test file under `name`, so that lists read clearly.
    QUrl named(const QString& name, const std::string& source = "tone.wav")
    {
        const QString path = home.filePath(name + "." + QFileInfo(QString::fromStdString(source)).suffix());
        QFile::copy(QString::fromStdString(testMedia(source)), path);
        return QUrl::fromLocalFile(path);
    }

    FilesData batch(std::initializer_list<QUrl> urls) { return QVFilesPendingViewController::createFileDataFromURLs(urls); }

    QTemporaryDir home;
    qv::QtDispatcher queue;
    std::unique_ptr<qv::Preferences> preferences;
    AppDelegate ad;
    qv::ScriptedAlertPresenter sheets;
    qv::ScriptedAlertPresenter modal;
    IntakeHooks hooks;
    QUrl undecodable;
    std::unique_ptr<QVFilesPendingViewController> controller;
};

TEST_F(FilesPendingViewControllerTest, RefusedFilesAreReportedOnceAfterTheBatch)
{
    controller->addFilesData({}, -1);
    EXPECT_TRUE(modal.shownAlerts().empty());

    QFile text(home.filePath("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not media\n");
    text.close();
    controller->addFilesData(batch({QUrl::fromLocalFile(text.fileName()), media("groups.mov"), named("song", "sine10.mp3"),
                                    QUrl::fromLocalFile(home.path())}),
                             -1);
    EXPECT_EQ(names(), QStringList({"song"}));
    EXPECT_EQ(ad.filesPending.front()->fileType, 0);
    EXPECT_TRUE(ad.filesPending.front()->mediaFiles.front()->isMP3);
    ASSERT_EQ(modal.shownAlerts().size(), 1u);
    EXPECT_EQ(modal.shownAlerts().front().messageText,
              "One or more files are not supported audio or video files or did not contain an audio track so could not "
              "be imported.");
    EXPECT_EQ(modal.shownAlerts().front().style, qv::AlertStyle::Informational);
    EXPECT_FALSE(controller->tableViewInstructions()->isVisibleTo(controller->view()));
}

TEST_F(FilesPendingViewControllerTest, ABatchKeepsItsOrderAtItsPlaceAndNeverReachesPastTheEnd)
{
    controller->addFilesData(batch({named("X"), named("Y"), named("Z")}), -1);
    // A video without a picture is not kept; the file after it goes where the index has got to.
    controller->addFilesData(batch({undecodable, named("B")}), 1);
    EXPECT_EQ(names(), QStringList({"X", "Y", "B", "Z"}));
    EXPECT_EQ(modal.shownAlerts().size(), 1u);

    // Refusals at the end push the index past the list: the rest of the batch goes last.
    controller->addFilesData(batch({undecodable, undecodable, named("C"), named("D")}), 4);
    EXPECT_EQ(names(), QStringList({"X", "Y", "B", "Z", "C", "D"}));
    controller->addFilesData(batch({named("E"), named("F")}), 0);
    EXPECT_EQ(names().mid(0, 3), QStringList({"E", "F", "X"}));
}

TEST_F(FilesPendingViewControllerTest, FilesOpenedWithTheProgramWaitForTheAccount)
{
    ad.userStatus = 0;
    const QString path = named("early").toLocalFile();
    controller->openFiles({path});
    EXPECT_TRUE(ad.filesPending.empty());
    ASSERT_EQ(ad.droppedFilesBeforeLaunch.size(), 1u);
    EXPECT_EQ(ad.droppedFilesBeforeLaunch.front().toLocalFile(), path);

    // Once the account is known and not verified, they are dropped without a word.
    ad.hasCheckedAuthOnLaunch = true;
    ad.userStatus = 10;
    controller->openFiles({named("ignored").toLocalFile()});
    EXPECT_EQ(ad.droppedFilesBeforeLaunch.size(), 1u);
    EXPECT_TRUE(ad.filesPending.empty());

    ad.userStatus = 30;
    controller->openFiles({named("late").toLocalFile()});
    EXPECT_EQ(names(), QStringList({"late"}));
    EXPECT_TRUE(modal.shownAlerts().empty());
}

// The colour of the triangle the button shows, read inside its body, as #rrggbb.
std::string triangleColour(const QToolButton& button)
{
    QImage image = button.icon().pixmap(16, 16).toImage();
    return image.pixelColor(5, 13).name().toStdString();
}

TEST_F(FilesPendingViewControllerTest, TranscribeWaitsForAudibleChannelsAndTheService)
{
    controller->addFilesData(batch({named("quiet")}), -1);
    ASSERT_EQ(ad.filesPending.size(), 1u);
    auto& channel = ad.filesPending.front()->mediaFiles.front()->audioTracks.front()->audioChannels;
    for (const auto& each : channel)
        each->waveformMax = -50.0f;
    controller->refreshBusyErrorStatus();
    EXPECT_TRUE(ad.filesPending.front()->audioError);
    EXPECT_FALSE(controller->transcribeButton()->isEnabled());
    EXPECT_EQ(controller->errorPopoverText(), "One or more files do not have\na valid audio channel enabled");
    // Red for what keeps the files from being transcribed; yellow is for a delayed service.
    EXPECT_EQ(triangleColour(*controller->errorButton()), "#d62828");

    channel.front()->waveformMax = -49.9f;
    controller->refreshBusyErrorStatus();
    EXPECT_FALSE(ad.filesPending.front()->audioError);
    EXPECT_TRUE(controller->transcribeButton()->isEnabled());

    ad.externalServiceStatus = -1;
    controller->refreshBusyErrorStatus();
    EXPECT_FALSE(controller->transcribeButton()->isEnabled());
    EXPECT_EQ(controller->errorPopoverText(), "Transcription is not available\nplease try again later");
    EXPECT_EQ(triangleColour(*controller->errorButton()), "#d62828");
    ad.externalServiceStatus = 0;
    controller->refreshBusyErrorStatus();
    EXPECT_TRUE(controller->transcribeButton()->isEnabled());
    EXPECT_EQ(triangleColour(*controller->errorButton()), "#f0be1e");
    ad.isConnected = false;
    controller->refreshBusyErrorStatus();
    EXPECT_FALSE(controller->transcribeButton()->isEnabled());
}

TEST_F(FilesPendingViewControllerTest, ATruncatedFileIsListedWithTheLengthOfItsSoundAndKeepsTranscribeOff)
{
    auto hearAll = [&] {
        for (const auto& file : ad.filesPending)
            for (const auto& channel : file->mediaFiles.front()->audioTracks.front()->audioChannels)
                channel->waveformMax = -6.0f;
        controller->refreshBusyErrorStatus();
    };
    controller->addFilesData(batch({named("whole")}), -1);
    ASSERT_EQ(ad.filesPending.size(), 1u);
    hearAll();
    ASSERT_TRUE(controller->transcribeButton()->isEnabled());

    // Both state 10 s in their headers; each keeps the first 55 % of its bytes, 5.5 s of sound.
    const std::vector<std::string> sources = {"long.mp3", "long.wav"};
    std::vector<QUrl> cuts;
    for (const std::string& source : sources) {
        QFile whole(QString::fromStdString(testMedia(source)));
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
        cuts.push_back(QUrl::fromLocalFile(home.filePath(QString::fromStdString("cut-" + source))));
        QFile cut(cuts.back().toLocalFile());
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(whole.read(whole.size() * 55 / 100));
    }
    controller->addFilesData(QVFilesPendingViewController::createFileDataFromURLs(cuts), -1);
    ASSERT_EQ(ad.filesPending.size(), 3u);
    // However loud the sound they hold, the files cannot be sent as they are.
    hearAll();
    for (std::size_t i = 1; i < ad.filesPending.size(); ++i) {
        const QVFilePending& file = *ad.filesPending[i];
        SCOPED_TRACE(file.name.toStdString());
        EXPECT_NEAR(file.duration, 5500, 100);
        QVTableCellViewFilePending* row = controller->cellForFile(file);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->durationDisplay()->text(), "5s");
        EXPECT_TRUE(file.audioError);
        EXPECT_FALSE(row->audioErrorDisplay()->isHidden());
        EXPECT_EQ(row->audioErrorDisplay()->toolTip().toStdString(),
                  "The file is truncated: its sound stops after 5s, before the end the file states");
    }
    EXPECT_FALSE(controller->transcribeButton()->isEnabled());
    EXPECT_EQ(controller->errorPopoverText(), "One or more files are truncated:\ntheir sound ends before the file says");
    // The whole file's row has no mark.
    EXPECT_FALSE(ad.filesPending.front()->audioError);
    EXPECT_TRUE(controller->cellForFile(*ad.filesPending.front())->audioErrorDisplay()->isHidden());
}

TEST_F(FilesPendingViewControllerTest, ARowShowsItsTimeInTheFilesOwnTimecode)
{
    // A broadcast wave file that starts an hour after midnight.
    const QString path = home.filePath("bwf.wav");
    const std::string command = "ffmpeg -nostdin -v error -y -i '" + testMedia("tone.wav")
                              + "' -c copy -write_bext 1 -metadata time_reference=172800000 '" + path.toStdString() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    controller->addFilesData(batch({QUrl::fromLocalFile(path)}), -1);
    ASSERT_EQ(ad.filesPending.size(), 1u);
    const QVFilePending& file = *ad.filesPending.front();
    ASSERT_TRUE(intake_test::waitFor([&] { return controller->cellForFile(file) != nullptr; }, 5));
    EXPECT_EQ(controller->cellForFile(file)->timeAndProcessingStatus()->text(), "01:00:00");
}

TEST_F(FilesPendingViewControllerTest, TooFewMinutesGiveTheRefusalAndStartNothing)
{
    ad.userBalance = 1;
    controller->addFilesData(batch({named("one"), named("two")}), -1);
    controller->preflightCheckPendingFiles();
    ASSERT_EQ(sheets.shownAlerts().size(), 1u);
    EXPECT_EQ(sheets.shownAlerts().front().messageText,
              "Sorry, there isn’t enough available time on your account to transcribe these 2 files.");
    intake_test::waitFor([] { return false; }, 0.5);
    EXPECT_FALSE(controller->fileProcessor().isProcessing());
    EXPECT_TRUE(ad.filesToProcess.empty());
}

TEST_F(FilesPendingViewControllerTest, RemovingAsksFirst)
{
    controller->addFilesData(batch({named("A"), named("B"), named("C")}), -1);
    controller->tableView()->item(1)->setSelected(true);
    sheets.script(qv::kAlertFirstButtonReturn + 1);
    controller->removePendingFilesPressed(false);
    EXPECT_EQ(sheets.shownAlerts().back().messageText, "Remove selected imported files?");
    EXPECT_EQ(names(), QStringList({"A", "B", "C"}));
    controller->removePendingFilesPressed(false);
    EXPECT_EQ(names(), QStringList({"A", "C"}));
    controller->removePendingFilesPressed(true);
    EXPECT_EQ(sheets.shownAlerts().back().messageText, "Remove all imported files?");
    EXPECT_TRUE(ad.filesPending.empty());
    EXPECT_TRUE(controller->tableViewInstructions()->isVisibleTo(controller->view()));
}

TEST_F(FilesPendingViewControllerTest, ARenameIsStoredWhenItEndsUnlessEscapeCancelsIt)
{
    controller->addFilesData(batch({named("Interview")}), -1);
    QVFilePending& file = *ad.filesPending.front();
    QWidget* view = controller->view();
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));

    // `end` is the key that ends the edit; without one, the user clicks elsewhere in the list.
    const struct {
        const char* typed;
        std::optional<Qt::Key> end;
        QString name;
    } cases[] = {
        {"Harbour walk", Qt::Key_Return, "Harbour walk"},
        {"Harbour walk", std::nullopt, "Harbour walk"},
        {"Take 2: C:\\walk", Qt::Key_Return, "Take 2 Cwalk"},
        {"Harbour walk", Qt::Key_Escape, "Interview"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(::testing::Message() << each.typed << " ended by key " << (each.end ? *each.end : 0));
        file.name = "Interview";
        QLineEdit* name = controller->cellForFile(file)->textField();
        name->setText(file.name);
        name->setFocus();
        ASSERT_TRUE(name->hasFocus());
        name->selectAll();
        QTest::keyClicks(name, each.typed);
        if (each.end)
            QTest::keyClick(name, *each.end);
        // Leaving the field after the edit ended must not store anything the edit did not.
        controller->tableView()->setFocus();
        EXPECT_FALSE(name->hasFocus());
        EXPECT_EQ(file.name.toStdString(), each.name.toStdString());
        EXPECT_EQ(name->text().toStdString(), each.name.toStdString());
    }
}

TEST_F(FilesPendingViewControllerTest, DraggedRowsEndUpInTheirOrderAboveTheDropRow)
{
    controller->addFilesData(batch({named("1"), named("2"), named("3"), named("4"), named("5")}), -1);
    const auto original = ad.filesPending;
    struct Case {
        QList<int> rows;
        int dropRow;  // -1: below the last row
        bool moves;
        QStringList order;
    };
    const Case cases[] = {
        {{0, 1}, 4, true, {"3", "4", "1", "2", "5"}},
        {{3, 4}, 1, true, {"1", "4", "5", "2", "3"}},
        // Dropped within or right below the dragged rows, nothing would move: no drop.
        {{1, 2}, 1, false, {"1", "2", "3", "4", "5"}},
        {{1, 2}, 2, false, {"1", "2", "3", "4", "5"}},
        {{1, 2}, 3, false, {"1", "2", "3", "4", "5"}},
        {{2}, 3, false, {"1", "2", "3", "4", "5"}},
        {{2}, 4, true, {"1", "2", "4", "3", "5"}},
        {{0}, -1, true, {"2", "3", "4", "5", "1"}},
    };
    for (const Case& c : cases) {
        ad.filesPending = original;
        controller->refreshPendingView();
        std::unique_ptr<QMimeData> dragged(controller->beginRowDrag(c.rows));
        ASSERT_NE(dragged, nullptr);
        EXPECT_EQ(controller->validateDrop(*dragged, c.dropRow), c.moves) << c.dropRow;
        if (c.moves)
            controller->acceptDrop(*dragged, c.dropRow);
        controller->endRowDrag();
        EXPECT_EQ(names(), c.order) << c.dropRow;
        EXPECT_EQ(rowNames(), c.order) << c.dropRow;
        // The action bar keeps its buttons: a reordering imports nothing.
        EXPECT_TRUE(controller->droppedFilesCount()->isHidden());
    }
    // Once the drag has ended, rows of it are no longer a move.
    std::unique_ptr<QMimeData> late(controller->beginRowDrag({0}));
    controller->endRowDrag();
    EXPECT_FALSE(controller->validateDrop(*late, 3));
}

TEST_F(FilesPendingViewControllerTest, ADragOverTheRowsMarksWhereTheyWouldGo)
{
    controller->addFilesData(batch({named("1"), named("2"), named("3")}), -1);
    QVFilesPendingTableView* table = controller->tableView();
    ASSERT_TRUE(intake_test::waitFor([&] { return table->count() == 3; }));
    controller->view()->resize(700, 600);
    controller->view()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->view()));
    table->doItemsLayout();
    std::unique_ptr<QMimeData> dragged(controller->beginRowDrag({0}));
    const QRect third = table->visualRect(table->model()->index(2, 0));
    const QColor line = table->palette().color(QPalette::Highlight);
    // The drag enters on the third row's upper half.
    QDragEnterEvent enter(third.topLeft() + QPoint(5, 2), Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &enter);
    EXPECT_EQ(table->dropIndicatorRow(), 2);
    EXPECT_EQ(table->viewport()->grab().toImage().pixelColor(20, third.top()), line);

    // Below the last row, the line stands under it; once the drag leaves, it goes.
    QDragMoveEvent below(QPoint(5, table->visualRect(table->model()->index(2, 0)).bottom() + 20), Qt::MoveAction,
                         dragged.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &below);
    EXPECT_EQ(table->dropIndicatorRow(), -1);
    EXPECT_EQ(table->viewport()->grab().toImage().pixelColor(20, third.bottom()), line);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(table->viewport(), &leave);
    EXPECT_FALSE(table->dropIndicatorRow().has_value());
    EXPECT_NE(table->viewport()->grab().toImage().pixelColor(20, third.top()), line);
    controller->endRowDrag();
}

// Files written by this process may grow to `bytes` while it lives, as on a disk about to fill
// up: a write past that fails (EFBIG) instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, previous_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

TEST_F(FilesPendingViewControllerTest, ADiskThatFillsWhileConvertingLeavesNoPartialFileAndUploadsNothing)
{
    // A service that would be asked for the upload address next: nothing may come.
    QTcpServer service;
    ASSERT_TRUE(service.listen(QHostAddress::LocalHost));
    hooks.webApplicationURL = [&](const QString& path) {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(service.serverPort())).resolved(QUrl(path));
    };
    // Ten seconds of sound make about 80 kB of upload audio, past what the disk still takes.
    controller->addFilesData(batch({named("song", "sine10.mp3")}), -1);
    ASSERT_EQ(ad.filesPending.size(), 1u);
    const auto song = ad.filesPending.front();
    ad.filesToProcess = ad.filesPending;
    {
        FileSizeLimit nearlyFull(32 * 1024);
        controller->fileProcessor().startProcessing();
        ASSERT_TRUE(intake_test::waitFor([&] { return !controller->fileProcessor().isProcessing(); }));
    }
    ASSERT_EQ(sheets.shownAlerts().size(), 1u);
    const qv::Alert& alert = sheets.shownAlerts().front();
    EXPECT_EQ(alert.style, qv::AlertStyle::Critical);
    EXPECT_TRUE((alert.messageText + alert.informativeText).contains("too large"))
        << (alert.messageText + " / " + alert.informativeText).toStdString();
    // The file stays listed, its row saying why.
    ASSERT_EQ(ad.filesPending.size(), 1u);
    QLabel* status = controller->cellForFile(*song)->timeAndProcessingStatus();
    EXPECT_EQ(status->text(), "Not submitted");
    EXPECT_EQ(status->toolTip(), alert.messageText);
    QStringList left = QDir(home.path() + "/converted").entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QString::fromLatin1(QVFileProcessor::kFolderLockName));
    EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
    EXPECT_FALSE(service.hasPendingConnections());
}

TEST(FilesPendingInstructionsTest, TheEmptyListSaysWhyImportingCannotStart)
{
    EXPECT_EQ(QVFilesPendingViewController::instructionsText(10, 1, "Verify first"), "Verify first");
    EXPECT_EQ(QVFilesPendingViewController::instructionsText(0, -1, "Verify first"),
              "Transcription is not available\nplease try again later");
    EXPECT_EQ(QVFilesPendingViewController::instructionsText(0, 1, "Verify first"),
              "Import files\nby clicking the + button\nor dropping here");
    EXPECT_TRUE(QVFilesPendingViewController::importAllowed(30, false, 0));
    EXPECT_FALSE(QVFilesPendingViewController::importAllowed(29, false, 1));
    EXPECT_FALSE(QVFilesPendingViewController::importAllowed(30, true, 1));
    EXPECT_FALSE(QVFilesPendingViewController::importAllowed(30, false, -1));
}

}  // namespace
