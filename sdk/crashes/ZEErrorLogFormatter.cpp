#include "sdk/crashes/ZEErrorLogFormatter.h"

#include "sdk/crashes/WrapperException/ZEWrapperExceptionManager.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ze {

namespace {

constexpr const char* kCrashesTag = "ZavEdurovCrashes";
constexpr std::uint64_t kCpuTypeX86 = 7;
constexpr std::uint64_t kCpuTypeArm = 12;
constexpr std::uint64_t kCpuTypePowerPC = 18;
constexpr std::uint64_t kCpuTypeX86_64 = 0x1000007;
constexpr std::uint64_t kCpuTypeArm64 = 0x100000c;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::optional<std::string> nonEmpty(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional(text);
}

// Every "<root><name>/" becomes "<root>USER/", scanning left to right without overlaps.
std::string replaceUserFolders(const std::string& path, const std::string& root)
{
    std::string result;
    std::size_t position = 0;
    while (position < path.size()) {
        const auto found = path.find(root, position);
        if (found == std::string::npos) {
            break;
        }
        const auto nameStart = found + root.size();
        const auto nameEnd = path.find('/', nameStart);
        if (nameEnd == std::string::npos || nameEnd == nameStart) {
            result += path.substr(position, nameStart - position);
            position = nameStart;
            continue;
        }
        result += path.substr(position, found - position) + root + "USER/";
        position = nameEnd + 1;
    }
    return result + path.substr(std::min(position, path.size()));
}

std::optional<std::string> currentHome()
{
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/' || std::string(home) == "/") {
        return std::nullopt;
    }
    std::string text = home;
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

CECrashReportProcessorInfo machineProcessor(const CECrashReport& report)
{
    if (report.machineInfo() && report.machineInfo()->processorInfo) {
        return *report.machineInfo()->processorInfo;
    }
    return report.systemInfo().processorInfo.value_or(CECrashReportProcessorInfo());
}

std::optional<std::string> processPathOf(const CECrashReport& report)
{
    return report.processInfo() ? report.processInfo()->processPath : std::nullopt;
}

std::string hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
}

} // namespace

std::string ZEErrorLogFormatter::formatAddress(std::uint64_t address, bool is64bit)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*" PRIx64, is64bit ? 16 : 8, address);
    return text;
}

bool ZEErrorLogFormatter::isCodeType64bit(std::uint64_t cpuType)
{
    return cpuType == kCpuTypeX86_64 || cpuType == kCpuTypeArm64;
}

std::string ZEErrorLogFormatter::errorIdForCrashReport(const CECrashReport& report)
{
    if (!report.uuid()) {
        return ZEUuid::create().UUIDString();
    }
    std::string text;
    for (std::size_t index = 0; index < 16; ++index) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", (*report.uuid())[index]);
        text += digits;
        if (index == 3 || index == 5 || index == 7 || index == 9) {
            text += '-';
        }
    }
    return text;
}

const CECrashReportThreadInfo* ZEErrorLogFormatter::findCrashedThreadInReport(const CECrashReport& report)
{
    for (const auto& thread : report.threads()) {
        if (thread.crashed) {
            return &thread;
        }
    }
    return nullptr;
}

