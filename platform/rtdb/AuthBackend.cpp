#include "platform/rtdb/AuthBackend.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/rtdb/DamagedFile.h"

#include <nlohmann/json.hpp>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>

namespace qv {

namespace {

const char* const kAccountsName = "accounts.json";

std::string toHex(const unsigned char* bytes, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

std::string randomHex(std::size_t bytes)
{
    std::vector<unsigned char> buffer(bytes);
    if (RAND_bytes(buffer.data(), static_cast<int>(bytes)) != 1)
        throw std::runtime_error("no random bytes");
    return toHex(buffer.data(), bytes);
}

std::string randomUid()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char buffer[28];
    if (RAND_bytes(buffer, sizeof buffer) != 1)
        throw std::runtime_error("no random bytes");
    std::string uid;
    for (unsigned char byte : buffer)
        uid += alphabet[byte % 62];
    return uid;
}

std::string passwordHash(const std::string& password, const std::string& salt, int iterations)
{
    unsigned char out[32];
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                      EVP_sha256(), sizeof out, out);
    return toHex(out, sizeof out);
}

std::string sha256Hex(const std::string& text)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), out, &size, EVP_sha256(), nullptr);
    return toHex(out, size);
}

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One "@" with something before it and a dotted domain after it, no blanks or controls.
bool plausibleEmail(const std::string& email)
{
    auto at = email.find('@');
    if (at == std::string::npos || at == 0 || email.find('@', at + 1) != std::string::npos)
        return false;
    auto dot = email.find('.', at + 2);
    if (dot == std::string::npos || dot + 1 >= email.size())
        return false;
    return std::none_of(email.begin(), email.end(), [](unsigned char c) { return c <= ' ' || c == 0x7F; });
}

AuthError error(AuthErrorCode code)
{
    switch (code) {
    case AuthErrorCode::EmailAlreadyInUse:
        return {code, "An account with this e-mail address already exists."};
    case AuthErrorCode::InvalidEmail:
        return {code, "The e-mail address is not valid."};
    case AuthErrorCode::WrongPassword:
        return {code, "The password is incorrect."};
    case AuthErrorCode::UserNotFound:
        return {code, "There is no account with this e-mail address."};
    case AuthErrorCode::WeakPassword:
        return {code, "The password must have at least 6 characters."};
    case AuthErrorCode::NetworkError:
        break;  // only the remote client reports it, with the failure's own text
    }
    return {code, "Authentication failed."};
}

}  // namespace

AuthBackend::AuthBackend(Options options) : options_(std::move(options))
{
    if (!options_.clock)
        options_.clock = systemMilliseconds;
    load();
}

std::filesystem::path AuthBackend::defaultFolder()
{
    return applicationDataFolder() / "auth";
}

AuthBackend::Account* AuthBackend::findByEmail(const std::string& email)
{
    for (auto& [uid, account] : accounts_)
        if (account.user.email == email)
            return &account;
    return nullptr;
}

std::variant<AuthBackend::Session, AuthError> AuthBackend::createAccount(const std::string& email,
                                                                          const std::string& password)
{
    std::string address = lowerCase(email);
    if (!plausibleEmail(address))
        return error(AuthErrorCode::InvalidEmail);
    if (password.size() < kMinimumPasswordLength)
        return error(AuthErrorCode::WeakPassword);
    Account account;
    account.user = User{randomUid(), address, false};
    account.salt = randomHex(16);
    account.iterations = options_.hashIterations;
    account.hash = passwordHash(password, account.salt, account.iterations);
    std::lock_guard lock(mutex_);
    if (findByEmail(address))
        return error(AuthErrorCode::EmailAlreadyInUse);
    while (accounts_.count(account.user.uid))
        account.user.uid = randomUid();
    User user = account.user;
    accounts_[user.uid] = std::move(account);
    std::string token = openSessionLocked(user.uid);
    saveLocked();
    return Session{user, token};
}

