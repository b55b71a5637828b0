#include "RtdbTestSupport.h"

#include <cmath>
#include <random>
#include <map>
#include <set>

namespace qv::testing {
namespace {

using Db = DatabaseFixture;

TEST_F(Db, ValueObserverReportsAtOnceThenEachRealChange)
{
    auto client = makeClient();
    auto node = client->reference("files/F1/updated");
    node.observe(DatabaseEvent::Value, recorder.callback("v"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"v:null"}));

    node.setValue(5);
    node.setValue(5);  // unchanged: no report
    node.parent().child("name").setValue("x");  // a sibling: no report
    node.setValue(6);
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"v:updated=5", "v:updated=6"}));
}

TEST_F(Db, AncestorsAndDescendantsAreToldInWriteOrder)
{
    auto writer = makeClient();
    auto reader = makeClient();
    queue.drain();
    for (auto* client : {writer.get(), reader.get()}) {
        std::string who = client == writer.get() ? "w" : "r";
        client->reference("a").observe(DatabaseEvent::Value, recorder.callback(who + "a"));
        client->reference("a/b/c").observe(DatabaseEvent::Value, recorder.callback(who + "c"));
    }
    queue.drain();
    recorder.take();

    auto a = writer->reference("a");
    a.child("b/c").setValue(1);
    a.setValue(DatabaseValue::object({{"x", 1}}));
    a.updateChildValues({{"b/c", 2}, {"x", DatabaseValue()}});
    queue.drain();
    // The writer hears its own writes first (locally), then the other client hears them from
    // the backend, each in write order; the backend's echo changes nothing for the writer.
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{
                                   "wa:a={\"b\":{\"c\":1}}", "wc:c=1",
                                   "wa:a={\"x\":1}", "wc:null",
                                   "wa:a={\"b\":{\"c\":2}}", "wc:c=2",
                                   "ra:a={\"b\":{\"c\":1}}", "rc:c=1",
                                   "ra:a={\"x\":1}", "rc:null",
                                   "ra:a={\"b\":{\"c\":2}}", "rc:c=2",
                               }));
    EXPECT_EQ(backend.value("a"), DatabaseValue::object({{"b", DatabaseValue::object({{"c", 2}})}}));
}

// A value observer of a large map is told which children may have changed, so that it need not
// compare the whole map; a write at or above it, or its first report, names none.
TEST_F(Db, ValueReportsNameTheChildrenThatMayHaveChanged)
{
    auto writer = makeClient();
    auto reader = makeClient();
    queue.drain();
    std::vector<std::string> heard;
    for (auto* client : {writer.get(), reader.get()}) {
        const std::string who = client == writer.get() ? "w" : "r";
        client->reference("t/words").observe(DatabaseEvent::Value, [&heard, who](const DataSnapshot& snapshot) {
            std::string line = who + ":";
            if (!snapshot.changedChildren())
                line += "any";
            for (const std::string& key : snapshot.changedChildren().value_or(std::vector<std::string>{}))
                line += key + ",";
            heard.push_back(line);
        });
    }
    queue.drain();
    auto words = writer->reference("t/words");
    words.setValue(DatabaseValue::object({{"a", 1}, {"b", 2}}));
    queue.drain();
    EXPECT_EQ(std::exchange(heard, {}), (std::vector<std::string>{"w:any", "r:any", "w:any", "r:any"}));

    const struct {
        const char* what;
        std::function<void()> write;
        std::vector<std::string> expected;
    } cases[] = {
        {"one child's field", [&] { words.child("a/name").setValue("x"); }, {"w:a,", "r:a,"}},
        {"several children in one update, one of them twice",
         [&] { words.updateChildValues({{"c/e", 3}, {"b", DatabaseValue()}, {"c/d", 4}}); }, {"w:b,c,", "r:b,c,"}},
        {"the parent", [&] { words.parent().child("words").setValue(DatabaseValue::object({{"z", 1}})); }, {"w:any", "r:any"}},
        {"a path from above", [&] { words.parent().updateChildValues({{"words/y", 5}}); }, {"w:y,", "r:y,"}},
    };
    for (const auto& c : cases) {
        c.write();
        queue.drain();
        EXPECT_EQ(std::exchange(heard, {}), c.expected) << c.what;
    }
}

