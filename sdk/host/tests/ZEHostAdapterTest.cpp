#include "sdk/host/ZEHostAdapter.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEApplicationEvents.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "platform/foundation/ManualDispatcher.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ze {
namespace {

QGuiApplication& application()
{
    static int argc = 1;
    static char name[] = "ZavEdurovHost_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv);
    return *app;
}

TEST(ZEHostAdapterTest, KeepsTheSdkSettingsInThePreferencesWithTheirKinds)
{
    application();
    QTemporaryDir folder;
    qv::ManualDispatcher mainQueue;
    const ZEDate date = ZEDateFromSeconds(1'600'000'000.25);
    {
        qv::Preferences preferences(folder.path());
        auto settings = std::make_shared<ZEPreferencesSettings>(preferences, mainQueue);
        settings->setObject("ZEZavEdurovInstallId", std::string("ID"));
        settings->setObject("ZEZavEdurovZavEdurovIsEnabled", false);
        settings->setObject("ZEZavEdurovChannelStartTimer:Analytics", date);
        settings->setObject("ZEZavEdurovPastDevices", ZEData{1, 2, 3});
        settings->setObject("ZEZavEdurovGone", std::int64_t{4});
        settings->removeObject("ZEZavEdurovGone");
        // Readable at once from any thread; written to the preferences on the main queue.
        EXPECT_EQ(std::get<std::string>(*settings->objectForKey("ZEZavEdurovInstallId")), "ID");
        EXPECT_FALSE(preferences.dictionaryForKey(ZEPreferencesSettings::kPreferencesKey));
        mainQueue.drain();
        EXPECT_TRUE(preferences.dictionaryForKey(ZEPreferencesSettings::kPreferencesKey));
    }
    qv::Preferences reread(folder.path());
    ZEPreferencesSettings settings(reread, mainQueue);
    const auto all = settings.dictionaryRepresentation();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(std::get<std::string>(all.at("ZEZavEdurovInstallId")), "ID");
    EXPECT_FALSE(std::get<bool>(all.at("ZEZavEdurovZavEdurovIsEnabled")));
    EXPECT_EQ(std::get<ZEDate>(all.at("ZEZavEdurovChannelStartTimer:Analytics")), date);
    EXPECT_EQ(std::get<ZEData>(all.at("ZEZavEdurovPastDevices")), (ZEData{1, 2, 3}));
}

TEST(ZEHostAdapterTest, GivesTheSdkTheMainQueueTheScreenAndActivationChanges)
{
    application();
    QTemporaryDir folder;
    qv::ManualDispatcher mainQueue;
    qv::Preferences preferences(folder.path());
    ZEHostAdapter adapter(mainQueue, preferences);
    auto executor = ZEPlatform::mainThreadExecutor();
    EXPECT_TRUE(executor->isMainThread());
    bool ran = false;
    executor->post([&] { ran = true; });
    EXPECT_FALSE(ran);
    mainQueue.drain();
    EXPECT_TRUE(ran);
    const auto screen = executor->mainScreenSize();
    ASSERT_TRUE(screen);
    EXPECT_GT(screen->first, 0);

    std::vector<ZEApplicationEvent> events;
    const int token = ZEApplicationEvents::addObserver([&](ZEApplicationEvent event) { events.push_back(event); });
    emit static_cast<QGuiApplication*>(QGuiApplication::instance())->applicationStateChanged(Qt::ApplicationInactive);
    emit static_cast<QGuiApplication*>(QGuiApplication::instance())->applicationStateChanged(Qt::ApplicationActive);
    ZEApplicationEvents::removeObserver(token);
    EXPECT_EQ(events, (std::vector<ZEApplicationEvent>{ZEApplicationEvent::DidResignActive, ZEApplicationEvent::WillBecomeActive}));
    ZEPlatform::setMainThreadExecutor(nullptr);
    ZEPlatform::setSettings(nullptr);
}

} // namespace
} // namespace ze
