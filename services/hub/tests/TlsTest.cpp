#include "HubTestSupport.h"

#include <QProcess>
#include <QSslSocket>
#include <QWebSocket>

namespace qv::hub::testing {
namespace {

// A service with a self-signed certificate for 127.0.0.1, made at test time.
class Tls : public SignedInFixture {
protected:
    void SetUp() override
    {
        ensureApplication();
        ASSERT_TRUE(keys.isValid());
        tlsCertificate = keys.filePath("cert.pem").toStdString();
        tlsKey = keys.filePath("key.pem").toStdString();
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                                  "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", keys.filePath("key.pem"),
                                  "-out", keys.filePath("cert.pem")});
        ASSERT_TRUE(openssl.waitForFinished(int(kDeadline * 1000)));
        ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
        certificate = QSslCertificate::fromPath(keys.filePath("cert.pem"));
        ASSERT_EQ(certificate.size(), 1);
        SignedInFixture::SetUp();
    }
    QUrl secureUrl() const { return QUrl("wss://127.0.0.1:" + QString::number(service->port()) + "/"); }

    QTemporaryDir keys;
    QList<QSslCertificate> certificate;
};

TEST_F(Tls, AClientThatTrustsTheCertificateWorksOverWss)
{
    DatabaseClient client(std::make_unique<RemoteConnection>(RemoteConnection::Options{secureUrl(), token, certificate}),
                          queue, DatabaseClient::Options{});
    std::optional<DatabaseResult> done;
    client.reference("users/" + uid + "/first_name").setValue("Ada", [&](const DatabaseResult& error) { done = error; });
    ASSERT_TRUE(waitFor([&] { return done.has_value(); }));
    EXPECT_FALSE(done->has_value());
    EXPECT_EQ(service->value("users/" + uid + "/first_name"), DatabaseValue("Ada"));

    QSslSocket https;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(certificate);
    https.setSslConfiguration(configuration);
    https.connectToHostEncrypted("127.0.0.1", service->port());
    ASSERT_TRUE(https.waitForEncrypted(int(kDeadline * 1000))) << https.errorString().toStdString();
    https.write("GET /check-existing-user?email=editor%40example.com HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (https.waitForReadyRead(int(kDeadline * 1000)))
        answer += https.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("\"user_exists\":true"));
}

TEST_F(Tls, ACertificateTheClientDoesNotTrustIsRefused)
{
    QWebSocket socket;
    bool refused = false, connected = false;
    QObject::connect(&socket, &QWebSocket::sslErrors, [&](const QList<QSslError>&) { refused = true; });
    QObject::connect(&socket, &QWebSocket::connected, [&] { connected = true; });
    socket.open(secureUrl());
    QElapsedTimer timer;
    timer.start();
    while (!refused && !connected && timer.elapsed() < kDeadline * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(connected);
}

TEST_F(Tls, PlainWebSocketsReachNothing)
{
    QWebSocket socket;
    bool connected = false, ended = false;
    QObject::connect(&socket, &QWebSocket::connected, [&] { connected = true; });
    QObject::connect(&socket, &QWebSocket::disconnected, [&] { ended = true; });
    socket.open(QUrl("ws://127.0.0.1:" + QString::number(service->port()) + "/"));
    QElapsedTimer timer;
    timer.start();
    while (!ended && !connected && timer.elapsed() < kDeadline * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    EXPECT_FALSE(connected);
    EXPECT_TRUE(ended);
}

TEST_F(Tls, OffLoopbackTheServiceRefusesToStartWithoutACertificate)
{
    struct Case {
        const char* name;
        std::filesystem::path certificate;
        std::filesystem::path key;
    };
    for (const Case& c : {Case{"no certificate", {}, {}}, Case{"no key", tlsCertificate, {}},
                          Case{"a key that is not one", tlsCertificate, tlsCertificate},
                          Case{"a missing certificate", keys.filePath("absent.pem").toStdString(), tlsKey}}) {
        SCOPED_TRACE(c.name);
        HubServer::Options options = serviceOptions();
        options.dataFolder = (std::filesystem::path(folder.path().toStdString()) / "other");
        options.address = QHostAddress::AnyIPv4;
        options.tlsCertificate = c.certificate;
        options.tlsKey = c.key;
        QString error;
        HubServer server(options);
        EXPECT_FALSE(server.start(error));
        EXPECT_FALSE(error.isEmpty());
    }
}

}  // namespace
}  // namespace qv::hub::testing
