// One file attached to a crash or handled-error report, linked to it by the report's error id.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"

namespace ze {

class ZEErrorAttachmentLog final : public ZEAbstractLog {
public:
    static constexpr const char* kClassName = "ZEErrorAttachmentLog";

    // A fresh attachment id (upper-case UUID text).
    ZEErrorAttachmentLog();
    static std::shared_ptr<ZEErrorAttachmentLog> attachmentWithBinary(const ZEData& data,
        const std::optional<std::string>& filename, const std::string& contentType);
    // The text's UTF-8 bytes as "text/plain".
    static std::shared_ptr<ZEErrorAttachmentLog> attachmentWithText(const std::string& text,
        const std::optional<std::string>& filename);

    std::optional<std::string> contentType;
    std::optional<std::string> filename;
    std::optional<ZEData> data;
    std::optional<std::string> attachmentId;
    std::optional<std::string> errorId;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // The base rule, then error id, attachment id, data and content type; the file name is optional.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