std::variant<AuthBackend::Session, AuthError> AuthBackend::signIn(const std::string& email, const std::string& password)
{
    std::string address = lowerCase(email);
    if (!plausibleEmail(address))
        return error(AuthErrorCode::InvalidEmail);
    std::string salt, hash;
    int iterations;
    {
        std::lock_guard lock(mutex_);
        Account* account = findByEmail(address);
        if (!account)
            return error(AuthErrorCode::UserNotFound);
        salt = account->salt;
        hash = account->hash;
        iterations = account->iterations;
    }
    // The slow hash runs unlocked so that other callers are not held up.
    if (!sameText(passwordHash(password, salt, iterations), hash))
        return error(AuthErrorCode::WrongPassword);
    std::lock_guard lock(mutex_);
    Account* account = findByEmail(address);
    if (!account)
        return error(AuthErrorCode::UserNotFound);
    std::string token = openSessionLocked(account->user.uid);
    saveLocked();
    return Session{account->user, token};
}

const AuthBackend::Account* AuthBackend::accountOfSessionLocked(const std::string& token, std::int64_t maxAgeMs) const
{
    auto session = sessions_.find(sha256Hex(token));
    if (session == sessions_.end() || options_.clock() - session->second.issuedAt >= maxAgeMs)
        return nullptr;
    auto account = accounts_.find(session->second.uid);
    return account == accounts_.end() ? nullptr : &account->second;
}

std::optional<User> AuthBackend::resumeSession(const std::string& token, std::int64_t* expiresAt) const
{
    std::lock_guard lock(mutex_);
    const Account* account = accountOfSessionLocked(token, options_.tokenLifetimeMs);
    if (!account)
        return std::nullopt;
    if (expiresAt)
        *expiresAt = sessions_.at(sha256Hex(token)).issuedAt + options_.tokenLifetimeMs;
    return account->user;
}

void AuthBackend::endSession(const std::string& token)
{
    std::lock_guard lock(mutex_);
    if (sessions_.erase(sha256Hex(token)))
        saveLocked();
}

std::optional<AuthBackend::Session> AuthBackend::refreshSession(const std::string& token)
{
    std::lock_guard lock(mutex_);
    const Account* account = accountOfSessionLocked(token, options_.renewableMs);
    if (!account)
        return std::nullopt;
    sessions_.erase(sha256Hex(token));
    std::string fresh = openSessionLocked(account->user.uid);
    saveLocked();
    return Session{account->user, fresh};
}

bool AuthBackend::hasAccount(const std::string& email) const
{
    return accountByEmail(email).has_value();
}

std::optional<User> AuthBackend::accountByEmail(const std::string& email) const
{
    std::lock_guard lock(mutex_);
    std::string address = lowerCase(email);
    for (const auto& [uid, account] : accounts_)
        if (account.user.email == address)
            return account.user;
    return std::nullopt;
}

std::optional<User> AuthBackend::accountOf(const std::string& uid) const
{
    std::lock_guard lock(mutex_);
    auto account = accounts_.find(uid);
    if (account == accounts_.end())
        return std::nullopt;
    return account->second.user;
}

std::optional<AuthError> AuthBackend::requestPasswordReset(const std::string& email)
{
    std::string address = lowerCase(email);
    if (!plausibleEmail(address))
        return error(AuthErrorCode::InvalidEmail);
    std::lock_guard lock(mutex_);
    if (!findByEmail(address))
        return error(AuthErrorCode::UserNotFound);
    const std::int64_t now = options_.clock();
    forgetExpiredResetsLocked(now);
    // A new request replaces the account's earlier one: the file holds one reset per account.
    std::erase_if(resets_, [&](const PasswordReset& reset) { return reset.email == address; });
    resets_.push_back({address, now});
    if (resets_.size() > kMaxPendingResets)
        resets_.erase(resets_.begin(), resets_.end() - static_cast<std::ptrdiff_t>(kMaxPendingResets));
    saveLocked();
    return std::nullopt;
}

std::vector<AuthBackend::PasswordReset> AuthBackend::passwordResets() const
{
    std::lock_guard lock(mutex_);
    const std::int64_t now = options_.clock();
    std::vector<PasswordReset> pending;
    for (const auto& reset : resets_)
        if (now - reset.requestedAt <= kPasswordResetLifetimeMs)
            pending.push_back(reset);
    return pending;
}

