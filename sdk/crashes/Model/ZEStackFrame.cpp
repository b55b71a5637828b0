#include "sdk/crashes/Model/ZEStackFrame.h"

namespace ze {

ZEJson ZEStackFrame::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "address", address);
    ZESetIfPresent(json, "code", code);
    ZESetIfPresent(json, "className", className);
    ZESetIfPresent(json, "methodName", methodName);
    ZESetIfPresent(json, "lineNumber", lineNumber);
    ZESetIfPresent(json, "fileName", fileName);
    return json;
}

bool ZEStackFrame::isEqual(const ZESerializableObject& other) const
{
    const auto* frame = dynamic_cast<const ZEStackFrame*>(&other);
    return frame && address == frame->address && code == frame->code && className == frame->className
        && methodName == frame->methodName && lineNumber == frame->lineNumber && fileName == frame->fileName;
}

void ZEStackFrame::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeString("address", address);
    coder.encodeString("code", code);
    coder.encodeString("className", className);
    coder.encodeString("methodName", methodName);
    coder.encodeNumber("lineNumber", lineNumber);
    coder.encodeString("fileName", fileName);
}

void ZEStackFrame::initWithCoder(ZEKeyedUnarchiver& coder)
{
    address = coder.decodeString("address");
    code = coder.decodeString("code");
    className = coder.decodeString("className");
    methodName = coder.decodeString("methodName");
    lineNumber = coder.decodeNumber("lineNumber");
    fileName = coder.decodeString("fileName");
}

} // namespace ze
