#include "export/DatabaseExportShell.h"

#include "app/AppDelegate.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/UndoManager.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

constexpr int64_t kServerNow = 1'700'000'000'000;

class DatabaseExportShellTest : public ::testing::Test {
protected:
    DatabaseExportShellTest()
        : backend(DatabaseBackend::Options{{}, [] { return kServerNow; }}),
          client(backend, main),
          shell(ad, [this](const std::shared_ptr<QVFile>& f) { reloaded.push_back(f->uuid); }) {
        ad.fbRef = client.root();
        ad.filesMetadataRef = client.reference("files");
        ad.statsMetadataRef = client.reference("stats");
        ad.undoManager = std::make_shared<UndoManager>(main);
        ad.currentUser = User{"U1", "host@example.com", true};
        file = std::make_shared<QVFile>();
        file->uuid = "F1";
        file->status = 40;
        file->fileMetadataRef = ad.filesMetadataRef.child("F1");
        ad.currentFile = file;
        main.drain();
    }

    int64_t counter(std::string_view path) { return backend.value(path).toInt(-1); }

    ManualDispatcher main;
    DatabaseBackend backend;
    DatabaseClient client;
    AppDelegate ad;
    std::vector<QString> reloaded;
    DatabaseExportShell shell;
    std::shared_ptr<QVFile> file;
};

TEST_F(DatabaseExportShellTest, ChangeFileWritesANewStatusOnly) {
    shell.changeFile(file, 50, true);
    main.drain();
    EXPECT_EQ(file->status, 50);
    EXPECT_EQ(backend.value("files/F1/status").toInt(), 50);
    EXPECT_EQ(backend.value("files/F1/updated").toInt(), kServerNow);
    EXPECT_EQ(reloaded, std::vector<QString>{"F1"});
    EXPECT_GT(file->syncedTranscriptEvictionTime, 0);

    backend.setValue("files/F1/updated", DatabaseValue(1));
    shell.changeFile(file, 50, true);
    main.drain();
    EXPECT_EQ(backend.value("files/F1/updated").toInt(), 1);
    EXPECT_EQ(reloaded.size(), 1u);

    shell.changeFile(file, 40, false);
    main.drain();
    EXPECT_EQ(reloaded.size(), 1u);
    shell.changeFile(nullptr, 50, true);
}

TEST_F(DatabaseExportShellTest, ExportCountsByType) {
    shell.incrementExportCountForType(ExportTypeSubRip, file);
    shell.incrementExportCountForType(ExportTypeSubRip, file);
    shell.incrementExportCountForType(ExportTypeWord, nullptr);
    shell.incrementExportCountForType(10, file);
    shell.incrementExportCountForType(-1, nullptr);
    main.drain();
    EXPECT_EQ(counter("files/F1/export_count/subrip"), 2);
    EXPECT_EQ(counter("stats/export_count/subrip"), 2);
    EXPECT_EQ(counter("files/F1/export_count/word"), -1);
    EXPECT_EQ(counter("stats/export_count/word"), 1);
    EXPECT_EQ(counter("files/F1/export_count/unknown"), 1);
    EXPECT_EQ(counter("stats/export_count/unknown"), 2);
}

TEST_F(DatabaseExportShellTest, CaptionModeCounters) {
    shell.logCaptionExportTypeIsAuto(true);
    shell.logCaptionExportTypeIsAuto(false);
    main.drain();
    EXPECT_EQ(counter("stats/export_count/caption_auto"), 1);
    EXPECT_EQ(counter("stats/export_count/caption_sentences"), 1);
    EXPECT_EQ(counter("stats/export_count/caption_sentences_users/U1"), 1);
}

TEST(ExportTypeKeyTest, NamesEveryCode) {
    const std::vector<const char*> keys = {"avid_ds", "avid_script", "fcpx_xml", "fcpx_roundtrip", "itunes_timed_text",
                                           "pdf",     "plain_text",  "print",    "subrip",         "word"};
    for (int32_t code = 0; code < 10; ++code) EXPECT_STREQ(exportTypeKey(code), keys[size_t(code)]);
    EXPECT_STREQ(exportTypeKey(10), "unknown");
    EXPECT_STREQ(exportTypeKey(-1), "unknown");
}

}  // namespace
}  // namespace qv
