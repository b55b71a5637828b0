#include "sdk/crash-engine/CECrashReporter.h"

#include "sdk/crash-engine/CECrashLog.h"
#include "sdk/crash-engine/CECrashSignalHandler.h"
#include "sdk/crash-engine/ImageList.h"
#include "sdk/crash-engine/linux/SignalNumbers.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kReportFileName = "live_report.cecrash";
constexpr const char* kQueuedDirectoryName = "queued_reports";
constexpr const char* kDataDirectoryName = "com.doridorir.crashengine.data";
// A report file holds at most this many bytes; a longer report is cut and counts as failed.
constexpr uint64_t kReportSizeLimit = 0x40000;
// Custom data may take half of a report at most; the report itself needs the rest.
constexpr size_t kCustomDataLimit = kReportSizeLimit / 2;

// The crash signals, armed in this order.
const int kCrashSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP};

// Everything the crash handlers use, filled at enable time.
struct CrashHandlerContext {
    cecrash_log_writer_t writer;
    char* path;
    cecrash_async_image_list* images;
};

CrashHandlerContext g_context;
CECrashReporterCallbacks g_callbacks{0, nullptr, nullptr};
std::atomic<bool> g_enabledOnce{false};
std::atomic<bool> g_uncaughtExceptionSeen{false};
std::mutex g_enableMutex;
std::atomic<CECrashUncaughtExceptionHandler> g_uncaughtExceptionHandler{nullptr};

cecrash_async_image_list& sharedImageList()
{
    static cecrash_async_image_list* list = [] {
        auto* made = new cecrash_async_image_list;
        cecrash_async_image_list_init(made);
        cecrash_async_image_list_sync(made);
        return made;
    }();
    return *list;
}

std::mutex g_imageSyncMutex;

void syncImages()
{
    std::lock_guard lock(g_imageSyncMutex);
    cecrash_async_image_list_sync(&sharedImageList());
}

// Async-signal-safe. Writes the report file for the crashed thread. A report still there is one
// that no launch has taken away yet, maybe the only record of an earlier crash: it is kept, and
// this crash goes unwritten.
cecrash_error_t writeCrashReport(CrashHandlerContext* context, cecrash_thread_t crashed,
                                 const cecrash_async_thread_state* state, const cecrash_log_signal_info* signal)
{
    const int descriptor = open(context->path, O_RDWR | O_CREAT | O_EXCL, 0644);
    if (descriptor < 0)
        return CECRASH_EINTERNAL;
    cecrash_async_output_file file;
    cecrash_async_output_file_attach(&file, descriptor, kReportSizeLimit);
    const cecrash_error_t result =
        cecrash_log_writer_write_report(&context->writer, crashed, context->images, &file, signal, state);
    if (cecrash_log_writer_finish(&context->writer) != CECRASH_ESUCCESS) {
        if (!cecrash_async_output_file_close(&file) && file.descriptor >= 0)
            close(file.descriptor);
        return CECRASH_EINTERNAL;
    }
    if (!cecrash_async_output_file_close(&file)) {
        if (file.descriptor >= 0)
            close(file.descriptor);
        return CECRASH_EINTERNAL;
    }
    return result;
}

// Async-signal-safe. The report's view of a delivered signal. A signal sent by kill, raise or
// tgkill has no fault address: its si_addr field holds the sender's pid and uid.
cecrash_log_bsd_signal_info signalRecord(int signo, const siginfo_t* info)
{
    const bool fault = info != nullptr && info->si_code > 0;
    return {cecrash_signal_number_from_host(signo), cecrash_signal_code_from_host(signo, info != nullptr ? info->si_code : 0),
            fault ? reinterpret_cast<uint64_t>(info->si_addr) : 0};
}

// The thread writing the crash report (0: none yet), and whether it has finished. One report
// file is written once: two threads truncating and writing it at the same time leave a file
// that cannot be decoded.
std::atomic<cecrash_thread_t> g_reportingThread{0};
std::atomic<bool> g_reportFinished{false};
// How long a second crashing thread waits for the first one's report, in 1 ms steps.
constexpr int kReportWaitSteps = 10'000;

