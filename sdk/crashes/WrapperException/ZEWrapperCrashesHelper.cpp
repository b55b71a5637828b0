#include "sdk/crashes/WrapperException/ZEWrapperCrashesHelper.h"

#include "sdk/crashes/ZECrashes.h"

#include <mutex>

namespace ze {

namespace {

struct HelperState {
    std::mutex mutex;
    std::weak_ptr<ZECrashHandlerSetupDelegate> setupDelegate;
};

HelperState& state()
{
    static HelperState shared;
    return shared;
}

} // namespace

void ZEWrapperCrashesHelper::setCrashHandlerSetupDelegate(const std::shared_ptr<ZECrashHandlerSetupDelegate>& delegate)
{
    std::lock_guard lock(state().mutex);
    state().setupDelegate = delegate;
}

std::shared_ptr<ZECrashHandlerSetupDelegate> ZEWrapperCrashesHelper::crashHandlerSetupDelegate()
{
    std::lock_guard lock(state().mutex);
    return state().setupDelegate.lock();
}

void ZEWrapperCrashesHelper::setAutomaticProcessing(bool automaticProcessing)
{
    ZECrashes::sharedInstance()->setAutomaticProcessingEnabled(automaticProcessing);
}

bool ZEWrapperCrashesHelper::automaticProcessing()
{
    return ZECrashes::sharedInstance()->isAutomaticProcessingEnabled();
}

std::vector<std::shared_ptr<ZEErrorReport>> ZEWrapperCrashesHelper::unprocessedCrashReports()
{
    return ZECrashes::sharedInstance()->unprocessedCrashReports();
}

bool ZEWrapperCrashesHelper::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& incidentIdentifiers)
{
    return ZECrashes::sharedInstance()->sendCrashReportsOrAwaitUserConfirmationForFilteredIds(incidentIdentifiers);
}

void ZEWrapperCrashesHelper::sendErrorAttachments(const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments,
    const std::string& incidentIdentifier)
{
    ZECrashes::sharedInstance()->sendErrorAttachments(attachments, incidentIdentifier);
}

std::shared_ptr<ZEErrorReport> ZEWrapperCrashesHelper::buildHandledErrorReportWithErrorID(const std::string& errorId)
{
    return ZECrashes::sharedInstance()->buildHandledErrorReportWithErrorID(errorId);
}

} // namespace ze
