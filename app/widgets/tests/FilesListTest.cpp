#include "app/widgets/FilesSearch.h"
#include "app/widgets/QVFilesViewController.h"
#include "app/widgets/QVTableCellViewFile.h"

#include "RecordingHost.h"
#include "WidgetsTestSupport.h"
#include "model/AppDelegate.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kNow = 1'700'000'000'000;

std::shared_ptr<QVFile> makeFile(const QString& uuid, const QString& name, std::int64_t status, std::int64_t deleted = 0)
{
    auto file = std::make_shared<QVFile>();
    file->uuid = uuid;
    file->name = name;
    file->status = status;
    file->deleted = deleted;
    file->fileType = QVFileTypeVideoFile;
    file->duration = 3'723'000;
    return file;
}

QStringList names(const std::vector<std::shared_ptr<QVFile>>& files)
{
    QStringList result;
    for (const auto& file : files)
        result << file->name;
    return result;
}

TEST(FilesSearchTest, SearchTextAndStatusFilterCombine)
{
    const std::vector<std::shared_ptr<QVFile>> files = {
        makeFile("a", "Interview Café", 30),  makeFile("b", "interview b-roll", 40), makeFile("c", "Meeting", 20),
        makeFile("d", "Old interview", 30, kNow), makeFile("e", "Résumé", 50),
    };
    const struct {
        const char* text;
        std::int64_t status;
        QStringList expected;
    } cases[] = {
        {"", 0, {"Interview Café", "interview b-roll", "Meeting", "Résumé"}},
        // One character filters nothing.
        {"x", 0, {"Interview Café", "interview b-roll", "Meeting", "Résumé"}},
        {"INTERVIEW", 0, {"Interview Café", "interview b-roll"}},
        {"cafe", 0, {"Interview Café"}},
        {"RESUMÉ", 0, {"Résumé"}},
        // The deleted filter shows deleted files whatever their status; the others hide them.
        {"", -1, {"Old interview"}},
        {"interview", -1, {"Old interview"}},
        {"", 30, {"Interview Café"}},
        {"interview", 40, {"interview b-roll"}},
        {"", 10, {}},
        {"zz", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + std::to_string(c.status));
        EXPECT_EQ(names(qv::filesMatchingSearch(files, QString::fromUtf8(c.text), c.status)), c.expected);
    }
}

class FilesListTest : public ::testing::Test {
protected:
    FilesListTest() : client(backend, queue)
    {
        testApplication();
        ad.isConnected = true;
        controller = std::make_unique<QVFilesViewController>(ad, host, queue);
        controller->view()->resize(900, 500);
        controller->view()->show();
    }

    std::shared_ptr<QVFile> add(const QString& uuid, const QString& name, std::int64_t status, std::int64_t deleted = 0)
    {
        auto file = makeFile(uuid, name, status, deleted);
        file->fileMetadataRef = client.root().child("files/" + uuid.toStdString());
        ad.files.push_back(file);
        return file;
    }

    void search()
    {
        controller->searchForFile();
        queue.drain();
    }

    QVTableCellViewFile* cell(qsizetype row) { return controller->cellAtRow(row, true); }

    qv::ManualDispatcher queue;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    AppDelegate ad;
    RecordingHost host;
    std::unique_ptr<QVFilesViewController> controller;
};

TEST_F(FilesListTest, TypingFiltersFromTheSecondCharacterAndTheTableFollowsOnALaterTurn)
{
    add("a", "Alpha take", 30);
    add("b", "Beta take", 30);
    search();
    ASSERT_EQ(controller->tableView()->numberOfRows(), 2);

    controller->searchField()->setText("B");
    EXPECT_EQ(controller->filesSearchResults().size(), 2u);
    controller->searchField()->setText("Be");
    EXPECT_EQ(names(controller->filesSearchResults()), QStringList{"Beta take"});
    EXPECT_EQ(controller->tableView()->numberOfRows(), 2) << "the table reloads on a later turn";
    queue.drain();
    EXPECT_EQ(controller->tableView()->numberOfRows(), 1);
    EXPECT_EQ(cell(0)->textField()->text(), "Beta take");
}

