#include "platform/ui/DesktopNotifications.h"

#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace qv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The session bus only where one runs: asked for without one, the bus library may try to start
// one of its own.
bool sessionBusRuns()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

bool DesktopNotifications::post(const QString& title, const QString& subtitle, const QString& informativeText)
{
    if (!bus_) {
        if (!sessionBusRuns())
            return false;
        bus_ = QDBusConnection::sessionBus();
    }
    if (!bus_->isConnected())
        return false;
    QStringList body;
    for (const QString& line : {subtitle, informativeText})
        if (!line.isEmpty())
            body << line;
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    notify << QStringLiteral("Quorvantelle") << 0u << QStringLiteral("com.harrowfenlake.quorvantelle") << title
           << body.join(u'\n') << QStringList() << QVariantMap() << -1;
    // Not waited for: without a notification service the error reply is simply dropped.
    return bus_->send(notify);
}

}  // namespace qv
