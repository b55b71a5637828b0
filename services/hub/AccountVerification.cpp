#include "services/hub/AccountVerification.h"

#include "platform/foundation/Log.h"
#include "services/hub/HubServer.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace qv::hub {

namespace {

constexpr const char* kKeyName = "verification-key";

QByteArray randomKey()
{
    QByteArray key(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(key.data()), key.size() / 4);
    return key.toHex();
}

}  // namespace

AccountVerification::AccountVerification(HubServer& server, bool verifyAtOnce, const std::filesystem::path& dataFolder,
                                         std::function<QString()> baseUrl)
    : server_(server), verifyAtOnce_(verifyAtOnce), key_(dataFolder.empty() ? randomKey() : key(dataFolder, true)),
      baseUrl_(std::move(baseUrl))
{
    server_.router().add("GET", "/auth/verify", [this](const HttpRequest& request) {
        const std::string uid = request.query.queryItemValue("account").toStdString();
        const QByteArray given = request.query.queryItemValue("code").toLatin1();
        const std::optional<User> account = server_.accounts().accountOf(uid);
        if (!account || given.isEmpty() || given != code(key_, uid))
            return HttpResponse::error(403, "invalid_link", "This verification link is not valid.");
        verify(uid);
        return HttpResponse{200, "text/plain; charset=utf-8",
                            QByteArray::fromStdString(account->email) + " is verified.\n", {}};
    });
    server_.router().add("GET", "/resend-welcome-email", [this](const HttpRequest& request) {
        const auto uid = uidOfLinkToken(request.query.queryItemValue("token").toStdString());
        const std::optional<User> account = uid ? server_.accounts().accountOf(*uid) : std::nullopt;
        if (!account)
            return HttpResponse::error(404, "unknown_account", "No account has this link.");
        // A verified account needs no welcome any more.
        if (!account->emailVerified)
            logVerificationLink(*account);
        return HttpResponse{200, "text/plain; charset=utf-8", "The welcome e-mail is on its way.\n", {}};
    });
}

std::optional<std::string> AccountVerification::uidOfLinkToken(const std::string& token)
{
    constexpr std::size_t kGroup = 7;
    if (token.size() != 4 * kGroup)
        return std::nullopt;
    // The token is the identifier's groups in the order 3, 2, 4, 1.
    return token.substr(3 * kGroup, kGroup) + token.substr(kGroup, kGroup) + token.substr(0, kGroup)
        + token.substr(2 * kGroup, kGroup);
}

QByteArray AccountVerification::code(const QByteArray& key, const std::string& uid)
{
    return QMessageAuthenticationCode::hash(QByteArray::fromStdString(uid), key, QCryptographicHash::Sha256).toHex();
}

QByteArray AccountVerification::key(const std::filesystem::path& dataFolder, bool make)
{
    QFile file(QString::fromStdString((dataFolder / kKeyName).string()));
    if (file.open(QIODevice::ReadOnly))
        return file.readAll().trimmed();
    if (!make)
        return {};
    const QByteArray made = randomKey();
    if (!file.open(QIODevice::WriteOnly) || file.write(made) != made.size())
        logWarning("service: the verification key could not be kept; links last until the service stops");
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return made;
}

void AccountVerification::accountCreated(User& user)
{
    if (verifyAtOnce_) {
        verify(user.uid);
        user.emailVerified = true;
        return;
    }
    logVerificationLink(user);
}

void AccountVerification::logVerificationLink(const User& user)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("account"), QString::fromStdString(user.uid));
    query.addQueryItem(QStringLiteral("code"), QString::fromLatin1(code(key_, user.uid)));
    logInfo("service: verify " + user.email + " at " + baseUrl_().toStdString() + "/auth/verify?"
            + query.toString(QUrl::FullyEncoded).toStdString());
}

void AccountVerification::verify(const std::string& uid)
{
    server_.accounts().setEmailVerified(uid, true);
    const std::string status = "users/" + uid + "/status";
    const DatabaseValue current = server_.database().root().at(DatabasePath::parse(status));
    if (current.isNumber() && current.toInt() < kVerifiedAccountStatus)
        server_.serviceWrite(status, DatabaseValue(kVerifiedAccountStatus));
}

void AccountVerification::keepVerifiedStatus(const std::string& uid, std::vector<DatabaseWrite>& writes) const
{
    const DatabasePath account = DatabasePath::parse("users/" + uid);
    const DatabasePath status = DatabasePath::parse("users/" + uid + "/status");
    auto below = [](const DatabaseValue& value) { return value.isNumber() && value.toInt() < kVerifiedAccountStatus; };
    bool checked = false;
    bool verified = false;
    for (DatabaseWrite& write : writes) {
        const bool whole = write.path == account && below(write.value.child("status"));
        if (!whole && !(write.path == status && below(write.value)))
            continue;
        if (!checked) {
            const std::optional<User> user = server_.accounts().accountOf(uid);
            verified = user && user->emailVerified;
            checked = true;
        }
        if (!verified)
            return;
        write.value = whole ? write.value.withChild("status", DatabaseValue(kVerifiedAccountStatus))
                            : DatabaseValue(kVerifiedAccountStatus);
    }
}

}  // namespace qv::hub
