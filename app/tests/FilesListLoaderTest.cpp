#include "ShellFixture.h"

#include "platform/foundation/Log.h"

namespace {

using qv::DatabaseValue;

class FilesListLoaderTest : public ShellFixture {
protected:
    // The service lists a new file of the account.
    void serviceAdds(const std::string& uuid, std::int64_t status, std::int64_t created, bool deleted = false)
    {
        DatabaseValue record = fileRecord("UID1", status, created);
        if (deleted)
            record = record.withChild("deleted", kTestNow);
        backend.setValue("files/" + uuid, record);
        backend.setValue("users/UID1/files/" + uuid, true);
    }
    QStringList uuids(const std::vector<std::shared_ptr<QVFile>>& files)
    {
        QStringList out;
        for (const auto& file : files)
            out << file->uuid;
        return out;
    }
};

TEST_F(FilesListLoaderTest, AnEmptyAccountFinishesAtOnceAndFollowsTheList)
{
    Computer& mac = addComputer("SYSA");
    EXPECT_EQ(mac.ad.userFilesStillToLoad, 0);
    EXPECT_EQ(mac.services.count("refreshFilesUI"), 1 + mac.services.count("reloadFiles"));
    serviceAdds("F1", 30, 5);
    const int refreshes = mac.services.count("refreshFilesUI");
    queue.advance(0.2);
    EXPECT_EQ(uuids(mac.ad.files), QStringList{"F1"});
    EXPECT_EQ(uuids(mac.services.rows), QStringList{"F1"});
    // The list's no-files message is reconsidered for the first row, and for the last one going.
    EXPECT_EQ(mac.services.count("refreshFilesUI"), refreshes + 1);
    backend.setValue("users/UID1/files/F1", DatabaseValue());
    queue.advance(0.2);
    EXPECT_TRUE(mac.services.rows.empty());
    EXPECT_EQ(mac.services.count("refreshFilesUI"), refreshes + 2);
}

TEST_F(FilesListLoaderTest, FirstLoadSortsNewestFirstCachesUnfinishedAndSkipsMissingRecords)
{
    std::vector<std::string> logged;
    auto previous = qv::setLogSink([&](qv::LogLevel, std::string_view message) { logged.emplace_back(message); });
    serviceAdds("OLD", 30, 1);
    serviceAdds("NEW", 20, 9);
    serviceAdds("MID", 40, 5);
    backend.setValue("users/UID1/files/GONE", true);
    Computer& mac = addComputer("SYSA");
    qv::setLogSink(previous);

    EXPECT_EQ(uuids(mac.ad.files), (QStringList{"NEW", "MID", "OLD"}));
    EXPECT_EQ(mac.ad.userFilesStillToLoad, 0);
    EXPECT_EQ(logged, std::vector<std::string>{"file data for GONE could not be found"});
    ASSERT_EQ(mac.ad.syncedTranscripts.size(), 1u);
    EXPECT_EQ(mac.ad.syncedTranscripts.first()->uuid, "NEW");
    EXPECT_EQ(mac.ad.syncedTranscripts.first()->syncedTranscriptEvictionTime, qv::kNeverEvict);
    EXPECT_TRUE(mac.preferences.boolForKey("QVBetaLegacyFilesMigrationComplete"));
    // The existing keys reported by the add observer change nothing.
    queue.advance(0.2);
    EXPECT_EQ(mac.ad.files.size(), 3u);
    EXPECT_EQ(mac.services.count("insert 0"), 0);
}

TEST_F(FilesListLoaderTest, AListedFileFollowsItsRecordsDurationNameAndStatus)
{
    Computer& mac = addComputer("SYSA");
    serviceAdds("F1", 20, 5);
    queue.advance(0.2);
    ASSERT_EQ(mac.services.rows.size(), 1u);
    const auto file = mac.ad.files.front();
    EXPECT_EQ(file->duration, 0);
    mac.services.calls.clear();

    // The worker finishes the file while the list is open.
    backend.setValue("transcripts/F1/words/W1/name", "hello");
    queue.advance(0.2);
    backend.updateChildValues("files/F1", {{"duration", 7250}, {"status", 30}, {"name", "Interview"}});
    queue.advance(0.2);
    EXPECT_EQ(file->duration, 7250);
    EXPECT_EQ(file->name, "Interview");
    EXPECT_EQ(file->status, 30);
    // The step to transcribed stays the cache's: the new transcript is kept for a while.
    EXPECT_NE(file->syncedTranscriptEvictionTime, qv::kNeverEvict);
    EXPECT_GE(mac.services.count("reload 0"), 1);

    // Another computer marks it verified; a change elsewhere in the record reloads nothing.
    backend.setValue("files/F1/status", 40);
    queue.advance(0.2);
    EXPECT_EQ(file->status, 40);
    mac.services.calls.clear();
    backend.setValue("files/F1/export_count/subrip", 1);
    queue.advance(0.2);
    EXPECT_EQ(mac.services.count("reload 0"), 0);
}

TEST_F(FilesListLoaderTest, ABurstOfAdditionsIsOneUpdate)
{
    Computer& mac = addComputer("SYSA");
    mac.services.calls.clear();
    for (int i = 0; i < 10; ++i) {
        serviceAdds("F" + std::to_string(i), 30, 100 + i);
        queue.advance(0.005);
    }
    // The last report came at 0.045 s.
    queue.advance(0.09);
    EXPECT_EQ(mac.services.count("beginUpdates"), 0);
    queue.advance(0.01);
    EXPECT_EQ(mac.services.count("beginUpdates"), 1);
    EXPECT_EQ(mac.ad.files.size(), 10u);
    EXPECT_EQ(mac.services.calls.filter("insert ").size(), 10);
    EXPECT_EQ(mac.ad.files.front()->uuid, "F9");
}

TEST_F(FilesListLoaderTest, NewFilesJoinTheRowsTheFilterShows)
{
    const struct {
        std::int64_t filter;
        std::int64_t status;
        bool deleted;
        bool shown;
    } cases[] = {
        {50, 50, false, true}, {50, 30, false, false}, {0, 30, false, true},   {-1, 40, true, true},
        {0, 40, true, false},  {0, 20, false, true},   {20, 10, false, true}, {30, 20, false, false},
        {-1, 20, false, false},
    };
    Computer& mac = addComputer("SYSA");
    int n = 0;
    for (const auto& test : cases) {
        mac.services.searchStatus = test.filter;
        mac.services.rows.clear();
        const std::string uuid = "F" + std::to_string(n++);
        serviceAdds(uuid, test.status, n, test.deleted);
        queue.advance(0.2);
        EXPECT_TRUE(listed(mac, QString::fromStdString(uuid)));
        EXPECT_EQ(mac.services.rows.size(), test.shown ? 1u : 0u) << test.filter << " " << test.status;
        EXPECT_EQ(mac.ad.syncedTranscripts.contains(listed(mac, QString::fromStdString(uuid))), test.status <= 29);
    }
}

TEST_F(FilesListLoaderTest, RemovalsAndRacesWithTheRecordRead)
{
    serviceAdds("KEEP", 30, 1);
    serviceAdds("DROP", 20, 2);
    Computer& mac = addComputer("SYSA");
    mac.services.rows = mac.ad.files;
    mac.services.calls.clear();

    backend.setValue("users/UID1/files/DROP", nullptr);
    queue.advance(0.2);
    EXPECT_EQ(uuids(mac.ad.files), QStringList{"KEEP"});
    EXPECT_EQ(uuids(mac.services.rows), QStringList{"KEEP"});
    EXPECT_EQ(mac.services.count("remove 0"), 1);
    EXPECT_TRUE(mac.ad.syncedTranscripts.empty());

    // Added, then removed again before its record arrives: not listed.
    backend.setValue("files/RACE", fileRecord("UID1", 30, 3));
    backend.setValue("users/UID1/files/RACE", true);
    queue.advance(0.15);
    backend.setValue("users/UID1/files/RACE", nullptr);
    queue.advance(0.2);
    EXPECT_FALSE(listed(mac, "RACE"));

    // Two files with the same time: the one added later stands first.
    serviceAdds("TWIN1", 30, 7);
    queue.advance(0.2);
    serviceAdds("TWIN2", 30, 7);
    queue.advance(0.2);
    EXPECT_EQ(uuids(mac.ad.files).mid(0, 2), (QStringList{"TWIN2", "TWIN1"}));
}

TEST_F(FilesListLoaderTest, AFileAwaitedByALibraryDropSendsItBack)
{
    Computer& mac = addComputer("SYSA");
    // The library document stays opaque here: only its presence matters.
    static int library;
    mac.ad.droppedXMLDoc = std::shared_ptr<QVXMLDocument>(reinterpret_cast<QVXMLDocument*>(&library), [](QVXMLDocument*) {});
    mac.ad.droppedFilesAwaitingProcessing = {"P1", "P2"};
    mac.ad.filesAwaitingCreation = {"P1", "P2"};
    serviceAdds("P1", 20, 1);
    queue.advance(0.2);
    EXPECT_EQ(mac.ad.droppedFilesAwaitingProcessing, QStringList{"P2"});
    EXPECT_EQ(mac.services.count("sendBackDroppedXML"), 0);
    EXPECT_EQ(mac.services.count("enableSearch"), 0);
    serviceAdds("P2", 20, 2);
    queue.advance(0.2);
    EXPECT_EQ(mac.services.count("sendBackDroppedXML"), 1);
    EXPECT_EQ(mac.services.count("enableSearch"), 1);
    EXPECT_TRUE(mac.ad.filesAwaitingCreation.isEmpty());
}

}  // namespace
