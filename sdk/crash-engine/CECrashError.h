// The engine's error value: a domain, a code and a description, with the operating-system
// error behind it when there is one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

inline constexpr const char* CECrashReporterErrorDomain = "CECrashReporterErrorDomain";
// Domain of an underlying errno value.
inline constexpr const char* CECrashPOSIXErrorDomain = "POSIXErrorDomain";

enum CECrashReporterError : int64_t {
    CECrashReporterErrorUnknown = 0,
    CECrashReporterErrorOperatingSystem = 1,
    CECrashReporterErrorCrashReportInvalid = 2,
    CECrashReporterErrorResourceBusy = 3,
};

struct CECrashError {
    std::string domain;
    int64_t code = 0;
    std::string description;
    std::shared_ptr<CECrashError> underlying;
};

// Each does nothing when error is null.
void cecrash_make_error(CECrashError* error, CECrashReporterError code, const std::string& description,
                        std::shared_ptr<CECrashError> underlying = nullptr);
void cecrash_make_posix_error(CECrashError* error, int errnoValue, const std::string& description);
