// An error the application caught and handed to the crash service: an error id and what was caught.
#pragma once

#include "sdk/crashes/Model/ZEExceptionModel.h"
#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"

namespace ze {

class ZEHandledErrorLog final : public ZELogWithProperties {
public:
    static constexpr const char* kClassName = "ZEHandledErrorLog";

    ZEHandledErrorLog() { type = "handledError"; }

    std::optional<std::string> errorId;
    std::shared_ptr<ZEExceptionModel> exception;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
