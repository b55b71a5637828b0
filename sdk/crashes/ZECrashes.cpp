#include "sdk/crashes/ZECrashes.h"

#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"
#include "sdk/crashes/Forwarding/ZECrashesCXXExceptionWrapperException.h"
#include "sdk/crashes/Model/ZEHandledErrorLog.h"
#include "sdk/crashes/WrapperException/ZEWrapperCrashesHelper.h"
#include "sdk/crashes/WrapperException/ZEWrapperExceptionManager.h"
#include "sdk/crashes/ZECrashTimeLogBuffer.h"
#include "sdk/crashes/ZECrashesArchiverUtil.h"
#include "sdk/crashes/ZECrashesUtil.h"
#include "sdk/crashes/ZEErrorLogFormatter.h"
#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZEDispatcherUtil.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <cstdio>
#include <future>
#include <typeinfo>

namespace ze {

namespace fs = std::filesystem;

namespace {

// Seconds between 1970 and the reference date of 1 January 2001.
constexpr double kReferenceDateOffset = 978'307'200.0;
constexpr const char* kAnalyzerSuffix = ".analyzer";

struct Slot {
    std::mutex mutex;
    std::shared_ptr<ZECrashes> instance;
    // Stored reports are processed at most once per launch.
    std::atomic<bool> processed{false};
    std::function<bool()> debuggerCheck;
};

Slot& slot()
{
    static auto* instance = new Slot;
    return *instance;
}

bool isDebuggerAttached()
{
    std::function<bool()> check;
    {
        std::lock_guard lock(slot().mutex);
        check = slot().debuggerCheck;
    }
    return check ? check() : ZEZavEdurov::isDebuggerAttached();
}

double secondsSince1970(ZEDate date)
{
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

bool boolSetting(const std::string& key)
{
    const auto value = ZEZavEdurovUserDefaults::shared().objectForKey(key);
    const bool* flag = value ? std::get_if<bool>(&*value) : nullptr;
    return flag && *flag;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Reports keep whole seconds and a crash is placed at the end of its second, which a next
// launch may already have reached. The crash ended an earlier launch, so it came before this
// launch's own history entry (the newest: a launch replaces its entry, never adds a second).
template <class Entry>
ZEDate beforeThisLaunch(ZEDate crashTime, const std::vector<Entry>& history)
{
    return !history.empty() && history.back().timestamp ? std::min(crashTime, *history.back().timestamp) : crashTime;
}

std::string componentIn(const std::string& directory, const fs::path& file)
{
    return directory + "/" + file.filename().string();
}

// A component in `directory` named `name`, or "<name>-1", "<name>-2", ... when that is taken:
// two launches may store a report within one second, and no report is ever written over.
std::string freeComponent(const std::string& directory, const std::string& name)
{
    std::string component = directory + "/" + name;
    for (int n = 1; ZEUtility::fileExistsForPathComponent(component); ++n) {
        component = directory + "/" + name + "-" + std::to_string(n);
    }
    return component;
}

// Beside a stored report: the session and user ids of the launch that crashed.
constexpr const char* kLaunchIdsSuffix = ".meta";

// The id a history holds for the launch that crashed in `crashSecond`, asked by the launch
// right after it (whose own entry is the newest): the newest earlier entry set before the end of
// the crash's second. Reports keep whole seconds, so the time alone cannot tell the crashed
// launch from a next one that started within the same second; the order of launches can.
template <class Entry>
std::optional<std::string> idOfPreviousLaunch(const std::vector<Entry>& history, std::uint64_t crashSecond,
    std::optional<std::string> Entry::*id)
{
    const ZEDate end = ZEDateFromSeconds(static_cast<double>(crashSecond) + 1);
    for (auto entry = history.rbegin(); entry != history.rend(); ++entry) {
        if (entry != history.rbegin() && entry->timestamp && *entry->timestamp < end) {
            return (*entry).*id;
        }
    }
    return std::nullopt;
}

ZEJson idOrNull(const std::optional<std::string>& id)
{
    return id ? ZEJson(*id) : ZEJson();
}

} // namespace

// ---- shared instance

std::shared_ptr<ZECrashes> ZECrashes::sharedInstance()
{
    std::lock_guard lock(slot().mutex);
    if (!slot().instance) {
        slot().instance = std::make_shared<ZECrashes>();
    }
    return slot().instance;
}

void ZECrashes::resetSharedInstance()
{
    std::shared_ptr<ZECrashes> old;
    {
        std::lock_guard lock(slot().mutex);
        old = std::move(slot().instance);
        slot().processed = false;
    }
    ZEWrapperExceptionManager::reset();
}

void ZECrashes::setDebuggerCheck(std::function<bool()> check)
{
    std::lock_guard lock(slot().mutex);
    slot().debuggerCheck = std::move(check);
}

ZECrashes::ZECrashes()
    : channelUnitConfiguration_(kZECrashesServiceName, 2, 1, 1, 3)
{
    ZEZavEdurovUserDefaults::shared().migrateKeys({{"ZEZavEdurovCrashesIsEnabled", std::string("kZECrashesIsEnabledKey")},
        {"ZEZavEdurovAppDidReceiveMemoryWarning", std::string("ZEAppDidReceiveMemoryWarning")},
        {"ZEZavEdurovCrashesUserConfirmation", std::string("ZEUserConfirmation")}}, kZECrashesServiceName);
    ZECrashesArchiverUtil::addCrashesMigrationClasses();
    ZECrashesArchiverUtil::addAllowedCrashesModuleClasses();
    appStartTime_ = ZEUtility::now();
    analyzerInProgressFilePathComponent_ = ZECrashesUtil::crashesDir() + "/" + kZEAnalyzerFileName;
    processingQueue_ = std::make_unique<ZESerialQueue>("com.doridorir.zavedurov.crashes.processing", ZEPlatform::clock());
    if (const auto directory = ZEUtility::fullURLForPathComponent(ZECrashesUtil::logBufferDir())) {
        ZECrashTimeLogBuffer::shared().setup(*directory);
    }
}

ZECrashes::~ZECrashes()
{
    processingQueue_.reset();
}

std::optional<ZEChannelUnitConfiguration> ZECrashes::channelUnitConfiguration() const
{
    return channelUnitConfiguration_;
}

std::shared_ptr<ZECrashesDelegate> ZECrashes::delegate() const
{
    std::lock_guard lock(stateMutex_);
    return delegate_.lock();
}

// ---- public interface

bool ZECrashes::hasCrashedInLastSession()
{
    return sharedInstance()->didCrashInLastSession_;
}

bool ZECrashes::hasReceivedMemoryWarningInLastSession()
{
    return sharedInstance()->didReceiveMemoryWarningInLastSession_;
}

std::shared_ptr<ZEErrorReport> ZECrashes::lastSessionCrashReport()
{
    auto crashes = sharedInstance();
    std::lock_guard lock(crashes->stateMutex_);
    return crashes->lastSessionCrashReport_;
}

void ZECrashes::setDelegate(const std::shared_ptr<ZECrashesDelegate>& delegate)
{
    auto crashes = sharedInstance();
    std::lock_guard lock(crashes->stateMutex_);
    crashes->delegate_ = delegate;
}

void ZECrashes::setUserConfirmationHandler(ZEUserConfirmationHandler handler)
{
    auto crashes = sharedInstance();
    std::lock_guard lock(crashes->stateMutex_);
    crashes->userConfirmationHandler_ = std::move(handler);
}

void ZECrashes::disableMachExceptionHandler()
{
    sharedInstance()->setEnableMachExceptionHandler(false);
}

void ZECrashes::generateTestCrash()
{
    auto crashes = sharedInstance();
    {
        std::lock_guard guard(crashes->lock());
        if (crashes->canBeUsed()) {
            if (ZEUtility::currentAppEnvironment() == ZEEnvironmentAppStore) {
                ZELogWarning(kZECrashesLogTag, "GenerateTestCrash was just called in an App Store environment. The call will be ignored.");
            } else if (isDebuggerAttached()) {
                ZELogWarning(kZECrashesLogTag, "The debugger is attached. The following crash cannot be detected by the SDK!");
            }
        }
    }
    __builtin_trap();
}

void ZECrashes::applicationDidReportException(const std::exception_ptr& exception)
{
    if (isDebuggerAttached() || !exception) {
        return;
    }
    const auto handler = sharedInstance()->exceptionHandler_;
    if (!handler) {
        return;
    }
    CECrashUncaughtException uncaught;
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& caught) {
        uncaught.name = ZEDemangle(typeid(caught).name());
        uncaught.reason = caught.what();
    } catch (...) {
        const auto* type = abi::__cxa_current_exception_type();
        uncaught.name = type ? ZEDemangle(type->name()) : std::string();
    }
    void* addresses[128];
    const int count = ::backtrace(addresses, 128);
    for (int index = 1; index < count; ++index) {
        uncaught.callStackReturnAddresses.push_back(reinterpret_cast<std::uintptr_t>(addresses[index]));
    }
    handler(uncaught);
}

std::optional<std::string> ZECrashes::trackError(const ZEError& error, const std::optional<ZEStringMap>& properties,
    const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments)
{
    return sharedInstance()->trackError(ZEExceptionModel::initWithError(error), properties, attachments);
}

bool ZECrashes::validatePropertiesForAttachment(const ZEErrorAttachmentLog& attachment)
{
    const auto filled = [](const std::optional<std::string>& text) { return text && !text->empty(); };
    return filled(attachment.errorId) && filled(attachment.attachmentId) && attachment.data && !attachment.data->empty()
        && filled(attachment.contentType);
}

// ---- service

void ZECrashes::startWithChannelGroup(std::shared_ptr<ZEChannelGroupProtocol> channelGroup,
    std::optional<std::string> appSecret, std::optional<std::string> transmissionTargetToken, bool fromApplication)
{
    std::lock_guard guard(lock());
    ZEServiceAbstract::startWithChannelGroup(channelGroup, appSecret, transmissionTargetToken, fromApplication);
    channelGroup_->addDelegate(shared_from_this());
    processLogBufferAfterCrash();
    processMemoryWarningInLastSession();
    ZELogVerbose(kZECrashesLogTag, "Started crash service.");
}

void ZECrashes::updateConfigurationWithAppSecret(std::optional<std::string> appSecret,
    std::optional<std::string> transmissionTargetToken)
{
    std::lock_guard guard(lock());
    processLogBufferAfterCrash();
    ZEServiceAbstract::updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
}

void ZECrashes::applyEnabledState(bool enabled)
{
    std::lock_guard guard(lock());
    ZEServiceAbstract::applyEnabledState(enabled);
    if (enabled) {
        // A wrapper SDK whose runtime catches its own exceptions keeps ours out of the way.
        const auto setupDelegate = ZEWrapperCrashesHelper::crashHandlerSetupDelegate();
        const bool uncaughtExceptionHandler = setupDelegate ? setupDelegate->shouldEnableUncaughtExceptionHandler().value_or(true) : true;
        if (setupDelegate) {
            setupDelegate->willSetUpCrashHandlers();
        }
        configureCrashReporterWithUncaughtExceptionHandlerEnabled(uncaughtExceptionHandler);
        if (setupDelegate) {
            setupDelegate->didSetUpCrashHandlers();
        }
        observingMemoryWarnings_ = true;
        if (!isEnabled()) {
            ceCrashReporter_->purgePendingCrashReport();
        }
        if (ceCrashReporter_->hasPendingCrashReport()) {
            didCrashInLastSession_ = true;
            ZELogDebug(kZECrashesLogTag, "The application crashed in the last session.");
            handleLatestCrashReport();
        }
        const auto files = persistedCrashReports();
        {
            std::lock_guard state(stateMutex_);
            crashFiles_ = files;
        }
        if (!files.empty()) {
            startDelayedCrashProcessing();
        } else {
            signalProcessingFinished();
            clearContextHistoryAndKeepCurrentSession();
        }
        ZELogInfo(kZECrashesLogTag, isDebuggerAttached()
                ? "Crashes service has been enabled but the service cannot detect crashes due to running the application with a debugger attached."
                : "Crashes service has been enabled.");
        return;
    }
    observingMemoryWarnings_ = false;
    ZELogDebug(kZECrashesLogTag, "Cleaning up all crash files.");
    ZEWrapperExceptionManager::deleteAllWrapperExceptions();
    deleteAllFromCrashesDirectory();
    emptyLogBufferFiles();
    ZEUtility::deleteItemForPathComponent(analyzerInProgressFilePathComponent_);
    if (ceCrashReporter_) {
        ceCrashReporter_->purgePendingCrashReport();
    }
    {
        std::lock_guard state(stateMutex_);
        unprocessed_.reset();
    }
    clearContextHistoryAndKeepCurrentSession();
    ZEZavEdurovUserDefaults::shared().removeObjectForKey(kZEMemoryWarningKey);
    ZELogInfo(kZECrashesLogTag, "Crashes service has been disabled.");
}

void ZECrashes::configureCrashReporterWithUncaughtExceptionHandlerEnabled(bool enabled)
{
    if (ceCrashReporter_) {
        ZELogDebug(kZECrashesLogTag, "Already configured CECrashReporter.");
        return;
    }
    ZELogDebug(kZECrashesLogTag, enabled ? "EnableUncaughtExceptionHandler is set to YES"
                                         : "EnableUncaughtExceptionHandler is set to NO, we're running in a Xamarin runtime.");
    std::uint64_t type = CECrashReporterSignalHandlerTypeBSD;
    if (enableMachExceptionHandler_) {
        type = CECrashReporterSignalHandlerTypeMach;
        ZELogVerbose(kZECrashesLogTag, "Enabled Mach exception handler.");
    }
    ceCrashReporter_ = std::make_unique<CECrashReporter>(ZECrashesUtil::applicationBundle(),
        CECrashReporterConfig(type, CECrashReporterSymbolicationStrategyNone, enabled));
    ZEWrapperExceptionManager::setCrashReporter(ceCrashReporter_.get());
    if (isDebuggerAttached()) {
        ZELogWarning(kZECrashesLogTag, "Detecting crashes is NOT enabled due to running the app with a debugger attached.");
        return;
    }
    const auto oldHandler = CECrashGetUncaughtExceptionHandler();
    ceCrashReporter_->setCrashCallbacks({0, nullptr, &ZECrashTimeLogBuffer::writeLogBufferOnCrash});
    CECrashError error;
    if (!ceCrashReporter_->enableCrashReporter(&error)) {
        ZELogError(kZECrashesLogTag, "Could not enable crash reporter: %@", error.description);
    }
    const auto newHandler = CECrashGetUncaughtExceptionHandler();
    if (newHandler && newHandler != oldHandler) {
        exceptionHandler_ = newHandler;
        ZELogDebug(kZECrashesLogTag, "Exception handler successfully initialized.");
    } else if (enabled || !newHandler) {
        ZELogError(kZECrashesLogTag, "Exception handler could not be set. Make sure there is no other exception handler set up!");
    } else {
        exceptionHandler_ = newHandler;
        ZELogDebug(kZECrashesLogTag, "Exception handler successfully initialized but it has not been registered due to the wrapper SDK.");
    }
    ZECrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(&uncaughtCXXExceptionHandler);
    ZEApplicationForwarder::registerForwarding();
}

// ---- memory warnings

void ZECrashes::didReceiveMemoryWarning()
{
    if (!observingMemoryWarnings_) {
        return;
    }
    ZELogDebug(kZECrashesLogTag, "The application received a low memory warning in the last session.");
    ZEZavEdurovUserDefaults::shared().setObject(true, kZEMemoryWarningKey);
}

void ZECrashes::processMemoryWarningInLastSession()
{
    if (!isEnabled()) {
        return;
    }
    didReceiveMemoryWarningInLastSession_ = boolSetting(kZEMemoryWarningKey);
    if (didReceiveMemoryWarningInLastSession_) {
        ZELogDebug(kZECrashesLogTag, "The application received a low memory warning in the last session.");
    }
    ZEZavEdurovUserDefaults::shared().removeObjectForKey(kZEMemoryWarningKey);
}

void ZECrashes::clearContextHistoryAndKeepCurrentSession()
{
    ZEDeviceTracker::sharedInstance()->clearDevices();
    ZESessionContext::sharedInstance()->clearSessionHistoryAndKeepCurrentSession(true);
    ZEUserIdContext::sharedInstance()->clearUserIdHistory();
}

// ---- handled errors

std::optional<std::string> ZECrashes::trackError(const std::shared_ptr<ZEExceptionModel>& exception,
    const std::optional<ZEStringMap>& properties, const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments)
{
    std::lock_guard guard(lock());
    if (!canBeUsed() || !isEnabled() || !channelUnit_) {
        return std::nullopt;
    }
    auto log = std::make_shared<ZEHandledErrorLog>();
    log->userId = ZEUserIdContext::sharedInstance()->userId();
    log->errorId = ZEUuid::create().UUIDString();
    log->exception = exception;
    if (properties && !properties->empty()) {
        log->properties = ZEUtility::validateProperties(ZEJson(*properties), "ErrorLog: " + *log->errorId, *log->type);
    }
    channelUnit_->enqueueItem(log, ZEFlagsNormal);
    if (!attachments.empty()) {
        sendErrorAttachments(attachments, *log->errorId);
    }
    return log->errorId;
}

void ZECrashes::sendErrorAttachments(const std::vector<std::shared_ptr<ZEErrorAttachmentLog>>& attachments,
    const std::string& incidentIdentifier)
{
    for (const auto& attachment : attachments) {
        if (!attachment) {
            continue;
        }
        attachment->errorId = incidentIdentifier;
        if (!validatePropertiesForAttachment(*attachment)) {
            ZELogError(kZECrashesLogTag, "Not all required fields are present in ZEErrorAttachmentLog.");
            continue;
        }
        if (attachment->data->size() > kZEMaxAttachmentSize) {
            ZELogError(kZECrashesLogTag, "Discarding attachment with size above %u bytes: size=%tu, fileName=%@.",
                static_cast<unsigned>(kZEMaxAttachmentSize), attachment->data->size(), attachment->filename.value_or(""));
            continue;
        }
        if (channelUnit_) {
            channelUnit_->enqueueItem(attachment, ZEFlagsNormal);
        }
    }
}

std::shared_ptr<ZEErrorReport> ZECrashes::buildHandledErrorReportWithErrorID(const std::string& errorId) const
{
    ZEErrorReportFields fields;
    fields.errorId = errorId;
    fields.appStartTime = appStartTime_;
    fields.appErrorTime = ZEUtility::now();
    fields.device = ZEDeviceTracker::sharedInstance()->device();
    return std::make_shared<ZEErrorReport>(std::move(fields));
}

// ---- crash-time log buffer

void ZECrashes::channelDidPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log,
    const std::string& internalId, std::uint64_t)
{
    if (!log || dynamic_cast<ZEAppleErrorLog*>(log.get()) || dynamic_cast<ZEErrorAttachmentLog*>(log.get()) || !isEnabled()) {
        return;
    }
    std::lock_guard guard(lock());
    const auto archive = ZEUtility::archiveKeyedData(log);
    if (!archive || archive->empty()) {
        return;
    }
    std::string token;
    if (const auto tokens = log->transmissionTargetTokens(); tokens && !tokens->empty()) {
        token = targetTokenEncrypter_.encryptString(*tokens->begin()).value_or("");
    }
    ZELogVerbose(kZECrashesLogTag, "Storing a log to Crashes Buffer: (sid: %@, type: %@)", log->sid.value_or(""),
        log->type.value_or(""));
    ZECrashTimeLogBuffer::shared().store(*archive, token, internalId, secondsSince1970(ZEUtility::now()));
}

void ZECrashes::channelDidCompleteEnqueueingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>&,
    const std::string& internalId)
{
    std::lock_guard guard(lock());
    ZECrashTimeLogBuffer::shared().clear(internalId);
}

