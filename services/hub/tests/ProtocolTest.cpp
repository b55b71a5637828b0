#include "HubTestSupport.h"

#include "platform/rtdb/ValueJson.h"
#include "platform/rtdb/WireProtocol.h"

#include <QDateTime>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QWebSocket>

#include <numeric>
#include <random>

namespace qv::hub::testing {
namespace {

// A client that speaks the protocol by hand, on the test's thread.
class RawClient {
public:
    explicit RawClient(const QUrl& url)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            std::string error;
            if (auto frame = parseFrame(text.toStdString(), error))
                frames.push_back(*frame);
        });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
        socket.open(url);
        EXPECT_TRUE(waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    }
    bool waitUntil(const std::function<bool()>& done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < kDeadline * 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        return done();
    }
    void send(const std::string& frame) { socket.sendTextMessage(QString::fromStdString(frame)); }
    // The next frame, waiting for it.
    DatabaseValue next()
    {
        std::size_t seen = read;
        if (!waitUntil([&] { return frames.size() > seen || closed; }) || frames.size() <= seen)
            return {};
        return frames[read++];
    }
    void authenticate(const std::string& token)
    {
        send(FrameBuilder("auth").text("token", token).text("client", "raw").take());
        ASSERT_EQ(next().child("op").toString(), "ready");
    }

    QWebSocket socket;
    std::vector<DatabaseValue> frames;
    std::size_t read = 0;
    bool closed = false;
};

// `levels` maps nested in one another around a 1.
std::string nested(int levels)
{
    std::string text = "1";
    for (int i = 0; i < levels; ++i)
        text = "{\"k\":" + text + "}";
    return text;
}

using Protocol = SignedInFixture;

