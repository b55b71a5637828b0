// Asks the service's web application whether an account exists for an e-mail address
// (`check-existing-user`), answering on the main thread with the decoded JSON object.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace qv {

struct UserExistenceAnswer {
    // Set when the check failed: no connection, an HTTP error or a body that is not JSON.
    std::optional<QString> error;
    // The decoded answer; none for an empty body or one that is not an object.
    std::optional<QJsonObject> body;
};

using UserExistenceCompletion = std::function<void(const UserExistenceAnswer& answer)>;
// How the sign-in screen asks: the normalised e-mail and where the answer goes.
using UserExistenceCheckFunction = std::function<void(const QString& email, UserExistenceCompletion completion)>;

// The check's address: `endpoint` with the query "email=" and the address percent-encoded, so
// that a "%" or "+" in it reaches the service as typed.
QUrl userExistenceCheckURL(const QUrl& endpoint, const QString& email);

// Sends the check through `network` to `endpoint`; the completion runs on the thread of
// `network` (the main thread).
void checkExistingUser(QNetworkAccessManager& network, const QUrl& endpoint, const QString& email,
                       UserExistenceCompletion completion);

}  // namespace qv
