#include "sdk/telemetry/Internals/DelegateForwarder/ZEDelegateForwarder.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <optional>

namespace ze {

namespace {

constexpr const char* kReturnedValueSuffix = "returnedValue:";

struct TraceBuffer {
    std::mutex mutex;
    std::optional<std::vector<std::function<void()>>> traces{std::in_place};
};

TraceBuffer& traceBuffer()
{
    static auto* buffer = new TraceBuffer;
    return *buffer;
}

struct ForwarderSlot {
    std::mutex mutex;
    std::shared_ptr<ZEAppDelegateForwarder> instance;
};

ForwarderSlot& forwarderSlot()
{
    static auto* slot = new ForwarderSlot;
    return *slot;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

void ZEDelegateForwarder::addDelegate(const std::shared_ptr<ZEForwardedDelegate>& delegate)
{
    std::lock_guard lock(mutex_);
    if (enabled_ && delegate) {
        delegates_.push_back(delegate);
    }
}

void ZEDelegateForwarder::removeDelegate(const std::shared_ptr<ZEForwardedDelegate>& delegate)
{
    std::lock_guard lock(mutex_);
    if (enabled_) {
        std::erase_if(delegates_, [&delegate](const auto& held) { return held.expired() || held.lock() == delegate; });
    }
}

void ZEDelegateForwarder::setEnabled(bool enabled)
{
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    if (!enabled) {
        delegates_.clear();
    }
}

bool ZEDelegateForwarder::isEnabled() const
{
    std::lock_guard lock(mutex_);
    return enabled_;
}

void ZEDelegateForwarder::setEnabledFromPlistForKey(const std::string& key)
{
    const auto flags = ZEPlatform::applicationInfo().infoFlags;
    const auto found = flags.find(key);
    const bool enabled = found == flags.end() || found->second;
    setEnabled(enabled);
    addTraceBlock([key, enabled] {
        if (enabled) {
            ZELogDebug(kZELogTag, "Delegate forwarder for info.plist key '%@' enabled. It may use swizzling.", key);
        } else {
            ZELogDebug(kZELogTag, "Delegate forwarder for info.plist key '%@' disabled. It won't use swizzling.", key);
        }
    });
}

void ZEDelegateForwarder::addDelegateSelectorToSwizzle(const std::string& selector)
{
    std::lock_guard lock(mutex_);
    if (enabled_) {
        selectorsToSwizzle_.insert(selector);
    }
}

void ZEDelegateForwarder::applicationDelegateDidChange(const std::string& delegateClass)
{
    std::lock_guard lock(mutex_);
    for (const auto& selector : selectorsToSwizzle_) {
        forwardedSelectors_.insert(selector);
        addTraceBlock([selector, delegateClass] {
            ZELogDebug(kZELogTag, "Selector '%@' of class '%@' is swizzled.", selector, delegateClass);
        });
    }
    selectorsToSwizzle_.clear();
}

bool ZEDelegateForwarder::isForwarding(const std::string& selector) const
{
    std::lock_guard lock(mutex_);
    return forwardedSelectors_.count(selector) > 0;
}

std::any ZEDelegateForwarder::forwardInvocation(const std::string& selector, std::vector<std::any> arguments)
{
    std::vector<std::shared_ptr<ZEForwardedDelegate>> delegates;
    {
        std::lock_guard lock(mutex_);
        for (const auto& held : delegates_) {
            if (auto delegate = held.lock()) {
                delegates.push_back(std::move(delegate));
            }
        }
    }
    const bool chained = endsWith(selector, kReturnedValueSuffix) && !arguments.empty();
    std::any returned = chained ? arguments.back() : std::any();
    for (const auto& delegate : delegates) {
        if (!delegate->respondsToSelector(selector)) {
            continue;
        }
        returned = delegate->invoke(selector, arguments);
        if (chained) {
            arguments.back() = returned;
        }
    }
    return returned;
}

void ZEDelegateForwarder::addTraceBlock(std::function<void()> trace)
{
    std::unique_lock lock(traceBuffer().mutex);
    auto& traces = traceBuffer().traces;
    if (!traces) {
        lock.unlock();
        trace();
        return;
    }
    if (traces->empty()) {
        traces->push_back([] { ZELogVerbose(kZELogTag, "Start buffering traces."); });
    }
    traces->push_back(std::move(trace));
}

void ZEDelegateForwarder::flushTraceBuffer()
{
    std::optional<std::vector<std::function<void()>>> traces;
    {
        std::lock_guard lock(traceBuffer().mutex);
        if (!traceBuffer().traces) {
            return;
        }
        traces.swap(traceBuffer().traces);
    }
    for (const auto& trace : *traces) {
        trace();
    }
    ZELogVerbose(kZELogTag, "Stop buffering traces, flushed.");
}

void ZEDelegateForwarder::resetTraceBuffer()
{
    std::lock_guard lock(traceBuffer().mutex);
    traceBuffer().traces.emplace();
}

std::shared_ptr<ZEAppDelegateForwarder> ZEAppDelegateForwarder::sharedInstance()
{
    std::lock_guard lock(forwarderSlot().mutex);
    auto& instance = forwarderSlot().instance;
    if (!instance) {
        instance.reset(new ZEAppDelegateForwarder);
        instance->setEnabledFromPlistForKey(kEnabledKey);
    }
    return instance;
}

void ZEAppDelegateForwarder::resetSharedInstance()
{
    std::lock_guard lock(forwarderSlot().mutex);
    forwarderSlot().instance.reset();
}

} // namespace ze
