#include "sdk/crashes/Model/ZEAppleErrorLog.h"

namespace ze {

ZEJson ZEAppleErrorLog::serializeToDictionary() const
{
    ZEJson json = ZEAbstractErrorLog::serializeToDictionary();
    ZESetIfPresent(json, "primaryArchitectureId", primaryArchitectureId);
    ZESetIfPresent(json, "architectureVariantId", architectureVariantId);
    ZESetIfPresent(json, "applicationPath", applicationPath);
    ZESetIfPresent(json, "osExceptionType", osExceptionType);
    ZESetIfPresent(json, "osExceptionCode", osExceptionCode);
    ZESetIfPresent(json, "osExceptionAddress", osExceptionAddress);
    ZESetIfPresent(json, "exceptionType", exceptionType);
    ZESetIfPresent(json, "exceptionReason", exceptionReason);
    ZESetIfPresent(json, "selectorRegisterValue", selectorRegisterValue);
    if (threads) {
        json["threads"] = ZESerializeArray(*threads);
    }
    if (binaries) {
        json["binaries"] = ZESerializeArray(*binaries);
    }
    ZESetIfPresent(json, "registers", registers);
    if (exception) {
        json["exception"] = exception->serializeToDictionary();
    }
    return json;
}

bool ZEAppleErrorLog::isValid() const
{
    if (!ZEAbstractErrorLog::isValid()) {
        return false;
    }
    const std::pair<const char*, bool> required[] = {{"primaryArchitectureId", primaryArchitectureId.has_value()},
        {"applicationPath", applicationPath.has_value()}, {"osExceptionType", osExceptionType.has_value()},
        {"osExceptionCode", osExceptionCode.has_value()}, {"osExceptionAddress", osExceptionAddress.has_value()}};
    for (const auto& [field, present] : required) {
        if (!present) {
            ZELogInvalidField(kClassName, field);
            return false;
        }
    }
    return true;
}

bool ZEAppleErrorLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEAppleErrorLog*>(&other);
    return log && ZEAbstractErrorLog::isEqual(other) && primaryArchitectureId == log->primaryArchitectureId
        && architectureVariantId == log->architectureVariantId && applicationPath == log->applicationPath
        && osExceptionType == log->osExceptionType && osExceptionCode == log->osExceptionCode
        && osExceptionAddress == log->osExceptionAddress && exceptionType == log->exceptionType
        && exceptionReason == log->exceptionReason && selectorRegisterValue == log->selectorRegisterValue
        && ZEEqualArrays(threads, log->threads) && ZEEqualArrays(binaries, log->binaries) && registers == log->registers
        && ZEEqualObjects(exception, log->exception);
}

void ZEAppleErrorLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEAbstractErrorLog::encodeWithCoder(coder);
    coder.encodeNumber("primaryArchitectureId", ZEToArchiveNumber(primaryArchitectureId));
    coder.encodeNumber("architectureVariantId", ZEToArchiveNumber(architectureVariantId));
    coder.encodeString("applicationPath", applicationPath);
    coder.encodeString("osExceptionType", osExceptionType);
    coder.encodeString("osExceptionCode", osExceptionCode);
    coder.encodeString("osExceptionAddress", osExceptionAddress);
    coder.encodeString("exceptionType", exceptionType);
    coder.encodeString("exceptionReason", exceptionReason);
    coder.encodeString("selectorRegisterValue", selectorRegisterValue);
    if (threads) {
        coder.encodeObjectArray("threads", *threads);
    }
    if (binaries) {
        coder.encodeObjectArray("binaries", *binaries);
    }
    coder.encodeStringDictionary("registers", registers);
    coder.encodeObject("exception", exception);
}

void ZEAppleErrorLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEAbstractErrorLog::initWithCoder(coder);
    primaryArchitectureId = ZEFromArchiveNumber(coder.decodeNumber("primaryArchitectureId"));
    architectureVariantId = ZEFromArchiveNumber(coder.decodeNumber("architectureVariantId"));
    applicationPath = coder.decodeString("applicationPath");
    osExceptionType = coder.decodeString("osExceptionType");
    osExceptionCode = coder.decodeString("osExceptionCode");
    osExceptionAddress = coder.decodeString("osExceptionAddress");
    exceptionType = coder.decodeString("exceptionType");
    exceptionReason = coder.decodeString("exceptionReason");
    selectorRegisterValue = coder.decodeString("selectorRegisterValue");
    threads = coder.decodeObjectArray<ZEThread>("threads");
    binaries = coder.decodeObjectArray<ZEBinary>("binaries");
    registers = coder.decodeStringDictionary("registers");
    exception = coder.decodeObject<ZEExceptionModel>("exception");
}

} // namespace ze
