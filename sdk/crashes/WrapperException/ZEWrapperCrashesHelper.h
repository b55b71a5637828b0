// The surface through which a wrapper SDK drives the crash service: its crash-handler set-up
// delegate (held weakly, never owned) and the calls that let it process the stored crash
// reports itself instead of having them sent automatically.
#pragma once

#include "sdk/crashes/Model/ZEErrorAttachmentLog.h"
#include "sdk/crashes/Model/ZEErrorReport.h"
#include "sdk/crashes/WrapperException/ZECrashHandlerSetupDelegate.h"

#include <memory>
#include <string>
#include <vector>

namespace ze {

class ZEWrapperCrashesHelper {
public:
    static void setCrashHandlerSetupDelegate(const std::shared_ptr<ZECrashHandlerSetupDelegate>& delegate);
    // The delegate while it lives; nothing once it is gone.
    static std::shared_ptr<ZECrashHandlerSetupDelegate> crashHandlerSetupDelegate();

    static void setAutomaticProcessing(bool automaticProcessing);
    static bool automaticProcessing();
    // Blocks until this launch's processing has finished or was not needed.
    static std::vector<std::shared_ptr<ZEErrorReport>> unprocessedCrashReports();
    // Keeps the reports with these incident ids, drops the rest; answers whether "always send" is set.
    static bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers);
    static void sendErrorAttachments(const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments,
        const std::string& incidentIdentifier);
    static std::shared_ptr<ZEErrorReport> buildHandledErrorReportWithErrorID(const std::string& errorId);
};

} // namespace ze
