// The authentication service of this machine: accounts by e-mail and password, sessions, and
// the password-reset requests it would mail. Passwords are kept only as salted PBKDF2-HMAC-SHA256
// hashes; given a folder, accounts and sessions survive a restart ("accounts.json", replaced
// atomically). Safe from any thread.
#pragma once

#include "platform/rtdb/AuthService.h"
#include "platform/rtdb/AuthTypes.h"
#include "platform/rtdb/DatabaseBackend.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

namespace qv {

class AuthBackend final : public AuthService {
public:
    struct Options {
        // Where accounts are kept; empty keeps them in memory only.
        std::filesystem::path folder;
        // PBKDF2 rounds for new passwords. Defaults to 210,000; tests lower it.
        int hashIterations = 210'000;
        // Defaults to the system time.
        WallClock clock;
        // A token signs in for this long after it was issued (an hour); until `renewableMs`
        // after it was issued (30 days) it may be exchanged for a new one, which is how a kept
        // sign-in lasts.
        std::int64_t tokenLifetimeMs = 3'600'000;
        std::int64_t renewableMs = std::int64_t{30} * 24 * 3'600'000;
    };
    using Session = AuthSession;
    // A reset waiting to be used: one per account, the latest request's, for an hour; at most
    // kMaxPendingResets are kept, the oldest going first.
    struct PasswordReset {
        std::string email;
        std::int64_t requestedAt;  // milliseconds since 1970
    };
    static constexpr std::int64_t kPasswordResetLifetimeMs = 3'600'000;
    static constexpr std::size_t kMaxPendingResets = 1000;

    explicit AuthBackend(Options options);
    AuthBackend() : AuthBackend(Options{}) {}
    AuthBackend(const AuthBackend&) = delete;
    AuthBackend& operator=(const AuthBackend&) = delete;

    // <XDG data>/<bundle id>/auth
    static std::filesystem::path defaultFolder();

    // Passwords must have at least this many characters.
    static constexpr std::size_t kMinimumPasswordLength = 6;

    std::variant<Session, AuthError> createAccount(const std::string& email, const std::string& password) override;
    std::variant<Session, AuthError> signIn(const std::string& email, const std::string& password) override;
    // The account of a token that has not expired, been signed out or been replaced; with
    // `expiresAt`, also when the token stops signing in (milliseconds since 1970).
    std::optional<User> resumeSession(const std::string& token, std::int64_t* expiresAt = nullptr) const;
    std::variant<std::optional<User>, AuthError> checkSession(const std::string& token) override
    {
        return resumeSession(token);
    }
    void endSession(const std::string& token) override;
    // A new token for the session of `token`, which stops working; nothing for a token signed
    // out, replaced, or past its renewal time.
    std::optional<Session> refreshSession(const std::string& token);
    std::variant<std::optional<AuthSession>, AuthError> renewSession(const std::string& token) override
    {
        return refreshSession(token);
    }
    bool hasAccount(const std::string& email) const;
    // The account of `email` (in any case), or nothing.
    std::optional<User> accountByEmail(const std::string& email) const;
    std::optional<User> accountOf(const std::string& uid) const;
    std::optional<AuthError> requestPasswordReset(const std::string& email) override;

    // The stand-in service's own controls. The pending resets, oldest first.
    std::vector<PasswordReset> passwordResets() const;
    bool setEmailVerified(const std::string& uid, bool verified);

private:
    struct Account {
        User user;
        std::string salt;  // hexadecimal
        std::string hash;  // hexadecimal
        int iterations = 0;
    };

    Account* findByEmail(const std::string& email);
    // The account `token` signs in, or nullptr; a token older than `maxAgeMs` signs in nothing.
    const Account* accountOfSessionLocked(const std::string& token, std::int64_t maxAgeMs) const;
    std::string openSessionLocked(const std::string& uid);
    void load();
    void saveLocked() const;
    void forgetExpiredResetsLocked(std::int64_t nowMs);

    mutable std::mutex mutex_;
    Options options_;
    std::map<std::string, Account> accounts_;      // by uid
    struct TokenRecord {
        std::string uid;
        std::int64_t issuedAt = 0;  // milliseconds since 1970
    };
    std::map<std::string, TokenRecord> sessions_;  // SHA-256 of the token, hexadecimal -> its record
    std::vector<PasswordReset> resets_;
};

}  // namespace qv
