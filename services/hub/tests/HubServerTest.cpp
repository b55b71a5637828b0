#include "HubTestSupport.h"

#include "platform/rtdb/ValueJson.h"

#include <QWebSocket>

#include <future>
#include <limits>

#include <sqlite3.h>

namespace qv::hub::testing {
namespace {

std::string describe(const DataSnapshot& snapshot)
{
    return snapshot.key() + "=" + encodeValue(snapshot.value());
}

using Service = SignedInFixture;

TEST_F(Service, TwoComputersOfOneAccountHearEachOthersWritesInOrder)
{
    auto first = connectClient(token);
    auto second = connectClient(token);
    std::vector<std::string> heard;
    second->reference("users/" + uid + "/custom_words")
        .observe(DatabaseEvent::ChildAdded, [&](const DataSnapshot& snapshot) { heard.push_back(snapshot.value().toString()); });
    std::vector<std::string> values;
    second->reference("users/" + uid + "/first_name")
        .observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) { values.push_back(describe(snapshot)); });
    ASSERT_TRUE(waitFor([&] { return values.size() == 1; }));
    EXPECT_EQ(values.front(), "first_name=null");

    auto words = first->reference("users/" + uid + "/custom_words");
    for (const char* word : {"alpha", "beta", "gamma", "delta"})
        words.childByAutoId().setValue(word);
    first->reference("users/" + uid).updateChildValues({{"first_name", "Ada"}, {"created", DatabaseValue::serverTimestamp()}});
    ASSERT_TRUE(waitFor([&] { return heard.size() == 4 && values.size() == 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"alpha", "beta", "gamma", "delta"}));
    EXPECT_EQ(values.back(), "first_name=\"Ada\"");
    EXPECT_TRUE(service->value("users/" + uid + "/created").isInt());
}

TEST_F(Service, ASingleReadWaitsForTheServiceAndACompletionForItsCommit)
{
    service->serviceWrite("users/" + uid + "/mins_bal", 120);
    auto client = connectClient(token);
    std::optional<DataSnapshot> read;
    client->reference("users/" + uid + "/mins_bal").observeSingleEvent([&](const DataSnapshot& snapshot) { read = snapshot; });
    ASSERT_TRUE(waitFor([&] { return read.has_value(); }));
    EXPECT_EQ(read->value(), DatabaseValue(120));

    std::optional<DatabaseResult> done;
    client->reference("users/" + uid + "/status").setValue(10, [&](const DatabaseResult& error) { done = error; });
    ASSERT_TRUE(waitFor([&] { return done.has_value(); }));
    EXPECT_FALSE(done->has_value());
    // Answered only once committed: a new service on the same folder has it.
    auto port = service->port();
    client.reset();
    stopService();
    startService(port);
    EXPECT_EQ(service->value("users/" + uid + "/status"), DatabaseValue(10));
}

TEST_F(Service, TransactionsFromTwoComputersNeverLoseAnIncrement)
{
    auto first = connectClient(token);
    auto second = connectClient(token);
    constexpr int kEach = 40;
    int committed = 0;
    auto increment = [&](DatabaseClient& client) {
        client.reference("stats/export_count/srt").runTransaction(
            [](const DatabaseValue& current) -> std::optional<DatabaseValue> { return DatabaseValue(current.toInt() + 1); },
            [&](const DatabaseResult& error, bool done, const DataSnapshot&) {
                EXPECT_FALSE(error.has_value()) << error->message;
                committed += done ? 1 : 0;
            });
    };
    for (int i = 0; i < kEach; ++i) {
        increment(*first);
        increment(*second);
    }
    ASSERT_TRUE(waitFor([&] { return committed == 2 * kEach; }));
    EXPECT_EQ(service->value("stats/export_count/srt"), DatabaseValue(2 * kEach));
}

TEST_F(Service, NumbersKeepTheirKindThroughTheServiceItsStoreAndAnotherComputer)
{
    // An integer read back as a double (or the reverse) compares unequal and is written back
    // in the other kind by whoever increments it.
    const DatabaseValue numbers = DatabaseValue::object({
        {"int", 3}, {"double", 3.0}, {"zero", 0}, {"negative_zero", -0.0}, {"negative", -7},
        {"largest", std::numeric_limits<std::int64_t>::max()}, {"smallest", std::numeric_limits<std::int64_t>::min()},
        {"past_double_precision", std::int64_t(9'007'199'254'740'993)}, {"huge", 1e300}, {"tiny", 5e-324},
    });
    auto writer = connectClient(token);
    auto reader = connectClient(token);
    DatabaseValue seen;
    reader->reference("users/" + uid + "/numbers").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) { seen = s.value(); });
    writer->reference("users/" + uid + "/numbers").setValue(numbers);
    ASSERT_TRUE(waitFor([&] { return seen == numbers; })) << encodeValue(seen);
    EXPECT_TRUE(seen.child("int").isInt());
    EXPECT_TRUE(seen.child("double").isDouble());

    auto port = service->port();
    stopService();
    startService(port);
    EXPECT_EQ(service->value("users/" + uid + "/numbers"), numbers) << encodeValue(service->value("users/" + uid + "/numbers"));
}

