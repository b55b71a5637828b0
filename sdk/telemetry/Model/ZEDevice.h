// The device and application record every log carries as its member "device".
#pragma once

#include "sdk/telemetry/Model/ZEWrapperSdk.h"

#include <cstdint>

namespace ze {

class ZEDevice : public ZEWrapperSdk {
public:
    static constexpr const char* kClassName = "ZEDevice";

    std::optional<std::string> sdkName;
    std::optional<std::string> sdkVersion;
    std::optional<std::string> model;
    std::optional<std::string> oemName;
    std::optional<std::string> osName;
    std::optional<std::string> osVersion;
    std::optional<std::string> osBuild;
    std::optional<std::int64_t> osApiLevel;
    std::optional<std::string> locale;
    // Minutes east of UTC.
    std::optional<std::int64_t> timeZoneOffset;
    std::optional<std::string> screenSize;
    std::optional<std::string> appVersion;
    std::optional<std::string> carrierName;
    std::optional<std::string> carrierCountry;
    std::optional<std::string> appBuild;
    std::optional<std::string> appNamespace;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
    // The text form of the JSON record.
    std::string description() const;
};

} // namespace ze
