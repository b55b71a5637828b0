#include "services/mailinglist/MailingListServer.h"

#include <QCryptographicHash>
#include <QJsonDocument>

#include <httplib.h>

namespace qv {
namespace {

std::string errorBody(int code, const char* name, const QString& message)
{
    const QJsonObject error{{"status", "error"}, {"code", code}, {"name", name}, {"error", message}};
    return QJsonDocument(error).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

MailingListServer::MailingListServer(QString apiKey) : apiKey_(std::move(apiKey)), server_(std::make_unique<httplib::Server>())
{
    server_->Post("/2.0/lists/subscribe", [this](const httplib::Request& request, httplib::Response& response) {
        int status = 200;
        const std::string body = answer(request.body, status);
        response.status = status;
        response.set_content(body, "application/json");
    });
}

MailingListServer::~MailingListServer()
{
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

bool MailingListServer::start()
{
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // The socket already listens; waiting for the loop makes a later stop() reach it.
    while (!server_->is_running())
        std::this_thread::yield();
    return true;
}

QString MailingListServer::apiAddressTemplate() const
{
    return QStringLiteral("http://127.0.0.1:%1/2.0/").arg(port_);
}

std::string MailingListServer::answer(const std::string& body, int& status)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &parseError);
    if (!document.isObject()) {
        status = 500;
        return errorBody(-100, "ValidationError", QStringLiteral("The request is not a JSON object"));
    }
    const QJsonObject params = document.object();
    std::lock_guard lock(mutex_);
    requests_.push_back(params);
    const QString key = params.value("apikey").toString();
    if (key.isEmpty() || (!apiKey_.isEmpty() && key != apiKey_)) {
        status = 500;
        return errorBody(104, "Invalid_ApiKey", QStringLiteral("Invalid MailChimp API key: %1").arg(key));
    }
    const QString email = params.value("email").toObject().value("email").toString().trimmed();
    if (!email.contains('@')) {
        status = 500;
        return errorBody(-100, "ValidationError", QStringLiteral("An email address must contain a single @"));
    }
    const QJsonObject merge = params.value("merge_vars").toObject();
    subscriptions_.push_back({params.value("id").toString(), email, merge.value("FNAME").toString(),
                              merge.value("LNAME").toString()});
    const QString euid = QString::fromLatin1(
        QCryptographicHash::hash(email.toLower().toUtf8(), QCryptographicHash::Md5).toHex().left(10));
    const QJsonObject reply{{"email", email}, {"euid", euid}, {"leid", qint64(subscriptions_.size())}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString();
}

std::vector<MailingListServer::Subscription> MailingListServer::subscriptions() const
{
    std::lock_guard lock(mutex_);
    return subscriptions_;
}

std::vector<QJsonObject> MailingListServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace qv