TEST_F(Service, PresenceGoesWhenTheComputerDrops)
{
    auto watcher = connectClient(token);
    DatabaseValue online;
    int reports = 0;
    watcher->reference("users_online/" + uid).observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) {
        online = snapshot.value();
        ++reports;
    });
    auto leaving = connectClient(token);
    auto entry = leaving->reference("users_online/" + uid).childByAutoId();
    entry.onDisconnectRemoveValue();
    entry.setValue("Mac App (1.0) [system]");
    ASSERT_TRUE(waitFor([&] { return online.childCount() == 1; }));
    leaving.reset();
    ASSERT_TRUE(waitFor([&] { return reports > 2 && online.isNull(); }));
}

TEST_F(Service, AnotherAccountsDataIsRefusedAndNothingChanges)
{
    std::string otherUid;
    std::string otherToken = service->signUp("other@example.com", &otherUid);
    service->serviceWrite("files/F1", DatabaseValue::object({{"owner", uid}, {"name", "Interview"}}));
    auto intruder = connectClient(otherToken);
    std::optional<DatabaseResult> refused;
    intruder->reference("files/F1/name").setValue("mine now", [&](const DatabaseResult& error) { refused = error; });
    std::vector<std::string> seen;
    intruder->reference("files/F1").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) { seen.push_back(describe(s)); });
    ASSERT_TRUE(waitFor([&] { return refused.has_value() && !seen.empty(); }));
    ASSERT_TRUE(refused->has_value());
    EXPECT_EQ((*refused)->code, DatabaseErrorCode::PermissionDenied);
    // The refused listen reports what this computer knows: not the other account's record.
    EXPECT_EQ(seen.back(), "F1=null");
    EXPECT_EQ(service->value("files/F1/name"), DatabaseValue("Interview"));
}

TEST_F(Service, QueuedWritesReachARestartedServiceOnce)
{
    auto client = connectClient(token);
    ASSERT_TRUE(waitFor([&] { return client->isConnected(); }));
    auto port = service->port();
    stopService();
    ASSERT_TRUE(waitFor([&] { return !client->isConnected(); }));
    int answered = 0;
    for (int i = 0; i < 5; ++i)
        client->reference("users/" + uid + "/custom_words/w" + std::to_string(i))
            .setValue(i, [&](const DatabaseResult& error) { answered += error ? 0 : 1; });
    int counted = 0;
    client->reference("stats/export_count/txt").runTransaction(
        [](const DatabaseValue& current) -> std::optional<DatabaseValue> { return DatabaseValue(current.toInt() + 1); },
        [&](const DatabaseResult&, bool done, const DataSnapshot&) { counted += done; });
    startService(port);
    ASSERT_TRUE(waitFor([&] { return answered == 5 && counted == 1; }));
    EXPECT_EQ(service->value("users/" + uid + "/custom_words").childCount(), 5u);
    EXPECT_EQ(service->value("stats/export_count/txt"), DatabaseValue(1));
}