void ZECrashes::processLogBufferAfterCrash()
{
    bufferChannelUnit_ = channelGroup_->addChannelUnitWithConfiguration(
        ZEChannelUnitConfiguration(kZECrashesBufferGroupId, 2, 1, 50, 1));
    const std::string directory = ZECrashesUtil::logBufferDir();
    const auto entries = ZEUtility::contentsOfDirectory(directory);
    if (!entries || !bufferChannelUnit_) {
        return;
    }
    for (const auto& entry : *entries) {
        if (entry.extension() != std::string(".") + kZELogBufferExtension) {
            continue;
        }
        const std::string component = componentIn(directory, entry);
        const auto data = ZEUtility::loadDataForPathComponent(component);
        if (!data || data->empty()) {
            continue;
        }
        const auto log = ZEUtility::unarchiveKeyedData<ZEAbstractLog>(data);
        if (!log) {
            ZELogError(ZEZavEdurov::logTag(), "Deserialization failed for log: %@", std::string("The log deserialized to NULL."));
            continue;
        }
        const auto tokenPath = ZECrashTimeLogBuffer::tokenPathFor(entry);
        if (const auto token = ZEReadFile(tokenPath)) {
            const auto decrypted = targetTokenEncrypter_.decryptString(*token);
            if (decrypted) {
                log->addTransmissionTargetToken(*decrypted);
            } else {
                ZELogError(ZEZavEdurov::logTag(), "Failed to decrypt the target token.");
            }
            ZEUtility::deleteFileAtURL(tokenPath);
        }
        ZELogDebug(kZECrashesLogTag, "Re-enqueueing buffered log, type: %@.", log->type.value_or(""));
        bufferChannelUnit_->enqueueItem(log, ZEFlagsNormal);
        ZEUtility::createFileAtPathComponent(component, ZEData(), false, true);
    }
}

