// An exception inside an error log: its type (exception name, error domain or signal name), its
// message, and its stack as text and as parsed frames.
#pragma once

#include "sdk/crashes/Model/ZEStackFrame.h"
#include "sdk/telemetry/Internals/Util/ZEError.h"

#include <exception>

namespace ze {

class ZEExceptionModel : public ZESerializableObject, public ZEModel {
public:
    static constexpr const char* kClassName = "ZEExceptionModel";

    ZEExceptionModel() = default;
    // The error's domain as type, its description as message, the current stack.
    static std::shared_ptr<ZEExceptionModel> initWithError(const ZEError& error);
    // The exception's demangled type and its text when it is a std::exception; the current stack.
    static std::shared_ptr<ZEExceptionModel> initWithException(const std::exception_ptr& exception);
    // Without call-stack lines, those of the current thread.
    static std::shared_ptr<ZEExceptionModel> initWithType(const std::optional<std::string>& type,
        const std::optional<std::string>& message, const std::optional<std::vector<std::string>>& callStackSymbols);
    // Frames of lines in the form "index module address symbol + offset"; shorter lines give none.
    static ZEStackFrames loadStackTrace(const std::vector<std::string>& callStackSymbols);
    // The calling thread's stack in that form, the caller's frame first.
    static std::vector<std::string> currentCallStackSymbols();

    std::optional<std::string> type;
    std::optional<std::string> message;
    std::optional<std::string> stackTrace;
    std::optional<ZEStackFrames> frames;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // A type and at least one frame.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);

protected:
    void setCallStack(const std::vector<std::string>& callStackSymbols);
};

// The readable form of a mangled type name; the name itself when it does not demangle.
std::string ZEDemangle(const char* mangledName);

} // namespace ze