// A client with a disk cache shows the cached words at once; the service's answer then brings
// only what changed while it was away, never the words reported gone and back meanwhile.
TEST_F(Service, ACachedClientReportsOnlyWhatTheServiceChangedMeanwhile)
{
    const std::string words = "files/F1/custom_words";
    service->serviceWrite("users/" + uid + "/files/F1", true);
    service->serviceWrite("files/F1", DatabaseValue::object({{"owner", uid}, {"name", "clip"}}));
    for (const char* key : {"K1", "K2", "K3", "K4"})
        service->serviceWrite(words + "/" + key, std::string("word ") + key);
    auto cachedClient = [&] {
        DatabaseClient::Options options;
        options.persistenceFolder = (folder.path() + "/cache").toStdString();
        return std::make_unique<DatabaseClient>(
            std::make_unique<RemoteConnection>(RemoteConnection::Options{service->url(), token}), queue, options);
    };
    {
        auto client = cachedClient();
        std::optional<DataSnapshot> seen;
        client->reference(words).observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) { seen = snapshot; });
        ASSERT_TRUE(waitFor([&] { return seen && seen->value().childCount() == 4; }));
    }
    // Meanwhile another computer deletes one word and adds one.
    service->serviceWrite(words + "/K2", nullptr);
    service->serviceWrite(words + "/K5", "word K5");

    auto client = cachedClient();
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::size_t> counts;
    auto ref = client->reference(words);
    ref.observe(DatabaseEvent::ChildAdded, [&](const DataSnapshot& snapshot) { added.push_back(snapshot.key()); });
    ref.observe(DatabaseEvent::ChildRemoved, [&](const DataSnapshot& snapshot) { removed.push_back(snapshot.key()); });
    ref.observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) { counts.push_back(snapshot.value().childCount()); });
    ASSERT_TRUE(waitFor([&] { return counts.size() == 2; }));
    // The cache at once, then the service's answer: K2 gone and K5 new, nothing else.
    EXPECT_EQ(added, (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"}));
    EXPECT_EQ(removed, std::vector<std::string>{"K2"});
    EXPECT_EQ(counts, (std::vector<std::size_t>{4, 4}));

    // Later changes are reported as usual.
    service->serviceWrite(words + "/K6", "word K6");
    ASSERT_TRUE(waitFor([&] { return counts.size() == 3; }));
    EXPECT_EQ(added.back(), "K6");
    EXPECT_EQ(counts.back(), 5u);
}

TEST_F(Service, AServiceThatStopsAnsweringCountsAsDisconnected)
{
    RemoteConnection::Options options{service->url(), token};
    options.pingInterval = 0.05;
    options.pingTimeout = 0.3;
    DatabaseClient client(std::make_unique<RemoteConnection>(options), queue, DatabaseClient::Options{});
    std::vector<bool> connected;
    client.reference(".info/connected").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) {
        connected.push_back(s.value().toBool());
    });
    ASSERT_TRUE(waitFor([&] { return client.isConnected(); }));
    // The service's thread hangs: its socket stays open, but nothing answers.
    std::promise<void> thaw;
    service->post([hung = thaw.get_future().share()] { hung.wait(); });
    EXPECT_TRUE(waitFor([&] { return !client.isConnected(); }));
    thaw.set_value();
    EXPECT_TRUE(waitFor([&] { return client.isConnected(); }));
    EXPECT_EQ(connected, (std::vector<bool>{false, true, false, true}));
}

TEST_F(Service, AConnectionFarBehindWithItsFramesIsEndedAndItsClientReadsAfresh)
{
    stopService();
    maxUnsentBytes = 64 << 10;
    startService();
    auto client = connectClient(token);
    std::vector<bool> connected;
    client->reference(".info/connected").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) {
        connected.push_back(s.value().toBool());
    });
    DatabaseValue seen;
    client->reference("users/" + uid + "/big").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) { seen = s.value(); });
    ASSERT_TRUE(waitFor([&] { return client->isConnected(); }));
    // Two commits in a row, the first far larger than the bound: when the second one's frame is
    // due, most of the first is still waiting to be sent.
    const std::string big(std::size_t{8} << 20, 'b');
    service->run([&](HubServer& server) { server.serviceWrite("users/" + uid + "/big", big); });
    service->run([&](HubServer& server) { server.serviceWrite("users/" + uid + "/big", "last"); });
    ASSERT_TRUE(waitFor([&] { return seen == DatabaseValue("last") && client->isConnected() && connected.size() >= 4; }));
    EXPECT_EQ(connected, (std::vector<bool>{false, true, false, true}));
}

TEST_F(Service, TheServiceForgetsTheIdentifiersOfAnsweredWrites)
{
    auto client = connectClient(token);
    int answered = 0;
    constexpr int kWrites = 1500;
    for (int i = 0; i < kWrites; ++i)
        client->reference("users/" + uid + "/n").setValue(i, [&](const DatabaseResult& error) { answered += !error; });
    ASSERT_TRUE(waitFor([&] { return answered == kWrites; }));
    // The line tells the service what it may forget as the answers arrive; one more answered
    // write, sent after those frames, shows that the service has read them.
    bool last = false;
    client->reference("users/" + uid + "/n").setValue(kWrites, [&](const DatabaseResult& error) { last = !error; });
    ASSERT_TRUE(waitFor([&] { return last; }));
    client.reset();
    stopService();
    sqlite3* db = nullptr;
    auto file = std::filesystem::path(folder.path().toStdString()) / "database" / "tree.sqlite";
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM applied", -1, &count, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_LT(sqlite3_column_int(count, 0), kWrites / 2);
    sqlite3_finalize(count);
    sqlite3_close(db);
}

}  // namespace
}  // namespace qv::hub::testing
