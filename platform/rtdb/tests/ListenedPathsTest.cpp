#include "RtdbTestSupport.h"

#include "platform/rtdb/PathSet.h"

namespace qv::testing {
namespace {

TEST(PathSet, CoversAPathThroughItselfOrAnAncestorOnly)
{
    PathSet set;
    for (const char* path : {"files/a", "users/u1/files", "presence/f/u/s"})
        set.insert(DatabasePath::parse(path));
    const std::vector<std::pair<const char*, bool>> cases = {
        {"files/a", true},          {"files/a/name", true},   {"files/a/b/c/d", true},
        {"files/ab", false},        {"files/", false},        {"files", false},
        {"", false},                {"file/a", false},        {"users/u1/files/F9", true},
        {"users/u1", false},        {"users/u1/filesX", false}, {"presence/f/u", false},
        {"presence/f/u/s/t", true}, {"a", false},
    };
    for (const auto& [path, covered] : cases)
        EXPECT_EQ(set.coversPath(DatabasePath::parse(path)), covered) << path;

    set.insert(DatabasePath());
    EXPECT_TRUE(set.coversPath(DatabasePath::parse("anything/at/all")));
}

TEST(PathSet, ErasingAPathLeavesItsAncestorsAndDescendants)
{
    PathSet set;
    for (const char* path : {"a", "a/b", "a/b/c", "a/bc"})
        set.insert(DatabasePath::parse(path));
    EXPECT_TRUE(set.erase(DatabasePath::parse("a/b")));
    EXPECT_FALSE(set.erase(DatabasePath::parse("a/b")));     // gone already
    EXPECT_FALSE(set.erase(DatabasePath::parse("a/b/x")));   // never in
    EXPECT_FALSE(set.erase(DatabasePath::parse("q/r")));
    EXPECT_TRUE(set.coversPath(DatabasePath::parse("a/b")));  // still under "a"

    EXPECT_TRUE(set.erase(DatabasePath::parse("a")));
    EXPECT_FALSE(set.coversPath(DatabasePath::parse("a")));
    EXPECT_FALSE(set.coversPath(DatabasePath::parse("a/b")));
    EXPECT_TRUE(set.coversPath(DatabasePath::parse("a/b/c/d")));
    EXPECT_TRUE(set.coversPath(DatabasePath::parse("a/bc")));

    // A branch emptied by erasing can be filled again.
    EXPECT_TRUE(set.erase(DatabasePath::parse("a/b/c")));
    EXPECT_FALSE(set.coversPath(DatabasePath::parse("a/b/c")));
    set.insert(DatabasePath::parse("a/b/c"));
    EXPECT_TRUE(set.coversPath(DatabasePath::parse("a/b/c")));
}

// A service that sends only what was listened to, answering each listen when the test says so.
class ScriptedConnection final : public DatabaseConnection {
public:
    void open(std::weak_ptr<BackendLink> link) override { link_ = std::move(link); }
    void close() override {}
    void listen(const DatabasePath& path) override
    {
        listens.push_back(path.toString());
        line.push_back("+" + path.toString());
    }
    void unlisten(const DatabasePath& path) override
    {
        unlistens.push_back(path.toString());
        line.push_back("-" + path.toString());
    }
    void write(const std::vector<DatabaseWrite>&, std::uint64_t, const DatabaseValue*, const DatabaseValue*) override {}
    void compareAndSet(const DatabasePath&, const DatabaseValue&, const DatabaseValue&, std::uint64_t) override {}
    void onDisconnect(const DatabaseWrite&, std::uint64_t) override {}

    void connect() { send(ServerMessage::of(ServerMessage::Kind::Connected)); }
    void answer(const char* path)
    {
        ServerMessage message;
        message.root = tree;
        message.listened = DatabasePath::parse(path);
        message.changed = {*message.listened};
        send(std::move(message));
    }

    void refuse(const char* path)
    {
        ServerMessage message;
        message.root = tree;
        message.listened = DatabasePath::parse(path);
        message.error = DatabaseError{DatabaseErrorCode::PermissionDenied, "not yours"};
        send(std::move(message));
    }

    DatabaseValue tree;
    std::vector<std::string> listens;
    std::vector<std::string> unlistens;
    // Both, in the order made: "+path" for a listen, "-path" for the end of one.
    std::vector<std::string> line;

private:
    void send(ServerMessage message)
    {
        if (auto link = link_.lock())
            link->receive(std::move(message));
    }
    std::weak_ptr<BackendLink> link_;
};

class ListenedPaths : public DatabaseFixture {
protected:
    ListenedPaths()
    {
        auto owned = std::make_unique<ScriptedConnection>();
        line = owned.get();
        client = std::make_unique<DatabaseClient>(std::move(owned), queue, clientOptions());
        queue.drain();
        line->connect();
        queue.drain();
        line->tree = DatabaseValue::object({
            {"files", DatabaseValue::object({{"a", DatabaseValue::object({{"name", "A"}})}, {"ab", "AB"}})},
        });
    }
    void answer(const char* path)
    {
        line->answer(path);
        queue.drain();
    }

