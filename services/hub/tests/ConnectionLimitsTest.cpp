// Connections one account or one address opens without end: each is capped, a connection past a
// cap is answered and closed, and everyone else keeps being served. The program itself takes
// the open-file limit the system allows it and keeps descriptors to answer with.
#include "HubTestSupport.h"

#include "platform/rtdb/WireProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>

#include <sys/resource.h>

#include <fstream>
#include <regex>

namespace qv::hub::testing {
namespace {

// A raw connection from `source` (an address of the loopback network) to `port`.
std::unique_ptr<QTcpSocket> connectFrom(quint16 port, const char* source)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(source));
    socket->connectToHost("127.0.0.1", port);
    EXPECT_TRUE(socket->waitForConnected(int(kDeadline * 1000)));
    return socket;
}

// A client frame of `text`, masked as clients must.
QByteArray maskedText(const std::string& text)
{
    QByteArray frame;
    frame += char(0x81);
    if (text.size() < 126) {
        frame += char(0x80 | text.size());
    } else {
        frame += char(0x80 | 126);
        frame += char(text.size() >> 8);
        frame += char(text.size() & 0xff);
    }
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    frame.append(mask, 4);
    for (std::size_t i = 0; i < text.size(); ++i)
        frame += char(text[i] ^ mask[i % 4]);
    return frame;
}

// Sends a WebSocket handshake on `socket` and, when the service takes it, `auth` with `token`
// (none when empty). Returns what the service sends until it has answered: the handshake's
// refusal, or the 101 head and the first frame's JSON after it.
QByteArray handshake(QTcpSocket& socket, const std::string& token)
{
    socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    if (!token.empty())
        socket.write(maskedText(FrameBuilder("auth").text("token", token).text("client", "limits").take()));
    QByteArray answer;
    auto answered = [&] {
        qsizetype head = answer.indexOf("\r\n\r\n");
        if (head < 0)
            return false;
        if (!answer.startsWith("HTTP/1.1 101") || token.empty())
            return true;
        return answer.indexOf('}', head) > 0;
    };
    QElapsedTimer timer;
    timer.start();
    while (!answered() && timer.elapsed() < kDeadline * 1000 && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(100);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

class ConnectionLimits : public ServiceFixture {
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        stopService();
        maxConnectionsPerAccount = 3;
        maxWebSocketsPerPeer = 5;
        startService();
        token = service->signUp("limits@example.com");
    }

    std::string token;
};

TEST_F(ConnectionLimits, OneAccountHoldsAtMostItsCapOfSignedInConnections)
{
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(connectFrom(service->port(), "127.0.0.1"));
        EXPECT_TRUE(handshake(*held.back(), token).contains("\"ready\""));
    }
    auto past = connectFrom(service->port(), "127.0.0.1");
    const QByteArray refused = handshake(*past, token);
    EXPECT_TRUE(refused.contains("\"too_many_connections\"")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("3 database connections")) << refused.toStdString();
    EXPECT_TRUE(past->state() != QAbstractSocket::ConnectedState || past->waitForDisconnected(int(kDeadline * 1000)));

    // Another account from the same address is not held back by this one's cap.
    auto other = connectFrom(service->port(), "127.0.0.1");
    EXPECT_TRUE(handshake(*other, service->signUp("other@example.com")).contains("\"ready\""));

    // A connection that ends gives its place back.
    held.front()->abort();
    std::unique_ptr<QTcpSocket> again;
    QByteArray answer;
    EXPECT_TRUE(waitFor([&] {
        again = connectFrom(service->port(), "127.0.0.1");
        answer = handshake(*again, token);
        return answer.contains("\"ready\"");
    })) << answer.toStdString();
}

TEST_F(ConnectionLimits, OneAddressHoldsAtMostItsCapOfDatabaseConnections)
{
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 5; ++i) {
        held.push_back(connectFrom(service->port(), "127.0.0.2"));
        EXPECT_TRUE(handshake(*held.back(), {}).startsWith("HTTP/1.1 101"));
    }
    auto past = connectFrom(service->port(), "127.0.0.2");
    const QByteArray refused = handshake(*past, token);
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 503")) << refused.toStdString();
    EXPECT_TRUE(refused.contains("too_many_connections")) << refused.toStdString();

    // The same account from another address signs in.
    auto elsewhere = connectFrom(service->port(), "127.0.0.3");
    EXPECT_TRUE(handshake(*elsewhere, token).contains("\"ready\""));
}

