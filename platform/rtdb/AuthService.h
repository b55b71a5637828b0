// What the client's sign-in needs of the authentication service: in this process (AuthBackend,
// also the service program's own store) or over HTTP (RemoteAuthService).
#pragma once

#include "platform/rtdb/AuthTypes.h"

#include <optional>
#include <string>
#include <variant>

namespace qv {

struct AuthSession {
    User user;
    std::string token;  // proves the sign-in when the application starts again
};

class AuthService {
public:
    virtual ~AuthService() = default;
    virtual std::variant<AuthSession, AuthError> createAccount(const std::string& email, const std::string& password) = 0;
    virtual std::variant<AuthSession, AuthError> signIn(const std::string& email, const std::string& password) = 0;
    // The account a kept `token` signs in; nothing when the service no longer knows the token;
    // a NetworkError when the service cannot be asked.
    virtual std::variant<std::optional<User>, AuthError> checkSession(const std::string& token) = 0;
    // A new token for the session of a kept `token`, which stops working: tokens sign in for
    // a limited time. Nothing when the service no longer knows the session; a NetworkError when
    // it cannot be asked. A service whose tokens do not expire keeps the token.
    virtual std::variant<std::optional<AuthSession>, AuthError> renewSession(const std::string& token)
    {
        auto checked = checkSession(token);
        if (auto* error = std::get_if<AuthError>(&checked))
            return *error;
        auto& user = std::get<std::optional<User>>(checked);
        return user ? std::optional<AuthSession>(AuthSession{*user, token}) : std::nullopt;
    }
    virtual void endSession(const std::string& token) = 0;
    virtual std::optional<AuthError> requestPasswordReset(const std::string& email) = 0;
};

}  // namespace qv
