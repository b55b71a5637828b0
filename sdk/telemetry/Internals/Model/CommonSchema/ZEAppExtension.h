// Common-schema application extension ("app"): id ("I:" and the bundle identifier), version,
// name, locale and user id.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtension.h"

namespace ze {

class ZEAppExtension : public ZECSExtension {
public:
    static constexpr const char* kClassName = "ZEAppExtension";

    std::optional<std::string> appId;
    std::optional<std::string> ver;
    std::optional<std::string> name;
    std::optional<std::string> locale;
    std::optional<std::string> userId;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZEJson::object();
        ZESetIfPresent(json, "id", appId);
        ZESetIfPresent(json, "ver", ver);
        ZESetIfPresent(json, "name", name);
        ZESetIfPresent(json, "locale", locale);
        ZESetIfPresent(json, "userId", userId);
        return nonEmpty(std::move(json));
    }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* ext = dynamic_cast<const ZEAppExtension*>(&other);
        return ext && appId == ext->appId && ver == ext->ver && name == ext->name && locale == ext->locale
            && userId == ext->userId;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        coder.encodeString("id", appId);
        coder.encodeString("ver", ver);
        coder.encodeString("name", name);
        coder.encodeString("locale", locale);
        coder.encodeString("userId", userId);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        appId = coder.decodeString("id");
        ver = coder.decodeString("ver");
        name = coder.decodeString("name");
        locale = coder.decodeString("locale");
        userId = coder.decodeString("userId");
    }
};

} // namespace ze
