#include "sdk/telemetry/Model/ZEDevice.h"

namespace ze {

ZEJson ZEDevice::serializeToDictionary() const
{
    ZEJson json = ZEWrapperSdk::serializeToDictionary();
    ZESetIfPresent(json, "sdkName", sdkName);
    ZESetIfPresent(json, "sdkVersion", sdkVersion);
    ZESetIfPresent(json, "model", model);
    ZESetIfPresent(json, "oemName", oemName);
    ZESetIfPresent(json, "osName", osName);
    ZESetIfPresent(json, "osVersion", osVersion);
    ZESetIfPresent(json, "osBuild", osBuild);
    ZESetIfPresent(json, "osApiLevel", osApiLevel);
    ZESetIfPresent(json, "locale", locale);
    ZESetIfPresent(json, "timeZoneOffset", timeZoneOffset);
    ZESetIfPresent(json, "screenSize", screenSize);
    ZESetIfPresent(json, "appVersion", appVersion);
    ZESetIfPresent(json, "carrierName", carrierName);
    ZESetIfPresent(json, "carrierCountry", carrierCountry);
    ZESetIfPresent(json, "appBuild", appBuild);
    ZESetIfPresent(json, "appNamespace", appNamespace);
    return json;
}

bool ZEDevice::isValid() const
{
    const std::pair<const char*, bool> required[] = {
        {"sdkName", sdkName.has_value()},
        {"sdkVersion", sdkVersion.has_value()},
        {"osName", osName.has_value()},
        {"osVersion", osVersion.has_value()},
        {"locale", locale.has_value()},
        {"timeZoneOffset", timeZoneOffset.has_value()},
        {"appVersion", appVersion.has_value()},
        {"appBuild", appBuild.has_value()},
    };
    if (!ZEWrapperSdk::isValid()) {
        return false;
    }
    for (const auto& [field, present] : required) {
        if (!present) {
            ZELogInvalidField(kClassName, field);
            return false;
        }
    }
    return true;
}

bool ZEDevice::isEqual(const ZESerializableObject& other) const
{
    const auto* device = dynamic_cast<const ZEDevice*>(&other);
    return device && ZEWrapperSdk::isEqual(other) && sdkName == device->sdkName && sdkVersion == device->sdkVersion
        && model == device->model && oemName == device->oemName && osName == device->osName
        && osVersion == device->osVersion && osBuild == device->osBuild && osApiLevel == device->osApiLevel
        && locale == device->locale && timeZoneOffset == device->timeZoneOffset && screenSize == device->screenSize
        && appVersion == device->appVersion && carrierName == device->carrierName
        && carrierCountry == device->carrierCountry && appBuild == device->appBuild
        && appNamespace == device->appNamespace;
}

void ZEDevice::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEWrapperSdk::encodeWithCoder(coder);
    coder.encodeString("sdkName", sdkName);
    coder.encodeString("sdkVersion", sdkVersion);
    coder.encodeString("model", model);
    coder.encodeString("oemName", oemName);
    coder.encodeString("osName", osName);
    coder.encodeString("osVersion", osVersion);
    coder.encodeString("osBuild", osBuild);
    coder.encodeNumber("osApiLevel", osApiLevel);
    coder.encodeString("locale", locale);
    coder.encodeNumber("timeZoneOffset", timeZoneOffset);
    coder.encodeString("screenSize", screenSize);
    coder.encodeString("appVersion", appVersion);
    coder.encodeString("carrierName", carrierName);
    coder.encodeString("carrierCountry", carrierCountry);
    coder.encodeString("appBuild", appBuild);
    coder.encodeString("appNamespace", appNamespace);
}

void ZEDevice::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEWrapperSdk::initWithCoder(coder);
    sdkName = coder.decodeString("sdkName");
    sdkVersion = coder.decodeString("sdkVersion");
    model = coder.decodeString("model");
    oemName = coder.decodeString("oemName");
    osName = coder.decodeString("osName");
    osVersion = coder.decodeString("osVersion");
    osBuild = coder.decodeString("osBuild");
    osApiLevel = coder.decodeNumber("osApiLevel");
    locale = coder.decodeString("locale");
    timeZoneOffset = coder.decodeNumber("timeZoneOffset");
    screenSize = coder.decodeString("screenSize");
    appVersion = coder.decodeString("appVersion");
    carrierName = coder.decodeString("carrierName");
    carrierCountry = coder.decodeString("carrierCountry");
    appBuild = coder.decodeString("appBuild");
    appNamespace = coder.decodeString("appNamespace");
}

std::string ZEDevice::description() const
{
    return serializeToDictionary().dump(2, ' ', false, ZEJson::error_handler_t::replace);
}

} // namespace ze
