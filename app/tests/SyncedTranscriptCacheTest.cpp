#include "ShellFixture.h"

namespace {

using qv::DatabaseValue;

class SyncedTranscriptCacheTest : public ShellFixture {
protected:
    SyncedTranscriptCacheTest() : mac(addComputer("SYSA")) {}

    std::shared_ptr<QVFile> listFile(const std::string& uuid, std::int64_t status)
    {
        backend.setValue("files/" + uuid, fileRecord("UID1", status, 1));
        auto file = fileFromRecord({}, QString::fromStdString(uuid), mac.ad.filesMetadataRef.child(uuid));
        file->status = status;
        mac.ad.files.push_back(file);
        mac.services.rows.push_back(file);
        return file;
    }
    qv::SyncedTranscriptCache& cache() { return mac.shell.cache; }

    Computer& mac;
};

TEST_F(SyncedTranscriptCacheTest, ATranscriptionFinishingHereMarksTheFileAndKeepsItSynced)
{
    auto file = listFile("F1", 20);
    file->syncedTranscriptEvictionTime = qv::kNeverEvict;
    cache().addFileToSyncedTranscripts(file);
    cache().addFileToSyncedTranscripts(file);
    queue.drain();
    EXPECT_EQ(mac.ad.syncedTranscripts.size(), 1u);

    // 40 without 30 first does not end the watch; 30 does, once.
    backend.setValue("transcripts/F1", DatabaseValue::object({{"words", "…"}}));
    backend.setValue("files/F1/status", 40);
    queue.drain();
    EXPECT_EQ(file->status, 20);
    backend.setValue("files/F1/status", 30);
    queue.drain();
    EXPECT_EQ(file->status, 30);
    EXPECT_EQ(file->syncedTranscriptEvictionTime, double(kTestNow) / 1000 + 900);
    EXPECT_EQ(mac.services.count("reload 0"), 1);
    backend.setValue("files/F1/status", 20);
    backend.setValue("files/F1/status", 30);
    queue.drain();
    EXPECT_EQ(file->status, 30);
    EXPECT_EQ(mac.services.count("reload 0"), 1);

    // Kept through the quarter hour, dropped by the sweep after it.
    now += 899'000;
    cache().evictExpiredSyncedTranscripts();
    EXPECT_TRUE(mac.ad.syncedTranscripts.contains(file));
    now += 2'000;
    cache().evictExpiredSyncedTranscripts();
    EXPECT_FALSE(mac.ad.syncedTranscripts.contains(file));
    EXPECT_FALSE(file->transcriptMetadataRef.isValid());
    EXPECT_EQ(file->syncedTranscriptEvictionTime, 0);
}

TEST_F(SyncedTranscriptCacheTest, AFileTheServiceGivesUpOnIsMarkedFailedWithItsReason)
{
    auto file = listFile("F1", 20);
    file->syncedTranscriptEvictionTime = qv::kNeverEvict;
    cache().addFileToSyncedTranscripts(file);
    queue.drain();
    EXPECT_EQ(file->status, 20);
    // The worker writes both in one update; no transcript follows.
    backend.updateChildValues("files/F1", {{"status", 15}, {"failure_reason", "The file has no sound in it."}});
    queue.drain();
    EXPECT_EQ(file->status, 15);
    EXPECT_EQ(file->failureReason, "The file has no sound in it.");
    EXPECT_EQ(mac.services.count("reload 0"), 1);
}

TEST_F(SyncedTranscriptCacheTest, TheSweepKeepsTheOpenFileAndUnfinishedOnes)
{
    auto open = listFile("OPEN", 30);
    auto unchanged = listFile("UNCHANGED", 30);
    auto unfinished = listFile("UNFINISHED", 10);
    auto stale = listFile("STALE", 40);
    open->syncedTranscriptEvictionTime = 1;
    unfinished->syncedTranscriptEvictionTime = 1;
    stale->syncedTranscriptEvictionTime = 1;
    for (const auto& file : {open, unchanged, unfinished, stale})
        cache().addFileToSyncedTranscripts(file);
    mac.ad.currentFile = open;
    cache().startEvictionTimer();
    queue.advance(qv::kSyncedTranscriptSweepInterval);
    EXPECT_EQ(mac.ad.syncedTranscripts.size(), 2u);
    EXPECT_TRUE(mac.ad.syncedTranscripts.contains(open));
    EXPECT_TRUE(mac.ad.syncedTranscripts.contains(unfinished));

    // Left without a change, the formerly open file goes at the next sweep after another opens.
    open->syncedTranscriptEvictionTime = 0;
    mac.ad.currentFile = unchanged;
    queue.advance(qv::kSyncedTranscriptSweepInterval);
    EXPECT_FALSE(mac.ad.syncedTranscripts.contains(open));
}

TEST_F(SyncedTranscriptCacheTest, ChangingTheOpenFileStampsItAndExtendsItsStay)
{
    cache().updateCurrentFileTimestamp();
    auto file = listFile("F1", 30);
    mac.ad.currentFile = file;
    now += 5'000;
    cache().updateCurrentFileTimestamp();
    queue.drain();
    EXPECT_EQ(backend.value("files/F1/updated").toInt(), kTestNow + 5'000);
    EXPECT_EQ(file->syncedTranscriptEvictionTime, double(kTestNow + 5'000) / 1000 + 900);
}

}  // namespace
