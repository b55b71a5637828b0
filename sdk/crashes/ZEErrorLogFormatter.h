// Turns a decoded crash report into the crash log that is sent and the report object the host
// sees: ids, process, crash time, architecture, signal, exception, threads with their frame
// texts, the crashed thread's registers, the binaries that matter, anonymised paths, and the
// device of the crash time.
#pragma once

#include "sdk/crashes/Model/ZEAppleErrorLog.h"
#include "sdk/crashes/Model/ZEErrorReport.h"
#include "sdk/crash-engine/CECrashReport.h"

namespace ze {

// Image kinds: the process's own executable, another image of the application bundle, any other.
inline constexpr std::int64_t ZEBinaryImageTypeOther = 2;

class ZEErrorLogFormatter {
public:
    static std::shared_ptr<ZEAppleErrorLog> errorLogFromCrashReport(const CECrashReport& report);
    static std::shared_ptr<ZEErrorReport> errorReportFromCrashReport(const CECrashReport* report);
    static std::shared_ptr<ZEErrorReport> errorReportFromLog(const ZEAppleErrorLog& log);

    static std::string errorIdForCrashReport(const CECrashReport& report);
    static const CECrashReportThreadInfo* findCrashedThreadInReport(const CECrashReport& report);
    static std::vector<std::shared_ptr<ZEThread>> extractThreadsFromReport(const CECrashReport& report,
        const CECrashReportThreadInfo* crashedThread, bool is64bit);
    static std::string formatStackFrame(const CECrashReportStackFrameInfo& frame, const CECrashReport& report);
    static std::map<std::string, std::string> extractRegistersFromCrashedThread(const CECrashReportThreadInfo* thread,
        bool is64bit);
    static std::vector<std::shared_ptr<ZEBinary>> extractBinaryImagesFromReport(const CECrashReport& report, bool is64bit);
    static std::vector<std::uint64_t> addressesFromReport(const CECrashReport& report);
    static std::int64_t imageTypeForImagePath(const std::optional<std::string>& imagePath,
        const std::optional<std::string>& processPath);
    // User folders ("/Users/<name>/", "/home/<name>/", the current user's home) lose the name;
    // other paths that mention a user folder become empty.
    static std::string anonymizedPathFromPath(const std::optional<std::string>& path);
    static std::shared_ptr<ZEDevice> deviceForTimestamp(ZEDate timestamp, const CECrashReport& report);
    static std::string convertCodeTypeToString(std::int64_t cpuType);
    static std::string convertArchNameToString(std::int64_t cpuType, std::int32_t cpuSubtype);
    static bool isCodeType64bit(std::uint64_t cpuType);
    static std::string formatAddress(std::uint64_t address, bool is64bit);
};

} // namespace ze
