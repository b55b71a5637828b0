// A read-only summary of one crash for the host: ids, signal, exception, times, architecture,
// threads, binaries and the device of the crash time.
#pragma once

#include "sdk/crashes/Model/ZEBinary.h"
#include "sdk/crashes/Model/ZEThread.h"
#include "sdk/telemetry/Model/ZEDevice.h"

namespace ze {

struct ZEErrorReportFields {
    std::optional<std::string> errorId;
    std::optional<std::string> reporterKey;
    std::optional<std::string> signal;
    std::optional<std::string> exceptionName;
    std::optional<std::string> exceptionReason;
    std::optional<ZEDate> appStartTime;
    std::optional<ZEDate> appErrorTime;
    std::optional<std::string> codeType;
    std::optional<std::string> archName;
    std::optional<std::string> applicationPath;
    std::optional<std::vector<std::shared_ptr<ZEThread>>> threads;
    std::optional<std::vector<std::shared_ptr<ZEBinary>>> binaries;
    std::shared_ptr<ZEDevice> device;
    std::uint64_t appProcessIdentifier = 0;
};

class ZEErrorReport {
public:
    explicit ZEErrorReport(ZEErrorReportFields fields);

    const std::optional<std::string>& incidentIdentifier() const { return fields_.errorId; }
    const std::optional<std::string>& reporterKey() const { return fields_.reporterKey; }
    const std::optional<std::string>& signal() const { return fields_.signal; }
    void setSignal(std::optional<std::string> signal) { fields_.signal = std::move(signal); }
    const std::optional<std::string>& exceptionName() const { return fields_.exceptionName; }
    const std::optional<std::string>& exceptionReason() const { return fields_.exceptionReason; }
    const std::optional<ZEDate>& appStartTime() const { return fields_.appStartTime; }
    const std::optional<ZEDate>& appErrorTime() const { return fields_.appErrorTime; }
    const std::optional<std::string>& codeType() const { return fields_.codeType; }
    const std::optional<std::string>& archName() const { return fields_.archName; }
    const std::optional<std::string>& applicationPath() const { return fields_.applicationPath; }
    const std::optional<std::vector<std::shared_ptr<ZEThread>>>& threads() const { return fields_.threads; }
    const std::optional<std::vector<std::shared_ptr<ZEBinary>>>& binaries() const { return fields_.binaries; }
    const std::shared_ptr<ZEDevice>& device() const { return fields_.device; }
    std::uint64_t appProcessIdentifier() const { return fields_.appProcessIdentifier; }
    // A signal whose upper-case form is "SIGKILL".
    bool isAppKill() const;

    // For description only; never sent.
    ZEJson serializeToDictionary() const;
    std::string description() const { return serializeToDictionary().dump(); }

private:
    ZEErrorReportFields fields_;
};

} // namespace ze