TEST_F(Db, ChildObserversAndRemoval)
{
    auto client = makeClient();
    auto words = client->reference("files/F/custom_words");
    words.child("k1").setValue("alpha");
    queue.drain();
    auto added = words.observe(DatabaseEvent::ChildAdded, recorder.callback("+"));
    words.observe(DatabaseEvent::ChildRemoved, recorder.callback("-"));
    auto completed = client->reference("files/F/completed");
    completed.observe(DatabaseEvent::Value, recorder.callback("done"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"+:k1=\"alpha\"", "done:null"}));

    words.child("k2").setValue("beta");
    words.child("k1").removeValue();
    words.setValue(DatabaseValue::object({{"k3", "gamma"}, {"k2", "beta"}}));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"+:k2=\"beta\"", "-:k1=\"alpha\"", "+:k3=\"gamma\""}));

    // Removing by handle works through any reference; removeAllObservers takes only the
    // observers of that exact location.
    client->root().removeObserver(added);
    client->reference("files/F").removeAllObservers();
    words.child("k4").setValue("delta");
    completed.setValue(1);
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"done:completed=1"}));
    words.removeAllObservers();
    words.removeValue();
    queue.drain();
    EXPECT_TRUE(recorder.take().empty());
}

TEST_F(Db, AnObserverRemovedBeforeItsReportArrivesHearsNothing)
{
    auto client = makeClient();
    auto node = client->reference("n");
    auto handle = node.observe(DatabaseEvent::Value, recorder.callback("v"));
    node.setValue(1);
    node.removeObserver(handle);
    queue.drain();
    EXPECT_TRUE(recorder.take().empty());
}

TEST_F(Db, PresenceIsRemovedWhenTheConnectionDrops)
{
    auto laptop = makeClient();
    auto desktop = makeClient();
    queue.drain();
    desktop->reference("users_online/U1").observe(DatabaseEvent::ChildRemoved, recorder.callback("gone"));
    auto entry = laptop->reference("users_online/U1").childByAutoId();
    entry.onDisconnectRemoveValue();
    entry.setValue("Mac App (1.0) [SYS1]");
    queue.drain();
    EXPECT_EQ(backend.value("users_online/U1").childCount(), 1u);

    laptop.reset();  // the process ends without signing out
    queue.drain();
    EXPECT_TRUE(backend.value("users_online").isNull());
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"gone:" + entry.key() + "=\"Mac App (1.0) [SYS1]\""}));
}

// Two computers open one file: the older presence entry holds the edit right, and it passes to
// the other computer when the first one's connection drops.
TEST_F(Db, TheOldestPresenceEntryPassesOnWhenItsComputerDrops)
{
    auto first = makeClient();
    auto second = makeClient();
    queue.drain();
    std::map<std::string, std::string> holder;  // computer -> system id of the oldest entry it sees
    auto open = [&](DatabaseClient& client, const std::string& systemId) {
        auto entries = client.reference("files/F/users_online/U1");
        auto mine = entries.childByAutoId();
        mine.onDisconnectRemoveValue();
        mine.setValue(systemId);
        entries.observe(DatabaseEvent::Value, [&holder, systemId](const DataSnapshot& snapshot) {
            if (snapshot.exists())
                holder[systemId] = (*snapshot.children().begin()).stringValue();
        });
    };
    open(*first, "SYS1");
    queue.drain();
    ++clockMs;
    open(*second, "SYS2");
    queue.drain();
    EXPECT_EQ(holder, (std::map<std::string, std::string>{{"SYS1", "SYS1"}, {"SYS2", "SYS1"}}));
    first->goOffline();
    queue.drain();
    EXPECT_EQ(holder["SYS2"], "SYS2");
}

