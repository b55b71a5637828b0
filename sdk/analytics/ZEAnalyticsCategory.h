// Automatic page views: the host reports each view about to appear with its controller's class
// name (on the main thread); when page tracking is on, "HomeViewController" becomes the page
// "Home". A page seen before the service is available is remembered and sent once it is enabled.
// Also the list of analytics classes that stored archives may hold.
#pragma once

#include <optional>
#include <string>

namespace ze {

class ZEAnalyticsCategory {
public:
    // Starts listening for view appearances; a second call changes nothing.
    static void activateCategory();
    static bool isActivated();
    // The host's hook: a view of `controllerClassName` is about to appear.
    static void viewWillAppear(const std::string& controllerClassName);
    static std::optional<std::string> missedPageViewName();
    // The page name for a controller class, or nothing for container controllers.
    static std::optional<std::string> pageNameForClassName(const std::string& controllerClassName);
    static void addAllowedAnalyitcsModuleClasses();
    // Forgets the missed page and the activation (tests).
    static void reset();
};

} // namespace ze
