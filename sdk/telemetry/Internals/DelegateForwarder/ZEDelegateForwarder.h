// Lets SDK services hear the calls the system makes on the application's delegate without the
// application forwarding them by hand. There is no run-time method replacement here: the host
// application reports each delegate call to the forwarder (an explicit registry of selectors), and
// the forwarder passes it to every SDK delegate that answers it. A selector ending in
// "returnedValue:" carries the value returned so far as its last argument, so each delegate sees
// what the previous one returned. What the forwarder has to say is buffered until the application
// sets the log level.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace ze {

class ZEForwardedDelegate {
public:
    virtual ~ZEForwardedDelegate() = default;
    virtual bool respondsToSelector(const std::string& selector) const = 0;
    virtual std::any invoke(const std::string& selector, const std::vector<std::any>& arguments) = 0;
};

class ZEDelegateForwarder {
public:
    virtual ~ZEDelegateForwarder() = default;

    // Only while enabled.
    void addDelegate(const std::shared_ptr<ZEForwardedDelegate>& delegate);
    void removeDelegate(const std::shared_ptr<ZEForwardedDelegate>& delegate);
    // Disabling drops every delegate.
    void setEnabled(bool enabled);
    bool isEnabled() const;
    // Enabled unless the application's information names `key` as false.
    void setEnabledFromPlistForKey(const std::string& key);

    // Asks for a delegate selector to be forwarded from the next application delegate on.
    void addDelegateSelectorToSwizzle(const std::string& selector);
    // The host tells the forwarder that the application's delegate (of `delegateClass`) was set;
    // the selectors asked for so far are forwarded from now on.
    void applicationDelegateDidChange(const std::string& delegateClass);
    bool isForwarding(const std::string& selector) const;
    // Calls every delegate that answers `selector`; answers the last returned value (for
    // "returnedValue:" selectors, the value passed in when none answers).
    std::any forwardInvocation(const std::string& selector, std::vector<std::any> arguments);

    // Buffered until the first flush, run at once afterwards.
    static void addTraceBlock(std::function<void()> trace);
    static void flushTraceBuffer();
    // Starts a new trace buffer (tests).
    static void resetTraceBuffer();

protected:
    ZEDelegateForwarder() = default;

private:
    mutable std::recursive_mutex mutex_;
    bool enabled_ = true;
    std::vector<std::weak_ptr<ZEForwardedDelegate>> delegates_;
    std::set<std::string> selectorsToSwizzle_;
    std::set<std::string> forwardedSelectors_;
};

class ZEAppDelegateForwarder final : public ZEDelegateForwarder {
public:
    static constexpr const char* kEnabledKey = "ZavEdurovAppDelegateForwarderEnabled";
    // Made on first use and enabled from the application's information.
    static std::shared_ptr<ZEAppDelegateForwarder> sharedInstance();
    static void resetSharedInstance();

private:
    ZEAppDelegateForwarder() = default;
};

} // namespace ze
