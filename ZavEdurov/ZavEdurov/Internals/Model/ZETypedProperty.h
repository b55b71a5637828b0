// A named event property that keeps its kind; sent as {"type": kind, "name": ..., "value": ...}.
// Kinds compare by kind and value; names take no part in equality.
#pragma once

#include "ZavEdurov/ZavEdurov/Internals/Model/ZESerializableObject.h"

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

// The shared shape of the kinds: a value of type V under "value", the kind's name in `type`.
template <class Self, class V>
class ZEValueTypedProperty : public ZETypedProperty {
public:
    V value{};

    std::string archiveClassName() const override { return Self::kClassName; }
    bool isEqual(const ZESerializableObject& other) const override
    {
        const auto* same = dynamic_cast<const Self*>(&other);
        return same && ZETypedProperty::isEqual(other) && value == same->value;
    }

protected:
    ZEValueTypedProperty() { type = Self::kTypeName; }
};

class ZEStringTypedProperty : public ZEValueTypedProperty<ZEStringTypedProperty, std::optional<std::string>> {
public:
    static constexpr const char* kClassName = "ZEStringTypedProperty";
    static constexpr const char* kTypeName = "string";
    ZEJson serializeToDictionary() const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

class ZEBooleanTypedProperty : public ZEValueTypedProperty<ZEBooleanTypedProperty, bool> {
public:
    static constexpr const char* kClassName = "ZEBooleanTypedProperty";
    static constexpr const char* kTypeName = "boolean";
    ZEJson serializeToDictionary() const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

class ZEDateTimeTypedProperty : public ZEValueTypedProperty<ZEDateTimeTypedProperty, std::optional<ZEDate>> {
public:
    static constexpr const char* kClassName = "ZEDateTimeTypedProperty";
    static constexpr const char* kTypeName = "dateTime";
    ZEJson serializeToDictionary() const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

// Equal values compare with `==`, so a NaN value never equals itself.
class ZEDoubleTypedProperty : public ZEValueTypedProperty<ZEDoubleTypedProperty, double> {
public:
    static constexpr const char* kClassName = "ZEDoubleTypedProperty";
    static constexpr const char* kTypeName = "double";
    ZEJson serializeToDictionary() const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

class ZELongTypedProperty : public ZEValueTypedProperty<ZELongTypedProperty, std::int64_t> {
public:
    static constexpr const char* kClassName = "ZELongTypedProperty";
    static constexpr const char* kTypeName = "long";
    ZEJson serializeToDictionary() const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
