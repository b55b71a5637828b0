// One thread of a crashed process: its number, its stack and, for the crashed thread, the
// exception that ended it.
#pragma once

#include "sdk/crashes/Model/ZEExceptionModel.h"

namespace ze {

class ZEThread final : public ZESerializableObject, public ZEModel {
public:
    static constexpr const char* kClassName = "ZEThread";

    std::optional<std::int64_t> threadId;
    std::optional<std::string> name;
    ZEStackFrames frames;
    std::shared_ptr<ZEExceptionModel> exception;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // A thread id and at least one frame.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
    std::string description() const { return serializeToDictionary().dump(); }
};

} // namespace ze
