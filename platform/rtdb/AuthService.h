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
    virtual void endSession(const std::string& token) = 0;
    virtual std::optional<AuthError> requestPasswordReset(const std::string& email) = 0;
};

}  // namespace qv
