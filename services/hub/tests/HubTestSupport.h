// A service on its own thread, on an ephemeral loopback port with its data in a temporary
// folder, and clients of it driven from the test's hand-run main queue. Waits are on conditions
// with a generous deadline, never fixed sleeps.
#pragma once

#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/RemoteConnection.h"
#include "services/hub/HubServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace qv::hub::testing {

// Seconds any wait may take before the test fails.
inline constexpr double kDeadline = 20;
// How often a wait looks again at a condition no task signals, in seconds.
inline constexpr double kPollSeconds = 0.02;

void ensureApplication();

// A blocking HTTP exchange with the service on `port`; answers "<status> <body>".
std::string http(quint16 port, const std::string& method, const std::string& target, const std::string& body = {});

class RunningService {
public:
    explicit RunningService(HubServer::Options options);
    ~RunningService();
    RunningService(const RunningService&) = delete;
    RunningService& operator=(const RunningService&) = delete;

    quint16 port() const { return port_; }
    QUrl url() const;
    // Runs `task` on the service's thread and waits for it.
    void run(const std::function<void(HubServer&)>& task);
    // Queues `task` on the service's thread without waiting.
    void post(std::function<void()> task);
    DatabaseValue value(std::string_view path);
    void serviceWrite(std::string_view path, const DatabaseValue& value);
    // A new account's token (and its uid in `uid`).
    std::string signUp(const std::string& email, std::string* uid = nullptr);

private:
    QThread thread_;
    QObject* anchor_ = nullptr;
    HubServer* server_ = nullptr;
    quint16 port_ = 0;
};

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HubServer::Options serviceOptions() const;
    void startService(quint16 port = 0);
    void stopService() { service.reset(); }
    std::unique_ptr<DatabaseClient> connectClient(const std::string& token);
    // Runs the main queue until `done` holds; false after the deadline. `done` may read the
    // service itself, whose changes reach this queue only when a client here listens to them,
    // so it is also checked every kPollSeconds without a task.
    bool waitFor(const std::function<bool()>& done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!queue.runUntil(done, kPollSeconds))
            if (timer.elapsed() > kDeadline * 1000)
                return done();
        return true;
    }

    QTemporaryDir folder;
    ManualDispatcher queue;
    std::unique_ptr<RunningService> service;
    double pingInterval = 3;
    double pingTimeout = 10;
    HttpConnection::Limits httpLimits;
    int maxUnfinishedPerPeer = 128;
    int maxConnectionsPerAccount = 64;
    int maxWebSocketsPerPeer = 128;
    int maxConnections = 0;  // from the open-file limit
    double renewGrace = 30;
    qint64 maxUnsentBytes = qint64{4} << 20;
    WallClock clock;  // unset: the system's
    std::filesystem::path tlsCertificate;
    std::filesystem::path tlsKey;
};

// The same with one account signed up.
class SignedInFixture : public ServiceFixture {
protected:
    void SetUp() override;

    std::string uid;
    std::string token;
};

}  // namespace qv::hub::testing
