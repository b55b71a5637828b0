#include "sdk/analytics/Session/ZESessionTracker.h"

#include "sdk/analytics/ZEAnalyticsConstants.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEApplicationEvents.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

namespace ze {

namespace {

double secondsBetween(ZEDate later, ZEDate earlier)
{
    return std::chrono::duration<double>(later - earlier).count();
}

} // namespace

ZESessionTracker::ZESessionTracker()
    : context_(ZESessionContext::sharedInstance())
{
    ZEZavEdurovUserDefaults::shared().removeObjectForKey("PastSessions");
}

ZESessionTracker::~ZESessionTracker()
{
    if (observerToken_) {
        ZEApplicationEvents::removeObserver(observerToken_);
    }
}

void ZESessionTracker::start()
{
    if (started_ || manual_) {
        return;
    }
    started_ = true;
    if (ZEUtility::applicationState() < ZEApplicationStateBackground) {
        renewSessionId();
    }
    std::weak_ptr<ZESessionTracker> weak = weak_from_this();
    observerToken_ = ZEApplicationEvents::addObserver([weak](ZEApplicationEvent event) {
        if (auto self = weak.lock()) {
            if (event == ZEApplicationEvent::DidResignActive) {
                self->applicationDidEnterBackground();
            } else {
                self->applicationWillEnterForeground();
            }
        }
    });
}

void ZESessionTracker::stop()
{
    if (!started_ || manual_) {
        return;
    }
    ZEApplicationEvents::removeObserver(observerToken_);
    observerToken_ = 0;
    started_ = false;
    context_->setSessionId(std::nullopt);
}

void ZESessionTracker::enableManualSessionTracker()
{
    if (started_) {
        ZELogInfo(kZEAnalyticsLogTag, "Manual session tracker should be set before the ZEAnalytics service is started.");
        return;
    }
    manual_ = true;
    ZELogInfo(kZEAnalyticsLogTag, "Manual session tracker is enabled.");
}

void ZESessionTracker::startSession()
{
    if (!manual_) {
        ZELogInfo(kZEAnalyticsLogTag, "Can't start new session because manual session tracker is disabled.");
        return;
    }
    sendStartSession();
    ZELogInfo(kZEAnalyticsLogTag, "Started a new session: %@", context_->sessionId());
}

void ZESessionTracker::renewSessionId()
{
    std::lock_guard lock(mutex_);
    if (started_ && (!context_->sessionId() || hasSessionTimedOut())) {
        sendStartSession();
    }
}

void ZESessionTracker::sendStartSession()
{
    const std::string sessionId = ZEUuid::create().UUIDString();
    context_->setSessionId(sessionId);
    ZELogInfo(kZEAnalyticsLogTag, "New session ID: %@", sessionId);
    auto log = std::make_shared<ZEStartSessionLog>();
    log->sid = sessionId;
    if (delegate_) {
        delegate_->sessionTrackerProcessLog(*this, log);
    }
}

bool ZESessionTracker::hasSessionTimedOut()
{
    std::lock_guard lock(mutex_);
    const ZEDate now = ZEUtility::now();
    const bool quiet = !lastCreatedLogTime_ || secondsBetween(now, *lastCreatedLogTime_) >= sessionTimeout;
    if (ZEPlatform::applicationInfo().executablePath.find(".appex/") != std::string::npos) {
        return quiet;
    }
    const bool stillInactive = lastEnteredBackgroundTime_ && lastEnteredForegroundTime_
        && *lastEnteredBackgroundTime_ > *lastEnteredForegroundTime_
        && secondsBetween(now, *lastEnteredBackgroundTime_) >= sessionTimeout;
    const bool wasInactive = lastEnteredBackgroundTime_ && lastEnteredForegroundTime_
        && secondsBetween(*lastEnteredForegroundTime_, *lastEnteredBackgroundTime_) >= sessionTimeout;
    return quiet && (stillInactive || wasInactive);
}

void ZESessionTracker::applicationDidEnterBackground()
{
    if (manual_) {
        ZELogInfo(kZEAnalyticsLogTag,
            "Manual session tracker is enabled. Skip tracking a session status request after enter background.");
        return;
    }
    std::lock_guard lock(mutex_);
    lastEnteredBackgroundTime_ = ZEUtility::now();
}

void ZESessionTracker::applicationWillEnterForeground()
{
    if (manual_) {
        ZELogInfo(kZEAnalyticsLogTag,
            "Manual session tracker is enabled. Skip tracking a session status request after enter foreground.");
        return;
    }
    {
        std::lock_guard lock(mutex_);
        lastEnteredForegroundTime_ = ZEUtility::now();
    }
    renewSessionId();
}

void ZESessionTracker::channelPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    if (dynamic_cast<const ZEStartSessionLog*>(log.get()) || dynamic_cast<const ZEStartServiceLog*>(log.get())) {
        return;
    }
    if (!dynamic_cast<const ZENoAutoAssignSessionIdLog*>(log.get())) {
        log->sid = context_->sessionId();
    }
    std::lock_guard lock(mutex_);
    lastCreatedLogTime_ = ZEUtility::now();
}

} // namespace ze
