// Notifications reach the desktop's notification service on a session bus started for the
// test; without the service, or without a bus, they are skipped quietly.
#include "NotificationBus.h"

#include "platform/ui/DesktopNotifications.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>

namespace {

class DesktopNotificationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        bus.emplace();
        ASSERT_FALSE(bus->address().isEmpty());
        client.emplace(QDBusConnection::connectToBus(bus->address(), "qv-notification-client"));
        ASSERT_TRUE(client->isConnected());
    }
    void TearDown() override
    {
        client.reset();
        QDBusConnection::disconnectFromBus("qv-notification-client");
        bus.reset();
    }
    bool waitFor(const std::function<bool()>& done, int milliseconds = 10'000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    std::optional<qv::testing::NotificationBus> bus;
    std::optional<QDBusConnection> client;
};

TEST_F(DesktopNotificationsTest, ANotificationReachesTheServiceWithItsTitleAndBody)
{
    ASSERT_TRUE(bus->serveNotifications());
    qv::DesktopNotifications desktop(*client);
    EXPECT_TRUE(desktop.post("Processing Complete", "Interview with Ann", "Transcribed in 2.5x faster than real-time"));
    EXPECT_TRUE(desktop.post("Processing Complete", "Second file", ""));
    ASSERT_TRUE(waitFor([&] { return bus->calls.size() == 2; }));
    const QDBusMessage& first = bus->calls.front();
    EXPECT_EQ(first.interface(), "org.freedesktop.Notifications");
    EXPECT_EQ(first.member(), "Notify");
    const QList<QVariant> arguments = first.arguments();
    ASSERT_EQ(arguments.size(), 8);
    EXPECT_EQ(arguments[0].toString(), "Quorvantelle");
    EXPECT_EQ(arguments[3].toString(), "Processing Complete");
    EXPECT_EQ(arguments[4].toString(), "Interview with Ann\nTranscribed in 2.5x faster than real-time");
    EXPECT_EQ(arguments[7].toInt(), -1);
    EXPECT_EQ(bus->calls.back().arguments()[4].toString(), "Second file");
}

TEST_F(DesktopNotificationsTest, WithoutTheServiceOrWithoutABusNothingHappens)
{
    ASSERT_TRUE(bus->serveNotifications());
    bus->unregisterService();
    // Handed to the bus, which answers that nobody serves it; nothing else follows.
    qv::DesktopNotifications desktop(*client);
    EXPECT_TRUE(desktop.post("Processing Complete", "Interview", ""));
    waitFor([] { return false; }, 200);

    qv::DesktopNotifications nowhere(QDBusConnection("qv-never-connected"));
    EXPECT_FALSE(nowhere.post("Processing Complete", "Interview", ""));
}

}  // namespace
