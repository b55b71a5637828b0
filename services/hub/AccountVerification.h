// Verifying the e-mail address of new accounts. The service sends no mail: a service that serves
// one person (the embedded one) verifies every new account at once; a shared one prints each
// new account's verification link to its log, and opening the link (or `qv-hub --verify-email`,
// which opens it) verifies the account. The welcome e-mail's resend link
// (`/resend-welcome-email?token=<link token of the account>`) logs the link again. A verified account's status (users/<uid>/status) is
// at least "verified", whatever the sign-up writes there. Lives on the service's thread.
#pragma once

#include "platform/rtdb/AuthTypes.h"
#include "platform/rtdb/DatabaseValue.h"

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv::hub {

class HubServer;

// The account status from which an account counts as verified.
inline constexpr std::int64_t kVerifiedAccountStatus = 30;

class AccountVerification {
public:
    // The key that signs the links is kept in `<dataFolder>/verification-key` (made on first
    // use); without a folder it lives as long as the service. `baseUrl` gives the service's
    // "http://host:port" once it listens.
    AccountVerification(HubServer& server, bool verifyAtOnce, const std::filesystem::path& dataFolder,
                        std::function<QString()> baseUrl);

    // The code in the verification link of account `uid`, from the key in `dataFolder`.
    static QByteArray code(const QByteArray& key, const std::string& uid);
    // The key kept in `dataFolder`; made there when `make` and there is none. Empty when none.
    static QByteArray key(const std::filesystem::path& dataFolder, bool make);

    // The account identifier in the link token the client makes of it (the identifier's four
    // groups of seven characters reordered); nothing for a token of another shape.
    static std::optional<std::string> uidOfLinkToken(const std::string& token);

    // A new account: verified at once, or its link printed to the log.
    void accountCreated(User& user);
    // New accounts are verified as they are made.
    bool verifiesAtOnce() const { return verifyAtOnce_; }
    // The account's status as written by its own computer, kept at least verified.
    void keepVerifiedStatus(const std::string& uid, std::vector<DatabaseWrite>& writes) const;

private:
    void verify(const std::string& uid);
    // Stands for the welcome e-mail: the account's verification link, in the log.
    void logVerificationLink(const User& user);

    HubServer& server_;
    bool verifyAtOnce_;
    QByteArray key_;
    std::function<QString()> baseUrl_;
};

}  // namespace qv::hub
