#include "sdk/analytics/ZEAnalyticsCategory.h"

#include "sdk/analytics/ZEAnalytics.h"
#include "sdk/telemetry/Internals/Context/Session/ZESessionHistoryInfo.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <atomic>
#include <mutex>

namespace ze {

namespace {

struct State {
    std::mutex mutex;
    std::atomic<bool> activated{false};
    std::optional<std::string> missedPage;
};

State& state()
{
    static auto* instance = new State;
    return *instance;
}

} // namespace

void ZEAnalyticsCategory::activateCategory()
{
    state().activated = true;
}

bool ZEAnalyticsCategory::isActivated()
{
    return state().activated;
}

std::optional<std::string> ZEAnalyticsCategory::pageNameForClassName(const std::string& controllerClassName)
{
    for (const char* container : {"NSTabViewController", "NSSplitViewController", "NSPageController"}) {
        if (controllerClassName == container) {
            return std::nullopt;
        }
    }
    std::string name = controllerClassName.substr(controllerClassName.rfind('.') == std::string::npos ? 0 : controllerClassName.rfind('.') + 1);
    const std::string suffix = "ViewController";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.erase(name.size() - suffix.size());
    }
    return name;
}

void ZEAnalyticsCategory::viewWillAppear(const std::string& controllerClassName)
{
    if (!state().activated || !ZEAnalytics::isAutoPageTrackingEnabled()) {
        return;
    }
    const auto page = pageNameForClassName(controllerClassName);
    if (!page) {
        return;
    }
    if (ZEAnalytics::sharedInstance()->isAvailable()) {
        {
            std::lock_guard lock(state().mutex);
            state().missedPage.reset();
        }
        ZEAnalytics::trackPage(*page);
    } else {
        std::lock_guard lock(state().mutex);
        state().missedPage = page;
    }
}

std::optional<std::string> ZEAnalyticsCategory::missedPageViewName()
{
    std::lock_guard lock(state().mutex);
    return state().missedPage;
}

void ZEAnalyticsCategory::reset()
{
    std::lock_guard lock(state().mutex);
    state().missedPage.reset();
    state().activated = false;
}

void ZEAnalyticsCategory::addAllowedAnalyitcsModuleClasses()
{
    ZEUtility::addAllowedClasses({
        ZEArchiveClass::of<ZESessionHistoryInfo>(),
        ZEArchiveClass::value("NSDate"),
        ZEArchiveClass::of<ZEDevice>(),
        ZEArchiveClass::of<ZEAbstractLog>(),
        ZEArchiveClass::of<ZEEventLog>(),
        ZEArchiveClass::of<ZEPageLog>(),
        ZEArchiveClass::of<ZEEventProperties>(),
        ZEArchiveClass::of<ZELogWithNameAndProperties>(),
        ZEArchiveClass::of<ZEBooleanTypedProperty>(),
        ZEArchiveClass::of<ZEDateTimeTypedProperty>(),
        ZEArchiveClass::of<ZEDoubleTypedProperty>(),
        ZEArchiveClass::of<ZELongTypedProperty>(),
        ZEArchiveClass::of<ZEStringTypedProperty>(),
        ZEArchiveClass::of<ZETypedProperty>(),
        ZEArchiveClass::of<ZEStartSessionLog>(),
        ZEArchiveClass::value("NSDictionary"),
        ZEArchiveClass::value("NSString"),
        ZEArchiveClass::value("NSNumber"),
        ZEArchiveClass::value("NSMutableArray"),
    });
}

} // namespace ze
