// What a wrapper SDK may say and hear while the crash service installs its crash handlers: it
// may keep the service from installing the uncaught-exception handler (its runtime installs
// its own) and is told just before and just after the handlers are set up. Every call is
// optional; the defaults are "install it" and "nothing to do".
#pragma once

#include <optional>

namespace ze {

class ZECrashHandlerSetupDelegate {
public:
    virtual ~ZECrashHandlerSetupDelegate() = default;
    // Nothing: not implemented (install the handler).
    virtual std::optional<bool> shouldEnableUncaughtExceptionHandler() { return std::nullopt; }
    virtual void willSetUpCrashHandlers() {}
    virtual void didSetUpCrashHandlers() {}
};

} // namespace ze