TEST_F(Db, ConcurrentTransactionsLoseNoIncrement)
{
    std::vector<std::unique_ptr<DatabaseClient>> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(makeClient());
    queue.drain();
    int committed = 0;
    int handlerRuns = 0;
    for (int round = 0; round < 10; ++round) {
        for (auto& client : clients) {
            client->reference("stats/export_count/subrip").runTransaction(
                [&](const DatabaseValue& current) -> std::optional<DatabaseValue> {
                    ++handlerRuns;
                    return DatabaseValue(static_cast<std::int32_t>(current.toInt()) + 1);
                },
                [&](const DatabaseResult& error, bool done, const DataSnapshot&) {
                    EXPECT_FALSE(error);
                    committed += done ? 1 : 0;
                });
        }
    }
    queue.drain();
    EXPECT_EQ(backend.value("stats/export_count/subrip"), DatabaseValue(30));
    EXPECT_EQ(committed, 30);
    EXPECT_GT(handlerRuns, 30);  // conflicts happened and were retried
    for (auto& client : clients) {
        client->reference("stats/export_count/subrip").observeSingleEvent(recorder.callback("seen"));
    }
    queue.drain();
    EXPECT_EQ(recorder.take(), std::vector<std::string>(3, "seen:subrip=30"));
}

TEST_F(Db, ATransactionMadeOfflineRunsAgainstTheNewerValueOnReconnect)
{
    auto online = makeClient();
    auto offline = makeClient();
    queue.drain();
    offline->goOffline();
    auto increment = [](const DatabaseValue& current) -> std::optional<DatabaseValue> {
        return DatabaseValue(current.toInt() + 1);
    };
    std::vector<std::int64_t> seen;
    offline->reference("files/F/export_count/pdf").runTransaction(increment, [&](const DatabaseResult& error, bool committed,
                                                                                 const DataSnapshot& snapshot) {
        EXPECT_FALSE(error);
        EXPECT_TRUE(committed);
        seen.push_back(snapshot.intValue());
    });
    online->reference("files/F/export_count/pdf").runTransaction(increment);
    online->reference("files/F/export_count/pdf").runTransaction(increment);
    queue.drain();
    EXPECT_EQ(backend.value("files/F/export_count/pdf"), DatabaseValue(2));
    EXPECT_TRUE(seen.empty());
    offline->goOnline();
    queue.drain();
    EXPECT_EQ(backend.value("files/F/export_count/pdf"), DatabaseValue(3));
    EXPECT_EQ(seen, (std::vector<std::int64_t>{3}));
}

TEST_F(Db, AnAbortedTransactionLeavesTheValue)
{
    auto client = makeClient();
    auto node = client->reference("n");
    node.setValue(3);
    bool committed = true;
    node.runTransaction([](const DatabaseValue&) { return std::nullopt; },
                        [&](const DatabaseResult& error, bool done, const DataSnapshot& snapshot) {
                            EXPECT_FALSE(error);
                            committed = done;
                            EXPECT_EQ(snapshot.intValue(), 3);
                        });
    queue.drain();
    EXPECT_FALSE(committed);
    EXPECT_EQ(backend.value("n"), DatabaseValue(3));
}

TEST_F(Db, AnOfflineClientQueuesItsWritesAndCatchesUpOnReconnect)
{
    auto online = makeClient();
    auto traveller = makeClient();
    traveller->reference(".info/connected").observe(DatabaseEvent::Value, recorder.callback("connected"));
    traveller->reference("files/F").observe(DatabaseEvent::Value, recorder.callback("F"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"connected:connected=false", "F:null",
                                                         "connected:connected=true"}));

    traveller->goOffline();
    std::vector<std::string> completions;
    traveller->reference("files/F/name").setValue("offline name", [&](const DatabaseResult& error) {
        EXPECT_FALSE(error);
        completions.push_back("name");
    });
    traveller->reference("files/F/status").setValue(20, [&](const DatabaseResult&) { completions.push_back("status"); });
    online->reference("files/F/status").setValue(10);
    online->reference("files/G").setValue("other");
    queue.drain();
    // Local writes show at once; the backend has not seen them, and nothing is confirmed.
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"connected:connected=false", "F:F={\"name\":\"offline name\"}",
                                                         "F:F={\"name\":\"offline name\",\"status\":20}"}));
    EXPECT_TRUE(backend.value("files/F/name").isNull());
    EXPECT_TRUE(completions.empty());

    traveller->goOnline();
    queue.drain();
    EXPECT_EQ(completions, (std::vector<std::string>{"name", "status"}));
    EXPECT_EQ(backend.value("files/F"), DatabaseValue::object({{"name", "offline name"}, {"status", 20}}));
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"connected:connected=true"}));
    traveller->reference("files/G").observeSingleEvent(recorder.callback("G"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"G:G=\"other\""}));
}