TEST_F(ConnectionLimits, PastTheServicesConnectionBudgetAConnectionIsAnsweredAndOthersFollowOnceItFrees)
{
    stopService();
    maxConnections = 4;
    startService();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 4; ++i)
        idle.push_back(connectFrom(service->port(), "127.0.0.4"));
    // The service has counted them once it answers past them.
    QByteArray answer;
    std::unique_ptr<QTcpSocket> past;
    ASSERT_TRUE(waitFor([&] {
        past = connectFrom(service->port(), "127.0.0.5");
        past->write("POST /auth/session HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
        answer.clear();
        while (past->waitForReadyRead(int(kDeadline * 1000)))
            answer += past->readAll();
        return answer.startsWith("HTTP/1.1 503");
    })) << answer.toStdString();
    EXPECT_TRUE(answer.contains("\"busy\"")) << answer.toStdString();

    idle.clear();
    EXPECT_TRUE(waitFor([&] { return http(service->port(), "POST", "/auth/session", "{}").rfind("401", 0) == 0; }));
}

// The program under a low open-file limit, as many systems set it: it raises the limit to what
// the system allows; and where the system allows no more, one account opening connections from
// one address as fast as it can still leaves room for another account to sign in.
TEST(ConnectionLimitsOfTheProgram, OneAccountCannotTakeEveryDescriptor)
{
    ensureApplication();
    struct Case {
        const char* name;
        rlim_t soft;
        rlim_t hard;
    };
    for (const Case c : {Case{"soft limit below the hard one", 300, 400}, Case{"hard limit", 400, 400}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir data;
        QProcess program;
        program.setChildProcessModifier([c] {
            const rlimit files{c.soft, c.hard};
            setrlimit(RLIMIT_NOFILE, &files);
        });
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QV_HUB_PROGRAM, {"--port", "0", "--data", data.path()});
        ASSERT_TRUE(program.waitForStarted(int(kDeadline * 1000)));
        ASSERT_TRUE(program.waitForReadyRead(int(kDeadline * 1000)));
        const std::string listening = program.readLine().trimmed().toStdString();
        const auto port = static_cast<quint16>(std::stoi(listening.substr(listening.rfind(':') + 1)));

        std::ifstream limits("/proc/" + std::to_string(program.processId()) + "/limits");
        std::string line;
        std::smatch open;
        while (std::getline(limits, line) && !std::regex_search(line, open, std::regex(R"(Max open files\s+(\d+)\s+(\d+))"))) {
        }
        ASSERT_FALSE(open.empty());
        EXPECT_EQ(open[1].str(), "400");
        EXPECT_EQ(open[2].str(), "400");

        const std::string token = std::string(QJsonDocument::fromJson(QByteArray::fromStdString(
            http(port, "POST", "/auth/sign-up", R"({"email":"hog@example.com","password":"long enough"})").substr(4)))
                                                  .object().value("token").toString().toStdString());
        ASSERT_FALSE(token.empty());
        // The connections it is given it keeps; those turned away it lets go, and opens more.
        std::vector<std::unique_ptr<QTcpSocket>> hog;
        int signedIn = 0;
        int turnedAway = 0;
        for (int i = 0; i < 400; ++i) {
            auto socket = connectFrom(port, "127.0.0.6");
            const QByteArray answer = handshake(*socket, token);
            if (answer.contains("\"ready\"")) {
                ++signedIn;
                hog.push_back(std::move(socket));
            } else {
                turnedAway += answer.contains("too_many_connections") || answer.startsWith("HTTP/1.1 503");
            }
        }
        EXPECT_EQ(signedIn, 64);
        EXPECT_EQ(signedIn + turnedAway, 400);

        const std::string other = http(port, "POST", "/auth/sign-up", R"({"email":"other@example.com","password":"long enough"})");
        EXPECT_EQ(other.substr(0, 3), "200") << other;
        program.kill();
        program.waitForFinished(int(kDeadline * 1000));
    }
}

}  // namespace
}  // namespace qv::hub::testing
