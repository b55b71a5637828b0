// The crash service of the telemetry SDK. At enable it arms the crash engine once per process,
// with a post-crash callback that writes the crash-time log buffer and a terminate handler that
// forwards uncaught C++ exceptions. At every launch it takes over the report the engine wrote
// when the previous process crashed, replays the buffered logs of that crash, and one second
// later turns each stored report into a crash log that goes out on its unit "Crashes" with the
// session and user ids that were in force at the crash. It also sends handled errors.
#pragma once

#include "sdk/crashes/Model/ZEAppleErrorLog.h"
#include "sdk/crashes/ZECrashesDelegate.h"
#include "sdk/telemetry/Internals/Service/ZEServiceAbstract.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"
#include "sdk/telemetry/Internals/Util/ZEEncrypter.h"
#include "sdk/crash-engine/CECrashReporter.h"

#include <condition_variable>
#include <exception>
#include <filesystem>

namespace ze {

inline constexpr const char* kZECrashesServiceName = "Crashes";
inline constexpr const char* kZECrashesLogTag = "ZavEdurovCrashes";
inline constexpr const char* kZECrashesBufferGroupId = "CrashesBuffer";
inline constexpr const char* kZEAnalyzerFileName = "ZECrashes.analyzer";
inline constexpr const char* kZEMemoryWarningKey = "AppDidReceiveMemoryWarning";
inline constexpr const char* kZEUserConfirmationKey = "CrashesUserConfirmation";
inline constexpr std::size_t kZEMaxAttachmentSize = 7'340'032;

class ZECrashes final : public ZEServiceAbstract,
                        public ZEChannelDelegate,
                        public std::enable_shared_from_this<ZECrashes> {
public:
    static std::shared_ptr<ZECrashes> sharedInstance();
    // Drops the instance and lets the next one process reports again (a new launch in tests).
    static void resetSharedInstance();
    // Whether a debugger is in control; the engine is not armed then. Tests may replace the check.
    static void setDebuggerCheck(std::function<bool()> check);

    // ---- public interface
    static bool hasCrashedInLastSession();
    static bool hasReceivedMemoryWarningInLastSession();
    static std::shared_ptr<ZEErrorReport> lastSessionCrashReport();
    static void setDelegate(const std::shared_ptr<ZECrashesDelegate>& delegate);
    static void setUserConfirmationHandler(ZEUserConfirmationHandler handler);
    static void notifyWithUserConfirmation(ZEUserConfirmation answer);
    // Only before the first enable: BSD signals instead of the exception-server type.
    static void disableMachExceptionHandler();
    // Ends the process with an illegal-instruction crash.
    [[noreturn]] static void generateTestCrash();
    // The host's report of an exception it caught at the top of event dispatch: handed to the
    // crash engine's uncaught-exception handler, which records it and ends the process.
    static void applicationDidReportException(const std::exception_ptr& exception);
    // Returns the error id; nothing when the service cannot be used.
    static std::optional<std::string> trackError(const ZEError& error, const std::optional<ZEStringMap>& properties = std::nullopt,
        const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments = {});
    static bool validatePropertiesForAttachment(const ZEErrorAttachmentLog& attachment);

    ZECrashes();
    ~ZECrashes() override;

    // ---- service
    std::string serviceName() const override { return kZECrashesServiceName; }
    std::string logTag() const override { return kZECrashesLogTag; }
    int initializationPriority() const override { return 999; }
    std::optional<ZEChannelUnitConfiguration> channelUnitConfiguration() const override;
    void startWithChannelGroup(std::shared_ptr<ZEChannelGroupProtocol> channelGroup, std::optional<std::string> appSecret,
        std::optional<std::string> transmissionTargetToken, bool fromApplication) override;
    void updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
        std::optional<std::string> transmissionTargetToken) override;
    void applyEnabledState(bool enabled) override;

    // ---- memory warnings: the host reports memory pressure here while the service is enabled
    void didReceiveMemoryWarning();

    // ---- handled errors
    std::optional<std::string> trackError(const std::shared_ptr<ZEExceptionModel>& exception,
        const std::optional<ZEStringMap>& properties, const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments);
    void sendErrorAttachments(const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments,
        const std::string& incidentIdentifier);
    // A report for an error a wrapper SDK handled itself: the error id, this launch's start, now
    // as the error time and the current device; nothing else is known.
    std::shared_ptr<ZEErrorReport> buildHandledErrorReportWithErrorID(const std::string& errorId) const;

