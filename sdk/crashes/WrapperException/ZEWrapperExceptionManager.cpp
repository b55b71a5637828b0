#include "sdk/crashes/WrapperException/ZEWrapperExceptionManager.h"

#include "sdk/crashes/ZECrashesUtil.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/crash-engine/CECrashReporter.h"

#include <atomic>
#include <map>
#include <mutex>

namespace ze {

namespace {

constexpr const char* kCrashesTag = "ZavEdurovCrashes";

struct ManagerState {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<ZEWrapperException>> cache;
    std::atomic<CECrashReporter*> reporter{nullptr};
};

ManagerState& state()
{
    static ManagerState shared;
    return shared;
}

std::string componentFor(const std::string& baseFilename)
{
    return ZECrashesUtil::wrapperExceptionsDir() + "/" + baseFilename;
}

} // namespace

void ZEWrapperExceptionManager::setCrashReporter(CECrashReporter* reporter)
{
    state().reporter = reporter;
}

void ZEWrapperExceptionManager::saveWrapperException(const ZEWrapperException& exception, const std::string& baseFilename)
{
    const auto data = ZEUtility::archiveKeyedData(std::shared_ptr<const ZEArchivable>(&exception, [](const ZEArchivable*) {}));
    if (data) {
        ZEUtility::createFileAtPathComponent(componentFor(baseFilename), data, true, true);
    }
}

std::shared_ptr<ZEWrapperException> ZEWrapperExceptionManager::loadWrapperExceptionWithBaseFilename(const std::string& baseFilename)
{
    const std::string component = componentFor(baseFilename);
    if (!ZEUtility::fileExistsForPathComponent(component)) {
        ZELogError(kCrashesTag, "Exception data report doesn't exist on disk. File name: %@", baseFilename);
        return nullptr;
    }
    auto exception = ZEUtility::unarchiveKeyedData<ZEWrapperException>(ZEUtility::loadDataForPathComponent(component));
    if (!exception) {
        ZELogError(kCrashesTag, "Could not read exception data stored on disk with file name %@", baseFilename);
        ZEUtility::deleteItemForPathComponent(component);
    }
    return exception;
}

std::shared_ptr<ZEWrapperException> ZEWrapperExceptionManager::loadWrapperExceptionWithUUIDString(
    const std::optional<std::string>& uuid)
{
    if (!uuid) {
        return nullptr;
    }
    {
        std::lock_guard lock(state().mutex);
        if (const auto found = state().cache.find(*uuid); found != state().cache.end()) {
            return found->second;
        }
    }
    if (!ZEUtility::fileExistsForPathComponent(componentFor(*uuid))) {
        return nullptr;
    }
    return loadWrapperExceptionWithBaseFilename(*uuid);
}

void ZEWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename)
{
    ZEUtility::deleteItemForPathComponent(componentFor(baseFilename));
}

void ZEWrapperExceptionManager::deleteAllWrapperExceptions()
{
    ZEUtility::deleteItemForPathComponent(ZECrashesUtil::wrapperExceptionsDir());
}

void ZEWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(
    const std::vector<std::shared_ptr<ZEErrorReport>>& reports)
{
    if (!ZEUtility::fileExistsForPathComponent(componentFor(kZELastSavedWrapperException))) {
        return;
    }
    const auto exception = loadWrapperExceptionWithBaseFilename(kZELastSavedWrapperException);
    deleteWrapperExceptionWithBaseFilename(kZELastSavedWrapperException);
    if (!exception || !exception->processId) {
        return;
    }
    for (const auto& report : reports) {
        if (report && report->incidentIdentifier()
            && report->appProcessIdentifier() == static_cast<std::uint64_t>(*exception->processId)) {
            {
                std::lock_guard lock(state().mutex);
                state().cache[*report->incidentIdentifier()] = exception;
            }
            saveWrapperException(*exception, *report->incidentIdentifier());
            return;
        }
    }
}

void ZEWrapperExceptionManager::saveWrapperExceptionAndCrashReport(const ZEWrapperException& exception)
{
    CECrashReporter* reporter = state().reporter;
    if (!reporter) {
        ZELogError("ZavEdurov", "Failed to save the crash report. CrashReporter wasn't initialized.");
        return;
    }
    saveWrapperException(exception);
    const std::filesystem::path path = reporter->crashReportPath();
    if (!ZEUtility::createDirectoryAtURL(path.parent_path())) {
        ZELogError("ZavEdurov", "Couldn't create a directory at path %@", path.parent_path().string());
        return;
    }
    const auto report = reporter->generateLiveReport();
    if (report && ZEUtility::createFileAtPath(path, *report)) {
        ZELogError("ZavEdurov", "Crash report was saved successfully at path %@", path.string());
    } else {
        ZELogError("ZavEdurov", "Couldn't save crash report at path %@", path.string());
    }
}

void ZEWrapperExceptionManager::reset()
{
    std::lock_guard lock(state().mutex);
    state().cache.clear();
}

} // namespace ze
