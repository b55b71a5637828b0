// How the SDK reaches the application's main thread and asks about its windows and screen. The
// application implements it over its own event loop; without one, the SDK runs "main-thread" work
// on a serial queue of its own and knows of no screen.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <string>

namespace ze {

class ZEMainThreadExecutor {
public:
    virtual ~ZEMainThreadExecutor() = default;
    // Runs `task` on the main thread later; never runs it inside this call and never waits.
    virtual void post(std::function<void()> task) = 0;
    virtual bool isMainThread() const = 0;
    // Whether every window of the application is hidden or minimised.
    virtual bool isApplicationHidden() const { return false; }
    // Width and height of the main screen in points; nothing without a screen.
    virtual std::optional<std::pair<double, double>> mainScreenSize() const { return std::nullopt; }
    // Asks the desktop to open `url`; `completion` receives whether it did.
    virtual void openUrl(const std::string& url, std::function<void(bool)> completion)
    {
        (void)url;
        if (completion) {
            post([completion = std::move(completion)] { completion(false); });
        }
    }
};

} // namespace ze
