// Common-schema user extension ("user"): the prefixed user id and the user's locale.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

namespace ze {

class ZEUserExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZEUserExtension";

    std::optional<std::string> localId;
    std::optional<std::string> locale;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "localId", localId);
        ZESetIfPresent(json, "locale", locale);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZEUserExtension*>(&other);
        return ext && localId == ext->localId && locale == ext->locale;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        coder.encodeString("localId", localId);
        coder.encodeString("locale", locale);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        localId = coder.decodeString("localId");
        locale = coder.decodeString("locale");
    }
};

} // namespace ze