void ZECrashes::emptyLogBufferFiles()
{
    const std::string directory = ZECrashesUtil::logBufferDir();
    const auto entries = ZEUtility::contentsOfDirectory(directory);
    if (!entries) {
        ZELogError(kZECrashesLogTag, "Couldn't get files in the directory \"%@\"", directory);
        return;
    }
    for (const auto& entry : *entries) {
        std::error_code error;
        if (entry.extension() == std::string(".") + kZELogBufferExtension && fs::file_size(entry, error) > 0 && !error) {
            ZEUtility::createFileAtPathComponent(componentIn(directory, entry), ZEData(), false, true);
        }
    }
}

// ---- stored reports

void ZECrashes::handleLatestCrashReport()
{
    bool purge = true;
    if (ZEUtility::fileExistsForPathComponent(analyzerInProgressFilePathComponent_)) {
        ZELogError(kZECrashesLogTag, "Error on loading the crash report, it will be purged.");
        if (const auto data = ceCrashReporter_->loadPendingCrashReportData()) {
            keepDamagedReportData(*data, "its processing crashed at an earlier launch");
        }
    } else {
        if (!ZEUtility::createFileAtPathComponent(analyzerInProgressFilePathComponent_, ZEData(), false, false)) {
            ZELogError(kZECrashesLogTag, "Couldn't create crash analyzer file.");
        }
        CECrashError error;
        const auto data = ceCrashReporter_->loadPendingCrashReportData(&error);
        if (!data) {
            ZELogError(kZECrashesLogTag, "Couldn't load crash report: %@", error.description);
        } else if (const auto report = CECrashReport::initWithData(*data, &error); !report) {
            ZELogWarning(kZECrashesLogTag, "Couldn't parse crash report: %@", error.description);
            keepDamagedReportData(*data, "it could not be decoded");
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "%.0f", secondsSince1970(ZEUtility::now()) - kReferenceDateOffset);
            const std::string component = freeComponent(ZECrashesUtil::crashesDir(), name);
            // The engine's copy is the only one until this one exists: it stays pending otherwise.
            purge = ZEUtility::createFileAtPathComponent(component, *data, true, false).has_value();
            if (!purge) {
                ZELogError(kZECrashesLogTag, "Couldn't store the crash report at %@; it stays pending for the next launch.",
                    component);
            } else {
                storeLaunchIds(component, report->systemInfo().timestamp.value_or(0));
            }
            auto errorReport = ZEErrorLogFormatter::errorReportFromCrashReport(report.get());
            {
                std::lock_guard state(stateMutex_);
                lastSessionCrashReport_ = errorReport;
            }
            ZEWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({errorReport});
        }
    }
    ZEUtility::deleteItemForPathComponent(analyzerInProgressFilePathComponent_);
    if (purge) {
        ceCrashReporter_->purgePendingCrashReport();
    }
}

