// The front of the crash capture engine: the report directory, arming the crash handlers once
// per process, the report written at crash time ("live_report.cecrash"), reading and purging
// it at the next launch, and reports of the running process on demand.
#pragma once

#include "sdk/crash-engine/CECrashError.h"
#include "sdk/crash-engine/CECrashLogWriter.h"
#include "sdk/crash-engine/CECrashReporterConfig.h"
#include "sdk/crash-engine/linux/ThreadControl.h"

#include <csignal>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <ucontext.h>
#include <vector>

// Raised for programming errors in the use of the reporter.
class CECrashReporterException : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Called after a crash report has been written successfully, on the crashed thread in signal
// context: it must keep to the crash-time rules (CrashEngine.h).
struct CECrashReporterCallbacks {
    // Must be 0.
    uint16_t version;
    void* context;
    void (*handleSignal)(siginfo_t* info, ucontext_t* uap, void* context);
};

// What the application knows of itself; absent fields fall back as the reporter describes.
struct CECrashBundle {
    std::optional<std::string> identifier;
    std::optional<std::string> version;
    std::optional<std::string> marketingVersion;
};

// The process-wide handler for uncaught exceptions: the reporter installs its own at enable
// when configured to; whoever catches an exception no one else will hands it here.
using CECrashUncaughtExceptionHandler = void (*)(const CECrashUncaughtException& exception);
void CECrashSetUncaughtExceptionHandler(CECrashUncaughtExceptionHandler handler);
CECrashUncaughtExceptionHandler CECrashGetUncaughtExceptionHandler();

class CECrashReporter {
public:
    // Made once, with the process's own facts and the default configuration.
    static CECrashReporter& sharedReporter();

    explicit CECrashReporter(const CECrashReporterConfig& configuration = CECrashReporterConfig::defaultConfiguration());
    // Without an identifier the process name stands in (logged); without one either this
    // throws CECrashReporterException. Without a version the empty string stands in (logged).
    CECrashReporter(const CECrashBundle& bundle, const CECrashReporterConfig& configuration);
    CECrashReporter(std::string applicationIdentifier, std::string applicationVersion,
                    std::optional<std::string> applicationMarketingVersion, const CECrashReporterConfig& configuration);

    CECrashReporter(const CECrashReporter&) = delete;
    CECrashReporter& operator=(const CECrashReporter&) = delete;

    bool hasPendingCrashReport() const;
    std::optional<std::vector<uint8_t>> loadPendingCrashReportData(CECrashError* error = nullptr) const;
    bool purgePendingCrashReport(CECrashError* error = nullptr) const;

    // Arms the handlers. Only the first attempt in a process can succeed; later ones fail with
    // code 3.
    bool enableCrashReporter(CECrashError* error = nullptr);

    // A report of the running process with `thread` marked crashed; the file is removed after.
    std::optional<std::vector<uint8_t>> generateLiveReportWithThread(cecrash_thread_t thread, CECrashError* error = nullptr);
    // As above for the calling thread.
    std::optional<std::vector<uint8_t>> generateLiveReport(CECrashError* error = nullptr);

    // Throws CECrashReporterException once this reporter is enabled.
    void setCrashCallbacks(const CECrashReporterCallbacks& callbacks);
    // Data stored in every report; more than half of a report's size limit is refused.
    bool setCustomData(std::optional<std::vector<uint8_t>> data, CECrashError* error = nullptr);
    const std::optional<std::vector<uint8_t>>& customData() const { return _customData; }

    std::string crashReportPath() const;
    const std::string& crashReportDirectory() const { return _crashReportDirectory; }
    std::string queuedCrashReportDirectory() const;
    bool populateCrashReportDirectory(CECrashError* error = nullptr) const;

    // Brings the image list up to date after libraries were loaded or unloaded; enabling and
    // each live report do it too.
    static void refreshLoadedImages();

    static uint32_t mapToAsyncSymbolicationStrategy(uint64_t strategy) { return static_cast<uint32_t>(strategy & 3); }

    const CECrashReporterConfig& configuration() const { return _config; }
    bool isEnabled() const { return _enabled; }

private:
    CECrashReporterConfig _config;
    bool _enabled = false;
    std::string _applicationIdentifier;
    std::string _applicationVersion;
    std::optional<std::string> _applicationMarketingVersion;
    std::string _crashReportDirectory;
    std::optional<std::vector<uint8_t>> _customData;
};
