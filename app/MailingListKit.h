// A small client of the mailing-list service's HTTP API, version 2.0: a call names an API
// method ("lists/subscribe") and its parameters; the client adds the API key, posts them as
// JSON and reports the outcome once, to a completion callback or to a delegate. Reports arrive
// on the client's own network thread, never on the caller's; the answer's status and body are
// not inspected (the caller reads the body).
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class QThread;
class QObject;

namespace qv {

struct MailingListError {
    QString domain;
    int code = 0;
    QString description;
};

// What the service answered.
struct MailingListResponse {
    QUrl url;
    int statusCode = 0;
};

// The client's own failures: this domain, code 0.
inline const QString kMailingListErrorDomain = QStringLiteral("MailingListKit.ErrorDomain");

class MailingListRequestDelegate {
public:
    virtual ~MailingListRequestDelegate() = default;
    virtual void ckRequestIdentifierDidUploadBytes(std::uint64_t, std::int64_t /*sent*/, std::int64_t /*expected*/) {}
    virtual void ckRequestIdentifierDidSucceed(std::uint64_t, const MailingListResponse&, const QByteArray&) {}
    // `identifier` is 0 when no request was made.
    virtual void ckRequestFailedWithIdentifier(std::uint64_t, const MailingListError&) {}
};

class MailingListKit {
public:
    using CompletionHandler = std::function<void(const std::optional<MailingListResponse>& response,
                                                 const QByteArray& data, const std::optional<MailingListError>& error)>;
    using Delegate = std::shared_ptr<MailingListRequestDelegate>;

    // The one shared client.
    static MailingListKit& sharedKit();

    MailingListKit();
    ~MailingListKit();
    MailingListKit(const MailingListKit&) = delete;
    MailingListKit& operator=(const MailingListKit&) = delete;

    // Where a data centre's API lives: "%1" stands for the data-centre code of the key (the
    // service's own host names put it before the API domain). Configuration.
    void setApiAddressTemplate(const QString& addressTemplate);
    // Stores the key; a key with a data-centre code ("<hex>-<dc>") also sets apiURL().
    void setApiKey(const QString& key);
    QString apiKey() const;
    QString apiURL() const;
    double timeoutInterval = 15;

    // Returns the request's identifier, or 0 when no request was made (no key, a key without a
    // data-centre code, or no callback or delegate).
    std::uint64_t callApiMethod(const QString& method, const QJsonObject& params, CompletionHandler completion);
    std::uint64_t callApiMethod(const QString& method, const QJsonObject& params, Delegate delegate);
    std::uint64_t callApiMethod(const QString& method, const QString& apiKey, const QJsonObject& params,
                                CompletionHandler completion);
    std::uint64_t callApiMethod(const QString& method, const QString& apiKey, const QJsonObject& params, Delegate delegate);
    std::uint64_t callApiMethod(const QString& method, const std::optional<QString>& apiKey, const QJsonObject& params,
                                CompletionHandler completion, Delegate delegate);
    // Stops the request; it is never reported.
    void cancelRequestWithIdentifier(std::uint64_t identifier);

    static QByteArray encodeRequestParams(const QJsonObject& params);

private:
    struct Request {
        QByteArray receivedData;
        CompletionHandler completionHandler;
        Delegate delegate;
    };

    QString addressForKey(const QString& key) const;
    QObject* network();
    void start(std::uint64_t identifier, const QUrl& url, const QByteArray& body);
    void finish(std::uint64_t identifier, const MailingListResponse& response, std::optional<MailingListError> error);
    std::shared_ptr<Request> find(std::uint64_t identifier);

    mutable std::mutex mutex_;
    QString apiKey_;
    QString apiURL_;
    QString addressTemplate_;
    std::map<std::uint64_t, std::shared_ptr<Request>> requests_;
    std::uint64_t nextIdentifier_ = 1;
    std::unique_ptr<QThread> thread_;
    QObject* network_ = nullptr;  // the network access on thread_, parent of every reply
};

}  // namespace qv