// Runs when the engine's report of the previous launch is stored: the report may be sent by a
// later launch, when more launches stand between it and the crash.
void ZECrashes::storeLaunchIds(const std::string& reportComponent, std::uint64_t crashSecond)
{
    const ZEJson ids = {
        {"sid", idOrNull(idOfPreviousLaunch(ZESessionContext::sharedInstance()->sessionHistory(), crashSecond,
                    &ZESessionHistoryInfo::sessionId))},
        {"userId", idOrNull(idOfPreviousLaunch(ZEUserIdContext::sharedInstance()->userIdHistory(), crashSecond,
                       &ZEUserIdHistoryInfo::userId))},
    };
    const std::string text = ids.dump();
    if (!ZEUtility::createFileAtPathComponent(reportComponent + kLaunchIdsSuffix, ZEData(text.begin(), text.end()), true, true)) {
        ZELogWarning(kZECrashesLogTag, "The ids of the crashed launch could not be kept beside %@; they will be looked up by time.",
            reportComponent);
    }
}

void ZECrashes::stampIdsOfCrashTime(const Unprocessed& entry) const
{
    const auto kept = ZEReadFile(entry.file.string() + kLaunchIdsSuffix);
    const ZEJson ids = kept ? ZEJson::parse(*kept, nullptr, false) : ZEJson();
    const auto idIn = [&ids](const char* key) -> std::optional<std::string> {
        return ids[key].is_string() ? std::optional(ids[key].get<std::string>()) : std::nullopt;
    };
    if (ids.is_object() && ids.contains("sid") && ids.contains("userId")) {
        entry.log->sid = idIn("sid");
        entry.log->userId = idIn("userId");
        return;
    }
    // A report stored without them: the ids in force at the end of its second, before this launch.
    const ZEDate crashTime = entry.log->timestamp.value_or(ZEDate());
    const auto sessions = ZESessionContext::sharedInstance();
    const auto userIds = ZEUserIdContext::sharedInstance();
    entry.log->sid = sessions->sessionIdAt(beforeThisLaunch(crashTime, sessions->sessionHistory()));
    entry.log->userId = userIds->userIdAt(beforeThisLaunch(crashTime, userIds->userIdHistory()));
}

