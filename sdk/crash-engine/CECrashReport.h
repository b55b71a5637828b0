// A stored crash report read back: the header is checked, the message unpacked, and every
// section turned into a plain record. Decoding fails as a whole, with the first problem found.
#pragma once

#include "sdk/crash-engine/CECrashError.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct CECrashReportProcessorInfo {
    // 0 unknown, 1 Mach CPU type codes.
    int typeEncoding = 0;
    uint64_t type = 0;
    uint64_t subtype = 0;
};

struct CECrashReportSystemInfo {
    // The report's operating-system enum; 3 (unknown) when absent.
    int operatingSystem = 3;
    std::string operatingSystemVersion;
    std::optional<std::string> operatingSystemBuild;
    int architecture = 0;
    // Seconds since 1970; absent when the report holds 0.
    std::optional<int64_t> timestamp;
    // From the machine section, or made from the architecture without one.
    std::optional<CECrashReportProcessorInfo> processorInfo;
};

struct CECrashReportMachineInfo {
    std::optional<std::string> modelName;
    std::optional<CECrashReportProcessorInfo> processorInfo;
    uint64_t processorCount = 0;
    uint64_t logicalProcessorCount = 0;
};

struct CECrashReportApplicationInfo {
    std::string applicationIdentifier;
    std::string applicationVersion;
    // Absent when not written; empty when written empty.
    std::optional<std::string> applicationMarketingVersion;
};

struct CECrashReportProcessInfo {
    std::optional<std::string> processName;
    uint64_t processID = 0;
    std::optional<std::string> processPath;
    // Seconds since 1970.
    std::optional<int64_t> processStartTime;
    std::optional<std::string> parentProcessName;
    uint64_t parentProcessID = 0;
    bool native = false;
};

struct CECrashReportSymbolInfo {
    std::string symbolName;
    uint64_t startAddress = 0;
    // 0 when absent.
    uint64_t endAddress = 0;
};

struct CECrashReportStackFrameInfo {
    uint64_t instructionPointer = 0;
    std::optional<CECrashReportSymbolInfo> symbolInfo;
};

struct CECrashReportRegisterInfo {
    std::string registerName;
    uint64_t registerValue = 0;
};

struct CECrashReportThreadInfo {
    int64_t threadNumber = 0;
    // Innermost first.
    std::vector<CECrashReportStackFrameInfo> stackFrames;
    bool crashed = false;
    // Empty for threads other than the crashed one.
    std::vector<CECrashReportRegisterInfo> registers;
};

struct CECrashReportBinaryImageInfo {
    std::optional<CECrashReportProcessorInfo> codeType;
    uint64_t imageBaseAddress = 0;
    uint64_t imageSize = 0;
    std::string imageName;
    bool hasImageUUID = false;
    // Lower-case hexadecimal, two digits per byte; absent without uuid.
    std::optional<std::string> imageUUID;
};

struct CECrashReportExceptionInfo {
    std::string exceptionName;
    std::string exceptionReason;
    // Absent when the exception carried no frames.
    std::optional<std::vector<CECrashReportStackFrameInfo>> stackFrames;
};

struct CECrashReportSignalInfo {
    std::string name;
    std::string code;
    uint64_t address = 0;
};

struct CECrashReportMachExceptionInfo {
    uint64_t type = 0;
    std::vector<uint64_t> codes;
};

class CECrashReport {
public:
    // Null with *error set (when error is given) if the bytes are not a valid report.
    static std::unique_ptr<CECrashReport> initWithData(std::span<const uint8_t> data, CECrashError* error);

    const CECrashReportSystemInfo& systemInfo() const { return _systemInfo; }
    bool hasMachineInfo() const { return _machineInfo.has_value(); }
    const std::optional<CECrashReportMachineInfo>& machineInfo() const { return _machineInfo; }
    const CECrashReportApplicationInfo& applicationInfo() const { return _applicationInfo; }
    bool hasProcessInfo() const { return _processInfo.has_value(); }
    const std::optional<CECrashReportProcessInfo>& processInfo() const { return _processInfo; }
    const CECrashReportSignalInfo& signalInfo() const { return _signalInfo; }
    const std::optional<CECrashReportMachExceptionInfo>& machExceptionInfo() const { return _machExceptionInfo; }
    const std::vector<CECrashReportThreadInfo>& threads() const { return _threads; }
    const std::vector<CECrashReportBinaryImageInfo>& images() const { return _images; }
    bool hasExceptionInfo() const { return _exceptionInfo.has_value(); }
    const std::optional<CECrashReportExceptionInfo>& exceptionInfo() const { return _exceptionInfo; }
    const std::optional<std::vector<uint8_t>>& customData() const { return _customData; }
    // The report's UUID; absent without report info.
    const std::optional<std::array<uint8_t, 16>>& uuid() const { return _uuid; }

    // The first image whose range holds the address, or null.
    const CECrashReportBinaryImageInfo* imageForAddress(uint64_t address) const;

private:
    CECrashReport() = default;

    CECrashReportSystemInfo _systemInfo;
    std::optional<CECrashReportMachineInfo> _machineInfo;
    CECrashReportApplicationInfo _applicationInfo;
    std::optional<CECrashReportProcessInfo> _processInfo;
    CECrashReportSignalInfo _signalInfo;
    std::optional<CECrashReportMachExceptionInfo> _machExceptionInfo;
    std::vector<CECrashReportThreadInfo> _threads;
    std::vector<CECrashReportBinaryImageInfo> _images;
    std::optional<CECrashReportExceptionInfo> _exceptionInfo;
    std::optional<std::vector<uint8_t>> _customData;
    std::optional<std::array<uint8_t, 16>> _uuid;

    friend class CECrashReportDecoder;
};