    // ---- stored reports
    // Blocks until processing has finished or was not needed.
    std::vector<std::shared_ptr<ZEErrorReport>> unprocessedCrashReports();
    bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers);
    void setAutomaticProcessingEnabled(bool enabled) { automaticProcessingEnabled_ = enabled; }
    bool isAutomaticProcessingEnabled() const { return automaticProcessingEnabled_; }
    void setEnableMachExceptionHandler(bool enabled) { enableMachExceptionHandler_ = enabled; }
    // Waits at most `timeout` of real time for processing to finish; answers whether it did.
    bool waitForProcessing(std::chrono::milliseconds timeout);
    const std::vector<std::filesystem::path>& crashFiles() const { return crashFiles_; }
    CECrashReporter* crashReporter() const { return ceCrashReporter_.get(); }

    // ---- channel delegate
    void channelDidPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId, std::uint64_t flags) override;
    void channelDidCompleteEnqueueingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId) override;
    void channelWillSendLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidSucceedSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidFailSendingLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::optional<ZEError>& error) override;

private:
    struct Unprocessed {
        std::shared_ptr<ZEAppleErrorLog> log;
        std::shared_ptr<ZEErrorReport> report;
        std::filesystem::path file;
    };

    void configureCrashReporterWithUncaughtExceptionHandlerEnabled(bool enabled);
    void processLogBufferAfterCrash();
    void emptyLogBufferFiles();
    void processMemoryWarningInLastSession();
    void clearContextHistoryAndKeepCurrentSession();
    void handleLatestCrashReport();
    std::vector<std::filesystem::path> persistedCrashReports();
    void startDelayedCrashProcessing();
    void processCrashReports();
    bool sendCrashReportsOrAwaitUserConfirmation();
    void handleUserConfirmation(ZEUserConfirmation answer);
    void storeLaunchIds(const std::string& reportComponent, std::uint64_t crashSecond);
    void stampIdsOfCrashTime(const Unprocessed& entry) const;
    void sendCrashReport(const Unprocessed& entry);
    void discard(const Unprocessed& entry);
    void deleteAllFromCrashesDirectory();
    void removeCrashFile(const std::filesystem::path& file);
    // Moves a report that cannot be read, or that crashed its own processing, out of the way.
    void keepDamagedReport(const std::filesystem::path& file, const std::string& reason);
    void keepDamagedReportData(const std::vector<std::uint8_t>& data, const std::string& reason);
    void signalProcessingFinished();
    std::shared_ptr<ZECrashesDelegate> delegate() const;

    std::atomic<bool> didCrashInLastSession_{false};
    std::atomic<bool> didReceiveMemoryWarningInLastSession_{false};
    std::atomic<bool> enableMachExceptionHandler_{true};
    std::atomic<bool> automaticProcessingEnabled_{true};
    std::atomic<bool> observingMemoryWarnings_{false};
    ZEChannelUnitConfiguration channelUnitConfiguration_;
    std::shared_ptr<ZEChannelUnitProtocol> bufferChannelUnit_;
    ZEEncrypter targetTokenEncrypter_;
    std::unique_ptr<CECrashReporter> ceCrashReporter_;
    CECrashUncaughtExceptionHandler exceptionHandler_ = nullptr;
    std::vector<std::filesystem::path> crashFiles_;
    std::string crashesPathComponent_;
    std::string logBufferPathComponent_;
    std::string analyzerInProgressFilePathComponent_;
    ZEDate appStartTime_;

    mutable std::mutex stateMutex_;
    std::condition_variable processingFinished_;
    bool processingDone_ = false;
    std::shared_ptr<ZEErrorReport> lastSessionCrashReport_;
    std::weak_ptr<ZECrashesDelegate> delegate_;
    ZEUserConfirmationHandler userConfirmationHandler_;
    std::optional<std::vector<Unprocessed>> unprocessed_;
    std::unique_ptr<ZESerialQueue> processingQueue_;
};

} // namespace ze
