#include "sdk/crash-engine/CECrashReportTextFormatter.h"

#include "sdk/crash-engine/CECrashLog.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace {

constexpr const char* kUnknown = "???";

constexpr uint64_t kCpuX86 = 7;
constexpr uint64_t kCpuArm = 12;
constexpr uint64_t kCpuPowerPC = 18;
constexpr uint64_t kCpuX86_64 = 0x1000007;
constexpr uint64_t kCpuArm64 = 0x100000c;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...)
{
    va_list arguments;
    va_start(arguments, pattern);
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    std::vsnprintf(text.data(), text.size() + 1, pattern, arguments);
    va_end(arguments);
    return text;
}

std::string operatingSystemName(int operatingSystem)
{
    switch (operatingSystem) {
    case 0:
    case 2:
        return "Mac OS X";
    case 1:
        return "iPhone OS";
    case 4:
        return "Apple tvOS";
    default:
        return format("Unknown (%d)", operatingSystem);
    }
}

// The code type name of a Mach CPU type, and whether it is 64-bit; false when not one of five.
bool knownCodeType(uint64_t type, std::string& name, bool& lp64)
{
    switch (type) {
    case kCpuX86:
        name = "X86", lp64 = false;
        return true;
    case kCpuArm:
        name = "ARM", lp64 = false;
        return true;
    case kCpuPowerPC:
        name = "PPC", lp64 = false;
        return true;
    case kCpuX86_64:
        name = "X86-64", lp64 = true;
        return true;
    case kCpuArm64:
        name = "ARM-64", lp64 = true;
        return true;
    default:
        return false;
    }
}

void codeType(const CECrashReport& report, std::string& name, bool& lp64)
{
    for (const CECrashReportBinaryImageInfo& image : report.images()) {
        if (image.codeType && image.codeType->typeEncoding == 1 && knownCodeType(image.codeType->type, name, lp64))
            return;
    }
    const std::optional<CECrashReportProcessorInfo>& processor = report.systemInfo().processorInfo;
    lp64 = true;
    if (processor && processor->typeEncoding == 1) {
        if (!knownCodeType(processor->type, name, lp64)) {
            name = format("Unknown (%" PRIu64 ")", processor->type);
            lp64 = true;
        }
        return;
    }
    name = "Unknown";
}

std::string architectureName(const CECrashReportBinaryImageInfo& image)
{
    if (!image.codeType || image.codeType->typeEncoding != 1)
        return kUnknown;
    const uint64_t subtype = image.codeType->subtype & 0xffffff;
    switch (image.codeType->type) {
    case kCpuX86:
        return "i386";
    case kCpuArm:
        return subtype == 6 ? "armv6" : subtype == 11 ? "armv7s" : subtype == 9 ? "armv7" : "arm-unknown";
    case kCpuPowerPC:
        return "powerpc";
    case kCpuX86_64:
        return "x86_64";
    case kCpuArm64:
        return subtype == 0 ? "arm64" : subtype == 2 ? "arm64e" : subtype == 1 ? "armv8" : "arm64-unknown";
    default:
        return kUnknown;
    }
}

std::string lastPathComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    return slash == std::string::npos || trimmed.size() == 1 ? trimmed : trimmed.substr(slash + 1);
}

// Pads to a width counted in UTF-16 code units, as the log's column was measured.
std::string padUtf16(const std::string& text, size_t width)
{
    size_t units = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xc0) == 0x80)
            continue;
        units += byte >= 0xf0 ? 2 : 1;
    }
    return units >= width ? text : text + std::string(width - units, ' ');
}

std::string uuidText(const std::array<uint8_t, 16>& uuid)
{
    std::string text;
    for (size_t i = 0; i < uuid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += format("%02X", uuid[i]);
    }
    return text;
}

std::string dateDescription(const std::optional<int64_t>& seconds)
{
    if (!seconds)
        return "(null)";
    const time_t value = static_cast<time_t>(*seconds);
    tm parts{};
    gmtime_r(&value, &parts);
    char text[64];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S +0000", &parts);
    return text;
}

}  // namespace

