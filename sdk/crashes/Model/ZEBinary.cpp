#include "sdk/crashes/Model/ZEBinary.h"

#include "sdk/crashes/Model/ZEModelSupport.h"

namespace ze {

ZEJson ZEBinary::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "id", binaryId);
    ZESetIfPresent(json, "startAddress", startAddress);
    ZESetIfPresent(json, "endAddress", endAddress);
    ZESetIfPresent(json, "name", name);
    ZESetIfPresent(json, "path", path);
    ZESetIfPresent(json, "architecture", architecture);
    ZESetIfPresent(json, "primaryArchitectureId", primaryArchitectureId);
    ZESetIfPresent(json, "architectureVariantId", architectureVariantId);
    return json;
}

bool ZEBinary::isValid() const
{
    const std::pair<const char*, bool> required[] = {{"binaryId", binaryId.has_value()},
        {"startAddress", startAddress.has_value()}, {"endAddress", endAddress.has_value()}, {"name", name.has_value()},
        {"path", path.has_value()}};
    for (const auto& [field, present] : required) {
        if (!present) {
            ZELogInvalidField(kClassName, field);
            return false;
        }
    }
    return true;
}

bool ZEBinary::isEqual(const ZESerializableObject& other) const
{
    const auto* binary = dynamic_cast<const ZEBinary*>(&other);
    return binary && binaryId == binary->binaryId && startAddress == binary->startAddress
        && endAddress == binary->endAddress && name == binary->name && path == binary->path
        && architecture == binary->architecture && primaryArchitectureId == binary->primaryArchitectureId
        && architectureVariantId == binary->architectureVariantId;
}

void ZEBinary::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeString("id", binaryId);
    coder.encodeString("startAddress", startAddress);
    coder.encodeString("endAddress", endAddress);
    coder.encodeString("name", name);
    coder.encodeString("path", path);
    coder.encodeString("architecture", architecture);
    coder.encodeNumber("primaryArchitectureId", ZEToArchiveNumber(primaryArchitectureId));
    coder.encodeNumber("architectureVariantId", ZEToArchiveNumber(architectureVariantId));
}

void ZEBinary::initWithCoder(ZEKeyedUnarchiver& coder)
{
    binaryId = coder.decodeString("id");
    startAddress = coder.decodeString("startAddress");
    endAddress = coder.decodeString("endAddress");
    name = coder.decodeString("name");
    path = coder.decodeString("path");
    architecture = coder.decodeString("architecture");
    primaryArchitectureId = ZEFromArchiveNumber(coder.decodeNumber("primaryArchitectureId"));
    architectureVariantId = ZEFromArchiveNumber(coder.decodeNumber("architectureVariantId"));
}

} // namespace ze
