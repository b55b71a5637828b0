// The account as the authentication service reports it, and its errors.
#pragma once

#include <optional>
#include <string>

namespace qv {

struct User {
    std::string uid;    // 28 letters and digits, given once at account creation
    std::string email;  // lower case
    bool emailVerified = false;

    bool operator==(const User&) const = default;
};

// Error codes of the service; the sign-in screen tells WrongPassword apart from the rest.
enum class AuthErrorCode {
    EmailAlreadyInUse = 17007,
    InvalidEmail = 17008,
    WrongPassword = 17009,
    UserNotFound = 17011,
    WeakPassword = 17026,
    NetworkError = 17020,  // the service could not be reached
};

struct AuthError {
    AuthErrorCode code;
    std::string localizedDescription;
};

}  // namespace qv