    ScriptedConnection* line = nullptr;
    std::unique_ptr<DatabaseClient> client;
};

TEST_F(ListenedPaths, AnAnswerReachesOnlyWhatLiesAtOrBelowIt)
{
    client->reference("files/ab").observe(DatabaseEvent::Value, recorder.callback("ab"));
    client->reference("files/a/name").observe(DatabaseEvent::Value, recorder.callback("name"));
    client->reference("files/a").observeSingleEvent(recorder.callback("read a"));
    client->reference("files/a").observe(DatabaseEvent::Value, recorder.callback("a"));
    client->reference("files").observe(DatabaseEvent::Value, recorder.callback("files"));
    queue.drain();
    EXPECT_TRUE(recorder.take().empty());

    answer("files/a/name");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"name:name=\"A\""}));

    // "files/a" is not "files/ab"'s ancestor, and answers the read after the observer made
    // before it, as they were made.
    answer("files/a");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"a:a={\"name\":\"A\"}", "read a:a={\"name\":\"A\"}"}));

    answer("files");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"ab:ab=\"AB\"",
                                                         "files:files={\"a\":{\"name\":\"A\"},\"ab\":\"AB\"}"}));

    // Now known: a new observer below an answered path reports at once.
    client->reference("files/ab").observe(DatabaseEvent::Value, recorder.callback("ab again"));
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"ab again:ab=\"AB\""}));
}

TEST_F(ListenedPaths, AnObserverRemovedWhileWaitingHearsNothingAndAForgottenPathIsAskedAgain)
{
    auto ref = client->reference("files/a");
    ObserverHandle kept = ref.observe(DatabaseEvent::Value, recorder.callback("kept"));
    ObserverHandle gone = ref.observe(DatabaseEvent::Value, recorder.callback("gone"));
    ref.removeObserver(gone);
    queue.drain();
    EXPECT_TRUE(line->unlistens.empty());
    answer("files/a");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"kept:a={\"name\":\"A\"}"}));

    // The last listener leaves: the service stops sending, so the path is no longer known and
    // the next observer waits for a fresh answer.
    ref.removeObserver(kept);
    queue.drain();
    EXPECT_EQ(line->unlistens, (std::vector<std::string>{"files/a"}));
    ref.observe(DatabaseEvent::Value, recorder.callback("back"));
    queue.drain();
    EXPECT_TRUE(recorder.take().empty());
    line->tree = line->tree.withValueAt(DatabasePath::parse("files/a/name"), DatabaseValue("A2"));
    answer("files/a");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"back:a={\"name\":\"A2\"}"}));
}

// The service sends everything below a listened location with it: a location below one already
// listened to is not asked for again (a transcript's words would come twice), and the line always
// covers every location listened to, with no gap when the location above stops being listened to.
TEST_F(ListenedPaths, ALocationBelowAListenedOneIsNotAskedForAgainAndNeverLeftUncovered)
{
    auto files = client->reference("files");
    auto a = client->reference("files/a");
    ObserverHandle whole = files.observe(DatabaseEvent::Value, recorder.callback("files"));
    a.observe(DatabaseEvent::Value, recorder.callback("a"));
    client->reference("files/a/name").observe(DatabaseEvent::Value, recorder.callback("name"));
    queue.drain();
    EXPECT_EQ(line->line, (std::vector<std::string>{"+files"}));
    answer("files");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"files:files={\"a\":{\"name\":\"A\"},\"ab\":\"AB\"}",
                                                         "a:a={\"name\":\"A\"}", "name:name=\"A\""}));

    // The location above goes: the topmost ones below are listened to before it ends.
    line->line.clear();
    files.removeObserver(whole);
    queue.drain();
    EXPECT_EQ(line->line, (std::vector<std::string>{"+files/a", "-files"}));

    // It comes back: it is listened to before the ones below it end.
    line->line.clear();
    whole = files.observe(DatabaseEvent::Value, recorder.callback("files again"));
    EXPECT_EQ(line->line, (std::vector<std::string>{"+files", "-files/a"}));

    // A location the service refuses covers nothing: the ones below are asked for on their own.
    line->line.clear();
    line->refuse("files");
    queue.drain();
    recorder.take();
    EXPECT_EQ(line->line, (std::vector<std::string>{"+files/a"}));
    line->line.clear();
    files.removeObserver(whole);
    queue.drain();
    EXPECT_EQ(line->line, (std::vector<std::string>{"-files"}));
    answer("files/a");
    line->tree = line->tree.withValueAt(DatabasePath::parse("files/a/name"), DatabaseValue("A2"));
    answer("files/a");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"a:a={\"name\":\"A2\"}", "name:name=\"A2\""}));
}

// Opening a transcript reads it once and, from that answer, keeps it synced: the line keeps the
// location, so the service does not send it all a second time. A location no one listens to
// again is dropped once the queued work has run.
TEST_F(ListenedPaths, ALocationReadOnceAndListenedToFromTheAnswerIsNotAskedForTwice)
{
    auto a = client->reference("files/a");
    a.observeSingleEvent([&](const DataSnapshot& snapshot) {
        recorder.callback("read")(snapshot);
        a.observe(DatabaseEvent::Value, recorder.callback("kept"));
    });
    queue.drain();
    answer("files/a");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"read:a={\"name\":\"A\"}", "kept:a={\"name\":\"A\"}"}));
    EXPECT_EQ(line->line, (std::vector<std::string>{"+files/a"}));

    client->reference("files/ab").observeSingleEvent(recorder.callback("once"));
    queue.drain();
    answer("files/ab");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"once:ab=\"AB\""}));
    EXPECT_EQ(line->line, (std::vector<std::string>{"+files/a", "+files/ab", "-files/ab"}));
}

}  // namespace
}  // namespace qv::testing
