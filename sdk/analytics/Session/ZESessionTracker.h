// Decides when a usage session begins and stamps the current session id on every log of the
// channel group. A session begins when tracking starts in a visible application, and when the
// application becomes active again after at least 20 s inactive with no log made in the last 20 s.
#pragma once

#include "sdk/analytics/Model/ZEAnalyticsLogs.h"
#include "sdk/analytics/ZEAnalyticsConstants.h"
#include "sdk/telemetry/Internals/Channel/ZEChannelDelegate.h"
#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"

#include <atomic>
#include <mutex>

namespace ze {

class ZESessionTracker;

class ZESessionTrackerDelegate {
public:
    virtual ~ZESessionTrackerDelegate() = default;
    virtual void sessionTrackerProcessLog(ZESessionTracker& tracker, const std::shared_ptr<ZEAbstractLog>& log) = 0;
};

class ZESessionTracker final : public ZEChannelDelegate, public std::enable_shared_from_this<ZESessionTracker> {
public:
    ZESessionTracker();
    ~ZESessionTracker() override;

    void start();
    void stop();
    void enableManualSessionTracker();
    void startSession();
    void renewSessionId();
    void sendStartSession();
    bool hasSessionTimedOut();
    void applicationDidEnterBackground();
    void applicationWillEnterForeground();
    void channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;

    bool isStarted() const { return started_; }
    bool isManualSessionTrackerEnabled() const { return manual_; }
    void setDelegate(ZESessionTrackerDelegate* delegate) { delegate_ = delegate; }
    double sessionTimeout = kZESessionTimeoutSeconds;

private:
    std::recursive_mutex mutex_;
    std::atomic<bool> started_{false};
    std::atomic<bool> manual_{false};
    ZESessionTrackerDelegate* delegate_ = nullptr;
    std::optional<ZEDate> lastCreatedLogTime_;
    std::optional<ZEDate> lastEnteredForegroundTime_;
    std::optional<ZEDate> lastEnteredBackgroundTime_;
    std::shared_ptr<ZESessionContext> context_;
    int observerToken_ = 0;
};

} // namespace ze
