#include "sdk/crash-engine/CECrashError.h"

#include <utility>

void cecrash_make_error(CECrashError* error, CECrashReporterError code, const std::string& description,
                        std::shared_ptr<CECrashError> underlying)
{
    if (error == nullptr)
        return;
    *error = CECrashError{CECrashReporterErrorDomain, code, description, std::move(underlying)};
}

void cecrash_make_posix_error(CECrashError* error, int errnoValue, const std::string& description)
{
    if (error == nullptr)
        return;
    auto underlying = std::make_shared<CECrashError>(CECrashError{CECrashPOSIXErrorDomain, errnoValue, {}, nullptr});
    cecrash_make_error(error, CECrashReporterErrorOperatingSystem, description, std::move(underlying));
}