// Async-signal-safe. Crash signals back to their default action, so that a fault from here on
// ends the process.
void resetCrashSignals()
{
    for (int crashSignal : kCrashSignals) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(crashSignal, &action, nullptr);
    }
}

// Async-signal-safe. Waits, for a bounded time, until the thread writing the report is done;
// that thread ends the process when it has written it.
void waitForReport()
{
    const timespec step{0, 1'000'000};
    for (int i = 0; i < kReportWaitSteps && !g_reportFinished.load(); ++i)
        nanosleep(&step, nullptr);
}

// Async-signal-safe. The reporter's callback in the signal chain.
bool signalCrashCallback(int signo, siginfo_t* info, ucontext_t* uap, void* context, const CECrashSignalHandlerNext*)
{
    const cecrash_thread_t self = cecrash_async_current_thread();
    cecrash_thread_t writing = 0;
    if (!g_reportingThread.compare_exchange_strong(writing, self)) {
        // A fault inside this handler must end the process; a crash on another thread leaves
        // the report to the first one and dies after it.
        if (writing == self)
            resetCrashSignals();
        else
            waitForReport();
        return false;
    }
    cecrash_async_thread_state state;
    cecrash_async_thread_state_mcontext_init(&state, &uap->uc_mcontext);
    const cecrash_log_bsd_signal_info bsd = signalRecord(signo, info);
    const cecrash_log_signal_info signal{&bsd, nullptr};
    const cecrash_error_t result =
        writeCrashReport(static_cast<CrashHandlerContext*>(context), self, &state, &signal);
    resetCrashSignals();
    g_reportFinished.store(true);
    if (result == CECRASH_ESUCCESS && g_callbacks.handleSignal != nullptr)
        g_callbacks.handleSignal(info, uap, g_callbacks.context);
    return false;
}

void uncaughtExceptionHandler(const CECrashUncaughtException& exception)
{
    if (g_uncaughtExceptionSeen.exchange(true))
        return;
    cecrash_log_writer_set_exception(&g_context.writer, exception);
    abort();
}

std::string expandTilde(const std::string& path)
{
    if (path.empty() || path[0] != '~')
        return path;
    const char* home = getenv("HOME");
    return (home != nullptr ? std::string(home) : std::string()) + path.substr(1);
}

std::string userCacheDirectory()
{
    if (const char* cache = getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/')
        return cache;
    return expandTilde("~/.cache");
}

bool makeDirectories(const std::string& path, CECrashError* error)
{
    std::string partial;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        at = slash + 1;
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            cecrash_make_posix_error(error, errno, std::string("Could not create directory ") + partial + ": " + strerror(errno));
            return false;
        }
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        cecrash_make_posix_error(error, ENOTDIR, "Could not create directory " + path);
        return false;
    }
    return true;
}

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path, int* errorNumber)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *errorNumber = errno != 0 ? errno : ENOENT;
        return std::nullopt;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *errorNumber = EIO;
        return std::nullopt;
    }
    return bytes;
}

std::string bundleIdentifier(const CECrashBundle& bundle)
{
    if (bundle.identifier)
        return *bundle.identifier;
    const char* processName = program_invocation_short_name;
    if (processName == nullptr || processName[0] == '\0')
        throw CECrashReporterException("Can not determine process identifier or process name");
    CECrashLog(std::string("[CECrashReporter] Warning -- bundle identifier, using process name ") + processName);
    return processName;
}

std::string bundleVersion(const CECrashBundle& bundle)
{
    if (!bundle.version)
        CECrashLog("[CECrashReporter] Warning -- bundle version unavailable");
    return bundle.version.value_or("");
}

struct LiveWrite {
    cecrash_log_writer_t* writer;
    cecrash_async_output_file* file;
    const cecrash_log_signal_info* signal;
    cecrash_thread_t thread;
};

}  // namespace

void CECrashSetUncaughtExceptionHandler(CECrashUncaughtExceptionHandler handler)
{
    g_uncaughtExceptionHandler.store(handler);
}

CECrashUncaughtExceptionHandler CECrashGetUncaughtExceptionHandler()
{
    return g_uncaughtExceptionHandler.load();
}

CECrashReporter& CECrashReporter::sharedReporter()
{
    static auto* shared = new CECrashReporter;
    return *shared;
}