TEST_F(Db, AReadMadeWhileConnectingAnswersWithTheBackendsTree)
{
    backend.setValue("transcripts/T1/words/w1/name", "hello");
    auto client = makeClient();  // connects a turn later
    client->reference("transcripts/T1/words").observeSingleEvent(recorder.callback("read"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"read:words={\"w1\":{\"name\":\"hello\"}}"}));

    // A client that stops connecting answers a waiting read with what it has; offline, at once.
    auto other = makeClient();
    other->reference("transcripts/T1").observeSingleEvent(recorder.callback("gave up"));
    other->goOffline();
    other->reference("transcripts/T1").observeSingleEvent(recorder.callback("offline"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"gave up:null", "offline:null"}));
}

TEST_F(Db, ALocalWriteStaysVisibleWhileOtherChangesArrive)
{
    auto mine = makeClient();
    auto theirs = makeClient();
    mine->reference("a").observe(DatabaseEvent::Value, recorder.callback("a"));
    queue.drain();
    recorder.take();
    theirs->reference("a").setValue(DatabaseValue::object({{"x", 1}}));
    mine->reference("a/y").setValue(2);  // made before this client has heard of x
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"a:a={\"y\":2}", "a:a={\"x\":1,\"y\":2}"}));
    // A write of the other client above this one's pending write replaces it once it lands.
    mine->goOffline();
    mine->reference("a/x").setValue(5);
    queue.drain();
    theirs->reference("a").setValue(DatabaseValue::object({{"z", 3}}));
    mine->goOnline();
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"a:a={\"x\":5,\"y\":2}", "a:a={\"x\":5,\"z\":3}"}));
    EXPECT_EQ(backend.value("a"), DatabaseValue::object({{"x", 5}, {"z", 3}}));
}

// Writes of several clients, in bursts, on overlapping paths, with connections dropping: once
// everything is delivered, every client shows exactly the backend's tree, and its root
// observer's last report is that tree.
TEST_F(Db, EveryClientConvergesOnTheBackendsTree)
{
    std::mt19937 random(11);
    std::vector<std::unique_ptr<DatabaseClient>> clients;
    std::vector<DatabaseValue> lastReport(3);
    for (int i = 0; i < 3; ++i) {
        clients.push_back(makeClient());
        clients.back()->root().observe(DatabaseEvent::Value,
                                       [&lastReport, i](const DataSnapshot& snapshot) { lastReport[static_cast<std::size_t>(i)] = snapshot.value(); });
    }
    const char* paths[] = {"a", "a/b", "a/b/c", "a/d", "e", "e/f/g"};
    for (int step = 0; step < 600; ++step) {
        auto& client = *clients[random() % clients.size()];
        auto ref = client.reference(paths[random() % 6]);
        switch (random() % 8) {
        case 0:
            ref.removeValue();
            break;
        case 1:
            ref.updateChildValues({{"x", static_cast<int>(random() % 3)}, {"y/z", "t"}});
            break;
        case 2:
            ref.setValue(DatabaseValue::serverTimestamp());
            ++clockMs;
            break;
        case 3:
            ref.runTransaction([](const DatabaseValue& v) { return DatabaseValue(v.toInt() + 1); });
            break;
        case 4:
            if (client.isConnected())
                client.goOffline();
            else
                client.goOnline();
            break;
        default:
            ref.setValue(static_cast<int>(random() % 4));
        }
        if (random() % 5 == 0)
            queue.drain();
    }
    for (auto& client : clients)
        client->goOnline();
    queue.drain();
    for (std::size_t i = 0; i < clients.size(); ++i) {
        DatabaseValue shown;
        clients[i]->root().observeSingleEvent([&](const DataSnapshot& snapshot) { shown = snapshot.value(); });
        queue.drain();
        EXPECT_EQ(shown, backend.value("")) << "client " << i;
        EXPECT_EQ(lastReport[i], backend.value("")) << "client " << i;
    }
}

