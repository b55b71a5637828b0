// The relink sheet: a clip is paired with one transcript at most, Export renames the paired
// transcripts after their clips and sends the library back, Cancel ends the drop.
#include "fcpx/QVRelinkComplexClipsWC.h"
#include "fcpx/tests/LibraryFixture.h"
#include "model/AppDelegate.h"
#include "model/QVFile.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

using namespace fcpx_test;
using V = qv::DatabaseValue;

namespace {

// Ends the application when the tests end, before the static objects go (fonts and input
// devices are released with it).
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

void ensureWidgetsApplication()
{
    static int argc = 1;
    static char name[] = "qv_fcpx_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    new QApplication(argc, argv);
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
}

}  // namespace

class RelinkSheetTest : public ::testing::Test {
public:
    RelinkSheetTest() : backend(qv::DatabaseBackend::Options{}), client(backend, main, {})
    {
        ensureWidgetsApplication();
        ad.droppedXMLDoc = parsed(libraryXML("", "<mc-clip name=\"Interview multicam\" ref=\"m1\"/><sync-clip name=\"Synced take\"/>"));
        ad.droppedClipsToRelink = ad.droppedXMLDoc->rootElement()->elementsForXPath(".//event/*");
        for (const char* uuid : {"F1", "F2", "F3"}) {
            auto file = std::make_shared<QVFile>();
            file->uuid = uuid;
            file->name = QStringLiteral("Transcript %1").arg(uuid);
            file->fileMetadataRef = client.reference("files").child(uuid);
            file->fileMetadataRef.setValue(V::object({{"name", uuid}, {"fcpx_uid", "OLD"}}));
            ad.filesToRelink.push_back(file);
        }
        ad.filesToRelink[0]->fcpxUID = "OLD";
        main.drain();
        sheet = std::make_unique<QVRelinkComplexClipsWC>(ad, main, QVRelinkComplexClipsWC::Services{[this] { ++sendBacks; }},
                                                         nullptr);
        sheet->showRelinkSynchronizedClipsWindow();
        main.advance(0.2);
    }

    void choose(int row, int clip)
    {
        sheet->popup(row)->setCurrentIndex(clip + 1);
        sheet->didChangeClipPopup(row);
        main.drain();
    }

    V stored(const char* path)
    {
        V value;
        client.reference(path).observeSingleEvent([&](const qv::DataSnapshot& snapshot) { value = snapshot.value(); });
        main.drain();
        return value;
    }

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    AppDelegate ad;
    int sendBacks = 0;
    std::unique_ptr<QVRelinkComplexClipsWC> sheet;
};

TEST_F(RelinkSheetTest, AClipGoesToOneTranscriptAndExportRenamesIt)
{
    ASSERT_TRUE(sheet->window()->isVisible());
    ASSERT_EQ(sheet->tableView()->rowCount(), 3);
    QStringList items;
    for (int i = 0; i < sheet->popup(0)->count(); ++i)
        items.append(sheet->popup(0)->itemText(i));
    EXPECT_EQ(items, (QStringList{"Not Set", "Interview multicam", "Synced take"}));
    EXPECT_EQ(sheet->tableView()->item(2, 0)->text(), "Transcript F3");

    choose(0, 0);
    choose(1, 0);
    EXPECT_EQ(sheet->popup(0)->currentText(), "Not Set");
    choose(2, 1);
    if (const char* shots = getenv("QV_SCREENSHOT_DIR"))
        sheet->window()->grab().save(QDir(shots).filePath("relink-sheet.png"));
    // Transcript F1 goes back to Not Set; F2 gets the multicam clip, F3 the synchronized one.
    choose(0, 1);
    EXPECT_EQ(sheet->popup(2)->currentText(), "Not Set");
    sheet->exportButton()->click();

    EXPECT_FALSE(sheet->window()->isVisible());
    EXPECT_EQ(sendBacks, 1);
    ASSERT_EQ(ad.droppedClipsToExport.size(), 2u);
    const auto& first = ad.droppedClipsToRelink;
    EXPECT_TRUE(ad.droppedClipsToExport.contains(first[0]));
    EXPECT_TRUE(ad.droppedClipsToExport.contains(first[1]));
    EXPECT_TRUE(ad.filesToRelink.empty());
    EXPECT_EQ(stored("files/F2/fcpx_event_name").toString(), "Day 1");
    EXPECT_EQ(stored("files/F2/fcpx_clip_name").toString(), "Interview multicam");
    EXPECT_EQ(stored("files/F1/fcpx_clip_name").toString(), "Synced take");
    // The uid that F1 carried is gone, here and in its record; F3 was not paired and keeps all.
    EXPECT_TRUE(stored("files/F1/fcpx_uid").isNull());
    EXPECT_EQ(stored("files/F3/fcpx_uid").toString(), "OLD");
    EXPECT_TRUE(stored("files/F3/fcpx_clip_name").isNull());
}

TEST_F(RelinkSheetTest, CancelOrNothingPairedEndsTheDrop)
{
    for (const bool cancel : {true, false}) {
        choose(0, 0);
        if (cancel) {
            sheet->cancelButton()->click();
        } else {
            sheet->popup(0)->setCurrentIndex(0);
            sheet->exportButton()->click();
        }
        EXPECT_EQ(sendBacks, 0) << cancel;
        EXPECT_FALSE(ad.droppedXMLDoc) << cancel;
        EXPECT_TRUE(ad.droppedClipsToExport.empty()) << cancel;
        EXPECT_TRUE(stored("files/F1/fcpx_clip_name").isNull()) << cancel;
        // Set up again for the other way out.
        ad.droppedXMLDoc = parsed(libraryXML("", "<mc-clip name=\"Interview multicam\" ref=\"m1\"/><sync-clip name=\"Synced take\"/>"));
        ad.droppedClipsToRelink = ad.droppedXMLDoc->rootElement()->elementsForXPath(".//event/*");
        ad.filesToRelink = {std::make_shared<QVFile>()};
        sheet->showRelinkSynchronizedClipsWindow();
        main.advance(0.2);
    }
}