CECrashReporter::CECrashReporter(const CECrashReporterConfig& configuration)
    : CECrashReporter(CECrashBundle{}, configuration)
{
}

CECrashReporter::CECrashReporter(const CECrashBundle& bundle, const CECrashReporterConfig& configuration)
    : CECrashReporter(bundleIdentifier(bundle), bundleVersion(bundle), bundle.marketingVersion, configuration)
{
}

CECrashReporter::CECrashReporter(std::string applicationIdentifier, std::string applicationVersion,
                                 std::optional<std::string> applicationMarketingVersion,
                                 const CECrashReporterConfig& configuration)
    : _config(configuration),
      _applicationIdentifier(std::move(applicationIdentifier)),
      _applicationVersion(std::move(applicationVersion)),
      _applicationMarketingVersion(std::move(applicationMarketingVersion))
{
    sharedImageList();
    const std::string base = _config.basePath() ? expandTilde(*_config.basePath()) : userCacheDirectory();
    std::string component = _applicationIdentifier;
    for (char& c : component) {
        if (c == '/')
            c = '_';
    }
    _crashReportDirectory = base + "/" + kDataDirectoryName + "/" + component;
}

std::string CECrashReporter::crashReportPath() const
{
    return _crashReportDirectory + "/" + kReportFileName;
}

std::string CECrashReporter::queuedCrashReportDirectory() const
{
    return _crashReportDirectory + "/" + kQueuedDirectoryName;
}

bool CECrashReporter::populateCrashReportDirectory(CECrashError* error) const
{
    return makeDirectories(_crashReportDirectory, error) && makeDirectories(queuedCrashReportDirectory(), error);
}

bool CECrashReporter::hasPendingCrashReport() const
{
    return access(crashReportPath().c_str(), F_OK) == 0;
}

std::optional<std::vector<uint8_t>> CECrashReporter::loadPendingCrashReportData(CECrashError* error) const
{
    int errorNumber = 0;
    std::optional<std::vector<uint8_t>> data = readWholeFile(crashReportPath(), &errorNumber);
    if (!data)
        cecrash_make_posix_error(error, errorNumber, "Could not read " + crashReportPath() + ": " + strerror(errorNumber));
    return data;
}

bool CECrashReporter::purgePendingCrashReport(CECrashError* error) const
{
    if (unlink(crashReportPath().c_str()) != 0) {
        cecrash_make_posix_error(error, errno, "Could not remove " + crashReportPath() + ": " + strerror(errno));
        return false;
    }
    return true;
}

bool CECrashReporter::enableCrashReporter(CECrashError* error)
{
    {
        std::lock_guard lock(g_enableMutex);
        if (g_enabledOnce.exchange(true)) {
            cecrash_make_error(error, CECrashReporterErrorResourceBusy, "A CECrashReporter instance has already been enabled");
            return false;
        }
    }
    if (!populateCrashReportDirectory(error))
        return false;
    g_context.path = strdup(crashReportPath().c_str());
    g_context.images = &sharedImageList();

    syncImages();
    cecrash_thread_control_prepare();
    cecrash_log_writer_prepare(&g_context.writer, _applicationIdentifier.c_str(), _applicationVersion.c_str(),
                               _applicationMarketingVersion ? _applicationMarketingVersion->c_str() : nullptr,
                               mapToAsyncSymbolicationStrategy(_config.symbolicationStrategy()), false);
    if (_customData)
        cecrash_log_writer_store_custom_data(&g_context.writer, &*_customData);

    const uint64_t type = _config.signalHandlerType();
    if (type == CECrashReporterSignalHandlerTypeMach) {
        static std::once_flag logged;
        std::call_once(logged, [] {
            CECrashLog("[CECrashReporter] Mach exception handling does not exist on this system; "
                       "arming the crash signals instead");
        });
    }
    if (type == CECrashReporterSignalHandlerTypeBSD || type == CECrashReporterSignalHandlerTypeMach) {
        for (int signo : kCrashSignals) {
            if (!CECrashSignalHandler::sharedHandler().registerHandlerForSignal(signo, signalCrashCallback, &g_context, error))
                return false;
        }
    }
    if (_config.shouldRegisterUncaughtExceptionHandler())
        CECrashSetUncaughtExceptionHandler(uncaughtExceptionHandler);
    _enabled = true;
    return true;
}