TEST_F(Db, ServerTimestampsShowAnEstimateThenTheServerTime)
{
    auto client = makeClient();
    queue.drain();
    auto updated = client->reference("files/F/updated");
    updated.observe(DatabaseEvent::Value, recorder.callback("u"));
    queue.drain();
    recorder.take();
    backend.setClock([] { return std::int64_t{1'700'000'000'500}; });
    updated.setValue(DatabaseValue::serverTimestamp());
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"u:updated=1700000000000", "u:updated=1700000000500"}));
    EXPECT_EQ(backend.value("files/F/updated"), DatabaseValue(std::int64_t{1'700'000'000'500}));
}

TEST_F(Db, PushIdentifiersAreOrderedAndUnique)
{
    auto client = makeClient();
    auto parent = client->reference("debug_character_editing/U1");
    std::vector<std::string> ids;
    for (int i = 0; i < 2000; ++i) {
        if (i % 500 == 0)
            ++clockMs;
        ids.push_back(parent.childByAutoId().key());
    }
    for (const auto& id : ids)
        ASSERT_EQ(id.size(), 20u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    auto other = makeClient();
    EXPECT_GT(other->root().childByAutoId().key(), ids.back().substr(0, 8));
}

TEST_F(Db, ReferencesNavigate)
{
    auto client = makeClient();
    auto ref = client->root().child("files").child("F1/media_files//file_00/");
    EXPECT_EQ(ref.path().toString(), "files/F1/media_files/file_00");
    EXPECT_EQ(ref.key(), "file_00");
    EXPECT_EQ(ref.parent().key(), "media_files");
    EXPECT_EQ(ref.root(), client->root());
    EXPECT_EQ(ref, client->reference("files/F1/media_files/file_00"));
    EXPECT_EQ(client->root().parent(), client->root());
}

TEST_F(Db, BadInputIsRefusedThroughTheCompletionAndChangesNothing)
{
    auto client = makeClient();
    auto root = client->root();
    root.child("keep").setValue(1);
    root.observe(DatabaseEvent::Value, recorder.callback("root"));
    queue.drain();
    recorder.take();
    std::string deep;
    for (int i = 0; i < 33; ++i)
        deep += "d/";
    DatabaseValue deepValue = 1;
    for (int i = 0; i < 32; ++i)
        deepValue = DatabaseValue::object({{"d", deepValue}});

    struct Case {
        std::string name;
        std::function<void(DatabaseCompletion)> write;
        DatabaseErrorCode code;
    };
    const std::vector<Case> cases = {
        {"dot in key", [&](auto done) { root.child("a.b").setValue(1, done); }, DatabaseErrorCode::InvalidKey},
        {"hash", [&](auto done) { root.child("a#b").setValue(1, done); }, DatabaseErrorCode::InvalidKey},
        {"dollar", [&](auto done) { root.child("$a").setValue(1, done); }, DatabaseErrorCode::InvalidKey},
        {"brackets", [&](auto done) { root.child("a[0]").setValue(1, done); }, DatabaseErrorCode::InvalidKey},
        {"control", [&](auto done) { root.child("a\nb").setValue(1, done); }, DatabaseErrorCode::InvalidKey},
        {"too long", [&](auto done) { root.child(std::string(769, 'k')).setValue(1, done); }, DatabaseErrorCode::InvalidKey},
        {"key in value", [&](auto done) { root.child("ok").setValue(DatabaseValue::object({{"x.y", 1}}), done); },
         DatabaseErrorCode::InvalidKey},
        {"empty key in update", [&](auto done) { root.updateChildValues({{"keep", 2}, {"/", 1}}, done); },
         DatabaseErrorCode::InvalidKey},
        {"empty child key", [&](auto done) { root.child("keep").child("").setValue(5, done); },
         DatabaseErrorCode::InvalidKey},
        {"child path of slashes only", [&](auto done) { root.child("keep").child("//").removeValue(done); },
         DatabaseErrorCode::InvalidKey},
        {"bad update path", [&](auto done) { root.updateChildValues({{"keep", 2}, {"a/b.c", 1}}, done); },
         DatabaseErrorCode::InvalidKey},
        {"overlapping update", [&](auto done) { root.updateChildValues({{"keep", 2}, {"keep/x", 1}}, done); },
         DatabaseErrorCode::InvalidPath},
        {"path too deep", [&](auto done) { root.child(deep).setValue(1, done); }, DatabaseErrorCode::InvalidPath},
        {"value too deep", [&](auto done) { root.child("ok").setValue(deepValue, done); }, DatabaseErrorCode::InvalidPath},
        {"read-only info", [&](auto done) { root.child(".info/connected").setValue(false, done); },
         DatabaseErrorCode::InvalidPath},
        {"not a number", [&](auto done) { root.child("ok").setValue(std::nan(""), done); }, DatabaseErrorCode::InvalidValue},
        {"infinity", [&](auto done) { root.child("ok").setValue(HUGE_VAL, done); }, DatabaseErrorCode::InvalidValue},
        {"bad UTF-8", [&](auto done) { root.child("ok").setValue("\xff\xfe", done); }, DatabaseErrorCode::InvalidValue},
        {"on-disconnect", [&](auto done) { root.child("a.b").onDisconnectRemoveValue(done); }, DatabaseErrorCode::InvalidKey},
        {"transaction", [&](auto done) {
             root.child("a]").runTransaction([](const DatabaseValue&) { return DatabaseValue(1); },
                                             [done](const DatabaseResult& error, bool, const DataSnapshot&) { done(error); });
         }, DatabaseErrorCode::InvalidKey},
        {"transaction result", [&](auto done) {
             root.child("keep").runTransaction(
                 [](const DatabaseValue&) { return DatabaseValue::object({{"a", std::nan("")}}); },
                 [done](const DatabaseResult& error, bool, const DataSnapshot&) { done(error); });
         }, DatabaseErrorCode::InvalidValue},
    };
    for (const auto& c : cases) {
        std::optional<DatabaseResult> reported;
        c.write([&](const DatabaseResult& error) { reported = error; });
        EXPECT_FALSE(reported) << c.name << ": reported inside the call";
        queue.drain();
        ASSERT_TRUE(reported && *reported) << c.name;
        EXPECT_EQ((*reported)->code, c.code) << c.name << ": " << (*reported)->message;
    }
    EXPECT_EQ(backend.value(""), DatabaseValue::object({{"keep", 1}}));
    EXPECT_TRUE(recorder.take().empty());
    EXPECT_EQ(root.child("a.b").observe(DatabaseEvent::Value, recorder.callback("bad")), 0u);
    EXPECT_EQ(root.child("").observe(DatabaseEvent::Value, recorder.callback("empty")), 0u);
}

TEST_F(Db, TheServiceWritesAreHeardByEveryClient)
{
    auto client = makeClient();
    client->reference("users/U1/files").observe(DatabaseEvent::ChildAdded, recorder.callback("file"));
    queue.drain();
    EXPECT_FALSE(backend.updateChildValues("", {{"users/U1/files/F1", true}, {"files/F1/status", 30}}));
    EXPECT_TRUE(backend.setValue("status.x", "normal"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"file:F1=true"}));
}

}  // namespace
}  // namespace qv::testing
