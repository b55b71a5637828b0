// A loopback stand-in of the mailing-list service's API, version 2.0: it answers
// "lists/subscribe" the way the service does and keeps the subscriptions it received, on a free
// port of 127.0.0.1, on a thread of its own for as long as this object lives. Tests and the
// application's embedded default point the mailing-list client at apiAddressTemplate().
#pragma once

#include <QJsonObject>
#include <QString>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace qv {

class MailingListServer {
public:
    struct Subscription {
        QString listId;
        QString email;
        QString firstName;
        QString lastName;
    };

    // Requests must carry `apiKey`; an empty key accepts any.
    explicit MailingListServer(QString apiKey = {});
    ~MailingListServer();
    MailingListServer(const MailingListServer&) = delete;
    MailingListServer& operator=(const MailingListServer&) = delete;

    // Listens on a free loopback port; false when none can be had. Call once.
    bool start();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>/2.0/": the API address of every data centre.
    QString apiAddressTemplate() const;

    std::vector<Subscription> subscriptions() const;
    // Every request body received, in order.
    std::vector<QJsonObject> requests() const;

private:
    std::string answer(const std::string& body, int& status);

    QString apiKey_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Subscription> subscriptions_;
    std::vector<QJsonObject> requests_;
};

}  // namespace qv
