#include "services/hub/HubServer.h"

#include "platform/foundation/Log.h"
#include "platform/rtdb/ValueCheck.h"
#include "platform/rtdb/WireProtocol.h"
#include "services/hub/AccessRules.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>

#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>

namespace qv::hub {

namespace {

// Frames at least this long are read on a thread of their own: a megabyte of JSON takes tens of
// milliseconds, which every other client would wait.
constexpr std::size_t kReadOffThreadBytes = 16 * 1024;
// Bytes of frames one account's connections, all together, have handled in one turn of the event
// loop before the rest wait for the next: however many connections an account holds, its writes
// take a few milliseconds of each turn, and every other account is served in between.
constexpr std::size_t kTurnBytesPerAccount = 16 * 1024;

// The sign-in screen's code for an account or address that must wait before trying again.
constexpr auto kTooManyAttempts = static_cast<AuthErrorCode>(17010);

std::int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "1 second", "5 seconds": a wait of `ms`, rounded up.
std::string secondsText(std::int64_t ms)
{
    const std::int64_t seconds = (ms + 999) / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

QJsonObject jsonBody(const HttpRequest& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

HttpResponse authError(const AuthError& error)
{
    QJsonObject detail{{"code", static_cast<int>(error.code)},
                       {"message", QString::fromStdString(error.localizedDescription)}};
    return HttpResponse::json(400, QJsonDocument(QJsonObject{{"error", detail}}).toJson(QJsonDocument::Compact));
}

HttpResponse sessionAnswer(const AuthBackend::Session& session)
{
    QJsonObject body{{"uid", QString::fromStdString(session.user.uid)},
                     {"email", QString::fromStdString(session.user.email)},
                     {"emailVerified", session.user.emailVerified},
                     {"token", QString::fromStdString(session.token)}};
    return HttpResponse::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

const char* errorCode(DatabaseErrorCode code)
{
    switch (code) {
    case DatabaseErrorCode::InvalidKey:
    case DatabaseErrorCode::InvalidPath: return "invalid_path";
    case DatabaseErrorCode::InvalidValue: return "invalid_value";
    case DatabaseErrorCode::PermissionDenied: return "permission_denied";
    case DatabaseErrorCode::StorageFailed: return "storage_failed";
    default: return "protocol";
    }
}

// Why `text`, which the frame reader refused, is JSON all the same and still not to be read: a
// frame larger or holding more values than the service takes, a number beyond the range of a
// double ("1e400"), or nesting deeper than a value may reach. Such a frame is refused like any
// value that cannot be stored, and the connection stays open.
struct UnreadableFrame {
    std::string problem;  // empty when the text is not JSON after all
    DatabaseValue id;     // the frame's "id" when it is a number, else null
};

UnreadableFrame unreadableFrame(std::string_view text)
{
    struct Reader final : nlohmann::json_sax<nlohmann::json> {
        // Set, the read ends at the frame's own "id": only that is wanted of a frame too large.
        bool idOnly = false;
        bool outOfRange = false;
        std::size_t depth = 0;
        std::size_t deepest = 0;
        std::size_t values = 0;
        bool idNext = false;
        DatabaseValue id;
        bool scalar()
        {
            ++values;
            const bool wasId = idNext;
            idNext = false;
            return !(idOnly && wasId);
        }
        bool null() override { return scalar(); }
        bool boolean(bool) override { return scalar(); }
        bool number_integer(number_integer_t value) override
        {
            if (idNext)
                id = DatabaseValue(static_cast<std::int64_t>(value));
            return scalar();
        }
        bool number_unsigned(number_unsigned_t value) override
        {
            if (idNext && value <= static_cast<std::uint64_t>(INT64_MAX))
                id = DatabaseValue(static_cast<std::int64_t>(value));
            return scalar();
        }
        bool number_float(number_float_t, const string_t&) override { return scalar(); }
        bool string(string_t&) override { return scalar(); }
        bool binary(binary_t&) override { return scalar(); }
        bool start_object(std::size_t) override { return open(); }
        bool key(string_t& name) override
        {
            idNext = depth == 1 && name == "id";
            return true;
        }
        bool end_object() override { return close(); }
        bool start_array(std::size_t) override { return open(); }
        bool end_array() override { return close(); }
        bool open()
        {
            ++values;
            const bool wasId = idNext;
            idNext = false;
            deepest = std::max(deepest, ++depth);
            return !(idOnly && wasId);
        }
        bool close()
        {
            --depth;
            return true;
        }
        bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override
        {
            // The parser's code for a number that overflows.
            outOfRange = error.id == 406;
            return false;
        }
    } reader;
    if (text.size() > HubServer::kMaxClientFrameBytes) {
        reader.idOnly = true;
        nlohmann::json::sax_parse(text.begin(), text.end(), &reader);
        return {"the frame is " + std::to_string(text.size()) + " bytes: a frame may hold at most "
                    + std::to_string(HubServer::kMaxClientFrameBytes >> 20) + " MiB",
                reader.id};
    }
    const bool json = nlohmann::json::sax_parse(text.begin(), text.end(), &reader);
    if (reader.outOfRange)
        return {"a number in the frame is beyond the range of a double", DatabaseValue()};
    if (json && reader.deepest > kMaxPathDepth)
        return {"the frame nests " + std::to_string(reader.deepest) + " levels deep: a value may reach at most "
                    + std::to_string(kMaxPathDepth) + " levels below the root",
                reader.id};
    if (json && reader.values > HubServer::kMaxFrameValues)
        return {"the frame holds " + std::to_string(reader.values) + " values: a frame may hold at most "
                    + std::to_string(HubServer::kMaxFrameValues) + " (each map, list and leaf counted)",
                reader.id};
    return {};
}

}  // namespace

struct HubServer::ClientFrame {
    std::size_t bytes = 0;
    std::optional<DatabaseValue> frame;
    std::string error;    // why it is not a frame, when it is not JSON either
    std::string refusal;  // why it is refused, when it is JSON
    DatabaseValue id;     // the refused frame's "id" when it is a number
};

HubServer::ClientFrame HubServer::readClientFrame(std::string_view text)
{
    ClientFrame read;
    read.bytes = text.size();
    // A frame past the bytes is not parsed at all: unreadableFrame() refuses it by its size.
    if (text.size() <= kMaxClientFrameBytes)
        read.frame = parseFrame(text, read.error, kMaxFrameValues);
    if (!read.frame) {
        UnreadableFrame unreadable = unreadableFrame(text);
        read.refusal = std::move(unreadable.problem);
        read.id = std::move(unreadable.id);
    }
    return read;
}

HubServer::HubServer(Options options)
    : options_(std::move(options))
{
    DatabaseBackend::Options database;
    if (!options_.dataFolder.empty())
        database.folder = options_.dataFolder / "database";
    database.clock = options_.clock;
    database.deferCommit = true;
    database_ = std::make_unique<DatabaseBackend>(std::move(database));
    AuthBackend::Options accounts;
    if (!options_.dataFolder.empty())
        accounts.folder = options_.dataFolder / "accounts";
    accounts.hashIterations = options_.hashIterations;
    accounts.clock = options_.clock;
    accounts_ = std::make_unique<AuthBackend>(std::move(accounts));
    workers_ = std::make_unique<WorkerPool>("service requests", std::max(2, QThread::idealThreadCount() / 2));
    frameReader_ = std::make_unique<SerialQueue>("large frames");
    addAccountRoutes();
    verification_ = std::make_unique<AccountVerification>(*this, options_.verifyNewAccounts, options_.dataFolder, [this] {
        return QStringLiteral("%1://%2:%3")
            .arg(options_.tlsCertificate.empty() ? "http" : "https", options_.address.toString())
            .arg(port());
    });
    connect(&pings_, &QTimer::timeout, this, &HubServer::pingClients);
}

HubServer::~HubServer()
{
    frameReader_->cancelPending();
    frameReader_.reset();
    workers_->cancelPending();
    workers_.reset();
    if (tcp_)
        tcp_->close();
    // Taken out first: an aborted connection reports its end, which then finds no session.
    auto sessions = std::move(sessions_);
    sessions_.clear();
    for (auto& [socket, session] : sessions) {
        disconnectDatabase(*session);
        socket->abort();
    }
    database_->commit();
}

bool HubServer::start(QString& error)
{
    bool tls = !options_.tlsCertificate.empty() || !options_.tlsKey.empty();
    if (!tls && !options_.address.isLoopback()) {
        error = "on an address other than loopback the service speaks TLS only: give a certificate and its key";
        return false;
    }
    if (tls) {
        auto configuration = tlsConfiguration(error);
        if (!configuration)
            return false;
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(*configuration);
        connect(server.get(), &QSslServer::errorOccurred, this, [](QSslSocket* socket, QAbstractSocket::SocketError) {
            logWarning("service: a TLS connection failed: " + socket->errorString().toStdString());
        });
        tcp_ = std::move(server);
    } else {
        tcp_ = std::make_unique<QTcpServer>();
    }
    connect(tcp_.get(), &QTcpServer::pendingConnectionAvailable, this, &HubServer::acceptTcp);
    // Out of descriptors all the same (the reserve spent elsewhere), the server stops accepting:
    // it takes up again once some are free.
    connect(tcp_.get(), &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        logWarning("service: a connection could not be accepted: " + tcp_->errorString().toStdString());
        QTimer::singleShot(100, tcp_.get(), &QTcpServer::resumeAccepting);
    });
    maxConnections_ = options_.maxConnections;
    if (rlimit files{}; maxConnections_ <= 0 && getrlimit(RLIMIT_NOFILE, &files) == 0)
        maxConnections_ = static_cast<int>(std::clamp<rlim_t>(files.rlim_cur, 2 * kDescriptorReserve, 1 << 20)) - kDescriptorReserve;
    if (!tcp_->listen(options_.address, options_.port)) {
        error = "cannot listen on " + options_.address.toString() + ":" + QString::number(options_.port) + ": "
            + tcp_->errorString();
        return false;
    }
    pings_.start(static_cast<int>(options_.pingInterval * 1000));
    return true;
}

DatabaseResult HubServer::serviceWrite(std::string_view path, const DatabaseValue& value)
{
    auto result = database_->setValue(path, value);
    scheduleCommit();
    return result;
}

DatabaseResult HubServer::serviceUpdate(std::string_view path, const DatabaseUpdate& values)
{
    auto result = database_->updateChildValues(path, values);
    scheduleCommit();
    return result;
}

std::optional<QSslConfiguration> HubServer::tlsConfiguration(QString& error) const
{
    if (options_.tlsCertificate.empty() || options_.tlsKey.empty()) {
        error = "TLS needs both a certificate and its private key";
        return std::nullopt;
    }
    QFile keyFile(QString::fromStdString(options_.tlsKey.string()));
    auto chain = QSslCertificate::fromPath(QString::fromStdString(options_.tlsCertificate.string()), QSsl::Pem,
                                           QSslCertificate::PatternSyntax::FixedString);
    if (chain.isEmpty()) {
        error = "no PEM certificate in " + QString::fromStdString(options_.tlsCertificate.string());
        return std::nullopt;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        error = "cannot read the key " + keyFile.fileName() + ": " + keyFile.errorString();
        return std::nullopt;
    }
    QByteArray pem = keyFile.readAll();
    QSslKey key(pem, QSsl::Rsa);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Ec);
    if (key.isNull()) {
        error = "no PEM private key in " + keyFile.fileName();
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

void HubServer::acceptTcp()
{
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
        // Frames are small and answered at once: waiting to fill a packet costs a round trip.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        ++connections_;
        connect(socket, &QObject::destroyed, this, [this] { --connections_; });
        if (connections_ > maxConnections_ + kDescriptorReserve / 2) {
            // Answered ones are held a moment each: connections arriving faster than they go
            // would take the reserve too. Past half of it, a connection is closed unanswered.
            socket->abort();
            continue;
        }
        if (connections_ > maxConnections_) {
            turnAway(socket, HttpResponse::error(503, "busy", "The service holds as many connections as it can. Try again shortly."));
            continue;
        }
        QString peer = socket->peerAddress().toString();
        // One address may not hold every descriptor of the service with requests it never finishes.
        if (unfinished_[peer] >= options_.maxUnfinishedPerPeer) {
            socket->abort();
            continue;
        }
        ++unfinished_[peer];
        auto* exchange = new HttpConnection(
            socket, router_, *workers_, options_.http,
            [this](QTcpSocket* upgraded, const HttpRequest& handshake) { return acceptWebSocket(upgraded, handshake); }, this);
        connect(exchange, &QObject::destroyed, this, [this, peer] { releasePeer(peer); });
    }
}

void HubServer::turnAway(QTcpSocket* socket, const HttpResponse& response)
{
    socket->write(responseBytes(response));
    // What the client sends is dropped; the connection goes once it has read the answer, or
    // after a moment.
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->skip(socket->bytesAvailable()); });
    endSendingOnceWritten(socket, socket);
    QTimer::singleShot(2000, socket, [socket] { socket->abort(); });
}

void HubServer::releasePeer(const QString& peer)
{
    auto found = unfinished_.find(peer);
    if (found != unfinished_.end() && --found->second <= 0)
        unfinished_.erase(found);
}

void HubServer::addAccountRoutes()
{
    auto credentials = [](const HttpRequest& request) {
        QJsonObject body = jsonBody(request);
        return std::make_pair(body.value("email").toString().toStdString(), body.value("password").toString().toStdString());
    };
    router_.add("POST", "/auth/sign-up", [this, credentials](const HttpRequest& request) {
        auto [email, password] = credentials(request);
        auto result = accounts_->createAccount(email, password);
        if (auto* error = std::get_if<AuthError>(&result))
            return authError(*error);
        auto session = std::get<AuthBackend::Session>(result);
        if (verification_->verifiesAtOnce())
            session.user.emailVerified = true;
        // The tree belongs to the service's thread; the balance and the verification are
        // written there, queued ahead of the answer.
        QMetaObject::invokeMethod(this, [this, user = session.user]() mutable {
            // An account that cannot run out is marked so, for clients to say so instead of
            // showing the figure.
            DatabaseUpdate grant{{"mins_bal", options_.newAccountMinutes}};
            if (options_.newAccountMinutes == kUnlimitedAccountMinutes)
                grant.push_back({"mins_unlimited", true});
            serviceUpdate("users/" + user.uid, grant);
            verification_->accountCreated(user);
        }, Qt::QueuedConnection);
        return sessionAnswer(session);
    }, HttpRouter::Runs::OffThread);
    router_.add("POST", "/auth/sign-in", [this, credentials](const HttpRequest& request) {
        auto [email, password] = credentials(request);
        const std::string account = QString::fromStdString(email).toLower().toStdString();
        const std::string peer = request.peer.toStdString();
        if (std::int64_t wait = throttle_.waitMs(account, peer, database_->now()); wait > 0)
            return authError({kTooManyAttempts, "Too many wrong passwords. Try again in " + secondsText(wait) + "."});
        auto result = accounts_->signIn(email, password);
        if (auto* error = std::get_if<AuthError>(&result)) {
            if (error->code == AuthErrorCode::WrongPassword)
                throttle_.failed(account, peer, database_->now());
            return authError(*error);
        }
        throttle_.succeeded(account);
        return sessionAnswer(std::get<AuthBackend::Session>(result));
    }, HttpRouter::Runs::OffThread);
    router_.add("POST", "/auth/refresh", [this](const HttpRequest& request) {
        const std::string token = jsonBody(request).value("token").toString().toStdString();
        auto session = accounts_->refreshSession(token);
        if (!session)
            return HttpResponse::error(401, "unauthenticated", "The token is not valid.");
        // Connections on the replaced token have a moment to sign in with the new one.
        for (auto& [socket, hub] : sessions_)
            if (hub->token == token && !hub->replacedAt)
                hub->replacedAt = steadyMs();
        return sessionAnswer(*session);
    });
    router_.add("POST", "/auth/session", [this](const HttpRequest& request) {
        auto user = accounts_->resumeSession(jsonBody(request).value("token").toString().toStdString());
        if (!user)
            return HttpResponse::error(401, "unauthenticated", "The token is not valid.");
        QJsonObject body{{"uid", QString::fromStdString(user->uid)}, {"email", QString::fromStdString(user->email)},
                         {"emailVerified", user->emailVerified}};
        return HttpResponse::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
    });
    router_.add("POST", "/auth/sign-out", [this](const HttpRequest& request) {
        const std::string token = jsonBody(request).value("token").toString().toStdString();
        accounts_->endSession(token);
        std::vector<std::shared_ptr<HubSession>> ended;
        for (auto& [socket, session] : sessions_)
            if (!session->token.empty() && session->token == token)
                ended.push_back(session);
        for (auto& session : ended)
            signOff(*session, "the sign-in was ended");
        return HttpResponse::json(200, "{}");
    });
    // Anyone may ask, unsigned: every request counts against its address and its account, as
    // wrong passwords do, and the accounts file is written off the service's thread.
    router_.add("POST", "/auth/password-reset", [this](const HttpRequest& request) {
        const std::string email = jsonBody(request).value("email").toString().toLower().toStdString();
        const std::string peer = request.peer.toStdString();
        const std::int64_t now = database_->now();
        if (std::int64_t wait = resetThrottle_.waitMs(email, peer, now); wait > 0)
            return authError({kTooManyAttempts, "Too many password reset requests. Try again in " + secondsText(wait) + "."});
        resetThrottle_.failed(email, peer, now);
        if (auto error = accounts_->requestPasswordReset(email))
            return authError(*error);
        return HttpResponse::json(200, "{}");
    }, HttpRouter::Runs::OffThread);
    router_.add("GET", "/check-existing-user", [this](const HttpRequest& request) {
        QString email = request.query.queryItemValue("email", QUrl::FullyDecoded);
        QJsonObject body{{"user_exists", accounts_->hasAccount(email.toStdString())}, {"banned_domain", false}};
        return HttpResponse::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
    });
}

std::optional<HttpResponse> HubServer::acceptWebSocket(QTcpSocket* tcp, const HttpRequest& handshake)
{
    const QString peer = tcp->peerAddress().toString();
    if (webSockets_[peer] >= options_.maxWebSocketsPerPeer) {
        HttpResponse busy = HttpResponse::error(
            503, "too_many_connections",
            QStringLiteral("This address holds %1 database connections, as many as one address may.").arg(options_.maxWebSocketsPerPeer));
        busy.headers["Retry-After"] = "5";
        return busy;
    }
    ++webSockets_[peer];
    WebSocketConnection::Handlers handlers;
    handlers.text = [this](WebSocketConnection* socket, std::string_view text) { handleText(socket, text); };
    handlers.mayRead = [this](WebSocketConnection* socket) {
        auto found = sessions_.find(socket);
        return found == sessions_.end() || hasTurnLeft(*found->second);
    };
    handlers.binary = [this](WebSocketConnection* socket) {
        if (auto found = sessions_.find(socket); found != sessions_.end())
            breakOff(*found->second, "protocol", "frames are text");
    };
    handlers.pong = [this](WebSocketConnection* socket) {
        if (auto found = sessions_.find(socket); found != sessions_.end())
            found->second->lastHeard = steadyMs();
    };
    handlers.ended = [this](WebSocketConnection* socket) { endSession(socket); };
    auto* socket = new WebSocketConnection(tcp, handshake, kMaxFrameBytes, std::move(handlers), this);
    auto session = std::make_shared<HubSession>(socket);
    session->peer = peer;
    session->lastHeard = session->opened = steadyMs();
    sessions_[socket] = session;
    return std::nullopt;
}

void HubServer::endSession(WebSocketConnection* socket)
{
    auto found = sessions_.find(socket);
    if (found == sessions_.end())
        return;
    auto session = found->second;
    sessions_.erase(found);
    if (auto peer = webSockets_.find(session->peer); peer != webSockets_.end() && --peer->second <= 0)
        webSockets_.erase(peer);
    disconnectDatabase(*session);
    socket->deleteLater();
    scheduleCommit();
}

void HubServer::disconnectDatabase(HubSession& session)
{
    if (!session.connection)
        return;
    // What was allowed when the client registered a write may not be when it is made: the file
    // may since belong to someone else, the counter have moved on.
    database_->disconnect(session.connection, [uid = session.uid](const DatabaseWrite& write, const DatabaseValue& tree) {
        std::string denied = writeProblem(uid, {write}, tree);
        if (!denied.empty())
            logWarning("service: an on-disconnect write at " + write.path.toString() + " is dropped: " + denied);
        return denied.empty();
    });
    session.connection = 0;
}

void HubServer::handleText(WebSocketConnection* socket, std::string_view text)
{
    auto found = sessions_.find(socket);
    if (found == sessions_.end())
        return;
    HubSession& session = *found->second;
    session.lastHeard = steadyMs();
    if (session.broken)
        return;
    if (text.size() < kReadOffThreadBytes) {
        turnBytes_[turnKey(session)] += text.size();
        handleRead(session, readClientFrame(text));
        scheduleCommit();
        return;
    }
    // The connection's later frames wait, unread, until this one is handled.
    socket->pause();
    frameReader_->run([this, weak = std::weak_ptr<HubSession>(found->second), text = std::string(text)] {
        auto read = std::make_shared<ClientFrame>(readClientFrame(text));
        QMetaObject::invokeMethod(this, [this, weak, read] { handleReadOffThread(weak, read); }, Qt::QueuedConnection);
    });
}

void HubServer::handleReadOffThread(const std::weak_ptr<HubSession>& weak, const std::shared_ptr<ClientFrame>& read)
{
    auto session = weak.lock();
    if (!session || !session->socket || !sessions_.count(session->socket.data()))
        return;
    if (!hasTurnLeft(*session)) {
        // After this turn's commit, which gives every account its share again.
        scheduleCommit();
        QTimer::singleShot(0, this, [this, weak, read] { handleReadOffThread(weak, read); });
        return;
    }
    turnBytes_[turnKey(*session)] += read->bytes;
    if (!session->broken)
        handleRead(*session, *read);
    session->socket->resume();
    scheduleCommit();
}

std::string HubServer::turnKey(const HubSession& session)
{
    return session.uid.empty() ? "address " + session.peer.toStdString() : session.uid;
}

bool HubServer::hasTurnLeft(const HubSession& session) const
{
    auto found = turnBytes_.find(turnKey(session));
    return found == turnBytes_.end() || found->second < kTurnBytesPerAccount;
}

void HubServer::handleRead(HubSession& session, const ClientFrame& read)
{
    if (read.frame)
        handleFrame(session, *read.frame);
    else if (!read.refusal.empty())
        refuse(session, read.id, "invalid_value", read.refusal);
    else
        breakOff(session, "protocol", read.error);
}

void HubServer::refuse(HubSession& session, const DatabaseValue& id, const char* code, const std::string& message)
{
    session.outbox.push_back(FrameBuilder("error").value("id", id).text("code", code).text("message", message).take());
}

void HubServer::signOff(HubSession& session, const std::string& message)
{
    session.broken = true;
    session.outbox.push_back(FrameBuilder("error").text("code", "unauthenticated").text("message", message).take());
    session.flush();
    if (session.socket)
        session.socket->close(WebSocketConnection::PolicyViolated, "unauthenticated");
}

void HubServer::breakOff(HubSession& session, const char* code, const std::string& message,
                         WebSocketConnection::CloseCode closeCode)
{
    session.broken = true;
    session.outbox.push_back(FrameBuilder("error").text("code", code).text("message", message).take());
    session.flush();
    if (session.socket)
        session.socket->close(closeCode, message);
}

void HubServer::handleFrame(HubSession& session, const DatabaseValue& frame)
{
    const std::string op = frame.child("op").toString();
    // Answers carry the id as sent; only a write's, checked below, is read as a number.
    const DatabaseValue& sentId = frame.child("id");
    const std::uint64_t id = static_cast<std::uint64_t>(sentId.toInt());
    if (op == "ping") {
        // A pong tells nothing of the tree: with nothing waiting before it for the commit, it goes
        // at once, so that no account's writes in this turn hold up another account's round trip.
        std::string pong = FrameBuilder("pong").value("id", sentId).take();
        if (session.outbox.empty() && session.socket)
            session.socket->sendText(pong);
        else
            session.outbox.push_back(std::move(pong));
        return;
    }
    if (op == "auth") {
        const std::string token = frame.child("token").toString();
        std::int64_t expiresAt = 0;
        auto user = accounts_->resumeSession(token, &expiresAt);
        if (!session.uid.empty()) {
            // A renewed token of the same account keeps the connection signed in.
            if (!user || user->uid != session.uid)
                return breakOff(session, "protocol", "already authenticated as another account");
            session.token = token;
            session.tokenExpiresAt = expiresAt;
            session.replacedAt = 0;
            session.outbox.push_back(FrameBuilder("ready").text("uid", session.uid).value("time", database_->now()).take());
            return;
        }
        if (!user)
            return signOff(session, "the token is not valid");
        const auto held = std::count_if(sessions_.begin(), sessions_.end(),
                                        [&](const auto& entry) { return entry.second->uid == user->uid; });
        if (held >= options_.maxConnectionsPerAccount)
            return breakOff(session, "too_many_connections",
                            "this account holds " + std::to_string(held) + " database connections, as many as one account may",
                            WebSocketConnection::PolicyViolated);
        session.uid = user->uid;
        session.token = token;
        session.tokenExpiresAt = expiresAt;
        session.origin = frame.child("client").toString();
        if (session.origin.empty() || session.origin.size() > 128)
            session.origin = "anonymous";
        session.origin = session.uid + "/" + session.origin;
        DatabaseValue root;
        session.connection = database_->connect(sessions_[session.socket.data()], root);
        session.outbox.push_back(FrameBuilder("ready").text("uid", session.uid).value("time", database_->now()).take());
        return;
    }
    if (session.uid.empty())
        return breakOff(session, "unauthenticated", "authenticate first");

    auto pathOf = [&](std::string_view key, std::string& problem) {
        DatabasePath path = DatabasePath::parse(frame.child(key).toString());
        if (!frame.child(key).isString())
            problem = "the frame has no path";
        else
            problem = path.problem(false);
        return path;
    };
    // Repeats are told apart by (client, id): a write without a usable id would be applied once
    // under a made-up one and every later such write dropped as its repeat.
    if ((op == "write" || op == "cas") && !(frame.child("id").isInt() && frame.child("id").toInt() > 0)) {
        session.outbox.push_back(FrameBuilder("error").value("id", sentId).text("code", "invalid_value")
                                     .text("message", "a write needs an \"id\": a whole number from 1").take());
        return;
    }
    std::string problem;
    if (op == "listen") {
        DatabasePath path = pathOf("path", problem);
        if (!problem.empty())
            return refuse(session, sentId, "invalid_path", problem);
        DatabaseValue tree = database_->root();
        if (auto denied = readProblem(session.uid, path, tree); !denied.empty())
            return refuse(session, sentId, "permission_denied", denied);
        session.listens.insert(path);
        session.outbox.push_back(FrameBuilder("value").value("id", sentId).text("path", path.toString()).value("value", tree.at(path)).take());
        return;
    }
    if (op == "done") {
        auto below = frame.child("below").toInt(0);
        if (below > 0)
            database_->forgetTagsBelow(session.origin, static_cast<std::uint64_t>(below));
        return;
    }
    if (op == "unlisten") {
        session.listens.erase(DatabasePath::parse(frame.child("path").toString()));
        return;
    }
    if (op == "write" || op == "ondisconnect") {
        DatabaseResult refusal;
        auto writes = frameWrites(frame, "writes", &refusal);
        if (!writes)
            return refuse(session, sentId, "invalid_value",
                          refusal ? refusal->message : "the writes are not a list of valid [path, value] pairs");
        if (auto denied = writeProblem(session.uid, *writes, database_->root()); !denied.empty())
            return refuse(session, sentId, "permission_denied", denied);
        if (op == "ondisconnect") {
            for (auto& write : *writes)
                database_->onDisconnect(session.connection, std::move(write));
            session.outbox.push_back(FrameBuilder("ack").value("id", sentId).take());
            return;
        }
        verification_->keepVerifiedStatus(session.uid, *writes);
        WriteTag tag{session.origin, id};
        database_->write(session.connection, *writes, id, nullptr, nullptr, &tag);
        return;
    }
    if (op == "cas") {
        DatabasePath path = pathOf("path", problem);
        DatabaseValue value = frame.child("value");
        if (!problem.empty())
            return refuse(session, sentId, "invalid_path", problem);
        if (auto error = checkWrite(path, value))
            return refuse(session, sentId, errorCode(error->code), error->message);
        DatabaseValue tree = database_->root();
        if (auto denied = readProblem(session.uid, path, tree); !denied.empty())
            return refuse(session, sentId, "permission_denied", denied);
        WriteTag tag{session.origin, id};
        DatabaseValue current = tree.at(path);
        if (current == frame.child("expected")) {
            DatabaseValue resolved = value.resolvingServerTimestamps(database_->now());
            if (auto denied = writeProblem(session.uid, {{path, resolved}}, tree); !denied.empty())
                return refuse(session, sentId, "permission_denied", denied);
        }
        database_->compareAndSet(session.connection, path, frame.child("expected"), value, id, &tag);
        return;
    }
    breakOff(session, "protocol", "unknown operation \"" + op + "\"");
}

void HubServer::scheduleCommit()
{
    if (commitScheduled_)
        return;
    commitScheduled_ = true;
    QTimer::singleShot(0, this, &HubServer::commitAndFlush);
}

void HubServer::commitAndFlush()
{
    commitScheduled_ = false;
    turnBytes_.clear();
    if (auto error = database_->commit()) {
        // Nothing of this batch is stored: no client may hear it was. Each reconnects, hears the
        // tree as stored, and sends its unanswered writes again.
        logError("service: " + error->message + "; dropping every connection");
        for (auto& [socket, session] : sessions_) {
            session->outbox.clear();
            socket->close(WebSocketConnection::GoingAway, "storage failed");
        }
        return;
    }
    std::vector<WebSocketConnection*> behind;
    for (auto& [socket, session] : sessions_) {
        if (!session->outbox.empty() && socket->bytesToWrite() > options_.maxUnsentBytes)
            behind.push_back(socket);
        else
            session->flush();
    }
    // Its frames would only pile up in the service's memory; the client reads the tree afresh
    // when it reconnects, as after any drop.
    for (WebSocketConnection* socket : behind) {
        logWarning("service: a connection that does not read what it is sent is ended");
        socket->abort();
        endSession(socket);
    }
}

void HubServer::pingClients()
{
    std::int64_t now = steadyMs();
    std::vector<WebSocketConnection*> silent;
    std::vector<std::shared_ptr<HubSession>> replaced;
    std::vector<std::shared_ptr<HubSession>> expired;
    for (auto& [socket, session] : sessions_) {
        bool notSignedIn = session->uid.empty() && now - session->opened > static_cast<std::int64_t>(options_.http.headSeconds * 1000);
        if (session->replacedAt && !session->broken && now - session->replacedAt > static_cast<std::int64_t>(options_.renewGrace * 1000))
            replaced.push_back(session);
        // A token signs in for its hour; the client renews it well before, on the same connection.
        else if (!session->uid.empty() && !session->broken && database_->now() >= session->tokenExpiresAt)
            expired.push_back(session);
        else if (notSignedIn || now - session->lastHeard > static_cast<std::int64_t>(options_.pingTimeout * 1000))
            silent.push_back(socket);
        else
            socket->ping();
    }
    for (auto& session : replaced)
        signOff(*session, "the token was replaced");
    for (auto& session : expired)
        signOff(*session, "the token has expired");
    for (WebSocketConnection* socket : silent) {
        socket->abort();
        endSession(socket);
    }
}

}  // namespace qv::hub
