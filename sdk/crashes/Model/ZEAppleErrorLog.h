// The crash log of a native crash, log type "appleError": the crashed process's architecture,
// signal, uncaught exception, threads, registers and binary images. The crash service stamps the
// session and user of the crash time on it, so the session tracker leaves it alone.
#pragma once

#include "sdk/crashes/Model/ZEAbstractErrorLog.h"
#include "sdk/crashes/Model/ZEBinary.h"
#include "sdk/crashes/Model/ZEThread.h"

#include <map>

namespace ze {

inline constexpr const char* kZEAppleErrorLogType = "appleError";

class ZEAppleErrorLog final : public ZEAbstractErrorLog, public ZENoAutoAssignSessionIdLog {
public:
    static constexpr const char* kClassName = "ZEAppleErrorLog";

    ZEAppleErrorLog() { type = kZEAppleErrorLogType; }

    std::optional<std::uint64_t> primaryArchitectureId;
    std::optional<std::uint64_t> architectureVariantId;
    std::optional<std::string> applicationPath;
    std::optional<std::string> osExceptionType;
    std::optional<std::string> osExceptionCode;
    std::optional<std::string> osExceptionAddress;
    std::optional<std::string> exceptionType;
    std::optional<std::string> exceptionReason;
    std::optional<std::string> selectorRegisterValue;
    std::optional<std::vector<std::shared_ptr<ZEThread>>> threads;
    std::optional<std::vector<std::shared_ptr<ZEBinary>>> binaries;
    std::optional<std::map<std::string, std::string>> registers;
    std::shared_ptr<ZEExceptionModel> exception;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // The error log's rule, then the CPU type, application path and the three OS exception fields.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