std::vector<fs::path> ZECrashes::persistedCrashReports()
{
    static const char* const kIgnoredSuffixes[] = {".DS_Store", ".analyzer", ".plist", ".data", ".meta", ".desc"};
    const std::string directory = ZECrashesUtil::crashesDir();
    const auto entries = ZEUtility::contentsOfDirectory(directory);
    if (!entries) {
        ZELogError(kZECrashesLogTag, "No persisted crashes found.");
        return {};
    }
    std::vector<fs::path> files;
    for (const auto& entry : *entries) {
        std::error_code error;
        const std::string name = entry.filename().string();
        if (!fs::is_regular_file(entry, error)
            || std::any_of(std::begin(kIgnoredSuffixes), std::end(kIgnoredSuffixes), [&](const char* suffix) { return endsWith(name, suffix); })) {
            continue;
        }
        const std::string marker = componentIn(directory, entry) + kAnalyzerSuffix;
        if (ZEUtility::fileExistsForPathComponent(marker)) {
            keepDamagedReport(entry, "its processing crashed at an earlier launch");
            ZEUtility::deleteItemForPathComponent(marker);
            continue;
        }
        const auto size = fs::file_size(entry, error);
        if (!error && size == 0) {
            ZELogError(kZECrashesLogTag, "Crash report %@ is empty; it was removed.", name);
            ZEUtility::deleteFileAtURL(entry);
            continue;
        }
        if (!error) {
            files.push_back(entry);
        }
    }
    return files;
}