TEST_F(FilesListTest, CoveringMessagesFollowLoadingAndEmptiness)
{
    ad.userFilesStillToLoad = 3;
    search();
    EXPECT_FALSE(controller->noFilesContainer()->isHidden());
    EXPECT_FALSE(controller->loadingMessage()->isHidden());
    EXPECT_TRUE(controller->noFilesMessage()->isHidden());

    ad.userFilesStillToLoad = 0;
    search();
    EXPECT_TRUE(controller->loadingMessage()->isHidden());
    EXPECT_FALSE(controller->noFilesContainer()->isHidden());
    EXPECT_FALSE(controller->noFilesMessage()->isHidden());

    add("a", "Alpha", 30);
    search();
    EXPECT_TRUE(controller->noFilesContainer()->isHidden());
    EXPECT_TRUE(controller->noFilesMessage()->isHidden());
}

TEST_F(FilesListTest, OnlyTranscribedFilesCanBeSelectedAndOpened)
{
    add("p", "Processing", 20);
    add("t", "Transcribed", 30);
    search();

    controller->selectRow(0);
    EXPECT_EQ(controller->selectedRow(), -1);
    controller->didDoubleClickOnRow(0);
    controller->didDoubleClickOnRow(-1);
    controller->didDoubleClickOnRow(7);
    EXPECT_TRUE(host.calls.isEmpty());

    controller->selectRow(1);
    EXPECT_EQ(controller->selectedRow(), 1);
    EXPECT_EQ(cell(1)->textAppearance(), QVTableCellViewFile::kAppearanceSelected);
    EXPECT_EQ(cell(0)->textAppearance(), QVTableCellViewFile::kAppearanceProcessing);
    controller->didDoubleClickOnRow(1);
    EXPECT_EQ(host.calls, QStringList{"openSelectedFile"});
}

