// Keeps the exceptions that wrapper SDKs save beside a crash, one archived file each, and ties
// the one saved by a crashed process to that process's report at the next launch.
#pragma once

#include "sdk/crashes/Model/ZEErrorReport.h"
#include "sdk/crashes/WrapperException/ZEWrapperExceptionModel.h"

class CECrashReporter;

namespace ze {

inline constexpr const char* kZELastSavedWrapperException = "last_saved_wrapper_exception";

class ZEWrapperExceptionManager {
public:
    static void setCrashReporter(CECrashReporter* reporter);
    static void saveWrapperException(const ZEWrapperException& exception,
        const std::string& baseFilename = kZELastSavedWrapperException);
    static std::shared_ptr<ZEWrapperException> loadWrapperExceptionWithBaseFilename(const std::string& baseFilename);
    // The cached exception for that incident, else its file.
    static std::shared_ptr<ZEWrapperException> loadWrapperExceptionWithUUIDString(const std::optional<std::string>& uuid);
    static void deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename);
    static void deleteAllWrapperExceptions();
    // Gives the last saved exception to the first report of the same process id.
    static void correlateLastSavedWrapperExceptionToReport(const std::vector<std::shared_ptr<ZEErrorReport>>& reports);
    // Saves the exception and a report of the running process as the engine's pending report.
    static void saveWrapperExceptionAndCrashReport(const ZEWrapperException& exception);
    // Forgets the cache (a new launch).
    static void reset();
};

} // namespace ze
