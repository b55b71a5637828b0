// The authentication service over HTTP (the service program's /auth endpoints). Each call is
// one blocking request, so it runs where the caller already waits: the sign-in's worker thread.
#pragma once

#include "platform/rtdb/AuthService.h"

#include <QJsonObject>
#include <QList>
#include <QSslCertificate>
#include <QUrl>

namespace qv {

class RemoteAuthService final : public AuthService {
public:
    struct Options {
        QUrl url;  // "http://127.0.0.1:<port>/", or "https://<host>:<port>/" off loopback
        // Certificates trusted besides the system's; over https the certificate is checked.
        QList<QSslCertificate> trustedCertificates;
        // Seconds a request may take before it counts as a network error. Defaults to 15.
        double timeout = 15;
    };

    explicit RemoteAuthService(Options options) : options_(std::move(options)) {}

    std::variant<AuthSession, AuthError> createAccount(const std::string& email, const std::string& password) override;
    std::variant<AuthSession, AuthError> signIn(const std::string& email, const std::string& password) override;
    std::variant<std::optional<User>, AuthError> checkSession(const std::string& token) override;
    std::variant<std::optional<AuthSession>, AuthError> renewSession(const std::string& token) override;
    void endSession(const std::string& token) override;
    std::optional<AuthError> requestPasswordReset(const std::string& email) override;

private:
    struct Answer {
        int status = 0;  // 0 when the service could not be reached
        QJsonObject body;
        std::string failure;
    };
    Answer post(const QString& path, const QJsonObject& body) const;
    std::variant<AuthSession, AuthError> session(const Answer& answer) const;

    Options options_;
};

}  // namespace qv
