#include "app/widgets/UserExistenceCheck.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace qv {

QUrl userExistenceCheckURL(const QUrl& endpoint, const QString& email)
{
    QUrl url = endpoint;
    url.setQuery(QStringLiteral("email=") + QString::fromLatin1(QUrl::toPercentEncoding(email)), QUrl::StrictMode);
    return url;
}

void checkExistingUser(QNetworkAccessManager& network, const QUrl& endpoint, const QString& email,
                       UserExistenceCompletion completion)
{
    QNetworkReply* reply = network.get(QNetworkRequest(userExistenceCheckURL(endpoint, email)));
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, completion = std::move(completion)] {
        reply->deleteLater();
        UserExistenceAnswer answer;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError) {
            answer.error = reply->errorString();
        } else if (status < 200 || status > 299) {
            answer.error = QStringLiteral("HTTP status %1").arg(status);
        } else if (const QByteArray body = reply->readAll(); !body.trimmed().isEmpty()) {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
            if (parseError.error != QJsonParseError::NoError)
                answer.error = parseError.errorString();
            else if (document.isObject())
                answer.body = document.object();
        }
        completion(answer);
    });
}

}  // namespace qv