TEST_F(FilesListTest, MouseOnARowSelectsItAndADoubleClickOpensIt)
{
    add("a", "Alpha", 30);
    add("b", "Beta", 30);
    search();
    auto click = [](QWidget* target, QEvent::Type type) {
        QMouseEvent event(type, QPointF(3, 3), target->mapToGlobal(QPointF(3, 3)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
        return event.isAccepted();
    };
    click(cell(1)->textField(), QEvent::MouseButtonPress);
    EXPECT_EQ(controller->selectedRow(), 1) << "the first click on a name selects its row";
    EXPECT_FALSE(cell(1)->textField()->isEditing());
    click(cell(0)->durationDisplay(), QEvent::MouseButtonPress);
    EXPECT_EQ(controller->selectedRow(), 0);
    click(cell(0)->imageView(), QEvent::MouseButtonDblClick);
    EXPECT_EQ(host.calls, QStringList{"openSelectedFile"});
}

TEST_F(FilesListTest, ReloadKeepsTheSelectedFileSelectedWhenItsRowMoves)
{
    add("a", "Alpha", 30);
    auto beta = add("b", "Beta", 30);
    search();
    controller->selectRow(1);

    auto fresh = makeFile("n", "New", 30);
    ad.files.insert(ad.files.begin(), fresh);
    controller->filesSearchResults().insert(controller->filesSearchResults().begin(), fresh);
    controller->reloadFiles();
    queue.drain();
    EXPECT_EQ(controller->selectedRow(), 2);
    EXPECT_EQ(controller->selectedFile(), beta);
    EXPECT_EQ(cell(2)->textAppearance(), QVTableCellViewFile::kAppearanceSelected);
    EXPECT_EQ(cell(0)->textAppearance(), QVTableCellViewFile::kAppearanceNormal);
}

// Live updates insert and remove rows around the selection; it stays on its file, and goes
// when its own row is removed.
TEST_F(FilesListTest, RowsInsertedAndRemovedAroundTheSelectionKeepItOnItsFile)
{
    add("a", "Alpha", 30);
    auto beta = add("b", "Beta", 30);
    search();
    controller->selectRow(1);

    auto& rows = controller->filesSearchResults();
    controller->filesTableBeginUpdates();
    rows.insert(rows.begin(), makeFile("n", "New", 30));
    controller->filesTableInsertRow(0);
    rows.erase(rows.begin() + 1);
    controller->filesTableRemoveRow(1);
    controller->filesTableEndUpdates();
    EXPECT_EQ(controller->tableView()->numberOfRows(), 2);
    EXPECT_EQ(controller->selectedFile(), beta);

    rows.erase(rows.begin() + 1);
    controller->filesTableRemoveRow(1);
    EXPECT_EQ(controller->selectedRow(), -1);
    EXPECT_EQ(controller->tableView()->numberOfRows(), 1);
}

TEST_F(FilesListTest, ResetSearchClearsTextAndStatusOnlyWhenEitherIsSet)
{
    add("a", "Alpha", 30);
    add("d", "Gone", 30, kNow);
    search();

    controller->changeStatusSearch(-1);
    queue.drain();
    controller->resetSearch();
    queue.drain();
    EXPECT_EQ(controller->filesSearchStatus(), -1) << "the deleted filter alone is kept";
    EXPECT_EQ(names(controller->filesSearchResults()), QStringList{"Gone"});

    controller->changeStatusSearch(30);
    controller->searchField()->setText("Al");
    queue.drain();
    controller->resetSearch();
    EXPECT_EQ(controller->searchField()->text(), "Al") << "the reset waits for a later turn";
    queue.drain();
    EXPECT_EQ(controller->searchField()->text(), "");
    EXPECT_EQ(controller->filesSearchStatus(), 0);
    EXPECT_EQ(controller->searchStatusPopUpButton()->currentData().toLongLong(), 0);
    EXPECT_EQ(names(controller->filesSearchResults()), QStringList{"Alpha"});
}

TEST_F(FilesListTest, RowPopUpAndRestoreButtonReachTheFileState)
{
    auto alpha = add("a", "Alpha", 30);
    auto gone = add("d", "Gone", 30, kNow);
    search();
    controller->changeFileStatus(cell(0), 40);
    controller->changeFileStatus(cell(0), -1);
    controller->restoreFile(cell(0));  // not deleted: nothing
    controller->changeStatusSearch(-1);
    queue.drain();
    controller->restoreFile(cell(0));
    EXPECT_EQ(host.calls, (QStringList{"changeFileStatus 40", "deleteFile", "restoreFile"}));
    EXPECT_EQ(host.changedFiles, (std::vector<std::shared_ptr<QVFile>>{alpha, alpha, gone}));
}

TEST_F(FilesListTest, AFileTheServiceCouldNotTranscribeSaysWhyAndCanBeDeleted)
{
    auto failed = add("f", "Voicemail", 15);
    failed->failureReason = "The file has no sound in it.";
    search();
    QVTableCellViewFile* row = cell(0);
    EXPECT_EQ(row->fileStatusPopup()->currentText(), "Failed");
    EXPECT_TRUE(row->fileStatusPopup()->isEnabled());
    EXPECT_TRUE(row->progressIndicatorProcessing()->isHidden());
    EXPECT_EQ(row->detailsDisplay()->text(), "Not transcribed: The file has no sound in it.");
    const int deleted = row->fileStatusPopup()->findData(QVariant::fromValue<qint64>(-1));
    ASSERT_GE(deleted, 0);
    controller->changeFileStatus(row, row->fileStatusPopup()->itemData(deleted).toLongLong());
    EXPECT_EQ(host.calls, QStringList{"deleteFile"});
    // It cannot be opened: there is no transcript.
    controller->didDoubleClickOnRow(0);
    EXPECT_EQ(host.calls, QStringList{"deleteFile"});
}

// Name edits end with Return (kept), Escape (reverted) or the focus leaving (kept).
TEST_F(FilesListTest, RenameStoresChangedNamesOnlyAndEscapeKeepsTheOldOne)
{
    auto file = add("a", "Alpha", 30);
    search();
    QVFileNameField* field = cell(0)->textField();

    auto edit = [&](const QString& text, Qt::Key key) {
        field->beginEditing();
        field->setText(text);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(field, &press);
        queue.drain();
    };

    edit("Escaped", Qt::Key_Escape);
    EXPECT_EQ(field->text(), "Alpha");
    EXPECT_EQ(file->name, "Alpha");
    EXPECT_TRUE(backend.value("files/a").isNull()) << "nothing written";

    edit("Alpha", Qt::Key_Return);
    EXPECT_TRUE(backend.value("files/a").isNull()) << "an unchanged name is not written";

    edit("Renamed", Qt::Key_Return);
    EXPECT_EQ(file->name, "Renamed");
    EXPECT_EQ(backend.value("files/a/name").toString(), "Renamed");
    EXPECT_GT(backend.value("files/a/updated").toInt(), 0) << "the server's time";

    edit("", Qt::Key_Enter);
    EXPECT_EQ(file->name, "");
    EXPECT_EQ(backend.value("files/a/name").toString("absent"), "");
}

// The table reuses the row's widget for another file while its name is being edited: the
// typed name goes to the file it was typed for, and the other file keeps its own.
TEST_F(FilesListTest, ARowReusedDuringARenameStoresTheNameOnTheFileBeingEdited)
{
    auto alpha = add("a", "Alpha", 30);
    search();
    QVFileNameField* field = cell(0)->textField();
    field->beginEditing();
    field->setText("Alpha final");

    auto fresh = add("b", "Beta", 30);
    std::rotate(ad.files.rbegin(), ad.files.rbegin() + 1, ad.files.rend());
    search();
    EXPECT_EQ(alpha->name, "Alpha final");
    EXPECT_EQ(fresh->name, "Beta");
    EXPECT_EQ(backend.value("files/a/name").toString(), "Alpha final");
    EXPECT_TRUE(backend.value("files/b").isNull());
    EXPECT_EQ(cell(0)->textField()->text(), "Beta");
    EXPECT_EQ(cell(1)->textField()->text(), "Alpha final");
}

TEST(FileRowTest, ThumbnailRatioIsKeptUpTo16By9)
{
    const struct {
        QSize size;
        double ratio;
    } cases[] = {{{400, 300}, 4.0 / 3.0}, {{239, 100}, 16.0 / 9.0}, {{160, 0}, 16.0 / 9.0}, {{160, 90}, 16.0 / 9.0}, {{90, 160}, 0.5625}};
    for (const auto& c : cases) {
        QImage image(c.size, QImage::Format_RGB32);
        EXPECT_DOUBLE_EQ(QVTableCellViewFile::aspectRatioForThumbnail(image), c.ratio) << c.size.width() << "x" << c.size.height();
    }
}

TEST_F(FilesListTest, RowsShowEachFileStateAndForgetThePreviousFileOnReuse)
{
    auto processing = add("p", "Still processing", 20);
    search();
    QVTableCellViewFile* row = cell(0);
    EXPECT_EQ(row->fileStatusPopup()->count(), 1);
    EXPECT_FALSE(row->fileStatusPopup()->isEnabled());
    EXPECT_TRUE(row->hasForbiddenCursor());
    EXPECT_FALSE(row->progressIndicatorProcessing()->isHidden());
    EXPECT_DOUBLE_EQ(row->thumbnailAlpha(), 0.5);

    // The same widget now shows a transcribed file: four items and a separator, not one more.
    processing->status = 30;
    controller->filesTableReloadData();
    row = cell(0);
    EXPECT_EQ(row->fileStatusPopup()->count(), 5);
    EXPECT_EQ(row->fileStatusPopup()->currentText(), "Transcribed");
    EXPECT_TRUE(row->fileStatusPopup()->isEnabled());
    EXPECT_FALSE(row->hasForbiddenCursor());
    EXPECT_TRUE(row->progressIndicatorProcessing()->isHidden());
    EXPECT_DOUBLE_EQ(row->thumbnailAlpha(), 1.0);
    EXPECT_EQ(row->textAppearance(), QVTableCellViewFile::kAppearanceNormal);
    EXPECT_EQ(row->durationDisplay()->text().toStdString(), "1h 02m 03s");

    // A status below processing shows as processing rather than keeping the last file's state.
    processing->status = 10;
    controller->filesTableReloadData();
    row = cell(0);
    EXPECT_EQ(row->fileStatusPopup()->currentText(), "Processing");
    EXPECT_TRUE(row->hasForbiddenCursor());
    EXPECT_EQ(row->textAppearance(), QVTableCellViewFile::kAppearanceProcessing);

    // Offline: a transcribed file's pop-up is disabled.
    processing->status = 40;
    ad.isConnected = false;
    controller->filesTableReloadData();
    EXPECT_FALSE(cell(0)->fileStatusPopup()->isEnabled());
    EXPECT_EQ(cell(0)->fileStatusPopup()->currentText(), "Verified");
}

TEST_F(FilesListTest, DeletedRowsOfferRestoreAndDetailsToolTipsFollowTheFileType)
{
    auto gone = add("d", "Gone", 30, kNow);
    auto media = std::make_shared<QVMediaFile>();
    media->filePath = "/media/take1.mov";
    gone->mediaFiles = {std::make_shared<QVMediaFile>(), media};
    auto multicam = add("m", "Multicam", 30);
    multicam->fileType = QVFileTypeFCPXMulticamClip;
    auto compound = add("c", "Compound", 30);
    compound->fileType = QVFileTypeFCPXCompoundClip;
    compound->fcpxEventName = "Day 1";
    compound->fcpxClipName = "Scene 4";

    controller->changeStatusSearch(-1);
    queue.drain();
    EXPECT_FALSE(cell(0)->restoreButton()->isHidden());
    EXPECT_TRUE(cell(0)->fileStatusPopup()->isHidden());
    EXPECT_EQ(cell(0)->detailsDisplay()->toolTip(), "/media/take1.mov");
    EXPECT_FALSE(cell(0)->textField()->isReadOnly());

    controller->changeStatusSearch(0);
    queue.drain();
    EXPECT_TRUE(cell(0)->restoreButton()->isHidden());
    EXPECT_FALSE(cell(0)->fileStatusPopup()->isHidden());
    EXPECT_EQ(cell(0)->detailsDisplay()->toolTip(), "");
    EXPECT_TRUE(cell(0)->textField()->isReadOnly()) << "only audio and video files are renamed here";
    EXPECT_EQ(cell(1)->detailsDisplay()->toolTip(), "Day 1 > Scene 4");
}

TEST_F(FilesListTest, Screenshot)
{
    auto first = add("a", "Board meeting, 12 March", 30);
    first->thumbnail = QImage(400, 300, QImage::Format_RGB32);
    first->thumbnail.fill(QColor(70, 110, 160));
    add("b", "Interview with the director of photography about the night shoot in the harbour", 40);
    add("c", "Field recording", 20)->fileType = QVFileTypeAudioFile;
    add("d", "Studio session", 50);
    search();
    controller->selectRow(1);
    saveScreenshot(*controller->view(), "files-list");

    ad.files.clear();
    search();
    saveScreenshot(*controller->view(), "files-list-empty");
}

}  // namespace
