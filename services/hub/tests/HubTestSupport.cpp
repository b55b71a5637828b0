#include "HubTestSupport.h"

#include <QTcpSocket>

namespace qv::hub::testing {

// A blocking HTTP exchange; answers "<status> <body>".
std::string http(quint16 port, const std::string& method, const std::string& target, const std::string& body)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(int(kDeadline * 1000)))
        return "no connection";
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    socket.write(request.data(), qint64(request.size()));
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(int(kDeadline * 1000)))
        answer += socket.readAll();
    answer += socket.readAll();
    QByteArray status = answer.mid(9, 3);
    return status.toStdString() + " " + answer.mid(answer.indexOf("\r\n\r\n") + 4).toStdString();
}


void ensureApplication()
{
    static int argc = 1;
    static char name[] = "qv_hub_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

RunningService::RunningService(HubServer::Options options)
{
    ensureApplication();
    thread_.start();
    anchor_ = new QObject;
    anchor_->moveToThread(&thread_);
    QString error;
    QMetaObject::invokeMethod(
        anchor_,
        [&] {
            server_ = new HubServer(options);
            if (server_->start(error))
                port_ = server_->port();
        },
        Qt::BlockingQueuedConnection);
    if (!port_)
        ADD_FAILURE() << "the service did not start: " << error.toStdString();
}

RunningService::~RunningService()
{
    QMetaObject::invokeMethod(
        anchor_,
        [this] {
            delete server_;
            delete anchor_;
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QUrl RunningService::url() const { return QUrl("ws://127.0.0.1:" + QString::number(port_) + "/"); }

void RunningService::run(const std::function<void(HubServer&)>& task)
{
    QMetaObject::invokeMethod(anchor_, [&] { task(*server_); }, Qt::BlockingQueuedConnection);
}

void RunningService::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(anchor_, std::move(task), Qt::QueuedConnection);
}

DatabaseValue RunningService::value(std::string_view path)
{
    DatabaseValue result;
    run([&](HubServer& server) { result = server.database().value(path); });
    return result;
}

void RunningService::serviceWrite(std::string_view path, const DatabaseValue& value)
{
    run([&](HubServer& server) { EXPECT_FALSE(server.serviceWrite(path, value)); });
}

std::string RunningService::signUp(const std::string& email, std::string* uid)
{
    std::string token;
    run([&](HubServer& server) {
        auto result = server.accounts().createAccount(email, "secret-password");
        ASSERT_TRUE(std::holds_alternative<AuthBackend::Session>(result));
        token = std::get<AuthBackend::Session>(result).token;
        if (uid)
            *uid = std::get<AuthBackend::Session>(result).user.uid;
    });
    return token;
}

void ServiceFixture::SetUp()
{
    ensureApplication();
    ASSERT_TRUE(folder.isValid());
    startService();
}

void ServiceFixture::TearDown() { service.reset(); }

HubServer::Options ServiceFixture::serviceOptions() const
{
    HubServer::Options options;
    options.dataFolder = folder.path().toStdString();
    options.hashIterations = 1000;
    options.pingInterval = pingInterval;
    options.pingTimeout = pingTimeout;
    options.http = httpLimits;
    options.maxUnfinishedPerPeer = maxUnfinishedPerPeer;
    options.maxConnectionsPerAccount = maxConnectionsPerAccount;
    options.maxWebSocketsPerPeer = maxWebSocketsPerPeer;
    options.maxConnections = maxConnections;
    options.renewGrace = renewGrace;
    options.maxUnsentBytes = maxUnsentBytes;
    if (clock)
        options.clock = clock;
    options.tlsCertificate = tlsCertificate;
    options.tlsKey = tlsKey;
    return options;
}

void ServiceFixture::startService(quint16 port)
{
    auto options = serviceOptions();
    options.port = port;
    service = std::make_unique<RunningService>(options);
}

std::unique_ptr<DatabaseClient> ServiceFixture::connectClient(const std::string& token)
{
    auto connection = std::make_unique<RemoteConnection>(RemoteConnection::Options{service->url(), token});
    return std::make_unique<DatabaseClient>(std::move(connection), queue, DatabaseClient::Options{});
}

void SignedInFixture::SetUp()
{
    ServiceFixture::SetUp();
    token = service->signUp("editor@example.com", &uid);
}

}  // namespace qv::hub::testing