CECrashReportTextFormatter::CECrashReportTextFormatter(int textFormat, uint64_t stringEncoding)
    : _textFormat(textFormat), _stringEncoding(stringEncoding)
{
}

std::vector<uint8_t> CECrashReportTextFormatter::formatReport(const CECrashReport& report, CECrashError*) const
{
    const std::string text = stringValueForCrashReport(report, _textFormat);
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string CECrashReportTextFormatter::formatStackFrame(const CECrashReportStackFrameInfo& frame, int64_t frameIndex,
                                                         const CECrashReport& report, bool lp64)
{
    const uint64_t pc = frame.instructionPointer;
    std::string fileName = kUnknown;
    uint64_t base = 0;
    uint64_t offset = 0;
    if (const CECrashReportBinaryImageInfo* image = report.imageForAddress(pc)) {
        fileName = lastPathComponent(image->imageName);
        base = image->imageBaseAddress;
        offset = pc - base;
    } else if (pc != 0) {
        CECrashLog(format("[CECrashReporter] Cannot find image for 0x%" PRIx64, pc));
    }
    std::string symbol;
    if (frame.symbolInfo) {
        std::string name = frame.symbolInfo->symbolName;
        const int os = report.systemInfo().operatingSystem;
        if (name.size() > 1 && name[0] == '_') {
            if (os == 3 || os > 4)
                CECrashLog("[CECrashReporter] Symbol \"" + name + "\" prefix rules are unknown for this OS!");
            else
                name.erase(0, 1);
        }
        symbol = format("%s + %lld", name.c_str(), static_cast<long long>(pc - frame.symbolInfo->startAddress));
    } else {
        symbol = format("0x%" PRIx64 " + %lld", base, static_cast<long long>(offset));
    }
    return format("%-4lld", static_cast<long long>(frameIndex)) + padUtf16(fileName, 35)
        + format(" 0x%0*" PRIx64 " %s\n", lp64 ? 16 : 8, pc, symbol.c_str());
}

std::string CECrashReportTextFormatter::stringValueForCrashReport(const CECrashReport& report, int)
{
    std::string codeTypeName;
    bool lp64 = true;
    codeType(report, codeTypeName, lp64);
    const std::optional<CECrashReportProcessInfo>& process = report.processInfo();
    auto orUnknown = [](const std::optional<std::string>& text) { return text ? *text : std::string(kUnknown); };

    std::string text;
    text += "Incident Identifier: " + (report.uuid() ? uuidText(*report.uuid()) : kUnknown) + "\n";
    text += "Hardware Model:      " + (report.machineInfo() ? orUnknown(report.machineInfo()->modelName) : kUnknown) + "\n";
    text += "Process:         " + (process ? orUnknown(process->processName) : kUnknown) + " ["
        + (process ? std::to_string(process->processID) : kUnknown) + "]\n";
    text += "Path:            " + (process ? orUnknown(process->processPath) : kUnknown) + "\n";
    const CECrashReportApplicationInfo& application = report.applicationInfo();
    text += "Identifier:      " + application.applicationIdentifier + "\n";
    if (application.applicationMarketingVersion)
        text += "Version:         " + *application.applicationMarketingVersion + " (" + application.applicationVersion + ")\n";
    else
        text += "Version:         " + application.applicationVersion + "\n";
    text += "Code Type:       " + codeTypeName + "\n";
    text += "Parent Process:  " + (process ? orUnknown(process->parentProcessName) : kUnknown) + " ["
        + (process ? std::to_string(process->parentProcessID) : kUnknown) + "]\n";
    text += "\n";
    const CECrashReportSystemInfo& system = report.systemInfo();
    text += "Date/Time:       " + dateDescription(system.timestamp) + "\n";
    text += "OS Version:      " + operatingSystemName(system.operatingSystem) + " " + system.operatingSystemVersion + " ("
        + orUnknown(system.operatingSystemBuild) + ")\n";
    text += "Report Version:  104\n\n";
    const CECrashReportSignalInfo& signal = report.signalInfo();
    text += "Exception Type:  " + signal.name + "\n";
    text += "Exception Codes: " + signal.code + format(" at 0x%" PRIx64 "\n", signal.address);
    for (const CECrashReportThreadInfo& thread : report.threads()) {
        if (thread.crashed) {
            text += format("Crashed Thread:  %lld\n", static_cast<long long>(thread.threadNumber));
            break;
        }
    }
    text += "\n";

    if (const std::optional<CECrashReportExceptionInfo>& exception = report.exceptionInfo()) {
        text += "Application Specific Information:\n";
        text += "*** Terminating app due to uncaught exception '" + exception->exceptionName + "', reason: '"
            + exception->exceptionReason + "'\n\n";
        if (exception->stackFrames && !exception->stackFrames->empty()) {
            text += "Last Exception Backtrace:\n";
            int64_t index = 0;
            for (const CECrashReportStackFrameInfo& frame : *exception->stackFrames)
                text += formatStackFrame(frame, index++, report, lp64);
            text += "\n";
        }
    }

    const CECrashReportThreadInfo* crashedThread = nullptr;
    for (const CECrashReportThreadInfo& thread : report.threads()) {
        if (thread.crashed) {
            text += format("Thread %lld Crashed:\n", static_cast<long long>(thread.threadNumber));
            crashedThread = &thread;
        } else {
            text += format("Thread %lld:\n", static_cast<long long>(thread.threadNumber));
        }
        int64_t index = 0;
        for (const CECrashReportStackFrameInfo& frame : thread.stackFrames)
            text += formatStackFrame(frame, index++, report, lp64);
        text += "\n";
    }

    if (crashedThread != nullptr) {
        text += format("Thread %lld crashed with %s Thread State:\n", static_cast<long long>(crashedThread->threadNumber),
                       codeTypeName.c_str());
        const std::optional<CECrashReportMachineInfo>& machine = report.machineInfo();
        const bool arm32 = machine && machine->processorInfo && machine->processorInfo->typeEncoding == 1
            && (machine->processorInfo->type & 0xffffff) == kCpuArm;
        size_t column = 0;
        for (const CECrashReportRegisterInfo& reg : crashedThread->registers) {
            const std::string name = arm32 && reg.registerName == "r12" ? "ip" : reg.registerName;
            text += lp64 ? format("%6s: 0x%016" PRIx64 " ", name.c_str(), reg.registerValue)
                         : format("%6s: 0x%08" PRIx64 " ", name.c_str(), reg.registerValue);
            if (++column == 4) {
                text += "\n";
                column = 0;
            }
        }
        if (column != 0)
            text += "\n";
        text += "\n";
    }

    text += "Binary Images:\n";
    std::vector<const CECrashReportBinaryImageInfo*> sorted;
    for (const CECrashReportBinaryImageInfo& image : report.images())
        sorted.push_back(&image);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto* a, const auto* b) { return a->imageBaseAddress < b->imageBaseAddress; });
    uint64_t previousBase = 0;
    for (const CECrashReportBinaryImageInfo* image : sorted) {
        if (image->imageBaseAddress == previousBase)
            continue;
        previousBase = image->imageBaseAddress;
        const uint64_t end = image->imageSize == 0 ? image->imageBaseAddress : image->imageBaseAddress + image->imageSize - 1;
        const bool isMain = process && process->processPath && image->imageName == *process->processPath;
        const std::string uuid = image->imageUUID ? *image->imageUUID : std::string(kUnknown);
        const char* pattern = lp64 ? "%#18" PRIx64 " - %#18" PRIx64 " %s%s %s  <%s> %s\n"
                                   : "%#10" PRIx64 " - %#10" PRIx64 " %s%s %s  <%s> %s\n";
        text += format(pattern, image->imageBaseAddress, end, isMain ? "+" : "", lastPathComponent(image->imageName).c_str(),
                       architectureName(*image).c_str(), uuid.c_str(), image->imageName.c_str());
    }
    return text;
}
