#include "sdk/crashes/Model/ZEThread.h"

namespace ze {

ZEJson ZEThread::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "id", threadId);
    ZESetIfPresent(json, "name", name);
    json["frames"] = ZESerializeArray(frames);
    if (exception) {
        json["exception"] = exception->serializeToDictionary();
    }
    return json;
}

bool ZEThread::isValid() const
{
    if (!threadId) {
        ZELogInvalidField(kClassName, "threadId");
        return false;
    }
    if (frames.empty()) {
        ZELogInvalidField(kClassName, "frames");
        return false;
    }
    return true;
}

bool ZEThread::isEqual(const ZESerializableObject& other) const
{
    const auto* thread = dynamic_cast<const ZEThread*>(&other);
    return thread && threadId == thread->threadId && name == thread->name && ZEEqualArrays(frames, thread->frames)
        && ZEEqualObjects(exception, thread->exception);
}

void ZEThread::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeNumber("id", threadId);
    coder.encodeString("name", name);
    coder.encodeObjectArray("frames", frames);
    coder.encodeObject("exception", exception);
}

void ZEThread::initWithCoder(ZEKeyedUnarchiver& coder)
{
    threadId = coder.decodeNumber("id");
    name = coder.decodeString("name");
    frames = coder.decodeObjectArray<ZEStackFrame>("frames").value_or(ZEStackFrames());
    exception = coder.decodeObject<ZEExceptionModel>("exception");
}

} // namespace ze