TEST_F(Protocol, BadFramesGetAClearErrorAndCloseWhereTheProtocolIsBroken)
{
    struct Case {
        const char* name;
        bool signedIn;
        std::string frame;
        const char* code;
        bool closes;
        const char* says = "";  // a part of the message
        std::int64_t id = 0;    // the id the error carries, when not 0
    };
    const std::string mine = "users/" + uid + "/x";
    const std::vector<Case> cases{
        {"not JSON", false, "{\"op\":", "protocol", true},
        {"no op", false, "{\"id\":1}", "protocol", true},
        {"not an object", false, "[1,2]", "protocol", true},
        {"too deep to read, before signing in", false, std::string(200, '[') + std::string(200, ']'), "invalid_value",
         false, "at most 32 levels"},
        {"before signing in", false, "{\"op\":\"listen\",\"id\":1,\"path\":\"status\"}", "unauthenticated", true},
        {"forged token", false, "{\"op\":\"auth\",\"token\":\"" + std::string(64, '0') + "\"}", "unauthenticated", true},
        {"unknown operation", true, "{\"op\":\"explode\",\"id\":3}", "protocol", true},
        {"signing in again as another account", true, "{\"op\":\"auth\",\"token\":\"" + service->signUp("b@example.com") + "\"}",
         "protocol", true},
        {"invalid path", true, "{\"op\":\"listen\",\"id\":5,\"path\":\"a/b.c\"}", "invalid_path", false},
        {"no path", true, "{\"op\":\"cas\",\"id\":5,\"value\":1}", "invalid_path", false},
        {"invalid key in a value", true, "{\"op\":\"write\",\"id\":6,\"writes\":[[\"" + mine + "\",{\"a.b\":1}]]}",
         "invalid_value", false},
        {"writes that are not pairs", true, "{\"op\":\"write\",\"id\":7,\"writes\":[5]}", "invalid_value", false},
        {"a value over the depth limit", true,
         "{\"op\":\"write\",\"id\":8,\"writes\":[[\"" + mine + "\"," + nested(31) + "]]}",
         "invalid_value", false, "32 levels", 8},
        {"a value nested too deep to read", true,
         "{\"op\":\"write\",\"id\":9,\"writes\":[[\"" + mine + "\"," + nested(5000) + "]]}",
         "invalid_value", false, "at most 32 levels", 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawClient client(service->url());
        if (c.signedIn)
            client.authenticate(token);
        client.send(c.frame);
        DatabaseValue answer = client.next();
        EXPECT_EQ(answer.child("op").toString(), "error");
        EXPECT_EQ(answer.child("code").toString(), c.code);
        EXPECT_FALSE(answer.child("message").toString().empty());
        EXPECT_NE(answer.child("message").toString().find(c.says), std::string::npos) << answer.child("message").toString();
        if (c.id)
            EXPECT_EQ(answer.child("id").toInt(), c.id);
        if (c.closes) {
            EXPECT_TRUE(client.waitUntil([&] { return client.closed; }));
        } else {
            client.send(FrameBuilder("ping").id(99).take());
            EXPECT_EQ(client.next().child("op").toString(), "pong");
        }
    }
    EXPECT_TRUE(service->value("users").isNull());
}

// A write of `leaves` integer keys at `path`: with the frame's own fields (the frame, "op",
// "id", "writes", the pair, its path and the value's map) it holds `leaves` + 7 values.
std::string writeOfLeaves(std::uint64_t id, const std::string& path, std::size_t leaves)
{
    std::vector<DatabaseValue::Entry> entries;
    for (std::size_t i = 0; i < leaves; ++i)
        entries.emplace_back("k" + std::to_string(i), DatabaseValue(static_cast<std::int64_t>(i)));
    return FrameBuilder("write").id(id).writes("writes", {{DatabasePath::parse(path), DatabaseValue::map(std::move(entries))}}).take();
}

TEST_F(Protocol, AFramePastTheServicesBoundsIsRefusedWholeAndTheConnectionServesOn)
{
    const std::string mine = "users/" + uid + "/big";
    const std::size_t most = HubServer::kMaxFrameValues;
    std::string zeros = "[0";
    for (std::size_t i = 0; i < most; ++i)
        zeros += ",0";
    zeros += "]";
    struct Case {
        const char* name;
        std::string frame;
        const char* says;
    };
    const std::vector<Case> cases{
        {"one value past the most", writeOfLeaves(11, mine, most - 6), "at most 2048"},
        {"100,000 keys, 1.7 MB", writeOfLeaves(12, mine, 100'000), "at most 2048"},
        {"a small frame of many values", "{\"op\":\"write\",\"id\":13,\"writes\":[[\"" + mine + "\"," + zeros + "]]}",
         "at most 2048"},
        {"a compare-and-set", "{\"op\":\"cas\",\"id\":14,\"path\":\"" + mine + "\",\"expected\":null,\"value\":" + zeros + "}",
         "at most 2048"},
        {"an on-disconnect write", "{\"op\":\"ondisconnect\",\"id\":15,\"writes\":[[\"" + mine + "\"," + zeros + "]]}",
         "at most 2048"},
        {"a frame over 2 MiB", FrameBuilder("write").id(16).writes("writes", {{DatabasePath::parse(mine), DatabaseValue(std::string(3 << 20, 'x'))}}).take(),
         "at most 2 MiB"},
    };
    RawClient client(service->url());
    client.authenticate(token);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        client.send(c.frame);
        DatabaseValue answer = client.next();
        EXPECT_EQ(answer.child("op").toString(), "error");
        EXPECT_EQ(answer.child("code").toString(), "invalid_value");
        EXPECT_NE(answer.child("message").toString().find(c.says), std::string::npos) << answer.child("message").toString();
        EXPECT_EQ(answer.child("id").toInt(), std::stoll(c.frame.substr(c.frame.find("\"id\":") + 5)));
        client.send(FrameBuilder("ping").id(99).take());
        EXPECT_EQ(client.next().child("op").toString(), "pong");
    }
    EXPECT_FALSE(client.closed);
    EXPECT_TRUE(service->value("users").isNull());
}

// Frames as large as the service takes are stored, and a large one, read apart from the
// service's thread, is still answered in its place among the frames around it.
TEST_F(Protocol, WritesAtTheServicesBoundsAreStoredAndAnsweredInOrder)
{
    const std::string mine = "users/" + uid + "/";
    const std::string longest(HubServer::kMaxClientFrameBytes - 1024, 't');
    RawClient client(service->url());
    client.authenticate(token);
    client.send(writeOfLeaves(1, mine + "many", HubServer::kMaxFrameValues - 7));
    client.send(FrameBuilder("ping").id(2).take());
    client.send(FrameBuilder("write").id(3).writes("writes", {{DatabasePath::parse(mine + "long"), DatabaseValue(longest)}}).take());
    client.send(FrameBuilder("write").id(4).writes("writes", {{DatabasePath::parse(mine + "small"), DatabaseValue(1)}}).take());
    client.send(FrameBuilder("ping").id(5).take());
    std::vector<std::string> answers;
    for (int i = 0; i < 5; ++i) {
        const DatabaseValue answer = client.next();
        answers.push_back(answer.child("op").toString() + " " + std::to_string(answer.child("id").toInt()));
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"ack 1", "pong 2", "ack 3", "ack 4", "pong 5"}));
    EXPECT_EQ(service->value(mine + "many").childCount(), HubServer::kMaxFrameValues - 7);
    EXPECT_EQ(service->value(mine + "long"), DatabaseValue(longest));
    EXPECT_EQ(service->value(mine + "small"), DatabaseValue(1));
}

