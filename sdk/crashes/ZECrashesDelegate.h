// What the host may decide about and hear of the crash reports of the previous run; every
// callback is optional. Calls about sends come on the main thread.
#pragma once

#include "sdk/crashes/Model/ZEErrorAttachmentLog.h"
#include "sdk/crashes/Model/ZEErrorReport.h"
#include "sdk/telemetry/Internals/Util/ZEError.h"

#include <functional>

namespace ze {

class ZECrashes;

// The user's answer about sending crash reports. Hosts pass it as a plain number, and a number
// other than these counts as "send", so every unsigned value is a valid answer.
enum ZEUserConfirmation : unsigned { ZEUserConfirmationDontSend = 0, ZEUserConfirmationSend = 1, ZEUserConfirmationAlways = 2 };

// Gets the reports waiting to be sent; true means the host asks the user and answers later
// through `ZECrashes::notifyWithUserConfirmation`.
using ZEUserConfirmationHandler = std::function<bool(const std::vector<std::shared_ptr<ZEErrorReport>>&)>;

class ZECrashesDelegate {
public:
    virtual ~ZECrashesDelegate() = default;
    // Nothing: not implemented (process the report).
    virtual std::optional<bool> shouldProcessErrorReport(ZECrashes&, const ZEErrorReport&) { return std::nullopt; }
    // Nothing: not implemented.
    virtual std::optional<std::vector<std::shared_ptr<ZEErrorAttachmentLog>>> attachmentsWithCrashes(ZECrashes&,
        const ZEErrorReport&)
    {
        return std::nullopt;
    }
    virtual void willSendErrorReport(ZECrashes&, const std::shared_ptr<ZEErrorReport>&) {}
    virtual void didSucceedSendingErrorReport(ZECrashes&, const std::shared_ptr<ZEErrorReport>&) {}
    virtual void didFailSendingErrorReport(ZECrashes&, const std::shared_ptr<ZEErrorReport>&, const std::optional<ZEError>&) {}
};

} // namespace ze
