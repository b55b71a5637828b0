#include "app/MailingListKit.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

namespace qv {
namespace {

// The request identifier each network reply carries.
constexpr const char* kIdentifierProperty = "mailingListRequest";

MailingListError clientError()
{
    return {kMailingListErrorDomain, 0, {}};
}

}  // namespace

MailingListKit& MailingListKit::sharedKit()
{
    static MailingListKit kit;
    return kit;
}

MailingListKit::MailingListKit() = default;

MailingListKit::~MailingListKit()
{
    if (!thread_)
        return;
    QMetaObject::invokeMethod(network_, [this] { delete network_; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

void MailingListKit::setApiAddressTemplate(const QString& addressTemplate)
{
    std::lock_guard lock(mutex_);
    addressTemplate_ = addressTemplate;
}

QString MailingListKit::addressForKey(const QString& key) const
{
    const QStringList parts = key.split('-');
    if (parts.size() < 2)
        return {};
    return addressTemplate_.contains("%1") ? addressTemplate_.arg(parts[1]) : addressTemplate_;
}

void MailingListKit::setApiKey(const QString& key)
{
    std::lock_guard lock(mutex_);
    apiKey_ = key;
    if (key.split('-').size() > 1)
        apiURL_ = addressForKey(key);
}

QString MailingListKit::apiKey() const
{
    std::lock_guard lock(mutex_);
    return apiKey_;
}

QString MailingListKit::apiURL() const
{
    std::lock_guard lock(mutex_);
    return apiURL_;
}

QByteArray MailingListKit::encodeRequestParams(const QJsonObject& params)
{
    return QJsonDocument(params).toJson(QJsonDocument::Compact);
}

std::uint64_t MailingListKit::callApiMethod(const QString& method, const QJsonObject& params, CompletionHandler completion)
{
    return callApiMethod(method, std::nullopt, params, std::move(completion), nullptr);
}

std::uint64_t MailingListKit::callApiMethod(const QString& method, const QJsonObject& params, Delegate delegate)
{
    return callApiMethod(method, std::nullopt, params, nullptr, std::move(delegate));
}

std::uint64_t MailingListKit::callApiMethod(const QString& method, const QString& apiKey, const QJsonObject& params,
                                            CompletionHandler completion)
{
    if (!completion)
        return 0;
    return callApiMethod(method, std::optional<QString>(apiKey), params, std::move(completion), nullptr);
}

std::uint64_t MailingListKit::callApiMethod(const QString& method, const QString& apiKey, const QJsonObject& params,
                                            Delegate delegate)
{
    if (!delegate)
        return 0;
    return callApiMethod(method, std::optional<QString>(apiKey), params, nullptr, std::move(delegate));
}

std::uint64_t MailingListKit::callApiMethod(const QString& method, const std::optional<QString>& apiKey,
                                            const QJsonObject& params, CompletionHandler completion, Delegate delegate)
{
    QJsonObject body = params;
    QString address;
    std::uint64_t identifier = 0;
    {
        std::lock_guard lock(mutex_);
        const QString key = apiKey.value_or(apiKey_);
        const bool usable = apiKey ? apiKey->split('-').size() >= 2 : !apiKey_.isNull();
        if (usable) {
            address = (apiKey ? addressForKey(key) : apiURL_) + method;
            body.insert("apikey", key);
            identifier = nextIdentifier_++;
            requests_[identifier] = std::make_shared<Request>(Request{{}, completion, delegate});
        }
    }
    if (identifier == 0) {
        if (delegate)
            delegate->ckRequestFailedWithIdentifier(0, clientError());
        if (completion)
            completion(std::nullopt, {}, clientError());
        return 0;
    }
    start(identifier, QUrl(address), encodeRequestParams(body));
    return identifier;
}

QObject* MailingListKit::network()
{
    std::lock_guard lock(mutex_);
    if (!thread_) {
        thread_ = std::make_unique<QThread>();
        thread_->setObjectName("mailing list");
        thread_->start();
        network_ = new QNetworkAccessManager;
        network_->moveToThread(thread_.get());
    }
    return network_;
}

void MailingListKit::start(std::uint64_t identifier, const QUrl& url, const QByteArray& body)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeoutInterval * 1000));
    QObject* manager = network();
    QMetaObject::invokeMethod(manager, [this, manager, identifier, request, body] {
        // Cancelled before it could start.
        if (!find(identifier))
            return;
        auto* reply = static_cast<QNetworkAccessManager*>(manager)->post(request, body);
        reply->setProperty(kIdentifierProperty, QVariant::fromValue(identifier));
        QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [this, identifier](qint64 sent, qint64 total) {
            if (auto wrapper = find(identifier); wrapper && wrapper->delegate && total > 0)
                wrapper->delegate->ckRequestIdentifierDidUploadBytes(identifier, sent, total);
        });
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, identifier, reply] {
            const QByteArray data = reply->readAll();
            if (auto wrapper = find(identifier))
                wrapper->receivedData.append(data);
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, identifier, reply] {
            const QByteArray rest = reply->readAll();
            if (auto wrapper = find(identifier))
                wrapper->receivedData.append(rest);
            MailingListResponse response{reply->url(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()};
            std::optional<MailingListError> error;
            // An HTTP status is an answer, not a failure: the caller reads the body.
            if (reply->error() != QNetworkReply::NoError && response.statusCode == 0)
                error = MailingListError{QStringLiteral("QNetworkReply"), int(reply->error()), reply->errorString()};
            reply->deleteLater();
            finish(identifier, response, error);
        });
    });
}

std::shared_ptr<MailingListKit::Request> MailingListKit::find(std::uint64_t identifier)
{
    std::lock_guard lock(mutex_);
    auto found = requests_.find(identifier);
    return found == requests_.end() ? nullptr : found->second;
}

void MailingListKit::finish(std::uint64_t identifier, const MailingListResponse& response,
                            std::optional<MailingListError> error)
{
    std::shared_ptr<Request> request;
    {
        std::lock_guard lock(mutex_);
        auto found = requests_.find(identifier);
        if (found == requests_.end())
            return;
        request = found->second;
        requests_.erase(found);
    }
    const std::optional<MailingListResponse> answered =
        error ? std::optional<MailingListResponse>() : std::optional<MailingListResponse>(response);
    if (request->completionHandler)
        request->completionHandler(answered, request->receivedData, error);
    else if (request->delegate && error)
        request->delegate->ckRequestFailedWithIdentifier(identifier, *error);
    else if (request->delegate)
        request->delegate->ckRequestIdentifierDidSucceed(identifier, response, request->receivedData);
}

void MailingListKit::cancelRequestWithIdentifier(std::uint64_t identifier)
{
    {
        std::lock_guard lock(mutex_);
        if (requests_.erase(identifier) == 0 || !network_)
            return;
    }
    QMetaObject::invokeMethod(network_, [this, identifier] {
        for (auto* reply : network_->findChildren<QNetworkReply*>())
            if (reply->property(kIdentifierProperty).toULongLong() == identifier)
                reply->abort();
    });
}

}  // namespace qv
