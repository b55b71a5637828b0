#include "RtdbTestSupport.h"

#include "platform/foundation/Log.h"

#include <csignal>
#include <fstream>
#include <sys/resource.h>

namespace qv::testing {
namespace {

class Persistence : public DatabaseFixture {
protected:
    std::unique_ptr<DatabaseBackend> openBackend()
    {
        return std::make_unique<DatabaseBackend>(DatabaseBackend::Options{folder.path() / "server", [this] { return clockMs; }});
    }
    std::unique_ptr<DatabaseClient> makeStoredClient(DatabaseBackend& server, bool online)
    {
        auto options = clientOptions();
        options.persistenceFolder = folder.path() / "client";
        options.startOnline = online;
        return std::make_unique<DatabaseClient>(server, queue, options);
    }

    TemporaryFolder folder;
};

TEST_F(Persistence, TheBackendKeepsItsTreeAcrossARestart)
{
    {
        auto server = openBackend();
        auto client = makeStoredClient(*server, true);
        queue.drain();
        client->reference("users/U1").updateChildValues({{"email", "a@b.example"}, {"created", DatabaseValue::serverTimestamp()}});
        client->reference("files/F1").setValue(DatabaseValue::object({{"name", "Interview"}, {"deleted", false}, {"ratio", 0.5}}));
        client->reference("files/F1/name").setValue("Interview 2");
        queue.drain();
        client.reset();
        queue.drain();
    }
    auto server = openBackend();
    EXPECT_EQ(server->value("users/U1"), DatabaseValue::object({{"email", "a@b.example"}, {"created", clockMs}}));
    EXPECT_EQ(server->value("files/F1"),
              DatabaseValue::object({{"name", "Interview 2"}, {"deleted", false}, {"ratio", 0.5}}));
}

TEST_F(Persistence, AKillDuringAWriteLosesOnlyThatWrite)
{
    auto storeFolder = folder.path() / "server";
    {
        auto server = openBackend();
        server->setValue("a", 1);
        server->setValue("b", DatabaseValue::object({{"c", "text"}}));
        // Simulate a kill before the destructor's snapshot: copy the files as they are now.
        std::filesystem::copy(storeFolder, folder.path() / "killed");
    }
    std::filesystem::remove_all(storeFolder);
    std::filesystem::rename(folder.path() / "killed", storeFolder);
    {
        std::ofstream torn(storeFolder / "writes.log", std::ios::app);
        torn << "[99,[[\"a\",2]";  // the write that was under way
    }
    auto server = openBackend();
    EXPECT_EQ(server->value(""), DatabaseValue::object({{"a", 1}, {"b", DatabaseValue::object({{"c", "text"}})}}));
    server->setValue("d", true);
    server.reset();
    EXPECT_EQ(openBackend()->value("d"), DatabaseValue(true));
}

TEST_F(Persistence, AWriteTheDiskRefusesHalfwayCostsOnlyThatWrite)
{
    auto storeFolder = folder.path() / "server";
    auto server = openBackend();
    server->setValue("a", 1);
    // A file-size limit stands for a full disk: the log takes part of the next line, and the
    // snapshot written instead does not fit either.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit full = limit;
    full.rlim_cur = std::filesystem::file_size(storeFolder / "writes.log") + 40;
    auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    auto previousSink = setLogSink([](LogLevel, std::string_view) {});
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    server->setValue("big", std::string(4096, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previousSignal);
    setLogSink(previousSink);
    server->setValue("c", 3);
    std::filesystem::copy(storeFolder, folder.path() / "killed");
    server.reset();

    std::filesystem::remove_all(storeFolder);
    std::filesystem::rename(folder.path() / "killed", storeFolder);
    EXPECT_EQ(openBackend()->value(""), DatabaseValue::object({{"a", 1}, {"c", 3}}));
}

TEST_F(Persistence, ADamagedSnapshotIsMovedAsideNotOverwritten)
{
    std::filesystem::create_directories(folder.path() / "server");
    {
        std::ofstream damaged(folder.path() / "server" / "tree.json");
        damaged << "{\"seq\":3,\"root\":{\"a\":";
    }
    auto previous = setLogSink([](LogLevel, std::string_view) {});
    auto server = openBackend();
    setLogSink(previous);
    EXPECT_TRUE(server->value("").isNull());
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "server" / "tree.json.damaged"));
}

TEST_F(Persistence, QueuedWritesAndTheCacheSurviveAClientRestart)
{
    auto server = openBackend();
    server->setValue("transcripts/T1/words/w1", DatabaseValue::object({{"name", "hello"}, {"start", 10}}));
    {
        auto client = makeStoredClient(*server, true);
        client->reference("transcripts/T1").keepSynced(true);
        queue.drain();
        queue.advance(2);  // the cache is written a moment after the last change
        client->goOffline();
        client->reference("transcripts/T1/words/w1/name").setValue("Hello,");
        client->reference("files/T1/updated").setValue(DatabaseValue::serverTimestamp());
        queue.drain();
    }
    server->setValue("transcripts/T1/words/w2", DatabaseValue::object({{"name", "world"}, {"start", 20}}));

    auto client = makeStoredClient(*server, false);
    client->reference("transcripts/T1/words").observe(DatabaseEvent::Value, recorder.callback("words"));
    queue.drain();
    // Offline, the cache and the queued writes give the last known state.
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"words:words={\"w1\":{\"name\":\"Hello,\",\"start\":10}}"}));
    clockMs += 1000;
    client->goOnline();
    queue.drain();
    EXPECT_EQ(server->value("transcripts/T1/words/w1/name"), DatabaseValue("Hello,"));
    EXPECT_EQ(server->value("files/T1/updated"), DatabaseValue(clockMs));
    EXPECT_EQ(recorder.take(),
              (std::vector<std::string>{
                  "words:words={\"w1\":{\"name\":\"Hello,\",\"start\":10},\"w2\":{\"name\":\"world\",\"start\":20}}"}));
}

TEST_F(Persistence, DamagedQueuedWritesOnDiskAreDroppedNotSentElsewhere)
{
    auto server = openBackend();
    server->setValue("files/F1/name", "original");
    std::filesystem::create_directories(folder.path() / "client");
    {
        // Entries without a path would otherwise write the root; the bad key is refused as
        // any write would be; the group after them is sound.
        std::ofstream queued(folder.path() / "client" / "pending.json");
        queued << R"([[[5]], [{"1":2}], [["files/F1/a.b",1]], "x", [], [["files/F1/status",30]]])";
    }
    auto previous = setLogSink([](LogLevel, std::string_view) {});
    auto client = makeStoredClient(*server, true);
    queue.drain();
    setLogSink(previous);
    EXPECT_EQ(server->value(""), DatabaseValue::object({{"files", DatabaseValue::object({{"F1", DatabaseValue::object({
                                                                  {"name", "original"}, {"status", 30}})}})}}));
}

TEST_F(Persistence, TheCacheFolderMayVanishWhileTheClientRuns)
{
    auto server = openBackend();
    auto client = makeStoredClient(*server, true);
    client->reference("files").keepSynced(true);
    queue.drain();
    auto previous = setLogSink([](LogLevel, std::string_view) {});
    std::filesystem::remove_all(folder.path() / "client");
    client->goOffline();
    client->reference("files/F1/name").setValue("kept");
    queue.advance(2);
    setLogSink(previous);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "client" / "pending.json"));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "client" / "cache.json"));
    client->goOnline();
    queue.drain();
    EXPECT_EQ(server->value("files/F1/name"), DatabaseValue("kept"));
}

}  // namespace
}  // namespace qv::testing