void ZECrashes::startDelayedCrashProcessing()
{
    std::weak_ptr<ZECrashes> weak = weak_from_this();
    processingQueue_->after(std::chrono::seconds(1), [weak] {
        const auto crashes = weak.lock();
        if (!crashes) {
            return;
        }
        if (crashes->automaticProcessingEnabled_ && ZEUtility::applicationState() == ZEApplicationStateBackground) {
            ZELogWarning(kZECrashesLogTag, "Crashes will not be processed because the application is in the background.");
            return;
        }
        if (slot().processed.exchange(true)) {
            return;
        }
        ZELogDebug(kZECrashesLogTag, "Start delayed CrashManager processing");
        if (crashes->exceptionHandler_ && CECrashGetUncaughtExceptionHandler() != crashes->exceptionHandler_) {
            ZELogWarning(kZECrashesLogTag,
                "Another exception handler was added. If this invokes any kind of exit() after processing the exception, which causes any subsequent error handler not to be invoked, these crashes will NOT be reported to Zav Edurov!");
        }
        crashes->processCrashReports();
        crashes->signalProcessingFinished();
    });
}

void ZECrashes::processCrashReports()
{
    if (!isEnabled()) {
        ZELogDebug(kZECrashesLogTag, "Crashes service is disabled; discard all crash reports");
        deleteAllFromCrashesDirectory();
        ZEWrapperExceptionManager::deleteAllWrapperExceptions();
        return;
    }
    std::vector<fs::path> files;
    {
        std::lock_guard state(stateMutex_);
        unprocessed_.emplace();
        files = crashFiles_;
    }
    struct Decoded {
        fs::path file;
        std::unique_ptr<CECrashReport> report;
        std::shared_ptr<ZEErrorReport> errorReport;
    };
    std::vector<Decoded> decoded;
    const std::string directory = ZECrashesUtil::crashesDir();
    for (const auto& file : files) {
        const auto data = ZEUtility::loadDataForPathComponent(componentIn(directory, file));
        if (!data || data->empty()) {
            continue;
        }
        // A marker beside the report while it is decoded: should this crash the process, the
        // next launch sets the report aside instead of crashing on it again.
        const std::string marker = componentIn(directory, file) + kAnalyzerSuffix;
        ZEUtility::createFileAtPathComponent(marker, ZEData(), false, true);
        CECrashError error;
        auto report = CECrashReport::initWithData(*data, &error);
        if (!report) {
            ZELogWarning(kZECrashesLogTag, "Crash report found but couldn't parse it, discard the crash report: %@", error.description);
            keepDamagedReport(file, "it could not be decoded");
        } else {
            auto errorReport = ZEErrorLogFormatter::errorReportFromCrashReport(report.get());
            decoded.push_back({file, std::move(report), std::move(errorReport)});
        }
        ZEUtility::deleteItemForPathComponent(marker);
    }
    std::vector<std::shared_ptr<ZEErrorReport>> reports;
    for (const auto& entry : decoded) {
        reports.push_back(entry.errorReport);
    }
    ZEWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(reports);
    const auto host = delegate();
    for (auto& entry : decoded) {
        ZELogVerbose(kZECrashesLogTag, "Crash reports found");
        const auto log = ZEErrorLogFormatter::errorLogFromCrashReport(*entry.report);
        const auto answer = host && automaticProcessingEnabled_ ? host->shouldProcessErrorReport(*this, *entry.errorReport) : std::nullopt;
        if (answer && !*answer) {
            ZELogDebug(kZECrashesLogTag, "shouldProcessErrorReport returned NO, discard the crash report: %@", entry.errorReport->description());
            discard({log, entry.errorReport, entry.file});
            continue;
        }
        ZELogDebug(kZECrashesLogTag, automaticProcessingEnabled_
                ? "shouldProcessErrorReport is not implemented or returned YES, processing the crash report: %@"
                : "Automatic crash processing is disabled, storing the crash report for later processing: %@",
            entry.errorReport->description());
        std::lock_guard state(stateMutex_);
        unprocessed_->push_back({log, entry.errorReport, entry.file});
    }
    if (automaticProcessingEnabled_) {
        sendCrashReportsOrAwaitUserConfirmation();
    }
}

