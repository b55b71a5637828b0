// What every telemetry model object offers: a JSON form, an archive form, value equality and,
// through ZEModel, a validity test.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEKeyedArchive.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <memory>
#include <optional>
#include <string>

namespace ze {

class ZESerializableObject : public ZEArchivable {
public:
    // The members that are set, in their fixed order; null when the object writes nothing at all.
    virtual ZEJson serializeToDictionary() const = 0;
    // Field-by-field equality; absent on both sides counts as equal.
    virtual bool isEqual(const ZESerializableObject& other) const = 0;
};

class ZEModel {
public:
    virtual ~ZEModel() = default;
    virtual bool isValid() const = 0;
};

// Equality of two possibly absent model objects.
template <class A, class B>
bool ZEEqualObjects(const std::shared_ptr<A>& a, const std::shared_ptr<B>& b)
{
    if (!a || !b) {
        return !a && !b;
    }
    return a->isEqual(*b);
}

template <class T>
void ZESetIfPresent(ZEJson& json, const char* key, const std::optional<T>& value)
{
    if (value) {
        json[key] = *value;
    }
}

// Reports the first missing required field of a model object at Verbose level.
inline void ZELogInvalidField(const std::string& className, const char* field)
{
    ZELogVerbose(kZELogTag, "%@: \"%@\" is not valid.", className, std::string(field));
}

} // namespace ze
