// One batch of logs as a channel sends it: the store's batch id and the logs, in store order.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"

#include <memory>
#include <vector>

namespace ze {

class ZELogContainer {
public:
    ZELogContainer() = default;
    ZELogContainer(std::optional<std::string> batchId, std::vector<std::shared_ptr<ZEAbstractLog>> logs)
        : batchId(std::move(batchId))
        , logs(std::move(logs))
    {
    }

    std::optional<std::string> batchId;
    std::vector<std::shared_ptr<ZEAbstractLog>> logs;

    // {"logs":[...]}, compact; nothing (with an Error log) when the logs cannot be written.
    std::optional<std::string> serializeLog() const { return serializeLogWithPrettyPrinting(false); }
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;
    // Not empty, and every log valid (checking stops at the first invalid one).
    bool isValid() const;
};

} // namespace ze
