// Requests that never finish: they are timed out, one address cannot hold every connection, and
// the service keeps answering everyone else meanwhile.
#include "HubTestSupport.h"

#include <QTcpSocket>

namespace qv::hub::testing {
namespace {

class HttpLimits : public ServiceFixture {
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        stopService();
        httpLimits.headSeconds = 0.3;
        httpLimits.bodyIdleSeconds = 0.3;
        maxUnfinishedPerPeer = 4;
        startService();
    }

    // A connection from `source` (any address of the loopback network) that has sent `bytes`.
    std::unique_ptr<QTcpSocket> open(const QByteArray& bytes, const char* source = "127.0.0.1")
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(source));
        socket->connectToHost("127.0.0.1", service->port());
        EXPECT_TRUE(socket->waitForConnected(int(kDeadline * 1000)));
        socket->write(bytes);
        socket->waitForBytesWritten(int(kDeadline * 1000));
        return socket;
    }
    // What the service sends until it closes the connection.
    static QByteArray untilClosed(QTcpSocket& socket)
    {
        QByteArray answer;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(int(kDeadline * 1000)))
            answer += socket.readAll();
        return answer + socket.readAll();
    }
};

TEST_F(HttpLimits, RequestsThatStopArriving)
{
    struct Case {
        const char* name;
        QByteArray sent;
        const char* status;
    };
    const Case cases[] = {
        {"a head that never ends", "POST /auth/session HTTP/1.1\r\nHost: x\r\n", "408"},
        {"a body that stops", "POST /auth/session HTTP/1.1\r\nContent-Length: 100\r\n\r\n{\"tok", "408"},
        {"two lengths", "POST /auth/session HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 40\r\n\r\n{}", "400"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto socket = open(c.sent);
        QByteArray answer = untilClosed(*socket);
        EXPECT_EQ(answer.mid(9, 3), c.status) << answer.toStdString();
        EXPECT_NE(socket->state(), QAbstractSocket::ConnectedState);
    }
}

TEST_F(HttpLimits, ABodyThatTricklesIsCutOffAtItsLeastRate)
{
    // Each byte comes well within the pause allowed, but the body as a whole far too slowly.
    stopService();
    httpLimits.bodyGraceSeconds = 0.3;
    httpLimits.minBodyBytesPerSecond = 1 << 20;
    startService();
    auto socket = open("POST /auth/session HTTP/1.1\r\nContent-Length: 100000\r\n\r\n{");
    QByteArray answer;
    int sent = 0;
    for (; sent < 100 && answer.isEmpty() && socket->state() == QAbstractSocket::ConnectedState; ++sent) {
        socket->write(" ");
        socket->waitForReadyRead(100);
        answer += socket->readAll();
    }
    EXPECT_LT(sent, 100) << "answered only once the sender stopped";
    answer += untilClosed(*socket);
    EXPECT_EQ(answer.mid(9, 3), "408") << answer.toStdString();
}

TEST_F(HttpLimits, ABodyMustBringItsLeastRateInEveryWindow)
{
    // Only the window judges here: the pauses allowed and the whole body's time are long.
    stopService();
    httpLimits.bodyIdleSeconds = 60;
    httpLimits.bodyGraceSeconds = 600;
    httpLimits.rateWindowSeconds = 1;
    httpLimits.minWindowBytesPerSecond = 100;
    startService();
    struct Case {
        const char* name;
        QByteArray piece;  // sent every 20 ms until an answer comes or the body is whole
        const char* status;
    };
    const Case cases[] = {
        {"a byte at a time, a few per window", " ", "408"},
        {"pieces well above the rate, over several windows", QByteArray(100, ' '), "404"},
    };
    constexpr int kBodyBytes = 10'000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto socket = open("POST /nothing-here HTTP/1.1\r\nContent-Length: " + QByteArray::number(kBodyBytes) + "\r\n\r\n");
        QByteArray answer;
        QElapsedTimer sending;
        sending.start();
        for (int sent = 0; sent < kBodyBytes && answer.isEmpty() && socket->state() == QAbstractSocket::ConnectedState
                           && sending.elapsed() < kDeadline * 1000;
             sent += int(c.piece.size())) {
            socket->write(c.piece);
            socket->waitForReadyRead(20);
            answer += socket->readAll();
        }
        answer += untilClosed(*socket);
        EXPECT_EQ(answer.mid(9, 3), c.status) << answer.toStdString();
    }
}

TEST_F(HttpLimits, OneAddressCannotHoldEveryConnection)
{
    // The service's own limits stay long here: these connections must outlast the test.
    stopService();
    httpLimits = {};
    startService();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < maxUnfinishedPerPeer; ++i)
        idle.push_back(open("GET /check-existing-user"));
    auto refused = open("GET /check-existing-user");
    untilClosed(*refused);
    EXPECT_NE(refused->state(), QAbstractSocket::ConnectedState);
    for (auto& socket : idle)
        EXPECT_EQ(socket->state(), QAbstractSocket::ConnectedState);

    // Another address is served meanwhile.
    auto other = open("GET /check-existing-user?email=a%40b.c HTTP/1.1\r\n\r\n", "127.0.0.2");
    EXPECT_EQ(untilClosed(*other).mid(9, 3), "200");
    // And the first address again once its connections end.
    idle.clear();
    bool served = false;
    for (int attempt = 0; attempt < 200 && !served; ++attempt) {
        auto again = open("GET /check-existing-user?email=a%40b.c HTTP/1.1\r\n\r\n");
        served = untilClosed(*again).mid(9, 3) == "200";
    }
    EXPECT_TRUE(served);
}

}  // namespace
}  // namespace qv::hub::testing