void AuthBackend::forgetExpiredResetsLocked(std::int64_t nowMs)
{
    std::erase_if(resets_, [&](const PasswordReset& reset) { return nowMs - reset.requestedAt > kPasswordResetLifetimeMs; });
}

bool AuthBackend::setEmailVerified(const std::string& uid, bool verified)
{
    std::lock_guard lock(mutex_);
    auto account = accounts_.find(uid);
    if (account == accounts_.end())
        return false;
    account->second.user.emailVerified = verified;
    saveLocked();
    return true;
}

std::string AuthBackend::openSessionLocked(const std::string& uid)
{
    std::string token = randomHex(32);
    sessions_[sha256Hex(token)] = {uid, options_.clock()};
    return token;
}

void AuthBackend::load()
{
    if (options_.folder.empty())
        return;
    auto bytes = readFile(options_.folder / kAccountsName);
    if (!bytes)
        return;
    auto json = nlohmann::json::parse(*bytes, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        std::string error;
        auto aside = setDamagedFileAside(options_.folder / kAccountsName, error);
        if (aside.empty())
            throw std::runtime_error("auth: the stored accounts cannot be read, nor set aside: " + error);
        logError("auth: the stored accounts cannot be read; kept as " + aside.string());
        return;
    }
    // Fields of the wrong kind read as absent rather than stopping the service.
    auto text = [](const nlohmann::json& object, const char* key) {
        auto found = object.find(key);
        return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
    };
    auto flag = [](const nlohmann::json& object, const char* key) {
        auto found = object.find(key);
        return found != object.end() && found->is_boolean() && found->get<bool>();
    };
    auto number = [](const nlohmann::json& object, const char* key) {
        auto found = object.find(key);
        return found != object.end() && found->is_number_integer() ? found->get<std::int64_t>() : std::int64_t{0};
    };
    const auto accounts = json.value("accounts", nlohmann::json::object());
    const auto sessions = json.value("sessions", nlohmann::json::object());
    const auto resets = json.value("password_resets", nlohmann::json::array());
    for (const auto& [uid, entry] : accounts.items()) {
        if (!entry.is_object())
            continue;
        Account account;
        account.user = User{uid, text(entry, "email"), flag(entry, "verified")};
        account.salt = text(entry, "salt");
        account.hash = text(entry, "hash");
        std::int64_t iterations = number(entry, "iterations");
        account.iterations = static_cast<int>(std::min<std::int64_t>(iterations, INT32_MAX));
        if (!account.user.email.empty() && iterations > 0)
            accounts_[uid] = std::move(account);
    }
    for (const auto& [digest, entry] : sessions.items()) {
        // A token kept before tokens had a lifetime counts as issued now.
        if (entry.is_string())
            sessions_[digest] = {entry.get<std::string>(), options_.clock()};
        else if (entry.is_object() && !text(entry, "uid").empty())
            sessions_[digest] = {text(entry, "uid"), number(entry, "issued_at")};
    }
    for (const auto& reset : resets)
        if (reset.is_object())
            resets_.push_back({text(reset, "email"), number(reset, "requested_at")});
    forgetExpiredResetsLocked(options_.clock());
}

void AuthBackend::saveLocked() const
{
    if (options_.folder.empty())
        return;
    nlohmann::json json;
    json["accounts"] = nlohmann::json::object();
    for (const auto& [uid, account] : accounts_)
        json["accounts"][uid] = {{"email", account.user.email},
                                 {"verified", account.user.emailVerified},
                                 {"salt", account.salt},
                                 {"hash", account.hash},
                                 {"iterations", account.iterations}};
    json["sessions"] = nlohmann::json::object();
    for (const auto& [digest, record] : sessions_)
        json["sessions"][digest] = {{"uid", record.uid}, {"issued_at", record.issuedAt}};
    json["password_resets"] = nlohmann::json::array();
    for (const auto& reset : resets_)
        json["password_resets"].push_back({{"email", reset.email}, {"requested_at", reset.requestedAt}});
    std::string error = replaceFile(options_.folder / kAccountsName, json.dump());
    if (!error.empty())
        logError("auth: " + error);
}

}  // namespace qv
