#include "sdk/crashes/Model/ZEErrorAttachmentLog.h"

#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

namespace ze {

ZEErrorAttachmentLog::ZEErrorAttachmentLog()
{
    type = "errorAttachment";
    attachmentId = ZEUuid::create().UUIDString();
}

std::shared_ptr<ZEErrorAttachmentLog> ZEErrorAttachmentLog::attachmentWithBinary(const ZEData& data,
    const std::optional<std::string>& filename, const std::string& contentType)
{
    auto attachment = std::make_shared<ZEErrorAttachmentLog>();
    attachment->data = data;
    attachment->contentType = contentType;
    attachment->filename = filename;
    return attachment;
}

std::shared_ptr<ZEErrorAttachmentLog> ZEErrorAttachmentLog::attachmentWithText(const std::string& text,
    const std::optional<std::string>& filename)
{
    return attachmentWithBinary(ZEData(text.begin(), text.end()), filename, "text/plain");
}

ZEJson ZEErrorAttachmentLog::serializeToDictionary() const
{
    ZEJson json = ZEAbstractLog::serializeToDictionary();
    ZESetIfPresent(json, "contentType", contentType);
    ZESetIfPresent(json, "fileName", filename);
    if (data) {
        json["data"] = crypto::base64Encode(*data);
    }
    ZESetIfPresent(json, "id", attachmentId);
    ZESetIfPresent(json, "errorId", errorId);
    return json;
}

bool ZEErrorAttachmentLog::isValid() const
{
    if (!ZEAbstractLog::isValid()) {
        return false;
    }
    const std::pair<const char*, bool> required[] = {{"errorId", errorId.has_value()},
        {"attachmentId", attachmentId.has_value()}, {"data", data.has_value()}, {"contentType", contentType.has_value()}};
    for (const auto& [field, present] : required) {
        if (!present) {
            ZELogInvalidField(kClassName, field);
            return false;
        }
    }
    return true;
}

bool ZEErrorAttachmentLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEErrorAttachmentLog*>(&other);
    return log && ZEAbstractLog::isEqual(other) && contentType == log->contentType && filename == log->filename
        && data == log->data && attachmentId == log->attachmentId && errorId == log->errorId;
}

void ZEErrorAttachmentLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEAbstractLog::encodeWithCoder(coder);
    coder.encodeString("contentType", contentType);
    coder.encodeString("fileName", filename);
    coder.encodeString("data", data ? std::optional(crypto::base64Encode(*data)) : std::nullopt);
    coder.encodeString("id", attachmentId);
    coder.encodeString("errorId", errorId);
}

void ZEErrorAttachmentLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEAbstractLog::initWithCoder(coder);
    contentType = coder.decodeString("contentType");
    filename = coder.decodeString("fileName");
    const auto encoded = coder.decodeString("data");
    data = encoded ? crypto::base64Decode(*encoded) : std::nullopt;
    attachmentId = coder.decodeString("id");
    errorId = coder.decodeString("errorId");
}

} // namespace ze