std::shared_ptr<ZEAppleErrorLog> ZEErrorLogFormatter::errorLogFromCrashReport(const CECrashReport& report)
{
    auto log = std::make_shared<ZEAppleErrorLog>();
    const bool hasUuid = report.uuid().has_value();
    log->errorId = errorIdForCrashReport(report);

    log->processId = 0;
    log->processName = "???";
    log->parentProcessName = "???";
    log->applicationPath = "???";
    if (const auto& process = report.processInfo()) {
        log->processId = static_cast<std::int64_t>(process->processID);
        if (process->processName) {
            log->processName = process->processName;
        }
        if (process->processPath) {
            log->applicationPath = anonymizedPathFromPath(process->processPath);
        }
        if (process->parentProcessName) {
            log->parentProcessName = process->parentProcessName;
        }
        log->parentProcessId = static_cast<std::int64_t>(process->parentProcessID);
    }

    const auto* crashedThread = findCrashedThreadInReport(report);
    log->errorThreadId = crashedThread ? crashedThread->threadNumber : 0;
    log->fatal = true;

    const double crashTime = static_cast<double>(report.systemInfo().timestamp.value_or(0));
    const auto& process = report.processInfo();
    log->appLaunchTimestamp = ZEDateFromSeconds(process && process->processStartTime
            ? static_cast<double>(*process->processStartTime) : crashTime);
    // Reports keep whole seconds; the moment is placed at the end of that second.
    log->timestamp = ZEDateFromSeconds(std::floor(crashTime) == crashTime ? crashTime + 0.999 : crashTime);

    CECrashReportProcessorInfo processor = machineProcessor(report);
    for (const auto& image : report.images()) {
        if (image.codeType && image.codeType->typeEncoding == 1) {
            processor = *image.codeType;
            break;
        }
    }
    const bool is64bit = isCodeType64bit(processor.type);
    log->primaryArchitectureId = processor.type;
    log->architectureVariantId = processor.subtype;

    log->osExceptionType = report.signalInfo().name;
    log->osExceptionCode = report.signalInfo().code;
    log->osExceptionAddress = hex(report.signalInfo().address);
    if (report.exceptionInfo()) {
        log->exceptionReason = report.exceptionInfo()->exceptionReason;
        log->exceptionType = report.exceptionInfo()->exceptionName;
    }

    // No "selectorRegisterValue": ELF images have no method-name section to read a selector name from.
    log->threads = extractThreadsFromReport(report, crashedThread, is64bit);
    log->registers = extractRegistersFromCrashedThread(crashedThread, is64bit);
    log->binaries = extractBinaryImagesFromReport(report, is64bit);
    log->device = deviceForTimestamp(*log->timestamp, report);

    if (const auto wrapper = ZEWrapperExceptionManager::loadWrapperExceptionWithUUIDString(
            hasUuid ? log->errorId : std::nullopt)) {
        log->exception = wrapper->modelException;
    }
    return log;
}

std::shared_ptr<ZEErrorReport> ZEErrorLogFormatter::errorReportFromCrashReport(const CECrashReport* report)
{
    return report ? errorReportFromLog(*errorLogFromCrashReport(*report)) : nullptr;
}

std::shared_ptr<ZEErrorReport> ZEErrorLogFormatter::errorReportFromLog(const ZEAppleErrorLog& log)
{
    ZEErrorReportFields fields;
    fields.errorId = log.errorId;
    fields.reporterKey = ZEZavEdurov::installId().UUIDString();
    fields.signal = log.osExceptionType;
    fields.exceptionName = log.exceptionType;
    fields.exceptionReason = log.exceptionReason;
    fields.appStartTime = log.appLaunchTimestamp;
    fields.appErrorTime = log.timestamp;
    fields.codeType = log.primaryArchitectureId
        ? convertCodeTypeToString(static_cast<std::int64_t>(*log.primaryArchitectureId)) : "???";
    fields.archName = log.primaryArchitectureId && log.architectureVariantId
        ? convertArchNameToString(static_cast<std::int64_t>(*log.primaryArchitectureId),
              static_cast<std::int32_t>(*log.architectureVariantId))
        : "???";
    fields.applicationPath = log.applicationPath;
    fields.threads = log.threads;
    fields.binaries = log.binaries;
    fields.device = log.device;
    fields.appProcessIdentifier = static_cast<std::uint64_t>(log.processId.value_or(0));
    return std::make_shared<ZEErrorReport>(std::move(fields));
}

std::vector<std::shared_ptr<ZEThread>> ZEErrorLogFormatter::extractThreadsFromReport(const CECrashReport& report,
    const CECrashReportThreadInfo* crashedThread, bool is64bit)
{
    std::shared_ptr<ZEExceptionModel> exception;
    const auto& info = report.exceptionInfo();
    if (info && info->stackFrames && !info->stackFrames->empty()) {
        exception = std::make_shared<ZEExceptionModel>();
        ZEStackFrames frames;
        for (const auto& frame : *info->stackFrames) {
            auto model = std::make_shared<ZEStackFrame>();
            model->address = formatAddress(frame.instructionPointer, is64bit);
            frames.push_back(std::move(model));
        }
        exception->message = info->exceptionReason;
        exception->frames = std::move(frames);
        exception->type = info->exceptionName.empty() ? report.signalInfo().name : info->exceptionName;
    }
    std::vector<std::shared_ptr<ZEThread>> threads;
    for (const auto& thread : report.threads()) {
        auto model = std::make_shared<ZEThread>();
        model->threadId = thread.threadNumber;
        if (crashedThread && exception && thread.threadNumber == crashedThread->threadNumber) {
            model->exception = exception;
        }
        for (const auto& frame : thread.stackFrames) {
            auto frameModel = std::make_shared<ZEStackFrame>();
            frameModel->address = formatAddress(frame.instructionPointer, is64bit);
            frameModel->code = formatStackFrame(frame, report);
            model->frames.push_back(std::move(frameModel));
        }
        threads.push_back(std::move(model));
    }
    return threads;
}

