// One frame of a crash or exception stack: its address and code text, and the method, class,
// file and line that a call-stack line or a wrapper SDK names.
#pragma once

#include "sdk/crashes/Model/ZEModelSupport.h"

namespace ze {

class ZEStackFrame final : public ZESerializableObject {
public:
    static constexpr const char* kClassName = "ZEStackFrame";

    std::optional<std::string> address;
    std::optional<std::string> code;
    std::optional<std::string> className;
    std::optional<std::string> methodName;
    std::optional<std::int64_t> lineNumber;
    std::optional<std::string> fileName;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

using ZEStackFrames = std::vector<std::shared_ptr<ZEStackFrame>>;

} // namespace ze