bool ZECrashes::sendCrashReportsOrAwaitUserConfirmation()
{
    const bool alwaysSend = boolSetting(kZEUserConfirmationKey);
    ZEUserConfirmationHandler handler;
    std::vector<std::shared_ptr<ZEErrorReport>> reports;
    {
        std::lock_guard state(stateMutex_);
        if (!unprocessed_ || unprocessed_->empty()) {
            return alwaysSend;
        }
        handler = userConfirmationHandler_;
        for (const auto& entry : *unprocessed_) {
            reports.push_back(entry.report);
        }
    }
    if (alwaysSend) {
        ZELogDebug(kZECrashesLogTag, "The flag for user confirmation is set to ZEUserConfirmationAlways, continue sending logs");
        handleUserConfirmation(ZEUserConfirmationSend);
        return alwaysSend;
    }
    if (!automaticProcessingEnabled_) {
        ZELogDebug(kZECrashesLogTag, "Automatic crash processing is disabled and \"AlwaysSend\" is false. Awaiting user confirmation.");
        return alwaysSend;
    }
    if (handler) {
        const auto executor = ZEPlatform::mainThreadExecutor();
        bool prompted = false;
        if (executor->isMainThread()) {
            prompted = handler(reports);
        } else {
            std::promise<bool> answer;
            executor->post([&] { answer.set_value(handler(reports)); });
            prompted = answer.get_future().get();
        }
        if (prompted) {
            return alwaysSend;
        }
    }
    ZELogDebug(kZECrashesLogTag, "The user confirmation handler is not implemented or returned NO, continue sending logs");
    handleUserConfirmation(ZEUserConfirmationSend);
    return alwaysSend;
}

void ZECrashes::notifyWithUserConfirmation(ZEUserConfirmation answer)
{
    auto crashes = sharedInstance();
    {
        std::lock_guard state(crashes->stateMutex_);
        if (!crashes->userConfirmationHandler_ && !crashes->unprocessed_) {
            ZELogError(kZECrashesLogTag,
                "Incorrect usage of notifyWithUserConfirmation: it should only be called from userConfirmationHandler. For more information refer to the documentation.");
            return;
        }
    }
    crashes->handleUserConfirmation(answer);
}

void ZECrashes::handleUserConfirmation(ZEUserConfirmation answer)
{
    std::vector<Unprocessed> entries;
    {
        std::lock_guard state(stateMutex_);
        if (unprocessed_) {
            entries = std::move(*unprocessed_);
            unprocessed_->clear();
        }
    }
    if (answer == ZEUserConfirmationDontSend) {
        for (const auto& entry : entries) {
            discard(entry);
        }
    } else {
        if (answer == ZEUserConfirmationAlways) {
            ZEZavEdurovUserDefaults::shared().setObject(true, kZEUserConfirmationKey);
        }
        for (const auto& entry : entries) {
            sendCrashReport(entry);
        }
    }
    clearContextHistoryAndKeepCurrentSession();
}

bool ZECrashes::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers)
{
    std::vector<Unprocessed> dropped;
    {
        std::lock_guard state(stateMutex_);
        if (unprocessed_) {
            std::vector<Unprocessed> kept;
            for (auto& entry : *unprocessed_) {
                const auto& id = entry.report->incidentIdentifier();
                const bool wanted = id && std::find(incidentIdentifiers.begin(), incidentIdentifiers.end(), *id) != incidentIdentifiers.end();
                (wanted ? kept : dropped).push_back(std::move(entry));
            }
            *unprocessed_ = std::move(kept);
        }
    }
    for (const auto& entry : dropped) {
        discard(entry);
    }
    return sendCrashReportsOrAwaitUserConfirmation();
}

std::vector<std::shared_ptr<ZEErrorReport>> ZECrashes::unprocessedCrashReports()
{
    std::unique_lock state(stateMutex_);
    processingFinished_.wait(state, [this] { return processingDone_; });
    std::vector<std::shared_ptr<ZEErrorReport>> reports;
    if (unprocessed_) {
        for (const auto& entry : *unprocessed_) {
            reports.push_back(entry.report);
        }
    }
    return reports;
}

bool ZECrashes::waitForProcessing(std::chrono::milliseconds timeout)
{
    std::unique_lock state(stateMutex_);
    return processingFinished_.wait_for(state, timeout, [this] { return processingDone_; });
}

