// One binary image loaded in a crashed process: its build id, address range, name, anonymised
// path and CPU type.
#pragma once

#include "sdk/telemetry/Internals/Model/ZESerializableObject.h"

namespace ze {

class ZEBinary final : public ZESerializableObject, public ZEModel {
public:
    static constexpr const char* kClassName = "ZEBinary";

    std::optional<std::string> binaryId;
    std::optional<std::string> startAddress;
    std::optional<std::string> endAddress;
    std::optional<std::string> name;
    std::optional<std::string> path;
    std::optional<std::string> architecture;
    std::optional<std::uint64_t> primaryArchitectureId;
    std::optional<std::uint64_t> architectureVariantId;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // Id, both addresses, name and path present; an empty path counts.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
    std::string description() const { return serializeToDictionary().dump(); }
};

} // namespace ze
