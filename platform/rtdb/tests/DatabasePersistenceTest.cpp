#include "RtdbTestSupport.h"

#include "platform/foundation/Log.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

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

TEST_F(Persistence, AWriteTheDiskRefusesFailsAndChangesNothing)
{
    auto storeFolder = folder.path() / "server";
    auto server = openBackend();
    server->setValue("a", 1);
    auto client = makeStoredClient(*server, true);
    client->reference("a").observe(DatabaseEvent::Value, recorder.callback("a"));
    queue.drain();
    recorder.take();
    // A file-size limit stands for a full disk.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit full = limit;
    std::uint64_t used = 0;
    for (const auto& entry : std::filesystem::directory_iterator(storeFolder))
        used = std::max<std::uint64_t>(used, entry.file_size());
    full.rlim_cur = used;
    auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    auto previousSink = setLogSink([](LogLevel, std::string_view) {});
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    DatabaseResult serviceWrite = server->setValue("big", std::string(1 << 20, 'x'));
    std::optional<DatabaseResult> answer;
    client->reference("a").setValue(std::string(1 << 20, 'y'), [&](const DatabaseResult& error) { answer = error; });
    queue.drain();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previousSignal);
    setLogSink(previousSink);

    ASSERT_TRUE(serviceWrite.has_value());
    EXPECT_EQ(serviceWrite->code, DatabaseErrorCode::StorageFailed);
    ASSERT_TRUE(answer.has_value() && answer->has_value());
    EXPECT_EQ((*answer)->code, DatabaseErrorCode::StorageFailed);
    // The client showed its write at once, then took it back when the service refused it.
    ASSERT_EQ(recorder.lines.size(), 2u);
    EXPECT_EQ(recorder.lines.back(), "a:a=1");
    EXPECT_EQ(server->value(""), DatabaseValue::object({{"a", 1}}));
    server->setValue("c", 3);
    client.reset();
    queue.drain();
    server.reset();
    EXPECT_EQ(openBackend()->value(""), DatabaseValue::object({{"a", 1}, {"c", 3}}));
}

TEST_F(Persistence, EveryDamagedStoreIsKeptAside)
{
    auto storeFolder = folder.path() / "server";
    std::filesystem::create_directories(storeFolder);
    auto previous = setLogSink([](LogLevel, std::string_view) {});
    for (const char* contents : {"not a database, first damage", "not a database, second damage"}) {
        {
            std::ofstream damaged(storeFolder / "tree.sqlite", std::ios::binary | std::ios::trunc);
            damaged << contents << std::string(8192, '#');
        }
        auto server = openBackend();
        EXPECT_TRUE(server->value("").isNull());
        server->setValue("fresh", true);
    }
    setLogSink(previous);
    auto readAll = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(readAll(storeFolder / "tree.sqlite.damaged-1").substr(0, 28), "not a database, first damage");
    EXPECT_EQ(readAll(storeFolder / "tree.sqlite.damaged-2").substr(0, 29), "not a database, second damage");
    EXPECT_EQ(openBackend()->value("fresh"), DatabaseValue(true));
}

TEST_F(Persistence, AFolderThatCannotBeWrittenIsAnErrorNotAMemoryStore)
{
    // A file where the folder should be: no one, not even the superuser, can make the store.
    std::ofstream(folder.path() / "server") << "in the way";
    EXPECT_THROW(openBackend(), std::runtime_error);
}

TEST_F(Persistence, AWriteSentAgainUnderItsTagIsAppliedOnce)
{
    auto server = openBackend();
    DatabaseValue root;
    auto connection = server->connect({}, root);
    WriteTag tag{"session-1", 7};
    auto counter = DatabasePath::parse("stats/export_count/srt");
    server->compareAndSet(connection, counter, DatabaseValue(), DatabaseValue(1), 7, &tag);
    // The answer was lost with the connection: the client sends the same write again.
    server->compareAndSet(connection, counter, DatabaseValue(), DatabaseValue(1), 7, &tag);
    server->disconnect(connection);
    server.reset();
    server = openBackend();
    connection = server->connect({}, root);
    server->compareAndSet(connection, counter, DatabaseValue(), DatabaseValue(1), 7, &tag);
    EXPECT_EQ(server->value(""), DatabaseValue::object({{"stats", DatabaseValue::object({{"export_count",
                                                           DatabaseValue::object({{"srt", 1}})}})}}));
}

