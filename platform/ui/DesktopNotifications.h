// Notifications to the user through the desktop's notification service (the freedesktop
// notifications interface on the session bus). Where no session bus or no such service runs,
// a notification is skipped quietly. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QString>

#include <optional>

namespace qv {

class DesktopNotifications {
public:
    // On the user's session bus, reached on the first notification.
    DesktopNotifications() = default;
    // On `bus` (tests start a bus of their own).
    explicit DesktopNotifications(const QDBusConnection& bus) : bus_(bus) {}

    // Posts the notification: the title as its summary, the subtitle and the informative text
    // as its body. Returns whether it was handed to a bus; the reply is not waited for.
    bool post(const QString& title, const QString& subtitle, const QString& informativeText);

private:
    std::optional<QDBusConnection> bus_;
};

}  // namespace qv