std::string ZEErrorLogFormatter::formatStackFrame(const CECrashReportStackFrameInfo& frame, const CECrashReport& report)
{
    const std::uint64_t pointer = frame.instructionPointer;
    const auto* image = report.imageForAddress(pointer);
    std::uint64_t base = 0;
    std::uint64_t offset = 0;
    if (image) {
        base = image->imageBaseAddress;
        offset = pointer - base;
    } else if (pointer != 0) {
        ZELogWarning(kCrashesTag, "Cannot find image for 0x%llx", static_cast<unsigned long long>(pointer));
    }
    const auto kind = imageTypeForImagePath(image ? std::optional(image->imageName) : std::nullopt, processPathOf(report));
    if (kind == ZEBinaryImageTypeOther && frame.symbolInfo) {
        std::string name = frame.symbolInfo->symbolName;
        if (name.size() >= 2 && name[0] == '_') {
            const int system = report.systemInfo().operatingSystem;
            if (system == 0 || system == 1 || system == 2 || system == 4) {
                name.erase(0, 1);
            } else if (system == 3) {
                ZELogWarning(kCrashesTag, "Symbol \"%@\" prefix rules are unknown for this OS!", name);
            }
        }
        return name + " + " + std::to_string(static_cast<std::int64_t>(pointer - frame.symbolInfo->startAddress));
    }
    return hex(base) + " + " + std::to_string(static_cast<std::int64_t>(offset));
}

std::map<std::string, std::string> ZEErrorLogFormatter::extractRegistersFromCrashedThread(
    const CECrashReportThreadInfo* thread, bool is64bit)
{
    std::map<std::string, std::string> registers;
    if (thread) {
        for (const auto& reg : thread->registers) {
            registers[reg.registerName] = formatAddress(reg.registerValue, is64bit);
        }
    }
    return registers;
}

std::vector<std::uint64_t> ZEErrorLogFormatter::addressesFromReport(const CECrashReport& report)
{
    std::vector<std::uint64_t> addresses;
    if (report.exceptionInfo() && report.exceptionInfo()->stackFrames) {
        for (const auto& frame : *report.exceptionInfo()->stackFrames) {
            addresses.push_back(frame.instructionPointer);
        }
    }
    for (const auto& thread : report.threads()) {
        for (const auto& frame : thread.stackFrames) {
            addresses.push_back(frame.instructionPointer);
        }
        for (const auto& reg : thread.registers) {
            addresses.push_back(reg.registerValue);
        }
    }
    return addresses;
}

std::vector<std::shared_ptr<ZEBinary>> ZEErrorLogFormatter::extractBinaryImagesFromReport(const CECrashReport& report,
    bool is64bit)
{
    const auto addresses = addressesFromReport(report);
    std::vector<const CECrashReportBinaryImageInfo*> images;
    for (const auto& image : report.images()) {
        images.push_back(&image);
    }
    std::stable_sort(images.begin(), images.end(),
        [](const auto* a, const auto* b) { return a->imageBaseAddress < b->imageBaseAddress; });
    std::vector<std::shared_ptr<ZEBinary>> binaries;
    for (const auto* image : images) {
        const std::uint64_t start = image->imageBaseAddress;
        const std::uint64_t end = image->imageSize == 0 ? start : start + image->imageSize - 1;
        const bool referenced = std::any_of(addresses.begin(), addresses.end(),
            [&](std::uint64_t address) { return start <= address && address <= end; });
        const auto kind = imageTypeForImagePath(image->imageName, processPathOf(report));
        if (!referenced && kind == ZEBinaryImageTypeOther) {
            continue;
        }
        auto binary = std::make_shared<ZEBinary>();
        binary->binaryId = image->hasImageUUID && image->imageUUID ? *image->imageUUID : "???";
        binary->startAddress = formatAddress(start, is64bit);
        binary->endAddress = formatAddress(end, is64bit);
        binary->path = anonymizedPathFromPath(image->imageName);
        binary->name = image->imageName.empty() ? "???" : std::filesystem::path(image->imageName).filename().string();
        binary->primaryArchitectureId = image->codeType ? image->codeType->type : 0;
        binary->architectureVariantId = image->codeType ? image->codeType->subtype : 0;
        binaries.push_back(std::move(binary));
    }
    return binaries;
}

