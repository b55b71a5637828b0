#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

namespace ze {

std::string ZEUtility::sdkName()
{
    return "zavedurov.macos";
}

std::string ZEUtility::sdkVersion()
{
    return "5.0.2";
}

std::optional<ZEData> ZEUtility::archiveKeyedData(const std::shared_ptr<const ZEArchivable>& object)
{
    if (!object) {
        return std::nullopt;
    }
    return archive([&object](ZEKeyedArchiver& coder) { coder.encodeObject("root", object); });
}

std::optional<ZEData> ZEUtility::archive(const std::function<void(ZEKeyedArchiver&)>& write)
{
    try {
        ZEKeyedArchiver coder;
        write(coder);
        return coder.finish();
    } catch (const std::exception& error) {
        ZELogError(kZELogTag, "Archiving NSData failed with error: %@", std::string(error.what()));
        return std::nullopt;
    }
}

void ZEUtility::unarchive(const std::optional<ZEData>& data, const std::function<bool(ZEKeyedUnarchiver&)>& read)
{
    if (!data) {
        return;
    }
    std::string failure;
    try {
        ZEKeyedUnarchiver coder(*data);
        if (read(coder)) {
            return;
        }
        failure = "the root object is missing or not of the expected class";
    } catch (const std::exception& error) {
        failure = error.what();
    }
    ZELogError(kZELogTag, "Unarchiving NSData failed with error: %@", failure);
}

void ZEUtility::addAllowedClasses(const std::vector<ZEArchiveClass>& classes)
{
    ZEKeyedArchive::addAllowedClasses(classes);
}

void ZEUtility::addMigrationClasses(const std::map<std::string, ZEArchiveClass>& classes)
{
    ZEKeyedArchive::addMigrationClasses(classes);
}

} // namespace ze
