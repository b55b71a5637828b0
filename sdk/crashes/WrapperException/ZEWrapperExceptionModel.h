// An exception described by an SDK that wraps this one for another runtime: the base exception
// model plus the wrapper's name and the exceptions nested inside it.
#pragma once

#include "sdk/crashes/Model/ZEExceptionModel.h"

namespace ze {

class ZEWrapperExceptionModel final : public ZEExceptionModel {
public:
    static constexpr const char* kClassName = "ZEWrapperExceptionModel";

    std::optional<std::string> wrapperSdkName;
    std::optional<std::vector<std::shared_ptr<ZEExceptionModel>>> innerExceptions;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

// What a wrapper SDK saves beside a crash: its exception model, opaque bytes of its own, and the
// id of the process that saved it (which ties it to that process's crash report).
class ZEWrapperException final : public ZEArchivable {
public:
    static constexpr const char* kClassName = "ZEWrapperException";

    std::shared_ptr<ZEExceptionModel> modelException;
    std::optional<ZEData> exceptionData;
    std::optional<std::int64_t> processId;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
