// What every error log shares: the error's id, the process and its parent, the thread the error
// happened on, whether it ended the process, when the process started, and its architecture.
#pragma once

#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"

namespace ze {

class ZEAbstractErrorLog : public ZELogWithProperties {
public:
    static constexpr const char* kClassName = "ZEAbstractErrorLog";

    std::optional<std::string> errorId;
    std::optional<std::int64_t> processId;
    std::optional<std::string> processName;
    std::optional<std::int64_t> parentProcessId;
    std::optional<std::string> parentProcessName;
    std::optional<std::int64_t> errorThreadId;
    std::optional<std::string> errorThreadName;
    bool fatal = false;
    std::optional<ZEDate> appLaunchTimestamp;
    std::optional<std::string> architecture;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // The base rule, then an id, a process id and a process name.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
