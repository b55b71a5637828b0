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
#include <QUrl>

#include <chrono>

namespace qv::hub {

namespace {

// A request head longer than this is refused. 64 KiB.
constexpr qint64 kMaxHeadBytes = 64 * 1024;

std::int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QByteArray statusText(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

void writeResponse(QTcpSocket* socket, const HttpResponse& response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + statusText(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + response.body);
    socket->disconnectFromHost();
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

}  // namespace

HubServer::HubServer(Options options)
    : options_(std::move(options)), webSockets_("quorvantelle", QWebSocketServer::NonSecureMode)
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
    addAccountRoutes();
    verification_ = std::make_unique<AccountVerification>(*this, options_.verifyNewAccounts, options_.dataFolder, [this] {
        return QStringLiteral("%1://%2:%3")
            .arg(options_.tlsCertificate.empty() ? "http" : "https", options_.address.toString())
            .arg(port());
    });
    connect(&webSockets_, &QWebSocketServer::newConnection, this, &HubServer::acceptWebSocket);
    connect(&pings_, &QTimer::timeout, this, &HubServer::pingClients);
}

HubServer::~HubServer()
{
    if (tcp_)
        tcp_->close();
    for (auto& [socket, session] : sessions_) {
        socket->disconnect(this);
        if (session->connection)
            database_->disconnect(session->connection);
        socket->abort();
        socket->deleteLater();
    }
    sessions_.clear();
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
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequestHead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HubServer::readRequestHead(QTcpSocket* socket)
{
    // Peek, so that an upgrade request reaches the WebSocket server whole.
    QByteArray available = socket->peek(kMaxHeadBytes + 1);
    qsizetype end = available.indexOf("\r\n\r\n");
    if (end < 0) {
        if (available.size() > kMaxHeadBytes)
            writeResponse(socket, HttpResponse::error(431, "head_too_large", "The request head is too large."));
        return;
    }
    QList<QByteArray> lines = available.left(end).split('\n');
    QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    HttpRequest request;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    if (request.headers["upgrade"].toLower() == "websocket") {
        socket->disconnect(this);
        webSockets_.handleConnection(socket);
        return;
    }
    bool sized = true;
    qint64 length = request.headers.count("content-length") ? request.headers["content-length"].toLongLong(&sized) : 0;
    if (requestLine.size() != 3 || !sized || length < 0) {
        writeResponse(socket, HttpResponse::error(400, "bad_request", "The request is not one this service reads."));
        return;
    }
    request.method = requestLine[0];
    QUrl url(QString::fromUtf8(requestLine[1]));
    request.path = url.path();
    request.query = QUrlQuery(url.query());
    qint64 limit = router_.maxBodyBytes(request.method, request.path);
    if (length > limit) {
        writeResponse(socket, HttpResponse::error(413, "too_large", "The request body is larger than "
                                                      + QString::number(limit >> 20) + " MiB."));
        return;
    }
    if (socket->bytesAvailable() < end + 4 + length)
        return;
    socket->read(end + 4);
    request.body = socket->read(length);
    socket->disconnect(this);
    writeResponse(socket, router_.handle(request));
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
        auto& session = std::get<AuthBackend::Session>(result);
        verification_->accountCreated(session.user);
        return sessionAnswer(session);
    });
    router_.add("POST", "/auth/sign-in", [this, credentials](const HttpRequest& request) {
        auto [email, password] = credentials(request);
        auto result = accounts_->signIn(email, password);
        if (auto* error = std::get_if<AuthError>(&result))
            return authError(*error);
        return sessionAnswer(std::get<AuthBackend::Session>(result));
    });
    router_.add("POST", "/auth/refresh", [this](const HttpRequest& request) {
        auto session = accounts_->refreshSession(jsonBody(request).value("token").toString().toStdString());
        if (!session)
            return HttpResponse::error(401, "unauthenticated", "The token is not valid.");
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
        accounts_->endSession(jsonBody(request).value("token").toString().toStdString());
        return HttpResponse::json(200, "{}");
    });
    router_.add("POST", "/auth/password-reset", [this](const HttpRequest& request) {
        if (auto error = accounts_->requestPasswordReset(jsonBody(request).value("email").toString().toStdString()))
            return authError(*error);
        return HttpResponse::json(200, "{}");
    });
    router_.add("GET", "/check-existing-user", [this](const HttpRequest& request) {
        QString email = request.query.queryItemValue("email", QUrl::FullyDecoded);
        QJsonObject body{{"user_exists", accounts_->hasAccount(email.toStdString())}, {"banned_domain", false}};
        return HttpResponse::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
    });
}

void HubServer::acceptWebSocket()
{
    while (QWebSocket* socket = webSockets_.nextPendingConnection()) {
        socket->setMaxAllowedIncomingMessageSize(kMaxFrameBytes);
        socket->setMaxAllowedIncomingFrameSize(kMaxFrameBytes);
        auto session = std::make_shared<HubSession>(socket);
        session->lastHeard = steadyMs();
        sessions_[socket] = session;
        connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString& text) { handleText(socket, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket](const QByteArray&) {
            if (auto found = sessions_.find(socket); found != sessions_.end())
                breakOff(*found->second, "protocol", "frames are text");
        });
        connect(socket, &QWebSocket::pong, this, [this, socket] {
            if (auto found = sessions_.find(socket); found != sessions_.end())
                found->second->lastHeard = steadyMs();
        });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { endSession(socket); });
    }
}