std::optional<std::vector<uint8_t>> CECrashReporter::generateLiveReport(CECrashError* error)
{
    return generateLiveReportWithThread(cecrash_async_current_thread(), error);
}

std::optional<std::vector<uint8_t>> CECrashReporter::generateLiveReportWithThread(cecrash_thread_t thread, CECrashError* error)
{
    const char* temporary = getenv("TMPDIR");
    std::string path = std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") + "/live_crash_report.XXXXXX";
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0) {
        cecrash_make_posix_error(error, errno, "Failed to create temporary path");
        return std::nullopt;
    }
    syncImages();
    cecrash_thread_control_prepare();

    cecrash_log_writer_t writer;
    cecrash_log_writer_prepare(&writer, _applicationIdentifier.c_str(), _applicationVersion.c_str(),
                               _applicationMarketingVersion ? _applicationMarketingVersion->c_str() : nullptr,
                               mapToAsyncSymbolicationStrategy(_config.symbolicationStrategy()), true);
    cecrash_async_output_file file;
    cecrash_async_output_file_attach(&file, descriptor, kReportSizeLimit);
    if (_customData)
        cecrash_log_writer_store_custom_data(&writer, &*_customData);

    const cecrash_log_bsd_signal_info bsd{CECRASH_SIGNAL_SIGTRAP, CECRASH_SIGNAL_TRAP_TRACE,
                                          reinterpret_cast<uint64_t>(__builtin_return_address(0))};
    const cecrash_log_signal_info signal{&bsd, nullptr};
    LiveWrite live{&writer, &file, &signal, thread};
    if (thread == cecrash_async_current_thread()) {
        cecrash_async_capture_current_thread_state(
            [](cecrash_async_thread_state* state, void* context) {
                auto* write = static_cast<LiveWrite*>(context);
                return cecrash_log_writer_write_report(write->writer, write->thread, &sharedImageList(), write->file,
                                                       write->signal, state);
            },
            &live);
    } else {
        cecrash_log_writer_write_report(&writer, thread, &sharedImageList(), &file, &signal, nullptr);
    }
    cecrash_log_writer_finish(&writer);
    const bool written = cecrash_async_output_file_close(&file);
    if (!written && file.descriptor >= 0)
        close(file.descriptor);

    std::optional<std::vector<uint8_t>> data;
    if (!written) {
        CECrashLog(std::string("[CECrashReporter] Write failed with error ") + cecrash_async_error_message(CECRASH_OUTPUT_ERR));
        cecrash_make_error(error, CECrashReporterErrorUnknown, "Failed to write the crash report to disk");
    } else {
        int errorNumber = 0;
        data = readWholeFile(path, &errorNumber);
        if (!data)
            cecrash_make_error(error, CECrashReporterErrorUnknown, "Unable to open live crash report for reading");
    }
    cecrash_log_writer_release(&writer);
    if (unlink(path.c_str()) != 0)
        CECrashLog(std::string("[CECrashReporter] Failure occured deleting live crash report: ") + strerror(errno));
    return data;
}

void CECrashReporter::setCrashCallbacks(const CECrashReporterCallbacks& callbacks)
{
    if (_enabled)
        throw CECrashReporterException("The crash reporter has already been enabled");
    if (callbacks.version != 0)
        abort();
    g_callbacks.context = callbacks.context;
    g_callbacks.handleSignal = callbacks.handleSignal;
}

bool CECrashReporter::setCustomData(std::optional<std::vector<uint8_t>> data, CECrashError* error)
{
    if (data && data->size() > kCustomDataLimit) {
        cecrash_make_error(error, CECrashReporterErrorUnknown,
                           "Custom data of " + std::to_string(data->size()) + " bytes exceeds the limit of "
                               + std::to_string(kCustomDataLimit) + " bytes");
        return false;
    }
    _customData = std::move(data);
    // Before enabling, the writer is not prepared yet; enabling hands the data over.
    if (_enabled)
        cecrash_log_writer_store_custom_data(&g_context.writer, _customData ? &*_customData : nullptr);
    return true;
}

void CECrashReporter::refreshLoadedImages()
{
    syncImages();
}
