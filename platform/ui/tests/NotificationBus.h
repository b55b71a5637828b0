// A session bus of a test's own (a dbus-daemon it starts) with a recording notification service
// on it, for the tests that look at what reaches the desktop's notifications.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>

#include <optional>
#include <vector>

namespace qv::testing {

class NotificationBus : public QDBusVirtualObject {
public:
    // Starts the bus, which may come before the application object; the address stays empty
    // when it does not come up (dbus-daemon may be missing).
    NotificationBus()
    {
        daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (daemon_.waitForReadyRead(10'000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~NotificationBus() override
    {
        if (service_) {
            service_->unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            service_.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("qv-notification-service"));
        }
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished();
        }
    }
    NotificationBus(const NotificationBus&) = delete;
    NotificationBus& operator=(const NotificationBus&) = delete;

    const QString& address() const { return address_; }
    // Serves the notifications interface on the bus, recording each call. Needs the
    // application object.
    bool serveNotifications()
    {
        if (address_.isEmpty())
            return false;
        service_.emplace(QDBusConnection::connectToBus(address_, QStringLiteral("qv-notification-service")));
        return service_->isConnected() && service_->registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), this)
            && service_->registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    // Stops serving it: the bus then answers that nobody does.
    void unregisterService()
    {
        if (service_)
            service_->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        calls.push_back(message);
        connection.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }

    std::vector<QDBusMessage> calls;

private:
    QProcess daemon_;
    QString address_;
    std::optional<QDBusConnection> service_;
};

}  // namespace qv::testing