void HubServer::endSession(QWebSocket* socket)
{
    auto found = sessions_.find(socket);
    if (found == sessions_.end())
        return;
    auto session = found->second;
    sessions_.erase(found);
    if (session->connection)
        database_->disconnect(session->connection);
    session->connection = 0;
    socket->deleteLater();
    scheduleCommit();
}

void HubServer::handleText(QWebSocket* socket, const QString& text)
{
    auto found = sessions_.find(socket);
    if (found == sessions_.end())
        return;
    HubSession& session = *found->second;
    session.lastHeard = steadyMs();
    if (session.broken)
        return;
    std::string error;
    auto frame = parseFrame(text.toStdString(), error);
    if (!frame)
        breakOff(session, "protocol", error);
    else
        handleFrame(session, *frame);
    scheduleCommit();
}

void HubServer::refuse(HubSession& session, std::uint64_t id, const char* code, const std::string& message)
{
    session.outbox.push_back(FrameBuilder("error").id(id).text("code", code).text("message", message).take());
}

void HubServer::breakOff(HubSession& session, const char* code, const std::string& message)
{
    session.broken = true;
    session.outbox.push_back(FrameBuilder("error").text("code", code).text("message", message).take());
    session.flush();
    if (session.socket)
        session.socket->close(QWebSocketProtocol::CloseCodeProtocolError, QString::fromStdString(message));
}

void HubServer::handleFrame(HubSession& session, const DatabaseValue& frame)
{
    const std::string op = frame.child("op").toString();
    const std::uint64_t id = static_cast<std::uint64_t>(frame.child("id").toInt());
    if (op == "ping") {
        session.outbox.push_back(FrameBuilder("pong").id(id).take());
        return;
    }
    if (op == "auth") {
        if (!session.uid.empty())
            return breakOff(session, "protocol", "already authenticated");
        auto user = accounts_->resumeSession(frame.child("token").toString());
        if (!user) {
            session.broken = true;
            session.outbox.push_back(FrameBuilder("error").text("code", "unauthenticated")
                                         .text("message", "the token is not valid").take());
            session.flush();
            if (session.socket)
                session.socket->close(QWebSocketProtocol::CloseCodePolicyViolated, "unauthenticated");
            return;
        }
        session.uid = user->uid;
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
    std::string problem;
    if (op == "listen") {
        DatabasePath path = pathOf("path", problem);
        if (!problem.empty())
            return refuse(session, id, "invalid_path", problem);
        DatabaseValue tree = database_->root();
        if (auto denied = readProblem(session.uid, path, tree); !denied.empty())
            return refuse(session, id, "permission_denied", denied);
        session.listens.insert(path);
        session.outbox.push_back(FrameBuilder("value").id(id).text("path", path.toString()).value("value", tree.at(path)).take());
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
        auto writes = frameWrites(frame, "writes");
        if (!writes)
            return refuse(session, id, "invalid_value", "the writes are not a list of valid [path, value] pairs");
        if (auto denied = writeProblem(session.uid, *writes, database_->root()); !denied.empty())
            return refuse(session, id, "permission_denied", denied);
        if (op == "ondisconnect") {
            for (auto& write : *writes)
                database_->onDisconnect(session.connection, std::move(write));
            session.outbox.push_back(FrameBuilder("ack").id(id).take());
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
            return refuse(session, id, "invalid_path", problem);
        if (auto error = checkWrite(path, value))
            return refuse(session, id, errorCode(error->code), error->message);
        DatabaseValue tree = database_->root();
        if (auto denied = readProblem(session.uid, path, tree); !denied.empty())
            return refuse(session, id, "permission_denied", denied);
        WriteTag tag{session.origin, id};
        DatabaseValue current = tree.at(path);
        if (current == frame.child("expected")) {
            DatabaseValue resolved = value.resolvingServerTimestamps(database_->now());
            if (auto denied = writeProblem(session.uid, {{path, resolved}}, tree); !denied.empty())
                return refuse(session, id, "permission_denied", denied);
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
    if (auto error = database_->commit()) {
        // Nothing of this batch is stored: no client may hear it was. Each reconnects, hears the
        // tree as stored, and sends its unanswered writes again.
        logError("service: " + error->message + "; dropping every connection");
        for (auto& [socket, session] : sessions_) {
            session->outbox.clear();
            socket->close(QWebSocketProtocol::CloseCodeGoingAway, "storage failed");
        }
        return;
    }
    for (auto& [socket, session] : sessions_)
        session->flush();
}

void HubServer::pingClients()
{
    std::int64_t now = steadyMs();
    std::vector<QWebSocket*> silent;
    for (auto& [socket, session] : sessions_) {
        if (now - session->lastHeard > static_cast<std::int64_t>(options_.pingTimeout * 1000))
            silent.push_back(socket);
        else
            socket->ping();
    }
    for (QWebSocket* socket : silent) {
        socket->abort();
        endSession(socket);
    }
}

}  // namespace qv::hub