void ZECrashes::signalProcessingFinished()
{
    {
        std::lock_guard state(stateMutex_);
        processingDone_ = true;
    }
    processingFinished_.notify_all();
}

void ZECrashes::sendCrashReport(const Unprocessed& entry)
{
    std::vector<std::shared_ptr<ZEErrorAttachmentLog>> attachments;
    const auto host = delegate();
    const auto answer = host ? host->attachmentsWithCrashes(*this, *entry.report) : std::nullopt;
    if (answer) {
        attachments = *answer;
        for (const auto& attachment : attachments) {
            if (attachment && !attachment->device) {
                attachment->device = entry.log->device;
            }
        }
    } else {
        ZELogDebug(kZECrashesLogTag, "attachmentsWithCrashes is not implemented");
    }
    stampIdsOfCrashTime(entry);
    if (channelUnit_) {
        channelUnit_->enqueueItem(entry.log, ZEFlagsCritical);
    }
    const std::string incident = entry.report->incidentIdentifier().value_or("");
    sendErrorAttachments(attachments, incident);
    removeCrashFile(entry.file);
    ZEWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename(incident);
}

void ZECrashes::discard(const Unprocessed& entry)
{
    if (const auto& incident = entry.report->incidentIdentifier()) {
        ZEWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename(*incident);
    }
    removeCrashFile(entry.file);
}

void ZECrashes::removeCrashFile(const fs::path& file)
{
    ZEUtility::deleteFileAtURL(file);
    ZEUtility::deleteFileAtURL(fs::path(file.string() + kLaunchIdsSuffix));
    std::lock_guard state(stateMutex_);
    std::erase(crashFiles_, file);
}

void ZECrashes::deleteAllFromCrashesDirectory()
{
    ZEUtility::deleteItemForPathComponent(ZECrashesUtil::crashesDir());
    std::lock_guard state(stateMutex_);
    crashFiles_.clear();
}

void ZECrashes::keepDamagedReport(const fs::path& file, const std::string& reason)
{
    const auto directory = ZEUtility::fullURLForPathComponent(ZECrashesUtil::damagedCrashesDir());
    std::error_code error;
    fs::path target = directory ? *directory / file.filename() : fs::path();
    for (int attempt = 1; !target.empty() && fs::exists(target, error); ++attempt) {
        target = *directory / (file.filename().string() + "-" + std::to_string(attempt));
    }
    if (target.empty() || (fs::rename(file, target, error), error)) {
        ZELogError(kZECrashesLogTag, "Crash report %@ could not be processed because %@, and could not be set aside.",
            file.string(), reason);
        return;
    }
    ZELogError(kZECrashesLogTag, "Crash report %@ could not be processed because %@; it was moved to %@.", file.string(),
        reason, target.string());
    ZEUtility::deleteFileAtURL(fs::path(file.string() + kLaunchIdsSuffix));
    std::lock_guard state(stateMutex_);
    std::erase(crashFiles_, file);
}

void ZECrashes::keepDamagedReportData(const std::vector<std::uint8_t>& data, const std::string& reason)
{
    if (data.empty()) {
        ZELogError(kZECrashesLogTag, "The pending crash report is empty; it was removed.");
        return;
    }
    char name[48];
    std::snprintf(name, sizeof name, "pending-%.0f", secondsSince1970(ZEUtility::now()) - kReferenceDateOffset);
    const std::string component = freeComponent(ZECrashesUtil::damagedCrashesDir(), name);
    const bool kept = ZEUtility::createFileAtPathComponent(component, data, true, false).has_value();
    ZELogError(kZECrashesLogTag, kept ? "The pending crash report could not be processed because %@; it was kept as %@."
                                      : "The pending crash report could not be processed because %@, and could not be kept as %@.",
        reason, component);
}

// ---- send notifications

void ZECrashes::channelWillSendLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    const auto host = delegate();
    const auto crashLog = std::dynamic_pointer_cast<ZEAppleErrorLog>(log);
    if (host && crashLog) {
        auto report = ZEErrorLogFormatter::errorReportFromLog(*crashLog);
        ZEDispatcherUtil::performBlockOnMainThread([host, self = shared_from_this(), report] { host->willSendErrorReport(*self, report); });
    }
}

void ZECrashes::channelDidSucceedSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log)
{
    const auto host = delegate();
    const auto crashLog = std::dynamic_pointer_cast<ZEAppleErrorLog>(log);
    if (host && crashLog) {
        auto report = ZEErrorLogFormatter::errorReportFromLog(*crashLog);
        ZEDispatcherUtil::performBlockOnMainThread(
            [host, self = shared_from_this(), report] { host->didSucceedSendingErrorReport(*self, report); });
    }
}

void ZECrashes::channelDidFailSendingLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log,
    const std::optional<ZEError>& error)
{
    const auto host = delegate();
    const auto crashLog = std::dynamic_pointer_cast<ZEAppleErrorLog>(log);
    if (host && crashLog) {
        auto report = ZEErrorLogFormatter::errorReportFromLog(*crashLog);
        ZEDispatcherUtil::performBlockOnMainThread(
            [host, self = shared_from_this(), report, error] { host->didFailSendingErrorReport(*self, report, error); });
    }
}

} // namespace ze
