// The service every computer of an account shares: the realtime database and the accounts,
// served on one port. WebSocket clients speak the database protocol (PROTOCOL.md); plain HTTP
// requests go to the router (sign-up, sign-in, token refresh, password reset, the existence
// check, and whatever other stand-ins add), over TLS when given a certificate. Writes received in one turn of the event loop are
// committed together, and answered only after that commit. Lives on the thread that made it.
#pragma once

#include "platform/foundation/WorkQueue.h"
#include "platform/rtdb/AuthBackend.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "services/hub/AccountVerification.h"
#include "services/hub/HttpConnection.h"
#include "services/hub/HttpRouter.h"
#include "services/hub/HubSession.h"
#include "services/hub/SignInThrottle.h"
#include "services/hub/WebSocketConnection.h"

#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTimer>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

namespace qv::hub {

class HubServer final : public QObject {
public:
    struct Options {
        // Loopback unless told otherwise; any other address needs TLS.
        QHostAddress address = QHostAddress::LocalHost;
        // PEM files of the certificate (its chain may follow) and its private key. Given, the
        // service speaks only TLS (wss and https), on any address.
        std::filesystem::path tlsCertificate;
        std::filesystem::path tlsKey;
        // 0 picks a free port.
        quint16 port = 0;
        // The tree in <dataFolder>/database, the accounts in <dataFolder>/accounts.
        std::filesystem::path dataFolder;
        // PBKDF2 rounds for new passwords. Defaults to 210,000; tests lower it.
        int hashIterations = 210'000;
        // The server's clock for timestamps. Defaults to the system time.
        WallClock clock;
        // A client is pinged this often, in seconds, and dropped (its on-disconnect writes
        // made) when it has not been heard for pingTimeout seconds. Defaults 3 and 10.
        double pingInterval = 3;
        double pingTimeout = 10;
        // Minutes of transcription a new account is given (`users/<uid>/mins_bal`). Defaults to
        // more than one person can use (such an account is marked `mins_unlimited`); a service
        // shared by a team states its own.
        std::int64_t newAccountMinutes = kUnlimitedAccountMinutes;
        // How long a request's head and a pausing body are waited for. A WebSocket must sign in
        // within the head's time too.
        HttpConnection::Limits http;
        // Connections one address may hold in the middle of a request; more are closed at once.
        int maxUnfinishedPerPeer = 128;
        // Database connections one account may hold signed in; a further `auth` is refused with
        // `too_many_connections` and closed. The client holds one per running copy.
        int maxConnectionsPerAccount = 64;
        // Database connections one address may hold (signed in or not): room for a team's
        // computers behind one router. A further handshake is answered 503.
        int maxWebSocketsPerPeer = 128;
        // Connections of every kind held at once; 0 takes the open-file limit less
        // kDescriptorReserve. A further connection is answered 503 at once and closed, so that
        // the service never runs out of descriptors and stops accepting.
        int maxConnections = 0;
        // Seconds a connection whose token was replaced (POST /auth/refresh) has to sign in with
        // the new one before it is closed. A token signed out closes its connections at once.
        double renewGrace = 30;
        // New accounts are verified at once (a service that serves one person); otherwise each
        // one's verification link goes to the log.
        bool verifyNewAccounts = false;
        // Bytes that may wait to be sent to one connection when the next frames are due; a
        // connection further behind (a client that stopped reading) is ended, and its client
        // reads afresh when it reconnects. One frame of any size may always go.
        qint64 maxUnsentBytes = qint64{4} << 20;
    };
    // The most a client's frame may hold: larger ones are refused with `invalid_value`, nothing of
    // them applied, so that no account's writes keep the service from answering others. The
    // client's own writes are single records, and its largest, the editing trace, stays under
    // 1 MiB.
    static constexpr std::size_t kMaxClientFrameBytes = std::size_t{2} << 20;
    static constexpr std::size_t kMaxFrameValues = 2048;
    // Descriptors kept for what is not a connection: the stores, uploads being written, the
    // event loop and the answer to a connection turned away.
    static constexpr int kDescriptorReserve = 64;
    // The balance of an account on a service that does not count: 100 years of media.
    static constexpr std::int64_t kUnlimitedAccountMinutes = 100LL * 365 * 24 * 60;

