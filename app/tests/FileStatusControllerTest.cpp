#include "ShellFixture.h"

#include "platform/foundation/UndoManager.h"

namespace {

using qv::DatabaseValue;

class FileStatusTest : public ShellFixture {
protected:
    FileStatusTest() : mac(addComputer("SYSA"))
    {
        backend.setValue("files/F1", fileRecord("UID1", 40, 1));
        file = fileFromRecord({}, "F1", mac.ad.filesMetadataRef.child("F1"));
        file->status = 40;
        mac.ad.currentFile = file;
        mac.ad.files = {file};
        mac.services.rows = {file};
        mac.ad.undoManager = std::make_shared<qv::UndoManager>(queue);
        queue.drain();
        mac.services.calls.clear();
    }
    std::int64_t counter(std::string_view path) { return backend.value(path).toInt(-1); }
    qv::FileStatusController& shell() { return mac.shell.fileStatus; }

    Computer& mac;
    std::shared_ptr<QVFile> file;
};

TEST_F(FileStatusTest, ChangeFileWritesANewStatusOnly)
{
    shell().changeFile(file, 50, true);
    queue.drain();
    EXPECT_EQ(file->status, 50);
    EXPECT_EQ(backend.value("files/F1/status").toInt(), 50);
    EXPECT_EQ(backend.value("files/F1/owner").toString(), "UID1");
    EXPECT_EQ(backend.value("files/F1/updated").toInt(), kTestNow);
    EXPECT_EQ(mac.services.calls, QStringList{"reload 0"});
    EXPECT_GT(file->syncedTranscriptEvictionTime, 0);

    // An export of a file already exported writes nothing, not even `updated`.
    backend.setValue("files/F1/updated", DatabaseValue(1));
    shell().changeFile(file, 50, true);
    queue.drain();
    EXPECT_EQ(backend.value("files/F1/updated").toInt(), 1);
    EXPECT_EQ(mac.services.calls.size(), 1);

    // The row's own pop-up asks for no reload.
    shell().changeFile(file, 40, false);
    queue.drain();
    EXPECT_EQ(mac.services.calls.size(), 1);
    shell().changeFile(nullptr, 50, true);
}

TEST_F(FileStatusTest, DeleteAndRestoreMarkTheRecordAndTakeTheRowOutLater)
{
    shell().deleteFile(file);
    queue.drain();
    EXPECT_EQ(file->deleted, 1);
    EXPECT_EQ(backend.value("files/F1/deleted").toInt(), kTestNow);
    EXPECT_TRUE(mac.services.calls.isEmpty());
    queue.advance(qv::kFileRowRemovalDelay);
    EXPECT_EQ(mac.services.calls, QStringList{"removeThenSearch 0"});

    mac.services.rows = {file};
    shell().restoreFile(file);
    queue.advance(qv::kFileRowRemovalDelay);
    EXPECT_EQ(file->deleted, 0);
    EXPECT_TRUE(backend.value("files/F1/deleted").isNull());
    EXPECT_EQ(backend.value("files/F1/status").toInt(), 40);
    EXPECT_EQ(mac.services.count("removeThenSearch 0"), 2);
}

TEST_F(FileStatusTest, ExportCountsByType)
{
    shell().incrementExportCountForType(qv::ExportTypeSubRip, file);
    shell().incrementExportCountForType(qv::ExportTypeSubRip, file);
    shell().incrementExportCountForType(qv::ExportTypeWord, nullptr);
    shell().incrementExportCountForType(10, file);
    shell().incrementExportCountForType(-1, nullptr);
    queue.drain();
    EXPECT_EQ(counter("files/F1/export_count/subrip"), 2);
    EXPECT_EQ(counter("stats/export_count/subrip"), 2);
    EXPECT_EQ(counter("files/F1/export_count/word"), -1);
    EXPECT_EQ(counter("stats/export_count/word"), 1);
    EXPECT_EQ(counter("files/F1/export_count/unknown"), 1);
    EXPECT_EQ(counter("stats/export_count/unknown"), 2);
}

TEST_F(FileStatusTest, CaptionModeCountersAndWrapping)
{
    shell().logCaptionExportTypeIsAuto(true);
    shell().logCaptionExportTypeIsAuto(false);
    backend.setValue("stats/export_count/pdf", std::int64_t(2147483647));
    shell().incrementExportCountForType(qv::ExportTypePDF, nullptr);
    queue.drain();
    EXPECT_EQ(counter("stats/export_count/caption_auto"), 1);
    EXPECT_EQ(counter("stats/export_count/caption_sentences"), 1);
    EXPECT_EQ(counter("stats/export_count/caption_sentences_users/UID1"), 1);
    EXPECT_EQ(counter("stats/export_count/pdf"), -2147483648LL);
}

TEST(ExportTypeKeyTest, NamesEveryCode)
{
    const std::vector<const char*> keys = {"avid_ds", "avid_script", "fcpx_xml", "fcpx_roundtrip", "itunes_timed_text",
                                           "pdf",     "plain_text",  "print",    "subrip",         "word"};
    for (int32_t code = 0; code < 10; ++code)
        EXPECT_STREQ(qv::FileStatusController::exportTypeKey(code), keys[size_t(code)]);
    EXPECT_STREQ(qv::FileStatusController::exportTypeKey(10), "unknown");
    EXPECT_STREQ(qv::FileStatusController::exportTypeKey(-1), "unknown");
}

}  // namespace