std::int64_t ZEErrorLogFormatter::imageTypeForImagePath(const std::optional<std::string>& imagePath,
    const std::optional<std::string>& processPath)
{
    if (!imagePath || !processPath) {
        return ZEBinaryImageTypeOther;
    }
    const std::string standardized = lower(std::filesystem::path(*imagePath).lexically_normal().string());
    const std::string image = lower(*imagePath);
    const std::string process = lower(*processPath);
    const bool swiftLibrary = standardized.find("frameworks/libswift") != std::string::npos && endsWith(standardized, ".dylib");
    if (standardized.find(".app/") != std::string::npos && !swiftLibrary) {
        return standardized == process || startsWith(image, process) ? 0 : 1;
    }
    return ZEBinaryImageTypeOther;
}

std::string ZEErrorLogFormatter::anonymizedPathFromPath(const std::optional<std::string>& path)
{
    if (!path || path->empty()) {
        return {};
    }
    if (startsWith(*path, "/Users/") || startsWith(*path, "/home/")) {
        return replaceUserFolders(replaceUserFolders(*path, "/Users/"), "/home/");
    }
    if (path->find("Users") != std::string::npos || path->find("/home/") != std::string::npos) {
        return {};
    }
    if (const auto home = currentHome(); home && startsWith(*path, *home + "/")) {
        const auto parent = home->substr(0, home->rfind('/'));
        return parent + "/USER/" + path->substr(home->size() + 1);
    }
    return *path;
}

std::shared_ptr<ZEDevice> ZEErrorLogFormatter::deviceForTimestamp(ZEDate timestamp, const CECrashReport& report)
{
    const auto base = ZEDeviceTracker::sharedInstance()->deviceForTimestamp(timestamp);
    auto device = base ? std::make_shared<ZEDevice>(*base) : std::make_shared<ZEDevice>();
    const auto& system = report.systemInfo();
    const auto& application = report.applicationInfo();
    // The system is described as every other log of the program describes it (the device in
    // force at the crash): the report's own fields read the kernel, and a crash log that gave
    // other values than the logs around it would seem to come from another machine. The
    // report's serve only a device that has none.
    if (!device->osVersion) {
        device->osVersion = nonEmpty(system.operatingSystemVersion);
        device->osBuild = system.operatingSystemBuild;
    }
    if (report.machineInfo() && report.machineInfo()->modelName) {
        device->model = report.machineInfo()->modelName;
    }
    if (const auto build = nonEmpty(application.applicationVersion)) {
        device->appBuild = build;
    }
    if (application.applicationMarketingVersion) {
        device->appVersion = application.applicationMarketingVersion;
    }
    if (const auto identifier = nonEmpty(application.applicationIdentifier)) {
        device->appNamespace = identifier;
    }
    return device;
}

std::string ZEErrorLogFormatter::convertCodeTypeToString(std::int64_t cpuType)
{
    switch (static_cast<std::uint64_t>(cpuType)) {
    case kCpuTypeX86: return "X86";
    case kCpuTypeArm: return "ARM";
    case kCpuTypePowerPC: return "PPC";
    case kCpuTypeX86_64: return "X86-64";
    case kCpuTypeArm64: return "ARM-64";
    default: return "Unknown (" + std::to_string(static_cast<unsigned long>(cpuType)) + ")";
    }
}

std::string ZEErrorLogFormatter::convertArchNameToString(std::int64_t cpuType, std::int32_t cpuSubtype)
{
    const std::uint32_t subtype = static_cast<std::uint32_t>(cpuSubtype) & 0xffffff;
    switch (static_cast<std::uint64_t>(cpuType)) {
    case kCpuTypeX86: return "i386";
    case kCpuTypeArm: return subtype == 6 ? "armv6" : subtype == 9 ? "armv7" : subtype == 11 ? "armv7s" : "arm-unknown";
    case kCpuTypePowerPC: return "powerpc";
    case kCpuTypeX86_64: return "x86_64";
    case kCpuTypeArm64: return subtype == 0 ? "arm64" : subtype == 1 ? "armv8" : subtype == 2 ? "arm64e" : "arm64-unknown";
    default: return "???";
    }
}

} // namespace ze
