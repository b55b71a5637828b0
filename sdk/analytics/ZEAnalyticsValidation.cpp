// The analytics limits: names of at most 256 UTF-16 units, at most 20 typed properties per event,
// keys and string values of at most 125 units. Cuts never end inside a surrogate pair.
#include "sdk/analytics/ZEAnalytics.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

namespace ze {

std::optional<bool> ZEAnalytics::channelUnitShouldFilterLog(ZEChannelUnitProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    auto* named = dynamic_cast<ZELogWithNameAndProperties*>(log.get());
    if (!named || (!dynamic_cast<ZEEventLog*>(named) && !dynamic_cast<ZEPageLog*>(named))) {
        return false;
    }
    return !validateLog(*named);
}

bool ZEAnalytics::validateLog(ZELogWithNameAndProperties& log)
{
    const auto name = validateEventName(log.name, log.type.value_or(""));
    if (!name) {
        return false;
    }
    log.name = name;
    const ZEJson properties = log.properties ? ZEJson(*log.properties) : ZEJson();
    log.properties = ZEUtility::validateProperties(properties, *name, log.type.value_or(""));
    return true;
}

std::optional<std::string> ZEAnalytics::validateEventName(const std::optional<std::string>& name, const std::string& logType)
{
    if (!name || name->empty()) {
        ZELogError(kZEAnalyticsLogTag, "%@ name cannot be null or empty", logType);
        return std::nullopt;
    }
    if (ZEUtility::utf16Length(*name) > kZEAnalyticsMaxEventNameLength) {
        ZELogWarning(kZEAnalyticsLogTag, "%@ '%@' : name length cannot be longer than %d characters. Name will be truncated.",
            logType, *name, kZEAnalyticsMaxEventNameLength);
        return ZEUtility::utf16Prefix(*name, kZEAnalyticsMaxEventNameLength);
    }
    return name;
}

std::shared_ptr<ZEEventProperties> ZEAnalytics::validateZavEdurovEventProperties(const std::shared_ptr<ZEEventProperties>& properties)
{
    auto checked = std::make_shared<ZEEventProperties>();
    if (!properties) {
        return checked;
    }
    for (const auto& [name, property] : properties->properties()) {
        if (checked->properties().size() == kZEAnalyticsMaxTypedProperties) {
            ZELogWarning(kZEAnalyticsLogTag, "Typed properties cannot contain more than %d items. Skipping other properties.",
                kZEAnalyticsMaxTypedProperties);
            break;
        }
        if (auto valid = validateZavEdurovTypedProperty(property)) {
            checked->setProperty(valid);
        }
    }
    return checked;
}

std::shared_ptr<ZETypedProperty> ZEAnalytics::validateZavEdurovTypedProperty(const std::shared_ptr<ZETypedProperty>& property)
{
    if (!property) {
        return nullptr;
    }
    // A copy through the archive keeps the kind; the original stays as the caller made it.
    auto copy = ZEUtility::unarchiveKeyedData<ZETypedProperty>(ZEUtility::archiveKeyedData(property));
    if (!copy) {
        return nullptr;
    }
    copy->name = validateZavEdurovPropertyName(copy->name.value_or(""));
    if (auto* text = dynamic_cast<ZEStringTypedProperty*>(copy.get()); text && text->value) {
        text->value = validateZavEdurovStringTypedPropertyValue(*text->value);
    }
    return copy;
}

std::string ZEAnalytics::validateZavEdurovPropertyName(const std::string& key)
{
    if (ZEUtility::utf16Length(key) > kZEAnalyticsMaxTypedPropertyLength) {
        ZELogWarning(kZEAnalyticsLogTag, "Typed property '%@': key length cannot exceed %d characters. Property value will be truncated.",
            key, kZEAnalyticsMaxTypedPropertyLength);
        return ZEUtility::utf16Prefix(key, kZEAnalyticsMaxTypedPropertyLength);
    }
    return key;
}

std::string ZEAnalytics::validateZavEdurovStringTypedPropertyValue(const std::string& value)
{
    if (ZEUtility::utf16Length(value) > kZEAnalyticsMaxTypedPropertyLength) {
        ZELogWarning(kZEAnalyticsLogTag, "Typed property value length cannot exceed %d characters. Property value will be truncated.",
            kZEAnalyticsMaxTypedPropertyLength);
        return ZEUtility::utf16Prefix(value, kZEAnalyticsMaxTypedPropertyLength);
    }
    return value;
}

} // namespace ze
