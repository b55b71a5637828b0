#include "sdk/analytics/Model/ZEAnalyticsLogs.h"

#include "sdk/analytics/ZEAnalyticsConstants.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZEMetadataExtension.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"

namespace ze {

namespace {

constexpr const char* kBaseType = "baseType";
constexpr const char* kBaseData = "baseData";

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::optional<int> typeIdOf(const ZETypedProperty& property)
{
    const std::string type = property.type.value_or("");
    return type == "long" ? std::optional(4) : type == "double" ? std::optional(6) : type == "dateTime" ? std::optional(9) : std::nullopt;
}

ZEJson valueOf(const ZETypedProperty& property)
{
    return property.serializeToDictionary().value("value", ZEJson());
}

// Places the value under `key` of `node`; a node that is missing or already holds the key refuses it.
bool addTypedProperty(const ZETypedProperty& property, ZEJson* node, const std::string& key)
{
    if (!node || node->contains(key)) {
        ZELogWarning(kZEAnalyticsLogTag, "Property key '%@' already has a value, choosing one.", key);
        return false;
    }
    (*node)[key] = valueOf(property);
    return true;
}

void addTypedProperty(const ZETypedProperty& property, ZEJson& metadata, ZEJson& properties)
{
    const auto typeId = typeIdOf(property);
    std::vector<std::string> keys;
    const std::string name = property.name.value_or("");
    std::size_t start = 0;
    for (std::size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', start)) {
        keys.push_back(name.substr(start, dot - start));
        start = dot + 1;
    }
    const std::string leaf = name.substr(start);
    ZEJson* node = &properties;
    ZEJson* metadataNode = &metadata;
    ZEJson* createdIn = nullptr;
    for (const auto& key : keys) {
        if (!node->contains(key)) {
            (*node)[key] = ZEJson::object();
        }
        if (!(*node)[key].is_object()) {
            node = nullptr;
            break;
        }
        node = &(*node)[key];
        if (typeId) {
            if (!metadataNode->contains("f")) {
                (*metadataNode)["f"] = ZEJson::object();
                if (!createdIn) {
                    createdIn = metadataNode;
                }
            }
            auto& fields = (*metadataNode)["f"];
            if (!fields.contains(key)) {
                fields[key] = ZEJson::object();
            }
            metadataNode = &fields[key];
        }
    }
    const bool placed = addTypedProperty(property, node, leaf);
    if (typeId && placed) {
        (*metadataNode)["f"][leaf] = *typeId;
    } else if (createdIn) {
        createdIn->erase("f");
    }
}

} // namespace

ZEJson ZELogWithNameAndProperties::serializeToDictionary() const
{
    ZEJson json = ZELogWithProperties::serializeToDictionary();
    if (name) {
        json["name"] = *name;
    }
    return json;
}

bool ZELogWithNameAndProperties::isValid() const
{
    if (!ZELogWithProperties::isValid()) {
        return false;
    }
    if (!name) {
        ZELogVerbose(kZELogTag, "%@: \"%@\" is not valid.", archiveClassName(), "name");
        return false;
    }
    return true;
}

bool ZELogWithNameAndProperties::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZELogWithNameAndProperties*>(&other);
    return log && ZELogWithProperties::isEqual(other) && name == log->name;
}

void ZELogWithNameAndProperties::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZELogWithProperties::encodeWithCoder(coder);
    coder.encodeString("name", name);
}

void ZELogWithNameAndProperties::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZELogWithProperties::initWithCoder(coder);
    name = coder.decodeString("name");
}

ZEJson ZEEventLog::serializeToDictionary() const
{
    ZEJson json = ZELogWithNameAndProperties::serializeToDictionary();
    if (eventId) {
        json["id"] = *eventId;
    }
    if (typedProperties) {
        json["typedProperties"] = typedProperties->serializeToArray();
    }
    return json;
}

bool ZEEventLog::isValid() const
{
    if (!ZELogWithNameAndProperties::isValid()) {
        return false;
    }
    if (!eventId) {
        ZELogVerbose(kZELogTag, "%@: \"%@\" is not valid.", archiveClassName(), "eventId");
        return false;
    }
    return true;
}

bool ZEEventLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEEventLog*>(&other);
    return log && ZELogWithNameAndProperties::isEqual(other) && eventId == log->eventId;
}

void ZEEventLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZELogWithNameAndProperties::encodeWithCoder(coder);
    coder.encodeString("id", eventId);
    coder.encodeObject("typedProperties", typedProperties);
}

void ZEEventLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZELogWithNameAndProperties::initWithCoder(coder);
    eventId = coder.decodeString("id");
    typedProperties = coder.decodeObject<ZEEventProperties>("typedProperties");
}

std::shared_ptr<ZECommonSchemaLog> ZEEventLog::toCommonSchemaLogForTargetToken(const std::string& token, std::uint64_t flags) const
{
    auto log = ZELogWithNameAndProperties::toCommonSchemaLogForTargetToken(token, flags);
    if (!log) {
        return log;
    }
    log->name = name;
    setPropertiesAndMetadataForCSLog(*log);
    log->tag = tag;
    return log;
}

void ZEEventLog::setPropertiesAndMetadataForCSLog(ZECommonSchemaLog& log) const
{
    if (!typedProperties) {
        return;
    }
    const std::string baseDataPrefix = std::string(kBaseData) + ".";
    auto all = typedProperties->properties();
    const auto baseType = all.find(kBaseType);
    const bool hasBaseType = baseType != all.end() && baseType->second->type == ZEStringTypedProperty::kTypeName;
    if (hasBaseType) {
        const bool hasBaseData = std::any_of(all.begin(), all.end(), [&](const auto& entry) { return startsWith(entry.first, baseDataPrefix); });
        if (!hasBaseData) {
            ZELogWarning(kZEAnalyticsLogTag, "baseType was set but baseData is missing.");
            typedProperties->remove(kBaseType);
        }
    } else {
        bool removed = false;
        for (const auto& [propertyName, property] : all) {
            if (startsWith(propertyName, baseDataPrefix)) {
                typedProperties->remove(propertyName);
                removed = true;
            }
        }
        if (removed) {
            ZELogWarning(kZEAnalyticsLogTag, "baseData was set but baseType is missing or invalid.");
        }
        typedProperties->remove(kBaseType);
    }
    ZEJson properties = ZEJson::object();
    ZEJson metadata = ZEJson::object();
    const std::string baseTypePrefix = std::string(kBaseType) + ".";
    for (const auto& [propertyName, property] : typedProperties->properties()) {
        if (startsWith(propertyName, baseTypePrefix)) {
            ZELogWarning(kZEAnalyticsLogTag, "baseType must not be an object.");
        } else if (propertyName == kBaseData) {
            ZELogWarning(kZEAnalyticsLogTag, "baseData must be an object.");
        } else {
            addTypedProperty(*property, metadata, properties);
        }
    }
    if (!properties.empty()) {
        log.data = std::make_shared<ZECSData>();
        log.data->setProperties(properties);
    }
    if (!metadata.empty()) {
        if (!log.ext) {
            log.ext = std::make_shared<ZECSExtensions>();
        }
        log.ext->metadataExt = std::make_shared<ZEMetadataExtension>();
        log.ext->metadataExt->setMetadata(metadata);
    }
}

bool ZEPageLog::isEqual(const ZESerializableObject& other) const
{
    return dynamic_cast<const ZEPageLog*>(&other) && ZELogWithNameAndProperties::isEqual(other);
}

} // namespace ze