    // Opens the stores; throws std::runtime_error when they cannot be opened or read.
    explicit HubServer(Options options);
    ~HubServer() override;

    // Starts listening; false with `error` set when it cannot.
    bool start(QString& error);
    quint16 port() const { return tcp_ ? tcp_->serverPort() : 0; }
    HttpRouter& router() { return router_; }
    DatabaseBackend& database() { return *database_; }
    AuthBackend& accounts() { return *accounts_; }
    std::size_t sessionCount() const { return sessions_.size(); }
    // Writes as the service itself (the transcription worker, test set-ups): not bound by the
    // access rules, heard by every listening client after the next commit. Service thread only.
    DatabaseResult serviceWrite(std::string_view path, const DatabaseValue& value);
    DatabaseResult serviceUpdate(std::string_view path, const DatabaseUpdate& values);

private:
    std::optional<QSslConfiguration> tlsConfiguration(QString& error) const;
    void acceptTcp();
    void releasePeer(const QString& peer);
    std::optional<HttpResponse> acceptWebSocket(QTcpSocket* socket, const HttpRequest& handshake);
    // Answers `response` on a connection no exchange has taken, and closes it.
    void turnAway(QTcpSocket* socket, const HttpResponse& response);
    void addAccountRoutes();
    void handleText(WebSocketConnection* socket, std::string_view text);
    struct ClientFrame;
    // The frame in `text`, or why it is refused. Runs on any thread.
    static ClientFrame readClientFrame(std::string_view text);
    void handleRead(HubSession& session, const ClientFrame& read);
    // A frame read off the service's thread, handled once the session's account has its share
    // of a turn left.
    void handleReadOffThread(const std::weak_ptr<HubSession>& session, const std::shared_ptr<ClientFrame>& read);
    // Whose share of a turn a session's frames count against: its account, or before it signs
    // in, its address.
    static std::string turnKey(const HubSession& session);
    bool hasTurnLeft(const HubSession& session) const;
    void handleFrame(HubSession& session, const DatabaseValue& frame);
    void refuse(HubSession& session, const DatabaseValue& id, const char* code, const std::string& message);
    // Sends an "unauthenticated" error and closes: the sign-in is not (or no longer) valid.
    void signOff(HubSession& session, const std::string& message);
    // Sends an error and closes: the client broke the protocol (or, with another code, the
    // connection cannot be kept).
    void breakOff(HubSession& session, const char* code, const std::string& message,
                  WebSocketConnection::CloseCode closeCode = WebSocketConnection::ProtocolError);
    void endSession(WebSocketConnection* socket);
    // Ends the session's database connection, making those of its on-disconnect writes the
    // access rules still allow.
    void disconnectDatabase(HubSession& session);
    void scheduleCommit();
    void commitAndFlush();
    void pingClients();

    Options options_;
    std::unique_ptr<DatabaseBackend> database_;
    std::unique_ptr<AuthBackend> accounts_;
    std::unique_ptr<AccountVerification> verification_;
    HttpRouter router_;
    // Declared before the server, whose sockets count themselves out as they go.
    int connections_ = 0;  // sockets open, of every kind
    int maxConnections_ = 0;
    std::unique_ptr<QTcpServer> tcp_;
    QTimer pings_;
    std::map<WebSocketConnection*, std::shared_ptr<HubSession>> sessions_;
    std::map<QString, int> unfinished_;  // requests in progress by peer address
    std::map<QString, int> webSockets_;  // database connections by peer address
    SignInThrottle throttle_;       // wrong passwords
    SignInThrottle resetThrottle_;  // password-reset requests, each counted
    bool commitScheduled_ = false;
    std::map<std::string, std::size_t> turnBytes_;  // bytes of frames handled this turn, by turnKey()
    // Password hashing and the writing of uploads, off the service's thread. Declared last so
    // that it is stopped first, while what its tasks use still exists.
    std::unique_ptr<WorkerPool> workers_;
    // Reads large frames, one at a time, apart from the workers, so that sign-ins never wait
    // behind them.
    std::unique_ptr<SerialQueue> frameReader_;
};

}  // namespace qv::hub