TEST_F(Persistence, ForgottenTagsAreForgottenAcrossARestart)
{
    auto server = openBackend();
    DatabaseValue root;
    auto connection = server->connect({}, root);
    WriteTag early{"session-1", 3}, late{"session-1", 9}, other{"session-2", 3};
    for (const WriteTag* tag : {&early, &late, &other})
        server->write(connection, {{DatabasePath::parse("log"), DatabaseValue(static_cast<std::int64_t>(tag->sequence))}},
                      tag->sequence, nullptr, nullptr, tag);
    server->forgetTagsBelow("session-1", 9);
    server->disconnect(connection);
    server.reset();
    server = openBackend();
    connection = server->connect({}, root);
    // Only the forgotten write counts as new; the others are still known.
    server->write(connection, {{DatabasePath::parse("early"), true}}, 3, nullptr, nullptr, &early);
    server->write(connection, {{DatabasePath::parse("late"), true}}, 9, nullptr, nullptr, &late);
    server->write(connection, {{DatabasePath::parse("other"), true}}, 3, nullptr, nullptr, &other);
    EXPECT_EQ(server->value(""), DatabaseValue::object({{"log", 3}, {"early", true}}));
}

TEST_F(Persistence, ALargeTreeComesBackWhole)
{
    std::vector<DatabaseValue::Entry> words;
    for (int i = 0; i < 2000; ++i)
        words.emplace_back("w" + std::to_string(i), DatabaseValue::object({{"name", "word"}, {"start", i},
                                                                           {"favorite", i % 2 == 0}, {"score", i * 0.5}}));
    DatabaseValue tree = DatabaseValue::object({{"transcripts", DatabaseValue::object({{"T1", DatabaseValue::object({
                                                    {"words", DatabaseValue::map(words)}})}})},
                                                {"transcripts-x", "a key sorting between a parent and its children"},
                                                {"0", 5}, {"10", "numeric keys"}, {"users", DatabaseValue::object({{"U1", "x"}})}});
    {
        auto server = openBackend();
        server->setValue("", tree);
        server->setValue("users/U1/name", "a leaf became a map");
        server->setValue("transcripts/T1/words/w5", nullptr);
    }
    tree = tree.withValueAt(DatabasePath::parse("users/U1"), DatabaseValue::object({{"name", "a leaf became a map"}}));
    tree = tree.withValueAt(DatabasePath::parse("transcripts/T1/words/w5"), nullptr);
    EXPECT_EQ(openBackend()->value(""), tree);
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

TEST_F(Persistence, ADamagedQueuedWriteOnDiskLosesThatWriteAlone)
{
    auto server = openBackend();
    server->setValue("files/F1/name", "original");
    std::filesystem::create_directories(folder.path() / "client");
    const std::string queued =
        "[[\"files/F1/status\",20]]\n"
        "[[\"files/F1/torn\n"  // a line cut short in the middle
        "[[5]]\n"              // an entry without its path would otherwise write the root
        "[[\"files/F1/a.b\",1]]\n"
        "[[\"files/F1/status\",30],[\"files/F1/checked\",true]]\n";
    std::ofstream(folder.path() / "client" / "pending.jsonl") << queued;
    auto previous = setLogSink([](LogLevel, std::string_view) {});
    auto client = makeStoredClient(*server, true);
    queue.drain();
    setLogSink(previous);
    EXPECT_EQ(server->value("files/F1"),
              DatabaseValue::object({{"name", "original"}, {"status", 30}, {"checked", true}}));
    std::stringstream kept;
    kept << std::ifstream(folder.path() / "client" / "pending.jsonl.damaged-1").rdbuf();
    EXPECT_EQ(kept.str(), queued);
}

TEST_F(Persistence, ADamagedCacheIsKeptAsideNotOverwritten)
{
    auto server = openBackend();
    std::filesystem::create_directories(folder.path() / "client");
    std::ofstream(folder.path() / "client" / "cache.json") << "{\"files\":{\"F1\":";
    auto previous = setLogSink([](LogLevel, std::string_view) {});
    {
        auto client = makeStoredClient(*server, true);
        client->reference("files").keepSynced(true);
        queue.drain();
        queue.advance(2);
    }
    setLogSink(previous);
    std::stringstream kept;
    kept << std::ifstream(folder.path() / "client" / "cache.json.damaged-1").rdbuf();
    EXPECT_EQ(kept.str(), "{\"files\":{\"F1\":");
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "client" / "cache.json"));
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
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "client" / "pending.jsonl"));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "client" / "cache.json"));
    client->goOnline();
    queue.drain();
    EXPECT_EQ(server->value("files/F1/name"), DatabaseValue("kept"));
}

}  // namespace
}  // namespace qv::testing
