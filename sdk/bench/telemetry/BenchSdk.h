// The telemetry SDK as the benchmarks here run it: a fresh home under the temporary folder,
// settings and secrets in files there, warnings and worse logged, and the archive classes of the
// core and of analytics allowed.
#pragma once

#include "sdk/analytics/ZEAnalyticsCategory.h"
#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <unistd.h>

#include <filesystem>
#include <string>

namespace bench {

// Answers the home folder made for this run; the caller removes it when done.
inline std::filesystem::path setUpTelemetrySdk(const std::string& name)
{
    using namespace ze;
    const auto home = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    ZEPlatform::setHomeOverride(home / "data", home / "config");
    ZEPlatform::setSettings(std::make_shared<ZEJsonFileSettings>());
    ZEPlatform::setSecretStore(std::make_shared<ZEFileSecretStore>());
    ZELogger::setCurrentLogLevel(ZELogLevelWarning);
    ZEArchiverUtil::addAllowedZavEdurovModuleClasses();
    ZEAnalyticsCategory::addAllowedAnalyitcsModuleClasses();
    return home;
}

} // namespace bench