// One account's frames are handled a share at a time, however many connections bring them:
// frames left for later turns, small and large, are all answered, each connection's in order,
// and another account is answered meanwhile.
TEST_F(Protocol, AnAccountsFramesLeftForLaterTurnsAreAllAnsweredInOrder)
{
    constexpr int kConnections = 4;
    constexpr int kWrites = 30;
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int c = 0; c < kConnections; ++c) {
        clients.push_back(std::make_unique<RawClient>(service->url()));
        clients.back()->send(FrameBuilder("auth").text("token", token).text("client", "share" + std::to_string(c)).take());
        ASSERT_EQ(clients.back()->next().child("op").toString(), "ready");
    }
    RawClient other(service->url());
    other.authenticate(service->signUp("other@example.com"));
    for (int c = 0; c < kConnections; ++c)
        for (int i = 1; i <= kWrites; ++i) {
            // Every fifth write large enough to be read apart from the service's thread.
            const std::size_t size = i % 5 == 0 ? 40'000 : 2'000;
            const std::string path = "users/" + uid + "/share/" + std::to_string(c) + "/" + std::to_string(i);
            clients[std::size_t(c)]->send(
                FrameBuilder("write").id(std::uint64_t(i)).writes("writes", {{DatabasePath::parse(path), DatabaseValue(std::string(size, 'w'))}}).take());
        }
    other.send(FrameBuilder("ping").id(1).take());
    EXPECT_EQ(other.next().child("op").toString(), "pong");
    for (int c = 0; c < kConnections; ++c) {
        SCOPED_TRACE(c);
        std::vector<std::int64_t> acks;
        for (int i = 1; i <= kWrites; ++i) {
            const DatabaseValue answer = clients[std::size_t(c)]->next();
            acks.push_back(answer.child("op").toString() == "ack" ? answer.child("id").toInt() : -1);
        }
        std::vector<std::int64_t> expected(kWrites);
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(acks, expected);
    }
    EXPECT_EQ(service->value("users/" + uid + "/share/3/30"), DatabaseValue(std::string(40'000, 'w')));
}

TEST_F(Protocol, AWriteWithoutAUsableIdIsRefusedAndChangesNothing)
{
    const std::string path = "users/" + uid + "/x";
    const std::string writes = "\"writes\":[[\"" + path + "\",1]]";
    const std::string counter = "\"path\":\"stats/export_count/srt\",\"value\":1";
    const std::vector<std::string> frames{
        "{\"op\":\"write\"," + writes + "}",
        "{\"op\":\"write\",\"id\":0," + writes + "}",
        "{\"op\":\"write\",\"id\":18446744073709551616," + writes + "}",
        "{\"op\":\"write\",\"id\":\"7\"," + writes + "}",
        "{\"op\":\"write\",\"id\":-3," + writes + "}",
        "{\"op\":\"write\",\"id\":2.5," + writes + "}",
        "{\"op\":\"cas\",\"id\":0," + counter + "}",
        // Beyond a double: the frame cannot be read, but it is a value problem, not a broken line.
        "{\"op\":\"write\",\"id\":1e400," + writes + "}",
        "{\"op\":\"cas\",\"id\":1e400," + counter + "}",
        "{\"op\":\"write\",\"id\":9,\"writes\":[[\"" + path + "\",-1e400]]}",
    };
    RawClient client(service->url());
    client.authenticate(token);
    for (const auto& frame : frames) {
        SCOPED_TRACE(frame);
        client.send(frame);
        DatabaseValue answer = client.next();
        EXPECT_EQ(answer.child("op").toString(), "error");
        EXPECT_EQ(answer.child("code").toString(), "invalid_value");
    }
    client.send(FrameBuilder("ping").id(1).take());
    EXPECT_EQ(client.next().child("op").toString(), "pong");
    EXPECT_FALSE(client.closed);
    EXPECT_TRUE(service->value("users").isNull());
    EXPECT_TRUE(service->value("stats").isNull());
}

TEST_F(Protocol, APingIsAnsweredWithItsIdAsSent)
{
    RawClient client(service->url());
    client.authenticate(token);
    for (const std::string id : {"-5", "\"x\"", "2.5", "9223372036854775807", "null"}) {
        client.send("{\"op\":\"ping\",\"id\":" + id + "}");
        const DatabaseValue answer = client.next();
        EXPECT_EQ(answer.child("op").toString(), "pong") << id;
        EXPECT_EQ(encodeValue(answer.child("id")), id);
    }
}

TEST_F(Protocol, TheServiceOutlivesMutatedFrames)
{
    const std::string mine = "users/" + uid + "/notes";
    const std::vector<std::string> seeds{
        FrameBuilder("write").id(1).writes("writes", {{DatabasePath::parse(mine), DatabaseValue::object({{"c", 1.5}})}}).take(),
        FrameBuilder("cas").id(2).text("path", "stats/export_count/srt").value("expected", DatabaseValue()).value("value", 1).take(),
        FrameBuilder("listen").id(3).text("path", mine).take(),
        FrameBuilder("ondisconnect").id(4).writes("writes", {{DatabasePath::parse(mine + "/x"), nullptr}}).take(),
    };
    std::mt19937 random(7);
    auto client = std::make_unique<RawClient>(service->url());
    client->authenticate(token);
    for (int i = 0; i < 300; ++i) {
        std::string text = seeds[random() % seeds.size()];
        for (int n = 0, count = 1 + int(random() % 3); n < count; ++n)
            text[random() % text.size()] = "{}[]\",:0123456789/.a"[random() % 21];
        client->send(text);
        client->send(FrameBuilder("ping").id(1).take());
        if (!client->waitUntil([&] { return client->closed || (!client->frames.empty() && client->frames.back().child("op").toString() == "pong"); })
            || client->closed) {
            client = std::make_unique<RawClient>(service->url());
            client->authenticate(token);
        }
        client->frames.clear();
        client->read = 0;
    }
    for (const DatabaseValue root = service->value(""); auto entry : root.children())
        EXPECT_TRUE(entry.key == "users" || entry.key == "stats") << entry.key;
    EXPECT_TRUE(service->value("users").childCount() <= 1);
}

TEST_F(Protocol, NothingAfterABrokenFrameIsApplied)
{
    RawClient client(service->url());
    client.authenticate(token);
    // Both frames leave in one go: the write after the broken frame must not be applied.
    client.send("{\"op\":\"explode\"}");
    client.send(FrameBuilder("write").id(1).writes("writes", {{DatabasePath::parse("users/" + uid + "/x"), 1}}).take());
    EXPECT_TRUE(client.waitUntil([&] { return client.closed; }));
    EXPECT_EQ(client.next().child("code").toString(), "protocol");
    EXPECT_EQ(client.frames.size(), client.read);
    EXPECT_TRUE(service->value("users").isNull());
}

TEST_F(Protocol, AFrameOverSixteenMebibytesClosesTheConnectionAndStoresNothing)
{
    RawClient client(service->url());
    client.authenticate(token);
    QString frame = QString::fromLatin1("{\"op\":\"write\",\"id\":1,\"writes\":[[\"users/" + uid + "/big\",\"");
    frame += QString(static_cast<qsizetype>(kMaxFrameBytes), QLatin1Char('x'));
    frame += QLatin1String("\"]]}");
    client.socket.sendTextMessage(frame);
    EXPECT_TRUE(client.waitUntil([&] { return client.closed; }));
    EXPECT_TRUE(service->value("users").isNull());
}

TEST_F(Protocol, AWriteSentTwiceUnderOneIdentifierIsAppliedOnce)
{
    auto counter = DatabasePath::parse("stats/export_count/srt");
    std::string frame = FrameBuilder("cas").id(4).text("path", counter.toString()).value("expected", DatabaseValue())
                            .value("value", 1).take();
    {
        RawClient client(service->url());
        client.authenticate(token);
        client.send(frame);
        EXPECT_EQ(client.next().child("op").toString(), "ack");
    }
    // The same client session after a reconnection, its answer lost with the old connection.
    RawClient again(service->url());
    again.authenticate(token);
    again.send(frame);
    EXPECT_EQ(again.next().child("op").toString(), "ack");
    EXPECT_EQ(service->value("stats/export_count/srt"), DatabaseValue(1));
}

TEST_F(Protocol, ListenersHearOnlyChangesAtOrBelowTheirPaths)
{
    service->serviceWrite("files/F1", DatabaseValue::object({{"owner", uid}, {"name", "a"}, {"status", 10}}));
    RawClient client(service->url());
    client.authenticate(token);
    client.send(FrameBuilder("listen").id(1LL << 62).text("path", "files/F1/name").take());
    DatabaseValue first = client.next();
    EXPECT_EQ(first.child("op").toString(), "value");
    EXPECT_EQ(first.child("value"), DatabaseValue("a"));
    service->serviceWrite("files/F1/status", 20);
    service->serviceWrite("files/F1", DatabaseValue::object({{"owner", uid}, {"name", "b"}, {"status", 30}}));
    DatabaseValue change = client.next();
    EXPECT_EQ(change.child("op").toString(), "change");
    // The record was replaced whole; this client hears only the name it listens to.
    EXPECT_EQ(change.child("writes"), DatabaseValue::object({{"0", DatabaseValue::object({{"0", "files/F1/name"}, {"1", "b"}})}}));
}

TEST_F(Protocol, ASilentClientIsDroppedAndItsOnDisconnectWritesMade)
{
    stopService();
    pingInterval = 0.05;
    pingTimeout = 0.3;
    startService();
    std::string path = "users_online/" + uid + "/-Nsilent";
    {
        RawClient client(service->url());
        client.authenticate(token);
        client.send(FrameBuilder("ondisconnect").id(1).writes("writes", {{DatabasePath::parse(path), nullptr}}).take());
        client.send(FrameBuilder("write").id(2).writes("writes", {{DatabasePath::parse(path), "Mac App"}}).take());
        EXPECT_EQ(client.next().child("op").toString(), "ack");
        EXPECT_EQ(client.next().child("op").toString(), "ack");
        // From here the client's thread runs no events: it answers no ping, yet its socket stays open.
        QElapsedTimer timer;
        timer.start();
        while (!service->value(path).isNull() && timer.elapsed() < kDeadline * 1000)
            QThread::msleep(20);
        EXPECT_TRUE(service->value(path).isNull());
        EXPECT_LT(timer.elapsed(), 10'000);
    }
}

TEST_F(Protocol, OnDisconnectWritesAreCheckedAgainWhenTheyAreMade)
{
    std::string otherUid;
    const std::string other = service->signUp("other@example.com", &otherUid);
    const std::string online = "users_online/" + uid + "/-Nmine";
    auto write = [](RawClient& client, std::uint64_t id, const char* op, const std::string& path, const DatabaseValue& value) {
        client.send(FrameBuilder(op).id(id).writes("writes", {{DatabasePath::parse(path), value}}).take());
        return client.next().child("op").toString();
    };
    {
        RawClient client(service->url());
        client.authenticate(token);
        // Each allowed now: the record is new, the counter absent, the entry the account's own.
        ASSERT_EQ(write(client, 1, "ondisconnect", "files/FX", DatabaseValue::object({{"owner", uid}})), "ack");
        ASSERT_EQ(write(client, 2, "ondisconnect", "stats/export_count/srt", 1), "ack");
        ASSERT_EQ(write(client, 3, "ondisconnect", online, nullptr), "ack");
        ASSERT_EQ(write(client, 4, "write", online, "Mac App"), "ack");

        RawClient owner(service->url());
        owner.authenticate(other);
        ASSERT_EQ(write(owner, 1, "write", "files/FX", DatabaseValue::object({{"owner", otherUid}, {"name", "theirs"}})), "ack");
        ASSERT_EQ(write(owner, 2, "write", "transcripts/FX/words/w1", DatabaseValue::object({{"name", "secret"}})), "ack");
        ASSERT_EQ(write(owner, 3, "write", "stats/export_count/srt", 1), "ack");
        ASSERT_EQ(write(owner, 4, "write", "stats/export_count/srt", 2), "ack");
    }
    ASSERT_TRUE(waitFor([&] { return service->value(online).isNull(); }));
    EXPECT_EQ(service->value("files/FX/owner"), DatabaseValue(otherUid));
    EXPECT_EQ(service->value("files/FX/name"), DatabaseValue("theirs"));
    EXPECT_EQ(service->value("stats/export_count/srt"), DatabaseValue(2));
}

// The uid in a sign-up's answer; empty when it has none.
std::string uidOf(const std::string& answer)
{
    const std::size_t at = answer.find("\"uid\":\"");
    return at == std::string::npos ? std::string() : answer.substr(at + 7, answer.find('"', at + 7) - at - 7);
}

TEST_F(Protocol, AccountsOverHttp)
{
    quint16 port = service->port();
    std::string signedUp = http(port, "POST", "/auth/sign-up", R"({"email":"New+One@Example.com","password":"long enough"})");
    ASSERT_EQ(signedUp.substr(0, 4), "200 ") << signedUp;
    EXPECT_NE(signedUp.find("\"email\":\"new+one@example.com\""), std::string::npos);
    // The new account is given its minutes by the service, not by the client.
    const std::string newUid = uidOf(signedUp);
    ASSERT_FALSE(newUid.empty());
    EXPECT_EQ(service->value("users/" + newUid + "/mins_bal").toInt(), HubServer::kUnlimitedAccountMinutes);

    EXPECT_EQ(http(port, "GET", "/check-existing-user?email=new%2Bone%40example.com"),
              R"(200 {"banned_domain":false,"user_exists":true})");
    EXPECT_EQ(http(port, "GET", "/check-existing-user?email=newone%40example.com"),
              R"(200 {"banned_domain":false,"user_exists":false})");
    EXPECT_NE(http(port, "POST", "/auth/sign-in", R"({"email":"new+one@example.com","password":"wrong"})")
                  .find(R"("code":17009)"), std::string::npos);
    EXPECT_NE(http(port, "POST", "/auth/sign-up", R"({"email":"new+one@example.com","password":"long enough"})")
                  .find(R"("code":17007)"), std::string::npos);
    EXPECT_EQ(http(port, "POST", "/auth/password-reset", R"({"email":"new+one@example.com"})"), "200 {}");
    EXPECT_EQ(http(port, "GET", "/nowhere").substr(0, 4), "404 ");
    EXPECT_EQ(http(port, "GET", "/auth/sign-in").substr(0, 4), "405 ");

    // A refreshed token replaces the old one, which no longer signs in.
    std::string refreshed = http(port, "POST", "/auth/refresh", "{\"token\":\"" + token + "\"}");
    ASSERT_EQ(refreshed.substr(0, 4), "200 ") << refreshed;
    RawClient stale(service->url());
    stale.send(FrameBuilder("auth").text("token", token).take());
    EXPECT_EQ(stale.next().child("code").toString(), "unauthenticated");
    EXPECT_TRUE(stale.waitUntil([&] { return stale.closed; }));
}

TEST_F(Protocol, RepeatedWrongPasswordsMustWait)
{
    const quint16 port = service->port();
    auto signIn = [&](const std::string& email, const std::string& password) {
        return http(port, "POST", "/auth/sign-in", "{\"email\":\"" + email + "\",\"password\":\"" + password + "\"}");
    };
    service->signUp("second@example.com");
    for (int i = 0; i < SignInThrottle::kFreeAccountFailures; ++i)
        EXPECT_NE(signIn("editor@example.com", "wrong").find("17009"), std::string::npos);
    // The next wrong password is still heard; from then on even the right one waits.
    EXPECT_NE(signIn("Editor@example.com", "wrong").find("17009"), std::string::npos);
    std::string waiting = signIn("editor@example.com", "secret-password");
    EXPECT_NE(waiting.find("17010"), std::string::npos) << waiting;
    EXPECT_NE(waiting.find("Try again in 1 second."), std::string::npos) << waiting;
    // Another account from the same address is not held up.
    EXPECT_EQ(signIn("second@example.com", "secret-password").substr(0, 4), "200 ");
}

TEST_F(Protocol, ConnectionsEndWithTheirTokenUnlessRenewedInTime)
{
    stopService();
    pingInterval = 0.05;
    renewGrace = 0.2;
    startService();
    const quint16 port = service->port();
    {
        RawClient client(service->url());
        client.authenticate(token);
        EXPECT_EQ(http(port, "POST", "/auth/sign-out", "{\"token\":\"" + token + "\"}"), "200 {}");
        EXPECT_EQ(client.next().child("code").toString(), "unauthenticated");
        EXPECT_TRUE(client.waitUntil([&] { return client.closed; }));
    }
    token = service->signUp("renewing@example.com");
    RawClient renewing(service->url());
    renewing.authenticate(token);
    RawClient stale(service->url());
    stale.authenticate(token);
    std::string answer = http(port, "POST", "/auth/refresh", "{\"token\":\"" + token + "\"}");
    ASSERT_EQ(answer.substr(0, 4), "200 ") << answer;
    const std::string fresh = answer.substr(answer.find("\"token\":\"") + 9, 64);
    renewing.send(FrameBuilder("auth").text("token", fresh).take());
    EXPECT_EQ(renewing.next().child("op").toString(), "ready");
    // The connection left on the replaced token is closed once its grace is over.
    EXPECT_EQ(stale.next().child("code").toString(), "unauthenticated");
    EXPECT_TRUE(stale.waitUntil([&] { return stale.closed; }));
    renewing.send(FrameBuilder("ping").id(1).take());
    EXPECT_EQ(renewing.next().child("op").toString(), "pong");
    EXPECT_FALSE(renewing.closed);
}

TEST_F(Protocol, AConnectionEndsWithItsTokensHourUnlessTheTokenIsRenewed)
{
    stopService();
    pingInterval = 0.05;
    std::atomic<std::int64_t> ahead{0};
    clock = [&ahead] { return QDateTime::currentMSecsSinceEpoch() + ahead.load(); };
    startService();
    const quint16 port = service->port();
    const std::string first = service->signUp("hour@example.com");
    const std::string signedIn = http(port, "POST", "/auth/sign-in", R"({"email":"hour@example.com","password":"secret-password"})");
    const std::string second = signedIn.substr(signedIn.find("\"token\":\"") + 9, 64);
    RawClient expiring(service->url());
    expiring.authenticate(first);
    RawClient renewing(service->url());
    renewing.authenticate(second);

    // Three quarters of an hour on, the client renews its token on the same connection.
    ahead = 45 * 60'000;
    const std::string renewed = http(port, "POST", "/auth/refresh", "{\"token\":\"" + second + "\"}");
    ASSERT_EQ(renewed.substr(0, 4), "200 ") << renewed;
    renewing.send(FrameBuilder("auth").text("token", renewed.substr(renewed.find("\"token\":\"") + 9, 64)).take());
    EXPECT_EQ(renewing.next().child("op").toString(), "ready");

    ahead = 61 * 60'000;
    EXPECT_EQ(expiring.next().child("code").toString(), "unauthenticated");
    EXPECT_TRUE(expiring.waitUntil([&] { return expiring.closed; }));
    renewing.send(FrameBuilder("ping").id(1).take());
    EXPECT_EQ(renewing.next().child("op").toString(), "pong");
    EXPECT_FALSE(renewing.closed);
}

TEST_F(Protocol, PasswordResetsAreLimitedPerAccountAndAddressAndKeptOnePerAccount)
{
    const quint16 port = service->port();
    auto reset = [&](const std::string& email) {
        return http(port, "POST", "/auth/password-reset", "{\"email\":\"" + email + "\"}");
    };
    auto accountsFileSize = [&] { return std::filesystem::file_size(folder.path().toStdString() + "/accounts/accounts.json"); };
    struct Case {
        const char* name;
        std::string email;
        const char* answer;  // what the answer holds
    };
    const Case cases[] = {
        {"the account", "editor@example.com", "200 {}"},
        {"unknown", "nobody@example.com", "17011"},
        {"malformed", "not an address", "17008"},
        {"the account again", "Editor@example.com", "200 {}"},
        {"the account a third time", "editor@example.com", "200 {}"},
    };
    std::uintmax_t size = 0;
    for (const Case& c : cases) {
        EXPECT_NE(reset(c.email).find(c.answer), std::string::npos) << c.name;
        // One pending reset per account, however often it is asked for.
        if (!size)
            size = accountsFileSize();
        EXPECT_EQ(accountsFileSize(), size) << c.name;
    }
    // Past the free requests, the account must wait.
    EXPECT_EQ(reset("editor@example.com"), "200 {}");
    const std::string waiting = reset("editor@example.com");
    EXPECT_NE(waiting.find("17010"), std::string::npos) << waiting;
    EXPECT_NE(waiting.find("Try again in 1 second."), std::string::npos) << waiting;
    // As must the address asking for one account after another.
    std::string last;
    for (int i = 0; i < 20; ++i)
        last = reset("someone" + std::to_string(i) + "@example.com");
    EXPECT_NE(last.find("17010"), std::string::npos) << last;
    EXPECT_EQ(accountsFileSize(), size);
    std::size_t pending = 0;
    service->run([&](HubServer& server) { pending = server.accounts().passwordResets().size(); });
    EXPECT_EQ(pending, 1u);
}

// An account given minutes it cannot use up is marked so for the client; one given a count is not.
TEST_F(Protocol, OnlyAnAccountGivenUnlimitedMinutesIsMarkedSo)
{
    for (std::int64_t minutes : {HubServer::kUnlimitedAccountMinutes, std::int64_t{600}}) {
        stopService();
        HubServer::Options options = serviceOptions();
        options.newAccountMinutes = minutes;
        service = std::make_unique<RunningService>(options);
        const std::string uid = uidOf(http(service->port(), "POST", "/auth/sign-up",
                                           R"({"email":"m)" + std::to_string(minutes) + R"(@example.com","password":"long enough"})"));
        ASSERT_FALSE(uid.empty());
        EXPECT_EQ(service->value("users/" + uid + "/mins_bal").toInt(), minutes);
        EXPECT_EQ(service->value("users/" + uid + "/mins_unlimited"),
                  minutes == HubServer::kUnlimitedAccountMinutes ? DatabaseValue(true) : DatabaseValue());
    }
}

TEST_F(Protocol, OtherServicesMountTheirOwnRoutes)
{
    service->run([](HubServer& server) {
        server.router().add("PUT", "/objects/upload", [](const HttpRequest& request) {
            return HttpResponse::json(200, "{\"bytes\":" + QByteArray::number(request.body.size()) + "}");
        });
    });
    EXPECT_EQ(http(service->port(), "PUT", "/objects/upload", std::string(100'000, 'z')), R"(200 {"bytes":100000})");
}

}  // namespace
}  // namespace qv::hub::testing
