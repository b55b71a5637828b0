// A named event property that keeps its kind; sent as {"type": kind, "name": ..., "value": ...}.
// Kinds compare by kind and value; names take no part in equality.
#pragma once

#include "sdk/telemetry/Internals/Model/ZESerializableObject.h"

#include <cstdint>

namespace ze {

class ZETypedProperty : public ZESerializableObject {
public:
    static constexpr const char* kClassName = "ZETypedProperty";

    std::optional<std::string> type;
    std::optional<std::string> name;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

// How each kind of value is written to JSON (null: left out) and to and from an archive.
namespace typed_property {
ZEJson json(const std::optional<std::string>& value);
ZEJson json(bool value);
ZEJson json(const std::optional<ZEDate>& value);
ZEJson json(double value);
ZEJson json(std::int64_t value);
void encode(ZEKeyedArchiver& coder, const std::optional<std::string>& value);
void encode(ZEKeyedArchiver& coder, bool value);
void encode(ZEKeyedArchiver& coder, const std::optional<ZEDate>& value);
void encode(ZEKeyedArchiver& coder, double value);
void encode(ZEKeyedArchiver& coder, std::int64_t value);
void decode(ZEKeyedUnarchiver& coder, std::optional<std::string>& value);
void decode(ZEKeyedUnarchiver& coder, bool& value);
void decode(ZEKeyedUnarchiver& coder, std::optional<ZEDate>& value);
void decode(ZEKeyedUnarchiver& coder, double& value);
void decode(ZEKeyedUnarchiver& coder, std::int64_t& value);
} // namespace typed_property

// A kind: a value of type V under "value", the kind's name (Self::kTypeName) in `type`.
template <class Self, class V>
class ZEValueTypedProperty : public ZETypedProperty {
public:
    V value{};

    std::string archiveClassName() const override { return Self::kClassName; }
    ZEJson serializeToDictionary() const override
    {
        ZEJson json = ZETypedProperty::serializeToDictionary();
        if (ZEJson written = typed_property::json(value); !written.is_null()) {
            json["value"] = std::move(written);
        }
        return json;
    }
    // Values compare with `==`, so a NaN value never equals itself.
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* same = dynamic_cast<const Self*>(&other);
        return same && ZETypedProperty::isEqual(other) && value == same->value;
    }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        ZETypedProperty::encodeWithCoder(coder);
        typed_property::encode(coder, value);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        ZETypedProperty::initWithCoder(coder);
        typed_property::decode(coder, value);
    }

protected:
    ZEValueTypedProperty() { type = Self::kTypeName; }
};

class ZEStringTypedProperty : public ZEValueTypedProperty<ZEStringTypedProperty, std::optional<std::string>> {
public:
    static constexpr const char* kClassName = "ZEStringTypedProperty";
    static constexpr const char* kTypeName = "string";
};

class ZEBooleanTypedProperty : public ZEValueTypedProperty<ZEBooleanTypedProperty, bool> {
public:
    static constexpr const char* kClassName = "ZEBooleanTypedProperty";
    static constexpr const char* kTypeName = "boolean";
};

class ZEDateTimeTypedProperty : public ZEValueTypedProperty<ZEDateTimeTypedProperty, std::optional<ZEDate>> {
public:
    static constexpr const char* kClassName = "ZEDateTimeTypedProperty";
    static constexpr const char* kTypeName = "dateTime";
};

class ZEDoubleTypedProperty : public ZEValueTypedProperty<ZEDoubleTypedProperty, double> {
public:
    static constexpr const char* kClassName = "ZEDoubleTypedProperty";
    static constexpr const char* kTypeName = "double";
};

class ZELongTypedProperty : public ZEValueTypedProperty<ZELongTypedProperty, std::int64_t> {
public:
    static constexpr const char* kClassName = "ZELongTypedProperty";
    static constexpr const char* kTypeName = "long";
};

} // namespace ze
