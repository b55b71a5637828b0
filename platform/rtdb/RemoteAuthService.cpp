#include "platform/rtdb/RemoteAuthService.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSslConfiguration>
#include <QSslSocket>

namespace qv {

namespace {

User userOf(const QJsonObject& body)
{
    return User{body.value("uid").toString().toStdString(), body.value("email").toString().toStdString(),
                body.value("emailVerified").toBool()};
}

AuthError networkError(const std::string& failure)
{
    return AuthError{AuthErrorCode::NetworkError, "The service cannot be reached: " + failure};
}

// The service's own error, or a network error for an answer it would never give.
AuthError errorOf(int status, const QJsonObject& body, const std::string& failure)
{
    QJsonObject error = body.value("error").toObject();
    if (status == 400 && error.value("code").isDouble())
        return AuthError{static_cast<AuthErrorCode>(error.value("code").toInt()), error.value("message").toString().toStdString()};
    return networkError(status ? "status " + std::to_string(status) : failure);
}

}  // namespace

RemoteAuthService::Answer RemoteAuthService::post(const QString& path, const QJsonObject& body) const
{
    Answer answer;
    const int waitMs = static_cast<int>(options_.timeout * 1000);
    QSslSocket socket;
    bool secure = options_.url.scheme() == "https";
    quint16 port = static_cast<quint16>(options_.url.port(secure ? 443 : 80));
    if (secure) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificates(options_.trustedCertificates);
        socket.setSslConfiguration(configuration);
        socket.connectToHostEncrypted(options_.url.host(), port);
    } else {
        socket.connectToHost(options_.url.host(), port);
    }
    if (!(secure ? socket.waitForEncrypted(waitMs) : socket.waitForConnected(waitMs))) {
        answer.failure = socket.errorString().toStdString();
        return answer;
    }
    QByteArray content = QJsonDocument(body).toJson(QJsonDocument::Compact);
    QByteArray request = "POST " + QUrl(path).toEncoded() + " HTTP/1.1\r\nHost: " + options_.url.host().toUtf8()
        + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(content.size()) + "\r\n\r\n" + content;
    socket.write(request);
    QByteArray response;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < waitMs
           && socket.waitForReadyRead(static_cast<int>(waitMs - timer.elapsed())))
        response += socket.readAll();
    response += socket.readAll();
    qsizetype end = response.indexOf("\r\n\r\n");
    if (!response.startsWith("HTTP/1.1 ") || end < 0) {
        answer.failure = "no answer";
        return answer;
    }
    answer.status = response.mid(9, 3).toInt();
    answer.body = QJsonDocument::fromJson(response.mid(end + 4)).object();
    return answer;
}

std::variant<AuthSession, AuthError> RemoteAuthService::session(const Answer& answer) const
{
    if (answer.status != 200)
        return errorOf(answer.status, answer.body, answer.failure);
    AuthSession result{userOf(answer.body), answer.body.value("token").toString().toStdString()};
    if (result.user.uid.empty() || result.token.empty())
        return networkError("an answer without an account");
    return result;
}

std::variant<AuthSession, AuthError> RemoteAuthService::createAccount(const std::string& email, const std::string& password)
{
    return session(post("/auth/sign-up", {{"email", QString::fromStdString(email)}, {"password", QString::fromStdString(password)}}));
}

std::variant<AuthSession, AuthError> RemoteAuthService::signIn(const std::string& email, const std::string& password)
{
    return session(post("/auth/sign-in", {{"email", QString::fromStdString(email)}, {"password", QString::fromStdString(password)}}));
}

std::variant<std::optional<User>, AuthError> RemoteAuthService::checkSession(const std::string& token)
{
    Answer answer = post("/auth/session", {{"token", QString::fromStdString(token)}});
    if (answer.status == 401)
        return std::optional<User>();
    if (answer.status != 200)
        return errorOf(answer.status, answer.body, answer.failure);
    return std::optional<User>(userOf(answer.body));
}

std::variant<std::optional<AuthSession>, AuthError> RemoteAuthService::renewSession(const std::string& token)
{
    Answer answer = post("/auth/refresh", {{"token", QString::fromStdString(token)}});
    if (answer.status == 401)
        return std::optional<AuthSession>();
    auto renewed = session(answer);
    if (auto* error = std::get_if<AuthError>(&renewed))
        return *error;
    return std::optional<AuthSession>(std::get<AuthSession>(std::move(renewed)));
}

void RemoteAuthService::endSession(const std::string& token)
{
    post("/auth/sign-out", {{"token", QString::fromStdString(token)}});
}

std::optional<AuthError> RemoteAuthService::requestPasswordReset(const std::string& email)
{
    Answer answer = post("/auth/password-reset", {{"email", QString::fromStdString(email)}});
    if (answer.status == 200)
        return std::nullopt;
    return errorOf(answer.status, answer.body, answer.failure);
}

}  // namespace qv
